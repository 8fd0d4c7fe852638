// The test proxy as a program:
//
//   cloakwise-testproxy [--bind 127.0.0.1] [--upstream 127.0.0.1:PORT]
//                       [--port-file FILE] [--log FILE] [--max-seconds N]
//                       PORTS:MODE[:FAULT[=VALUE]]...
//
// MODE is transparent, anonymous or elite; FAULT one of delay=MS, refuse,
// close, garbage, wrongdigit=D, trickle=MS, huge=BYTES, noconnect,
// connectdrop, connectstall, silent (takes the connection, never answers). PORTS is one port, a
// range FIRST-LAST, or 0 for any free port. Runs until SIGINT or SIGTERM, or
// for --max-seconds; --port-file receives the bound ports, one line each as
// "PORT MODE FAULT", once they all listen.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "common/tool_process.h"
#include "testproxy/test_proxy.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr << "cloakwise-testproxy: " << problem << "\n"
            << "usage: cloakwise-testproxy [--bind 127.0.0.1] [--upstream 127.0.0.1:PORT]\n"
               "       [--port-file FILE] [--log FILE] [--max-seconds N]\n"
               "       PORTS:MODE[:FAULT[=VALUE]]...\n"
               "  MODE  transparent | anonymous | elite\n"
               "  FAULT delay=MS | refuse | close | garbage | wrongdigit=D | trickle=MS | "
               "huge=BYTES\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cloakwise::testproxy;
  ProxyOptions options;
  std::string portFile, logPath;
  int maxSeconds = 0;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (!arg.starts_with("--")) {
        for (const auto& plan : ParsePortSpec(arg)) options.ports.push_back(plan);
        continue;
      }
      if (i + 1 >= argc) return Usage("missing value after " + arg);
      const std::string value = argv[++i];
      if (arg == "--bind") {
        options.bindAddress = value;
      } else if (arg == "--upstream") {
        const auto colon = value.rfind(':');
        if (colon == std::string::npos) return Usage("--upstream wants ADDRESS:PORT");
        options.upstream.emplace(value.substr(0, colon),
                                 static_cast<std::uint16_t>(std::stoi(value.substr(colon + 1))));
      } else if (arg == "--port-file") {
        portFile = value;
      } else if (arg == "--log") {
        logPath = value;
      } else if (arg == "--max-seconds") {
        maxSeconds = std::stoi(value);
      } else {
        return Usage("unknown option " + arg);
      }
    }
  } catch (const std::exception& e) {
    return Usage(e.what());
  }
  if (options.ports.empty()) return Usage("no ports");

  options.log = cloakwise::tools::OpenLineLog(logPath);
  if (!options.log) return Usage("cannot write " + logPath);
  const sigset_t stopSignals = cloakwise::tools::BlockStopSignals();
  try {
    TestProxy proxy(options);
    options.log("listening on " + std::to_string(proxy.Ports().size()) + " port(s) of " +
                options.bindAddress);
    std::string lines;
    for (std::size_t i = 0; i < proxy.Ports().size(); ++i) {
      lines += std::to_string(proxy.Ports()[i]) + " " + AnonymityName(options.ports[i].anonymity) +
               " " + FaultName(options.ports[i].fault) + "\n";
    }
    cloakwise::tools::WritePortFile(portFile, lines);
    cloakwise::tools::WaitForStop(stopSignals, maxSeconds);
    proxy.Stop();
    options.log("stopped after " + std::to_string(proxy.Requests()) + " request(s)");
  } catch (const std::exception& e) {
    std::cerr << "cloakwise-testproxy: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
