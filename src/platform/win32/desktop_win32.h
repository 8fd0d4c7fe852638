#pragma once

#include <windows.h>

#include "platform/desktop.h"
#include "platform/win32/owner_window.h"

namespace cloakwise::platform {

class Win32Desktop : public Desktop {
 public:
  explicit Win32Desktop(const OwnerWindow& mainWindow = OwnerWindow::None())
      : mainWindow_(mainWindow) {}

  std::optional<std::string> AppDataFolder() override;
  std::string ExecutablePath() override;
  std::optional<int> CallInetIsOffline() override;
  std::optional<std::vector<std::string>> OwnHostAddresses() override;
  void ShellOpen(ShellOwner owner, const std::string& file, const std::string& parameters) override;
  void ShowHelp(const std::string& topic) override;
  void ShowError(const std::string& text) override;
  void NoteError(const std::string& text) override;
  bool SetClipboardText(const std::string& text) override;
  bool EmptyClipboard() override;
  void QuitApplication() override;

  // The window that owns the shell calls, the help and the error boxes: the
  // program's own, none.
  HWND applicationWindow = nullptr;

 private:
  const OwnerWindow& mainWindow_;
};

}  // namespace cloakwise::platform
