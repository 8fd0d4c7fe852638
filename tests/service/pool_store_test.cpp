// The pool's SQLite file: what survives a restart, and what becomes of files
// of other versions or none at all.
#include "service/pool_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "unit/temp_folder.h"

namespace cloakwise::service {
namespace {

std::string Bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// A database file made by SQLite itself, with what the case puts in it.
void MakeDatabase(const std::string& path, const std::string& statements) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

PoolEntry Checked(const std::string& address) {
  PoolEntry entry;
  entry.address = address;
  entry.description = "Squid, loopback";
  entry.source = "pool.txt";
  entry.addedMs = 1000;
  entry.level = 2;
  entry.tunnels = true;
  entry.answerMs = 321;
  entry.lastCheckedMs = 5000;
  entry.lastWorkingMs = 5000;
  entry.nextCheckMs = 305000;
  entry.checks = 3;
  return entry;
}

TEST(PoolStore, APoolSurvivesARestartOfTheService) {
  testing::TempFolder folder("pool-store");
  const std::string path = folder.File("pool.db");
  PoolEntry failing = Checked("127.0.0.2:8080");
  failing.description.clear();
  failing.failures = 2;
  failing.lastFailureMs = 7000;
  PoolEntry fresh;  // never checked: every optional field empty
  fresh.address = "127.0.0.3:3128";
  fresh.nextCheckMs = 9000;
  {
    PoolStore store(path);
    EXPECT_EQ(store.JournalMode(), "wal");
    store.Save({Checked("127.0.0.1:3128"), failing, fresh, Checked("127.0.0.4:1")}, {});
    store.Save({}, {"127.0.0.4:1"});
    store.SaveSource({"list.txt", 900, 0, 600, 3, ""});
    store.SaveSource({"http://127.0.0.1:1/", 700, 2, std::nullopt, 0, "Connection refused"});
  }
  PoolStore reopened(path);
  EXPECT_EQ(reopened.LoadEntries(),
            (std::vector<PoolEntry>{Checked("127.0.0.1:3128"), failing, fresh}));
  EXPECT_EQ(reopened.LoadSources(),
            (std::vector<SourceState>{
                {"http://127.0.0.1:1/", 700, 2, std::nullopt, 0, "Connection refused"},
                {"list.txt", 900, 0, 600, 3, ""}}));
}

TEST(PoolStore, WithoutAFileThePoolLivesInMemoryAlone) {
  PoolStore store("");
  EXPECT_EQ(store.JournalMode(), "memory");
  store.Save({Checked("127.0.0.1:3128")}, {});
  EXPECT_EQ(store.LoadEntries().size(), 1u);
  EXPECT_EQ(PoolStore("").LoadEntries().size(), 0u);
}

TEST(PoolStore, TakesEveryFileToTheNewestSchemaOrRefusesItUntouched) {
  const int newest = PoolSchemaSteps().back().version;
  const struct {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::string refusal;  // what follows the file's name; empty: it opens
    std::size_t entriesKept = 0;
  } cases[] = {
      {"no file", [](const std::string&) {}, ""},
      {"an empty file", [](const std::string& path) { std::ofstream(path, std::ios::binary); }, ""},
      {"a database of the first version, with an entry",
       [](const std::string& path) {
         MakeDatabase(path, PoolSchemaSteps().front().statements +
                                "INSERT INTO candidate (address, added_ms, next_check_ms)"
                                " VALUES ('127.0.0.7:80', 1, 2); PRAGMA user_version = 1;");
       },
       "", 1},
      {"a newer service's database",
       [newest](const std::string& path) {
         MakeDatabase(path, "CREATE TABLE future (x); PRAGMA user_version = " +
                                std::to_string(newest + 5) + ";");
       },
       " has schema version " + std::to_string(newest + 5) + ", newer than this service knows (" +
           std::to_string(newest) + "); it is left as it is"},
      {"no database at all",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary) << std::string(4096, 'x') << "127.0.0.1:80\n";
       },
       ": file is not a database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder("pool-schema");
    const std::string path = folder.File("pool.db");
    c.make(path);
    const std::string before = Bytes(path);
    if (c.refusal.empty()) {
      PoolStore store(path);
      EXPECT_EQ(store.Version(), newest);
      store.Save({Checked("127.0.0.1:3128")}, {});
      EXPECT_EQ(store.LoadEntries().size(), 1u + c.entriesKept);
      store.SaveSource({"http://127.0.0.1:1/list.txt", 5, 1, std::nullopt, 0, "refused"});
      EXPECT_EQ(store.LoadSources().size(), 1u);
      continue;
    }
    try {
      PoolStore store(path);
      ADD_FAILURE() << "opened";
    } catch (const StoreError& e) {
      EXPECT_EQ(std::string(e.what()), path + c.refusal);
    }
    EXPECT_EQ(Bytes(path), before);
  }
}

TEST(PoolStore, AStepThatFailsLeavesTheFileAsItWas) {
  testing::TempFolder folder("pool-step");
  const std::string path = folder.File("pool.db");
  MakeDatabase(path, "CREATE TABLE kept (x); INSERT INTO kept VALUES (7);");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::vector<MigrationStep> steps = {{1, "CREATE TABLE one (x);"},
                                            {2, "CREATE TABLE kept (y);"}};  // already there
  EXPECT_THROW(Migrate(db, steps, path), StoreError);
  EXPECT_EQ(SchemaVersion(db), 0);
  EXPECT_EQ(sqlite3_exec(db, "SELECT * FROM one", nullptr, nullptr, nullptr), SQLITE_ERROR);
  sqlite3_close(db);
}

}  // namespace
}  // namespace cloakwise::service
