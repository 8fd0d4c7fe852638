// The checker view's grid, painted on the real main window: one repaint with
// 10 000 rows in the list, idle and while six workers claim and finish rows,
// against one repaint of the same window with a list of 16 rows in the same
// run. The grid paints only the rows on screen, so the list's length should
// not show. Each writer finishes a row a millisecond, a thousand times what
// a real check reaches (loopback probes take a few ms, real ones seconds):
// what they cost the painter is the lock they share with it, not the
// processor time of writers spinning on a two-core machine.
//
// A Windows program: scripts/bench runs it under Wine on a virtual display.
// Prints the figures, and BENCH lines for scripts/bench.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "checker/custom_proxy_list.h"
#include "platform/win32/win32_platform.h"
#include "ui/layout.h"
#include "ui/win32/main_window.h"

namespace {

using namespace cloakwise;

constexpr int kRepaints = 100;
constexpr int kRounds = 5;  // the median of these is reported

std::string ProxyLines(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
            std::to_string(i % 256) + ":" + std::to_string(1024 + i % 60000) + "\r\n";
  }
  return text;
}

class Bench {
 public:
  Bench() {
    form.checker.proxyGrid.SetSource(&list);
    form.view.Set(ui::View::Checker);
    form.window.SetVisible(true);
    Pump();
  }

  void Fill(std::size_t rows) {
    list.Clear();
    list.AddPastedLines(ProxyLines(rows));
    form.checker.proxyGrid.Invalidate();
    form.checker.proxyGrid.SelectRow(rows / 2);
    Pump();
  }

  // Milliseconds per repaint, the median of a few rounds.
  double RepaintMs() {
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kRepaints; ++i) {
        RedrawWindow(window.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      }
      rounds.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count() /
          kRepaints);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
  }

  // The same, while six threads check rows as the list check's workers do,
  // a row a millisecond each, starting over whenever the list is done; says
  // how many they finished.
  double RepaintMsWithWriters(long& finished) {
    std::atomic<bool> stop{false};
    std::atomic<long> done{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 6; ++w) {
      writers.emplace_back([&] {
        const checker::CheckResult result{checker::AnonymityLevel::Elite, checker::RowState::Working, 1000};
        while (!stop) {
          if (const auto claimed = list.Claim()) {
            list.Finish(claimed->id, result);
            ++done;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          } else {
            list.ResetForCheck();
          }
        }
      });
    }
    const double ms = RepaintMs();
    stop = true;
    for (auto& writer : writers) writer.join();
    finished = done;
    return ms;
  }

 private:
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  platform::Win32UiThread ui;
  ui::MainForm form{ui};
  platform::OwnerWindow owner;
  ui::win32::MainWindow window{GetModuleHandleA(nullptr), form, owner, {}};
  checker::CustomProxyList list;
};

}  // namespace

int main() {
  Bench bench;
  bench.Fill(16);
  const double sixteen = bench.RepaintMs();
  bench.Fill(10000);
  const double tenThousand = bench.RepaintMs();
  long finished = 0;
  const double withWriters = bench.RepaintMsWithWriters(finished);
  std::printf("one repaint of the main window on the checker view, median of %d rounds of %d:\n",
              kRounds, kRepaints);
  std::printf("  16 rows                         %.3f ms\n", sixteen);
  std::printf("  10 000 rows                     %.3f ms\n", tenThousand);
  std::printf("  10 000 rows, six workers busy   %.3f ms (%ld rows finished meanwhile)\n",
              withWriters, finished);
  if (sixteen <= 0 || finished == 0) {
    std::printf("could not measure\n");
    return 1;
  }
  std::printf("BENCH\tgrid repaint vs 16 rows\t10 000 rows\t%.3f\t%.3f\tms\n", tenThousand, sixteen);
  std::printf("BENCH\tgrid repaint vs 16 rows\t10 000 rows, six writers\t%.3f\t%.3f\tms\n",
              withWriters, sixteen);
  return 0;
}
