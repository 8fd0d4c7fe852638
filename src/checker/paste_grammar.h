#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What the paste window's text adds to the custom list.
namespace cloakwise::checker {

struct PastedLines {
  std::vector<std::string> proxies;  // in order, repeats kept
  std::size_t refused = 0;           // lines that are not blank and name no proxy
};

// The proxies a pasted text names, and how many of its lines name none.
// Users paste lists copied from web pages and tables, so a line is read as:
//   host:port            kept as typed;
//   host:port anything   whatever follows the first blank is dropped;
//   host:port<TAB>...    a table row whose first cell holds the proxy;
//   host<TAB>port<TAB>.. a table row with address and port in their own
//                        cells, stored as "host:port";
//   http://host:port/    the scheme and one closing slash are dropped.
// What is left must be a proxy ProxyAddress::Parse accepts, the one rule the
// probe and "Use this proxy" go by, or the line is refused; so is a line
// that starts with a blank or a tab, which leaves no first cell to read.
// Lines end at CR LF, a lone CR or a lone LF, and nothing after a NUL
// counts. Repeats are kept: only the list knows what it already holds.
PastedLines PastedProxies(std::string_view text);

}  // namespace cloakwise::checker
