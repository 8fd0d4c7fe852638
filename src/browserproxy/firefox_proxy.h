#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/proxy_address.h"
#include "platform/desktop.h"
#include "platform/files.h"

namespace cloakwise {

// A preferences file that could not be read or written. The text begins with
// "Cannot open file", "Cannot create file" or "Cannot delete file" and names
// the path and reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The program's proxy in every Firefox profile's user.js, and the profiles'
// own settings put back (see user_js.h for what each file holds). Each call
// lists the profiles afresh; the files themselves are the memory of what is
// in use, so a run that ended without putting a profile's settings back
// leaves nothing the next one does not see. Nothing here runs the window's
// messages: an install or a restore is whole when it returns.
//
// Every profile is tried, even when one fails; the first failure is then
// thrown as FileError, in the words of the moment it happened.
//
// User-interface thread only.
class FirefoxProxy {
 public:
  FirefoxProxy(platform::FileSystem& files, platform::Desktop& desktop)
      : files_(files), desktop_(desktop) {}

  // Returns how many profiles there are (all of them now use the proxy).
  int Install(const ProxyAddress& proxy);
  // Puts back each profile's own settings where the program's proxy is in
  // use, and lets go of the lines that put them back where Firefox has them
  // again; every other profile is only read. Returns whether any profile
  // had the program's proxy in use.
  bool Restore();
  // Whether any profile has the program's proxy in use.
  bool Installed();
  // The profiles a Firefox runs on now: it read its settings as it started.
  std::vector<std::string> OpenProfiles();
  // For the uninstaller, after Restore: no run of the program will come to
  // let go of the lines that put a profile's own settings back, so where
  // Firefox is not running, its prefs.js gets those settings as Firefox
  // would save them, and the lines go now. Returns whether every profile is
  // free of the program's lines.
  bool PutBackForGood();

 private:
  std::vector<std::string> Profiles();
  // The profile's user.js, or nothing when it does not exist.
  std::optional<std::string> ReadUserJs(const std::string& path);
  void Replace(const std::string& path, const std::optional<std::string>& content);

  platform::FileSystem& files_;
  platform::Desktop& desktop_;
};

}  // namespace cloakwise
