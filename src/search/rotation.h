#pragma once

#include <functional>
#include <string>

#include "browserproxy/firefox_proxy.h"
#include "browserproxy/system_proxy.h"
#include "search/proxy_search.h"
#include "ui/main_form.h"
#include "ui/status_presenter.h"

namespace cloakwise::search {

// Switches the hidden address on and off and keeps it rotating: START/STOP,
// "Change IP now" and the rotation timer's tick. Owns whether the rotation is
// on (ProxyActive).
//
// User-interface thread only.
class Rotation {
 public:
  struct Services {
    ui::MainForm& form;
    ui::StatusPresenter& status;
    ProxySearch& search;
    SystemProxy& systemProxy;
    FirefoxProxy& firefoxProxy;
    std::function<bool()> isOnline;
    std::function<void(const std::string& text)> showError;
  };

  explicit Rotation(Services services);

  // START/STOP and the main menu's "Stop/Start".
  void ToggleStartStop();
  void StartSequence();
  void StopSequence();
  // Starts a search at once; does nothing at all while offline.
  void ChangeProxyNow();
  // Every few minutes: a new search while "Change the proxy every" is on and
  // the button reads STOP.
  void OnRotationTick();

  bool ProxyActive() const { return proxyActive_; }
  // A proxy chosen elsewhere (the user's own list) is in use.
  void SetProxyActive(bool active) { proxyActive_ = active; }

 private:
  Services services_;
  bool proxyActive_ = false;
};

}  // namespace cloakwise::search
