// Colour depth conversion: the black-and-white methods, grey ramps and
// ordered dithering on small pictures worked out by hand, exact palettes,
// the median-cut quantizer against the IJG library's (djpeg), and the
// direct-colour types.
#include "imagelib/ops/convert_depth.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/imagelib/ops/failing_allocator.h"
#include "tests/imagelib/ops/picture_fixtures.h"
#include "tests/support/test_support.h"

using namespace ops_test;
using testing_support::ImageToRgba;
using testing_support::Rgba;

namespace {

void MakeFlatGrey(Picture& p, int w, int h, int v, int alignment = 4) {
  Make(p, PIXEL_GREY, w, h, alignment, [v](int, int, int) { return v; });
}

int CountWhite(Picture& p) {
  int n = 0;
  for (int y = 0; y < p->height; ++y)
    for (int v : Row(p, y)) n += v;
  return n;
}

// ---------------------------------------------------------------------------
// Black and white

// Flat grey pictures through each method: the bits of one row, worked out
// by hand from the method's matrix, and the white pixels of the whole.
TEST(ConvertDepthBlackAndWhite, FlatGreyWorkedExamples) {
  struct Case {
    const char* name;
    int method, size, grey, row;
    const char* bits;  // the start of the row
    int whites;        // -1: not counted
  };
  const Case cases[] = {
      {"threshold: 127 is white", BW_THRESHOLD, 20, 127, 0, "11111111111111111111", 400},
      {"threshold: 126 is black", BW_THRESHOLD, 20, 126, 0, "00000000000000000000", 0},
      // 128 is white (error -127, -47 carried right); 81 black (error 81,
      // +30 carried right); 158 white.
      {"diffusion carries 3/8 right", BW_ERROR_DIFFUSION, 16, 128, 0, "101", -1},
      // 128 + the 3/8 of -127 from above (-47) = 81: black.
      {"diffusion carries 3/8 down", BW_ERROR_DIFFUSION, 16, 128, 1, "0", -1},
      // Row 0 of the matrix begins 0 (taken as 1), 128, 32, 160, 8, 136. It
      // holds 1, 1, 2, ..., 255: 129 cells are at most 128 in each tile.
      {"ordered 16 at 128", BW_ORDERED_16, 32, 128, 0, "111010", 4 * 129},
      {"ordered 16: black stays black", BW_ORDERED_16, 16, 0, 0, "000000", 0},
      {"ordered 16: white stays white", BW_ORDERED_16, 16, 255, 0, "111111", 256},
      {"ordered 16 at 64: the cells 1, 1, 2..64", BW_ORDERED_16, 16, 64, 0, "1", 65},
      // t = 128 x 36 / 255 = 18; white where the pattern is at most 18.
      // Dispersed row 0: 15 9 17 32 22 30; clustered row 0: 30 19 13 20 31 35.
      {"dispersed at 128", BW_DISPERSED, 12, 128, 0, "111000111000", 4 * 18},
      {"second dispersed at 128", BW_DISPERSED_2, 12, 128, 0, "111000111000", 4 * 18},
      {"clustered at 128", BW_CLUSTERED, 12, 128, 0, "001000001000", 4 * 18},
      // Clustered row 2 is 12 4 1 2 10 28: only the last is black.
      {"clustered row 2", BW_CLUSTERED, 6, 128, 2, "111110", 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    MakeFlatGrey(p, c.size, c.size, c.grey);
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, DEPTH_BW, c.method), RESULT_OK);
    ASSERT_EQ(p->pixelType, PIXEL_BW);
    std::string bits;
    for (int v : Row(p, c.row)) bits += (char)('0' + v);
    EXPECT_EQ(bits.substr(0, std::strlen(c.bits)), c.bits);
    if (c.whites >= 0) {
      EXPECT_EQ(CountWhite(p), c.whites);
    }
  }
}

