#pragma once

#include <windows.h>

#include <memory>

#include "platform/win32/owner_window.h"
#include "ui/main_form.h"
#include "ui/message_box.h"
#include "ui/win32/dialog_shell.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

inline constexpr char kMessageBoxClass[] = "CloakwiseMessageBox";
inline constexpr char kAboutClass[] = "CloakwiseAbout";

// The program's message box: a borderless, always-on-top window of 499 x 167
// with the title strip, the centred text, OK (Enter presses it) and the
// vendor link. Modal: the main window takes no input meanwhile, but timers and
// hand-overs from workers keep running.
class MessageBoxHost : public ModalHost, private DialogShell<MessageBoxHost> {
 public:
  // owner: disabled while the box is up.
  MessageBoxHost(HINSTANCE instance, const platform::OwnerWindow& owner);
  ~MessageBoxHost() override;
  void RunModal(MessageBoxForm& form) override;

  using DialogShell::onError;

 private:
  friend class platform::WindowBase<MessageBoxHost>;
  friend class WindowShell<MessageBoxHost>;
  friend class DialogShell<MessageBoxHost>;
  bool Serving() const { return form_ != nullptr; }
  void PaintFace(HDC dc);
  bool ClickableAt(POINT units) const;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  const platform::OwnerWindow& owner_;
  int grown_ = 0;  // units below the usual text: a longer text makes the box taller
  MessageBoxForm* form_ = nullptr;
  bool closed_ = false;
};

// The program-information window, shown without blocking anything.
class AboutWindow : public ModelObserver, private DialogShell<AboutWindow> {
 public:
  AboutWindow(HINSTANCE instance, AboutForm& form);
  ~AboutWindow() override;
  void ControlChanged(const Control& control) override;

  using DialogShell::onError;

 private:
  friend class platform::WindowBase<AboutWindow>;
  friend class WindowShell<AboutWindow>;
  friend class DialogShell<AboutWindow>;
  void PaintFace(HDC dc);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  AboutForm& form_;
  std::shared_ptr<const GdiSet> buttonGdi_;  // the button's font, at the scale
  HWND window_ = nullptr;
};

}  // namespace cloakwise::ui::win32
