#include "app/application.h"

#include <algorithm>
#include <cstdint>

#include "app/vendor.h"

namespace cloakwise {
namespace {

// The privacy task boxes and their keys, in the order start-up loads them.
struct PrivacyOption {
  const char* key;
  ui::CheckBox ui::MainForm::*box;
};
constexpr PrivacyOption kPrivacyOptions[] = {
    {"opt1", &ui::MainForm::CheckBox2},  {"opt2", &ui::MainForm::CheckBox3},
    {"opt3", &ui::MainForm::CheckBox4},  {"opt4", &ui::MainForm::CheckBox8},
    {"opt11", &ui::MainForm::CheckBox12}, {"opt5", &ui::MainForm::CheckBox10},
    {"opt6", &ui::MainForm::CheckBox9},  {"opt7", &ui::MainForm::CheckBox11},
    {"opt8", &ui::MainForm::CheckBox1},  {"opt9", &ui::MainForm::CheckBox6},
    {"opt10", &ui::MainForm::CheckBox5},
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
  form.ch1.onChange = [this] { ch1Click(); };
  form.Label12.onClick = [this] { form.ch1.Toggle(); };
  form.ch2.onChange = [this] { ch2Click(); };
  form.Label11.onClick = [this] { form.ch2.Toggle(); };
  form.Label9.onClick = [this] { form.ch2.Toggle(); };
  form.ch3.onChange = [this] { ch3Click(); };
  form.Label10.onClick = [this] { form.ch3.Toggle(); };
  form.cntmin.onChange = [this] { cntminChange(); };
  form.FatScrollBar1.onChange = [this] { FatScrollBar1Change(); };
  form.FatScrollBar2.onChange = [this] { FatScrollBar2Change(); };
  form.CheckBox7.onChange = [this] { CheckBox7Click(); };
  form.Label19.onClick = [this] { form.CheckBox7.Toggle(); };
  form.Label7.onClick = [this] { Label7Click(); };
  form.Image36.onClick = [this] { desktop.Image36Click(); };
  form.Image37.onClick = [this] { desktop.Image36Click(); };
  for (const PrivacyOption& option : kPrivacyOptions) {
    ui::CheckBox& box = form.*option.box;
    box.onChange = [this, &option, &box] { WritePrivacyOption(option.key, box); };
  }

  form.n1.onClick = [this] { desktop.n1Click(); };
  form.Myip1.onClick = [this] { desktop.Myip1Click(); };
  form.ProxyCheker1.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Checker); };
  form.ProtectPCPrivacy1.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Privacy); };
  form.Options1.onClick = [this] { ShowMainWindow(), ShowView(ui::View::Options); };
  form.Help1.onClick = [this] { desktop.Help1Click(); };
  form.About1.onClick = [this] { About1Click(); };
  form.Close1.onClick = [this] { Close1Click(); };

  about.close.onClick = [this] { about.window.SetVisible(false); };
  messageBox.Image4.onClick = [this] { desktop.OpenWithShell(kVendorHomePage); };
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
  form.Label1.SetCaption(desktop.GetLocalAddress());

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
  form.tray1.SetIconSet(ui::TrayIcon::IconSet::Idle);

  // 9. Each assignment that changes a control runs its handler, which writes
  // the value back (and, for ch1, registers the Run value again).
  form.ch1.SetChecked(store.ReadBool(kOptions, "StartUp", false));
  form.ch3.SetChecked(store.ReadBool(kOptions, "Firefox", false));
  form.Image9.SetVisible(form.ch3.Checked());
  form.cntmin.SetValue(store.ReadInteger(kOptions, "ProxyChange", 10));
  form.FatScrollBar2.SetPosition(store.ReadInteger(kOptions, "ProxyType", 1));
  // In 64 bits: a stored minimum integer less five must not wrap around.
  const std::int64_t speed = std::int64_t{store.ReadInteger(kOptions, "Timeout", 9)} - 5;
  if (speed >= form.FatScrollBar1.Min() && speed <= form.FatScrollBar1.Max()) {
    form.FatScrollBar1.SetPosition(static_cast<int>(speed));
  }
  form.ch2.SetChecked(store.ReadBool(kOptions, "Change1", false));

  // 10. The rotation timer always runs; each tick decides whether to rotate.
  form.t1.SetInterval(MinutesToInterval(form.cntmin.Value()));
  form.t1.SetEnabled(true);

  // 11.
  form.CheckBox7.SetChecked(store.ReadBool(kOptions, "PC-clean", false));
  for (const PrivacyOption& option : kPrivacyOptions) {
    (form.*option.box).SetChecked(store.ReadBool(kOptions, option.key, true));
  }

  // 12. The clean-up at start and 13. the custom proxy list are added here
  // when those features are built.
}

