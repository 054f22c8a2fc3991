// The reader contract driven directly: a synthetic reader describes rows,
// delivers them, and the pipeline must produce the right result type,
// size, layout and pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"

namespace {

struct Harness {
  LoadContext* context;
  Image image{};
  ImageInfo info{};
  SourceFormat header;

  explicit Harness(uint32_t flags = 0) {
    context = (LoadContext*)calloc(1, sizeof(LoadContext));
    LoadOptionsInit(&context->options);
    context->options.flags = flags;
    context->imageCount = 1;
    context->exifTail = &context->exifEntries;
    context->image = &image;
    context->info = &info;
    static const char16_t kPath[] = u"synthetic.raw";
    context->path = kPath;
    InitSourceFormat(&header);
  }
  ~Harness() {
    // Torn down the way the dispatcher does it.
    ReleaseLoadPipeline(context);
    for (int i = 0; i < context->textCount; ++i) free(context->texts[i]);
    free(context->comment);
    MetadataFree(context->metadata);
    free(context);
    ImageFree(&image);
    ImageInfoFree(&info);
  }
  LoadOptions& options() { return context->options; }

  // Delivers rows produced by `row(y, buffer)`, then finishes.
  int Run(const std::function<void(int, uint8_t*)>& row, uint32_t paletteFormat = 0, int depth = 8,
          const void* palette = nullptr) {
    int result = StartPicture(context, &header);
    if (result) return result;
    for (int y = 0; y < header.height; ++y) {
      row(y, header.rowBuffer);
      result = DeliverRows(context, -1, -1, 1);
      if (result) return result;
    }
    return FinishPicture(context, paletteFormat, depth, palette);
  }
};


TEST(StartPicture, RefusesImpossibleHeaders) {
  {
    Harness h;
    h.header.width = 0;
    h.header.height = 10;
    EXPECT_EQ(RESULT_NOT_RECOGNISED, StartPicture(h.context, &h.header));
  }
  {
    Harness h;
    h.header.width = 200000;
    h.header.height = 1;
    EXPECT_EQ(RESULT_NOT_RECOGNISED, StartPicture(h.context, &h.header));
  }
  {
    Harness h;
    h.header.width = 4;
    h.header.height = 4;
    h.header.bitsPerPlane = 33;
    EXPECT_EQ(RESULT_NOT_RECOGNISED, StartPicture(h.context, &h.header));
  }
}

TEST(StartPicture, ImplausibleResolutionIsDropped) {
  Harness h;
  h.header.width = 2;
  h.header.height = 2;
  h.header.bitsPerPlane = 8;
  h.header.xDpi = h.header.yDpi = 2;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = b[1] = 7; }));
  EXPECT_EQ(0, h.info.xDpi);
  EXPECT_EQ(0, h.info.yDpi);
  EXPECT_EQ(72u, h.image.xDpi);
  EXPECT_EQ(72u, h.image.yDpi);
}

TEST(StartPicture, RefusesPicturesOverTheMemoryCap) {
  Harness h;
  h.header.width = 150000;
  h.header.height = 150000;
  h.header.bitsPerPlane = 24;
  EXPECT_EQ(RESULT_NO_MEMORY, StartPicture(h.context, &h.header));
  EXPECT_EQ(nullptr, h.image.pixels);
}

TEST(StartPicture, InformationModeStopsAfterTheHeader) {
  Harness h;
  h.context->infoMode = 1;
  h.header.width = 30;
  h.header.height = 20;
  h.header.bitsPerPlane = 24;
  strcpy(h.header.formatText, "Synthetic");
  EXPECT_EQ(-1, StartPicture(h.context, &h.header));
  EXPECT_EQ(30, h.info.width);
  EXPECT_EQ(3, h.info.samplesPerPixel);
  EXPECT_EQ(8, h.info.bitsPerSample);
  EXPECT_STREQ("Synthetic", h.info.formatText);
  EXPECT_EQ(nullptr, h.image.pixels);
}

struct BoxCase {
  int w, h, expectW, expectH;
};

