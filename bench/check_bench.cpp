// The custom list's check, in two worlds on loopback in this process.
//
// 600 proxies with six probes in flight, against the same list fetched by
// the curl program six at a time (xargs -P 6) in the same run, and against
// the six-at-a-time bound: the sum of the probes' own times spread evenly
// over six, which no such check can beat. 540 answer after 0 to 200 ms, 27
// reset every connection, 27 are closed ports, and 6 wait 11 s, so both
// sides give up on them after their 10 s. Those six are near the top of the
// list: a 10-s probe claimed in the last ten seconds would leave five slots
// idle at the end, for curl and for us alike, and blur what the bound is
// there to show. The same list is then checked with the program's number of
// probes in flight, and must come out row for row as with six.
//
// A public list of 2 000: a tenth working (50 to 1500 ms), four tenths
// closed ports, half silent (they take the connection and never answer),
// checked with the program's number of probes in flight, against the bound
// that number allows (a time-out per round of silent entries, plus the
// slowest answer) and against xargs -P with as many curls doing the same
// two requests per proxy.
//
// Also the ping sort of 10 000 rows against the same exchange sort on a
// plain array. A run takes about two minutes.
//
// Prints the figures, and BENCH lines for scripts/bench.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "checker/custom_proxy_list.h"
#include "checker/list_check.h"
#include "service/reference_service.h"
#include "testproxy/public_list_world.h"
#include "testproxy/test_proxy.h"

