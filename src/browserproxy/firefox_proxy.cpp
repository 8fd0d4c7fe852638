#include "browserproxy/firefox_proxy.h"

#include <optional>

#include "browserproxy/user_js.h"
#include "browsers/firefox_profiles.h"

namespace cloakwise {
namespace {

// Runs each profile's step; one locked or read-only profile must not keep
// the others from being done.
template <typename Step>
void ForEachProfile(const std::vector<std::string>& profiles, Step step) {
  std::optional<FileError> firstFailure;
  for (const std::string& profile : profiles) {
    try {
      step(profile);
    } catch (const FileError& e) {
      if (!firstFailure) firstFailure = e;
    }
  }
  if (firstFailure) throw *firstFailure;
}

}  // namespace

std::vector<std::string> FirefoxProxy::Profiles() {
  return browsers::FirefoxProfiles(desktop_, files_);
}

// The name comes from the folder's own listing: a blank at its end is part
// of it, and Windows keeps blanks inside a path.
std::optional<std::string> FirefoxProxy::ReadUserJs(const std::string& path) {
  if (!files_.FileExists(path)) return std::nullopt;
  auto text = files_.ReadFile(path);
  if (!text) throw FileError("Cannot open file \"" + path + "\". " + files_.LastErrorText());
  return text;
}

void FirefoxProxy::Replace(const std::string& path, const std::optional<std::string>& content) {
  // A write killed half-way (the program ended with the session) leaves its
  // temporary beside user.js; nothing else would ever remove it.
  files_.RemoveAbandonedTemporaryFiles(path);
  if (!content) {
    if (!files_.RemoveFile(path)) {
      throw FileError("Cannot delete file \"" + path + "\". " + files_.LastErrorText());
    }
    return;
  }
  if (!files_.WriteFileAtomic(path, *content)) {
    throw FileError("Cannot create file \"" + path + "\". " + files_.LastErrorText());
  }
}

int FirefoxProxy::Install(const ProxyAddress& proxy) {
  const std::vector<std::string> profiles = Profiles();
  ForEachProfile(profiles, [&](const std::string& profile) {
    const std::string path = profile + "\\user.js";
    const std::optional<std::string> text = ReadUserJs(path);
    const std::string prefs = files_.ReadFile(profile + "\\prefs.js").value_or("");
    Replace(path, userjs::Install(text.value_or(""), text.has_value(), prefs, proxy));
  });
  return static_cast<int>(profiles.size());
}

bool FirefoxProxy::Restore() {
  bool inUse = false;
  ForEachProfile(Profiles(), [&](const std::string& profile) {
    const std::string path = profile + "\\user.js";
    const std::optional<std::string> text = ReadUserJs(path);
    if (!text) return;
    userjs::Content content;
    switch (userjs::StateOf(*text)) {
      case userjs::State::None:
        return;
      case userjs::State::InUse:
        inUse = true;
        content = userjs::PutBack(*text);
        break;
      case userjs::State::PuttingBack: {
        const std::string prefsPath = profile + "\\prefs.js";
        const auto prefsTime = files_.LastWriteTime(prefsPath);
        const auto userTime = files_.LastWriteTime(path);
        const bool since = prefsTime && userTime && *prefsTime > *userTime;
        content = userjs::Tidy(*text, files_.ReadFile(prefsPath).value_or(""), since);
        break;
      }
    }
    if (content != text) Replace(path, content);
  });
  return inUse;
}

bool FirefoxProxy::PutBackForGood() {
  bool free = true;
  ForEachProfile(Profiles(), [&](const std::string& profile) {
    const std::string path = profile + "\\user.js";
    const std::optional<std::string> text = ReadUserJs(path);
    if (!text || userjs::StateOf(*text) == userjs::State::None) return;
    // A running Firefox saves what it read at its start over any change.
    if (browsers::FirefoxRunsOn(files_, profile + "\\")) {
      free = false;
      return;
    }
    const std::string prefsPath = profile + "\\prefs.js";
    const bool prefsExist = files_.FileExists(prefsPath);
    const std::optional<std::string> prefs = files_.ReadFile(prefsPath);
    if (prefsExist && !prefs) {
      throw FileError("Cannot open file \"" + prefsPath + "\". " + files_.LastErrorText());
    }
    const auto own = userjs::PrefsWithOwnValues(*text, prefs.value_or(""));
    if (!own) {
      free = false;
      return;
    }
    // prefs.js first: should the user.js write fail, Firefox still reads the
    // block, which says the same.
    if (prefsExist || !own->empty()) Replace(prefsPath, *own);
    Replace(path, userjs::Tidy(*text, *own, /*prefsWrittenSince=*/true));
  });
  return free;
}

std::vector<std::string> FirefoxProxy::OpenProfiles() {
  std::vector<std::string> open;
  for (std::string& profile : Profiles()) {
    if (browsers::FirefoxRunsOn(files_, profile + "\\")) open.push_back(std::move(profile));
  }
  return open;
}

bool FirefoxProxy::Installed() {
  for (const std::string& profile : Profiles()) {
    const std::string path = profile + "\\user.js";
    if (!files_.FileExists(path)) continue;
    const auto text = files_.ReadFile(path);
    if (text && userjs::StateOf(*text) == userjs::State::InUse) return true;
  }
  return false;
}

}  // namespace cloakwise
