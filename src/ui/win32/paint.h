#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "ui/scale.h"

namespace cloakwise::ui::win32 {

// Paints into a bitmap the size of the window and copies it out at the end,
// so that repainting never flickers.
class Canvas {
 public:
  // width and height in the layout's units; what is drawn on dc() is too,
  // and reaches the target scaled, text drawn at the scaled size.
  Canvas(HDC target, int width, int height, const Scale& scale);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC target_, dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  int width_, height_;  // in pixels
};

HFONT MakeFont(int pixelHeight, bool bold, const char* face);
void FillSolidRect(HDC dc, const RECT& r, COLORREF color);
void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom);
void DrawText(HDC dc, HFONT font, COLORREF color, RECT r, const std::string& text, UINT format);
SIZE TextSize(HDC dc, HFONT font, const std::string& text);
// The first of the fonts, largest first, in which the text fits the width;
// the last one when none does. Fonts differ from one system to the next, and
// a caption cut off reads worse than a smaller one.
HFONT FittingFont(HDC dc, std::initializer_list<HFONT> fonts, const std::string& text, int width);
// Text word-wrapped over as many lines as fit in r: centred both ways, or
// left-aligned on r's bottom edge. What does not fit is cut off.
enum class Placement { Centred, OnBottom };
void DrawWrappedText(HDC dc, HFONT font, COLORREF color, const RECT& r, const std::string& text,
                     Placement placement);
void DrawFrame(HDC dc, const RECT& r, COLORREF border, COLORREF fill);
void DrawCheckBox(HDC dc, const RECT& r, bool checked, bool enabled);
void DrawSlider(HDC dc, const RECT& r, int position, int steps);
void DrawSpin(HDC dc, HFONT font, const RECT& r, const std::string& text);
void DrawGauge(HDC dc, const RECT& r, int percent);

}  // namespace cloakwise::ui::win32
