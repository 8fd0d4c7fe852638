#include "platform/win32/desktop_win32.h"

#include <htmlhelp.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winsock2.h>

#include <cstring>

#include "platform/win32/wide.h"

namespace cloakwise::platform {

std::optional<std::string> Win32Desktop::AppDataFolder() {
  // The shell gives this folder in a buffer of MAX_PATH characters and no
  // more; characters, not bytes, so a name in any script fits as on Windows.
  wchar_t path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path))) return std::nullopt;
  return Narrow(path);
}

std::string Win32Desktop::ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return Narrow(path);
    }
    path.resize(path.size() * 2);  // a long path: ask again with more room
  }
}

std::optional<int> Win32Desktop::CallInetIsOffline() {
  using InetIsOfflineFn = BOOL(WINAPI*)(DWORD);
  if (!LoadLibraryW(L"URL.DLL")) return std::nullopt;
  const HMODULE module = GetModuleHandleW(L"URL.DLL");
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
  const std::wstring wideFile = Widen(file), wideParameters = Widen(parameters);
  ShellExecuteW(owner == ShellOwner::MainWindow ? mainWindow_.Get() : applicationWindow, L"open",
                wideFile.c_str(), parameters.empty() ? nullptr : wideParameters.c_str(), nullptr,
                SW_SHOW);
}

void Win32Desktop::ShowHelp(const std::string& topic) {
  HtmlHelpW(applicationWindow, Widen(topic).c_str(), HH_DISPLAY_TOPIC, 0);
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
  if (!OpenClipboardPatiently(mainWindow_.Get())) return false;
  ::EmptyClipboard();  // the system's, not this class's own
  // As Unicode text, from which Windows makes the 8-bit forms for programs
  // that ask for those. The clipboard owns the memory once SetClipboardData
  // accepts it.
  const std::wstring wide = Widen(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool stored = false;
  if (memory) {
    if (void* target = GlobalLock(memory)) {
      std::memcpy(target, wide.c_str(), bytes);
      GlobalUnlock(memory);
      stored = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!stored) GlobalFree(memory);
  }
  CloseClipboard();
  return stored;
}

bool Win32Desktop::EmptyClipboard() {
  if (!OpenClipboardPatiently(mainWindow_.Get())) return false;
  const bool emptied = ::EmptyClipboard() != 0;
  CloseClipboard();
  return emptied;
}

void Win32Desktop::ShowError(const std::string& text) {
  MessageBoxW(applicationWindow, Widen(text).c_str(), L"Cloakwise",
              MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void Win32Desktop::NoteError(const std::string& text) {
  OutputDebugStringW(Widen("Cloakwise: " + text + "\n").c_str());
}

void Win32Desktop::QuitApplication() {
  PostQuitMessage(0);
}

}  // namespace cloakwise::platform
