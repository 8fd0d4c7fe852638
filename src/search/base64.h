#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cloakwise::search {

// RFC 4648 Base64 with the standard alphabet, "=" padding and no line breaks.
std::string Base64Encode(std::string_view bytes);

// Strict: only padded text of whole groups in the standard alphabet; anything
// else is nullopt, never a guess.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace cloakwise::search
