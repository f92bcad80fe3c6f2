#include "renderer/win32/picture_paint.h"

namespace pw::renderer::win32 {

void PaintPicture(HDC dc, const RECT& area, const ui::Bitmap& picture, bool stretch, bool proportional) {
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  if (picture.empty() || picture.pixels.size() < static_cast<std::size_t>(picture.width) * picture.height)
    return;
  const int area_w = area.right - area.left, area_h = area.bottom - area.top;
  int w = picture.width, h = picture.height;
  if (stretch) {
    w = area_w;
    h = area_h;
    if (proportional) {
      // The whole picture in view, its sides in their own ratio.
      if (static_cast<long long>(area_w) * picture.height > static_cast<long long>(area_h) * picture.width)
        w = static_cast<int>(static_cast<long long>(area_h) * picture.width / picture.height);
      else
        h = static_cast<int>(static_cast<long long>(area_w) * picture.height / picture.width);
    }
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;  // 0x00RRGGBB is a 32-bit DIB's own layout
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, area.left, area.top, w, h, 0, 0, picture.width, picture.height,
                picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace pw::renderer::win32
