// Rotation by quarter and half turns, for every pixel type, alignment and
// orientation; the word-wise 1-bit turn against the bit-wise one.
#include "imagelib/ops/rotate.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "tests/imagelib/ops/failing_allocator.h"
#include "tests/imagelib/ops/picture_fixtures.h"
#include "tests/support/test_support.h"

using namespace ops_test;
using testing_support::ImageToRgba;
using testing_support::Rgba;

namespace {

const uint32_t kAllTypes[] = {PIXEL_BW,   PIXEL_GREY, PIXEL_INDEXED, PIXEL_RGB,  PIXEL_RGBA,
                              PIXEL_BGR,  PIXEL_ABGR, PIXEL_BGRA,    PIXEL_ARGB, PIXEL_CMYK};

void MakeNoise(Picture& p, uint32_t type, int w, int h, int alignment, int seed = 3) {
  Make(p, type, w, h, alignment, [seed](int x, int y, int b) { return Noise(x, y, b, seed); });
  if (type == PIXEL_INDEXED)
    for (int i = 0; i < 256; ++i) SetPalette(p.image, i, i, (i * 7) & 255, 255 - i);
}

// The picture as seen on screen, turned by quarter turns clockwise.
Rgba TurnedView(const Rgba& in, int quarters) {
  Rgba cur = in;
  for (int q = 0; q < ((quarters % 4) + 4) % 4; ++q) {
    Rgba next;
    next.width = cur.height;
    next.height = cur.width;
    next.pixels.resize(cur.pixels.size());
    for (int r = 0; r < next.height; ++r)
      for (int c = 0; c < next.width; ++c)
        std::memcpy(next.at(c, r), cur.at(r, cur.height - 1 - c), 4);
    cur = next;
  }
  return cur;
}

void ExpectSameView(const Rgba& a, const Rgba& b, const char* what) {
  ASSERT_EQ(a.width, b.width) << what;
  ASSERT_EQ(a.height, b.height) << what;
  EXPECT_EQ(a.pixels, b.pixels) << what;
}

TEST(Rotate, ThreeByTwoClockwisePutsBottomLeftAtTopLeft) {
  Picture p;
  Make(p, PIXEL_GREY, 3, 2, 1, [](int x, int y, int) { return 10 * y + x; });
  ASSERT_EQ(Rotate(p.get(), nullptr, 90, 0), RESULT_OK);
  ASSERT_EQ(p->width, 2);
  ASSERT_EQ(p->height, 3);
  // Source rows: [0 1 2], [10 11 12]. Clockwise: [10 0], [11 1], [12 2].
  const int expected[3][2] = {{10, 0}, {11, 1}, {12, 2}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 2; ++c) EXPECT_EQ(ImageRow(p.get(), r)[c], expected[r][c]);
  // And counter-clockwise from the start: [2 12], [1 11], [0 10].
  Picture q;
  Make(q, PIXEL_GREY, 3, 2, 1, [](int x, int y, int) { return 10 * y + x; });
  ASSERT_EQ(Rotate(q.get(), nullptr, -90, 0), RESULT_OK);
  const int ccw[3][2] = {{2, 12}, {1, 11}, {0, 10}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 2; ++c) EXPECT_EQ(ImageRow(q.get(), r)[c], ccw[r][c]);
}

TEST(Rotate, EveryAngleMatchesTheTurnedView) {
  struct Angle { int degrees, quarters; };
  for (uint32_t type : kAllTypes) {
    for (int alignment : {1, 2, 4, 8}) {
      for (Angle a : {Angle{90, 1}, Angle{-270, 1}, Angle{-90, 3}, Angle{270, 3}, Angle{180, 2},
                      Angle{-180, 2}}) {
        Picture p;
        MakeNoise(p, type, 37, 21, alignment);
        Rgba before = ImageToRgba(p.image);
        Picture out;
        ASSERT_EQ(Rotate(p.get(), out.get(), a.degrees, 0), RESULT_OK);
        EXPECT_EQ(out->pixelType, type);
        EXPECT_EQ(out->rowAlignment, alignment);
        ExpectSameView(ImageToRgba(out.image), TurnedView(before, a.quarters),
                       ("type " + std::to_string(type) + " align " + std::to_string(alignment) +
                        " angle " + std::to_string(a.degrees)).c_str());
      }
    }
  }
}

TEST(Rotate, FourQuarterTurnsGiveThePictureBack) {
  for (uint32_t type : kAllTypes) {
    for (int alignment : {1, 4, 8}) {
      for (uint16_t layout : {0, (int)LAYOUT_BOTTOM_UP, (int)LAYOUT_MIRRORED,
                              (int)(LAYOUT_BOTTOM_UP | LAYOUT_MIRRORED)}) {
        for (int angle : {90, -90}) {
          Picture p;
          MakeNoise(p, type, 45, 33, alignment, 9);
          p->layout = layout;
          std::vector<uint8_t> bytes = RowBytes(p.image);
          for (int i = 0; i < 4; ++i) ASSERT_EQ(Rotate(p.get(), nullptr, angle, 0), RESULT_OK);
          EXPECT_EQ(p->width, 45);
          EXPECT_EQ(p->layout, layout);
          EXPECT_EQ(RowBytes(p.image), bytes)
              << "type " << type << " align " << alignment << " layout " << layout;
        }
      }
    }
  }
}

TEST(Rotate, FlippedLayoutsTurnAsTheyLookOnScreen) {
  for (uint32_t type : {PIXEL_BW, PIXEL_RGB, PIXEL_INDEXED, PIXEL_ARGB}) {
    for (uint16_t layout : {(int)LAYOUT_BOTTOM_UP, (int)LAYOUT_MIRRORED,
                            (int)(LAYOUT_BOTTOM_UP | LAYOUT_MIRRORED)}) {
      for (int angle : {90, -90, 180, 270}) {
        Picture topDown;
        MakeNoise(topDown, type, 35, 19, 4, 5);
        // The twin stores the same view in the flipped layout.
        Picture twin;
        MakeNoise(twin, type, 35, 19, 4, 5);
        twin->layout = layout;
        for (int y = 0; y < 19; ++y) {
          const int sy = layout & LAYOUT_BOTTOM_UP ? 18 - y : y;
          for (int x = 0; x < 35; ++x) {
            const int sx = layout & LAYOUT_MIRRORED ? 34 - x : x;
            if (type == PIXEL_BW) {
              PutBit(ImageRow(twin.get(), y), x, GetBit(ImageRow(topDown.get(), sy), sx));
            } else {
              const int n = topDown->bytesPerPixel;
              std::memcpy(ImageRow(twin.get(), y) + x * n, ImageRow(topDown.get(), sy) + sx * n, n);
            }
          }
        }
        ExpectSameView(ImageToRgba(twin.image), ImageToRgba(topDown.image), "twins");
        ASSERT_EQ(Rotate(topDown.get(), nullptr, angle, 0), RESULT_OK);
        ASSERT_EQ(Rotate(twin.get(), nullptr, angle, 0), RESULT_OK);
        EXPECT_EQ(twin->layout, layout);
        ExpectSameView(ImageToRgba(twin.image), ImageToRgba(topDown.image),
                       ("layout " + std::to_string(layout) + " angle " + std::to_string(angle)).c_str());
      }
    }
  }
}

TEST(Rotate, WordWiseBitTurnEqualsTheBitWiseOne) {
  // Alignment 4 pads 1-bit rows to whole words (the word-wise routines);
  // alignment 1 does not (bit by bit). Sizes straddle word boundaries.
  for (int w : {1, 7, 31, 32, 33, 64, 65, 100}) {
    for (int h : {1, 5, 32, 33, 70}) {
      for (int angle : {90, -90, 180}) {
        Picture words, bits;
        MakeNoise(words, PIXEL_BW, w, h, 4, w + h);
        MakeNoise(bits, PIXEL_BW, w, h, 1, w + h);
        ASSERT_EQ(words->bytesPerRow, (w + 31) / 32 * 4);
        // Set fill bits must not leak into the result.
        for (int y = 0; y < h; ++y)
          for (int x = w; x < words->bytesPerRow * 8; ++x) OrBit(ImageRow(words.get(), y), x, 1);
        ASSERT_EQ(Rotate(words.get(), nullptr, angle, 0), RESULT_OK);
        ASSERT_EQ(Rotate(bits.get(), nullptr, angle, 0), RESULT_OK);
        ExpectSameView(ImageToRgba(words.image), ImageToRgba(bits.image),
                       (std::to_string(w) + "x" + std::to_string(h) + " angle " +
                        std::to_string(angle)).c_str());
        // Fill bits past the width stay clear in the padded rows.
        for (int y = 0; y < words->height; ++y) {
          const uint8_t* row = ImageRow(words.get(), y);
          for (int x = words->width; x < words->bytesPerRow * 8; ++x)
            ASSERT_EQ(GetBit(row, x), 0) << w << "x" << h << " angle " << angle << " row " << y;
        }
      }
    }
  }
}

TEST(Rotate, BitPicture33WideKeepsEveryBitOnHalfTurn) {
  for (int alignment : {1, 4}) {
    Picture p;
    MakeNoise(p, PIXEL_BW, 33, 9, alignment, 11);
    Rgba before = ImageToRgba(p.image);
    ASSERT_EQ(Rotate(p.get(), nullptr, 180, 0), RESULT_OK);
    ExpectSameView(ImageToRgba(p.image), TurnedView(before, 2), "half turn");
    ASSERT_EQ(Rotate(p.get(), nullptr, -180, 0), RESULT_OK);
    ExpectSameView(ImageToRgba(p.image), before, "back");
  }
}

TEST(Rotate, WideSamplesMoveWholePixels) {
  Picture p;
  ASSERT_EQ(ImageCreateDeep(p.get(), PIXEL_RGB, 4, 5, 3, 16), 1);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 5 * 6; ++i) ImageRow(p.get(), y)[i] = (uint8_t)Noise(i, y, 0);
  std::vector<uint8_t> bytes = RowBytes(p.image);
  ASSERT_EQ(Rotate(p.get(), nullptr, 90, 0), RESULT_OK);
  EXPECT_EQ(p->bitsPerSample, 16);
  EXPECT_EQ(p->width, 3);
  // Result (0, 0) is the source's bottom-left pixel: all six bytes.
  for (int b = 0; b < 6; ++b) EXPECT_EQ(ImageRow(p.get(), 0)[b], (uint8_t)Noise(b, 2, 0));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Rotate(p.get(), nullptr, 90, 0), RESULT_OK);
  EXPECT_EQ(RowBytes(p.image), bytes);
}

