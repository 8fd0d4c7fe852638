#include "browserproxy/chromium_webrtc.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "browserproxy/chromium_prefs.h"
#include "browserproxy/system_proxy.h"
#include "browsers/chromium_family.h"

namespace cloakwise {
namespace {

using Json = nlohmann::json;
using platform::RegistryRoot;
using platform::ScopedKey;

constexpr char kPolicyValue[] = "WebRtcIPHandlingPolicy";
// The policy's word for what the profile preference says as kKeptToProxy.
constexpr std::string_view kPolicyKeptToProxy = "disable_non_proxied_udp";

struct Profile {
  std::string browser;
  std::string userData;     // ends with the separator
  std::string preferences;  // the file
};

// The browser's profiles that have their Preferences; a link among them
// leads out of the browser's folder and is not the browser's.
std::vector<Profile> ProfilesOf(platform::FileSystem& files, const std::string& local,
                                const browsers::ChromiumBrowser& browser) {
  std::vector<Profile> profiles;
  const std::string userData = local + std::string(browser.userData) + "\\";
  const auto entries = files.ListDirectory(userData);
  if (!entries) return profiles;
  for (const platform::DirectoryEntry& entry : *entries) {
    if (!entry.directory || entry.link || !browsers::IsChromiumProfile(entry.name)) continue;
    const std::string preferences = userData + entry.name + "\\Preferences";
    if (files.FileExists(preferences))
      profiles.push_back({std::string(browser.name), userData, preferences});
  }
  return profiles;
}

void AddOnce(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// The saved record: for each Preferences file the program changed, the
// browser's folder, the value the profile had (none when it had none) and
// whether the "webrtc" object was the program's.
Json ParseRecord(const std::string& text) {
  if (text.empty()) return Json::object();
  Json record = Json::parse(text, nullptr, false);
  if (record.is_discarded() || !record.is_object()) return Json::object();
  return record;
}

}  // namespace

std::optional<std::string> ChromiumWebRtc::Policy(std::string_view path) {
  for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    ScopedKey key(registry_, root, std::string(path), /*create=*/false);
    if (!key) continue;
    if (auto value = registry_.ReadString(key.get(), kPolicyValue)) return value;
  }
  return std::nullopt;
}

std::string ChromiumWebRtc::ReadRecord() {
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
  if (!key) return "";
  return registry_.ReadString(key.get(), kSavedChromiumValue).value_or("");
}

bool ChromiumWebRtc::WriteRecord(const Json& record) {
  if (record.empty()) {
    ForgetProgramValues(registry_, {kSavedChromiumValue});
    return true;
  }
  std::string text;
  try {
    text = record.dump();
  } catch (const Json::exception&) {
    return false;  // a path that is no UTF-8 cannot be kept, so its file is not changed
  }
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/true);
  return key && registry_.WriteString(key.get(), kSavedChromiumValue, text);
}

ChromiumWebRtc::Report ChromiumWebRtc::Install() {
  Report report;
  const auto local = shell_.FolderPath(platform::ShellFolder::LocalAppData);
  if (!local) return report;
  Json record = ParseRecord(ReadRecord());
  for (const browsers::ChromiumBrowser& browser : browsers::kChromiumBrowsers) {
    const std::vector<Profile> profiles = ProfilesOf(files_, *local, browser);
    if (profiles.empty()) continue;
    const std::string name(browser.name);
    if (const auto policy = Policy(browser.policyKey)) {
      if (*policy != kPolicyKeptToProxy) AddOnce(report.ruledByPolicy, name);
      continue;
    }
    const bool running = browsers::ChromiumRunsOn(files_, profiles.front().userData);
    for (const Profile& profile : profiles) {
      const auto text = files_.ReadFile(profile.preferences);
      const auto webRtc = text ? chromiumprefs::Read(*text) : std::nullopt;
      if (!webRtc) {
        report.unusable.push_back(profile.preferences);
        continue;
      }
      if (webRtc->keptToProxy) continue;
      // It would write what it read at its start over the change as it ends.
      if (running) {
        AddOnce(report.running, name);
        continue;
      }
      const auto changed =
          chromiumprefs::WithPolicy(*text, std::string(chromiumprefs::kKeptToProxy), false);
      if (!changed) {
        report.unusable.push_back(profile.preferences);
        continue;
      }
      // The profile's own value is saved before its file changes, or the
      // file stays as it is; the first memory stays, since the file may
      // meanwhile hold the program's.
      if (!record.contains(profile.preferences)) {
        Json saved = {{"userData", profile.userData}, {"madeWebRtc", !webRtc->webRtcObject}};
        if (webRtc->value) saved["before"] = *webRtc->value;
        record[profile.preferences] = std::move(saved);
        if (!WriteRecord(record)) {
          record.erase(profile.preferences);
          report.unusable.push_back(profile.preferences);
          continue;
        }
      }
      files_.RemoveAbandonedTemporaryFiles(profile.preferences);
      if (!files_.WriteFileAtomic(profile.preferences, *changed))
        report.unusable.push_back(profile.preferences);
    }
  }
  report.allKept = report.running.empty() && report.ruledByPolicy.empty() && report.unusable.empty();
  return report;
}

bool ChromiumWebRtc::Restore() {
  const std::string text = ReadRecord();
  if (text.empty()) return false;
  const Json record = ParseRecord(text);
  Json waiting = Json::object();
  bool browserRuns = false;
  for (const auto& item : record.items()) {
    const std::string& preferences = item.key();
    const Json& saved = item.value();
    // A record changed by hand is read as far as it makes sense.
    if (!saved.is_object()) continue;
    const auto text = [&](const char* name) {
      return saved.contains(name) && saved[name].is_string()
                 ? std::optional<std::string>(saved[name].get<std::string>())
                 : std::nullopt;
    };
    const std::string userData = text("userData").value_or("");
    if (!userData.empty() && browsers::ChromiumRunsOn(files_, userData)) {
      waiting[preferences] = saved;
      browserRuns = true;
      continue;
    }
    const auto now = files_.ReadFile(preferences);
    const auto webRtc = now ? chromiumprefs::Read(*now) : std::nullopt;
    // Gone, broken, or set since by someone else: nothing of the program's
    // is there to put back.
    if (!webRtc || !webRtc->keptToProxy) continue;
    const bool madeWebRtc = saved.contains("madeWebRtc") && saved["madeWebRtc"].is_boolean() &&
                            saved["madeWebRtc"].get<bool>();
    const auto own = chromiumprefs::WithPolicy(*now, text("before"), madeWebRtc);
    files_.RemoveAbandonedTemporaryFiles(preferences);
    if (!own || !files_.WriteFileAtomic(preferences, *own)) waiting[preferences] = saved;
  }
  WriteRecord(waiting);
  return browserRuns;
}

bool ChromiumWebRtc::Installed() {
  return !ParseRecord(ReadRecord()).empty();
}

}  // namespace cloakwise
