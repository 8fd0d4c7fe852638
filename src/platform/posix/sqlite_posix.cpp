#include "platform/posix/sqlite_posix.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "platform/sqlite_calls.h"

namespace cloakwise::platform {
namespace {

using namespace sqlite_calls;
static_assert(kOk == SQLITE_OK && kBusy == SQLITE_BUSY && kLocked == SQLITE_LOCKED &&
              kRow == SQLITE_ROW && kOpenReadWrite == SQLITE_OPEN_READWRITE);

const Calls kLibrary{sqlite3_open_v2,     sqlite3_close,        sqlite3_exec,       sqlite3_free,
                     sqlite3_errstr,      sqlite3_busy_timeout, sqlite3_prepare_v2, sqlite3_step,
                     sqlite3_column_text, sqlite3_finalize};

}  // namespace

std::unique_ptr<SqliteDatabase> PosixSqlite::Open(const std::string& path, int busyMs,
                                                  OpenResult& result) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result = OpenResult::NoDatabase;
    return nullptr;
  }
  return sqlite_calls::Open(kLibrary, path, busyMs, result);
}

}  // namespace cloakwise::platform