void Application::ch1Click() {
  settings_->WriteBool(kOptions, "StartUp", form.ch1.Checked());
  desktop.SetRunAtStartup(form.ch1.Checked());
}

void Application::ch2Click() { settings_->WriteBool(kOptions, "Change1", form.ch2.Checked()); }

void Application::ch3Click() {
  settings_->WriteBool(kOptions, "Firefox", form.ch3.Checked());
  form.Image9.SetVisible(form.ch3.Checked());
}

void Application::cntminChange() {
  settings_->WriteInteger(kOptions, "ProxyChange", form.cntmin.Value());
  form.t1.SetEnabled(false);
  form.t1.SetInterval(MinutesToInterval(form.cntmin.Value()));
  form.t1.SetEnabled(true);
}

void Application::FatScrollBar1Change() {
  settings_->WriteInteger(kOptions, "Timeout", form.FatScrollBar1.Position() + 5);
}

void Application::FatScrollBar2Change() {
  settings_->WriteInteger(kOptions, "ProxyType", form.FatScrollBar2.Position());
}

void Application::CheckBox7Click() {
  settings_->WriteBool(kOptions, "PC-clean", form.CheckBox7.Checked());
}

void Application::WritePrivacyOption(const char* key, const ui::CheckBox& box) {
  settings_->WriteBool(kOptions, key, box.Checked());
}

void Application::Label7Click() { messageBox.ShowMessageBox("Options", "Saved!"); }

void Application::ShowMainWindow() { form.window.SetVisible(true); }

void Application::ShowView(ui::View view) {
  // Without Firefox profiles the Firefox options cannot do anything: grey
  // them out and store them as off. Nothing turns them on again while the
  // program runs.
  const std::string profiles = FirefoxProfilesFolder(platform.desktop);
  const bool noFirefox =
      profiles.empty() || !platform.files.ListDirectory(profiles).has_value();
  if (view == ui::View::Privacy && noFirefox) {
    form.Label22.SetEnabled(false);
    form.Label21.SetEnabled(false);
    form.CheckBox10.SetChecked(false);
    form.CheckBox9.SetChecked(false);
    form.CheckBox10.SetEnabled(false);
    form.CheckBox9.SetEnabled(false);
  }
  if (view == ui::View::Options && noFirefox) {
    form.Label10.SetEnabled(false);
    form.ch3.SetChecked(false);
    form.ch3.SetEnabled(false);
  }
  // Views beyond the four known ones change nothing else.
  if (view < ui::View::Status || view > ui::View::Checker) return;
  form.view.Set(view);
}

void Application::About1Click() { about.window.SetVisible(true); }

void Application::Pop1Popup() { form.StopStart1.SetCaption(proxyActive_ ? "Stop" : "Start"); }

bool Application::FormCloseQuery() {
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

void Application::Close1Click() {
  if (!FormCloseQuery()) return;
  form.window.SetVisible(false);
  platform.ui.ProcessMessages();
  platform.desktop.QuitApplication();
}

}  // namespace cloakwise
