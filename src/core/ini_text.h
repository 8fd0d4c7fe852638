#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text_encoding.h"

namespace cloakwise::ini {

// How a profile file's bytes hold its text, told by the byte-order mark at
// its start, as Windows' own profile functions tell it.
using Encoding = text::Encoding;

// The text of a Windows profile file, kept line for line so that a change of
// one value leaves every other line (comments, unknown keys, other sections,
// odd spacing, its own line end) exactly as it stood.
//
// Lookups follow the profile rules: section and key names match without
// regard to ASCII case, blanks around names and values are dropped, and one
// pair of matching quotes around a value is removed. A section that appears
// more than once is read as one; the first occurrence of a key wins.
//
// A file with a byte-order mark keeps its mark and its encoding: it is read
// as UTF-8 text, whatever it is stored in, and written back in its own
// encoding. UTF-8 holds all of UTF-16, even a lone half of a surrogate pair
// (encoded as UTF-8 encodes any other 16-bit unit), so a line the program
// does not change goes back byte for byte. Names and values handed to such a
// file that are not UTF-8 are 8-bit program text: they are taken as
// Windows-1252, the Western ANSI code page, so the file never ends up holding
// two encodings. The program's own names and values are ASCII, the same in
// every encoding.
class Document {
 public:
  // The file's bytes, as they stand on disk.
  static Document Parse(std::string_view fileBytes);
  // The file's bytes: what Parse was given, but for the lines changed since.
  std::string Serialize() const;
  // The text the lookups see: no byte-order mark, every line with its end.
  std::string Text() const;
  Encoding TextEncoding() const { return encoding_; }

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Every entry of the section, first occurrence of each key, in file order.
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;
  // Changes the first occurrence of the key, or adds the key at the end of the
  // section, or adds the section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every occurrence of the section with its lines.
  void EraseSection(std::string_view section);

 private:
  // Old editors end lines with a CR alone; Windows reads those as lines too.
  enum class LineEnd : unsigned char { None, Lf, CrLf, Cr };
  struct Line {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string text;             // the line as it stood, without its line end
    std::string name;             // section or key name, trimmed
    LineEnd end = LineEnd::None;  // none only for a last line without one
  };

  // A name or value from the program, in the form this file's text holds.
  std::string InFileText(std::string_view programText) const;
  void InsertLine(std::size_t at, Line line);
  void AppendText(std::string& out) const;

  std::vector<Line> lines_;
  // For lines we add: the end of the file's first line.
  LineEnd newLineEnd_ = LineEnd::CrLf;
  Encoding encoding_ = Encoding::Ansi;
  // The odd last byte of a UTF-16 file, which is half of no character; it
  // stays the file's last byte.
  std::string strayByte_;
};

// Parses an integer as the profile readers of this program always have:
// leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x" or "0x" (either case). Anything else, an empty text, trailing
// characters or a value outside the 32-bit signed range gives nothing.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace cloakwise::ini
