#pragma once

// The life of a pool entry: new, checked, working and checked again on a
// schedule, or failing, backed off and finally dropped; and which entries a
// batch may be made of.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "judge/probe_runner.h"
#include "service/pool_entry.h"

namespace cloakwise::service {

struct PoolPolicy {
  // A working entry is checked again this long after it last worked.
  std::int64_t recheckMs = 5 * 60'000;
  // A failing one waits this long after its first failure, twice as long
  // after each further one, but never longer than longestBackoffMs...
  std::int64_t firstBackoffMs = 2 * 60'000;
  std::int64_t longestBackoffMs = 60 * 60'000;
  // ...and goes with this many failures in a row.
  int dropAfterFailures = 3;
  // Only entries that worked this recently go into batches: a few rechecks
  // missed (the service was down, say) and it is no longer vouched for.
  std::int64_t freshMs = 30 * 60'000;
  // The probes: each request's time-out and how many run at once.
  int probeTimeoutMs = 10000;
  std::size_t probesInFlight = 200;
  // Bounds on what a source can make the service hold and do.
  std::size_t maxEntries = 100000;
  std::size_t maxChecksPerRound = 5000;
};

PoolEntry NewEntry(const Candidate& candidate, const std::string& source, std::int64_t nowMs);

// What a check's outcome makes of the entry: false when it is to be dropped.
// Working means the judge answered with its digit; the tunnel is recorded
// beside it, as only entries that carry HTTPS are handed out.
bool ApplyCheck(PoolEntry& entry, const judge::ProbeOutcome& outcome, std::int64_t nowMs,
                const PoolPolicy& policy);

// Whether a batch may hold the entry: it works, tunnels and worked recently.
bool Servable(const PoolEntry& entry, std::int64_t nowMs, const PoolPolicy& policy);

// The line a batch carries for the entry: its address, a blank and a
// description, as the program reads it (what follows the blank is what it
// shows the user while it tries the proxy, where the proxy is). An entry its
// source said nothing of is "Location unknown".
std::string BatchLine(const PoolEntry& entry);

// The lines of the servable entries, the one that worked last first (the
// faster answer first among equals).
std::vector<std::string> FreshestFirst(std::vector<const PoolEntry*> servable);
std::vector<std::string> FreshestFirst(const std::vector<PoolEntry>& entries, std::int64_t nowMs,
                                       const PoolPolicy& policy);

}  // namespace cloakwise::service
