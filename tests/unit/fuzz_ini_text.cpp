// libFuzzer harness for the INI text of options.ini: any file, in any
// encoding its first bytes claim, parsed, edited as the settings store edits
// it, and written again. What must hold:
//  - parsing and writing back an unchanged file gives it byte for byte;
//  - what is written reads back as the same text, in the file's own encoding;
//  - a value set reads back, and values elsewhere do not change;
//  - a change touches only its own lines: every other line keeps its bytes
//    and its line end (the last line may gain one when lines follow it);
//  - an erased section is gone and nothing else is.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_text.h"
#include "core/text.h"

namespace {

using cloakwise::ini::Document;
using cloakwise::ini::Encoding;
using cloakwise::text::EqualsIgnoreCase;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The text's lines, each with its own line end: CR LF, LF or CR alone.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find_first_of("\r\n");
    std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    if (end != std::string_view::npos && text[end] == '\r' && end + 1 < text.size() &&
        text[end + 1] == '\n') {
      ++length;
    }
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

// A line kept as it was; a last line without an end may have gained one.
bool Kept(std::string_view before, std::string_view after, bool wasLast) {
  if (after == before) return true;
  if (!wasLast || before.ends_with('\n') || before.ends_with('\r') || !after.starts_with(before)) {
    return false;
  }
  const std::string_view added = after.substr(before.size());
  return added == "\n" || added == "\r\n" || added == "\r";
}

// `after` is `before` with `inserted` lines put in one place, or, with none
// inserted, with at most one line changed.
bool OnlyThoseLinesChanged(const std::vector<std::string_view>& before,
                           const std::vector<std::string_view>& after, std::size_t inserted) {
  if (after.size() != before.size() + inserted) return false;
  std::size_t i = 0;
  while (i < before.size() && Kept(before[i], after[i], i + 1 == before.size())) ++i;
  if (inserted == 0) ++i;  // the one changed line
  for (std::size_t j = i; j < before.size(); ++j) {
    if (!Kept(before[j], after[j + inserted], j + 1 == before.size())) return false;
  }
  return true;
}

// Every line of `after` is a line of `before`, in the same order.
bool IsSubsequence(const std::vector<std::string_view>& after,
                   const std::vector<std::string_view>& before) {
  std::size_t j = 0;
  for (const auto line : after) {
    while (j < before.size() && before[j] != line) ++j;
    if (j == before.size()) return false;
    ++j;
  }
  return true;
}

// Strict UTF-8, written out once more here rather than taken from the code
// under test: a value in it goes into a marked file unchanged.
bool IsStrictUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80                 ? 1
                    : b >= 0xC2 && b <= 0xDF ? 2
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xF0 && b <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    const auto b1 = static_cast<unsigned char>(s[i + 1 < s.size() ? i + 1 : i]);
    if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0) || (b == 0xF0 && b1 < 0x90) ||
        (b == 0xF4 && b1 >= 0x90)) {
      return false;
    }
    i += n;
  }
  return true;
}

// The names the settings store lets through to the text.
bool UsableName(std::string_view name, bool isKey) {
  return !name.empty() && name.find_first_of(std::string_view("\r\n\0=[]", 6)) == name.npos &&
         name.front() != ' ' && name.front() != '\t' && name.back() != ' ' && name.back() != '\t' &&
         !(isKey && name.front() == ';');
}

