#include "ui/tray_mark.h"

#include <algorithm>
#include <cmath>

#include "ui/controls.h"

namespace cloakwise::ui::tray_mark {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

// Premultiplied colour of one sample.
struct Sample {
  double r = 0, g = 0, b = 0, a = 0;
  void Over(Rgb c, double alpha) {
    r = c.r * alpha + r * (1 - alpha);
    g = c.g * alpha + g * (1 - alpha);
    b = c.b * alpha + b * (1 - alpha);
    a = alpha + a * (1 - alpha);
  }
};

// The shield, in a unit square with y growing downwards: straight sides from
// its top to its shoulders, then an elliptic curve to a point at the bottom.
// `grow` widens it on every side, which gives the outline.
bool InShield(double x, double y, double grow) {
  const double top = 0.16 - grow, shoulder = 0.50, tip = 0.86 + grow;
  if (y < top || y > tip) return false;
  double halfWidth = 0.27 + grow;
  if (y > shoulder) {
    const double t = (y - shoulder) / (tip - shoulder);
    halfWidth *= std::sqrt(std::max(0.0, 1 - t * t));
  }
  return std::abs(x - 0.5) <= halfWidth;
}

// How much of the search arc covers a point, 0 where it does not: a ring
// around the shield whose bright head stands at `head` radians (clockwise
// from the top) and whose tail fades over three eighths of a turn behind it.
double ArcCover(double x, double y, double head) {
  const double dx = x - 0.5, dy = y - 0.5;
  const double radius = std::sqrt(dx * dx + dy * dy);
  if (radius < 0.36 || radius > 0.5) return 0;
  const double angle = std::atan2(dx, -dy);  // 0 at the top, growing clockwise
  const double tailLength = 0.75 * kPi;
  double behind = std::fmod(head - angle, 2 * kPi);
  if (behind < 0) behind += 2 * kPi;
  if (behind > tailLength) return 0;
  return 1 - 0.7 * (behind / tailLength);
}

Sample Shade(int frame, double x, double y) {
  const bool searching = frame != kIdleFrame;
  // Blue at rest; green while searching and while a proxy is in use, which
  // keeps the last search frame.
  const Rgb light = searching ? Rgb{110, 215, 120} : Rgb{125, 175, 230};
  const Rgb dark = searching ? Rgb{40, 150, 60} : Rgb{50, 100, 175};
  const Rgb outline{16, 28, 52};
  const Rgb arc{255, 205, 40};
  Sample s;
  // The outline is a fixed share of the size, and never thinner than what
  // still reads as an edge at 16 pixels.
  if (InShield(x, y, 0.06)) s.Over(outline, 1);
  if (InShield(x, y, 0)) s.Over(x < 0.5 ? light : dark, 1);
  if (searching) {
    const double head = frame * 2 * kPi / TrayIcon::kSearchIconCount;
    if (const double cover = ArcCover(x, y, head); cover > 0) s.Over(arc, cover);
  }
  return s;
}

}  // namespace

std::vector<std::uint32_t> Draw(int frame, int size) {
  if (size < 1) return {};
  // Four by four samples a pixel smooth the edges at every size.
  constexpr int kSamples = 4;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Sample sum;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / size;
          const double y = (py + (sy + 0.5) / kSamples) / size;
          const Sample s = Shade(frame, x, y);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
          sum.a += s.a;
        }
      }
      constexpr double n = kSamples * kSamples;
      const double a = sum.a / n;
      // Back to straight alpha; a transparent pixel has no colour.
      const auto channel = [&](double premultipliedSum) -> std::uint32_t {
        if (a <= 0) return 0;
        return static_cast<std::uint32_t>(std::clamp(premultipliedSum / n / a, 0.0, 255.0) + 0.5);
      };
      const auto alpha = static_cast<std::uint32_t>(std::clamp(a * 255, 0.0, 255.0) + 0.5);
      pixels[static_cast<std::size_t>(py) * size + px] =
          alpha << 24 | channel(sum.r) << 16 | channel(sum.g) << 8 | channel(sum.b);
    }
  }
  return pixels;
}

}  // namespace cloakwise::ui::tray_mark
