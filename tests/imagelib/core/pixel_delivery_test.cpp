// The reader contract driven directly: a synthetic reader describes rows,
// delivers them, and the pipeline must produce the right result type,
// size, layout and pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
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

  // The page as the reader describes it.
  void Page(int w, int h, int bits, uint32_t sourceFlags = 0, int samples = 0) {
    header.width = w;
    header.height = h;
    header.bitsPerPlane = (int16_t)bits;
    header.flags = sourceFlags;
    header.samplesPerPixel = (int16_t)samples;
  }

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
  // Every row delivered as the same bytes.
  int RunBytes(const std::vector<uint8_t>& bytes, uint32_t paletteFormat = 0,
               const void* palette = nullptr) {
    auto row = [&](int, uint8_t* b) { memcpy(b, bytes.data(), bytes.size()); };
    return Run(row, paletteFormat, 8, palette);
  }
};

bool SameBytes(const std::vector<uint8_t>& expected, const uint8_t* got) {
  return memcmp(expected.data(), got, expected.size()) == 0;
}


TEST(StartPicture, RefusesImpossibleHeaders) {
  const struct {
    const char* name;
    int w, h, bits;
  } rows[] = {{"no width", 0, 10, 1}, {"too wide", 200000, 1, 1}, {"33 bits", 4, 4, 33}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Harness h;
    h.Page(row.w, row.h, row.bits);
    EXPECT_EQ(RESULT_NOT_RECOGNISED, StartPicture(h.context, &h.header));
  }
}

TEST(StartPicture, ImplausibleResolutionIsDropped) {
  Harness h;
  h.Page(2, 2, 8);
  h.header.xDpi = h.header.yDpi = 2;
  ASSERT_EQ(0, h.RunBytes({7, 7}));
  EXPECT_EQ(0, h.info.xDpi);
  EXPECT_EQ(0, h.info.yDpi);
  EXPECT_EQ(72u, h.image.xDpi);
  EXPECT_EQ(72u, h.image.yDpi);
}

TEST(StartPicture, RefusesPicturesOverTheMemoryCap) {
  Harness h;
  h.Page(150000, 150000, 24);
  EXPECT_EQ(RESULT_NO_MEMORY, StartPicture(h.context, &h.header));
  EXPECT_EQ(nullptr, h.image.pixels);
}

TEST(StartPicture, InformationModeStopsAfterTheHeader) {
  Harness h;
  h.context->infoMode = 1;
  h.Page(30, 20, 24);
  strcpy(h.header.formatText, "Synthetic");
  EXPECT_EQ(-1, StartPicture(h.context, &h.header));
  EXPECT_EQ(30, h.info.width);
  EXPECT_EQ(3, h.info.samplesPerPixel);
  EXPECT_EQ(8, h.info.bitsPerSample);
  EXPECT_STREQ("Synthetic", h.info.formatText);
  EXPECT_EQ(nullptr, h.image.pixels);
}

TEST(Reduction, BoxKeepsTheAspectRatio) {
  const struct {
    int w, h, expectW, expectH;
  } boxes[] = {{640, 480, 160, 120}, {480, 640, 120, 160}, {100, 100, 100, 100},
               {1000, 10, 160, 2}};
  for (const auto& c : boxes) {
    for (uint32_t mode : {0u, 2u}) {
      SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " mode " +
                   std::to_string(mode));
      Harness h;
      h.options().maxWidth = 160;
      h.options().maxHeight = 160;
      h.options().scaleMode = mode;
      h.Page(c.w, c.h, 24);
      ASSERT_EQ(0, h.RunBytes(std::vector<uint8_t>((size_t)c.w * 3, 90)));
      EXPECT_EQ(c.expectW, h.image.width);
      EXPECT_EQ(c.expectH, h.image.height);
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
  h.Page(64, 64, 24);
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) {
    for (int x = 0; x < 64; ++x) memset(b + x * 3, ((x + y) & 1) ? 200 : 20, 3);
  }));
  ASSERT_EQ(16, h.image.width);
  for (int y = 0; y < 16; ++y)
    for (int i = 0; i < 16 * 3; ++i) EXPECT_NEAR(110, ImageRow(&h.image, y)[i], 1) << y << "," << i;
}

