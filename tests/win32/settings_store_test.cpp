// The settings store on Wine's file system: the error text with a Windows
// path, readers racing a writer, temporaries left by killed writers, and a
// folder where no new file may be made.
#include "core/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32/temp_folder.h"

namespace cloakwise {
namespace {

class Win32SettingsTest : public ::testing::Test {
 protected:
  testing::TempFolder folder{"settings"};
  const std::string& dir = folder.path();
  platform::Win32FileSystem files;
};

TEST_F(Win32SettingsTest, RefusedWriteNamesTheWindowsPath) {
  SettingsStore store(files, dir + "options.ini");
  store.WriteBool("Options", "StartUp", true);
  SetFileAttributesA((dir + "options.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  try {
    store.WriteBool("Options", "Firefox", false);
    FAIL() << "the write was not refused";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir + "options.ini");
  }
  EXPECT_TRUE(store.ReadBool("Options", "StartUp", false));
  EXPECT_FALSE(store.ValueExists("Options", "Firefox"));
}

TEST_F(Win32SettingsTest, ReadersNeverSeeATornFile) {
  SettingsStore store(files, dir + "options.ini");
  store.WriteInteger("Options", "Timeout", 0);
  store.WriteInteger("Options", "ProxyType", 0);
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0}, reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (writing) {
        const int a = store.ReadInteger("Options", "Timeout", -1);
        const int b = store.ReadInteger("Options", "ProxyType", -2);
        if (a < 0 || b < 0 || a > b) torn++;
        reads++;
      }
    });
  }
  constexpr int kWrites = 400;
  std::string writeError;
  try {
    for (int i = 1; i <= kWrites; ++i) {
      store.WriteInteger("Options", "ProxyType", i);
      store.WriteInteger("Options", "Timeout", i);
    }
  } catch (const std::exception& e) {
    writeError = e.what();
  }
  writing = false;
  for (auto& t : readers) t.join();
  ASSERT_EQ(writeError, "");
  EXPECT_EQ(torn.load(), 0) << "of " << reads.load();
  EXPECT_GT(reads.load(), 50);
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", -1), kWrites);
}

