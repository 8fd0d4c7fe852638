#pragma once

#include <windows.h>

#include "platform/shell.h"
#include "platform/url_cache.h"

namespace cloakwise::platform {

class Win32Shell : public Shell {
 public:
  std::optional<std::string> FolderPath(ShellFolder folder) override;
  std::optional<std::string> TempFolder() override;
  bool ShellDelete(const std::string& pathOrPattern) override;
  bool EmptyRecycleBin() override;

  // The owner of the Recycle Bin's progress window, set once it exists.
  HWND mainWindow = nullptr;
};

class Win32UrlCache : public UrlCache {
 public:
  void ForEachEntry(const std::function<void(const std::string& url)>& visit) override;
  bool DeleteEntry(const std::string& url) override;
};

}  // namespace cloakwise::platform
