// Row access to surfaces of every format, fills, copies and stretches.
#pragma once

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

PixelFormat FormatFor(const Surface& s);
// Index of the colour table entry nearest to 0x00RRGGBB.
int NearestIndex(const Surface& s, uint32_t rgb);
// n pixels of row y from x, as 0x00RRGGBB (and back).
void ReadRow(const Surface& s, int y, int x, int n, uint32_t* out);
void WriteRow(const Surface& s, int y, int x, int n, const uint32_t* in);
// The stored value of a colour (0x00BBGGRR) on a surface.
uint32_t NativePixel(const Surface& s, COLORREF colour);
// Fills a rectangle (inside the surface) with a stored value.
void FillSpan(const Surface& s, const RECT& r, uint32_t pixel);
// Copies src at (sx, sy) into dstRect; both inside their surfaces.
void CopyRect(const Surface& dst, const RECT& dstRect, const Surface& src, int sx, int sy);
// Nearest-pixel stretch of src (sx, sy, sw, sh) onto (dx, dy, dw, dh),
// drawing only inside `clip` (inside dst).
void StretchRect(const Surface& dst, const RECT& clip, int dx, int dy, int dw, int dh, const Surface& src,
                 int sx, int sy, int sw, int sh);

}  // namespace platform::gdi
