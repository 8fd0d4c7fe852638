#pragma once

#include <string>

#include "platform/internet_options.h"
#include "platform/registry.h"

namespace cloakwise {

inline constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kConnectionsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// Installs host:port as the proxy of the current user's Internet settings, or
// clears it when both are empty (only the text ":" clears). Every platform
// result is ignored: a failed step leaves the next ones to run.
class SystemProxy {
 public:
  SystemProxy(platform::Registry& registry, platform::InternetOptions& options)
      : registry_(registry), options_(options) {}

  void SetSystemProxy(const std::string& host, const std::string& port);
  // The last step of SetSystemProxy: ProxyServer, then ProxyEnable.
  void WriteProxyRegistryValues(const std::string& proxy, bool enable);

 private:
  platform::Registry& registry_;
  platform::InternetOptions& options_;
};

}  // namespace cloakwise
