// The proxy in use on the whole program's fakes: every way it goes in and
// out, checked against what the user's own settings were before.
#include "activeproxy/active_proxy.h"

#include <gtest/gtest.h>

#include "browserproxy/user_js.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

using platform::RegistryRoot;

const ProxyAddress kProxy{"1.2.3.4", 8080};
constexpr char kChrome[] = "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\";
constexpr char kChromePrefs[] =
    "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\Default\\Preferences";

class ActiveProxyTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  // A user with a proxy of their own switched off, auto-detection on, and a
  // Firefox profile set to auto-detect.
  void SetUp() override {
    registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer",
                      std::string("10.9.8.7:3128"));
    registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyEnable", 0u);
    internetOptions.connections[""] = {platform::kProxyTypeDirect | platform::kProxyTypeAutoDetect,
                                       "10.9.8.7:3128", "<local>", ""};
    files.folders[kProfiles].push_back(platform::DirectoryEntry{"p", true});
    files.files[Profile("user.js")] =
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\r\n";
    files.files[Profile("prefs.js")] = "user_pref(\"network.proxy.type\", 4);\n";
    Ini() = "[Options]\r\nStartUp=1\r\nFirefox=1\r\n";
    Start();
    before = Look();
  }
  static std::string Profile(const char* file) { return std::string(kProfiles) + "p\\" + file; }

  // What the user's browsers would find.
  struct Seen {
    std::optional<fakes::FakeRegistry::Data> proxyServer, proxyEnable;
    fakes::FakeInternetOptions::Connection lan;
    userjs::State firefox;
    bool operator==(const Seen&) const = default;
  };
  Seen Look() {
    const auto value = [&](const char* name) {
      return registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, name);
    };
    auto state = userjs::StateOf(files.files[Profile("user.js")]);
    // A profile putting its own settings back is the user's again.
    if (state == userjs::State::PuttingBack) state = userjs::State::None;
    return {value("ProxyServer"), value("ProxyEnable"), internetOptions.connections[""], state};
  }
  // "Use this proxy", and the messages after it, where the notice comes.
  bool Use() {
    const bool used =
        app.activeProxy.UseChosen({kProxy, "Custom Proxy", "Elite Proxy", 0, kProxy.host});
    ui.ProcessMessages();
    return used;
  }
  bool InUse() {
    return registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer") ==
               fakes::FakeRegistry::Data(kProxy.Text()) &&
           userjs::StateOf(files.files[Profile("user.js")]) == userjs::State::InUse;
  }
  // The view of a program that protects nothing.
  void ExpectStoppedView() {
    EXPECT_EQ(app.form.status.startStopButton.Caption(), "START");
    EXPECT_TRUE(app.form.status.inactiveIndicator.Visible());
    EXPECT_EQ(app.form.status.proxyAddressLabel.Caption(), "[none]");
    EXPECT_FALSE(app.TEST_ProxyActive());
  }

  Seen before;
};

TEST_F(ActiveProxyTest, EveryWayTheProxyGoesPutsTheUsersOwnSettingsBack) {
  const struct {
    const char* way;
    std::function<void(Application&)> take;
  } ways[] = {
      {"STOP", [](Application& app) { app.form.status.startStopButton.Click(); }},
      {"Close", [](Application& app) { app.form.mainMenu.closeItem.Click(); }},
      {"log-off", [](Application& app) { EXPECT_TRUE(app.PrepareToClose(true)); }},
  };
  for (const auto& w : ways) {
    SCOPED_TRACE(w.way);
    ASSERT_TRUE(Use());
    EXPECT_TRUE(InUse());
    EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible());
    EXPECT_TRUE(app.form.status.firefoxHiddenBadge.Visible());
    EXPECT_EQ(modal.shown.size(), 1u) << "the restart notice";
    modal.shown.clear();
    w.take(app);
    EXPECT_EQ(Look(), before);
    ExpectStoppedView();
    EXPECT_FALSE(app.form.status.ieHiddenBadge.Visible());
    EXPECT_FALSE(app.form.status.firefoxHiddenBadge.Visible());
    app.activeProxy.CloseCancelled();  // the next way starts from a running program
  }
}

TEST_F(ActiveProxyTest, WithNothingInUseStopCloseAndLogOffWriteNothing) {
  registry.calls.clear();
  files.writes.clear();
  ASSERT_TRUE(app.activeProxy.BeginSearch());
  app.activeProxy.Stop();
  EXPECT_TRUE(app.PrepareToClose(/*sessionEnding=*/true));
  app.form.mainMenu.closeItem.Click();
  EXPECT_TRUE(desktop.quit);
  for (const std::string& call : registry.calls) {
    EXPECT_TRUE(call.rfind("Write", 0) && call.rfind("Delete", 0)) << call;
  }
  EXPECT_TRUE(internetOptions.calls.empty());
  EXPECT_TRUE(files.writes.empty());
}

