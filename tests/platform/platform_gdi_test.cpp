// Drawing checked against expected pixels: DIB sections of every depth and
// both row orders blitted and stretched onto 16-, 24- and 8-bit screens,
// palettes, fills, frames, clipping, the display context, text measured as
// drawn, and screenshots read back by an independent PNG decoder.
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/platform/platform_fixture.h"

using namespace platform_test;

namespace {

// Expected colour of (r, g, b) on a display: 5-6-5 channels widened by bit
// replication on 16 bits, exact on 24.
COLORREF OnDisplay(int depth, int r, int g, int b) {
  if (depth != 16) return RGB(r, g, b);
  int r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
  return RGB((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2));
}

// A colour a DIB of `bpp` bits can hold exactly, for pixel (x, y).
struct Rgb {
  int r, g, b;
};
Rgb PatternColour(int x, int y) { return Rgb{(x * 37 + y * 11) & 0xF8, (x * 5 + y * 29) & 0xF8, (x * 13 + 7 * y) & 0xF8}; }

struct Dib {
  HBITMAP bitmap = nullptr;
  uint8_t* bits = nullptr;
  int stride = 0;
  std::vector<uint8_t> info;
  BITMAPINFO* Info() { return (BITMAPINFO*)info.data(); }
};

Dib MakeDib(int width, int height, int bpp, bool bottomUp, const std::vector<RGBQUAD>& table = {},
            bool bitfields = false) {
  Dib d;
  d.info.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER& h = d.Info()->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = bottomUp ? height : -height;
  h.biPlanes = 1;
  h.biBitCount = (WORD)bpp;
  h.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
  h.biClrUsed = (DWORD)table.size();
  if (bitfields) {
    DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
    std::memcpy(d.Info()->bmiColors, masks, sizeof masks);
  } else if (!table.empty()) {
    std::memcpy(d.Info()->bmiColors, table.data(), table.size() * sizeof(RGBQUAD));
  }
  void* bits = nullptr;
  d.bitmap = CreateDIBSection(nullptr, d.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  d.bits = (uint8_t*)bits;
  d.stride = ((width * bpp + 31) / 32) * 4;
  return d;
}

// The memory row holding picture row y.
uint8_t* RowOf(Dib& d, int y, int height, bool bottomUp) {
  return d.bits + (size_t)(bottomUp ? height - 1 - y : y) * d.stride;
}

// Stores c as blue, green, red at p.
void PutBgr(uint8_t* p, Rgb c) {
  p[0] = (uint8_t)c.b;
  p[1] = (uint8_t)c.g;
  p[2] = (uint8_t)c.r;
}

// The screen pixel at (x, y) of a window.
COLORREF At(HWND w, int x, int y) {
  RECT wr;
  GetWindowRect(w, &wr);
  return platform::headless::ScreenPixel(wr.left + x, wr.top + y);
}

// Copies a bitmap through a memory context onto a window context.
void Blit(HDC window, HBITMAP bitmap, RECT to, RECT from) {
  HDC memory = CreateCompatibleDC(window);
  HGDIOBJ old = SelectObject(memory, bitmap);
  StretchBlt(window, to.left, to.top, to.right - to.left, to.bottom - to.top, memory, from.left,
             from.top, from.right - from.left, from.bottom - from.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

HFONT Font(LONG height, LONG weight) {
  LOGFONT lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  return CreateFontIndirect(&lf);
}

// A logical palette of `count` entries (zeroed unless given).
HPALETTE Palette(int count, const std::vector<PALETTEENTRY>& entries = {}) {
  std::vector<uint8_t> lp(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
  LOGPALETTE* pal = (LOGPALETTE*)lp.data();
  pal->palVersion = 0x300;
  pal->palNumEntries = (WORD)count;
  std::copy(entries.begin(), entries.end(), pal->palPalEntry);
  return CreatePalette(pal);
}

class Drawing : public DeviceTest {
 protected:
  void StartDepth(int depth) {
    platform::StopDevice();
    platform::DeviceOptions o;
    o.screen.depth = depth;
    StartWith(o);
  }
  // A visible top-level window painted by nothing (the test draws), on a
  // display of `depth` bits when given.
  HWND Canvas(int depth = 0) {
    if (depth) StartDepth(depth);
    HWND w = Top();
    ShowWindow(w, SW_SHOW);
    platform::headless::RunPending();
    return w;
  }
};

TEST_F(Drawing, DibSectionsOfEveryDepthAndOrderBlitExactlyToEveryDisplay) {
  const int W = 13, H = 7;
  for (int depth : {16, 24}) {
    HWND canvas = Canvas(depth);
    for (int bpp : {1, 8, 16, 24, 32}) {
      for (bool bottomUp : {true, false}) {
        std::vector<RGBQUAD> table;
        if (bpp == 1) table = {RGBQUAD{0x20, 0x40, 0x80, 0}, RGBQUAD{0xF8, 0xC0, 0x08, 0}};
        if (bpp == 8)
          for (int i = 0; i < 256; ++i) table.push_back(RGBQUAD{(BYTE)(255 - i), (BYTE)(i / 2), (BYTE)i, 0});
        Dib d = MakeDib(W, H, bpp, bottomUp, table, bpp == 16);
        ASSERT_NE(d.bitmap, nullptr) << bpp;
        std::vector<std::vector<Rgb>> expected(H, std::vector<Rgb>(W));
        for (int y = 0; y < H; ++y) {
          uint8_t* row = RowOf(d, y, H, bottomUp);
          for (int x = 0; x < W; ++x) {
            Rgb c = PatternColour(x, y);
            switch (bpp) {
              case 1: {
                int bit = (x + y) & 1;
                if (bit) row[x / 8] |= (uint8_t)(0x80 >> (x % 8));
                c = Rgb{table[bit].rgbRed, table[bit].rgbGreen, table[bit].rgbBlue};
                break;
              }
              case 8: {
                int i = (x * 19 + y * 3) & 255;
                row[x] = (uint8_t)i;
                c = Rgb{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
                break;
              }
              case 16: {
                uint16_t v = (uint16_t)(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
                row[x * 2] = (uint8_t)v;
                row[x * 2 + 1] = (uint8_t)(v >> 8);
                // 5 bits each: the low 3 bits widen by replication.
                c = Rgb{c.r | (c.r >> 5), c.g | (c.g >> 5), c.b | (c.b >> 5)};
                break;
              }
              case 24:
              case 32:
                PutBgr(row + x * bpp / 8, c);
                break;
            }
            expected[y][x] = c;
          }
        }
        HDC window = GetDC(canvas);
        HDC memory = CreateCompatibleDC(window);
        HGDIOBJ old = SelectObject(memory, d.bitmap);
        ASSERT_TRUE(BitBlt(window, 5, 9, W, H, memory, 0, 0, SRCCOPY));
        SelectObject(memory, old);
        DeleteDC(memory);
        ReleaseDC(canvas, window);
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x) {
            Rgb c = expected[y][x];
            ASSERT_EQ(At(canvas, 5 + x, 9 + y), OnDisplay(depth, c.r, c.g, c.b))
                << "display " << depth << " dib " << bpp << (bottomUp ? " bottom-up" : " top-down") << " at "
                << x << "," << y;
          }
        DeleteObject(d.bitmap);
      }
    }
  }
}

TEST_F(Drawing, DibSectionsWithImpossibleHeadersAreRefused) {
  std::vector<uint8_t> buffer(sizeof(BITMAPINFOHEADER) + 12);
  BITMAPINFO* info = (BITMAPINFO*)buffer.data();
  auto make = [&](LONG w, LONG h, WORD bpp, DWORD compression, DWORD r, DWORD g, DWORD b) {
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, h, 1, bpp, compression, 0, 0, 0, 0, 0};
    DWORD masks[3] = {r, g, b};
    std::memcpy(buffer.data() + sizeof(BITMAPINFOHEADER), masks, 12);
    void* bits = (void*)1;
    HBITMAP bm = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bm) DeleteObject(bm);
    else EXPECT_EQ(bits, nullptr);
    return bm != nullptr;
  };
  EXPECT_TRUE(make(4, 4, 16, BI_BITFIELDS, 0xF800, 0x07E0, 0x001F));
  EXPECT_FALSE(make(4, 4, 16, BI_BITFIELDS, 0xFFF0, 0x000C, 0x0003)) << "12 bits of red";
  EXPECT_FALSE(make(4, 4, 16, BI_BITFIELDS, 0x7C00, 0x0000, 0x001F)) << "no green";
  EXPECT_FALSE(make(4, 4, 16, BI_BITFIELDS, 0x5C00, 0x03E0, 0x001F)) << "red in two runs";
  EXPECT_FALSE(make(4, 4, 24, BI_BITFIELDS, 0xFF0000, 0xFF00, 0xFF));
  EXPECT_FALSE(make(4, 4, 7, BI_RGB, 0, 0, 0));
  EXPECT_FALSE(make(0, 4, 24, BI_RGB, 0, 0, 0));
  EXPECT_FALSE(make(4, 0, 24, BI_RGB, 0, 0, 0));
  EXPECT_FALSE(make(1 << 20, 1 << 20, 32, BI_RGB, 0, 0, 0)) << "four tebibytes";
  EXPECT_FALSE(make(4, -2147483647 - 1, 24, BI_RGB, 0, 0, 0));
}

TEST_F(Drawing, EightBitDisplayShowsARealizedCubePaletteExactly) {
  HWND canvas = Canvas(8);
  EXPECT_EQ(GetDeviceCaps(GetDC(nullptr), BITSPIXEL), 8);
  // The picture view's 216-colour cube: index r * 36 + g * 6 + b, level k * 255 / 5.
  std::vector<PALETTEENTRY> entries;
  std::vector<RGBQUAD> table;
  for (int i = 0; i < 216; ++i) {
    BYTE r = (BYTE)(i / 36 * 255 / 5), g = (BYTE)(i / 6 % 6 * 255 / 5), b = (BYTE)(i % 6 * 255 / 5);
    entries.push_back(PALETTEENTRY{r, g, b, 0});
    table.push_back(RGBQUAD{b, g, r, 0});
  }
  HPALETTE palette = Palette(216, entries);
  ASSERT_NE(palette, nullptr);
  HDC window = GetDC(canvas);
  SelectPalette(window, palette, FALSE);
  EXPECT_GT(RealizePalette(window), 0u);
  const int W = 24, H = 9;
  Dib d = MakeDib(W, H, 8, true, table);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) RowOf(d, y, H, true)[x] = (uint8_t)((x * 9 + y * 24) % 216);
  Blit(window, d.bitmap, RECT{0, 0, W, H}, RECT{0, 0, W, H});
  ReleaseDC(canvas, window);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int i = (x * 9 + y * 24) % 216;
      ASSERT_EQ(At(canvas, x, y), RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue))
          << x << "," << y;
    }
  DeleteObject(d.bitmap);
  DeleteObject(palette);
}

TEST_F(Drawing, PaletteCallsAreHarmlessOnDeeperDisplays) {
  HWND canvas = Canvas();
  HPALETTE palette = Palette(2);
  HDC dc = GetDC(canvas);
  EXPECT_NE(SelectPalette(dc, palette, FALSE), nullptr);
  EXPECT_EQ(RealizePalette(dc), 0u);
  RECT r{0, 0, 4, 4};
  FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(At(canvas, 0, 0), RGB(255, 255, 255));
  ReleaseDC(canvas, dc);
}

TEST_F(Drawing, StretchTakesTheNearestSourcePixel) {
  HWND canvas = Canvas(24);
  const int W = 5, H = 3;
  Dib d = MakeDib(W, H, 24, true);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) PutBgr(RowOf(d, y, H, true) + x * 3, PatternColour(x, y));
  HDC window = GetDC(canvas);
  // Enlarge 5 x 3 to 15 x 7, and shrink to 2 x 2 beside it.
  for (RECT to : {RECT{0, 0, 15, 7}, RECT{20, 0, 22, 2}}) {
    Blit(window, d.bitmap, to, RECT{0, 0, W, H});
    int w = to.right - to.left, h = to.bottom - to.top;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Rgb c = PatternColour(x * W / w, y * H / h);
        ASSERT_EQ(At(canvas, to.left + x, y), RGB(c.r, c.g, c.b))
            << w << "x" << h << " at " << x << "," << y;
      }
  }
  ReleaseDC(canvas, window);
}

