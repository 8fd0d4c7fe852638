#include "ui/win32/grid_painter.h"

#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {

using namespace palette;

namespace {

constexpr int kPadding = 2;
constexpr UINT kCellFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

// Draws one line of cells, the text of each clipped to its column.
template <class CellText>
void PaintCells(HDC dc, int left, int top, HFONT font, COLORREF color, COLORREF line,
                CellText text) {
  int x = left;
  for (int column = 0; column < Grid::kColumnCount; ++column) {
    const int width = Grid::kColumnWidths[column];
    // The column's line on the right is all the space the text needs there.
    DrawText(dc, font, color, {x + kPadding, top, x + width - 1, top + Grid::kRowHeight - 1},
             text(column), kCellFormat);
    x += width;
    FillSolidRect(dc, {x - 1, top, x, top + Grid::kRowHeight}, line);
  }
}

}  // namespace

void PaintGrid(HDC dc, const RECT& r, const Grid& grid, HFONT cellFont, HFONT headerFont) {
  const GridSource* source = grid.Source();
  const int left = r.left + Grid::kBorder;
  const int right = r.right - Grid::kBorder;
  const COLORREF text = grid.Enabled() ? kText : kDisabledText;
  FillSolidRect(dc, r, kGridBorder);
  FillSolidRect(dc, {left, r.top + Grid::kBorder, right, r.bottom - Grid::kBorder}, kRowFace);

  const int headerTop = r.top + Grid::kBorder;
  FillGradient(dc, {left, headerTop, right, headerTop + Grid::kHeaderHeight}, kHeaderTop,
               kHeaderBottom);
  PaintCells(dc, left, headerTop, headerFont, kWhite, kHeaderLine,
             [&](int column) { return source ? source->Header(column) : std::string(); });

  const std::size_t top = grid.TopRow(), shown = grid.ShownRows();
  const int rowsTop = headerTop + Grid::kHeaderHeight;
  const int rowsRight = r.left + grid.ScrollBarGeometry().left;
  for (std::size_t i = 0; i < shown; ++i) {
    const std::size_t row = top + i;
    const int y = rowsTop + static_cast<int>(i) * Grid::kRowHeight;
    const RECT band{left, y, rowsRight, y + Grid::kRowHeight};
    const bool current = row == grid.CurrentRow();
    if (current) {
      FillGradient(dc, band, kCurrentRowRed, kCurrentRowRedDark);
    } else {
      FillSolidRect(dc, band, row % 2 ? kStripeFace : kRowFace);
    }
    FillSolidRect(dc, {left, y + Grid::kRowHeight - 1, rowsRight, y + Grid::kRowHeight}, kGridLine);
    PaintCells(dc, left, y, cellFont, current ? kWhite : text, kGridLine,
               [&](int column) { return source->Cell(row, column); });
  }

  const Grid::ScrollBar bar = grid.ScrollBarGeometry();
  const RECT track{r.left + bar.left, r.top + bar.top, r.left + bar.left + bar.width,
                   r.top + bar.top + bar.height};
  FillSolidRect(dc, track, kScrollTrack);
  FillSolidRect(dc, {track.left, track.top, track.left + 1, track.bottom}, kGridLine);
  if (bar.thumbHeight > 0) {
    DrawFrame(dc,
              {track.left + 2, r.top + bar.thumbTop, track.right - 1,
               r.top + bar.thumbTop + bar.thumbHeight},
              kScrollThumbFrame, kScrollThumbFace);
  }
}

CellFonts MakeCellFonts(const Scale& scale) {
  // The list's columns are narrow: Tahoma's eight points fill them as their
  // widths expect, and a point less serves where the system puts a wider
  // face in its place. The widest type and the widest status decide.
  HFONT large = MakeFont(11, false, "Tahoma"), small = MakeFont(10, false, "Tahoma");
  HDC screen = GetDC(nullptr);
  const int padding = 3;  // the cell's text starts 2 in and stops short of its line
  const bool largeFits =
      FittingFont(screen, {large, small}, "Transparent", Grid::kColumnWidths[1] - padding) ==
          large &&
      FittingFont(screen, {large, small}, "Not working", Grid::kColumnWidths[2] - padding) == large;
  ReleaseDC(nullptr, screen);
  DeleteObject(large);
  DeleteObject(small);
  const int height = scale.ToPixels(largeFits ? 11 : 10);
  return {MakeFont(height, false, "Tahoma"), MakeFont(height, true, "Tahoma")};
}

}  // namespace cloakwise::ui::win32
