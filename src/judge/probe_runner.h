#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/proxy_address.h"
#include "core/steady_clock.h"
#include "judge/judge.h"

// The one probe of a proxy that the search, the watch on the proxy in use and
// the list check all make: the judge through it, then, when the caller wants
// it for that answer, a tunnel through it to the service. Many probes run on
// one thread at once, each a small state machine over a non-blocking socket,
// all waited for together: a proxy that accepts and never answers holds one
// socket and no thread for its time-out, so a list that is mostly dead costs
// about one time-out per round of `inFlight` silent entries.
namespace cloakwise::judge {

// What one probe found.
struct ProbeOutcome {
  std::optional<AnonymityLevel> level;  // the judge's digit, when it answered one
  bool reached = false;                 // a proxy took the connection
  bool tunnels = false;                 // only ever true when the tunnel was asked for
  std::int64_t answerMs = 0;            // the probe's start to the end of the judge's reply
  std::int64_t tookMs = 0;              // the probe's start to its end
};

struct ProbeSettings {
  // Each of the two requests, connect included, ends within this.
  int timeoutMs = 10000;
  // Probes in flight at once; each holds at most one connection.
  std::size_t inFlight = 1;
  // Whether the tunnel is worth asking for, given the judge's answer; unset:
  // always.
  std::function<bool(AnonymityLevel)> tunnelWhen;
  // What the answer times are read from; unset: the steady clock. Time-outs
  // always run on the steady clock.
  MillisecondClock answerClock;
};

// A proxy to probe and the caller's name for it.
struct ProbeJob {
  std::uint64_t tag = 0;
  ProxyAddress proxy;
};

// Probes what next() hands out, keeping up to settings.inFlight probes in
// flight, until next() has nothing more with no probe in flight (it is asked
// again whenever there is room, so jobs may come late); done() is
// called, on this thread, as each one ends. A probe's time starts before the
// next() that handed it out. stop() is asked at least every 100 ms: once it
// holds, every probe in flight is abandoned (its connection closed, dropped()
// told) and Run returns false. True when every job got its outcome.
class ProbeRunner {
 public:
  using Next = std::function<std::optional<ProbeJob>()>;
  using Done = std::function<void(const ProbeJob&, const ProbeOutcome&)>;
  using Dropped = std::function<void(const ProbeJob&)>;

  ProbeRunner(ServiceUrls urls, ProbeSettings settings);
  bool Run(const Next& next, const Done& done, const std::function<bool()>& stop = {},
           const Dropped& dropped = {});

  // The most connections the last Run held open at once.
  std::size_t PeakConnections() const { return peak_; }

 private:
  ServiceUrls urls_;
  ProbeSettings settings_;
  std::size_t peak_ = 0;
};

// One proxy, on the calling thread: nothing when stop() ended it first.
std::optional<ProbeOutcome> ProbeProxy(const ProxyAddress& proxy, const ServiceUrls& urls,
                                       const ProbeSettings& settings,
                                       const std::function<bool()>& stop = {});

}  // namespace cloakwise::judge