TEST(Reduction, BoxKeepsTheAspectRatio) {
  for (BoxCase c : {BoxCase{640, 480, 160, 120}, BoxCase{480, 640, 120, 160}, BoxCase{100, 100, 100, 100},
                    BoxCase{1000, 10, 160, 2}}) {
    for (uint32_t mode : {0u, 2u}) {
      Harness h;
      h.options().maxWidth = 160;
      h.options().maxHeight = 160;
      h.options().scaleMode = mode;
      h.header.width = c.w;
      h.header.height = c.h;
      h.header.bitsPerPlane = 24;
      ASSERT_EQ(0, h.Run([&](int, uint8_t* b) { memset(b, 90, (size_t)c.w * 3); }));
      EXPECT_EQ(c.expectW, h.image.width) << c.w << "x" << c.h << " mode " << mode;
      EXPECT_EQ(c.expectH, h.image.height) << c.w << "x" << c.h << " mode " << mode;
      EXPECT_EQ(c.w, h.info.width);
      // A uniform picture stays uniform however it is reduced.
      EXPECT_EQ(90, h.image.pixels[0]);
      EXPECT_EQ(90, ImageRow(&h.image, h.image.height - 1)[(h.image.width - 1) * 3 + 2]);
    }
  }
}

TEST(Reduction, SmoothAveragesACheckerboard) {
  Harness h;
  h.options().maxWidth = 16;
  h.options().maxHeight = 16;
  h.options().scaleMode = 2;
  h.header.width = 64;
  h.header.height = 64;
  h.header.bitsPerPlane = 24;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) {
    for (int x = 0; x < 64; ++x) memset(b + x * 3, ((x + y) & 1) ? 200 : 20, 3);
  }));
  ASSERT_EQ(16, h.image.width);
  for (int y = 0; y < 16; ++y)
    for (int i = 0; i < 16 * 3; ++i) EXPECT_NEAR(110, ImageRow(&h.image, y)[i], 1) << y << "," << i;
}

TEST(Reduction, FastPicksTheLastColumnAndFirstRowOfEachTarget) {
  Harness h;
  h.options().maxWidth = 2;
  h.options().maxHeight = 2;
  h.header.width = 4;
  h.header.height = 4;
  h.header.bitsPerPlane = 8;
  h.options().flags = LOAD_DIRECT_COLOUR;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) {
    for (int x = 0; x < 4; ++x) b[x] = (uint8_t)(y * 10 + x);
  }));
  ASSERT_EQ(2, h.image.width);
  ASSERT_EQ(2, h.image.height);
  EXPECT_EQ(1, ImageRow(&h.image, 0)[0]);
  EXPECT_EQ(3, ImageRow(&h.image, 0)[3]);
  EXPECT_EQ(21, ImageRow(&h.image, 1)[0]);
  EXPECT_EQ(23, ImageRow(&h.image, 1)[3]);
}

TEST(Reduction, PlannedForTheEndWhenRowsArriveOutOfOrderOrAreNotColour) {
  // Tiles: the whole picture is loaded, then resized into the box.
  {
    Harness h;
    h.options().maxWidth = 50;
    h.options().maxHeight = 50;
    h.header.width = 200;
    h.header.height = 100;
    h.header.bitsPerPlane = 24;
    h.header.flags = SRC_TILED;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { memset(b, 60, 600); }));
    EXPECT_EQ(50, h.image.width);
    EXPECT_EQ(25, h.image.height);
    EXPECT_EQ(60, ImageRow(&h.image, 24)[149]);
  }
  // Smooth reduction of a palette picture: loaded whole, then averaged into
  // direct colour.
  {
    Harness h;
    h.options().maxWidth = 10;
    h.options().maxHeight = 10;
    h.options().scaleMode = 2;
    h.header.width = 40;
    h.header.height = 20;
    h.header.bitsPerPlane = 8;
    uint8_t palette[768] = {};
    palette[3] = 200;  // entry 1 is (200, 0, 0)
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { for (int x = 0; x < 40; ++x) b[x] = (uint8_t)(x & 1); },
                       PAL_RGB3, 8, palette));
    EXPECT_EQ(10, h.image.width);
    EXPECT_EQ(5, h.image.height);
    EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
    EXPECT_NEAR(100, h.image.pixels[0], 1);
    EXPECT_EQ(0, h.image.pixels[1]);
  }
}

