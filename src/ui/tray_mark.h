#pragma once

#include <cstdint>
#include <vector>

namespace cloakwise::ui {

// The program's mark, drawn from shapes at whatever size is asked for, so the
// tray, the window and the application icon all show the same picture and
// stay sharp on high-DPI notification areas.
//
// Pixels are 0xAARRGGBB with straight (not premultiplied) alpha, top row
// first: the layout of a 32-bit top-down DIB and of an icon file's image.
// Safe to call from any thread.
namespace tray_mark {

// The frame of the idle set; 0 .. TrayIcon::kSearchIconCount - 1 are the
// frames of the search set, whose bright arc turns clockwise by an eighth of
// a turn from one frame to the next.
inline constexpr int kIdleFrame = -1;

// size x size pixels; empty for a size below 1.
std::vector<std::uint32_t> Draw(int frame, int size);

}  // namespace tray_mark
}  // namespace cloakwise::ui
