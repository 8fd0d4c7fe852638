#include "judge/judge.h"

#include "core/option_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "http/errors.h"

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

std::optional<AnonymityLevel> ReadJudgeLevel(std::string_view body) {
  const std::string_view reply = text::TrimBlanksAndControls(body);
  if (reply.size() != 1 || reply[0] < '0' || reply[0] > '2') return std::nullopt;
  return static_cast<AnonymityLevel>(reply[0] - '0');
}

std::optional<AnonymityLevel> AskJudgeThrough(http::HttpClient& client, const ProxyAddress& proxy,
                                              const std::string& judgeUrl, int readTimeoutMs) {
  client.Settings().proxyServer = proxy.host;
  client.Settings().proxyPort = proxy.port;
  client.Settings().readTimeoutMs = readTimeoutMs;
  try {
    return ReadJudgeLevel(client.Get(judgeUrl));
  } catch (const http::HttpError&) {
    // A proxy that fails in any way simply does not work.
    return std::nullopt;
  }
}

std::string ReadServiceHost(const SettingsStore& settings) {
  const std::string stored =
      settings.ReadString(kServiceSection, kServiceHostKey, kDefaultServiceHost);
  const std::string host(text::TrimBlanks(stored));
  return host.empty() ? kDefaultServiceHost : host;
}

ServiceUrls MakeServiceUrls(const std::string& host) {
  return ServiceUrls{"http://" + host + "/proxy.php", "http://" + host + "/feedback.php"};
}

}  // namespace cloakwise::judge
