#include "ui/layout.h"

namespace cloakwise::ui {

Layout::Layout(MainForm& form, FrameActions actions) : form_(form), actions_(std::move(actions)) {
  const auto status = View::Status;
  const auto options = View::Options;

  // The frame: the same hot spots on every view.
  Add(Kind::HotSpot, nullptr, {416, 0, 17, 33}, std::nullopt, "x",
      [this] { actions_.hideToTray(); });
  Add(Kind::HotSpot, nullptr, {8, 342, 57, 25}, std::nullopt, "MENU",
      [this] { actions_.openMenu(); });
  Add(Kind::HotSpot, nullptr, {128, 344, 193, 25}, std::nullopt, "www.cloakwise.example",
      [this] { actions_.openVendorPage(); });
  Add(Kind::HotSpot, nullptr, {420, 336, 25, 33}, std::nullopt, ">>",
      [this] { actions_.hideToTray(); });
  const struct {
    View view;
    int x;
    const char* caption;
  } tabs[] = {{View::Status, 0, "Hide IP"},
              {View::Checker, 95, "Proxy Checker"},
              {View::Privacy, 190, "Hide Privacy"},
              {View::Options, 285, "Options"}};
  for (const auto& t : tabs) {
    Add(Kind::Tab, nullptr, {t.x, 370, 95, 27}, std::nullopt, t.caption,
        [this, v = t.view] { actions_.showView(v); });
    widgets_.back().tab = t.view;
  }

  // StatusView
  Add(Kind::Heading, nullptr, {24, 52, 300, 18}, status, "Your real IP address:");
  Add(Kind::Label, &form.status.localAddressLabel, {40, 72, 300, 20}, status);
  Add(Kind::Heading, nullptr, {24, 100, 300, 18}, status, "Protected & Hidden behind:");
  Add(Kind::Label, &form.status.proxyAddressLabel, {40, 120, 300, 20}, status);
  Add(Kind::Label, &form.status.proxyDescriptionLabel, {40, 142, 380, 34}, status);
  Add(Kind::Label, &form.status.anonymityLabel, {40, 178, 300, 18}, status);
  Add(Kind::Label, nullptr, {24, 206, 40, 16}, status, "Slow");
  Add(Kind::Gauge, &form.status.speedGauge, {68, 206, 300, 14}, status);
  Add(Kind::Label, nullptr, {376, 206, 40, 16}, status, "Fast");
  Add(Kind::TextButton, &form.status.startStopButton, {164, 240, 120, 36}, status);
  Add(Kind::HotSpot, &form.status.inactiveIndicator, {164, 284, 120, 18}, status, "INACTIVE");
  Add(Kind::HotSpot, &form.status.searchingIndicator, {164, 284, 120, 18}, status, "Searching...");
  Add(Kind::HotSpot, &form.status.activeIndicator, {164, 284, 120, 18}, status, "ACTIVE");
  Add(Kind::HotSpot, &form.status.ieHiddenBadge, {24, 300, 110, 30}, status, "IE: HIDDEN");
  Add(Kind::HotSpot, &form.status.firefoxHiddenBadge, {314, 300, 110, 30}, status,
      "Firefox: HIDDEN");

  // OptionsView
  Add(Kind::CheckBox, &form.options.runAtStartupBox, {30, 58, 14, 14}, options);
  Add(Kind::Label, &form.options.runAtStartupCaption, {50, 56, 200, 18}, options);
  Add(Kind::CheckBox, &form.options.rotateEveryBox, {30, 86, 14, 14}, options);
  Add(Kind::Label, &form.options.rotateEveryCaption, {50, 84, 170, 18}, options);
  Add(Kind::Spin, &form.options.rotationMinutesField, {222, 81, 56, 22}, options);
  Add(Kind::Label, &form.options.minutesCaption, {284, 84, 70, 18}, options);
  Add(Kind::CheckBox, &form.options.firefoxBox, {30, 114, 14, 14}, options);
  Add(Kind::Label, &form.options.firefoxCaption, {50, 112, 200, 18}, options);
  Add(Kind::Label, nullptr, {30, 142, 200, 18}, options, "Proxy security:");
  Add(Kind::Slider, &form.options.securitySlider, {30, 164, 300, 18}, options);
  Add(Kind::HotSpot, &form.options.securityHelpButton, {344, 163, 20, 20}, options, "?");
  Add(Kind::Label, nullptr, {24, 184, 100, 16}, options, "Transparent");
  Add(Kind::Label, nullptr, {146, 184, 80, 16}, options, "Anonymous");
  Add(Kind::Label, nullptr, {300, 184, 40, 16}, options, "Elite");
  Add(Kind::Label, nullptr, {30, 208, 200, 18}, options, "Proxy speed:");
  Add(Kind::Slider, &form.options.speedSlider, {30, 230, 300, 18}, options);
  Add(Kind::HotSpot, &form.options.speedHelpButton, {344, 229, 20, 20}, options, "?");
  Add(Kind::Label, nullptr, {24, 250, 60, 16}, options, "Fast");
  Add(Kind::Label, nullptr, {156, 250, 60, 16}, options, "Medium");
  Add(Kind::Label, nullptr, {304, 250, 40, 16}, options, "Slow");
  Add(Kind::CheckBox, &form.options.cleanAtStartupBox, {30, 280, 14, 14}, options);
  Add(Kind::Label, &form.options.cleanAtStartupCaption, {50, 278, 380, 18}, options);
  Add(Kind::TextButton, &form.options.saveButton, {330, 304, 96, 28}, options);
}

void Layout::Add(Kind kind, Control* control, Rect rect, std::optional<View> view, std::string text,
                 std::function<void()> action) {
  widgets_.push_back(Widget{kind, control, rect, view, std::move(text), std::move(action), {}});
}

bool Layout::OnCurrentView(const Widget& w) const {
  return (!w.view || *w.view == form_.view.Current()) && (!w.control || w.control->Visible());
}

const Layout::Widget* Layout::Hit(int x, int y) const {
  // Later widgets lie on top of earlier ones.
  for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) {
    if (OnCurrentView(*it) && it->rect.Contains(x, y)) return &*it;
  }
  return nullptr;
}

