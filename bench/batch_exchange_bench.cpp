// The batch exchange's throughput on loopback: the list service with a live
// pool against the same service serving its --pool file as it is, in this
// process.
//
// Both read one pool file of 60 loopback proxies that work and tunnel. The
// static service hands them out round robin, as it always has. The live one
// is run as --check runs it: the file is its source, a SQLite file its
// store, and its thread's first round checks every entry through the
// service's own judge; the clock starts once all 60 are servable, so its
// batches come from what the checks found. Neither limits the rate.
//
// Each service is driven by the same 8 clients, each on a thread of its own
// with the program's own list-service client (its HTTP client kept between
// batches, as the search keeps it), asking for batch after batch: the two
// posts of the exchange, and the three lines checked against the pool file.
// Up to 20 000 exchanges or 20 s per service, whichever comes first (2 000
// take a third of a second here, too short to tell the two apart from the
// machine's noise), in four slices each, taken static, live, live, static,
// twice over, so a change in the machine's load meanwhile falls on both. A
// run takes under a minute.
//
// Prints exchanges per second for each and their ratio, and a BENCH line for
// scripts/bench: the time per exchange (the inverse of the rate), so that
// smaller is better there too.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <latch>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_ui_thread.h"
#include "http/errors.h"
#include "http/http_client.h"
#include "search/client_identity.h"
#include "search/proxy_list_service.h"
#include "service/live_pool.h"
#include "service/reference_service.h"
#include "testproxy/test_proxy.h"
#include "unit/temp_folder.h"

namespace {

using namespace cloakwise;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kProxies = 60;
constexpr int kClients = 8;
constexpr std::size_t kExchanges = 20000;             // each service
constexpr auto kTimeLimit = std::chrono::seconds(20);  // each service
constexpr int kSlices = 4;                             // each service
// Before the clock: the services' threads and the clients' connections
// are made once, outside what is measured, for both alike.
constexpr std::size_t kWarmUp = 100;
constexpr auto kReadyLimit = std::chrono::seconds(30);
constexpr int kClientTimeoutMs = 5000;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Driven {
  std::size_t exchanges = 0;  // that came back with three lines of the pool
  double seconds = 0;
  std::vector<double> latenciesMs;
  std::string problem;  // the first thing that went wrong; empty when nothing did
};

// kClients threads ask the service at host for batches until `count` have
// been asked for or `limit` has passed. Every exchange must give three
// lines of the pool.
Driven Drive(const std::string& host, std::size_t count, Clock::duration limit,
             const std::set<std::string>& poolLines) {
  std::atomic<std::size_t> claimed{0};
  std::atomic<std::size_t> done{0};
  std::mutex mutex;
  Driven driven;
  std::latch ready(kClients + 1);
  std::latch go(1);
  Clock::time_point deadline;  // written before go opens

  auto client = [&](int index) {
    // Made on the thread it serves, as the program's user-interface thread
    // makes its own.
    fakes::FakeUiThread ui;
    http::HttpClient http(&ui);
    http.Settings().readTimeoutMs = kClientTimeoutMs;
    search::ClientIdentity identity = search::MakeClientIdentity();
    identity.runNumber = static_cast<std::uint32_t>(1000 + index);
    std::string refusal;
    search::ProxyListService service(
        http, {[](const std::string&) {}, [&](const std::string&, const std::string& text) {
                 refusal = text;
               }},
        ui, identity, host);
    std::vector<double> latencies;
    std::string problem;
    ready.arrive_and_wait();
    go.wait();
    while (problem.empty() && claimed.fetch_add(1) < count && Clock::now() < deadline) {
      std::vector<std::string> lines;
      refusal.clear();
      const auto started = Clock::now();
      try {
        service.FetchProxyBatch(lines);
      } catch (const http::HttpError& e) {
        problem = std::string("the exchange failed: ") + e.what();
        break;
      }
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
      if (!refusal.empty()) {
        problem = "the service refused: " + refusal;
      } else if (lines.size() != 3) {
        problem = "a batch of " + std::to_string(lines.size()) + " lines";
      } else {
        for (const std::string& line : lines) {
          if (!poolLines.count(line)) problem = "a line not in the pool: " + line;
        }
      }
      if (problem.empty()) ++done;
    }
    std::lock_guard lock(mutex);
    driven.latenciesMs.insert(driven.latenciesMs.end(), latencies.begin(), latencies.end());
    if (driven.problem.empty()) driven.problem = problem;
  };

  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) threads.emplace_back(client, i);
  ready.arrive_and_wait();
  const auto started = Clock::now();
  deadline = started + limit;
  go.count_down();
  for (std::thread& thread : threads) thread.join();
  driven.seconds = Seconds(Clock::now() - started);
  driven.exchanges = done;
  return driven;
}

struct Totals {
  std::size_t exchanges = 0;
  double seconds = 0;
  std::vector<double> latenciesMs;

  void Add(const Driven& slice) {
    exchanges += slice.exchanges;
    seconds += slice.seconds;
    latenciesMs.insert(latenciesMs.end(), slice.latenciesMs.begin(), slice.latenciesMs.end());
  }
  double PerSecond() const { return static_cast<double>(exchanges) / seconds; }
  double MsPerExchange() const { return seconds * 1e3 / static_cast<double>(exchanges); }
  double Percentile(double p) const {
    std::vector<double> sorted = latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * sorted.size()))];
  }
};

