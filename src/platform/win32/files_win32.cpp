#include <windows.h>

#include <atomic>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

// The long-path form ("\\?\C:\...", "\\?\UNC\server\share\...") of an
// absolute path, so that no call stops at MAX_PATH characters: temporary
// folders hold trees far deeper than that. The form takes the path as it
// stands, so it must be whole; the program's paths are, and have no "."
// or ".." in them. Any other form is passed as it is.
std::wstring LongPath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  const bool drive = wide.size() >= 3 && iswalpha(wide[0]) && wide[1] == L':' &&
                     (wide[2] == L'\\' || wide[2] == L'/');
  const bool share = wide.size() >= 3 && wide[0] == L'\\' && wide[1] == L'\\';
  if (!drive && !share) return wide;
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return drive ? L"\\\\?\\" + wide : L"\\\\?\\UNC\\" + wide.substr(2);
}

// The path the system reaches when it follows every link on the way; empty
// when it cannot say.
std::string FinalPath(const std::string& path) {
  const HANDLE handle =
      CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "";
  // Too small a buffer is answered with the size it needs, NUL included.
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                       FILE_NAME_NORMALIZED);
    if (length < buffer.size()) break;
    buffer.resize(length);
  }
  if (length == 0) {
    // Wine answers a path longer than MAX_PATH with ERROR_MORE_DATA however
    // large the buffer. Its name on the volume, which it does give, on the
    // drive the path names, stands in.
    std::vector<char> info(sizeof(FILE_NAME_INFO) + 65536 * sizeof(wchar_t));
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(info.data());
    if (path.size() >= 2 && path[1] == ':' &&
        GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(info.size()))) {
      buffer = L"\\\\?\\" + Widen(path.substr(0, 2)) +
               std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
      length = static_cast<DWORD>(buffer.size());
    }
  }
  CloseHandle(handle);
  if (length == 0) return "";
  buffer.resize(length);
  std::string result = Narrow(buffer);
  if (!result.empty() && result.back() != '\\') result += '\\';
  return result;
}

// Wine shows a Unix link to a file as a plain file without the reparse mark,
// and DeleteFile on it deletes the file it leads to. Its path, followed to the
// end, gives it away: it no longer ends in the folder it is listed in. Unsure
// counts as a link: nothing is deleted through it.
bool ResolvesElsewhere(const std::string& resolvedFolder, const std::string& name,
                       const std::string& path) {
  if (resolvedFolder.empty()) return true;
  std::string resolved = FinalPath(path);
  if (!resolved.empty() && resolved.back() == '\\') resolved.pop_back();
  return resolved.empty() ||
         lstrcmpiW(Widen(resolved).c_str(), Widen(resolvedFolder + name).c_str()) != 0;
}

}  // namespace

std::optional<std::string> Win32FileSystem::ReadFile(const std::string& path) {
  // Full sharing, delete included, so a writer can put a new file in place
  // while we read the old one.
  const HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buffer[16384];
  bool ok = true;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    content.append(buffer, read);
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return content;
}

namespace {

std::atomic<unsigned> temporaryCount{0};

// The target's name, ".tmp", the writing process's id, "." and a count.
std::string TemporaryName(const std::string& path) {
  return path + ".tmp" + std::to_string(GetCurrentProcessId()) + "." +
         std::to_string(temporaryCount++);
}

bool AllDigits(std::wstring_view s) {
  return !s.empty() && s.find_first_not_of(L"0123456789") == s.npos;
}

// Whether `name` is one of the temporaries made for the file named `target`.
// Windows compares names without regard to case, and so do we.
bool IsTemporaryOf(std::wstring_view name, std::wstring_view target) {
  const std::wstring prefix = std::wstring(target) + L".tmp";
  if (name.size() <= prefix.size() ||
      CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(),
                     static_cast<int>(prefix.size()), prefix.data(),
                     static_cast<int>(prefix.size())) != CSTR_EQUAL) {
    return false;
  }
  name.remove_prefix(prefix.size());
  const auto dot = name.find(L'.');
  return dot != name.npos && AllDigits(name.substr(0, dot)) && AllDigits(name.substr(dot + 1));
}

bool WriteAll(HANDLE file, std::string_view content) {
  while (!content.empty()) {
    DWORD written = 0;
    const DWORD chunk =
        content.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(content.size());
    if (!::WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0) return false;
    content.remove_prefix(written);
  }
  return true;
}

