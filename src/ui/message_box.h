#pragma once

#include <string>

#include "ui/controls.h"

namespace cloakwise::ui {

class MessageBoxForm;

// Shows the message box window modally and returns when the user closed it.
// Messages, timers and worker hand-overs keep running meanwhile.
class ModalHost {
 public:
  virtual ~ModalHost() = default;
  virtual void RunModal(MessageBoxForm& form) = 0;
};

// The program's only message box: a title, a centred text and OK. A message
// that arrives while one is on screen is dropped, not queued.
class MessageBoxForm {
 public:
  explicit MessageBoxForm(ModalHost& host) : host_(host) {}

  void ShowMessageBox(const std::string& title, const std::string& text);
  bool Showing() const { return window.Visible(); }

  Control window{"messageBoxWindow", false};
  Label title{"title", "TITLE"};
  Label text{"text", "TEXT"};
  Label okButton{"okButton", "OK"};
  Picture vendorLink{"vendorLink"};

 private:
  ModalHost& host_;
};

}  // namespace cloakwise::ui
