#pragma once

#include <string>

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace cloakwise {

inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kLayersKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
inline constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Starting with Windows, the connectivity check, the local address, and
// opening pages, the browser and the help.
class DesktopIntegration {
 public:
  DesktopIntegration(platform::Registry& registry, platform::FileSystem& files,
                     platform::Desktop& desktop)
      : registry_(registry), files_(files), desktop_(desktop) {}

  void SetRunAtStartup(bool enable);
  bool IsOnline();
  std::string GetLocalAddress();
  std::string GetProgramFilesFolder();
  bool HasFirefoxProfiles();
  void OpenWithShell(const std::string& target);

  void OpenIpEchoPage();
  void BrowseAnonymously();
  void OpenHelp();
  void OpenOptionsHelp();

 private:
  std::string BrowserPath();

  platform::Registry& registry_;
  platform::FileSystem& files_;
  platform::Desktop& desktop_;
};

}  // namespace cloakwise