TEST(ConvertDepthBlackAndWhite, ColourThresholdGoesThroughLuminance) {
  // (77 R + 150 G + 29 B) >> 8: (77 x 200 + 150 x 104 + 29 x 50) >> 8 = 126
  // is black, (77 x 200 + 150 x 105 + 29 x 50) >> 8 = 127 white.
  Picture rgb;
  Make(rgb, PIXEL_BGR, 2, 1, 1,
       [](int x, int, int b) { return b == 2 ? 200 : b == 1 ? (x ? 105 : 104) : 50; });
  ASSERT_EQ(ConvertDepth(rgb.get(), nullptr, DEPTH_BW, BW_THRESHOLD), RESULT_OK);
  EXPECT_EQ(Row(rgb, 0), (std::vector<int>{0, 1}));
}

TEST(ConvertDepthBlackAndWhite, ErrorDiffusionKeepsTheMeanGrey) {
  for (int v : {32, 128, 200}) {
    Picture p;
    MakeFlatGrey(p, 128, 128, v);
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, DEPTH_BW, BW_ERROR_DIFFUSION), RESULT_OK);
    const double white = CountWhite(p) / (128.0 * 128.0);
    EXPECT_NEAR(white, v / 255.0, 0.03) << v;
  }
}

TEST(ConvertDepthBlackAndWhite, BitPictureIsCopied) {
  Picture bw;
  Make(bw, PIXEL_BW, 10, 3, 1, [](int x, int, int) { return x % 3 == 0; });
  Snapshot before(bw.image);
  ASSERT_EQ(ConvertDepth(bw.get(), nullptr, DEPTH_BW, BW_ERROR_DIFFUSION), RESULT_OK);
  before.ExpectUnchanged(bw.image);
  Picture out;
  ASSERT_EQ(ConvertDepth(bw.get(), out.get(), DEPTH_BW, 0), RESULT_OK);
  EXPECT_EQ(RowBytes(out.image), RowBytes(bw.image));
  EXPECT_NE(out->pixels, bw->pixels);
}

// ---------------------------------------------------------------------------
// Grey levels

TEST(LevelRamp, MapsBothWays) {
  uint8_t t[256];
  LevelRamp(t, 256, 4);
  EXPECT_EQ((std::vector<int>{t[0], t[84], t[85], t[170], t[255]}),
            (std::vector<int>{0, 0, 1, 2, 3}));
  LevelRamp(t, 4, 256);
  EXPECT_EQ(std::vector<int>(t, t + 4), (std::vector<int>{0, 85, 170, 255}));
}

// Modes 2..9 map a luminance ramp onto their 4..256 levels, from grey and
// from colour.
TEST(ConvertDepthGrey, EveryModeHasItsLevelCount) {
  const int levels[8] = {4, 8, 16, 32, 64, 128, 216, 256};
  for (uint32_t type : {PIXEL_GREY, PIXEL_RGB}) {
    for (int mode = 2; mode <= 9; ++mode) {
      SCOPED_TRACE("type " + std::to_string(type) + " mode " + std::to_string(mode));
      Picture p;
      Make(p, type, 256, 1, 4, [](int x, int, int) { return x; });
      ASSERT_EQ(ConvertDepth(p.get(), nullptr, mode, 0), RESULT_OK);
      EXPECT_EQ(p->pixelType, PIXEL_GREY);
      const int n = levels[mode - 2];
      EXPECT_EQ(p->paletteCount, n);
      // The ramp climbs from 0 to the top level without skipping one.
      const std::vector<int> ramp = Row(p, 0);
      EXPECT_EQ(ramp.front(), 0);
      EXPECT_EQ(ramp.back(), n - 1);
      for (int x = 1; x < 256; ++x) ASSERT_LE((unsigned)(ramp[x] - ramp[x - 1]), 1u) << x;
    }
  }
  // Four levels by hand: 84 is still level 0, 85 level 1.
  Picture p;
  const int values[5] = {0, 84, 85, 170, 255};
  Make(p, PIXEL_GREY, 5, 1, 1, [&](int x, int, int) { return values[x]; });
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, DEPTH_GREY_4, 0), RESULT_OK);
  EXPECT_EQ(Row(p, 0), (std::vector<int>{0, 0, 1, 2, 3}));
}

