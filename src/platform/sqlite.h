#pragma once

#include <memory>
#include <string>
#include <vector>

namespace cloakwise::platform {

// SQLite as the system provides it (Windows 10 and 11 ship winsqlite3.dll;
// it is loaded when first asked for). The program never reads a database
// file of its own accord: every byte goes through SQLite, which also handles
// the file's journal or write-ahead log as the writer left it.
//
// Results are reported, never thrown. User-interface thread only, as the
// clean-up that uses it runs there; one thread at a time per database in any
// case.
class SqliteDatabase {
 public:
  virtual ~SqliteDatabase() = default;
  // Runs one or more statements; false on the first that fails, which
  // LastError then describes. Busy: another process holds the database.
  virtual bool Execute(const std::string& statements) = 0;
  virtual bool Busy() const = 0;
  virtual std::string LastError() const = 0;
  // The names of the tables of a database: "main", or one attached.
  virtual std::vector<std::string> TableNames(const std::string& schema) = 0;
};

class Sqlite {
 public:
  enum class OpenResult { Opened, NoSqlite, NoDatabase, Failed };

  virtual ~Sqlite() = default;
  // Opens an existing database file for reading and writing, never making
  // one; a lock held by another process is waited for up to busyMs.
  virtual std::unique_ptr<SqliteDatabase> Open(const std::string& path, int busyMs,
                                               OpenResult& result) = 0;
};

}  // namespace cloakwise::platform
