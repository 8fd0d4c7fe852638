#include "ui/win32/gdi_set.h"

#include <map>

#include "ui/win32/grid_painter.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {
namespace {

// Menus are sized in points, as the system's own are.
HFONT ArialPoints(int points, bool bold, const Scale& scale) {
  return MakeFont(MulDiv(points, scale.Dpi(), 72), bold, "Arial");
}

}  // namespace

std::shared_ptr<const GdiSet> GdiSet::Shared(const Scale& scale) {
  static std::map<int, std::weak_ptr<const GdiSet>> current;  // by DPI
  std::shared_ptr<const GdiSet> set = current[scale.Dpi()].lock();
  if (!set) {
    set = std::make_shared<const GdiSet>(scale);
    current[scale.Dpi()] = set;
  }
  return set;
}

GdiSet::GdiSet(const Scale& scale)
    : text(MakeFont(scale.ToPixels(13), false, "Arial")),
      bold(MakeFont(scale.ToPixels(13), true, "Arial")),
      small(MakeFont(scale.ToPixels(12), false, "Arial")),
      large(MakeFont(scale.ToPixels(14), false, "Arial")),
      largeBold(MakeFont(scale.ToPixels(14), true, "Arial")),
      serif(MakeFont(scale.ToPixels(21), false, "Times New Roman")),
      smallSerif(MakeFont(scale.ToPixels(17), false, "Times New Roman")),
      hint(MakeFont(scale.ToPixels(11), false, "Tahoma")),
      menu(ArialPoints(8, false, scale)),
      menuBold(ArialPoints(8, true, scale)),
      fieldFace(CreateSolidBrush(palette::kFieldFace)),
      menuFace(CreateSolidBrush(palette::kMenuFace)) {
  const CellFonts fonts = MakeCellFonts(scale);
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
