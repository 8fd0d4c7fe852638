#include "browserproxy/internet_settings.h"

#include <algorithm>
#include <charconv>

namespace cloakwise {
namespace {

constexpr std::string_view kRecordHeader = "Cloakwise saved Internet settings 1";

template <typename T>
T Pick(const T& user, const T& program, const T& now) {
  return now == program ? user : now;
}

const std::optional<platform::RegistryValue>* FindValue(const InternetSettings& settings,
                                                        const std::string& name) {
  for (const auto& [n, v] : settings.values) {
    if (n == name) return &v;
  }
  return nullptr;
}

// A field is ':' and its bytes, each outside printable ASCII (and ' ' and
// '%') as %XX; '-' alone stands for a value that does not exist.
std::string Field(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = ":";
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unfield(std::string_view field) {
  if (field.empty() || field[0] != ':') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= field.size()) return std::nullopt;
    const auto [end, error] =
        std::from_chars(field.data() + i + 1, field.data() + i + 3, value, 16);
    if (error != std::errc() || end != field.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

std::optional<std::uint32_t> Number(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t space = std::min(line.find(' ', start), line.size());
    words.push_back(line.substr(start, space - start));
    start = space + 1;
  }
  return words;
}

void EncodeSettings(std::string& out, const InternetSettings& settings) {
  for (const ConnectionSettings& c : settings.connections) {
    out += "connection " + Field(c.connection) + " " + std::to_string(c.flags) + " " +
           Field(c.proxyServer) + " " + Field(c.proxyBypass) + " " + Field(c.autoConfigUrl) + "\n";
  }
  for (const auto& [name, value] : settings.values) {
    out += "value " + Field(name);
    if (value) {
      out.append(" ").append(std::to_string(value->type)).append(" ").append(Field(value->data));
    } else {
      out += " -";
    }
    out += "\n";
  }
}

// A record is read back into the user's registry, so it may name only the
// values the program saves, each once and only in a form it can have there:
// ProxyEnable four bytes (a DWORD, or binary as some tools write it), the
// others text. Anything else did not come from the program.
bool FitsSavedValue(const InternetSettings& settings, const std::string& name,
                    const std::optional<platform::RegistryValue>& value) {
  if (std::find(std::begin(kSavedValueNames), std::end(kSavedValueNames), name) ==
          std::end(kSavedValueNames) ||
      FindValue(settings, name)) {
    return false;
  }
  if (!value) return true;
  constexpr std::uint32_t kRegExpandSz = 2, kRegBinary = 3;
  if (name == "ProxyEnable") {
    return (value->type == platform::kRegDword || value->type == kRegBinary) &&
           value->data.size() == 4;
  }
  return value->type == platform::kRegSz || value->type == kRegExpandSz;
}

bool DecodeLine(std::string_view line, InternetSettings& settings) {
  const auto words = Words(line);
  if (words[0] == "connection" && words.size() == 6) {
    const auto name = Unfield(words[1]);
    const auto flags = Number(words[2]);
    const auto server = Unfield(words[3]);
    const auto bypass = Unfield(words[4]);
    const auto url = Unfield(words[5]);
    if (!name || !flags || !server || !bypass || !url) return false;
    settings.connections.push_back({*name, *flags, *server, *bypass, *url});
    return true;
  }
  if (words[0] == "value" && words.size() == 3 && words[2] == "-") {
    const auto name = Unfield(words[1]);
    if (!name || !FitsSavedValue(settings, *name, std::nullopt)) return false;
    settings.values.emplace_back(*name, std::nullopt);
    return true;
  }
  if (words[0] == "value" && words.size() == 4) {
    const auto name = Unfield(words[1]);
    const auto type = Number(words[2]);
    const auto data = Unfield(words[3]);
    if (!name || !type || !data) return false;
    platform::RegistryValue value{*type, *data};
    if (!FitsSavedValue(settings, *name, value)) return false;
    settings.values.emplace_back(*name, std::move(value));
    return true;
  }
  return false;
}

}  // namespace

std::unordered_map<std::string_view, const ConnectionSettings*> ConnectionsByName(
    const InternetSettings& settings) {
  std::unordered_map<std::string_view, const ConnectionSettings*> byName;
  byName.reserve(settings.connections.size());
  for (const ConnectionSettings& c : settings.connections) byName.emplace(c.connection, &c);
  return byName;
}

InternetSettings KeepLaterChanges(const InternetSettings& user, const InternetSettings& program,
                                  const InternetSettings& now) {
  InternetSettings kept;
  const auto programs = ConnectionsByName(program);
  const auto nows = ConnectionsByName(now);
  for (const ConnectionSettings& u : user.connections) {
    const auto p = programs.find(u.connection);
    const auto n = nows.find(u.connection);
    if (p == programs.end() || n == nows.end()) {
      kept.connections.push_back(u);
      continue;
    }
    const ConnectionSettings& was = *p->second;
    const ConnectionSettings& is = *n->second;
    kept.connections.push_back({u.connection, Pick(u.flags, was.flags, is.flags),
                                Pick(u.proxyServer, was.proxyServer, is.proxyServer),
                                Pick(u.proxyBypass, was.proxyBypass, is.proxyBypass),
                                Pick(u.autoConfigUrl, was.autoConfigUrl, is.autoConfigUrl)});
  }
  for (const auto& [name, u] : user.values) {
    const auto* p = FindValue(program, name);
    const auto* n = FindValue(now, name);
    kept.values.emplace_back(name, p && n ? Pick(u, *p, *n) : u);
  }
  return kept;
}

std::string EncodeSavedSettings(const SavedInternetSettings& saved) {
  std::string out(kRecordHeader);
  out += "\nuser\n";
  EncodeSettings(out, saved.user);
  if (saved.program) {
    out += "program\n";
    EncodeSettings(out, *saved.program);
  }
  out += "end\n";
  return out;
}

std::optional<SavedInternetSettings> DecodeSavedSettings(std::string_view text) {
  SavedInternetSettings saved;
  InternetSettings* section = nullptr;
  bool header = false;
  bool ended = false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (ended) return std::nullopt;
    if (!header) {
      if (line != kRecordHeader) return std::nullopt;
      header = true;
    } else if (line == "user" && !section) {
      section = &saved.user;
    } else if (line == "program" && section == &saved.user) {
      saved.program.emplace();
      section = &*saved.program;
    } else if (line == "end" && section) {
      ended = true;
    } else if (!section || !DecodeLine(line, *section)) {
      return std::nullopt;
    }
  }
  if (!ended) return std::nullopt;
  return saved;
}

}  // namespace cloakwise
