#include "ui/paste_list_form.h"

namespace cloakwise::ui {

std::string PasteListForm::AskForProxyList() {
  if (Showing()) return {};  // already asking: the open window answers
  proxyListText.SetText({});
  window.SetVisible(true);
  // Hidden again even when the modal loop ends by an exception, or the next
  // request would find the window still showing.
  struct Hide {
    Control& w;
    ~Hide() { w.SetVisible(false); }
  } hide{window};
  proxyListText.SetText(host_.RunModal(*this));
  return proxyListText.Text();
}

}  // namespace cloakwise::ui
