#include "app/desktop_integration.h"

#include "app/vendor.h"
#include "browsers/firefox_profiles.h"

namespace cloakwise {

using platform::RegistryRoot;
using platform::ScopedKey;
using platform::ShellOwner;

void DesktopIntegration::SetRunAtStartup(bool enable) {
  const std::string exe = desktop_.ExecutablePath();
  // The compatibility flag is written on every call, switching off included:
  // it asks Windows to start the program with the rights it needs to change
  // the Internet settings.
  {
    ScopedKey layers(registry_, RegistryRoot::CurrentUser, kLayersKey, true);
    if (layers) registry_.WriteString(layers.get(), exe, "RUNASADMIN");
  }
  ScopedKey run(registry_, RegistryRoot::CurrentUser, kRunKey, true);
  if (!run) return;
  if (enable) {
    std::string command = "\"";
    command.append(exe).append("\" /startup");
    registry_.WriteString(run.get(), "Cloakwise", command);
  } else {
    registry_.DeleteValue(run.get(), "Cloakwise");
  }
}

bool DesktopIntegration::IsOnline() {
  // Without the library or its function we cannot tell; say online, so that a
  // search runs and reports its own failure instead of START doing nothing.
  const auto offline = desktop_.CallInetIsOffline();
  return !offline || *offline == 0;
}

std::string DesktopIntegration::GetLocalAddress() {
  const auto addresses = desktop_.OwnHostAddresses();
  if (!addresses || addresses->empty()) return "";
  return addresses->back();
}

std::string DesktopIntegration::GetProgramFilesFolder() {
  ScopedKey key(registry_, RegistryRoot::LocalMachine, kCurrentVersionKey, false);
  if (!key) return "";
  return registry_.ReadString(key.get(), "ProgramFilesDir").value_or("");
}

void DesktopIntegration::OpenWithShell(const std::string& target) {
  desktop_.ShellOpen(ShellOwner::Application, target, "");
}

std::string DesktopIntegration::BrowserPath() {
  std::string folder = GetProgramFilesFolder();
  // Without a program-files folder there is no browser to look for; a bare
  // "\Internet Explorer\..." would be looked up on the current drive.
  if (folder.empty()) return "";
  if (folder.back() != '\\') folder += '\\';
  return folder + "Internet Explorer\\iexplore.exe";
}

void DesktopIntegration::OpenIpEchoPage() {
  const std::string browser = BrowserPath();
  if (!browser.empty() && files_.FileExists(browser)) {
    desktop_.ShellOpen(ShellOwner::MainWindow, browser, kIpEchoPage);
  } else {
    OpenWithShell(kIpEchoPage);
  }
}

void DesktopIntegration::BrowseAnonymously() {
  const std::string browser = BrowserPath();
  if (!browser.empty() && files_.FileExists(browser)) {
    desktop_.ShellOpen(ShellOwner::MainWindow, browser, "");
  } else {
    OpenWithShell("");
  }
}

void DesktopIntegration::OpenHelp() {
  desktop_.ShowHelp("help.chm");
}

void DesktopIntegration::OpenOptionsHelp() {
  desktop_.ShowHelp("help.chm::/options.htm");
}

bool DesktopIntegration::HasFirefoxProfiles() {
  return browsers::HasFirefoxProfiles(desktop_, files_);
}

}  // namespace cloakwise
