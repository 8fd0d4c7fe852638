#include "core/text_encoding.h"

namespace cloakwise::text {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// What Windows-1252 puts at 0x80 to 0x9F; the five bytes it leaves
// undefined stand for the control characters of the same number, as the
// Windows conversion gives them. From 0xA0 on it is Latin-1.
constexpr char16_t kWindows1252Upper[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
char32_t FromSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

}  // namespace

Encoding EncodingOfMark(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Mark)) return Encoding::Utf8;
  if (bytes.starts_with(kUtf16LeMark)) return Encoding::Utf16Le;
  if (bytes.starts_with(kUtf16BeMark)) return Encoding::Utf16Be;
  return Encoding::Ansi;
}

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

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

Utf16Units ToUtf16Units(char32_t c) {
  if (c < 0x10000) return {{static_cast<char16_t>(c), 0}, 1};
  return {{static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
           static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))},
          2};
}

char32_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252Upper[byte - 0x80] : byte;
}

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

std::string EncodeUtf16(std::string_view utf8, bool bigEndian) {
  std::string out;
  out.reserve(utf8.size() * 2);
  const auto put = [&](char16_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  };
  while (!utf8.empty()) {
    const auto c = FirstUtf8Char(utf8);
    // Lines we add were made UTF-8 already; this is only a fallback.
    const char32_t code = c ? c->code : FromWindows1252(static_cast<unsigned char>(utf8.front()));
    utf8.remove_prefix(c ? c->length : 1);
    const Utf16Units units = ToUtf16Units(code);
    for (std::size_t i = 0; i < units.count; ++i) put(units.unit[i]);
  }
  return out;
}

}  // namespace cloakwise::text
