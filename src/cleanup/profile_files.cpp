#include "cleanup/profile_files.h"

#include "cleanup/safe_delete.h"

namespace cloakwise::cleanup {

std::string Join(const std::string& folder, std::string_view relative) {
  std::string path = folder;
  for (const char c : relative) path += c == '\\' ? folder.back() : c;
  return path;
}

std::optional<std::string> LocalAppData(platform::Shell& shell) {
  return UsableFolder(shell.FolderPath(platform::ShellFolder::LocalAppData), {});
}

bool RemoveFromProfile(platform::FileSystem& files, CleanupReport& report, const std::string& path,
                       const std::string& finalProfile) {
  switch (RemoveInside(files, path, finalProfile)) {
    case InsideRemoval::Gone:
      return true;
    case InsideRemoval::Held:
      return false;
    case InsideRemoval::Outside:
      // One line for the folder, whatever number of its files was meant.
      report.Stayed(ParentFolder(path) + " was left alone: a link leads it out of the profile");
      return true;
  }
  return true;
}

}  // namespace cloakwise::cleanup
