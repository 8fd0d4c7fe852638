#pragma once

#include <optional>
#include <string>

namespace cloakwise::platform {

// The folders the shell knows by name. LocalAppData is the local (not
// roaming) application-data folder, where browsers keep their caches.
// Those after it are the user's own and the system's, which no clean-up
// may empty.
enum class ShellFolder {
  Cookies,
  History,
  Recent,
  Windows,
  Profile,
  LocalAppData,
  RoamingAppData,
  Documents,
  Desktop,
  Downloads,
  Pictures,
  Music,
  Videos,
  Favorites,
  Public,
  ProgramFiles,
  ProgramFilesX86,
  ProgramData,
};

// The shell's folders and its own delete, and the Recycle Bin. Every call
// reports failure by its result and never throws. Paths are UTF-8.
//
// User-interface thread only: the shell may show its own windows.
class Shell {
 public:
  virtual ~Shell() = default;
  // The folder's path with a trailing backslash; nothing when the shell
  // cannot say.
  virtual std::optional<std::string> FolderPath(ShellFolder folder) = 0;
  // The user's temporary folder with a trailing backslash; nothing when the
  // system cannot say.
  virtual std::optional<std::string> TempFolder() = 0;
  // Deletes a path or a pattern ("folder\*.txt") the way the shell does:
  // to the Recycle Bin where it can, without asking, without a progress
  // window, but with the shell's own error box. The path is passed whole,
  // however long.
  virtual bool ShellDelete(const std::string& pathOrPattern) = 0;
  // Empties the Recycle Bin of every drive without asking.
  virtual bool EmptyRecycleBin() = 0;
};

}  // namespace cloakwise::platform
