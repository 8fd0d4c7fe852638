// The judge through a real proxy that run_judge_through.sh started: the
// program's own HTTP client, and the probe of every proxy the program asks
// about, must read the digit the proxy's set-up stands for.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "http/http_client.h"
#include "judge/judge.h"
#include "judge/probe_runner.h"

namespace cloakwise::search {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class JudgeThroughRealProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(port.empty()) << "run through tests/search/real_proxies/run_judge_through.sh";
  }
  std::string port = Env("CLOAKWISE_PROXY_PORT");
  std::string judgeUrl = Env("CLOAKWISE_JUDGE_URL");
  std::string expected = Env("CLOAKWISE_EXPECTED_LEVEL");
  std::string tunnelUrl = Env("CLOAKWISE_TUNNEL_URL");
  bool tunnels = Env("CLOAKWISE_EXPECTED_TUNNEL") == "yes";

  void UseProxy(http::HttpClient& client) {
    client.Settings().proxyServer = "127.0.0.1";
    client.Settings().proxyPort = std::stoi(port);
    client.Settings().readTimeoutMs = 10000;
  }
};

TEST_F(JudgeThroughRealProxy, ANewProbeReadsTheExpectedLevel) {
  http::HttpClient probe;
  UseProxy(probe);
  EXPECT_EQ(probe.Get(judgeUrl), expected);
}

// One client object, as a worker keeps it. squid keeps the connection;
// tinyproxy closes it after every reply without saying so in the reply; a
// close that crosses the next request on the wire is answered by the client
// sending that request once more on a fresh connection, so requests follow
// each other without a pause.
TEST_F(JudgeThroughRealProxy, OneClientObjectReadsItEveryTime) {
  http::HttpClient probe;
  UseProxy(probe);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(probe.Get(judgeUrl), expected) << "request " << i + 1;
  }
}

// The probe the search, the watch and the checker make: the judge's digit,
// then the tunnel, carried where the proxy lets CONNECT through and refused
// where not; twice, as a proxy sees the next batch's probe.
TEST_F(JudgeThroughRealProxy, TheProbeReadsTheLevelAndWhetherTheProxyCarriesHttps) {
  const ProxyAddress proxy{"127.0.0.1", std::stoi(port)};
  judge::ServiceUrls urls;
  urls.judge = judgeUrl;
  urls.tunnel = tunnelUrl;
  for (int i = 0; i < 2; ++i) {
    const auto outcome = judge::ProbeProxy(proxy, urls, judge::ProbeSettings{});
    ASSERT_TRUE(outcome) << "probe " << i + 1;
    ASSERT_TRUE(outcome->level) << "probe " << i + 1;
    EXPECT_EQ(std::to_string(static_cast<int>(*outcome->level)), expected) << "probe " << i + 1;
    EXPECT_TRUE(outcome->reached);
    EXPECT_EQ(outcome->tunnels, tunnels) << "probe " << i + 1;
  }
}

}  // namespace
}  // namespace cloakwise::search
