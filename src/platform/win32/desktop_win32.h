#pragma once

#include <windows.h>

#include "platform/desktop.h"

namespace cloakwise::platform {

class Win32Desktop : public Desktop {
 public:
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

  // The windows that own shell calls, set once they exist.
  HWND applicationWindow = nullptr;
  HWND mainWindow = nullptr;
};

}  // namespace cloakwise::platform