TEST(Delivery, CallerSuppliesThePixelBuffer) {
  Harness h;
  static int calls = 0;
  h.options().allocPixels = [](int w, int hgt, int bpp, int, int, int bytesPerRow, void* user) {
    ++calls;
    EXPECT_EQ(3, w);
    EXPECT_EQ(2, hgt);
    EXPECT_EQ(3, bpp);
    EXPECT_EQ(12, bytesPerRow);
    EXPECT_EQ((void*)&calls, user);
    return (uint8_t*)calloc((size_t)bytesPerRow * hgt, 1);
  };
  h.options().allocUserData = &calls;
  h.header.width = 3;
  h.header.height = 2;
  h.header.bitsPerPlane = 24;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) { memset(b, 5 + y, 9); }));
  EXPECT_EQ(1, calls);
  EXPECT_EQ(6, ImageRow(&h.image, 1)[8]);
}

TEST(Types, OneBitIsBilevelOrGrey) {
  for (uint32_t flags : {0u, (uint32_t)LOAD_BW_AS_GREY}) {
    Harness h(flags);
    h.header.width = 10;
    h.header.height = 1;
    h.header.bitsPerPlane = 1;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0xA0; b[1] = 0x40; }));
    if (flags == 0) {
      EXPECT_EQ(PIXEL_BW, h.image.pixelType);
      EXPECT_EQ(0xA0, h.image.pixels[0]);
      EXPECT_EQ(0x40, h.image.pixels[1]);
    } else {
      EXPECT_EQ(PIXEL_GREY, h.image.pixelType);
      EXPECT_EQ(256, h.image.paletteCount);
      const uint8_t expected[10] = {255, 0, 255, 0, 0, 0, 0, 0, 0, 255};
      EXPECT_EQ(0, memcmp(expected, h.image.pixels, 10));
    }
  }
}

TEST(Types, PaletteOfTwoColoursThatAreNotBlackAndWhite) {
  Harness h;
  h.header.width = 3;
  h.header.height = 1;
  h.header.bitsPerPlane = 1;
  const uint8_t palette[6] = {255, 0, 0, 0, 0, 255};
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0x40; }, PAL_RGB3, 8, palette));
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_EQ(0, h.image.pixels[0]);
  EXPECT_EQ(1, h.image.pixels[1]);
  EXPECT_EQ(255, h.image.palette[0]);
  EXPECT_EQ(255, h.image.palette[512 + 1]);
}

TEST(Types, WhiteThenBlackPaletteKeepsZeroBlack) {
  Harness h;
  h.header.width = 8;
  h.header.height = 1;
  h.header.bitsPerPlane = 1;
  const uint8_t palette[6] = {255, 255, 255, 0, 0, 0};
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0x0F; }, PAL_RGB3, 8, palette));
  EXPECT_EQ(PIXEL_BW, h.image.pixelType);
  EXPECT_EQ(0xF0, h.image.pixels[0]);  // stored 0 (white) became 1
}

TEST(Types, PaletteExpandsIntoDirectColour) {
  Harness h(LOAD_DIRECT_COLOUR);
  h.options().channelOrder = 1;
  h.header.width = 2;
  h.header.height = 1;
  h.header.bitsPerPlane = 8;
  // Palette as B, G, R, unused.
  uint8_t palette[256 * 4] = {};
  palette[4 * 7 + 0] = 30;   // blue of entry 7
  palette[4 * 7 + 1] = 20;
  palette[4 * 7 + 2] = 10;   // red
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 7; b[1] = 0; }, PAL_BGRX4, 8, palette));
  EXPECT_EQ(PIXEL_BGR, h.image.pixelType);
  EXPECT_EQ(30, h.image.pixels[0]);
  EXPECT_EQ(20, h.image.pixels[1]);
  EXPECT_EQ(10, h.image.pixels[2]);
  EXPECT_EQ(0, h.image.pixels[3]);
}

TEST(Types, EightBitPaletteIsIndexed) {
  Harness h;
  h.header.width = 4;
  h.header.height = 1;
  h.header.bitsPerPlane = 4;
  uint8_t palette[16 * 3];
  for (int i = 0; i < 16; ++i) palette[i] = (uint8_t)(i * 2), palette[16 + i] = (uint8_t)(i * 3), palette[32 + i] = (uint8_t)(i * 4);
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0x1F; b[1] = 0x23; }, PAL_SEPARATE_ARRAYS, 8, palette));
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_EQ(4, h.image.bitsPerSample);
  EXPECT_EQ(16, h.image.paletteCount);
  const uint8_t expected[4] = {1, 15, 2, 3};
  EXPECT_EQ(0, memcmp(expected, h.image.pixels, 4));
  EXPECT_EQ(30, h.image.palette[15]);
  EXPECT_EQ(45, h.image.palette[256 + 15]);
  EXPECT_EQ(60, h.image.palette[512 + 15]);
}

