#include "activeproxy/active_proxy.h"

namespace cloakwise {

void ActiveProxy::ShowBadges() {
  services_.status.ShowBrowsersHidden(inUse_.has_value(), firefoxInUse_);
}

std::optional<std::string> ActiveProxy::TakeAway() {
  protecting_ = false;
  state_ = State::Stopped;
  const auto error = PutBackUserSettings();
  shown_.reset();
  services_.status.ShowStopped();
  ShowBadges();
  return error;
}

std::optional<std::string> ActiveProxy::PutBackUserSettings() {
  services_.systemProxy.Restore();
  inUse_.reset();
  try {
    services_.firefoxProxy.Restore();
    firefoxInUse_ = false;
  } catch (const FileError& e) {
    return e.what();
  }
  return std::nullopt;
}

void ActiveProxy::RestoreLeftByEarlierRun() {
  // Nobody may be at the screen when Windows starts the program.
  if (const auto error = PutBackUserSettings()) services_.noteError(*error);
  state_ = State::Stopped;
  services_.status.ShowStopped();
  ShowBadges();
}

void ActiveProxy::WaitForConnection() {
  state_ = State::WaitingForConnection;
  services_.status.ShowSearchPending();
}

bool ActiveProxy::BeginSearch() {
  if (closing_) return false;
  protecting_ = true;
  state_ = State::Searching;
  services_.status.ShowSearching();
  return true;
}

void ActiveProxy::SearchCouldNotStart() {
  protecting_ = false;
  state_ = State::Stopped;
  if (inUse_ && shown_) {
    services_.status.ShowStoppedKeepingProxy(shown_->address.host, shown_->description);
  } else {
    services_.status.ShowStopped();
  }
}

bool ActiveProxy::InstallFound(const ProxyChoice& choice) {
  if (closing_ || !protecting_) return false;
  // The host is what the view shows and what counts: the installed host
  // through another port is not installed again.
  if (state_ == State::InUse && inUse_ && inUse_->host == choice.address.host) return false;
  return Put(choice);
}

bool ActiveProxy::UseChosen(const ProxyChoice& choice) {
  if (closing_) return false;
  protecting_ = true;
  return Put(choice);
}

ActiveProxy::FirefoxOutcome ActiveProxy::PutFirefox(const ProxyAddress& address) {
  FirefoxOutcome outcome;
  try {
    if (services_.firefoxWanted()) {
      outcome.changed = services_.firefoxProxy.Install(address) > 0;
      firefoxInUse_ = outcome.changed;
    } else {
      // The option went off while an earlier proxy was in Firefox: Firefox
      // is the user's again.
      outcome.changed = services_.firefoxProxy.Restore();
      firefoxInUse_ = false;
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
  const FirefoxOutcome firefox = PutFirefox(choice.address);
  services_.systemProxy.Install(choice.address);
  inUse_ = choice.address;
  shown_ = choice;
  state_ = State::InUse;
  services_.status.ShowProxyInUse(choice.address.host, choice.description, choice.anonymity,
                                  choice.speed);
  ShowBadges();
  services_.form.trayIcon.ShowBalloon("Proxy changed", choice.balloonText);
  TellFirefoxLater(install, firefox);
  return true;
}

void ActiveProxy::FirefoxOptionChanged() {
  if (closing_ || !inUse_) return;
  const std::uint64_t install = ++installs_;
  const FirefoxOutcome firefox = PutFirefox(*inUse_);
  ShowBadges();
  TellFirefoxLater(install, firefox);
}

// The box comes once the change has returned, and only while nothing newer
// has been put in use since. It runs the window's messages: a STOP or Close
// may come from it, and nothing of the change follows it.
void ActiveProxy::TellFirefoxLater(std::uint64_t install, const FirefoxOutcome& firefox) {
  if (!firefox.error && !firefox.changed) return;
  services_.ui.Post([this, install, error = firefox.error] {
    if (install != installs_ || !inUse_) return;
    if (error) {
      services_.showError(*error);
    } else {
      services_.showNotice("Proxy changed",
                           "If your Firefox browser is opened, you should restart it to activate "
                           "the new proxy settings.");
    }
  });
}

void ActiveProxy::Stop() {
  const auto error = TakeAway();
  services_.form.trayIcon.ShowBalloon("Proxy changed", "Anonymity deactivated");
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
