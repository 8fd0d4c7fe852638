#include "core/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "fakes/fake_ui_thread.h"

namespace cloakwise {
namespace {

// A door the test opens to let the blocked "probe" of a run finish.
class Gate {
 public:
  void Open() {
    std::lock_guard l(m_);
    open_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock l(m_);
    cv_.wait(l, [&] { return open_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

struct WorkerThreadTest : ::testing::Test {
  fakes::FakeUiThread ui;
  std::atomic<int> runs{0}, reports{0};
  Gate gate;
  // The shape of every run handler of the program: blocking work, then one
  // synchronous report.
  WorkerThread worker{ui, [this](WorkerThread& self) {
                        runs++;
                        gate.Wait();
                        self.ReportToUiThread([this] { reports++; });
                      }};
  bool Idle() { return !worker.Running(); }
};

TEST_F(WorkerThreadTest, StartTwiceRunsOnceAndTheEndIsHandledOnTheUiThread) {
  worker.Start();
  worker.Start();
  gate.Open();
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(reports.load(), 1);
  EXPECT_FALSE(worker.LastRunWasStopped());
  worker.Start();  // a fresh run once the end was handled
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  EXPECT_EQ(runs.load(), 2);
}

TEST(WorkerThread, EndIsNotHandledUntilTheUiThreadRuns) {
  fakes::FakeUiThread ui;
  std::atomic<int> runs{0};
  WorkerThread worker(ui, [&](WorkerThread&) { runs++; });
  worker.Start();
  while (ui.PendingTasks() == 0) std::this_thread::yield();  // the end notice
  EXPECT_TRUE(worker.Running());
  worker.Start();  // the previous end is not handled yet: nothing happens
  ui.ProcessMessages();
  EXPECT_FALSE(worker.Running());
  EXPECT_EQ(runs.load(), 1);
}

TEST_F(WorkerThreadTest, StopThenStartWhileRunningSkipsTheReportAndStartsNothing) {
  worker.Start();
  worker.Stop();
  worker.Start();
  gate.Open();
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(reports.load(), 0);
  EXPECT_TRUE(worker.LastRunWasStopped());
}

TEST_F(WorkerThreadTest, StopWhileTheReportWaitsInTheQueueStillSkipsIt) {
  gate.Open();
  worker.Start();
  while (ui.PendingTasks() == 0) std::this_thread::yield();
  worker.Stop();
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  EXPECT_EQ(reports.load(), 0);
}

TEST_F(WorkerThreadTest, StopOnIdleDoesNothing) {
  worker.Stop();
  EXPECT_TRUE(Idle());
  gate.Open();
  worker.Start();
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  EXPECT_EQ(reports.load(), 1);
  EXPECT_FALSE(worker.LastRunWasStopped());
}

TEST_F(WorkerThreadTest, RestartRunsAFreshRunOnlyAfterTheOldOneEnded) {
  worker.Restart();  // idle: at once
  EXPECT_TRUE(worker.Running());
  worker.Restart();  // under way: the old run is stopped, its report dropped
  gate.Open();
  ASSERT_TRUE(ui.PumpUntil([&] { return runs.load() == 2 && Idle(); }));
  EXPECT_EQ(reports.load(), 1) << "only the fresh run reports";
  EXPECT_FALSE(worker.LastRunWasStopped());

  worker.Start();
  worker.Restart();
  worker.Stop();  // drops the waiting start as well
  ASSERT_TRUE(ui.PumpUntil([&] { return Idle(); }));
  ui.ProcessMessages();
  EXPECT_EQ(runs.load(), 3);
  EXPECT_TRUE(worker.LastRunWasStopped());
}

TEST(WorkerThread, RestartFromInsideItsOwnReportStartsAFreshRunAfterThisOneEnds) {
  fakes::FakeUiThread ui;
  std::atomic<int> active{0}, overlaps{0}, runs{0};
  std::vector<int> reported;  // user-interface thread only
  std::unique_ptr<WorkerThread> worker;
  worker = std::make_unique<WorkerThread>(ui, [&](WorkerThread& self) {
    if (active++ > 0) overlaps++;
    const int run = ++runs;
    self.ReportToUiThread([&, run] {
      reported.push_back(run);
      if (run < 3) worker->Restart();  // as a search starts its next batch
    });
    // A report after the restart belongs to a batch that is gone.
    self.ReportToUiThread([&, run] { reported.push_back(-run); });
    active--;
  });
  worker->Start();
  ASSERT_TRUE(ui.PumpUntil([&] { return runs.load() == 3 && !worker->Running(); }));
  EXPECT_EQ(reported, (std::vector<int>{1, 2, 3, -3}));
  EXPECT_EQ(overlaps.load(), 0);
  worker->Start();
  worker->Restart();
  worker.reset();  // destroyed with a start waiting: that start never runs
  ui.ProcessMessages();
  EXPECT_EQ(runs.load(), 4);
}

TEST(WorkerThread, AnErrorInTheReportIsThrownInTheWorkerAndEndsTheRun) {
  fakes::FakeUiThread ui;
  std::atomic<bool> caught{false}, after{false};
  WorkerThread worker(ui, [&](WorkerThread& self) {
    try {
      self.ReportToUiThread([] { throw std::runtime_error("Cannot create file"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "Cannot create file";
      throw;
    }
    after = true;
  });
  worker.Start();
  ASSERT_TRUE(ui.PumpUntil([&] { return !worker.Running(); }));
  EXPECT_TRUE(caught.load());
  EXPECT_FALSE(after.load());
}

TEST(WorkerThread, ReleaseDuringARunWaitsProcessingMessagesAndSkipsTheReport) {
  fakes::FakeUiThread ui;
  std::atomic<int> reports{0};
  std::atomic<bool> probeEnded{false};
  bool uiRanMeanwhile = false;
  {
    WorkerThread worker(ui, [&](WorkerThread& self) {
      // A probe that needs the user-interface thread to keep running.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      probeEnded = true;
      self.ReportToUiThread([&] { reports++; });
    });
    worker.Start();
    ui.Post([&] { uiRanMeanwhile = true; });
  }  // release
  EXPECT_TRUE(probeEnded.load());
  EXPECT_TRUE(uiRanMeanwhile);
  EXPECT_EQ(reports.load(), 0);
  ui.ProcessMessages();  // a late end notice finds nothing to do
}

TEST(WorkerThread, ManyWorkersStartAndStopWithoutRaces) {
  fakes::FakeUiThread ui;
  std::atomic<int> reports{0};
  std::vector<std::unique_ptr<WorkerThread>> workers;
  for (int i = 0; i < 9; ++i) {
    workers.push_back(std::make_unique<WorkerThread>(ui, [&](WorkerThread& self) {
      std::this_thread::yield();
      self.ReportToUiThread([&] { reports++; });
    }));
  }
  for (int round = 0; round < 200; ++round) {
    for (auto& w : workers) w->Start();
    if (round % 3 == 0) {
      for (auto& w : workers) w->Stop();
    }
    ASSERT_TRUE(ui.PumpUntil([&] {
      for (auto& w : workers) {
        if (w->Running()) return false;
      }
      return true;
    }));
  }
  EXPECT_GT(reports.load(), 0);
  workers.clear();
}

}  // namespace
}  // namespace cloakwise
