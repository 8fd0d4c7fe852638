#include "core/ini_text.h"

#include <unordered_set>

#include "core/text.h"
#include "core/text_encoding.h"

namespace cloakwise::ini {
namespace {

using text::DecodeUtf16;
using text::EncodeUtf16;
using text::EqualsIgnoreCase;
using text::IsUtf16;
using text::MarkOf;
using text::ProgramTextAsUtf8;
using text::ToLowerAscii;

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
  doc.encoding_ = text::EncodingOfMark(fileBytes);
  if (doc.encoding_ == Encoding::Utf8) {
    text.remove_prefix(MarkOf(Encoding::Utf8).size());
  } else if (IsUtf16(doc.encoding_)) {
    std::string_view body = fileBytes.substr(MarkOf(doc.encoding_).size());
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
