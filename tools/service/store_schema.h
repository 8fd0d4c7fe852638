#pragma once

// The pool database's layout as a list of steps, each taking a database of
// the version before it to its own version; PRAGMA user_version says which
// steps a file has had.

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace cloakwise::service {

// A database that cannot be used as it is: not a database, written by a
// newer service, or failing. The file is left untouched.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MigrationStep {
  int version;             // what user_version becomes
  std::string statements;  // run in order, each ended by ";"
};

// The pool's steps, oldest first.
const std::vector<MigrationStep>& PoolSchemaSteps();

// The user_version of the database.
int SchemaVersion(sqlite3* db);

// Applies every step beyond the database's version, in order, in one
// transaction: a step that fails leaves the file as it was. A database of a
// version beyond the last step is refused with a StoreError naming both
// versions; name is what the message calls the database.
void Migrate(sqlite3* db, const std::vector<MigrationStep>& steps, const std::string& name);

}  // namespace cloakwise::service
