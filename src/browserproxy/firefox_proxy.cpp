#include "browserproxy/firefox_proxy.h"

#include <optional>

#include "core/text.h"

namespace cloakwise {
namespace {

constexpr char kProxyPrefix[] = "user_pref(\"network.proxy.";

// CR, LF and CR LF all end a line; a NUL ends the text; empty lines stay.
std::vector<std::string> SplitLines(std::string text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
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
  std::vector<std::string> lines;
  if (files_.FileExists(path)) {
    const auto text = files_.ReadFile(path);
    if (!text) throw FileError("Cannot open file \"" + path + "\". " + files_.LastErrorText());
    lines = SplitLines(*text);
  }
  for (auto i = lines.size(); i-- > 0;) {
    if (lines[i].rfind(kProxyPrefix, 0) == 0)
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
  }
  lines.insert(lines.end(), proxyLines.begin(), proxyLines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  if (!files_.WriteFileAtomic(path, text)) {
    throw FileError("Cannot create file \"" + path + "\". " + files_.LastErrorText());
  }
}

}  // namespace cloakwise
