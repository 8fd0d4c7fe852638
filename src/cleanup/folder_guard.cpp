#include "cleanup/folder_guard.h"

#include <utility>

namespace cloakwise::cleanup {
namespace {

constexpr std::pair<platform::ShellFolder, const char*> kKeptWhole[] = {
    {platform::ShellFolder::Windows, "the Windows folder"},
    {platform::ShellFolder::Profile, "the user's profile"},
    {platform::ShellFolder::LocalAppData, "the local application data"},
    {platform::ShellFolder::RoamingAppData, "the application data"},
    {platform::ShellFolder::Documents, "the user's documents"},
    {platform::ShellFolder::Desktop, "the desktop"},
    {platform::ShellFolder::Downloads, "the downloads"},
    {platform::ShellFolder::Pictures, "the pictures"},
    {platform::ShellFolder::Music, "the music"},
    {platform::ShellFolder::Videos, "the videos"},
    {platform::ShellFolder::Favorites, "the favorites"},
    {platform::ShellFolder::Public, "the public folder"},
    {platform::ShellFolder::ProgramFiles, "the program files"},
    {platform::ShellFolder::ProgramFilesX86, "the program files"},
    {platform::ShellFolder::ProgramData, "the program data"},
};

}  // namespace

void FolderGuard::Know() {
  known_.clear();
  // Both spellings of each: the shell's, and the one its links lead to.
  const auto know = [this](const std::string& path, const char* name) {
    if (path.empty()) return;
    known_.push_back({path, name});
    if (auto final = files_.FinalFolderPath(path)) known_.push_back({*final, name});
  };
  for (const auto& [folder, name] : kKeptWhole) {
    if (auto path = shell_.FolderPath(folder)) know(*path, name);
  }
  if (auto profile = shell_.FolderPath(platform::ShellFolder::Profile)) {
    know(ParentFolder(*profile), "the folder of all users");
  }
  // Its options.ini holds the user's proxy list.
  know(ParentFolder(desktop_.ExecutablePath()), "this program's folder");
}

std::optional<std::string> FolderGuard::Emptiable(const std::optional<std::string>& folder,
                                                  CleanupReport& report) {
  if (!folder || folder->empty()) return std::nullopt;
  const auto usable = UsableFolder(folder, {});
  if (!usable) {
    report.Stayed(*folder + " was left alone: it is a drive root or no full path");
    return std::nullopt;
  }
  // Nothing there, nothing to empty.
  const auto final = files_.FinalFolderPath(*usable);
  if (!final) return std::nullopt;
  if (const auto why = WhyKeptWhole(*final, known_)) {
    report.Stayed(*usable + " was left alone: it " + *why);
    return std::nullopt;
  }
  return final;
}

}  // namespace cloakwise::cleanup
