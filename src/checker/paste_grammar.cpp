#include "checker/paste_grammar.h"

#include <optional>
#include <utility>

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

constexpr std::string_view kScheme = "http://";

bool StartsWithHttpScheme(std::string_view s) {
  return s.size() >= kScheme.size() && text::EqualsIgnoreCase(s.substr(0, kScheme.size()), kScheme);
}

std::optional<std::string> Accepted(std::string_view proxy) {
  if (!ProxyAddress::Parse(proxy)) return std::nullopt;
  return std::string(proxy);
}

// The Proxy text a non-blank line adds, or nothing when it names no proxy.
std::optional<std::string> ProxyOfLine(std::string_view line) {
  // Rows copied from a web page's table arrive with their cells separated
  // by tabs; the first cell holds the address, or the whole proxy. An
  // indented line leaves that cell empty and names no proxy: guessing which
  // later cell holds one would take a country or a speed for it.
  const std::size_t tab = line.find('\t');
  const std::string_view cell = line.substr(0, tab);
  const std::size_t blank = cell.find(' ');
  std::string_view head = cell.substr(0, blank);
  if (blank != std::string_view::npos || tab != std::string_view::npos) {
    head = text::TrimBlanksAndControls(head);
  }
  if (StartsWithHttpScheme(head)) {
    // Lists copied from a browser's address bar or a proxy page's links.
    // Anything more of a URL (a path, credentials, https) is no proxy the
    // probe could use, so only the closing slash goes as well.
    head.remove_prefix(kScheme.size());
    if (head.ends_with('/')) head.remove_suffix(1);
    return Accepted(head);
  }
  if (head.find(':') != std::string_view::npos || tab == std::string_view::npos) {
    return Accepted(head);
  }
  std::string_view rest = line.substr(tab + 1);
  rest = text::TrimBlanksAndControls(rest.substr(0, rest.find('\t')));
  return Accepted(std::string(head) + ':' + std::string(rest));
}

}  // namespace

PastedLines PastedProxies(std::string_view text) {
  // A text box holds no NUL; whatever follows one was never part of a paste,
  // and a NUL could not be stored in options.ini anyway.
  text = text.substr(0, text.find('\0'));
  PastedLines pasted;
  ForEachLine(text, [&](std::string_view line) {
    if (text::TrimBlanksAndControls(line).empty()) return;
    if (auto proxy = ProxyOfLine(line)) {
      pasted.proxies.push_back(std::move(*proxy));
    } else {
      ++pasted.refused;
    }
  });
  return pasted;
}

}  // namespace cloakwise::checker
