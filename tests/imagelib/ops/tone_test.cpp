// Tone tables, their application to pictures and regions, the negative,
// the luminance histogram, auto levels and auto contrast.
#include "imagelib/ops/tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/imagelib/ops/failing_allocator.h"
#include "tests/imagelib/ops/picture_fixtures.h"
#include "tests/support/test_support.h"

using namespace ops_test;

namespace {

ToneTable Table(int brightness, int contrast, double gamma) {
  ToneTable t;
  BuildToneTable(&t, brightness, contrast, gamma);
  return t;
}

// ---------------------------------------------------------------------------
// Tables

TEST(BuildToneTable, NeutralSettingsAreTheIdentity) {
  for (double gamma : {1.0, 1.00005}) {
    ToneTable t = Table(0, 0, gamma);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t.level[i], i) << "gamma " << gamma;
  }
}

// Levels worked out by hand from the settings.
TEST(BuildToneTable, WorkedExamples) {
  struct Case {
    const char* name;
    int brightness, contrast;
    double gamma;
    std::vector<std::pair<int, int>> levels;  // input, output
  };
  const Case cases[] = {
      {"brightness +300 clamps to white", 300, 0, 1.0, {{0, 255}, {128, 255}, {255, 255}}},
      {"brightness -300 clamps to black", -300, 0, 1.0, {{0, 0}, {128, 0}, {255, 0}}},
      {"brightness +40 shifts and clamps", 40, 0, 1.0,
       {{0, 40}, {100, 140}, {215, 255}, {230, 255}}},
      {"contrast 127 is a threshold", 0, 127, 1.0, {{0, 0}, {127, 0}, {128, 255}, {255, 255}}},
      // (v - 50) x 255 / 155, clamped: 50 x 255 / 155 = 82.2.
      {"contrast +50 stretches", 0, 50, 1.0, {{20, 0}, {50, 0}, {100, 82}, {205, 255}}},
      // 155 v / 255 + 50: 15500 / 255 = 60.8.
      {"contrast -50 narrows", 0, -50, 1.0, {{0, 50}, {100, 110}, {255, 205}}},
      // trunc(sqrt(64 / 255) x 255 + 0.5) = 128.
      {"gamma 2 raises by the inverse power", 0, 0, 2.0, {{0, 0}, {64, 128}, {255, 255}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToneTable t = Table(c.brightness, c.contrast, c.gamma);
    for (auto [in, out] : c.levels) EXPECT_EQ(t.level[in], out) << "at " << in;
  }
}

TEST(BuildToneTable, GammaMatchesImageMagick) {
  if (!testing_support::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  testing_support::TempDir dir;
  std::vector<uint8_t> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[i] = (uint8_t)i;
  testing_support::WriteFileBytes(dir.File("ramp.gray"), ramp);
  for (double g : {0.5, 1.8, 2.2}) {
    std::string cmd = "convert -size 256x1 -depth 8 gray:" + dir.File("ramp.gray") + " -gamma " +
                      std::to_string(g) + " -depth 8 gray:" + dir.File("out.gray");
    ASSERT_EQ(testing_support::RunCommand(cmd), 0);
    std::vector<uint8_t> peer = testing_support::ReadFileBytes(dir.File("out.gray"));
    ASSERT_EQ(peer.size(), 256u);
    ToneTable t = Table(0, 0, g);
    for (int i = 0; i < 256; ++i)
      EXPECT_NEAR(t.level[i], peer[i], 1) << "gamma " << g << " at " << i;
  }
}

TEST(FitToneTableToLevels, MapsOverLevelNumbers) {
  ToneTable negative;
  for (int i = 0; i < 256; ++i) negative.level[i] = (uint8_t)(255 - i);
  struct Case { const char* name; uint32_t type; int paletteCount; std::vector<int> levels; };
  std::vector<int> grey4(256, 0);  // levels past the fourth are unused: 0
  grey4[0] = 3, grey4[1] = 2, grey4[2] = 1;
  const Case cases[] = {{"four grey levels", PIXEL_GREY, 4, grey4},
                        {"bits", PIXEL_BW, 0, {1, 0}},
                        {"direct colour keeps the table", PIXEL_RGB, 0, {255, 254, 253}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    Make(p, c.type, 2, 2, 1, [](int, int, int) { return 0; });
    if (c.paletteCount) p->paletteCount = c.paletteCount;
    ToneTable t = negative;
    FitToneTableToLevels(p.get(), &t);
    EXPECT_EQ(std::vector<int>(t.level, t.level + c.levels.size()), c.levels);
  }
}

// ---------------------------------------------------------------------------
// Applying tables

TEST(ApplyToneTable, ChangesColourBytesInsideTheRegionOnly) {
  ToneTable plus = Table(10, 0, 1.0);
  for (uint32_t type : {PIXEL_GREY, PIXEL_RGB, PIXEL_BGR, PIXEL_RGBA, PIXEL_BGRA, PIXEL_ARGB,
                        PIXEL_ABGR}) {
    Picture p;
    Make(p, type, 8, 6, 4, [](int x, int y, int b) { return 100 + x + y + b; });
    Rect region{2, 1, 3, 4};
    ASSERT_EQ(ApplyToneTable(p.get(), nullptr, &region, &plus), RESULT_OK);
    const int n = p->bytesPerPixel;
    const int alpha = (type == PIXEL_ARGB || type == PIXEL_ABGR) ? 0 : n == 4 ? 3 : -1;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x)
        for (int b = 0; b < n; ++b) {
          const bool inside = x >= 2 && x < 5 && y >= 1 && y < 5;
          const int original = 100 + x + y + b;
          const int expected = inside && b != alpha ? original + 10 : original;
          ASSERT_EQ(ImageRow(p.get(), y)[x * n + b], expected)
              << "type " << type << " at " << x << "," << y << " byte " << b;
        }
  }
}

TEST(ApplyToneTable, IndexedPicturesChangeTheirPaletteNotTheirPixels) {
  Picture p;
  Make(p, PIXEL_INDEXED, 4, 4, 4, [](int x, int, int) { return x; });
  for (int i = 0; i < 256; ++i) SetPalette(p.image, i, 100, 50, 20);
  p->paletteCount = 3;
  std::vector<uint8_t> pixels = RowBytes(p.image);
  ToneTable neg = Table(0, 0, 1.0);
  for (int i = 0; i < 256; ++i) neg.level[i] = (uint8_t)(255 - i);
  ASSERT_EQ(ApplyToneTable(p.get(), nullptr, nullptr, &neg), RESULT_OK);
  EXPECT_EQ(RowBytes(p.image), pixels);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p->palette[i], 155);
    EXPECT_EQ(p->palette[256 + i], 205);
    EXPECT_EQ(p->palette[512 + i], 235);
  }
  EXPECT_EQ(p->palette[3], 100);  // past paletteCount
}

TEST(ApplyToneTables3, UsesOneTablePerColourByte) {
  ToneTables3 t;
  for (int i = 0; i < 256; ++i) {
    t.table[0].level[i] = 1;
    t.table[1].level[i] = 2;
    t.table[2].level[i] = 3;
  }
  // Grey levels below 256 are not fitted by the three-table form.
  struct Case { const char* name; uint32_t type; int paletteCount; std::vector<int> row; };
  const Case cases[] = {{"RGB", PIXEL_RGB, 0, {1, 2, 3}},
                        {"ARGB: alpha untouched", PIXEL_ARGB, 0, {9, 1, 2, 3}},
                        {"grey of four levels", PIXEL_GREY, 4, {1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    Make(p, c.type, 1, 1, 1, [](int, int, int) { return 9; });
    if (c.paletteCount) p->paletteCount = c.paletteCount;
    ASSERT_EQ(ApplyToneTables3(p.get(), nullptr, nullptr, &t), RESULT_OK);
    EXPECT_EQ(Row(p, 0), c.row);
  }
}

TEST(ApplyToneTable, DestinationGetsTheChangedCopy) {
  Picture p;
  Make(p, PIXEL_RGB, 5, 5, 4, [](int x, int y, int b) { return Noise(x, y, b) / 2; });
  p->xDpi = 96;
  Snapshot before(p.image);
  Picture out;
  ToneTable plus = Table(20, 0, 1.0);
  Rect region{1, 1, 2, 2};
  ASSERT_EQ(ApplyToneTable(p.get(), out.get(), &region, &plus), RESULT_OK);
  before.ExpectUnchanged(p.image);
  EXPECT_EQ(out->xDpi, 96u);
  EXPECT_EQ(ImageRow(out.get(), 1)[3], ImageRow(p.get(), 1)[3] + 20);
  EXPECT_EQ(ImageRow(out.get(), 0)[0], ImageRow(p.get(), 0)[0]);
}

TEST(ApplyToneTable, EmptyRegionGives16AndChangesNothing) {
  Picture p;
  Make(p, PIXEL_RGB, 5, 5, 4, [](int x, int y, int b) { return Noise(x, y, b); });
  Snapshot before(p.image);
  ToneTable plus = Table(20, 0, 1.0);
  Rect outside{5, 0, 3, 3};
  EXPECT_EQ(ApplyToneTable(p.get(), nullptr, &outside, &plus), RESULT_EMPTY_REGION);
  EXPECT_EQ(AdjustTone(p.get(), nullptr, &outside, 10, 0, 1.0), RESULT_EMPTY_REGION);
  EXPECT_EQ(Negative(p.get(), nullptr, &outside), RESULT_EMPTY_REGION);
  Rect flat{0, 0, 3, 0};
  EXPECT_EQ(Negative(p.get(), nullptr, &flat), RESULT_EMPTY_REGION);
  before.ExpectUnchanged(p.image);
}

// ---------------------------------------------------------------------------
// AdjustTone and Negative

TEST(AdjustTone, RefusesBitPictures) {
  Picture bw;
  Make(bw, PIXEL_BW, 9, 3, 1, [](int x, int, int) { return x & 1; });
  Snapshot before(bw.image);
  EXPECT_EQ(AdjustTone(bw.get(), nullptr, nullptr, 50, 0, 1.0), RESULT_NOT_POSSIBLE);
  EXPECT_EQ(AutoLevels(bw.get(), nullptr, nullptr), RESULT_NOT_POSSIBLE);
  EXPECT_EQ(AutoContrast(bw.get(), nullptr, nullptr), RESULT_NOT_POSSIBLE);
  before.ExpectUnchanged(bw.image);
}

TEST(AdjustTone, GreyWithFewLevelsIsAdjustedInLevelUnits) {
  // 4 levels (0, 85, 170, 255); brightness +90 moves 0 -> 90 -> level 1,
  // 85 -> 175 -> level 2, 170 -> 255 -> level 3.
  Picture g;
  Make(g, PIXEL_GREY, 4, 1, 1, [](int x, int, int) { return x; });
  g->paletteCount = 4;
  ASSERT_EQ(AdjustTone(g.get(), nullptr, nullptr, 90, 0, 1.0), RESULT_OK);
  EXPECT_EQ(Row(g, 0), (std::vector<int>{1, 2, 3, 3}));
}

TEST(Negative, InvertsBitsOfTheRegion) {
  Picture bw;
  Make(bw, PIXEL_BW, 12, 4, 4, [](int x, int y, int) { return (x + y) & 1; });
  Rect region{3, 1, 6, 2};
  ASSERT_EQ(Negative(bw.get(), nullptr, &region), RESULT_OK);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 3 && x < 9 && y >= 1 && y < 3;
      EXPECT_EQ(GetBit(ImageRow(bw.get(), y), x), ((x + y) & 1) ^ (inside ? 1 : 0));
    }
}

TEST(Negative, MatchesImageMagickNegate) {
  if (!testing_support::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  testing_support::TempDir dir;
  Picture p;
  Make(p, PIXEL_RGB, 16, 16, 1, [](int x, int y, int b) { return Noise(x, y, b); });
  testing_support::WriteFileBytes(dir.File("in.rgb"), RowBytes(p.image));
  ASSERT_EQ(testing_support::RunCommand("convert -size 16x16 -depth 8 rgb:" + dir.File("in.rgb") +
                                        " -negate rgb:" + dir.File("out.rgb")),
            0);
  ASSERT_EQ(Negative(p.get(), nullptr, nullptr), RESULT_OK);
  EXPECT_EQ(RowBytes(p.image), testing_support::ReadFileBytes(dir.File("out.rgb")));
}

// ---------------------------------------------------------------------------
// Histogram and the automatic corrections

TEST(LuminanceHistogram, CountsWeightedLuminanceFromEachLayout) {
  struct Layout { uint32_t type; int r, g, b; };  // byte positions
  for (Layout l : {Layout{PIXEL_RGB, 0, 1, 2}, Layout{PIXEL_BGR, 2, 1, 0},
                   Layout{PIXEL_RGBA, 0, 1, 2}, Layout{PIXEL_ABGR, 3, 2, 1},
                   Layout{PIXEL_BGRA, 2, 1, 0}, Layout{PIXEL_ARGB, 1, 2, 3}}) {
    SCOPED_TRACE("type " + std::to_string(l.type));
    Picture p;
    Make(p, l.type, 3, 1, 1, [&](int, int, int b) {
      return b == l.r ? 100 : b == l.g ? 50 : b == l.b ? 200 : 0;
    });
    Histogram h;
    LuminanceHistogram(p.get(), &h);
    // (150 x 50 + 77 x 100 + 29 x 200) >> 8 = 82
    EXPECT_EQ(h.count[82], 3u);
    uint32_t total = 0;
    for (uint32_t c : h.count) total += c;
    EXPECT_EQ(total, 3u);
  }
  Picture grey;
  Make(grey, PIXEL_GREY, 5, 2, 4, [](int x, int, int) { return x * 10; });
  Histogram h;
  LuminanceHistogram(grey.get(), &h);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(h.count[x * 10], 2u);
}

// Auto contrast is the tone adjustment of the luminance span: brightness
// 128 - (low + high) / 2, contrast (low - high + 255) / 2.
TEST(AutoContrast, UsesTheSpanOfTheLuminanceIgnoringOutliers) {
  struct Case {
    const char* name;
    uint32_t type;
    int width, height;
    std::function<int(int, int, int)> fill;
    int brightness, contrast;
  };
  const Case cases[] = {
      {"grey spanning 50 to 200", PIXEL_RGB, 151, 4, [](int x, int, int) { return 50 + x; }, 3,
       52},
      // 2000 pixels: cut count 2. Two pixels at 0 and two at 255 do not
      // move the span 100..150 of the others.
      {"outliers up to the cut count", PIXEL_GREY, 100, 20,
       [](int x, int y, int) {
         if (y == 0 && x < 2) return 0;
         if (y == 0 && x < 4) return 255;
         return 100 + (x + y) % 51;
       },
       3, 102}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    Make(p, c.type, c.width, c.height, 4, c.fill);
    Picture expected;
    ASSERT_EQ(AdjustTone(p.get(), expected.get(), nullptr, c.brightness, c.contrast, 1.0),
              RESULT_OK);
    ASSERT_EQ(AutoContrast(p.get(), nullptr, nullptr), RESULT_OK);
    const std::vector<uint8_t> bytes = RowBytes(p.image);
    EXPECT_EQ(bytes, RowBytes(expected.image));
    // And the span came out near black and white.
    EXPECT_LE(*std::min_element(bytes.begin(), bytes.end()), 5);
    EXPECT_GE(*std::max_element(bytes.begin(), bytes.end()), 250);
  }
}

TEST(AutoLevels, StretchesEachChannelToItsSpan) {
  // Red spans 50..200, green 0..255 (unchanged), blue 10..60.
  Picture p;
  Make(p, PIXEL_BGR, 151, 2, 4, [](int x, int, int b) {
    if (b == 2) return 50 + x;             // red
    if (b == 1) return x * 255 / 150;      // green
    return 10 + x / 3;                     // blue
  });
  ASSERT_EQ(AutoLevels(p.get(), nullptr, nullptr), RESULT_OK);
  for (int x = 0; x <= 150; ++x) {
    const uint8_t* px = ImageRow(p.get(), 1) + x * 3;
    EXPECT_EQ(px[2], x * 255 / 150) << x;
    EXPECT_EQ(px[1], x * 255 / 150) << x;
    EXPECT_EQ(px[0], (x / 3) * 255 / 50) << x;
  }
}

TEST(AutoLevels, FlatColourIsLeftAlone) {
  for (uint32_t type : {PIXEL_RGB, PIXEL_GREY, PIXEL_ARGB}) {
    Picture p;
    Make(p, type, 30, 30, 4, [](int, int, int b) { return 77 + b; });
    std::vector<uint8_t> bytes = RowBytes(p.image);
    ASSERT_EQ(AutoLevels(p.get(), nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(RowBytes(p.image), bytes);
    ASSERT_EQ(AutoContrast(p.get(), nullptr, nullptr), RESULT_OK);
  }
}

TEST(AutoLevels, RegionLimitsTheChangeButNotTheCounting) {
  Picture p;
  Make(p, PIXEL_GREY, 100, 1, 1, [](int x, int, int) { return 100 + x; });  // 100..199
  Rect left{0, 0, 10, 1};
  ASSERT_EQ(AutoLevels(p.get(), nullptr, &left), RESULT_OK);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(ImageRow(p.get(), 0)[x], x * 255 / 99);
  for (int x = 10; x < 100; ++x) EXPECT_EQ(ImageRow(p.get(), 0)[x], 100 + x);
}

TEST(AutoLevels, GreyWithFewLevelsEndsWith256) {
  Picture p;
  Make(p, PIXEL_GREY, 4, 4, 1, [](int x, int, int) { return x < 2 ? 1 : 2; });
  p->paletteCount = 4;
  ASSERT_EQ(AutoLevels(p.get(), nullptr, nullptr), RESULT_OK);
  EXPECT_EQ(p->paletteCount, 256);
  EXPECT_EQ(Row(p, 0), (std::vector<int>{0, 0, 255, 255}));
}

TEST(AutoLevels, PalettePicturesStretchTheColoursTheyShow) {
  Picture p;
  Make(p, PIXEL_INDEXED, 10, 10, 4, [](int x, int, int) { return x < 5 ? 7 : 9; });
  SetPalette(p.image, 7, 60, 60, 60);
  SetPalette(p.image, 9, 180, 120, 60);
  SetPalette(p.image, 0, 255, 255, 255);  // unused entries do not count
  ASSERT_EQ(AutoLevels(p.get(), nullptr, nullptr), RESULT_OK);
  EXPECT_EQ(p->palette[7], 0);
  EXPECT_EQ(p->palette[9], 255);
  EXPECT_EQ(p->palette[256 + 7], 0);
  EXPECT_EQ(p->palette[256 + 9], 255);
  EXPECT_EQ(p->palette[512 + 7], 60);  // flat blue: unchanged
}

TEST(ToneMemory, NoMemoryForTheDestinationLeavesItEmpty) {
  if (!QUIVRA_FAILING_ALLOCATOR) GTEST_SKIP() << "allocator cannot be replaced under ASan";
  Picture p;
  Make(p, PIXEL_RGB, 64, 64, 4, [](int x, int y, int b) { return Noise(x, y, b); });
  Snapshot before(p.image);
  using Op = std::function<int(Image*, Image*)>;
  const std::vector<Op> ops = {
      [](Image* s, Image* d) { return Negative(s, d, nullptr); },
      [](Image* s, Image* d) { return AdjustTone(s, d, nullptr, 5, 5, 1.2); },
      [](Image* s, Image* d) { return AutoLevels(s, d, nullptr); },
      [](Image* s, Image* d) { return AutoContrast(s, d, nullptr); },
  };
  for (const Op& op : ops) {
    failing_allocator::ExpectNoMemoryOnEachFailure([&] {
      Picture out;
      int r = op(p.get(), out.get());
      failing_allocator::Disarmed check;
      if (r != RESULT_OK) {
        EXPECT_EQ(out->pixels, nullptr);
      }
      return r;
    });
    before.ExpectUnchanged(p.image);
  }
}

}  // namespace
