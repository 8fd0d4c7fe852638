#pragma once

// Inside the program every text is UTF-8; Windows takes and gives UTF-16.
// The two meet only at the calls of the wide ("W") functions, and these are
// the only crossings between the two.
//
// Nothing is cut: both take the whole text, NULs inside included. A byte
// sequence that is no UTF-8 becomes U+FFFD, one for each bad sequence, and a
// lone surrogate half from Windows (a file name no Unicode text can spell)
// becomes U+FFFD as well: such a name reads back as another name, so the
// program fails on it rather than touching something else by a similar name.

#include <string>
#include <string_view>

namespace cloakwise::platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace cloakwise::platform
