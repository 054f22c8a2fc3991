// GDI objects (brushes, pens, fonts, bitmaps, palettes) and device contexts,
// with the drawing calls that work on rectangles and pixels.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "platform/backend/device.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/pixel_rows.h"
#include "platform/gdi/text_render.h"
#include "platform/window/window_internal.h"

namespace platform::gdi {

namespace {

std::unordered_map<uintptr_t, std::shared_ptr<Object>> g_objects;
std::unordered_map<uintptr_t, std::unique_ptr<DeviceContext>> g_dcs;
uintptr_t g_nextHandle = 0x1000;
HGDIOBJ g_stock[16] = {};

HGDIOBJ AddObject(std::shared_ptr<Object> o) {
  uintptr_t h = (g_nextHandle += 16);
  o->handle = (HGDIOBJ)h;
  g_objects[h] = std::move(o);
  return (HGDIOBJ)h;
}

HDC AddDC(std::unique_ptr<DeviceContext> dc) {
  uintptr_t h = (g_nextHandle += 16);
  dc->handle = (HDC)h;
  g_dcs[h] = std::move(dc);
  return (HDC)h;
}

void CreateStockObjects() {
  auto brush = [](COLORREF c, bool null) {
    auto o = std::make_shared<Object>();
    o->type = OBJ_BRUSH;
    o->colour = c;
    o->null = null;
    o->stock = true;
    return AddObject(o);
  };
  auto pen = [](COLORREF c, bool null) {
    auto o = std::make_shared<Object>();
    o->type = OBJ_PEN;
    o->colour = c;
    o->null = null;
    o->stock = true;
    return AddObject(o);
  };
  g_stock[WHITE_BRUSH] = brush(RGB(255, 255, 255), false);
  g_stock[LTGRAY_BRUSH] = brush(RGB(192, 192, 192), false);
  g_stock[GRAY_BRUSH] = brush(RGB(128, 128, 128), false);
  g_stock[DKGRAY_BRUSH] = brush(RGB(64, 64, 64), false);
  g_stock[BLACK_BRUSH] = brush(RGB(0, 0, 0), false);
  g_stock[NULL_BRUSH] = brush(0, true);
  g_stock[WHITE_PEN] = pen(RGB(255, 255, 255), false);
  g_stock[BLACK_PEN] = pen(RGB(0, 0, 0), false);
  g_stock[NULL_PEN] = pen(0, true);
  auto font = std::make_shared<Object>();
  font->type = OBJ_FONT;
  font->stock = true;
  font->font = LOGFONT{};
  font->font.lfHeight = -12;
  font->font.lfWeight = FW_NORMAL;
  const char16_t face[] = u"System";
  std::copy(face, face + 7, font->font.lfFaceName);
  g_stock[SYSTEM_FONT] = AddObject(font);
  auto pal = std::make_shared<Object>();
  pal->type = OBJ_PAL;
  pal->stock = true;
  g_stock[DEFAULT_PALETTE] = AddObject(pal);
  auto mono = std::make_shared<Object>();
  mono->type = OBJ_BITMAP;
  mono->stock = true;
  AllocateSurface(&mono->surface, 1, 1, 1, false);
  mono->surface.colours = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  g_stock[14] = AddObject(mono);  // the default bitmap of memory contexts
}

void InitDC(DeviceContext* dc) {
  dc->brush = Find(g_stock[WHITE_BRUSH]);
  dc->pen = Find(g_stock[BLACK_PEN]);
  dc->font = Find(g_stock[SYSTEM_FONT]);
  dc->palette = Find(g_stock[DEFAULT_PALETTE]);
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}
bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

std::shared_ptr<Object> Find(HGDIOBJ h) {
  auto it = g_objects.find((uintptr_t)h);
  return it == g_objects.end() ? nullptr : it->second;
}

DeviceContext* FindDC(HDC h) {
  auto it = g_dcs.find((uintptr_t)h);
  return it == g_dcs.end() ? nullptr : it->second.get();
}

Surface* TargetSurface(DeviceContext* dc) {
  if (dc->kind == DeviceContext::kScreen) return &ScreenSurface();
  return dc->bitmap ? &dc->bitmap->surface : nullptr;
}

std::vector<RECT> ClipRects(DeviceContext* dc) {
  Surface* s = TargetSurface(dc);
  std::vector<RECT> out;
  if (!s) return out;
  RECT bounds{0, 0, s->width, s->height};
  if (dc->kind == DeviceContext::kScreen) {
    for (const RECT& r : dc->clip) {
      RECT i = Intersect(r, bounds);
      if (!Empty(i)) out.push_back(i);
    }
  } else {
    out.push_back(bounds);
  }
  return out;
}

void FillSurfaceRect(DeviceContext* dc, RECT r, COLORREF colour) {
  Surface* s = TargetSurface(dc);
  if (!s) return;
  OffsetRect(&r, dc->origin.x, dc->origin.y);
  uint32_t pixel = NativePixel(*s, colour);
  for (const RECT& c : ClipRects(dc)) {
    RECT i = Intersect(r, c);
    if (Empty(i)) continue;
    FillSpan(*s, i, pixel);
  }
  if (dc->kind == DeviceContext::kScreen) MarkScreenChanged();
}

void ResetGdi() {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  g_dcs.clear();
  g_objects.clear();
  std::fill(std::begin(g_stock), std::end(g_stock), nullptr);
  CreateStockObjects();
  ResetScreen();
}

HDC CreateScreenDC(POINT origin, const std::vector<RECT>& clip) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  auto dc = std::make_unique<DeviceContext>();
  dc->kind = DeviceContext::kScreen;
  dc->origin = origin;
  dc->clip = clip;
  InitDC(dc.get());
  return AddDC(std::move(dc));
}

}  // namespace platform::gdi

