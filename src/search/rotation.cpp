#include "search/rotation.h"

#include <exception>

namespace cloakwise::search {

Rotation::Rotation(Services services) : services_(std::move(services)) {
  ui::MainForm& form = services_.form;
  form.status.startStopButton.onClick = [this] { ToggleStartStop(); };
  form.mainMenu.startStopItem.onClick = [this] { ToggleStartStop(); };
  form.mainMenu.changeIpNowItem.onClick = [this] { ChangeProxyNow(); };
  form.rotationTimer.SetHandler([this] { OnRotationTick(); });
}

void Rotation::ToggleStartStop() {
  if (proxyActive_) {
    StopSequence();
  } else {
    StartSequence();
  }
}

void Rotation::StartSequence() {
  services_.status.ShowSearchPending();
  ChangeProxyNow();
}

void Rotation::ChangeProxyNow() {
  if (!services_.isOnline()) return;
  ui::TrayIcon& tray = services_.form.trayIcon;
  tray.ShowBalloon("Search for proxy started", "Please be patient while searching for best proxy.");
  services_.status.ShowSearching();
  proxyActive_ = true;
  try {
    services_.search.StartBatch();
  } catch (const std::exception&) {
    // The proxy in use, if any, stays installed and shown.
    services_.status.ShowStopped(/*proxyCleared=*/false);
    tray.ShowBalloon("Error while connecting", "Please check your Internet connection");
    proxyActive_ = false;
  }
}

void Rotation::StopSequence() {
  services_.search.Stop();
  proxyActive_ = false;
  services_.status.ShowStopped(/*proxyCleared=*/true);
  services_.systemProxy.ClearProgramProxy();
  // Whatever the Firefox option says now: it may have been on when the
  // proxy went in.
  try {
    services_.firefoxProxy.SetFirefoxProxy("", false, false);
  } catch (const std::exception& e) {
    services_.showError(e.what());
  }
  services_.form.trayIcon.ShowBalloon("Proxy changed", "Anonymity deactivated");
}

void Rotation::OnRotationTick() {
  if (services_.form.options.rotateEveryBox.Checked() &&
      services_.form.status.startStopButton.Caption() == "STOP") {
    ChangeProxyNow();
  }
}

}  // namespace cloakwise::search
