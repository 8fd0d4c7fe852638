#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "ui/controls.h"
#include "ui/grid_source.h"

namespace cloakwise::ui {

// A read-only table of text rows under a fixed header, selected a whole row
// at a time. The rows come from a GridSource; the grid keeps only the
// current row and the first row shown, so a list of any length costs the
// same to scroll and to paint.
//
// Rows are numbered from 0, the first row under the header, as in
// GridSource. Coordinates given to the mouse methods are the grid's own
// pixels, 0,0 at its top-left corner (the border included).
//
// User-interface thread only.
class Grid : public Control {
 public:
  static constexpr int kColumnCount = 4;
  static constexpr std::array<int, kColumnCount> kColumnWidths{112, 62, 63, 58};
  static constexpr int kRowHeight = 16;
  static constexpr int kHeaderHeight = kRowHeight;
  static constexpr int kBorder = 1;
  static constexpr int kScrollBarWidth = 14;
  static constexpr int kMinThumbHeight = 12;
  static constexpr int kWheelDelta = 120;  // one notch of the wheel
  static constexpr int kWheelRows = 3;     // rows scrolled per notch

  enum class Key { Up, Down, PageUp, PageDown, Home, End };

  // Where a point of the grid falls.
  struct Hit {
    enum class Part { None, Header, Row, Empty, TrackAbove, Thumb, TrackBelow, ScrollBar };
    Part part = Part::None;
    std::size_t row = 0;  // for Part::Row
  };

  // The vertical scroll bar beside the rows, in grid pixels. Without more
  // rows than fit there is no thumb (thumbHeight 0).
  struct ScrollBar {
    int left = 0, top = 0, width = 0, height = 0;
    int thumbTop = 0, thumbHeight = 0;
  };

  Grid(ControlGroup& group, std::string name) : Control(group, std::move(name)) {}

  // The rows to show; null shows an empty grid without header texts.
  void SetSource(const GridSource* source);
  const GridSource* Source() const { return source_; }
  std::size_t RowCount() const { return source_ ? source_->RowCount() : 0; }

  // The size on screen, border, header and scroll bar included.
  void SetSize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Whole rows that fit under the header; at least one.
  std::size_t PageRows() const;

  std::size_t CurrentRow() const { return current_; }
  std::size_t TopRow() const { return top_; }
  std::size_t MaxTopRow() const;
  // Rows from TopRow() that are on screen now (fewer than a page at the end).
  std::size_t ShownRows() const;

  // Makes the row current (clamped to the last row) and scrolls it into view.
  void SelectRow(std::size_t row);
  // Scrolls without moving the current row; clamped to 0..MaxTopRow().
  void ScrollTo(std::size_t top);
  void Navigate(Key key);
  // delta in the system's wheel units, positive away from the user (up);
  // parts of a notch add up until they make one.
  void Wheel(int delta);

  Hit HitTest(int x, int y) const;
  ScrollBar ScrollBarGeometry() const;
  bool Dragging() const { return dragOffset_.has_value(); }

  // The mouse. A press on a row selects it; on the scroll bar it pages or
  // grabs the thumb, which then follows MouseMove until MouseUp.
  void MouseDown(int x, int y);
  void MouseMove(int x, int y);
  void MouseUp();
  // Selects the row under the point and runs onDoubleClick; nothing off
  // the rows.
  void DoubleClick(int x, int y);
  // Selects the row under the point, if any, then runs onContextMenu.
  void ContextClick(int x, int y);

  // The source changed: the current row and the scroll position are pulled
  // back inside the rows that remain, and the grid is repainted.
  void Invalidate();

  std::function<void()> onDoubleClick;
  std::function<void()> onContextMenu;

 private:
  bool TakesInput() const { return Visible() && Enabled(); }
  // Moves to the given place and tells the observer when anything moved.
  void Place(std::size_t current, std::size_t top);
  std::size_t VisibleTopFor(std::size_t row, std::size_t top) const;
  int RowsTop() const { return kBorder + kHeaderHeight; }

  const GridSource* source_ = nullptr;
  int width_ = 0, height_ = 0;
  std::size_t current_ = 0, top_ = 0;
  int wheelRemainder_ = 0;
  std::optional<int> dragOffset_;  // the mouse's distance below the thumb's top
};

}  // namespace cloakwise::ui
