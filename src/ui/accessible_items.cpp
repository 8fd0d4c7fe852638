#include "ui/accessible_items.h"

#include "ui/grid.h"

namespace cloakwise::ui {
namespace {

using Kind = Layout::Kind;

// What a widget shows as text: a label's caption or the frame's own text.
std::string ShownText(const Layout::Widget& w) {
  if (w.control && (w.kind == Kind::Label || w.kind == Kind::Status || w.kind == Kind::TextButton))
    return static_cast<const Label*>(w.control)->Caption();
  return w.text;
}

std::optional<AccessibleRole> RoleOf(const Layout::Widget& w) {
  switch (w.kind) {
    case Kind::CheckBox:
      return AccessibleRole::CheckBox;
    case Kind::TextButton:
      return AccessibleRole::PushButton;
    case Kind::Slider:
      return AccessibleRole::Slider;
    case Kind::Spin:
      return AccessibleRole::SpinBox;
    case Kind::Gauge:
      return AccessibleRole::ProgressBar;
    case Kind::Tab:
      return AccessibleRole::Tab;
    case Kind::Grid:
      return AccessibleRole::List;
    case Kind::HotSpot:
      // The frame's spots act; the state pictures only tell.
      return w.action ? AccessibleRole::PushButton : AccessibleRole::Text;
    case Kind::Label:
    case Kind::Status:
    case Kind::Heading:
      return AccessibleRole::Text;
  }
  return std::nullopt;
}

std::string RowText(const Grid& grid, std::size_t row) {
  std::string text;
  for (int column = 0; column < Grid::kColumnCount; ++column) {
    if (column > 0) text += ", ";
    text += grid.Source()->Cell(row, column);
  }
  return text;
}

// "Proxy speed:" names the slider after it as "Proxy speed".
std::string WithoutColon(std::string text) {
  if (!text.empty() && text.back() == ':') text.pop_back();
  return text;
}

}  // namespace

const Layout::Widget* CaptionOf(const Layout& layout, const Layout::Widget& box) {
  const auto& widgets = layout.Widgets();
  const auto next = static_cast<std::size_t>(&box - widgets.data()) + 1;
  if (box.kind != Kind::CheckBox || next >= widgets.size()) return nullptr;
  const Layout::Widget& caption = widgets[next];
  const bool beside = caption.kind == Kind::Label && caption.control && caption.view == box.view &&
                      caption.page == box.page && caption.rect.y <= box.rect.y + box.rect.h &&
                      box.rect.y <= caption.rect.y + caption.rect.h && caption.rect.x >= box.rect.x;
  return beside ? &caption : nullptr;
}

std::vector<AccessibleItem> AccessibleItems(const Layout& layout, const Control* focused) {
  std::vector<AccessibleItem> items;
  const auto& widgets = layout.Widgets();
  std::string lastText;  // names a slider or spin field from the text before it
  for (std::size_t i = 0; i < widgets.size(); ++i) {
    const Layout::Widget& w = widgets[i];
    if (!layout.Shown(w)) continue;
    const auto role = RoleOf(w);
    if (!role) continue;
    AccessibleItem item{*role, ShownText(w), "", w.rect};
    item.unavailable = w.control && !w.control->Enabled();
    item.focused = focused && w.control == focused;
    switch (w.kind) {
      case Kind::CheckBox: {
        // A box and its caption are one check box to the user.
        item.checked = static_cast<const CheckBox*>(w.control)->Checked();
        if (const Layout::Widget* caption = CaptionOf(layout, w)) {
          item.name = ShownText(*caption);
          item.focused = item.focused || (focused && caption->control == focused);
          ++i;
        }
        lastText = WithoutColon(item.name);  // "Change the proxy every:" names the minutes
        break;
      }
      case Kind::Slider:
        item.name = lastText;
        item.value = std::to_string(static_cast<const Slider*>(w.control)->Position());
        break;
      case Kind::Spin:
        item.name = lastText;
        item.value = std::to_string(static_cast<const SpinEdit*>(w.control)->Value());
        break;
      case Kind::Gauge:
        item.name = "Speed";
        item.value = std::to_string(static_cast<const Gauge*>(w.control)->Position());
        break;
      case Kind::Tab:
        item.checked = layout.Current(w);
        break;
      case Kind::Grid:
        item.name = lastText;
        break;
      default:
        break;
    }
    if (item.role == AccessibleRole::Text && item.name.empty()) continue;
    if (item.role == AccessibleRole::Text) lastText = WithoutColon(item.name);
    items.push_back(item);
    if (w.kind == Kind::Grid) {
      const Grid& grid = *static_cast<const Grid*>(w.control);
      if (!grid.Source()) continue;
      const int top = w.rect.y + Grid::kBorder + Grid::kHeaderHeight;
      for (std::size_t k = 0; k < grid.ShownRows(); ++k) {
        const std::size_t row = grid.TopRow() + k;
        AccessibleItem rowItem{AccessibleRole::ListRow, RowText(grid, row), "",
                               Rect{w.rect.x, top + static_cast<int>(k) * Grid::kRowHeight,
                                    w.rect.w, Grid::kRowHeight}};
        rowItem.checked = row == grid.CurrentRow();  // the selected row
        items.push_back(rowItem);
      }
    }
  }
  return items;
}

}  // namespace cloakwise::ui
