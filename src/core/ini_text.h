#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cloakwise::ini {

// The text of a Windows profile file, kept line for line so that a change of
// one value leaves every other line (comments, unknown keys, other sections,
// odd spacing) exactly as it stood.
//
// Lookups follow the profile rules: section and key names match without
// regard to ASCII case, blanks around names and values are dropped, and one
// pair of matching quotes around a value is removed. A section that appears
// more than once is read as one; the first occurrence of a key wins.
class Document {
 public:
  static Document Parse(std::string_view text);
  std::string Serialize() const;

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Every entry of the section, first occurrence of each key, in file order.
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;
  // Changes the first occurrence of the key, or adds the key at the end of the
  // section, or adds the section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every occurrence of the section with its lines.
  void EraseSection(std::string_view section);

 private:
  struct Line {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string text;  // the line as it stood, without its line end
    std::string name;  // section or key name, trimmed
  };

  std::vector<Line> lines_;
  std::string eol_ = "\r\n";
  bool finalEol_ = true;
};

// Parses an integer as the profile readers of this program always have:
// leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x" or "0x" (either case). Anything else, an empty text, trailing
// characters or a value outside the 32-bit signed range gives nothing.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace cloakwise::ini
