// The clean-up's walk over a temporary folder of 50 000 files in 500
// folders, against `rm -rf` of a copy of the same tree in the same run. The
// walk lists every folder, deletes file by file and lets the message loop
// run after each, as the program does; rm removes the folders too, which the
// walk leaves. Both trees are made the same way, on the same file system.
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

constexpr int kFolders = 500;
constexpr int kFilesPerFolder = 100;

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

void MakeTree(const fs::path& root) {
  for (int d = 0; d < kFolders; ++d) {
    const fs::path folder = root / ("cache" + std::to_string(d / 50)) / ("f" + std::to_string(d));
    fs::create_directories(folder);
    for (int f = 0; f < kFilesPerFolder; ++f) {
      std::ofstream(folder / ("tmp" + std::to_string(f) + ".dat")) << "cached data " << f;
    }
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

}  // namespace

int main() {
  const fs::path base = fs::temp_directory_path() / ("cloakwise-cleanup-bench-" + std::to_string(getpid()));
  const fs::path ours = base / "ours", theirs = base / "rm";
  MakeTree(ours);
  MakeTree(theirs);
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

  std::printf("%ld files in %d folders: the walk %.3f s (%ld yields, %ld files left), rm -rf %.3f s\n",
              files, kFolders, oursSeconds, ui.yields, left, rmSeconds);
  if (left != 0 || rc != 0 || files != kFolders * kFilesPerFolder) {
    std::printf("could not measure\n");
    return 1;
  }
  std::printf("BENCH\tclean-up walk vs rm -rf, 50 000 files\twall time\t%.3f\t%.3f\ts\n", oursSeconds,
              rmSeconds);
  return 0;
}
