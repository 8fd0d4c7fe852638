#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "browserproxy/chromium_webrtc.h"
#include "browserproxy/firefox_proxy.h"
#include "browserproxy/system_proxy.h"
#include "core/proxy_address.h"
#include "platform/ui_thread.h"
#include "ui/status_presenter.h"

namespace cloakwise {

// A proxy to put in use, and what the status view says of it.
struct ProxyChoice {
  ProxyAddress address;
  std::string description;  // under the address: where it is, or "Custom Proxy"
  std::string anonymity;    // "Elite Proxy", ...
  int speed = 0;            // the gauge
  std::string balloonText;  // what the "Proxy changed" balloon says of it
};

// The one owner of the proxy in use. It alone puts a proxy into the Windows
// settings and the Firefox profiles and takes it away again, saving the
// user's own settings before the program's first change and putting exactly
// those back; it alone knows what is in use, and shows it (the status view,
// the tray balloon, the browser badges), so the view says what is true. It
// holds whether the protection is on (the rotation, or a proxy the user
// chose) and, once the program is closing, installs nothing any more.
//
// Installs and restores run no window messages until they are whole. The
// Firefox restart notice, and an error of an install, come after: posted, so
// that a search worker whose report installed is not held for as long as the
// box stays up.
//
// User-interface thread only.
class ActiveProxy {
 public:
  enum class State { Stopped, WaitingForConnection, Searching, InUse };

  struct Services {
    ui::StatusPresenter& status;
    platform::UiThread& ui;
    SystemProxy& systemProxy;
    FirefoxProxy& firefoxProxy;
    ChromiumWebRtc& chromiumWebRtc;
    std::function<bool()> firefoxWanted;  // "Change Firefox proxy", read at each install
    // The restart notice, a modal box.
    std::function<void(const std::string& title, const std::string& text)> showNotice;
    std::function<void(const std::string& text)> showError;
    // Where an error goes when nobody may be asked (the session is ending).
    std::function<void(const std::string& text)> noteError;
    // A proxy went in use (replacement: in place of a dead one): the watch,
    // and after a replacement the rotation, count from it.
    std::function<void(bool replacement)> onInstalled;
  };

  explicit ActiveProxy(Services services);

  State CurrentState() const;
  // The protection is on: a search's find may be installed. Waiting for a
  // connection it is not yet.
  bool Protecting() const;
  bool Closing() const { return closing_; }
  // The proxy the program has put in the Windows settings.
  std::optional<ProxyAddress> InUse() const;
  // Counts the changes to what is in use, so a late report can tell it is.
  std::uint64_t Installs() const { return installs_; }
  // The proxy in use stopped answering and the search looks for another.
  bool Replacing() const { return std::holds_alternative<ReplacingPhase>(phase_); }

  // The watch found the proxy in use dead: a search starts, while the dead
  // proxy stays in the settings until another is put in use (the user's
  // traffic never goes direct unasked). False, doing nothing, unless a
  // proxy is in use and the protection on.
  bool ProxyStoppedAnswering();

  // Start-up: puts back what a run that was killed left in place, and shows
  // nothing in use.
  void RestoreLeftByEarlierRun();

  // START, the protection off, before it is known whether there is a
  // connection.
  void WaitForConnection();
  // A search starts: the protection is on. False, doing nothing, once the
  // program is closing.
  bool BeginSearch();
  // The search could not start: the protection is off; a proxy still
  // installed stays, and shown.
  void SearchCouldNotStart();

  // The search's best candidate: installed unless the protection is off, the
  // program is closing, or its host is already shown in use. Returns whether
  // it was installed.
  bool InstallFound(const ProxyChoice& choice);
  // "Use this proxy": the protection goes on and the user's pick is
  // installed, unless the program is closing.
  bool UseChosen(const ProxyChoice& choice);

