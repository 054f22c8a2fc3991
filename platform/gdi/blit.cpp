// BitBlt and StretchBlt between contexts: clipped to the destination's
// visible rectangles and to the source surface.
#include <algorithm>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/pixel_rows.h"

using namespace platform::gdi;

namespace {

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}
bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

BOOL BitBlt(HDC dstDC, int x, int y, int width, int height, HDC srcDC, int sx, int sy, DWORD rop) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  DeviceContext* dst = FindDC(dstDC);
  if (!dst || width <= 0 || height <= 0) return dst != nullptr;
  Surface* d = TargetSurface(dst);
  if (!d) return FALSE;
  if (rop == BLACKNESS || rop == WHITENESS) {
    FillSurfaceRect(dst, RECT{x, y, x + width, y + height}, rop == BLACKNESS ? 0 : 0xFFFFFF);
    return TRUE;
  }
  DeviceContext* src = FindDC(srcDC);
  if (!src) return FALSE;
  Surface* s = TargetSurface(src);
  if (!s) return FALSE;
  // Destination and source rectangles in surface coordinates.
  int dx = x + dst->origin.x, dy = y + dst->origin.y;
  int ssx = sx + src->origin.x, ssy = sy + src->origin.y;
  RECT want{dx, dy, dx + width, dy + height};
  // Source bounds, moved into destination coordinates.
  RECT srcBounds{0, 0, s->width, s->height};
  if (src->kind == DeviceContext::kScreen) {
    // Reading the screen covers the whole screen.
  }
  RECT srcInDst{srcBounds.left - ssx + dx, srcBounds.top - ssy + dy, srcBounds.right - ssx + dx,
                srcBounds.bottom - ssy + dy};
  want = Intersect(want, srcInDst);
  if (Empty(want)) return TRUE;
  // A copy inside one surface reads the pixels before any are written.
  Surface copy;
  const Surface* from = s;
  if (s == d) {
    copy = *s;
    copy.storage.assign(s->bits, s->bits + s->stride * (size_t)s->height);
    copy.bits = copy.storage.data();
    from = &copy;
  }
  for (const RECT& c : ClipRects(dst)) {
    RECT part = Intersect(want, c);
    if (Empty(part)) continue;
    CopyRect(*d, part, *from, part.left - dx + ssx, part.top - dy + ssy);
  }
  if (dst->kind == DeviceContext::kScreen) MarkScreenChanged();
  return TRUE;
}

BOOL StretchBlt(HDC dstDC, int x, int y, int width, int height, HDC srcDC, int sx, int sy, int sw,
                int sh, DWORD rop) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  if (width == sw && height == sh) return BitBlt(dstDC, x, y, width, height, srcDC, sx, sy, rop);
  DeviceContext* dst = FindDC(dstDC);
  DeviceContext* src = FindDC(srcDC);
  if (!dst || !src) return FALSE;
  if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0) return TRUE;
  Surface* d = TargetSurface(dst);
  Surface* s = TargetSurface(src);
  if (!d || !s) return FALSE;
  int ssx = sx + src->origin.x, ssy = sy + src->origin.y;
  if (ssx >= s->width || ssy >= s->height || ssx + sw <= 0 || ssy + sh <= 0) return TRUE;
  int dx = x + dst->origin.x, dy = y + dst->origin.y;
  Surface copy;
  const Surface* from = s;
  if (s == d) {
    copy = *s;
    copy.storage.assign(s->bits, s->bits + s->stride * (size_t)s->height);
    copy.bits = copy.storage.data();
    from = &copy;
  }
  for (const RECT& c : ClipRects(dst)) StretchRect(*d, c, dx, dy, width, height, *from, ssx, ssy, sw, sh);
  if (dst->kind == DeviceContext::kScreen) MarkScreenChanged();
  return TRUE;
}
