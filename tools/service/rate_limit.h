#pragma once

// How often one address may have a batch. The program asks for a batch when
// a search starts and again after each batch that installed nothing, with a
// pause that doubles from a tenth of a second up to half a minute: ten
// batches in its first minute at the very most, then two a minute. An
// address that asks faster is no program of ours, or many behind one
// address; either way it is refused until its rate comes down.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "core/steady_clock.h"

namespace cloakwise::service {

struct RateLimit {
  int burst = 0;             // batches an address may have at once; 0: no limit
  std::int64_t everyMs = 0;  // and one more each this long
};

// "N a minute": a burst of N, one more every 60/N seconds.
RateLimit PerMinute(int batches);

// Thread-safe.
class RateLimiter {
 public:
  // Addresses tracked at once; when every one of them is asking, a new
  // address is refused rather than let any of them off.
  static constexpr std::size_t kMaxAddresses = 65536;

  explicit RateLimiter(RateLimit limit, MillisecondClock clock = {});

  // Whether address may have a batch now; counts it when it may.
  bool Allow(const std::string& address);

 private:
  RateLimit limit_;
  MillisecondClock clock_;
  std::mutex mutex_;
  // When each address will have its whole burst again: a request is allowed
  // while that lies less than a burst ahead, and moves it one step on.
  std::map<std::string, std::int64_t> fullAt_;
};

}  // namespace cloakwise::service
