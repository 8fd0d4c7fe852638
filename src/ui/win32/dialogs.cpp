#include "ui/win32/dialogs.h"

#include <algorithm>

#include "platform/win32/wide.h"
#include "ui/win32/dpi.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {
namespace {

using platform::Widen;

constexpr int kBoxWidth = 499, kBoxHeight = 167;
constexpr int kAboutWidth = 320, kAboutHeight = 150;
constexpr int kOkId = 1;
constexpr RECT kLinkRect{152, 140, 152 + 193, 140 + 21};
constexpr RECT kTextRect{24, 56, 24 + 457, 56 + 49};

RECT Below(RECT r, int by) {
  r.top += by;
  r.bottom += by;
  return r;
}

// How much taller than its place the text is, in units: the box grows by
// that, so that no line of a longer notice is cut off.
int Overflow(HFONT font, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT measure = kTextRect;
  const std::wstring wide = Widen(text);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &measure,
            DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  const int over = (measure.bottom - measure.top) - (kTextRect.bottom - kTextRect.top);
  // As much room around the longer text as the usual two lines have.
  return over > 0 ? over + 12 : 0;
}

// A push button of the dialog, placed and lettered at its scale.
HWND AddButton(HWND dialog, HINSTANCE instance, const std::string& caption, DWORD style,
               const Rect& units, const Scale& scale, HFONT font) {
  const Rect at = scale.ToPixels(units);
  HWND button = CreateWindowExW(
      0, L"BUTTON", Widen(caption).c_str(), WS_CHILD | WS_VISIBLE | style, at.x, at.y, at.w, at.h,
      dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), instance, nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return button;
}

}  // namespace

MessageBoxHost::MessageBoxHost(HINSTANCE instance, const platform::OwnerWindow& owner)
    : DialogShell(kBoxWidth, kBoxHeight, palette::kDialogRed, palette::kDialogRedDark),
      instance_(instance),
      owner_(owner) {
  Register(instance, kMessageBoxClass);
}

MessageBoxHost::~MessageBoxHost() = default;

void MessageBoxHost::RunModal(MessageBoxForm& form) {
  form_ = &form;
  closed_ = false;
  // At the scale of the window it speaks for.
  const HWND owner = owner_.Get();
  scale_ = owner ? WindowScale(owner) : SystemScale();
  const auto buttonGdi = GdiSet::Shared(scale_);
  grown_ = Overflow(gdi_->bold, form.text.Caption());
  height_ = kBoxHeight + grown_;
  HWND window = CreateCentred(instance_, kMessageBoxClass, form.title.Caption());
  HWND ok = AddButton(window, instance_, form.okButton.Caption(), WS_TABSTOP | BS_DEFPUSHBUTTON,
                      {208, 108 + grown_, 75, 25}, scale_, buttonGdi->bold);
  {
    ModalRun run(window, owner, ok);
    run.Loop([this] { return !closed_; },
             [&](const MSG& msg) {
               // Enter presses OK, wherever in the box the keys are.
               const bool enter = msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
                                  (msg.hwnd == window || IsChild(window, msg.hwnd));
               if (enter) closed_ = true;
               return enter;
             });
  }
  form_ = nullptr;
}

void MessageBoxHost::PaintFace(HDC dc) {
  DrawText(dc, gdi_->bold, palette::kWhite, {8, 8, 8 + 449, 8 + 17}, form_->title.Caption(),
           DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  RECT text = kTextRect;
  text.bottom += grown_;
  DrawWrappedText(dc, gdi_->bold, palette::kText, text, form_->text.Caption(), Placement::Centred);
  DrawText(dc, gdi_->small, palette::kHeadingBlue, Below(kLinkRect, grown_),
           "www.cloakwise.example", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

bool MessageBoxHost::ClickableAt(POINT units) const {
  const RECT link = Below(kLinkRect, grown_);
  return PtInRect(&link, units);
}

LRESULT MessageBoxHost::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkId) closed_ = true;
      return 0;
    case WM_LBUTTONUP:
      if (ClickableAt(MouseUnits(lParam, scale_))) {
        form_->vendorLink.Click();  // the box stays open
      }
      return 0;
    case WM_CLOSE:
      closed_ = true;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

AboutWindow::AboutWindow(HINSTANCE instance, AboutForm& form)
    : DialogShell(kAboutWidth, kAboutHeight, palette::kDialogRed, palette::kDialogRedDark,
                  SystemScale()),
      form_(form) {
  Register(instance, kAboutClass);
  window_ = CreateCentred(instance, kAboutClass, form.title.Caption());
  buttonGdi_ = GdiSet::Shared(scale_);
  AddButton(window_, instance, form.close.Caption(), BS_PUSHBUTTON,
            {(kAboutWidth - 75) / 2, 108, 75, 25}, scale_, buttonGdi_->largeBold);
  form_.window.SetObserver(this);
}

AboutWindow::~AboutWindow() {
  form_.window.SetObserver(nullptr);
  DestroyWindow(window_);
}

void AboutWindow::ControlChanged(const Control& control) {
  if (&control != &form_.window) return;
  if (form_.window.Visible()) {
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else {
    ShowWindow(window_, SW_HIDE);
  }
}

void AboutWindow::PaintFace(HDC dc) {
  DrawText(dc, gdi_->largeBold, palette::kWhite, {8, 8, kAboutWidth - 8, 26}, form_.title.Caption(),
           DT_LEFT | DT_SINGLELINE);
  DrawText(dc, gdi_->large, palette::kText, {8, 56, kAboutWidth - 8, 80}, form_.version.Caption(),
           DT_CENTER | DT_SINGLELINE);
}

LRESULT AboutWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkId) form_.close.Click();
      return 0;
    case WM_CLOSE:
      form_.close.Click();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace cloakwise::ui::win32
