// The test proxy as the probes will meet it: each anonymity reaches the judge
// with the headers it promises, and each fault fails (or slows) a request
// the way it is meant to.
#include "testproxy/test_proxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "http/http_client.h"
#include "service/reference_service.h"
#include "testproxy/loopback_net.h"

namespace cloakwise::testproxy {
namespace {

using Clock = std::chrono::steady_clock;

class ThroughTestProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    service::ServiceOptions options;
    options.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      judgeLog.push_back(line);
    };
    judge = std::make_unique<service::ReferenceService>(options);
    judgeUrl = judge->BaseUrl() + "/feedback.php";
  }

  // One proxy port with this plan; returns its port.
  std::uint16_t Proxy(const std::string& spec) {
    ProxyOptions options;
    options.ports = ParsePortSpec(spec);
    options.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      proxyLog.push_back(line);
    };
    proxies.push_back(std::make_unique<TestProxy>(options));
    return proxies.back()->Ports()[0];
  }

  std::string Probe(std::uint16_t port, const std::string& url, int timeoutMs = 5000) {
    http::HttpClient probe;
    probe.Settings().proxyServer = "127.0.0.1";
    probe.Settings().proxyPort = port;
    probe.Settings().readTimeoutMs = timeoutMs;
    return probe.Get(url);
  }
  std::string Probe(std::uint16_t port) { return Probe(port, judgeUrl); }

  // The judge logs a request once its reply is out, so the line may come
  // just after the probe has returned.
  std::string JudgeLine(std::size_t index) {
    const auto end = Clock::now() + std::chrono::seconds(2);
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (judgeLog.size() > index) return judgeLog[index];
      }
      if (Clock::now() > end) return "";
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  std::mutex mutex;
  std::vector<std::string> judgeLog, proxyLog;
  std::unique_ptr<service::ReferenceService> judge;
  std::string judgeUrl;
  std::vector<std::unique_ptr<TestProxy>> proxies;
};

TEST_F(ThroughTestProxy, EachAnonymityGetsItsVerdict) {
  EXPECT_EQ(Probe(Proxy("0:transparent")), "0");
  EXPECT_NE(JudgeLine(0).find("X-Forwarded-For: 127.0.0.1"), std::string::npos) << JudgeLine(0);
  EXPECT_EQ(Probe(Proxy("0:anonymous")), "1");
  EXPECT_NE(JudgeLine(1).find("Via: 1.1 cloakwise-testproxy"), std::string::npos) << JudgeLine(1);
  EXPECT_EQ(Probe(Proxy("0:elite")), "2");
  const std::string elite = JudgeLine(2);
  EXPECT_NE(elite.find("verdict 2"), std::string::npos) << elite;
  EXPECT_EQ(elite.find("Via"), std::string::npos) << elite;
  EXPECT_EQ(elite.find("Proxy-Connection"), std::string::npos) << elite;
}

TEST_F(ThroughTestProxy, KeepsTheClientConnectionForTheNextRequest) {
  const auto port = Proxy("0:elite");
  http::HttpClient probe;
  probe.Settings().proxyServer = "127.0.0.1";
  probe.Settings().proxyPort = port;
  probe.Settings().readTimeoutMs = 5000;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(probe.Get(judgeUrl), "2");
    EXPECT_TRUE(probe.Connected());
  }
  // The POST of the list exchange passes too, with its body.
  EXPECT_EQ(probe.Post(judgeUrl, {"posttxt=1"}), "2");
  EXPECT_EQ(proxies[0]->Requests(), 6u);
}

TEST_F(ThroughTestProxy, ReachesOnlyLoopback) {
  const auto port = Proxy("0:elite");
  try {
    Probe(port, "http://192.0.2.1/feedback.php");
    ADD_FAILURE() << "forwarded outside loopback";
  } catch (const http::HttpStatusError& e) {
    EXPECT_EQ(e.Code(), 403);
  }
  EXPECT_THROW(Probe(port, "http://judge.example/feedback.php"), http::HttpStatusError);
}

TEST_F(ThroughTestProxy, AnUpstreamOverrideServesAnyHostName) {
  ProxyOptions options;
  options.ports = ParsePortSpec("0:anonymous");
  options.upstream.emplace("127.0.0.1", judge->Ports()[0]);
  TestProxy proxy(options);
  EXPECT_EQ(Probe(proxy.Ports()[0], "http://judge.example/feedback.php"), "1");
}