TEST(Reduction, FastPicksTheLastColumnAndFirstRowOfEachTarget) {
  Harness h(LOAD_DIRECT_COLOUR);
  h.options().maxWidth = 2;
  h.options().maxHeight = 2;
  h.Page(4, 4, 8);
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
    h.Page(200, 100, 24, SRC_TILED);
    ASSERT_EQ(0, h.RunBytes(std::vector<uint8_t>(600, 60)));
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
    h.Page(40, 20, 8);
    uint8_t palette[768] = {};
    palette[3] = 200;  // entry 1 is (200, 0, 0)
    std::vector<uint8_t> row(40);
    for (int x = 0; x < 40; ++x) row[x] = (uint8_t)(x & 1);
    ASSERT_EQ(0, h.RunBytes(row, PAL_RGB3, palette));
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
  h.Page(3, 2, 24);
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) { memset(b, 5 + y, 9); }));
  EXPECT_EQ(1, calls);
  EXPECT_EQ(6, ImageRow(&h.image, 1)[8]);
}

// Pixels without a palette: the delivered bytes of one row, the result type
// and bytes (within `tolerance`), for each layout and load flag.
TEST(Types, DirectPixelsBecomeTheRightTypeAndBytes) {
  struct Conversion {
    const char* name;
    uint32_t load;
    int w, bits, samples;
    uint32_t source;
    std::vector<uint8_t> in;
    uint16_t type;
    std::vector<uint8_t> out;
    int tolerance = 0;
    uint16_t order = 0;
    int sampleBits = 8;
  };
  // 16-bit values are written low byte first, as the host holds them.
  const Conversion rows[] = {
      {"1 bit bilevel", 0, 10, 1, 0, 0, {0xA0, 0x40}, PIXEL_BW, {0xA0, 0x40}, 0, 0, 1},
      {"1 bit as grey", LOAD_BW_AS_GREY, 10, 1, 0, 0, {0xA0, 0x40}, PIXEL_GREY,
       {255, 0, 255, 0, 0, 0, 0, 0, 0, 255}},
      {"32 bits BGRA kept four bytes", 0, 1, 32, 0, SRC_ORDER_BGR_BGRA, {1, 2, 3, 4}, PIXEL_RGBA,
       {3, 2, 1, 4}},
      {"32 bits BGRA as three bytes", LOAD_THREE_BYTES, 1, 32, 0, SRC_ORDER_BGR_BGRA, {1, 2, 3, 4},
       PIXEL_RGB, {3, 2, 1}},
      {"channel order 0", 0, 1, 32, 0, 0, {10, 20, 30, 40}, PIXEL_RGBA, {10, 20, 30, 40}, 0, 0},
      {"channel order 1", 0, 1, 32, 0, 0, {10, 20, 30, 40}, PIXEL_ABGR, {40, 30, 20, 10}, 0, 1},
      {"channel order 3", 0, 1, 32, 0, 0, {10, 20, 30, 40}, PIXEL_ARGB, {40, 10, 20, 30}, 0, 3},
      {"channel order 2", 0, 1, 32, 0, 0, {10, 20, 30, 40}, PIXEL_BGRA, {30, 20, 10, 40}, 0, 2},
      // Stored inverted: cyan 0, magenta 255, yellow 0, black 0.
      {"inverted CMYK to RGB", 0, 1, 32, 0, SRC_CMYK_INVERTED, {255, 0, 255, 255}, PIXEL_RGB,
       {255, 0, 255}},
      {"inverted CMYK kept", LOAD_KEEP_CMYK, 1, 32, 0, SRC_CMYK_INVERTED, {255, 0, 200, 250},
       PIXEL_CMYK, {0, 255, 55, 5}},
      {"CMYK to RGB", 0, 1, 32, 0, SRC_CMYK, {0, 255, 0, 51}, PIXEL_RGB, {204, 0, 204}},
      {"5-5-5 red on top", 0, 1, 16, 0, 0, {0x00, 0x7C}, PIXEL_RGB, {255, 0, 0}},
      {"5-6-5 green of 6 bits", 0, 1, 16, 0, SRC_RGB565, {0xE0, 0x07}, PIXEL_RGB, {0, 255, 0}},
      // 1*255/31, 1*255/63, 1*255/31.
      {"5-6-5 one step of each", 0, 1, 16, 0, SRC_RGB565, {0x21, 0x08}, PIXEL_RGB, {8, 4, 8}},
      {"BGR 5-5-5 blue on top", 0, 1, 16, 0, SRC_BGR555, {0x00, 0x7C}, PIXEL_RGB, {0, 0, 255}},
      {"4-4-4 high", 0, 1, 16, 0, SRC_RGB444_HIGH, {0xF0, 0xF0}, PIXEL_RGB, {255, 0, 255}},
      {"4-4-4 low", 0, 1, 16, 0, SRC_RGB444_LOW, {0x0F, 0x0F}, PIXEL_RGB, {255, 0, 255}},
      {"5-6-5 green of 5 bits", 0, 1, 16, 0, SRC_RGB565_G5, {0xC0, 0x07}, PIXEL_RGB, {0, 255, 0}},
      {"5-5-5 high", 0, 1, 16, 0, SRC_RGB555_HIGH, {0xE0, 0x03}, PIXEL_RGB, {0, 255, 0}},
      // (15,0,8) (10,11,12) (1,2,3).
      {"12-bit pixels", 0, 3, 12, 0, 0, {0xF0, 0x8A, 0xBC, 0x12, 0x30}, PIXEL_RGB,
       {255, 0, 136, 170, 187, 204, 17, 34, 51}},
      {"16-bit grey by its upper byte", 0, 2, 16, 1, 0, {0x34, 0x12, 0xEE, 0xFF}, PIXEL_GREY,
       {0x12, 0xFF}},
      {"16-bit grey kept wide", LOAD_WIDE_SAMPLES, 2, 16, 1, 0, {0x34, 0x12, 0xEE, 0xFF},
       PIXEL_GREY, {0x34, 0x12, 0xEE, 0xFF}, 0, 0, 16},
      {"16-bit RGB by its upper bytes", 0, 1, 16, 3, 0, {0x00, 0xAB, 0x00, 0x12, 0xFF, 0x00},
       PIXEL_RGB, {0xAB, 0x12, 0x00}},
      {"Lab white", 0, 1, 8, 3, SRC_LAB_UNSIGNED_D65, {255, 128, 128}, PIXEL_RGB, {255, 255, 255},
       3},
      {"Lab black", 0, 1, 8, 3, SRC_LAB_UNSIGNED_D65, {0, 128, 128}, PIXEL_RGB, {0, 0, 0}, 3},
      // sRGB red is L 53.24, a 80.09, b 67.20 under D65.
      {"Lab red", 0, 1, 8, 3, SRC_LAB_SIGNED_D65, {136, 80, 67}, PIXEL_RGB, {255, 0, 0}, 3},
      {"Lab middle grey under D50", 0, 1, 8, 3, SRC_LAB_SIGNED_D50, {136, 0, 0}, PIXEL_RGB,
       {128, 128, 128}, 3},
  };
  for (const Conversion& c : rows) {
    SCOPED_TRACE(c.name);
    Harness h(c.load);
    h.options().channelOrder = c.order;
    h.Page(c.w, 1, c.bits, c.source, c.samples);
    ASSERT_EQ(0, h.RunBytes(c.in));
    ASSERT_EQ(c.type, h.image.pixelType);
    EXPECT_EQ(c.sampleBits, h.image.bitsPerSample);
    if (c.type != PIXEL_BW) {
      EXPECT_EQ((int)c.out.size() / c.w, h.image.bytesPerPixel);
    }
    if (c.type == PIXEL_GREY && c.sampleBits == 8) {
      EXPECT_EQ(256, h.image.paletteCount);
    }
    for (size_t i = 0; i < c.out.size(); ++i)
      EXPECT_NEAR(c.out[i], h.image.pixels[i], c.tolerance) << i;
  }
}

