#pragma once

#include <functional>
#include <string>

#include "activeproxy/active_proxy.h"
#include "search/proxy_search.h"
#include "ui/main_form.h"

namespace cloakwise::search {

// Switches the hidden address on and off and keeps it rotating: START/STOP,
// "Change IP now" and the rotation timer's tick. Whether the protection is
// on, and what is in use, is the active proxy's to know.
//
// User-interface thread only.
class Rotation {
 public:
  struct Services {
    ui::MainForm& form;
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

 private:
  Services services_;
};

}  // namespace cloakwise::search