namespace {

using namespace cloakwise;
using Clock = std::chrono::steady_clock;
using testproxy::Anonymity;
using testproxy::Fault;

constexpr int kSixInFlight = 6;
constexpr std::size_t kPublicListEntries = 2000;
constexpr int kProxies = 600;
constexpr int kTimingOut = 6;
constexpr int kResetting = 27;
constexpr int kClosed = 27;
constexpr int kTestProxyPorts = kProxies - kClosed;
constexpr int kProxyHosts = 6;  // 127.0.0.60 to .65, up to 100 ports each
constexpr int kPortsPerHost = 100;
constexpr long long kTimingOutDelayMs = 11000;
constexpr auto kRunLimit = std::chrono::seconds(90);  // each run
constexpr std::size_t kSortRows = 10000;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct World {
  std::unique_ptr<service::ReferenceService> judge;
  std::vector<std::unique_ptr<testproxy::TestProxy>> proxies;
  std::vector<std::string> list;  // host:port, in check order
  judge::ServiceUrls urls;
  std::uint64_t Requests() const {
    std::uint64_t total = 0;
    for (const auto& proxy : proxies) total += proxy->Requests();
    return total;
  }
};

World BuildWorld() {
  World world;
  world.judge = std::make_unique<service::ReferenceService>(service::ServiceOptions{});
  world.urls = judge::MakeServiceUrls("127.0.0.1:" + std::to_string(world.judge->Ports()[0]),
                                      world.judge->TunnelPort());

  const Anonymity kinds[] = {Anonymity::Elite, Anonymity::Anonymous, Anonymity::Transparent};
  std::vector<std::string> slow, fast;
  int planned = 0;
  for (int host = 0; host < kProxyHosts; ++host) {
    testproxy::ProxyOptions options;
    options.bindAddress = "127.0.0." + std::to_string(60 + host);
    for (int p = 0; p < kPortsPerHost && planned < kTestProxyPorts; ++p, ++planned) {
      testproxy::PortPlan plan{0, kinds[planned % 3], Fault::Delay, (planned * 37) % 201};
      if (planned < kTimingOut) {
        plan.value = kTimingOutDelayMs;
      } else if (planned < kTimingOut + kResetting) {
        plan.fault = Fault::Refuse;
      }
      options.ports.push_back(plan);
    }
    world.proxies.push_back(std::make_unique<testproxy::TestProxy>(options));
    const auto& ports = world.proxies.back()->Ports();
    for (std::size_t p = 0; p < ports.size(); ++p) {
      const std::size_t index = static_cast<std::size_t>(host * kPortsPerHost) + p;
      const std::string proxy = options.bindAddress + ":" + std::to_string(ports[p]);
      (index < static_cast<std::size_t>(kTimingOut) ? slow : fast).push_back(proxy);
    }
  }
  // Nothing listens on 127.0.0.59: a refused connect at once.
  for (int i = 0; i < kClosed; ++i) fast.push_back("127.0.0.59:" + std::to_string(2000 + i));
  std::mt19937 random(2024);
  std::shuffle(fast.begin(), fast.end(), random);
  // The slow ones among the first hundred, one in every sixteen rows.
  for (std::size_t i = 0; i < slow.size(); ++i) {
    fast.insert(fast.begin() + static_cast<std::ptrdiff_t>(i * 16), slow[i]);
  }
  world.list = std::move(fast);
  return world;
}

struct OurRun {
  double wall = 0;
  double probeSum = 0;  // seconds of the probes' own times
  std::size_t working = 0, failed = 0, peak = 0;
  bool complete = false;
  std::vector<checker::ProxyRow> rows;  // sorted as the grid sorts them
};

OurRun RunOurCheck(const std::vector<std::string>& proxies, const judge::ServiceUrls& urls,
                   std::size_t inFlight) {
  checker::CustomProxyList list;
  std::string pasted;
  for (const std::string& proxy : proxies) pasted += proxy + "\n";
  list.AddPastedLines(pasted);
  list.ResetForCheck();

  const auto started = Clock::now();
  const auto deadline = started + kRunLimit;
  checker::RunFigures figures;
  checker::RunListCheck(
      list, urls, inFlight, [&] { return Clock::now() > deadline; }, {}, &figures);
  OurRun run;
  run.wall = Seconds(Clock::now() - started);
  run.probeSum = static_cast<double>(figures.probeMs) / 1e3;
  run.peak = figures.peakConnections;
  run.complete = !list.CheckPending();
  checker::SortByPing(list);
  run.rows = list.Rows();
  for (const auto& row : run.rows) {
    run.working += row.state == checker::RowState::Working;
    run.failed += row.state != checker::RowState::Working;
  }
  return run;
}

// The same list through curl, inFlight at a time, with the same two
// requests per proxy: the judge, and when it answered, the tunnel page
// through CONNECT (-p). NO_PROXY is cleared so that curl cannot skip the
// proxy for the loopback judge.
std::optional<double> RunCurl(const std::vector<std::string>& proxies,
                              const judge::ServiceUrls& urls, std::size_t inFlight) {
  char folder[] = "/tmp/cloakwise-check-bench-XXXXXX";
  if (!mkdtemp(folder)) return std::nullopt;
  const std::string listPath = std::string(folder) + "/list.txt";
  {
    std::ofstream out(listPath);
    for (const std::string& proxy : proxies) out << proxy << "\n";
  }
  const std::string curl = "curl -s -o /dev/null -x http://{} --max-time 10 ";
  const std::string command =
      "env -u NO_PROXY -u no_proxy timeout " + std::to_string(kRunLimit.count()) + " xargs -P " +
      std::to_string(inFlight) + " -I{} sh -c '" + curl + urls.judge + " && " + curl + "-p " +
      urls.tunnel + "?nonce=0123456789abcdef' < " + listPath;
  const auto started = Clock::now();
  const int status = std::system(command.c_str());
  const double wall = Seconds(Clock::now() - started);
  std::remove(listPath.c_str());
  rmdir(folder);
  // xargs says 123 when some curl failed, as the dead proxies make it.
  if (status == -1 || !WIFEXITED(status) ||
      (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 123))
    return std::nullopt;
  return wall;
}

// The exchange sort itself on a plain array of rows and keys, with nothing
// around it: what the list's sort costs beyond the algorithm.
double PlainExchangeSortMs(std::vector<checker::ProxyRow> rows) {
  const auto started = Clock::now();
  std::vector<int> keys;
  for (const auto& row : rows) keys.push_back(checker::PingSortKey(row.answerMs));
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (keys[j] < keys[i]) {
        std::swap(keys[i], keys[j]);
        std::swap(rows[i], rows[j]);
      }
    }
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

struct SortFigures {
  double ours = 0, plain = 0;
  bool sorted = false;
};

SortFigures MeasureSort() {
  checker::CustomProxyList list;
  std::string pasted;
  for (std::size_t i = 0; i < kSortRows; ++i) {
    pasted += "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
              std::to_string(i % 256) + ":80\n";
  }
  list.AddPastedLines(pasted);
  std::mt19937 random(7);
  while (const auto claimed = list.Claim()) {
    const int seconds = static_cast<int>(random() % 64);
    if (seconds >= 60) {
      list.Finish(claimed->id, {std::nullopt, checker::RowState::NotWorking, std::nullopt});
    } else {
      list.Finish(claimed->id,
                  {judge::AnonymityLevel::Elite, checker::RowState::Working, seconds * 1000});
    }
  }
  const std::vector<checker::ProxyRow> plainRows = list.Rows();

  SortFigures figures;
  figures.plain = PlainExchangeSortMs(plainRows);
  int swaps = 0;
  const auto started = Clock::now();
  checker::SortByPing(list, [&swaps] { ++swaps; });
  figures.ours = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  const auto rows = list.Rows();
  figures.sorted = std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return checker::PingSortKey(a.answerMs) < checker::PingSortKey(b.answerMs);
  });
  std::printf("ping sort of %zu rows: %.1f ms, %d swaps (plain array: %.1f ms)\n", kSortRows,
              figures.ours, swaps, figures.plain);
  return figures;
}

