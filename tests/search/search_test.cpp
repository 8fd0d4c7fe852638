// START, "Change IP now", rotation ticks and STOP of the whole program on
// fakes, against the reference service and test proxies on loopback: each
// candidate is a real proxy (or a closed port) on an address of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "browserproxy/system_proxy.h"
#include "browserproxy/user_js.h"
#include "core/option_keys.h"
#include "core/text.h"
#include "fakes/app_harness.h"
#include "http/test_server.h"
#include "service/reference_service.h"
#include "testproxy/test_proxy.h"

namespace cloakwise::search {
namespace {

using testproxy::Anonymity;
using testproxy::Fault;

class SearchTest : public ::testing::Test {
 protected:
  ~SearchTest() override {
    harness.reset();  // the program ends before the proxies it may still talk to
    proxies.clear();
  }

  // A proxy on its own loopback address, so that each candidate has its
  // own host as real ones do.
  std::string Proxy(Anonymity anonymity, Fault fault = Fault::None, long long value = 0) {
    proxies.push_back(testproxy::StartOnAddress("127.0.0." + std::to_string(10 + proxies.size()),
                                                anonymity, fault, value));
    return proxies.back()->Endpoint();
  }
  // Nothing listens on port 1: the connect is refused at once.
  static std::string Dead() { return "127.0.0.99:1"; }

  // Starts the service with the pool and the program with these options.
  void Start(const std::vector<std::string>& pool, const std::string& options = "",
             std::function<bool(int step)> dropIf = {}) {
    service::ServiceOptions serviceOptions;
    serviceOptions.pool = pool;
    serviceOptions.dropIf = std::move(dropIf);
    serviceOptions.log = [this](const std::string& line) {
      if (line.find("/proxy.php") != std::string::npos) serviceRequests++;
    };
    service = std::make_unique<service::ReferenceService>(serviceOptions);
    harness->Ini() = "[Options]\r\nStartUp=1\r\n" + options + service->OptionsIniSection();
    harness->files.folders[fakes::AppHarness::kProfiles].push_back(
        platform::DirectoryEntry{"main", true, false, false});
    harness->Start();
  }

  std::string Registry(const char* name) {
    const auto value =
        harness->registry.Value(platform::RegistryRoot::CurrentUser, kInternetSettingsKey, name);
    if (!value) return "";
    if (const auto* text = std::get_if<std::string>(&*value)) return *text;
    return std::to_string(std::get<std::uint32_t>(*value));
  }
  std::string UserJs() {
    return harness->files.files[std::string(fakes::AppHarness::kProfiles) + "main\\user.js"];
  }
  ui::MainForm& Form() { return harness->app.form; }
  Application& App() { return harness->app; }
  // Pumps until done holds. The pause the search takes after a batch that
  // installed nothing passes at once, as if the user had waited for it,
  // unless a test counts those pauses itself.
  bool Pump(const std::function<bool()>& done) {
    return harness->ui.PumpUntil(
        [&] {
          if (done()) return true;
          if (passPauses && App().search.TEST_Pausing()) {
            harness->ui.AdvanceTime(harness->ui.NextDue() - harness->ui.Now());
          }
          return false;
        },
        std::chrono::seconds(20));
  }
  bool passPauses = true;
  bool Installed(const std::string& proxy) {
    return Pump([&] { return Registry("ProxyServer") == proxy; });
  }
  bool ProbesIdle() {
    return Pump([&] { return !App().search.TEST_Fetching() && AllSettled(); });
  }
  bool AllSettled() {
    for (const auto& slot : App().search.TEST_Slots()) {
      if (slot.state == SlotState::Pending) return false;
    }
    return true;
  }
  std::uint64_t Probes(std::size_t proxy) { return proxies[proxy]->Requests(); }

