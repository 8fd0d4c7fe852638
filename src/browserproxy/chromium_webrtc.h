#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace cloakwise {

// Where the program keeps what each Chromium profile held before it kept
// the profile's WebRTC to the proxy, beside the saved Internet settings.
inline constexpr char kSavedChromiumValue[] = "SavedChromiumSettings";

// WebRTC of the Chromium browsers (Chrome, Edge, Chromium, Brave, Vivaldi;
// every profile) kept to the program's proxy. They follow the Windows proxy
// for the web, but WebRTC asks STUN servers over UDP, around it, and hands
// the page the address they saw.
//
// The preference lives in each profile's Preferences, which the browser
// reads as it starts and writes back as it ends: a running browser cannot
// be reached, so it is left alone until it ends, and a value the program
// put there goes back only once no browser has the profile open. A policy
// (HKLM or HKCU) outweighs the profile's value: the program writes none (an
// ordinary user may not) and changes no profile that one rules. What each
// profile held before is saved in the program's key before its file
// changes, so a run that was killed leaves nothing the next one cannot put
// back.
//
// User-interface thread only.
class ChromiumWebRtc {
 public:
  ChromiumWebRtc(platform::FileSystem& files, platform::Shell& shell, platform::Registry& registry)
      : files_(files), shell_(shell), registry_(registry) {}

  struct Report {
    // Every profile there is keeps WebRTC to the proxy (true with none):
    // nothing in the lists below.
    bool allKept = true;
    std::vector<std::string> running;  // browsers that keep it only after their restart
    std::vector<std::string> ruledByPolicy;  // a policy lets WebRTC around the proxy
    std::vector<std::string> unusable;       // Preferences files left alone
  };

  // Keeps every profile's WebRTC to the proxy where its browser is not
  // running; changes nothing where it is kept already.
  Report Install();
  // Puts back each profile's own value where its browser is not running;
  // the others stay saved for a later call, as does one whose file could not
  // be written. Returns whether a running browser keeps one waiting.
  bool Restore();
  // Whether a profile's own value waits to be put back.
  bool Installed();

 private:
  // The policy value that rules the browser's WebRTC, HKLM's before HKCU's.
  std::optional<std::string> Policy(std::string_view key);
  // The saved values as JSON text; empty when there are none.
  std::string ReadRecord();
  // Nothing left forgets the record, and the program's key once it is empty.
  bool WriteRecord(const nlohmann::json& record);

  platform::FileSystem& files_;
  platform::Shell& shell_;
  platform::Registry& registry_;
};

}  // namespace cloakwise