TEST_F(Drawing, FramesLieExactlyOnTheEdgePixelsAndFillsFillTheInside) {
  HWND canvas = Canvas(24);
  HDC dc = GetDC(canvas);
  RECT all{0, 0, 40, 40};
  FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  HBRUSH red = CreateSolidBrush(RGB(0xFF, 0, 0));
  RECT frame{2, 3, 12, 9};
  FrameRect(dc, &frame, red);
  HPEN grey = CreatePen(PS_SOLID, 1, RGB(0xAD, 0xAD, 0xAD));
  SelectObject(dc, grey);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, 20, 3, 30, 9);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 0xFF));
  RECT fill{2, 20, 7, 23};
  FillRect(dc, &fill, blue);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 35; ++x) {
      COLORREF want = RGB(255, 255, 255);
      bool inFrame = x >= 2 && x < 12 && y >= 3 && y < 9;
      bool onFrame = inFrame && (x == 2 || x == 11 || y == 3 || y == 8);
      bool inRect = x >= 20 && x < 30 && y >= 3 && y < 9;
      bool onRect = inRect && (x == 20 || x == 29 || y == 3 || y == 8);
      if (onFrame) want = RGB(255, 0, 0);
      if (onRect) want = RGB(0xAD, 0xAD, 0xAD);
      if (x >= 2 && x < 7 && y >= 20 && y < 23) want = RGB(0, 0, 255);
      ASSERT_EQ(At(canvas, x, y), want) << x << "," << y;
    }
  ReleaseDC(canvas, dc);
  DeleteObject(red);
  DeleteObject(grey);
  DeleteObject(blue);
}