TEST(Types, ThirtyTwoBitsAreFourBytesOrThreeOnRequest) {
  for (uint32_t flags : {0u, (uint32_t)LOAD_THREE_BYTES}) {
    Harness h(flags);
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 32;
    h.header.flags = SRC_ORDER_BGR_BGRA;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 1; b[1] = 2; b[2] = 3; b[3] = 4; }));
    if (flags) {
      EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
      EXPECT_EQ(3, h.image.pixels[0]);
      EXPECT_EQ(1, h.image.pixels[2]);
    } else {
      EXPECT_EQ(PIXEL_RGBA, h.image.pixelType);
      EXPECT_EQ(3, h.image.pixels[0]);
      EXPECT_EQ(4, h.image.pixels[3]);
    }
  }
}

TEST(Types, ChannelOrdersOfFourByteResults) {
  const struct {
    uint16_t order;
    uint16_t type;
    uint8_t bytes[4];
  } cases[] = {{0, PIXEL_RGBA, {10, 20, 30, 40}},
               {1, PIXEL_ABGR, {40, 30, 20, 10}},
               {3, PIXEL_ARGB, {40, 10, 20, 30}},
               {2, PIXEL_BGRA, {30, 20, 10, 40}}};
  for (const auto& c : cases) {
    Harness h;
    h.options().channelOrder = c.order;
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 32;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 10; b[1] = 20; b[2] = 30; b[3] = 40; }));
    EXPECT_EQ(c.type, h.image.pixelType);
    EXPECT_EQ(0, memcmp(c.bytes, h.image.pixels, 4)) << c.order;
  }
}

TEST(Types, CmykInvertedBecomesRgbOrStaysCmyk) {
  {
    Harness h;
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 32;
    h.header.flags = SRC_CMYK_INVERTED;
    // Stored inverted: C'=255-C ... cyan 0, magenta 255, yellow 0, black 0.
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 255; b[1] = 0; b[2] = 255; b[3] = 255; }));
    EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
    EXPECT_EQ(3, h.image.bytesPerPixel);
    EXPECT_EQ(255, h.image.pixels[0]);
    EXPECT_EQ(0, h.image.pixels[1]);
    EXPECT_EQ(255, h.image.pixels[2]);
  }
  {
    Harness h(LOAD_KEEP_CMYK);
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 32;
    h.header.flags = SRC_CMYK_INVERTED;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 255; b[1] = 0; b[2] = 200; b[3] = 250; }));
    EXPECT_EQ(PIXEL_CMYK, h.image.pixelType);
    const uint8_t expected[4] = {0, 255, 55, 5};
    EXPECT_EQ(0, memcmp(expected, h.image.pixels, 4));
  }
  {
    Harness h;
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 32;
    h.header.flags = SRC_CMYK;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0; b[1] = 255; b[2] = 0; b[3] = 51; }));
    EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
    EXPECT_EQ(204, h.image.pixels[0]);
    EXPECT_EQ(0, h.image.pixels[1]);
    EXPECT_EQ(204, h.image.pixels[2]);
  }
}

TEST(Types, SixteenBitLayouts) {
  struct Case {
    uint32_t flags;
    uint16_t pixel;
    uint8_t r, g, b;
  } cases[] = {
      {0, 0x7C00, 255, 0, 0},                       // 5-5-5, red on top
      {SRC_RGB565, 0x07E0, 0, 255, 0},             // green 6 bits
      {SRC_RGB565, 0x0821, 8, 4, 8},                // one step of each: 1*255/31, 1*255/63, 1*255/31
      {SRC_BGR555, 0x7C00, 0, 0, 255},              // blue on top
      {SRC_RGB444_HIGH, 0xF0F0, 255, 0, 255},
      {SRC_RGB444_LOW, 0x0F0F, 255, 0, 255},
      {SRC_RGB565_G5, 0x07C0, 0, 255, 0},
      {SRC_RGB555_HIGH, 0x03E0, 0, 255, 0},
  };
  for (const Case& c : cases) {
    Harness h;
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 16;
    h.header.flags = c.flags;
    ASSERT_EQ(0, h.Run([&](int, uint8_t* b) { b[0] = (uint8_t)c.pixel; b[1] = (uint8_t)(c.pixel >> 8); }));
    ASSERT_EQ(PIXEL_RGB, h.image.pixelType);
    EXPECT_EQ(c.r, h.image.pixels[0]) << std::hex << c.flags << " " << c.pixel;
    EXPECT_EQ(c.g, h.image.pixels[1]) << std::hex << c.flags << " " << c.pixel;
    EXPECT_EQ(c.b, h.image.pixels[2]) << std::hex << c.flags << " " << c.pixel;
  }
}

