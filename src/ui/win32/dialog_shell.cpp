#include "ui/win32/dialog_shell.h"

namespace cloakwise::ui::win32 {

ModalRun::ModalRun(HWND dialog, HWND owner, HWND focus)
    : dialog_(dialog), owner_(owner), ownerWasEnabled_(owner && IsWindowEnabled(owner)) {
  if (ownerWasEnabled_) EnableWindow(owner_, FALSE);
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  SetFocus(focus);
}

ModalRun::~ModalRun() {
  if (ownerWasEnabled_) EnableWindow(owner_, TRUE);
  DestroyWindow(dialog_);
}

void ModalRun::Loop(const std::function<bool()>& open,
                    const std::function<bool(const MSG&)>& claim) {
  MSG msg;
  while (open()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: leave the quit request for the main loop.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (claim && claim(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace cloakwise::ui::win32