TEST_F(Drawing, OpaqueTextOutOfNothingFillsItsRectangle) {
  HWND canvas = Canvas(24);
  HDC dc = GetDC(canvas);
  SetBkColor(dc, RGB(0xE3, 0xD6, 0xCE));
  RECT r{3, 4, 9, 8};
  ExtTextOut(dc, 0, 0, ETO_OPAQUE, &r, u"", 0, nullptr);
  EXPECT_EQ(At(canvas, 3, 4), RGB(0xE3, 0xD6, 0xCE));
  EXPECT_EQ(At(canvas, 8, 7), RGB(0xE3, 0xD6, 0xCE));
  EXPECT_NE(At(canvas, 9, 7), RGB(0xE3, 0xD6, 0xCE));
  ReleaseDC(canvas, dc);
}

TEST_F(Drawing, PaintingIsClippedToTheUpdateAreaAndAwayFromClippedChildren) {
  StartDepth(24);
  HWND main = CreateWindowEx(0, u"Rec", u"Main", WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  HWND child = Child(main, 1001, RECT{50, 50, 80, 80});
  ASSERT_NE(child, nullptr);
  ShowWindow(main, SW_SHOW);
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT all;
    GetClientRect(h, &all);
    FillRect(dc, &all, (HBRUSH)GetStockObject(h == main ? BLACK_BRUSH : WHITE_BRUSH));
    EndPaint(h, &ps);
    return true;
  };
  platform::headless::RunPending();
  EXPECT_EQ(At(main, 10, 10), RGB(0, 0, 0));
  EXPECT_EQ(At(main, 60, 60), RGB(255, 255, 255));
  // Now the main window paints grey, but only its update rectangle changes,
  // and never the child (which would no longer paint itself white).
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg != WM_PAINT || h != main) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT all;
    GetClientRect(h, &all);
    FillRect(dc, &all, (HBRUSH)GetStockObject(GRAY_BRUSH));
    EndPaint(h, &ps);
    return true;
  };
  RECT part{40, 40, 70, 70};
  InvalidateRect(main, &part, FALSE);
  platform::headless::RunPending();
  EXPECT_EQ(At(main, 45, 45), RGB(128, 128, 128));
  EXPECT_EQ(At(main, 10, 10), RGB(0, 0, 0));
  EXPECT_EQ(At(main, 60, 60), RGB(255, 255, 255));
  EXPECT_EQ(At(main, 75, 75), RGB(255, 255, 255));
}

