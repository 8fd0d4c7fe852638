#include "ui/win32/flat_menu.h"

#include <algorithm>

#include "ui/win32/gdi_set.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {
namespace {

constexpr int kItemHeight = 19;
constexpr int kSeparatorHeight = 7;
constexpr int kTextIndent = 12;
// Room at the right for the arrow that the system draws beside an item that
// unfolds a submenu.
constexpr int kArrowRoom = 22;

const MenuItem* ItemOf(ULONG_PTR data) {
  return reinterpret_cast<const MenuItem*>(data);
}

}  // namespace

FlatMenu::FlatMenu(const Scale& scale) {
  SetScale(scale);
}

void FlatMenu::SetScale(const Scale& scale) {
  scale_ = scale;
  gdi_ = GdiSet::Shared(scale);
}

HMENU FlatMenu::Build(const Menu& menu, std::vector<MenuItem*>& commands) const {
  HMENU popup = CreatePopupMenu();
  Append(popup, menu, commands);
  // The face shows around the items too, in the menu's margins.
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
  info.hbrBack = gdi_->menuFace;
  SetMenuInfo(popup, &info);
  return popup;
}

MenuItem* FlatMenu::Track(HWND owner, const Menu& menu, POINT at, UINT alignment) const {
  std::vector<MenuItem*> commands;
  HMENU popup = Build(menu, commands);
  // Without this a tray menu stays open when the user clicks elsewhere.
  SetForegroundWindow(owner);
  const UINT chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | alignment, at.x, at.y,
                                     0, owner, nullptr);
  PostMessageW(owner, WM_NULL, 0, 0);
  DestroyMenu(popup);  // and the menus it unfolds
  return chosen > 0 && chosen <= commands.size() ? commands[chosen - 1] : nullptr;
}

void FlatMenu::Append(HMENU target, const Menu& menu, std::vector<MenuItem*>& commands) const {
  for (MenuItem* item : menu.Items()) {
    if (!item->Visible()) continue;
    const auto data = reinterpret_cast<LPCWSTR>(item);  // owner-drawn: the item, not a text
    const UINT grayed = item->Enabled() ? 0 : MF_GRAYED;
    if (item->IsSeparator()) {
      AppendMenuW(target, MF_OWNERDRAW | MF_SEPARATOR, 0, data);
    } else if (const Menu* submenu = item->Submenu()) {
      HMENU popup = CreatePopupMenu();
      Append(popup, *submenu, commands);
      AppendMenuW(target, MF_OWNERDRAW | MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(popup),
                  data);
    } else {
      commands.push_back(item);
      AppendMenuW(target, MF_OWNERDRAW | grayed, commands.size(), data);
    }
  }
}

std::optional<LRESULT> FlatMenu::OwnerMessage(UINT message, LPARAM lParam) const {
  if (message == WM_MEASUREITEM && Measure(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
    return TRUE;
  }
  if (message == WM_DRAWITEM && Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
    return TRUE;
  }
  return std::nullopt;
}

bool FlatMenu::Measure(MEASUREITEMSTRUCT& m) const {
  if (m.CtlType != ODT_MENU || m.itemData == 0) return false;
  const MenuItem* item = ItemOf(m.itemData);
  if (item->IsSeparator()) {
    m.itemWidth = 0;
    m.itemHeight = static_cast<UINT>(scale_.ToPixels(kSeparatorHeight));
    return true;
  }
  // Measured in bold, so the highlight never needs more room than there is.
  HDC screen = GetDC(nullptr);
  const SIZE size = TextSize(screen, gdi_->menuBold, item->Caption());
  ReleaseDC(nullptr, screen);
  const int height =
      std::max(static_cast<int>(size.cy) + scale_.ToPixels(6), scale_.ToPixels(kItemHeight));
  m.itemWidth = static_cast<UINT>(scale_.ToPixels(kTextIndent + kArrowRoom) + size.cx);
  m.itemHeight = static_cast<UINT>(height);
  return true;
}

bool FlatMenu::Draw(const DRAWITEMSTRUCT& d) const {
  if (d.CtlType != ODT_MENU || d.itemData == 0) return false;
  const MenuItem* item = ItemOf(d.itemData);
  RECT r = d.rcItem;
  if (item->IsSeparator()) {
    FillSolidRect(d.hDC, r, palette::kMenuFace);
    const int middle = (r.top + r.bottom) / 2;
    const int inset = scale_.ToPixels(4), line = scale_.ToPixels(1);
    FillSolidRect(d.hDC, {r.left + inset, middle - line, r.right - inset, middle},
                  palette::kMenuSeparatorShadow);
    FillSolidRect(d.hDC, {r.left + inset, middle, r.right - inset, middle + line},
                  palette::kMenuSeparatorLight);
    return true;
  }
  const bool grayed = (d.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const bool selected = (d.itemState & ODS_SELECTED) != 0 && !grayed;
  FillSolidRect(d.hDC, r, selected ? palette::kMenuHighlight : palette::kMenuFace);
  r.left += scale_.ToPixels(kTextIndent);
  const COLORREF color =
      grayed ? palette::kMenuGrayedText : (selected ? palette::kWhite : palette::kFieldText);
  DrawText(d.hDC, selected ? gdi_->menuBold : gdi_->menu, color, r, item->Caption(),
           DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  return true;
}

}  // namespace cloakwise::ui::win32
