#pragma once

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
  bool FileExists(const std::string& path) override;

  std::map<std::string, std::string> files;
  std::set<std::string> unreadable;    // exist, but reads fail
  std::set<std::string> readOnly;      // writes fail
  std::vector<std::string> writes;     // paths, in order

 private:
  std::mutex mutex_;
};

}  // namespace cloakwise::fakes
