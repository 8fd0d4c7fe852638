// The reference list service and judge as a program, for the tests, the demo
// and the benchmarks:
//
//   cloakwise-service --pool FILE [--port N]... [--tunnel-port N] [--bind 127.0.0.1]
//                     [--port-file FILE] [--log FILE] [--max-seconds N]
//                     [--drop-step 1|2] [--garble-step 1|2]
//
// Runs until SIGINT or SIGTERM, or for --max-seconds. Port 0 takes any free
// port; --port-file receives the bound ports on one line once they listen,
// and on a second, "tunnel PORT": where the tunnel probe asks (--tunnel-port,
// a free one unless given).
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "common/tool_process.h"
#include "service/reference_service.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr
      << "cloakwise-service: " << problem << "\n"
      << "usage: cloakwise-service --pool FILE [--port N]... [--tunnel-port N] [--bind 127.0.0.1]\n"
         "       [--port-file FILE] [--log FILE] [--max-seconds N]\n"
         "       [--drop-step 1|2] [--garble-step 1|2]\n";
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
  std::string poolPath, portFile, logPath;
  int maxSeconds = 0;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
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
      } else {
        return Usage("unknown option " + arg);
      }
    }
  } catch (const std::exception&) {
    return Usage("bad number");
  }
  if (poolPath.empty()) return Usage("--pool is required");
  if (options.ports.empty()) options.ports.push_back(0);

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

  options.log = cloakwise::tools::OpenLineLog(logPath);
  if (!options.log) return Usage("cannot write " + logPath);
  const sigset_t stopSignals = cloakwise::tools::BlockStopSignals();

  try {
    cloakwise::service::ReferenceService service(options);
    std::string ports;
    for (const auto port : service.Ports())
      ports += (ports.empty() ? "" : " ") + std::to_string(port);
    options.log("listening on " + options.bindAddress + " ports " + ports + ", " +
                std::to_string(options.pool.size()) + " candidates");
    cloakwise::tools::WritePortFile(
        portFile, ports + "\ntunnel " + std::to_string(service.TunnelPort()) + "\n");
    cloakwise::tools::WaitForStop(stopSignals, maxSeconds);
    options.log("stopping");
    service.Stop();
  } catch (const std::exception& e) {
    std::cerr << "cloakwise-service: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
