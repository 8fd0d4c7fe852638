// Clicks at window coordinates reach the handlers a user expects.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include "cleanup/cleanup_tasks.h"
#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

class LayoutTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override { Start(); }
  std::vector<std::string> actions;
  ui::Layout layout{app.form, ui::FrameActions{
                                  [this] { actions.push_back("hide"); },
                                  [this] { actions.push_back("menu"); },
                                  [this] { actions.push_back("vendor"); },
                                  [this] { actions.push_back("drag"); },
                                  [this](ui::View v) { app.ShowView(v); },
                              }};
  ui::MainForm& form = app.form;
};

TEST_F(LayoutTest, TabsSwitchViewsAndOnlyTheCurrentViewIsHit) {
  EXPECT_EQ(layout.Hit(378, 318), nullptr) << "SAVE is not on the status view";
  layout.LeftClick(300, 380);  // the fourth tab
  EXPECT_EQ(form.view.Current(), ui::View::Options);
  layout.LeftClick(378, 318);
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  layout.LeftClick(100, 380);
  EXPECT_EQ(form.view.Current(), ui::View::Checker);
  layout.LeftClick(10, 380);
  EXPECT_EQ(form.view.Current(), ui::View::Status);
}

TEST_F(LayoutTest, OptionControlsRespondWhereTheyAreDrawn) {
  app.ShowView(ui::View::Options);
  layout.LeftClick(100, 121);  // the caption "Change Firefox proxy"
  EXPECT_TRUE(form.options.firefoxBox.Checked());
  layout.LeftClick(36, 121);  // the box itself
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  layout.LeftClick(30, 238);  // left end of the speed slider
  EXPECT_EQ(form.options.speedSlider.Position(), 0);
  layout.LeftClick(329, 238);
  EXPECT_EQ(form.options.speedSlider.Position(), 8);
  EXPECT_EQ(app.Settings().ReadInteger(kOptionsSection, "Timeout", 0), 13);
  layout.LeftClick(180, 172);  // middle of the security slider
  EXPECT_EQ(form.options.securitySlider.Position(), 1);
  layout.LeftClick(270, 86);  // the spin field's up arrow
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 11);
  layout.LeftClick(270, 100);  // its down arrow
  layout.LeftClick(270, 100);
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 9);
  layout.LeftClick(230, 90);  // the text part does nothing
  EXPECT_EQ(form.options.rotationMinutesField.Value(), 9);
}

TEST_F(LayoutTest, FrameHotSpotsAndMouseButtons) {
  layout.LeftClick(420, 10);
  layout.LeftClick(30, 350);
  layout.LeftClick(200, 355);
  layout.LeftClick(430, 350);
  layout.LeftDown(200, 20);   // the top strip moves the window
  layout.LeftDown(200, 200);  // the body does not
  layout.RightClick(200, 200);
  layout.RightClick(200, 20);
  EXPECT_EQ(actions, (std::vector<std::string>{"hide", "menu", "vendor", "hide", "drag", "menu"}));
}

// A list long enough to scroll on the checker view.
class ListRows : public ui::GridSource {
 public:
  explicit ListRows(std::size_t count) : count_(count) {}
  std::size_t RowCount() const override { return count_; }
  std::string Cell(std::size_t row, int) const override { return std::to_string(row); }
  std::string Header(int) const override { return "Proxy"; }

 private:
  std::size_t count_;
};

// The list's top-left corner on the window, and the middle of a row of it.
constexpr int kGridX = 16, kGridY = 70;
constexpr int RowY(int shown) {
  return kGridY + 1 + 16 + 16 * shown + 8;
}

class CheckerLayoutTest : public LayoutTest {
 protected:
  void SetUp() override {
    LayoutTest::SetUp();
    grid.SetSource(&rows);
    app.ShowView(ui::View::Checker);
  }
  ListRows rows{1000};
  ui::Grid& grid = form.checker.proxyGrid;
};

