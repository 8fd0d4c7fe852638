#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "activeproxy/active_proxy.h"
#include "app/desktop_integration.h"
#include "app/options_controller.h"
#include "browserproxy/firefox_proxy.h"
#include "browserproxy/system_proxy.h"
#include "checker/list_checker.h"
#include "cleanup/privacy_cleanup.h"
#include "core/settings_store.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/internet_options.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sqlite.h"
#include "platform/ui_thread.h"
#include "platform/url_cache.h"
#include "search/proxy_search.h"
#include "search/proxy_watch.h"
#include "search/rotation.h"
#include "ui/main_form.h"
#include "ui/message_box.h"
#include "ui/paste_list_form.h"
#include "ui/status_presenter.h"

namespace cloakwise {

// What the program is built from: the real Windows layer in cloakwise.exe,
// recording fakes in the native tests.
struct PlatformServices {
  platform::Registry& registry;
  platform::InternetOptions& internetOptions;
  platform::FileSystem& files;
  platform::UiThread& ui;
  platform::Desktop& desktop;
  ui::ModalHost& modal;
  platform::Shell& shell;
  platform::UrlCache& urlCache;
  platform::Sqlite& sqlite;
  // Milliseconds for the probes' speed; the steady clock unless a test
  // supplies one.
  std::function<std::int64_t()> tickCount = {};
  // The paste window; without one, "Add Proxy" adds nothing.
  ui::PasteListHost* pasteList = nullptr;
  // How the watch asks whether the proxy in use still answers; the judge's
  // probes unless a test supplies its own.
  search::ProxyWatch::Probe watchProbe = {};
};

// The composition root: owns the windows' models, the services and the
// feature controllers, runs start-up and exit, and wires the controls that
// belong to no feature.
//
// User-interface thread only.
class Application {
  // Always with a trailing backslash, so that file names can be appended.
  std::string exeFolder_;
  // Before the controllers, which get it as they are made, and so outliving
  // every controller and worker that reads it.
  std::unique_ptr<SettingsStore> settings_;

 public:
  explicit Application(PlatformServices services);
  // Stops the timers and the search before anything they call is gone.
  ~Application();

  // Start-up up to the message loop. Throws SettingsWriteError when the
  // settings file cannot be written; the caller shows it and ends.
  void Startup(const std::vector<std::string>& args);

  // Showing, hiding and ending.
  void ShowMainWindow();
  void ShowView(ui::View view);
  void ShowAbout();
  void OnMainMenuOpening();
  void CloseProgram();
  // Asked before the main window closes, and when Windows ends the session:
  // stops the search and puts back the user's own proxy settings in both
  // browsers; from then on nothing is installed. False keeps the program
  // running: a profile that cannot be put back keeps it running once, with
  // the error shown; the next close ends it. When the session ends, nothing
  // waits for the user and the session always may end.
  bool PrepareToClose(bool sessionEnding = false);
  // Windows went on with the session after asking to end it.
  void SessionEndCancelled();

  // For the tests alone: TEST_ names keep the program's own code off them.
  const std::string& TEST_ExecutableFolder() const { return exeFolder_; }
  SettingsStore& TEST_Settings() { return *settings_; }
  bool TEST_ProxyActive() const { return activeProxy.Protecting(); }

  PlatformServices platform;
  ui::MainForm form;
  ui::MessageBoxForm messageBox;
  ui::AboutForm about;
  ui::StatusPresenter status;
  DesktopIntegration desktop;
  SystemProxy systemProxy;
  FirefoxProxy firefoxProxy;
  ChromiumWebRtc chromiumWebRtc;
  ActiveProxy activeProxy;
  OptionsController options;
  // The rotation is built before the search it drives and so outlives it:
  // a worker's end may still run the window's messages.
  search::Rotation rotation;
  search::ProxySearch search;
  search::ProxyWatch watch;
  std::unique_ptr<ui::PasteListForm> pasteListForm;
  checker::ListChecker listChecker;
  cleanup::PrivacyCleanup privacyCleanup;

 private:
  void Wire();

  // Start-up, in this order.
  void ShowWindowUnlessStartedWithWindows(const std::vector<std::string>& args);
  void ShowLocalAddress();
  void WriteFirstRunDefaults();
  void RestoreSettingsLeftByEarlierRun();
  void CleanUpIfAskedTo();
  void LoadCustomProxyList();
};

}  // namespace cloakwise
