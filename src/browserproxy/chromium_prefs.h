#pragma once

#include <optional>
#include <string>
#include <string_view>

// A Chromium profile's "Preferences", as far as WebRTC goes: a JSON file the
// browser reads at its start and writes back whole as it ends. Only the one
// preference webrtc.ip_handling_policy is changed; every other byte of the
// file stays as it was wherever the JSON allows, and every change is checked
// by reading the result back before it counts.
namespace cloakwise::chromiumprefs {

// The value that keeps WebRTC to the proxy: no UDP that does not go through
// it, so no STUN request around an HTTP proxy and no address for the page.
inline constexpr std::string_view kKeptToProxy = "\"disable_non_proxied_udp\"";

struct WebRtc {
  // The preference's value as the file spells it (JSON text); nothing when
  // the profile does not set it.
  std::optional<std::string> value;
  bool webRtcObject = false;  // the file has a "webrtc" object at all
  bool keptToProxy = false;   // value reads as kKeptToProxy
};

// Nothing when the file is no JSON object the browser would read (broken,
// another kind of value, deeper than Chromium reads, or a "webrtc" that is
// not an object).
std::optional<WebRtc> Read(std::string_view preferences);

// The file with the preference set to a JSON value, or without it when
// nothing is given, and then without "webrtc" too when dropEmptyWebRtc and
// nothing else is left in it. Nothing when the file cannot be read as above,
// or the value is no JSON.
std::optional<std::string> WithPolicy(std::string_view preferences,
                                      const std::optional<std::string>& value,
                                      bool dropEmptyWebRtc);

}  // namespace cloakwise::chromiumprefs
