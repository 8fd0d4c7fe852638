#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace cloakwise::testing {

// A fresh folder under the Windows temporary folder (a path with a trailing
// backslash), removed with its contents when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag) {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "cloakwise-" + tag + "-" + std::to_string(GetCurrentProcessId()) +
            "-" + std::to_string(counter++) + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    // Read-only files would survive the removal.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_)) {
      SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);  // any name, in any script
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }
  int Count() const {
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  std::string path_;
};

}  // namespace cloakwise::testing
