#include "app/application.h"

#include "app/vendor.h"
#include "core/option_keys.h"

namespace cloakwise {
namespace {

std::string FolderOf(const std::string& exe) {
  const auto slash = exe.find_last_of('\\');
  std::string folder = slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

Application::Application(PlatformServices services)
    : exeFolder_(FolderOf(services.desktop.ExecutablePath())),
      settings_(std::make_unique<SettingsStore>(services.files, exeFolder_ + "options.ini")),
      platform(services),
      form(services.ui),
      messageBox(services.modal),
      status(form, services.ui),
      desktop(services.registry, services.files, services.desktop),
      systemProxy(services.registry, services.internetOptions),
      firefoxProxy(services.files, services.desktop),
      chromiumWebRtc(services.files, services.shell, services.registry),
      activeProxy({status, services.ui, systemProxy, firefoxProxy, chromiumWebRtc,
                   [this] { return settings_->ReadBool(kOptionsSection, kKeyFirefox, false); },
                   [this](const std::string& title, const std::string& text) {
                     messageBox.ShowMessageBox(title, text);
                   },
                   [this](const std::string& text) { platform.desktop.ShowError(text); },
                   [this](const std::string& text) { platform.desktop.NoteError(text); },
                   [this](bool replacement) {
                     watch.ProxyInstalled();
                     if (replacement) rotation.RestartTicks();
                   }}),
      options(
          form.options, desktop, messageBox, *settings_,
          [this](std::uint32_t intervalMs) { rotation.ScheduleTicks(intervalMs); },
          [this] { activeProxy.FirefoxOptionChanged(); }),
      rotation({{form.status.startStopButton, form.mainMenu.startStopItem,
                 form.mainMenu.changeIpNowItem},
                status,
                *settings_,
                services.ui,
                activeProxy,
                search,
                [this] { return desktop.IsOnline(); }}),
      search({status, services.ui, activeProxy,
              [this](const std::string& title, const std::string& text) {
                messageBox.ShowMessageBox(title, text);
              },
              [this] { rotation.OnStartFailed(); }},
             *settings_, services.tickCount),
      watch({services.ui, activeProxy, search, *settings_, services.watchProbe}),
      pasteListForm(services.pasteList ? std::make_unique<ui::PasteListForm>(*services.pasteList)
                                       : nullptr),
      listChecker(
          {form.checker, form.listMenu, status, services.ui, activeProxy,
           [this] { return pasteListForm ? pasteListForm->AskForProxyList() : std::string(); },
           [this](const std::string& text) { return platform.desktop.SetClipboardText(text); },
           [this](const std::string& text) { platform.desktop.ShowError(text); },
           [this](const std::string& title, const std::string& text) {
             messageBox.ShowMessageBox(title, text);
           }},
          *settings_),
      privacyCleanup(form.privacy, messageBox,
                     {services.files, services.shell, services.urlCache, services.registry,
                      services.desktop, services.ui, services.sqlite},
                     *settings_) {
  Wire();
}

Application::~Application() {
  rotation.StopTicks();
  watch.Stop();
  search.Stop();
}

void Application::Wire() {
  ui::MainMenu& menu = form.mainMenu;
  menu.browseAnonymouslyItem.onClick = [this] { desktop.BrowseAnonymously(); };
  menu.whatIsMyIpItem.onClick = [this] { desktop.OpenIpEchoPage(); };
  menu.proxyCheckerItem.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Checker); };
  menu.privacyItem.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Privacy); };
  menu.optionsItem.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Options); };
  menu.helpItem.onClick = [this] { desktop.OpenHelp(); };
  menu.aboutItem.onClick = [this] { ShowAbout(); };
  menu.closeItem.onClick = [this] { CloseProgram(); };

  about.close.onClick = [this] { about.window.SetVisible(false); };
  messageBox.vendorLink.onClick = [this] { desktop.OpenWithShell(kVendorHomePage); };
}

void Application::Startup(const std::vector<std::string>& args) {
  ShowWindowUnlessStartedWithWindows(args);
  ShowLocalAddress();
  WriteFirstRunDefaults();
  RestoreSettingsLeftByEarlierRun();
  options.ApplyStoredOptions();
  privacyCleanup.ApplyStoredChoices();
  CleanUpIfAskedTo();
  LoadCustomProxyList();
}

// Before the message loop, without the confirmation: nobody may be at the
// screen when Windows starts the program.
void Application::CleanUpIfAskedTo() {
  if (form.options.cleanAtStartupBox.Checked()) privacyCleanup.Run(true);
}

void Application::LoadCustomProxyList() {
  listChecker.LoadCustomProxyList();
}

// The windows exist already (their models are members) and start hidden.
// "/startup", compared exactly, is how the Run value starts the program: then
// only the tray icon appears.
void Application::ShowWindowUnlessStartedWithWindows(const std::vector<std::string>& args) {
  if (args.empty() || args.front() != "/startup") form.window.SetVisible(true);
}

void Application::ShowLocalAddress() {
  form.status.localAddressLabel.SetCaption(desktop.GetLocalAddress());
}

// Also for a file that has lost its StartUp key.
void Application::WriteFirstRunDefaults() {
  if (settings_->ValueExists(kOptionsSection, kKeyRunAtStartup)) return;
  settings_->WriteBool(kOptionsSection, kKeyRunAtStartup, true);
  settings_->WriteBool(kOptionsSection, kKeyFirefox, false);
  desktop.SetRunAtStartup(true);
}

// A proxy that an earlier run installed and could not take away (it was
// killed, or Windows went down) would hide nothing and may not even work any
// more; the user's own settings it replaced come back.
void Application::RestoreSettingsLeftByEarlierRun() {
  activeProxy.RestoreLeftByEarlierRun();
}

void Application::ShowMainWindow() {
  form.window.SetVisible(true);
}

void Application::ShowView(ui::View view) {
  if (view == ui::View::Privacy) privacyCleanup.ViewShown();
  if (view == ui::View::Options) options.ViewShown();
  // Views beyond the four known ones change nothing else.
  if (view < ui::View::Status || view > ui::View::Checker) return;
  form.view.Set(view);
}

void Application::ShowAbout() {
  about.window.SetVisible(true);
}

void Application::OnMainMenuOpening() {
  form.mainMenu.startStopItem.SetCaption(activeProxy.Protecting() ? "Stop" : "Start");
}

bool Application::PrepareToClose(bool sessionEnding) {
  // No proxy the program installed may outlive it, in either browser, and
  // no search may install one once it is on its way out; a clean-up under
  // way stops at its next yield.
  privacyCleanup.Stop();
  search.Stop();
  watch.Stop();
  if (!activeProxy.Close(sessionEnding)) return false;
  platform.ui.ProcessMessages();
  return true;
}

void Application::SessionEndCancelled() {
  activeProxy.CloseCancelled();
}

void Application::CloseProgram() {
  if (!PrepareToClose()) return;
  form.window.SetVisible(false);
  platform.ui.ProcessMessages();
  platform.desktop.QuitApplication();
}

}  // namespace cloakwise
