#pragma once

#include "ui/layout.h"

namespace cloakwise::ui {

// The one place where the layout's 96-DPI units meet a monitor's pixels.
// Everything the windows lay out, paint and hit-test is in units; pixels
// only appear where Windows hands them over (mouse positions, window sizes,
// child windows, fonts of child controls).
class Scale {
 public:
  static constexpr int kBaseDpi = 96;

  // A DPI Windows cannot mean (none, or below the smallest scale it
  // offers) is taken as 96.
  explicit constexpr Scale(int dpi = kBaseDpi) : dpi_(dpi >= kBaseDpi / 2 ? dpi : kBaseDpi) {}

  constexpr int Dpi() const { return dpi_; }
  constexpr double Factor() const { return static_cast<double>(dpi_) / kBaseDpi; }

  // Rounded to the nearest pixel, a half down: with ToUnits below, every
  // pixel of a scaled rectangle maps back into the rectangle.
  constexpr int ToPixels(int units) const {
    return FloorDiv(2LL * units * dpi_ + kBaseDpi - 1, 2LL * kBaseDpi);
  }
  // By its edges, so rectangles that meet in units still meet in pixels.
  constexpr Rect ToPixels(const Rect& r) const {
    const int left = ToPixels(r.x), top = ToPixels(r.y);
    return Rect{left, top, ToPixels(r.x + r.w) - left, ToPixels(r.y + r.h) - top};
  }
  // The unit under a pixel's centre.
  constexpr int ToUnits(int pixels) const {
    return FloorDiv((2LL * pixels + 1) * kBaseDpi, 2LL * dpi_);
  }

  constexpr bool operator==(const Scale&) const = default;

 private:
  static constexpr int FloorDiv(long long n, long long d) {
    return static_cast<int>(n >= 0 ? n / d : -((-n + d - 1) / d));
  }

  int dpi_;
};

}  // namespace cloakwise::ui
