#pragma once

#include <optional>
#include <string_view>
#include <utility>

// The few text operations every part of the program needs, written once.
// All text is 8-bit; case folding is ASCII only, so a byte above 127 only
// ever equals itself.
namespace cloakwise::text {

// Space and tab.
bool IsBlank(char c);
// Space, tab and every other byte below 0x20 (CR, LF, NUL, ...).
bool IsBlankOrControl(char c);

std::string_view TrimBlanks(std::string_view s);
std::string_view TrimBlanksAndControls(std::string_view s);

// The text before and after the first ':'; nothing when there is none.
std::optional<std::pair<std::string_view, std::string_view>> SplitAtFirstColon(std::string_view s);

char ToLowerAscii(char c);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool ContainsIgnoreCase(std::string_view text, std::string_view part);

}  // namespace cloakwise::text
