// The real user-interface thread: posted tasks, synchronous calls from a
// worker, timers, and what happens after shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

// Pumps messages until done() or about five seconds have passed.
template <class Done>
bool Pump(Win32UiThread& ui, Done done) {
  for (int i = 0; i < 5000 && !done(); ++i) {
    ui.ProcessMessages();
    Sleep(1);
  }
  return done();
}

TEST(Win32UiThread, SendRunsOnTheUiThreadAndRethrowsInTheWorker) {
  Win32UiThread ui;
  const DWORD uiThread = GetCurrentThreadId();
  std::atomic<DWORD> ranOn{0};
  std::atomic<bool> rethrown{false}, finished{false};
  std::thread worker([&] {
    ui.Send([&] { ranOn = GetCurrentThreadId(); });
    try {
      ui.Send([] { throw std::runtime_error("from the handler"); });
    } catch (const std::runtime_error& e) {
      rethrown = std::string(e.what()) == "from the handler";
    }
    finished = true;
  });
  EXPECT_TRUE(Pump(ui, [&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(ranOn.load(), uiThread);
  EXPECT_TRUE(rethrown.load());
}

TEST(Win32UiThread, PostedTasksRunInOrderAndErrorsGoToTheHandler) {
  Win32UiThread ui;
  std::vector<int> order;
  std::string error;
  ui.onError = [&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      error = x.what();
    }
  };
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) ui.Post([&order, i] { order.push_back(i); });
    ui.Post([] { throw std::runtime_error("Unable to write to x"); });
  });
  poster.join();
  EXPECT_TRUE(Pump(ui, [&] { return !error.empty(); }));
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(error, "Unable to write to x");
}

TEST(Win32UiThread, TimersRepeatUntilStopped) {
  Win32UiThread ui;
  int ticks = 0;
  UiThread::TimerId id = 0;
  id = ui.StartTimer(10, [&] {
    if (++ticks == 3) ui.StopTimer(id);
  });
  EXPECT_NE(id, 0u);
  Pump(ui, [&] { return ticks >= 3; });
  const DWORD until = GetTickCount() + 200;
  while (GetTickCount() < until) ui.ProcessMessages();
  EXPECT_EQ(ticks, 3);
}

TEST(Win32UiThread, TasksPendingAtShutdownAreFreedNotRun) {
  auto counter = std::make_shared<int>(0);
  {
    Win32UiThread ui;
    for (int i = 0; i < 10; ++i) ui.Post([counter] { ++*counter; });
  }
  EXPECT_EQ(*counter, 0);
  EXPECT_EQ(counter.use_count(), 1) << "every queued task was freed";
}

}  // namespace
}  // namespace cloakwise::platform
