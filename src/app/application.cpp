#include "app/application.h"

#include <algorithm>
#include <cstdint>

#include "app/vendor.h"

namespace cloakwise {
namespace {

// The privacy task boxes and their keys, in the order start-up loads them.
struct PrivacyOption {
  const char* key;
  ui::CheckBox ui::PrivacyView::*box;
};
constexpr PrivacyOption kPrivacyOptions[] = {
    {"opt1", &ui::PrivacyView::ieCacheBox},
    {"opt2", &ui::PrivacyView::ieTypedUrlsBox},
    {"opt3", &ui::PrivacyView::ieCookiesBox},
    {"opt4", &ui::PrivacyView::ieHistoryBox},
    {"opt11", &ui::PrivacyView::firefoxFormHistoryBox},
    {"opt5", &ui::PrivacyView::firefoxCookiesBox},
    {"opt6", &ui::PrivacyView::firefoxHistoryBox},
    {"opt7", &ui::PrivacyView::tempFilesBox},
    {"opt8", &ui::PrivacyView::recentDocumentsBox},
    {"opt9", &ui::PrivacyView::clipboardBox},
    {"opt10", &ui::PrivacyView::recycleBinBox},
};

// Minutes to a timer interval. A typed value may be anything until the field
// loses the focus; nothing below a minute runs, and nothing beyond what a
// Windows timer accepts.
std::uint32_t MinutesToInterval(int minutes) {
  if (minutes <= 0) return 0;
  const std::int64_t ms = std::int64_t{minutes} * 60000;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, 0x7FFFFFFF));
}

}  // namespace

Application::Application(PlatformServices services)
    : platform(services),
      form(services.ui),
      messageBox(services.modal),
      desktop(services.registry, services.files, services.desktop),
      systemProxy(services.registry, services.internetOptions),
      firefoxProxy(services.files, services.desktop, services.ui, messageBox) {
  Wire();
}

void Application::Wire() {
  form.options.runAtStartupBox.onChange = [this] { OnRunAtStartupChanged(); };
  form.options.runAtStartupCaption.onClick = [this] { form.options.runAtStartupBox.Toggle(); };
  form.options.rotateEveryBox.onChange = [this] { OnRotateEveryChanged(); };
  form.options.rotateEveryCaption.onClick = [this] { form.options.rotateEveryBox.Toggle(); };
  form.options.minutesCaption.onClick = [this] { form.options.rotateEveryBox.Toggle(); };
  form.options.firefoxBox.onChange = [this] { OnFirefoxOptionChanged(); };
  form.options.firefoxCaption.onClick = [this] { form.options.firefoxBox.Toggle(); };
  form.options.rotationMinutesField.onChange = [this] { OnRotationMinutesChanged(); };
  form.options.speedSlider.onChange = [this] { OnSpeedChanged(); };
  form.options.securitySlider.onChange = [this] { OnSecurityChanged(); };
  form.options.cleanAtStartupBox.onChange = [this] { OnCleanAtStartupChanged(); };
  form.options.cleanAtStartupCaption.onClick = [this] { form.options.cleanAtStartupBox.Toggle(); };
  form.options.saveButton.onClick = [this] { ConfirmSaved(); };
  form.options.securityHelpButton.onClick = [this] { desktop.OpenOptionsHelp(); };
  form.options.speedHelpButton.onClick = [this] { desktop.OpenOptionsHelp(); };
  for (const PrivacyOption& option : kPrivacyOptions) {
    ui::CheckBox& box = form.privacy.*option.box;
    box.onChange = [this, &option, &box] { WritePrivacyOption(option.key, box); };
  }

  form.mainMenu.browseAnonymouslyItem.onClick = [this] { desktop.BrowseAnonymously(); };
  form.mainMenu.whatIsMyIpItem.onClick = [this] { desktop.OpenIpEchoPage(); };
  form.mainMenu.proxyCheckerItem.onClick = [this] {
    ShowMainWindow(), ShowView(ui::View::Checker);
  };
  form.mainMenu.privacyItem.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Privacy); };
  form.mainMenu.optionsItem.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Options); };
  form.mainMenu.helpItem.onClick = [this] { desktop.OpenHelp(); };
  form.mainMenu.aboutItem.onClick = [this] { ShowAbout(); };
  form.mainMenu.closeItem.onClick = [this] { CloseProgram(); };

  about.close.onClick = [this] { about.window.SetVisible(false); };
  messageBox.vendorLink.onClick = [this] { desktop.OpenWithShell(kVendorHomePage); };
}

