#include "service/pool_store.h"

#include <memory>

namespace cloakwise::service {
namespace {

struct Finalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement Prepare(sqlite3* db, const std::string& name, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    throw StoreError(name + ": " + sqlite3_errmsg(db));
  }
  return Statement(statement);
}

void Run(sqlite3* db, const std::string& name, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    throw StoreError(name + ": " + text);
  }
}

void BindOptional(sqlite3_stmt* statement, int index, const std::optional<std::int64_t>& value) {
  if (value) {
    sqlite3_bind_int64(statement, index, *value);
  } else {
    sqlite3_bind_null(statement, index);
  }
}

std::optional<std::int64_t> ColumnOptional(sqlite3_stmt* statement, int index) {
  if (sqlite3_column_type(statement, index) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(statement, index);
}

std::string ColumnText(sqlite3_stmt* statement, int index) {
  const auto* text = sqlite3_column_text(statement, index);
  return text ? reinterpret_cast<const char*>(text) : "";
}

constexpr const char* kColumns =
    "address, description, source, added_ms, level, tunnels, answer_ms, last_checked_ms,"
    " last_working_ms, failures, last_failure_ms, next_check_ms, checks";

}  // namespace

PoolStore::PoolStore(const std::string& path) : name_(path.empty() ? "the pool in memory" : path) {
  const int rc = sqlite3_open_v2(path.empty() ? ":memory:" : path.c_str(), &db_,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  try {
    if (rc != SQLITE_OK) throw StoreError(name_ + ": " + sqlite3_errstr(rc));
    // Another service on the same file writes for a moment at a time.
    sqlite3_busy_timeout(db_, 5000);
    // The schema first: a file that is no database, or a newer one, is
    // refused before anything (the journal mode included) is written to it.
    Migrate(db_, PoolSchemaSteps(), name_);
    if (!path.empty()) {
      if (JournalMode() != "wal") {
        Run(db_, name_, "PRAGMA journal_mode = WAL;");
        if (JournalMode() != "wal") throw StoreError(name_ + ": cannot keep a write-ahead log");
      }
      // In WAL mode a crash loses at most the last round, never the file.
      Run(db_, name_, "PRAGMA synchronous = NORMAL;");
    }
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

PoolStore::~PoolStore() {
  sqlite3_close(db_);
}

std::string PoolStore::JournalMode() {
  // Asking without a value only reads the mode.
  const Statement statement = Prepare(db_, name_, "PRAGMA journal_mode");
  if (sqlite3_step(statement.get()) != SQLITE_ROW)
    throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
  return ColumnText(statement.get(), 0);
}

std::vector<PoolEntry> PoolStore::LoadEntries() {
  const std::string sql = std::string("SELECT ") + kColumns + " FROM candidate ORDER BY address";
  const Statement statement = Prepare(db_, name_, sql.c_str());
  std::vector<PoolEntry> entries;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    sqlite3_stmt* row = statement.get();
    PoolEntry entry;
    entry.address = ColumnText(row, 0);
    entry.description = ColumnText(row, 1);
    entry.source = ColumnText(row, 2);
    entry.addedMs = sqlite3_column_int64(row, 3);
    if (const auto level = ColumnOptional(row, 4)) entry.level = static_cast<int>(*level);
    entry.tunnels = sqlite3_column_int(row, 5) != 0;
    entry.answerMs = ColumnOptional(row, 6);
    entry.lastCheckedMs = ColumnOptional(row, 7);
    entry.lastWorkingMs = ColumnOptional(row, 8);
    entry.failures = sqlite3_column_int(row, 9);
    entry.lastFailureMs = ColumnOptional(row, 10);
    entry.nextCheckMs = sqlite3_column_int64(row, 11);
    entry.checks = sqlite3_column_int64(row, 12);
    entries.push_back(std::move(entry));
  }
  if (rc != SQLITE_DONE) throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
  return entries;
}

void PoolStore::Save(const std::vector<PoolEntry>& written,
                     const std::vector<std::string>& dropped) {
  if (written.empty() && dropped.empty()) return;
  Run(db_, name_, "BEGIN IMMEDIATE;");
  try {
    const std::string upsert = std::string("INSERT OR REPLACE INTO candidate (") + kColumns +
                               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    const Statement put = Prepare(db_, name_, upsert.c_str());
    for (const PoolEntry& entry : written) {
      sqlite3_stmt* s = put.get();
      sqlite3_reset(s);
      sqlite3_bind_text(s, 1, entry.address.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 2, entry.description.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 3, entry.source.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(s, 4, entry.addedMs);
      BindOptional(s, 5, entry.level ? std::optional<std::int64_t>(*entry.level) : std::nullopt);
      sqlite3_bind_int(s, 6, entry.tunnels ? 1 : 0);
      BindOptional(s, 7, entry.answerMs);
      BindOptional(s, 8, entry.lastCheckedMs);
      BindOptional(s, 9, entry.lastWorkingMs);
      sqlite3_bind_int(s, 10, entry.failures);
      BindOptional(s, 11, entry.lastFailureMs);
      sqlite3_bind_int64(s, 12, entry.nextCheckMs);
      sqlite3_bind_int64(s, 13, entry.checks);
      if (sqlite3_step(s) != SQLITE_DONE) throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
    }
    const Statement drop = Prepare(db_, name_, "DELETE FROM candidate WHERE address = ?");
    for (const std::string& address : dropped) {
      sqlite3_reset(drop.get());
      sqlite3_bind_text(drop.get(), 1, address.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(drop.get()) != SQLITE_DONE) {
        throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
      }
    }
    Run(db_, name_, "COMMIT;");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
    throw;
  }
}

std::vector<SourceState> PoolStore::LoadSources() {
  const Statement statement = Prepare(
      db_, name_,
      "SELECT name, next_fetch_ms, failures, last_good_ms, last_count, last_problem FROM source"
      " ORDER BY name");
  std::vector<SourceState> sources;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    sqlite3_stmt* row = statement.get();
    SourceState source;
    source.name = ColumnText(row, 0);
    source.nextFetchMs = sqlite3_column_int64(row, 1);
    source.failures = sqlite3_column_int(row, 2);
    source.lastGoodMs = ColumnOptional(row, 3);
    source.lastCount = static_cast<std::size_t>(sqlite3_column_int64(row, 4));
    source.lastProblem = ColumnText(row, 5);
    sources.push_back(std::move(source));
  }
  if (rc != SQLITE_DONE) throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
  return sources;
}

void PoolStore::SaveSource(const SourceState& source) {
  const Statement put =
      Prepare(db_, name_,
              "INSERT OR REPLACE INTO source (name, next_fetch_ms, failures,"
              " last_good_ms, last_count, last_problem) VALUES (?, ?, ?, ?, ?, ?)");
  sqlite3_stmt* s = put.get();
  sqlite3_bind_text(s, 1, source.name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(s, 2, source.nextFetchMs);
  sqlite3_bind_int(s, 3, source.failures);
  BindOptional(s, 4, source.lastGoodMs);
  sqlite3_bind_int64(s, 5, static_cast<std::int64_t>(source.lastCount));
  sqlite3_bind_text(s, 6, source.lastProblem.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s) != SQLITE_DONE) throw StoreError(name_ + ": " + sqlite3_errmsg(db_));
}

}  // namespace cloakwise::service
