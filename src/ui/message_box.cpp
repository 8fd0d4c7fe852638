#include "ui/message_box.h"

namespace cloakwise::ui {

void MessageBoxForm::ShowMessageBox(const std::string& title, const std::string& text) {
  if (Showing()) return;
  this->title.SetCaption(title);
  this->text.SetCaption(text);
  window.SetVisible(true);
  // Hide even when the modal loop ends by an exception, or the box would
  // swallow every later message.
  struct Hide {
    Control& w;
    ~Hide() { w.SetVisible(false); }
  } hide{window};
  host_.RunModal(*this);
}

}  // namespace cloakwise::ui
