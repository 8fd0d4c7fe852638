#include "ui/win32/dialogs.h"

#include "platform/win32/wide.h"
#include "ui/win32/paint.h"

namespace cloakwise::ui::win32 {
namespace {

using platform::Widen;

constexpr int kBoxWidth = 499, kBoxHeight = 167;
constexpr int kAboutWidth = 320, kAboutHeight = 150;
constexpr int kOkId = 1;
constexpr RECT kLinkRect{152, 140, 152 + 193, 140 + 21};

HWND CreateCentred(HINSTANCE instance, const char* className, const std::string& title, int width,
                   int height, void* self) {
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, Widen(className).c_str(),
                         Widen(title).c_str(), WS_POPUP, x, y, width, height, nullptr, nullptr,
                         instance, self);
}

void PaintBackground(HDC dc, int width, int height) {
  FillGradient(dc, {0, 0, width, height}, RGB(24, 30, 44), RGB(6, 8, 14));
  FillGradient(dc, {0, 0, width, 32}, RGB(190, 24, 28), RGB(110, 10, 14));
}

}  // namespace

MessageBoxHost::MessageBoxHost(HINSTANCE instance) : instance_(instance), gdi_(GdiSet::Shared()) {
  const std::wstring name = Widen(kMessageBoxClass);
  const WNDCLASSW wc = WindowClass(instance, name.c_str());
  RegisterClassW(&wc);
}

MessageBoxHost::~MessageBoxHost() = default;

void MessageBoxHost::RunModal(MessageBoxForm& form) {
  form_ = &form;
  closed_ = false;
  HWND window =
      CreateCentred(instance_, kMessageBoxClass, form.title.Caption(), kBoxWidth, kBoxHeight, this);
  HWND ok = CreateWindowExW(0, L"BUTTON", Widen(form.okButton.Caption()).c_str(),
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 208, 108, 75, 25,
                            window, reinterpret_cast<HMENU>(kOkId), instance_, nullptr);
  SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(gdi_->bold), TRUE);
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetFocus(ok);

  MSG msg;
  while (!closed_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: leave the quit request for the main loop.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
        (msg.hwnd == window || IsChild(window, msg.hwnd))) {
      closed_ = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(window);
  form_ = nullptr;
}

LRESULT MessageBoxHost::WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!form_) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC target = BeginPaint(window, &ps);
      {
        Canvas canvas(target, kBoxWidth, kBoxHeight);
        HDC dc = canvas.dc();
        PaintBackground(dc, kBoxWidth, kBoxHeight);
        DrawText(dc, gdi_->bold, RGB(255, 255, 255), {8, 8, 8 + 449, 8 + 17},
                 form_->title.Caption(), DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        DrawWrappedText(dc, gdi_->bold, RGB(235, 238, 245), {24, 56, 24 + 457, 56 + 49},
                        form_->text.Caption(), Placement::Centred);
        DrawText(dc, gdi_->small, RGB(120, 180, 235), kLinkRect, "www.cloakwise.example",
                 DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkId) closed_ = true;
      return 0;
    case WM_SETCURSOR: {
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(window, &p);
      if (PtInRect(&kLinkRect, p)) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_LBUTTONUP: {
      const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&kLinkRect, p)) form_->vendorLink.Click();  // the box stays open
      return 0;
    }
    case WM_CLOSE:
      closed_ = true;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

AboutWindow::AboutWindow(HINSTANCE instance, AboutForm& form)
    : form_(form), gdi_(GdiSet::Shared()) {
  const std::wstring name = Widen(kAboutClass);
  const WNDCLASSW wc = WindowClass(instance, name.c_str());
  RegisterClassW(&wc);
  window_ =
      CreateCentred(instance, kAboutClass, form.title.Caption(), kAboutWidth, kAboutHeight, this);
  HWND close = CreateWindowExW(0, L"BUTTON", Widen(form.close.Caption()).c_str(),
                               WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, (kAboutWidth - 75) / 2, 108,
                               75, 25, window_, reinterpret_cast<HMENU>(kOkId), instance, nullptr);
  SendMessageW(close, WM_SETFONT, reinterpret_cast<WPARAM>(gdi_->largeBold), TRUE);
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

LRESULT AboutWindow::WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC target = BeginPaint(window, &ps);
      {
        Canvas canvas(target, kAboutWidth, kAboutHeight);
        HDC dc = canvas.dc();
        PaintBackground(dc, kAboutWidth, kAboutHeight);
        DrawText(dc, gdi_->largeBold, RGB(255, 255, 255), {8, 8, kAboutWidth - 8, 26},
                 form_.title.Caption(), DT_LEFT | DT_SINGLELINE);
        DrawText(dc, gdi_->large, RGB(235, 238, 245), {8, 56, kAboutWidth - 8, 80},
                 form_.version.Caption(), DT_CENTER | DT_SINGLELINE);
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
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
