#pragma once

#include <windows.h>

#include <memory>

#include "ui/keyboard_focus.h"
#include "ui/layout.h"
#include "ui/scale.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

// Paints the main window as the model holds it now: the ground and the title
// strip, each widget the layout shows, and the keyboard's focus cue. It draws
// in the layout's units on a canvas of the window's scale, so every pixel is
// covered and nothing flickers.
class MainPainter {
 public:
  MainPainter(const Layout& layout, const KeyboardFocus& focus, std::shared_ptr<const GdiSet> gdi);

  void Paint(HDC target, const Scale& scale) const;

 private:
  void PaintGround(HDC dc) const;
  void PaintFocusCue(HDC dc) const;

  const Layout& layout_;
  const KeyboardFocus& focus_;
  std::shared_ptr<const GdiSet> gdi_;  // in units
};

}  // namespace cloakwise::ui::win32