bool SetSize(HANDLE file, LONGLONG size) {
  LARGE_INTEGER at;
  at.QuadPart = size;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

bool Win32FileSystem::WriteFileAtomic(const std::string& path, std::string_view content) {
  // A file the user marked read-only stays as it is. Windows refuses to
  // replace it anyway; Wine would not, so say it here for both.
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);  // the reason the caller will give
    return false;
  }
  // The temporary stays open, shared for nothing but its renaming, until it
  // has taken the target's place: that open handle is how the clearing of
  // abandoned temporaries tells a write under way from a killed one. A
  // temporary of an earlier process with the same id may still be there;
  // the next count is a free name.
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temp = TemporaryName(path);
    file = CreateFileW(LongPath(temp).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, content);
  ok = FlushFileBuffers(file) && ok;
  DWORD failure = ok ? ERROR_SUCCESS : GetLastError();
  // Another program (a virus scanner, an editor) may hold the target for a
  // moment without delete sharing; give it a short while before giving up.
  for (int attempt = 0; ok; ++attempt) {
    if (MoveFileExW(LongPath(temp).c_str(), LongPath(path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      CloseHandle(file);
      return true;
    }
    failure = GetLastError();
    if ((failure != ERROR_ACCESS_DENIED && failure != ERROR_SHARING_VIOLATION) || attempt == 40) {
      break;
    }
    Sleep(5);
  }
  CloseHandle(file);
  DeleteFileW(LongPath(temp).c_str());
  // The clearing up must not replace the reason with its own success.
  SetLastError(failure);
  return false;
}

bool Win32FileSystem::WriteFileInPlace(const std::string& path, std::string_view content) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    return false;
  }
  // Only where the folder refuses a new file: anywhere else the atomic
  // write failed for a reason that writing in place would not mend.
  const HANDLE probe = CreateFileW(LongPath(TemporaryName(path)).c_str(), GENERIC_WRITE | DELETE, 0,
                                   nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return false;
  }
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;

  const HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER oldSize{};
  const auto newSize = static_cast<LONGLONG>(content.size());
  bool ok = GetFileSizeEx(file, &oldSize);
  if (ok && newSize > oldSize.QuadPart && !SetSize(file, newSize)) {
    SetSize(file, oldSize.QuadPart);
    CloseHandle(file);
    return false;
  }
  ok = ok && SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
  ok = ok && WriteAll(file, content);
  ok = ok && SetEndOfFile(file);
  ok = ok && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  return ok;
}

int Win32FileSystem::RemoveAbandonedTemporaryFiles(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  const std::string folder = slash == path.npos ? std::string() : path.substr(0, slash + 1);
  const std::string target = slash == path.npos ? path : path.substr(slash + 1);
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(LongPath(path + ".tmp*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !IsTemporaryOf(data.cFileName, Widen(target))) {
      continue;
    }
    // A write under way holds its temporary open until the renaming, so
    // only a temporary nobody holds opens without sharing; it goes when
    // this handle closes.
    const std::wstring candidate = LongPath(folder) + data.cFileName;
    const HANDLE file = CreateFileW(candidate.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    CloseHandle(file);
    if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) ++removed;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return removed;
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileSystem::HeldByAnotherProgram(const std::string& path) {
  const HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

std::optional<std::int64_t> Win32FileSystem::LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return std::int64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

bool Win32FileSystem::RemoveFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A junction or a link to a folder goes with RemoveDirectory, which
    // removes the link and leaves what it leads to; a real folder is no file.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return RemoveDirectoryW(LongPath(path).c_str()) != 0;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos ||
        ResolvesElsewhere(FinalPath(path.substr(0, slash + 1)), path.substr(slash + 1), path)) {
      return false;  // a link that only deleting what it leads to would remove
    }
  }
  return DeleteFileW(LongPath(path).c_str()) != 0;
}

bool Win32FileSystem::RemoveEmptyFolder(const std::string& folder) {
  // RemoveDirectory removes a junction or a link to a folder itself, and an
  // empty folder only.
  return RemoveDirectoryW(LongPath(folder).c_str()) != 0;
}

std::optional<std::vector<DirectoryEntry>> Win32FileSystem::ListDirectory(
    const std::string& folder) {
  return List(folder, true);
}

std::optional<std::vector<DirectoryEntry>> Win32FileSystem::ListDirectoryToEmpty(
    const std::string& folder) {
  return List(folder, false);
}

std::optional<std::vector<DirectoryEntry>> Win32FileSystem::List(const std::string& folder,
                                                                 bool fileLinks) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(LongPath(folder + "*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<DirectoryEntry>{};
    return std::nullopt;
  }
  std::vector<DirectoryEntry> entries;
  const std::string resolvedFolder = fileLinks ? FinalPath(folder) : "";
  do {
    const std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    const DWORD a = data.dwFileAttributes;
    const bool directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link =
        (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (fileLinks && !directory && ResolvesElsewhere(resolvedFolder, name, folder + name));
    entries.push_back({name, directory, (a & FILE_ATTRIBUTE_HIDDEN) != 0,
                       (a & FILE_ATTRIBUTE_SYSTEM) != 0, link});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

std::optional<std::string> Win32FileSystem::FinalFolderPath(const std::string& folder) {
  const DWORD attributes = GetFileAttributesW(LongPath(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  std::string path = FinalPath(folder);
  if (path.empty()) return std::nullopt;
  // The system answers in the long-path form; the program's other paths
  // are in the plain one.
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

std::string Win32FileSystem::LastErrorText() {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result =
      length ? Narrow(std::wstring_view(text, length)) : "System error " + std::to_string(error);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' ||
                             result.back() == '.' || result.back() == ' ')) {
    result.pop_back();
  }
  return result;
}

}  // namespace cloakwise::platform
