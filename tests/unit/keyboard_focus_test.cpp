// The main window from the keyboard alone: Tab reaches every control a
// click reaches, and each key does what the matching click does.
#include "ui/keyboard_focus.h"

#include <gtest/gtest.h>

#include "core/option_keys.h"
#include "fakes/laid_out_app.h"

namespace cloakwise {
namespace {

using Key = ui::KeyboardFocus::Key;

class KeyboardFocusTest : public ::testing::Test, public fakes::LaidOutApp {
 protected:
  void SetUp() override { Start(); }
  ui::KeyboardFocus focus{app.form, layout};

  void Press(Key key, bool shift = false, bool ctrl = false) { focus.KeyDown(key, shift, ctrl); }
  static std::string NameOf(const ui::Layout::Widget* w) {
    if (!w) return "<none>";
    return w->control ? w->control->Name() : w->text;
  }
  // Tabs until the control, or a part of the frame by what it shows, has the
  // focus; fails after a round without it.
  template <typename What>
  void TabTo(const What& what) {
    const std::string name = Named(what);
    for (std::size_t i = 0; i <= focus.Stops().size(); ++i) {
      Press(Key::Tab);
      if (NameOf(focus.Focused()) == name) return;
    }
    ADD_FAILURE() << "Tab never reaches " << name;
  }
  static std::string Named(const ui::Control& c) { return c.Name(); }
  static std::string Named(const char* shown) { return shown; }
  std::string Value(const char* key) {
    return app.TEST_Settings().ReadString(kOptionsSection, key, "<none>");
  }
};

const std::vector<std::string> kViewTabs = {"Hide IP", "Proxy Checker", "Hide Privacy", "Options"};

std::vector<std::string> With(std::vector<std::string> body) {
  body.insert(body.end(), kViewTabs.begin(), kViewTabs.end());
  return body;
}

// Tab runs through the stops in reading order and wraps; Shift+Tab goes back
// over the wrap; a hidden or disabled control is no stop.
TEST_F(KeyboardFocusTest, TabVisitsEachViewsControlsInReadingOrder) {
  const struct {
    ui::View view;
    int page;
    ui::Control* away;  // disabled for this row, if any
    std::vector<std::string> order;
  } cases[] = {
      {ui::View::Status, 0, nullptr, With({"startStopButton"})},
      {ui::View::Options, 0, nullptr,
       With({"runAtStartupBox", "rotateEveryBox", "rotationMinutesField", "firefoxBox",
             "securitySlider", "speedSlider", "cleanAtStartupBox", "saveButton"})},
      {ui::View::Options, 0, &form.options.firefoxBox,
       With({"runAtStartupBox", "rotateEveryBox", "rotationMinutesField", "securitySlider",
             "speedSlider", "cleanAtStartupBox", "saveButton"})},
      {ui::View::Privacy, 0, nullptr,
       With({"Internet Explorer and Computer", "Firefox, Chrome and Edge", "ieCacheBox",
             "ieTypedUrlsBox", "ieCookiesBox", "ieHistoryBox", "tempFilesBox", "recentDocumentsBox",
             "clipboardBox", "recycleBinBox", "applyButton"})},
      {ui::View::Privacy, 1, nullptr,
       With({"Internet Explorer and Computer", "Firefox, Chrome and Edge", "firefoxFormHistoryBox",
             "firefoxCookiesBox", "firefoxHistoryBox", "firefoxCacheBox", "chromiumCacheBox",
             "chromiumCookiesBox", "chromiumHistoryBox", "applyButton"})},
      {ui::View::Checker, 0, &form.checker.deleteProxyButton,
       With({"proxyGrid", "checkListButton", "addProxyButton", "clearListButton"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("view " + std::to_string(static_cast<int>(c.view)) + " page " +
                 std::to_string(c.page));
    app.ShowView(c.view);
    form.privacy.pages.Set(c.page);
    if (c.away) c.away->SetEnabled(false);
    std::vector<std::string> visited;
    for (std::size_t i = 0; i < c.order.size(); ++i) {
      Press(Key::Tab);
      visited.push_back(NameOf(focus.Focused()));
    }
    EXPECT_EQ(visited, c.order);
    Press(Key::Tab);
    EXPECT_EQ(NameOf(focus.Focused()), c.order.front()) << "Tab wraps to the first";
    Press(Key::Tab, /*shift=*/true);
    EXPECT_EQ(NameOf(focus.Focused()), c.order.back()) << "Shift+Tab wraps to the last";
    if (c.away) c.away->SetEnabled(true);
  }
}

// Space on a box stores its option as a click on it does; the box keeps the
// focus for the next Space.
TEST_F(KeyboardFocusTest, SpaceOnACheckBoxStoresItsOption) {
  const struct {
    ui::View view;
    const char* pageTab;  // pressed first, on a view of pages
    ui::CheckBox& box;
    const char* key;
    const char* after;
  } cases[] = {
      {ui::View::Options, nullptr, form.options.rotateEveryBox, "Change1", "1"},
      {ui::View::Options, nullptr, form.options.firefoxBox, "Firefox", "1"},
      {ui::View::Options, nullptr, form.options.cleanAtStartupBox, "PC-clean", "1"},
      {ui::View::Privacy, nullptr, form.privacy.recycleBinBox, "opt10", "0"},
      {ui::View::Privacy, "Firefox, Chrome and Edge", form.privacy.firefoxFormHistoryBox, "opt11",
       "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box.Name());
    app.ShowView(c.view);
    if (c.pageTab) {
      TabTo(c.pageTab);
      Press(Key::Space);
    }
    TabTo(c.box);
    const bool before = c.box.Checked();
    Press(Key::Space);
    EXPECT_EQ(Value(c.key), c.after);
    Press(Key::Space);
    EXPECT_EQ(c.box.Checked(), before);
  }
}

// Enter presses the view's own button wherever the focus is; a focused
// button takes Space and Enter itself.
TEST_F(KeyboardFocusTest, EnterPressesTheViewsButton) {
  std::vector<std::string> pressed;
  form.status.startStopButton.onClick = [&] { pressed.push_back("START"); };
  form.privacy.applyButton.onClick = [&] { pressed.push_back("APPLY"); };
  form.checker.clearListButton.onClick = [&] { pressed.push_back("Clear List"); };
  const struct {
    ui::View view;
    const ui::Control* focused;  // tabbed to first, if any
    Key key;
    std::vector<std::string> pressed;
    std::vector<std::string> boxes;
  } cases[] = {
      {ui::View::Status, nullptr, Key::Enter, {"START"}, {}},
      {ui::View::Privacy, &form.privacy.ieCookiesBox, Key::Enter, {"APPLY"}, {}},
      {ui::View::Options, &form.options.speedSlider, Key::Enter, {}, {"Options: Saved!"}},
      {ui::View::Options, &form.options.saveButton, Key::Space, {}, {"Options: Saved!"}},
      {ui::View::Checker, nullptr, Key::Enter, {}, {}},
      {ui::View::Checker, &form.checker.clearListButton, Key::Enter, {"Clear List"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.view));
    pressed.clear();
    modal.shown.clear();
    app.ShowView(c.view);
    if (c.focused) TabTo(*c.focused);
    Press(c.key);
    EXPECT_EQ(pressed, c.pressed);
    EXPECT_EQ(modal.shown, c.boxes);
  }
}

// The keys of the frame and of the view switch: Escape hides as the close
// picture does, the menu key opens the menu a right click opens, the list's
// own on the proxy list, and Ctrl+Tab goes round the views in the tabs' order.
TEST_F(KeyboardFocusTest, FrameKeysAndCtrlTab) {
  form.checker.proxyGrid.onContextMenu = [this] { actions.push_back("list menu"); };
  const struct {
    ui::View view;
    const ui::Control* focused;
    Key key;
    bool shift, ctrl;
    std::string action;
    ui::View after;
  } cases[] = {
      {ui::View::Status, nullptr, Key::Escape, false, false, "hide", ui::View::Status},
      {ui::View::Options, nullptr, Key::Menu, false, false, "menu", ui::View::Options},
      {ui::View::Checker, &form.checker.proxyGrid, Key::Menu, false, false, "list menu",
       ui::View::Checker},
      {ui::View::Checker, &form.checker.addProxyButton, Key::Menu, false, false, "menu",
       ui::View::Checker},
      {ui::View::Status, nullptr, Key::Tab, false, true, "", ui::View::Checker},
      {ui::View::Checker, nullptr, Key::Tab, false, true, "", ui::View::Privacy},
      {ui::View::Options, nullptr, Key::Tab, false, true, "", ui::View::Status},
      {ui::View::Status, nullptr, Key::Tab, true, true, "", ui::View::Options},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.view)) + " " + c.action);
    actions.clear();
    app.ShowView(c.view);
    if (c.focused) TabTo(*c.focused);
    Press(c.key, c.shift, c.ctrl);
    EXPECT_EQ(actions,
              c.action.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.action});
    EXPECT_EQ(form.view.Current(), c.after);
  }
}

// The arrows move a focused slider by a step, Home and End to its ends; a
// position past an end is not taken. The cue shows once a key was used and
// hides at the next click, which gives the focus to what it clicked (a
// caption's box), so Tab goes on from there.
TEST_F(KeyboardFocusTest, ArrowsMoveAFocusedSliderAndTheCueFollowsTheKeyboard) {
  app.ShowView(ui::View::Options);
  ui::Slider& speed = form.options.speedSlider;
  EXPECT_FALSE(focus.CueShown());
  TabTo(speed);
  EXPECT_TRUE(focus.CueShown());
  const struct {
    Key key;
    int position;
  } cases[] = {{Key::Home, 0}, {Key::Left, 0},  {Key::Right, 1},
               {Key::End, 8},  {Key::Right, 8}, {Key::Left, 7}};
  for (const auto& c : cases) {
    Press(c.key);
    EXPECT_EQ(speed.Position(), c.position);
  }
  EXPECT_EQ(app.TEST_Settings().ReadInteger(kOptionsSection, "Timeout", 0), 12);
  focus.MouseUsed();
  EXPECT_FALSE(focus.CueShown());
  focus.MouseUsed(layout.Find(form.options.rotateEveryCaption));
  EXPECT_EQ(NameOf(focus.Focused()), "rotateEveryBox");
  Press(Key::Tab);
  EXPECT_EQ(NameOf(focus.Focused()), "rotationMinutesField");
  focus.MouseUsed(layout.Find("Proxy speed:"));  // plain text takes no focus
  EXPECT_EQ(NameOf(focus.Focused()), "rotationMinutesField");
}

}  // namespace
}  // namespace cloakwise