using namespace platform;
using namespace platform::gdi;

#define GDI_LOCK std::lock_guard<std::recursive_mutex> gdiLock(GdiLock())

HDC GetDC(HWND hwnd) {
  GDI_LOCK;
  if (!hwnd) {
    const ScreenProfile& s = Screen();
    return CreateScreenDC(POINT{0, 0}, {RECT{0, 0, s.width, s.height}});
  }
  wm::Window* w = wm::Lookup(hwnd);
  if (!w) return nullptr;
  RECT c = wm::ClientRectOnScreen(w);
  HDC dc = CreateScreenDC(POINT{c.left, c.top}, wm::VisibleRegion(w, true));
  if (DeviceContext* d = FindDC(dc)) d->window = hwnd;
  return dc;
}

int ReleaseDC(HWND, HDC hdc) { return DeleteDC(hdc); }

HDC CreateDC(LPCWSTR driver, LPCWSTR, LPCWSTR, const void*) {
  // Only the display: a context reading and writing the whole screen.
  if (driver && std::u16string(driver) != u"DISPLAY") return nullptr;
  return GetDC(nullptr);
}

HDC CreateCompatibleDC(HDC) {
  GDI_LOCK;
  auto dc = std::make_unique<DeviceContext>();
  dc->kind = DeviceContext::kMemory;
  InitDC(dc.get());
  dc->bitmap = Find(GetStockObject(14));
  return AddDC(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
  GDI_LOCK;
  auto it = g_dcs.find((uintptr_t)hdc);
  if (it == g_dcs.end()) return FALSE;
  g_dcs.erase(it);
  return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  const ScreenProfile& s = Screen();
  int bpp = s.depth;
  if (dc && dc->kind == DeviceContext::kMemory && dc->bitmap) bpp = dc->bitmap->surface.bpp;
  switch (index) {
    case HORZRES: return s.width;
    case VERTRES: return s.height;
    case BITSPIXEL: return bpp;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return s.dpi;
    case NUMCOLORS: return bpp <= 8 ? 1 << bpp : -1;
    case RASTERCAPS: return s.depth <= 8 ? RC_PALETTE : 0;
    case SIZEPALETTE: return s.depth <= 8 ? 256 : 0;
  }
  return 0;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  std::shared_ptr<Object> o = Find(object);
  if (!dc || !o) return nullptr;
  std::shared_ptr<Object>* slot = nullptr;
  switch (o->type) {
    case OBJ_BRUSH: slot = &dc->brush; break;
    case OBJ_PEN: slot = &dc->pen; break;
    case OBJ_FONT: slot = &dc->font; break;
    case OBJ_BITMAP:
      if (dc->kind != DeviceContext::kMemory) return nullptr;
      slot = &dc->bitmap;
      break;
    default: return nullptr;
  }
  HGDIOBJ previous = *slot ? (*slot)->handle : nullptr;
  *slot = o;
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  GDI_LOCK;
  auto it = g_objects.find((uintptr_t)object);
  if (it == g_objects.end()) return FALSE;
  if (it->second->stock) return TRUE;
  // A context that still has it selected keeps it alive until it changes.
  it->second->deleted = true;
  g_objects.erase(it);
  return TRUE;
}

int GetObject(HGDIOBJ object, int size, LPVOID out) {
  GDI_LOCK;
  std::shared_ptr<Object> o = Find(object);
  if (!o) return 0;
  switch (o->type) {
    case OBJ_FONT:
      if (!out) return sizeof(LOGFONT);
      if (size < (int)sizeof(LOGFONT)) return 0;
      std::memcpy(out, &o->font, sizeof(LOGFONT));
      return sizeof(LOGFONT);
    case OBJ_BITMAP: {
      BITMAP bm{};
      bm.bmWidth = o->surface.width;
      bm.bmHeight = o->surface.height;
      bm.bmWidthBytes = (LONG)o->surface.stride;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = (WORD)o->surface.bpp;
      bm.bmBits = o->dib ? o->surface.bits : nullptr;
      if (!out) return o->dib ? sizeof(DIBSECTION) : sizeof(BITMAP);
      if (o->dib && size >= (int)sizeof(DIBSECTION)) {
        DIBSECTION ds{};
        ds.dsBm = bm;
        ds.dsBmih = o->dibHeader;
        std::memcpy(ds.dsBitfields, o->surface.masks, sizeof ds.dsBitfields);
        std::memcpy(out, &ds, sizeof ds);
        return sizeof ds;
      }
      if (size < (int)sizeof(BITMAP)) return 0;
      std::memcpy(out, &bm, sizeof bm);
      return sizeof bm;
    }
    case OBJ_BRUSH: {
      LOGBRUSH lb{o->null ? (UINT)BS_NULL : (UINT)BS_SOLID, o->colour, 0};
      if (!out) return sizeof lb;
      if (size < (int)sizeof lb) return 0;
      std::memcpy(out, &lb, sizeof lb);
      return sizeof lb;
    }
    case OBJ_PEN: {
      LOGPEN lp{o->null ? (UINT)PS_NULL : (UINT)PS_SOLID, POINT{1, 0}, o->colour};
      if (!out) return sizeof lp;
      if (size < (int)sizeof lp) return 0;
      std::memcpy(out, &lp, sizeof lp);
      return sizeof lp;
    }
    case OBJ_PAL:
      if (size < 2 || !out) return 2;
      *(WORD*)out = (WORD)o->paletteEntries.size();
      return 2;
  }
  return 0;
}

DWORD GetObjectType(HGDIOBJ object) {
  GDI_LOCK;
  if (FindDC((HDC)object)) {
    return FindDC((HDC)object)->kind == DeviceContext::kMemory ? OBJ_MEMDC : OBJ_DC;
  }
  std::shared_ptr<Object> o = Find(object);
  return o ? o->type : 0;
}

HGDIOBJ GetStockObject(int index) {
  GDI_LOCK;
  if (index < 0 || index >= 16) return nullptr;
  return g_stock[index];
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  GDI_LOCK;
  auto o = std::make_shared<Object>();
  o->type = OBJ_BRUSH;
  o->colour = colour & 0xFFFFFF;
  return (HBRUSH)AddObject(o);
}

HPEN CreatePen(int style, int, COLORREF colour) {
  GDI_LOCK;
  auto o = std::make_shared<Object>();
  o->type = OBJ_PEN;
  o->colour = colour & 0xFFFFFF;
  o->null = style == PS_NULL;
  return (HPEN)AddObject(o);
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
  GDI_LOCK;
  if (!lf) return nullptr;
  auto o = std::make_shared<Object>();
  o->type = OBJ_FONT;
  o->font = *lf;
  return (HFONT)AddObject(o);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc || width <= 0 || height <= 0) return nullptr;
  Surface* like = TargetSurface(dc);
  if (!like) return nullptr;
  auto o = std::make_shared<Object>();
  o->type = OBJ_BITMAP;
  if (!AllocateSurface(&o->surface, width, height, like->bpp, false)) return nullptr;
  o->surface.format = like->format;
  std::memcpy(o->surface.masks, like->masks, sizeof o->surface.masks);
  o->surface.colours = like->colours;
  return (HBITMAP)AddObject(o);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  GDI_LOCK;
  if (width <= 0 || height <= 0 || planes != 1 || bitsPerPixel != 1) return nullptr;
  auto o = std::make_shared<Object>();
  o->type = OBJ_BITMAP;
  if (!AllocateSurface(&o->surface, width, height, 1, false)) return nullptr;
  // Device-dependent monochrome rows are padded to 16 bits.
  o->surface.colours = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (bits) {
    size_t srcStride = (size_t)((width + 15) / 16) * 2;
    for (int y = 0; y < height; ++y)
      std::memcpy(o->surface.Row(y), (const uint8_t*)bits + y * srcStride,
                  std::min(srcStride, o->surface.stride));
  }
  return (HBITMAP)AddObject(o);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  GDI_LOCK;
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
    return nullptr;
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
    return nullptr;
  long long height = h.biHeight < 0 ? -(long long)h.biHeight : h.biHeight;
  if (height > 0x7FFFFFFF) return nullptr;
  auto o = std::make_shared<Object>();
  o->type = OBJ_BITMAP;
  o->dib = true;
  o->dibHeader = h;
  if (!AllocateSurface(&o->surface, h.biWidth, (int)height, bpp, h.biHeight > 0)) return nullptr;
  const uint8_t* after = (const uint8_t*)info + h.biSize;
  if (bpp <= 8) {
    int count = (int)h.biClrUsed;
    if (count <= 0 || count > (1 << bpp)) count = 1 << bpp;
    const RGBQUAD* table = (const RGBQUAD*)after;
    o->surface.colours.assign(table, table + count);
    o->surface.colours.resize((size_t)1 << bpp, RGBQUAD{0, 0, 0, 0});
  } else if (bpp == 16 || bpp == 32) {
    if (h.biCompression == BI_BITFIELDS) {
      std::memcpy(o->surface.masks, after, 12);
    } else if (bpp == 16) {
      o->surface.masks[0] = 0x7C00;
      o->surface.masks[1] = 0x03E0;
      o->surface.masks[2] = 0x001F;
    } else {
      o->surface.masks[0] = 0xFF0000;
      o->surface.masks[1] = 0x00FF00;
      o->surface.masks[2] = 0x0000FF;
    }
    // Each mask one run of bits: 1 to 8 of them on 16 bits, 1 to 16 on 32.
    for (uint32_t mask : o->surface.masks) {
      if (!mask) return nullptr;
      uint32_t shifted = mask;
      while (!(shifted & 1)) shifted >>= 1;
      if (shifted & (shifted + 1)) return nullptr;
      int bits = 0;
      while (shifted) {
        ++bits;
        shifted >>= 1;
      }
      if (bits > (bpp == 16 ? 8 : 16) || (bpp == 16 && mask > 0xFFFF)) return nullptr;
    }
  }
  o->surface.format = FormatFor(o->surface);
  if (bits) *bits = o->surface.bits;
  return (HBITMAP)AddObject(o);
}

