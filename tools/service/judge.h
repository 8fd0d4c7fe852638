#pragma once

// The proxy judge: what the headers of a request that came through a proxy
// say about that proxy.

#include <string>
#include <utility>
#include <vector>

namespace cloakwise::service {

enum class Verdict { Transparent = 0, Anonymous = 1, Elite = 2 };

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Transparent when a header that names the client carries an IP address,
// Anonymous when headers only give a proxy away, Elite otherwise.
Verdict JudgeHeaders(const HeaderList& headers);

// True when the value holds an IPv4 or IPv6 address anywhere among its
// comma-, blank- or semicolon-separated items (ports, quotes and brackets
// allowed around it).
bool CarriesIpAddress(const std::string& value);

}  // namespace cloakwise::service
