#pragma once

#include <windows.h>

namespace cloakwise::platform {

// Every window of the program keeps the object that serves it in its user
// data. These three are the only places that touch it, so no window can read
// another's object, or one of another type, by a slip of a cast.
inline void BindWindow(HWND window, void* owner) {
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
}

template <class T>
T* WindowOwner(HWND window) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// For a window procedure: the object passed as CreateWindowEx's last
// argument, bound when the window is first told of its creation. Null for
// the few messages that come before, which the system's handling serves.
template <class T>
T* WindowOwner(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    BindWindow(window, reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
  }
  return WindowOwner<T>(window);
}

// A window class whose procedure reaches the object behind each window:
// Derived has `LRESULT WindowMessage(HWND, UINT, WPARAM, LPARAM)` and passes
// `this` as CreateWindowEx's last argument.
template <class Derived>
class WindowBase {
 protected:
  // The class's fields that every window shares; the caller adds its own
  // and registers it. A second registration of a name fails harmlessly.
  static WNDCLASSW WindowClass(HINSTANCE instance, const wchar_t* name) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return wc;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = WindowOwner<Derived>(window, message, lParam);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->WindowMessage(window, message, wParam, lParam);
  }

  // The window outlives its object only between the object's end and the
  // window's destruction; from then on the system alone answers it.
  static void Unbind(HWND window) { BindWindow(window, nullptr); }
};

}  // namespace cloakwise::platform
