#include "judge/judge.h"

#include "core/option_keys.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace cloakwise::judge {

std::string LevelName(AnonymityLevel level) {
  switch (level) {
    case AnonymityLevel::Elite:
      return "Elite";
    case AnonymityLevel::Anonymous:
      return "Anonymous";
    case AnonymityLevel::Transparent:
      break;
  }
  return "Transparent";
}

std::string ProxyKindText(std::optional<AnonymityLevel> level) {
  return (level ? LevelName(*level) : std::string("Unknown")) + " Proxy";
}

std::optional<AnonymityLevel> ReadJudgeLevel(std::string_view body) {
  const std::string_view reply = text::TrimBlanksAndControls(body);
  if (reply.size() != 1 || reply[0] < '0' || reply[0] > '2') return std::nullopt;
  return static_cast<AnonymityLevel>(reply[0] - '0');
}

std::string ReadServiceHost(const SettingsStore& settings) {
  const std::string stored =
      settings.ReadString(kServiceSection, kServiceHostKey, kDefaultServiceHost);
  const std::string host(text::TrimBlanks(stored));
  return host.empty() ? kDefaultServiceHost : host;
}

int ReadTunnelPort(const SettingsStore& settings) {
  const int port = settings.ReadInteger(kServiceSection, kServiceTunnelPortKey, kDefaultTunnelPort);
  return port >= 1 && port <= 65535 ? port : kDefaultTunnelPort;
}

ServiceUrls MakeServiceUrls(const std::string& host, int tunnelPort) {
  // The tunnel goes to the judge's host, on a port of its own.
  const std::string hostAlone = host.substr(0, host.rfind(':'));
  return ServiceUrls{"http://" + host + "/proxy.php", "http://" + host + "/feedback.php",
                     "http://" + hostAlone + ":" + std::to_string(tunnelPort) + kTunnelPage};
}

ServiceUrls ReadServiceUrls(const SettingsStore& settings) {
  return MakeServiceUrls(ReadServiceHost(settings), ReadTunnelPort(settings));
}

}  // namespace cloakwise::judge
