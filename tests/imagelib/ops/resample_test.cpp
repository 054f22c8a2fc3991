// Resampling: nearest-neighbour resize, area-weighted resize and the
// smoothing reduction, checked on pictures whose results can be worked out
// by hand and against Pillow's box filter.
#include "imagelib/ops/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/imagelib/ops/failing_allocator.h"
#include "tests/imagelib/ops/picture_fixtures.h"
#include "tests/support/test_support.h"

using namespace ops_test;
using testing_support::TempDir;

namespace {

// ---------------------------------------------------------------------------
// ResizeFast

TEST(ResizeFast, FourByOneToTwoByOneKeepsColumnsZeroAndTwo) {
  for (uint32_t type : {PIXEL_GREY, PIXEL_RGB, PIXEL_RGBA, PIXEL_INDEXED}) {
    Picture p;
    Make(p, type, 4, 1, 4, [](int x, int, int b) { return x * 40 + b + 1; });
    ASSERT_EQ(ResizeFast(p.get(), nullptr, 2, 1), RESULT_OK);
    ASSERT_EQ(p->width, 2);
    ASSERT_EQ(p->pixelType, type);
    std::vector<int> columns02;
    for (int x : {0, 2})
      for (int b = 0; b < p->bytesPerPixel; ++b) columns02.push_back(x * 40 + b + 1);
    EXPECT_EQ(Row(p, 0), columns02) << "type " << type;
  }
  Picture bw;
  Make(bw, PIXEL_BW, 4, 1, 1, [](int x, int, int) { return x == 0 || x == 3; });  // 1 0 0 1
  ASSERT_EQ(ResizeFast(bw.get(), nullptr, 2, 1), RESULT_OK);
  EXPECT_EQ(Row(bw, 0), (std::vector<int>{1, 0}));
}

TEST(ResizeFast, PicksRowsAndColumnsByIntegerScaling) {
  Picture p;
  Make(p, PIXEL_GREY, 7, 5, 1, [](int x, int y, int) { return y * 16 + x; });
  Picture out;
  ASSERT_EQ(ResizeFast(p.get(), out.get(), 3, 4), RESULT_OK);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(ImageRow(out.get(), y)[x], (5 * y / 4) * 16 + 7 * x / 3);
}

TEST(ResizeFast, EnlargesBitPicturesBitByBit) {
  Picture bw;
  Make(bw, PIXEL_BW, 3, 2, 4, [](int x, int y, int) { return (x + y) & 1; });
  Picture out;
  ASSERT_EQ(ResizeFast(bw.get(), out.get(), 37, 5), RESULT_OK);
  EXPECT_EQ(out->pixelType, PIXEL_BW);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x)
      EXPECT_EQ(GetBit(ImageRow(out.get(), y), x), ((3 * x / 37) + (2 * y / 5)) & 1);
  // Fill bits past the width stay clear.
  EXPECT_EQ(ImageRow(out.get(), 0)[4] & 0x07, 0);
}

TEST(ResizeFast, DestinationLeavesSourceAndCopiesExtras) {
  Picture p;
  Make(p, PIXEL_INDEXED, 5, 5, 4, [](int x, int y, int) { return (x * y) % 3; });
  SetPalette(p.image, 1, 10, 20, 30);
  p->transparentIndex = 2;
  p->paletteCount = 3;
  p->xDpi = 300;
  p->layout = LAYOUT_BOTTOM_UP;
  Snapshot before(p.image);
  Picture out;
  ASSERT_EQ(ResizeFast(p.get(), out.get(), 10, 2), RESULT_OK);
  before.ExpectUnchanged(p.image);
  EXPECT_EQ(out->rowAlignment, 4);
  EXPECT_EQ(out->paletteCount, 3);
  EXPECT_EQ(out->transparentIndex, 2);
  EXPECT_EQ(out->xDpi, 300u);
  EXPECT_EQ(out->layout, LAYOUT_BOTTOM_UP);
  EXPECT_EQ(out->palette[1], 10);
  EXPECT_EQ(out->palette[512 + 1], 30);
}

