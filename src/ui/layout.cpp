#include "ui/layout.h"

namespace cloakwise::ui {

Layout::Layout(MainForm& form, FrameActions actions) : form_(form), actions_(std::move(actions)) {
  const auto status = View::Status;
  const auto options = View::Options;
  const auto checker = View::Checker;
  const auto privacy = View::Privacy;

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
  } tabs[kTabCount] = {{View::Status, 0, "Hide IP"},
                       {View::Checker, kTabWidth, "Proxy Checker"},
                       {View::Privacy, 2 * kTabWidth, "Hide Privacy"},
                       {View::Options, 3 * kTabWidth, "Options"}};
  for (const auto& t : tabs) {
    Add(Kind::Tab, nullptr, {t.x, kTabTop, kTabWidth, kHeight - kTabTop}, std::nullopt, t.caption,
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

  // PrivacyView: two pages of a box and its caption a row, in two groups
  // each, the tabs between them above, and on both the status line beside
  // "APPLY".
  PrivacyView& p = form.privacy;
  const auto row = [&](CheckBox& box, Label& caption, int y) {
    Add(Kind::CheckBox, &box, {30, y + 2, 14, 14}, privacy);
    Add(Kind::Label, &caption, {50, y, 370, 17}, privacy);
  };
  const struct {
    int x;
    const char* caption;
  } pageTabs[] = {{16, "Internet Explorer and Computer"}, {224, "Firefox, Chrome and Edge"}};
  for (int page = 0; page < 2; ++page) {
    Add(Kind::Tab, nullptr, {pageTabs[page].x, 46, 208, 22}, privacy, pageTabs[page].caption,
        [&p, page] { p.pages.Set(page); });
    widgets_.back().opensPage = page;
  }
  OnPage(0);
  Add(Kind::Heading, nullptr, {24, 76, 200, 18}, privacy, "Internet Explorer:");
  row(p.ieCacheBox, p.ieCacheCaption, 94);
  row(p.ieTypedUrlsBox, p.ieTypedUrlsCaption, 111);
  row(p.ieCookiesBox, p.ieCookiesCaption, 128);
  row(p.ieHistoryBox, p.ieHistoryCaption, 145);
  Add(Kind::Heading, nullptr, {24, 170, 200, 18}, privacy, "Computer:");
  row(p.tempFilesBox, p.tempFilesCaption, 188);
  row(p.recentDocumentsBox, p.recentDocumentsCaption, 205);
  row(p.clipboardBox, p.clipboardCaption, 222);
  row(p.recycleBinBox, p.recycleBinCaption, 239);
  OnPage(1);
  Add(Kind::Heading, nullptr, {24, 76, 80, 18}, privacy, "Firefox:");
  // Firefox keeps saved passwords in files of their own, which the
  // caption promises to delete: it would take what the user keeps.
  Add(Kind::Label, nullptr, {104, 77, 320, 16}, privacy, "(keeps saved passwords and bookmarks)");
  row(p.firefoxFormHistoryBox, p.firefoxFormHistoryCaption, 94);
  row(p.firefoxCookiesBox, p.firefoxCookiesCaption, 111);
  row(p.firefoxHistoryBox, p.firefoxHistoryCaption, 128);
  row(p.firefoxCacheBox, p.firefoxCacheCaption, 145);
  Add(Kind::Heading, nullptr, {24, 170, 130, 18}, privacy, "Chrome and Edge:");
  Add(Kind::Label, nullptr, {154, 171, 270, 16}, privacy, "(also Chromium, Brave, Vivaldi)");
  row(p.chromiumCacheBox, p.chromiumCacheCaption, 188);
  row(p.chromiumCookiesBox, p.chromiumCookiesCaption, 205);
  row(p.chromiumHistoryBox, p.chromiumHistoryCaption, 222);
  OnPage(std::nullopt);
  Add(Kind::Status, &p.cleanupStatusLabel, {16, 262, 310, 72}, privacy);
  Add(Kind::TextButton, &p.applyButton, {330, 302, 96, 30}, privacy);

  // CheckerView: the list at the left, sized to show its four columns and
  // fifteen whole rows, with the buttons in a column beside it.
  int gridWidth = 2 * Grid::kBorder + Grid::kScrollBarWidth;
  for (int width : Grid::kColumnWidths) gridWidth += width;
  const int gridHeight = 2 * Grid::kBorder + Grid::kHeaderHeight + 15 * Grid::kRowHeight;
  Add(Kind::Heading, nullptr, {16, 50, 300, 18}, checker, "Custom Proxy List:");
  Add(Kind::Grid, &form.checker.proxyGrid, {16, 70, gridWidth, gridHeight}, checker);
  form.checker.proxyGrid.SetSize(gridWidth, gridHeight);
  Add(Kind::TextButton, &form.checker.checkListButton, {340, 70, 96, 30}, checker);
  Add(Kind::TextButton, &form.checker.addProxyButton, {340, 122, 96, 30}, checker);
  Add(Kind::TextButton, &form.checker.deleteProxyButton, {340, 160, 96, 30}, checker);
  Add(Kind::TextButton, &form.checker.clearListButton, {340, 198, 96, 30}, checker);
}

void Layout::Add(Kind kind, Control* control, Rect rect, std::optional<View> view, std::string text,
                 std::function<void()> action) {
  widgets_.push_back(
      Widget{kind, control, rect, view, std::move(text), std::move(action), {}, page_, {}});
}

bool Layout::Shown(const Widget& w) const {
  // Only the privacy view has pages.
  return (!w.view || *w.view == form_.view.Current()) &&
         (!w.page || *w.page == form_.privacy.pages.Current()) &&
         (!w.control || w.control->Visible());
}

bool Layout::Current(const Widget& tab) const {
  if (tab.opensPage) return *tab.opensPage == form_.privacy.pages.Current();
  return tab.tab == form_.view.Current();
}

const Layout::Widget* Layout::CurrentGrid() const {
  for (const Widget& w : widgets_) {
    if (w.kind == Kind::Grid && Shown(w)) return &w;
  }
  return nullptr;
}

const Layout::Widget* Layout::Hit(int x, int y) const {
  // Later widgets lie on top of earlier ones.
  for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) {
    if (Shown(*it) && it->rect.Contains(x, y)) return &*it;
  }
  return nullptr;
}

const Layout::Widget* Layout::Find(const Control& control) const {
  for (const Widget& w : widgets_) {
    if (w.control == &control) return &w;
  }
  return nullptr;
}

const Layout::Widget* Layout::Find(std::string_view text) const {
  for (const Widget& w : widgets_) {
    if (!w.control && w.text == text) return &w;
  }
  return nullptr;
}

bool Layout::ClickableAt(int x, int y) const {
  const Widget* w = Hit(x, y);
  if (!w) return false;
  if (w->action) return true;
  if (!w->control || !w->control->Enabled()) return false;
  switch (w->kind) {
    case Kind::CheckBox:
    case Kind::Slider:
      return true;
    case Kind::Spin:
      return x >= w->rect.x + w->rect.w - 16;  // the arrows; the rest takes typing
    case Kind::Label:
    case Kind::TextButton:
    case Kind::HotSpot:
      return static_cast<bool>(static_cast<Clickable*>(w->control)->onClick);
    default:
      return false;
  }
}

void Layout::LeftDown(int x, int y) {
  const Widget* w = Hit(x, y);
  if (w && w->kind == Kind::Grid) {
    GridOf(*w).MouseDown(x - w->rect.x, y - w->rect.y);
    if (GridOf(*w).Dragging()) captured_ = w;
    return;
  }
  if (y < kTopStrip && !(w && w->action)) actions_.startDrag();
}

void Layout::MouseMove(int x, int y) {
  if (captured_) GridOf(*captured_).MouseMove(x - captured_->rect.x, y - captured_->rect.y);
}

void Layout::CancelCapture() {
  if (captured_) GridOf(*captured_).MouseUp();
  captured_ = nullptr;
}

void Layout::DoubleClick(int x, int y) {
  const Widget* w = Hit(x, y);
  if (w && w->kind == Kind::Grid) {
    GridOf(*w).DoubleClick(x - w->rect.x, y - w->rect.y);
    if (GridOf(*w).Dragging()) captured_ = w;
    return;
  }
  // Elsewhere a quick second press is just another press.
  LeftDown(x, y);
}

void Layout::LeftClick(int x, int y) {
  if (captured_) {
    // The end of a thumb drag, wherever the mouse is now: no click.
    CancelCapture();
    return;
  }
  const Widget* w = Hit(x, y);
  if (!w || w->kind == Kind::Grid) return;  // a grid acts on the press
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

void Layout::RightClick(int x, int y) {
  // A grid has a menu of its own; the rest of every view's body opens the
  // main menu.
  const Widget* w = Hit(x, y);
  if (w && w->kind == Kind::Grid) {
    GridOf(*w).ContextClick(x - w->rect.x, y - w->rect.y);
    return;
  }
  if (y >= kTopStrip - 1) actions_.openMenu();
}

void Layout::Wheel(int delta) {
  if (const Widget* w = CurrentGrid()) GridOf(*w).Wheel(delta);
}

void Layout::KeyDown(Grid::Key key) {
  if (const Widget* w = CurrentGrid()) GridOf(*w).Navigate(key);
}

}  // namespace cloakwise::ui