TEST_F(ThroughTestProxy, DelayHoldsTheReplyBack) {
  const auto port = Proxy("0:elite:delay=600");
  auto start = Clock::now();
  EXPECT_EQ(Probe(port), "2");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(600));
  start = Clock::now();
  EXPECT_THROW(Probe(port, judgeUrl, 200), http::ReadTimeout);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(600));
}

TEST_F(ThroughTestProxy, RefuseResetsTheConnection) {
  EXPECT_THROW(Probe(Proxy("0:elite:refuse")), http::HttpError);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard lock(mutex);
  EXPECT_TRUE(judgeLog.empty()) << "nothing reached the judge";
}

TEST_F(ThroughTestProxy, CloseCutsTheReplyShort) {
  EXPECT_THROW(Probe(Proxy("0:transparent:close")), http::HttpError);
}

TEST_F(ThroughTestProxy, GarbageIsNoReply) {
  EXPECT_THROW(Probe(Proxy("0:elite:garbage")), http::HttpError);
}

TEST_F(ThroughTestProxy, WrongDigitReplacesTheVerdict) {
  EXPECT_EQ(Probe(Proxy("0:transparent:wrongdigit")), "9");
  EXPECT_EQ(Probe(Proxy("0:transparent:wrongdigit=2")), "2");
  EXPECT_NE(JudgeLine(1).find("verdict 0"), std::string::npos) << "the judge saw the truth";
}

TEST_F(ThroughTestProxy, TrickleArrivesWholeButSlowly) {
  const auto port = Proxy("0:anonymous:trickle=5");
  const auto start = Clock::now();
  EXPECT_EQ(Probe(port), "1");
  // A reply head is well over 60 bytes, each 5 ms apart.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(ThroughTestProxy, HugeBodyHitsTheClientsCap) {
  const auto port = Proxy("0:elite:huge=100000000");
  EXPECT_THROW(Probe(port), http::ReplyTooLarge);
  http::HttpClient roomy;
  roomy.Settings().proxyServer = "127.0.0.1";
  roomy.Settings().proxyPort = Proxy("0:elite:huge=300000");
  roomy.Settings().readTimeoutMs = 5000;
  EXPECT_EQ(roomy.Get(judgeUrl), std::string(300000, '2'));
}

TEST_F(ThroughTestProxy, ARangeListensOnEveryPort) {
  // A stretch below the kernel's ephemeral ports, where no connection of
  // this machine takes a port by chance.
  ProxyOptions options;
  std::uint16_t first = 0;
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 50 && proxies.empty(); ++attempt) {
    const auto base = static_cast<std::uint16_t>(20000 + random() % 10000);
    options.ports =
        ParsePortSpec(std::to_string(base) + "-" + std::to_string(base + 19) + ":elite");
    try {
      proxies.push_back(std::make_unique<TestProxy>(options));
      first = base;
    } catch (const std::runtime_error&) {
    }
  }
  ASSERT_FALSE(proxies.empty()) << "no free range of 20 ports";
  ASSERT_EQ(proxies[0]->Ports().size(), 20u);
  for (std::uint16_t port = first; port < first + 20; ++port) EXPECT_EQ(Probe(port), "2") << port;
}

TEST(PortSpec, ReadsRangesModesAndFaults) {
  const auto plans = ParsePortSpec("9000-9002:anonymous:delay=250");
  ASSERT_EQ(plans.size(), 3u);
  EXPECT_EQ(plans[2].port, 9002);
  EXPECT_EQ(plans[0].anonymity, Anonymity::Anonymous);
  EXPECT_EQ(plans[0].fault, Fault::Delay);
  EXPECT_EQ(plans[0].value, 250);
  EXPECT_EQ(ParsePortSpec("0:elite:trickle")[0].value, 200);
  EXPECT_EQ(ParsePortSpec("0:transparent:wrongdigit")[0].value, 9);
  EXPECT_EQ(ParsePortSpec("7:elite")[0].fault, Fault::None);
}

TEST(PortSpec, RefusesWhatItCannotRead) {
  for (const char* bad : {"8080", "8080:stealth", "x:elite", "9-8:elite", "0-5:elite",
                          "70000:elite", "1:elite:explode", "1:elite:refuse=3",
                          "1:elite:wrongdigit=12", "1:elite:delay=-5", "1:elite:delay=soon"}) {
    EXPECT_THROW(ParsePortSpec(bad), std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace cloakwise::testproxy
