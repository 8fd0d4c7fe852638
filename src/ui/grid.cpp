#include "ui/grid.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace cloakwise::ui {

void Grid::SetSource(const GridSource* source) {
  source_ = source;
  current_ = 0;
  top_ = 0;
  dragOffset_.reset();
  Changed();
}

void Grid::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  Place(current_, VisibleTopFor(current_, top_));
}

std::size_t Grid::PageRows() const {
  const int rowsHeight = height_ - RowsTop() - kBorder;
  return rowsHeight >= kRowHeight ? static_cast<std::size_t>(rowsHeight / kRowHeight) : 1;
}

std::size_t Grid::MaxTopRow() const {
  const std::size_t rows = RowCount(), page = PageRows();
  return rows > page ? rows - page : 0;
}

std::size_t Grid::ShownRows() const {
  const std::size_t rows = RowCount();
  return rows > top_ ? std::min(PageRows(), rows - top_) : 0;
}

std::size_t Grid::VisibleTopFor(std::size_t row, std::size_t top) const {
  const std::size_t page = PageRows();
  if (row < top) return row;
  if (row >= top + page) return row - page + 1;
  return top;
}

void Grid::Place(std::size_t current, std::size_t top) {
  const std::size_t rows = RowCount();
  current = rows == 0 ? 0 : std::min(current, rows - 1);
  top = std::min(top, MaxTopRow());
  if (current == current_ && top == top_) return;
  current_ = current;
  top_ = top;
  Changed();
}

void Grid::SelectRow(std::size_t row) {
  const std::size_t rows = RowCount();
  if (rows == 0) return;
  row = std::min(row, rows - 1);
  Place(row, VisibleTopFor(row, top_));
}

void Grid::ScrollTo(std::size_t top) {
  Place(current_, top);
}

void Grid::Navigate(Key key) {
  const std::size_t rows = RowCount();
  if (rows == 0 || !TakesInput()) return;
  const std::size_t page = PageRows(), last = rows - 1;
  std::size_t row = current_, top = top_;
  switch (key) {
    case Key::Up:
      row = row > 0 ? row - 1 : 0;
      break;
    case Key::Down:
      row = std::min(row + 1, last);
      break;
    // A page key moves the view and the current row together, so the row
    // keeps its place on screen until an end of the list stops the view.
    case Key::PageUp:
      row = row > page ? row - page : 0;
      top = top > page ? top - page : 0;
      break;
    case Key::PageDown:
      row = std::min(row + page, last);
      top = std::min(top + page, MaxTopRow());
      break;
    case Key::Home:
      row = 0;
      break;
    case Key::End:
      row = last;
      break;
  }
  Place(row, VisibleTopFor(row, top));
}

void Grid::Wheel(int delta) {
  if (!TakesInput()) return;
  wheelRemainder_ += delta;
  const int notches = wheelRemainder_ / kWheelDelta;
  wheelRemainder_ -= notches * kWheelDelta;
  if (notches == 0) return;
  const auto rows = static_cast<std::size_t>(std::abs(notches) * kWheelRows);
  ScrollTo(notches > 0 ? (top_ > rows ? top_ - rows : 0) : top_ + rows);
}

Grid::ScrollBar Grid::ScrollBarGeometry() const {
  ScrollBar bar;
  bar.left = width_ - kBorder - kScrollBarWidth;
  bar.top = RowsTop();
  bar.width = kScrollBarWidth;
  bar.height = std::max(0, height_ - RowsTop() - kBorder);
  bar.thumbTop = bar.top;
  const std::size_t maxTop = MaxTopRow();
  if (maxTop == 0 || bar.height == 0) return bar;
  // The thumb is to the track what a page is to the list; a long list
  // would shrink it to a line, so it keeps a size that can be grabbed.
  const auto height = static_cast<std::uint64_t>(bar.height);
  const auto shown = height * PageRows() / RowCount();
  bar.thumbHeight = static_cast<int>(std::clamp<std::uint64_t>(shown, kMinThumbHeight, height));
  const auto travel = static_cast<std::uint64_t>(bar.height - bar.thumbHeight);
  bar.thumbTop = bar.top + static_cast<int>(travel * top_ / maxTop);
  return bar;
}

Grid::Hit Grid::HitTest(int x, int y) const {
  Hit hit;
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return hit;
  const ScrollBar bar = ScrollBarGeometry();
  if (y < RowsTop()) {
    hit.part = Hit::Part::Header;
  } else if (y >= bar.top + bar.height) {
    hit.part = Hit::Part::None;  // the bottom border
  } else if (x >= bar.left) {
    if (x >= bar.left + bar.width) {
      hit.part = Hit::Part::None;
    } else if (bar.thumbHeight == 0) {
      hit.part = Hit::Part::ScrollBar;
    } else if (y < bar.thumbTop) {
      hit.part = Hit::Part::TrackAbove;
    } else if (y < bar.thumbTop + bar.thumbHeight) {
      hit.part = Hit::Part::Thumb;
    } else {
      hit.part = Hit::Part::TrackBelow;
    }
  } else if (x < kBorder) {
    hit.part = Hit::Part::None;
  } else {
    const auto index = static_cast<std::size_t>((y - RowsTop()) / kRowHeight);
    if (index < ShownRows()) {
      hit.part = Hit::Part::Row;
      hit.row = top_ + index;
    } else {
      hit.part = Hit::Part::Empty;
    }
  }
  return hit;
}

void Grid::MouseDown(int x, int y) {
  if (!TakesInput()) return;
  const Hit hit = HitTest(x, y);
  const std::size_t page = PageRows();
  switch (hit.part) {
    case Hit::Part::Row:
      SelectRow(hit.row);
      break;
    case Hit::Part::TrackAbove:
      ScrollTo(top_ > page ? top_ - page : 0);
      break;
    case Hit::Part::TrackBelow:
      ScrollTo(top_ + page);
      break;
    case Hit::Part::Thumb:
      dragOffset_ = y - ScrollBarGeometry().thumbTop;
      break;
    default:
      break;
  }
}

void Grid::MouseMove(int /*x*/, int y) {
  if (!dragOffset_) return;
  const ScrollBar bar = ScrollBarGeometry();
  const int travel = bar.height - bar.thumbHeight;
  if (travel <= 0) return;
  const int offset = std::clamp(y - *dragOffset_ - bar.top, 0, travel);
  const auto maxTop = static_cast<std::uint64_t>(MaxTopRow());
  ScrollTo(static_cast<std::size_t>((static_cast<std::uint64_t>(offset) * maxTop + travel / 2) /
                                    static_cast<std::uint64_t>(travel)));
}

void Grid::MouseUp() {
  dragOffset_.reset();
}

void Grid::DoubleClick(int x, int y) {
  if (!TakesInput()) return;
  const Hit hit = HitTest(x, y);
  if (hit.part != Hit::Part::Row) {
    // The second press of a quick pair on the scroll bar pages once more.
    MouseDown(x, y);
    return;
  }
  SelectRow(hit.row);
  if (onDoubleClick) onDoubleClick();
}

void Grid::ContextClick(int x, int y) {
  if (!TakesInput()) return;
  const Hit hit = HitTest(x, y);
  if (hit.part == Hit::Part::Row) SelectRow(hit.row);
  if (onContextMenu) onContextMenu();
}

void Grid::Invalidate() {
  const std::size_t rows = RowCount();
  current_ = rows == 0 ? 0 : std::min(current_, rows - 1);
  top_ = std::min(top_, MaxTopRow());
  Changed();
}

}  // namespace cloakwise::ui