TEST(Rotate, OtherAnglesCopy) {
  Picture p;
  MakeNoise(p, PIXEL_INDEXED, 9, 4, 4);
  p->paletteCount = 77;
  Snapshot before(p.image);
  for (int angle : {45, 0, 360, -720, 91}) {
    Picture out;
    ASSERT_EQ(Rotate(p.get(), out.get(), angle, 0), RESULT_OK);
    EXPECT_EQ(out->width, 9);
    EXPECT_EQ(out->paletteCount, 77);
    EXPECT_EQ(RowBytes(out.image), RowBytes(p.image));
    EXPECT_NE(out->pixels, p->pixels);
    ASSERT_EQ(Rotate(p.get(), nullptr, angle, 0), RESULT_OK);
    before.ExpectUnchanged(p.image);
  }
}

TEST(Rotate, KeepsPaletteAndExtras) {
  Picture p;
  MakeNoise(p, PIXEL_INDEXED, 6, 3, 2);
  p->transparentIndex = 5;
  p->paletteCount = 100;
  p->xDpi = 72;
  p->yDpi = 144;
  Picture out;
  ASSERT_EQ(Rotate(p.get(), out.get(), 90, 0), RESULT_OK);
  EXPECT_EQ(out->transparentIndex, 5);
  EXPECT_EQ(out->paletteCount, 100);
  EXPECT_EQ(out->xDpi, 72u);
  EXPECT_EQ(out->yDpi, 144u);
  EXPECT_EQ(std::vector<uint8_t>(out->palette, out->palette + 1024),
            std::vector<uint8_t>(p->palette, p->palette + 1024));
}