// The restart notice runs the window's messages: whatever the user does
// meanwhile has the last word, and the notice only comes once both browsers
// go through the proxy.
TEST_F(ActiveProxyTest, WhatTheUserDoesWhileTheNoticeIsUpHasTheLastWord) {
  const struct {
    const char* what;
    std::function<void(Application&)> act;
    bool quits;
  } cases[] = {
      {"Close from the tray", [](Application& app) { app.form.mainMenu.closeItem.Click(); }, true},
      {"STOP", [](Application& app) { app.form.status.startStopButton.Click(); }, false},
      {"a log-off", [](Application& app) { app.PrepareToClose(true); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool installedWhenShown = false;
    modal.whileShowing = [&] {
      installedWhenShown = InUse();
      c.act(app);
    };
    Use();
    EXPECT_TRUE(installedWhenShown);
    EXPECT_EQ(Look(), before);
    ExpectStoppedView();
    EXPECT_EQ(desktop.quit, c.quits);
    modal.whileShowing = nullptr;
    if (app.activeProxy.Closing()) {
      EXPECT_FALSE(Use()) << "nothing is installed once the program is closing";
      EXPECT_FALSE(app.activeProxy.BeginSearch());
      EXPECT_EQ(Look(), before);
    }
    app.activeProxy.CloseCancelled();
    desktop.quit = false;
  }
}

TEST_F(ActiveProxyTest, ARefusedCloseShowsWhatIsStillInUse) {
  Use();
  files.readOnly.insert(Profile("user.js"));
  app.form.mainMenu.closeItem.Click();
  EXPECT_FALSE(desktop.quit);
  ExpectStoppedView();
  EXPECT_FALSE(app.form.status.ieHiddenBadge.Visible()) << "Windows has its own settings back";
  EXPECT_TRUE(app.form.status.firefoxHiddenBadge.Visible()) << "the profile still has the proxy";
  EXPECT_EQ(desktop.calls.back().rfind("Error Cannot create file", 0), 0u);
  EXPECT_TRUE(app.activeProxy.BeginSearch()) << "the program runs on";
}

TEST_F(ActiveProxyTest, ASearchsFindIsInstalledOnlyWhileProtectingAndNotTwice) {
  const ProxyChoice found{kProxy, "There", "Elite Proxy", 80, "1.2.3.4 - There"};
  EXPECT_FALSE(app.activeProxy.InstallFound(found)) << "the protection is off";
  ASSERT_TRUE(app.activeProxy.BeginSearch());
  EXPECT_TRUE(app.activeProxy.InstallFound(found));
  EXPECT_FALSE(app.activeProxy.InstallFound({{"1.2.3.4", 3128}, "B", "Elite Proxy", 90, ""}))
      << "the host shown in use, through another port";
  // With the Firefox option turned off since, the next install leaves
  // Firefox to the user.
  app.form.options.firefoxCaption.Click();
  ASSERT_TRUE(app.activeProxy.BeginSearch());
  EXPECT_TRUE(app.activeProxy.InstallFound({{"5.6.7.8", 80}, "C", "Elite Proxy", 90, ""}));
  EXPECT_NE(userjs::StateOf(files.files[Profile("user.js")]), userjs::State::InUse);
  EXPECT_FALSE(app.form.status.firefoxHiddenBadge.Visible());
  EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible());
}

// The option is read when it changes, not only at the next rotation: the
// profiles follow at once, and the notice says Firefox wants a restart.
TEST_F(ActiveProxyTest, TheFirefoxOptionSwitchedWhileInUseTakesEffectAtOnce) {
  const std::string userJs = files.files[Profile("user.js")];
  app.form.options.firefoxCaption.Click();
  app.form.options.firefoxCaption.Click();
  ui.ProcessMessages();
  EXPECT_EQ(files.files[Profile("user.js")], userJs) << "nothing in use, nothing written";
  EXPECT_TRUE(modal.shown.empty());

  Use();
  for (const bool on : {false, true}) {
    SCOPED_TRACE(on ? "on" : "off");
    modal.shown.clear();
    app.form.options.firefoxCaption.Click();
    ui.ProcessMessages();
    EXPECT_EQ(userjs::StateOf(files.files[Profile("user.js")]) == userjs::State::InUse, on);
    EXPECT_EQ(Look().firefox, on ? userjs::State::InUse : before.firefox);
    EXPECT_EQ(app.form.status.firefoxHiddenBadge.Visible(), on);
    EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible()) << "Windows keeps the proxy";
    EXPECT_EQ(modal.shown.size(), 1u) << "the restart notice";
  }
  app.form.status.startStopButton.Click();
  EXPECT_EQ(Look(), before);
}

