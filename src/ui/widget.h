#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/main_form.h"

namespace cloakwise::ui {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The keys the main window gives the painted controls.
enum class FocusKey {
  Tab,
  Space,
  Enter,
  Escape,
  Menu,  // the menu key, or Shift+F10
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End
};

class Layout;
class WidgetKind;
struct AccessibleItem;

// One control of the main window where it is laid out, or a part of the
// frame (then without a control), and what its kind makes of the mouse, the
// keys, a screen reader and the painter.
struct Widget {
  const WidgetKind* kind;
  Control* control;
  Rect rect;
  std::optional<View> view;  // nothing: on every view
  std::string text;          // what a hot spot, heading or tab shows
  std::function<void()> action;
  std::optional<View> tab;  // for tabs: the view it opens
  // On a view of pages: the page it is on (none: on every page), and for
  // the tabs between them, the page it opens.
  std::optional<int> page;
  std::optional<int> opensPage;
  // A check box and the label that names it, which a click on toggles it
  // too: one stop for the keyboard and one item for a screen reader.
  const Widget* caption = nullptr;
  const Widget* captionOf = nullptr;
};

// Draws each kind of widget where the layout put it; the window's renderer
// is one, and knows the skin.
class WidgetPainter {
 public:
  virtual ~WidgetPainter() = default;
  virtual void Text(const Widget& w, const std::string& text) = 0;
  // Wrapped on the bottom of its rectangle, growing upward.
  virtual void Status(const Widget& w, const std::string& text) = 0;
  virtual void Heading(const Widget& w, const std::string& text) = 0;
  virtual void Button(const Widget& w, const std::string& caption) = 0;
  virtual void Box(const Widget& w, bool checked) = 0;
  virtual void Bar(const Widget& w, const Slider& slider) = 0;
  virtual void Spin(const Widget& w, const std::string& text) = 0;
  virtual void Gauge(const Widget& w, int position) = 0;
  virtual void HotSpot(const Widget& w, const std::string& text) = 0;
  virtual void Tab(const Widget& w, bool current) = 0;
  virtual void List(const Widget& w, const Grid& grid) = 0;
};

// What one kind of widget does. The layout, the keyboard focus, the screen
// reader's items and the painter ask the widget's kind, so a new kind of
// control is one class here. The layout has already run a frame action and
// refused a hidden or disabled control before it asks for a click.
class WidgetKind {
 public:
  enum class KeyOutcome { Ignored, Taken, Click };
  enum class PressOutcome { Ignored, Taken, Captured };
  // How the screen reader's items are named as they are made: a slider or
  // list is named by the text before it.
  struct Naming {
    const Layout& layout;
    const Control* focused;
    std::string lastText;
  };

  virtual ~WidgetKind() = default;

  virtual bool TakesFocus(const Widget&) const { return false; }
  virtual bool ClickableAt(const Widget&, int /*x*/, int /*y*/) const { return false; }
  virtual void Click(const Widget&, int /*x*/, int /*y*/) const {}
  // Click: the key works as a click in the widget's middle.
  virtual KeyOutcome Key(const Widget&, FocusKey) const { return KeyOutcome::Ignored; }
  // The left button's press, or the second of a double click; a widget that
  // captures the mouse follows it until the button is released.
  virtual PressOutcome Press(const Widget&, int /*x*/, int /*y*/, bool /*twice*/) const {
    return PressOutcome::Ignored;
  }
  virtual void Drag(const Widget&, int /*x*/, int /*y*/) const {}
  virtual void DragEnd(const Widget&) const {}
  virtual bool ContextClick(const Widget&, int /*x*/, int /*y*/) const { return false; }
  // The menu key while the widget has the focus.
  virtual bool OpenMenu(const Widget&) const { return false; }
  // The wheel and the navigation keys, for a widget that scrolls.
  virtual bool Scroll(const Widget&, int /*wheelDelta*/) const { return false; }
  virtual bool Navigate(const Widget&, Grid::Key) const { return false; }
  virtual void Describe(const Widget&, Naming&, std::vector<AccessibleItem>&) const = 0;
  virtual void Paint(const Widget&, const Layout&, WidgetPainter&) const = 0;
};

// The kinds, one object each.
const WidgetKind& LabelKind();
const WidgetKind& StatusKind();  // wrapped text that grows upward from its bottom
const WidgetKind& TextButtonKind();
const WidgetKind& HeadingKind();
const WidgetKind& CheckBoxKind();
const WidgetKind& SliderKind();
const WidgetKind& SpinKind();
const WidgetKind& GaugeKind();
const WidgetKind& HotSpotKind();
const WidgetKind& TabKind();
const WidgetKind& GridKind();

}  // namespace cloakwise::ui
