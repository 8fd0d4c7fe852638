#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace cloakwise::test_support {

// Saves the whole screen as a BMP file, the way a user would take a picture
// of it, with the mouse pointer drawn where it is.
inline bool SaveScreen(const std::string& path) {
  HDC screen = GetDC(nullptr);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  ICONINFO hotSpot{};
  if (GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING) && cursor.hCursor &&
      GetIconInfo(cursor.hCursor, &hotSpot)) {
    DrawIconEx(dc, cursor.ptScreenPos.x - static_cast<int>(hotSpot.xHotspot),
               cursor.ptScreenPos.y - static_cast<int>(hotSpot.yHotspot), cursor.hCursor, 0, 0, 0,
               nullptr, DI_NORMAL);
    if (hotSpot.hbmMask) DeleteObject(hotSpot.hbmMask);
    if (hotSpot.hbmColor) DeleteObject(hotSpot.hbmColor);
  }
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) & ~3), size = stride * h;
  BITMAPFILEHEADER file{
      0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
      sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return out.good();
}

// Where a screenshot of that name goes when CLOAKWISE_SCREENSHOTS names a
// folder; empty otherwise.
inline std::string ScreenshotPath(const std::string& name) {
  const char* dir = std::getenv("CLOAKWISE_SCREENSHOTS");
  return dir ? std::string(dir) + "\\" + name : std::string();
}

}  // namespace cloakwise::test_support
