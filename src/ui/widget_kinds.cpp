#include "ui/accessible_items.h"
#include "ui/grid.h"
#include "ui/layout.h"
#include "ui/widget.h"

namespace cloakwise::ui {
namespace {

using KeyOutcome = WidgetKind::KeyOutcome;
using PressOutcome = WidgetKind::PressOutcome;
using Naming = WidgetKind::Naming;

template <typename T>
T& ControlOf(const Widget& w) {
  return *static_cast<T*>(w.control);
}

// "Proxy speed:" names the slider after it as "Proxy speed".
std::string WithoutColon(std::string text) {
  if (!text.empty() && text.back() == ':') text.pop_back();
  return text;
}

// A control of the kinds that take the focus only while they may be used.
bool Usable(const Widget& w) { return w.control && w.control->Enabled(); }

AccessibleItem ItemOf(const Widget& w, AccessibleRole role, std::string name,
                      const Naming& naming) {
  AccessibleItem item{role, std::move(name), "", w.rect};
  item.unavailable = w.control && !w.control->Enabled();
  item.focused = naming.focused && w.control == naming.focused;
  return item;
}

// A text a screen reader reads, which also names the control after it; an
// empty one is not an item.
void AddText(const Widget& w, std::string text, Naming& naming,
             std::vector<AccessibleItem>& items) {
  if (text.empty()) return;
  naming.lastText = WithoutColon(text);
  items.push_back(ItemOf(w, AccessibleRole::Text, std::move(text), naming));
}

// The kinds a click on runs the control's own handler, if it has one.
class ClickableKind : public WidgetKind {
 public:
  bool ClickableAt(const Widget& w, int, int) const override {
    return static_cast<bool>(ControlOf<Clickable>(w).onClick);
  }
  void Click(const Widget& w, int, int) const override { ControlOf<Clickable>(w).Click(); }

 protected:
  // A label's caption, or the layout's own text for a label without one.
  static const std::string& ShownText(const Widget& w) {
    return w.control ? ControlOf<Label>(w).Caption() : w.text;
  }
};

class LabelKindImpl final : public ClickableKind {
 public:
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    // A box's caption is read as the box's name.
    if (!w.captionOf) AddText(w, ShownText(w), naming, items);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Text(w, ShownText(w));
  }
};

// The clean-up's status line only tells.
class StatusKindImpl final : public WidgetKind {
 public:
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AddText(w, ControlOf<Label>(w).Caption(), naming, items);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Status(w, ControlOf<Label>(w).Caption());
  }
};

class TextButtonKindImpl final : public ClickableKind {
 public:
  bool TakesFocus(const Widget& w) const override { return Usable(w); }
  KeyOutcome Key(const Widget&, FocusKey key) const override {
    return key == FocusKey::Space || key == FocusKey::Enter ? KeyOutcome::Click
                                                             : KeyOutcome::Ignored;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    items.push_back(ItemOf(w, AccessibleRole::PushButton, ShownText(w), naming));
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Button(w, ShownText(w));
  }
};

// The frame's spots act; the state pictures only tell.
class HotSpotKindImpl final : public ClickableKind {
 public:
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    if (w.action) {
      items.push_back(ItemOf(w, AccessibleRole::PushButton, w.text, naming));
    } else {
      AddText(w, w.text, naming, items);
    }
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.HotSpot(w, w.text);
  }
};

class HeadingKindImpl final : public WidgetKind {
 public:
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AddText(w, w.text, naming, items);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Heading(w, w.text);
  }
};

class CheckBoxKindImpl final : public WidgetKind {
 public:
  bool TakesFocus(const Widget& w) const override { return Usable(w); }
  bool ClickableAt(const Widget&, int, int) const override { return true; }
  void Click(const Widget& w, int, int) const override { ControlOf<CheckBox>(w).Toggle(); }
  KeyOutcome Key(const Widget&, FocusKey key) const override {
    return key == FocusKey::Space ? KeyOutcome::Click : KeyOutcome::Ignored;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    // A box and its caption are one check box to the user.
    AccessibleItem item = ItemOf(w, AccessibleRole::CheckBox, w.text, naming);
    item.checked = ControlOf<CheckBox>(w).Checked();
    if (const Widget* caption = w.caption) {
      item.name = static_cast<const Label*>(caption->control)->Caption();
      item.focused = item.focused || (naming.focused && caption->control == naming.focused);
    }
    naming.lastText = WithoutColon(item.name);  // "Change the proxy every:" names the minutes
    items.push_back(item);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Box(w, ControlOf<CheckBox>(w).Checked());
  }
};

