#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/main_form.h"
#include "ui/widget.h"

namespace cloakwise::ui {

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
  using Widget = ui::Widget;

  Layout(MainForm& form, FrameActions actions);
  // The widgets point at each other and the frame actions at the layout.
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

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
  void Add(const WidgetKind& kind, Control* control, Rect rect, std::optional<View> view,
           std::string text = {}, std::function<void()> action = {});
  // Each check box's caption, which the model names, becomes its widget's.
  void PairCaptions();
  // A press the widget's kind takes, which may capture the mouse.
  bool Pressed(const Widget& w, int x, int y, bool twice);
  // What Add adds from now on lies on this page of its view.
  void OnPage(std::optional<int> page) { page_ = page; }

  MainForm& form_;
  FrameActions actions_;
  std::vector<Widget> widgets_;
  const Widget* captured_ = nullptr;
  std::optional<int> page_;
};

}  // namespace cloakwise::ui
