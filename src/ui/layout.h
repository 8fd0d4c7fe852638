#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/main_form.h"

namespace cloakwise::ui {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// What the frame of the window does; the composition root supplies it.
struct FrameActions {
  std::function<void()> hideToTray;
  std::function<void()> openMenu;  // the main menu at the mouse position
  std::function<void()> openVendorPage;
  std::function<void()> startDrag;  // the window follows the mouse
  std::function<void(View)> showView;
};

// Where every control of the main window sits and what a click on it does.
// The renderer paints from it and hit-tests with it; tests click through it
// as a user would.
class Layout {
 public:
  // Status: wrapped text on the bottom of its rectangle, growing upward as
  // it needs more lines, so a short line stays beside its button.
  enum class Kind {
    Label,
    Status,
    TextButton,
    Heading,
    CheckBox,
    Slider,
    Spin,
    Gauge,
    HotSpot,
    Tab,
    Grid
  };

  struct Widget {
    Kind kind;
    Control* control;  // null for parts of the frame
    Rect rect;
    std::optional<View> view;  // nothing: on every view
    std::string text;          // what a hot spot, heading or tab shows
    std::function<void()> action;
    std::optional<View> tab;  // for tabs: the view it opens
    // On a view of pages: the page it is on (none: on every page), and for
    // the tabs between them, the page it opens.
    std::optional<int> page;
    std::optional<int> opensPage;
  };

  Layout(MainForm& form, FrameActions actions);

  static constexpr int kWidth = 448;
  static constexpr int kHeight = 397;
  static constexpr int kTopStrip = 41;
  // The row of tabs along the bottom, one after the other from the left.
  static constexpr int kTabTop = 370;
  static constexpr int kTabWidth = 95;
  static constexpr int kTabCount = 4;
  // What the window paints behind the widgets: the program's name in the top
  // strip, the views' background between the strip and the tabs, and the
  // tab row's free end right of the last tab.
  static constexpr Rect kTitle{12, 0, 288, kTopStrip};
  static constexpr Rect kViewArea{0, 40, kWidth, kTabTop - 40};
  static constexpr Rect kTabRowEnd{kTabCount * kTabWidth, kTabTop, kWidth - (kTabCount * kTabWidth),
                                   kHeight - kTabTop};
  // A spin field's arrows at its right end, left of which its text goes.
  static constexpr int kSpinArrowWidth = 16;

  const std::vector<Widget>& Widgets() const { return widgets_; }
  // Whether the widget is seen now: on the current view and page, and its
  // control visible.
  bool Shown(const Widget& w) const;
  // Whether a tab stands for the view or page now shown.
  bool Current(const Widget& tab) const;
  // The topmost visible widget under the point on the current view.
  const Widget* Hit(int x, int y) const;
  // Where a control, or a part of the frame by what it shows, is laid out;
  // the first of its name when several views have one.
  const Widget* Find(const Control& control) const;
  const Widget* Find(std::string_view text) const;
  // Whether a click at the point does something, which the hand cursor
  // promises: not over plain texts, a disabled control or the grid.
  bool ClickableAt(int x, int y) const;
  void LeftDown(int x, int y);
  void LeftClick(int x, int y);  // the left button released
  // The second press of a quick pair, which comes instead of LeftDown.
  void DoubleClick(int x, int y);
  void RightClick(int x, int y);
  // Only while Capturing(): a press that began on a grid's scroll bar thumb
  // follows the mouse wherever it goes until the button is released.
  void MouseMove(int x, int y);
  bool Capturing() const { return captured_ != nullptr; }
  // The mouse was taken away in the middle of a drag: it ends where it is.
  void CancelCapture();
  // The wheel and the navigation keys reach the grid of the current view.
  void Wheel(int delta);
  void KeyDown(Grid::Key key);

 private:
  void Add(Kind kind, Control* control, Rect rect, std::optional<View> view, std::string text = {},
           std::function<void()> action = {});
  // What Add adds from now on lies on this page of its view.
  void OnPage(std::optional<int> page) { page_ = page; }
  // The grid on the current view, if it has one.
  const Widget* CurrentGrid() const;
  static Grid& GridOf(const Widget& w) { return *static_cast<Grid*>(w.control); }

  MainForm& form_;
  FrameActions actions_;
  std::vector<Widget> widgets_;
  const Widget* captured_ = nullptr;
  std::optional<int> page_;
};

}  // namespace cloakwise::ui
