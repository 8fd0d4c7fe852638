#include "ui/layout.h"

namespace cloakwise::ui {

Layout::Layout(MainForm& form, FrameActions actions) : form_(form), actions_(std::move(actions)) {
  const auto status = View::Status;
  const auto options = View::Options;
  const auto checker = View::Checker;
  const auto privacy = View::Privacy;

  // The frame: the same hot spots on every view.
  Add(HotSpotKind(), nullptr, {416, 0, 17, 33}, std::nullopt, "x",
      [this] { actions_.hideToTray(); });
  Add(HotSpotKind(), nullptr, {8, 342, 57, 25}, std::nullopt, "MENU",
      [this] { actions_.openMenu(); });
  Add(HotSpotKind(), nullptr, {128, 344, 193, 25}, std::nullopt, "www.cloakwise.example",
      [this] { actions_.openVendorPage(); });
  Add(HotSpotKind(), nullptr, {420, 336, 25, 33}, std::nullopt, ">>",
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
    Add(TabKind(), nullptr, {t.x, kTabTop, kTabWidth, kHeight - kTabTop}, std::nullopt, t.caption,
        [this, v = t.view] { actions_.showView(v); });
    widgets_.back().tab = t.view;
  }

  // StatusView
  Add(HeadingKind(), nullptr, {24, 52, 300, 18}, status, "Your real IP address:");
  Add(LabelKind(), &form.status.localAddressLabel, {40, 72, 300, 20}, status);
  Add(HeadingKind(), nullptr, {24, 100, 300, 18}, status, "Protected & Hidden behind:");
  Add(LabelKind(), &form.status.proxyAddressLabel, {40, 120, 300, 20}, status);
  Add(LabelKind(), &form.status.proxyDescriptionLabel, {40, 142, 380, 34}, status);
  Add(LabelKind(), &form.status.anonymityLabel, {40, 178, 300, 18}, status);
  Add(LabelKind(), nullptr, {24, 206, 40, 16}, status, "Slow");
  Add(GaugeKind(), &form.status.speedGauge, {68, 206, 300, 14}, status);
  Add(LabelKind(), nullptr, {376, 206, 40, 16}, status, "Fast");
  Add(TextButtonKind(), &form.status.startStopButton, {164, 240, 120, 36}, status);
  Add(HotSpotKind(), &form.status.inactiveIndicator, {164, 284, 120, 18}, status, "INACTIVE");
  Add(HotSpotKind(), &form.status.searchingIndicator, {164, 284, 120, 18}, status, "Searching...");
  Add(HotSpotKind(), &form.status.activeIndicator, {164, 284, 120, 18}, status, "ACTIVE");
  Add(HotSpotKind(), &form.status.ieHiddenBadge, {24, 300, 110, 30}, status, "IE: HIDDEN");
  Add(HotSpotKind(), &form.status.firefoxHiddenBadge, {314, 300, 110, 30}, status,
      "Firefox: HIDDEN");

  // OptionsView
  Add(CheckBoxKind(), &form.options.runAtStartupBox, {30, 58, 14, 14}, options);
  Add(LabelKind(), &form.options.runAtStartupCaption, {50, 56, 200, 18}, options);
  Add(CheckBoxKind(), &form.options.rotateEveryBox, {30, 86, 14, 14}, options);
  Add(LabelKind(), &form.options.rotateEveryCaption, {50, 84, 170, 18}, options);
  Add(SpinKind(), &form.options.rotationMinutesField, {222, 81, 56, 22}, options);
  Add(LabelKind(), &form.options.minutesCaption, {284, 84, 70, 18}, options);
  Add(CheckBoxKind(), &form.options.firefoxBox, {30, 114, 14, 14}, options);
  Add(LabelKind(), &form.options.firefoxCaption, {50, 112, 200, 18}, options);
  Add(LabelKind(), nullptr, {30, 142, 200, 18}, options, "Proxy security:");
  Add(SliderKind(), &form.options.securitySlider, {30, 164, 300, 18}, options);
  Add(HotSpotKind(), &form.options.securityHelpButton, {344, 163, 20, 20}, options, "?");
  Add(LabelKind(), nullptr, {24, 184, 100, 16}, options, "Transparent");
  Add(LabelKind(), nullptr, {146, 184, 80, 16}, options, "Anonymous");
  Add(LabelKind(), nullptr, {300, 184, 40, 16}, options, "Elite");
  Add(LabelKind(), nullptr, {30, 208, 200, 18}, options, "Proxy speed:");
  Add(SliderKind(), &form.options.speedSlider, {30, 230, 300, 18}, options);
  Add(HotSpotKind(), &form.options.speedHelpButton, {344, 229, 20, 20}, options, "?");
  Add(LabelKind(), nullptr, {24, 250, 60, 16}, options, "Fast");
  Add(LabelKind(), nullptr, {156, 250, 60, 16}, options, "Medium");
  Add(LabelKind(), nullptr, {304, 250, 40, 16}, options, "Slow");
  Add(CheckBoxKind(), &form.options.cleanAtStartupBox, {30, 280, 14, 14}, options);
  Add(LabelKind(), &form.options.cleanAtStartupCaption, {50, 278, 380, 18}, options);
  Add(TextButtonKind(), &form.options.saveButton, {330, 304, 96, 28}, options);

  // PrivacyView: two pages of a box and its caption a row, in two groups
  // each, the tabs between them above, and on both the status line beside
  // "APPLY".
  PrivacyView& p = form.privacy;
  const auto row = [&](CheckBox& box, Label& caption, int y) {
    Add(CheckBoxKind(), &box, {30, y + 2, 14, 14}, privacy);
    Add(LabelKind(), &caption, {50, y, 370, 17}, privacy);
  };
  const struct {
    int x;
    const char* caption;
  } pageTabs[] = {{16, "Internet Explorer and Computer"}, {224, "Firefox, Chrome and Edge"}};
  for (int page = 0; page < 2; ++page) {
    Add(TabKind(), nullptr, {pageTabs[page].x, 46, 208, 22}, privacy, pageTabs[page].caption,
        [&p, page] { p.pages.Set(page); });
    widgets_.back().opensPage = page;
  }
  OnPage(0);
  Add(HeadingKind(), nullptr, {24, 76, 200, 18}, privacy, "Internet Explorer:");
  row(p.ieCacheBox, p.ieCacheCaption, 94);
  row(p.ieTypedUrlsBox, p.ieTypedUrlsCaption, 111);
  row(p.ieCookiesBox, p.ieCookiesCaption, 128);
  row(p.ieHistoryBox, p.ieHistoryCaption, 145);
  Add(HeadingKind(), nullptr, {24, 170, 200, 18}, privacy, "Computer:");
  row(p.tempFilesBox, p.tempFilesCaption, 188);
  row(p.recentDocumentsBox, p.recentDocumentsCaption, 205);
  row(p.clipboardBox, p.clipboardCaption, 222);
  row(p.recycleBinBox, p.recycleBinCaption, 239);
  OnPage(1);
  Add(HeadingKind(), nullptr, {24, 76, 80, 18}, privacy, "Firefox:");
  // Firefox keeps saved passwords in files of their own, which the
  // caption promises to delete: it would take what the user keeps.
  Add(LabelKind(), nullptr, {104, 77, 320, 16}, privacy, "(keeps saved passwords and bookmarks)");
  row(p.firefoxFormHistoryBox, p.firefoxFormHistoryCaption, 94);
  row(p.firefoxCookiesBox, p.firefoxCookiesCaption, 111);
  row(p.firefoxHistoryBox, p.firefoxHistoryCaption, 128);
  row(p.firefoxCacheBox, p.firefoxCacheCaption, 145);
  Add(HeadingKind(), nullptr, {24, 170, 130, 18}, privacy, "Chrome and Edge:");
  Add(LabelKind(), nullptr, {154, 171, 270, 16}, privacy, "(also Chromium, Brave, Vivaldi)");
  row(p.chromiumCacheBox, p.chromiumCacheCaption, 188);
  row(p.chromiumCookiesBox, p.chromiumCookiesCaption, 205);
  row(p.chromiumHistoryBox, p.chromiumHistoryCaption, 222);
  OnPage(std::nullopt);
  Add(StatusKind(), &p.cleanupStatusLabel, {16, 262, 310, 72}, privacy);
  Add(TextButtonKind(), &p.applyButton, {330, 302, 96, 30}, privacy);

  // CheckerView: the list at the left, sized to show its four columns and
  // fifteen whole rows, with the buttons in a column beside it.
  int gridWidth = 2 * Grid::kBorder + Grid::kScrollBarWidth;
  for (int width : Grid::kColumnWidths) gridWidth += width;
  const int gridHeight = 2 * Grid::kBorder + Grid::kHeaderHeight + 15 * Grid::kRowHeight;
  Add(HeadingKind(), nullptr, {16, 50, 300, 18}, checker, "Custom Proxy List:");
  Add(GridKind(), &form.checker.proxyGrid, {16, 70, gridWidth, gridHeight}, checker);
  form.checker.proxyGrid.SetSize(gridWidth, gridHeight);
  Add(TextButtonKind(), &form.checker.checkListButton, {340, 70, 96, 30}, checker);
  Add(TextButtonKind(), &form.checker.addProxyButton, {340, 122, 96, 30}, checker);
  Add(TextButtonKind(), &form.checker.deleteProxyButton, {340, 160, 96, 30}, checker);
  Add(TextButtonKind(), &form.checker.clearListButton, {340, 198, 96, 30}, checker);
  PairCaptions();
}

void Layout::Add(const WidgetKind& kind, Control* control, Rect rect, std::optional<View> view,
                 std::string text, std::function<void()> action) {
  widgets_.push_back(
      Widget{&kind, control, rect, view, std::move(text), std::move(action), {}, page_, {}});
}

void Layout::PairCaptions() {
  // Once every widget is in place, so the pointers stay good. A box with two
  // labels that toggle it ("minutes." too) is named by the first.
  for (Widget& caption : widgets_) {
    const auto* named = dynamic_cast<const BoxCaption*>(caption.control);
    if (!named) continue;
    for (Widget& box : widgets_) {
      if (box.control == &named->Box() && !box.caption) {
        box.caption = &caption;
        caption.captionOf = &box;
      }
    }
  }
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
  return w->kind->ClickableAt(*w, x, y);
}

void Layout::LeftDown(int x, int y) {
  const Widget* w = Hit(x, y);
  if (w && Pressed(*w, x, y, false)) return;
  if (y < kTopStrip && !(w && w->action)) actions_.startDrag();
}

bool Layout::Pressed(const Widget& w, int x, int y, bool twice) {
  const auto outcome = w.kind->Press(w, x, y, twice);
  if (outcome == WidgetKind::PressOutcome::Captured) captured_ = &w;
  return outcome != WidgetKind::PressOutcome::Ignored;
}

void Layout::MouseMove(int x, int y) {
  if (captured_) captured_->kind->Drag(*captured_, x, y);
}

void Layout::CancelCapture() {
  if (captured_) captured_->kind->DragEnd(*captured_);
  captured_ = nullptr;
}

void Layout::DoubleClick(int x, int y) {
  const Widget* w = Hit(x, y);
  if (w && Pressed(*w, x, y, true)) return;
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
  if (!w) return;
  if (w->action) {
    w->action();
    return;
  }
  if (!w->control || !w->control->Enabled()) return;
  w->kind->Click(*w, x, y);
}

void Layout::RightClick(int x, int y) {
  // A grid has a menu of its own; the rest of every view's body opens the
  // main menu.
  const Widget* w = Hit(x, y);
  if (w && w->kind->ContextClick(*w, x, y)) return;
  if (y >= kTopStrip - 1) actions_.openMenu();
}

void Layout::Wheel(int delta) {
  for (const Widget& w : widgets_) {
    if (Shown(w) && w.kind->Scroll(w, delta)) return;
  }
}

void Layout::KeyDown(Grid::Key key) {
  for (const Widget& w : widgets_) {
    if (Shown(w) && w.kind->Navigate(w, key)) return;
  }
}

}  // namespace cloakwise::ui
