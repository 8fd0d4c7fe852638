#include "activeproxy/active_proxy.h"

#include <algorithm>

namespace cloakwise {
namespace {

// A browser's restart takes a few seconds. The watch runs only while a
// browser the program could not reach is open, or a profile's own value
// waits; each tick reads the Chromium profiles' Preferences again.
constexpr std::uint32_t kBrowserWatchMs = 2000;

// Adds to `told` what it lacks of `names`, and returns those.
std::vector<std::string> NotTold(std::vector<std::string>& told,
                                 const std::vector<std::string>& names) {
  std::vector<std::string> fresh;
  for (const std::string& name : names) {
    if (std::find(told.begin(), told.end(), name) != told.end()) continue;
    told.push_back(name);
    fresh.push_back(name);
  }
  return fresh;
}

const ProxyChoice* Choice(const std::optional<ProxyChoice>& installed) {
  return installed ? &*installed : nullptr;
}
const ProxyChoice* Choice(const ProxyChoice& installed) { return &installed; }

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace

ActiveProxy::ActiveProxy(Services services)
    : services_(std::move(services)), browserWatch_(services_.ui, kBrowserWatchMs, false) {
  browserWatch_.SetHandler([this] { OnBrowserWatchTick(); });
}

ActiveProxy::State ActiveProxy::CurrentState() const {
  return std::visit([](const auto& phase) { return phase.kState; }, phase_);
}

bool ActiveProxy::Protecting() const {
  const State state = CurrentState();
  return state == State::Searching || state == State::InUse;
}

const ProxyChoice* ActiveProxy::Installed() const {
  return std::visit([](const auto& phase) { return Choice(phase.installed); }, phase_);
}

std::optional<ProxyChoice> ActiveProxy::KeepInstalled() const {
  if (const ProxyChoice* installed = Installed()) return *installed;
  return std::nullopt;
}

std::optional<ProxyAddress> ActiveProxy::InUse() const {
  if (const ProxyChoice* installed = Installed()) return installed->address;
  return std::nullopt;
}

// The Windows badge stands for every browser that follows the Windows
// settings: hidden only while their WebRTC goes through the proxy too.
// Behind a dead proxy nothing leaks, but nothing works either: no badge
// claims a hidden connection meanwhile.
void ActiveProxy::ShowBadges() {
  const bool behindDead = Replacing();
  services_.status.ShowBrowsersHidden(Installed() && chromium_.allKept && !behindDead,
                                      firefoxInUse_ && firefoxStale_.empty() && !behindDead);
}

bool ActiveProxy::ProxyStoppedAnswering() {
  const auto* inUse = std::get_if<InUsePhase>(&phase_);
  if (closing_ || !inUse) return false;
  phase_ = ReplacingPhase{inUse->installed};
  services_.status.ShowNotAnswering();
  ShowBadges();
  services_.status.ShowBalloon(
      "Proxy not answering",
      "Looking for a new proxy. Until one is in use, your browsers stay behind the old one and "
      "load nothing.");
  return true;
}

void ActiveProxy::PutChromium() {
  chromium_ = services_.chromiumWebRtc.Install();
  for (std::string& name : NotTold(toldRunning_, chromium_.running))
    newlyRunning_.push_back(std::move(name));
  for (std::string& path : NotTold(toldUnusable_, chromium_.unusable))
    newlyUnusable_.push_back(std::move(path));
  WatchBrowsers();
}

void ActiveProxy::WatchBrowsers() {
  browserWatch_.SetEnabled(
      (Installed() && (!chromium_.running.empty() || !firefoxStale_.empty())) || chromiumWaits_);
}

void ActiveProxy::OnBrowserWatchTick() {
  if (Installed()) {
    // Boxes come with a proxy put in use; the badge tells what a tick finds.
    std::erase_if(firefoxStale_, [open = services_.firefoxProxy.OpenProfiles()](
                                     const std::string& p) {
      return std::find(open.begin(), open.end(), p) == open.end();
    });
    PutChromium();
    newlyRunning_.clear();
    newlyUnusable_.clear();
    ShowBadges();
  } else {
    chromiumWaits_ = services_.chromiumWebRtc.Restore();
    WatchBrowsers();
  }
}

std::optional<std::string> ActiveProxy::TakeAway() {
  phase_ = StoppedPhase{};
  const auto error = PutBackUserSettings();
  services_.status.ShowStopped();
  ShowBadges();
  return error;
}

std::optional<std::string> ActiveProxy::PutBackUserSettings() {
  services_.systemProxy.Restore();
  chromiumWaits_ = services_.chromiumWebRtc.Restore();
  chromium_ = {};
  firefoxStale_.clear();
  toldRunning_.clear();
  toldUnusable_.clear();
  WatchBrowsers();
  try {
    services_.firefoxProxy.Restore();
    firefoxInUse_ = false;
  } catch (const FileError& e) {
    return e.what();
  }
  return std::nullopt;
}

void ActiveProxy::RestoreLeftByEarlierRun() {
  phase_ = StoppedPhase{};
  // Nobody may be at the screen when Windows starts the program.
  if (const auto error = PutBackUserSettings()) services_.noteError(*error);
  services_.status.ShowStopped();
  ShowBadges();
}

void ActiveProxy::WaitForConnection() {
  phase_ = WaitingPhase{KeepInstalled()};
  services_.status.ShowSearchPending();
}

bool ActiveProxy::BeginSearch() {
  if (closing_) return false;
  // "Change IP now" while a dead proxy waits for its replacement: the find
  // still takes its place.
  if (!Replacing()) phase_ = SearchingPhase{KeepInstalled()};
  services_.status.ShowSearching();
  return true;
}

void ActiveProxy::SearchCouldNotStart() {
  phase_ = StoppedPhase{KeepInstalled()};
  if (const ProxyChoice* kept = Installed()) {
    services_.status.ShowStoppedKeepingProxy(kept->address.host, kept->description);
  } else {
    services_.status.ShowStopped();
  }
}

bool ActiveProxy::InstallFound(const ProxyChoice& choice) {
  if (closing_ || !Protecting()) return false;
  // The host is what the view shows and what counts: the installed host
  // through another port is not installed again.
  const auto* inUse = std::get_if<InUsePhase>(&phase_);
  if (inUse && inUse->installed.address.host == choice.address.host) return false;
  return Put(choice);
}

bool ActiveProxy::UseChosen(const ProxyChoice& choice) {
  if (closing_) return false;
  return Put(choice);
}

ActiveProxy::FirefoxOutcome ActiveProxy::PutFirefox(const ProxyAddress& address) {
  FirefoxOutcome outcome;
  try {
    if (services_.firefoxWanted()) {
      const bool wasInUse = firefoxInUse_;
      outcome.changed = services_.firefoxProxy.Install(address) > 0;
      firefoxInUse_ = outcome.changed;
      // A Firefox that already had the program's proxy keeps going through
      // one of the program's: only those that had none are behind.
      if (!wasInUse) firefoxStale_ = services_.firefoxProxy.OpenProfiles();
    } else {
      // The option went off while an earlier proxy was in Firefox: Firefox
      // is the user's again.
      outcome.changed = services_.firefoxProxy.Restore();
      firefoxInUse_ = false;
      firefoxStale_.clear();
    }
  } catch (const FileError& e) {
    outcome.error = e.what();
    firefoxInUse_ = services_.firefoxProxy.Installed();
  }
  return outcome;
}

bool ActiveProxy::Put(const ProxyChoice& choice) {
  const std::uint64_t install = ++installs_;
  // Firefox first, then Windows, then the notice: while "Proxy changed"
  // waits for OK, every browser already goes through the new proxy.
  const bool replacement = Replacing();
  const FirefoxOutcome firefox = PutFirefox(choice.address);
  phase_ = InUsePhase{choice};
  PutChromium();
  services_.systemProxy.Install(choice.address);
  services_.status.ShowProxyInUse(choice.address.host, choice.description, choice.anonymity,
                                  choice.speed);
  ShowBadges();
  services_.status.ShowBalloon("Proxy changed", choice.balloonText);
  TellLater(install, firefox, replacement);
  if (services_.onInstalled) services_.onInstalled(replacement);
  return true;
}

void ActiveProxy::FirefoxOptionChanged() {
  const ProxyChoice* installed = Installed();
  if (closing_ || !installed) return;
  const std::uint64_t install = ++installs_;
  const FirefoxOutcome firefox = PutFirefox(installed->address);
  ShowBadges();
  TellLater(install, firefox);
}

// The box comes once the change has returned, and only while nothing newer
// has been put in use since. It runs the window's messages: a STOP or Close
// may come from it, and nothing of the change follows it. One box says all:
// a second would not show while the first is up. A Chromium browser is
// named once while the protection stays on.
void ActiveProxy::TellLater(std::uint64_t install, const FirefoxOutcome& firefox,
                            bool replacement) {
  std::optional<std::string> error = firefox.error;
  for (const std::string& path : newlyUnusable_) {
    error = (error ? *error + "\r\n\r\n" : std::string()) + "Cannot change file \"" + path +
            "\": the browser's settings there cannot be read. Web pages may learn your address "
            "through WebRTC in that profile.";
  }
  std::vector<std::string> notice;
  // A Firefox that starts later reads the new proxy anyway.
  if (firefox.changed && (!replacement || !services_.firefoxProxy.OpenProfiles().empty())) {
    notice.push_back(
        "If your Firefox browser is opened, you should restart it to activate the new proxy "
        "settings.");
  }
  if (!newlyRunning_.empty()) {
    const bool one = newlyRunning_.size() == 1;
    notice.push_back(JoinNames(newlyRunning_) + (one ? " is" : " are") +
                     " open: restart " + (one ? "it" : "them") +
                     " so that web pages cannot learn your address through WebRTC.");
  }
  newlyRunning_.clear();
  newlyUnusable_.clear();
  if (!error && notice.empty()) return;
  std::string text;
  for (const std::string& part : notice) text += (text.empty() ? "" : "\r\n\r\n") + part;
  services_.ui.Post([this, install, error, text] {
    if (install != installs_ || !Installed()) return;
    if (error) {
      services_.showError(*error);
    } else {
      services_.showNotice("Proxy changed", text);
    }
  });
}

void ActiveProxy::Stop() {
  const auto error = TakeAway();
  services_.status.ShowBalloon("Proxy changed", "Anonymity deactivated");
  if (error) services_.showError(*error);
}

bool ActiveProxy::Close(bool sessionEnding) {
  closing_ = true;
  const auto error = TakeAway();
  if (!error) return true;
  // A box would hold up the log-off; the system's debug log keeps it.
  if (sessionEnding) {
    services_.noteError(*error);
    return true;
  }
  // A profile still holds the proxy: say so and keep running, so that the
  // user can close Firefox and try again. A profile that can never be
  // written must not keep the program from ending: the next close ends it.
  if (closeRefused_) return true;
  closeRefused_ = true;
  closing_ = false;
  services_.showError(*error);
  return false;
}

void ActiveProxy::CloseCancelled() {
  closing_ = false;
}

}  // namespace cloakwise