  std::atomic<int> serviceRequests{0};  // both steps of each fetch
  std::vector<std::unique_ptr<testproxy::TestProxy>> proxies;
  std::unique_ptr<service::ReferenceService> service;
  std::unique_ptr<fakes::AppHarness> harness = std::make_unique<fakes::AppHarness>();
};

TEST_F(SearchTest, StartInstallsTheFastestProxyOfTheChosenLevelInBothBrowsers) {
  const std::string transparent = Proxy(Anonymity::Transparent);
  const std::string slowElite = Proxy(Anonymity::Elite, Fault::Delay, 400);
  const std::string elite = Proxy(Anonymity::Elite, Fault::Delay, 60);
  Start({transparent + " Here", slowElite + " There", elite + " There"},
        "ProxyType=2\r\nFirefox=1\r\n");

  std::string systemProxyWhenNoticed;
  harness->modal.whileShowing = [&] { systemProxyWhenNoticed = Registry("ProxyServer"); };
  Form().status.startStopButton.Click();
  EXPECT_EQ(Form().status.startStopButton.Caption(), "STOP");
  ASSERT_TRUE(Installed(elite));
  EXPECT_EQ(Registry("ProxyEnable"), "1");
  const auto [host, port] = *text::SplitAtFirstColon(elite);
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), host);
  EXPECT_EQ(Form().status.proxyDescriptionLabel.Caption(), "There");
  EXPECT_EQ(Form().status.anonymityLabel.Caption(), "Elite Proxy");
  EXPECT_GT(Form().status.speedGauge.Position(), 90);
  EXPECT_TRUE(Form().status.activeIndicator.Visible());
  EXPECT_FALSE(Form().trayIcon.Cycling());
  EXPECT_EQ(Form().trayIcon.LastBalloon().title, "Proxy changed");
  EXPECT_EQ(Form().trayIcon.LastBalloon().text, std::string(host) + " - There");
  for (const char* pref : {"http", "ssl"}) {
    EXPECT_NE(UserJs().find("user_pref(\"network.proxy." + std::string(pref) + "\", \"" +
                            std::string(host) + "\");\r\nuser_pref(\"network.proxy." + pref +
                            "_port\", " + std::string(port) + ");"),
              std::string::npos)
        << pref;
  }
  EXPECT_EQ(harness->modal.shown,
            std::vector<std::string>{"Proxy changed: If your Firefox browser is opened, you should "
                                     "restart it to activate the new proxy settings."});
  EXPECT_EQ(systemProxyWhenNoticed, elite) << "the notice waits for nothing";

  // The slower elite proxy reports later, ranks lower and changes nothing.
  ASSERT_TRUE(ProbesIdle());
  EXPECT_EQ(Registry("ProxyServer"), elite);

  Form().status.startStopButton.Click();  // STOP: the user had no proxy
  EXPECT_EQ(Registry("ProxyServer"), "");
  EXPECT_EQ(Registry("ProxyEnable"), "");
  EXPECT_EQ(userjs::StateOf(UserJs()), userjs::State::PuttingBack);
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), "[none]");
  EXPECT_TRUE(Form().status.inactiveIndicator.Visible());
  EXPECT_EQ(Form().trayIcon.LastBalloon().text, "Anonymity deactivated");
  EXPECT_EQ(Form().trayIcon.Set(), ui::TrayIcon::IconSet::Idle);
}

