#pragma once

#include <windows.h>

namespace cloakwise::ui::win32::palette {

// The skin's colours, each named once: every window, control and menu of the
// program paints with these, so a change of colour is made here alone. A
// colour that serves two purposes has a second name made of the first.

// The brand's red and its dark end: the title strip, the buttons' frames,
// the current tab, the slider's thumb.
inline constexpr COLORREF kBrandRed = RGB(150, 20, 24);
inline constexpr COLORREF kBrandRedDark = RGB(70, 8, 10);
// The current tab fades to a red of its own, lighter than the strip's.
inline constexpr COLORREF kCurrentTabDark = RGB(90, 10, 12);
// The message box and the About window wear a brighter red strip.
inline constexpr COLORREF kDialogRed = RGB(190, 24, 28);
inline constexpr COLORREF kDialogRedDark = RGB(110, 10, 14);

// The views' ground, from the top down; black behind all of it.
inline constexpr COLORREF kViewTop = RGB(24, 30, 44);
inline constexpr COLORREF kViewBottom = RGB(6, 8, 14);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);

// Text on the dark ground.
inline constexpr COLORREF kWhite = RGB(255, 255, 255);  // titles and tabs
inline constexpr COLORREF kText = RGB(235, 238, 245);
inline constexpr COLORREF kDisabledText = RGB(110, 115, 125);
inline constexpr COLORREF kHeadingBlue = RGB(120, 180, 235);  // headings and links
inline constexpr COLORREF kSoftText = RGB(200, 205, 215);     // hot spots and hints
// Text on the light faces: the spin field, the minutes field, the menus.
inline constexpr COLORREF kFieldText = kBlack;

// The big buttons' face inside their red frame.
inline constexpr COLORREF kButtonFace = RGB(40, 46, 62);
// A tab that is not the current one, from the top down; the row's empty end
// is one too.
inline constexpr COLORREF kTabGrey = RGB(50, 56, 72);
inline constexpr COLORREF kTabGreyDark = RGB(24, 28, 38);

// The painted controls.
inline constexpr COLORREF kCheckFrame = kSoftText;
inline constexpr COLORREF kDisabledFrame = RGB(90, 95, 105);
inline constexpr COLORREF kWellFace = RGB(16, 20, 28);  // inside a check box and the gauge
inline constexpr COLORREF kTick = RGB(90, 220, 110);
inline constexpr COLORREF kTrack = RGB(80, 88, 108);  // the slider's groove
inline constexpr COLORREF kFrameGrey = RGB(140, 148, 165);
inline constexpr COLORREF kThumbFrame = RGB(230, 232, 240);
// The face of the text fields the program puts over its painted frames,
// and of the spin field they stand in for.
inline constexpr COLORREF kFieldFace = RGB(250, 250, 252);
inline constexpr COLORREF kSpinArrowFace = RGB(210, 214, 222);
// The gauge runs from maroon at the slow end to lime at the fast end, its
// bottom edge a darker green.
inline constexpr COLORREF kGaugeSlow = RGB(128, 0, 0);
inline constexpr COLORREF kGaugeFast = RGB(0, 255, 0);
inline constexpr COLORREF kGaugeFastDark = RGB(0, 200, 0);

// The proxy list.
inline constexpr COLORREF kGridBorder = kTrack;
inline constexpr COLORREF kRowFace = RGB(14, 18, 26);
inline constexpr COLORREF kStripeFace = RGB(20, 25, 36);
inline constexpr COLORREF kGridLine = RGB(34, 40, 54);
inline constexpr COLORREF kHeaderTop = RGB(58, 66, 86);
inline constexpr COLORREF kHeaderBottom = RGB(30, 35, 48);
inline constexpr COLORREF kHeaderLine = RGB(90, 98, 118);
inline constexpr COLORREF kCurrentRowRed = RGB(170, 28, 32);
inline constexpr COLORREF kCurrentRowRedDark = RGB(110, 12, 16);
inline constexpr COLORREF kScrollTrack = kTabGreyDark;
inline constexpr COLORREF kScrollThumbFrame = RGB(130, 138, 158);
inline constexpr COLORREF kScrollThumbFace = RGB(72, 80, 100);

// The flat menus: sky blue, the highlighted item navy.
inline constexpr COLORREF kMenuFace = RGB(166, 202, 240);
inline constexpr COLORREF kMenuHighlight = RGB(0, 0, 128);
inline constexpr COLORREF kMenuSeparatorShadow = RGB(90, 120, 170);
inline constexpr COLORREF kMenuSeparatorLight = RGB(235, 244, 255);
inline constexpr COLORREF kMenuGrayedText = RGB(110, 125, 145);

// The colour `step` steps of `steps` along the way from one colour to
// another, each channel rounded towards the first, as a gradient's lines
// and the gauge's fill take them.
constexpr COLORREF Between(COLORREF from, COLORREF to, int step, int steps) {
  const auto mix = [&](int a, int b) { return a + (b - a) * step / steps; };
  return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
             mix(GetBValue(from), GetBValue(to)));
}

}  // namespace cloakwise::ui::win32::palette
