// The judge through a real proxy that run_judge_through.sh started: the
// program's own HTTP client, as a search worker uses it, must read the digit
// the proxy's set-up stands for.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "http/http_client.h"
#include "judge/judge.h"

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

// The tunnel probe on the same client, after the judge, as a search worker
// makes it: carried where the proxy lets CONNECT through, refused where not,
// and the judge still answers on the same client afterwards.
TEST_F(JudgeThroughRealProxy, TheTunnelProbeTellsWhetherTheProxyCarriesHttps) {
  http::HttpClient probe;
  UseProxy(probe);
  const ProxyAddress proxy{"127.0.0.1", std::stoi(port)};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(probe.Get(judgeUrl), expected) << "request " << i + 1;
    EXPECT_EQ(judge::TunnelsThrough(probe, proxy, tunnelUrl, 10000), tunnels) << "tunnel " << i + 1;
  }
}

}  // namespace
}  // namespace cloakwise::search
