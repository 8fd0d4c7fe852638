#include "fakes/fake_files.h"

namespace cloakwise::fakes {

std::optional<std::string> FakeFileSystem::ReadFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (unreadable.count(path)) return std::nullopt;
  const auto it = files.find(path);
  if (it == files.end()) return std::nullopt;
  return it->second;
}

bool FakeFileSystem::WriteFileAtomic(const std::string& path, std::string_view content) {
  std::lock_guard lock(mutex_);
  writes.push_back(path);
  if (readOnly.count(path) || noTemporary.count(path)) return false;
  files[path] = std::string(content);
  writeTimes[path] = ++clock;
  return true;
}

bool FakeFileSystem::WriteFileInPlace(const std::string& path, std::string_view content) {
  std::lock_guard lock(mutex_);
  inPlaceWrites.push_back(path);
  if (readOnly.count(path) || !noTemporary.count(path) || !files.count(path)) return false;
  files[path] = std::string(content);
  writeTimes[path] = ++clock;
  return true;
}

bool FakeFileSystem::FileExists(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files.count(path) > 0 || unreadable.count(path) > 0;
}

std::optional<std::int64_t> FakeFileSystem::LastWriteTime(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!files.count(path)) return std::nullopt;
  const auto it = writeTimes.find(path);
  return it == writeTimes.end() ? 0 : it->second;
}

bool FakeFileSystem::RemoveFile(const std::string& path) {
  bool removed = false;
  {
    std::lock_guard lock(mutex_);
    deletions.push_back(path);
    removed = !undeletable.count(path) && files.erase(path) + unreadable.erase(path) > 0;
  }
  if (afterRemove) afterRemove();
  return removed;
}

bool FakeFileSystem::RemoveEmptyFolder(const std::string& folder) {
  std::lock_guard lock(mutex_);
  deletions.push_back(folder);
  const auto it = folders.find(folder);
  if (it == folders.end()) return false;
  // Its entries stay listed; it is empty once none of them is there.
  for (const platform::DirectoryEntry& entry : it->second) {
    const std::string path = folder + entry.name;
    if (files.count(path) || folders.count(path + folder.back())) return false;
  }
  folders.erase(it);
  return true;
}

std::optional<std::vector<platform::DirectoryEntry>> FakeFileSystem::ListDirectory(
    const std::string& folder) {
  std::lock_guard lock(mutex_);
  listings.push_back(folder);
  const auto it = folders.find(folder);
  if (it == folders.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> FakeFileSystem::FinalFolderPath(const std::string& folder) {
  std::lock_guard lock(mutex_);
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  // The longest link on the way leads on.
  std::size_t longest = 0;
  std::string target;
  for (const auto& [link, to] : links) {
    if (link.size() > longest && path.compare(0, link.size(), link) == 0) {
      longest = link.size();
      target = to + path.substr(link.size());
    }
  }
  if (longest) path = target;
  if (!folders.count(path)) return std::nullopt;
  return path;
}

}  // namespace cloakwise::fakes
