#include "ui/keyboard_focus.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace cloakwise::ui {
namespace {

using Widget = Layout::Widget;

std::optional<Grid::Key> GridKey(KeyboardFocus::Key key) {
  using Key = KeyboardFocus::Key;
  switch (key) {
    case Key::Up:
      return Grid::Key::Up;
    case Key::Down:
      return Grid::Key::Down;
    case Key::PageUp:
      return Grid::Key::PageUp;
    case Key::PageDown:
      return Grid::Key::PageDown;
    case Key::Home:
      return Grid::Key::Home;
    case Key::End:
      return Grid::Key::End;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::vector<const Widget*> KeyboardFocus::Stops() const {
  std::vector<const Widget*> stops;
  for (const Widget& w : layout_.Widgets()) {
    // A box and its caption are one stop: the caption never takes the
    // focus itself.
    if (layout_.Shown(w) && w.kind->TakesFocus(w)) stops.push_back(&w);
  }
  std::stable_sort(stops.begin(), stops.end(), [](const Widget* a, const Widget* b) {
    return std::pair(a->rect.y, a->rect.x) < std::pair(b->rect.y, b->rect.x);
  });
  // A widget that begins above the middle of the first one of a line reads
  // as on that line, as the minutes field beside its box does, though it
  // stands a few pixels higher.
  std::vector<std::pair<int, const Widget*>> lines;
  int line = 0;
  int middle = stops.empty() ? 0 : stops.front()->rect.y + stops.front()->rect.h / 2;
  for (const Widget* w : stops) {
    if (w->rect.y >= middle) {
      ++line;
      middle = w->rect.y + w->rect.h / 2;
    }
    lines.emplace_back(line, w);
  }
  std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return std::pair(a.first, a.second->rect.x) < std::pair(b.first, b.second->rect.x);
  });
  for (std::size_t i = 0; i < lines.size(); ++i) stops[i] = lines[i].second;
  return stops;
}

const Widget* KeyboardFocus::Focused() const {
  if (!focused_) return nullptr;
  const auto stops = Stops();
  return std::find(stops.begin(), stops.end(), focused_) != stops.end() ? focused_ : nullptr;
}

bool KeyboardFocus::KeyDown(Key key, bool shift, bool ctrl) {
  cueShown_ = true;
  if (key == Key::Tab) {
    if (ctrl) {
      NextView(shift);
    } else {
      Move(shift);
    }
    return true;
  }
  const Widget* w = Focused();
  if (key == Key::Escape) {
    Frame("x");
    return true;
  }
  if (key == Key::Menu) {
    // On the proxy list its own menu, as a right click on it opens.
    if (!w || !w->kind->OpenMenu(*w)) Frame("MENU");
    return true;
  }
  if (w && OnFocused(*w, key)) return true;
  if (key == Key::Enter) {
    Control* button = DefaultButton();
    const Widget* placed = button ? layout_.Find(*button) : nullptr;
    if (!placed || !layout_.Shown(*placed) || !button->Enabled()) return false;
    Press(*placed);
    return true;
  }
  if (const auto gridKey = GridKey(key)) {
    layout_.KeyDown(*gridKey);
    return true;
  }
  return false;
}

bool KeyboardFocus::OnFocused(const Widget& w, Key key) {
  switch (w.kind->Key(w, key)) {
    case WidgetKind::KeyOutcome::Ignored:
      return false;
    case WidgetKind::KeyOutcome::Click:
      Press(w);
      return true;
    case WidgetKind::KeyOutcome::Taken:
      return true;
  }
  return false;
}

void KeyboardFocus::MouseUsed(const Widget* clicked) {
  cueShown_ = false;
  if (!clicked) return;
  for (const Widget* stop : Stops()) {
    if (stop == clicked || stop->caption == clicked) {
      focused_ = stop;
      return;
    }
  }
}

void KeyboardFocus::Move(bool backwards) {
  const auto stops = Stops();
  if (stops.empty()) return;
  const auto at = std::find(stops.begin(), stops.end(), focused_);
  const auto n = static_cast<std::ptrdiff_t>(stops.size());
  std::ptrdiff_t i = 0;
  if (at == stops.end()) {
    i = backwards ? n - 1 : 0;
  } else {
    i = ((at - stops.begin()) + (backwards ? n - 1 : 1)) % n;
  }
  focused_ = stops[static_cast<std::size_t>(i)];
}

void KeyboardFocus::NextView(bool backwards) {
  std::vector<const Widget*> tabs;
  for (const Widget& w : layout_.Widgets()) {
    if (w.tab) tabs.push_back(&w);
  }
  const auto at = std::find_if(tabs.begin(), tabs.end(),
                               [this](const Widget* t) { return layout_.Current(*t); });
  if (at == tabs.end()) return;
  const auto n = static_cast<std::ptrdiff_t>(tabs.size());
  const auto i = ((at - tabs.begin()) + (backwards ? n - 1 : 1)) % n;
  tabs[static_cast<std::size_t>(i)]->action();
}

void KeyboardFocus::Press(const Widget& w) {
  layout_.LeftClick(w.rect.x + w.rect.w / 2, w.rect.y + w.rect.h / 2);
}

Control* KeyboardFocus::DefaultButton() const {
  switch (form_.view.Current()) {
    case View::Status:
      return &form_.status.startStopButton;
    case View::Privacy:
      return &form_.privacy.applyButton;
    case View::Options:
      return &form_.options.saveButton;
    default:
      return nullptr;
  }
}

void KeyboardFocus::Frame(const char* shown) {
  const Widget* w = layout_.Find(shown);
  if (w && w->action) w->action();
}

}  // namespace cloakwise::ui