TEST_F(SearchTest, ProxyTypeDecidesWhatIsAcceptedAsItIsStored) {
  const struct {
    const char* stored;  // the ProxyType line, if any
    int winner;          // index among transparent, anonymous, elite
  } cases[] = {{"", 0},
               {"ProxyType=1\r\n", 1},
               {"ProxyType=2\r\n", 2},
               {"ProxyType=3\r\n", 1},
               {"ProxyType=-1\r\n", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    harness = std::make_unique<fakes::AppHarness>();
    proxies.clear();
    // Later candidates answer later, so the first accepted one wins.
    const std::vector<std::string> pool = {Proxy(Anonymity::Transparent) + " T",
                                           Proxy(Anonymity::Anonymous, Fault::Delay, 400) + " A",
                                           Proxy(Anonymity::Elite, Fault::Delay, 800) + " E"};
    Start(pool, c.stored);
    Form().status.startStopButton.Click();
    ASSERT_TRUE(ProbesIdle());
    EXPECT_EQ(Registry("ProxyServer"), pool[c.winner].substr(0, pool[c.winner].find(' ')));
  }
}

// A proxy that answers the judge but carries no HTTPS would break almost
// every page: the faster ones that refuse, drop or stall the tunnel lose to
// the slower one that carries it.
TEST_F(SearchTest, OnlyAProxyThatTunnelsIsInstalled) {
  const std::string refusing = Proxy(Anonymity::Elite, Fault::NoConnect);
  const std::string dropping = Proxy(Anonymity::Elite, Fault::ConnectDrop);
  const std::string tunnelling = Proxy(Anonymity::Elite, Fault::Delay, 300);
  const std::string stalling = Proxy(Anonymity::Elite, Fault::ConnectStall);
  Start({refusing + " R", dropping + " D", tunnelling + " T", stalling + " S", Dead() + " D",
         Dead() + " D"},
        "ProxyType=2\r\nTimeout=1\r\n");
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(tunnelling));
  ASSERT_TRUE(ProbesIdle());
  for (const int k : {0, 1}) {
    EXPECT_EQ(App().search.TEST_Slots()[k].state, SlotState::Failed) << k;
    EXPECT_EQ(App().search.TEST_Slots()[k].level, AnonymityLevel::Elite) << "the judge answered " << k;
  }
  // A batch whose tunnels all fail is followed after a pause, as any failed one.
  Form().mainMenu.changeIpNowItem.Click();
  ASSERT_TRUE(Pump([&] { return serviceRequests.load() >= 6; }));
  EXPECT_TRUE(ProbesIdle());
  EXPECT_EQ(Registry("ProxyServer"), tunnelling) << "stalled and dead: nothing better";
}

TEST_F(SearchTest, EqualSpeedsGoToTheLowerSlotWhicheverReportsFirst) {
  for (const bool slot2First : {true, false}) {
    SCOPED_TRACE(slot2First ? "slot 2 reports first" : "slot 0 reports first");
    // With a clock that stands still every accepted proxy scores 100.
    harness = std::make_unique<fakes::AppHarness>([] { return std::int64_t{0}; });
    proxies.clear();
    const std::string slot0 = Proxy(Anonymity::Elite, Fault::Delay, slot2First ? 400 : 0);
    const std::string slot2 = Proxy(Anonymity::Elite, Fault::Delay, slot2First ? 0 : 400);
    Start({slot0 + " A", Dead() + " B", slot2 + " C"});
    Form().status.startStopButton.Click();
    if (slot2First) {
      ASSERT_TRUE(Installed(slot2));
    }
    ASSERT_TRUE(Installed(slot0));
    const int balloons = Form().trayIcon.LastBalloon().serial;
    ASSERT_TRUE(ProbesIdle());
    EXPECT_EQ(Registry("ProxyServer"), slot0);
    EXPECT_EQ(Form().status.proxyDescriptionLabel.Caption(), "A");
    EXPECT_EQ(Form().trayIcon.LastBalloon().serial, balloons)
        << "a report that changes nothing says nothing";
  }
}

// The host is what the view and the check compare: a better report of the
// installed host through another port installs nothing. With the Firefox
// option off, installing leaves the profile's user.js as it was (STOP and
// exit clear it whatever the option says).
TEST_F(SearchTest, TheInstalledHostThroughAnotherPortAndFirefoxOffChangeNothing) {
  harness = std::make_unique<fakes::AppHarness>([] { return std::int64_t{0}; });
  const std::string later = Proxy(Anonymity::Elite, Fault::Delay, 400);
  const std::string host(text::SplitAtFirstColon(later)->first);
  proxies.push_back(testproxy::StartOnAddress(host, Anonymity::Elite, Fault::None, 0));
  const std::string first = proxies.back()->Endpoint();
  const std::string keep = "user_pref(\"browser.startup.homepage\", \"about:home\");\r\n";
  Start({later + " A", first + " B", Dead() + " C"});
  harness->files.files[std::string(fakes::AppHarness::kProfiles) + "main\\user.js"] = keep;
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(first));
  const int balloons = Form().trayIcon.LastBalloon().serial;
  ASSERT_TRUE(ProbesIdle());
  EXPECT_EQ(App().search.TEST_Slots()[0].state, SlotState::Accepted) << "the better slot, same host";
  EXPECT_EQ(Registry("ProxyServer"), first);
  EXPECT_EQ(Form().status.proxyDescriptionLabel.Caption(), "B");
  EXPECT_EQ(Form().trayIcon.LastBalloon().serial, balloons);
  EXPECT_EQ(UserJs(), keep);
  EXPECT_TRUE(harness->modal.shown.empty()) << "no restart notice";
}

