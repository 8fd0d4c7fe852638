#include "ui/status_presenter.h"

namespace cloakwise::ui {

StatusPresenter::StatusPresenter(MainForm& form, platform::UiThread& ui)
    : form_(form), blinkTimer_(ui, 1000, false) {
  blinkTimer_.SetHandler([this] { OnBlinkTick(); });
}

void StatusPresenter::ShowIndicator(Picture* shown) {
  StatusView& status = form_.status;
  for (Picture* indicator :
       {&status.inactiveIndicator, &status.searchingIndicator, &status.activeIndicator}) {
    indicator->SetVisible(indicator == shown);
  }
}

void StatusPresenter::ShowSearchPending() {
  form_.status.startStopButton.SetCaption("STOP");
  blinkTimer_.SetEnabled(true);
  ShowIndicator(&form_.status.searchingIndicator);
}

void StatusPresenter::ShowSearching() {
  form_.status.speedGauge.SetPosition(0);
  form_.mainMenu.browseAnonymouslyItem.SetVisible(false);
  form_.mainMenu.browseSeparator.SetVisible(false);
  form_.status.anonymityLabel.SetCaption("");
  ShowSearchPending();
  form_.trayIcon.SetIconSet(TrayIcon::IconSet::Search);
  form_.trayIcon.SetCycling(true);
}

void StatusPresenter::ShowNotAnswering() {
  ShowSearching();
  form_.status.anonymityLabel.SetCaption("Not answering: finding another...");
}

void StatusPresenter::ShowProxyInUse(const std::string& proxy, const std::string& description,
                                     const std::string& anonymity, int speed) {
  StatusView& status = form_.status;
  status.proxyAddressLabel.SetCaption(proxy);
  status.proxyDescriptionLabel.SetCaption(description);
  status.anonymityLabel.SetCaption(anonymity);
  status.speedGauge.SetPosition(speed);
  status.startStopButton.SetCaption("STOP");
  blinkTimer_.SetEnabled(false);
  ShowIndicator(&status.activeIndicator);
  form_.mainMenu.browseAnonymouslyItem.SetVisible(true);
  form_.mainMenu.browseSeparator.SetVisible(true);
  form_.trayIcon.SetCycling(false);
}

void StatusPresenter::ShowStopped() {
  StatusView& status = form_.status;
  status.anonymityLabel.SetCaption("");
  blinkTimer_.SetEnabled(false);
  status.speedGauge.SetPosition(0);
  form_.trayIcon.SetIconSet(TrayIcon::IconSet::Idle);
  status.proxyAddressLabel.SetCaption("[none]");
  status.proxyDescriptionLabel.SetCaption("[none]");
  form_.mainMenu.browseAnonymouslyItem.SetVisible(false);
  form_.mainMenu.browseSeparator.SetVisible(false);
  status.startStopButton.SetCaption("START");
  ShowIndicator(&status.inactiveIndicator);
}

void StatusPresenter::ShowStoppedKeepingProxy(const std::string& proxy,
                                              const std::string& description) {
  StatusView& status = form_.status;
  status.anonymityLabel.SetCaption("");
  blinkTimer_.SetEnabled(false);
  status.proxyAddressLabel.SetCaption(proxy);
  status.proxyDescriptionLabel.SetCaption(description);
  // Nothing searches any more, and the proxy can still be browsed through.
  form_.trayIcon.SetIconSet(TrayIcon::IconSet::Idle);
  form_.trayIcon.SetCycling(false);
  form_.mainMenu.browseAnonymouslyItem.SetVisible(true);
  form_.mainMenu.browseSeparator.SetVisible(true);
  status.startStopButton.SetCaption("START");
  ShowIndicator(&status.inactiveIndicator);
}

void StatusPresenter::ShowBrowsersHidden(bool windows, bool firefox) {
  form_.status.ieHiddenBadge.SetVisible(windows);
  form_.status.firefoxHiddenBadge.SetVisible(firefox);
}

void StatusPresenter::ShowSearchingIn(const std::string& batch) {
  form_.status.proxyAddressLabel.SetCaption("Searching in...");
  form_.status.proxyDescriptionLabel.SetCaption(batch);
}

void StatusPresenter::ShowLocalAddress(const std::string& address) {
  form_.status.localAddressLabel.SetCaption(address);
}

void StatusPresenter::ShowBalloon(const std::string& title, const std::string& text) {
  form_.trayIcon.ShowBalloon(title, text);
}

void StatusPresenter::OnBlinkTick() {
  form_.status.searchingIndicator.SetVisible(!form_.status.searchingIndicator.Visible());
}

}  // namespace cloakwise::ui