TEST_F(ActiveProxyTest, WhatAKilledRunLeftIsPutBackAtTheNextStart) {
  fakes::AppHarness next;
  next.registry = registry;
  next.internetOptions.connections = internetOptions.connections;
  next.files.folders = files.folders;
  next.files.files = files.files;
  next.files.folders[kChrome] = {{"Default", true}};
  next.files.files[kChromePrefs] = "{}";
  SystemProxy(next.registry, next.internetOptions).Install(kProxy);
  FirefoxProxy(next.files, next.desktop).Install(kProxy);
  ChromiumWebRtc(next.files, next.shell, next.registry).Install();
  EXPECT_NE(next.files.files[kChromePrefs], "{}");
  next.Ini() = Ini();
  next.Start();
  EXPECT_EQ(next.files.files[kChromePrefs], "{}");
  EXPECT_EQ(next.registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer"),
            before.proxyServer);
  EXPECT_EQ(next.internetOptions.connections[""], before.lan);
  EXPECT_EQ(userjs::StateOf(next.files.files[Profile("user.js")]), userjs::State::PuttingBack);
  EXPECT_FALSE(next.app.form.status.ieHiddenBadge.Visible());
}

// The Windows badge speaks for the browsers that follow Windows: a Chrome
// that was open when the proxy went in use still shows its address by
// WebRTC, until it has ended and the program could reach its profile.
TEST_F(ActiveProxyTest, TheWindowsBadgeSaysHiddenOnlyWhileChromesWebRtcGoesThroughTheProxy) {
  files.folders[kChrome] = {{"Default", true}};
  files.files[kChromePrefs] = "{}";
  files.held.insert(std::string(kChrome) + "lockfile");
  ASSERT_TRUE(Use());
  EXPECT_FALSE(app.form.status.ieHiddenBadge.Visible());
  EXPECT_TRUE(app.form.status.firefoxHiddenBadge.Visible());
  ASSERT_EQ(modal.shown.size(), 1u);
  EXPECT_NE(modal.shown[0].find("Chrome is open: restart it"), std::string::npos) << modal.shown[0];
  EXPECT_TRUE(app.activeProxy.TEST_BrowserWatchTimer().Enabled());
  EXPECT_EQ(files.files[kChromePrefs], "{}");

  app.activeProxy.OnBrowserWatchTick();
  EXPECT_FALSE(app.form.status.ieHiddenBadge.Visible()) << "still open";
  files.held.clear();
  app.activeProxy.OnBrowserWatchTick();
  EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible());
  EXPECT_NE(files.files[kChromePrefs], "{}");
  EXPECT_FALSE(app.activeProxy.TEST_BrowserWatchTimer().Enabled());
  modal.shown.clear();
  app.form.status.startStopButton.Click();
  EXPECT_EQ(Look(), before);
  EXPECT_EQ(files.files[kChromePrefs], "{}");
  EXPECT_TRUE(modal.shown.empty());
}

// Firefox reads its settings as it starts: one that was open before goes
// around the proxy, WebRTC and all, until it has ended.
TEST_F(ActiveProxyTest, TheFirefoxBadgeWaitsForAFirefoxThatWasOpenToEnd) {
  files.held.insert(Profile("parent.lock"));
  ASSERT_TRUE(Use());
  EXPECT_FALSE(app.form.status.firefoxHiddenBadge.Visible());
  EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible());
  app.activeProxy.OnBrowserWatchTick();
  EXPECT_FALSE(app.form.status.firefoxHiddenBadge.Visible()) << "still open";
  files.held.clear();
  app.activeProxy.OnBrowserWatchTick();
  EXPECT_TRUE(app.form.status.firefoxHiddenBadge.Visible());
  EXPECT_FALSE(app.activeProxy.TEST_BrowserWatchTimer().Enabled());
  // Open again, on the program's proxy: a proxy changed meanwhile keeps it hidden.
  files.held.insert(Profile("parent.lock"));
  ASSERT_TRUE(app.activeProxy.UseChosen({{"5.6.7.8", 3128}, "Custom Proxy", "Elite Proxy", 0, "x"}));
  EXPECT_TRUE(app.form.status.firefoxHiddenBadge.Visible());
}

}  // namespace
}  // namespace cloakwise
