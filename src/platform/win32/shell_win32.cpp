#include "platform/win32/shell_win32.h"

#include <knownfolders.h>
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
  const KNOWNFOLDERID* id = nullptr;
  switch (folder) {
    case ShellFolder::Cookies:
      id = &FOLDERID_Cookies;
      break;
    case ShellFolder::History:
      id = &FOLDERID_History;
      break;
    case ShellFolder::Recent:
      id = &FOLDERID_Recent;
      break;
    case ShellFolder::Windows:
      id = &FOLDERID_Windows;
      break;
    case ShellFolder::Profile:
      id = &FOLDERID_Profile;
      break;
    case ShellFolder::LocalAppData:
      id = &FOLDERID_LocalAppData;
      break;
    case ShellFolder::RoamingAppData:
      id = &FOLDERID_RoamingAppData;
      break;
    case ShellFolder::Documents:
      id = &FOLDERID_Documents;
      break;
    case ShellFolder::Desktop:
      id = &FOLDERID_Desktop;
      break;
    case ShellFolder::Downloads:
      id = &FOLDERID_Downloads;
      break;
    case ShellFolder::Pictures:
      id = &FOLDERID_Pictures;
      break;
    case ShellFolder::Music:
      id = &FOLDERID_Music;
      break;
    case ShellFolder::Videos:
      id = &FOLDERID_Videos;
      break;
    case ShellFolder::Favorites:
      id = &FOLDERID_Favorites;
      break;
    case ShellFolder::Public:
      id = &FOLDERID_Public;
      break;
    case ShellFolder::ProgramFiles:
      id = &FOLDERID_ProgramFiles;
      break;
    case ShellFolder::ProgramFilesX86:
      id = &FOLDERID_ProgramFilesX86;
      break;
    case ShellFolder::ProgramData:
      id = &FOLDERID_ProgramData;
      break;
  }
  if (!id) return std::nullopt;
  // The known-folder call has no length limit, where the older one fails on
  // a folder longer than MAX_PATH.
  wchar_t* path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::optional<std::string> folderPath;
  if (SUCCEEDED(result) && path && path[0]) folderPath = WithTrailingBackslash(Narrow(path));
  CoTaskMemFree(path);
  return folderPath;
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
  return SUCCEEDED(SHEmptyRecycleBinW(mainWindow_.Get(), L"", SHERB_NOCONFIRMATION));
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
