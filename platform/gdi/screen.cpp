// The framebuffer of the emulated screen, its 8-bit system palette, and
// screenshots as PNG.
#include <png.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/backend/device.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/pixel_rows.h"

namespace platform::gdi {
namespace {

Surface g_screen;
std::atomic<uint64_t> g_generation{1};

// The 20 fixed colours of an 8-bit display: 10 at the start, 10 at the end.
const uint8_t kStatic[20][3] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

void DefaultSystemPalette(std::vector<RGBQUAD>& colours) {
  colours.assign(256, RGBQUAD{0, 0, 0, 0});
  for (int i = 0; i < 10; ++i) {
    colours[i] = RGBQUAD{kStatic[i][2], kStatic[i][1], kStatic[i][0], 0};
    colours[246 + i] = RGBQUAD{kStatic[10 + i][2], kStatic[10 + i][1], kStatic[10 + i][0], 0};
  }
  // The free entries start as a 6 x 6 x 6 colour cube and a grey ramp.
  int i = 10;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        colours[i++] = RGBQUAD{(BYTE)(b * 51), (BYTE)(g * 51), (BYTE)(r * 51), 0};
  for (int k = 0; i < 246; ++i, ++k) {
    BYTE v = (BYTE)(8 + k * 12);
    colours[i] = RGBQUAD{v, v, v, 0};
  }
}

}  // namespace

Surface& ScreenSurface() { return g_screen; }

std::recursive_mutex& GdiLock() {
  static std::recursive_mutex m;
  return m;
}

void ResetScreen() {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  const ScreenProfile& p = Screen();
  g_screen = Surface{};
  int depth = p.depth == 8 || p.depth == 24 ? p.depth : 16;
  if (depth == 16) {
    g_screen.masks[0] = 0xF800;
    g_screen.masks[1] = 0x07E0;
    g_screen.masks[2] = 0x001F;
  }
  AllocateSurface(&g_screen, p.width, p.height, depth, false);
  if (depth == 8) DefaultSystemPalette(g_screen.colours);
  MarkScreenChanged();
}

uint64_t ScreenGeneration() { return g_generation.load(); }
void MarkScreenChanged() { ++g_generation; }

UINT RealizeIntoSystemPalette(const std::vector<PALETTEENTRY>& entries) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  if (g_screen.bpp != 8) return 0;
  // Logical entries take the free system entries 10..245 in order; entries
  // equal to a fixed colour use it.
  std::vector<RGBQUAD> colours;
  DefaultSystemPalette(colours);
  UINT mapped = 0;
  int next = 10;
  for (const PALETTEENTRY& e : entries) {
    bool fixed = false;
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255})
      if (colours[i].rgbRed == e.peRed && colours[i].rgbGreen == e.peGreen &&
          colours[i].rgbBlue == e.peBlue)
        fixed = true;
    if (fixed) {
      ++mapped;
      continue;
    }
    if (next >= 246) break;
    colours[next++] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    ++mapped;
  }
  g_screen.colours = colours;
  MarkScreenChanged();
  return mapped;
}

std::vector<uint8_t> ScreenRgb() {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  std::vector<uint8_t> rgb((size_t)g_screen.width * g_screen.height * 3);
  std::vector<uint32_t> row((size_t)g_screen.width);
  for (int y = 0; y < g_screen.height; ++y) {
    ReadRow(g_screen, y, 0, g_screen.width, row.data());
    uint8_t* out = &rgb[(size_t)y * g_screen.width * 3];
    for (int x = 0; x < g_screen.width; ++x) {
      out[x * 3] = (uint8_t)(row[x] >> 16);
      out[x * 3 + 1] = (uint8_t)(row[x] >> 8);
      out[x * 3 + 2] = (uint8_t)row[x];
    }
  }
  return rgb;
}

COLORREF ScreenPixel(int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  if (x < 0 || y < 0 || x >= g_screen.width || y >= g_screen.height) return CLR_INVALID;
  uint32_t px;
  ReadRow(g_screen, y, x, 1, &px);
  return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
}

bool SaveRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() < (size_t)width * height * 3) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    if (png) png_destroy_write_struct(&png, nullptr);
    std::fclose(f);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::remove(path.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(&rgb[(size_t)y * width * 3]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool SaveScreenPng(const std::string& path) {
  std::vector<uint8_t> rgb = ScreenRgb();
  return SaveRgbPng(path, g_screen.width, g_screen.height, rgb);
}

}  // namespace platform::gdi
