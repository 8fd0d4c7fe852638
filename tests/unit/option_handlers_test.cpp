#include <gtest/gtest.h>

#include "browserproxy/user_js.h"
#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

class OptionHandlersTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override {
    Ini() = "[Options]\r\nStartUp=1\r\nFirefox=0\r\nTimeout=9\r\n";
    Start();
  }
  std::string Value(const char* key) {
    return app.TEST_Settings().ReadString(kOptionsSection, key, "<none>");
  }
  ui::MainForm& form = app.form;
};

TEST_F(OptionHandlersTest, CaptionsToggleTheirBoxesAndEachChangeIsStoredAtOnce) {
  form.options.rotateEveryCaption.Click();
  EXPECT_EQ(Value("Change1"), "1");
  form.options.minutesCaption.Click();
  EXPECT_EQ(Value("Change1"), "0");
  form.options.firefoxCaption.Click();
  EXPECT_EQ(Value("Firefox"), "1");
  EXPECT_FALSE(form.status.firefoxHiddenBadge.Visible()) << "no proxy is in use";
  form.options.firefoxCaption.Click();
  EXPECT_EQ(Value("Firefox"), "0");
  form.options.cleanAtStartupCaption.Click();
  EXPECT_EQ(Value("PC-clean"), "1");
  form.options.runAtStartupCaption.Click();
  EXPECT_EQ(Value("StartUp"), "0");
  EXPECT_FALSE(RunValue().has_value());
  form.options.runAtStartupCaption.Click();
  EXPECT_TRUE(RunValue().has_value());
  form.privacy.recycleBinBox.Toggle();
  EXPECT_EQ(Value("opt10"), "0");
  form.privacy.firefoxFormHistoryBox.Toggle();
  EXPECT_EQ(Value("opt11"), "0");
}

TEST_F(OptionHandlersTest, SlidersStoreTheirValues) {
  form.options.speedSlider.SetPosition(0);
  EXPECT_EQ(Value("Timeout"), "5");
  form.options.speedSlider.SetPosition(8);
  EXPECT_EQ(Value("Timeout"), "13");
  form.options.securitySlider.SetPosition(2);
  EXPECT_EQ(Value("ProxyType"), "2");
}

TEST_F(OptionHandlersTest, MinutesFieldStoresWhatIsTypedAndRestartsTheTimer) {
  form.options.rotationMinutesField.EditText("25");
  EXPECT_EQ(Value("ProxyChange"), "25");
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 1500000u);
  EXPECT_TRUE(app.rotation.TEST_TickTimer().Running());
  form.options.rotationMinutesField.EditText("");
  EXPECT_EQ(Value("ProxyChange"), "1");
  form.options.rotationMinutesField.EditText("5000");
  EXPECT_EQ(Value("ProxyChange"), "5000") << "not clamped while typing";
  form.options.rotationMinutesField.ExitEdit();
  EXPECT_EQ(Value("ProxyChange"), "1440");
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 86400000u);
  form.options.rotationMinutesField.EditText("-3");
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 0u) << "no negative interval reaches the timer";
  EXPECT_FALSE(app.rotation.TEST_TickTimer().Running());
  form.options.rotationMinutesField.ExitEdit();
  EXPECT_EQ(Value("ProxyChange"), "1");
  EXPECT_TRUE(app.rotation.TEST_TickTimer().Running());
}

TEST_F(OptionHandlersTest, RestartingTheTimerStartsItsCountAgain) {
  ui.AdvanceTime(590000);
  form.options.rotationMinutesField.EditText("10");  // same value: no change, no restart
  EXPECT_EQ(ui.NextDue(), 600000u);
  form.options.rotationMinutesField.EditText("11");
  ASSERT_EQ(ui.ActiveTimers(), 1u);
  EXPECT_EQ(ui.NextDue(), 590000u + 660000u);
}

TEST_F(OptionHandlersTest, SaveShowsTheMessageBoxAndWritesNothing) {
  const std::string before = Ini();
  files.writes.clear();
  form.options.saveButton.Click();
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  EXPECT_TRUE(files.writes.empty());
  EXPECT_EQ(Ini(), before);
  EXPECT_FALSE(app.messageBox.Showing());
}

