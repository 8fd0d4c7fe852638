#pragma once

#include <string>

#include "platform/internet_options.h"
#include "platform/registry.h"

namespace cloakwise {

inline constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kConnectionsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
// Where the program notes the proxy it installed, so that a run that ended
// without clearing it (killed, or Windows crashed) is cleaned up after.
inline constexpr char kProgramKey[] = "Software\\Cloakwise";
inline constexpr char kInstalledProxyValue[] = "InstalledProxy";

// Installs host:port as the proxy of the current user's Internet settings, or
// clears it when both are empty (only the text ":" clears). Every platform
// result is ignored: a failed step leaves the next ones to run.
class SystemProxy {
 public:
  SystemProxy(platform::Registry& registry, platform::InternetOptions& options)
      : registry_(registry), options_(options) {}

  void SetSystemProxy(const std::string& host, const std::string& port);

  // SetSystemProxy for a proxy the program chose, noting it as installed.
  void InstallProgramProxy(const std::string& host, const std::string& port);
  // Clears the proxy, and the note with it.
  void ClearProgramProxy();
  // At start-up: a proxy noted as installed that the registry still holds,
  // exactly, was left by a run that could not clear it and is cleared now.
  // Anything else is the user's or another program's and stays. Returns
  // whether it cleared.
  bool ClearProxyLeftByEarlierRun();
  // The last step of SetSystemProxy: ProxyServer, then ProxyEnable.
  void WriteProxyRegistryValues(const std::string& proxy, bool enable);

 private:
  platform::Registry& registry_;
  platform::InternetOptions& options_;
};

}  // namespace cloakwise
