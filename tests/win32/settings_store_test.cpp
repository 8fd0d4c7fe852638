// The settings store on Wine's file system: the error text with a Windows
// path, and readers racing a writer.
#include "core/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

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

}  // namespace
}  // namespace cloakwise
