#include <gtest/gtest.h>

#include "core/proxy_address.h"
#include "search/probe.h"

namespace cloakwise::search {
namespace {

TEST(ProxyAddressRules, OnlyAddressesAndHostNamesWithAWholePortAreProxies) {
  const struct {
    const char* candidate;
    const char* host;  // nullptr: refused
    int port;
  } cases[] = {
      {"127.0.0.2:3128", "127.0.0.2", 3128},
      {" 10.1.2.3\t:\t80\r", "10.1.2.3", 80},
      {"proxy-1.example.net:8080", "proxy-1.example.net", 8080},
      {"1.2.3.4:65535", "1.2.3.4", 65535},
      {"1.2.3.4:1", "1.2.3.4", 1},
      {"1.2.3.4:0", nullptr, 0},
      {"1.2.3.4:65536", nullptr, 0},
      {"1.2.3.4:80.5", nullptr, 0},
      {"1.2.3.4:1e3", nullptr, 0},
      {"1.2.3.4:+80", nullptr, 0},
      {"1.2.3.4:", nullptr, 0},
      {"1.2.3.4", nullptr, 0},
      {"", nullptr, 0},
      {":80", nullptr, 0},
      {"1.2.3.256:80", nullptr, 0},
      {"1.2.3:80", nullptr, 0},
      {"1..2.3:80", nullptr, 0},
      {"-bad.example:80", nullptr, 0},
      {"a_b.example:80", nullptr, 0},
      {"a\"b:80", nullptr, 0},
      {"a);evil(:80", nullptr, 0},
      {"1.2.3.4:80:81", nullptr, 0},
  };
  for (const auto& c : cases) {
    const auto parsed = ProxyAddress::Parse(c.candidate);
    if (!c.host) {
      EXPECT_FALSE(parsed) << c.candidate;
      continue;
    }
    ASSERT_TRUE(parsed) << c.candidate;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
  }
}

TEST(ProbeRules, TheJudgesDigitMustReachTheLowestAcceptedLevel) {
  using enum SlotState;
  const struct {
    const char* body;
    int minimum;
    SlotState state;
    int level;  // -1: no level read
  } cases[] = {
      {"0", 0, Accepted, 0},         {"1", 0, Accepted, 1}, {"2", 0, Accepted, 2},
      {"0", 1, Failed, 0},           {"1", 1, Accepted, 1}, {"2", 1, Accepted, 2},
      {"0", 2, Failed, 0},           {"1", 2, Failed, 1},   {"2", 2, Accepted, 2},
      {"0", 3, Failed, 0},           {"1", 3, Accepted, 1},  // above 2 acts like 1
      {"0", -4, Accepted, 0},                                // below 0 like 0
      {" \t2 \r\n", 2, Accepted, 2}, {"2a", 0, Failed, -1}, {"3", 0, Failed, -1},
      {"", 0, Failed, -1},           {"22", 0, Failed, -1}, {"<html>2</html>", 0, Failed, -1},
  };
  for (const auto& c : cases) {
    const JudgeVerdict verdict = Accept(judge::ReadJudgeLevel(c.body), c.minimum);
    EXPECT_EQ(verdict.state, c.state) << c.body << " at " << c.minimum;
    EXPECT_EQ(verdict.level ? static_cast<int>(*verdict.level) : -1, c.level) << c.body;
  }
}

TEST(ProbeRules, SpeedLosesAPointEvery130MillisecondsWithHalvesToEven) {
  const struct {
    long long elapsed;
    int speed;
  } cases[] = {{0, 100},   {64, 100},  {65, 100},  {66, 99},   {195, 98},  {196, 98},
               {325, 98},  {326, 97},  {6435, 50}, {6500, 50}, {6565, 50}, {12934, 1},
               {12935, 0}, {13000, 0}, {60000, 0}, {-500, 100}};
  for (const auto& c : cases) EXPECT_EQ(SpeedScore(c.elapsed), c.speed) << c.elapsed << " ms";
}

TEST(ProbeRules, ABatchShowsEachDescriptionOnce) {
  const struct {
    std::vector<std::string> descriptions;
    const char* shown;
  } cases[] = {{{"X", "X", "Y"}, "X, Y"}, {{"X", "Y", "X"}, "X, Y"}, {{"X", "Y", "Z"}, "X, Y, Z"},
               {{"X", "X", "X"}, "X"},    {{"X", "Y", "Y"}, "X, Y"}, {{"x", "X", "X"}, "x, X"}};
  for (const auto& c : cases) EXPECT_EQ(DescribeBatch(c.descriptions), c.shown);
}

}  // namespace
}  // namespace cloakwise::search
