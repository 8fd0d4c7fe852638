// Writes the application icon from the same mark the tray draws, so the file
// Explorer shows and the running program's icons never drift apart.
//   cloakwise-make-icon OUT.ico
// Built for the machine that builds the Windows program, and run there.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "ui/tray_mark.h"

namespace {

// The sizes Explorer, the Start menu and the window frame ask for at the
// usual scalings; larger views scale the biggest down rather than up.
constexpr int kSizes[] = {16, 20, 24, 32, 40, 48, 64, 128};

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One image as an icon file holds it: a bitmap header of twice the height,
// the colours bottom row first, then the 1-bit mask with rows padded to 32
// bits, a set bit where the background shows through.
std::vector<std::uint8_t> IconImage(int size) {
  const std::vector<std::uint32_t> pixels =
      cloakwise::ui::tray_mark::Draw(cloakwise::ui::tray_mark::kIdleFrame, size);
  const int maskStride = (size + 31) / 32 * 4;
  std::vector<std::uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(size));
  Put32(out, static_cast<std::uint32_t>(size * 2));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits a pixel
  Put32(out, 0);   // no compression
  Put32(out, static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) Put32(out, pixels[static_cast<std::size_t>(y * size + x)]);
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(maskStride), 0);
    for (int x = 0; x < size; ++x) {
      if ((pixels[static_cast<std::size_t>(y * size + x)] >> 24) < 128) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.ico\n", argv[0]);
    return 2;
  }
  constexpr int kCount = sizeof kSizes / sizeof kSizes[0];
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : kSizes) images.push_back(IconImage(size));
  std::vector<std::uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);  // an icon, not a cursor
  Put16(file, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (int i = 0; i < kCount; ++i) {
    file.push_back(static_cast<std::uint8_t>(kSizes[i] % 256));  // 0 would mean 256
    file.push_back(static_cast<std::uint8_t>(kSizes[i] % 256));
    file.push_back(0);  // not a palette image
    file.push_back(0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