bool SameOrder(const std::vector<checker::ProxyRow>& a, const std::vector<checker::ProxyRow>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return x.proxy == y.proxy; });
}

bool SixInFlightWorld(double* ours, double* curl, double* bound) {
  World world = BuildWorld();
  const std::size_t working = world.list.size() - kTimingOut - kResetting - kClosed;
  std::printf(
      "%zu proxies on loopback: %zu answering after 0-200 ms, %d resetting, %d closed, "
      "%d silent for 11 s\n",
      world.list.size(), working, kResetting, kClosed, kTimingOut);
  std::fflush(stdout);

  const std::uint64_t before = world.Requests();
  const OurRun six = RunOurCheck(world.list, world.urls, kSixInFlight);
  const std::uint64_t ourRequests = world.Requests() - before;
  if (!six.complete || six.working != working || six.failed != world.list.size() - working) {
    std::fprintf(stderr, "the check did not come out as built: %zu working, %zu failed%s\n",
                 six.working, six.failed, six.complete ? "" : ", unfinished");
    return false;
  }
  const std::optional<double> curlWall = RunCurl(world.list, world.urls, kSixInFlight);
  const std::uint64_t curlRequests = world.Requests() - before - ourRequests;
  if (!curlWall) {
    std::fprintf(stderr, "xargs and curl could not be run, or ran out of time\n");
    return false;
  }
  if (curlRequests != ourRequests) {
    std::fprintf(stderr, "curl reached %llu proxies, the check %llu: not the same work\n",
                 static_cast<unsigned long long>(curlRequests),
                 static_cast<unsigned long long>(ourRequests));
    return false;
  }
  const OurRun many = RunOurCheck(world.list, world.urls, checker::kDefaultParallelChecks);
  // The same entries must come out the same: Type and Status always. An
  // answer time may cross a half second where the loopback world itself
  // queues 400 requests that arrive at once (its proxies' threads, the
  // judge's): that is the world, and it is counted, not hidden.
  std::map<std::string, checker::ProxyRow> byProxy;
  for (const auto& row : six.rows) byProxy[row.proxy] = row;
  std::size_t samePing = 0;
  for (const auto& row : many.rows) {
    const checker::ProxyRow& before = byProxy[row.proxy];
    if (row.level != before.level || row.state != before.state) {
      std::fprintf(stderr, "%s came out otherwise with %d probes in flight: %s %s, not %s %s\n",
                   row.proxy.c_str(), checker::kDefaultParallelChecks,
                   checker::CellText(row, checker::kTypeColumn).c_str(), checker::StatusText(row.state),
                   checker::CellText(before, checker::kTypeColumn).c_str(),
                   checker::StatusText(before.state));
      return false;
    }
    samePing += checker::CellText(row, checker::kPingColumn) ==
                checker::CellText(before, checker::kPingColumn);
  }
  *ours = six.wall;
  *curl = *curlWall;
  *bound = six.probeSum / kSixInFlight;
  std::printf("check, 6 in flight        %7.2f s\n", six.wall);
  std::printf("xargs -P 6 curl           %7.2f s   ratio %.3f (goal <= 1.0)\n", *curl,
              six.wall / *curl);
  std::printf(
      "six-at-a-time bound       %7.2f s   ratio %.3f (goal <= 1.05; probes' own time "
      "%.1f s)\n",
      *bound, six.wall / *bound, six.probeSum);
  std::printf(
      "check, %d in flight      %7.2f s   the same Type and Status in all %zu rows, the same "
      "Ping in %zu, the same order: %s\n",
      checker::kDefaultParallelChecks, many.wall, many.rows.size(), samePing,
      SameOrder(many.rows, six.rows) ? "yes" : "no");
  return true;
}

