#include <gtest/gtest.h>

#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

class OptionHandlersTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override {
    Ini() = "[Options]\r\nStartUp=1\r\nFirefox=0\r\nTimeout=9\r\n";
    Start();
  }
  std::string Value(const char* key) { return app.Settings().ReadString(kOptions, key, "<none>"); }
  ui::MainForm& form = app.form;
};

TEST_F(OptionHandlersTest, CaptionsToggleTheirBoxesAndEachChangeIsStoredAtOnce) {
  form.Label11.Click();
  EXPECT_EQ(Value("Change1"), "1");
  form.Label9.Click();
  EXPECT_EQ(Value("Change1"), "0");
  form.Label10.Click();
  EXPECT_EQ(Value("Firefox"), "1");
  EXPECT_TRUE(form.Image9.Visible());
  form.Label10.Click();
  EXPECT_FALSE(form.Image9.Visible());
  form.Label19.Click();
  EXPECT_EQ(Value("PC-clean"), "1");
  form.Label12.Click();
  EXPECT_EQ(Value("StartUp"), "0");
  EXPECT_FALSE(RunValue().has_value());
  form.Label12.Click();
  EXPECT_TRUE(RunValue().has_value());
  form.CheckBox5.Toggle();
  EXPECT_EQ(Value("opt10"), "0");
  form.CheckBox12.Toggle();
  EXPECT_EQ(Value("opt11"), "0");
}

TEST_F(OptionHandlersTest, SlidersStoreTheirValues) {
  form.FatScrollBar1.SetPosition(0);
  EXPECT_EQ(Value("Timeout"), "5");
  form.FatScrollBar1.SetPosition(8);
  EXPECT_EQ(Value("Timeout"), "13");
  form.FatScrollBar2.SetPosition(2);
  EXPECT_EQ(Value("ProxyType"), "2");
}

TEST_F(OptionHandlersTest, MinutesFieldStoresWhatIsTypedAndRestartsTheTimer) {
  form.cntmin.EditText("25");
  EXPECT_EQ(Value("ProxyChange"), "25");
  EXPECT_EQ(form.t1.Interval(), 1500000u);
  EXPECT_TRUE(form.t1.Running());
  form.cntmin.EditText("");
  EXPECT_EQ(Value("ProxyChange"), "1");
  form.cntmin.EditText("5000");
  EXPECT_EQ(Value("ProxyChange"), "5000") << "not clamped while typing";
  form.cntmin.ExitEdit();
  EXPECT_EQ(Value("ProxyChange"), "1440");
  EXPECT_EQ(form.t1.Interval(), 86400000u);
  form.cntmin.EditText("-3");
  EXPECT_EQ(form.t1.Interval(), 0u) << "no negative interval reaches the timer";
  EXPECT_FALSE(form.t1.Running());
  form.cntmin.ExitEdit();
  EXPECT_EQ(Value("ProxyChange"), "1");
  EXPECT_TRUE(form.t1.Running());
}

TEST_F(OptionHandlersTest, RestartingTheTimerStartsItsCountAgain) {
  ui.AdvanceTime(590000);
  form.cntmin.EditText("10");  // same value: no change, no restart
  form.cntmin.EditText("11");
  int ticks = 0;
  form.t1.SetHandler([&] { ++ticks; });
  ui.AdvanceTime(600000);
  EXPECT_EQ(ticks, 0);
  ui.AdvanceTime(60000);
  EXPECT_EQ(ticks, 1);
}

TEST_F(OptionHandlersTest, SaveShowsTheMessageBoxAndWritesNothing) {
  const std::string before = Ini();
  files.writes.clear();
  form.Label7.Click();
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  EXPECT_TRUE(files.writes.empty());
  EXPECT_EQ(Ini(), before);
  EXPECT_FALSE(app.messageBox.Showing());
}

TEST_F(OptionHandlersTest, MessageArrivingWhileOneIsShowingIsDropped) {
  modal.whileShowing = [&] {
    // A timer or a worker hand-over raising a message during the box.
    form.Label7.Click();
    app.messageBox.ShowMessageBox("Error", "lost");
  };
  form.Label7.Click();
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  modal.whileShowing = nullptr;
  app.messageBox.ShowMessageBox("Proxy changed", "second");
  EXPECT_EQ(modal.shown.back(), "Proxy changed: second") << "one after another both appear";
}

TEST_F(OptionHandlersTest, RefusedWriteInAHandlerRaisesAndKeepsTheFile) {
  const std::string before = Ini();
  files.readOnly.insert(kIni);
  EXPECT_THROW(form.Label11.Click(), SettingsWriteError);
  EXPECT_EQ(Ini(), before);
}

TEST_F(OptionHandlersTest, CloseClearsTheSystemProxyThenQuits) {
  app.systemProxy.SetSystemProxy("1.2.3.4", "8080");
  internetOptions.calls.clear();
  form.Close1.Click();
  ASSERT_FALSE(internetOptions.calls.empty());
  EXPECT_EQ(internetOptions.calls.front().proxy->proxy, ":");
  EXPECT_EQ(registry.Value(platform::RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyEnable"),
            fakes::FakeRegistry::Data(0u));
  EXPECT_FALSE(form.window.Visible());
  EXPECT_EQ(desktop.calls.back(), "Quit");
}

TEST_F(OptionHandlersTest, CloseQueryRunsPendingMessagesAndAlwaysAllowsClosing) {
  bool ran = false;
  ui.Post([&] { ran = true; });
  EXPECT_TRUE(app.FormCloseQuery());
  EXPECT_TRUE(ran);
  EXPECT_FALSE(desktop.quit) << "a log-off ends the program through Windows, not by itself";
}

TEST_F(OptionHandlersTest, MenuItemsShowTheWindowOnTheirView) {
  fakes::AppHarness hidden;
  hidden.Start({"/startup"});
  hidden.app.form.Options1.Click();
  EXPECT_TRUE(hidden.app.form.window.Visible());
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Options);
  hidden.app.form.ProtectPCPrivacy1.Click();
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Privacy);
  hidden.app.ShowView(static_cast<ui::View>(9));
  EXPECT_EQ(hidden.app.form.view.Current(), ui::View::Privacy);
  hidden.app.form.About1.Click();
  EXPECT_TRUE(hidden.app.about.window.Visible());
  hidden.app.about.close.Click();
  EXPECT_FALSE(hidden.app.about.window.Visible());
}

}  // namespace
}  // namespace cloakwise
