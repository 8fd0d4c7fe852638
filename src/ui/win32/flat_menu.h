#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "ui/controls.h"
#include "ui/scale.h"

namespace cloakwise::ui::win32 {

class GdiSet;

// The program's popup menus, drawn flat by their owner window: Arial
// 8-point items on a sky-blue face, the highlighted item navy with bold
// white text. The system still unfolds submenus and moves the highlight
// with the keys; only the drawing is ours.
class FlatMenu {
 public:
  // Sized for the scale of the window that shows it.
  explicit FlatMenu(const Scale& scale);
  void SetScale(const Scale& scale);

  // A popup of the visible items of a menu and of the menus its items
  // unfold; an item's command id is its place in `commands`, plus one. The
  // items point at the model, which must outlive the popup.
  HMENU Build(const Menu& menu, std::vector<MenuItem*>& commands) const;
  // The owner window's WM_MEASUREITEM and WM_DRAWITEM for menu items;
  // nothing when the message is about something else.
  std::optional<LRESULT> OwnerMessage(UINT message, LPARAM lParam) const;
  // Shows the menu at a point of the screen, drawn by the owner window,
  // until the user chooses or leaves; the item chosen, if any.
  MenuItem* Track(HWND owner, const Menu& menu, POINT at, UINT alignment) const;

 private:
  void Append(HMENU target, const Menu& menu, std::vector<MenuItem*>& commands) const;
  // False when the item is none of the menu's.
  bool Measure(MEASUREITEMSTRUCT& item) const;
  bool Draw(const DRAWITEMSTRUCT& item) const;

  Scale scale_;
  std::shared_ptr<const GdiSet> gdi_;
};

}  // namespace cloakwise::ui::win32