class SliderKindImpl final : public WidgetKind {
 public:
  bool TakesFocus(const Widget& w) const override { return Usable(w); }
  bool ClickableAt(const Widget&, int, int) const override { return true; }
  void Click(const Widget& w, int x, int) const override {
    auto& slider = ControlOf<Slider>(w);
    const int steps = slider.Max() - slider.Min();
    const int offset = x - w.rect.x;
    slider.SetPosition(slider.Min() + (offset * steps + w.rect.w / 2) / w.rect.w);
  }
  KeyOutcome Key(const Widget& w, FocusKey key) const override {
    auto& slider = ControlOf<Slider>(w);
    if (key == FocusKey::Left || key == FocusKey::Right) {
      slider.SetPosition(slider.Position() + (key == FocusKey::Left ? -1 : 1));
    } else if (key == FocusKey::Home || key == FocusKey::End) {
      slider.SetPosition(key == FocusKey::Home ? slider.Min() : slider.Max());
    } else {
      return KeyOutcome::Ignored;
    }
    return KeyOutcome::Taken;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AccessibleItem item = ItemOf(w, AccessibleRole::Slider, naming.lastText, naming);
    item.value = std::to_string(ControlOf<Slider>(w).Position());
    items.push_back(item);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Bar(w, ControlOf<Slider>(w));
  }
};

// The arrows are the right end: up in the top half, down below; the rest of
// the field takes typing.
class SpinKindImpl final : public WidgetKind {
 public:
  bool TakesFocus(const Widget& w) const override { return Usable(w); }
  bool ClickableAt(const Widget& w, int x, int) const override { return OnArrows(w, x); }
  void Click(const Widget& w, int x, int y) const override {
    if (!OnArrows(w, x)) return;
    auto& spin = ControlOf<SpinEdit>(w);
    spin.SetValue(spin.Value() + (y < w.rect.y + w.rect.h / 2 ? 1 : -1));
  }
  KeyOutcome Key(const Widget& w, FocusKey key) const override {
    if (key != FocusKey::Up && key != FocusKey::Down) return KeyOutcome::Ignored;
    auto& spin = ControlOf<SpinEdit>(w);
    spin.SetValue(spin.Value() + (key == FocusKey::Up ? 1 : -1));
    return KeyOutcome::Taken;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AccessibleItem item = ItemOf(w, AccessibleRole::SpinBox, naming.lastText, naming);
    item.value = std::to_string(ControlOf<SpinEdit>(w).Value());
    items.push_back(item);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Spin(w, ControlOf<SpinEdit>(w).Text());
  }

 private:
  static bool OnArrows(const Widget& w, int x) {
    return x >= w.rect.x + w.rect.w - Layout::kSpinArrowWidth;
  }
};

class GaugeKindImpl final : public WidgetKind {
 public:
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AccessibleItem item = ItemOf(w, AccessibleRole::ProgressBar, "Speed", naming);
    item.value = std::to_string(ControlOf<Gauge>(w).Position());
    items.push_back(item);
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.Gauge(w, ControlOf<Gauge>(w).Position());
  }
};

class TabKindImpl final : public WidgetKind {
 public:
  bool TakesFocus(const Widget&) const override { return true; }
  KeyOutcome Key(const Widget&, FocusKey key) const override {
    return key == FocusKey::Space || key == FocusKey::Enter ? KeyOutcome::Click
                                                             : KeyOutcome::Ignored;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    AccessibleItem item = ItemOf(w, AccessibleRole::Tab, w.text, naming);
    item.checked = naming.layout.Current(w);
    items.push_back(item);
  }
  void Paint(const Widget& w, const Layout& layout, WidgetPainter& painter) const override {
    painter.Tab(w, layout.Current(w));
  }
};

