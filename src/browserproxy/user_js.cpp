#include "browserproxy/user_js.h"

#include <map>
#include <vector>

#include "browserproxy/pref_file.h"
#include "core/text.h"
#include "core/text_encoding.h"

namespace cloakwise::userjs {
namespace {

// The preferences the program sets, with their values in a profile that
// never set them. HTTPS (and secure WebSockets) go through the "ssl" proxy:
// Firefox sends nothing of the "http" one their way. WebRTC asks STUN
// servers over UDP, around any HTTP proxy, and hands the page the address
// they saw; behind a proxy, Firefox keeps it to the proxy only when told.
struct Preference {
  std::string_view name;
  std::string_view defaultValue;
};
constexpr std::string_view kWebRtcProxyOnly = "media.peerconnection.ice.proxy_only_if_behind_proxy";
constexpr Preference kPreferences[] = {
    {"network.proxy.type", "5"},      {"network.proxy.http", "\"\""},
    {"network.proxy.http_port", "0"}, {"network.proxy.ssl", "\"\""},
    {"network.proxy.ssl_port", "0"},  {"network.proxy.no_proxies_on", "\"\""},
    {kWebRtcProxyOnly, "false"},
};

bool IsProgramPreference(std::string_view name) {
  for (const Preference& p : kPreferences) {
    if (p.name == name) return true;
  }
  return false;
}

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
  if (name == kWebRtcProxyOnly) return "true";
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
      } else if (auto pref = ParsePrefLine(text);
                 pref && (text.starts_with(kProxyLine) || IsProgramPreference(pref->name))) {
        block.prefs.push_back(std::move(*pref));
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
  if (!file.marked && text::EncodingOfMark(out) != text::Encoding::Ansi) out.insert(0, "\r\n");
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
  }
  // A block of an earlier build remembers fewer preferences: those it never
  // set still hold the profile's own values in prefs.js.
  const auto prefs = ReadPrefs(prefsJs);
  for (const Preference& p : kPreferences) {
    if (before.contains(std::string(p.name))) continue;
    const auto it = prefs.find(std::string(p.name));
    before[std::string(p.name)] =
        it == prefs.end() ? std::nullopt : std::optional<std::string>(it->second);
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

std::optional<std::string> PrefsWithOwnValues(std::string_view userJs, std::string_view prefsJs) {
  const File file(userJs);
  const auto blocks = FindBlocks(file);
  if (blocks.empty()) return std::nullopt;
  for (const Block& block : blocks) {
    if (block.state != State::PuttingBack) return std::nullopt;
  }
  const File prefs(prefsJs);
  if (prefs.encoding.Width() != 1) return std::nullopt;
  std::map<std::string, std::string, std::less<>> own;
  for (const PrefLine& pref : blocks.front().prefs) own[pref.name] = pref.value;
  const std::string lineEnd = prefs.body.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string out = prefs.mark;
  for (const Line& line : prefs.lines) {
    const auto pref = ParsePrefLine(line.text);
    if (pref && own.contains(pref->name)) continue;
    out.append(prefs.body, line.begin, line.next - line.begin);
  }
  if (out.size() > prefs.mark.size() && !prefs.EndsWithLineEnd(out)) out += lineEnd;
  for (const Preference& p : kPreferences) {
    const auto it = own.find(p.name);
    if (it != own.end() && it->second != p.defaultValue)
      out += PrefText(p.name, it->second) + lineEnd;
  }
  return out + prefs.stray;
}

}  // namespace cloakwise::userjs
