#include "search/service_config.h"

#include "core/settings_store.h"
#include "core/text.h"

namespace cloakwise::search {

std::string ReadServiceHost(const SettingsStore& settings) {
  const std::string stored =
      settings.ReadString(kServiceSection, kServiceHostKey, kDefaultServiceHost);
  const std::string host(text::TrimBlanks(stored));
  return host.empty() ? kDefaultServiceHost : host;
}

ServiceUrls MakeServiceUrls(const std::string& host) {
  return ServiceUrls{"http://" + host + "/proxy.php", "http://" + host + "/feedback.php"};
}

}  // namespace cloakwise::search
