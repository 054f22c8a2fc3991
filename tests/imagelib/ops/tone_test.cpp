// Tone tables, their application to pictures and regions, the negative,
// the luminance histogram, auto levels and auto contrast.
#include "imagelib/ops/tone.h"

#include <gtest/gtest.h>

#include <cmath>
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
  ToneTable t = Table(0, 0, 1.0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(t.level[i], i);
  ToneTable nearOne = Table(0, 0, 1.00005);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(nearOne.level[i], i);
}

TEST(BuildToneTable, BrightnessShiftsAndClamps) {
  ToneTable up = Table(300, 0, 1.0), down = Table(-300, 0, 1.0), some = Table(40, 0, 1.0);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(up.level[i], 255);
    EXPECT_EQ(down.level[i], 0);
    EXPECT_EQ(some.level[i], std::min(255, i + 40));
  }
}

TEST(BuildToneTable, ContrastStretchesAroundTheMiddle) {
  ToneTable hard = Table(0, 127, 1.0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(hard.level[i], i <= 127 ? 0 : 255) << i;
  // Positive contrast 50: (v - 50) x 255 / 155, clamped.
  ToneTable pos = Table(0, 50, 1.0);
  EXPECT_EQ(pos.level[50], 0);
  EXPECT_EQ(pos.level[100], 82);   // 50 x 255 / 155 = 82.2
  EXPECT_EQ(pos.level[205], 255);
  EXPECT_EQ(pos.level[20], 0);
  // Negative contrast -50: 155 v / 255 + 50.
  ToneTable neg = Table(0, -50, 1.0);
  EXPECT_EQ(neg.level[0], 50);
  EXPECT_EQ(neg.level[100], 110);  // 15500 / 255 = 60.8
  EXPECT_EQ(neg.level[255], 205);
}

TEST(BuildToneTable, GammaRaisesByTheInversePower) {
  ToneTable t = Table(0, 0, 2.0);
  EXPECT_EQ(t.level[64], 128);  // trunc(sqrt(64/255) x 255 + 0.5)
  EXPECT_EQ(t.level[0], 0);
  EXPECT_EQ(t.level[255], 255);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(t.level[i], (int)(std::pow(i / 255.0, 0.5) * 255 + 0.5));
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
    for (int i = 0; i < 256; ++i) EXPECT_NEAR(t.level[i], peer[i], 1) << "gamma " << g << " at " << i;
  }
}

