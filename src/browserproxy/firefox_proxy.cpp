#include "browserproxy/firefox_proxy.h"

#include <optional>
#include <string_view>

#include "core/text.h"

namespace cloakwise {
namespace {

constexpr std::string_view kProxyPrefix = "user_pref(\"network.proxy.";

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

  bool StartsWith(std::string_view bytes, std::string_view ascii) const {
    if (bytes.size() < ascii.size() * width_) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
      if (At(bytes, i * width_) != static_cast<unsigned char>(ascii[i])) return false;
    }
    return true;
  }

  // The program's own lines hold an IP address or host name and a port, all
  // ASCII, so each byte is one character.
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

}  // namespace

// The user's file with its proxy lines taken out and proxyLines added at the
// end, in the file's own encoding. It is handled as characters of its
// encoding, never as text that ends somewhere: a NUL or a byte of another
// code page is the user's as much as any letter. CR, LF and CR LF each end a
// line, and every line kept keeps its own end; the last one, when it has
// none, gets CR LF so the program's lines start on their own.
std::string ReplaceProxyLines(std::string_view file, const std::vector<std::string>& proxyLines) {
  const Encoding encoding = Encoding::Of(file);
  const std::size_t width = encoding.Width();
  std::string out(file.substr(0, encoding.MarkSize()));
  out.reserve(file.size() + 512);
  std::string_view body = file.substr(encoding.MarkSize());
  // A UTF-16 file cut inside a character keeps that odd byte last, after the
  // program's lines, so that they stay aligned with the user's.
  const std::string_view stray = body.substr(body.size() - body.size() % width);
  body.remove_suffix(stray.size());
  const auto isLineEnd = [&](std::size_t at) {
    const unsigned c = encoding.At(body, at);
    return c == '\r' || c == '\n';
  };
  bool lastLineEnded = true;
  for (std::size_t pos = 0; pos < body.size();) {
    std::size_t end = pos;
    while (end < body.size() && !isLineEnd(end)) end += width;
    std::size_t next = end;
    if (next < body.size()) {
      next += width;
      if (encoding.At(body, end) == '\r' && next < body.size() && encoding.At(body, next) == '\n')
        next += width;
    }
    if (!encoding.StartsWith(body.substr(pos, end - pos), kProxyPrefix)) {
      out.append(body.substr(pos, next - pos));
      lastLineEnded = next > end;
    }
    pos = next;
  }
  if (!lastLineEnded) out += encoding.Encode("\r\n");
  // Taking out the lines in front may bare bytes that read as a byte-order
  // mark, and the next rewrite would read the whole file otherwise: an empty
  // line stands in front of them instead.
  const auto marked = [](std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
           bytes.starts_with("\xEF\xBB\xBF");
  };
  if (!marked(file) && marked(out)) out.insert(0, "\r\n");
  for (const std::string& line : proxyLines) out += encoding.Encode(line + "\r\n");
  out.append(stray);
  return out;
}

namespace {

// A host or port goes between quotes, or bare after a comma, in a line that
// Firefox runs as JavaScript: nothing that could end the string or the
// statement may pass.
bool SafeInPreference(const std::string& s) {
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\\' || c == '\'' || c == ')' || c == ';') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string GetAppDataFolder(platform::Desktop& desktop) {
  return desktop.AppDataFolder().value_or(std::string());
}

void ListSubfolders(const std::string& folder, std::vector<std::string>& list,
                    platform::FileSystem& files, platform::UiThread& ui) {
  const auto entries = files.ListDirectory(folder);
  if (!entries) return;
  for (const auto& entry : *entries) {
    if (entry.directory && !entry.hidden && !entry.system) list.push_back(folder + entry.name);
    ui.ProcessMessages();
  }
}

std::string FirefoxProfilesFolder(platform::Desktop& desktop) {
  std::string folder = GetAppDataFolder(desktop);
  // Without the application-data folder there is no profile to look for; a
  // bare "\Mozilla\..." would be looked up on the current drive.
  if (folder.empty()) return "";
  if (folder.back() != '\\') folder += '\\';
  return folder + "Mozilla\\Firefox\\Profiles\\";
}

void FirefoxProxy::SetFirefoxProxy(const std::string& proxy, bool enable, bool notify) {
  std::vector<std::string> proxyLines;
  if (enable) {
    // Without a colon the whole text lands in the port, as it always has.
    const auto parts = text::SplitAtFirstColon(proxy);
    const std::string host(parts ? parts->first : "");
    const std::string port(parts ? parts->second : proxy);
    if (!SafeInPreference(host) || !SafeInPreference(port)) {
      throw UnsafeProxyText("Refused to write the proxy \"" + proxy +
                            "\" into Firefox: it holds characters a preference cannot hold");
    }
    proxyLines = {"user_pref(\"network.proxy.type\", 1);",
                  "user_pref(\"network.proxy.http\", \"" + host + "\");",
                  "user_pref(\"network.proxy.http_port\"," + port + ");",
                  "user_pref(\"network.proxy.no_proxies_on\", \"\");"};
  } else {
    proxyLines = {"user_pref(\"network.proxy.type\", 0);",
                  "user_pref(\"network.proxy.http\", \"\");",
                  "user_pref(\"network.proxy.http_port\",);",
                  "user_pref(\"network.proxy.no_proxies_on\", \"\");"};
  }

  const std::string profiles = FirefoxProfilesFolder(desktop_);
  std::vector<std::string> folders;
  if (!profiles.empty()) ListSubfolders(profiles, folders, files_, ui_);
  // One locked or read-only profile must not leave the others holding a
  // proxy: all are written, then the first failure is told, in the words of
  // the moment it happened.
  std::optional<FileError> firstFailure;
  for (const std::string& folder : folders) {
    try {
      RewriteProfile(folder, proxyLines);
    } catch (const FileError& e) {
      if (!firstFailure) firstFailure = e;
    }
  }
  if (firstFailure) throw *firstFailure;

  if (!folders.empty() && notify) {
    showMessage_("Proxy changed",
                 "If your Firefox browser is opened, you should restart it to activate the new "
                 "proxy settings.");
  }
}

void FirefoxProxy::RewriteProfile(const std::string& folder,
                                  const std::vector<std::string>& proxyLines) {
  // The name comes from the folder's own listing: a blank at its end is part
  // of it, and Windows keeps blanks inside a path.
  const std::string path = folder + "\\user.js";
  std::string text;
  if (files_.FileExists(path)) {
    auto read = files_.ReadFile(path);
    if (!read) throw FileError("Cannot open file \"" + path + "\". " + files_.LastErrorText());
    text = std::move(*read);
  }
  text = ReplaceProxyLines(text, proxyLines);
  // A write killed half-way (the program ended with the session) leaves its
  // temporary beside user.js; nothing else would ever remove it.
  files_.RemoveAbandonedTemporaryFiles(path);
  if (!files_.WriteFileAtomic(path, text)) {
    throw FileError("Cannot create file \"" + path + "\". " + files_.LastErrorText());
  }
}

}  // namespace cloakwise