// ---------------------------------------------------------------------------
// Resize (area-weighted)

TEST(Resize, SameSizeReproducesEveryByte) {
  for (uint32_t type : {PIXEL_GREY, PIXEL_RGB, PIXEL_BGR, PIXEL_RGBA, PIXEL_ARGB}) {
    Picture p;
    MakeNoise(p, type, 13, 9, 4);
    Picture out;
    ASSERT_EQ(Resize(p.get(), out.get(), 13, 9, 0), RESULT_OK);
    EXPECT_EQ(RowBytes(out.image), RowBytes(p.image)) << "type " << type;
  }
  // The extremes survive too: 255 must not become 254 by truncation.
  Picture white;
  Make(white, PIXEL_RGB, 6, 6, 1, [](int, int, int) { return 255; });
  ASSERT_EQ(Resize(white.get(), nullptr, 6, 6, 0), RESULT_OK);
  for (uint8_t v : RowBytes(white.image)) ASSERT_EQ(v, 255);
}

TEST(Resize, IndexedPicturesKeepPaletteAndPickPixels) {
  Picture p;
  Make(p, PIXEL_INDEXED, 9, 7, 4, [](int x, int y, int) { return (x + 2 * y) % 4 * 60; });
  for (int i = 0; i < 256; ++i) SetPalette(p.image, i, i, 255 - i, i / 2);
  std::vector<uint8_t> palette(p->palette, p->palette + 1024);
  ASSERT_EQ(Resize(p.get(), nullptr, 5, 11, 0), RESULT_OK);
  EXPECT_EQ(p->pixelType, PIXEL_INDEXED);
  EXPECT_TRUE(std::equal(palette.begin(), palette.end(), p->palette));
  for (uint8_t v : RowBytes(p.image)) EXPECT_TRUE(v == 0 || v == 60 || v == 120 || v == 180);
}

