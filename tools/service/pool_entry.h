#pragma once

// One candidate of the live pool and what its checks found, as the keeper,
// the store, the batch choice and /status all see it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cloakwise::service {

// Milliseconds since the Unix epoch. The pool outlives the process, so its
// times are the wall clock's, not the steady clock's; tests pass their own.
using WallClock = std::function<std::int64_t()>;

inline std::int64_t WallMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A proxy a source names, before any check.
struct Candidate {
  std::string address;      // "host:port", as ProxyAddress writes it
  std::string description;  // what the source said of it; may be empty

  friend bool operator==(const Candidate&, const Candidate&) = default;
};

struct PoolEntry {
  std::string address;      // "host:port", as ProxyAddress writes it: the key
  std::string description;  // what a batch line says after the address; may be empty
  std::string source;       // which source named it first
  std::int64_t addedMs = 0;
  std::optional<int> level;  // the judge's digit at the last check that got one
  bool tunnels = false;      // whether that check also went through to the tunnel port
  std::optional<std::int64_t> answerMs;
  std::optional<std::int64_t> lastCheckedMs;
  std::optional<std::int64_t> lastWorkingMs;
  int failures = 0;  // checks failed in a row since it last worked
  std::optional<std::int64_t> lastFailureMs;
  std::int64_t nextCheckMs = 0;
  std::int64_t checks = 0;

  bool Working() const { return lastCheckedMs && failures == 0 && level.has_value(); }

  friend bool operator==(const PoolEntry&, const PoolEntry&) = default;
};

}  // namespace cloakwise::service
