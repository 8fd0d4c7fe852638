#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cloakwise::platform {

// Whose window a shell call is made for.
enum class ShellOwner { Application, MainWindow };

// The small contacts with the Windows desktop that are not the registry.
// Paths and texts are UTF-8, whatever the system's 8-bit code page.
//
// User-interface thread only: the clipboard, the shell and help have windows
// of their own, and quitting ends that thread's message loop.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // The user's application-data folder (CSIDL_APPDATA), with or without a
  // trailing backslash; nothing when the shell cannot say.
  virtual std::optional<std::string> AppDataFolder() = 0;
  // The full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // Loads "URL.DLL" (anew on every call, never released) and calls its
  // "InetIsOffline" with 0; nothing when the library or function is missing.
  virtual std::optional<int> CallInetIsOffline() = 0;
  // The addresses the computer's own host name resolves to, in the resolver's
  // order; nothing when it does not resolve.
  virtual std::optional<std::vector<std::string>> OwnHostAddresses() = 0;
  // ShellExecute with the verb "open" and SW_SHOW; the result is ignored.
  virtual void ShellOpen(ShellOwner owner, const std::string& file,
                         const std::string& parameters) = 0;
  // HtmlHelp(HH_DISPLAY_TOPIC) with the application window as owner.
  virtual void ShowHelp(const std::string& topic) = 0;
  // The toolkit's own error display, for errors no handler caught.
  virtual void ShowError(const std::string& text) = 0;
  // Records an error where nobody has to answer it (the system's debug log).
  virtual void NoteError(const std::string& text) = 0;
  // Ends the message loop: the program ends once the current handler returns.
  virtual void QuitApplication() = 0;
  // Puts plain text on the clipboard; false when the clipboard is held by
  // another program or the text cannot be stored.
  virtual bool SetClipboardText(const std::string& text) = 0;
  // Empties the clipboard; false when another program holds it.
  virtual bool EmptyClipboard() = 0;
};

}  // namespace cloakwise::platform
