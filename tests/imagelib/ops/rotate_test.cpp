// Rotation by quarter and half turns, for every pixel type, alignment and
// orientation; the word-wise 1-bit turn against the bit-wise one.
#include "imagelib/ops/rotate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

void ExpectSameView(const Rgba& a, const Rgba& b) {
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  EXPECT_EQ(a.pixels, b.pixels);
}

TEST(Rotate, ThreeByTwoClockwisePutsBottomLeftAtTopLeft) {
  // Source rows: [0 1 2], [10 11 12]. Clockwise: [10 0], [11 1], [12 2];
  // counter-clockwise: [2 12], [1 11], [0 10].
  struct Turn { int angle; std::vector<int> rows[3]; };
  for (const Turn& t : {Turn{90, {{10, 0}, {11, 1}, {12, 2}}},
                        Turn{-90, {{2, 12}, {1, 11}, {0, 10}}}}) {
    SCOPED_TRACE(t.angle);
    Picture p;
    Make(p, PIXEL_GREY, 3, 2, 1, [](int x, int y, int) { return 10 * y + x; });
    ASSERT_EQ(Rotate(p.get(), nullptr, t.angle, 0), RESULT_OK);
    ASSERT_EQ(p->width, 2);
    ASSERT_EQ(p->height, 3);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Row(p, r), t.rows[r]);
  }
}

// Every type, alignment and orientation: each angle shows the turned view
// (flipped layouts turn as they look on screen and keep their layout), and
// four quarter turns either way give back every byte.
TEST(Rotate, EveryTypeAlignmentAndLayoutTurnsAsShownAndComesBack) {
  struct Angle { int degrees, quarters; };
  const Angle angles[] = {{90, 1}, {-270, 1}, {-90, 3}, {270, 3}, {180, 2}, {-180, 2}};
  for (uint32_t type : kAllTypes)
    for (int alignment : {1, 2, 4, 8})
      for (uint16_t layout : {0, (int)LAYOUT_BOTTOM_UP, (int)LAYOUT_MIRRORED,
                              (int)(LAYOUT_BOTTOM_UP | LAYOUT_MIRRORED)}) {
        SCOPED_TRACE("type " + std::to_string(type) + " align " + std::to_string(alignment) +
                     " layout " + std::to_string(layout));
        Picture p;
        MakeNoise(p, type, 37, 21, alignment, 3);
        p->layout = layout;
        const Rgba view = ImageToRgba(p.image);
        const std::vector<uint8_t> bytes = RowBytes(p.image);
        for (Angle a : angles) {
          SCOPED_TRACE("angle " + std::to_string(a.degrees));
          Picture out;
          ASSERT_EQ(Rotate(p.get(), out.get(), a.degrees, 0), RESULT_OK);
          EXPECT_EQ(out->pixelType, type);
          EXPECT_EQ(out->rowAlignment, alignment);
          EXPECT_EQ(out->layout, layout);
          ExpectSameView(ImageToRgba(out.image), TurnedView(view, a.quarters));
        }
        for (int angle : {90, -90}) {
          for (int i = 0; i < 4; ++i) ASSERT_EQ(Rotate(p.get(), nullptr, angle, 0), RESULT_OK);
          EXPECT_EQ(p->width, 37);
          EXPECT_EQ(p->layout, layout);
          EXPECT_EQ(RowBytes(p.image), bytes) << "four turns of " << angle;
        }
      }
}

TEST(Rotate, WordWiseBitTurnEqualsTheBitWiseOne) {
  // Alignment 4 pads 1-bit rows to whole words (the word-wise routines);
  // alignment 1 does not (bit by bit). Sizes straddle word boundaries.
  for (int w : {1, 7, 31, 32, 33, 64, 65, 100}) {
    for (int h : {1, 5, 32, 33, 70}) {
      for (int angle : {90, -90, 180}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " angle " +
                     std::to_string(angle));
        Picture words, bits;
        MakeNoise(words, PIXEL_BW, w, h, 4, w + h);
        MakeNoise(bits, PIXEL_BW, w, h, 1, w + h);
        ASSERT_EQ(words->bytesPerRow, (w + 31) / 32 * 4);
        // Set fill bits must not leak into the result.
        for (int y = 0; y < h; ++y)
          for (int x = w; x < words->bytesPerRow * 8; ++x) OrBit(ImageRow(words.get(), y), x, 1);
        ASSERT_EQ(Rotate(words.get(), nullptr, angle, 0), RESULT_OK);
        ASSERT_EQ(Rotate(bits.get(), nullptr, angle, 0), RESULT_OK);
        ExpectSameView(ImageToRgba(words.image), ImageToRgba(bits.image));
        // Fill bits past the width stay clear in the padded rows.
        for (int y = 0; y < words->height; ++y) {
          const uint8_t* row = ImageRow(words.get(), y);
          for (int x = words->width; x < words->bytesPerRow * 8; ++x)
            ASSERT_EQ(GetBit(row, x), 0) << "row " << y;
        }
      }
    }
  }
}

TEST(Rotate, BitPicture33WideKeepsEveryBitOnHalfTurn) {
  for (int alignment : {1, 4}) {
    SCOPED_TRACE(alignment);
    Picture p;
    MakeNoise(p, PIXEL_BW, 33, 9, alignment, 11);
    Rgba before = ImageToRgba(p.image);
    ASSERT_EQ(Rotate(p.get(), nullptr, 180, 0), RESULT_OK);
    ExpectSameView(ImageToRgba(p.image), TurnedView(before, 2));
    ASSERT_EQ(Rotate(p.get(), nullptr, -180, 0), RESULT_OK);
    ExpectSameView(ImageToRgba(p.image), before);
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
    SCOPED_TRACE(angle);
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
        SCOPED_TRACE("type " + std::to_string(type) + " align " + std::to_string(alignment) +
                     " angle " + std::to_string(angle));
        Picture p;
        MakeNoise(p, type, 40, 7, alignment, 3);
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
    MakeNoise(p, type, 300, 200, 4, 3);
    Snapshot before(p.image);
    failing_allocator::ExpectNoMemoryOnEachFailure(
        [&] {
          int r = Rotate(p.get(), nullptr, 90, 0);
          if (r != RESULT_OK) {
            failing_allocator::Disarmed check;
            before.ExpectUnchanged(p.image);
          }
          return r;
        },
        "type " + std::to_string(type));
    EXPECT_EQ(p->width, 200);
  }
}

}  // namespace