TEST_F(SearchTest, AThirteenSecondAnswerIsNeverInstalledAndStartsNoBatch) {
  std::int64_t now = 0;
  harness = std::make_unique<fakes::AppHarness>([&now] { return now += 13000; });
  Start({Proxy(Anonymity::Elite) + " Slow", Dead() + " B", Dead() + " C",
         Proxy(Anonymity::Elite) + " Next"});
  Form().status.startStopButton.Click();
  ASSERT_TRUE(ProbesIdle());
  EXPECT_EQ(App().search.TEST_Slots()[0].state, SlotState::Accepted);
  EXPECT_EQ(App().search.TEST_Slots()[0].speed, 0);
  EXPECT_EQ(Registry("ProxyServer"), "");
  EXPECT_EQ(serviceRequests.load(), 2) << "one batch only";
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), "Searching in...");
}

TEST_F(SearchTest, FailedBatchesAreFollowedEachProbedAfresh) {
  // Proxies that answer a digit the judge never sends: each probe reaches
  // them and fails, so every probe of every batch can be counted.
  const std::string wrong1 = Proxy(Anonymity::Elite, Fault::WrongDigit, 7);
  const std::string wrong2 = Proxy(Anonymity::Elite, Fault::WrongDigit, 8);
  const std::string wrong3 = Proxy(Anonymity::Elite, Fault::WrongDigit, 9);
  const std::string good = Proxy(Anonymity::Anonymous);
  Start({wrong1 + " W", wrong2 + " W", wrong3 + " W", wrong1 + " W", wrong2 + " W", wrong3 + " W",
         Dead() + " D", good + " G", "1.2.3.4:99999 Unusable"});
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(good));
  ASSERT_TRUE(ProbesIdle());
  EXPECT_EQ(serviceRequests.load(), 6) << "three batches";
  // Each failing proxy was probed once in each of its two batches: the
  // worker whose report started the next batch probed that batch too.
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(Probes(k), 2u) << k;
  EXPECT_EQ(App().search.TEST_Slots()[2].state, SlotState::Failed) << "a port of 99999 is never probed";
}

TEST_F(SearchTest, FailedBatchesFollowAfterAGrowingPauseThatNoUserWaitsFor) {
  // Lower while the candidates reach a proxy (answering the judge without
  // a tunnel, say), as one batch of those is no sign of a dead service.
  for (const bool reached : {false, true}) {
    std::vector<std::uint32_t> pauses;
    for (int batches = 1; batches <= 10; ++batches)
      pauses.push_back(ProxySearch::PauseAfterFailedBatches(batches, reached));
    EXPECT_EQ(pauses, reached ? (std::vector<std::uint32_t>{100, 200, 400, 800, 1600, 3200, 6400,
                                                            12800, 25600, 30000})
                              : (std::vector<std::uint32_t>{500, 1000, 2000, 4000, 8000, 16000,
                                                            30000, 30000, 30000, 30000}));
  }
  passPauses = false;

  // Refused at once, or never tried: not a byte reaches a proxy.
  Start({Dead() + " A", "1.2.3.4:99999 B", Dead() + " C"});
  Form().status.startStopButton.Click();
  ASSERT_TRUE(ProbesIdle());
  int fetches = 2;  // two requests each
  const auto waitThenFetch = [&](std::uint32_t pause) {
    SCOPED_TRACE(pause);
    harness->ui.AdvanceTime(pause - 1);
    harness->ui.PumpUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_EQ(serviceRequests.load(), fetches) << "not before the pause is over";
    harness->ui.AdvanceTime(1);
    ASSERT_TRUE(Pump([&] { return serviceRequests.load() == fetches + 2; }));
    ASSERT_TRUE(ProbesIdle());
    fetches += 2;
  };
  waitThenFetch(500);
  waitThenFetch(1000);
  // "Change IP now" does not wait for the pause under way, and starts the
  // pauses afresh.
  Form().mainMenu.changeIpNowItem.Click();
  ASSERT_TRUE(Pump([&] { return serviceRequests.load() == fetches + 2; }));
  ASSERT_TRUE(ProbesIdle());
  fetches += 2;
  waitThenFetch(500);
  // STOP ends the pause: no batch follows it.
  Form().status.startStopButton.Click();
  harness->ui.AdvanceTime(60000);
  harness->ui.PumpUntil([] { return false; }, std::chrono::milliseconds(30));
  EXPECT_EQ(serviceRequests.load(), fetches);
}

