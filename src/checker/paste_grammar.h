#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the paste window's text adds to the custom list.
namespace cloakwise::checker {

// The proxies a pasted text names, in order, each as the user typed it.
// Users paste lists copied from web pages, "host:port country speed", so
// whatever follows a line's first blank is dropped; what is left must be a
// proxy ProxyAddress::Parse accepts, the one rule the probe and "Use this
// proxy" go by, or the line is left out. Lines end at CR LF, a lone CR or a
// lone LF, and nothing after a NUL counts. Repeats are kept: only the list
// knows what it already holds.
std::vector<std::string> PastedProxies(std::string_view text);

}  // namespace cloakwise::checker
