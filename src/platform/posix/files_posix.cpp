#include "platform/posix/files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace cloakwise::platform {

std::optional<std::string> PosixFileSystem::ReadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

bool PosixFileSystem::WriteFileAtomic(const std::string& path, std::string_view content) {
  // A file the user made read-only stays as it is, even for root.
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) return false;
  static std::atomic<unsigned> counter{0};
  const std::string temp =
      path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) content.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  // unlink removes a link itself and refuses a real folder.
  return ::unlink(path.c_str()) == 0;
}

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::ListDirectory(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    // The listing tells the kind on most file systems; only where it cannot
    // is each entry looked at, one call more per file.
    bool directory = e->d_type == DT_DIR, link = e->d_type == DT_LNK;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st{};
      const bool known = ::lstat((folder + name).c_str(), &st) == 0;
      directory = known && S_ISDIR(st.st_mode);
      link = known && S_ISLNK(st.st_mode);
    }
    // Dot files are what a Linux user calls hidden.
    entries.push_back({name, directory, name.front() == '.', false, link});
  }
  ::closedir(dir);
  return entries;
}

std::string PosixFileSystem::LastErrorText() { return std::strerror(errno); }

}  // namespace cloakwise::platform
