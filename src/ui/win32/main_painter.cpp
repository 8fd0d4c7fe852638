#include "ui/win32/main_painter.h"

#include <string>
#include <utility>

#include "ui/win32/dpi.h"
#include "ui/win32/grid_painter.h"
#include "ui/win32/keyboard_input.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {
namespace {

// Each kind of widget in the program's skin, as the widget's kind asks.
class SkinPainter final : public WidgetPainter {
 public:
  SkinPainter(HDC dc, const GdiSet& gdi) : dc_(dc), gdi_(gdi) {}

  void Text(const Widget& w, const std::string& text) override {
    DrawText(dc_, gdi_.text, TextColour(w), ToRect(w.rect), text,
             DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  }
  void Status(const Widget& w, const std::string& text) override {
    DrawWrappedText(dc_, gdi_.text, TextColour(w), ToRect(w.rect), text, Placement::OnBottom);
  }
  void Heading(const Widget& w, const std::string& text) override {
    DrawText(dc_, gdi_.bold, palette::kHeadingBlue, ToRect(w.rect), text,
             DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  }
  void Button(const Widget& w, const std::string& caption) override {
    const RECT r = ToRect(w.rect);
    DrawFrame(dc_, r, palette::kBrandRed, palette::kButtonFace);
    DrawText(dc_, FittingFont(dc_, {gdi_.serif, gdi_.smallSerif}, caption, w.rect.w - 6),
             TextColour(w), r, caption, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  void Box(const Widget& w, bool checked) override {
    DrawCheckBox(dc_, ToRect(w.rect), checked, Enabled(w));
  }
  void Bar(const Widget& w, const Slider& s) override {
    DrawSlider(dc_, ToRect(w.rect), s.Position() - s.Min(), s.Max() - s.Min());
  }
  void Spin(const Widget& w, const std::string& text) override {
    DrawSpin(dc_, gdi_.text, ToRect(w.rect), text);
  }
  void Gauge(const Widget& w, int position) override {
    DrawGauge(dc_, ToRect(w.rect), position);
  }
  void HotSpot(const Widget& w, const std::string& text) override {
    DrawText(dc_, gdi_.small, palette::kSoftText, ToRect(w.rect), text,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  void Tab(const Widget& w, bool current) override {
    const RECT r = ToRect(w.rect);
    FillGradient(dc_, r, current ? palette::kBrandRed : palette::kTabGrey,
                 current ? palette::kCurrentTabDark : palette::kTabGreyDark);
    const HFONT tabFont =
        current ? FittingFont(dc_, {gdi_.bold, gdi_.text, gdi_.small}, w.text, w.rect.w - 4)
                : FittingFont(dc_, {gdi_.text, gdi_.small}, w.text, w.rect.w - 4);
    DrawText(dc_, tabFont, palette::kWhite, r, w.text,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  void List(const Widget& w, const Grid& grid) override {
    PaintGrid(dc_, ToRect(w.rect), grid, gdi_.cell, gdi_.cellBold);
  }

 private:
  static bool Enabled(const Widget& w) { return !w.control || w.control->Enabled(); }
  static COLORREF TextColour(const Widget& w) {
    return Enabled(w) ? palette::kText : palette::kDisabledText;
  }

  HDC dc_;
  const GdiSet& gdi_;
};

}  // namespace

MainPainter::MainPainter(const Layout& layout, const KeyboardFocus& focus,
                         std::shared_ptr<const GdiSet> gdi)
    : layout_(layout), focus_(focus), gdi_(std::move(gdi)) {}

void MainPainter::Paint(HDC target, const Scale& scale) const {
  Canvas canvas(target, Layout::kWidth, Layout::kHeight, scale);
  HDC dc = canvas.dc();
  SetBkMode(dc, TRANSPARENT);
  PaintGround(dc);
  SkinPainter skin(dc, *gdi_);
  for (const auto& w : layout_.Widgets()) {
    if (layout_.Shown(w)) w.kind->Paint(w, layout_, skin);
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

void MainPainter::PaintFocusCue(HDC dc) const {
  if (const Layout::Widget* focused = focus_.CueShown() ? focus_.Focused() : nullptr) {
    Rect cue = focused->rect;
    if (const Layout::Widget* caption = focused->caption) {
      // As Windows frames a check box with its text, not the label's room.
      const SIZE text = TextSize(dc, gdi_->text, static_cast<Label*>(caption->control)->Caption());
      cue.w = caption->rect.x + static_cast<int>(text.cx) + 2 - cue.x;
    }
    DrawFocusCue(dc, cue);
  }
}

}  // namespace cloakwise::ui::win32
