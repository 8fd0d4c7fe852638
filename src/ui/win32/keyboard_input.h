#pragma once

#include <windows.h>

#include <optional>

#include "ui/keyboard_focus.h"

namespace cloakwise::ui::win32 {

// The virtual key of a WM_KEYDOWN or WM_SYSKEYDOWN as the focus model names
// it; Shift+F10 is the menu key. Nothing for the keys Windows keeps, Alt+F4
// among them.
std::optional<KeyboardFocus::Key> FocusKey(WPARAM virtualKey, bool shift);
bool KeyHeld(int virtualKey);

// A dotted frame in the skin's light colour just outside the focused
// widget, which the painted controls have no focus look of their own for.
void DrawFocusCue(HDC dc, const Rect& widget);

}  // namespace cloakwise::ui::win32
