#pragma once

#include <windows.h>

namespace cloakwise::ui::win32 {

// One frame of the program's mark as an icon of size x size pixels, or null
// when the system has no room for it; the caller destroys it.
HICON MakeIcon(int frame, int size);

}  // namespace cloakwise::ui::win32