std::string HostOf(const service::ReferenceService& service) {
  return "127.0.0.1:" + std::to_string(service.Ports()[0]);
}

}  // namespace

int main() {
  testproxy::ProxyOptions proxyOptions;
  proxyOptions.bindAddress = "127.0.74.1";
  proxyOptions.ports.assign(kProxies, testproxy::PortPlan{0, testproxy::Anonymity::Elite,
                                                          testproxy::Fault::None, 0});
  testproxy::TestProxy proxies(proxyOptions);

  const testing::TempFolder folder("batch-bench");
  std::string poolText;
  for (const std::uint16_t port : proxies.Ports()) {
    poolText += proxyOptions.bindAddress + ":" + std::to_string(port) + " Elite, loopback\n";
  }
  const std::string poolFile = folder.File("pool.txt");
  {
    std::ofstream out(poolFile);
    out << poolText;
    if (!out.flush()) {
      std::fprintf(stderr, "cannot write %s\n", poolFile.c_str());
      return 1;
    }
  }

  // Today's service: --pool FILE.
  service::ServiceOptions staticOptions;
  staticOptions.pool = service::ParseCandidatePool(poolText);
  const std::set<std::string> poolLines(staticOptions.pool.begin(), staticOptions.pool.end());
  service::ReferenceService staticService(staticOptions);

  // The live one: --pool FILE --check --db FILE, set up as the service's
  // main does it.
  service::LivePoolOptions liveOptions;
  liveOptions.dbPath = folder.File("pool.db");
  liveOptions.sources = {{poolFile, service::SourceKind::PoolFile}};
  service::LivePool pool(liveOptions);
  service::ServiceOptions serviceOptions;
  serviceOptions.batches = [&pool] { return pool.Batch(); };
  serviceOptions.status = [&pool](bool json) { return pool.Status(json); };
  service::ReferenceService liveService(serviceOptions);
  if (staticOptions.rateLimit.burst != 0 || serviceOptions.rateLimit.burst != 0) {
    std::fprintf(stderr, "a rate limit is on: this measures the exchange, not the limit\n");
    return 1;
  }
  const auto checkStarted = Clock::now();
  pool.Start(judge::MakeServiceUrls(HostOf(liveService), liveService.TunnelPort()));
  while (pool.Keeper().ServedLines().size() < kProxies) {
    if (Clock::now() - checkStarted > kReadyLimit) {
      std::fprintf(stderr, "the live pool serves %zu of %zu proxies after %lld s\n",
                   pool.Keeper().ServedLines().size(), kProxies,
                   static_cast<long long>(kReadyLimit.count()));
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf(
      "a pool of %zu loopback proxies, all working; the live pool had checked them all after "
      "%.2f s\n%d clients, up to %zu exchanges or %lld s per service, in %d slices\n",
      kProxies, Seconds(Clock::now() - checkStarted), kClients, kExchanges,
      static_cast<long long>(kTimeLimit.count()), kSlices);
  std::fflush(stdout);

  struct Side {
    const char* name;
    service::ReferenceService* service;
    Totals totals;
  };
  Side staticSide{"static --pool", &staticService, {}};
  Side liveSide{"live pool", &liveService, {}};
  for (Side* side : {&staticSide, &liveSide}) {
    const Driven warm = Drive(HostOf(*side->service), kWarmUp, kTimeLimit, poolLines);
    if (!warm.problem.empty()) {
      std::fprintf(stderr, "%s: %s\n", side->name, warm.problem.c_str());
      return 1;
    }
  }
  std::vector<Side*> order;
  for (int pair = 0; pair < kSlices / 2; ++pair) {
    for (Side* side : {&staticSide, &liveSide, &liveSide, &staticSide}) order.push_back(side);
  }
  for (Side* side : order) {
    const Driven slice =
        Drive(HostOf(*side->service), kExchanges / kSlices, kTimeLimit / kSlices, poolLines);
    if (!slice.problem.empty() || slice.exchanges == 0) {
      std::fprintf(stderr, "%s: %s\n", side->name,
                   slice.problem.empty() ? "no exchange in the time" : slice.problem.c_str());
      return 1;
    }
    std::printf("  %-14s %6zu exchanges in %6.2f s  %8.1f a second\n", side->name,
                slice.exchanges, slice.seconds,
                static_cast<double>(slice.exchanges) / slice.seconds);
    side->totals.Add(slice);
  }
  pool.Stop();

  for (const Side* side : {&staticSide, &liveSide}) {
    const Totals& t = side->totals;
    std::printf("%-14s %6zu exchanges in %6.2f s  %8.1f a second   latency median %.2f ms, "
                "99th percentile %.2f ms\n",
                side->name, t.exchanges, t.seconds, t.PerSecond(), t.Percentile(0.5),
                t.Percentile(0.99));
  }
  std::printf("ratio live/static, exchanges a second: %.3f (goal about 1)\n",
              liveSide.totals.PerSecond() / staticSide.totals.PerSecond());
  std::printf(
      "BENCH\tbatch exchange, %d loopback clients, live pool vs static --pool\ttime per exchange"
      "\t%.4f\t%.4f\tms\n",
      kClients, liveSide.totals.MsPerExchange(), staticSide.totals.MsPerExchange());
  return 0;
}
