#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cloakwise::platform {

// WinInet's published option codes and constants, so that the logic and its
// tests speak the same numbers as InternetSetOption.
inline constexpr std::uint32_t kInternetOptionRefresh = 37;
inline constexpr std::uint32_t kInternetOptionProxy = 38;
inline constexpr std::uint32_t kInternetOptionSettingsChanged = 39;
inline constexpr std::uint32_t kInternetOptionPerConnectionOption = 75;

inline constexpr std::uint32_t kInternetOpenTypeDirect = 1;
inline constexpr std::uint32_t kInternetOpenTypeProxy = 3;

inline constexpr std::uint32_t kPerConnFlags = 1;
inline constexpr std::uint32_t kPerConnProxyServer = 2;
inline constexpr std::uint32_t kPerConnProxyBypass = 3;
inline constexpr std::uint32_t kPerConnAutoConfigUrl = 4;

// Flags of a connection, which may be combined.
inline constexpr std::uint32_t kProxyTypeDirect = 1;
inline constexpr std::uint32_t kProxyTypeProxy = 2;
inline constexpr std::uint32_t kProxyTypeAutoProxyUrl = 4;
inline constexpr std::uint32_t kProxyTypeAutoDetect = 8;

// INTERNET_PROXY_INFO, as data.
struct ProxyInfo {
  std::uint32_t accessType = kInternetOpenTypeDirect;
  std::string proxy;
  std::string proxyBypass;
  friend bool operator==(const ProxyInfo&, const ProxyInfo&) = default;
};

// One INTERNET_PER_CONN_OPTION: a DWORD or a text, chosen by the option code.
struct PerConnectionOption {
  std::uint32_t option = 0;
  std::variant<std::uint32_t, std::string> value;
  friend bool operator==(const PerConnectionOption&, const PerConnectionOption&) = default;
};

// INTERNET_PER_CONN_OPTION_LIST, as data.
struct PerConnectionOptionList {
  std::string connection;
  std::vector<PerConnectionOption> options;
  friend bool operator==(const PerConnectionOptionList&, const PerConnectionOptionList&) = default;
};

// InternetSetOption and InternetQueryOption with a null handle: settings for
// every WinInet program of the current user. A connection named "" is the
// LAN settings, which WinHTTP and the browsers that follow Windows read.
// Results are reported, never thrown. User-interface thread only.
class InternetOptions {
 public:
  virtual ~InternetOptions() = default;
  virtual bool SetProxy(const ProxyInfo& info) = 0;                        // option 38
  virtual bool SetPerConnection(const PerConnectionOptionList& list) = 0;  // option 75
  virtual bool Notify(std::uint32_t option) = 0;  // an option without buffer: 37 or 39
  // Option 75 read back for each connection, in the order named: its value
  // of each option asked for, in the order asked, texts empty where Windows
  // has none; nothing for a connection whose settings cannot be read. All
  // at once, since a profile may hold thousands of connection names.
  virtual std::vector<std::optional<PerConnectionOptionList>> QueryConnections(
      const std::vector<std::string>& connections, const std::vector<std::uint32_t>& options) = 0;
};

}  // namespace cloakwise::platform