TEST_F(CheckerLayoutTest, ButtonsAndListRespondWhereTheyAreDrawn) {
  std::vector<std::string> clicked;
  for (ui::Label* button : {&form.checker.checkListButton, &form.checker.addProxyButton,
                            &form.checker.deleteProxyButton, &form.checker.clearListButton}) {
    button->onClick = [&clicked, button] { clicked.push_back(button->Caption()); };
  }
  for (int y : {85, 137, 175, 213}) layout.LeftClick(388, y);
  EXPECT_EQ(clicked,
            (std::vector<std::string>{"Check List", "Add Proxy", "Del Proxy", "Clear List"}));
  ASSERT_NE(layout.Hit(20, 55), nullptr);
  EXPECT_EQ(layout.Hit(20, 55)->text, "Custom Proxy List:");

  layout.LeftDown(100, RowY(2));
  layout.LeftClick(100, RowY(2));
  EXPECT_EQ(grid.CurrentRow(), 2u);
  layout.LeftDown(kGridX + 300, kGridY + 250);  // the scroll bar's track near its bottom
  layout.LeftClick(kGridX + 300, kGridY + 250);
  EXPECT_EQ(grid.TopRow(), grid.PageRows());
  EXPECT_TRUE(actions.empty());
}

TEST_F(CheckerLayoutTest, RightClickOnTheListOpensItsMenuAndElsewhereTheMainMenu) {
  std::vector<std::size_t> listMenuAt;
  grid.onContextMenu = [&] { listMenuAt.push_back(grid.CurrentRow()); };
  layout.RightClick(100, RowY(5));
  layout.RightClick(400, 300);  // beside the list
  EXPECT_EQ(listMenuAt, std::vector<std::size_t>{5});
  EXPECT_EQ(actions, std::vector<std::string>{"menu"});
}

TEST_F(CheckerLayoutTest, DoubleClickUsesTheRowAndIsAPressElsewhere) {
  std::vector<std::size_t> used;
  grid.onDoubleClick = [&] { used.push_back(grid.CurrentRow()); };
  layout.DoubleClick(100, RowY(3));
  layout.DoubleClick(200, 20);  // the top strip still moves the window
  EXPECT_EQ(used, std::vector<std::size_t>{3});
  EXPECT_EQ(actions, std::vector<std::string>{"drag"});
}

TEST_F(CheckerLayoutTest, WheelAndKeysReachTheListOnlyOnTheCheckerView) {
  app.ShowView(ui::View::Status);
  layout.Wheel(-120);
  layout.KeyDown(ui::Grid::Key::End);
  EXPECT_EQ(grid.TopRow(), 0u);
  EXPECT_EQ(grid.CurrentRow(), 0u);
  app.ShowView(ui::View::Checker);
  layout.Wheel(-120);
  EXPECT_EQ(grid.TopRow(), 3u);
  layout.KeyDown(ui::Grid::Key::End);
  EXPECT_EQ(grid.CurrentRow(), 999u);
  EXPECT_EQ(grid.TopRow(), 1000u - grid.PageRows());
}

TEST_F(CheckerLayoutTest, ThumbDragEndsWithoutClickingWhatLiesUnderTheMouse) {
  int checks = 0;
  form.checker.checkListButton.onClick = [&] { ++checks; };
  const int thumbX = kGridX + grid.ScrollBarGeometry().left + 4;
  const int thumbY = kGridY + grid.ScrollBarGeometry().thumbTop + 4;
  layout.LeftDown(thumbX, thumbY);
  ASSERT_TRUE(layout.Capturing());
  layout.MouseMove(388, 400);  // dragged past the list's bottom
  EXPECT_EQ(grid.TopRow(), grid.MaxTopRow());
  layout.LeftClick(388, 85);  // released over "Check List"
  EXPECT_EQ(checks, 0);
  EXPECT_FALSE(layout.Capturing());
}

TEST_F(LayoutTest, HiddenAndDisabledControlsTakeNoClicks) {
  app.ShowView(ui::View::Options);
  form.options.firefoxBox.SetEnabled(false);
  form.options.firefoxCaption.SetEnabled(false);
  layout.LeftClick(100, 121);
  layout.LeftClick(36, 121);
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  form.options.saveButton.SetVisible(false);
  EXPECT_EQ(layout.Hit(378, 318), nullptr);
}

