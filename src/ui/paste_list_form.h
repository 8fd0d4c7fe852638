#pragma once

#include <string>

#include "ui/controls.h"

namespace cloakwise::ui {

class PasteListForm;

// Shows the paste window modally and returns, when it closes, everything its
// text box holds. Messages, timers and worker hand-overs keep running
// meanwhile; the main window takes no input.
//
// User-interface thread only.
class PasteListHost {
 public:
  virtual ~PasteListHost() = default;
  virtual std::string RunModal(PasteListForm& form) = 0;
};

// The window through which the user pastes a list of proxies. There is no
// cancel: "ADD" closes it, and whatever the text box holds then is the
// answer, empty or not.
class PasteListForm {
 public:
  explicit PasteListForm(PasteListHost& host) : host_(host) {
    addButton.onClick = [this] { Close(); };
  }
  PasteListForm(const PasteListForm&) = delete;
  PasteListForm& operator=(const PasteListForm&) = delete;

  // Opens the window with an empty text box and waits until it closes;
  // returns the text box's content, lines separated as the window gives
  // them (CR LF on Windows).
  std::string AskForProxyList();
  bool Showing() const { return window.Visible(); }
  // What "ADD" does; the host ends its modal loop once the window is hidden.
  void Close() { window.SetVisible(false); }

  Control window{"pasteListWindow", false};
  TextBox proxyListText{"proxyListText"};
  Label addButton{"addButton", "ADD"};

 private:
  PasteListHost& host_;
};

}  // namespace cloakwise::ui