void Put(const std::string& path, const std::string& content) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a killed run leaves: temporaries nobody holds, which go when the store
// opens; a temporary a write under way holds, and names that only look like
// ours, stay.
TEST_F(Win32SettingsTest, OpeningClearsAbandonedTemporariesAndNothingElse) {
  const std::string path = dir + "options.ini";
  Put(path, "[Options]\r\nStartUp=0\r\n");
  const std::vector<std::string> abandoned = {"options.ini.tmp4242.0", "OPTIONS.INI.TMP7.13"};
  const std::string held = "options.ini.tmp4242.1";
  const std::vector<std::string> kept = {"options.ini.tmp",           "options.ini.tmp4242",
                                         "options.ini.tmp4242.0.bak", "options.ini.tmp.4242.0",
                                         "options.ini.tmpx.1",        "other.ini.tmp4242.0",
                                         "options.ini.bak",           "options.ini.tmp4242.0 (2)"};
  for (const auto& name : abandoned) Put(dir + name, std::string(100000, 't'));
  for (const auto& name : kept) Put(dir + name, "keep");
  CreateDirectoryA((dir + "options.ini.tmp4242.5").c_str(), nullptr);
  Put(dir + held, "[Options]\r\nStartUp=1\r\n");
  // Held as a writer holds its temporary until the renaming.
  const HANDLE writer = CreateFileA((dir + held).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);

  SettingsStore store(files, path);
  for (const auto& name : abandoned) EXPECT_FALSE(Exists(dir + name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(Exists(dir + name)) << name;
  EXPECT_TRUE(Exists(dir + "options.ini.tmp4242.5"));
  EXPECT_FALSE(store.ReadBool("Options", "StartUp", true));
  // The write under way still ends as a write does.
  EXPECT_TRUE(MoveFileExA((dir + held).c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  CloseHandle(writer);
  EXPECT_TRUE(store.ReadBool("Options", "StartUp", false));

  // Once its writer is gone, a temporary goes at the next opening.
  Put(dir + held, "half");
  SettingsStore reopened(files, path);
  EXPECT_FALSE(Exists(dir + held));
}

// Opening the store (another instance starting) while a write is under way
// must not take that write's temporary from under it.
TEST_F(Win32SettingsTest, ClearingNeverTakesAWriteUnderWay) {
  const std::string path = dir + "options.ini";
  SettingsStore store(files, path);
  std::atomic<bool> writing{true};
  std::string writeError;
  std::thread writer([&] {
    try {
      for (int i = 0; i < 300; ++i) store.WriteString("Proxy list", "1", std::string(20000, 'a'));
    } catch (const std::exception& e) {
      writeError = e.what();
    }
    writing = false;
  });
  int openings = 0;
  while (writing) {
    SettingsStore other(files, path);
    ++openings;
  }
  writer.join();
  EXPECT_EQ(writeError, "") << "after " << openings << " openings";
  EXPECT_GT(openings, 10);
  EXPECT_EQ(folder.Count(), 1);
}

// Bars new files from a folder, as from a program folder the user may not
// add to, while the files in it stay writable. Wine runs as root here, and
// root may add files anywhere, so the folder is made immutable from the
// Linux side: Wine runs chattr as the Linux program it is. Barred() tells
// whether that could be done here.
class NewFilesBarred {
 public:
  explicit NewFilesBarred(const std::string& folder) : folder_(folder), probe_(folder + "probe") {
    // The flag can land between a probe's creation and its removal at close,
    // which leaves the probe behind in the barred folder: lift it, let the
    // probe go, and bar again.
    for (int attempt = 0; attempt < 5 && !barred_; ++attempt) {
      if (!RunChattr("+i") || !WaitUntilNewFilesCanBeMade(false)) return;
      barred_ = GetFileAttributesA(probe_.c_str()) == INVALID_FILE_ATTRIBUTES;
      if (!barred_ && !Lift()) return;
    }
  }
  ~NewFilesBarred() {
    if (barred_) Lift();
  }
  NewFilesBarred(const NewFilesBarred&) = delete;
  NewFilesBarred& operator=(const NewFilesBarred&) = delete;
  bool Barred() const { return barred_; }

 private:
  bool Lift() { return RunChattr("-i") && WaitUntilNewFilesCanBeMade(true); }
  bool RunChattr(const char* flag) {
    using ToUnixName = char*(CDECL*)(const WCHAR*);
    const auto toUnix = reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return false;
    const std::wstring wide(folder_.begin(), folder_.end());
    char* unixName = toUnix(wide.c_str());
    if (!unixName) return false;
    std::string command = std::string("/usr/bin/chattr ") + flag + " \"" + unixName + "\"";
    HeapFree(GetProcessHeap(), 0, unixName);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("/usr/bin/chattr", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
      return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }
  // A Linux program's end cannot be waited for from here; its effect can.
  bool WaitUntilNewFilesCanBeMade(bool can) {
    for (int i = 0; i < 500; ++i) {
      DeleteFileA(probe_.c_str());  // one a raced flag left behind
      const HANDLE probe = CreateFileA(probe_.c_str(), GENERIC_WRITE | DELETE, 0,
                                       nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
      if ((probe != INVALID_HANDLE_VALUE) == can) return true;
      Sleep(10);
    }
    return false;
  }

  std::string folder_;
  std::string probe_;
  bool barred_ = false;
};

TEST_F(Win32SettingsTest, WhereNoNewFileMayBeMadeTheFileIsWrittenInPlace) {
  const std::string path = dir + "options.ini";
  Put(path, "[Options]\r\nTimeout=9\r\n[Proxy list]\r\n1=" + std::string(3000, 'p') + "\r\n");
  EXPECT_FALSE(files.WriteFileInPlace(path, "torn")) << "where a new file can be made";
  EXPECT_EQ(folder.Count(), 1);

  NewFilesBarred bar(dir);
  if (!bar.Barred()) GTEST_SKIP() << "no folder could be closed to new files on this system";
  SettingsStore store(files, path);
  store.WriteInteger("Options", "Timeout", 1234567);
  store.EraseSection("Proxy list");
  EXPECT_EQ(files.ReadFile(path), "[Options]\r\nTimeout=1234567\r\n");
  EXPECT_EQ(folder.Count(), 1) << "no temporary file, no probe left";
  // A file the user made read-only stays refused, written in place or not.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_THROW(store.WriteInteger("Options", "Timeout", 1), SettingsWriteError);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(files.ReadFile(path), "[Options]\r\nTimeout=1234567\r\n");
}

}  // namespace
}  // namespace cloakwise
