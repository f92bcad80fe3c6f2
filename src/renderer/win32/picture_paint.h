// Drawing a model picture (0x00RRGGBB pixels, rows from the top) into a
// native control with StretchDIBits.
#pragma once

#include <windows.h>

#include "ui/controls.h"

namespace pw::renderer::win32 {

// Draws picture into area of dc: at its own size from the top-left corner,
// or stretched over the area (keeping its proportions when asked); what
// the picture does not cover is filled with the window colour.
void PaintPicture(HDC dc, const RECT& area, const ui::Bitmap& picture, bool stretch, bool proportional);

}  // namespace pw::renderer::win32
