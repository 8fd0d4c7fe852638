#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sqlite.h"

namespace cloakwise::fakes {

// Databases of the tests' choosing: each path opens as the test says (none
// exists unless named), and an opened one takes every statement, busy when
// the test says so, recording them all.
class FakeSqlite : public platform::Sqlite {
 public:
  struct Database {
    OpenResult open = OpenResult::Opened;
    std::vector<std::string> tables;
    bool busy = false;  // another process holds it
    std::vector<std::string> executed;
  };

  std::unique_ptr<platform::SqliteDatabase> Open(const std::string& path, int,
                                                 OpenResult& result) override {
    opened.push_back(path);
    const auto it = databases.find(path);
    result = it == databases.end() ? (available ? OpenResult::NoDatabase : OpenResult::NoSqlite)
             : available           ? it->second.open
                                   : OpenResult::NoSqlite;
    if (result != OpenResult::Opened) return nullptr;
    return std::make_unique<Connection>(it->second);
  }

  bool available = true;
  std::map<std::string, Database> databases;
  std::vector<std::string> opened;

 private:
  class Connection : public platform::SqliteDatabase {
   public:
    explicit Connection(Database& db) : db_(db) {}
    bool Execute(const std::string& statements) override {
      db_.executed.push_back(statements);
      return !db_.busy;
    }
    bool Busy() const override { return db_.busy; }
    std::string LastError() const override { return db_.busy ? "database is locked" : ""; }
    std::vector<std::string> TableNames(const std::string& schema) override {
      return schema == "main" ? db_.tables : std::vector<std::string>{};
    }

   private:
    Database& db_;
  };
};

}  // namespace cloakwise::fakes
