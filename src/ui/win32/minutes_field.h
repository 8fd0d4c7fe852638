#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/layout.h"
#include "ui/main_form.h"
#include "ui/scale.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

// The minutes between rotations, on the options view: a real text field over
// the painted one, so typing, the caret and the clipboard work as anywhere in
// Windows. The arrows beside it stay the layout's. It tells the model of what
// is typed and shows what the model holds.
class MinutesField {
 public:
  static constexpr int kId = 100;

  // onError takes what a handler lets escape; it is read when that happens,
  // so it may be set later.
  MinutesField(MainForm& form, const std::function<void(std::exception_ptr)>& onError);
  MinutesField(const MinutesField&) = delete;
  MinutesField& operator=(const MinutesField&) = delete;

  // Over the layout's spin field, as a child of the window, which destroys
  // it. The face's brush must outlive the field.
  void Create(HWND parent, HINSTANCE instance, const Layout& layout, HBRUSH face,
              const Scale& scale);
  // The window moved to a monitor of another scale.
  void Place(const Scale& scale);
  // Shown, enabled and holding the text as the model says.
  void Sync();
  // Tab reached the field: typing goes there until Tab or Escape hands the
  // keys back to the window.
  void Focus();
  // Typing ends, as when the user leaves the field.
  void EndTyping();
  // The keys moved to `focused`: to the field when it is the minutes', away
  // from it otherwise.
  void FollowFocus(const Layout::Widget* focused);
  // The parent's WM_COMMAND and WM_CTLCOLOREDIT about the field; nothing
  // for another message or another control.
  std::optional<LRESULT> ParentMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  bool Command(WPARAM wParam, LPARAM lParam);
  HBRUSH Colour(HWND control, HDC dc) const;
  static LRESULT CALLBACK Procedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
  std::string Text() const;

  MainForm& form_;
  const std::function<void(std::exception_ptr)>& onError_;
  const Layout* layout_ = nullptr;
  std::shared_ptr<const GdiSet> gdi_;  // its font, at the window's scale
  HWND parent_ = nullptr;
  HWND field_ = nullptr;
  HBRUSH face_ = nullptr;
  WNDPROC systemProcedure_ = nullptr;
  bool settingText_ = false;
};

}  // namespace cloakwise::ui::win32