TEST(Types, PaletteOfTwoColoursThatAreNotBlackAndWhite) {
  Harness h;
  h.Page(3, 1, 1);
  const uint8_t palette[6] = {255, 0, 0, 0, 0, 255};
  ASSERT_EQ(0, h.RunBytes({0x40}, PAL_RGB3, palette));
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_EQ(0, h.image.pixels[0]);
  EXPECT_EQ(1, h.image.pixels[1]);
  EXPECT_EQ(255, h.image.palette[0]);
  EXPECT_EQ(255, h.image.palette[512 + 1]);
}

TEST(Types, WhiteThenBlackPaletteKeepsZeroBlack) {
  Harness h;
  h.Page(8, 1, 1);
  const uint8_t palette[6] = {255, 255, 255, 0, 0, 0};
  ASSERT_EQ(0, h.RunBytes({0x0F}, PAL_RGB3, palette));
  EXPECT_EQ(PIXEL_BW, h.image.pixelType);
  EXPECT_EQ(0xF0, h.image.pixels[0]);  // stored 0 (white) became 1
}

TEST(Types, PaletteExpandsIntoDirectColour) {
  Harness h(LOAD_DIRECT_COLOUR);
  h.options().channelOrder = 1;
  h.Page(2, 1, 8);
  // Palette as B, G, R, unused.
  uint8_t palette[256 * 4] = {};
  palette[4 * 7 + 0] = 30;   // blue of entry 7
  palette[4 * 7 + 1] = 20;
  palette[4 * 7 + 2] = 10;   // red
  ASSERT_EQ(0, h.RunBytes({7, 0}, PAL_BGRX4, palette));
  EXPECT_EQ(PIXEL_BGR, h.image.pixelType);
  EXPECT_TRUE(SameBytes({30, 20, 10, 0}, h.image.pixels));
}

