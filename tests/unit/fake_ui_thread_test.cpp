// The fake user-interface thread must keep the contract the real one keeps,
// or worker tests built on it prove nothing.
#include "fakes/fake_ui_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace cloakwise::fakes {
namespace {

TEST(FakeUiThread, SendRunsOnTheUiThreadWaitsAndRethrows) {
  FakeUiThread ui;
  const auto uiId = std::this_thread::get_id();
  std::thread::id ranOn;
  bool workerSawResult = false;
  bool rethrown = false;
  std::thread worker([&] {
    ui.Send([&] { ranOn = std::this_thread::get_id(); });
    workerSawResult = ranOn == uiId;
    try {
      ui.Send([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      rethrown = true;
    }
  });
  EXPECT_TRUE(ui.PumpUntil([&] { return rethrown; }));
  worker.join();
  EXPECT_TRUE(workerSawResult);
}

TEST(FakeUiThread, ShutdownReleasesAWaitingSenderAndDropsLaterTasks) {
  FakeUiThread ui;
  bool ran = false;
  std::thread worker([&] { ui.Send([&] { ran = true; }); });
  while (ui.PendingTasks() == 0) std::this_thread::yield();
  ui.Shutdown();
  worker.join();
  ui.Post([&] { ran = true; });
  ui.ProcessMessages();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace cloakwise::fakes