  // STOP: the protection is off and the user's own settings are back.
  // Nothing is written when the program has nothing in use.
  void Stop();
  // Closing or the session ending: from now on nothing is installed, and the
  // user's own settings are put back. False (the program keeps running, the
  // protection off) the first time a Firefox profile cannot be put back,
  // with the error shown, so the user may close Firefox and try again; while
  // the session ends, nobody is asked and the answer is always true.
  bool Close(bool sessionEnding);
  // Windows did not end the session after all: the program runs on, stopped.
  void CloseCancelled();
  // "Change Firefox proxy" was switched while a proxy is in use: the Firefox
  // profiles follow at once, getting the proxy or their own settings back.
  void FirefoxOptionChanged();

  // The watch on the browsers the program could not reach: a Chromium one
  // that was running when the proxy went in use gets WebRTC kept to the
  // proxy once it ends (before its next start, unless it restarts within a
  // tick), a Firefox that was running counts as hidden once it has ended,
  // and a Chromium profile's own value that waits for its browser to end
  // goes back once it has.
  void OnBrowserWatchTick();
  // For the tests alone: TEST_ names keep the program's own code off them.
  const ui::Timer& TEST_BrowserWatchTimer() const { return browserWatch_; }

 private:
  // What the protection is doing and the proxy it has installed, as one
  // value: each phase holds only what can be true in it, so no flag can
  // say other than another. An installed proxy stays, in the settings and
  // on view, until another takes its place or the user's own settings come
  // back: a search that could not start, START without a connection and a
  // search for a better proxy all keep it.
  struct StoppedPhase {
    static constexpr State kState = State::Stopped;
    std::optional<ProxyChoice> installed;
  };
  struct WaitingPhase {
    static constexpr State kState = State::WaitingForConnection;
    std::optional<ProxyChoice> installed;
  };
  struct SearchingPhase {
    static constexpr State kState = State::Searching;
    std::optional<ProxyChoice> installed;
  };
  // The installed proxy is dead, and the search looks for one to take its
  // place: the user's traffic stays behind it meanwhile.
  struct ReplacingPhase {
    static constexpr State kState = State::Searching;
    ProxyChoice installed;
  };
  struct InUsePhase {
    static constexpr State kState = State::InUse;
    ProxyChoice installed;
  };
  using Phase =
      std::variant<StoppedPhase, WaitingPhase, SearchingPhase, ReplacingPhase, InUsePhase>;

  // The choice installed and on view, whatever the phase.
  const ProxyChoice* Installed() const;
  std::optional<ProxyChoice> KeepInstalled() const;

  struct FirefoxOutcome {
    bool changed = false;  // some profile now reads other settings
    std::optional<std::string> error;
  };
  bool Put(const ProxyChoice& choice);
  // Firefox as the option wants it: the proxy, or the profiles' own settings.
  FirefoxOutcome PutFirefox(const ProxyAddress& address);
  // Chromium's WebRTC kept to the proxy where it can be; what cannot is
  // for the notice.
  void PutChromium();
  // replacement: the install put a live proxy in place of a dead one, which
  // needs no restart of a Firefox that is not running.
  void TellLater(std::uint64_t install, const FirefoxOutcome& firefox, bool replacement = false);
  void WatchBrowsers();
  // Protection off, both browsers' own settings back, and the view says so;
  // the text of a Firefox failure.
  std::optional<std::string> TakeAway();
  std::optional<std::string> PutBackUserSettings();
  void ShowBadges();

  Services services_;
  Phase phase_;
  // The program's way out, whatever the phase: nothing is installed.
  bool closing_ = false;
  bool closeRefused_ = false;
  bool firefoxInUse_ = false;
  // Profiles a Firefox had open before it was given the proxy: it goes
  // around it, WebRTC too, until it ends.
  std::vector<std::string> firefoxStale_;
  std::uint64_t installs_ = 0;
  ChromiumWebRtc::Report chromium_;
  bool chromiumWaits_ = false;  // a profile's own value waits for its browser to end
  // What the user has been told since the protection went on.
  std::vector<std::string> toldRunning_;
  std::vector<std::string> toldUnusable_;
  std::vector<std::string> newlyRunning_;
  std::vector<std::string> newlyUnusable_;
  ui::Timer browserWatch_;
};

}  // namespace cloakwise
