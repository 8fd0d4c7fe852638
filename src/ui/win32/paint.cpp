#include "ui/win32/paint.h"

#include "platform/win32/wide.h"
#include "ui/layout.h"

namespace cloakwise::ui::win32 {

using platform::Widen;

Canvas::Canvas(HDC target, int width, int height, const Scale& scale)
    : target_(target),
      dc_(CreateCompatibleDC(target)),
      width_(scale.ToPixels(width)),
      height_(scale.ToPixels(height)) {
  bitmap_ = CreateCompatibleBitmap(target, width_, height_);
  old_ = SelectObject(dc_, bitmap_);
  if (scale.Dpi() != Scale::kBaseDpi) {
    // One transform for everything drawn: the painting code knows units only.
    SetGraphicsMode(dc_, GM_ADVANCED);
    const auto factor = static_cast<FLOAT>(scale.Factor());
    const XFORM toPixels{factor, 0, 0, factor, 0, 0};
    SetWorldTransform(dc_, &toPixels);
  }
}

Canvas::~Canvas() {
  ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
  BitBlt(target_, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
  SelectObject(dc_, old_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

HFONT MakeFont(int pixelHeight, bool bold, const char* face) {
  return CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     DEFAULT_PITCH, Widen(face).c_str());
}

void FillSolidRect(HDC dc, const RECT& r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  const int height = r.bottom - r.top;
  for (int i = 0; i < height; ++i) {
    auto mix = [&](int a, int b) { return a + (b - a) * i / (height > 1 ? height - 1 : 1); };
    const COLORREF c =
        RGB(mix(GetRValue(top), GetRValue(bottom)), mix(GetGValue(top), GetGValue(bottom)),
            mix(GetBValue(top), GetBValue(bottom)));
    FillSolidRect(dc, {r.left, r.top + i, r.right, r.top + i + 1}, c);
  }
}

void DrawText(HDC dc, HFONT font, COLORREF color, RECT r, const std::string& text, UINT format) {
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, color);
  SetBkMode(dc, TRANSPARENT);
  const std::wstring wide = Widen(text);
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format);
  SelectObject(dc, old);
}

SIZE TextSize(HDC dc, HFONT font, const std::string& text) {
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  const std::wstring wide = Widen(text);
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc, old);
  return size;
}

HFONT FittingFont(HDC dc, std::initializer_list<HFONT> fonts, const std::string& text, int width) {
  HFONT chosen = nullptr;
  for (HFONT font : fonts) {
    chosen = font;
    if (TextSize(dc, font, text).cx <= width) break;
  }
  return chosen;
}

void DrawWrappedText(HDC dc, HFONT font, COLORREF color, const RECT& r, const std::string& text,
                     Placement placement) {
  const UINT format =
      (placement == Placement::Centred ? DT_CENTER : DT_LEFT) | DT_WORDBREAK | DT_NOPREFIX;
  HGDIOBJ old = SelectObject(dc, font);
  RECT measure = r;
  const std::wstring wide = Widen(text);
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &measure, format | DT_CALCRECT);
  SelectObject(dc, old);
  const int spare = (r.bottom - r.top) - (measure.bottom - measure.top);
  RECT placed = r;
  // Text taller than r keeps its top lines: the bottom is cut off, as on a
  // fixed-size label.
  if (spare > 0) placed.top += placement == Placement::Centred ? spare / 2 : spare;
  HRGN clip = CreateRectRgn(r.left, r.top, r.right, r.bottom);
  SelectClipRgn(dc, clip);
  DrawText(dc, font, color, placed, text, format);
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
}

void DrawFrame(HDC dc, const RECT& r, COLORREF border, COLORREF fill) {
  FillSolidRect(dc, r, border);
  FillSolidRect(dc, {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}, fill);
}

void DrawCheckBox(HDC dc, const RECT& r, bool checked, bool enabled) {
  DrawFrame(dc, r, enabled ? RGB(200, 205, 215) : RGB(90, 95, 105), RGB(16, 20, 28));
  if (!checked) return;
  HPEN pen = CreatePen(PS_SOLID, 2, enabled ? RGB(90, 220, 110) : RGB(90, 95, 105));
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, r.left + 3, r.top + 7, nullptr);
  LineTo(dc, r.left + 6, r.bottom - 4);
  LineTo(dc, r.right - 3, r.top + 3);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void DrawSlider(HDC dc, const RECT& r, int position, int steps) {
  const int mid = (r.top + r.bottom) / 2;
  FillSolidRect(dc, {r.left, mid - 2, r.right, mid + 2}, RGB(80, 88, 108));
  for (int i = 0; i <= steps; ++i) {
    const int x = r.left + (r.right - r.left - 1) * i / (steps > 0 ? steps : 1);
    FillSolidRect(dc, {x, r.bottom - 3, x + 1, r.bottom}, RGB(140, 148, 165));
  }
  const int x = r.left + (r.right - r.left - 1) * position / (steps > 0 ? steps : 1);
  DrawFrame(dc, {x - 6, r.top, x + 6, r.bottom - 4}, RGB(230, 232, 240), RGB(150, 20, 24));
}

void DrawSpin(HDC dc, HFONT font, const RECT& r, const std::string& text) {
  DrawFrame(dc, r, RGB(140, 148, 165), RGB(250, 250, 252));
  DrawText(dc, font, RGB(0, 0, 0), {r.left + 4, r.top, r.right - Layout::kSpinArrowWidth, r.bottom},
           text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  const RECT up{r.right - Layout::kSpinArrowWidth, r.top, r.right, (r.top + r.bottom) / 2};
  const RECT down{r.right - Layout::kSpinArrowWidth, (r.top + r.bottom) / 2, r.right, r.bottom};
  DrawFrame(dc, up, RGB(140, 148, 165), RGB(210, 214, 222));
  DrawFrame(dc, down, RGB(140, 148, 165), RGB(210, 214, 222));
  DrawText(dc, font, RGB(0, 0, 0), up, "^", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DrawText(dc, font, RGB(0, 0, 0), down, "v", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void DrawGauge(HDC dc, const RECT& r, int percent) {
  DrawFrame(dc, r, RGB(140, 148, 165), RGB(16, 20, 28));
  const int width = (r.right - r.left - 4) * percent / 100;
  // From maroon at the slow end to lime at the fast end.
  FillGradient(dc, {r.left + 2, r.top + 2, r.left + 2 + width, r.bottom - 2},
               RGB(128 - percent * 128 / 100, 0 + percent * 255 / 100, 0),
               RGB(128 - percent * 128 / 100, 0 + percent * 200 / 100, 0));
}

}  // namespace cloakwise::ui::win32
