// Clicks at window coordinates reach the handlers a user expects.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

class LayoutTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override { Start(); }
  std::vector<std::string> actions;
  ui::Layout layout{app.form, ui::FrameActions{
                                  [this] { actions.push_back("hide"); },
                                  [this] { actions.push_back("menu"); },
                                  [this] { actions.push_back("vendor"); },
                                  [this] { actions.push_back("drag"); },
                                  [this](ui::View v) { app.ShowView(v); },
                              }};
  ui::MainForm& form = app.form;
};

TEST_F(LayoutTest, TabsSwitchViewsAndOnlyTheCurrentViewIsHit) {
  EXPECT_EQ(layout.Hit(378, 318), nullptr) << "SAVE is not on the status view";
  layout.LeftClick(300, 380);  // the fourth tab
  EXPECT_EQ(form.view.Current(), ui::View::Options);
  layout.LeftClick(378, 318);
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  layout.LeftClick(100, 380);
  EXPECT_EQ(form.view.Current(), ui::View::Checker);
  layout.LeftClick(10, 380);
  EXPECT_EQ(form.view.Current(), ui::View::Status);
}

TEST_F(LayoutTest, OptionControlsRespondWhereTheyAreDrawn) {
  app.ShowView(ui::View::Options);
  layout.LeftClick(100, 121);  // the caption "Change Firefox proxy"
  EXPECT_TRUE(form.options.firefoxBox.Checked());
  layout.LeftClick(36, 121);  // the box itself
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  layout.LeftClick(30, 238);  // left end of the speed slider
  EXPECT_EQ(form.options.speedSlider.Position(), 0);
  layout.LeftClick(329, 238);
  EXPECT_EQ(form.options.speedSlider.Position(), 8);
  EXPECT_EQ(app.Settings().ReadInteger(kOptionsSection, "Timeout", 0), 13);
  layout.LeftClick(180, 172);  // middle of the security slider
  EXPECT_EQ(form.options.securitySlider.Position(), 1);
  layout.LeftClick(270, 86);  // the spin field's up arrow
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 11);
  layout.LeftClick(270, 100);  // its down arrow
  layout.LeftClick(270, 100);
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 9);
  layout.LeftClick(230, 90);  // the text part does nothing
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 9);
}

TEST_F(LayoutTest, FrameHotSpotsAndMouseButtons) {
  layout.LeftClick(420, 10);
  layout.LeftClick(30, 350);
  layout.LeftClick(200, 355);
  layout.LeftClick(430, 350);
  layout.LeftDown(200, 20);   // the top strip moves the window
  layout.LeftDown(200, 200);  // the body does not
  layout.RightClick(200, 200);
  layout.RightClick(200, 20);
  EXPECT_EQ(actions, (std::vector<std::string>{"hide", "menu", "vendor", "hide", "drag", "menu"}));
}

TEST_F(LayoutTest, HiddenAndDisabledControlsTakeNoClicks) {
  app.ShowView(ui::View::Options);
  form.options.firefoxBox.SetEnabled(false);
  form.options.firefoxCaption.SetEnabled(false);
  layout.LeftClick(100, 121);
  layout.LeftClick(36, 121);
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  form.options.saveButton.SetVisible(false);
  EXPECT_EQ(layout.Hit(378, 318), nullptr);
}

}  // namespace
}  // namespace cloakwise
