#include "ui/controls.h"

#include <utility>

#include "core/ini_text.h"

namespace cloakwise::ui {

void ControlGroup::SetObserver(ModelObserver* observer) {
  for (Control* control : controls_) control->SetObserver(observer);
}

std::vector<MenuItem*> Menu::Items() const {
  std::vector<MenuItem*> items;
  // Only MenuItem registers with a Menu.
  for (Control* control : Controls()) items.push_back(static_cast<MenuItem*>(control));
  return items;
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void Label::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed();
}

void TextBox::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  Changed();
}

namespace {

// Runs the handler of a change already made. When it fails (the option could
// not be stored), the change is undone quietly, so the control shows what is
// stored again, and the failure goes on to whoever shows it.
void RunOrUndo(const std::function<void()>& onChange, const std::function<void()>& undo) {
  if (!onChange) return;
  try {
    onChange();
  } catch (...) {
    undo();
    throw;
  }
}

}  // namespace

void CheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed();
  RunOrUndo(onChange, [this] {
    checked_ = !checked_;
    Changed();
  });
}

bool Slider::SetPosition(int position) {
  if (position < min_ || position > max_) return false;
  if (position_ != position) {
    const int previous = position_;
    position_ = position;
    Changed();
    RunOrUndo(onChange, [this, previous] {
      position_ = previous;
      Changed();
    });
  }
  return true;
}

void SpinEdit::Assign(int value, std::string text) {
  if (value_ == value && text_ == text) return;
  const int previousValue = value_;
  std::string previousText = std::exchange(text_, std::move(text));
  value_ = value;
  Changed();
  RunOrUndo(onChange, [&] {
    value_ = previousValue;
    text_ = std::move(previousText);
    Changed();
  });
}

void SpinEdit::SetValue(int value) {
  value = value < min_ ? min_ : (value > max_ ? max_ : value);
  Assign(value, std::to_string(value));
}

void SpinEdit::EditText(const std::string& text) {
  // Only plain decimal counts as a number here; anything else reads as 1.
  const bool decimal = !text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos;
  const auto number = decimal ? ini::ParseInteger(text) : std::nullopt;
  Assign(number.value_or(1), text);
}

void SpinEdit::ExitEdit() {
  if (value_ < min_ || value_ > max_) SetValue(value_);
}

void Gauge::SetPosition(int position) {
  if (position < 0 || position > 100 || position == position_) return;
  position_ = position;
  Changed();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Restart();
}

void Timer::SetInterval(std::uint32_t intervalMs) {
  if (interval_ == intervalMs) return;
  interval_ = intervalMs;
  Restart();
}

void Timer::SetHandler(std::function<void()> onTimer) {
  onTimer_ = std::move(onTimer);
}

void Timer::Stop() {
  if (id_ == 0) return;
  ui_.StopTimer(id_);
  id_ = 0;
}

void Timer::Restart() {
  Stop();
  if (enabled_ && interval_ > 0) {
    id_ = ui_.StartTimer(interval_, [this] {
      if (onTimer_) onTimer_();
    });
  }
}

TrayIcon::TrayIcon(ControlGroup& group, std::string name, platform::UiThread& ui)
    : Control(group, std::move(name)), cycle_(ui, 200, false) {
  cycle_.SetHandler([this] { Advance(); });
}

void TrayIcon::SetIconSet(IconSet set) {
  set_ = set;
  index_ = 0;
  Changed();
}

void TrayIcon::SetCycling(bool on) {
  if (on) index_ = 0;
  cycling_ = on;
  cycle_.SetEnabled(on);
  Changed();
}

void TrayIcon::Advance() {
  const int next = (index_ + 1) % Count();
  if (next == index_) return;
  index_ = next;
  Changed();
}

void TrayIcon::ShowBalloon(std::string title, std::string text) {
  if (title.size() > kMaxBalloonTitle) title.resize(kMaxBalloonTitle);
  if (text.size() > kMaxBalloonText) text.resize(kMaxBalloonText);
  balloon_ = Balloon{std::move(title), std::move(text), balloon_.serial + 1};
  Changed();
}

}  // namespace cloakwise::ui