// The list acts on the press, follows a thumb drag, has its own menu and
// takes the wheel and the navigation keys; a click's release does nothing.
class GridKindImpl final : public WidgetKind {
 public:
  bool TakesFocus(const Widget& w) const override { return Usable(w); }
  PressOutcome Press(const Widget& w, int x, int y, bool twice) const override {
    Grid& grid = ControlOf<Grid>(w);
    if (twice) {
      grid.DoubleClick(x - w.rect.x, y - w.rect.y);
    } else {
      grid.MouseDown(x - w.rect.x, y - w.rect.y);
    }
    return grid.Dragging() ? PressOutcome::Captured : PressOutcome::Taken;
  }
  void Drag(const Widget& w, int x, int y) const override {
    ControlOf<Grid>(w).MouseMove(x - w.rect.x, y - w.rect.y);
  }
  void DragEnd(const Widget& w) const override { ControlOf<Grid>(w).MouseUp(); }
  bool ContextClick(const Widget& w, int x, int y) const override {
    ControlOf<Grid>(w).ContextClick(x - w.rect.x, y - w.rect.y);
    return true;
  }
  bool OpenMenu(const Widget& w) const override {
    Grid& grid = ControlOf<Grid>(w);
    if (!grid.onContextMenu) return false;
    grid.onContextMenu();
    return true;
  }
  bool Scroll(const Widget& w, int wheelDelta) const override {
    ControlOf<Grid>(w).Wheel(wheelDelta);
    return true;
  }
  bool Navigate(const Widget& w, Grid::Key key) const override {
    ControlOf<Grid>(w).Navigate(key);
    return true;
  }
  void Describe(const Widget& w, Naming& naming, std::vector<AccessibleItem>& items) const override {
    items.push_back(ItemOf(w, AccessibleRole::List, naming.lastText, naming));
    // The shown rows are items of their own.
    const Grid& grid = ControlOf<Grid>(w);
    if (!grid.Source()) return;
    const int top = w.rect.y + Grid::kBorder + Grid::kHeaderHeight;
    for (std::size_t k = 0; k < grid.ShownRows(); ++k) {
      const std::size_t row = grid.TopRow() + k;
      std::string text;
      for (int column = 0; column < Grid::kColumnCount; ++column) {
        if (column > 0) text += ", ";
        text += grid.Source()->Cell(row, column);
      }
      AccessibleItem rowItem{
          AccessibleRole::ListRow, text, "",
          Rect{w.rect.x, top + static_cast<int>(k) * Grid::kRowHeight, w.rect.w, Grid::kRowHeight}};
      rowItem.checked = row == grid.CurrentRow();  // the selected row
      items.push_back(rowItem);
    }
  }
  void Paint(const Widget& w, const Layout&, WidgetPainter& painter) const override {
    painter.List(w, ControlOf<Grid>(w));
  }
};

}  // namespace

const WidgetKind& LabelKind() {
  static const LabelKindImpl kind;
  return kind;
}
const WidgetKind& StatusKind() {
  static const StatusKindImpl kind;
  return kind;
}
const WidgetKind& TextButtonKind() {
  static const TextButtonKindImpl kind;
  return kind;
}
const WidgetKind& HeadingKind() {
  static const HeadingKindImpl kind;
  return kind;
}
const WidgetKind& CheckBoxKind() {
  static const CheckBoxKindImpl kind;
  return kind;
}
const WidgetKind& SliderKind() {
  static const SliderKindImpl kind;
  return kind;
}
const WidgetKind& SpinKind() {
  static const SpinKindImpl kind;
  return kind;
}
const WidgetKind& GaugeKind() {
  static const GaugeKindImpl kind;
  return kind;
}
const WidgetKind& HotSpotKind() {
  static const HotSpotKindImpl kind;
  return kind;
}
const WidgetKind& TabKind() {
  static const TabKindImpl kind;
  return kind;
}
const WidgetKind& GridKind() {
  static const GridKindImpl kind;
  return kind;
}

}  // namespace cloakwise::ui
