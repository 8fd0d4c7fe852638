#pragma once

// The live pool on disk: one SQLite file in write-ahead-log mode, so the
// pool outlives a restart and /status never waits for a round's write.

#include <sqlite3.h>

#include <string>
#include <vector>

#include "service/pool_entry.h"
#include "service/pool_sources.h"
#include "service/store_schema.h"

namespace cloakwise::service {

class PoolStore {
 public:
  // Opens the database at path, making it when missing, and brings it to the
  // newest schema; an empty path keeps the pool in memory for this process
  // alone. Throws StoreError, naming the file, when it is no database, holds
  // a newer schema or cannot be written; the file is then left as it was.
  explicit PoolStore(const std::string& path);
  ~PoolStore();
  PoolStore(const PoolStore&) = delete;
  PoolStore& operator=(const PoolStore&) = delete;

  int Version() const { return SchemaVersion(db_); }
  // "wal" for a file, "memory" without one.
  std::string JournalMode();

  std::vector<PoolEntry> LoadEntries();
  // One transaction: each written entry replaces the one of its address,
  // and the dropped addresses go. Throws StoreError, changing nothing.
  void Save(const std::vector<PoolEntry>& written, const std::vector<std::string>& dropped);

  std::vector<SourceState> LoadSources();
  void SaveSource(const SourceState& source);

 private:
  std::string name_;
  sqlite3* db_ = nullptr;
};

}  // namespace cloakwise::service
