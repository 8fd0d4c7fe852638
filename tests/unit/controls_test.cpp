#include "ui/controls.h"

#include <gtest/gtest.h>

#include "fakes/fake_ui_thread.h"
#include "ui/main_form.h"

namespace cloakwise::ui {
namespace {

struct Recorder : ModelObserver {
  void ControlChanged(const Control& c) override { changed.push_back(c.Name()); }
  std::vector<std::string> changed;
};

TEST(Controls, CheckBoxRunsItsHandlerOnlyWhenTheValueChanges) {
  CheckBox box("runAtStartupBox", false);
  int runs = 0;
  box.onChange = [&] { ++runs; };
  box.SetChecked(false);
  EXPECT_EQ(runs, 0);
  box.SetChecked(true);
  box.SetChecked(true);
  EXPECT_EQ(runs, 1);
  box.Toggle();
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(runs, 2);
  box.SetEnabled(false);
  box.Toggle();
  EXPECT_FALSE(box.Checked()) << "a disabled box ignores the user";
  box.SetChecked(true);
  EXPECT_EQ(runs, 3) << "code may still set a disabled box";
}

TEST(Controls, SliderIgnoresPositionsOutsideItsRange) {
  Slider speed("speedSlider", 0, 8, 5);
  std::vector<int> seen;
  speed.onChange = [&] { seen.push_back(speed.Position()); };
  EXPECT_FALSE(speed.SetPosition(15));
  EXPECT_FALSE(speed.SetPosition(-1));
  EXPECT_EQ(speed.Position(), 5);
  EXPECT_TRUE(speed.SetPosition(5));
  EXPECT_TRUE(speed.SetPosition(4));
  EXPECT_EQ(seen, std::vector<int>{4});
}

TEST(Controls, SpinEditClampsCodeButTakesTypedTextUntilFocusLeaves) {
  SpinEdit minutes("rotationMinutesField", 1, 1440, 10);
  std::vector<int> seen;
  minutes.onChange = [&] { seen.push_back(minutes.Value()); };
  minutes.SetValue(10);
  EXPECT_TRUE(seen.empty());
  minutes.SetValue(0);
  minutes.SetValue(5000);
  EXPECT_EQ(seen, (std::vector<int>{1, 1440}));

  seen.clear();
  minutes.EditText("2");
  minutes.EditText("20000");
  minutes.EditText("");
  minutes.EditText("2x");
  minutes.EditText("0");
  EXPECT_EQ(seen, (std::vector<int>{2, 20000, 1, 1, 0}));
  minutes.ExitEdit();
  EXPECT_EQ(minutes.Value(), 1);
  EXPECT_EQ(minutes.Text(), "1");
  EXPECT_EQ(seen.back(), 1);
  const auto count = seen.size();
  minutes.ExitEdit();
  EXPECT_EQ(seen.size(), count) << "an in-range value is left alone";
}

TEST(Controls, ProxyListMenuUnfoldsTheCopyItemsFromItsLastItem) {
  ProxyListMenu menu;
  std::vector<std::string> names;
  for (const MenuItem* item : menu.Items()) names.push_back(item->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"useProxyItem", "listSeparator", "checkListItem",
                                             "addProxiesItem", "deleteItem", "clearListItem",
                                             "copySubmenu"}));
  EXPECT_TRUE(menu.listSeparator.IsSeparator());
  ASSERT_EQ(menu.copySubmenu.Submenu(), &menu.copyItems);
  EXPECT_EQ(menu.useProxyItem.Submenu(), nullptr);
  std::vector<std::string> copies;
  for (const MenuItem* item : menu.copyItems.Items()) copies.push_back(item->Caption());
  EXPECT_EQ(copies, (std::vector<std::string>{"All Anon/Elite", "All Anon", "All Elite"}));
}

TEST(Controls, TextBoxTellsTheObserverOfNewTextOnly) {
  Recorder rec;
  TextBox text("proxyListText");
  text.SetObserver(&rec);
  text.SetText("");
  text.SetText("1.2.3.4:80");
  text.SetText("1.2.3.4:80");
  EXPECT_EQ(text.Text(), "1.2.3.4:80");
  EXPECT_EQ(rec.changed.size(), 1u);
}

