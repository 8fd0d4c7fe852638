// The clean-up's walk over 50 000 files, against `rm -rf` of a copy of the
// same tree in the same run, in two shapes: a temporary folder of 500
// folders of 100 files, and a browser's cache as Chromium keeps it (one flat
// folder of 40 000 entries, and 10 000 more of compiled code in two). The
// walk lists every folder, deletes file by file and lets the message loop
// run after each, as the program does; rm removes the folders too, which the
// walk leaves. Both trees are made the same way, on the same file system.
//
// And a tree 1500 folders deep with a file every 500 levels, which the
// program empties and then removes folder by folder, as it does with what
// the shell leaves of a deep temporary tree. 1500 levels reach some 3000
// characters, as deep as the native file calls go with whole paths (Linux
// takes 4096 bytes); Windows goes to 32 767.
//
// Prints the figures, and BENCH lines for scripts/bench.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "cleanup/safe_delete.h"
#include "platform/posix/files_posix.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kFiles = 50000;

// The program's user-interface thread with nothing pending: what a yield
// costs when no message waits.
class IdleUiThread : public cloakwise::platform::UiThread {
 public:
  void Post(std::function<void()> task) override { task(); }
  void Send(const std::function<void()>& task) override { task(); }
  void ProcessMessages() override { ++yields; }
  TimerId StartTimer(std::uint32_t, std::function<void()>) override { return 0; }
  void StopTimer(TimerId) override {}
  long yields = 0;
};

// Where each of the tree's files lies below its root.
using Shape = std::function<fs::path(long file)>;

fs::path TemporaryFolder(long file) {
  char path[64];
  std::snprintf(path, sizeof path, "cache%ld/f%ld/tmp%ld.dat", file / 5000, file / 100, file % 100);
  return path;
}

fs::path ChromiumCache(long file) {
  if (file < 40000) return fs::path("Cache") / "Cache_Data" / ("f_" + std::to_string(file));
  return fs::path("Code Cache") / (file % 2 ? "js" : "wasm") / std::to_string(file);
}

void MakeTree(const fs::path& root, const Shape& shape) {
  for (long f = 0; f < kFiles; ++f) {
    const fs::path path = root / shape(f);
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "cached data " << f;
  }
}

long CountFiles(const fs::path& root) {
  long n = 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) n += e.is_regular_file();
  return n;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Measures one shape; false when it could not. The first shape's measure
// keeps its name of before, so its figures stay comparable.
bool Measure(const char* name, const char* measure, const Shape& shape) {
  const fs::path base =
      fs::temp_directory_path() / ("cloakwise-cleanup-bench-" + std::to_string(getpid()));
  const fs::path ours = base / "ours", theirs = base / "rm";
  MakeTree(ours, shape);
  MakeTree(theirs, shape);
  const long files = CountFiles(ours);
  ::sync();

  // rm first: whatever the file system still does after making the trees
  // weighs on the baseline, not on us.
  auto start = Clock::now();
  const std::string command = "rm -rf '" + theirs.string() + "'";
  const int rc = std::system(command.c_str());
  const double rmSeconds = Seconds(start);
  cloakwise::platform::PosixFileSystem fileSystem;
  IdleUiThread ui;
  start = Clock::now();
  cloakwise::cleanup::DeleteFilesRecursively(fileSystem, ui, ours.string() + "/");
  const double oursSeconds = Seconds(start);
  const long left = CountFiles(ours);

  fs::remove_all(base);

  std::printf("%s, %ld files: the walk %.3f s (%ld yields, %ld files left), rm -rf %.3f s\n", name,
              files, oursSeconds, ui.yields, left, rmSeconds);
  if (left != 0 || rc != 0 || files != kFiles) {
    std::printf("could not measure\n");
    return false;
  }
  std::printf("BENCH\t%s\twall time\t%.3f\t%.3f\ts\n", measure, oursSeconds, rmSeconds);
  return true;
}

bool MeasureDeep() {
  constexpr int kDepth = 1500, kEvery = 500;
  const fs::path base =
      fs::temp_directory_path() / ("cloakwise-cleanup-deep-" + std::to_string(getpid()));
  const auto make = [](const fs::path& root) {
    fs::path path = root;
    for (int level = 1; level <= kDepth; ++level) {
      path /= "d";
      if (level % kEvery == 0) {
        fs::create_directories(path);
        std::ofstream(path / ("level-" + std::to_string(level) + ".tmp")) << "x";
      }
    }
  };
  const fs::path ours = base / "ours", theirs = base / "rm";
  make(ours);
  make(theirs);
  ::sync();
  auto start = Clock::now();
  const int rc = std::system(("rm -rf '" + theirs.string() + "'").c_str());
  const double rmSeconds = Seconds(start);
  cloakwise::platform::PosixFileSystem fileSystem;
  IdleUiThread ui;
  start = Clock::now();
  const std::string root = ours.string() + "/";
  const std::size_t filesStayed = cloakwise::cleanup::DeleteFilesRecursively(fileSystem, ui, root);
  const std::size_t foldersStayed = cloakwise::cleanup::RemoveEmptyFolders(fileSystem, ui, root);
  const double oursSeconds = Seconds(start);
  const bool gone = !fs::exists(ours);
  fs::remove_all(base);
  std::printf(
      "a tree %d folders deep: the walk and the folders' removal %.3f s (%zu files, %zu "
      "folders stayed), rm -rf %.3f s\n",
      kDepth, oursSeconds, filesStayed, foldersStayed, rmSeconds);
  if (!gone || rc != 0) {
    std::printf("could not measure\n");
    return false;
  }
  std::printf("BENCH\tclean-up vs rm -rf, a tree 1500 folders deep\twall time\t%.3f\t%.3f\ts\n",
              oursSeconds, rmSeconds);
  return true;
}

}  // namespace

int main() {
  const bool temporary =
      Measure("a temporary folder", "clean-up walk vs rm -rf, 50 000 files", TemporaryFolder);
  const bool cache = Measure("a Chromium cache",
                             "clean-up walk vs rm -rf, a 50 000-file browser cache", ChromiumCache);
  const bool deep = MeasureDeep();
  return temporary && cache && deep ? 0 : 1;
}
