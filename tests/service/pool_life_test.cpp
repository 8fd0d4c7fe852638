// The life of a pool entry on an injected clock: new, checked, working,
// checked again, failing, backed off and dropped; by the rules alone, and
// through the keeper against real test proxies and the service's own judge.
#include <gtest/gtest.h>

#include <memory>

#include "service/pool_keeper.h"
#include "service/reference_service.h"
#include "testproxy/test_proxy.h"

namespace cloakwise::service {
namespace {

constexpr std::int64_t kMinute = 60000;

judge::ProbeOutcome Works(bool tunnels = true) {
  judge::ProbeOutcome outcome;
  outcome.level = judge::AnonymityLevel::Elite;
  outcome.reached = true;
  outcome.tunnels = tunnels;
  outcome.answerMs = 80;
  return outcome;
}

TEST(PoolLife, AnEntryIsCheckedWorksIsRecheckedFailsIsBackedOffAndDropped) {
  const PoolPolicy
      policy;  // recheck 5 min, back-off 2, 4 min..., dropped at 3 failures, fresh 30 min
  const judge::ProbeOutcome dead, works = Works(), plain = Works(false);
  const struct {
    const char* step;
    std::int64_t at;
    const judge::ProbeOutcome* outcome;  // nothing: only time passes
    bool kept;
    int failures;
    std::int64_t nextCheck;
    bool servable;
  } steps[] = {
      {"new", 0, nullptr, true, 0, 0, false},
      {"checked: works", 0, &works, true, 0, 5 * kMinute, true},
      {"checked again: works", 5 * kMinute, &works, true, 0, 10 * kMinute, true},
      {"carries no HTTPS", 10 * kMinute, &plain, true, 0, 15 * kMinute, false},
      {"tunnels again", 15 * kMinute, &works, true, 0, 20 * kMinute, true},
      {"fails", 20 * kMinute, &dead, true, 1, 22 * kMinute, false},
      {"fails again: waits twice as long", 22 * kMinute, &dead, true, 2, 26 * kMinute, false},
      {"works after all", 26 * kMinute, &works, true, 0, 31 * kMinute, true},
      {"not checked for too long", 56 * kMinute + 1, nullptr, true, 0, 31 * kMinute, false},
      {"fails", 60 * kMinute, &dead, true, 1, 62 * kMinute, false},
      {"fails", 62 * kMinute, &dead, true, 2, 66 * kMinute, false},
      {"fails a third time: dropped", 66 * kMinute, &dead, false, 3, 66 * kMinute, false},
  };
  PoolEntry entry = NewEntry({"127.0.0.1:3128", ""}, "list.txt", 0);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    if (s.outcome) {
      EXPECT_EQ(ApplyCheck(entry, *s.outcome, s.at, policy), s.kept);
    }
    EXPECT_EQ(entry.failures, s.failures);
    if (s.kept) {
      EXPECT_EQ(entry.nextCheckMs, s.nextCheck);
    }
    EXPECT_EQ(Servable(entry, s.at, policy), s.servable);
  }
  EXPECT_EQ(entry.checks, 10);
  EXPECT_EQ(entry.lastWorkingMs, 26 * kMinute);
  EXPECT_EQ(entry.level, 2) << "what it was when it last worked stays";
}

TEST(PoolLife, TheBackOffDoublesUpToItsLongest) {
  PoolPolicy policy;
  policy.dropAfterFailures = 100;
  PoolEntry entry = NewEntry({"127.0.0.1:3128", ""}, "list.txt", 0);
  const std::int64_t waits[] = {2, 4, 8, 16, 32, 60, 60, 60};
  for (const std::int64_t wait : waits) {
    ASSERT_TRUE(ApplyCheck(entry, judge::ProbeOutcome{}, 0, policy));
    EXPECT_EQ(entry.nextCheckMs, wait * kMinute) << entry.failures;
  }
}

// The keeper on a clock the test moves, probing real proxies on loopback
// through the service's own judge and tunnel port.
class Keeper : public ::testing::Test {
 protected:
  Keeper()
      : service(std::make_unique<ReferenceService>(ServiceOptions{})),
        urls(judge::MakeServiceUrls("127.0.0.1:" + std::to_string(service->Ports()[0]),
                                    service->TunnelPort())),
        store(""),
        keeper(store, Policy(), [this] { return now; }) {}

