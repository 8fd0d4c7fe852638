#include "service/live_pool.h"

#include <algorithm>
#include <chrono>

#include "service/pool_status.h"

namespace cloakwise::service {
namespace {

// What is served is worked out again at most this often when nothing
// changed, as entries age out of freshness with time alone.
constexpr std::int64_t kServedLifetimeMs = 1000;
// Between rounds the thread looks at least this often whether the clock
// has gone back or forward, and never spins faster than the shortest.
constexpr std::int64_t kLongestWaitMs = 60000;
constexpr std::int64_t kShortestWaitMs = 100;

}  // namespace

LivePool::LivePool(LivePoolOptions options)
    : options_(std::move(options)),
      clock_(options_.clock ? options_.clock : WallClock(WallMilliseconds)),
      store_(options_.dbPath),
      keeper_(store_, options_.policy, clock_) {
  const std::vector<SourceState> stored = store_.LoadSources();
  for (const Source& source : options_.sources) {
    const auto found = std::find_if(stored.begin(), stored.end(),
                                    [&](const SourceState& s) { return s.name == source.name; });
    SourceState state;
    state.name = source.name;
    if (found != stored.end()) state = *found;
    // A file costs nothing to read and may have been edited while the
    // service was down; a list on another host waits for its time.
    if (source.kind != SourceKind::Url) state.nextFetchMs = 0;
    sourceStates_.push_back(state);
  }
}

LivePool::~LivePool() {
  Stop();
}

void LivePool::Log(const std::string& line) {
  if (options_.log) options_.log("pool: " + line);
}

void LivePool::ReadDueSources() {
  for (std::size_t i = 0; i < options_.sources.size(); ++i) {
    const Source& source = options_.sources[i];
    {
      std::lock_guard lock(sourcesMutex_);
      if (sourceStates_[i].nextFetchMs > clock_()) continue;
    }
    if (stopping_) return;
    const SourceRead read = FetchSource(source, options_.sourcePolicy);
    const Offered offered = keeper_.Offer(read.candidates, source.name);
    SourceState state;
    {
      std::lock_guard lock(sourcesMutex_);
      RecordFetch(sourceStates_[i], read, clock_(), options_.sourcePolicy);
      state = sourceStates_[i];
    }
    const std::string retry =
        ", read again in " + std::to_string((state.nextFetchMs - clock_()) / 1000) + " s";
    if (read.problem.empty()) {
      Log("source " + source.name + ": " + std::to_string(read.candidates.size()) + " proxies, " +
          std::to_string(offered.added) + " new" +
          (offered.full ? ", " + std::to_string(offered.full) + " left out as the pool is full"
                        : "") +
          (read.refused ? ", " + std::to_string(read.refused) + " lines of something else" : "") +
          retry);
    } else {
      Log("source " + source.name + " failed (" + std::to_string(state.failures) +
          " in a row), the pool keeps what it has: " + read.problem + retry);
    }
    try {
      store_.SaveSource(state);
    } catch (const StoreError& e) {
      Log(std::string("cannot write: ") + e.what());
    }
  }
}

RoundFigures LivePool::RunRound(const judge::ServiceUrls& urls, const std::function<bool()>& stop) {
  const auto started = std::chrono::steady_clock::now();
  ReadDueSources();
  const RoundFigures f = keeper_.CheckDue(urls, [&] { return stopping_ || (stop && stop()); });
  try {
    keeper_.Flush();
  } catch (const StoreError& e) {
    Log(std::string("cannot write, the changes stay in memory for the next round: ") + e.what());
  }
  if (f.checked > 0 || !f.complete) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const std::vector<PoolEntry> entries = keeper_.Entries();
    const PoolStatus status = SumUp(entries, clock_(), options_.policy, 0, {});
    Log("round: " + std::to_string(f.checked) + " checked, " + std::to_string(f.working) +
        " working (elite " + std::to_string(f.byLevel[2]) + ", anonymous " +
        std::to_string(f.byLevel[1]) + ", transparent " + std::to_string(f.byLevel[0]) + "), " +
        std::to_string(f.tunnelling) + " tunnelling, " + std::to_string(f.failed) + " failed, " +
        std::to_string(f.dropped) + " dropped" + (f.complete ? "" : ", stopped early") + "; " +
        std::to_string(status.entries) + " entries, " + std::to_string(status.servable) +
        " servable; " + std::to_string(took.count()) + " ms");
  }
  return f;
}

std::optional<std::int64_t> LivePool::NextSourceDueMs() {
  std::lock_guard lock(sourcesMutex_);
  std::optional<std::int64_t> next;
  for (const SourceState& state : sourceStates_) {
    next = std::min(next.value_or(state.nextFetchMs), state.nextFetchMs);
  }
  return next;
}

void LivePool::Start(const judge::ServiceUrls& urls) {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this, urls] {
    while (!stopping_) {
      RunRound(urls);
      std::int64_t wait = kLongestWaitMs;
      for (const auto& due : {keeper_.NextDueMs(), NextSourceDueMs()}) {
        if (due) wait = std::min(wait, *due - clock_());
      }
      std::unique_lock lock(waitMutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(std::max(wait, kShortestWaitMs)),
                     [this] { return stopping_.load(); });
    }
  });
}

void LivePool::Stop() {
  {
    std::lock_guard lock(waitMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::optional<std::string> LivePool::Batch() {
  const std::int64_t now = clock_();
  std::lock_guard lock(servedMutex_);
  const std::uint64_t version = keeper_.Version();
  if (version != servedVersion_ || now - servedAtMs_ >= kServedLifetimeMs || now < servedAtMs_) {
    served_ = keeper_.ServedLines();
    servedVersion_ = version;
    servedAtMs_ = now;
  }
  return choice_.Next(served_);
}

std::string LivePool::Status(bool json) {
  std::vector<SourceState> sources;
  {
    std::lock_guard lock(sourcesMutex_);
    sources = sourceStates_;
  }
  const PoolStatus status = SumUp(keeper_.Entries(), clock_(), options_.policy,
                                  keeper_.ChecksInLastMinute(), std::move(sources));
  return json ? StatusJson(status) : StatusText(status);
}

}  // namespace cloakwise::service
