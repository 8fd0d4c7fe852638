// The reference list service and judge as a program, for the tests, the demo
// and the benchmarks:
//
//   cloakwise-service --pool FILE [--port N]... [--tunnel-port N] [--bind 127.0.0.1]
//                     [--port-file FILE] [--log FILE] [--max-seconds N]
//                     [--drop-step 1|2] [--garble-step 1|2] [--rate-limit N]
//                     [--check [--db FILE] [--source FILE|URL]... [--source-minutes N]
//                      [--check-parallel N] [--recheck-seconds N]
//                      [--public-host HOST[:PORT]] [--public-tunnel-port N]]
//
// Runs until SIGINT or SIGTERM, or for --max-seconds. Port 0 takes any free
// port; --port-file receives the bound ports on one line once they listen,
// and on a second, "tunnel PORT": where the tunnel probe asks (--tunnel-port,
// a free one unless given).
//
// Without --check the pool is served as it is, round robin. With it the pool
// is live: the candidates of --pool and of every --source (a list file or an
// http:// list, read again every --source-minutes, 30 unless given) are
// checked against this service's own judge and tunnel port, --check-parallel
// at once (200 unless given), a working one again --recheck-seconds after it
// last worked (300 unless given), and batches hold only those that work and
// tunnel; --db keeps the pool in that SQLite file across restarts.
// --rate-limit N lets one address have N batches a minute.
// --public-host and --public-tunnel-port name the judge and the tunnel port
// as the proxies being checked reach them, when that is not where the
// service listens: behind a forwarder, a proxy elsewhere asked for the
// service's own loopback address would reach its own.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "common/tool_process.h"
#include "service/live_pool.h"
#include "service/reference_service.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr
      << "cloakwise-service: " << problem << "\n"
      << "usage: cloakwise-service --pool FILE [--port N]... [--tunnel-port N] [--bind 127.0.0.1]\n"
         "       [--port-file FILE] [--log FILE] [--max-seconds N]\n"
         "       [--drop-step 1|2] [--garble-step 1|2] [--rate-limit N]\n"
         "       [--check [--db FILE] [--source FILE|URL]... [--source-minutes N]\n"
         "        [--check-parallel N] [--recheck-seconds N]\n"
         "        [--public-host HOST[:PORT]] [--public-tunnel-port N]]\n";
  return 2;
}

