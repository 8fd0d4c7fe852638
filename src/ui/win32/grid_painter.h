#pragma once

#include <windows.h>

#include "ui/grid.h"
#include "ui/scale.h"

namespace cloakwise::ui::win32 {

// Paints a grid into r (its place on the window): the header, the rows on
// screen with the current one highlighted, and the scroll bar. Only the rows
// shown are read from the source, so a long list paints as fast as a short
// one.
// The list's fonts, rows and header, deleted by the caller.
struct CellFonts {
  HFONT cell, header;
};
// At the scale's size; which of the two faces fits is decided in units.
CellFonts MakeCellFonts(const Scale& scale);

void PaintGrid(HDC dc, const RECT& r, const Grid& grid, HFONT cellFont, HFONT headerFont);

}  // namespace cloakwise::ui::win32
