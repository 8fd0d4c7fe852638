// The checker view's handlers on the whole program's fakes, with a real
// check through test proxies and the reference service's judge on loopback.
#include "checker/list_checker.h"

#include <gtest/gtest.h>

#include "browserproxy/system_proxy.h"
#include "fakes/app_harness.h"
#include "service/reference_service.h"
#include "testproxy/test_proxy.h"

namespace cloakwise::checker {
namespace {

class ListCheckerTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  std::string Proxy(const char* address, testproxy::Anonymity anonymity) {
    proxies.push_back(testproxy::StartOnAddress(address, anonymity));
    return proxies.back()->Endpoint();
  }
  std::string Registry() {
    const auto value =
        registry.Value(platform::RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer");
    return value ? std::get<std::string>(*value) : "";
  }
  ListChecker& checker = app.listChecker;
  ui::MainForm& form = app.form;
  std::vector<std::unique_ptr<testproxy::TestProxy>> proxies;
  service::ReferenceService judge{service::ServiceOptions{}};
};

TEST_F(ListCheckerTest, PasteCheckSortCopyAndUseThroughTheViewsControls) {
  const std::string elite = Proxy("127.0.0.31", testproxy::Anonymity::Elite);
  const std::string anonymous = Proxy("127.0.0.32", testproxy::Anonymity::Anonymous);
  // A row no proxy can be made of, kept from an older list.
  Ini() = "[Options]\r\nStartUp=1\r\n" + judge.OptionsIniSection() +
          "[Proxy list]\r\n1=1.2.3.4:80.5\r\n";
  Start();
  pasteList.pastedText =
      "127.0.0.33:1 dead\r\n" + elite + " Elite\r\n1.2.3.5:80.5\r\n" + anonymous + "\r\n" + elite;
  form.checker.addProxyButton.Click();
  ASSERT_EQ(checker.List().RowCount(), 4u)
      << "the duplicate and 80.5 are refused, the stored 80.5 stays";
  EXPECT_EQ(modal.shown, std::vector<std::string>{
                             "Add Proxy: 3 proxies added. 2 lines left out: 1 not in the form "
                             "IP:Port, 1 already in the list."});
  EXPECT_NE(Ini().find("[Proxy list]\r\n1=1.2.3.4:80.5\r\n2=127.0.0.33:1\r\n3=" + elite +
                       "\r\n4=" + anonymous),
            std::string::npos)
      << Ini();

  form.checker.checkListButton.Click();
  ASSERT_TRUE(ui.PumpUntil([&] { return !checker.Checking(); }, std::chrono::seconds(30)));
  // Working rows first; the two that cannot work keep their order's rules.
  EXPECT_EQ(checker.List().Cell(0, 2), "OK");
  EXPECT_EQ(checker.List().Cell(1, 2), "OK");
  EXPECT_EQ(checker.List().Cell(2, 2), "Not working");
  EXPECT_EQ(checker.List().Cell(3, 2), "Not working");
  EXPECT_EQ(checker.List().Cell(0, 3), "0 Sec.");

  form.listMenu.copyEliteItem.Click();
  EXPECT_EQ(desktop.clipboard, elite + "\r\n");

  // "1.2.3.4:80.5" cannot be installed: the user is told, nothing is written.
  for (std::size_t row = 0; row < 4; ++row) {
    if (checker.List().Cell(row, 0) == "1.2.3.4:80.5") form.checker.proxyGrid.SelectRow(row);
  }
  form.checker.proxyGrid.onDoubleClick();
  EXPECT_EQ(form.trayIcon.LastBalloon().title, "Cannot use this proxy");
  EXPECT_EQ(Registry(), "");
  EXPECT_FALSE(app.TEST_ProxyActive());

  for (std::size_t row = 0; row < 4; ++row) {
    if (checker.List().Cell(row, 0) == elite) form.checker.proxyGrid.SelectRow(row);
  }
  form.listMenu.useProxyItem.Click();
  EXPECT_EQ(Registry(), elite);
  EXPECT_TRUE(app.TEST_ProxyActive());
  EXPECT_EQ(form.status.proxyDescriptionLabel.Caption(), "Custom Proxy");
  EXPECT_EQ(form.status.anonymityLabel.Caption(), "Elite Proxy");
  EXPECT_EQ(form.status.startStopButton.Caption(), "STOP");
  EXPECT_EQ(form.trayIcon.LastBalloon().text, elite.substr(0, elite.find(':')));

  form.checker.clearListButton.Click();
  EXPECT_EQ(Ini().find("[Proxy list]"), std::string::npos);
  checker.OnListMenuOpening();
  EXPECT_FALSE(form.listMenu.useProxyItem.Enabled());

  pasteList.pastedText = "\r\n" + elite + "\r\n";
  form.listMenu.addProxiesItem.Click();
  EXPECT_EQ(modal.shown.size(), 1u) << "every line was taken: the grid says enough";
}

}  // namespace
}  // namespace cloakwise::checker