// Grey pictures whose results are worked out by hand.
TEST(Resample, WorkedGreyExamples) {
  using Op = int (*)(Image*, int, int);
  const Op resize = [](Image* i, int w, int h) { return Resize(i, nullptr, w, h, 0); };
  const Op pick = [](Image* i, int w, int h) { return Resize(i, nullptr, w, h, 2); };
  const Op smooth = [](Image* i, int w, int h) { return ReduceSmooth(i, nullptr, w, h, 0); };
  struct Case {
    const char* name;
    Op op;
    int w, h;
    std::vector<int> pixels;
    int tw, th;
    std::vector<std::vector<int>> rows;
  };
  const Case cases[] = {
      // The first target pixel ends half way into pixel 0 (blend 50), the
      // second on its end (the neighbour, 100); the last source pixel has
      // no neighbour but itself.
      {"enlarging blends towards the next pixel", resize, 2, 1, {0, 100}, 4, 1,
       {{50, 100, 100, 100}}},
      // Target (0, 0) is the bilinear blend at fractions (0.5, 0.5) = 100;
      // (1, 0) at fractions 1 and 0.5; (1, 1) the diagonal neighbour.
      {"enlarging both axes blends four neighbours", resize, 2, 2, {0, 100, 100, 200}, 4, 4,
       {{100, 150, 150, 150}, {150, 200, 200, 200}, {150, 200, 200, 200}, {150, 200, 200, 200}}},
      // [0 .. 1.5] holds 0 and half of 90: (0 + 45) / 1.5 = 30, and
      // (45 + 180) / 1.5 = 150.
      {"reducing averages covered areas", resize, 3, 1, {0, 90, 180}, 2, 1, {{30, 150}}},
      {"method two picks", pick, 4, 1, {0, 50, 100, 150}, 2, 1, {{0, 100}}},
      {"smoothing splits columns by their covered share", smooth, 3, 1, {0, 90, 180}, 2, 1,
       {{30, 150}}},
      {"smoothing splits rows the same way", smooth, 1, 3, {0, 90, 180}, 1, 2, {{30}, {150}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture p;
    Make(p, PIXEL_GREY, c.w, c.h, 1, [&](int x, int y, int) { return c.pixels[y * c.w + x]; });
    ASSERT_EQ(c.op(p.get(), c.tw, c.th), RESULT_OK);
    ASSERT_EQ(p->width, c.tw);
    ASSERT_EQ(p->height, c.th);
    for (int y = 0; y < c.th; ++y) EXPECT_EQ(Row(p, y), c.rows[y]) << "row " << y;
  }
}

TEST(Resize, MatchesImageMagickAreaScalingWhenReducing) {
  // ImageMagick's -scale averages the exact covered areas, as we do; it
  // rounds where we truncate, so the two may differ by one.
  if (!testing_support::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  struct Case { int w, h, tw, th; };
  for (Case c : {Case{61, 47, 23, 19}, Case{64, 64, 16, 16}, Case{50, 9, 49, 2}}) {
    Picture p;
    MakeNoise(p, PIXEL_RGB, c.w, c.h, 1);
    testing_support::WriteFileBytes(dir.File("in.rgb"), RowBytes(p.image));
    const std::string cmd = "convert -size " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                            " -depth 8 rgb:" + dir.File("in.rgb") + " -scale " +
                            std::to_string(c.tw) + "x" + std::to_string(c.th) + "! rgb:" +
                            dir.File("out.rgb");
    ASSERT_EQ(testing_support::RunCommand(cmd), 0) << cmd;
    std::vector<uint8_t> peer = testing_support::ReadFileBytes(dir.File("out.rgb"));
    ASSERT_EQ(peer.size(), (size_t)c.tw * c.th * 3);
    ASSERT_EQ(Resize(p.get(), nullptr, c.tw, c.th, 0), RESULT_OK);
    std::vector<uint8_t> ours = RowBytes(p.image);
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - peer[i]));
    EXPECT_LE(worst, 1) << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th;
  }
}

TEST(Resize, BitPicturesPick) {
  Picture bw;
  Make(bw, PIXEL_BW, 8, 8, 1, [](int x, int, int) { return x & 1; });
  ASSERT_EQ(Resize(bw.get(), nullptr, 4, 4, 0), RESULT_OK);
  EXPECT_EQ(bw->pixelType, PIXEL_BW);
  EXPECT_EQ(Row(bw, 0), (std::vector<int>{0, 0, 0, 0}));  // even columns only
}

TEST(Resize, TargetSideBelowOneChangesNothing) {
  Picture p;
  MakeNoise(p, PIXEL_RGB, 4, 4, 4);
  Snapshot before(p.image);
  EXPECT_EQ(Resize(p.get(), nullptr, 0, 4, 0), RESULT_EMPTY_REGION);
  EXPECT_EQ(Resize(p.get(), nullptr, 4, -1, 0), RESULT_EMPTY_REGION);
  EXPECT_EQ(ResizeFast(p.get(), nullptr, 0, 0), RESULT_EMPTY_REGION);
  EXPECT_EQ(ReduceSmooth(p.get(), nullptr, 0, 1, 0), RESULT_EMPTY_REGION);
  before.ExpectUnchanged(p.image);
}

// ---------------------------------------------------------------------------
// ReduceSmooth

TEST(ReduceSmooth, TwoColourCheckerboardReducesToItsMean) {
  struct Case { int w, h, tw, th; };
  for (Case c : {Case{64, 48, 32, 24}, Case{64, 64, 16, 16}, Case{640, 480, 160, 120},
                 Case{1024, 512, 8, 4}, Case{90, 90, 45, 30}}) {
    for (uint32_t type : {PIXEL_RGB, PIXEL_BGRA, PIXEL_GREY}) {
      Picture p;
      Make(p, type, c.w, c.h, 4, [](int x, int y, int b) {
        return ((x + y) & 1) ? 200 - b * 10 : 20 + b * 30;
      });
      ASSERT_EQ(ReduceSmooth(p.get(), nullptr, c.tw, c.th, 0), RESULT_OK);
      ASSERT_EQ(p->width, c.tw);
      ASSERT_EQ(p->height, c.th);
      ASSERT_EQ(p->pixelType, type);
      for (int y = 0; y < c.th; ++y) {
        const uint8_t* row = ImageRow(p.get(), y);
        for (int x = 0; x < c.tw; ++x)
          for (int b = 0; b < p->bytesPerPixel; ++b) {
            double mean = ((200 - b * 10) + (20 + b * 30)) / 2.0;
            ASSERT_NEAR(row[x * p->bytesPerPixel + b], mean, 1.0)
                << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th << " at " << x << "," << y;
          }
      }
    }
  }
}

TEST(ReduceSmooth, IndexedGivesDirectColourInTheAskedOrder) {
  Picture p;
  Make(p, PIXEL_INDEXED, 8, 8, 4, [](int x, int, int) { return x < 4 ? 1 : 2; });
  SetPalette(p.image, 1, 200, 100, 10);
  SetPalette(p.image, 2, 40, 80, 120);
  Picture rgb, bgr;
  ASSERT_EQ(ReduceSmooth(p.get(), rgb.get(), 2, 2, 0), RESULT_OK);
  ASSERT_EQ(ReduceSmooth(p.get(), bgr.get(), 2, 2, 1), RESULT_OK);
  EXPECT_EQ(rgb->pixelType, PIXEL_RGB);
  EXPECT_EQ(bgr->pixelType, PIXEL_BGR);
  EXPECT_EQ(rgb->palette, nullptr);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(Row(rgb, y), (std::vector<int>{200, 100, 10, 40, 80, 120}));
    EXPECT_EQ(Row(bgr, y), (std::vector<int>{10, 100, 200, 120, 80, 40}));
  }
  EXPECT_EQ(p->pixelType, PIXEL_INDEXED);  // the source stayed
}

