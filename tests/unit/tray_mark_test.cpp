// The mark drawn for the tray, the window and the application icon.
#include "ui/tray_mark.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ui/controls.h"

namespace cloakwise::ui {
namespace {

using Pixels = std::vector<std::uint32_t>;
constexpr int kFrames = TrayIcon::kSearchIconCount;

int Alpha(std::uint32_t p) { return static_cast<int>(p >> 24); }

// Premultiplied brightness, so a transparent pixel counts as dark.
double Light(std::uint32_t p) {
  const double r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return (0.3 * r + 0.59 * g + 0.11 * b) * Alpha(p) / 255;
}

TEST(TrayMark, EveryFrameIsOpaqueInTheMiddleAndClearInTheCorners) {
  for (int size : {16, 20, 24, 32, 48, 64}) {
    for (int frame = tray_mark::kIdleFrame; frame < kFrames; ++frame) {
      SCOPED_TRACE(testing::Message() << "size " << size << ", frame " << frame);
      const Pixels p = tray_mark::Draw(frame, size);
      ASSERT_EQ(p.size(), static_cast<std::size_t>(size * size));
      const auto at = [&](int x, int y) { return p[static_cast<std::size_t>(y * size + x)]; };
      EXPECT_EQ(Alpha(at(size / 2, size / 2)), 255);
      EXPECT_EQ(at(0, 0), 0u);
      EXPECT_EQ(at(size - 1, 0), 0u);
      EXPECT_EQ(at(0, size - 1), 0u);
      EXPECT_EQ(at(size - 1, size - 1), 0u);
    }
  }
  EXPECT_TRUE(tray_mark::Draw(0, 0).empty());
}

// What changes from frame to frame is the arc alone, and at 16 pixels it
// must still be seen to turn: the light it adds over the average of all
// frames lies an eighth of a turn further clockwise in each frame.
TEST(TrayMark, SearchArcTurnsClockwiseAnEighthPerFrameEvenAtSixteenPixels) {
  for (int size : {16, 32}) {
    SCOPED_TRACE(testing::Message() << "size " << size);
    const Pixels idle = tray_mark::Draw(tray_mark::kIdleFrame, size);
    std::vector<Pixels> frames;
    std::vector<double> mean(idle.size());
    for (int f = 0; f < kFrames; ++f) {
      frames.push_back(tray_mark::Draw(f, size));
      EXPECT_NE(frames.back(), idle) << "frame " << f << " looks idle";
      for (std::size_t i = 0; i < mean.size(); ++i) mean[i] += Light(frames.back()[i]) / kFrames;
    }
    std::vector<double> angles;
    for (int f = 0; f < kFrames; ++f) {
      double x = 0, y = 0, weight = 0;
      for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
          const std::size_t i = static_cast<std::size_t>(py * size + px);
          const double excess = std::max(0.0, Light(frames[f][i]) - mean[i]);
          x += excess * (px + 0.5 - size / 2.0);
          y += excess * (py + 0.5 - size / 2.0);
          weight += excess;
        }
      }
      // A sweep nobody can see at this size would add next to nothing.
      EXPECT_GT(weight, 8 * 60.0) << "frame " << f;
      angles.push_back(std::atan2(x, -y) * 180 / M_PI);  // clockwise from the top
    }
    for (int f = 0; f < kFrames; ++f) {
      double step = angles[(f + 1) % kFrames] - angles[f];
      step = std::fmod(step + 540, 360) - 180;
      EXPECT_NEAR(step, 360.0 / kFrames, 10) << "from frame " << f;
    }
  }
}

}  // namespace
}  // namespace cloakwise::ui
