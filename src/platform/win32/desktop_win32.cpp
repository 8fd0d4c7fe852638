#include "platform/win32/desktop_win32.h"

#include <htmlhelp.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winsock2.h>

#include <cstring>

namespace cloakwise::platform {

std::optional<std::string> Win32Desktop::AppDataFolder() {
  char path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path))) return std::nullopt;
  return std::string(path);
}

std::string Win32Desktop::ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // a long path: ask again with more room
  }
}

std::optional<int> Win32Desktop::CallInetIsOffline() {
  using InetIsOfflineFn = BOOL(WINAPI*)(DWORD);
  if (!LoadLibraryA("URL.DLL")) return std::nullopt;
  const HMODULE module = GetModuleHandleA("URL.DLL");
  if (!module) return std::nullopt;
  const auto fn = reinterpret_cast<InetIsOfflineFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "InetIsOffline")));
  if (!fn) return std::nullopt;
  return static_cast<int>(fn(0));
}

std::optional<std::vector<std::string>> Win32Desktop::OwnHostAddresses() {
  WSADATA data;
  if (WSAStartup(0x0101, &data) != 0) return std::nullopt;
  std::optional<std::vector<std::string>> result;
  char name[64] = {};
  if (gethostname(name, sizeof name) == 0) {
    if (const hostent* host = gethostbyname(name)) {
      result.emplace();
      for (char** address = host->h_addr_list; address && *address; ++address) {
        in_addr in;
        memcpy(&in, *address, sizeof in);
        result->push_back(inet_ntoa(in));
      }
    }
  }
  WSACleanup();
  return result;
}

void Win32Desktop::ShellOpen(ShellOwner owner, const std::string& file,
                             const std::string& parameters) {
  ShellExecuteA(owner == ShellOwner::MainWindow ? mainWindow : applicationWindow, "open",
                file.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOW);
}

void Win32Desktop::ShowHelp(const std::string& topic) {
  HtmlHelpA(applicationWindow, topic.c_str(), HH_DISPLAY_TOPIC, 0);
}

namespace {

// Clipboard viewers and managers open the clipboard for a moment after each
// change; a short wait gets past them. Held longer, it is another program's.
bool OpenClipboardPatiently(HWND owner) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

bool Win32Desktop::SetClipboardText(const std::string& text) {
  if (!OpenClipboardPatiently(mainWindow)) return false;
  ::EmptyClipboard();  // the system's, not this class's own
  // The clipboard owns the memory once SetClipboardData accepts it.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  bool stored = false;
  if (memory) {
    if (void* bytes = GlobalLock(memory)) {
      std::memcpy(bytes, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      stored = SetClipboardData(CF_TEXT, memory) != nullptr;
    }
    if (!stored) GlobalFree(memory);
  }
  CloseClipboard();
  return stored;
}

bool Win32Desktop::EmptyClipboard() {
  if (!OpenClipboardPatiently(mainWindow)) return false;
  const bool emptied = ::EmptyClipboard() != 0;
  CloseClipboard();
  return emptied;
}

void Win32Desktop::ShowError(const std::string& text) {
  MessageBoxA(applicationWindow, text.c_str(), "Cloakwise", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void Win32Desktop::NoteError(const std::string& text) {
  OutputDebugStringA(("Cloakwise: " + text + "\n").c_str());
}

void Win32Desktop::QuitApplication() {
  PostQuitMessage(0);
}

}  // namespace cloakwise::platform
