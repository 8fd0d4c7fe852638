#include "service/store_schema.h"

namespace cloakwise::service {
namespace {

// sqlite3_exec's error text, freed here; empty when it went well.
std::string Exec(sqlite3* db, const std::string& statements) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &message);
  if (rc == SQLITE_OK) return "";
  std::string text = message ? message : sqlite3_errstr(rc);
  sqlite3_free(message);
  return text.empty() ? "error " + std::to_string(rc) : text;
}

}  // namespace

const std::vector<MigrationStep>& PoolSchemaSteps() {
  // Never change a step once released: a file that has had it would not
  // have it again. Add a step instead.
  static const std::vector<MigrationStep> steps = {
      {1,
       "CREATE TABLE candidate ("
       " address TEXT PRIMARY KEY NOT NULL,"
       " description TEXT NOT NULL DEFAULT '',"
       " source TEXT NOT NULL DEFAULT '',"
       " added_ms INTEGER NOT NULL,"
       " level INTEGER,"
       " tunnels INTEGER NOT NULL DEFAULT 0,"
       " answer_ms INTEGER,"
       " last_checked_ms INTEGER,"
       " last_working_ms INTEGER,"
       " failures INTEGER NOT NULL DEFAULT 0,"
       " last_failure_ms INTEGER,"
       " next_check_ms INTEGER NOT NULL,"
       " checks INTEGER NOT NULL DEFAULT 0"
       ") WITHOUT ROWID;"},
      {2,
       "CREATE TABLE source ("
       " name TEXT PRIMARY KEY NOT NULL,"
       " next_fetch_ms INTEGER NOT NULL,"
       " failures INTEGER NOT NULL DEFAULT 0,"
       " last_good_ms INTEGER,"
       " last_count INTEGER NOT NULL DEFAULT 0,"
       " last_problem TEXT NOT NULL DEFAULT ''"
       ") WITHOUT ROWID;"},
  };
  return steps;
}

int SchemaVersion(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  int version = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    version = sqlite3_column_int(statement, 0);
  }
  const std::string error = version < 0 ? sqlite3_errmsg(db) : "";
  sqlite3_finalize(statement);
  if (version < 0) throw StoreError(error);
  return version;
}

void Migrate(sqlite3* db, const std::vector<MigrationStep>& steps, const std::string& name) {
  // Taken for writing at once, so no other process migrates the same file
  // between the version read here and the steps.
  if (const std::string error = Exec(db, "BEGIN IMMEDIATE;"); !error.empty()) {
    throw StoreError(name + ": " + error);
  }
  try {
    int found = 0;
    try {
      found = SchemaVersion(db);
    } catch (const StoreError& e) {
      throw StoreError(name + ": " + e.what());
    }
    const int known = steps.empty() ? 0 : steps.back().version;
    if (found > known) {
      throw StoreError(name + " has schema version " + std::to_string(found) +
                       ", newer than this service knows (" + std::to_string(known) +
                       "); it is left as it is");
    }
    for (const MigrationStep& step : steps) {
      if (step.version <= found) continue;
      if (const std::string error = Exec(db, step.statements); !error.empty()) {
        throw StoreError(name + ": step " + std::to_string(step.version) + ": " + error);
      }
      Exec(db, "PRAGMA user_version = " + std::to_string(step.version) + ";");
    }
    if (const std::string error = Exec(db, "COMMIT;"); !error.empty()) {
      throw StoreError(name + ": " + error);
    }
  } catch (...) {
    Exec(db, "ROLLBACK;");
    throw;
  }
}

}  // namespace cloakwise::service