HPALETTE CreatePalette(const LOGPALETTE* lp) {
  GDI_LOCK;
  if (!lp || lp->palNumEntries == 0 || lp->palNumEntries > 256) return nullptr;
  auto o = std::make_shared<Object>();
  o->type = OBJ_PAL;
  o->paletteEntries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
  return (HPALETTE)AddObject(o);
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  std::shared_ptr<Object> o = Find(palette);
  if (!dc || !o || o->type != OBJ_PAL) return nullptr;
  HPALETTE previous = dc->palette ? (HPALETTE)dc->palette->handle : nullptr;
  dc->palette = o;
  return previous;
}

UINT RealizePalette(HDC hdc) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !dc->palette || dc->kind != DeviceContext::kScreen) return 0;
  Surface& screen = ScreenSurface();
  if (screen.bpp != 8) return 0;
  return RealizeIntoSystemPalette(dc->palette->paletteEntries);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  std::shared_ptr<Object> b = Find(brush);
  if (!dc || !rect || !b || b->type != OBJ_BRUSH) return 0;
  if (!b->null) FillSurfaceRect(dc, *rect, b->colour);
  return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  std::shared_ptr<Object> b = Find(brush);
  if (!dc || !rect || !b || b->type != OBJ_BRUSH) return 0;
  if (b->null || rect->right <= rect->left || rect->bottom <= rect->top) return 1;
  const RECT& r = *rect;
  FillSurfaceRect(dc, RECT{r.left, r.top, r.right, r.top + 1}, b->colour);
  FillSurfaceRect(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, b->colour);
  FillSurfaceRect(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, b->colour);
  FillSurfaceRect(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, b->colour);
  return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (dc->brush && !dc->brush->null)
    FillSurfaceRect(dc, RECT{left + 1, top + 1, right - 1, bottom - 1}, dc->brush->colour);
  if (dc->pen && !dc->pen->null) {
    COLORREF c = dc->pen->colour;
    FillSurfaceRect(dc, RECT{left, top, right, top + 1}, c);
    FillSurfaceRect(dc, RECT{left, bottom - 1, right, bottom}, c);
    FillSurfaceRect(dc, RECT{left, top, left + 1, bottom}, c);
    FillSurfaceRect(dc, RECT{right - 1, top, right, bottom}, c);
  }
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->penPos;
  dc->penPos = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  POINT a = dc->penPos;
  dc->penPos = POINT{x, y};
  if (!dc->pen || dc->pen->null) return TRUE;
  COLORREF c = dc->pen->colour;
  // The end point is not drawn (as on the device).
  if (a.y == y) {
    int x0 = std::min<int>(a.x, x) + (x < a.x ? 1 : 0), x1 = std::max<int>(a.x, x) + (x < a.x ? 1 : 0);
    FillSurfaceRect(dc, RECT{x0, y, x1, y + 1}, c);
  } else if (a.x == x) {
    int y0 = std::min<int>(a.y, y) + (y < a.y ? 1 : 0), y1 = std::max<int>(a.y, y) + (y < a.y ? 1 : 0);
    FillSurfaceRect(dc, RECT{x, y0, x + 1, y1}, c);
  } else {
    int dx = std::abs(x - (int)a.x), dy = -std::abs(y - (int)a.y);
    int sx = a.x < x ? 1 : -1, sy = a.y < y ? 1 : -1, err = dx + dy;
    int px = a.x, py = a.y;
    while (!(px == x && py == y)) {
      FillSurfaceRect(dc, RECT{px, py, px + 1, py + 1}, c);
      int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        px += sx;
      }
      if (e2 <= dx) {
        err += dx;
        py += sy;
      }
    }
  }
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
  if (!points || count < 2) return FALSE;
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  POINT saved = dc->penPos;
  MoveToEx(hdc, points[0].x, points[0].y, nullptr);
  for (int i = 1; i < count; ++i) LineTo(hdc, points[i].x, points[i].y);
  dc->penPos = saved;
  return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  FillSurfaceRect(dc, RECT{x, y, x + 1, y + 1}, colour);
  return GetPixel(hdc, x, y);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  Surface* s = TargetSurface(dc);
  int sx = x + dc->origin.x, sy = y + dc->origin.y;
  if (!s || sx < 0 || sy < 0 || sx >= s->width || sy >= s->height) return CLR_INVALID;
  uint32_t px;
  ReadRow(*s, sy, sx, 1, &px);
  return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
}

