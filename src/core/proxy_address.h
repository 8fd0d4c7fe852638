#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cloakwise {

// A proxy the program may probe or put in use: a dotted IPv4 address or a
// host name, and a port in 1..65535. It is the only form in which an address
// from the service or the user's list reaches a socket, the registry or a
// Firefox profile, so nothing that could end a quoted preference or name a
// different place ever gets that far.
struct ProxyAddress {
  std::string host;
  int port = 0;

  // "host:port", split at the first ':' with blanks and control characters
  // trimmed from both parts; the port a whole decimal number without sign.
  // Nothing for anything else: "1.2.3.4:80.5", "1.2.3.4:0", "a\"b:80".
  static std::optional<ProxyAddress> Parse(std::string_view text);

  std::string Text() const { return host + ":" + std::to_string(port); }

  friend bool operator==(const ProxyAddress&, const ProxyAddress&) = default;
};

}  // namespace cloakwise
