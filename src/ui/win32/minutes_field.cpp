#include "ui/win32/minutes_field.h"

#include <iterator>

#include "platform/win32/wide.h"
#include "platform/win32/window_base.h"
#include "ui/win32/gdi_set.h"
#include "ui/win32/palette.h"

namespace cloakwise::ui::win32 {

MinutesField::MinutesField(MainForm& form, const std::function<void(std::exception_ptr)>& onError)
    : form_(form), onError_(onError) {}

void MinutesField::Create(HWND parent, HINSTANCE instance, const Layout& layout, HBRUSH face,
                          const Scale& scale) {
  parent_ = parent;
  layout_ = &layout;
  face_ = face;
  if (!layout.Find(form_.options.rotationMinutesField)) return;
  field_ =
      CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_NUMBER | ES_AUTOHSCROLL, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kId)), instance, nullptr);
  if (!field_) return;
  Place(scale);
  // Four digits hold the largest number of minutes the field takes.
  SendMessageW(field_, EM_LIMITTEXT, 4, 0);
  platform::BindWindow(field_, this);
  systemProcedure_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(field_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
  Sync();
}

std::string MinutesField::Text() const {
  wchar_t text[16] = {};  // the field holds four characters
  GetWindowTextW(field_, text, static_cast<int>(std::size(text)));
  return platform::Narrow(text);
}

void MinutesField::Place(const Scale& scale) {
  if (!field_) return;
  // Inside the painted frame, left of the arrows, which stay the layout's.
  const Rect r = layout_->Find(form_.options.rotationMinutesField)->rect;
  const Rect at =
      scale.ToPixels(Rect{r.x + 3, r.y + 3, r.w - Layout::kSpinArrowWidth - 4, r.h - 6});
  SetWindowPos(field_, nullptr, at.x, at.y, at.w, at.h, SWP_NOZORDER | SWP_NOACTIVATE);
  gdi_ = GdiSet::Shared(scale);
  SendMessageW(field_, WM_SETFONT, reinterpret_cast<WPARAM>(gdi_->text), TRUE);
  // The field is narrow; the default margins would scroll four digits.
  const int margin = scale.ToPixels(1);
  SendMessageW(field_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, 0));
}

void MinutesField::Sync() {
  if (!field_) return;
  const SpinEdit& spin = form_.options.rotationMinutesField;
  const bool shown = form_.view.Current() == View::Options && spin.Visible();
  if (!shown && GetFocus() == field_) SetFocus(parent_);
  if (shown != (IsWindowVisible(field_) != FALSE)) {
    ShowWindow(field_, shown ? SW_SHOWNA : SW_HIDE);
  }
  EnableWindow(field_, spin.Enabled());
  if (spin.Text() != Text()) {
    // The model's text changed by the arrows, a clamp or an undo: show it,
    // without reading it back as typing.
    settingText_ = true;
    SetWindowTextW(field_, platform::Widen(spin.Text()).c_str());
    settingText_ = false;
    const auto end = static_cast<LPARAM>(spin.Text().size());
    SendMessageW(field_, EM_SETSEL, static_cast<WPARAM>(end), end);
  }
}

void MinutesField::Focus() {
  if (field_ && IsWindowVisible(field_)) SetFocus(field_);
}

void MinutesField::EndTyping() {
  if (field_ && GetFocus() == field_) SetFocus(parent_);
}

void MinutesField::FollowFocus(const Layout::Widget* focused) {
  if (focused && focused->control == &form_.options.rotationMinutesField) {
    Focus();
  } else {
    EndTyping();
  }
}

std::optional<LRESULT> MinutesField::ParentMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && Command(wParam, lParam)) return 0;
  if (message == WM_CTLCOLOREDIT) {
    if (HBRUSH face = Colour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
      return reinterpret_cast<LRESULT>(face);
    }
  }
  return std::nullopt;
}

bool MinutesField::Command(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != kId || reinterpret_cast<HWND>(lParam) != field_) return false;
  SpinEdit& spin = form_.options.rotationMinutesField;
  const WORD code = HIWORD(wParam);
  if (code == EN_CHANGE && !settingText_) {
    spin.EditText(Text());
  } else if (code == EN_KILLFOCUS) {
    spin.ExitEdit();  // out-of-range numbers are clamped once the user leaves
  }
  return true;
}

HBRUSH MinutesField::Colour(HWND control, HDC dc) const {
  if (control != field_) return nullptr;
  SetTextColor(dc, palette::kFieldText);
  SetBkColor(dc, palette::kFieldFace);
  return face_;
}

LRESULT CALLBACK MinutesField::Procedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = platform::WindowOwner<MinutesField>(field);
  if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN || wParam == VK_RETURN)) {
    try {
      if (wParam == VK_RETURN) {
        SetFocus(self->parent_);  // done typing: the value is taken, and clamped
      } else {
        SpinEdit& spin = self->form_.options.rotationMinutesField;
        spin.SetValue(spin.Value() + (wParam == VK_UP ? 1 : -1));
      }
    } catch (...) {
      if (self->onError_) self->onError_(std::current_exception());
    }
    return 0;
  }
  if (message == WM_KEYDOWN && (wParam == VK_TAB || wParam == VK_ESCAPE)) {
    // The window's focus moves on from here, or hides the window.
    SetFocus(self->parent_);
    SendMessageW(self->parent_, message, wParam, lParam);
    return 0;
  }
  if (message == WM_CHAR && (wParam == '\t' || wParam == 27)) return 0;
  if (message == WM_KEYDOWN && wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
    SendMessageW(field, EM_SETSEL, 0, -1);  // the plain edit control lacks select-all
    return 0;
  }
  // No beep for Enter, nor for the Ctrl+A that the control does not know.
  if (message == WM_CHAR && (wParam == '\r' || wParam == 1)) return 0;
  return CallWindowProcW(self->systemProcedure_, field, message, wParam, lParam);
}

}  // namespace cloakwise::ui::win32
