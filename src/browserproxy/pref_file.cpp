#include "browserproxy/pref_file.h"

#include "core/text.h"
#include "core/text_encoding.h"

namespace cloakwise::userjs {
namespace {

void AppendUtf16Escape(std::string& out, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

}  // namespace

File::File(std::string_view bytes) : encoding(Encoding::Of(bytes)) {
  marked = text::EncodingOfMark(bytes) != text::Encoding::Ansi;
  mark = std::string(bytes.substr(0, encoding.MarkSize()));
  std::string_view rest = bytes.substr(encoding.MarkSize());
  stray = std::string(rest.substr(rest.size() - rest.size() % encoding.Width()));
  rest.remove_suffix(stray.size());
  body = std::string(rest);
  const std::size_t width = encoding.Width();
  const auto isLineEnd = [&](std::size_t at) {
    const unsigned c = encoding.At(body, at);
    return c == '\r' || c == '\n';
  };
  for (std::size_t pos = 0; pos < body.size();) {
    Line line{pos, pos, ""};
    std::size_t end = pos;
    while (end < body.size() && !isLineEnd(end)) {
      const unsigned c = encoding.At(body, end);
      line.text += static_cast<char>(width == 1 || c < 0x80 ? c : 0x80);
      end += width;
    }
    std::size_t next = end;
    if (next < body.size()) {
      next += width;
      if (encoding.At(body, end) == '\r' && next < body.size() && encoding.At(body, next) == '\n')
        next += width;
    }
    line.next = next;
    lines.push_back(std::move(line));
    pos = next;
  }
}

bool File::EndsWithLineEnd(std::string_view text) const {
  if (text.size() < encoding.Width()) return false;
  const unsigned c = encoding.At(text, text.size() - encoding.Width());
  return c == '\r' || c == '\n';
}

std::optional<PrefLine> ParsePrefLine(std::string_view line) {
  line = text::TrimBlanksAndControls(line);
  constexpr std::string_view kStart = "user_pref(";
  if (!line.starts_with(kStart)) return std::nullopt;
  line.remove_prefix(kStart.size());
  line = text::TrimBlanks(line);
  if (line.empty() || (line[0] != '"' && line[0] != '\'')) return std::nullopt;
  const char quote = line[0];
  const auto close = line.find(quote, 1);
  if (close == std::string_view::npos) return std::nullopt;
  PrefLine pref{std::string(line.substr(1, close - 1)), ""};
  line = text::TrimBlanks(line.substr(close + 1));
  if (!line.starts_with(",")) return std::nullopt;
  line = text::TrimBlanks(line.substr(1));
  if (!line.ends_with(";")) return std::nullopt;
  line = text::TrimBlanks(line.substr(0, line.size() - 1));
  if (!line.ends_with(")")) return std::nullopt;
  pref.value = std::string(text::TrimBlanks(line.substr(0, line.size() - 1)));
  return pref;
}

std::optional<std::string> CleanValue(std::string_view value) {
  value = text::TrimBlanks(value);
  if (value == "true" || value == "false") return std::string(value);
  if (!value.empty() && (value[0] == '-' || (value[0] >= '0' && value[0] <= '9'))) {
    const std::string_view digits = value.substr(value[0] == '-' ? 1 : 0);
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    for (const char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    return std::string(value);
  }
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
  std::string out = "\"";
  const std::string_view inner = value.substr(1, value.size() - 2);
  for (std::size_t i = 0; i < inner.size();) {
    const auto c = static_cast<unsigned char>(inner[i]);
    if (c == '\\') {
      if (i + 1 >= inner.size()) return std::nullopt;
      out += inner.substr(i, 2);
      i += 2;
    } else if (c == '"' || c < 0x20 || c == 0x7F) {
      return std::nullopt;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // One UTF-8 sequence, as Firefox writes prefs.js.
      const auto utf8 = text::FirstUtf8Char(inner.substr(i));
      if (!utf8 || text::IsSurrogate(utf8->code)) return std::nullopt;
      const text::Utf16Units units = text::ToUtf16Units(utf8->code);
      for (std::size_t k = 0; k < units.count; ++k) AppendUtf16Escape(out, units.unit[k]);
      i += utf8->length;
    }
  }
  return out + "\"";
}

}  // namespace cloakwise::userjs
