// Which entries a batch is made of, and how often one address may have one.
#include <gtest/gtest.h>

#include <set>

#include "search/proxy_search.h"
#include "service/batch_choice.h"
#include "service/pool_life.h"
#include "service/rate_limit.h"

namespace cloakwise::service {
namespace {

constexpr std::int64_t kMinute = 60000;

TEST(BatchChoice, ServesOnlyWorkingTunnellingRecentEntriesTheFreshestFirst) {
  const PoolPolicy policy;  // fresh for 30 minutes
  const std::int64_t now = 100 * kMinute;
  struct Made {
    const char* address;
    std::optional<std::int64_t> workedMinutesAgo;
    bool tunnels = true;
    int failures = 0;
    std::int64_t answerMs = 100;
    const char* description = "";
  };
  const Made made[] = {
      {"127.0.0.1:1", 3},
      {"127.0.0.1:2", 1, true, 0, 100, "Squid, loopback"},
      {"127.0.0.1:3", 1, true, 0, 40},  // as fresh, and faster
      {"127.0.0.1:4", 0, false},        // carries no HTTPS
      {"127.0.0.1:5", 2, true, 1},      // failed since
      {"127.0.0.1:6", 31},              // not vouched for any more
      {"127.0.0.1:7", std::nullopt},    // never checked
      {"127.0.0.1:8", 30},
  };
  std::vector<PoolEntry> entries;
  for (const Made& m : made) {
    PoolEntry entry = NewEntry({m.address, m.description}, "s", 0);
    if (m.workedMinutesAgo) {
      entry.level = 2;
      entry.lastCheckedMs = entry.lastWorkingMs = now - *m.workedMinutesAgo * kMinute;
      entry.tunnels = m.tunnels;
      entry.answerMs = m.answerMs;
      entry.failures = m.failures;
    }
    entries.push_back(entry);
  }
  EXPECT_EQ(FreshestFirst(entries, now, policy),
            (std::vector<std::string>{"127.0.0.1:3 Location unknown", "127.0.0.1:2 Squid, loopback",
                                      "127.0.0.1:1 Location unknown",
                                      "127.0.0.1:8 Location unknown"}));
}

TEST(BatchChoice, EachBatchTakesTheNextThreeOfTheFresherPart) {
  using Picked = std::array<std::size_t, 3>;
  const struct {
    std::size_t available;
    std::uint64_t turn;
    Picked picked;
  } cases[] = {
      {1, 0, {0, 0, 0}},    {2, 0, {0, 0, 1}},      {2, 1, {0, 1, 1}},
      {7, 0, {0, 1, 2}},    {7, 1, {3, 4, 5}},      {7, 2, {0, 1, 6}},
      {12, 3, {9, 10, 11}}, {12, 4, {0, 1, 2}},     {30, 4, {12, 13, 14}},  // the freshest 15
      {30, 5, {0, 1, 2}},   {100, 16, {0, 48, 49}},                         // the freshest 50
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PickThree(c.available, c.turn), c.picked) << c.available << " turn " << c.turn;
  }
}

TEST(BatchChoice, ACrowdAskingAtOnceIsNotHandedTheSameThree) {
  std::vector<std::string> lines;
  for (int i = 0; i < 40; ++i) lines.push_back("127.0.0.1:" + std::to_string(100 + i) + " Elite");
  BatchChoice choice;
  EXPECT_EQ(BatchChoice().Next({}), std::nullopt);
  std::set<std::string> handed;
  for (int client = 0; client < 6; ++client) {
    const auto batch = choice.Next(lines);
    ASSERT_TRUE(batch);
    std::size_t at = 0;
    for (int k = 0; k < 3; ++k) {
      const std::size_t end = batch->find(';', at);
      const std::string line = batch->substr(at, end - at);
      EXPECT_TRUE(handed.insert(line).second) << line << " handed twice";
      EXPECT_LT(std::stoi(line.substr(10)), 120) << "from the fresher half";
      at = end + 1;
    }
  }
}

TEST(RateLimit, AnAddressAskingFasterThanItsRateIsRefusedUntilItSlowsDown) {
  std::int64_t now = 0;
  RateLimiter limiter({3, 1000}, [&] { return now; });
  const struct {
    std::int64_t at;
    const char* address;
    bool allowed;
  } asks[] = {
      {0, "127.0.0.9", true},    {0, "127.0.0.9", true},     {10, "127.0.0.9", true},
      {20, "127.0.0.9", false},  {20, "127.0.0.8", true},    {999, "127.0.0.9", false},
      {1000, "127.0.0.9", true}, {1001, "127.0.0.9", false}, {4000, "127.0.0.9", true},
      {4000, "127.0.0.9", true}, {4000, "127.0.0.9", true},  {4000, "127.0.0.9", false},
  };
  for (const auto& a : asks) {
    now = a.at;
    EXPECT_EQ(limiter.Allow(a.address), a.allowed) << a.address << " at " << a.at;
  }
  RateLimiter off({}, [&] { return now; });
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(off.Allow("127.0.0.9"));
}

TEST(RateLimit, AFullTableRefusesNewAddressesUntilSomeHaveSlowedDown) {
  std::int64_t now = 0;
  RateLimiter limiter({3, 1000}, [&] { return now; });
  const auto address = [](std::size_t n) {
    return "127." + std::to_string(n >> 16) + "." + std::to_string((n >> 8) & 255) + "." +
           std::to_string(n & 255);
  };
  for (std::size_t n = 0; n < RateLimiter::kMaxAddresses; ++n)
    ASSERT_TRUE(limiter.Allow(address(n)));
  EXPECT_FALSE(limiter.Allow("127.255.255.255")) << "every tracked address is still asking";
  EXPECT_TRUE(limiter.Allow(address(0))) << "a tracked one keeps its own rate";
  now = 1000;  // all but the one that asked twice have their whole burst again
  EXPECT_TRUE(limiter.Allow("127.255.255.255"));
}

TEST(RateLimit, TheProgramsOwnPaceIsNeverRefused) {
  // Its fastest: every batch fails at once with its proxies reached, so it
  // waits the shortest pauses, for ten minutes.
  std::int64_t now = 0;
  RateLimiter limiter(PerMinute(10), [&] { return now; });
  for (int batches = 0; now < 10 * kMinute; ++batches) {
    ASSERT_TRUE(limiter.Allow("127.0.0.9")) << "batch " << batches << " at " << now;
    now += search::ProxySearch::PauseAfterFailedBatches(batches + 1, true);
  }
  // A client asking every second of that time is no program of ours.
  RateLimiter hammered(PerMinute(10), [&] { return now; });
  int allowed = 0;
  for (int i = 0; i < 600; ++i, now += 1000) allowed += hammered.Allow("127.0.0.9") ? 1 : 0;
  EXPECT_EQ(allowed, 10 + 99);
}

}  // namespace
}  // namespace cloakwise::service
