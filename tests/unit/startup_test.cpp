#include <gtest/gtest.h>

#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

using Data = fakes::FakeRegistry::Data;

class StartupTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  ui::MainForm& form = app.form;
};

TEST_F(StartupTest, FirstRunWritesExactlyThreeKeysAndRegistersRunAtStartup) {
  Start();
  EXPECT_EQ(Ini(), "[Options]\r\nStartUp=1\r\nFirefox=0\r\nTimeout=9\r\n");
  EXPECT_EQ(RunValue(), Data(std::string("\"C:\\Apps\\cloakwise.exe\" /startup")));
  EXPECT_EQ(
      registry.Value(platform::RegistryRoot::CurrentUser, kLayersKey, "C:\\Apps\\cloakwise.exe"),
      Data(std::string("RUNASADMIN")));
  EXPECT_TRUE(form.options.runAtStartupBox.Checked());
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  EXPECT_FALSE(form.status.firefoxHiddenBadge.Visible());
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 10);
  EXPECT_EQ(form.options.securitySlider.Position(), 1);
  EXPECT_EQ(form.options.speedSlider.Position(), 4);
  EXPECT_TRUE(form.window.Visible());
  EXPECT_EQ(form.status.localAddressLabel.Caption(), "192.168.1.20");
  EXPECT_EQ(app.TEST_ExecutableFolder(), "C:\\Apps\\");
  EXPECT_EQ(form.trayIcon.Set(), ui::TrayIcon::IconSet::Idle);
  EXPECT_FALSE(app.TEST_ProxyActive());
  // The rotation timer runs every ten minutes whether or not rotation is on.
  ASSERT_EQ(ui.ActiveTimers(), 1u);
  EXPECT_TRUE(app.rotation.TEST_TickTimer().Running());
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 600000u);
}

TEST_F(StartupTest, MissingStartUpIsAFirstRunEvenWithOtherKeys) {
  Ini() = "[Options]\r\nFirefox=1\r\nProxyType=2\r\n";
  Start();
  EXPECT_EQ(Ini(), "[Options]\r\nFirefox=0\r\nProxyType=2\r\nStartUp=1\r\nTimeout=9\r\n");
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  EXPECT_EQ(form.options.securitySlider.Position(), 2);
}

TEST_F(StartupTest, StoredValuesReachTheControlsAndOnlyChangesAreWrittenBack) {
  Ini() =
      "[Options]\r\nStartUp=1\r\nFirefox=1\r\nProxyChange=30\r\nProxyType=0\r\nTimeout=0x0A\r\n"
      "Change1=1\r\nPC-clean=0\r\nopt5=0\r\nopt11=0\r\n";
  const std::string before = Ini();
  Start();
  EXPECT_EQ(Ini(), before) << "values read back unchanged";
  EXPECT_TRUE(form.options.firefoxBox.Checked());
  EXPECT_FALSE(form.status.firefoxHiddenBadge.Visible()) << "no proxy is in use yet";
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 30);
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 1800000u);
  EXPECT_EQ(form.options.securitySlider.Position(), 0);
  EXPECT_EQ(form.options.speedSlider.Position(), 5) << "0x0A is ten seconds";
  EXPECT_TRUE(form.options.rotateEveryBox.Checked());
  EXPECT_FALSE(form.privacy.firefoxCookiesBox.Checked());
  EXPECT_FALSE(form.privacy.firefoxFormHistoryBox.Checked());
  EXPECT_TRUE(form.privacy.firefoxHistoryBox.Checked());
  // Every start with the option on registers the Run value again.
  EXPECT_EQ(RunValue(), Data(std::string("\"C:\\Apps\\cloakwise.exe\" /startup")));
}

TEST_F(StartupTest, ZeroMinutesIsClampedAndStored) {
  Ini() = "[Options]\r\nStartUp=0\r\nProxyChange=0\r\n";
  Start();
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 1);
  EXPECT_NE(Ini().find("ProxyChange=1\r\n"), std::string::npos) << Ini();
  EXPECT_EQ(app.rotation.TEST_TickTimer().Interval(), 60000u);
}

TEST_F(StartupTest, OutOfRangeSlidersKeepTheirDesignPositionAndTheFileKeepsTheValue) {
  for (const char* timeout : {"20", "-2147483648", "4", "abc"}) {
    fakes::AppHarness h;
    h.Ini() = std::string("[Options]\r\nStartUp=0\r\nTimeout=") + timeout + "\r\nProxyType=7\r\n";
    h.Start();
    const bool unreadable = std::string(timeout) == "abc";
    // "abc" reads as the default 9, which is position 4 and gets written.
    EXPECT_EQ(h.app.form.options.speedSlider.Position(), unreadable ? 4 : 5) << timeout;
    EXPECT_NE(h.Ini().find(std::string("Timeout=") + (unreadable ? "9" : timeout)),
              std::string::npos)
        << h.Ini();
    EXPECT_EQ(h.app.form.options.securitySlider.Position(), 1);
    EXPECT_NE(h.Ini().find("ProxyType=7"), std::string::npos);
  }
}

TEST_F(StartupTest, OnlyTheExactStartupArgumentHidesTheWindow) {
  Start({"/startup"});
  EXPECT_FALSE(form.window.Visible());
  fakes::AppHarness capitals;
  capitals.Start({"/STARTUP"});
  EXPECT_TRUE(capitals.app.form.window.Visible());
  fakes::AppHarness later;
  later.Start({"/other", "/startup"});
  EXPECT_TRUE(later.app.form.window.Visible()) << "only the first argument counts";
}

TEST_F(StartupTest, UncheckedRunAtStartupStaysOffOnRestart) {
  Start();
  form.options.runAtStartupCaption.Click();  // the user unchecks "Run at startup"
  EXPECT_FALSE(RunValue().has_value());
  fakes::AppHarness restart;
  restart.files.files = files.files;
  restart.registry = registry;
  restart.Start();
  EXPECT_FALSE(restart.app.form.options.runAtStartupBox.Checked());
  EXPECT_FALSE(restart.RunValue().has_value());
}

TEST_F(StartupTest, UnresolvableHostLeavesTheAddressEmptyAndTheLastAddressWins) {
  desktop.hostAddresses = std::nullopt;
  Start();
  EXPECT_EQ(form.status.localAddressLabel.Caption(), "");
  fakes::AppHarness two;
  two.desktop.hostAddresses = std::vector<std::string>{"10.0.0.1", "10.0.0.2"};
  two.Start();
  EXPECT_EQ(two.app.form.status.localAddressLabel.Caption(), "10.0.0.2");
}

TEST_F(StartupTest, RefusedFirstWriteRaisesTheErrorWithThePath) {
  files.readOnly.insert(kIni);
  try {
    Start();
    FAIL() << "start-up went on";
  } catch (const SettingsWriteError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\Apps\\options.ini");
  }
}

TEST(StartupAtADriveRoot, ExecutableInTheRootOfADriveStillGetsOneBackslash) {
  fakes::AppHarness harness({}, "D:\\cloakwise.exe");
  harness.Start();
  EXPECT_EQ(harness.app.TEST_ExecutableFolder(), "D:\\");
  EXPECT_TRUE(harness.files.files.count("D:\\options.ini"));
}

}  // namespace
}  // namespace cloakwise