TEST(Controls, GaugeIgnoresValuesOutside0To100) {
  Gauge g("speedGauge");
  g.SetPosition(70);
  g.SetPosition(101);
  g.SetPosition(-5);
  EXPECT_EQ(g.Position(), 70);
}

TEST(Controls, ObserverHearsStateChangesButNotRepeats) {
  Recorder rec;
  Label label("proxyAddressLabel", "[none]");
  label.SetObserver(&rec);
  label.SetCaption("[none]");
  label.SetCaption("Searching in...");
  label.SetVisible(false);
  label.SetVisible(false);
  EXPECT_EQ(rec.changed, (std::vector<std::string>{"proxyAddressLabel", "proxyAddressLabel"}));
}

TEST(Controls, ClickReachesOnlyVisibleEnabledControls) {
  Label save("saveButton", "SAVE");
  int clicks = 0;
  save.onClick = [&] { ++clicks; };
  save.Click();
  save.SetEnabled(false);
  save.Click();
  save.SetEnabled(true);
  save.SetVisible(false);
  save.Click();
  EXPECT_EQ(clicks, 1);
}

TEST(Controls, TimerRunsOnlyWhenEnabledWithIntervalAndRestartsOnIntervalChange) {
  fakes::FakeUiThread ui;
  Timer t1(ui, 0, false);
  int ticks = 0;
  t1.SetHandler([&] { ++ticks; });
  t1.SetEnabled(true);
  EXPECT_EQ(ui.ActiveTimers(), 0u) << "no interval, no timer";
  t1.SetEnabled(false);
  t1.SetInterval(60000);
  EXPECT_EQ(ui.ActiveTimers(), 0u);
  t1.SetEnabled(true);
  ui.AdvanceTime(59999);
  EXPECT_EQ(ticks, 0);
  t1.SetInterval(120000);  // starts the count again
  ui.AdvanceTime(60000);
  EXPECT_EQ(ticks, 0);
  ui.AdvanceTime(60000);
  EXPECT_EQ(ticks, 1);
  ui.AdvanceTime(240000);
  EXPECT_EQ(ticks, 3);
  t1.SetEnabled(false);
  ui.AdvanceTime(1000000);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(ui.ActiveTimers(), 0u);
}

TEST(Controls, TrayIconCyclesEvery200msAndWraps) {
  fakes::FakeUiThread ui;
  ControlGroup group;
  TrayIcon tray(group, "trayIcon", ui);
  EXPECT_EQ(tray.Set(), TrayIcon::IconSet::Idle);
  tray.SetIconSet(TrayIcon::IconSet::Search);
  tray.SetCycling(true);
  ui.AdvanceTime(200 * 7);
  EXPECT_EQ(tray.IconIndex(), 7);
  ui.AdvanceTime(200);
  EXPECT_EQ(tray.IconIndex(), 0) << "wraps from the last icon to the first";
  ui.AdvanceTime(600);
  tray.SetCycling(false);
  ui.AdvanceTime(2000);
  EXPECT_EQ(tray.IconIndex(), 3) << "stopping leaves the current icon";
  tray.SetIconSet(TrayIcon::IconSet::Search);
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_FALSE(tray.Cycling()) << "installing a set keeps cycling as it was";
  tray.SetCycling(true);
  tray.SetIconSet(TrayIcon::IconSet::Idle);
  ui.AdvanceTime(1000);
  EXPECT_EQ(tray.IconIndex(), 0) << "the idle set has one icon";
}

TEST(Controls, BalloonsAreCutToTheShellsLimits) {
  fakes::FakeUiThread ui;
  ControlGroup group;
  TrayIcon tray(group, "trayIcon", ui);
  tray.ShowBalloon(std::string(100, 't'), std::string(400, 'x'));
  EXPECT_EQ(tray.LastBalloon().title.size(), 63u);
  EXPECT_EQ(tray.LastBalloon().text.size(), 255u);
  tray.ShowBalloon("Proxy changed", "Anonymity deactivated");
  tray.ShowBalloon("Proxy changed", "Anonymity deactivated");
  EXPECT_EQ(tray.LastBalloon().serial, 3) << "a repeated balloon is shown again";
}

}  // namespace
}  // namespace cloakwise::ui
