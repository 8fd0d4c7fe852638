#pragma once

#include <string>
#include <vector>

#include "ui/layout.h"

// What a screen reader is told of the painted main window: each control of
// the current view (and page) as an item with a role, a name and a state,
// in the layout's order, and the shown rows of a list as items of their own.
// Made afresh whenever asked, from the layout and the controls as they are.
namespace cloakwise::ui {

enum class AccessibleRole {
  Text,
  PushButton,
  CheckBox,
  Tab,
  Slider,
  SpinBox,
  ProgressBar,
  List,
  ListRow
};

struct AccessibleItem {
  AccessibleRole role;
  std::string name;
  std::string value;         // a slider's, spin field's or gauge's number; a row's cells
  Rect rect;                 // in the layout's 96-DPI units
  bool checked = false;      // a check box that is, or the tab of what is shown
  bool unavailable = false;  // disabled
  bool focused = false;
};

// focused: the control the keyboard is on, if any.
std::vector<AccessibleItem> AccessibleItems(const Layout& layout, const Control* focused = nullptr);

}  // namespace cloakwise::ui
