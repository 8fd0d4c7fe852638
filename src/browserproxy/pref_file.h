#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_encoding.h"

// Reading a Firefox preference file (user.js, prefs.js) as the rewriting of
// user.js needs it: its encoding, its lines, and the values of its
// user_pref lines.
namespace cloakwise::userjs {

// How a user.js spells its characters. Notepad's "Unicode" files are UTF-16
// with a byte-order mark; anything else is taken byte by byte, as Firefox
// reads its UTF-8, and a UTF-8 mark is kept in front.
class Encoding {
 public:
  static Encoding Of(std::string_view file) {
    const text::Encoding encoding = text::EncodingOfMark(file);
    return Encoding(text::MarkOf(encoding).size(), text::IsUtf16(encoding) ? 2 : 1,
                    encoding == text::Encoding::Utf16Be);
  }

  std::size_t MarkSize() const { return markSize_; }
  std::size_t Width() const { return width_; }

  // The character whose first byte is at `at`.
  unsigned At(std::string_view bytes, std::size_t at) const {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (width_ == 1) return byte(at);
    return bigEndian_ ? (byte(at) << 8 | byte(at + 1)) : (byte(at + 1) << 8 | byte(at));
  }

  // The program's own lines are ASCII, so each byte is one character.
  std::string Encode(std::string_view ascii) const {
    if (width_ == 1) return std::string(ascii);
    std::string bytes;
    bytes.reserve(ascii.size() * 2);
    for (const char c : ascii) {
      bytes += bigEndian_ ? '\0' : c;
      bytes += bigEndian_ ? c : '\0';
    }
    return bytes;
  }

 private:
  Encoding(std::size_t markSize, std::size_t width, bool bigEndian)
      : markSize_(markSize), width_(width), bigEndian_(bigEndian) {}

  std::size_t markSize_;
  std::size_t width_;
  bool bigEndian_;
};

struct Line {
  std::size_t begin = 0;  // in the body
  std::size_t next = 0;   // after its line end
  std::string text;       // its characters, each beyond ASCII as 0x80
};

// The file cut into its mark, its lines and, for UTF-16 cut inside a
// character, the odd last byte, which stays last so that the program's
// lines stay aligned with the user's.
struct File {
  explicit File(std::string_view bytes);
  bool EndsWithLineEnd(std::string_view text) const;

  Encoding encoding;
  bool marked = false;
  std::string mark;
  std::string body;
  std::string stray;
  std::vector<Line> lines;
};

// user_pref("name", value); as Firefox writes it into prefs.js, blanks
// allowed where it reads them.
struct PrefLine {
  std::string name;
  std::string value;  // the text of the value, trimmed
};

std::optional<PrefLine> ParsePrefLine(std::string_view line);

// A value the program may copy into a line of its own: a whole number, a
// truth value or a string, the string in ASCII alone (its other characters
// as \u escapes, which Firefox reads back as the same characters). Nothing
// for anything else: such a value cannot be written back safely.
std::optional<std::string> CleanValue(std::string_view value);

}  // namespace cloakwise::userjs
