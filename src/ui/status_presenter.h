#pragma once

#include <string>

#include "ui/main_form.h"

namespace cloakwise::ui {

// What the status view, the tray icon and the main menu show of the proxy:
// the one place that knows which indicator, caption and icon set go with
// "searching", "proxy in use" and "stopped", so every feature that starts,
// finds or drops a proxy shows it the same way.
//
// User-interface thread only.
class StatusPresenter {
 public:
  StatusPresenter(MainForm& form, platform::UiThread& ui);

  // The button reads STOP and the Searching indicator blinks; the tray is
  // left as it is (a start that still waits for a connection).
  void ShowSearchPending();
  // A search runs: as above, with the speed and anonymity of the old proxy
  // gone, the browse items hidden, and the tray animating its search icons.
  void ShowSearching();
  // The proxy in use stopped answering and another is being looked for: as
  // searching, and the view says why.
  void ShowNotAnswering();
  // proxy is host:port; description and anonymity are shown as given.
  void ShowProxyInUse(const std::string& proxy, const std::string& description,
                      const std::string& anonymity, int speed);
  // Rotation off, nothing of the old proxy on view, the tray's idle icon.
  void ShowStopped();
  // Rotation off while the proxy given stays installed (a search that could
  // not start): its address and description stay on view.
  void ShowStoppedKeepingProxy(const std::string& proxy, const std::string& description);
  // The browser badges: each shows "HIDDEN" only while that browser's
  // settings send it through the program's proxy.
  void ShowBrowsersHidden(bool windows, bool firefox);
  // The batch under probe: "Searching in..." and the candidates' origins.
  void ShowSearchingIn(const std::string& batch);
  // This machine's own address, as the service saw it.
  void ShowLocalAddress(const std::string& address);
  // A balloon from the tray icon, for what happens while the window may be
  // hidden.
  void ShowBalloon(const std::string& title, const std::string& text);
  // The blink timer's tick: Searching on for a second, off for a second.
  void OnBlinkTick();
  // For the tests alone: TEST_ names keep the program's own code off them.
  const Timer& TEST_BlinkTimer() const { return blinkTimer_; }

 private:
  void ShowIndicator(Picture* shown);

  MainForm& form_;
  Timer blinkTimer_;
};

}  // namespace cloakwise::ui
