#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cloakwise::platform {

struct DirectoryEntry {
  std::string name;
  bool directory = false;
  bool hidden = false;
  bool system = false;
  // A symbolic link, junction or other reparse point: what it leads to lies
  // outside the folder listed, whatever it looks like.
  bool link = false;
};

// Whole-file access. Paths are UTF-8 texts in the platform's own form; file
// content is bytes, never converted.
//
// Any thread: the check and search workers read options.ini through the
// settings store, which keeps two writers of one file apart; nothing else here
// holds state between calls.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The whole content, or nothing when the file cannot be opened or read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Writes the content to a temporary file beside the target and puts it in
  // the target's place in one step, so that a reader sees the old or the new
  // file and a crash never leaves a half-written one.
  virtual bool WriteFileAtomic(const std::string& path, std::string_view content) = 0;
  // For a folder where no new file may be made (a program folder the user
  // may not add to, with the file itself left writable): puts the content in
  // the existing file by writing through it. It refuses, changing nothing,
  // when the file is missing, read-only or no plain file, and when a new file
  // can be made beside it after all, so it never stands in for a
  // WriteFileAtomic that failed for another reason (a full disk, a target
  // held open). The file grows to its new size before any byte is written,
  // so a full disk refuses with the old content whole. What it costs: it is
  // not atomic. A kill or power cut mid-write leaves the file torn, and a
  // reader in another process may see old and new bytes mixed.
  virtual bool WriteFileInPlace(const std::string& path, std::string_view content) = 0;
  // Removes the temporary files that WriteFileAtomic(path, ...) left behind
  // when its process was killed mid-write: plain files named as its own
  // temporaries for this path and no others, and only those that no write
  // under way still owns. Returns how many went.
  virtual int RemoveAbandonedTemporaryFiles(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Whether another program holds the file for itself now: opened without
  // sharing (Windows), or under a lock of its own (POSIX). Firefox holds
  // its profile's lock file so for as long as it runs.
  virtual bool HeldByAnotherProgram(const std::string& path) = 0;
  // When the file's content was last written, in units that only compare
  // with each other (later is larger); nothing when it cannot be told.
  virtual std::optional<std::int64_t> LastWriteTime(const std::string& path) = 0;
  // Deletes a file, or a link itself (to a file or to a folder), never what a
  // link leads to; false when nothing was deleted. Not for real folders.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Removes a folder that holds nothing any more (a path ending with the
  // separator), or a link to a folder itself; false when it stays.
  virtual bool RemoveEmptyFolder(const std::string& folder) = 0;
  // The entries of a folder (a path ending with the separator), "." and ".."
  // left out, in the order the file system gives them; nothing when the
  // folder cannot be listed.
  virtual std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& folder) = 0;
  // The same, for a walk that deletes: a link to a file may be listed as a
  // plain file where telling it costs a call per file, since RemoveFile
  // refuses what only deleting the link's target would remove anyway.
  virtual std::optional<std::vector<DirectoryEntry>> ListDirectoryToEmpty(
      const std::string& folder) {
    return ListDirectory(folder);
  }
  // The folder's one spelling: the path the system reaches when it follows
  // every link and junction on the way, absolute, with a trailing
  // separator; nothing when the folder is missing or it cannot be told.
  virtual std::optional<std::string> FinalFolderPath(const std::string& folder) = 0;
  // Why the calling thread's last failed call failed, in the system's words.
  virtual std::string LastErrorText() = 0;
};

}  // namespace cloakwise::platform
