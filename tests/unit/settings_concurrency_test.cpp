// The settings store on real files: one thread writes options while others
// read them, as the search workers do while the user changes options; writers
// killed mid-write; a folder where no new file may be made.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "core/ini_text.h"
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

int ExitCodeOf(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Put(const std::filesystem::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

bool IsTemporaryOf(const std::string& name, const std::string& target) {
  return name.starts_with(target + ".tmp.");
}

// Kill a writer again and again, as a user ending the program from the task
// list would: options.ini stays whole every time, and opening the store
// clears what the killed writes left, and nothing else.
TEST(SettingsStoreFiles, WritersKilledMidWriteLeaveNothingTheNextOpeningKeeps) {
  testing::TempFolder dir("killed");
  const std::string path = dir.File("options.ini");
  platform::PosixFileSystem files;
  const std::string value(100000, 'v');
  SettingsStore(files, path).ReplaceSection("Proxy list", {{"1", value}, {"2", value}});

  // Names that only look like our temporaries, and temporaries whose
  // writer may still be at work: this process and its parent are running.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ExitCodeOf(gone);
  const std::string tmp = "options.ini.tmp.";
  const std::string mine = tmp + std::to_string(::getpid()) + ".0";
  const std::string parents = tmp + std::to_string(::getppid()) + ".0";
  const std::string deadId = std::to_string(gone);
  const std::vector<std::string> kept = {mine,
                                         parents,
                                         tmp + deadId,
                                         tmp + deadId + ".0.bak",
                                         tmp + "x.0",
                                         "options.ini.tmp" + deadId + ".0",
                                         "Options.ini.tmp." + deadId + ".0",
                                         "other.ini.tmp." + deadId + ".0",
                                         "precious"};
  for (const auto& name : kept) Put(dir.path() / name, "keep");
  std::filesystem::create_directory(dir.path() / (tmp + deadId + ".7"));
  std::filesystem::create_symlink(dir.path() / "precious", dir.path() / (tmp + deadId + ".8"));
  const int others = dir.Count();

  int killsThatLeftATemporary = 0;
  for (int kill = 0; kill < 200 && killsThatLeftATemporary < 3; ++kill) {
    const pid_t writer = fork();
    if (writer == 0) {
      SettingsStore store(files, path);
      for (int i = 0; i < 100000; ++i) {
        store.WriteString("Proxy list", std::to_string(1 + i % 2),
                          std::string(value.size(), static_cast<char>('a' + i % 26)));
      }
      _exit(0);
    }
    ::usleep(static_cast<useconds_t>(5000 + kill * 7919 % 40000));
    ::kill(writer, SIGKILL);
    ExitCodeOf(writer);
    // Whole: both entries there, each of one letter throughout. Read
    // without opening a store, which would clear the temporaries.
    const std::string text = files.ReadFile(path).value_or("");
    const auto doc = ini::Document::Parse(text);
    for (const char* key : {"1", "2"}) {
      const std::string v = doc.Get("Proxy list", key).value_or("");
      ASSERT_EQ(v.size(), value.size()) << "after kill " << kill;
      ASSERT_EQ(v.find_first_not_of(v.front()), std::string::npos) << "after kill " << kill;
    }
    int temporaries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      temporaries += IsTemporaryOf(name, "options.ini") && name != mine && name != parents &&
                     e.is_regular_file() && !e.is_symlink();
    }
    killsThatLeftATemporary += temporaries > 0;
  }
  ASSERT_EQ(killsThatLeftATemporary, 3) << "no kill landed mid-write";

  SettingsStore reopened(files, path);
  EXPECT_EQ(dir.Count(), others) << "only the killed writes' temporaries went";
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / (tmp + deadId + ".7")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / (tmp + deadId + ".8")));
}

// Runs `body` in a child process that may write the files of `folder` but
// may add none, and gives its exit code. Root may add files anywhere, so as
// root the child becomes an ordinary user first.
int RunBarredFromAddingFiles(const std::filesystem::path& folder,
                             const std::function<int()>& body) {
  namespace fs = std::filesystem;
  const bool root = ::geteuid() == 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    fs::permissions(e.path(), fs::perms(0666));
  }
  fs::permissions(folder, fs::perms(root ? 0755 : 0555));
  const pid_t child = fork();
  if (child == 0) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(90);
    // Proof that the bar holds, or the test would show nothing.
    if (std::ofstream(folder / "probe")) _exit(91);
    _exit(body());
  }
  const int code = ExitCodeOf(child);
  fs::permissions(folder, fs::perms(0755));
  return code;
}

// A program folder the user may not add to, with options.ini left writable.
TEST(SettingsStoreFiles, WhereNoNewFileMayBeMadeTheFileIsWrittenInPlace) {
  testing::TempFolder dir("closed");
  const std::string path = dir.File("options.ini");
  platform::PosixFileSystem files;
  Put(path, "[Options]\r\nTimeout=9\r\n[Proxy list]\r\n1=" + std::string(3000, 'p') + "\r\n");

  // Where a new file can be made, a failed atomic write must stay a failure.
  EXPECT_FALSE(files.WriteFileInPlace(path, "torn"));
  EXPECT_FALSE(files.WriteFileInPlace(dir.File("absent.ini"), "x"));
  EXPECT_EQ(dir.Count(), 1);

  const int grownThenShrunk = RunBarredFromAddingFiles(dir.path(), [&] {
    try {
      SettingsStore store(files, path);
      store.WriteInteger("Options", "Timeout", 1234567);
      store.EraseSection("Proxy list");
      return 0;
    } catch (const std::exception&) {
      return 1;
    }
  });
  EXPECT_EQ(grownThenShrunk, 0);
  EXPECT_EQ(files.ReadFile(path), "[Options]\r\nTimeout=1234567\r\n");
  EXPECT_EQ(dir.Count(), 1) << "no temporary file, no probe left";

  // No room to grow (a full disk, here a file size limit): refused before
  // any byte of the old content changes.
  const int refused = RunBarredFromAddingFiles(dir.path(), [&] {
    const rlimit limit{64, 64};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    try {
      SettingsStore(files, path).WriteString("Proxy list", "1", std::string(200, 'q'));
      return 1;
    } catch (const SettingsWriteError&) {
      return 0;
    }
  });
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(files.ReadFile(path), "[Options]\r\nTimeout=1234567\r\n");
}

}  // namespace
}  // namespace cloakwise
