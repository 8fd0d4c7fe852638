#include "core/text.h"

#include <algorithm>

namespace cloakwise::text {
namespace {

bool SameIgnoringCase(char a, char b) {
  return ToLowerAscii(a) == ToLowerAscii(b);
}

template <class Predicate>
std::string_view TrimWhile(std::string_view s, Predicate trimmed) {
  while (!s.empty() && trimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && trimmed(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimBlanks(std::string_view s) {
  return TrimWhile(s, IsBlank);
}

std::string_view TrimBlanksAndControls(std::string_view s) {
  return TrimWhile(s, IsBlankOrControl);
}

std::optional<std::pair<std::string_view, std::string_view>> SplitAtFirstColon(std::string_view s) {
  const auto colon = s.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return std::pair{s.substr(0, colon), s.substr(colon + 1)};
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::optional<int> ParseDecimal(std::string_view s, std::size_t maxDigits) {
  if (s.empty() || s.size() > std::min<std::size_t>(maxDigits, 9) ||
      !std::all_of(s.begin(), s.end(), IsDigit)) {
    return std::nullopt;
  }
  int value = 0;
  for (char c : s) value = value * 10 + (c - '0');
  return value;
}

std::vector<std::string_view> SplitAtDots(std::string_view s) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t dot; (dot = s.find('.', start)) != std::string_view::npos; start = dot + 1) {
    parts.push_back(s.substr(start, dot - start));
  }
  parts.push_back(s.substr(start));
  return parts;
}

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameIgnoringCase);
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), SameIgnoringCase) !=
         text.end();
}

}  // namespace cloakwise::text