void Application::Startup(const std::vector<std::string>& args) {
  // 1. The folder of the executable, always with a trailing backslash.
  const std::string exe = platform.desktop.ExecutablePath();
  const auto slash = exe.find_last_of('\\');
  exeFolder_ = slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
  if (exeFolder_.empty() || exeFolder_.back() != '\\') exeFolder_ += '\\';

  // 2-3. The windows exist (their models are members) and start hidden.
  // 4. "/startup", compared exactly, leaves only the tray icon.
  if (args.empty() || args.front() != "/startup") form.window.SetVisible(true);

  // 5.
  form.status.localAddressLabel.SetCaption(desktop.GetLocalAddress());

  // 6.
  settings_ = std::make_unique<SettingsStore>(platform.files, exeFolder_ + "options.ini");
  SettingsStore& store = *settings_;

  // 7. First run, also for a file that has lost its StartUp key.
  if (!store.ValueExists(kOptions, "StartUp")) {
    store.WriteBool(kOptions, "StartUp", true);
    store.WriteBool(kOptions, "Firefox", false);
    desktop.SetRunAtStartup(true);
  }

  // 8.
  proxyActive_ = false;
  form.trayIcon.SetIconSet(ui::TrayIcon::IconSet::Idle);

  // 9. Each assignment that changes a control runs its handler, which writes
  // the value back (and, for the run-at-startup box, registers the Run value again).
  form.options.runAtStartupBox.SetChecked(store.ReadBool(kOptions, "StartUp", false));
  form.options.firefoxBox.SetChecked(store.ReadBool(kOptions, "Firefox", false));
  form.status.firefoxHiddenBadge.SetVisible(form.options.firefoxBox.Checked());
  form.options.rotationMinutesField.SetValue(store.ReadInteger(kOptions, "ProxyChange", 10));
  form.options.securitySlider.SetPosition(store.ReadInteger(kOptions, "ProxyType", 1));
  // In 64 bits: a stored minimum integer less five must not wrap around.
  const std::int64_t speed = std::int64_t{store.ReadInteger(kOptions, "Timeout", 9)} - 5;
  if (speed >= form.options.speedSlider.Min() && speed <= form.options.speedSlider.Max()) {
    form.options.speedSlider.SetPosition(static_cast<int>(speed));
  }
  form.options.rotateEveryBox.SetChecked(store.ReadBool(kOptions, "Change1", false));

  // 10. The rotation timer always runs; each tick decides whether to rotate.
  form.rotationTimer.SetInterval(MinutesToInterval(form.options.rotationMinutesField.Value()));
  form.rotationTimer.SetEnabled(true);

  // 11.
  form.options.cleanAtStartupBox.SetChecked(store.ReadBool(kOptions, "PC-clean", false));
  for (const PrivacyOption& option : kPrivacyOptions) {
    (form.privacy.*option.box).SetChecked(store.ReadBool(kOptions, option.key, true));
  }

  // 12. The clean-up at start and 13. the custom proxy list are added here
  // when those features are built.
}

void Application::OnRunAtStartupChanged() {
  settings_->WriteBool(kOptions, "StartUp", form.options.runAtStartupBox.Checked());
  desktop.SetRunAtStartup(form.options.runAtStartupBox.Checked());
}

void Application::OnRotateEveryChanged() {
  settings_->WriteBool(kOptions, "Change1", form.options.rotateEveryBox.Checked());
}

void Application::OnFirefoxOptionChanged() {
  settings_->WriteBool(kOptions, "Firefox", form.options.firefoxBox.Checked());
  form.status.firefoxHiddenBadge.SetVisible(form.options.firefoxBox.Checked());
}

void Application::OnRotationMinutesChanged() {
  settings_->WriteInteger(kOptions, "ProxyChange", form.options.rotationMinutesField.Value());
  form.rotationTimer.SetEnabled(false);
  form.rotationTimer.SetInterval(MinutesToInterval(form.options.rotationMinutesField.Value()));
  form.rotationTimer.SetEnabled(true);
}

void Application::OnSpeedChanged() {
  settings_->WriteInteger(kOptions, "Timeout", form.options.speedSlider.Position() + 5);
}

void Application::OnSecurityChanged() {
  settings_->WriteInteger(kOptions, "ProxyType", form.options.securitySlider.Position());
}

void Application::OnCleanAtStartupChanged() {
  settings_->WriteBool(kOptions, "PC-clean", form.options.cleanAtStartupBox.Checked());
}

void Application::WritePrivacyOption(const char* key, const ui::CheckBox& box) {
  settings_->WriteBool(kOptions, key, box.Checked());
}

void Application::ConfirmSaved() {
  messageBox.ShowMessageBox("Options", "Saved!");
}

void Application::ShowMainWindow() {
  form.window.SetVisible(true);
}

void Application::ShowView(ui::View view) {
  // Without Firefox profiles the Firefox options cannot do anything: grey
  // them out and store them as off. Nothing turns them on again while the
  // program runs.
  const std::string profiles = FirefoxProfilesFolder(platform.desktop);
  const bool noFirefox = profiles.empty() || !platform.files.ListDirectory(profiles).has_value();
  if (view == ui::View::Privacy && noFirefox) {
    form.privacy.firefoxCookiesCaption.SetEnabled(false);
    form.privacy.firefoxHistoryCaption.SetEnabled(false);
    form.privacy.firefoxCookiesBox.SetChecked(false);
    form.privacy.firefoxHistoryBox.SetChecked(false);
    form.privacy.firefoxCookiesBox.SetEnabled(false);
    form.privacy.firefoxHistoryBox.SetEnabled(false);
  }
  if (view == ui::View::Options && noFirefox) {
    form.options.firefoxCaption.SetEnabled(false);
    form.options.firefoxBox.SetChecked(false);
    form.options.firefoxBox.SetEnabled(false);
  }
  // Views beyond the four known ones change nothing else.
  if (view < ui::View::Status || view > ui::View::Checker) return;
  form.view.Set(view);
}

void Application::ShowAbout() {
  about.window.SetVisible(true);
}

void Application::OnMainMenuOpening() {
  form.mainMenu.startStopItem.SetCaption(proxyActive_ ? "Stop" : "Start");
}

bool Application::PrepareToClose() {
  // No proxy the program installed may outlive it, in either browser.
  systemProxy.SetSystemProxy("", "");
  try {
    firefoxProxy.SetFirefoxProxy("", false, false);
  } catch (const FileError& e) {
    // A profile still holds the proxy: say so and keep running, so that the
    // user can close Firefox and try again.
    platform.desktop.ShowError(e.what());
    return false;
  }
  platform.ui.ProcessMessages();
  return true;
}

void Application::CloseProgram() {
  if (!PrepareToClose()) return;
  form.window.SetVisible(false);
  platform.ui.ProcessMessages();
  platform.desktop.QuitApplication();
}

}  // namespace cloakwise
