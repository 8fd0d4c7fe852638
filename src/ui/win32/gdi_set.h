#pragma once

#include <windows.h>

#include <memory>

#include "ui/scale.h"

namespace cloakwise::ui::win32 {

// The fonts and brushes every window of the program draws with. A font is a
// system object of its own, so they are made once for all the windows: the
// first window to ask makes them, and they go with the last one. Painting
// takes the 96-DPI set, which its canvas scales; the text fields and
// buttons of a window, and the menus, take the set of the window's scale.
class GdiSet {
 public:
  // Only on the user-interface thread, like the windows that use it.
  static std::shared_ptr<const GdiSet> Shared(const Scale& scale = Scale());

  explicit GdiSet(const Scale& scale);
  ~GdiSet();
  GdiSet(const GdiSet&) = delete;
  GdiSet& operator=(const GdiSet&) = delete;

  HFONT text, bold;            // Arial 13: most of the program's text
  HFONT small;                 // Arial 12: links and hot spots
  HFONT large, largeBold;      // Arial 14: the About window
  HFONT serif, smallSerif;     // Times New Roman 21 and 17: the big buttons
  HFONT hint;                  // Tahoma 11: the paste window's format line
  HFONT cell, cellBold;        // the proxy list's rows and header
  HFONT menu, menuBold;        // Arial 8 points: the flat menus
  HBRUSH fieldFace, menuFace;  // behind the text fields and the menu items
};

}  // namespace cloakwise::ui::win32
