// The live pool's round against the list check, on the same public list of
// 2 000 in this process.
//
// The list is shaped as users copy them from public sites (a tenth working,
// answering after 50 to 1500 ms; four tenths closed ports; half silent, so
// they hold their probe for the whole time-out). The service's live pool
// reads it as a list file, checks every entry against its own service's
// judge and tunnel port and writes the outcomes to a SQLite file: one round
// as the service's thread runs it, from the read to the write. The checker
// then checks the same list against the same judge with as many probes in
// flight as the pool keeps (the service's default), once in the list's own
// order and once in the order the pool checks it: the pool's checks are the
// checker's probes with a store around them, so a round should cost what
// the check costs. The bound of that many in flight (a time-out per round
// of silent entries, plus the slowest answer) is printed too. All three
// must find the same working entries, at the same level, and the world's
// working ones exactly. A run takes about three minutes.
//
// Prints the figures, and BENCH lines for scripts/bench.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/custom_proxy_list.h"
#include "checker/list_check.h"
#include "service/live_pool.h"
#include "service/reference_service.h"
#include "testproxy/public_list_world.h"
#include "unit/temp_folder.h"

namespace {

using namespace cloakwise;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kEntries = 2000;
// Hosts 127.0.73.1 to .3: apart from the list check benchmark's world, so
// that running both at once cannot make one's closed ports the other's.
constexpr int kWorldOctet = 73;
constexpr auto kRunLimit = std::chrono::seconds(90);  // each side

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// The working entries and the level each was seen at.
using WorkingSet = std::map<std::string, int>;

struct PoolRun {
  double wall = 0;
  service::RoundFigures figures;
  std::size_t withResult = 0;  // entries that have been checked
  std::size_t entries = 0;
  WorkingSet working;
};

// One round of a fresh pool whose one source is the list file: what the
// service's thread does when the list is new to it.
PoolRun RunPoolRound(service::LivePool& pool, const judge::ServiceUrls& urls) {
  const auto started = Clock::now();
  const auto deadline = started + kRunLimit;
  PoolRun run;
  run.figures = pool.RunRound(urls, [&] { return Clock::now() > deadline; });
  run.wall = Seconds(Clock::now() - started);
  for (const service::PoolEntry& entry : pool.Keeper().Entries()) {
    ++run.entries;
    run.withResult += entry.lastCheckedMs.has_value();
    if (entry.Working() && entry.tunnels) run.working[entry.address] = *entry.level;
  }
  return run;
}

struct CheckRun {
  double wall = 0;
  bool complete = false;
  std::size_t rows = 0;
  WorkingSet working;
};

// The checker's run on the same list, as check_bench times it: the paste is
// made before the clock starts.
CheckRun RunChecker(const std::string& listText, const judge::ServiceUrls& urls,
                    std::size_t inFlight) {
  checker::CustomProxyList list;
  list.AddPastedLines(listText);
  list.ResetForCheck();

  const auto started = Clock::now();
  const auto deadline = started + kRunLimit;
  CheckRun run;
  run.complete = checker::RunListCheck(list, urls, inFlight,
                                       [&] { return Clock::now() > deadline; }) &&
                 !list.CheckPending();
  run.wall = Seconds(Clock::now() - started);
  for (const checker::ProxyRow& row : list.Rows()) {
    ++run.rows;
    if (row.state == checker::RowState::Working && row.level) {
      run.working[row.proxy] = static_cast<int>(*row.level);
    }
  }
  return run;
}

// Where two working sets part, for the error message.
std::string FirstDifference(const WorkingSet& a, const WorkingSet& b) {
  for (const auto& [address, level] : a) {
    const auto found = b.find(address);
    if (found == b.end()) return address + " only in the first";
    if (found->second != level) return address + " at another level";
  }
  for (const auto& [address, level] : b) {
    if (!a.count(address)) return address + " only in the second";
  }
  return "none";
}

}  // namespace