TEST_F(Drawing, TheDisplayContextReadsTheComposedScreenWithTheTaskBar) {
  HWND canvas = Canvas(16);
  HDC dc = GetDC(canvas);
  HBRUSH c = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
  RECT r{0, 0, 176, 180};
  FillRect(dc, &r, c);
  ReleaseDC(canvas, dc);
  DeleteObject(c);
  HDC display = CreateDC(u"DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(GetDeviceCaps(display, HORZRES), 176);
  EXPECT_EQ(GetDeviceCaps(display, VERTRES), 220);
  Dib grab = MakeDib(176, 220, 24, true);
  HDC memory = CreateCompatibleDC(display);
  SelectObject(memory, grab.bitmap);
  BitBlt(memory, 0, 0, 176, 220, display, 0, 0, SRCCOPY);
  EXPECT_EQ(grab.stride, 528);
  std::vector<uint8_t> screen = platform::headless::ScreenRgb();
  for (int y = 0; y < 220; ++y)
    for (int x = 0; x < 176; ++x) {
      const uint8_t* p = RowOf(grab, y, 220, true) + x * 3;
      const uint8_t* s = &screen[(y * 176 + x) * 3];
      ASSERT_TRUE(p[2] == s[0] && p[1] == s[1] && p[0] == s[2]) << x << "," << y;
    }
  // The task bar is part of it: its top strip is not the window's colour.
  COLORREF bar = platform::headless::ScreenPixel(1, 1);
  EXPECT_NE(bar, OnDisplay(16, 0x12, 0x34, 0x56));
  EXPECT_EQ(platform::headless::ScreenPixel(1, 30), OnDisplay(16, 0x12, 0x34, 0x56));
  DeleteDC(memory);
  DeleteDC(display);
}

TEST_F(Drawing, TheTaskBarShowsTheForegroundWindowsTitle) {
  auto bar = [] {
    std::vector<uint8_t> rgb = platform::headless::ScreenRgb();
    rgb.resize(176 * 20 * 3);
    // Leave out the clock at the right end.
    std::vector<uint8_t> left;
    for (int y = 0; y < 20; ++y)
      left.insert(left.end(), rgb.begin() + y * 176 * 3, rgb.begin() + y * 176 * 3 + 120 * 3);
    return left;
  };
  platform::headless::RunPending();
  std::vector<uint8_t> empty = bar();
  HWND a = CreateWindowEx(0, u"Rec", u"Pictures", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(a, SW_SHOW);
  platform::headless::RunPending();
  std::vector<uint8_t> pictures = bar();
  HWND b = CreateWindowEx(0, u"Rec", u"Settings", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(b, SW_SHOW);
  platform::headless::RunPending();
  std::vector<uint8_t> settings = bar();
  EXPECT_NE(empty, pictures);
  EXPECT_NE(pictures, settings);
  SetForegroundWindow(a);
  platform::headless::RunPending();
  EXPECT_EQ(bar(), pictures);
  SetWindowText(a, u"Settings");
  platform::headless::RunPending();
  EXPECT_EQ(bar(), settings) << "a new title shows at once";
}

TEST_F(Drawing, DeviceCapsFollowTheProfile) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
  ReleaseDC(nullptr, screen);
  platform::StopDevice();
  platform::DeviceOptions o;
  o.screen = platform::ProfileForSize(240, 320);
  o.screen.depth = 24;
  StartWith(o);
  screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 131);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 24);
  ReleaseDC(nullptr, screen);
}

