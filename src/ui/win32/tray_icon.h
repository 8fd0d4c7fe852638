#pragma once

#include <windows.h>

#include <vector>

#include "ui/controls.h"

namespace cloakwise::ui::win32 {

// The program's icon in the notification area, shown for a window that gets
// the clicks on it as kMessage, with the click in lParam. It shows the
// model's frame and each of the model's balloons once.
class TrayIcon {
 public:
  static constexpr UINT kMessage = WM_APP + 10;

  // Draws the frames at the size the notification area takes.
  TrayIcon();
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Puts the icon in the notification area for the window, again when the
  // shell has started anew and forgotten it.
  void Add(HWND window, const ui::TrayIcon& model);
  // For the window's messages: true, with the icon added again, when the
  // message says the shell has started anew.
  bool ShellRestarted(UINT message, const ui::TrayIcon& model);
  // Shows the model's frame and a new balloon; adds the icon when an
  // earlier add failed.
  void Update(const ui::TrayIcon& model);
  void Remove();

 private:
  void Notify(const ui::TrayIcon& model, bool add);

  std::vector<HICON> idleIcons_, searchIcons_;
  HWND window_ = nullptr;
  UINT shellStarted_ = 0;  // the message the shell sends every window when it starts
  int balloonShown_ = 0;
  bool added_ = false;
};

}  // namespace cloakwise::ui::win32
