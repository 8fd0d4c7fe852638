#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace cloakwise {

// Milliseconds that never go back, from any origin: what time-outs, answer
// times and pauses are measured in. Tests pass their own.
using MillisecondClock = std::function<std::int64_t()>;

inline std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace cloakwise
