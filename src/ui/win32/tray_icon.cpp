#include "ui/win32/tray_icon.h"

#include <shellapi.h>

#include <string>

#include "platform/win32/wide.h"
#include "ui/tray_mark.h"
#include "ui/win32/icon.h"

namespace cloakwise::ui::win32 {
namespace {

constexpr UINT kTrayId = 1;

// Puts as much of the text in a fixed field of the tray's data as fits, with
// its closing NUL, never half of a character that takes two units.
template <std::size_t N>
void CopyTrayText(wchar_t (&field)[N], const std::string& utf8) {
  const std::wstring text = platform::Widen(utf8);
  std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF) {
    --length;
  }
  text.copy(field, length);
  field[length] = L'\0';
}

}  // namespace

TrayIcon::TrayIcon() {
  // The tray takes small icons.
  const int size = GetSystemMetrics(SM_CXSMICON);
  idleIcons_.push_back(MakeIcon(tray_mark::kIdleFrame, size));
  for (int i = 0; i < ui::TrayIcon::kSearchIconCount; ++i) {
    searchIcons_.push_back(MakeIcon(i, size));
  }
}

TrayIcon::~TrayIcon() {
  for (HICON icon : idleIcons_) DestroyIcon(icon);
  for (HICON icon : searchIcons_) DestroyIcon(icon);
}

void TrayIcon::Add(HWND window, const ui::TrayIcon& model) {
  if (!shellStarted_) shellStarted_ = RegisterWindowMessageW(L"TaskbarCreated");
  window_ = window;
  Notify(model, true);
}

bool TrayIcon::ShellRestarted(UINT message, const ui::TrayIcon& model) {
  if (shellStarted_ == 0 || message != shellStarted_) return false;
  Add(window_, model);
  return true;
}

void TrayIcon::Update(const ui::TrayIcon& model) {
  Notify(model, !added_);
}

void TrayIcon::Notify(const ui::TrayIcon& model, bool add) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kMessage;
  const auto& icons = model.Set() == ui::TrayIcon::IconSet::Idle ? idleIcons_ : searchIcons_;
  data.hIcon = icons[static_cast<std::size_t>(model.IconIndex()) % icons.size()];
  CopyTrayText(data.szTip, "Cloakwise");
  const auto& balloon = model.LastBalloon();
  if (balloon.serial != balloonShown_) {
    balloonShown_ = balloon.serial;
    data.uFlags |= NIF_INFO;
    CopyTrayText(data.szInfoTitle, balloon.title);
    CopyTrayText(data.szInfo, balloon.text);
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = 10000;
  }
  if (add) {
    added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  } else {
    Shell_NotifyIconW(NIM_MODIFY, &data);
  }
}

void TrayIcon::Remove() {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  Shell_NotifyIconW(NIM_DELETE, &data);
  added_ = false;
}

}  // namespace cloakwise::ui::win32
