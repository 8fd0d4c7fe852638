#include "platform/win32/shell_win32.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide.h"

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
    case ShellFolder::LocalAppData:
      id = CSIDL_LOCAL_APPDATA;
      break;
  }
  // The shell answers in MAX_PATH characters at most, and fails rather than
  // cut a longer folder.
  wchar_t path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0]) {
    return std::nullopt;
  }
  return WithTrailingBackslash(Narrow(path));
}

std::optional<std::string> Win32Shell::TempFolder() {
  // Asked for its length first: a long temporary path is not cut.
  const DWORD needed = GetTempPathW(0, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring buffer(needed + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  buffer.resize(length);
  return WithTrailingBackslash(Narrow(buffer));
}

bool Win32Shell::ShellDelete(const std::string& pathOrPattern) {
  // The source list ends with two NULs; the buffer is made to fit the whole
  // path, since a cut one could name another file.
  std::wstring source = Widen(pathOrPattern);
  source.append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  return SHFileOperationW(&operation) == 0;
}

bool Win32Shell::EmptyRecycleBin() {
  return SUCCEEDED(SHEmptyRecycleBinW(mainWindow, L"", SHERB_NOCONFIRMATION));
}

void Win32UrlCache::ForEachEntry(const std::function<void(const std::string& url)>& visit) {
  // Each entry is asked for twice: once for the size it needs, once into a
  // buffer of that size.
  std::vector<char> buffer;  // bytes: the entry's texts follow its fields
  const auto entry = [&buffer] {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  };
  const auto fit = [&buffer, &entry](DWORD size) {
    buffer.assign(std::max<DWORD>(size, sizeof(INTERNET_CACHE_ENTRY_INFOW)), '\0');
    entry()->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOW);
  };
  DWORD size = 0;
  FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  fit(size);
  HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
  if (!find) return;
  for (;;) {
    if (entry()->lpszSourceUrlName) visit(Narrow(entry()->lpszSourceUrlName));
    size = 0;
    if (FindNextUrlCacheEntryW(find, nullptr, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      break;
    }
    fit(size);
    if (!FindNextUrlCacheEntryW(find, entry(), &size)) break;
  }
  FindCloseUrlCache(find);
}

bool Win32UrlCache::DeleteEntry(const std::string& url) {
  return DeleteUrlCacheEntryW(Widen(url).c_str()) != 0;
}

}  // namespace cloakwise::platform