TEST(Types, TwelveBitPixels) {
  Harness h;
  h.header.width = 3;
  h.header.height = 1;
  h.header.bitsPerPlane = 12;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) {
    b[0] = 0xF0; b[1] = 0x8A; b[2] = 0xBC;  // (15,0,8) (10,11,12)
    b[3] = 0x12; b[4] = 0x30;               // (1,2,3)
  }));
  const uint8_t expected[9] = {255, 0, 136, 170, 187, 204, 17, 34, 51};
  EXPECT_EQ(0, memcmp(expected, h.image.pixels, 9));
}

TEST(Layout, PlanesInARowAreMerged) {
  Harness h;
  h.header.width = 8;
  h.header.height = 1;
  h.header.planes = 4;
  h.header.bitsPerPlane = 1;
  h.header.bytesPerPlane = 1;
  h.header.flags = SRC_PLANES_IN_ROW;
  uint8_t palette[48] = {};
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0x80; b[1] = 0x40; b[2] = 0xC0; b[3] = 0x01; },
                     PAL_RGB3, 8, palette));
  const uint8_t expected[8] = {5, 6, 0, 0, 0, 0, 0, 8};
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_EQ(0, memcmp(expected, h.image.pixels, 8));
}

TEST(Layout, ThreePlanesOfEightBitsInterleave) {
  Harness h;
  h.header.width = 2;
  h.header.height = 1;
  h.header.planes = 3;
  h.header.bitsPerPlane = 8;
  h.header.bytesPerPlane = 2;
  h.header.flags = SRC_PLANES_IN_ROW;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { const uint8_t row[6] = {1, 2, 3, 4, 5, 6}; memcpy(b, row, 6); }));
  const uint8_t expected[6] = {1, 3, 5, 2, 4, 6};
  EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
  EXPECT_EQ(0, memcmp(expected, h.image.pixels, 6));
}

TEST(Layout, PlanesDeliveredOneAfterAnother) {
  Harness h;
  h.options().channelOrder = 1;
  h.header.width = 2;
  h.header.height = 2;
  h.header.planes = 3;
  h.header.bitsPerPlane = 8;
  h.header.samplesPerPixel = 3;
  h.header.bytesPerPlane = 2;
  h.header.flags = SRC_PLANE_BY_PLANE;
  ASSERT_EQ(0, StartPicture(h.context, &h.header));
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < 2; ++y) {
      h.header.rowBuffer[0] = (uint8_t)(plane * 100 + y * 10);
      h.header.rowBuffer[1] = (uint8_t)(plane * 100 + y * 10 + 1);
      ASSERT_EQ(0, DeliverRows(h.context, plane, -1, 1));
    }
  ASSERT_EQ(0, FinishPicture(h.context, 0, 8, nullptr));
  EXPECT_EQ(PIXEL_BGR, h.image.pixelType);
  const uint8_t row1[6] = {210, 110, 10, 211, 111, 11};
  EXPECT_EQ(0, memcmp(row1, ImageRow(&h.image, 1), 6));
}

TEST(Layout, BottomUpAndMirroredRowsArePlacedAsAsked) {
  Harness h;
  h.header.width = 3;
  h.header.height = 2;
  h.header.bitsPerPlane = 8;
  h.header.layout = LAYOUT_BOTTOM_UP | LAYOUT_MIRRORED;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) { b[0] = (uint8_t)(y * 10); b[1] = (uint8_t)(y * 10 + 1); b[2] = (uint8_t)(y * 10 + 2); }));
  // Delivered row 0 is the bottom row, its pixels right to left.
  const uint8_t top[3] = {12, 11, 10};
  const uint8_t bottom[3] = {2, 1, 0};
  EXPECT_EQ(0, memcmp(top, ImageRow(&h.image, 0), 3));
  EXPECT_EQ(0, memcmp(bottom, ImageRow(&h.image, 1), 3));
  EXPECT_EQ(0, h.image.layout);
}

