#include "platform/posix/files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

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

namespace {

std::atomic<unsigned> temporaryCount{0};

// The target's name, ".tmp.", the writing process's id and a count: the id
// tells whether the writer may still be at work, the count keeps the
// threads of one process apart.
std::string TemporaryName(const std::string& path) {
  return path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(temporaryCount++);
}

bool AllDigits(std::string_view s) {
  return !s.empty() && s.size() <= 18 && s.find_first_not_of("0123456789") == s.npos;
}

// The writer's process id when `name` is one of the temporaries made for
// the file named `target`.
std::optional<pid_t> WriterOfTemporary(std::string_view name, std::string_view target) {
  const std::string prefix = std::string(target) + ".tmp.";
  if (!name.starts_with(prefix)) return std::nullopt;
  name.remove_prefix(prefix.size());
  const auto dot = name.find('.');
  if (dot == name.npos || !AllDigits(name.substr(0, dot)) || !AllDigits(name.substr(dot + 1))) {
    return std::nullopt;
  }
  const long long pid = std::stoll(std::string(name.substr(0, dot)));
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return std::nullopt;
  return static_cast<pid_t>(pid);
}

bool ProcessMayBeRunning(pid_t pid) {
  return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

bool WriteAll(int fd, std::string_view content) {
  off_t offset = 0;
  while (!content.empty()) {
    const ssize_t n = ::pwrite(fd, content.data(), content.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    content.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

}  // namespace

bool PosixFileSystem::WriteFileAtomic(const std::string& path, std::string_view content) {
  // A file the user made read-only stays as it is, even for root.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) return false;
  // A temporary of an earlier process with the same id may still be there;
  // the next count is a free name.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = TemporaryName(path);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool PosixFileSystem::WriteFileInPlace(const std::string& path, std::string_view content) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
    return false;
  }
  // Only where the folder refuses a new file: anywhere else the atomic
  // write failed for a reason that writing in place would not mend.
  const std::string probe = TemporaryName(path);
  const int probeFd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (probeFd >= 0) {
    ::close(probeFd);
    ::unlink(probe.c_str());
    return false;
  }
  if (errno != EACCES && errno != EPERM) return false;

  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fstat(fd, &st) == 0;
  const off_t oldSize = st.st_size;
  const auto newSize = static_cast<off_t>(content.size());
  if (ok && newSize > oldSize) {
    const int error = ::posix_fallocate(fd, 0, newSize);
    if (error != 0) {
      (void)::ftruncate(fd, oldSize);
      ::close(fd);
      errno = error;
      return false;
    }
  }
  ok = ok && WriteAll(fd, content);
  ok = ok && ::ftruncate(fd, newSize) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  return ok;
}

int PosixFileSystem::RemoveAbandonedTemporaryFiles(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == path.npos ? "." : path.substr(0, slash + 1);
  const std::string target = slash == path.npos ? path : path.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(dir)) {
    // A live process of that id may be the writer, at work on it now; a
    // process that took the id later keeps the file until it ends too.
    const auto writer = WriterOfTemporary(e->d_name, target);
    if (!writer || ProcessMayBeRunning(*writer)) continue;
    const std::string candidate = (slash == path.npos ? "" : folder) + e->d_name;
    struct stat st {};
    if (::lstat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(candidate.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::HeldByAnotherProgram(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

std::optional<std::int64_t> PosixFileSystem::LastWriteTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  // unlink removes a link itself and refuses a real folder.
  return ::unlink(path.c_str()) == 0;
}

bool PosixFileSystem::RemoveEmptyFolder(const std::string& folder) {
  return ::rmdir(folder.c_str()) == 0;
}

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::ListDirectory(
    const std::string& folder) {
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
      struct stat st {};
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

std::optional<std::string> PosixFileSystem::FinalFolderPath(const std::string& folder) {
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string path = resolved;
  std::free(resolved);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  if (path.back() != '/') path += '/';
  return path;
}

std::string PosixFileSystem::LastErrorText() {
  return std::strerror(errno);
}

}  // namespace cloakwise::platform