struct Columns {
  std::vector<int> seen;
  int width = -1;
  int cancelAt = -1;
};

int SeeColumn(int column, int width, void* user, int) {
  auto* c = static_cast<Columns*>(user);
  c->seen.push_back(column);
  c->width = width;
  return (int)c->seen.size() - 1 == c->cancelAt;
}

TEST(Rotate, CallbackSeesEverySourceColumnAndCancels) {
  for (uint32_t type : {PIXEL_RGB, PIXEL_BW}) {
    for (int alignment : {1, 4}) {
      for (int angle : {90, -90}) {
        Picture p;
        MakeNoise(p, type, 40, 7, alignment);
        Columns cols;
        Picture out;
        ASSERT_EQ(Rotate(p.get(), out.get(), angle, 0, SeeColumn, &cols), RESULT_OK);
        ASSERT_EQ(cols.seen.size(), 40u);
        EXPECT_EQ(cols.width, 40);
        // One call per result row, top to bottom.
        for (int r = 0; r < 40; ++r) EXPECT_EQ(cols.seen[r], angle == 90 ? r : 39 - r);

        Snapshot before(p.image);
        Columns cancel;
        cancel.cancelAt = 20;
        EXPECT_EQ(Rotate(p.get(), nullptr, angle, 0, SeeColumn, &cancel), RESULT_CANCELLED);
        before.ExpectUnchanged(p.image);
      }
    }
  }
}

TEST(Rotate, FailedAllocationLeavesTheSourceUnchanged) {
  if (!QUIVRA_FAILING_ALLOCATOR) GTEST_SKIP() << "allocator cannot be replaced under ASan";
  for (uint32_t type : {PIXEL_RGB, PIXEL_INDEXED, PIXEL_BW}) {
    Picture p;
    MakeNoise(p, type, 300, 200, 4);
    Snapshot before(p.image);
    int failures = failing_allocator::ForEachFailingAllocation(
        [&] {
          int r = Rotate(p.get(), nullptr, 90, 0);
          if (r != RESULT_OK) {
            failing_allocator::Disarmed check;
            before.ExpectUnchanged(p.image);
          }
          return r;
        },
        [&](int result) { EXPECT_EQ(result, RESULT_NO_MEMORY); });
    EXPECT_GE(failures, 1);
    EXPECT_EQ(p->width, 200);
  }
}

}  // namespace
