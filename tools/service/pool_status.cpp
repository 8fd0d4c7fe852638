#include "service/pool_status.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace cloakwise::service {
namespace {

constexpr const char* kLevelNames[] = {"transparent", "anonymous", "elite"};

std::string Seconds(std::int64_t ms) {
  return std::to_string(ms / 1000) + " s";
}

nlohmann::json SecondsOrNull(const std::optional<std::int64_t>& ms) {
  return ms ? nlohmann::json(*ms / 1000) : nlohmann::json(nullptr);
}

}  // namespace

PoolStatus SumUp(const std::vector<PoolEntry>& entries, std::int64_t nowMs,
                 const PoolPolicy& policy, std::size_t checksLastMinute,
                 std::vector<SourceState> sources) {
  PoolStatus status;
  status.nowMs = nowMs;
  status.entries = entries.size();
  status.checksLastMinute = checksLastMinute;
  status.sources = std::move(sources);
  for (const PoolEntry& entry : entries) {
    if (!entry.lastCheckedMs) {
      ++status.unchecked;
    } else if (entry.failures > 0) {
      ++status.failing;
    }
    if (Servable(entry, nowMs, policy)) ++status.servable;
    if (!entry.Working()) continue;
    ++status.working;
    if (entry.level && *entry.level >= 0 && *entry.level <= 2) {
      ++status.workingByLevel[static_cast<std::size_t>(*entry.level)];
    }
    if (entry.tunnels) ++status.tunnelling;
    const std::int64_t age = nowMs - *entry.lastWorkingMs;
    status.freshestAgeMs = std::min(status.freshestAgeMs.value_or(age), age);
    status.oldestAgeMs = std::max(status.oldestAgeMs.value_or(age), age);
  }
  return status;
}

std::string StatusText(const PoolStatus& s) {
  std::string text = "entries: " + std::to_string(s.entries) + "\n";
  text += "unchecked: " + std::to_string(s.unchecked) + "\n";
  text += "working: " + std::to_string(s.working) + " (";
  for (int level = 2; level >= 0; --level) {
    text += std::string(kLevelNames[level]) + " " + std::to_string(s.workingByLevel[level]) +
            (level > 0 ? ", " : ")\n");
  }
  text += "tunnelling: " + std::to_string(s.tunnelling) + "\n";
  text += "servable: " + std::to_string(s.servable) + "\n";
  text += "failing: " + std::to_string(s.failing) + "\n";
  text += "checks in the last minute: " + std::to_string(s.checksLastMinute) + "\n";
  if (s.freshestAgeMs) {
    text += "freshest working seen: " + Seconds(*s.freshestAgeMs) + " ago\n";
    text += "oldest working seen: " + Seconds(*s.oldestAgeMs) + " ago\n";
  }
  for (const SourceState& source : s.sources) {
    text += "source " + source.name + ": ";
    if (source.failures > 0) {
      text +=
          "failing (" + std::to_string(source.failures) + " in a row: " + source.lastProblem + ")";
    } else if (source.lastGoodMs) {
      text += std::to_string(source.lastCount) + " proxies";
    } else {
      text += "not read yet";
    }
    text +=
        ", next read in " + Seconds(std::max<std::int64_t>(0, source.nextFetchMs - s.nowMs)) + "\n";
  }
  return text;
}

std::string StatusJson(const PoolStatus& s) {
  nlohmann::json working = {{"total", s.working}};
  for (int level = 0; level <= 2; ++level) working[kLevelNames[level]] = s.workingByLevel[level];
  nlohmann::json sources = nlohmann::json::array();
  for (const SourceState& source : s.sources) {
    sources.push_back(
        {{"name", source.name},
         {"failures", source.failures},
         {"problem", source.lastProblem},
         {"proxies", source.lastCount},
         {"lastGoodAgeSeconds",
          SecondsOrNull(source.lastGoodMs ? std::optional(s.nowMs - *source.lastGoodMs)
                                          : std::nullopt)},
         {"nextReadInSeconds", std::max<std::int64_t>(0, source.nextFetchMs - s.nowMs) / 1000}});
  }
  const nlohmann::json status = {{"checking", true},
                                 {"entries", s.entries},
                                 {"unchecked", s.unchecked},
                                 {"working", working},
                                 {"tunnelling", s.tunnelling},
                                 {"servable", s.servable},
                                 {"failing", s.failing},
                                 {"checksLastMinute", s.checksLastMinute},
                                 {"freshestAgeSeconds", SecondsOrNull(s.freshestAgeMs)},
                                 {"oldestAgeSeconds", SecondsOrNull(s.oldestAgeMs)},
                                 {"sources", sources}};
  // Source names come from the command line; replaced, not thrown over, if
  // one is not UTF-8.
  return status.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string StaticStatus(std::size_t entries, bool json) {
  if (json) return nlohmann::json{{"checking", false}, {"entries", entries}}.dump() + "\n";
  return "entries: " + std::to_string(entries) + "\nchecking: off\n";
}

}  // namespace cloakwise::service
