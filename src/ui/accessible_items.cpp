#include "ui/accessible_items.h"

namespace cloakwise::ui {

std::vector<AccessibleItem> AccessibleItems(const Layout& layout, const Control* focused) {
  std::vector<AccessibleItem> items;
  WidgetKind::Naming naming{layout, focused, {}};
  for (const Layout::Widget& w : layout.Widgets()) {
    if (layout.Shown(w)) w.kind->Describe(w, naming, items);
  }
  return items;
}

}  // namespace cloakwise::ui