int Number(const std::string& text, int min, int max) {
  std::size_t used = 0;
  const int value = std::stoi(text, &used);
  if (used != text.size() || value < min || value > max) throw std::out_of_range(text);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  using cloakwise::service::ServiceOptions;
  ServiceOptions options;
  options.ports.clear();
  cloakwise::service::LivePoolOptions live;
  std::string poolPath, portFile, logPath, publicHost;
  int publicTunnelPort = 0;
  int maxSeconds = 0;
  bool check = false;
  std::string liveOption;  // the first option that needs --check
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--check") {
        check = true;
        continue;
      }
      if (i + 1 >= argc) return Usage("missing value after " + arg);
      const std::string value = argv[++i];
      if (arg == "--pool") {
        poolPath = value;
      } else if (arg == "--port") {
        options.ports.push_back(static_cast<std::uint16_t>(Number(value, 0, 65535)));
      } else if (arg == "--tunnel-port") {
        options.tunnelPort = static_cast<std::uint16_t>(Number(value, 0, 65535));
      } else if (arg == "--bind") {
        options.bindAddress = value;
      } else if (arg == "--port-file") {
        portFile = value;
      } else if (arg == "--log") {
        logPath = value;
      } else if (arg == "--max-seconds") {
        maxSeconds = Number(value, 1, 86400);
      } else if (arg == "--drop-step") {
        options.dropStep = Number(value, 1, 2);
      } else if (arg == "--garble-step") {
        options.garbleStep = Number(value, 1, 2);
      } else if (arg == "--rate-limit") {
        options.rateLimit = cloakwise::service::PerMinute(Number(value, 1, 60000));
      } else if (arg == "--db") {
        live.dbPath = value;
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--source") {
        try {
          live.sources.push_back(cloakwise::service::SourceFromArgument(value));
        } catch (const std::invalid_argument& e) {
          return Usage(e.what());
        }
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--source-minutes") {
        live.sourcePolicy.refreshMs = Number(value, 1, 10080) * 60000LL;
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--recheck-seconds") {
        live.policy.recheckMs = Number(value, 1, 86400) * 1000LL;
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--public-host") {
        publicHost = value;
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--public-tunnel-port") {
        publicTunnelPort = Number(value, 1, 65535);
        liveOption = liveOption.empty() ? arg : liveOption;
      } else if (arg == "--check-parallel") {
        live.policy.probesInFlight = static_cast<std::size_t>(Number(value, 1, 1000));
        liveOption = liveOption.empty() ? arg : liveOption;
      } else {
        return Usage("unknown option " + arg);
      }
    }
  } catch (const std::exception&) {
    return Usage("bad number");
  }
  if (!check && !liveOption.empty()) return Usage(liveOption + " needs --check");
  if (!check && poolPath.empty()) return Usage("--pool is required");
  if (options.ports.empty()) options.ports.push_back(0);

  if (!poolPath.empty()) {
    std::ifstream poolFile(poolPath, std::ios::binary);
    if (!poolFile) return Usage("cannot read " + poolPath);
    std::stringstream poolText;
    poolText << poolFile.rdbuf();
    try {
      options.pool = cloakwise::service::ParseCandidatePool(poolText.str());
    } catch (const std::exception& e) {
      std::cerr << "cloakwise-service: " << poolPath << ": " << e.what() << "\n";
      return 2;
    }
  }

  options.log = cloakwise::tools::OpenLineLog(logPath);
  if (!options.log) return Usage("cannot write " + logPath);

  std::unique_ptr<cloakwise::service::LivePool> pool;
  if (check) {
    if (!poolPath.empty()) {
      live.sources.insert(live.sources.begin(),
                          {poolPath, cloakwise::service::SourceKind::PoolFile});
    }
    live.log = [log = options.log](const std::string& line) {
      log(cloakwise::service::LogTimestamp() + " " + line);
    };
    try {
      pool = std::make_unique<cloakwise::service::LivePool>(live);
    } catch (const std::exception& e) {
      std::cerr << "cloakwise-service: " << e.what() << "\n";
      return 2;
    }
    options.batches = [&pool] { return pool->Batch(); };
    options.status = [&pool](bool json) { return pool->Status(json); };
  }
  const sigset_t stopSignals = cloakwise::tools::BlockStopSignals();

  try {
    cloakwise::service::ReferenceService service(options);
    std::string ports;
    for (const auto port : service.Ports())
      ports += (ports.empty() ? "" : " ") + std::to_string(port);
    if (pool) {
      options.log("listening on " + options.bindAddress + " ports " + ports + ", a live pool of " +
                  std::to_string(pool->Keeper().Entries().size()) + " entries, checking");
      const std::string judgeHost =
          publicHost.empty()
              ? options.bindAddress + ":" + std::to_string(service.Ports().at(0))
              : publicHost;
      pool->Start(cloakwise::judge::MakeServiceUrls(
          judgeHost, publicTunnelPort ? publicTunnelPort : service.TunnelPort()));
    } else {
      options.log("listening on " + options.bindAddress + " ports " + ports + ", " +
                  std::to_string(options.pool.size()) + " candidates");
    }
    cloakwise::tools::WritePortFile(
        portFile, ports + "\ntunnel " + std::to_string(service.TunnelPort()) + "\n");
    cloakwise::tools::WaitForStop(stopSignals, maxSeconds);
    options.log("stopping");
    // The checks go through the service's own judge: they end first.
    if (pool) pool->Stop();
    service.Stop();
  } catch (const std::exception& e) {
    std::cerr << "cloakwise-service: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