TEST(ConvertDepthGrey, OrderedDitheringBetweenTwoLevels) {
  // 4 levels, step 85. v = 128: lower level 1, fraction trunc(43 x 63 / 85)
  // = 31; the upper level where the 8 x 8 value is below 31. Row 0 of the
  // matrix: 0 38 9 47 2 40 11 50.
  Picture p;
  MakeFlatGrey(p, 8, 2, 128);
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, DEPTH_GREY_4, DITHER_ORDERED), RESULT_OK);
  EXPECT_EQ(Row(p, 0), (std::vector<int>{2, 1, 2, 1, 2, 1, 2, 1}));
  // Row 1: 25 12 35 22 27 15 37 24: all below 31 except 35 and 37.
  EXPECT_EQ(Row(p, 1), (std::vector<int>{2, 2, 1, 2, 2, 2, 1, 2}));
  // The ends are exact.
  for (int v : {0, 255}) {
    Picture e;
    MakeFlatGrey(e, 8, 8, v);
    ASSERT_EQ(ConvertDepth(e.get(), nullptr, DEPTH_GREY_4, DITHER_ORDERED), RESULT_OK);
    for (uint8_t level : RowBytes(e.image)) EXPECT_EQ(level, v ? 3 : 0);
  }
}

TEST(ConvertDepthGrey, BitPictureGivesBothEnds) {
  Picture bw;
  Make(bw, PIXEL_BW, 9, 2, 1, [](int x, int, int) { return x & 1; });
  ASSERT_EQ(ConvertDepth(bw.get(), nullptr, 4, 0), RESULT_OK);  // 16 levels
  EXPECT_EQ(Row(bw, 1), (std::vector<int>{0, 15, 0, 15, 0, 15, 0, 15, 0}));
}

// ---------------------------------------------------------------------------
// Palettes

TEST(ConvertDepthPalette, OrderedDitheringIntoTheColourCube) {
  // 8 colours: 2 x 2 x 2. (255, 0, 128) at (0, 0) (matrix 0): red top,
  // green bottom, blue fraction trunc(128 x 63 / 255) = 31 > 0: up. Index
  // 1 x 4 + 0 x 2 + 1 = 5. At (1, 0) (matrix 38 >= 31) blue stays down: 4.
  Picture p;
  Make(p, PIXEL_RGB, 2, 1, 1, [](int, int, int b) { return b == 0 ? 255 : b == 1 ? 0 : 128; });
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, 12, DITHER_ORDERED), RESULT_OK);
  ASSERT_EQ(p->pixelType, PIXEL_INDEXED);
  EXPECT_EQ(p->paletteCount, 8);
  EXPECT_EQ(Row(p, 0), (std::vector<int>{5, 4}));
  EXPECT_EQ(p->palette[5], 255);
  EXPECT_EQ(p->palette[256 + 5], 0);
  EXPECT_EQ(p->palette[512 + 5], 255);
}

