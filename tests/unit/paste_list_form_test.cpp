// The paste window's model: opened empty, closed by ADD, answered with what
// the text box held.
#include "ui/paste_list_form.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_paste_list_host.h"

namespace cloakwise {
namespace {

TEST(PasteListForm, AnswersWithTheTextHeldWhenAddClosesIt) {
  fakes::FakePasteListHost host;
  ui::PasteListForm form(host);
  host.pastedText = "10.0.0.1:8080\r\n10.0.0.2:3128";
  EXPECT_EQ(form.AskForProxyList(), "10.0.0.1:8080\r\n10.0.0.2:3128");
  EXPECT_FALSE(form.Showing());

  host.pastedText = "";
  EXPECT_EQ(form.AskForProxyList(), "") << "no cancel: an empty box is an answer too";
  ASSERT_EQ(host.shown.size(), 2u);
  EXPECT_TRUE(host.shown[1].windowVisible);
  EXPECT_EQ(host.shown[1].textAtOpen, "") << "each showing starts with an empty box";
  EXPECT_EQ(host.closedByAdd, (std::vector<bool>{true, true}));
}

TEST(PasteListForm, AskingAgainWhileShowingDoesNotOpenASecondWindow) {
  fakes::FakePasteListHost host;
  ui::PasteListForm form(host);
  std::string nested = "unset";
  host.whileShowing = [&] { nested = form.AskForProxyList(); };
  host.pastedText = "1.2.3.4:80";
  EXPECT_EQ(form.AskForProxyList(), "1.2.3.4:80");
  EXPECT_EQ(nested, "");
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST(PasteListForm, WindowIsHiddenAgainWhenTheModalLoopThrows) {
  fakes::FakePasteListHost host;
  ui::PasteListForm form(host);
  host.whileShowing = [] { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(form.AskForProxyList(), std::runtime_error);
  EXPECT_FALSE(form.Showing());
}

}  // namespace
}  // namespace cloakwise