TEST(Types, EightBitPaletteIsIndexed) {
  Harness h;
  h.Page(4, 1, 4);
  uint8_t palette[16 * 3];
  for (int i = 0; i < 16; ++i) {
    palette[i] = (uint8_t)(i * 2);
    palette[16 + i] = (uint8_t)(i * 3);
    palette[32 + i] = (uint8_t)(i * 4);
  }
  ASSERT_EQ(0, h.RunBytes({0x1F, 0x23}, PAL_SEPARATE_ARRAYS, palette));
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_EQ(4, h.image.bitsPerSample);
  EXPECT_EQ(16, h.image.paletteCount);
  EXPECT_TRUE(SameBytes({1, 15, 2, 3}, h.image.pixels));
  EXPECT_EQ(30, h.image.palette[15]);
  EXPECT_EQ(45, h.image.palette[256 + 15]);
  EXPECT_EQ(60, h.image.palette[512 + 15]);
}

TEST(Layout, PlanesInARowAreMerged) {
  Harness h;
  h.Page(8, 1, 1, SRC_PLANES_IN_ROW);
  h.header.planes = 4;
  h.header.bytesPerPlane = 1;
  uint8_t palette[48] = {};
  ASSERT_EQ(0, h.RunBytes({0x80, 0x40, 0xC0, 0x01}, PAL_RGB3, palette));
  EXPECT_EQ(PIXEL_INDEXED, h.image.pixelType);
  EXPECT_TRUE(SameBytes({5, 6, 0, 0, 0, 0, 0, 8}, h.image.pixels));
}

