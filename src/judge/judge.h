#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/proxy_address.h"
#include "http/http_client.h"

namespace cloakwise {
class SettingsStore;
}

// The judge: the service's page that answers, through a proxy, how much of
// the caller it still sees. The search and the checker both ask it, through
// this one probe.
namespace cloakwise::judge {

// The anonymity the judge sees through a proxy: its digit.
enum class AnonymityLevel { Transparent = 0, Anonymous = 1, Elite = 2 };

// "Transparent", "Anonymous", "Elite".
std::string LevelName(AnonymityLevel level);

// The judge's body, with blanks and control characters trimmed, must be
// exactly "0", "1" or "2"; anything else (an error page, a captive portal's
// text, "02") means the proxy does not work.
std::optional<AnonymityLevel> ReadJudgeLevel(std::string_view body);

// One GET of the judge through proxy on the caller's own client, waiting at
// most readTimeoutMs for the connect and for each read. Nothing when the
// proxy fails in any way: refused, timed out, an HTTP error, no digit.
std::optional<AnonymityLevel> AskJudgeThrough(http::HttpClient& client, const ProxyAddress& proxy,
                                              const std::string& judgeUrl, int readTimeoutMs);

// Where the list service and the judge live unless options.ini says otherwise.
inline constexpr char kDefaultServiceHost[] = "service.cloakwise.example";

// [Service] Host=host or host:port; blank or missing means the vendor's host.
std::string ReadServiceHost(const SettingsStore& settings);

struct ServiceUrls {
  std::string proxyList;  // the two-step exchange
  std::string judge;      // what the probes fetch through each candidate
};

ServiceUrls MakeServiceUrls(const std::string& host);

}  // namespace cloakwise::judge
