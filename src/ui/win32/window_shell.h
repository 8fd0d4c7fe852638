#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>

#include "platform/win32/window_base.h"
#include "ui/scale.h"
#include "ui/win32/dpi.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

// What every window of the program answers alike, answered here once: it
// paints all of its client area itself, on a canvas, so the background is
// never erased first; it takes a move to a monitor of another scale; it
// shows the hand over what can be clicked; and an exception a handler lets
// escape stops here, since it cannot cross the window procedure.
//
// Derived passes itself as CreateWindowEx's last argument, befriends
// WindowShell<Derived> and platform::WindowBase<Derived>, and has
//   void Paint(HDC dc);        all of the client area
//   LRESULT HandleMessage(HWND window, UINT message, WPARAM, LPARAM);
//                              every other message
// and, where Windows' own answer does not do, hides these:
//   bool Serving() const;      false while the object lets its window be
//   bool ClickableAt(POINT units) const;
//   bool Rescale(const Scale& scale, const RECT* suggested);
//                              suggested: where Windows wants the window
template <class Derived>
class WindowShell : protected platform::WindowBase<Derived> {
 public:
  // Takes what a handler let escape; without one it is dropped. It is read
  // when that happens, so it may be set once the window is there.
  std::function<void(std::exception_ptr)> onError;

 protected:
  explicit WindowShell(const Scale& scale = Scale()) : scale_(scale) {}

  // A window whose object has let it go (a dialog that is closing, say) is
  // left to Windows.
  bool Serving() const { return true; }
  bool ClickableAt(POINT) const { return false; }
  // False leaves the move to Windows.
  bool Rescale(const Scale&, const RECT*) { return false; }

  std::shared_ptr<const GdiSet> gdi_ = GdiSet::Shared();  // for painting, in units
  Scale scale_;                                           // of the monitor the window is on

 private:
  friend class platform::WindowBase<Derived>;

  Derived& Self() { return static_cast<Derived&>(*this); }

  LRESULT WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Self().Serving()) return DefWindowProcW(window, message, wParam, lParam);
    try {
      switch (message) {
        case WM_PAINT: {
          PAINTSTRUCT ps;
          HDC dc = BeginPaint(window, &ps);
          Self().Paint(dc);
          EndPaint(window, &ps);
          return 0;
        }
        case WM_ERASEBKGND:
          return 1;  // Paint covers every pixel
        case WM_DPICHANGED:
          // Moved to a monitor of another scale: Windows says where to go.
          if (Self().Rescale(Scale(LOWORD(wParam)), reinterpret_cast<const RECT*>(lParam))) {
            return 0;
          }
          return DefWindowProcW(window, message, wParam, lParam);
        case WM_SETCURSOR:
          // A child, a text field say, has its own; so has the frame.
          if (reinterpret_cast<HWND>(wParam) != window || LOWORD(lParam) != HTCLIENT) {
            return DefWindowProcW(window, message, wParam, lParam);
          }
          SetCursor(LoadCursor(
              nullptr, Self().ClickableAt(CursorUnits(window, scale_)) ? IDC_HAND : IDC_ARROW));
          return TRUE;
        default:
          return Self().HandleMessage(window, message, wParam, lParam);
      }
    } catch (...) {
      if (onError) onError(std::current_exception());
      return 0;
    }
  }
};

}  // namespace cloakwise::ui::win32