TEST(ConvertDepthPalette, CubePalettesHaveTheirLevels) {
  struct Cube { int mode, r, g, b; };
  for (Cube c : {Cube{12, 2, 2, 2}, Cube{13, 2, 4, 2}, Cube{14, 4, 4, 2}, Cube{15, 4, 4, 4},
                 Cube{16, 8, 8, 4}, Cube{17, 6, 6, 6}, Cube{18, 8, 8, 4}}) {
    Picture p;
    Make(p, PIXEL_RGB, 16, 16, 4, [](int x, int y, int b) { return Noise(x, y, b); });
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, c.mode, DITHER_ORDERED), RESULT_OK);
    EXPECT_EQ(p->paletteCount, c.r * c.g * c.b) << c.mode;
    for (int r = 0; r < c.r; ++r)
      for (int g = 0; g < c.g; ++g)
        for (int b = 0; b < c.b; ++b) {
          const int i = r * c.g * c.b + g * c.b + b;
          ASSERT_EQ(p->palette[i], r * 255 / (c.r - 1));
          ASSERT_EQ(p->palette[256 + i], g * 255 / (c.g - 1));
          ASSERT_EQ(p->palette[512 + i], b * 255 / (c.b - 1));
        }
    for (uint8_t v : RowBytes(p.image)) ASSERT_LT(v, p->paletteCount);
  }
  // Flat colours on cube levels come out exactly, whatever the matrix.
  Picture flat;
  Make(flat, PIXEL_RGB, 8, 8, 4, [](int, int, int b) { return b == 0 ? 255 : b == 1 ? 51 : 0; });
  ASSERT_EQ(ConvertDepth(flat.get(), nullptr, 17, DITHER_ORDERED), RESULT_OK);  // 6 x 6 x 6
  for (uint8_t v : RowBytes(flat.image)) EXPECT_EQ(v, 5 * 36 + 1 * 6 + 0);
}

TEST(ConvertDepthPalette, FewColoursAreKeptInOrderOfFirstOccurrence) {
  const uint8_t colours[10][3] = {{200, 10, 10}, {10, 200, 10}, {1, 2, 3},   {255, 255, 255},
                                  {0, 0, 0},     {7, 7, 7},     {90, 0, 90}, {33, 66, 99},
                                  {128, 128, 0}, {0, 128, 128}};
  Picture p;
  // Rows cycle through the colours, starting at 3 so that the first
  // occurrence order differs from the numbering.
  Make(p, PIXEL_BGRA, 7, 6, 4, [&](int x, int y, int b) {
    const int c = (3 + y * 7 + x) % 10;
    return b == 3 ? 255 : colours[c][2 - b];
  });
  Rgba before = ImageToRgba(p.image);
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, 13, 0), RESULT_OK);  // 16 colours
  ASSERT_EQ(p->pixelType, PIXEL_INDEXED);
  EXPECT_EQ(p->paletteCount, 10);
  for (int i = 0; i < 10; ++i) {
    const int c = (3 + i) % 10;
    EXPECT_EQ(p->palette[i], colours[c][0]);
    EXPECT_EQ(p->palette[256 + i], colours[c][1]);
    EXPECT_EQ(p->palette[512 + i], colours[c][2]);
  }
  Rgba after = ImageToRgba(p.image);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(after.at(x, y)[k], before.at(x, y)[k]);
}

TEST(ConvertDepthPalette, IndexedAndGreyCountTheirColours) {
  Picture ix;
  Make(ix, PIXEL_INDEXED, 8, 8, 4, [](int x, int, int) { return x < 4 ? 200 : 3; });
  SetPalette(ix.image, 200, 1, 2, 3);
  SetPalette(ix.image, 3, 4, 5, 6);
  ASSERT_EQ(ConvertDepth(ix.get(), nullptr, 12, 0), RESULT_OK);
  EXPECT_EQ(ix->paletteCount, 2);
  EXPECT_EQ(ImageRow(ix.get(), 5)[0], 0);
  EXPECT_EQ(ImageRow(ix.get(), 5)[7], 1);
  EXPECT_EQ(ix->palette[0], 1);
  EXPECT_EQ(ix->palette[1], 4);

  Picture g;
  Make(g, PIXEL_GREY, 4, 1, 1, [](int x, int, int) { return x; });
  g->paletteCount = 4;  // levels stand for 0, 85, 170, 255
  ASSERT_EQ(ConvertDepth(g.get(), nullptr, 12, 0), RESULT_OK);
  EXPECT_EQ(Row(g, 0), (std::vector<int>{0, 1, 2, 3}));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g->palette[i], i * 85);
    EXPECT_EQ(g->palette[512 + i], i * 85);
  }
}