TEST(ReduceSmooth, BitPicturesOnlyReduceAndBecomeGrey) {
  Picture bw;
  Make(bw, PIXEL_BW, 16, 16, 4, [](int x, int y, int) { return (x + y) & 1; });
  Snapshot before(bw.image);
  EXPECT_EQ(ReduceSmooth(bw.get(), nullptr, 32, 32, 0), RESULT_EMPTY_REGION);
  EXPECT_EQ(ReduceSmooth(bw.get(), nullptr, 16, 8, 0), RESULT_EMPTY_REGION);
  EXPECT_EQ(ReduceSmooth(bw.get(), nullptr, 8, 17, 0), RESULT_EMPTY_REGION);
  before.ExpectUnchanged(bw.image);
  ASSERT_EQ(ReduceSmooth(bw.get(), nullptr, 8, 8, 0), RESULT_OK);
  EXPECT_EQ(bw->pixelType, PIXEL_GREY);
  EXPECT_EQ(bw->paletteCount, 256);
  for (uint8_t v : RowBytes(bw.image)) EXPECT_NEAR(v, 127.5, 1.0);
}

TEST(ReduceSmooth, WideBitReductionAveragesAreas) {
  // A horizontal ratio of 10 or more takes the area sum: 120 x 20 with the
  // left quarter white to 4 x 2 gives white, then black.
  Picture bw;
  Make(bw, PIXEL_BW, 120, 20, 1, [](int x, int, int) { return x < 30 ? 1 : 0; });
  ASSERT_EQ(ReduceSmooth(bw.get(), nullptr, 4, 2, 0), RESULT_OK);
  ASSERT_EQ(bw->pixelType, PIXEL_GREY);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(Row(bw, y), (std::vector<int>{255, 0, 0, 0}));
  // And a checkerboard reduces to its mean.
  Picture checker;
  Make(checker, PIXEL_BW, 200, 40, 4, [](int x, int y, int) { return (x + y) & 1; });
  ASSERT_EQ(ReduceSmooth(checker.get(), nullptr, 10, 4, 0), RESULT_OK);
  for (uint8_t v : RowBytes(checker.image)) EXPECT_NEAR(v, 127.5, 1.0);
}

TEST(ReduceSmooth, LargeRatiosDoNotOverflowTheSums) {
  Picture p;
  Make(p, PIXEL_RGB, 600, 400, 4, [](int, int, int) { return 255; });
  ASSERT_EQ(ReduceSmooth(p.get(), nullptr, 2, 2, 0), RESULT_OK);
  for (uint8_t v : RowBytes(p.image)) EXPECT_GE(v, 254);
}

