#pragma once

#include <windows.h>

#include <memory>

namespace cloakwise::ui::win32 {

// The face of the text fields the program puts over its painted frames.
inline constexpr COLORREF kFieldFace = RGB(250, 250, 252);

// The fonts and brushes every window of the program draws with. A font is a
// system object of its own, so they are made once for all the windows: the
// first window to ask makes them, and they go with the last one.
class GdiSet {
 public:
  // Only on the user-interface thread, like the windows that use it.
  static std::shared_ptr<const GdiSet> Shared();

  GdiSet();
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
