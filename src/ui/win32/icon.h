#pragma once

#include <windows.h>

#include "ui/scale.h"

namespace cloakwise::ui::win32 {

// One frame of the program's mark as an icon of size x size pixels, or null
// when the system has no room for it; the caller destroys it.
HICON MakeIcon(int frame, int size);
// The big icon of a window at a scale, which Alt+Tab shows; the tray draws
// small ones.
HICON MakeWindowIcon(const Scale& scale);

}  // namespace cloakwise::ui::win32
