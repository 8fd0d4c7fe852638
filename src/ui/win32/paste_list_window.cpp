#include "ui/win32/paste_list_window.h"

#include <cwchar>
#include <optional>
#include <string_view>

#include "platform/win32/wide.h"
#include "ui/win32/dpi.h"
#include "ui/win32/paint.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {
namespace {

using platform::Narrow;
using platform::Widen;

constexpr int kTextId = 1;

std::string TextOf(HWND edit) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

WNDPROC editProc = nullptr;  // the system's, for every EDIT alike

bool HasLineLongerThan(std::wstring_view text, std::size_t limit) {
  std::size_t run = 0;
  for (const wchar_t c : text) {
    run = c == L'\r' || c == L'\n' ? 0 : run + 1;
    if (run > limit) return true;
  }
  return false;
}

// The clipboard's text, when it holds some.
std::optional<std::wstring> ClipboardText(HWND owner) {
  if (!OpenClipboard(owner)) return std::nullopt;
  std::optional<std::wstring> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = std::wstring(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// The paste box refuses, before it takes it in, a paste with a line that
// can never be a proxy.
LRESULT CALLBACK PasteBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  // Shift+Insert pastes inside the box without a WM_PASTE (Ctrl+V and the
  // box's own menu send one): made one, every route meets the same refusal.
  if (message == WM_KEYDOWN && wParam == VK_INSERT && (GetKeyState(VK_SHIFT) & 0x8000) &&
      !(GetKeyState(VK_CONTROL) & 0x8000)) {
    SendMessageW(edit, WM_PASTE, 0, 0);
    return 0;
  }
  if (message == WM_PASTE) {
    const auto text = ClipboardText(edit);
    if (text && HasLineLongerThan(*text, PasteListWindow::kLongestLine)) {
      MessageBoxW(GetParent(edit), Widen(PasteListWindow::kLineTooLongText).c_str(), L"Proxy list",
                  MB_OK | MB_ICONWARNING);
      return 0;
    }
  }
  return CallWindowProcW(editProc, edit, message, wParam, lParam);
}

}  // namespace

PasteListWindow::PasteListWindow(HINSTANCE instance, const platform::OwnerWindow& owner)
    : DialogShell(kWidth, kHeight, palette::kBrandRed, palette::kBrandRedDark),
      instance_(instance),
      owner_(owner) {
  Register(instance, kPasteListClass);
}

PasteListWindow::~PasteListWindow() = default;

std::string PasteListWindow::RunModal(PasteListForm& form) {
  form_ = &form;
  form.window.SetVisible(true);
  // At the scale of the window it opens from.
  const HWND owner = owner_.Get();
  scale_ = owner ? WindowScale(owner) : SystemScale();
  window_ = CreateCentred(instance_, kPasteListClass, "Add Proxy List", owner);
  HWND text =
      CreateWindowExW(0, L"EDIT", Widen(form.proxyListText.Text()).c_str(),
                      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE |
                          ES_AUTOVSCROLL | ES_WANTRETURN,
                      0, 0, 0, 0, window_, reinterpret_cast<HMENU>(kTextId), instance_, nullptr);
  PlaceTextBox(text);
  // The box's own limit is a few tens of kilobytes; a pasted list is often
  // far longer.
  SendMessageW(text, EM_SETLIMITTEXT, kTextLimit, 0);
  editProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PasteBoxProc)));

  std::string answer;
  {
    ModalRun run(window_, owner, text);
    run.Loop([&form] { return form.window.Visible(); });
    answer = TextOf(text);
  }
  window_ = nullptr;
  form_ = nullptr;
  return answer;
}

void PasteListWindow::PlaceTextBox(HWND text) {
  const Rect box =
      scale_.ToPixels(Rect{kTextRect.left, kTextRect.top, kTextRect.right - kTextRect.left,
                           kTextRect.bottom - kTextRect.top});
  SetWindowPos(text, nullptr, box.x, box.y, box.w, box.h, SWP_NOZORDER | SWP_NOACTIVATE);
  textGdi_ = GdiSet::Shared(scale_);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(textGdi_->text), TRUE);
}

void PasteListWindow::PaintFace(HDC dc) {
  DrawText(dc, gdi_->bold, palette::kWhite, {10, 0, kWidth - 10, kTitleStrip}, "Cloakwise",
           DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  DrawText(dc, gdi_->bold, palette::kHeadingBlue, {12, 42, kWidth - 12, 60},
           "Paste proxy list here:", DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  DrawText(dc, gdi_->hint, palette::kSoftText, {12, 315, kWidth - 12, 333},
           "Please use the correct proxy format (IP:Port)",
           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  DrawFrame(dc, kAddRect, palette::kBrandRed, palette::kButtonFace);
  DrawText(dc, gdi_->serif, palette::kText, kAddRect, form_->addButton.Caption(),
           DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

bool PasteListWindow::ClickableAt(POINT units) const {
  return PtInRect(&kAddRect, units);
}

bool PasteListWindow::Rescale(const Scale& scale, const RECT* suggested) {
  scale_ = scale;
  const RECT& at = *suggested;
  SetWindowPos(window_, nullptr, at.left, at.top, scale_.ToPixels(kWidth), scale_.ToPixels(kHeight),
               SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceTextBox(GetDlgItem(window_, kTextId));
  InvalidateRect(window_, nullptr, FALSE);
  return true;
}

LRESULT PasteListWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST: {
      // The title strip moves the window, as on the main window.
      POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      ScreenToClient(window, &p);
      if (scale_.ToUnits(p.y) < kTitleStrip) return HTCAPTION;
      break;
    }
    case WM_LBUTTONUP:
      if (ClickableAt(MouseUnits(lParam, scale_))) form_->addButton.Click();
      return 0;
    case WM_CLOSE:
      // Closed any other way, the window still answers with its text.
      form_->Close();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace cloakwise::ui::win32
