#include "core/ini_text.h"

#include <unordered_set>

#include "core/text.h"

namespace cloakwise::ini {
namespace {

using text::EqualsIgnoreCase;
using text::ToLowerAscii;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

std::string_view MarkOf(Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf8:
      return kUtf8Mark;
    case Encoding::Utf16Le:
      return kUtf16LeMark;
    case Encoding::Utf16Be:
      return kUtf16BeMark;
    case Encoding::Ansi:
      break;
  }
  return {};
}

bool IsUtf16(Encoding encoding) {
  return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
}

// What Windows-1252 puts at 0x80 to 0x9F; the five bytes it leaves
// undefined stand for the control characters of the same number, as the
// Windows conversion gives them. From 0xA0 on it is Latin-1.
constexpr char16_t kWindows1252Upper[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252Upper[byte - 0x80] : byte;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

struct Utf8Char {
  char32_t code;
  std::size_t length;
};

// The UTF-8 character at the start of the text, or nothing when the bytes
// there are not one. Halves of surrogate pairs pass, as the decoding of a
// UTF-16 file with a lone half makes them; overlong forms do not.
std::optional<Utf8Char> FirstUtf8Char(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto continues = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return Utf8Char{lead, 1};
  if (lead >= 0xC2 && lead <= 0xDF && continues(1)) {
    return Utf8Char{static_cast<char32_t>(((lead & 0x1F) << 6) | (byte(1) & 0x3F)), 2};
  }
  if (lead >= 0xE0 && lead <= 0xEF && continues(1) && continues(2)) {
    const char32_t c = ((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    if (c >= 0x800) return Utf8Char{c, 3};
  }
  if (lead >= 0xF0 && lead <= 0xF4 && continues(1) && continues(2) && continues(3)) {
    const char32_t c = ((lead & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
                       (byte(3) & 0x3F);
    if (c >= 0x10000 && c <= 0x10FFFF) return Utf8Char{c, 4};
  }
  return std::nullopt;
}

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
char32_t FromSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// Program text as UTF-8: what is UTF-8 already stays, every other byte is
// taken as Windows-1252. Two halves of one pair become the one character
// they will read back as.
std::string ProgramTextAsUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const auto c = FirstUtf8Char(s);
    if (!c) {
      AppendUtf8(out, FromWindows1252(static_cast<unsigned char>(s.front())));
      s.remove_prefix(1);
      continue;
    }
    if (IsHighSurrogate(c->code)) {
      const auto next = s.size() > c->length ? FirstUtf8Char(s.substr(c->length)) : std::nullopt;
      if (next && IsLowSurrogate(next->code)) {
        AppendUtf8(out, FromSurrogates(c->code, next->code));
        s.remove_prefix(c->length + next->length);
        continue;
      }
    }
    out.append(s.substr(0, c->length));
    s.remove_prefix(c->length);
  }
  return out;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t c = unit(i);
    if (IsHighSurrogate(c) && i + 3 < bytes.size() && IsLowSurrogate(unit(i + 2))) {
      AppendUtf8(out, FromSurrogates(c, unit(i + 2)));
      i += 2;
    } else {
      // A lone half is kept as the 16-bit unit it is, so it goes back as it came.
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string EncodeUtf16(std::string_view text, bool bigEndian) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&](char32_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  };
  while (!text.empty()) {
    const auto c = FirstUtf8Char(text);
    // Lines we add were made UTF-8 already; this is only a fallback.
    const char32_t code = c ? c->code : FromWindows1252(static_cast<unsigned char>(text.front()));
    text.remove_prefix(c ? c->length : 1);
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  return out;
}

// Blanks around names and values go; so does the CR of a CR LF line end,
// which the split at LF leaves behind. Other control bytes are the user's.
std::string_view Trim(std::string_view s) {
  s = text::TrimBlanks(s);
  while (!s.empty() && s.back() == '\r') s = text::TrimBlanks(s.substr(0, s.size() - 1));
  return s;
}

std::string_view ValueOf(std::string_view lineText) {
  const auto eq = lineText.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view value = Trim(lineText.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

}  // namespace

Document Document::Parse(std::string_view fileBytes) {
  Document doc;
  std::string decoded;
  std::string_view text = fileBytes;
  if (fileBytes.starts_with(kUtf8Mark)) {
    doc.encoding_ = Encoding::Utf8;
    text.remove_prefix(kUtf8Mark.size());
  } else if (fileBytes.starts_with(kUtf16LeMark) || fileBytes.starts_with(kUtf16BeMark)) {
    doc.encoding_ = fileBytes.starts_with(kUtf16LeMark) ? Encoding::Utf16Le : Encoding::Utf16Be;
    std::string_view body = fileBytes.substr(2);
    if (body.size() % 2 != 0) {
      doc.strayByte_ = std::string(body.substr(body.size() - 1));
      body.remove_suffix(1);
    }
    decoded = DecodeUtf16(body, doc.encoding_ == Encoding::Utf16Be);
    text = decoded;
  }

  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    auto end = text.find_first_of("\r\n", pos);
    std::size_t next = end + 1;
    if (end == std::string_view::npos) {
      end = next = text.size();
    } else if (text[end] == '\n') {
      line.end = LineEnd::Lf;
    } else if (end + 1 < text.size() && text[end + 1] == '\n') {
      line.end = LineEnd::CrLf;
      next = end + 2;
    } else {
      line.end = LineEnd::Cr;
    }
    const std::string_view raw = text.substr(pos, end - pos);
    pos = next;

    line.text = std::string(raw);
    const std::string_view trimmed = Trim(raw);
    // A header without its closing bracket, a comment, and an entry without
    // a name are kept as they stand but take no part in lookups.
    if (!trimmed.empty() && trimmed.front() == '[') {
      const auto close = trimmed.find(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Kind::Section;
        line.name = std::string(Trim(trimmed.substr(1, close - 1)));
      }
    } else if (!trimmed.empty() && trimmed.front() != ';') {
      line.name = std::string(Trim(trimmed.substr(0, trimmed.find('='))));
      if (!line.name.empty()) line.kind = Line::Kind::Entry;
    }
    doc.lines_.push_back(std::move(line));
  }
  // Lines the program adds end like the first line, except that a CR alone
  // becomes CR LF: an added line ending in a lone CR before an empty line
  // ending in LF would read back as one line.
  if (!doc.lines_.empty() && doc.lines_.front().end != LineEnd::None) {
    doc.newLineEnd_ =
        doc.lines_.front().end == LineEnd::Cr ? LineEnd::CrLf : doc.lines_.front().end;
  }
  return doc;
}

void Document::AppendText(std::string& out) const {
  std::size_t size = out.size();
  for (const Line& line : lines_) size += line.text.size() + 2;
  out.reserve(size);
  for (const Line& line : lines_) {
    out += line.text;
    if (line.end == LineEnd::CrLf || line.end == LineEnd::Cr) out += '\r';
    if (line.end == LineEnd::CrLf || line.end == LineEnd::Lf) out += '\n';
  }
}

std::string Document::Text() const {
  std::string out;
  AppendText(out);
  return out;
}

std::string Document::Serialize() const {
  std::string out(MarkOf(encoding_));
  if (IsUtf16(encoding_)) {
    out += EncodeUtf16(Text(), encoding_ == Encoding::Utf16Be);
  } else {
    AppendText(out);
  }
  out += strayByte_;
  return out;
}

std::string Document::InFileText(std::string_view programText) const {
  if (encoding_ == Encoding::Ansi) return std::string(programText);
  return ProgramTextAsUtf8(programText);
}

void Document::InsertLine(std::size_t at, Line line) {
  // Lines we add always end with a line end, and so does the line before
  // them, even in a file whose last line had none.
  if (at > 0 && lines_[at - 1].end == LineEnd::None) lines_[at - 1].end = newLineEnd_;
  line.end = newLineEnd_;
  // After a line ending in a lone CR, an empty line ending in LF would make
  // a CR LF of the two.
  if (at > 0 && lines_[at - 1].end == LineEnd::Cr && line.text.empty() && line.end == LineEnd::Lf) {
    line.end = LineEnd::CrLf;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::optional<std::string> Document::Get(std::string_view section, std::string_view key) const {
  const std::string sectionName = InFileText(section);
  const std::string keyName = InFileText(key);
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, sectionName);
    } else if (inSection && line.kind == Line::Kind::Entry &&
               EqualsIgnoreCase(line.name, keyName)) {
      return std::string(ValueOf(line.text));
    }
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> Document::Entries(std::string_view section) const {
  const std::string sectionName = InFileText(section);
  std::vector<std::pair<std::string, std::string>> entries;
  // Lower-case names seen so far: a list of many thousand entries is read
  // in one pass, not by comparing each with all before it.
  std::unordered_set<std::string> seen;
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, sectionName);
    } else if (inSection && line.kind == Line::Kind::Entry &&
               seen.insert(LowerAscii(line.name)).second) {
      entries.emplace_back(line.name, std::string(ValueOf(line.text)));
    }
  }
  return entries;
}

void Document::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sectionName = InFileText(section);
  const std::string keyName = InFileText(key);
  const std::string valueText = InFileText(value);
  // Where the key would go if it is not there yet: after the last entry of
  // the first occurrence of the section, so blank lines before the next
  // section stay where they are.
  std::optional<std::size_t> insertAt;
  bool inSection = false;
  bool inFirstOccurrence = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, sectionName);
      inFirstOccurrence = inSection && !insertAt;
      if (inFirstOccurrence) insertAt = i + 1;
    } else if (inSection && line.kind == Line::Kind::Entry) {
      if (EqualsIgnoreCase(line.name, keyName)) {
        line.text = line.name + "=" + valueText;
        return;
      }
      if (inFirstOccurrence) insertAt = i + 1;
    }
  }

  Line entry{Line::Kind::Entry, keyName + "=" + valueText, keyName, {}};
  if (insertAt) {
    InsertLine(*insertAt, std::move(entry));
    return;
  }
  if (!lines_.empty() && !Trim(lines_.back().text).empty()) InsertLine(lines_.size(), Line{});
  InsertLine(lines_.size(), Line{Line::Kind::Section, "[" + sectionName + "]", sectionName, {}});
  InsertLine(lines_.size(), std::move(entry));
}

void Document::EraseSection(std::string_view section) {
  const std::string sectionName = InFileText(section);
  bool inSection = false;
  std::erase_if(lines_, [&](const Line& line) {
    if (line.kind == Line::Kind::Section) inSection = EqualsIgnoreCase(line.name, sectionName);
    return inSection;
  });
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  while (!text.empty() && text::IsBlank(text.front())) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (!text.empty() && ToLowerAscii(text.front()) == 'x') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && ToLowerAscii(text[1]) == 'x') {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;

  // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;  // |INT32_MIN|
  std::int64_t magnitude = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && ToLowerAscii(c) >= 'a' && ToLowerAscii(c) <= 'f') {
      digit = ToLowerAscii(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > kLimit) return std::nullopt;
  }
  if (!negative && magnitude == kLimit) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace cloakwise::ini