TEST(Layout, AskedForBottomUp) {
  Harness h;
  h.options().layout = LAYOUT_BOTTOM_UP;
  h.header.width = 1;
  h.header.height = 3;
  h.header.bitsPerPlane = 8;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) { b[0] = (uint8_t)y; }));
  EXPECT_EQ(LAYOUT_BOTTOM_UP, h.image.layout);
  EXPECT_EQ(2, ImageRow(&h.image, 0)[0]);
  EXPECT_EQ(0, ImageRow(&h.image, 2)[0]);
}

TEST(WideSamples, KeptOrTakenByTheirUpperByte) {
  for (uint32_t flags : {0u, (uint32_t)LOAD_WIDE_SAMPLES}) {
    Harness h(flags);
    h.header.width = 2;
    h.header.height = 1;
    h.header.bitsPerPlane = 16;
    h.header.samplesPerPixel = 1;
    ASSERT_EQ(0, h.Run([](int, uint8_t* b) {
      uint16_t v[2] = {0x1234, 0xFFEE};
      memcpy(b, v, 4);
    }));
    EXPECT_EQ(PIXEL_GREY, h.image.pixelType);
    if (flags) {
      EXPECT_EQ(16, h.image.bitsPerSample);
      EXPECT_EQ(2, h.image.bytesPerPixel);
      uint16_t v[2];
      memcpy(v, h.image.pixels, 4);
      EXPECT_EQ(0x1234, v[0]);
      EXPECT_EQ(0xFFEE, v[1]);
    } else {
      EXPECT_EQ(8, h.image.bitsPerSample);
      EXPECT_EQ(256, h.image.paletteCount);
      EXPECT_EQ(0x12, h.image.pixels[0]);
      EXPECT_EQ(0xFF, h.image.pixels[1]);
    }
  }
}

TEST(WideSamples, RgbOfSixteenBits) {
  Harness h;
  h.header.width = 1;
  h.header.height = 1;
  h.header.bitsPerPlane = 16;
  h.header.samplesPerPixel = 3;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) {
    uint16_t v[3] = {0xAB00, 0x1200, 0x00FF};
    memcpy(b, v, 6);
  }));
  EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
  const uint8_t expected[3] = {0xAB, 0x12, 0x00};
  EXPECT_EQ(0, memcmp(expected, h.image.pixels, 3));
}

TEST(ColourModels, LabToRgb) {
  struct Case {
    uint32_t flags;
    uint8_t L, a, b;
    int r, g, bl;
  } cases[] = {
      // White and black.
      {SRC_LAB_UNSIGNED_D65, 255, 128, 128, 255, 255, 255},
      {SRC_LAB_UNSIGNED_D65, 0, 128, 128, 0, 0, 0},
      // sRGB red is L 53.24, a 80.09, b 67.20 under D65.
      {SRC_LAB_SIGNED_D65, 136, 80, 67, 255, 0, 0},
      // Middle grey under D50 stays neutral.
      {SRC_LAB_SIGNED_D50, 136, 0, 0, 128, 128, 128},
  };
  for (const Case& c : cases) {
    Harness h;
    h.header.width = 1;
    h.header.height = 1;
    h.header.bitsPerPlane = 8;
    h.header.samplesPerPixel = 3;
    h.header.flags = c.flags;
    ASSERT_EQ(0, h.Run([&](int, uint8_t* b) { b[0] = c.L; b[1] = c.a; b[2] = c.b; }));
    ASSERT_EQ(PIXEL_RGB, h.image.pixelType);
    EXPECT_NEAR(c.r, h.image.pixels[0], 3);
    EXPECT_NEAR(c.g, h.image.pixels[1], 3);
    EXPECT_NEAR(c.bl, h.image.pixels[2], 3);
  }
}

