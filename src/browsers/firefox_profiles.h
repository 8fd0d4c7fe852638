#pragma once

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/files.h"

// Where Firefox keeps its profiles on Windows, and whether one is in use:
// the proxy side and the clean-up both go by it.
namespace cloakwise::browsers {

// "<application data>\Mozilla\Firefox\Profiles\"; empty when the
// application-data folder is unknown.
std::string FirefoxProfilesFolder(platform::Desktop& desktop);

// Whether this user has a Firefox profiles folder at all; without one the
// Firefox options can do nothing.
bool HasFirefoxProfiles(platform::Desktop& desktop, platform::FileSystem& files);

// Each profile's folder, that folder and the profile's name without a
// closing separator, hidden and system folders left out; none when the
// folder cannot be listed.
std::vector<std::string> FirefoxProfiles(platform::Desktop& desktop, platform::FileSystem& files);

// Whether a Firefox runs on the profile: the Windows one holds parent.lock,
// the Linux one .parentlock. profileFolder ends with a backslash.
bool FirefoxRunsOn(platform::FileSystem& files, const std::string& profileFolder);

}  // namespace cloakwise::browsers
