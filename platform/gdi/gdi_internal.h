// Inside the drawing layer: pixel surfaces (the screen, bitmaps, DIB
// sections) and the services the window manager and backends use.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace platform::gdi {

enum class PixelFormat { kIndexed1, kIndexed4, kIndexed8, kRgb16, kBgr24, kBgrx32 };

// Rows of pixels in memory. Row(y) is the y-th row from the top whatever
// the memory order.
struct Surface {
  int width = 0;
  int height = 0;
  int bpp = 0;
  PixelFormat format = PixelFormat::kBgr24;
  size_t stride = 0;
  bool bottomUp = false;
  uint8_t* bits = nullptr;
  std::vector<uint8_t> storage;  // when the surface owns its pixels
  uint32_t masks[3] = {0, 0, 0};  // 16 and 32 bits: red, green, blue
  std::vector<RGBQUAD> colours;  // indexed formats
  uint8_t* Row(int y) const {
    return bits + (size_t)(bottomUp ? height - 1 - y : y) * stride;
  }
};

// A brush, pen, font, bitmap or palette.
struct Object {
  HGDIOBJ handle = nullptr;
  DWORD type = 0;
  bool stock = false;
  bool deleted = false;
  bool null = false;         // null brush or pen
  COLORREF colour = 0;       // brush and pen
  LOGFONT font{};            // font
  Surface surface;           // bitmap
  bool dib = false;
  BITMAPINFOHEADER dibHeader{};
  std::vector<PALETTEENTRY> paletteEntries;  // palette
};

struct DeviceContext {
  enum Kind { kScreen, kMemory } kind = kScreen;
  HDC handle = nullptr;
  HWND window = nullptr;
  POINT origin{0, 0};       // screen contexts: where (0, 0) lies on the screen
  std::vector<RECT> clip;   // screen contexts: screen coordinates
  std::shared_ptr<Object> brush, pen, font, bitmap, palette;
  COLORREF textColour = 0;
  COLORREF bkColour = 0xFFFFFF;
  int bkMode = 2;  // OPAQUE
  POINT penPos{0, 0};
};

// Lookups; callers hold GdiLock().
std::shared_ptr<Object> Find(HGDIOBJ h);
DeviceContext* FindDC(HDC h);
Surface* TargetSurface(DeviceContext* dc);
// Clip rectangles in surface coordinates.
std::vector<RECT> ClipRects(DeviceContext* dc);
// Fills a rectangle given in the context's coordinates, clipped.
void FillSurfaceRect(DeviceContext* dc, RECT r, COLORREF colour);
// Maps logical palette entries into the 8-bit screen's system palette.
UINT RealizeIntoSystemPalette(const std::vector<PALETTEENTRY>& entries);

// Allocates a surface's pixels (zeroed); false when the size is refused.
bool AllocateSurface(Surface* s, int width, int height, int bpp, bool bottomUp);

// The screen: its surface (the framebuffer) and the 8-bit system palette.
Surface& ScreenSurface();
std::recursive_mutex& GdiLock();
void ResetScreen();
// The composed screen as top-down RGB, 3 bytes a pixel.
std::vector<uint8_t> ScreenRgb();
COLORREF ScreenPixel(int x, int y);
bool SaveScreenPng(const std::string& path);
bool SaveRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
// Increases whenever the screen's pixels or palette change.
uint64_t ScreenGeneration();
void MarkScreenChanged();

// A context drawing on the screen at `origin`, clipped to `clip` (screen
// coordinates); deleted with DeleteDC.
HDC CreateScreenDC(POINT origin, const std::vector<RECT>& clip);

// Objects and contexts are released when the device restarts.
void ResetGdi();

}  // namespace platform::gdi
