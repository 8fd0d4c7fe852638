#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

bool IsDigit(char c);
// Up to maxDigits decimal digits and nothing else: no sign, no blanks.
// maxDigits is at most 9, so the value always fits.
std::optional<int> ParseDecimal(std::string_view s, std::size_t maxDigits);
// The parts between the dots, empty ones included: "a..b" is three parts.
std::vector<std::string_view> SplitAtDots(std::string_view s);

char ToLowerAscii(char c);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool ContainsIgnoreCase(std::string_view text, std::string_view part);

}  // namespace cloakwise::text
