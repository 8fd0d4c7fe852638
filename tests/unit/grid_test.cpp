// The grid's selection and scroll arithmetic: which row is current, which
// is shown first, and where the mouse falls.
#include "ui/grid.h"

#include <gtest/gtest.h>

#include <vector>

namespace cloakwise::ui {
namespace {

class Rows : public GridSource {
 public:
  explicit Rows(std::size_t count) : count(count) {}
  std::size_t RowCount() const override { return count; }
  std::string Cell(std::size_t row, int column) const override {
    return std::to_string(row) + "/" + std::to_string(column);
  }
  std::string Header(int column) const override { return "h" + std::to_string(column); }
  std::size_t count;
};

struct Counter : ModelObserver {
  void ControlChanged(const Control&) override { ++changes; }
  int changes = 0;
};

// Five whole rows under the header: 1 + 16 + 5 * 16 + 1 pixels high, and as
// wide as the window shows it. Its scroll bar runs from y 17 to 97 at x 296.
constexpr int kWidth = 311, kHeight = 98;

struct GridFixture {
  explicit GridFixture(std::size_t rows, std::size_t current = 0, std::size_t top = 0)
      : source(rows) {
    grid.SetSize(kWidth, kHeight);
    grid.SetSource(&source);
    grid.SelectRow(current);
    grid.ScrollTo(top);
  }
  ControlGroup group;
  Grid grid{group, "proxyGrid"};
  Rows source;
};

TEST(Grid, PageIsTheWholeRowsUnderTheHeader) {
  GridFixture f(100);
  EXPECT_EQ(f.grid.PageRows(), 5u);
  f.grid.SetSize(kWidth, kHeight + 15);
  EXPECT_EQ(f.grid.PageRows(), 5u) << "a part row does not count";
  f.grid.SetSize(kWidth, 10);
  EXPECT_EQ(f.grid.PageRows(), 1u);
}

TEST(Grid, KeysMoveTheCurrentRowAndKeepItInView) {
  using K = Grid::Key;
  const struct {
    std::size_t rows, current, top;
    K key;
    std::size_t wantCurrent, wantTop;
  } cases[] = {
      {100, 0, 0, K::Down, 1, 0},
      {100, 4, 0, K::Down, 5, 1},  // past the last row shown: the view follows
      {100, 0, 0, K::Up, 0, 0},
      {100, 5, 5, K::Up, 4, 4},
      {100, 99, 95, K::Down, 99, 95},
      {100, 2, 0, K::PageDown, 7, 5},
      {100, 97, 95, K::PageDown, 99, 95},
      {100, 7, 5, K::PageUp, 2, 0},
      {100, 3, 0, K::PageUp, 0, 0},
      {100, 50, 48, K::Home, 0, 0},
      {100, 0, 0, K::End, 99, 95},
      {3, 0, 0, K::End, 2, 0},
      {3, 1, 0, K::PageDown, 2, 0},
      {1, 0, 0, K::Down, 0, 0},  // the blank row of an empty list
      {0, 0, 0, K::End, 0, 0},
      {10000, 0, 0, K::End, 9999, 9995},
      {10000, 5000, 4998, K::PageDown, 5005, 5003},
      {100, 10, 50, K::Down, 11, 11},  // scrolled away by the wheel: back to the row
      {100, 60, 10, K::Up, 59, 55},
  };
  for (const auto& c : cases) {
    GridFixture f(c.rows, c.current, c.top);
    f.grid.Navigate(c.key);
    EXPECT_EQ(f.grid.CurrentRow(), c.wantCurrent) << c.rows << " rows from " << c.current;
    EXPECT_EQ(f.grid.TopRow(), c.wantTop) << c.rows << " rows from " << c.current;
  }
}

TEST(Grid, WheelScrollsThreeRowsANotchWithoutMovingTheCurrentRow) {
  const struct {
    std::size_t rows, top;
    std::vector<int> deltas;
    std::size_t wantTop;
  } cases[] = {
      {100, 50, {120}, 47},     {100, 50, {-120}, 53},   {100, 1, {120}, 0},
      {100, 94, {-240}, 95},    {100, 50, {60, 60}, 47}, {100, 50, {60}, 50},
      {100, 50, {60, -60}, 50}, {3, 0, {-120}, 0},
  };
  for (const auto& c : cases) {
    GridFixture f(c.rows, 0, c.top);
    for (int delta : c.deltas) f.grid.Wheel(delta);
    EXPECT_EQ(f.grid.TopRow(), c.wantTop) << "from " << c.top;
    EXPECT_EQ(f.grid.CurrentRow(), 0u);
  }
}

TEST(Grid, ScrollBarThumbShowsThePageWithinTheList) {
  const struct {
    std::size_t rows, top;
    int thumbTop, thumbHeight;
  } cases[] = {
      {3, 0, 17, 0},  // everything fits: no thumb
      {10, 0, 17, 40},       {10, 5, 57, 40},
      {10000, 0, 17, 12},  // a long list keeps a thumb that can be grabbed
      {10000, 9995, 85, 12}, {10000, 4998, 51, 12},
  };
  for (const auto& c : cases) {
    GridFixture f(c.rows, 0, c.top);
    const auto bar = f.grid.ScrollBarGeometry();
    EXPECT_EQ(bar.left, 296);
    EXPECT_EQ(bar.height, 80);
    EXPECT_EQ(bar.thumbTop, c.thumbTop) << c.rows << " rows at " << c.top;
    EXPECT_EQ(bar.thumbHeight, c.thumbHeight) << c.rows << " rows at " << c.top;
  }
}

TEST(Grid, HitTestFindsRowsHeaderAndScrollBar) {
  using P = Grid::Hit::Part;
  const struct {
    std::size_t rows;
    int x, y;
    P part;
    std::size_t row;
  } cases[] = {
      {100, 50, 5, P::Header, 0},       {100, 50, 17, P::Row, 10},
      {100, 295, 96, P::Row, 14},       {100, 0, 30, P::None, 0},
      {100, 50, 97, P::None, 0},        {100, 311, 30, P::None, 0},
      {100, 300, 20, P::TrackAbove, 0}, {100, 300, 30, P::Thumb, 0},
      {100, 300, 40, P::TrackBelow, 0}, {13, 50, 81, P::Row, 12},
      {3, 50, 65, P::Empty, 0},         {3, 300, 30, P::ScrollBar, 0},
  };
  for (const auto& c : cases) {
    GridFixture f(c.rows, 10, 10);
    const auto hit = f.grid.HitTest(c.x, c.y);
    EXPECT_EQ(hit.part, c.part) << c.x << "," << c.y;
    if (c.part == P::Row) {
      EXPECT_EQ(hit.row, c.row) << c.x << "," << c.y;
    }
  }
}

TEST(Grid, PressesSelectRowsPageAndDragTheThumb) {
  GridFixture f(100, 10, 10);
  f.grid.MouseDown(50, 17 + 16 * 3 + 2);
  EXPECT_EQ(f.grid.CurrentRow(), 13u);
  f.grid.MouseDown(50, 5);  // the header selects nothing
  EXPECT_EQ(f.grid.CurrentRow(), 13u);
  f.grid.MouseDown(300, 90);  // the track below the thumb: a page on
  EXPECT_EQ(f.grid.TopRow(), 15u);
  EXPECT_EQ(f.grid.CurrentRow(), 13u);
  f.grid.MouseDown(300, 18);
  EXPECT_EQ(f.grid.TopRow(), 10u);

  const int thumbTop = f.grid.ScrollBarGeometry().thumbTop;
  f.grid.MouseDown(300, thumbTop + 5);
  ASSERT_TRUE(f.grid.Dragging());
  f.grid.MouseMove(0, 500);  // far below the grid: the thumb stops at the end
  EXPECT_EQ(f.grid.TopRow(), 95u);
  f.grid.MouseMove(0, 17 + 34 + 5);  // half way down the travel of 68
  EXPECT_EQ(f.grid.TopRow(), 48u);
  f.grid.MouseUp();
  f.grid.MouseMove(0, 500);
  EXPECT_EQ(f.grid.TopRow(), 48u) << "released: the thumb no longer follows";
}

TEST(Grid, DoubleClickAndContextClickSelectTheRowUnderTheMouse) {
  GridFixture f(100, 10, 10);
  std::vector<std::size_t> doubleClicked, menuAt;
  f.grid.onDoubleClick = [&] { doubleClicked.push_back(f.grid.CurrentRow()); };
  f.grid.onContextMenu = [&] { menuAt.push_back(f.grid.CurrentRow()); };
  f.grid.DoubleClick(50, 17 + 16 * 2);
  f.grid.DoubleClick(50, 5);  // the header
  f.grid.ContextClick(50, 17 + 16 * 4);
  f.grid.ContextClick(50, 5);  // the menu still opens, for the current row
  EXPECT_EQ(doubleClicked, std::vector<std::size_t>{12});
  EXPECT_EQ(menuAt, (std::vector<std::size_t>{14, 14}));
}

TEST(Grid, DisabledOrHiddenGridTakesNoInput) {
  GridFixture f(100, 10, 10);
  int events = 0;
  f.grid.onDoubleClick = f.grid.onContextMenu = [&] { ++events; };
  f.grid.SetEnabled(false);
  f.grid.MouseDown(50, 17);
  f.grid.Navigate(Grid::Key::End);
  f.grid.Wheel(-120);
  f.grid.DoubleClick(50, 33);
  f.grid.SetEnabled(true);
  f.grid.SetVisible(false);
  f.grid.ContextClick(50, 33);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(f.grid.CurrentRow(), 10u);
  EXPECT_EQ(f.grid.TopRow(), 10u);
}

TEST(Grid, InvalidatePullsTheRowsBackInsideAShorterListAndRepaints) {
  const struct {
    std::size_t rows, current, top, newRows, wantCurrent, wantTop;
  } cases[] = {
      {100, 50, 48, 10, 9, 5}, {100, 50, 48, 1, 0, 0},     {100, 50, 48, 0, 0, 0},
      {100, 3, 0, 2, 1, 0},    {100, 50, 48, 200, 50, 48},
  };
  for (const auto& c : cases) {
    GridFixture f(c.rows, c.current, c.top);
    Counter counter;
    f.grid.SetObserver(&counter);
    f.source.count = c.newRows;
    f.grid.Invalidate();
    EXPECT_EQ(f.grid.CurrentRow(), c.wantCurrent) << c.newRows << " rows left";
    EXPECT_EQ(f.grid.TopRow(), c.wantTop) << c.newRows << " rows left";
    EXPECT_EQ(counter.changes, 1) << "repainted even when nothing moved";
  }
}

TEST(Grid, SelectRowClampsToTheLastRowAndTellsOnlyOfMoves) {
  GridFixture f(100);
  Counter counter;
  f.grid.SetObserver(&counter);
  f.grid.SelectRow(5000);
  EXPECT_EQ(f.grid.CurrentRow(), 99u);
  EXPECT_EQ(f.grid.TopRow(), 95u);
  EXPECT_EQ(f.grid.ShownRows(), 5u);
  f.grid.SelectRow(99);
  f.grid.ScrollTo(200);
  EXPECT_EQ(counter.changes, 1);
}

}  // namespace
}  // namespace cloakwise::ui
