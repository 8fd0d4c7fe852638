#include "service/rate_limit.h"

#include <algorithm>

namespace cloakwise::service {

RateLimit PerMinute(int batches) {
  if (batches <= 0) return {};
  return RateLimit{batches, 60000 / batches};
}

RateLimiter::RateLimiter(RateLimit limit, MillisecondClock clock)
    : limit_(limit), clock_(clock ? std::move(clock) : MillisecondClock(SteadyMilliseconds)) {}

bool RateLimiter::Allow(const std::string& address) {
  if (limit_.burst <= 0) return true;
  const std::int64_t now = clock_();
  std::lock_guard lock(mutex_);
  auto found = fullAt_.find(address);
  if (found == fullAt_.end()) {
    if (fullAt_.size() >= kMaxAddresses) {
      // An address whose burst is whole again is as good as never seen.
      std::erase_if(fullAt_, [now](const auto& entry) { return entry.second <= now; });
      if (fullAt_.size() >= kMaxAddresses) return false;
    }
    found = fullAt_.emplace(address, now).first;
  }
  std::int64_t& fullAt = found->second;
  fullAt = std::max(fullAt, now);
  if (fullAt - now > (limit_.burst - 1) * limit_.everyMs) return false;
  fullAt += limit_.everyMs;
  return true;
}

}  // namespace cloakwise::service
