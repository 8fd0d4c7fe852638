#include "browsers/firefox_profiles.h"

namespace cloakwise::browsers {

std::string FirefoxProfilesFolder(platform::Desktop& desktop) {
  std::string folder = desktop.AppDataFolder().value_or(std::string());
  // Without the application-data folder there is no profile to look for; a
  // bare "\Mozilla\..." would be looked up on the current drive.
  if (folder.empty()) return "";
  if (folder.back() != '\\') folder += '\\';
  return folder + "Mozilla\\Firefox\\Profiles\\";
}

bool HasFirefoxProfiles(platform::Desktop& desktop, platform::FileSystem& files) {
  const std::string folder = FirefoxProfilesFolder(desktop);
  return !folder.empty() && files.ListDirectory(folder).has_value();
}

std::vector<std::string> FirefoxProfiles(platform::Desktop& desktop, platform::FileSystem& files) {
  const std::string folder = FirefoxProfilesFolder(desktop);
  if (folder.empty()) return {};
  const auto entries = files.ListDirectory(folder);
  std::vector<std::string> profiles;
  if (!entries) return profiles;
  for (const auto& entry : *entries) {
    if (entry.directory && !entry.hidden && !entry.system) profiles.push_back(folder + entry.name);
  }
  return profiles;
}

bool FirefoxRunsOn(platform::FileSystem& files, const std::string& profileFolder) {
  return files.HeldByAnotherProgram(profileFolder + "parent.lock") ||
         files.HeldByAnotherProgram(profileFolder + ".parentlock");
}

}  // namespace cloakwise::browsers
