#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "ui/layout.h"

// Points on the main window named by what lies there, found through the
// layout, so a test says "the speed slider's left end" and not a pair of
// numbers that the next change of the layout makes wrong.
namespace cloakwise::fakes {

struct WindowPoint {
  int x, y;
};

enum class Part { Middle, LeftEnd, RightEnd, TopArrow, BottomArrow, TextPart };

inline WindowPoint PointIn(const ui::Rect& r, Part part) {
  const int arrows = ui::Layout::kSpinArrowWidth;
  switch (part) {
    case Part::LeftEnd:
      return {r.x, r.y + r.h / 2};
    case Part::RightEnd:
      return {r.x + r.w - 1, r.y + r.h / 2};
    case Part::TopArrow:
      return {r.x + r.w - arrows / 2, r.y + r.h / 4};
    case Part::BottomArrow:
      return {r.x + r.w - arrows / 2, r.y + r.h * 3 / 4};
    case Part::TextPart:
      return {r.x + (r.w - arrows) / 2, r.y + r.h / 2};
    case Part::Middle:
      break;
  }
  return {r.x + r.w / 2, r.y + r.h / 2};
}

inline const ui::Layout::Widget& Placed(const ui::Layout::Widget* w, std::string_view what) {
  if (!w) throw std::logic_error("not in the layout: " + std::string(what));
  return *w;
}

inline WindowPoint PointOn(const ui::Layout& layout, const ui::Control& control,
                           Part part = Part::Middle) {
  return PointIn(Placed(layout.Find(control), control.Name()).rect, part);
}

// A part of the frame, a tab or a heading, by what it shows.
inline WindowPoint PointOn(const ui::Layout& layout, std::string_view text,
                           Part part = Part::Middle) {
  return PointIn(Placed(layout.Find(text), text).rect, part);
}

// The middle of the grid's shown row (0: the top one on view), near its left.
inline WindowPoint RowPoint(const ui::Layout& layout, const ui::Grid& grid, int shown) {
  const ui::Rect r = Placed(layout.Find(grid), "the grid").rect;
  return {r.x + 84, r.y + ui::Grid::kBorder + ui::Grid::kHeaderHeight +
                        ui::Grid::kRowHeight * shown + ui::Grid::kRowHeight / 2};
}

// The grid's top-left corner on the window: the origin of what the grid
// reports of its own geometry.
inline WindowPoint GridOrigin(const ui::Layout& layout, const ui::Grid& grid) {
  const ui::Rect r = Placed(layout.Find(grid), "the grid").rect;
  return {r.x, r.y};
}

}  // namespace cloakwise::fakes
