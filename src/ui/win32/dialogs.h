#pragma once

#include <windows.h>

#include <memory>

#include "platform/win32/window_base.h"
#include "ui/main_form.h"
#include "ui/message_box.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

inline constexpr char kMessageBoxClass[] = "CloakwiseMessageBox";
inline constexpr char kAboutClass[] = "CloakwiseAbout";

// The program's message box: a borderless, always-on-top window of 499 x 167
// with the title strip, the centred text, OK (Enter presses it) and the
// vendor link. Modal: the main window takes no input meanwhile, but timers and
// hand-overs from workers keep running.
class MessageBoxHost : public ModalHost, private platform::WindowBase<MessageBoxHost> {
 public:
  explicit MessageBoxHost(HINSTANCE instance);
  ~MessageBoxHost() override;
  void RunModal(MessageBoxForm& form) override;

  HWND owner = nullptr;  // disabled while the box is up

 private:
  friend class platform::WindowBase<MessageBoxHost>;
  LRESULT WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  std::shared_ptr<const GdiSet> gdi_;  // for painting, in units
  Scale scale_;
  int grown_ = 0;  // units below the usual text: a longer text makes the box taller
  MessageBoxForm* form_ = nullptr;
  bool closed_ = false;
};

// The program-information window, shown without blocking anything.
class AboutWindow : public ModelObserver, private platform::WindowBase<AboutWindow> {
 public:
  AboutWindow(HINSTANCE instance, AboutForm& form);
  ~AboutWindow() override;
  void ControlChanged(const Control& control) override;

 private:
  friend class platform::WindowBase<AboutWindow>;
  LRESULT WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  AboutForm& form_;
  std::shared_ptr<const GdiSet> gdi_;  // for painting, in units
  Scale scale_;
  std::shared_ptr<const GdiSet> buttonGdi_;  // the button's font, at the scale
  HWND window_ = nullptr;
};

}  // namespace cloakwise::ui::win32
