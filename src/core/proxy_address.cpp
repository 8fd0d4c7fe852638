#include "core/proxy_address.h"

#include <algorithm>
#include <vector>

#include "core/text.h"

namespace cloakwise {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Up to maxDigits decimal digits, nothing else; no sign, no blanks.
std::optional<int> ParseDecimal(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits || !std::all_of(text.begin(), text.end(), IsDigit)) {
    return std::nullopt;
  }
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

std::vector<std::string_view> SplitAtDots(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t dot; (dot = text.find('.', start)) != std::string_view::npos; start = dot + 1) {
    parts.push_back(text.substr(start, dot - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

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
