#pragma once

// The live pool as the service runs it: the store, the sources and the
// keeper, a thread that reads each source and checks each entry when it is
// due, and what the desk and /status ask of it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/batch_choice.h"
#include "service/pool_keeper.h"
#include "service/pool_sources.h"
#include "service/pool_store.h"

namespace cloakwise::service {

struct LivePoolOptions {
  std::string dbPath;  // empty: in memory
  std::vector<Source> sources;
  PoolPolicy policy;
  SourcePolicy sourcePolicy;
  WallClock clock;  // unset: the system's
  std::function<void(const std::string&)> log;
};

class LivePool {
 public:
  // Opens the store (throws StoreError) and serves what it holds at once.
  explicit LivePool(LivePoolOptions options);
  ~LivePool();
  LivePool(const LivePool&) = delete;
  LivePool& operator=(const LivePool&) = delete;

  // Reads the sources that are due, then checks the entries that are due,
  // through the judge and tunnel of urls; logs a line for each source read
  // and one for the round, and writes what changed. The thread's work, and
  // the tests'.
  RoundFigures RunRound(const judge::ServiceUrls& urls, const std::function<bool()>& stop = {});

  // Rounds on a thread of their own, each when something is due, until Stop.
  void Start(const judge::ServiceUrls& urls);
  // Ends the round under way within a fifth of a second or so.
  void Stop();

  // A batch for the desk: three lines joined by ";", or nothing when no
  // entry may be handed out. Any thread.
  std::optional<std::string> Batch();
  // /status's body. Any thread.
  std::string Status(bool json);

  PoolKeeper& Keeper() { return keeper_; }

 private:
  void ReadDueSources();
  std::optional<std::int64_t> NextSourceDueMs();
  void Log(const std::string& line);

  LivePoolOptions options_;
  WallClock clock_;
  PoolStore store_;
  PoolKeeper keeper_;

  std::mutex sourcesMutex_;
  std::vector<SourceState> sourceStates_;  // one per source, in order

  std::mutex servedMutex_;
  std::vector<std::string> served_;
  std::optional<std::uint64_t> servedVersion_;
  std::int64_t servedAtMs_ = 0;
  BatchChoice choice_;

  std::atomic<bool> stopping_{false};
  std::mutex waitMutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace cloakwise::service
