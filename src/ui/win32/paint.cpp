#include "ui/win32/paint.h"

#include "platform/win32/wide.h"
#include "ui/layout.h"
#include "ui/win32/palette.h"

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
    const COLORREF c = palette::Between(top, bottom, i, height > 1 ? height - 1 : 1);
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
  DrawFrame(dc, r, enabled ? palette::kCheckFrame : palette::kDisabledFrame, palette::kWellFace);
  if (!checked) return;
  HPEN pen = CreatePen(PS_SOLID, 2, enabled ? palette::kTick : palette::kDisabledFrame);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, r.left + 3, r.top + 7, nullptr);
  LineTo(dc, r.left + 6, r.bottom - 4);
  LineTo(dc, r.right - 3, r.top + 3);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void DrawSlider(HDC dc, const RECT& r, int position, int steps) {
  const int mid = (r.top + r.bottom) / 2;
  FillSolidRect(dc, {r.left, mid - 2, r.right, mid + 2}, palette::kTrack);
  for (int i = 0; i <= steps; ++i) {
    const int x = r.left + (r.right - r.left - 1) * i / (steps > 0 ? steps : 1);
    FillSolidRect(dc, {x, r.bottom - 3, x + 1, r.bottom}, palette::kFrameGrey);
  }
  const int x = r.left + (r.right - r.left - 1) * position / (steps > 0 ? steps : 1);
  DrawFrame(dc, {x - 6, r.top, x + 6, r.bottom - 4}, palette::kThumbFrame, palette::kBrandRed);
}

void DrawSpin(HDC dc, HFONT font, const RECT& r, const std::string& text) {
  DrawFrame(dc, r, palette::kFrameGrey, palette::kFieldFace);
  DrawText(dc, font, palette::kFieldText,
           {r.left + 4, r.top, r.right - Layout::kSpinArrowWidth, r.bottom}, text,
           DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  const RECT up{r.right - Layout::kSpinArrowWidth, r.top, r.right, (r.top + r.bottom) / 2};
  const RECT down{r.right - Layout::kSpinArrowWidth, (r.top + r.bottom) / 2, r.right, r.bottom};
  DrawFrame(dc, up, palette::kFrameGrey, palette::kSpinArrowFace);
  DrawFrame(dc, down, palette::kFrameGrey, palette::kSpinArrowFace);
  DrawText(dc, font, palette::kFieldText, up, "^", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DrawText(dc, font, palette::kFieldText, down, "v", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void DrawGauge(HDC dc, const RECT& r, int percent) {
  DrawFrame(dc, r, palette::kFrameGrey, palette::kWellFace);
  const int width = (r.right - r.left - 4) * percent / 100;
  // From maroon at the slow end to lime at the fast end.
  FillGradient(dc, {r.left + 2, r.top + 2, r.left + 2 + width, r.bottom - 2},
               palette::Between(palette::kGaugeSlow, palette::kGaugeFast, percent, 100),
               palette::Between(palette::kGaugeSlow, palette::kGaugeFastDark, percent, 100));
}

}  // namespace cloakwise::ui::win32
