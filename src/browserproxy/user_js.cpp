#include "browserproxy/user_js.h"

#include <map>
#include <vector>

#include "core/text.h"

namespace cloakwise::userjs {
namespace {

// The preferences the program sets, with their values in a profile that
// never set them. HTTPS (and secure WebSockets) go through the "ssl" proxy:
// Firefox sends nothing of the "http" one their way.
struct Preference {
  std::string_view name;
  std::string_view defaultValue;
};
constexpr Preference kPreferences[] = {
    {"network.proxy.type", "5"},      {"network.proxy.http", "\"\""},
    {"network.proxy.http_port", "0"}, {"network.proxy.ssl", "\"\""},
    {"network.proxy.ssl_port", "0"},  {"network.proxy.no_proxies_on", "\"\""},
};

constexpr std::string_view kOwn = "// Cloakwise: ";
constexpr std::string_view kInUse = "// Cloakwise: the proxy ";
constexpr std::string_view kInUseEnd = " is in use; these lines go when it stops.";
constexpr std::string_view kPuttingBack =
    "// Cloakwise: these lines put back this profile's own proxy settings in place of ";
constexpr std::string_view kPuttingBackEnd = "; they go once Firefox has them.";
constexpr std::string_view kBefore = "// Cloakwise: before: ";
constexpr std::string_view kUnset = " unset";
constexpr std::string_view kNoFile = "// Cloakwise: there was no user.js before.";
constexpr std::string_view kNoEnd = "// Cloakwise: the line above had no line end.";
constexpr std::string_view kEnd = "// Cloakwise: end.";
constexpr std::string_view kProxyLine = "user_pref(\"network.proxy.";

// How a user.js spells its characters. Notepad's "Unicode" files are UTF-16
// with a byte-order mark; anything else is taken byte by byte, as Firefox
// reads its UTF-8, and a UTF-8 mark is kept in front.
class Encoding {
 public:
  static Encoding Of(std::string_view file) {
    if (file.starts_with("\xEF\xBB\xBF")) return Encoding(3, 1, false);
    if (file.starts_with("\xFF\xFE")) return Encoding(2, 2, false);
    if (file.starts_with("\xFE\xFF")) return Encoding(2, 2, true);
    return Encoding(0, 1, false);
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

bool Marked(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
         bytes.starts_with("\xEF\xBB\xBF");
}

struct Line {
  std::size_t begin = 0;  // in the body
  std::size_t next = 0;   // after its line end
  std::string text;       // its characters, each beyond ASCII as 0x80
};

// The file cut into its mark, its lines and, for UTF-16 cut inside a
// character, the odd last byte, which stays last so that the program's
// lines stay aligned with the user's.
struct File {
  explicit File(std::string_view bytes) : encoding(Encoding::Of(bytes)) {
    marked = Marked(bytes);
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

  bool EndsWithLineEnd(std::string_view text) const {
    if (text.size() < encoding.Width()) return false;
    const unsigned c = encoding.At(text, text.size() - encoding.Width());
    return c == '\r' || c == '\n';
  }

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

void AppendUtf16Escape(std::string& out, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

// A value the program may copy into a line of its own: a whole number, a
// truth value or a string, the string in ASCII alone (its other characters
// as \u escapes, which Firefox reads back as the same characters). Nothing
// for anything else: such a value cannot be written back safely.
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
      const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
      if (length == 0 || c > 0xF4 || i + length > inner.size()) return std::nullopt;
      unsigned point = c & (0xFF >> (length + 1));
      for (std::size_t k = 1; k < length; ++k) {
        const auto more = static_cast<unsigned char>(inner[i + k]);
        if ((more & 0xC0) != 0x80) return std::nullopt;
        point = point << 6 | (more & 0x3F);
      }
      const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
      if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
        return std::nullopt;
      if (point >= 0x10000) {
        AppendUtf16Escape(out, 0xD800 + ((point - 0x10000) >> 10));
        AppendUtf16Escape(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
      } else {
        AppendUtf16Escape(out, point);
      }
      i += length;
    }
  }
  return out + "\"";
}

std::string_view DefaultValue(std::string_view name) {
  for (const Preference& p : kPreferences) {
    if (p.name == name) return p.defaultValue;
  }
  return "\"\"";
}

// What the program's proxy sets each preference to; for a proxy that cannot
// be read back, values no preference ever holds, so nothing is taken for
// Firefox having the program's values.
std::string OwnValue(std::string_view name, const std::optional<ProxyAddress>& proxy) {
  if (!proxy) return "\x01";
  if (name == "network.proxy.type") return "1";
  if (name == "network.proxy.http" || name == "network.proxy.ssl") return "\"" + proxy->host + "\"";
  if (name == "network.proxy.http_port" || name == "network.proxy.ssl_port")
    return std::to_string(proxy->port);
  return "\"\"";
}

std::string PrefText(std::string_view name, std::string_view value) {
  return "user_pref(\"" + std::string(name) + "\", " + std::string(value) + ");";
}

// Firefox's own values of the program's preferences, from prefs.js.
std::map<std::string, std::string> ReadPrefs(std::string_view prefsJs) {
  std::map<std::string, std::string> values;
  File file(prefsJs);
  for (const Line& line : file.lines) {
    const auto pref = ParsePrefLine(line.text);
    if (!pref) continue;
    for (const Preference& p : kPreferences) {
      if (p.name != pref->name) continue;
      if (const auto clean = CleanValue(pref->value)) values[pref->name] = *clean;
    }
  }
  return values;
}

// One block of the program's lines, first to last line.
struct Block {
  std::size_t first = 0;
  std::size_t last = 0;
  State state = State::None;
  std::string proxy;
  std::map<std::string, std::optional<std::string>> before;  // nothing: unset
  bool noFile = false;
  bool noEnd = false;
  std::vector<PrefLine> prefs;
};

std::optional<State> HeaderState(const std::string& text, std::string* proxy) {
  if (text.starts_with(kInUse) && text.ends_with(kInUseEnd)) {
    *proxy = text.substr(kInUse.size(), text.size() - kInUse.size() - kInUseEnd.size());
    return State::InUse;
  }
  if (text.starts_with(kPuttingBack) && text.ends_with(kPuttingBackEnd)) {
    *proxy = text.substr(kPuttingBack.size(),
                         text.size() - kPuttingBack.size() - kPuttingBackEnd.size());
    return State::PuttingBack;
  }
  return std::nullopt;
}

// A block runs from its header over the program's own comment and
// preference lines to its end line; a line of anything else ends it early,
// and stays the user's.
std::vector<Block> FindBlocks(const File& file) {
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    Block block;
    const auto state = HeaderState(file.lines[i].text, &block.proxy);
    if (!state) continue;
    block.state = *state;
    block.first = block.last = i;
    for (std::size_t j = i + 1; j < file.lines.size(); ++j) {
      const std::string& text = file.lines[j].text;
      std::string ignored;
      if (HeaderState(text, &ignored)) break;
      if (text == kEnd) {
        block.last = j;
        break;
      }
      if (text.starts_with(kBefore)) {
        const std::string record = text.substr(kBefore.size());
        const auto equals = record.find('=');
        if (equals != std::string::npos) {
          block.before[record.substr(0, equals)] = record.substr(equals + 1);
        } else if (record.ends_with(kUnset)) {
          block.before[record.substr(0, record.size() - kUnset.size())] = std::nullopt;
        }
      } else if (text == kNoFile) {
        block.noFile = true;
      } else if (text == kNoEnd) {
        block.noEnd = true;
      } else if (text.starts_with(kProxyLine)) {
        if (auto pref = ParsePrefLine(text)) block.prefs.push_back(std::move(*pref));
      } else if (!text.starts_with(kOwn)) {
        break;
      }
      block.last = j;
    }
    i = block.last;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// The user's bytes: the body without the program's blocks, and without the
// line end the program added in front of a block at the very end.
std::string UserBody(const File& file, const std::vector<Block>& blocks) {
  std::string body = file.body;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    const std::size_t begin = file.lines[it->first].begin;
    const std::size_t next = file.lines[it->last].next;
    const bool atEnd = next == body.size();
    body.erase(begin, next - begin);
    const std::string added = file.encoding.Encode("\r\n");
    if (it->noEnd && atEnd && body.ends_with(added)) body.resize(body.size() - added.size());
  }
  return body;
}

bool SetByUser(const File& userFile, std::string_view name) {
  for (const Line& line : userFile.lines) {
    const auto pref = ParsePrefLine(line.text);
    if (pref && pref->name == name) return true;
  }
  return false;
}

std::vector<std::string> MemoryLines(
    const std::map<std::string, std::optional<std::string>>& before, bool noFile) {
  std::vector<std::string> lines;
  for (const Preference& p : kPreferences) {
    const auto it = before.find(std::string(p.name));
    const bool known = it != before.end() && it->second;
    lines.push_back(std::string(kBefore) + std::string(p.name) +
                    (known ? "=" + *it->second : std::string(kUnset)));
  }
  if (noFile) lines.emplace_back(kNoFile);
  return lines;
}

// The user's bytes with a block of the program's lines at the end.
std::string Compose(const File& file, const std::string& userBody, std::vector<std::string> block) {
  std::string out = file.mark + userBody;
  if (!block.empty()) {
    if (!userBody.empty() && !file.EndsWithLineEnd(userBody)) {
      out += file.encoding.Encode("\r\n");
      block.insert(block.begin() + 1, std::string(kNoEnd));
    }
    for (const std::string& line : block) out += file.encoding.Encode(line + "\r\n");
  }
  out += file.stray;
  // Bytes bared at the front that read as a byte-order mark would make the
  // next reading take the whole file for another encoding: an empty line
  // stands in front of them instead.
  if (!file.marked && Marked(out)) out.insert(0, "\r\n");
  return out;
}

// The file once the block is gone: nothing when the program made the file
// and nothing of the user's is in it.
Content WithoutBlocks(const File& file, const std::string& userBody, bool noFile) {
  if (noFile && userBody.empty() && file.mark.empty() && file.stray.empty()) return std::nullopt;
  return Compose(file, userBody, {});
}

}  // namespace

State StateOf(std::string_view userJs) {
  const File file(userJs);
  const auto blocks = FindBlocks(file);
  for (const Block& block : blocks) {
    if (block.state == State::InUse) return State::InUse;
  }
  return blocks.empty() ? State::None : blocks.front().state;
}

std::string Install(std::string_view userJs, bool existed, std::string_view prefsJs,
                    const ProxyAddress& proxy) {
  const File file(userJs);
  const auto blocks = FindBlocks(file);
  std::map<std::string, std::optional<std::string>> before;
  bool noFile = !existed;
  if (!blocks.empty()) {
    before = blocks.front().before;
    noFile = blocks.front().noFile;
  } else {
    const auto prefs = ReadPrefs(prefsJs);
    for (const Preference& p : kPreferences) {
      const auto it = prefs.find(std::string(p.name));
      before[std::string(p.name)] =
          it == prefs.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
  }
  std::vector<std::string> block{std::string(kInUse) + proxy.Text() + std::string(kInUseEnd)};
  for (std::string& line : MemoryLines(before, noFile)) block.push_back(std::move(line));
  for (const Preference& p : kPreferences)
    block.push_back(PrefText(p.name, OwnValue(p.name, proxy)));
  block.emplace_back(kEnd);
  return Compose(file, UserBody(file, blocks), std::move(block));
}

Content PutBack(std::string_view userJs) {
  const File file(userJs);
  const auto blocks = FindBlocks(file);
  const Block* inUse = nullptr;
  for (const Block& block : blocks) {
    if (block.state == State::InUse) {
      inUse = &block;
      break;
    }
  }
  if (!inUse) return std::string(userJs);
  // The memory is the first block's: a later one was made over it.
  const Block& memory = blocks.front();
  const auto proxy = ProxyAddress::Parse(inUse->proxy);
  const std::string userBody = UserBody(file, blocks);
  const File userFile(file.mark + userBody);
  std::vector<std::string> lines;
  for (const Preference& p : kPreferences) {
    // A preference of the user's own user.js comes back with it.
    if (SetByUser(userFile, p.name)) continue;
    const auto it = memory.before.find(std::string(p.name));
    const std::string own =
        it != memory.before.end() && it->second ? *it->second : std::string(p.defaultValue);
    if (own != OwnValue(p.name, proxy)) lines.push_back(PrefText(p.name, own));
  }
  if (lines.empty()) return WithoutBlocks(file, userBody, memory.noFile);
  std::vector<std::string> block{std::string(kPuttingBack) + inUse->proxy +
                                 std::string(kPuttingBackEnd)};
  for (std::string& line : MemoryLines(memory.before, memory.noFile))
    block.push_back(std::move(line));
  for (std::string& line : lines) block.push_back(std::move(line));
  block.emplace_back(kEnd);
  return Compose(file, userBody, std::move(block));
}

Content Tidy(std::string_view userJs, std::string_view prefsJs, bool prefsWrittenSince) {
  const File file(userJs);
  const auto blocks = FindBlocks(file);
  if (!prefsWrittenSince || blocks.empty()) return std::string(userJs);
  for (const Block& block : blocks) {
    if (block.state != State::PuttingBack) return std::string(userJs);
  }
  const Block& block = blocks.front();
  const auto proxy = ProxyAddress::Parse(block.proxy);
  const auto firefox = ReadPrefs(prefsJs);
  std::vector<std::string> kept;
  for (const PrefLine& pref : block.prefs) {
    const auto it = firefox.find(pref.name);
    const std::string now = it != firefox.end() ? it->second : std::string(DefaultValue(pref.name));
    if (now == OwnValue(pref.name, proxy)) kept.push_back(PrefText(pref.name, pref.value));
  }
  if (kept.size() == block.prefs.size() && blocks.size() == 1) return std::string(userJs);
  const std::string userBody = UserBody(file, blocks);
  if (kept.empty()) return WithoutBlocks(file, userBody, block.noFile);
  std::vector<std::string> lines{std::string(kPuttingBack) + block.proxy +
                                 std::string(kPuttingBackEnd)};
  for (std::string& line : MemoryLines(block.before, block.noFile))
    lines.push_back(std::move(line));
  for (std::string& line : kept) lines.push_back(std::move(line));
  lines.emplace_back(kEnd);
  return Compose(file, userBody, std::move(lines));
}

}  // namespace cloakwise::userjs
