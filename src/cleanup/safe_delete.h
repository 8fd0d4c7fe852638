#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/ui_thread.h"

// Deleting inside a folder without ever reaching outside it. Folders are
// paths ending with their separator ("C:\Temp\" or "/tmp/x/"), and names
// are joined with that same separator.
namespace cloakwise::cleanup {

// The folder, when the clean-up may work in it: an absolute path that names
// more than a drive or share root and is none of the refused folders (the
// Windows folder, the user's profile folder), compared without regard to case
// or a trailing separator. Nothing for an empty, relative or odd path, which
// a file call would resolve against the working directory.
std::optional<std::string> UsableFolder(const std::optional<std::string>& path,
                                        const std::vector<std::string>& refused);

// A folder that no clean-up may empty, in its final spelling (links
// followed), and what the user calls it ("the user's documents").
struct KnownFolder {
  std::string path;
  std::string name;
};

// Why the folder (in its final spelling) must not be emptied: the known
// folder it is or holds ("is the user's documents", "holds the Windows
// folder"), or a drive root; nothing when it may be. Compared without
// regard to case or the kind of separator.
std::optional<std::string> WhyKeptWhole(const std::string& finalFolder,
                                        const std::vector<KnownFolder>& known);

// The folder a path lies in ("C:\Users\" for "C:\Users\u\", "C:\Apps\" for
// "C:\Apps\x.exe"), with its separator; empty at a root.
std::string ParentFolder(const std::string& path);

// Whether a name matches a shell pattern of the forms the clean-up uses:
// "*.*" (every name) or "*.ext" (names ending in ".ext", any case).
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Deletes the file, if there is one; whether it is gone (false: held open by
// a program that runs, or refused).
bool RemoveIfPresent(platform::FileSystem& files, const std::string& path);

// What became of a file deleted only inside a folder.
enum class InsideRemoval { Gone, Held, Outside };

// Deletes the file (a link itself, never its target) when the folder it lies
// in, every link on the way followed, is the given folder (in its final
// spelling) or lies below it; Outside when a file is there but a link on
// the way leads out, and then nothing is deleted. The delete goes by the folder's final spelling,
// so a link swapped in after the check leads nowhere new. Gone also when
// there was nothing to delete.
InsideRemoval RemoveInside(platform::FileSystem& files, const std::string& path,
                           const std::string& finalFolder);

// Deletes every file below the folder, depth first in listing order, and
// lets pending user-interface messages run after each. Names that begin with
// a dot are left alone, files and folders alike. A link (to a file or a
// folder, a junction, any reparse point) is removed itself and never
// followed. Folders themselves stay. Returns how many files could not be
// deleted (held open by a program that runs, or refused). When stopped
// holds after a yield, the walk ends there.
std::size_t DeleteFilesRecursively(platform::FileSystem& files, platform::UiThread& ui,
                                   const std::string& folder,
                                   const std::function<bool()>& stopped = {});

// Removes the real folders below the folder that the walk above emptied,
// deepest first, and then the folder itself; dot names, links and what is
// still in them stay. Returns how many folders stayed.
std::size_t RemoveEmptyFolders(platform::FileSystem& files, platform::UiThread& ui,
                               const std::string& folder,
                               const std::function<bool()>& stopped = {});

// Removes every link among the folder's entries that match the pattern, and
// every link anywhere below the matching real folders, so that a shell delete
// of folder + pattern has none to follow out of the folder. False when a link
// could not be removed (or a folder not listed): then the shell must not go
// there.
bool RemoveLinksBelow(platform::FileSystem& files, const std::string& folder,
                      std::string_view pattern);

}  // namespace cloakwise::cleanup
