#include "ui/win32/gdi_set.h"

#include "ui/win32/flat_menu.h"
#include "ui/win32/grid_painter.h"
#include "ui/win32/paint.h"

namespace cloakwise::ui::win32 {
namespace {

// Menus follow the system's text size, as the system's own do.
HFONT ArialPoints(int points, bool bold) {
  HDC screen = GetDC(nullptr);
  const int pixels = MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return MakeFont(pixels, bold, "Arial");
}

}  // namespace

std::shared_ptr<const GdiSet> GdiSet::Shared() {
  static std::weak_ptr<const GdiSet> current;
  std::shared_ptr<const GdiSet> set = current.lock();
  if (!set) {
    set = std::make_shared<const GdiSet>();
    current = set;
  }
  return set;
}

GdiSet::GdiSet()
    : text(MakeFont(13, false, "Arial")),
      bold(MakeFont(13, true, "Arial")),
      small(MakeFont(12, false, "Arial")),
      large(MakeFont(14, false, "Arial")),
      largeBold(MakeFont(14, true, "Arial")),
      serif(MakeFont(21, false, "Times New Roman")),
      smallSerif(MakeFont(17, false, "Times New Roman")),
      hint(MakeFont(11, false, "Tahoma")),
      menu(ArialPoints(8, false)),
      menuBold(ArialPoints(8, true)),
      fieldFace(CreateSolidBrush(kFieldFace)),
      menuFace(CreateSolidBrush(FlatMenu::kFace)) {
  const CellFonts fonts = MakeCellFonts();
  cell = fonts.cell;
  cellBold = fonts.header;
}

GdiSet::~GdiSet() {
  for (HFONT font : {text, bold, small, large, largeBold, serif, smallSerif, hint, cell, cellBold,
                     menu, menuBold}) {
    DeleteObject(font);
  }
  DeleteObject(fieldFace);
  DeleteObject(menuFace);
}

}  // namespace cloakwise::ui::win32