  static PoolPolicy Policy() {
    PoolPolicy policy;
    policy.probeTimeoutMs = 2000;
    return policy;
  }

  std::unique_ptr<ReferenceService> service;
  judge::ServiceUrls urls;
  std::int64_t now = 1'700'000'000'000;
  PoolStore store;
  PoolKeeper keeper;
};

TEST_F(Keeper, ChecksWhatIsDueKeepsWhatWorksAndDropsWhatKeepsFailing) {
  auto elite = testproxy::StartOnAddress("127.0.0.61", testproxy::Anonymity::Elite);
  auto httpOnly = testproxy::StartOnAddress("127.0.0.62", testproxy::Anonymity::Anonymous,
                                            testproxy::Fault::NoConnect);
  const std::string working = elite->Endpoint(), plain = httpOnly->Endpoint();
  const std::string closed = "127.0.0.63:9";
  EXPECT_EQ(
      keeper.Offer({{working, "Squid"}, {plain, ""}, {closed, ""}, {working, "again"}}, "s").added,
      3u);

  // Each round: minutes on the clock, then how many were checked and what
  // each of the three is by then (missing: dropped).
  const struct {
    std::int64_t minute;
    std::size_t checked;
    int workingFailures, plainFailures, closedFailures;
  } rounds[] = {
      {0, 3, 0, 0, 1},   {1, 0, 0, 0, 1},  // nothing due yet
      {2, 1, 0, 0, 2},                     // the closed port's first back-off is over
      {5, 2, 0, 0, 2},                     // the working ones' recheck
      {6, 1, 0, 0, -1},                    // the closed port's third failure: gone
      {10, 2, 1, 0, -1},                   // the proxy has gone away (below)
      {12, 1, 2, 0, -1}, {15, 1, 2, 0, -1}, {16, 1, -1, 0, -1},
  };
  const std::int64_t start = now;
  for (const auto& r : rounds) {
    SCOPED_TRACE("minute " + std::to_string(r.minute));
    now = start + r.minute * kMinute;
    if (r.minute == 10) elite.reset();
    const RoundFigures figures = keeper.CheckDue(urls);
    EXPECT_TRUE(figures.complete);
    EXPECT_EQ(figures.checked, r.checked);
    const auto failures = [&](const std::string& address) {
      const auto entry = keeper.Find(address);
      return entry ? entry->failures : -1;
    };
    EXPECT_EQ(failures(working), r.workingFailures);
    EXPECT_EQ(failures(plain), r.plainFailures);
    EXPECT_EQ(failures(closed), r.closedFailures);
  }
  const auto entry = keeper.Find(plain);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->level, 1);
  EXPECT_FALSE(entry->tunnels);
  EXPECT_EQ(entry->lastWorkingMs, now - 1 * kMinute);
}

TEST_F(Keeper, CountsTheChecksOfTheLastMinute) {
  auto elite = testproxy::StartOnAddress("127.0.0.64", testproxy::Anonymity::Elite);
  keeper.Offer({{elite->Endpoint(), ""}, {"127.0.0.65:9", ""}, {"not a proxy", ""}}, "s");
  EXPECT_EQ(keeper.CheckDue(urls).checked, 3u);
  EXPECT_EQ(keeper.ChecksInLastMinute(), 3u);
  now += kMinute;
  EXPECT_EQ(keeper.ChecksInLastMinute(), 0u);
}

}  // namespace
}  // namespace cloakwise::service
