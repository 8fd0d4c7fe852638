#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/wide.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"
#include "ui/win32/window_shell.h"

namespace cloakwise::ui::win32 {

// The program's dialogs: borderless, always-on-top windows of a fixed size
// in units, centred on the screen, painted on the views' dark ground under
// a red title strip. Derived, besides what WindowShell asks, has
//   void PaintFace(HDC dc);    what lies on the ground, in units
// and befriends DialogShell<Derived>.
template <class Derived>
class DialogShell : public WindowShell<Derived> {
 protected:
  static constexpr int kTitleStrip = 32;

  // The strip runs from `strip` at the top to `stripDark`.
  DialogShell(int width, int height, COLORREF strip, COLORREF stripDark,
              const Scale& scale = Scale())
      : WindowShell<Derived>(scale),
        width_(width),
        height_(height),
        strip_(strip),
        stripDark_(stripDark) {}

  // Once per class name; a second registration fails harmlessly.
  static void Register(HINSTANCE instance, const char* className) {
    const std::wstring name = platform::Widen(className);
    const WNDCLASSW wc = platform::WindowBase<Derived>::WindowClass(instance, name.c_str());
    RegisterClassW(&wc);
  }

  // The dialog's window at its size and scale; parent, when given, owns it.
  HWND CreateCentred(HINSTANCE instance, const char* className, const std::string& title,
                     HWND parent = nullptr) {
    const RECT at = CentredOnScreen(width_, height_, this->scale_);
    return CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, platform::Widen(className).c_str(),
                           platform::Widen(title).c_str(), WS_POPUP, at.left, at.top,
                           at.right - at.left, at.bottom - at.top, parent, nullptr, instance,
                           static_cast<Derived*>(this));
  }

  void Paint(HDC target) {
    Canvas canvas(target, width_, height_, this->scale_);
    HDC dc = canvas.dc();
    FillGradient(dc, {0, 0, width_, height_}, palette::kViewTop, palette::kViewBottom);
    FillGradient(dc, {0, 0, width_, kTitleStrip}, strip_, stripDark_);
    static_cast<Derived*>(this)->PaintFace(dc);
  }

  int width_, height_;  // in units

 private:
  friend class WindowShell<Derived>;

  COLORREF strip_, stripDark_;
};

// A dialog shown modally over its owner for as long as this lives: the
// owner takes no input meanwhile, but timers and hand-overs from workers
// keep running, since the dialog's own loop dispatches every message.
class ModalRun {
 public:
  // Shows the dialog in front with the keys at `focus`, and holds off the
  // owner when it is enabled.
  ModalRun(HWND dialog, HWND owner, HWND focus);
  // Gives the owner its input back and destroys the dialog.
  ~ModalRun();
  ModalRun(const ModalRun&) = delete;
  ModalRun& operator=(const ModalRun&) = delete;

  // Runs the messages while `open` holds; a message `claim` takes is not
  // dispatched. Returns early when the program is ending, the quit request
  // left for the main loop.
  void Loop(const std::function<bool()>& open,
            const std::function<bool(const MSG&)>& claim = nullptr);

 private:
  HWND dialog_, owner_;
  bool ownerWasEnabled_;
};

}  // namespace cloakwise::ui::win32
