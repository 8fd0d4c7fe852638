#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/internet_options.h"

namespace cloakwise::fakes {

// Records every InternetSetOption call with the buffer it would carry, and
// keeps each connection's settings as WinInet would, so that what the
// program reads back is what it (or the user) set.
class FakeInternetOptions : public platform::InternetOptions {
 public:
  struct Call {
    std::uint32_t option;
    std::optional<platform::ProxyInfo> proxy;
    std::optional<platform::PerConnectionOptionList> perConnection;
  };
  // One connection's settings; "" is the LAN.
  struct Connection {
    std::uint32_t flags = platform::kProxyTypeDirect;
    std::string proxyServer;
    std::string proxyBypass;
    std::string autoConfigUrl;
    friend bool operator==(const Connection&, const Connection&) = default;
  };

  bool SetProxy(const platform::ProxyInfo& info) override;
  bool SetPerConnection(const platform::PerConnectionOptionList& list) override;
  bool Notify(std::uint32_t option) override;
  std::vector<std::optional<platform::PerConnectionOptionList>> QueryConnections(
      const std::vector<std::string>& connections,
      const std::vector<std::uint32_t>& options) override;

  std::optional<platform::PerConnectionOptionList> QueryOne(
      const std::string& connection, const std::vector<std::uint32_t>& options);
  std::vector<std::uint32_t> OptionCodes() const;
  // Only the calls that change settings: option 75 with its connection.
  std::vector<platform::PerConnectionOptionList> PerConnectionWrites() const;

  std::vector<Call> calls;                        // every setting, in order; reads are not listed
  std::vector<std::string> queries;               // the connections read, in order
  std::map<std::string, Connection> connections;  // a connection never set reads as {}
  std::set<std::string> unreadable;               // connections whose settings cannot be read
  bool result = true;                             // what every setting reports
};

}  // namespace cloakwise::fakes
