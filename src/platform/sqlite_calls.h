#pragma once

// The few calls of SQLite's own interface the program makes, as pointers:
// the native build points them at libsqlite3, the Windows build at the
// system's winsqlite3.dll, loaded at run time so that nothing of SQLite is
// built into the program. The database on top of them is one for both.
#include <memory>
#include <string>
#include <vector>

#include "platform/sqlite.h"

// SQLite's own names, declared as its header declares them.
struct sqlite3;
struct sqlite3_stmt;

namespace cloakwise::platform::sqlite_calls {

constexpr int kOk = 0, kBusy = 5, kLocked = 6, kRow = 100, kOpenReadWrite = 0x2;

struct Calls {
  int (*open)(const char*, sqlite3**, int, const char*) = nullptr;
  int (*close)(sqlite3*) = nullptr;
  int (*exec)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**) = nullptr;
  void (*free)(void*) = nullptr;
  const char* (*errstr)(int) = nullptr;
  int (*busyTimeout)(sqlite3*, int) = nullptr;
  int (*prepare)(sqlite3*, const char*, int, sqlite3_stmt**, const char**) = nullptr;
  int (*step)(sqlite3_stmt*) = nullptr;
  const unsigned char* (*columnText)(sqlite3_stmt*, int) = nullptr;
  int (*finalize)(sqlite3_stmt*) = nullptr;

  bool Complete() const {
    return open && close && exec && free && errstr && busyTimeout && prepare && step &&
           columnText && finalize;
  }
};

class Database : public SqliteDatabase {
 public:
  Database(const Calls& calls, sqlite3* db) : calls_(calls), db_(db) {}
  ~Database() override { calls_.close(db_); }

  bool Execute(const std::string& statements) override {
    char* message = nullptr;
    const int rc = calls_.exec(db_, statements.c_str(), nullptr, nullptr, &message);
    busy_ = rc == kBusy || rc == kLocked;
    error_ = message ? message : calls_.errstr(rc);
    calls_.free(message);
    return rc == kOk;
  }
  bool Busy() const override { return busy_; }
  std::string LastError() const override { return error_; }

  std::vector<std::string> TableNames(const std::string& schema) override {
    std::vector<std::string> names;
    sqlite3_stmt* statement = nullptr;
    if (calls_.prepare(
            db_, ("SELECT name FROM \"" + schema + "\".sqlite_master WHERE type = 'table'").c_str(),
            -1, &statement, nullptr) != kOk) {
      return names;
    }
    while (calls_.step(statement) == kRow) {
      if (const auto* text = calls_.columnText(statement, 0)) {
        names.emplace_back(reinterpret_cast<const char*>(text));
      }
    }
    calls_.finalize(statement);
    return names;
  }

 private:
  const Calls& calls_;
  sqlite3* db_;
  bool busy_ = false;
  std::string error_;
};

// Opens the database file at path, which the caller found to be an
// existing file, for reading and writing.
inline std::unique_ptr<SqliteDatabase> Open(const Calls& calls, const std::string& path, int busyMs,
                                            Sqlite::OpenResult& result) {
  sqlite3* db = nullptr;
  if (calls.open(path.c_str(), &db, kOpenReadWrite, nullptr) != kOk) {
    if (db) calls.close(db);
    result = Sqlite::OpenResult::Failed;
    return nullptr;
  }
  calls.busyTimeout(db, busyMs);
  result = Sqlite::OpenResult::Opened;
  return std::make_unique<Database>(calls, db);
}

}  // namespace cloakwise::platform::sqlite_calls