TEST(ConvertDepthPalette, BitPictureBecomesBlackAndWhitePalette) {
  Picture bw;
  Make(bw, PIXEL_BW, 10, 2, 1, [](int x, int, int) { return x > 6; });
  ASSERT_EQ(ConvertDepth(bw.get(), nullptr, 18, 0), RESULT_OK);
  ASSERT_EQ(bw->pixelType, PIXEL_INDEXED);
  EXPECT_EQ(bw->paletteCount, 2);
  Rgba rgba = ImageToRgba(bw.image);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(rgba.at(x, 1)[0], x > 6 ? 255 : 0);
}

TEST(ConvertDepthPalette, ManyColoursUseAtMostTheWantedCount) {
  for (int mode = 12; mode <= 18; ++mode) {
    const int wanted = ColoursOfMode(mode);
    Picture p;
    Make(p, PIXEL_RGB, 64, 48, 4,
         [](int x, int y, int b) { return (x * 4 + y * 3 * b + Noise(x, y, b) / 8) & 255; });
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, mode, 0), RESULT_OK);
    EXPECT_LE(p->paletteCount, wanted);
    EXPECT_GE(p->paletteCount, wanted / 2);
    std::set<int> used;
    for (uint8_t v : RowBytes(p.image)) used.insert(v);
    EXPECT_LT(*used.rbegin(), p->paletteCount);
  }
}

// Our median cut against djpeg's two-pass quantizer on the same decoded
// pixels: the same colour at every pixel. (djpeg's PPM is read by our PNM
// reader, which its own tests hold to netpbm.)
void ExpectSameAsDjpeg(const std::string& jpeg, int mode, testing_support::TempDir& dir) {
  const int colours = ColoursOfMode(mode);
  SCOPED_TRACE(jpeg + " with " + std::to_string(colours) + " colours");
  const std::string ppm = dir.File("djpeg.ppm");
  ASSERT_EQ(testing_support::RunCommand("djpeg -colors " + std::to_string(colours) +
                                        " -dither none -outfile " + ppm + " '" + jpeg + "'"),
            0);
  Picture peer, p;
  ASSERT_EQ(testing_support::LoadFile(ppm, peer.get()), RESULT_OK);
  ASSERT_EQ(testing_support::LoadFile(jpeg, p.get()), RESULT_OK);
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, mode, 0), RESULT_OK);
  EXPECT_EQ(testing_support::MaxDifference(ImageToRgba(p.image), ImageToRgba(peer.image)), 0);
}

TEST(ConvertDepthMedianCut, MatchesTheIjgQuantizerOnMadePictures) {
  if (!testing_support::HaveTool("djpeg") || !testing_support::HaveTool("cjpeg"))
    GTEST_SKIP() << "djpeg/cjpeg missing";
  testing_support::FormatsScope formats;
  testing_support::TempDir dir;
  // Smooth gradients, noise, and a large flat area whose histogram cell
  // passes the 16-bit count limit.
  const int w = 400, h = 300;
  std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<uint8_t> ppm(header.begin(), header.end());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (y >= 60) {
        ppm.push_back(40);
        ppm.push_back(90);
        ppm.push_back(160);
      } else {
        ppm.push_back((uint8_t)(x * 255 / w));
        ppm.push_back((uint8_t)((y * 4 + Noise(x, y, 0) / 4) & 255));
        ppm.push_back((uint8_t)(Noise(x / 8, y / 8, 2)));
      }
    }
  testing_support::WriteFileBytes(dir.File("made.ppm"), ppm);
  ASSERT_EQ(testing_support::RunCommand("cjpeg -quality 100 -outfile " + dir.File("made.jpg") +
                                        " " + dir.File("made.ppm")),
            0);
  for (int mode = 12; mode <= 18; ++mode) ExpectSameAsDjpeg(dir.File("made.jpg"), mode, dir);
}