TEST_F(SearchTest, ABatchNeverSeesAProbeBegunBeforeIt) {
  const std::string lateElite = Proxy(Anonymity::Elite, Fault::Delay, 500);
  const std::string slow = Proxy(Anonymity::Elite, Fault::Delay, 900);
  Start({lateElite + " Late", Dead() + " D", Dead() + " D", slow + " Slow", Dead() + " D",
         Dead() + " D"},
        "ProxyType=2\r\n");
  Form().status.startStopButton.Click();
  // The late proxy's probe is still under way when the next batch starts;
  // its acceptance must not land in that batch's first slot, which probes the
  // slow one for another 900 ms.
  Form().mainMenu.changeIpNowItem.Click();
  ASSERT_TRUE(Pump([&] { return serviceRequests.load() >= 4; }));
  harness->ui.PumpUntil([] { return false; }, std::chrono::milliseconds(700));
  EXPECT_EQ(Registry("ProxyServer"), "") << "the late elite proxy belonged to an earlier batch";
  EXPECT_EQ(App().search.TEST_Slots()[0].state, SlotState::Pending);
  Form().status.startStopButton.Click();
}

TEST_F(SearchTest, StopDuringProbesDropsTheirResultsAndKeepsTheProxyCleared) {
  const std::string slow = Proxy(Anonymity::Elite, Fault::Delay, 300);
  Start({slow + " S", Dead() + " D", Dead() + " D"});
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Pump([&] { return Probes(0) == 1; }));
  Form().status.startStopButton.Click();  // STOP while the probe waits
  harness->ui.PumpUntil([] { return false; }, std::chrono::milliseconds(600));
  EXPECT_EQ(Registry("ProxyServer"), "") << "nothing was installed, nothing written";
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), "[none]");
  EXPECT_EQ(serviceRequests.load(), 2) << "no further batch";
}

TEST_F(SearchTest, ClosingOrLoggingOffWhileProbesRunEndsWithinTheirBoundWithTheProxyCleared) {
  for (const bool logOff : {false, true}) {
    SCOPED_TRACE(logOff ? "log-off" : "Close");
    harness = std::make_unique<fakes::AppHarness>();
    const std::string slow = Proxy(Anonymity::Elite, Fault::Delay, 1500);
    Start({slow + " S", Dead() + " D", Dead() + " D"});
    Form().status.startStopButton.Click();
    ASSERT_TRUE(Pump([&] { return Probes(proxies.size() - 1) == 1; }));
    if (logOff) {
      EXPECT_TRUE(App().PrepareToClose(/*sessionEnding=*/true));
    } else {
      Form().mainMenu.closeItem.Click();
      EXPECT_TRUE(harness->desktop.quit);
    }
    EXPECT_EQ(Registry("ProxyServer"), "");
    // The program object goes once the message loop has ended; its probe
    // clients must outlive the probe still under way.
    const auto before = std::chrono::steady_clock::now();
    harness.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500 + 1000));
  }
}

TEST_F(SearchTest, AProbeOfATricklingProxyEndsWithinItsTimeOutAndSoDoesClose) {
  // A byte every 300 ms: each read is well within the second of the
  // time-out, the whole reply would take half a minute.
  const std::string trickling = Proxy(Anonymity::Elite, Fault::Trickle, 300);
  Start({trickling + " T", Dead() + " D", Dead() + " D"}, "Timeout=1\r\n");
  const auto before = std::chrono::steady_clock::now();
  Form().status.startStopButton.Click();
  // Its failed batch is followed at once by the next, which probes it again.
  ASSERT_TRUE(Pump([&] { return Probes(0) == 2; }));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000 + 700));
  // Close ends within that probe's bound.
  Form().mainMenu.closeItem.Click();
  const auto closed = std::chrono::steady_clock::now();
  harness.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::milliseconds(1000 + 700));
}

