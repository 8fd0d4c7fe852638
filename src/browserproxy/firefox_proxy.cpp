#include "browserproxy/firefox_proxy.h"

#include <optional>
#include <string_view>

#include "core/text.h"

namespace cloakwise {
namespace {

constexpr std::string_view kProxyPrefix = "user_pref(\"network.proxy.";

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The user's file with its proxy lines taken out and proxyLines added at the
// end. It is handled as bytes, not as text: a NUL or a byte of another code
// page is the user's as much as any letter. CR, LF and CR LF each end a line,
// and every line kept keeps its own end; the last one, when it has none, gets
// CR LF so the program's lines start on their own. A UTF-8 mark stays in
// front and hides no proxy line.
std::string ReplaceProxyLines(std::string_view file, const std::vector<std::string>& proxyLines) {
  const std::size_t mark = file.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
  std::string out(file.substr(0, mark));
  out.reserve(file.size() + 256);
  bool lastLineEnded = true;
  for (std::size_t pos = mark; pos < file.size();) {
    std::size_t end = pos;
    while (end < file.size() && file[end] != '\r' && file[end] != '\n') ++end;
    std::size_t next = end;
    if (next < file.size()) next += file.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    if (!file.substr(pos, end - pos).starts_with(kProxyPrefix)) {
      out.append(file.substr(pos, next - pos));
      lastLineEnded = next > end;
    }
    pos = next;
  }
  if (!lastLineEnded) out += "\r\n";
  for (const std::string& line : proxyLines) out += line + "\r\n";
  return out;
}

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
  if (!files_.WriteFileAtomic(path, text)) {
    throw FileError("Cannot create file \"" + path + "\". " + files_.LastErrorText());
  }
}

}  // namespace cloakwise
