#include <windows.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

// The few calls the program makes, as SQLite publishes them; the library is
// the system's, so nothing of SQLite is built into the program. On 32-bit
// Windows its calls would be __stdcall; the program is built for 64 bits.
static_assert(sizeof(void*) == 8);
struct sqlite3;
struct sqlite3_stmt;
using Callback = int (*)(void*, int, char**, char**);
constexpr int kOk = 0, kBusy = 5, kLocked = 6, kRow = 100, kOpenReadWrite = 0x2;

struct SqliteApi {
  int (*open)(const char*, sqlite3**, int, const char*) = nullptr;
  int (*close)(sqlite3*) = nullptr;
  int (*exec)(sqlite3*, const char*, Callback, void*, char**) = nullptr;
  void (*free)(void*) = nullptr;
  const char* (*errstr)(int) = nullptr;
  int (*busyTimeout)(sqlite3*, int) = nullptr;
  int (*prepare)(sqlite3*, const char*, int, sqlite3_stmt**, const char**) = nullptr;
  int (*step)(sqlite3_stmt*) = nullptr;
  const unsigned char* (*columnText)(sqlite3_stmt*, int) = nullptr;
  int (*finalize)(sqlite3_stmt*) = nullptr;

  // Loaded once; nothing when the system has no SQLite (Windows before 10,
  // and Wine).
  static const SqliteApi* Get() {
    static const SqliteApi api = Load();
    return api.open ? &api : nullptr;
  }

 private:
  template <typename F>
  static void Bind(HMODULE library, F& function, const char* name) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  }
  static SqliteApi Load() {
    SqliteApi api;
    const HMODULE library =
        LoadLibraryExW(L"winsqlite3.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!library) return api;
    Bind(library, api.open, "sqlite3_open_v2");
    Bind(library, api.close, "sqlite3_close");
    Bind(library, api.exec, "sqlite3_exec");
    Bind(library, api.free, "sqlite3_free");
    Bind(library, api.errstr, "sqlite3_errstr");
    Bind(library, api.busyTimeout, "sqlite3_busy_timeout");
    Bind(library, api.prepare, "sqlite3_prepare_v2");
    Bind(library, api.step, "sqlite3_step");
    Bind(library, api.columnText, "sqlite3_column_text");
    Bind(library, api.finalize, "sqlite3_finalize");
    if (!api.close || !api.exec || !api.free || !api.errstr || !api.busyTimeout || !api.prepare ||
        !api.step || !api.columnText || !api.finalize) {
      api.open = nullptr;  // a library without the whole set is no use
    }
    return api;
  }
};

class Win32SqliteDatabase : public SqliteDatabase {
 public:
  Win32SqliteDatabase(const SqliteApi& api, sqlite3* db) : api_(api), db_(db) {}
  ~Win32SqliteDatabase() override { api_.close(db_); }

  bool Execute(const std::string& statements) override {
    char* message = nullptr;
    const int rc = api_.exec(db_, statements.c_str(), nullptr, nullptr, &message);
    busy_ = rc == kBusy || rc == kLocked;
    error_ = message ? message : api_.errstr(rc);
    api_.free(message);
    return rc == kOk;
  }
  bool Busy() const override { return busy_; }
  std::string LastError() const override { return error_; }

  std::vector<std::string> TableNames(const std::string& schema) override {
    std::vector<std::string> names;
    sqlite3_stmt* statement = nullptr;
    if (api_.prepare(
            db_, ("SELECT name FROM \"" + schema + "\".sqlite_master WHERE type = 'table'").c_str(),
            -1, &statement, nullptr) != kOk) {
      return names;
    }
    while (api_.step(statement) == kRow) {
      if (const auto* text = api_.columnText(statement, 0)) {
        names.emplace_back(reinterpret_cast<const char*>(text));
      }
    }
    api_.finalize(statement);
    return names;
  }

 private:
  const SqliteApi& api_;
  sqlite3* db_;
  bool busy_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<SqliteDatabase> Win32Sqlite::Open(const std::string& path, int busyMs,
                                                  OpenResult& result) {
  const SqliteApi* api = SqliteApi::Get();
  if (!api) {
    result = OpenResult::NoSqlite;
    return nullptr;
  }
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    result = OpenResult::NoDatabase;
    return nullptr;
  }
  sqlite3* db = nullptr;
  if (api->open(path.c_str(), &db, kOpenReadWrite, nullptr) != kOk) {
    if (db) api->close(db);
    result = OpenResult::Failed;
    return nullptr;
  }
  api->busyTimeout(db, busyMs);
  result = OpenResult::Opened;
  return std::make_unique<Win32SqliteDatabase>(*api, db);
}

}  // namespace cloakwise::platform
