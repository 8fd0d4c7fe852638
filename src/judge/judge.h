#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/proxy_address.h"

namespace cloakwise {
class SettingsStore;
}

// The judge: the service's page that answers, through a proxy, how much of
// the caller it still sees; and the service's tunnel port, which shows
// whether the proxy carries HTTPS at all. The search, the watch and the
// checker all ask them through one probe (probe_runner.h).
namespace cloakwise::judge {

// The anonymity the judge sees through a proxy: its digit.
enum class AnonymityLevel { Transparent = 0, Anonymous = 1, Elite = 2 };

// "Transparent", "Anonymous", "Elite".
std::string LevelName(AnonymityLevel level);
// What the status view says of a proxy in use: "Elite Proxy", ..., and
// "Unknown Proxy" for one the judge has not seen through.
std::string ProxyKindText(std::optional<AnonymityLevel> level);

// The judge's body, with blanks and control characters trimmed, must be
// exactly "0", "1" or "2"; anything else (an error page, a captive portal's
// text, "02") means the proxy does not work.
std::optional<AnonymityLevel> ReadJudgeLevel(std::string_view body);

// The service's side of it: the page the tunnel asks for names a nonce of
// 16 lower-case hexadecimal digits, and the body of the answer is exactly
// TunnelProof. Inline, for the service to build on without the client.
inline constexpr char kTunnelPage[] = "/tunnel.php";
inline std::string TunnelProof(std::string_view nonce) {
  return "tunnel-ok " + std::string(nonce);
}
inline bool IsTunnelNonce(std::string_view nonce) {
  if (nonce.size() != 16) return false;
  for (const char c : nonce) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Where the list service and the judge live unless options.ini says otherwise.
inline constexpr char kDefaultServiceHost[] = "service.cloakwise.example";
// The port browsers tunnel to for HTTPS.
inline constexpr int kDefaultTunnelPort = 443;

// [Service] Host=host or host:port; blank or missing means the vendor's host.
std::string ReadServiceHost(const SettingsStore& settings);
// [Service] TunnelPort, a whole number in 1..65535; anything else is 443.
int ReadTunnelPort(const SettingsStore& settings);

struct ServiceUrls {
  std::string proxyList;  // the two-step exchange
  std::string judge;      // what the probes fetch through each candidate
  std::string tunnel;     // what the tunnel probe asks through each candidate
};

ServiceUrls MakeServiceUrls(const std::string& host, int tunnelPort = kDefaultTunnelPort);
// The service's host and tunnel port as options.ini gives them.
ServiceUrls ReadServiceUrls(const SettingsStore& settings);

}  // namespace cloakwise::judge
