#include "judge/judge.h"

#include <random>

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
                                              const std::string& judgeUrl, int readTimeoutMs,
                                              bool* reachedProxy) {
  client.Settings().proxyServer = proxy.host;
  client.Settings().proxyPort = proxy.port;
  client.Settings().readTimeoutMs = readTimeoutMs;
  // The probe's time-out bounds the whole exchange, not each read: a proxy
  // that trickles its reply would hold a check, a search and a Close.
  client.Settings().maxRequestMs = readTimeoutMs;
  // A proxy that fails in any way simply does not work; one that refused
  // or never took the connection was not reached at all.
  bool reached = true;
  std::optional<AnonymityLevel> level;
  try {
    level = ReadJudgeLevel(client.Get(judgeUrl));
  } catch (const http::ConnectFailed&) {
    reached = false;
  } catch (const http::ConnectTimeout&) {
    reached = false;
  } catch (const http::HttpError&) {
  }
  if (reachedProxy) *reachedProxy = reached;
  return level;
}

bool TunnelsThrough(http::HttpClient& client, const ProxyAddress& proxy,
                    const std::string& tunnelUrl, int readTimeoutMs) {
  static constexpr char kHex[] = "0123456789abcdef";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string nonce;
  for (std::uint64_t bits = random(); nonce.size() < 16; bits >>= 4) nonce += kHex[bits & 0xF];
  client.Settings().proxyServer = proxy.host;
  client.Settings().proxyPort = proxy.port;
  client.Settings().readTimeoutMs = readTimeoutMs;
  client.Settings().maxRequestMs = readTimeoutMs;
  try {
    const std::string body = client.GetThroughTunnel(tunnelUrl + "?nonce=" + nonce);
    return text::TrimBlanksAndControls(body) == TunnelProof(nonce);
  } catch (const http::HttpError&) {
    return false;  // refused, dropped, stalled or answered by someone else
  }
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
