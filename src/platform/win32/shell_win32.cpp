#include "platform/win32/shell_win32.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

namespace cloakwise::platform {
namespace {

std::string WithTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

}  // namespace

std::optional<std::string> Win32Shell::FolderPath(ShellFolder folder) {
  int id = 0;
  switch (folder) {
    case ShellFolder::Cookies:
      id = CSIDL_COOKIES;
      break;
    case ShellFolder::History:
      id = CSIDL_HISTORY;
      break;
    case ShellFolder::Recent:
      id = CSIDL_RECENT;
      break;
    case ShellFolder::Windows:
      id = CSIDL_WINDOWS;
      break;
    case ShellFolder::Profile:
      id = CSIDL_PROFILE;
      break;
  }
  char path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0]) {
    return std::nullopt;
  }
  return WithTrailingBackslash(path);
}

std::optional<std::string> Win32Shell::TempFolder() {
  // Asked for its length first: a long temporary path is not cut.
  const DWORD needed = GetTempPathA(0, nullptr);
  if (needed == 0) return std::nullopt;
  std::vector<char> buffer(needed + 1, '\0');
  const DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  return WithTrailingBackslash(std::string(buffer.data(), length));
}

bool Win32Shell::ShellDelete(const std::string& pathOrPattern) {
  // The source list ends with two NULs; the buffer is made to fit the whole
  // path, since a cut one could name another file.
  std::vector<char> source(pathOrPattern.begin(), pathOrPattern.end());
  source.push_back('\0');
  source.push_back('\0');
  SHFILEOPSTRUCTA operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.data();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  return SHFileOperationA(&operation) == 0;
}

bool Win32Shell::EmptyRecycleBin() {
  return SUCCEEDED(SHEmptyRecycleBinA(mainWindow, "", SHERB_NOCONFIRMATION));
}

void Win32UrlCache::ForEachEntry(const std::function<void(const std::string& url)>& visit) {
  // Each entry is asked for twice: once for the size it needs, once into a
  // buffer of that size.
  std::vector<char> buffer;
  const auto entry = [&buffer] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()); };
  const auto fit = [&buffer, &entry](DWORD size) {
    buffer.assign(std::max<DWORD>(size, sizeof(INTERNET_CACHE_ENTRY_INFOA)), '\0');
    entry()->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  };
  DWORD size = 0;
  FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  fit(size);
  HANDLE find = FindFirstUrlCacheEntryA(nullptr, entry(), &size);
  if (!find) return;
  for (;;) {
    if (entry()->lpszSourceUrlName) visit(entry()->lpszSourceUrlName);
    size = 0;
    if (FindNextUrlCacheEntryA(find, nullptr, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      break;
    }
    fit(size);
    if (!FindNextUrlCacheEntryA(find, entry(), &size)) break;
  }
  FindCloseUrlCache(find);
}

bool Win32UrlCache::DeleteEntry(const std::string& url) {
  return DeleteUrlCacheEntryA(url.c_str()) != 0;
}

}  // namespace cloakwise::platform
