#include "core/proxy_address.h"

#include <algorithm>
#include <vector>

#include "core/text.h"

namespace cloakwise {
namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

using text::IsDigit;
using text::ParseDecimal;
using text::SplitAtDots;

bool IsIpv4Address(std::string_view host) {
  const auto parts = SplitAtDots(host);
  return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
           const auto value = ParseDecimal(part, 3);
           return value && *value <= 255;
         });
}

// Letters, digits and inner hyphens in labels of 1 to 63, at most 253 in
// all, and not all digits and dots (that would be a malformed address).
bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  bool anyLetter = false;
  for (std::string_view label : SplitAtDots(host)) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      return false;
    for (char c : label) {
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
      anyLetter = anyLetter || !IsDigit(c);
    }
  }
  return anyLetter;
}

}  // namespace

std::optional<ProxyAddress> ProxyAddress::Parse(std::string_view text) {
  const auto parts = text::SplitAtFirstColon(text);
  if (!parts) return std::nullopt;
  const std::string_view host = text::TrimBlanksAndControls(parts->first);
  const auto port = ParseDecimal(text::TrimBlanksAndControls(parts->second), 5);
  if (!port || *port < 1 || *port > 65535) return std::nullopt;
  if (!IsIpv4Address(host) && !IsHostName(host)) return std::nullopt;
  return ProxyAddress{std::string(host), *port};
}

}  // namespace cloakwise
