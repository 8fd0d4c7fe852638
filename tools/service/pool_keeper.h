#pragma once

// The live pool in memory and its checks: which entries are due, the
// program's own probe through each (many at once, on the calling thread),
// and what the outcomes make of them; every change goes on to the store.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "judge/judge.h"
#include "service/pool_life.h"
#include "service/pool_store.h"

namespace cloakwise::service {

struct RoundFigures {
  std::size_t checked = 0;
  std::size_t working = 0;
  std::array<std::size_t, 3> byLevel{};  // of the working ones: transparent, anonymous, elite
  std::size_t tunnelling = 0;            // of the working ones
  std::size_t failed = 0;
  std::size_t dropped = 0;  // of the failed ones
  bool complete = true;     // false when a stop ended the round early
};

struct Offered {
  std::size_t added = 0;
  std::size_t full = 0;  // left out: the pool holds policy.maxEntries already
};

// One thread offers, checks and writes; any thread may read.
class PoolKeeper {
 public:
  // Loads what the store holds: what worked recently is served at once, and
  // everything is checked again as its schedule says.
  PoolKeeper(PoolStore& store, PoolPolicy policy, WallClock clock = {});

  // Adds the candidates the pool does not hold yet, due for a check at once.
  Offered Offer(const std::vector<Candidate>& candidates, const std::string& source);

  // Checks the entries due now, the longest due first, up to
  // policy.maxChecksPerRound; stop() is asked at least every 100 ms and
  // leaves the entries in flight as they were.
  RoundFigures CheckDue(const judge::ServiceUrls& urls, const std::function<bool()>& stop = {});

  // Writes every change since the last write in one transaction; throws
  // StoreError and keeps them for the next write when it fails.
  void Flush();

  std::optional<std::int64_t> NextDueMs() const;
  std::vector<PoolEntry> Entries() const;
  std::optional<PoolEntry> Find(const std::string& address) const;
  // What batches may hold now, as FreshestFirst gives it.
  std::vector<std::string> ServedLines() const;
  // Changes whenever an entry does.
  std::uint64_t Version() const;
  std::size_t ChecksInLastMinute() const;
  const PoolPolicy& Policy() const { return policy_; }
  std::int64_t Now() const { return clock_(); }

 private:
  void Touch(const std::string& address);

  PoolStore& store_;
  const PoolPolicy policy_;
  const WallClock clock_;
  mutable std::mutex mutex_;
  std::map<std::string, PoolEntry> entries_;
  std::set<std::string> changed_;  // since the last write
  std::set<std::string> dropped_;  // since the last write
  std::uint64_t version_ = 0;
  mutable std::deque<std::int64_t> checkTimes_;  // of the last minute's checks
};

}  // namespace cloakwise::service
