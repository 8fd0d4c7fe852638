#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/ui_thread.h"

namespace cloakwise {

// A preferences file that could not be read or written. The text begins with
// "Cannot open file" or "Cannot create file" and names the path and reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A proxy text that would break out of the quoted value in user.js.
class UnsafeProxyText : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The user's user.js with its proxy lines taken out and proxyLines added at
// the end, in the file's own encoding (8-bit, UTF-8 or UTF-16 with a mark);
// every other byte of the user's stays.
std::string ReplaceProxyLines(std::string_view file, const std::vector<std::string>& proxyLines);

// The user's application-data folder; empty when the shell cannot say.
std::string GetAppDataFolder(platform::Desktop& desktop);

// Appends folder + name for each subfolder, hidden and system folders left
// out, letting pending user-interface messages run after each entry.
void ListSubfolders(const std::string& folder, std::vector<std::string>& list,
                    platform::FileSystem& files, platform::UiThread& ui);

// "<application data>\Mozilla\Firefox\Profiles\"; empty when the application
// data folder is unknown.
std::string FirefoxProfilesFolder(platform::Desktop& desktop);

// Writes the proxy preference lines of every Firefox profile's user.js.
class FirefoxProxy {
 public:
  // showMessage puts the restart notice in front of the user.
  using ShowMessage = std::function<void(const std::string& title, const std::string& text)>;

  FirefoxProxy(platform::FileSystem& files, platform::Desktop& desktop, platform::UiThread& ui,
               ShowMessage showMessage)
      : files_(files), desktop_(desktop), ui_(ui), showMessage_(std::move(showMessage)) {}

  // Installs proxy (host:port) with enable, or clears without; with notify,
  // shows the restart notice once when at least one profile exists. Every
  // profile is written even when one fails; then, in place of the notice,
  // throws FileError for the first profile whose file could not be read or
  // written. Throws UnsafeProxyText, before touching any file, for a proxy
  // that cannot be written as a JavaScript string.
  void SetFirefoxProxy(const std::string& proxy, bool enable, bool notify);

 private:
  void RewriteProfile(const std::string& folder, const std::vector<std::string>& proxyLines);

  platform::FileSystem& files_;
  platform::Desktop& desktop_;
  platform::UiThread& ui_;
  ShowMessage showMessage_;
};

}  // namespace cloakwise