TEST_F(SearchTest, CloseOrStopEndsAFetchFromAServiceThatNeverAnswers) {
  using http::testing::ServerConnection;
  for (const char* reply :
       {"", "HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n12"}) {
    for (const bool close : {true, false}) {
      SCOPED_TRACE(std::string(close ? "Close after " : "STOP after ") + "'" + reply + "'");
      harness = std::make_unique<fakes::AppHarness>();
      http::testing::TestServer silent([reply](ServerConnection& c) {
        c.ReadRequest();
        c.Send(reply);
        c.Sleep(5000);
      });
      harness->Ini() =
          "[Options]\r\nStartUp=1\r\n[Service]\r\nHost=127.0.0.1:" + std::to_string(silent.Port()) +
          "\r\n";
      harness->Start();
      // From the fetch's own message loop, as the user's click comes.
      harness->ui.Post([&] {
        if (close) {
          Form().mainMenu.closeItem.Click();
        } else {
          Form().status.startStopButton.Click();
        }
      });
      const auto ms = http::testing::MillisecondsOf([&] { Form().status.startStopButton.Click(); });
      EXPECT_LT(ms, 1000);
      EXPECT_FALSE(App().search.TEST_Fetching());
      EXPECT_EQ(Registry("ProxyServer"), "");
      EXPECT_EQ(harness->desktop.quit, close);
    }
  }
}

TEST_F(SearchTest, OfflineStartOnlyShowsTheSearchWaiting) {
  harness->desktop.inetIsOffline = 1;
  Start({Proxy(Anonymity::Elite) + " E", Dead() + " D", Dead() + " D"});
  const int balloons = Form().trayIcon.LastBalloon().serial;
  Form().status.startStopButton.Click();
  EXPECT_EQ(Form().status.startStopButton.Caption(), "STOP");
  EXPECT_TRUE(App().status.TEST_BlinkTimer().Enabled());
  EXPECT_EQ(Form().trayIcon.LastBalloon().serial, balloons);
  EXPECT_FALSE(App().TEST_ProxyActive());
  EXPECT_EQ(serviceRequests.load(), 0);
  App().OnMainMenuOpening();
  EXPECT_EQ(Form().mainMenu.startStopItem.Caption(), "Start");
}

TEST_F(SearchTest, AFailedFetchFromATickKeepsTheProxyInUse) {
  const std::string elite = Proxy(Anonymity::Elite);
  Start({elite + " E", Dead() + " D", Dead() + " D"}, "Change1=1\r\n");
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(elite));
  ASSERT_TRUE(ProbesIdle());
  service.reset();  // the service goes away
  harness->ui.AdvanceTime(App().rotation.TEST_TickTimer().Interval());
  EXPECT_EQ(Form().trayIcon.LastBalloon().title, "Error while connecting");
  EXPECT_EQ(Form().status.startStopButton.Caption(), "START");
  EXPECT_TRUE(Form().status.inactiveIndicator.Visible());
  EXPECT_EQ(Registry("ProxyServer"), elite);
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), text::SplitAtFirstColon(elite)->first);
  const int balloons = Form().trayIcon.LastBalloon().serial;
  harness->ui.AdvanceTime(App().rotation.TEST_TickTimer().Interval());  // START shows: ticks do nothing
  EXPECT_EQ(Form().trayIcon.LastBalloon().serial, balloons);
}

TEST_F(SearchTest, ARotationTickOrChangeIpNowInstallsTheNextBatchsWinner) {
  const std::string first = Proxy(Anonymity::Elite);
  const std::string second = Proxy(Anonymity::Elite);
  Start(
      {first + " One", Dead() + " D", Dead() + " D", second + " Two", Dead() + " D", Dead() + " D"},
      "Change1=1\r\n");
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(first));
  harness->ui.AdvanceTime(App().rotation.TEST_TickTimer().Interval());
  ASSERT_TRUE(Installed(second));
  Form().mainMenu.changeIpNowItem.Click();
  ASSERT_TRUE(Installed(first));
  EXPECT_EQ(Form().status.proxyDescriptionLabel.Caption(), "One");
}

