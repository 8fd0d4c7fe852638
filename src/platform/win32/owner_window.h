#pragma once

#include <windows.h>

namespace cloakwise::platform {

// The main window's handle, for what shows itself over that window or in its
// name: the dialogs it disables while they are up, the shell's progress, the
// clipboard. Those services are made before the window, which is built on
// them, so they hold this and the window fills it in as it is created and
// clears it as it goes.
class OwnerWindow {
 public:
  HWND Get() const { return handle_; }
  void Set(HWND handle) { handle_ = handle; }
  // For a service used where there is no main window.
  static OwnerWindow& None() {
    static OwnerWindow none;
    return none;
  }

 private:
  HWND handle_ = nullptr;
};

}  // namespace cloakwise::platform
