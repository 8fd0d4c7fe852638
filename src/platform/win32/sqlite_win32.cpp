#include <windows.h>

#include "platform/sqlite_calls.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

using namespace sqlite_calls;
// On 32-bit Windows SQLite's calls would be __stdcall; the program is built
// for 64 bits.
static_assert(sizeof(void*) == 8);

template <typename F>
void Bind(HMODULE library, F& function, const char* name) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

Calls Load() {
  Calls calls;
  const HMODULE library = LoadLibraryExW(L"winsqlite3.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!library) return calls;
  Bind(library, calls.open, "sqlite3_open_v2");
  Bind(library, calls.close, "sqlite3_close");
  Bind(library, calls.exec, "sqlite3_exec");
  Bind(library, calls.free, "sqlite3_free");
  Bind(library, calls.errstr, "sqlite3_errstr");
  Bind(library, calls.busyTimeout, "sqlite3_busy_timeout");
  Bind(library, calls.prepare, "sqlite3_prepare_v2");
  Bind(library, calls.step, "sqlite3_step");
  Bind(library, calls.columnText, "sqlite3_column_text");
  Bind(library, calls.finalize, "sqlite3_finalize");
  return calls;
}

// Loaded once; nothing when the system has no SQLite (Windows before 10, and
// Wine), or one without every call.
const Calls* SystemSqlite() {
  static const Calls calls = Load();
  return calls.Complete() ? &calls : nullptr;
}

}  // namespace

std::unique_ptr<SqliteDatabase> Win32Sqlite::Open(const std::string& path, int busyMs,
                                                  OpenResult& result) {
  const Calls* calls = SystemSqlite();
  if (!calls) {
    result = OpenResult::NoSqlite;
    return nullptr;
  }
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    result = OpenResult::NoDatabase;
    return nullptr;
  }
  return sqlite_calls::Open(*calls, path, busyMs, result);
}

}  // namespace cloakwise::platform