TEST_F(SearchTest, AStopWhileTheBatchIsFetchedWins) {
  const std::string elite = Proxy(Anonymity::Elite);
  Start({elite + " E", Dead() + " D", Dead() + " D"});
  // STOP, START again and STOP once more while the first fetch waits for the
  // service: each arrives through the window's messages during the fetch.
  harness->ui.Post([&] {
    Form().status.startStopButton.Click();
    Form().mainMenu.changeIpNowItem.Click();  // joins the fetch under way
    Form().status.startStopButton.Click();
  });
  Form().status.startStopButton.Click();
  harness->ui.PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(Registry("ProxyServer"), "");
  EXPECT_EQ(Form().status.proxyAddressLabel.Caption(), "[none]");
  EXPECT_EQ(Form().status.startStopButton.Caption(), "START");
  EXPECT_EQ(Form().trayIcon.LastBalloon().text, "Anonymity deactivated");
  // The messages may run while either step is under way (the window's
  // messages run each slice, data or none): the STOP then cuts the fetch
  // short after its first step, and no second fetch begins.
  EXPECT_GE(serviceRequests.load(), 1);
  EXPECT_LE(serviceRequests.load(), 2) << "one fetch served every request";
}

TEST_F(SearchTest, ARotationTickDuringTheFetchJoinsIt) {
  const std::string elite = Proxy(Anonymity::Elite);
  Start({elite + " E", Dead() + " D", Dead() + " D"}, "Change1=1\r\n");
  harness->ui.Post([&] { harness->ui.AdvanceTime(App().rotation.TEST_TickTimer().Interval()); });
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Installed(elite));
  ASSERT_TRUE(ProbesIdle());
  EXPECT_EQ(serviceRequests.load(), 2) << "the tick was served by the fetch under way";
  EXPECT_EQ(Form().status.startStopButton.Caption(), "STOP");
}

// The restart notice waits for OK for as long as the user leaves it: the
// search goes on meanwhile, every worker free to probe the next batch.
TEST_F(SearchTest, TheSearchGoesOnWhileTheRestartNoticeWaits) {
  const std::string first = Proxy(Anonymity::Elite);
  const std::string second = Proxy(Anonymity::Elite);
  Start(
      {first + " One", Dead() + " D", Dead() + " D", second + " Two", Dead() + " D", Dead() + " D"},
      "Firefox=1\r\n");
  bool secondWhileShown = false;
  bool shown = false;
  harness->modal.whileShowing = [&] {
    if (std::exchange(shown, true)) return;
    Form().mainMenu.changeIpNowItem.Click();
    secondWhileShown = Installed(second);
  };
  Form().status.startStopButton.Click();
  ASSERT_TRUE(Pump([&] { return !harness->modal.shown.empty(); }));
  EXPECT_TRUE(secondWhileShown);
}

// A fetch that the search began after a failed batch may be joined by the
// user's START, "Change IP now" or a tick: its failure is then theirs to hear
// of, and the view does not go on saying "Searching in...".
TEST_F(SearchTest, AUserRequestThatJoinedAFailedBatchsFetchHearsItFail) {
  std::atomic<int> requests{0};
  Start({Dead() + " D", Dead() + " D", Dead() + " D"}, "", [&](int) {
    if (++requests < 3) return false;
    // The second fetch, begun by the failed batch: the user joins it.
    harness->ui.Post([&] { Form().mainMenu.changeIpNowItem.Click(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return true;
  });
  Form().status.startStopButton.Click();
  ASSERT_TRUE(ProbesIdle());
  harness->ui.AdvanceTime(ProxySearch::PauseAfterFailedBatches(1, false));  // the failed batch's next
  ASSERT_TRUE(
      Pump([&] { return Form().trayIcon.LastBalloon().title == "Error while connecting"; }));
  EXPECT_EQ(Form().status.startStopButton.Caption(), "START");
  EXPECT_TRUE(Form().status.inactiveIndicator.Visible());
  EXPECT_FALSE(App().TEST_ProxyActive());
}

}  // namespace
}  // namespace cloakwise::search
