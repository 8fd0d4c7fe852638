#include "browserproxy/system_proxy.h"

namespace cloakwise {

using namespace platform;

void SystemProxy::SetSystemProxy(const std::string& host, const std::string& port) {
  const std::string proxy = host + ":" + port;
  const bool enable = proxy != ":";

  options_.SetProxy(
      ProxyInfo{enable ? kInternetOpenTypeProxy : kInternetOpenTypeDirect, proxy, ""});
  options_.Notify(kInternetOptionSettingsChanged);

  std::vector<std::string> connections;
  {
    ScopedKey key(registry_, RegistryRoot::CurrentUser, kConnectionsKey, /*create=*/true);
    if (key) connections = registry_.ListValueNames(key.get());
  }
  for (const std::string& connection : connections) {
    options_.SetPerConnection(
        PerConnectionOptionList{connection,
                                {{kPerConnFlags, enable ? kProxyTypeProxy : kProxyTypeDirect},
                                 {kPerConnProxyBypass, std::string()},
                                 {kPerConnProxyServer, proxy}}});
  }

  options_.Notify(kInternetOptionSettingsChanged);
  options_.Notify(kInternetOptionRefresh);
  // The stored values come last, after the live settings have been refreshed;
  // the whole order is observable by other programs and kept on purpose.
  WriteProxyRegistryValues(proxy, enable);
}

void SystemProxy::InstallProgramProxy(const std::string& host, const std::string& port) {
  // Noted before it is installed: a run killed in between leaves a note that
  // the next start drops, never a proxy that nobody clears.
  {
    ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/true);
    if (key) registry_.WriteString(key.get(), kInstalledProxyValue, host + ":" + port);
  }
  SetSystemProxy(host, port);
}

void SystemProxy::ClearProgramProxy() {
  SetSystemProxy("", "");
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
  if (key) registry_.DeleteValue(key.get(), kInstalledProxyValue);
}

bool SystemProxy::ClearProxyLeftByEarlierRun() {
  std::optional<std::string> noted;
  {
    ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
    if (!key) return false;
    noted = registry_.ReadString(key.get(), kInstalledProxyValue);
    if (!noted) return false;
    registry_.DeleteValue(key.get(), kInstalledProxyValue);
  }
  std::optional<std::string> current;
  {
    ScopedKey key(registry_, RegistryRoot::CurrentUser, kInternetSettingsKey, /*create=*/false);
    if (key) current = registry_.ReadString(key.get(), "ProxyServer");
  }
  if (current != noted) return false;
  SetSystemProxy("", "");
  return true;
}

void SystemProxy::WriteProxyRegistryValues(const std::string& proxy, bool enable) {
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kInternetSettingsKey, /*create=*/true);
  if (!key) return;
  registry_.WriteString(key.get(), "ProxyServer", proxy);
  registry_.WriteDword(key.get(), "ProxyEnable", enable ? 1 : 0);
}

}  // namespace cloakwise