// The hand promises a click that does something; plain texts, the gauge and a
// disabled caption keep the arrow.
TEST_F(LayoutTest, HandCursorOnlyWhereAClickActs) {
  const struct {
    ui::View view;
    int x, y;
    bool hand;
    const char* what;
  } cases[] = {
      {ui::View::Status, 224, 258, true, "START"},
      {ui::View::Status, 30, 350, true, "MENU"},
      {ui::View::Status, 300, 380, true, "a tab"},
      {ui::View::Status, 100, 125, false, "the proxy address"},
      {ui::View::Status, 200, 212, false, "the speed gauge"},
      {ui::View::Status, 200, 290, false, "the state indicator"},
      {ui::View::Status, 200, 200, false, "the body"},
      {ui::View::Options, 100, 121, false, "the disabled Firefox caption"},
      {ui::View::Options, 100, 93, true, "a caption that toggles its box"},
      {ui::View::Options, 270, 86, true, "the minutes' arrows"},
      {ui::View::Options, 230, 90, false, "the minutes' text"},
      {ui::View::Options, 100, 150, false, "a heading"},
  };
  form.options.firefoxCaption.SetEnabled(false);
  for (const auto& c : cases) {
    app.ShowView(c.view);
    EXPECT_EQ(layout.ClickableAt(c.x, c.y), c.hand) << c.what;
  }
}

// The privacy view's tasks on its two pages: each caption, where it is
// drawn on its own page, toggles its box; on the other page the point holds
// none of its controls; nothing shown overlaps; APPLY is on both.
TEST_F(LayoutTest, EveryCleanupTaskIsOnOnePrivacyPageAndItsCaptionTogglesItThere) {
  app.ShowView(ui::View::Privacy);
  constexpr int kPageTabY = 57, kPageTabX[] = {120, 328};
  const auto widgetOf = [&](const ui::Control& control) {
    for (const auto& w : layout.Widgets()) {
      if (w.control == &control) return &w;
    }
    ADD_FAILURE() << control.Name() << " is not laid out";
    return &layout.Widgets().front();
  };
  for (const auto& task : cleanup::kCleanupTasks) {
    const auto* caption = widgetOf(form.privacy.*task.caption);
    ASSERT_TRUE(caption->page) << task.key;
    const int x = caption->rect.x + 20, y = caption->rect.y + caption->rect.h / 2;
    layout.LeftClick(kPageTabX[1 - *caption->page], kPageTabY);
    const auto* other = layout.Hit(x, y);
    EXPECT_TRUE(!other ||
                (other->control != caption->control && other->control != &(form.privacy.*task.box)))
        << task.key;
    layout.LeftClick(kPageTabX[*caption->page], kPageTabY);
    const bool before = (form.privacy.*task.box).Checked();
    layout.LeftClick(x, y);
    EXPECT_NE((form.privacy.*task.box).Checked(), before) << task.key;
  }
  for (int page : {0, 1}) {
    layout.LeftClick(kPageTabX[page], kPageTabY);
    EXPECT_EQ(form.privacy.pages.Current(), page);
    EXPECT_EQ(layout.Hit(378, 317)->control, &form.privacy.applyButton);
    std::vector<const ui::Layout::Widget*> shown;
    for (const auto& w : layout.Widgets()) {
      if (w.view == ui::View::Privacy && layout.Shown(w)) shown.push_back(&w);
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const ui::Rect& a = shown[i]->rect;
      EXPECT_LE(a.y + a.h, ui::Layout::kHeight);
      for (std::size_t k = i + 1; k < shown.size(); ++k) {
        const ui::Rect& b = shown[k]->rect;
        EXPECT_FALSE(a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
            << "page " << page << ": widgets " << i << " and " << k << " overlap";
      }
    }
  }
}

}  // namespace
}  // namespace cloakwise
