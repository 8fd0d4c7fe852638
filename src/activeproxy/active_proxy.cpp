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

bool ActiveProxy::Put(const ProxyChoice& choice) {
  const std::uint64_t install = ++installs_;
  // Firefox first, then Windows, then the notice: while "Proxy changed"
  // waits for OK, every browser already goes through the new proxy.
  int profiles = 0;
  std::optional<std::string> firefoxError;
  try {
    if (services_.firefoxWanted()) {
      profiles = services_.firefoxProxy.Install(choice.address);
      firefoxInUse_ = profiles > 0;
    } else {
      // The option went off while an earlier proxy was in Firefox: Firefox
      // is the user's again.
      services_.firefoxProxy.Restore();
      firefoxInUse_ = false;
    }
  } catch (const FileError& e) {
    firefoxError = e.what();
    firefoxInUse_ = services_.firefoxProxy.Installed();
  }
  services_.systemProxy.Install(choice.address);
  inUse_ = choice.address;
  shown_ = choice;
  state_ = State::InUse;
  services_.status.ShowProxyInUse(choice.address.host, choice.description, choice.anonymity,
                                  choice.speed);
  ShowBadges();
  services_.form.trayIcon.ShowBalloon("Proxy changed", choice.balloonText);
  // The box comes once this install has returned, and only while its proxy
  // is still the one in use. It runs the window's messages: a STOP or Close
  // may come from it, and nothing of this install follows it.
  if (!firefoxError && profiles == 0) return true;
  services_.ui.Post([this, install, firefoxError] {
    if (install != installs_ || state_ != State::InUse) return;
    if (firefoxError) {
      services_.showError(*firefoxError);
    } else {
      services_.showNotice("Proxy changed",
                           "If your Firefox browser is opened, you should restart it to activate "
                           "the new proxy settings.");
    }
  });
  return true;
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
