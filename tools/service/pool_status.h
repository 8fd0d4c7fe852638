#pragma once

// What /status tells the operator of the live pool, as text or JSON.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/pool_life.h"
#include "service/pool_sources.h"

namespace cloakwise::service {

struct PoolStatus {
  std::int64_t nowMs = 0;
  std::size_t entries = 0;
  std::size_t unchecked = 0;
  std::size_t working = 0;
  std::array<std::size_t, 3> workingByLevel{};  // transparent, anonymous, elite
  std::size_t tunnelling = 0;                   // of the working ones
  std::size_t servable = 0;                     // what batches are made of
  std::size_t failing = 0;
  std::size_t checksLastMinute = 0;
  // Since the working entries were last seen working: the freshest and the
  // oldest of them.
  std::optional<std::int64_t> freshestAgeMs;
  std::optional<std::int64_t> oldestAgeMs;
  std::vector<SourceState> sources;
};

PoolStatus SumUp(const std::vector<PoolEntry>& entries, std::int64_t nowMs,
                 const PoolPolicy& policy, std::size_t checksLastMinute,
                 std::vector<SourceState> sources);

// "name: value" lines.
std::string StatusText(const PoolStatus& status);
std::string StatusJson(const PoolStatus& status);

// The static pool's, which nothing checks: its size alone.
std::string StaticStatus(std::size_t entries, bool json);

}  // namespace cloakwise::service
