#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "ui/message_box.h"

namespace cloakwise::fakes {

// Records every desktop call as a line of text.
class FakeDesktop : public platform::Desktop {
 public:
  FakeDesktop() = default;
  explicit FakeDesktop(std::string exe) : exePath(std::move(exe)) {}
  std::optional<std::string> AppDataFolder() override { return appData; }
  std::string ExecutablePath() override { return exePath; }
  std::optional<int> CallInetIsOffline() override {
    calls.push_back("InetIsOffline");
    return inetIsOffline;
  }
  std::optional<std::vector<std::string>> OwnHostAddresses() override { return hostAddresses; }
  void ShellOpen(platform::ShellOwner owner, const std::string& file,
                 const std::string& parameters) override {
    calls.push_back(std::string("ShellOpen ") +
                    (owner == platform::ShellOwner::MainWindow ? "main " : "app ") + file + " | " +
                    parameters);
  }
  void ShowHelp(const std::string& topic) override { calls.push_back("Help " + topic); }
  void ShowError(const std::string& text) override { calls.push_back("Error " + text); }
  void NoteError(const std::string& text) override { calls.push_back("Noted " + text); }
  void QuitApplication() override {
    calls.push_back("Quit");
    quit = true;
  }

  bool SetClipboardText(const std::string& text) override {
    calls.push_back("Clipboard " + text);
    clipboard = text;
    return true;
  }

  bool EmptyClipboard() override {
    calls.push_back("EmptyClipboard");
    if (clipboardHeld) return false;
    clipboard.clear();
    return true;
  }

  std::string clipboard;
  bool clipboardHeld = false;  // another program has the clipboard open
  std::string exePath = "C:\\Apps\\cloakwise.exe";
  std::optional<std::string> appData = std::string("C:\\Users\\u\\AppData\\Roaming");
  std::optional<int> inetIsOffline = 0;
  std::optional<std::vector<std::string>> hostAddresses = std::vector<std::string>{"192.168.1.20"};
  std::vector<std::string> calls;
  bool quit = false;
};

// Stands in for the modal loop: records each box and runs whatever the test
// wants to happen while it is on screen.
class FakeModalHost : public ui::ModalHost {
 public:
  void RunModal(ui::MessageBoxForm& form) override {
    shown.push_back(form.title.Caption() + ": " + form.text.Caption());
    if (whileShowing) whileShowing();
  }
  std::vector<std::string> shown;
  std::function<void()> whileShowing;
};

}  // namespace cloakwise::fakes
