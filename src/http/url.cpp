#include "http/url.h"

#include <algorithm>
#include <cctype>

#include "http/errors.h"

namespace cloakwise::http {

Url ParseUrl(const std::string& text, int defaultPort) {
  // A control byte or blank would end up inside the request line.
  if (std::any_of(text.begin(), text.end(),
                  [](unsigned char c) { return c <= ' ' || c == 0x7f; })) {
    throw HttpError("Invalid character in URL");
  }
  Url url;
  std::string rest = text;
  const auto schemeEnd = rest.find("://");
  if (schemeEnd != std::string::npos && rest.find_first_of("/?#") > schemeEnd) {
    url.scheme = rest.substr(0, schemeEnd);
    std::transform(url.scheme.begin(), url.scheme.end(), url.scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    rest.erase(0, schemeEnd + 3);
  } else {
    url.scheme = "http";
  }
  if (url.scheme != "http") throw HttpError("Unsupported protocol: " + url.scheme);

  const auto fragment = rest.find('#');
  if (fragment != std::string::npos) rest.erase(fragment);
  const auto authorityEnd = rest.find_first_of("/?");
  std::string authority = rest.substr(0, authorityEnd);
  rest = authorityEnd == std::string::npos ? "" : rest.substr(authorityEnd);

  const auto at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  const auto colon = authority.find(':');
  url.port = defaultPort;
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    authority.erase(colon);
    if (!port.empty()) {
      if (port.size() > 5 ||
          !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); })) {
        throw HttpError("Invalid port in URL: " + port);
      }
      url.port = std::stoi(port);
      if (url.port < 1 || url.port > 65535) throw HttpError("Invalid port in URL: " + port);
    }
  }
  if (authority.empty()) throw HttpError("No host in URL: " + text);
  url.host = authority;

  const auto queryStart = rest.find('?');
  url.path = rest.substr(0, queryStart);
  if (queryStart != std::string::npos) url.query = rest.substr(queryStart);
  if (url.path.empty() || url.path[0] != '/') url.path.insert(0, "/");
  return url;
}

}  // namespace cloakwise::http