BOOL RectVisible(HDC hdc, const RECT* rect) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !rect) return FALSE;
  RECT r = *rect;
  OffsetRect(&r, dc->origin.x, dc->origin.y);
  for (const RECT& c : ClipRects(dc))
    if (!Empty(Intersect(r, c))) return TRUE;
  return FALSE;
}

int GetClipBox(HDC hdc, RECT* rect) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !rect) return ERROR;
  RECT box{0, 0, 0, 0};
  for (const RECT& c : ClipRects(dc)) UnionRect(&box, &box, &c);
  OffsetRect(&box, -dc->origin.x, -dc->origin.y);
  *rect = box;
  return IsRectEmpty(&box) ? NULLREGION : SIMPLEREGION;
}

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->textColour;
  dc->textColour = colour & 0xFFFFFF;
  return old;
}
COLORREF GetTextColor(HDC hdc) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  return dc ? dc->textColour : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF colour) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->bkColour;
  dc->bkColour = colour & 0xFFFFFF;
  return old;
}
COLORREF GetBkColor(HDC hdc) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  return dc ? dc->bkColour : CLR_INVALID;
}
int SetBkMode(HDC hdc, int mode) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->bkMode;
  dc->bkMode = mode;
  return old;
}
int GetBkMode(HDC hdc) {
  GDI_LOCK;
  DeviceContext* dc = FindDC(hdc);
  return dc ? dc->bkMode : 0;
}

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  *out = Intersect(*a, *b);
  return !Empty(*out);
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *out = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
  } else if (IsRectEmpty(b)) {
    *out = *a;
  } else {
    *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(out);
}
BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL PtInRect(const RECT* r, POINT pt) {
  return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}
