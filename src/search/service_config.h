#pragma once

#include <string>

#include "core/option_keys.h"

namespace cloakwise {
class SettingsStore;
}

namespace cloakwise::search {

// Where the list service and the judge live unless options.ini says otherwise.
inline constexpr char kDefaultServiceHost[] = "service.cloakwise.example";

// [Service] Host=host or host:port; blank or missing means the vendor's host.
std::string ReadServiceHost(const SettingsStore& settings);

struct ServiceUrls {
  std::string proxyList;  // the two-step exchange
  std::string judge;      // what the probes fetch through each candidate
};

ServiceUrls MakeServiceUrls(const std::string& host);

}  // namespace cloakwise::search
