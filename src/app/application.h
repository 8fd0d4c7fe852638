#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/desktop_integration.h"
#include "app/settings_store.h"
#include "browserproxy/firefox_proxy.h"
#include "browserproxy/system_proxy.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/internet_options.h"
#include "platform/registry.h"
#include "platform/ui_thread.h"
#include "ui/main_form.h"
#include "ui/message_box.h"

namespace cloakwise {

inline constexpr char kOptions[] = "Options";

// What the program is built from: the real Windows layer in cloakwise.exe,
// recording fakes in the native tests.
struct PlatformServices {
  platform::Registry& registry;
  platform::InternetOptions& internetOptions;
  platform::FileSystem& files;
  platform::UiThread& ui;
  platform::Desktop& desktop;
  ui::ModalHost& modal;
};

// The composition root: owns the windows' models and the services, runs
// start-up, and wires every control to its handler.
class Application {
 public:
  explicit Application(PlatformServices services);

  // Start-up up to the message loop. Throws SettingsWriteError when the
  // settings file cannot be written; the caller shows it and ends.
  void Startup(const std::vector<std::string>& args);

  // Option handlers.
  void OnRunAtStartupChanged();
  void OnRotateEveryChanged();
  void OnFirefoxOptionChanged();
  void OnRotationMinutesChanged();
  void OnSpeedChanged();
  void OnSecurityChanged();
  void OnCleanAtStartupChanged();
  void ConfirmSaved();

  // Showing, hiding and ending.
  void ShowMainWindow();
  void ShowView(ui::View view);
  void ShowAbout();
  // The main menu is about to open.
  void OnMainMenuOpening();
  void CloseProgram();
  // Asked before the main window closes, and when Windows ends the session.
  bool PrepareToClose();

  const std::string& ExecutableFolder() const { return exeFolder_; }
  SettingsStore& Settings() { return *settings_; }
  bool ProxyActive() const { return proxyActive_; }
  bool CleanupAtStartup() const { return cleanupAtStartup_; }

  PlatformServices platform;
  ui::MainForm form;
  ui::MessageBoxForm messageBox;
  ui::AboutForm about;
  DesktopIntegration desktop;
  SystemProxy systemProxy;
  FirefoxProxy firefoxProxy;

 private:
  void Wire();
  void WritePrivacyOption(const char* key, const ui::CheckBox& box);

  std::string exeFolder_;
  std::unique_ptr<SettingsStore> settings_;
  bool proxyActive_ = false;
  bool cleanupAtStartup_ = false;
};

}  // namespace cloakwise
