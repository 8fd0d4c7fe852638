#include "core/ini_text.h"

#include <algorithm>

#include "core/text.h"

namespace cloakwise::ini {
namespace {

using text::EqualsIgnoreCase;
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

}  // namespace

Document Document::Parse(std::string_view text) {
  Document doc;
  const auto firstLf = text.find('\n');
  if (firstLf != std::string_view::npos) {
    doc.eol_ = (firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";
  }
  doc.finalEol_ = text.empty() || text.back() == '\n';

  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    pos = end + 1;

    Line line;
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
  return doc;
}

std::string Document::Serialize() const {
  std::string out;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].text;
    if (i + 1 < lines_.size() || finalEol_) out += eol_;
  }
  return out;
}

std::optional<std::string> Document::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, section);
    } else if (inSection && line.kind == Line::Kind::Entry && EqualsIgnoreCase(line.name, key)) {
      return std::string(ValueOf(line.text));
    }
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> Document::Entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, section);
    } else if (inSection && line.kind == Line::Kind::Entry) {
      const bool seen = std::any_of(entries.begin(), entries.end(), [&](const auto& e) {
        return EqualsIgnoreCase(e.first, line.name);
      });
      if (!seen) entries.emplace_back(line.name, std::string(ValueOf(line.text)));
    }
  }
  return entries;
}

void Document::Set(std::string_view section, std::string_view key, std::string_view value) {
  // Where the key would go if it is not there yet: after the last entry of
  // the first occurrence of the section, so blank lines before the next
  // section stay where they are.
  std::optional<std::size_t> insertAt;
  bool inSection = false;
  bool inFirstOccurrence = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (line.kind == Line::Kind::Section) {
      inSection = EqualsIgnoreCase(line.name, section);
      inFirstOccurrence = inSection && !insertAt;
      if (inFirstOccurrence) insertAt = i + 1;
    } else if (inSection && line.kind == Line::Kind::Entry) {
      if (EqualsIgnoreCase(line.name, key)) {
        line.text = line.name + "=" + std::string(value);
        return;
      }
      if (inFirstOccurrence) insertAt = i + 1;
    }
  }

  Line entry{Line::Kind::Entry, std::string(key) + "=" + std::string(value), std::string(key)};
  // Lines we add always end with a line end, even in a file that had none.
  finalEol_ = true;
  if (insertAt) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(entry));
    return;
  }
  if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{});
  lines_.push_back(
      Line{Line::Kind::Section, "[" + std::string(section) + "]", std::string(section)});
  lines_.push_back(std::move(entry));
}

void Document::EraseSection(std::string_view section) {
  bool inSection = false;
  std::erase_if(lines_, [&](const Line& line) {
    if (line.kind == Line::Kind::Section) inSection = EqualsIgnoreCase(line.name, section);
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
