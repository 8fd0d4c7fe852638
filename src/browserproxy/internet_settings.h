#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/internet_options.h"
#include "platform/registry.h"

namespace cloakwise {

// One connection's proxy settings as WinInet reports them; "" is the LAN.
struct ConnectionSettings {
  std::string connection;
  std::uint32_t flags = platform::kProxyTypeDirect;
  std::string proxyServer;
  std::string proxyBypass;
  std::string autoConfigUrl;
  friend bool operator==(const ConnectionSettings&, const ConnectionSettings&) = default;
};

// Everything of the current user's Internet settings that installing a proxy
// changes: each connection's settings, and the stored values beside them
// (each as it was, or nothing when it did not exist).
struct InternetSettings {
  std::vector<ConnectionSettings> connections;
  std::vector<std::pair<std::string, std::optional<platform::RegistryValue>>> values;
  friend bool operator==(const InternetSettings&, const InternetSettings&) = default;
};

// Each connection by its name (the first, should a name repeat), looked up
// in constant time: a profile may hold thousands.
std::unordered_map<std::string_view, const ConnectionSettings*> ConnectionsByName(
    const InternetSettings& settings);

// The stored values, in the order they are written back.
inline constexpr const char* kSavedValueNames[] = {"ProxyServer", "ProxyEnable", "ProxyOverride",
                                                   "AutoConfigURL"};

// What the user had, setting by setting: wherever `now` still holds what the
// program made it (`program`), the `user`'s; anything else is a change made
// since by the user (or another program) and stays as it is now. A setting
// that cannot be compared is the user's. Only the connections and values of
// `user` are looked at.
InternetSettings KeepLaterChanges(const InternetSettings& user, const InternetSettings& program,
                                  const InternetSettings& now);

// The memory that outlives the program: the user's settings from before its
// first change, and the settings as it left them (missing while a change is
// under way, or when it could not read them back).
struct SavedInternetSettings {
  InternetSettings user;
  std::optional<InternetSettings> program;
  friend bool operator==(const SavedInternetSettings&, const SavedInternetSettings&) = default;
};

// A text of printable ASCII lines, for one registry value.
std::string EncodeSavedSettings(const SavedInternetSettings& saved);
// Nothing for a text that is not such a record, whole and well-formed.
std::optional<SavedInternetSettings> DecodeSavedSettings(std::string_view text);

}  // namespace cloakwise
