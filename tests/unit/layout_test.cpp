// Clicks at window coordinates reach the handlers a user expects.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include "cleanup/cleanup_tasks.h"
#include "core/option_keys.h"
#include "fakes/laid_out_app.h"
#include "fakes/layout_points.h"
#include "ui/accessible_items.h"
#include "ui/scale.h"

namespace cloakwise {
namespace {

using fakes::Part;
using fakes::WindowPoint;

class LayoutTest : public ::testing::Test, public fakes::LaidOutApp {
 protected:
  void SetUp() override { Start(); }

  // What a user points at, by name; "the top strip" and "the body" are the
  // two places where nothing is laid out.
  WindowPoint At(const ui::Control& control, Part part = Part::Middle) {
    return fakes::PointOn(layout, control, part);
  }
  WindowPoint At(std::string_view shown, Part part = Part::Middle) {
    return fakes::PointOn(layout, shown, part);
  }
  static constexpr WindowPoint kTopStrip{200, ui::Layout::kTopStrip / 2};
  static constexpr WindowPoint kBody{200, 200};
  void Click(WindowPoint p) { layout.LeftClick(p.x, p.y); }
  void Press(WindowPoint p) { layout.LeftDown(p.x, p.y); }
  void RightClick(WindowPoint p) { layout.RightClick(p.x, p.y); }
  const ui::Layout::Widget* HitAt(WindowPoint p) { return layout.Hit(p.x, p.y); }
};

TEST_F(LayoutTest, TabsSwitchViewsAndOnlyTheCurrentViewIsHit) {
  const WindowPoint save = At(form.options.saveButton);
  EXPECT_EQ(HitAt(save), nullptr) << "SAVE is not on the status view";
  Click(At("Options"));
  EXPECT_EQ(form.view.Current(), ui::View::Options);
  Click(save);
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Options: Saved!"});
  Click(At("Proxy Checker"));
  EXPECT_EQ(form.view.Current(), ui::View::Checker);
  Click(At("Hide IP", Part::LeftEnd));
  EXPECT_EQ(form.view.Current(), ui::View::Status);
}

TEST_F(LayoutTest, OptionControlsRespondWhereTheyAreDrawn) {
  app.ShowView(ui::View::Options);
  ui::OptionsView& o = form.options;
  Click(At(o.firefoxCaption));
  EXPECT_TRUE(o.firefoxBox.Checked());
  Click(At(o.firefoxBox));
  EXPECT_FALSE(o.firefoxBox.Checked());
  Click(At(o.speedSlider, Part::LeftEnd));
  EXPECT_EQ(o.speedSlider.Position(), 0);
  Click(At(o.speedSlider, Part::RightEnd));
  EXPECT_EQ(o.speedSlider.Position(), 8);
  EXPECT_EQ(app.TEST_Settings().ReadInteger(kOptionsSection, "Timeout", 0), 13);
  Click(At(o.securitySlider));
  EXPECT_EQ(o.securitySlider.Position(), 1);
  Click(At(o.rotationMinutesField, Part::TopArrow));
  EXPECT_EQ(o.rotationMinutesField.Value(), 11);
  Click(At(o.rotationMinutesField, Part::BottomArrow));
  Click(At(o.rotationMinutesField, Part::BottomArrow));
  EXPECT_EQ(o.rotationMinutesField.Value(), 9);
  Click(At(o.rotationMinutesField, Part::TextPart));  // takes typing, not clicks
  EXPECT_EQ(o.rotationMinutesField.Value(), 9);
}

TEST_F(LayoutTest, FrameHotSpotsAndMouseButtons) {
  for (const char* spot : {"x", "MENU", "www.cloakwise.example", ">>"}) Click(At(spot));
  Press(kTopStrip);  // moves the window
  Press(kBody);      // does not
  RightClick(kBody);
  RightClick(kTopStrip);
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

class CheckerLayoutTest : public LayoutTest {
 protected:
  void SetUp() override {
    LayoutTest::SetUp();
    grid.SetSource(&rows);
    app.ShowView(ui::View::Checker);
  }
  ListRows rows{1000};
  ui::Grid& grid = form.checker.proxyGrid;

  WindowPoint Row(int shown) { return fakes::RowPoint(layout, grid, shown); }
  // A point of the grid given in the grid's own geometry.
  WindowPoint InGrid(int x, int y) {
    const WindowPoint origin = fakes::GridOrigin(layout, grid);
    return {origin.x + x, origin.y + y};
  }
};

TEST_F(CheckerLayoutTest, ButtonsAndListRespondWhereTheyAreDrawn) {
  std::vector<std::string> clicked;
  for (ui::Label* button : {&form.checker.checkListButton, &form.checker.addProxyButton,
                            &form.checker.deleteProxyButton, &form.checker.clearListButton}) {
    button->onClick = [&clicked, button] { clicked.push_back(button->Caption()); };
  }
  for (const ui::Label* button : {&form.checker.checkListButton, &form.checker.addProxyButton,
                                  &form.checker.deleteProxyButton, &form.checker.clearListButton}) {
    Click(At(*button));
  }
  EXPECT_EQ(clicked,
            (std::vector<std::string>{"Check List", "Add Proxy", "Del Proxy", "Clear List"}));

  Press(Row(2));
  Click(Row(2));
  EXPECT_EQ(grid.CurrentRow(), 2u);
  const auto bar = grid.ScrollBarGeometry();
  const WindowPoint track = InGrid(bar.left + bar.width / 2, bar.top + bar.height - 10);
  Press(track);  // the scroll bar's track near its bottom
  Click(track);
  EXPECT_EQ(grid.TopRow(), grid.PageRows());
  EXPECT_TRUE(actions.empty());
}

TEST_F(CheckerLayoutTest, RightClickOnTheListOpensItsMenuAndElsewhereTheMainMenu) {
  std::vector<std::size_t> listMenuAt;
  grid.onContextMenu = [&] { listMenuAt.push_back(grid.CurrentRow()); };
  RightClick(Row(5));
  RightClick(At("Custom Proxy List:"));  // beside the list
  EXPECT_EQ(listMenuAt, std::vector<std::size_t>{5});
  EXPECT_EQ(actions, std::vector<std::string>{"menu"});
}

TEST_F(CheckerLayoutTest, DoubleClickUsesTheRowAndIsAPressElsewhere) {
  std::vector<std::size_t> used;
  grid.onDoubleClick = [&] { used.push_back(grid.CurrentRow()); };
  layout.DoubleClick(Row(3).x, Row(3).y);
  layout.DoubleClick(kTopStrip.x, kTopStrip.y);  // still moves the window
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
  const auto bar = grid.ScrollBarGeometry();
  Press(InGrid(bar.left + 4, bar.thumbTop + 4));
  ASSERT_TRUE(layout.Capturing());
  const WindowPoint check = At(form.checker.checkListButton);
  layout.MouseMove(check.x, ui::Layout::kHeight);  // dragged past the list's bottom
  EXPECT_EQ(grid.TopRow(), grid.MaxTopRow());
  Click(check);  // released over "Check List"
  EXPECT_EQ(checks, 0);
  EXPECT_FALSE(layout.Capturing());
}

TEST_F(LayoutTest, HiddenAndDisabledControlsTakeNoClicks) {
  app.ShowView(ui::View::Options);
  form.options.firefoxBox.SetEnabled(false);
  form.options.firefoxCaption.SetEnabled(false);
  Click(At(form.options.firefoxCaption));
  Click(At(form.options.firefoxBox));
  EXPECT_FALSE(form.options.firefoxBox.Checked());
  form.options.saveButton.SetVisible(false);
  EXPECT_EQ(HitAt(At(form.options.saveButton)), nullptr);
}

// The hand promises a click that does something; plain texts, the gauge and a
// disabled caption keep the arrow.
TEST_F(LayoutTest, HandCursorOnlyWhereAClickActs) {
  const ui::StatusView& st = form.status;
  const ui::OptionsView& o = form.options;
  const struct {
    ui::View view;
    WindowPoint at;
    bool hand;
    const char* what;
  } cases[] = {
      {ui::View::Status, At(st.startStopButton), true, "START"},
      {ui::View::Status, At("MENU"), true, "MENU"},
      {ui::View::Status, At("Options"), true, "a tab"},
      {ui::View::Status, At(st.proxyAddressLabel), false, "the proxy address"},
      {ui::View::Status, At(st.speedGauge), false, "the speed gauge"},
      {ui::View::Status, At(st.inactiveIndicator), false, "the state indicator"},
      {ui::View::Status, kBody, false, "the body"},
      {ui::View::Options, At(o.firefoxCaption), false, "the disabled Firefox caption"},
      {ui::View::Options, At(o.rotateEveryCaption), true, "a caption that toggles its box"},
      {ui::View::Options, At(o.rotationMinutesField, Part::TopArrow), true, "the minutes' arrows"},
      {ui::View::Options, At(o.rotationMinutesField, Part::TextPart), false, "the minutes' text"},
      {ui::View::Options, At("Proxy security:"), false, "a heading"},
  };
  form.options.firefoxCaption.SetEnabled(false);
  for (const auto& c : cases) {
    app.ShowView(c.view);
    EXPECT_EQ(layout.ClickableAt(c.at.x, c.at.y), c.hand) << c.what;
  }
}

// The privacy view's tasks on its two pages: each caption, where it is
// drawn on its own page, toggles its box; on the other page the point holds
// none of its controls; nothing shown overlaps; APPLY is on both.
TEST_F(LayoutTest, EveryCleanupTaskIsOnOnePrivacyPageAndItsCaptionTogglesItThere) {
  app.ShowView(ui::View::Privacy);
  const WindowPoint pageTab[] = {At("Internet Explorer and Computer"),
                                 At("Firefox, Chrome and Edge")};
  for (const auto& task : cleanup::kCleanupTasks) {
    const ui::Layout::Widget* caption = layout.Find(form.privacy.*task.caption);
    ASSERT_TRUE(caption && caption->page) << task.key;
    const WindowPoint p = At(form.privacy.*task.caption, Part::LeftEnd);
    Click(pageTab[1 - *caption->page]);
    const auto* other = HitAt(p);
    EXPECT_TRUE(!other ||
                (other->control != caption->control && other->control != &(form.privacy.*task.box)))
        << task.key;
    Click(pageTab[*caption->page]);
    const bool before = (form.privacy.*task.box).Checked();
    Click(p);
    EXPECT_NE((form.privacy.*task.box).Checked(), before) << task.key;
  }
  for (int page : {0, 1}) {
    Click(pageTab[page]);
    EXPECT_EQ(form.privacy.pages.Current(), page);
    EXPECT_EQ(HitAt(At(form.privacy.applyButton))->control, &form.privacy.applyButton);
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

namespace cloakwise {
namespace {

// What a screen reader hears of each view: the roles, names and states of
// its controls in reading order, with a box and its caption as one.
TEST_F(LayoutTest, AssistiveTechnologyHearsEachControlByItsCaption) {
  using Role = ui::AccessibleRole;
  const auto heard = [&](ui::View view) {
    app.ShowView(view);
    std::vector<std::string> lines;
    for (const ui::AccessibleItem& item : ui::AccessibleItems(layout, &form.options.speedSlider)) {
      if (item.role == Role::Text || item.role == Role::Tab) continue;  // the rest of the frame
      if (item.role == Role::PushButton && item.rect.y >= ui::Layout::kTopStrip &&
          item.rect.y < ui::Layout::kTabTop - 40) {
        lines.push_back("button " + item.name + (item.unavailable ? " (unavailable)" : ""));
      } else if (item.role == Role::CheckBox) {
        lines.push_back("check box " + item.name + (item.checked ? " (checked)" : "") +
                        (item.unavailable ? " (unavailable)" : ""));
      } else if (item.role == Role::Slider || item.role == Role::SpinBox) {
        lines.push_back(item.name + " = " + item.value + (item.focused ? " (focused)" : ""));
      } else if (item.role == Role::ListRow) {
        lines.push_back("row " + item.name + (item.checked ? " (selected)" : ""));
      }
    }
    return lines;
  };
  form.options.firefoxCaption.SetEnabled(false);
  form.options.firefoxBox.SetEnabled(false);
  form.options.cleanAtStartupBox.SetChecked(true);
  EXPECT_EQ(heard(ui::View::Options),
            (std::vector<std::string>{
                "check box Run at startup (checked)",
                "check box Change the proxy every:",
                "Change the proxy every = 10",
                "check box Change Firefox proxy (unavailable)",
                "Proxy security = 1",
                "Proxy speed = 4 (focused)",
                "check box Run PC Privacy clean up when program starts (checked)",
                "button SAVE",
            }));
  form.status.startStopButton.SetEnabled(false);
  EXPECT_EQ(heard(ui::View::Status), std::vector<std::string>{"button START (unavailable)"});
}

TEST_F(CheckerLayoutTest, AssistiveTechnologyHearsTheListAndItsShownRows) {
  grid.SelectRow(1);
  std::vector<std::string> rowsHeard;
  std::string list;
  for (const ui::AccessibleItem& item : ui::AccessibleItems(layout)) {
    if (item.role == ui::AccessibleRole::List) list = item.name;
    if (item.role == ui::AccessibleRole::ListRow)
      rowsHeard.push_back(item.name + (item.checked ? " (selected)" : ""));
  }
  EXPECT_EQ(list, "Custom Proxy List");
  ASSERT_EQ(rowsHeard.size(), grid.ShownRows());
  EXPECT_EQ(rowsHeard[0], "0, 0, 0, 0");
  EXPECT_EQ(rowsHeard[1], "1, 1, 1, 1 (selected)");
}

// At 100, 150 and 200 %: the window's size, and each pixel a shown control
// is painted on, its corners too, maps back into it; its middle hits it.
TEST_F(LayoutTest, AtEveryDisplayScaleEachPixelOfAControlMapsBackToIt) {
  const struct {
    int dpi, width, height;
  } scales[] = {{96, 448, 397}, {144, 672, 595}, {192, 896, 794}};
  for (const auto& s : scales) {
    const ui::Scale scale(s.dpi);
    EXPECT_EQ(scale.ToPixels(ui::Layout::kWidth), s.width) << s.dpi;
    EXPECT_EQ(scale.ToPixels(ui::Layout::kHeight), s.height) << s.dpi;
    for (ui::View view :
         {ui::View::Status, ui::View::Checker, ui::View::Privacy, ui::View::Options}) {
      app.ShowView(view);
      for (const auto& w : layout.Widgets()) {
        if (!layout.Shown(w)) continue;
        const ui::Rect p = scale.ToPixels(w.rect);
        const int right = p.x + p.w - 1, bottom = p.y + p.h - 1;
        for (const auto& [x, y] :
             {std::pair{p.x, p.y}, {right, p.y}, {p.x, bottom}, {right, bottom}}) {
          EXPECT_TRUE(w.rect.Contains(scale.ToUnits(x), scale.ToUnits(y)))
              << s.dpi << " dpi, " << w.text << " at pixel " << x << "," << y;
        }
        const auto* middle = layout.Hit(w.rect.x + w.rect.w / 2, w.rect.y + w.rect.h / 2);
        EXPECT_EQ(layout.Hit(scale.ToUnits(p.x + p.w / 2), scale.ToUnits(p.y + p.h / 2)), middle)
            << s.dpi << " dpi, " << w.text;
      }
    }
  }
}

}  // namespace
}  // namespace cloakwise
