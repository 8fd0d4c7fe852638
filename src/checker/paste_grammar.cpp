#include "checker/paste_grammar.h"

#include "core/proxy_address.h"
#include "core/text.h"

namespace cloakwise::checker {
namespace {

// The lines of a text box: CR LF, a lone CR and a lone LF each end one.
template <class Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      visit(text.substr(start));
      return;
    }
    visit(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

}  // namespace

std::vector<std::string> PastedProxies(std::string_view text) {
  // A text box holds no NUL; whatever follows one was never part of a paste,
  // and a NUL could not be stored in options.ini anyway.
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> proxies;
  ForEachLine(text, [&](std::string_view line) {
    std::string_view kept = line;
    if (const auto blank = line.find(' '); blank != std::string_view::npos) {
      kept = text::TrimBlanksAndControls(line.substr(0, blank));
    }
    if (ProxyAddress::Parse(kept)) proxies.emplace_back(kept);
  });
  return proxies;
}

}  // namespace cloakwise::checker