TEST(Delivery, RowCallbackCancels) {
  Harness h;
  h.options().rowCallback = [](int row, int, void*, int) { return row == 2 ? 1 : 0; };
  h.header.width = 4;
  h.header.height = 5;
  h.header.bitsPerPlane = 8;
  EXPECT_EQ(RESULT_CANCELLED, h.Run([](int, uint8_t* b) { memset(b, 1, 4); }));
}

TEST(Delivery, PercentCallbackSeesEveryWholePercentOnce) {
  Harness h;
  std::vector<int> seen;
  h.options().percentCallback = [](int percent, void* user) { ((std::vector<int>*)user)->push_back(percent); };
  h.options().percentUserData = &seen;
  h.header.width = 1;
  h.header.height = 4;
  h.header.bitsPerPlane = 8;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { b[0] = 0; }));
  EXPECT_EQ((std::vector<int>{25, 50, 75, 100}), seen);
}

TEST(Delivery, NoPixelsGivesTheDescriptionOnly) {
  Harness h(LOAD_NO_PIXELS);
  h.header.width = 10;
  h.header.height = 10;
  h.header.bitsPerPlane = 24;
  ASSERT_EQ(0, h.Run([](int, uint8_t* b) { memset(b, 9, 30); }));
  EXPECT_EQ(nullptr, h.image.pixels);
  EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
  EXPECT_EQ(10, h.image.width);
}

TEST(Delivery, RowNumbersWrapAndOutOfRangeRowsContinue) {
  Harness h;
  h.header.width = 1;
  h.header.height = 3;
  h.header.bitsPerPlane = 8;
  ASSERT_EQ(0, StartPicture(h.context, &h.header));
  h.header.rowBuffer[0] = 5;
  ASSERT_EQ(0, DeliverRows(h.context, -1, 2, 1));   // row 2
  h.header.rowBuffer[0] = 6;
  ASSERT_EQ(0, DeliverRows(h.context, -1, 99, 1));  // continues: wraps to row 0
  h.header.rowBuffer[0] = 7;
  ASSERT_EQ(0, DeliverRows(h.context, -1, -1, 1));  // row 1
  ASSERT_EQ(0, FinishPicture(h.context, 0, 8, nullptr));
  EXPECT_EQ(6, ImageRow(&h.image, 0)[0]);
  EXPECT_EQ(7, ImageRow(&h.image, 1)[0]);
  EXPECT_EQ(5, ImageRow(&h.image, 2)[0]);
}

TEST(Services, CommentTextsAndMetadataFollowTheFlags) {
  Harness off;
  SetComment(off.context, "ignored", 0);
  AddText(off.context, "Name", "value", 0);
  const uint8_t bytes[3] = {1, 2, 3};
  AddMetadata(off.context, META_IPTC, bytes, 3);
  EXPECT_EQ(nullptr, off.context->comment);
  EXPECT_EQ(0, off.context->textCount);
  EXPECT_EQ(nullptr, off.context->metadata);

  Harness on(LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA);
  SetComment(on.context, "\x01not printable", 0);
  EXPECT_EQ(nullptr, on.context->comment);
  SetComment(on.context, "a comment that is long", 9);
  EXPECT_STREQ("a comment", on.context->comment);
  AddText(on.context, "Author", "Someone else", 4);
  AddText(on.context, nullptr, "bare", 0);
  ASSERT_EQ(2, on.context->textCount);
  EXPECT_STREQ("Author: Some", on.context->texts[0]);
  EXPECT_STREQ("bare", on.context->texts[1]);
  for (int i = 0; i < 40; ++i) AddText(on.context, "n", "v", 0);
  EXPECT_EQ(kMaxTexts, on.context->textCount);
  // ICC pieces join; other blocks go in front.
  const uint8_t a[2] = {1, 2}, b[1] = {3};
  AddMetadata(on.context, META_ICC, a, 2);
  AddMetadata(on.context, META_EXIF, a, 2);
  AddMetadata(on.context, META_ICC, b, 1);
  ASSERT_NE(nullptr, on.context->metadata);
  EXPECT_EQ(META_EXIF, on.context->metadata->kind);
  ASSERT_NE(nullptr, on.context->metadata->next);
  EXPECT_EQ(META_ICC, on.context->metadata->next->kind);
  EXPECT_EQ(3u, on.context->metadata->next->size);
  EXPECT_EQ(3, on.context->metadata->next->data[2]);
}

}  // namespace