TEST_F(Drawing, ObjectsAnswerGetObjectAndDeletingASelectedOneIsSafe) {
  LOGFONT lf{};
  lf.lfHeight = -(8 * 96 / 72);
  lf.lfWeight = FW_BOLD;
  std::u16string face = u"MS Sans Serif";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirect(&lf);
  LOGFONT back{};
  ASSERT_EQ(GetObject(font, sizeof back, &back), (int)sizeof back);
  EXPECT_EQ(back.lfHeight, lf.lfHeight);
  EXPECT_EQ(back.lfWeight, 700);
  EXPECT_EQ(std::u16string(back.lfFaceName), face);
  Dib d = MakeDib(30, 20, 24, true);
  BITMAP bm{};
  ASSERT_GT(GetObject(d.bitmap, sizeof bm, &bm), 0);
  EXPECT_EQ(bm.bmWidth, 30);
  EXPECT_EQ(bm.bmHeight, 20);
  HDC memory = CreateCompatibleDC(nullptr);
  SelectObject(memory, d.bitmap);
  SelectObject(memory, font);
  EXPECT_TRUE(DeleteObject(d.bitmap));
  EXPECT_TRUE(DeleteObject(font));
  RECT r{0, 0, 30, 20};
  EXPECT_EQ(FillRect(memory, &r, (HBRUSH)GetStockObject(BLACK_BRUSH)), 1);
  SIZE s;
  EXPECT_TRUE(GetTextExtentPoint32(memory, u"abc", 3, &s));
  DeleteDC(memory);
}