TEST(ConvertDepthMedianCut, MatchesTheIjgQuantizerOnCorpusPictures) {
  const std::string corpus = testing_support::CorpusDir("jpeg");
  if (corpus.empty()) GTEST_SKIP() << "corpus absent";
  if (!testing_support::HaveTool("djpeg")) GTEST_SKIP() << "djpeg missing";
  testing_support::FormatsScope formats;
  testing_support::TempDir dir;
  for (const char* name : {"pillow-flower.jpg", "wuffs-peacock.q99.jpg", "wuffs-bricks-color.jpg",
                           "wuffs-hibiscus.regular.jpg"}) {
    const std::string path = corpus + "/" + name;
    if (testing_support::ReadFileBytes(path).empty()) continue;
    for (int mode : {12, 15, 17, 18}) ExpectSameAsDjpeg(path, mode, dir);
  }
}

// ---------------------------------------------------------------------------
// Direct colour

TEST(ConvertDepthDirect, ReordersIntoEveryType) {
  struct Target { int mode; uint32_t type; int r, g, b, a; };
  const Target targets[] = {{19, PIXEL_RGB, 0, 1, 2, -1},  {20, PIXEL_RGBA, 0, 1, 2, 3},
                            {21, PIXEL_BGR, 2, 1, 0, -1},  {22, PIXEL_ABGR, 3, 2, 1, 0},
                            {23, PIXEL_BGRA, 2, 1, 0, 3},  {24, PIXEL_ARGB, 1, 2, 3, 0}};
  for (const Target& t : targets) {
    SCOPED_TRACE(t.mode);
    Picture p;
    Make(p, PIXEL_BGR, 3, 2, 4,
         [](int x, int y, int b) { return (b == 2 ? 100 : b == 1 ? 150 : 200) + x + y; });
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, t.mode, 0), RESULT_OK);
    ASSERT_EQ(p->pixelType, t.type);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const uint8_t* px = ImageRow(p.get(), y) + x * p->bytesPerPixel;
        EXPECT_EQ(px[t.r], 100 + x + y);
        EXPECT_EQ(px[t.g], 150 + x + y);
        EXPECT_EQ(px[t.b], 200 + x + y);
        if (t.a >= 0) {
          EXPECT_EQ(px[t.a], 0) << "a new fourth channel is 0";
        }
      }
  }
}

