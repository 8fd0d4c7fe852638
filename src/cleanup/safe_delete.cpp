#include "cleanup/safe_delete.h"

#include <algorithm>
#include <cctype>

#include "core/text.h"

namespace cloakwise::cleanup {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::string WithoutTrailingSeparators(std::string path) {
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  return path;
}

// "X:\" and "\\server\share\" begin a Windows path; "/" a POSIX one. Returns
// how long the root is, or nothing for a relative or unknown form.
std::optional<std::size_t> RootLength(std::string_view path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      path[2] == '\\') {
    return 3;
  }
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // The server and the share name belong to the root.
    const auto server = path.find('\\', 2);
    if (server == std::string_view::npos || server == 2) return std::nullopt;
    const auto share = path.find('\\', server + 1);
    if (share == server + 1) return std::nullopt;
    return share == std::string_view::npos ? path.size() : share + 1;
  }
  if (!path.empty() && path[0] == '/') return 1;
  return std::nullopt;
}

// Folders may not step up or stay put: "C:\Users\u\..\.." is the drive.
bool HasDotSegment(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

// Whether the path is the folder or lies below it.
bool IsWithin(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() < folder.size()) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    const char a = path[i], b = folder[i];
    if (IsSeparator(a) && IsSeparator(b)) continue;
    if (std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(b)))
      return false;
  }
  return path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

// One folder of a walk: the walks keep a stack of these instead of
// recursing, since a tree as deep as long paths allow must not run out of
// stack.
struct FolderWalk {
  std::string folder;
  std::vector<platform::DirectoryEntry> entries;
  std::size_t next = 0;
};

}  // namespace

std::optional<std::string> WhyKeptWhole(const std::string& finalFolder,
                                        const std::vector<KnownFolder>& known) {
  const std::string bare = WithoutTrailingSeparators(finalFolder);
  const auto root = RootLength(finalFolder);
  if (!root || bare.size() < *root ||
      WithoutTrailingSeparators(finalFolder.substr(0, *root)) == bare)
    return "is a drive root";
  for (const KnownFolder& folder : known) {
    const std::string other = WithoutTrailingSeparators(folder.path);
    if (other.empty()) continue;
    if (IsWithin(other, bare)) {
      return (other.size() == bare.size() ? "is " : "holds ") + folder.name;
    }
  }
  return std::nullopt;
}

std::optional<std::string> UsableFolder(const std::optional<std::string>& path,
                                        const std::vector<std::string>& refused) {
  if (!path || path->empty()) return std::nullopt;
  const std::string& folder = *path;
  // Control characters and wildcards would make the shell read another path.
  if (std::any_of(folder.begin(), folder.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '*' || c == '?';
      })) {
    return std::nullopt;
  }
  const auto root = RootLength(folder);
  if (!root || HasDotSegment(folder)) return std::nullopt;
  const std::string bare = WithoutTrailingSeparators(folder);
  if (bare.size() < *root) return std::nullopt;  // the root itself
  if (WithoutTrailingSeparators(folder.substr(0, *root)) == bare) return std::nullopt;
  for (const std::string& other : refused) {
    if (!other.empty() && text::EqualsIgnoreCase(WithoutTrailingSeparators(other), bare)) {
      return std::nullopt;
    }
  }
  const char separator = folder[*root - 1] == '/' ? '/' : '\\';
  return IsSeparator(folder.back()) ? folder : folder + separator;
}

std::string ParentFolder(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && IsSeparator(path[end - 1])) --end;
  const std::size_t slash = path.find_last_of("\\/", end == 0 ? 0 : end - 1);
  return slash == std::string::npos || end == 0 ? "" : path.substr(0, slash + 1);
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (pattern.size() < 2 || pattern[0] != '*') return text::EqualsIgnoreCase(name, pattern);
  const std::string_view suffix = pattern.substr(1);
  return name.size() >= suffix.size() &&
         text::EqualsIgnoreCase(name.substr(name.size() - suffix.size()), suffix);
}

bool RemoveIfPresent(platform::FileSystem& files, const std::string& path) {
  return !files.FileExists(path) || files.RemoveFile(path) || !files.FileExists(path);
}

