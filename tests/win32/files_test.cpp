// Whole-file reads and atomic replacement on Wine's real file system.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "win32/temp_folder.h"

namespace cloakwise::platform {
namespace {

class Win32FilesTest : public ::testing::Test {
 protected:
  int FilesInDir() const { return folder.Count(); }

  testing::TempFolder folder{"files"};
  const std::string& dir = folder.path();
  Win32FileSystem files;
};

TEST_F(Win32FilesTest, WritesReplacesAndReadsBackByteForByte) {
  const std::string path = dir + "options.ini";
  EXPECT_FALSE(files.FileExists(path));
  EXPECT_EQ(files.ReadFile(path), std::nullopt);
  const std::string binary("[Options]\r\nA=1\r\n\0\xff\n", 18);
  ASSERT_TRUE(files.WriteFileAtomic(path, binary));
  EXPECT_TRUE(files.FileExists(path));
  EXPECT_EQ(files.ReadFile(path), binary);
  const std::string big(300000, 'x');
  ASSERT_TRUE(files.WriteFileAtomic(path, big));
  EXPECT_EQ(files.ReadFile(path), big);
  ASSERT_TRUE(files.WriteFileAtomic(path, ""));
  EXPECT_EQ(files.ReadFile(path), "");
  EXPECT_EQ(FilesInDir(), 1) << "no temporary file is left";
  EXPECT_FALSE(files.FileExists(dir)) << "a folder is not a file";
}

TEST_F(Win32FilesTest, TargetHeldOpenElsewhereIsNeverLeftHalfWritten) {
  const std::string path = dir + "options.ini";
  ASSERT_TRUE(files.WriteFileAtomic(path, "old"));
  // Another program holding the file open. Windows lets the replacement
  // through when the holder shares delete access; Wine refuses it. Either
  // way the file is whole: old or new, never a mix, and no temporary is left.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const bool replaced = files.WriteFileAtomic(path, "new");
  char buffer[8] = {};
  DWORD read = 0;
  ReadFile(holder, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(holder);
  EXPECT_EQ(std::string(buffer, read), "old") << "the holder keeps the file it opened";
  EXPECT_EQ(files.ReadFile(path), replaced ? "new" : "old");
  EXPECT_EQ(FilesInDir(), 1);
  EXPECT_TRUE(files.WriteFileAtomic(path, "after")) << "once released, the file is replaced";
  EXPECT_EQ(files.ReadFile(path), "after");
}

TEST_F(Win32FilesTest, ReadOnlyTargetIsRefusedAndKept) {
  const std::string path = dir + "options.ini";
  ASSERT_TRUE(files.WriteFileAtomic(path, "keep"));
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files.WriteFileAtomic(path, "lost"));
  EXPECT_EQ(files.ReadFile(path), "keep");
  EXPECT_EQ(FilesInDir(), 1);
  EXPECT_FALSE(files.WriteFileAtomic(dir + "no such folder\\options.ini", "x"));
}

TEST_F(Win32FilesTest, ARefusedWriteIsReportedWithItsRealReason) {
  const std::string readOnly = dir + "read-only.js", folderInTheWay = dir + "user.js";
  ASSERT_TRUE(files.WriteFileAtomic(readOnly, "keep"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(CreateDirectoryA(folderInTheWay.c_str(), nullptr));
  for (const std::string& path : {readOnly, folderInTheWay}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(files.WriteFileAtomic(path, "new"));
    const DWORD error = GetLastError();
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS)) << path << ": " << files.LastErrorText();
  }
  EXPECT_EQ(FilesInDir(), 2) << "no temporary is left";
}

// How the clean-up tells a running browser: Firefox holds parent.lock open
// to itself. Wine ships no winsqlite3.dll; where it is missing, SQLite is
// reported missing and the database is not touched.
TEST_F(Win32FilesTest, AFileHeldOpenToItselfIsSeenAsHeldAndSqliteAsMissingWhereItIs) {
  const std::string lock = dir + "parent.lock";
  ASSERT_TRUE(files.WriteFileAtomic(lock, ""));
  EXPECT_FALSE(files.HeldByAnotherProgram(lock));
  HANDLE holder = CreateFileA(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(files.HeldByAnotherProgram(lock));
  CloseHandle(holder);
  EXPECT_FALSE(files.HeldByAnotherProgram(lock));
  EXPECT_FALSE(files.HeldByAnotherProgram(dir + "no such file"));

  const std::string places = dir + "places.sqlite";
  ASSERT_TRUE(files.WriteFileAtomic(places, "not touched"));
  Win32Sqlite sqlite;
  Sqlite::OpenResult result;
  const auto db = sqlite.Open(places, 100, result);
  if (HMODULE dll = LoadLibraryExW(L"winsqlite3.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    FreeLibrary(dll);
    EXPECT_NE(result, Sqlite::OpenResult::NoSqlite);
  } else {
    EXPECT_EQ(result, Sqlite::OpenResult::NoSqlite);
    EXPECT_EQ(db, nullptr);
  }
  EXPECT_EQ(files.ReadFile(places), "not touched") << "opening writes nothing";
}

}  // namespace
}  // namespace cloakwise::platform
