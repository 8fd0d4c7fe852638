#pragma once

#include <windows.h>

#include "platform/shell.h"
#include "platform/url_cache.h"
#include "platform/win32/owner_window.h"

namespace cloakwise::platform {

class Win32Shell : public Shell {
 public:
  // mainWindow: the owner of the Recycle Bin's progress window.
  explicit Win32Shell(const OwnerWindow& mainWindow = OwnerWindow::None())
      : mainWindow_(mainWindow) {}

  std::optional<std::string> FolderPath(ShellFolder folder) override;
  std::optional<std::string> TempFolder() override;
  bool ShellDelete(const std::string& pathOrPattern) override;
  bool EmptyRecycleBin() override;

 private:
  const OwnerWindow& mainWindow_;
};

class Win32UrlCache : public UrlCache {
 public:
  void ForEachEntry(const std::function<void(const std::string& url)>& visit) override;
  bool DeleteEntry(const std::string& url) override;
};

}  // namespace cloakwise::platform
