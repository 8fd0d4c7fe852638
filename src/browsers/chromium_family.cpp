#include "browsers/chromium_family.h"

#include <algorithm>

namespace cloakwise::browsers {

const std::array<ChromiumBrowser, 5> kChromiumBrowsers = {{
    {"Chrome", "Google\\Chrome\\User Data", "Software\\Policies\\Google\\Chrome"},
    {"Edge", "Microsoft\\Edge\\User Data", "Software\\Policies\\Microsoft\\Edge"},
    {"Chromium", "Chromium\\User Data", "Software\\Policies\\Chromium"},
    {"Brave", "BraveSoftware\\Brave-Browser\\User Data", "Software\\Policies\\BraveSoftware\\Brave"},
    {"Vivaldi", "Vivaldi\\User Data", "Software\\Policies\\Vivaldi"},
}};

bool IsChromiumProfile(std::string_view name) {
  if (name == "Default" || name == "Guest Profile") return true;
  constexpr std::string_view kNumbered = "Profile ";
  if (!name.starts_with(kNumbered) || name.size() == kNumbered.size()) return false;
  return std::all_of(name.begin() + kNumbered.size(), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool ChromiumRunsOn(platform::FileSystem& files, const std::string& userDataFolder) {
  return files.HeldByAnotherProgram(userDataFolder + "lockfile");
}

}  // namespace cloakwise::browsers