TEST_F(OptionHandlersTest, MessageArrivingWhileOneIsShowingIsDropped) {
  modal.whileShowing = [&] {
    // A timer or a worker hand-over raising a message during the box.
    form.options.saveButton.Click();
    app.messageBox.ShowMessageBox("Error", "lost");
  };
  form.options.saveButton.Click();
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  modal.whileShowing = nullptr;
  app.messageBox.ShowMessageBox("Proxy changed", "second");
  EXPECT_EQ(modal.shown.back(), "Proxy changed: second") << "one after another both appear";
}

TEST_F(OptionHandlersTest, RefusedWriteInAHandlerRaisesKeepsTheFileAndShowsWhatIsStored) {
  const std::string before = Ini();
  files.readOnly.insert(kIni);
  EXPECT_THROW(form.options.rotateEveryCaption.Click(), SettingsWriteError);
  EXPECT_EQ(Ini(), before);
  EXPECT_FALSE(form.options.rotateEveryBox.Checked());
  EXPECT_THROW(form.privacy.clipboardCaption.Click(), SettingsWriteError);
  EXPECT_TRUE(form.privacy.clipboardBox.Checked());
  const int speed = form.options.speedSlider.Position();
  EXPECT_THROW(form.options.speedSlider.SetPosition(speed == 0 ? 1 : 0), SettingsWriteError);
  EXPECT_EQ(form.options.speedSlider.Position(), speed);
  const std::string minutes = form.options.rotationMinutesField.Text();
  EXPECT_THROW(form.options.rotationMinutesField.EditText("33"), SettingsWriteError);
  EXPECT_EQ(form.options.rotationMinutesField.Text(), minutes);
}

TEST_F(OptionHandlersTest, ClosePutsBackTheSystemProxyThenQuits) {
  app.systemProxy.Install(*ProxyAddress::Parse("1.2.3.4:8080"));
  form.mainMenu.closeItem.Click();
  EXPECT_FALSE(
      registry.Value(platform::RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyEnable"))
      << "the user never had one";
  EXPECT_FALSE(app.systemProxy.Installed());
  EXPECT_FALSE(form.window.Visible());
  EXPECT_EQ(desktop.calls.back(), "Quit");
}

TEST_F(OptionHandlersTest, CloseQueryRunsPendingMessagesAndAlwaysAllowsClosing) {
  bool ran = false;
  ui.Post([&] { ran = true; });
  EXPECT_TRUE(app.PrepareToClose());
  EXPECT_TRUE(ran);
  EXPECT_FALSE(desktop.quit) << "a log-off ends the program through Windows, not by itself";
}

TEST_F(OptionHandlersTest, AnUnwritableProfileHoldsUpOneCloseAndNeverALogOff) {
  files.folders[kProfiles].push_back(platform::DirectoryEntry{"p", true});
  const std::string userJs = std::string(kProfiles) + "p\\user.js";
  files.files[userJs] = userjs::Install("", false, "", *ProxyAddress::Parse("1.2.3.4:8080"));
  files.readOnly.insert(userJs);
  const auto errorsShown = [&] {
    return std::count_if(desktop.calls.begin(), desktop.calls.end(),
                         [](const std::string& call) { return call.rfind("Error ", 0) == 0; });
  };
  EXPECT_TRUE(app.PrepareToClose(/*sessionEnding=*/true));
  EXPECT_EQ(desktop.calls.back().rfind("Noted Cannot create file", 0), 0u);
  EXPECT_EQ(errorsShown(), 0) << "nothing waits for the user while the session ends";

  form.mainMenu.closeItem.Click();
  EXPECT_FALSE(desktop.quit);
  EXPECT_EQ(errorsShown(), 1);
  form.mainMenu.closeItem.Click();
  EXPECT_TRUE(desktop.quit) << "the second close ends the program";
  EXPECT_EQ(errorsShown(), 1);
}

TEST_F(OptionHandlersTest, MenuItemsShowTheWindowOnTheirView) {
  fakes::AppHarness hidden;
  hidden.Start({"/startup"});
  hidden.app.form.mainMenu.optionsItem.Click();
  EXPECT_TRUE(hidden.app.form.window.Visible());
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Options);
  hidden.app.form.mainMenu.privacyItem.Click();
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Privacy);
  hidden.app.ShowView(static_cast<ui::View>(9));
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Privacy);
  hidden.app.form.mainMenu.aboutItem.Click();
  EXPECT_TRUE(hidden.app.about.window.Visible());
  hidden.app.about.close.Click();
  EXPECT_FALSE(hidden.app.about.window.Visible());
}

}  // namespace
}  // namespace cloakwise