InsideRemoval RemoveInside(platform::FileSystem& files, const std::string& path,
                           const std::string& finalFolder) {
  const std::string folder = ParentFolder(path);
  if (folder.empty() || IsSeparator(path.back())) return InsideRemoval::Outside;
  // Nothing reachable there, nothing to delete.
  const auto parent = files.FinalFolderPath(folder);
  if (!parent) return InsideRemoval::Gone;
  const std::string final = *parent + path.substr(folder.size());
  if (!files.FileExists(final)) return InsideRemoval::Gone;
  if (!IsWithin(WithoutTrailingSeparators(*parent), WithoutTrailingSeparators(finalFolder)))
    return InsideRemoval::Outside;
  return RemoveIfPresent(files, final) ? InsideRemoval::Gone : InsideRemoval::Held;
}

std::size_t DeleteFilesRecursively(platform::FileSystem& files, platform::UiThread& ui,
                                   const std::string& folder,
                                   const std::function<bool()>& stopped) {
  if (folder.empty() || !IsSeparator(folder.back())) return 0;
  std::size_t stayed = 0;
  const char separator = folder.back();
  std::vector<FolderWalk> stack;
  const auto enter = [&](const std::string& path) {
    if (auto entries = files.ListDirectoryToEmpty(path))
      stack.push_back({path, std::move(*entries), 0});
  };
  enter(folder);
  while (!stack.empty() && !(stopped && stopped())) {
    FolderWalk& walk = stack.back();
    if (walk.next == walk.entries.size()) {
      stack.pop_back();
      continue;
    }
    const platform::DirectoryEntry entry = walk.entries[walk.next++];
    if (entry.name.empty() || entry.name.front() == '.') continue;
    const std::string path = walk.folder + entry.name;
    if (entry.directory && !entry.link) {
      enter(path + separator);  // invalidates walk
      continue;
    }
    if (!files.RemoveFile(path) && files.FileExists(path)) ++stayed;
    ui.ProcessMessages();
  }
  return stayed;
}

std::size_t RemoveEmptyFolders(platform::FileSystem& files, platform::UiThread& ui,
                               const std::string& folder, const std::function<bool()>& stopped) {
  if (folder.empty() || !IsSeparator(folder.back())) return 0;
  const char separator = folder.back();
  std::size_t stayed = 0;
  std::vector<FolderWalk> stack;
  const auto enter = [&](const std::string& path) {
    auto entries = files.ListDirectoryToEmpty(path);
    if (!entries) {
      ++stayed;
      return;
    }
    stack.push_back({path, std::move(*entries), 0});
  };
  enter(folder);
  while (!stack.empty() && !(stopped && stopped())) {
    FolderWalk& walk = stack.back();
    if (walk.next == walk.entries.size()) {
      if (!files.RemoveEmptyFolder(walk.folder)) ++stayed;
      stack.pop_back();
      ui.ProcessMessages();
      continue;
    }
    const platform::DirectoryEntry entry = walk.entries[walk.next++];
    if (entry.directory && !entry.link && !entry.name.empty() && entry.name.front() != '.') {
      enter(walk.folder + entry.name + separator);  // invalidates walk
    }
  }
  return stayed;
}

bool RemoveLinksBelow(platform::FileSystem& files, const std::string& folder,
                      std::string_view pattern) {
  if (folder.empty() || !IsSeparator(folder.back())) return false;
  bool allRemoved = true;
  const char separator = folder.back();
  std::vector<std::pair<std::string, std::string_view>> pending{{folder, pattern}};
  while (!pending.empty()) {
    auto [current, match] = pending.back();
    pending.pop_back();
    const auto entries = files.ListDirectory(current);
    if (!entries) {
      allRemoved = false;
      continue;
    }
    for (const platform::DirectoryEntry& entry : *entries) {
      if (!MatchesPattern(entry.name, match)) continue;
      if (entry.link) {
        if (!files.RemoveFile(current + entry.name)) allRemoved = false;
      } else if (entry.directory) {
        pending.push_back({current + entry.name + separator, "*.*"});
      }
    }
  }
  return allRemoved;
}

}  // namespace cloakwise::cleanup