// The ink of text drawn in black on white in a 24-bit DIB.
struct Ink {
  int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
};
Ink InkOf(Dib& d, int W, int H) {
  Ink ink;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* p = RowOf(d, y, H, false) + x * 3;
      if (p[0] == 0 && p[1] == 0 && p[2] == 0) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
    }
  return ink;
}

TEST_F(Drawing, TextIsMeasuredAsItIsDrawn) {
  const int W = 200, H = 40;
  Dib d = MakeDib(W, H, 24, false);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, d.bitmap);
  for (int weight : {400, 700}) {
    HFONT font = Font(-(12 * 96 / 72), weight);
    HGDIOBJ old = SelectObject(dc, font);
    RECT all{0, 0, W, H};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32(dc, u"XXXXXX", 6, &size));
    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_EQ(size.cy, tm.tmHeight);
    EXPECT_GE(tm.tmHeight, 16);
    ExtTextOut(dc, 10, 5, 0, nullptr, u"XXXXXX", 6, nullptr);
    Ink ink = InkOf(d, W, H);
    ASSERT_GE(ink.right, 0) << "something was drawn";
    EXPECT_GE(ink.left, 10);
    EXPECT_LT(ink.right, 10 + size.cx);
    EXPECT_GT(ink.right, 10 + size.cx - 4) << "the ink reaches the measured end";
    EXPECT_GE(ink.top, 5);
    EXPECT_LT(ink.bottom, 5 + tm.tmHeight);
    // Widths add up, and DT_CALCRECT agrees with the measure.
    SIZE a, b;
    GetTextExtentPoint32(dc, u"XXX", 3, &a);
    GetTextExtentPoint32(dc, u"XXX", 3, &b);
    EXPECT_EQ(a.cx + b.cx, size.cx);
    RECT calc{0, 0, 0, 0};
    DrawText(dc, u"XXXXXX", -1, &calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(calc.right, size.cx);
    EXPECT_EQ(calc.bottom, size.cy);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  DeleteDC(dc);
}