bool PublicListWorld(double* ours, double* curl, double* bound) {
  const testproxy::PublicListWorld world =
      testproxy::BuildPublicListWorld(kPublicListEntries, 70);
  service::ReferenceService judge{service::ServiceOptions{}};
  const judge::ServiceUrls urls =
      judge::MakeServiceUrls("127.0.0.1:" + std::to_string(judge.Ports()[0]), judge.TunnelPort());
  const std::size_t inFlight = checker::kDefaultParallelChecks;
  std::printf("\npublic list of %zu on loopback: %zu working (50-1500 ms), %zu silent, the rest "
              "closed; %zu in flight\n",
              world.list.size(), world.delayOf.size(), world.silent, inFlight);
  const OurRun run = RunOurCheck(world.list, urls, inFlight);
  if (!run.complete || run.working != world.delayOf.size()) {
    std::fprintf(stderr, "the check did not come out as built: %zu working%s\n", run.working,
                 run.complete ? "" : ", unfinished");
    return false;
  }
  const std::optional<double> curlWall = RunCurl(world.list, urls, inFlight);
  if (!curlWall) {
    std::fprintf(stderr, "xargs and curl could not be run, or ran out of time\n");
    return false;
  }
  *ours = run.wall;
  *curl = *curlWall;
  *bound = static_cast<double>(world.BoundMs(inFlight, checker::kProbeReadTimeoutMs)) / 1e3;
  std::printf("check                     %7.2f s   at most %zu connections at once\n", run.wall,
              run.peak);
  std::printf("bound of %zu in flight   %7.2f s   ratio %.3f (goal <= 1.2)\n", inFlight, *bound,
              run.wall / *bound);
  std::printf("xargs -P %zu curl         %7.2f s   ratio %.3f (goal <= 1.0)\n", inFlight, *curl,
              run.wall / *curl);
  return true;
}

}  // namespace

int main() {
  double six = 0, sixCurl = 0, sixBound = 0;
  if (!SixInFlightWorld(&six, &sixCurl, &sixBound)) return 1;
  double list = 0, listCurl = 0, listBound = 0;
  if (!PublicListWorld(&list, &listCurl, &listBound)) return 1;
  const SortFigures sort = MeasureSort();
  if (!sort.sorted) {
    std::fprintf(stderr, "the sort left the rows out of order\n");
    return 1;
  }

  std::printf(
      "BENCH\tlist check, 600 loopback proxies, 6 in flight, vs xargs -P 6 curl\twall time"
      "\t%.3f\t%.3f\ts\n",
      six, sixCurl);
  std::printf(
      "BENCH\tlist check, 600 loopback proxies, 6 in flight, vs six-at-a-time bound\twall time"
      "\t%.3f\t%.3f\ts\n",
      six, sixBound);
  std::printf(
      "BENCH\tlist check, public list of 2000, vs the bound of %d in flight\twall time"
      "\t%.3f\t%.3f\ts\n",
      checker::kDefaultParallelChecks, list, listBound);
  std::printf(
      "BENCH\tlist check, public list of 2000, vs xargs -P %d curl\twall time\t%.3f\t%.3f\ts\n",
      checker::kDefaultParallelChecks, list, listCurl);
  std::printf("BENCH\tping sort, 10000 rows, vs plain exchange sort\ttime\t%.2f\t%.2f\tms\n",
              sort.ours, sort.plain);
  return 0;
}
