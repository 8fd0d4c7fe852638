#include "ui/win32/main_painter.h"

#include <string>
#include <utility>

#include "ui/accessible_items.h"
#include "ui/win32/dpi.h"
#include "ui/win32/grid_painter.h"
#include "ui/win32/keyboard_input.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {

MainPainter::MainPainter(const Layout& layout, const KeyboardFocus& focus,
                         std::shared_ptr<const GdiSet> gdi)
    : layout_(layout), focus_(focus), gdi_(std::move(gdi)) {}

void MainPainter::Paint(HDC target, const Scale& scale) const {
  Canvas canvas(target, Layout::kWidth, Layout::kHeight, scale);
  HDC dc = canvas.dc();
  SetBkMode(dc, TRANSPARENT);
  PaintGround(dc);
  for (const auto& w : layout_.Widgets()) {
    if (layout_.Shown(w)) PaintWidget(dc, w);
  }
  // The row of tabs goes on past the last one to the window's edge.
  FillGradient(dc, ToRect(Layout::kTabRowEnd), palette::kTabGrey, palette::kTabGreyDark);
  PaintFocusCue(dc);
}

void MainPainter::PaintGround(HDC dc) const {
  FillSolidRect(dc, {0, 0, Layout::kWidth, Layout::kHeight}, palette::kBlack);
  FillGradient(dc, ToRect(Layout::kViewArea), palette::kViewTop, palette::kViewBottom);
  FillGradient(dc, {0, 0, Layout::kWidth, Layout::kTopStrip}, palette::kBrandRed,
               palette::kBrandRedDark);
  DrawText(dc, gdi_->bold, palette::kWhite, ToRect(Layout::kTitle), "Cloakwise",
           DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void MainPainter::PaintWidget(HDC dc, const Layout::Widget& w) const {
  const RECT r = ToRect(w.rect);
  const bool enabled = !w.control || w.control->Enabled();
  const COLORREF text = enabled ? palette::kText : palette::kDisabledText;
  switch (w.kind) {
    case Layout::Kind::Label: {
      const std::string& caption = w.control ? static_cast<Label*>(w.control)->Caption() : w.text;
      DrawText(dc, gdi_->text, text, r, caption, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
      break;
    }
    case Layout::Kind::Status:
      DrawWrappedText(dc, gdi_->text, text, r, static_cast<Label*>(w.control)->Caption(),
                      Placement::OnBottom);
      break;
    case Layout::Kind::Heading:
      DrawText(dc, gdi_->bold, palette::kHeadingBlue, r, w.text,
               DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
      break;
    case Layout::Kind::TextButton: {
      const std::string& caption = static_cast<Label*>(w.control)->Caption();
      DrawFrame(dc, r, palette::kBrandRed, palette::kButtonFace);
      DrawText(dc, FittingFont(dc, {gdi_->serif, gdi_->smallSerif}, caption, w.rect.w - 6), text, r,
               caption, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      break;
    }
    case Layout::Kind::CheckBox:
      DrawCheckBox(dc, r, static_cast<CheckBox*>(w.control)->Checked(), enabled);
      break;
    case Layout::Kind::Slider: {
      const auto* s = static_cast<Slider*>(w.control);
      DrawSlider(dc, r, s->Position() - s->Min(), s->Max() - s->Min());
      break;
    }
    case Layout::Kind::Spin:
      DrawSpin(dc, gdi_->text, r, static_cast<SpinEdit*>(w.control)->Text());
      break;
    case Layout::Kind::Gauge:
      DrawGauge(dc, r, static_cast<Gauge*>(w.control)->Position());
      break;
    case Layout::Kind::HotSpot:
      DrawText(dc, gdi_->small, palette::kSoftText, r, w.text,
               DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      break;
    case Layout::Kind::Tab: {
      const bool current = layout_.Current(w);
      FillGradient(dc, r, current ? palette::kBrandRed : palette::kTabGrey,
                   current ? palette::kCurrentTabDark : palette::kTabGreyDark);
      const HFONT tabFont =
          current ? FittingFont(dc, {gdi_->bold, gdi_->text, gdi_->small}, w.text, w.rect.w - 4)
                  : FittingFont(dc, {gdi_->text, gdi_->small}, w.text, w.rect.w - 4);
      DrawText(dc, tabFont, palette::kWhite, r, w.text,
               DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      break;
    }
    case Layout::Kind::Grid:
      PaintGrid(dc, r, *static_cast<Grid*>(w.control), gdi_->cell, gdi_->cellBold);
      break;
  }
}

void MainPainter::PaintFocusCue(HDC dc) const {
  if (const Layout::Widget* focused = focus_.CueShown() ? focus_.Focused() : nullptr) {
    Rect cue = focused->rect;
    if (const Layout::Widget* caption = CaptionOf(layout_, *focused)) {
      // As Windows frames a check box with its text, not the label's room.
      const SIZE text = TextSize(dc, gdi_->text, static_cast<Label*>(caption->control)->Caption());
      cue.w = caption->rect.x + static_cast<int>(text.cx) + 2 - cue.x;
    }
    DrawFocusCue(dc, cue);
  }
}

}  // namespace cloakwise::ui::win32
