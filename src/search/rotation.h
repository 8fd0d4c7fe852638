#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "activeproxy/active_proxy.h"
#include "core/settings_store.h"
#include "search/proxy_search.h"
#include "ui/controls.h"
#include "ui/status_presenter.h"

namespace cloakwise::search {

// Switches the hidden address on and off and keeps it rotating: START/STOP,
// "Change IP now" and the rotation timer's tick. Whether the protection is
// on, and what is in use, is the active proxy's to know.
//
// User-interface thread only.
class Rotation {
 public:
  // START/STOP and the main menu's two items, which it answers.
  struct Controls {
    ui::Label& startStopButton;
    ui::MenuItem& startStopItem;
    ui::MenuItem& changeIpNowItem;
  };
  struct Services {
    Controls controls;
    ui::StatusPresenter& status;
    SettingsStore& settings;
    platform::UiThread& ui;
    ActiveProxy& activeProxy;
    ProxySearch& search;
    std::function<bool()> isOnline;
  };

  explicit Rotation(Services services);

  // START/STOP and the main menu's "Stop/Start".
  void ToggleStartStop();
  void StartSequence();
  void StopSequence();
  // Starts a search at once; does nothing at all while offline.
  void ChangeProxyNow();
  // Every few minutes: a new search while "Change the proxy every" is on and
  // the rotation is started.
  void OnRotationTick();
  // The fetch that a start, "Change IP now" or a tick waited for failed.
  void OnStartFailed();

  // The ticks come every intervalMs from now on (none at 0); each decides
  // whether to rotate, so they run whether rotation is on or not.
  void ScheduleTicks(std::uint32_t intervalMs);
  // A proxy went in use: the next tick is a whole interval from now.
  void RestartTicks() { ScheduleTicks(interval_); }
  // Before what a tick calls is gone.
  void StopTicks() { timer_.SetEnabled(false); }
  // For the tests alone: TEST_ names keep the program's own code off them.
  const ui::Timer& TEST_TickTimer() const { return timer_; }

 private:
  Services services_;
  ui::Timer timer_;
  std::uint32_t interval_ = 0;
};

}  // namespace cloakwise::search
