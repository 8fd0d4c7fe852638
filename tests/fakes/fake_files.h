#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace cloakwise::fakes {

// Files held in memory, with refusals a test can switch on.
class FakeFileSystem : public platform::FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool WriteFileAtomic(const std::string& path, std::string_view content) override;
  bool WriteFileInPlace(const std::string& path, std::string_view content) override;
  int RemoveAbandonedTemporaryFiles(const std::string& path) override {
    std::lock_guard lock(mutex_);
    temporaryCleanups.push_back(path);
    return 0;
  }
  bool FileExists(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return held.count(path) > 0;
  }
  // The clock's reading at the file's last write; 0 for a file a test put in.
  std::optional<std::int64_t> LastWriteTime(const std::string& path) override;
  // Removes the file and records the path; false for a path it does not hold.
  bool RemoveFile(const std::string& path) override;
  // Erases the folder's key when it has no entries; records it.
  bool RemoveEmptyFolder(const std::string& folder) override;
  // Folders are the keys of `folders`, each with its entries in order.
  std::optional<std::vector<platform::DirectoryEntry>> ListDirectory(
      const std::string& folder) override;
  // The path with the longest of `links` on its way replaced by what it
  // leads to, when that is one of `folders`.
  std::optional<std::string> FinalFolderPath(const std::string& folder) override;
  std::string LastErrorText() override { return lastError; }

  std::map<std::string, std::vector<platform::DirectoryEntry>> folders;
  std::string lastError = "Access is denied";
  // A folder's path with its trailing separator, and the folder it leads to.
  std::map<std::string, std::string> links;

  std::map<std::string, std::string> files;
  std::map<std::string, std::int64_t> writeTimes;  // by path; a test may set them
  std::int64_t clock = 0;                          // moves on at every write
  std::set<std::string> unreadable;                // exist, but reads fail
  std::set<std::string> readOnly;                  // writes fail
  std::set<std::string> noTemporary;               // in a folder where no new file may be made
  std::set<std::string> held;                      // held open by another program
  std::set<std::string> undeletable;               // removals fail, the file stays
  std::vector<std::string> writes;                 // paths, in order
  std::vector<std::string> inPlaceWrites;          // paths written through, in order
  std::vector<std::string> listings;               // folders listed, in order
  std::vector<std::string> deletions;              // paths deleted, in order
  std::vector<std::string> temporaryCleanups;      // targets whose leftovers were cleared
  std::function<void()> afterRemove;               // after each RemoveFile, outside the lock

 private:
  std::mutex mutex_;
};

}  // namespace cloakwise::fakes
