#include "ui/win32/dpi.h"

#include <algorithm>

namespace cloakwise::ui::win32 {
namespace {

// Looked up, not linked: Windows 7 and 8 have none of them, and the
// program must still start there.
template <typename Function>
Function User32(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

Scale WindowScale(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    if (const UINT dpi = getDpiForWindow(window)) return Scale(static_cast<int>(dpi));
  }
  return SystemScale();
}

Scale SystemScale() {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  static const auto getDpiForSystem = User32<GetDpiForSystemFn>("GetDpiForSystem");
  return Scale(getDpiForSystem ? static_cast<int>(getDpiForSystem()) : ScreenDpi());
}

int SystemMetric(int index, const Scale& scale) {
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  static const auto forDpi = User32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi) return forDpi(index, static_cast<UINT>(scale.Dpi()));
  return GetSystemMetrics(index);
}

RECT ToRect(const Rect& r) {
  return {r.x, r.y, r.x + r.w, r.y + r.h};
}

POINT MouseUnits(LPARAM lParam, const Scale& scale) {
  return {scale.ToUnits(static_cast<short>(LOWORD(lParam))),
          scale.ToUnits(static_cast<short>(HIWORD(lParam)))};
}

POINT CursorUnits(HWND window, const Scale& scale) {
  POINT p;
  GetCursorPos(&p);
  ScreenToClient(window, &p);
  return {scale.ToUnits(p.x), scale.ToUnits(p.y)};
}

RECT CentredOnScreen(int width, int height, const Scale& scale) {
  const int w = scale.ToPixels(width), h = scale.ToPixels(height);
  // Never above or left of the screen, where its title could not be reached
  // to move it: a large scale on a small screen still shows the top.
  const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
  const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
  return {x, y, x + w, y + h};
}

}  // namespace cloakwise::ui::win32