TEST_F(Drawing, DrawTextAlignsAndClipsAndBoldIsWider) {
  const int W = 120, H = 30;
  Dib d = MakeDib(W, H, 24, false);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, d.bitmap);
  SetBkMode(dc, TRANSPARENT);
  RECT all{0, 0, W, H};
  RECT box{20, 0, 100, H};
  SIZE s;
  GetTextExtentPoint32(dc, u"Name", 4, &s);
  for (UINT align : {(UINT)DT_LEFT, (UINT)DT_CENTER, (UINT)DT_RIGHT}) {
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawText(dc, u"Name", -1, &box, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    Ink ink = InkOf(d, W, H);
    int start = align == DT_LEFT ? 20 : align == DT_CENTER ? 20 + (80 - s.cx) / 2 : 100 - s.cx;
    EXPECT_GE(ink.left, start) << align;
    EXPECT_LT(ink.right, start + s.cx) << align;
    EXPECT_LE(ink.left, start + 3) << align;
  }
  // Clipped to its rectangle unless told otherwise.
  FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  RECT narrow{0, 0, 8, H};
  DrawText(dc, u"WWWW", -1, &narrow, DT_LEFT | DT_SINGLELINE);
  EXPECT_LT(InkOf(d, W, H).right, 8);
  FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  DrawText(dc, u"WWWW", -1, &narrow, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GE(InkOf(d, W, H).right, 8);
  // "&&" shows one ampersand, "&x" shows x, unless prefixes are off.
  RECT r1{0, 0, 0, 0}, r2{0, 0, 0, 0};
  DrawText(dc, u"B&&W", -1, &r1, DT_CALCRECT | DT_SINGLELINE);
  DrawText(dc, u"B&W", -1, &r2, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(r1.right, r2.right);
  HFONT normal = Font(-11, 400);
  HFONT bold = Font(-11, 700);
  SIZE n, b;
  SelectObject(dc, normal);
  GetTextExtentPoint32(dc, u"Thumbnails", 10, &n);
  SelectObject(dc, bold);
  GetTextExtentPoint32(dc, u"Thumbnails", 10, &b);
  EXPECT_GT(b.cx, n.cx);
  DeleteDC(dc);
  DeleteObject(normal);
  DeleteObject(bold);
}

TEST_F(Drawing, ScreenshotsDecodeToTheScreenPixels) {
  HWND canvas = Canvas();
  HDC dc = GetDC(canvas);
  for (int i = 0; i < 8; ++i) {
    HBRUSH b = CreateSolidBrush(RGB(i * 32, 255 - i * 30, i * 17));
    RECT r{i * 20, i * 10, i * 20 + 30, i * 10 + 40};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ReleaseDC(canvas, dc);
  std::string png = dir_ + "/shot.png";
  ASSERT_TRUE(platform::headless::SaveScreenshot(png));
  // Decoded by ImageMagick, which knows nothing of this code.
  std::string cmd = "convert '" + png + "' -depth 8 rgb:- 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::vector<uint8_t> decoded(176 * 220 * 3 + 1);
  size_t n = fread(decoded.data(), 1, decoded.size(), p);
  int status = pclose(p);
  if (status != 0 && n == 0) GTEST_SKIP() << "ImageMagick is not available";
  ASSERT_EQ(n, (size_t)176 * 220 * 3);
  decoded.resize(n);
  EXPECT_EQ(decoded, platform::headless::ScreenRgb());
}

}  // namespace
