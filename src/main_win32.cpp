// The Windows entry point: builds the real platform and the window, then
// runs the message loop.
#include <windows.h>

#include <string>

#include "app/settings_store.h"
#include "browserproxy/system_proxy.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/main_window.h"

namespace {

std::string ExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // a long path: ask again with more room
  }
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace cloakwise;
  platform::Win32UiThread ui;
  platform::Win32Registry registry;
  platform::Win32InternetOptions internetOptions;
  platform::Win32FileSystem files;

  const std::string folder = ExecutableFolder();
  SettingsStore settings(files, folder + "options.ini");
  SystemProxy systemProxy(registry, internetOptions);

  ui::win32::MainWindow window(instance, "Cloakwise", 448, 397);
  window.onCloseQuery = [&] {
    // Whatever proxy the program installed must not outlive it.
    systemProxy.SetSystemProxy("", "");
    ui.ProcessMessages();
    return true;
  };
  window.onPaint = [&](HDC dc, const RECT& client) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text = client;
    const std::string caption = "Cloakwise\n\nSettings: " + settings.Path();
    DrawTextA(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
  };
  window.Show();
  return ui.RunMessageLoop();
}
