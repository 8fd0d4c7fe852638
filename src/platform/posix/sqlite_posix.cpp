#include "platform/posix/sqlite_posix.h"

#include <sqlite3.h>
#include <sys/stat.h>

namespace cloakwise::platform {
namespace {

class PosixSqliteDatabase : public SqliteDatabase {
 public:
  explicit PosixSqliteDatabase(sqlite3* db) : db_(db) {}
  ~PosixSqliteDatabase() override { sqlite3_close(db_); }

  bool Execute(const std::string& statements) override {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, statements.c_str(), nullptr, nullptr, &message);
    busy_ = rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
    error_ = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    return rc == SQLITE_OK;
  }
  bool Busy() const override { return busy_; }
  std::string LastError() const override { return error_; }

  std::vector<std::string> TableNames(const std::string& schema) override {
    std::vector<std::string> names;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(
            db_, ("SELECT name FROM \"" + schema + "\".sqlite_master WHERE type = 'table'").c_str(),
            -1, &statement, nullptr) != SQLITE_OK) {
      return names;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      if (const auto* text = sqlite3_column_text(statement, 0)) {
        names.emplace_back(reinterpret_cast<const char*>(text));
      }
    }
    sqlite3_finalize(statement);
    return names;
  }

 private:
  sqlite3* db_;
  bool busy_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<SqliteDatabase> PosixSqlite::Open(const std::string& path, int busyMs,
                                                  OpenResult& result) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result = OpenResult::NoDatabase;
    return nullptr;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    result = OpenResult::Failed;
    return nullptr;
  }
  sqlite3_busy_timeout(db, busyMs);
  result = OpenResult::Opened;
  return std::make_unique<PosixSqliteDatabase>(db);
}

}  // namespace cloakwise::platform
