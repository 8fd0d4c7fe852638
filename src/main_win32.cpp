// The Windows entry point: builds the real platform layer and the windows,
// runs start-up, then the message loop.
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/vendor.h"
#include "browserproxy/chromium_webrtc.h"
#include "browserproxy/firefox_proxy.h"
#include "browserproxy/system_proxy.h"
#include "platform/win32/desktop_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/dialogs.h"
#include "ui/win32/main_window.h"
#include "ui/win32/paste_list_window.h"

namespace {

constexpr wchar_t kOneCopyMutex[] = L"Local\\Cloakwise.OneCopyPerSession";

std::string Describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::logic_error&) {
    // A fault of the program's own: its text is for its developers.
    return "Unexpected error";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unexpected error";
  }
}

// One copy per user session: two would each hold their own view of the
// settings, and two rotations would fight over the one system proxy. A second
// start by the user brings the running copy's window to the front instead; a
// start by Windows ("/startup") does nothing more. A copy on its way out
// shows nothing: this one waits for it to end and then runs. True when this
// copy is the one to run; the handle stays open for as long as it does.
bool FirstCopyInSession(bool startedByWindows) {
  using cloakwise::platform::Widen;
  namespace win32 = cloakwise::ui::win32;
  const UINT showRequest = RegisterWindowMessageW(Widen(win32::kShowRequestMessage).c_str());
  const std::wstring mainWindowClass = Widen(win32::kMainWindowClass);
  // Bounded: a copy that neither shows itself nor ends within a minute is
  // left to itself.
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (GetTickCount64() < deadline) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kOneCopyMutex);
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    // Held open, it would keep the running copy's name alive after it ends.
    if (mutex) CloseHandle(mutex);
    if (startedByWindows) return false;
    // The running copy may be starting up itself, or ending: then it has no
    // window for a moment.
    if (HWND running = FindWindowW(mainWindowClass.c_str(), nullptr)) {
      DWORD process = 0;
      GetWindowThreadProcessId(running, &process);
      AllowSetForegroundWindow(process);
      DWORD_PTR answer = 0;
      if (SendMessageTimeoutW(running, showRequest, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) &&
          answer != static_cast<DWORD_PTR>(win32::kClosingAnswer)) {
        return false;
      }
      if (HANDLE ending = OpenProcess(SYNCHRONIZE, FALSE, process)) {
        const ULONGLONG now = GetTickCount64();
        WaitForSingleObject(ending, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
        CloseHandle(ending);
        continue;
      }
    }
    Sleep(100);
  }
  return false;
}

// "/restore", run by the uninstaller once no copy runs any more: a run that
// was killed may have left its proxy in place of the user's own settings,
// and the program may never start again to put them back. Shows nothing.
// 0 when nothing of the program's is left; 1 when a Firefox profile could
// not be written, or keeps the program's lines because Firefox runs on it,
// or a Chromium profile keeps the program's WebRTC value because its
// browser runs;
// 2, changing nothing, while a copy runs, since the settings are that
// copy's to put back.
int PutBackUserSettings() {
  using namespace cloakwise;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kOneCopyMutex);
  const bool running = GetLastError() == ERROR_ALREADY_EXISTS;
  int result = running ? 2 : 0;
  if (!running) {
    platform::Win32Registry registry;
    platform::Win32InternetOptions internetOptions;
    platform::Win32FileSystem files;
    platform::Win32Desktop desktop;
    SystemProxy(registry, internetOptions).Restore();
    platform::Win32Shell shell;
    ChromiumWebRtc chromium(files, shell, registry);
    chromium.Restore();
    if (chromium.Installed()) result = 1;
    try {
      FirefoxProxy firefox(files, desktop);
      firefox.Restore();
      if (!firefox.PutBackForGood()) result = 1;
    } catch (const FileError& e) {
      desktop.NoteError(e.what());
      result = 1;
    }
  }
  if (mutex) CloseHandle(mutex);
  return result;
}

// The arguments as the user gave them, in UTF-8; the 8-bit copies the C
// runtime makes would turn what the code page lacks into question marks.
std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(cloakwise::platform::Narrow(argv[i]));
    LocalFree(argv);
  }
  return args;
}

// The whole program as Windows runs it, built and wired here alone: the
// platform layer, the dialogs, the portable application on them, then the
// main window on the application's model. The services that show something
// over the main window hold its handle's place, which the window fills in.
class WindowsProgram {
 public:
  explicit WindowsProgram(HINSTANCE instance)
      : desktop_(owner_),
        shell_(owner_),
        modal_(instance, owner_),
        pasteList_(instance, owner_),
        app_(cloakwise::PlatformServices{registry_, internetOptions_, files_, uiThread_, desktop_,
                                         modal_, shell_, urlCache_, sqlite_, {}, &pasteList_}),
        window_(instance, app_.form, owner_, WindowActions()),
        about_(instance, app_.about) {
    // An error no handler caught is shown, and the program goes on.
    const auto showError = [this](std::exception_ptr error) {
      desktop_.ShowError(Describe(error));
    };
    uiThread_.onError = showError;
    window_.onError = showError;
    modal_.onError = showError;
    pasteList_.onError = showError;
    about_.onError = showError;
  }

  // Start-up, then the message loop until the program ends.
  int Run(const std::vector<std::string>& args) {
    try {
      app_.Startup(args);
    } catch (const std::exception& e) {
      // Start-up cannot go on without its settings file.
      desktop_.ShowError(e.what());
      return 1;
    }
    return uiThread_.RunMessageLoop();
  }

 private:
  cloakwise::ui::win32::MainWindow::Actions WindowActions() {
    cloakwise::Application& app = app_;
    return {
        [&app] { app.desktop.OpenWithShell(cloakwise::kVendorHomePage); },
        [&app](cloakwise::ui::View view) { app.ShowView(view); },
        [&app] { return app.PrepareToClose(); },
        [&app] { app.PrepareToClose(/*sessionEnding=*/true); },
        [&app] { app.SessionEndCancelled(); },
        [&app] { app.OnMainMenuOpening(); },
        [&app] { app.listChecker.OnListMenuOpening(); },
        [&app] { app.ShowMainWindow(); },
        [&app] { return app.activeProxy.Closing(); },
    };
  }

  cloakwise::platform::OwnerWindow owner_;
  cloakwise::platform::Win32UiThread uiThread_;
  cloakwise::platform::Win32Registry registry_;
  cloakwise::platform::Win32InternetOptions internetOptions_;
  cloakwise::platform::Win32FileSystem files_;
  cloakwise::platform::Win32Desktop desktop_;
  cloakwise::platform::Win32Shell shell_;
  cloakwise::platform::Win32UrlCache urlCache_;
  cloakwise::platform::Win32Sqlite sqlite_;
  cloakwise::ui::win32::MessageBoxHost modal_;
  cloakwise::ui::win32::PasteListWindow pasteList_;
  cloakwise::Application app_;
  cloakwise::ui::win32::MainWindow window_;
  cloakwise::ui::win32::AboutWindow about_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> args = CommandLineArguments();
  if (!args.empty() && args.front() == "/restore") return PutBackUserSettings();
  if (!FirstCopyInSession(!args.empty() && args.front() == "/startup")) return 0;
  WindowsProgram program(instance);
  return program.Run(args);
}
