#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "browserproxy/internet_settings.h"
#include "core/proxy_address.h"
#include "platform/internet_options.h"
#include "platform/registry.h"

namespace cloakwise {

inline constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kConnectionsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
// Where the program keeps the user's own Internet settings while its proxy
// is in their place, so that a run that could not put them back (killed, or
// Windows went down) is made good by the next start.
inline constexpr char kProgramKey[] = "Software\\Cloakwise";
inline constexpr char kSavedSettingsValue[] = "SavedInternetSettings";
// What an earlier build noted of its proxy; nothing reads it any more.
inline constexpr char kLegacyInstalledProxyValue[] = "InstalledProxy";

// Deletes the program's values of the given names, and its key once nothing
// is left in it: nothing of the program's stays behind.
void ForgetProgramValues(platform::Registry& registry, std::initializer_list<const char*> names);

// The proxy of the current user's Internet settings: the one that Edge,
// Chrome and every WinInet and WinHTTP program follow. Installing puts the
// program's proxy in the LAN settings and in every named connection, after
// saving what they held; restoring puts that back, setting by setting, and
// keeps what the user changed meanwhile. Platform results are not errors:
// a failed step leaves the next ones to run.
//
// User-interface thread only.
class SystemProxy {
 public:
  SystemProxy(platform::Registry& registry, platform::InternetOptions& options)
      : registry_(registry), options_(options) {}

  void Install(const ProxyAddress& proxy);
  // Puts back the user's own settings when the program's are in place, also
  // those a killed run left; changes nothing otherwise. Returns whether the
  // program's settings were in place.
  bool Restore();
  // Whether the user's settings are saved away, the program's in their place.
  bool Installed();

 private:
  InternetSettings Capture(const std::vector<std::string>& connections);
  std::vector<std::string> ConnectionNames();
  std::vector<std::pair<std::string, std::optional<platform::RegistryValue>>> ReadValues();
  void WriteConnections(const InternetSettings& target, const InternetSettings& now);
  void WriteValues(const InternetSettings& target);
  std::optional<SavedInternetSettings> ReadSaved(bool* unreadable = nullptr);
  void WriteSaved(const SavedInternetSettings& saved);
  void ForgetSaved();
  bool LegacyNoteExists();

  platform::Registry& registry_;
  platform::InternetOptions& options_;
};

}  // namespace cloakwise
