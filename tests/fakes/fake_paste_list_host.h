#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/paste_list_form.h"

namespace cloakwise::fakes {

// Stands in for the paste window: the user pastes `pastedText`, whatever the
// test wants happens while the window is up, then the user presses ADD.
// Records what each showing looked like.
class FakePasteListHost : public ui::PasteListHost {
 public:
  struct Showing {
    bool windowVisible;
    std::string textAtOpen;
  };

  std::string RunModal(ui::PasteListForm& form) override {
    shown.push_back({form.window.Visible(), form.proxyListText.Text()});
    form.proxyListText.SetText(pastedText);
    if (whileShowing) whileShowing();
    form.addButton.Click();
    closedByAdd.push_back(!form.window.Visible());
    return form.proxyListText.Text();
  }

  std::string pastedText;
  std::function<void()> whileShowing;
  std::vector<Showing> shown;
  std::vector<bool> closedByAdd;
};

}  // namespace cloakwise::fakes
