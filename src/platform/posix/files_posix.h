#pragma once

#include "platform/files.h"

namespace cloakwise::platform {

// The file system of the native build: the tests' real files, and the tools.
class PosixFileSystem : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool WriteFileAtomic(const std::string& path, std::string_view content) override;
  bool WriteFileInPlace(const std::string& path, std::string_view content) override;
  int RemoveAbandonedTemporaryFiles(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override;
  std::optional<std::int64_t> LastWriteTime(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RemoveEmptyFolder(const std::string& folder) override;
  std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& folder) override;
  std::optional<std::string> FinalFolderPath(const std::string& folder) override;
  std::string LastErrorText() override;
};

}  // namespace cloakwise::platform
