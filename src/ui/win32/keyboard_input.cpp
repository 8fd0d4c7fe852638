#include "ui/win32/keyboard_input.h"

#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {

std::optional<KeyboardFocus::Key> FocusKey(WPARAM virtualKey, bool shift) {
  using Key = KeyboardFocus::Key;
  switch (virtualKey) {
    case VK_TAB:
      return Key::Tab;
    case VK_SPACE:
      return Key::Space;
    case VK_RETURN:
      return Key::Enter;
    case VK_ESCAPE:
      return Key::Escape;
    case VK_APPS:
      return Key::Menu;
    case VK_F10:
      return shift ? std::optional(Key::Menu) : std::nullopt;
    case VK_LEFT:
      return Key::Left;
    case VK_RIGHT:
      return Key::Right;
    case VK_UP:
      return Key::Up;
    case VK_DOWN:
      return Key::Down;
    case VK_PRIOR:
      return Key::PageUp;
    case VK_NEXT:
      return Key::PageDown;
    case VK_HOME:
      return Key::Home;
    case VK_END:
      return Key::End;
    default:
      return std::nullopt;
  }
}

bool KeyHeld(int virtualKey) {
  return GetKeyState(virtualKey) < 0;
}

void DrawFocusCue(HDC dc, const Rect& widget) {
  HPEN pen = CreatePen(PS_DOT, 1, palette::kText);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  Rectangle(dc, widget.x - 2, widget.y - 2, widget.x + widget.w + 2, widget.y + widget.h + 2);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

}  // namespace cloakwise::ui::win32
