#include "ui/status_presenter.h"

#include <gtest/gtest.h>

#include "fakes/fake_ui_thread.h"

namespace cloakwise::ui {
namespace {

// What a user sees of the proxy state, read back from the model.
struct Seen {
  std::string button, address, anonymity;
  bool inactive, searching, active, blinking, browseItems;
  TrayIcon::IconSet tray;
  bool cycling;
  bool operator==(const Seen&) const = default;
};

Seen Look(MainForm& form, const StatusPresenter& presenter) {
  const StatusView& s = form.status;
  return {s.startStopButton.Caption(),
          s.proxyAddressLabel.Caption(),
          s.anonymityLabel.Caption(),
          s.inactiveIndicator.Visible(),
          s.searchingIndicator.Visible(),
          s.activeIndicator.Visible(),
          presenter.TEST_BlinkTimer().Enabled(),
          form.mainMenu.browseAnonymouslyItem.Visible(),
          form.trayIcon.Set(),
          form.trayIcon.Cycling()};
}

TEST(StatusPresenter, ShowsEachProxyStateTheSameWayForEveryFeature) {
  fakes::FakeUiThread ui;
  MainForm form(ui);
  StatusPresenter status(form, ui);
  using Set = TrayIcon::IconSet;

  status.ShowSearchPending();
  EXPECT_EQ(Look(form, status),
            (Seen{"STOP", "[none]", "", false, true, false, true, false, Set::Idle, false}));

  status.ShowSearching();
  EXPECT_EQ(Look(form, status),
            (Seen{"STOP", "[none]", "", false, true, false, true, false, Set::Search, true}));
  status.OnBlinkTick();
  EXPECT_FALSE(form.status.searchingIndicator.Visible());
  status.OnBlinkTick();
  EXPECT_TRUE(form.status.searchingIndicator.Visible());

  status.ShowProxyInUse("10.0.0.1:8080", "Somewhere", "Elite Proxy", 70);
  EXPECT_EQ(Look(form, status), (Seen{"STOP", "10.0.0.1:8080", "Elite Proxy", false, false, true,
                                      false, true, Set::Search, false}));
  EXPECT_EQ(form.status.speedGauge.Position(), 70);

  // A search that could not start leaves the installed proxy on view, and
  // nothing turning that would say a search goes on.
  status.ShowSearching();
  status.ShowStoppedKeepingProxy("10.0.0.1:8080", "Somewhere");
  EXPECT_EQ(Look(form, status), (Seen{"START", "10.0.0.1:8080", "", true, false, false, false, true,
                                      Set::Idle, false}));
  EXPECT_EQ(form.status.proxyDescriptionLabel.Caption(), "Somewhere");

  status.ShowStopped();
  EXPECT_EQ(Look(form, status),
            (Seen{"START", "[none]", "", true, false, false, false, false, Set::Idle, false}));
  EXPECT_EQ(form.status.proxyDescriptionLabel.Caption(), "[none]");
  EXPECT_EQ(form.status.speedGauge.Position(), 0);
}

}  // namespace
}  // namespace cloakwise::ui
