#include "service/pool_life.h"

#include <algorithm>

#include "judge/judge.h"

namespace cloakwise::service {

PoolEntry NewEntry(const Candidate& candidate, const std::string& source, std::int64_t nowMs) {
  PoolEntry entry;
  entry.address = candidate.address;
  entry.description = candidate.description;
  entry.source = source;
  entry.addedMs = nowMs;
  entry.nextCheckMs = nowMs;
  return entry;
}

bool ApplyCheck(PoolEntry& entry, const judge::ProbeOutcome& outcome, std::int64_t nowMs,
                const PoolPolicy& policy) {
  entry.lastCheckedMs = nowMs;
  ++entry.checks;
  if (outcome.level) {
    entry.level = static_cast<int>(*outcome.level);
    entry.tunnels = outcome.tunnels;
    entry.answerMs = outcome.answerMs;
    entry.lastWorkingMs = nowMs;
    entry.failures = 0;
    entry.nextCheckMs = nowMs + policy.recheckMs;
    return true;
  }
  // What it was when it last worked stays, for /status and the operator.
  ++entry.failures;
  entry.lastFailureMs = nowMs;
  if (entry.failures >= policy.dropAfterFailures) return false;
  std::int64_t wait = policy.firstBackoffMs;
  for (int k = 1; k < entry.failures && wait < policy.longestBackoffMs; ++k) wait *= 2;
  entry.nextCheckMs = nowMs + std::min(wait, policy.longestBackoffMs);
  return true;
}

bool Servable(const PoolEntry& entry, std::int64_t nowMs, const PoolPolicy& policy) {
  return entry.Working() && entry.tunnels && entry.lastWorkingMs &&
         nowMs - *entry.lastWorkingMs <= policy.freshMs;
}

std::string BatchLine(const PoolEntry& entry) {
  // The window shows the level on a line of its own already.
  return entry.address + " " + (entry.description.empty() ? "Location unknown" : entry.description);
}

std::vector<std::string> FreshestFirst(std::vector<const PoolEntry*> servable) {
  std::sort(servable.begin(), servable.end(), [](const PoolEntry* a, const PoolEntry* b) {
    if (*a->lastWorkingMs != *b->lastWorkingMs) return *a->lastWorkingMs > *b->lastWorkingMs;
    if (a->answerMs != b->answerMs) return a->answerMs < b->answerMs;
    return a->address < b->address;
  });
  std::vector<std::string> lines;
  lines.reserve(servable.size());
  for (const PoolEntry* entry : servable) lines.push_back(BatchLine(*entry));
  return lines;
}

std::vector<std::string> FreshestFirst(const std::vector<PoolEntry>& entries, std::int64_t nowMs,
                                       const PoolPolicy& policy) {
  std::vector<const PoolEntry*> servable;
  for (const PoolEntry& entry : entries) {
    if (Servable(entry, nowMs, policy)) servable.push_back(&entry);
  }
  return FreshestFirst(std::move(servable));
}

}  // namespace cloakwise::service
