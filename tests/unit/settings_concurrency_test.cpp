// One thread writes options while others read the same real file, as the
// search workers do while the user changes options.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/settings_store.h"
#include "platform/posix/files_posix.h"
#include "unit/temp_folder.h"

namespace cloakwise {
namespace {

TEST(SettingsStoreConcurrency, ReadersNeverSeeATornFile) {
  testing::TempFolder dir("conc");
  const std::string path = dir.File("options.ini");
  platform::PosixFileSystem files;
  SettingsStore store(files, path);
  // Each write sets both keys to the same value; a reader that ever sees them
  // differ, or sees either missing, has read a torn or half-written file.
  store.WriteString("Proxy list", "1", std::string(2000, 'p'));
  store.WriteInteger("Options", "Timeout", 0);
  store.WriteInteger("Options", "ProxyType", 0);

  constexpr int kWrites = 1500;
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0}, reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (writing.load()) {
        const int a = store.ReadInteger("Options", "Timeout", -1);
        const int b = store.ReadInteger("Options", "ProxyType", -2);
        const auto entries = store.ReadSectionValues("Options");
        if (a < 0 || b < 0 || a > b || entries.size() != 2 ||
            store.ReadString("Proxy list", "1", "").size() != 2000) {
          torn.fetch_add(1);
        }
        reads.fetch_add(1);
      }
    });
  }
  for (int i = 1; i <= kWrites; ++i) {
    // ProxyType first, Timeout second: across two reads a reader may see the
    // newer ProxyType with the older Timeout, never the reverse.
    store.WriteInteger("Options", "ProxyType", i);
    store.WriteInteger("Options", "Timeout", i);
  }
  writing = false;
  for (auto& t : readers) t.join();

  EXPECT_EQ(torn.load(), 0) << "of " << reads.load() << " reads";
  EXPECT_GT(reads.load(), 100);
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", -1), kWrites);
  EXPECT_EQ(dir.Count(), 1) << "no temporary file is left behind";
}

// Below the store's own lock: the file system alone never shows a reader a
// partial file, which is what protects readers in other processes.
TEST(SettingsStoreConcurrency, AtomicReplaceNeverShowsAPartialFile) {
  testing::TempFolder dir("atomic");
  const std::string path = dir.File("options.ini");
  platform::PosixFileSystem files;
  ASSERT_TRUE(files.WriteFileAtomic(path, std::string(200000, 'a')));
  std::atomic<bool> writing{true};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    while (writing.load()) {
      const auto text = files.ReadFile(path);
      if (!text || text->size() != 200000 ||
          text->find_first_not_of(text->front()) != std::string::npos) {
        bad.fetch_add(1);
      }
      reads.fetch_add(1);
    }
  });
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(files.WriteFileAtomic(path, std::string(200000, static_cast<char>('a' + i % 26))));
  }
  writing = false;
  reader.join();
  EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
}

TEST(SettingsStoreConcurrency, ConcurrentWritersLoseNoKey) {
  testing::TempFolder dir("conc2");
  platform::PosixFileSystem files;
  SettingsStore store(files, dir.File("options.ini"));
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 50; ++i) store.WriteInteger("Proxy list", std::to_string(w * 50 + i), i);
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(store.ReadSectionValues("Proxy list").size(), 200u);
}

}  // namespace
}  // namespace cloakwise