TEST(ReduceSmooth, LargerTargetsAreInterpolatedNotCorrupted) {
  Picture p;
  Make(p, PIXEL_INDEXED, 4, 4, 4, [](int, int, int) { return 3; });
  SetPalette(p.image, 3, 9, 99, 199);
  ASSERT_EQ(ReduceSmooth(p.get(), nullptr, 9, 6, 0), RESULT_OK);
  EXPECT_EQ(p->pixelType, PIXEL_RGB);
  EXPECT_EQ(p->width, 9);
  std::vector<int> row;
  for (int x = 0; x < 9; ++x) row.insert(row.end(), {9, 99, 199});
  for (int y = 0; y < 6; ++y) EXPECT_EQ(Row(p, y), row) << "row " << y;
}

struct CallbackLog {
  std::vector<int> rows;
  int targetRows = -1;
  int cancelAt = -1;
};

int LogRow(int row, int rows, void* user, int) {
  auto* log = static_cast<CallbackLog*>(user);
  log->rows.push_back(row);
  log->targetRows = rows;
  return row == log->cancelAt;
}

TEST(ReduceSmooth, AsksTheCallbackBeforeEverySourceRowAndCancels) {
  Picture p;
  MakeNoise(p, PIXEL_RGB, 20, 10, 4);
  CallbackLog log;
  Picture out;
  ASSERT_EQ(ReduceSmooth(p.get(), out.get(), 5, 4, 0, LogRow, &log), RESULT_OK);
  ASSERT_EQ(log.rows.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(log.rows[i], i);
  EXPECT_EQ(log.targetRows, 4);

  Snapshot before(p.image);
  CallbackLog cancel;
  cancel.cancelAt = 6;
  EXPECT_EQ(ReduceSmooth(p.get(), nullptr, 5, 4, 0, LogRow, &cancel), RESULT_CANCELLED);
  EXPECT_EQ(cancel.rows.back(), 6);
  before.ExpectUnchanged(p.image);
}

TEST(ResampleMemory, FailedAllocationsLeaveTheSourceUnchanged) {
  if (!QUIVRA_FAILING_ALLOCATOR) GTEST_SKIP() << "allocator cannot be replaced under ASan";
  Picture p;
  MakeNoise(p, PIXEL_RGB, 80, 60, 4);
  Picture ix;
  Make(ix, PIXEL_INDEXED, 160, 120, 4, [](int x, int y, int) { return (x ^ y) & 7; });
  using Op = std::function<int(Image*)>;
  const std::vector<std::pair<const char*, Op>> ops = {
      {"ResizeFast", [](Image* i) { return ResizeFast(i, nullptr, 40, 30); }},
      {"Resize down", [](Image* i) { return Resize(i, nullptr, 33, 21, 0); }},
      {"Resize up", [](Image* i) { return Resize(i, nullptr, 133, 91, 0); }},
      {"ReduceSmooth", [](Image* i) { return ReduceSmooth(i, nullptr, 33, 21, 0); }},
      {"ReduceSmooth up", [](Image* i) { return ReduceSmooth(i, nullptr, 133, 91, 0); }},
  };
  for (Picture* src : {&p, &ix}) {
    for (const auto& [name, op] : ops) {
      Snapshot before(src->image);
      failing_allocator::ExpectNoMemoryOnEachFailure(
          [&] {
            Picture copy;
            std::unique_ptr<Snapshot> copied;
            {
              failing_allocator::Disarmed setUp;
              EXPECT_EQ(ImageCopy(src->get(), copy.get(), nullptr), RESULT_OK);
              copied = std::make_unique<Snapshot>(copy.image);
            }
            int r = op(copy.get());
            if (r != RESULT_OK) {
              failing_allocator::Disarmed check;
              copied->ExpectUnchanged(copy.image);
            }
            return r;
          },
          name);
      before.ExpectUnchanged(src->image);
    }
  }
}

}  // namespace
