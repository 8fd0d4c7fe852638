#pragma once

#include <windows.h>

#include "ui/scale.h"

namespace cloakwise::ui::win32 {

// The scale of the monitor a window is on, as a program aware of each
// monitor's DPI sees it. Windows before 10 has one DPI for the whole
// system, which the screen's device context tells.
Scale WindowScale(HWND window);
// Before a window exists: the primary monitor's.
Scale SystemScale();
// A system metric (an icon's size, say) at the scale, where Windows before
// 10 knows it at the system's DPI only.
int SystemMetric(int index, const Scale& scale);

RECT ToRect(const Rect& r);
// Points of a window's client area in the layout's units: the mouse of a
// mouse message (its lParam), and the mouse now (as WM_SETCURSOR needs it).
POINT MouseUnits(LPARAM lParam, const Scale& scale);
POINT CursorUnits(HWND window, const Scale& scale);
// The scaled size of a window of the layout's units, centred on the screen
// (a dialog's, before it exists).
RECT CentredOnScreen(int width, int height, const Scale& scale);

}  // namespace cloakwise::ui::win32
