#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testproxy/test_proxy.h"

// A loopback world shaped like the proxy lists users copy from public sites:
// a tenth are working elite proxies that tunnel, answering after 50 to
// 1500 ms; four tenths are closed ports (refused at once); half take the
// connection and never answer. For the list check's tests and benchmark.
namespace cloakwise::testproxy {

struct PublicListWorld {
  std::vector<std::unique_ptr<TestProxy>> proxies;
  std::vector<std::string> list;              // host:port, in a shuffled order
  std::map<std::string, long long> delayOf;   // the working ones, by host:port
  std::size_t silent = 0;
  long long slowestMs = 0;

  // What N probes in flight cannot beat: every silent entry holds a probe
  // for one time-out, so they take ceil(silent / N) rounds of it; the
  // slowest working answer comes on top.
  long long BoundMs(std::size_t inFlight, long long timeoutMs) const {
    const std::size_t rounds = (silent + inFlight - 1) / inFlight;
    return static_cast<long long>(rounds) * timeoutMs + slowestMs;
  }
};

// entries rounded down to whole tenths; hosts 127.0.<octet>.1 to .3.
PublicListWorld BuildPublicListWorld(std::size_t entries, int octet, unsigned seed = 2024);

}  // namespace cloakwise::testproxy