TEST(Layout, ThreePlanesOfEightBitsInterleave) {
  Harness h;
  h.Page(2, 1, 8, SRC_PLANES_IN_ROW);
  h.header.planes = 3;
  h.header.bytesPerPlane = 2;
  ASSERT_EQ(0, h.RunBytes({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
  EXPECT_TRUE(SameBytes({1, 3, 5, 2, 4, 6}, h.image.pixels));
}

TEST(Layout, PlanesDeliveredOneAfterAnother) {
  Harness h;
  h.options().channelOrder = 1;
  h.Page(2, 2, 8, SRC_PLANE_BY_PLANE, 3);
  h.header.planes = 3;
  h.header.bytesPerPlane = 2;
  ASSERT_EQ(0, StartPicture(h.context, &h.header));
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < 2; ++y) {
      h.header.rowBuffer[0] = (uint8_t)(plane * 100 + y * 10);
      h.header.rowBuffer[1] = (uint8_t)(plane * 100 + y * 10 + 1);
      ASSERT_EQ(0, DeliverRows(h.context, plane, -1, 1));
    }
  ASSERT_EQ(0, FinishPicture(h.context, 0, 8, nullptr));
  EXPECT_EQ(PIXEL_BGR, h.image.pixelType);
  EXPECT_TRUE(SameBytes({210, 110, 10, 211, 111, 11}, ImageRow(&h.image, 1)));
}

TEST(Layout, BottomUpAndMirroredRowsArePlacedAsAsked) {
  Harness h;
  h.Page(3, 2, 8);
  h.header.layout = LAYOUT_BOTTOM_UP | LAYOUT_MIRRORED;
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) {
    for (int x = 0; x < 3; ++x) b[x] = (uint8_t)(y * 10 + x);
  }));
  // Delivered row 0 is the bottom row, its pixels right to left.
  EXPECT_TRUE(SameBytes({12, 11, 10}, ImageRow(&h.image, 0)));
  EXPECT_TRUE(SameBytes({2, 1, 0}, ImageRow(&h.image, 1)));
  EXPECT_EQ(0, h.image.layout);
}

TEST(Layout, AskedForBottomUp) {
  Harness h;
  h.options().layout = LAYOUT_BOTTOM_UP;
  h.Page(1, 3, 8);
  ASSERT_EQ(0, h.Run([](int y, uint8_t* b) { b[0] = (uint8_t)y; }));
  EXPECT_EQ(LAYOUT_BOTTOM_UP, h.image.layout);
  EXPECT_EQ(2, ImageRow(&h.image, 0)[0]);
  EXPECT_EQ(0, ImageRow(&h.image, 2)[0]);
}

TEST(Delivery, RowCallbackCancels) {
  Harness h;
  h.options().rowCallback = [](int row, int, void*, int) { return row == 2 ? 1 : 0; };
  h.Page(4, 5, 8);
  EXPECT_EQ(RESULT_CANCELLED, h.RunBytes({1, 1, 1, 1}));
}

TEST(Delivery, PercentCallbackSeesEveryWholePercentOnce) {
  Harness h;
  std::vector<int> seen;
  h.options().percentCallback = [](int percent, void* user) {
    ((std::vector<int>*)user)->push_back(percent);
  };
  h.options().percentUserData = &seen;
  h.Page(1, 4, 8);
  ASSERT_EQ(0, h.RunBytes({0}));
  EXPECT_EQ((std::vector<int>{25, 50, 75, 100}), seen);
}

TEST(Delivery, NoPixelsGivesTheDescriptionOnly) {
  Harness h(LOAD_NO_PIXELS);
  h.Page(10, 10, 24);
  ASSERT_EQ(0, h.RunBytes(std::vector<uint8_t>(30, 9)));
  EXPECT_EQ(nullptr, h.image.pixels);
  EXPECT_EQ(PIXEL_RGB, h.image.pixelType);
  EXPECT_EQ(10, h.image.width);
}

TEST(Delivery, RowNumbersWrapAndOutOfRangeRowsContinue) {
  Harness h;
  h.Page(1, 3, 8);
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
