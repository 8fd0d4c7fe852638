#include "fakes/fake_internet_options.h"

namespace cloakwise::fakes {

using namespace platform;

bool FakeInternetOptions::SetProxy(const ProxyInfo& info) {
  calls.push_back({kInternetOptionProxy, info, std::nullopt});
  return result;
}

bool FakeInternetOptions::SetPerConnection(const PerConnectionOptionList& list) {
  calls.push_back({kInternetOptionPerConnectionOption, std::nullopt, list});
  if (!result) return false;
  Connection& stored = connections[list.connection];
  for (const PerConnectionOption& option : list.options) {
    const auto* number = std::get_if<std::uint32_t>(&option.value);
    const auto* text = std::get_if<std::string>(&option.value);
    if (option.option == kPerConnFlags && number) stored.flags = *number;
    if (option.option == kPerConnProxyServer && text) stored.proxyServer = *text;
    if (option.option == kPerConnProxyBypass && text) stored.proxyBypass = *text;
    if (option.option == kPerConnAutoConfigUrl && text) stored.autoConfigUrl = *text;
  }
  return true;
}

bool FakeInternetOptions::Notify(std::uint32_t option) {
  calls.push_back({option, std::nullopt, std::nullopt});
  return result;
}

std::vector<std::optional<PerConnectionOptionList>> FakeInternetOptions::QueryConnections(
    const std::vector<std::string>& names, const std::vector<std::uint32_t>& options) {
  std::vector<std::optional<PerConnectionOptionList>> lists;
  for (const std::string& name : names) lists.push_back(QueryOne(name, options));
  return lists;
}

std::optional<PerConnectionOptionList> FakeInternetOptions::QueryOne(
    const std::string& connection, const std::vector<std::uint32_t>& options) {
  queries.push_back(connection);
  if (unreadable.count(connection)) return std::nullopt;
  const auto it = connections.find(connection);
  const Connection stored = it == connections.end() ? Connection{} : it->second;
  PerConnectionOptionList list{connection, {}};
  for (const std::uint32_t option : options) {
    switch (option) {
      case kPerConnFlags:
        list.options.push_back({option, stored.flags});
        break;
      case kPerConnProxyServer:
        list.options.push_back({option, stored.proxyServer});
        break;
      case kPerConnProxyBypass:
        list.options.push_back({option, stored.proxyBypass});
        break;
      case kPerConnAutoConfigUrl:
        list.options.push_back({option, stored.autoConfigUrl});
        break;
      default:
        return std::nullopt;
    }
  }
  return list;
}

std::vector<std::uint32_t> FakeInternetOptions::OptionCodes() const {
  std::vector<std::uint32_t> codes;
  for (const Call& c : calls) codes.push_back(c.option);
  return codes;
}

std::vector<PerConnectionOptionList> FakeInternetOptions::PerConnectionWrites() const {
  std::vector<PerConnectionOptionList> writes;
  for (const Call& c : calls) {
    if (c.perConnection) writes.push_back(*c.perConnection);
  }
  return writes;
}

}  // namespace cloakwise::fakes
