#include "search/rotation.h"

#include "core/option_keys.h"

namespace cloakwise::search {

Rotation::Rotation(Services services)
    : services_(std::move(services)), timer_(services_.ui, 0, false) {
  Controls& controls = services_.controls;
  controls.startStopButton.onClick = [this] { ToggleStartStop(); };
  controls.startStopItem.onClick = [this] { ToggleStartStop(); };
  controls.changeIpNowItem.onClick = [this] { ChangeProxyNow(); };
  timer_.SetHandler([this] { OnRotationTick(); });
}

void Rotation::ScheduleTicks(std::uint32_t intervalMs) {
  interval_ = intervalMs;
  timer_.SetEnabled(false);
  timer_.SetInterval(intervalMs);
  timer_.SetEnabled(true);
}

void Rotation::ToggleStartStop() {
  if (services_.activeProxy.Protecting()) {
    StopSequence();
  } else {
    StartSequence();
  }
}

void Rotation::StartSequence() {
  services_.activeProxy.WaitForConnection();
  ChangeProxyNow();
}

void Rotation::ChangeProxyNow() {
  if (!services_.isOnline()) return;
  if (!services_.activeProxy.BeginSearch()) return;  // the program is closing
  services_.status.ShowBalloon("Search for proxy started",
                               "Please be patient while searching for best proxy.");
  services_.search.StartBatch(BatchRequest::User);
}

void Rotation::OnStartFailed() {
  // The proxy in use, if any, stays installed and shown.
  services_.activeProxy.SearchCouldNotStart();
  services_.status.ShowBalloon("Error while connecting", "Please check your Internet connection");
}

void Rotation::StopSequence() {
  services_.search.Stop();
  services_.activeProxy.Stop();
}

void Rotation::OnRotationTick() {
  if (services_.settings.ReadBool(kOptionsSection, kKeyRotateEvery, false) &&
      services_.activeProxy.CurrentState() != ActiveProxy::State::Stopped) {
    ChangeProxyNow();
  }
}

}  // namespace cloakwise::search
