#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/files.h"

// Where the Chromium browsers keep their profiles, and where Windows keeps
// the policies each of them obeys: the proxy side and the clean-up both go
// by it.
namespace cloakwise::browsers {

struct ChromiumBrowser {
  std::string_view name;      // what the user calls it
  std::string_view userData;  // its "User Data", below the local application-data folder
  std::string_view policyKey; // below HKLM and HKCU; a value there outweighs the profile's own
};
extern const std::array<ChromiumBrowser, 5> kChromiumBrowsers;

// Whether a folder of "User Data" is a profile: "Default", "Profile 2", and
// the guest's.
bool IsChromiumProfile(std::string_view name);

// Whether the browser runs on its "User Data" folder (a path ending with the
// separator): it holds "lockfile" there, unshared, for as long as it runs.
bool ChromiumRunsOn(platform::FileSystem& files, const std::string& userDataFolder);

}  // namespace cloakwise::browsers
