#include "search/service_config.h"

#include "app/settings_store.h"

namespace cloakwise::search {
namespace {

std::string Trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

}  // namespace

std::string ReadServiceHost(const SettingsStore& settings) {
  const std::string host =
      Trimmed(settings.ReadString(kServiceSection, kServiceHostKey, kDefaultServiceHost));
  return host.empty() ? kDefaultServiceHost : host;
}

ServiceUrls MakeServiceUrls(const std::string& host) {
  return ServiceUrls{"http://" + host + "/proxy.php", "http://" + host + "/feedback.php"};
}

}  // namespace cloakwise::search
