// The watch on the proxy in use, on the whole program's fakes: when it
// probes, what a failure starts, and that nothing waits for it.
#include "search/proxy_watch.h"

#include <gtest/gtest.h>

#include <atomic>

#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

using platform::RegistryRoot;
using search::ProxyWatch;

const ProxyAddress kProxy{"1.2.3.4", 8080};
const ProxyAddress kNext{"5.6.7.8", 3128};

class ProxyWatchTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override {
    // The service on a loopback port nobody listens on: a search's fetch
    // fails at once, and nothing leaves the machine.
    Ini() = "[Options]\r\nStartUp=1\r\n[Service]\r\nHost=127.0.0.1:1\r\n";
    Start();
  }
  void Use(const ProxyAddress& proxy) {
    ASSERT_TRUE(app.activeProxy.UseChosen({proxy, "Custom Proxy", "Elite Proxy", 0, proxy.host}));
    ui.ProcessMessages();
  }
  // Moves the clock and lets a probe that starts report.
  void After(std::uint64_t ms) {
    ui.AdvanceTime(ms);
    ASSERT_TRUE(ui.PumpUntil([&] { return !app.watch.Probing(); }));
  }
  std::optional<fakes::FakeRegistry::Data> ProxyServer() {
    return registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer");
  }
  bool Replacing() { return app.activeProxy.Replacing(); }
};

TEST_F(ProxyWatchTest, ProbesOncePerIntervalWhileAProxyIsInUseAndNeverElse) {
  After(ProxyWatch::kIntervalMs * 2);
  EXPECT_EQ(watchProbes, 0) << "nothing in use";
  Use(kProxy);
  After(ProxyWatch::kIntervalMs - 1);
  EXPECT_EQ(watchProbes, 0) << "a whole interval after the install";
  After(1);
  EXPECT_EQ(watchProbes, 1);
  After(ProxyWatch::kIntervalMs);
  EXPECT_EQ(watchProbes, 2);
  // While a search runs, its own probes speak for the proxies.
  ASSERT_TRUE(app.activeProxy.BeginSearch());
  After(ProxyWatch::kIntervalMs * 3);
  EXPECT_EQ(watchProbes, 2);
  Use(kProxy);
  app.form.status.startStopButton.Click();
  After(ProxyWatch::kIntervalMs * 3);
  EXPECT_EQ(watchProbes, 2) << "none after STOP";
}

TEST_F(ProxyWatchTest, TwoFailuresRunningStartOneSearchAndTheDeadProxyStays) {
  const struct {
    const char* what;
    std::vector<bool> answers;  // what the proxy does at each probe
    bool replaced;
  } cases[] = {
      {"one lost answer", {false, true, false, true}, false},
      {"dead", {false, false}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<std::size_t> asked{0};
    proxyAnswers = [&](const ProxyAddress&) {
      const std::size_t n = asked++;
      return n < c.answers.size() ? bool(c.answers[n]) : true;
    };
    Use(kProxy);
    const int before = watchProbes;
    // Each probe when it is due: a failure is asked again soon.
    std::uint64_t next = ProxyWatch::kIntervalMs;
    for (const bool answered : c.answers) {
      After(next);
      next = answered ? ProxyWatch::kIntervalMs : ProxyWatch::kRetryMs;
    }
    After(next);
    EXPECT_EQ(Replacing(), c.replaced);
    EXPECT_EQ(ProxyServer(), fakes::FakeRegistry::Data(kProxy.Text())) << "never direct unasked";
    if (c.replaced) {
      EXPECT_EQ(watchProbes - before, 2) << "no probe while the search looks";
      EXPECT_EQ(app.form.status.anonymityLabel.Caption(), "Not answering: finding another...");
      EXPECT_TRUE(app.status.TEST_BlinkTimer().Enabled());
      EXPECT_FALSE(app.form.status.ieHiddenBadge.Visible());
      EXPECT_TRUE(app.TEST_ProxyActive()) << "a failed fetch keeps the protection on";
      // The next proxy found ends it, told by a balloon.
      Use(kNext);
      EXPECT_FALSE(Replacing());
      EXPECT_TRUE(app.form.status.ieHiddenBadge.Visible());
      EXPECT_EQ(app.form.status.proxyAddressLabel.Caption(), kNext.host);
    } else {
      EXPECT_EQ(app.watch.Failures(), 0);
      EXPECT_EQ(app.form.status.proxyAddressLabel.Caption(), kProxy.host);
    }
    app.form.status.startStopButton.Click();
  }
}

TEST_F(ProxyWatchTest, StopAndCloseDuringAProbeWaitForNothing) {
  std::atomic<bool> release{false};
  std::atomic<bool> probing{false};
  proxyAnswers = [&](const ProxyAddress&) {
    probing = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
  };
  for (const char* way : {"STOP", "Close"}) {
    SCOPED_TRACE(way);
    release = false;
    probing = false;
    Use(kProxy);
    ui.AdvanceTime(ProxyWatch::kIntervalMs);
    ASSERT_TRUE(ui.PumpUntil([&] { return probing.load(); }));
    if (std::string(way) == "STOP") {
      app.form.status.startStopButton.Click();
    } else {
      EXPECT_TRUE(app.PrepareToClose());
    }
    EXPECT_FALSE(app.TEST_ProxyActive());
    EXPECT_EQ(ProxyServer(), std::nullopt) << "the user's own settings at once";
    release = true;
    ASSERT_TRUE(ui.PumpUntil([&] { return !app.watch.Probing(); }));
    EXPECT_FALSE(Replacing()) << "the probe's report was dropped";
    app.SessionEndCancelled();
  }
}

// A dead proxy replaced needs no restart of a Firefox that is not running.
TEST_F(ProxyWatchTest, AReplacementAsksFirefoxToRestartOnlyWhenItRuns) {
  const std::string profile = std::string(kProfiles) + "p\\";
  files.folders[kProfiles].push_back(platform::DirectoryEntry{"p", true});
  app.TEST_Settings().WriteBool(kOptionsSection, kKeyFirefox, true);
  for (const bool running : {false, true}) {
    SCOPED_TRACE(running);
    if (running) files.held.insert(profile + "parent.lock");
    Use(kProxy);
    modal.shown.clear();
    proxyAnswers = [](const ProxyAddress&) { return false; };
    After(ProxyWatch::kIntervalMs);
    After(ProxyWatch::kRetryMs);
    ASSERT_TRUE(Replacing());
    Use(kNext);
    EXPECT_EQ(modal.shown.size(), running ? 1u : 0u);
    proxyAnswers = [](const ProxyAddress&) { return true; };
    app.form.status.startStopButton.Click();
  }
}

}  // namespace
}  // namespace cloakwise
