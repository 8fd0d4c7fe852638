#include "service/pool_keeper.h"

#include <algorithm>

namespace cloakwise::service {
namespace {

constexpr std::int64_t kMinuteMs = 60000;

}  // namespace

PoolKeeper::PoolKeeper(PoolStore& store, PoolPolicy policy, WallClock clock)
    : store_(store),
      policy_(policy),
      clock_(clock ? std::move(clock) : WallClock(WallMilliseconds)) {
  for (PoolEntry& entry : store_.LoadEntries()) {
    const std::string address = entry.address;
    entries_.emplace(address, std::move(entry));
  }
}

void PoolKeeper::Touch(const std::string& address) {
  changed_.insert(address);
  dropped_.erase(address);
  ++version_;
}

Offered PoolKeeper::Offer(const std::vector<Candidate>& candidates, const std::string& source) {
  const std::int64_t now = clock_();
  Offered offered;
  std::lock_guard lock(mutex_);
  for (const Candidate& candidate : candidates) {
    if (entries_.count(candidate.address)) continue;
    if (entries_.size() >= policy_.maxEntries) {
      ++offered.full;
      continue;
    }
    entries_.emplace(candidate.address, NewEntry(candidate, source, now));
    Touch(candidate.address);
    ++offered.added;
  }
  return offered;
}

RoundFigures PoolKeeper::CheckDue(const judge::ServiceUrls& urls,
                                  const std::function<bool()>& stop) {
  std::vector<std::string> due;
  {
    const std::int64_t now = clock_();
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, std::string>> order;
    for (const auto& [address, entry] : entries_) {
      if (entry.nextCheckMs <= now) order.emplace_back(entry.nextCheckMs, address);
    }
    std::sort(order.begin(), order.end());
    if (order.size() > policy_.maxChecksPerRound) order.resize(policy_.maxChecksPerRound);
    for (auto& [when, address] : order) due.push_back(std::move(address));
  }

  RoundFigures figures;
  auto record = [&](const std::string& address, const judge::ProbeOutcome& outcome) {
    const std::int64_t now = clock_();
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(address);
    if (found == entries_.end()) return;
    ++figures.checked;
    checkTimes_.push_back(now);
    if (outcome.level) {
      ++figures.working;
      ++figures.byLevel.at(static_cast<std::size_t>(*outcome.level));
      if (outcome.tunnels) ++figures.tunnelling;
    } else {
      ++figures.failed;
    }
    if (ApplyCheck(found->second, outcome, now, policy_)) {
      Touch(address);
    } else {
      ++figures.dropped;
      entries_.erase(found);
      changed_.erase(address);
      dropped_.insert(address);
      ++version_;
    }
  };

  judge::ProbeSettings settings;
  settings.timeoutMs = policy_.probeTimeoutMs;
  settings.inFlight = policy_.probesInFlight;
  judge::ProbeRunner runner(urls, std::move(settings));
  std::size_t next = 0;
  figures.complete = runner.Run(
      [&]() -> std::optional<judge::ProbeJob> {
        while (next < due.size()) {
          const std::size_t at = next++;
          // An address the store holds may have been written by hand: one
          // no proxy can be made of fails its check without a connection.
          if (const auto proxy = ProxyAddress::Parse(due[at])) return judge::ProbeJob{at, *proxy};
          record(due[at], judge::ProbeOutcome{});
        }
        return std::nullopt;
      },
      [&](const judge::ProbeJob& job, const judge::ProbeOutcome& outcome) {
        record(due[job.tag], outcome);
      },
      stop);
  return figures;
}

void PoolKeeper::Flush() {
  std::vector<PoolEntry> written;
  std::vector<std::string> dropped;
  {
    std::lock_guard lock(mutex_);
    for (const std::string& address : changed_) written.push_back(entries_.at(address));
    dropped.assign(dropped_.begin(), dropped_.end());
  }
  store_.Save(written, dropped);
  std::lock_guard lock(mutex_);
  for (const PoolEntry& entry : written) changed_.erase(entry.address);
  for (const std::string& address : dropped) dropped_.erase(address);
}

std::optional<std::int64_t> PoolKeeper::NextDueMs() const {
  std::lock_guard lock(mutex_);
  std::optional<std::int64_t> next;
  for (const auto& [address, entry] : entries_) {
    if (!next || entry.nextCheckMs < *next) next = entry.nextCheckMs;
  }
  return next;
}

std::vector<PoolEntry> PoolKeeper::Entries() const {
  std::lock_guard lock(mutex_);
  std::vector<PoolEntry> entries;
  entries.reserve(entries_.size());
  for (const auto& [address, entry] : entries_) entries.push_back(entry);
  return entries;
}

std::optional<PoolEntry> PoolKeeper::Find(const std::string& address) const {
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(address);
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> PoolKeeper::ServedLines() const {
  const std::int64_t now = clock_();
  std::lock_guard lock(mutex_);
  std::vector<const PoolEntry*> servable;
  for (const auto& [address, entry] : entries_) {
    if (Servable(entry, now, policy_)) servable.push_back(&entry);
  }
  return FreshestFirst(std::move(servable));
}

std::uint64_t PoolKeeper::Version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

std::size_t PoolKeeper::ChecksInLastMinute() const {
  const std::int64_t now = clock_();
  std::lock_guard lock(mutex_);
  while (!checkTimes_.empty() && now - checkTimes_.front() >= kMinuteMs) checkTimes_.pop_front();
  return checkTimes_.size();
}

}  // namespace cloakwise::service
