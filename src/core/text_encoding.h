#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The encodings the files the program edits come in (options.ini, user.js):
// told by a byte-order mark, and converted to and from the UTF-8 the
// program's text is in. Nothing here knows a file format.
namespace cloakwise::text {

// A file without a mark is 8-bit text in whatever code page it was written in.
enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

// What the mark at the start of the bytes says, and the mark itself.
Encoding EncodingOfMark(std::string_view bytes);
std::string_view MarkOf(Encoding encoding);
bool IsUtf16(Encoding encoding);

struct Utf8Char {
  char32_t code;
  std::size_t length;
};
// The UTF-8 character at the start of the text, or nothing when the bytes
// there are not one. Halves of surrogate pairs pass, as the decoding of a
// UTF-16 file with a lone half makes them; overlong forms do not.
std::optional<Utf8Char> FirstUtf8Char(std::string_view s);
void AppendUtf8(std::string& out, char32_t c);

bool IsSurrogate(char32_t c);
// A character as the one or two UTF-16 units that spell it.
struct Utf16Units {
  char16_t unit[2];
  std::size_t count;
};
Utf16Units ToUtf16Units(char32_t c);

// The character a Windows-1252 byte stands for.
char32_t FromWindows1252(unsigned char byte);
// Program text as UTF-8: what is UTF-8 already stays, every other byte is
// taken as Windows-1252, the Western ANSI code page. Two halves of one pair
// become the one character they will read back as.
std::string ProgramTextAsUtf8(std::string_view s);

// UTF-16 bytes, without their mark, as UTF-8 and back. A lone half of a pair
// is kept as the 16-bit unit it is (in UTF-8's three-byte form), so text the
// program does not change goes back byte for byte.
std::string DecodeUtf16(std::string_view bytes, bool bigEndian);
std::string EncodeUtf16(std::string_view utf8, bool bigEndian);

}  // namespace cloakwise::text
