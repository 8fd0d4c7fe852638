#include "ui/win32/icon.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/tray_mark.h"
#include "ui/win32/dpi.h"

namespace cloakwise::ui::win32 {

// The icons are drawn from the mark's shapes at the size the system asks for,
// rather than shipped, so a high-DPI notification area gets a sharp icon.
HICON MakeIcon(int frame, int size) {
  const std::vector<std::uint32_t> pixels = tray_mark::Draw(frame, size);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top row first, as the mark is drawn
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!color || !bits) return nullptr;
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
  // The mask only matters where the alpha channel is not used: a set bit
  // lets the background through. Its rows are padded to 16 bits.
  const int stride = (size + 15) / 16 * 2;
  std::vector<BYTE> maskBits(static_cast<std::size_t>(stride) * size, 0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if ((pixels[static_cast<std::size_t>(y) * size + x] >> 24) < 128) {
        maskBits[static_cast<std::size_t>(y) * stride + x / 8] |=
            static_cast<BYTE>(0x80 >> (x % 8));
      }
    }
  }
  HBITMAP mask = CreateBitmap(size, size, 1, 1, maskBits.data());
  ICONINFO iconInfo{};
  iconInfo.fIcon = TRUE;
  iconInfo.hbmColor = color;
  iconInfo.hbmMask = mask;
  HICON icon = CreateIconIndirect(&iconInfo);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

HICON MakeWindowIcon(const Scale& scale) {
  return MakeIcon(tray_mark::kIdleFrame, SystemMetric(SM_CXICON, scale));
}

}  // namespace cloakwise::ui::win32