int main() {
  const testproxy::PublicListWorld world = testproxy::BuildPublicListWorld(kEntries, kWorldOctet);
  const testing::TempFolder folder("pool-bench");
  std::string listText;
  for (const std::string& proxy : world.list) listText += proxy + "\n";
  const std::string listFile = folder.File("list.txt");
  {
    std::ofstream out(listFile);
    out << listText;
    if (!out.flush()) {
      std::fprintf(stderr, "cannot write %s\n", listFile.c_str());
      return 1;
    }
  }
  WorkingSet built;
  for (const auto& [proxy, delay] : world.delayOf) built[proxy] = 2;  // all elite

  const std::size_t inFlight = service::PoolPolicy{}.probesInFlight;
  const long long timeoutMs = service::PoolPolicy{}.probeTimeoutMs;
  std::printf(
      "public list of %zu on loopback: %zu working (50-1500 ms), %zu silent, the rest closed; "
      "%zu in flight, %lld ms time-out, on both sides\n",
      world.list.size(), world.delayOf.size(), world.silent, inFlight, timeoutMs);
  std::fflush(stdout);

  service::LivePoolOptions options;
  options.dbPath = folder.File("pool.db");
  options.sources = {service::SourceFromArgument(listFile)};
  options.log = [](const std::string& line) { std::printf("  %s\n", line.c_str()); };
  service::LivePool livePool(options);
  // The service the pool belongs to, whose judge and tunnel port it checks
  // through as --check does; the checker asks the same judge.
  service::ServiceOptions serviceOptions;
  serviceOptions.batches = [&livePool] { return livePool.Batch(); };
  serviceOptions.status = [&livePool](bool json) { return livePool.Status(json); };
  service::ReferenceService service(serviceOptions);
  const judge::ServiceUrls urls = judge::MakeServiceUrls(
      "127.0.0.1:" + std::to_string(service.Ports()[0]), service.TunnelPort());

  std::printf("the pool's round (list file in, SQLite file out):\n");
  const PoolRun pool = RunPoolRound(livePool, urls);
  if (!pool.figures.complete || pool.figures.checked != world.list.size() ||
      pool.withResult != pool.entries || pool.entries != world.list.size()) {
    std::fprintf(stderr,
                 "the round did not check every entry: %zu of %zu checked, %zu of %zu entries "
                 "with a result%s\n",
                 pool.figures.checked, world.list.size(), pool.withResult, pool.entries,
                 pool.figures.complete ? "" : ", stopped at the time limit");
    return 1;
  }
  // The pool takes its due entries by due time, then by address: on a fresh
  // list that is address order, which in this world puts the working host
  // first and the silent ones together, so their time-outs come in whole
  // waves. The check takes the list's own order. The second check is given
  // the pool's order, so the difference that order makes is not counted as
  // the pool's own.
  std::vector<std::string> poolOrder = world.list;
  std::sort(poolOrder.begin(), poolOrder.end());
  std::string poolOrderText;
  for (const std::string& proxy : poolOrder) poolOrderText += proxy + "\n";
  const CheckRun check = RunChecker(listText, urls, inFlight);
  const CheckRun sorted = RunChecker(poolOrderText, urls, inFlight);
  for (const CheckRun* run : {&check, &sorted}) {
    if (!run->complete || run->rows != world.list.size()) {
      std::fprintf(stderr, "the check did not finish: %zu rows%s\n", run->rows,
                   run->complete ? "" : ", stopped at the time limit");
      return 1;
    }
  }

  const bool same = pool.working == check.working && pool.working == sorted.working;
  const bool asBuilt = pool.working == built;
  const double bound = static_cast<double>(world.BoundMs(inFlight, timeoutMs)) / 1e3;
  std::printf("pool round                   %7.2f s   %zu checked, %zu working and tunnelling\n",
              pool.wall, pool.figures.checked, pool.working.size());
  std::printf("list check, the list's order %7.2f s   %zu working   ratio pool/check %.3f "
              "(goal about 1, at most 1)\n",
              check.wall, check.working.size(), pool.wall / check.wall);
  std::printf("list check, the pool's order %7.2f s   %zu working   ratio pool/check %.3f\n",
              sorted.wall, sorted.working.size(), pool.wall / sorted.wall);
  std::printf("bound of %zu in flight       %7.2f s   ratio pool/bound %.3f\n", inFlight, bound,
              pool.wall / bound);
  std::printf("the same working set, at the same levels, in all three: %s; the world's %zu "
              "working ones: %s\n",
              same ? "yes" : "no", built.size(), asBuilt ? "yes" : "no");
  if (!same || !asBuilt) {
    std::fprintf(stderr,
                 "the working sets differ, first difference (pool, check): %s; (pool, check in "
                 "the pool's order): %s; (pool, world): %s\n",
                 FirstDifference(pool.working, check.working).c_str(),
                 FirstDifference(pool.working, sorted.working).c_str(),
                 FirstDifference(pool.working, built).c_str());
    return 1;
  }

  std::printf(
      "BENCH\tpool round, public list of %zu, vs list check, %zu in flight\twall time"
      "\t%.3f\t%.3f\ts\n",
      world.list.size(), inFlight, pool.wall, check.wall);
  std::printf(
      "BENCH\tpool round, public list of %zu, vs list check in the pool's order, %zu in flight"
      "\twall time\t%.3f\t%.3f\ts\n",
      world.list.size(), inFlight, pool.wall, sorted.wall);
  std::printf(
      "BENCH\tpool round, public list of %zu, vs the bound of %zu in flight\twall time"
      "\t%.3f\t%.3f\ts\n",
      world.list.size(), inFlight, pool.wall, bound);
  return 0;
}
