#include "platform/screen_capture.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <utility>

#include "platform/win32/win32_error.h"

namespace pw::platform {

namespace {

// The GDI objects of one copy, released in reverse order on every path.
struct ScreenDc {
  HDC dc = ::GetDC(nullptr);
  ~ScreenDc() {
    if (dc) ::ReleaseDC(nullptr, dc);
  }
};
struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC screen) : dc(::CreateCompatibleDC(screen)) {}
  ~MemoryDc() {
    if (dc) ::DeleteDC(dc);
  }
};
struct Bitmap {
  HBITMAP bitmap;
  Bitmap(HDC screen, int width, int height) : bitmap(::CreateCompatibleBitmap(screen, width, height)) {}
  ~Bitmap() {
    if (bitmap) ::DeleteObject(bitmap);
  }
};
struct Selection {
  HDC dc;
  HGDIOBJ old;
  Selection(HDC d, HGDIOBJ object) : dc(d), old(::SelectObject(d, object)) {}
  ~Selection() {
    if (old) ::SelectObject(dc, old);
  }
};

}  // namespace

// GDI's screen context and bitmaps are cheap to make: nothing is kept.
KeepScreenCopies::KeepScreenCopies() : outer_(false) {}
KeepScreenCopies::~KeepScreenCopies() = default;
void RecycleScreenCopy(PixelImage&&) {}

ScreenCopy CapturePrimaryScreen() {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) ThrowLastError("GetSystemMetrics", "screen");
  ScreenDc screen;
  if (!screen.dc) ThrowLastError("GetDC", "screen");
  MemoryDc memory(screen.dc);
  if (!memory.dc) ThrowLastError("CreateCompatibleDC", "screen");
  Bitmap bitmap(screen.dc, width, height);
  if (!bitmap.bitmap) ThrowLastError("CreateCompatibleBitmap", "screen");
  PixelImage image;
  {
    Selection selected(memory.dc, bitmap.bitmap);
    if (!selected.old) ThrowLastError("SelectObject", "screen");
    if (!::BitBlt(memory.dc, 0, 0, width, height, screen.dc, 0, 0, SRCCOPY))
      ThrowLastError("BitBlt", "screen");
  }
  // GetDIBits wants the bitmap out of any device context.
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  if (::GetDIBits(memory.dc, bitmap.bitmap, 0, static_cast<UINT>(height), image.pixels.data(), &info,
                  DIB_RGB_COLORS) != height)
    ThrowLastError("GetDIBits", "screen");
  // Each pixel is B, G, R, unused: as a little-endian word 0x??RRGGBB.
  for (std::uint32_t& p : image.pixels) p &= 0xFFFFFF;
  return ScreenCopy(std::move(image));
}

}  // namespace pw::platform