// What a value reads back as: blanks around it go, then one pair of quotes.
std::string AsRead(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// A section or key name picked from the file itself, so that edits meet
// names that are there, or a name of the fuzzer's own.
std::string PickName(FuzzedDataProvider& in, const std::vector<std::string_view>& lines,
                     bool section) {
  if (lines.empty() || !in.ConsumeBool()) return in.ConsumeRandomLengthString(24);
  std::string_view line = lines[in.ConsumeIntegralInRange<std::size_t>(0, lines.size() - 1)];
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (section) {
    const auto open = line.find('['), close = line.find(']');
    if (open != line.npos && close != line.npos && open < close) {
      line = line.substr(open + 1, close - open - 1);
    }
  } else {
    line = line.substr(0, line.find('='));
  }
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return std::string(line);
}

void CheckIntegers(std::string_view value) {
  const auto parsed = cloakwise::ini::ParseInteger(value);
  if (parsed) Check(cloakwise::ini::ParseInteger(std::to_string(*parsed)) == parsed);
  // Plain decimal digits convert exactly when they fit 32 bits.
  if (!value.empty() && value.find_first_not_of("0123456789") == value.npos) {
    long long wide = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), wide);
    const bool fits = error == std::errc() && wide <= 2147483647;
    Check(parsed.has_value() == fits);
    if (fits) Check(*parsed == wide);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int edits = in.ConsumeIntegralInRange(0, 4);
  std::vector<std::string> ops;
  for (int i = 0; i < edits; ++i) ops.push_back(in.ConsumeRandomLengthString(64));
  const std::string file = in.ConsumeRemainingBytesAsString();

  Document doc = Document::Parse(file);
  Check(doc.Serialize() == file);

  for (const std::string& op : ops) {
    FuzzedDataProvider opIn(reinterpret_cast<const std::uint8_t*>(op.data()), op.size());
    const std::string before = doc.Text();
    const auto beforeLines = Lines(before);
    const bool erase = opIn.ConsumeIntegralInRange(0, 4) == 0;
    const std::string section = PickName(opIn, beforeLines, true);
    const std::string key = PickName(opIn, beforeLines, false);
    const std::string value = opIn.ConsumeRandomLengthString(32);
    // Another place in the file, which the edit must leave alone.
    const std::string otherSection = PickName(opIn, beforeLines, true);
    const std::string otherKey = PickName(opIn, beforeLines, false);
    CheckIntegers(value);
    if (!UsableName(section, false) || !UsableName(key, true) ||
        value.find_first_of(std::string_view("\r\n\0", 3)) != value.npos) {
      continue;
    }
    // In a marked file, names that are not UTF-8 are converted; two
    // different names may then meet, so compare only names that stay.
    const bool namesStay = doc.TextEncoding() == Encoding::Ansi ||
                           (IsStrictUtf8(section) && IsStrictUtf8(otherSection) &&
                            IsStrictUtf8(key) && IsStrictUtf8(otherKey));
    const bool sameSection = EqualsIgnoreCase(section, otherSection);
    const auto otherValue = doc.Get(otherSection, otherKey);
    const auto otherEntries = doc.Entries(otherSection);

    if (erase) {
      doc.EraseSection(section);
      Check(!doc.Get(section, key).has_value());
      Check(doc.Entries(section).empty());
      Check(IsSubsequence(Lines(doc.Text()), beforeLines));
      if (namesStay && !sameSection) {
        Check(doc.Get(otherSection, otherKey) == otherValue);
        Check(doc.Entries(otherSection) == otherEntries);
      }
    } else {
      doc.Set(section, key, value);
      if (doc.TextEncoding() == Encoding::Ansi || IsStrictUtf8(value)) {
        Check(doc.Get(section, key) == AsRead(value));
      }
      const std::string after = doc.Text();
      const auto afterLines = Lines(after);
      const std::size_t added = afterLines.size() - beforeLines.size();
      Check(afterLines.size() >= beforeLines.size() && added <= 3 &&
            OnlyThoseLinesChanged(beforeLines, afterLines, added));
      if (namesStay && !(sameSection && EqualsIgnoreCase(key, otherKey))) {
        Check(doc.Get(otherSection, otherKey) == otherValue);
      }
      if (namesStay && !sameSection) Check(doc.Entries(otherSection) == otherEntries);
    }
    // Written out and read in again, the file holds the same text in the
    // same encoding.
    const Document again = Document::Parse(doc.Serialize());
    Check(again.TextEncoding() == doc.TextEncoding());
    Check(again.Text() == doc.Text());
    Check(again.Serialize() == doc.Serialize());
    Check(again.Get(section, key) == doc.Get(section, key));
  }
  return 0;
}