void Layout::LeftDown(int x, int y) {
  if (y < kTopStrip && !(Hit(x, y) && Hit(x, y)->action)) actions_.startDrag();
}

void Layout::LeftClick(int x, int y) {
  const Widget* w = Hit(x, y);
  if (!w) return;
  if (w->action) {
    w->action();
    return;
  }
  if (!w->control || !w->control->Enabled()) return;
  switch (w->kind) {
    case Kind::CheckBox:
      static_cast<CheckBox*>(w->control)->Toggle();
      break;
    case Kind::Slider: {
      auto* slider = static_cast<Slider*>(w->control);
      const int steps = slider->Max() - slider->Min();
      const int offset = x - w->rect.x;
      slider->SetPosition(slider->Min() + (offset * steps + w->rect.w / 2) / w->rect.w);
      break;
    }
    case Kind::Spin: {
      // The arrows are the right 16 pixels: up in the top half, down below.
      if (x < w->rect.x + w->rect.w - 16) break;
      auto* spin = static_cast<SpinEdit*>(w->control);
      spin->SetValue(spin->Value() + (y < w->rect.y + w->rect.h / 2 ? 1 : -1));
      break;
    }
    case Kind::Label:
    case Kind::TextButton:
    case Kind::HotSpot:
      static_cast<Clickable*>(w->control)->Click();
      break;
    default:
      break;  // headings and the gauge do nothing
  }
}

void Layout::RightClick(int /*x*/, int y) {
  // The body of every view opens the main menu.
  if (y >= kTopStrip - 1) actions_.openMenu();
}

}  // namespace cloakwise::ui