TEST(FitToneTableToLevels, MapsOverLevelNumbers) {
  ToneTable negative;
  for (int i = 0; i < 256; ++i) negative.level[i] = (uint8_t)(255 - i);
  Picture grey4;
  Make(grey4, PIXEL_GREY, 2, 2, 1, [](int, int, int) { return 0; });
  grey4->paletteCount = 4;
  ToneTable t = negative;
  FitToneTableToLevels(grey4.get(), &t);
  EXPECT_EQ(t.level[0], 3);
  EXPECT_EQ(t.level[1], 2);
  EXPECT_EQ(t.level[2], 1);
  EXPECT_EQ(t.level[3], 0);
  for (int i = 4; i < 256; ++i) EXPECT_EQ(t.level[i], 0);

  Picture bw;
  Make(bw, PIXEL_BW, 2, 2, 1, [](int, int, int) { return 0; });
  t = negative;
  FitToneTableToLevels(bw.get(), &t);
  EXPECT_EQ(t.level[0], 1);
  EXPECT_EQ(t.level[1], 0);

  Picture rgb;
  Make(rgb, PIXEL_RGB, 2, 2, 1, [](int, int, int) { return 0; });
  t = negative;
  FitToneTableToLevels(rgb.get(), &t);
  EXPECT_EQ(t.level[0], 255);
  EXPECT_EQ(t.level[10], 245);
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
  Picture rgb;
  Make(rgb, PIXEL_RGB, 2, 1, 1, [](int, int, int) { return 9; });
  ASSERT_EQ(ApplyToneTables3(rgb.get(), nullptr, nullptr, &t), RESULT_OK);
  EXPECT_EQ(ImageRow(rgb.get(), 0)[3], 1);
  EXPECT_EQ(ImageRow(rgb.get(), 0)[4], 2);
  EXPECT_EQ(ImageRow(rgb.get(), 0)[5], 3);
  Picture argb;
  Make(argb, PIXEL_ARGB, 1, 1, 1, [](int, int, int) { return 9; });
  ASSERT_EQ(ApplyToneTables3(argb.get(), nullptr, nullptr, &t), RESULT_OK);
  const uint8_t* px = ImageRow(argb.get(), 0);
  EXPECT_EQ(px[0], 9);  // alpha untouched
  EXPECT_EQ(px[1], 1);
  EXPECT_EQ(px[2], 2);
  EXPECT_EQ(px[3], 3);
  // Grey levels below 256 are not fitted by the three-table form.
  Picture grey;
  Make(grey, PIXEL_GREY, 1, 1, 1, [](int, int, int) { return 2; });
  grey->paletteCount = 4;
  ASSERT_EQ(ApplyToneTables3(grey.get(), nullptr, nullptr, &t), RESULT_OK);
  EXPECT_EQ(ImageRow(grey.get(), 0)[0], 1);
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
  const uint8_t* row = ImageRow(g.get(), 0);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(row[1], 2);
  EXPECT_EQ(row[2], 3);
  EXPECT_EQ(row[3], 3);
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
  for (uint32_t type : {PIXEL_RGB, PIXEL_BGR, PIXEL_RGBA, PIXEL_ABGR, PIXEL_BGRA, PIXEL_ARGB}) {
    Picture p;
    ASSERT_EQ(ImageCreate(p.get(), type, 1, 3, 1), 1);
    const int pos[6][3] = {{0, 1, 2}, {2, 1, 0}, {0, 1, 2}, {3, 2, 1}, {2, 1, 0}, {1, 2, 3}};
    const int k = type == PIXEL_RGB ? 0 : type == PIXEL_BGR ? 1 : type == PIXEL_RGBA ? 2
                : type == PIXEL_ABGR ? 3 : type == PIXEL_BGRA ? 4 : 5;
    for (int x = 0; x < 3; ++x) {
      uint8_t* px = ImageRow(p.get(), 0) + x * p->bytesPerPixel;
      px[pos[k][0]] = 100;
      px[pos[k][1]] = 50;
      px[pos[k][2]] = 200;
    }
    Histogram h;
    LuminanceHistogram(p.get(), &h);
    // (150 x 50 + 77 x 100 + 29 x 200) >> 8 = 82
    EXPECT_EQ(h.count[82], 3u) << "type " << type;
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

TEST(AutoContrast, UsesTheSpanOfTheLuminance) {
  // Grey spanning 50 to 200: brightness 128 - 125 = 3, contrast
  // (50 - 200 + 255) / 2 = 52.
  Picture p;
  Make(p, PIXEL_RGB, 151, 4, 4, [](int x, int, int) { return 50 + x; });
  Picture expected;
  ASSERT_EQ(AdjustTone(p.get(), expected.get(), nullptr, 3, 52, 1.0), RESULT_OK);
  ASSERT_EQ(AutoContrast(p.get(), nullptr, nullptr), RESULT_OK);
  EXPECT_EQ(RowBytes(p.image), RowBytes(expected.image));
  // And the ends came out near black and white.
  EXPECT_LE(ImageRow(p.get(), 0)[0], 5);
  EXPECT_GE(ImageRow(p.get(), 0)[150 * 3], 250);
}

TEST(AutoContrast, IgnoresOutliersUpToTheCutCount) {
  // 2000 pixels: cut count 2. Two pixels at 0 and two at 255 do not move
  // the span 100..150 of the others.
  Picture p;
  Make(p, PIXEL_GREY, 100, 20, 4, [](int x, int y, int) {
    if (y == 0 && x < 2) return 0;
    if (y == 0 && x < 4) return 255;
    return 100 + (x + y) % 51;
  });
  Picture expected;
  ASSERT_EQ(AdjustTone(p.get(), expected.get(), nullptr, 128 - 125, (100 - 150 + 255) / 2, 1.0),
            RESULT_OK);
  ASSERT_EQ(AutoContrast(p.get(), nullptr, nullptr), RESULT_OK);
  EXPECT_EQ(RowBytes(p.image), RowBytes(expected.image));
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
  EXPECT_EQ(ImageRow(p.get(), 0)[0], 0);
  EXPECT_EQ(ImageRow(p.get(), 0)[3], 255);
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
    int failures = failing_allocator::ForEachFailingAllocation(
        [&] {
          Picture out;
          int r = op(p.get(), out.get());
          failing_allocator::Disarmed check;
          if (r != RESULT_OK) {
            EXPECT_EQ(out->pixels, nullptr);
          }
          return r;
        },
        [&](int result) { EXPECT_EQ(result, RESULT_NO_MEMORY); });
    EXPECT_GE(failures, 1);
    before.ExpectUnchanged(p.image);
  }
}

}  // namespace