// Sources that are not direct colour, and an alpha the source has.
TEST(ConvertDepthDirect, ExpandsBitsGreyAndPalettesAndKeepsAlpha) {
  struct Case {
    const char* name;
    uint32_t type;
    int width;
    std::function<int(int, int, int)> fill;
    int paletteCount, mode;
    std::vector<int> row;
  };
  const Case cases[] = {
      {"bits to RGB", PIXEL_BW, 3, [](int x, int, int) { return x == 1; }, 0, 19,
       {0, 0, 0, 255, 255, 255, 0, 0, 0}},
      {"level 7 of 8 is white", PIXEL_GREY, 2, [](int x, int, int) { return x * 7; }, 8, 21,
       {0, 0, 0, 255, 255, 255}},
      {"palette to BGR", PIXEL_INDEXED, 1, [](int, int, int) { return 9; }, 0, 21, {33, 22, 11}},
      {"RGBA keeps its alpha in ARGB", PIXEL_RGBA, 2,
       [](int x, int, int b) { return b == 3 ? 10 + x : 50 * (b + 1); }, 0, 24,
       {10, 50, 100, 150, 11, 50, 100, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    Make(p, c.type, c.width, 1, 1, c.fill);
    if (c.type == PIXEL_INDEXED) SetPalette(p.image, 9, 11, 22, 33);
    if (c.paletteCount) p->paletteCount = c.paletteCount;
    ASSERT_EQ(ConvertDepth(p.get(), nullptr, c.mode, 0), RESULT_OK);
    EXPECT_EQ(Row(p, 0), c.row);
  }
}

TEST(ConvertDepthDirect, WideSamplesKeepTheirUpperBits) {
  Picture p;
  ASSERT_EQ(ImageCreateDeep(p.get(), PIXEL_RGBA, 4, 3, 2, 16), 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int s = 0; s < 4; ++s) {
        const uint16_t v = (uint16_t)(((x * 50 + s * 20 + y) << 8) | 0x7F);
        std::memcpy(ImageRow(p.get(), y) + (x * 4 + s) * 2, &v, 2);
      }
  ASSERT_EQ(ConvertDepth(p.get(), nullptr, 23, 0), RESULT_OK);  // BGRA, 8 bits
  EXPECT_EQ(p->bitsPerSample, 8);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* px = ImageRow(p.get(), y) + x * 4;
      EXPECT_EQ(px[2], x * 50 + y);       // red
      EXPECT_EQ(px[1], x * 50 + 20 + y);  // green
      EXPECT_EQ(px[0], x * 50 + 40 + y);  // blue
      EXPECT_EQ(px[3], x * 50 + 60 + y);  // alpha kept
    }
}

// ---------------------------------------------------------------------------
// Modes and failures

TEST(ConvertDepth, UnsupportedModesGive16AndChangeNothing) {
  Picture p;
  Make(p, PIXEL_RGB, 4, 4, 4, [](int x, int y, int b) { return Noise(x, y, b); });
  Snapshot before(p.image);
  for (int mode : {0, 10, 11, 25, -1, 100}) {
    Picture out;
    EXPECT_EQ(ConvertDepth(p.get(), out.get(), mode, 0), RESULT_EMPTY_REGION) << mode;
    EXPECT_EQ(ConvertDepth(p.get(), nullptr, mode, 0), RESULT_EMPTY_REGION) << mode;
  }
  before.ExpectUnchanged(p.image);
}

TEST(ConvertDepth, KeepsSizeAlignmentAndExtras) {
  Picture p;
  Make(p, PIXEL_RGB, 13, 7, 2, [](int x, int y, int b) { return Noise(x, y, b); });
  p->xDpi = 300;
  p->layout = LAYOUT_BOTTOM_UP;
  for (int mode : {1, 5, 14, 18, 22}) {
    Picture out;
    ASSERT_EQ(ConvertDepth(p.get(), out.get(), mode, 0), RESULT_OK);
    EXPECT_EQ(out->width, 13);
    EXPECT_EQ(out->height, 7);
    EXPECT_EQ(out->rowAlignment, 2);
    EXPECT_EQ(out->xDpi, 300u);
    EXPECT_EQ(out->layout, LAYOUT_BOTTOM_UP);
  }
}

TEST(ConvertDepth, FailedAllocationsLeaveTheSourceUnchanged) {
  if (!QUIVRA_FAILING_ALLOCATOR) GTEST_SKIP() << "allocator cannot be replaced under ASan";
  Picture p;
  Make(p, PIXEL_BGR, 120, 90, 4, [](int x, int y, int b) { return Noise(x, y, b); });
  Snapshot before(p.image);
  for (int mode : {1, 3, 12, 18, 20}) {
    for (int method : {0, 1, 5}) {
      failing_allocator::ExpectNoMemoryOnEachFailure(
          [&] {
            Picture out;
            int r = ConvertDepth(p.get(), out.get(), mode, method);
            failing_allocator::Disarmed check;
            before.ExpectUnchanged(p.image);
            return r;
          },
          std::to_string(mode) + ":" + std::to_string(method));
    }
  }
  // In place too.
  failing_allocator::ExpectNoMemoryOnEachFailure([&] {
    Picture copy;
    {
      failing_allocator::Disarmed setUp;
      EXPECT_EQ(ImageCopy(p.get(), copy.get(), nullptr), RESULT_OK);
    }
    uint8_t* pixels = copy->pixels;
    int r = ConvertDepth(copy.get(), nullptr, 18, 0);
    failing_allocator::Disarmed check;
    if (r != RESULT_OK) {
      EXPECT_EQ(copy->pixels, pixels);
      EXPECT_EQ(copy->pixelType, PIXEL_BGR);
    }
    return r;
  });
}

}  // namespace
