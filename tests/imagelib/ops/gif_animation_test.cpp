// The animated GIF frame loader: the composition rules on hand-made files,
// the palette reconciliation, the corpus against ImageMagick's coalesced
// frames, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/ops/gif_animation.h"
#include "imagelib/ops/gif_palette_reconcile.h"
#include "tests/imagelib/codecs/gif_test_files.h"
#include "tests/support/test_support.h"

using namespace testing_support;
using gif_test_files::Builder;

namespace {

// Global table: 0 black, 1 red, 2 green, 3 blue.
const std::vector<uint8_t> kColours = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};

// The animation of a file, or of bytes written to a temporary file.
struct Loaded {
  int result = -1;
  GifAnimation animation{};
  explicit Loaded(const std::string& path) { result = LoadGifAnimation(path.c_str(), &animation); }
  explicit Loaded(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    WriteFileBytes(dir.File("anim.gif"), bytes);
    result = LoadGifAnimation(dir.File("anim.gif").c_str(), &animation);
  }
  Loaded(const Loaded&) = delete;
  ~Loaded() { GifAnimationFree(&animation); }
  const Image& frame(int i) const { return animation.frames[i].image; }
};

int At(const Image& image, int x, int y) { return ImageRow(&image, y)[x]; }

// Colour of a composed pixel as 0xRRGGBB.
uint32_t ColourAt(const Image& image, int x, int y) {
  int i = At(image, x, y);
  return (uint32_t)image.palette[i] << 16 | image.palette[256 + i] << 8 | image.palette[512 + i];
}

std::vector<uint8_t> Fill(int w, int h, int v) {
  return std::vector<uint8_t>((size_t)w * h, (uint8_t)v);
}

TEST(GifAnimation, RefusesWhatIsNotAGif) {
  Loaded l(std::vector<uint8_t>{'G', 'I', 'F', '8', 'a', '9', 2, 0, 2, 0, 0, 0, 0});
  EXPECT_EQ(l.result, RESULT_NOT_RECOGNISED);
  EXPECT_EQ(l.animation.frameCount, 0u);
  Builder b;
  b.Header(2, 2, kColours, 2).Comment("no images").Trailer();
  Loaded none(b.bytes);
  EXPECT_EQ(none.result, RESULT_NOT_RECOGNISED);
  GifAnimation missing{};
  EXPECT_EQ(LoadGifAnimation("/nonexistent/folder/x.gif", &missing), RESULT_CANNOT_OPEN);
}

TEST(GifAnimation, GivesEachFrameItsDelay) {
  Builder b;
  b.Header(2, 2, kColours, 2);
  b.Control(0, 0, -1).Image(0, 0, 2, 2, Fill(2, 2, 1), 2);
  b.Control(0, 7, -1).Image(0, 0, 2, 2, Fill(2, 2, 2), 2);
  b.Control(0, 250, -1).Image(0, 0, 2, 2, Fill(2, 2, 3), 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 3u);
  EXPECT_EQ(l.animation.frames[0].delayMs, 100u);
  EXPECT_EQ(l.animation.frames[1].delayMs, 70u);
  EXPECT_EQ(l.animation.frames[2].delayMs, 2500u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(l.frame(i).pixelType, PIXEL_INDEXED);
    EXPECT_EQ(l.frame(i).rowAlignment, 1);
    EXPECT_EQ(At(l.frame(i), 1, 1), i + 1);
  }
}

TEST(GifAnimation, LetsTheCanvasShowAroundAndThroughATransparentFrame) {
  // Frame 0 fills 4 x 3 with red; frame 1 puts a 2 x 2 patch at (1, 1)
  // whose left column is transparent (index 3) and right column green.
  Builder b;
  b.Header(4, 3, kColours, 2);
  b.Control(1, 0, -1).Image(0, 0, 4, 3, Fill(4, 3, 1), 2);
  b.Control(1, 0, 3).Image(1, 1, 2, 2, {3, 2, 3, 2}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 2u);
  const Image& f = l.frame(1);
  EXPECT_EQ(ColourAt(f, 0, 0), 0xFF0000u);
  EXPECT_EQ(ColourAt(f, 1, 1), 0xFF0000u);  // under a transparent pixel
  EXPECT_EQ(ColourAt(f, 2, 1), 0x00FF00u);
  EXPECT_EQ(ColourAt(f, 2, 2), 0x00FF00u);
  EXPECT_EQ(ColourAt(f, 3, 2), 0xFF0000u);
  // Disposal 1 is not 0: the frame keeps its own transparent index.
  EXPECT_EQ(f.transparentIndex, 3);
}

TEST(GifAnimation, TakesTheFirstFramesTransparentIndexAfterDisposalZero) {
  Builder b;
  b.Header(2, 1, kColours, 2);
  b.Control(0, 0, 2).Image(0, 0, 2, 1, {1, 2}, 2);
  b.Control(0, 0, 3).Image(0, 0, 1, 1, {1}, 2);
  b.Control(1, 0, 3).Image(0, 0, 1, 1, {1}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.animation.frameCount, 3u);
  EXPECT_EQ(l.frame(0).transparentIndex, 2);
  EXPECT_EQ(l.frame(1).transparentIndex, 2);  // previous disposal 0: the first frame's
  EXPECT_EQ(l.frame(2).transparentIndex, 2);

  Builder opaqueFirst;
  opaqueFirst.Header(2, 1, kColours, 2);
  opaqueFirst.Control(0, 0, -1).Image(0, 0, 2, 1, {1, 2}, 2);
  opaqueFirst.Control(0, 0, 3).Image(0, 0, 1, 1, {1}, 2);
  opaqueFirst.Control(0, 0, -1).Image(0, 0, 1, 1, {1}, 2).Trailer();
  Loaded o(opaqueFirst.bytes);
  ASSERT_EQ(o.animation.frameCount, 3u);
  EXPECT_EQ(o.frame(1).transparentIndex, -1);
  EXPECT_EQ(o.frame(2).transparentIndex, -1);
}

TEST(GifAnimation, FillsTheFirstCanvasWithBackgroundOrTransparentIndex) {
  Builder b;
  b.Header(3, 1, kColours, 2, 2).Image(1, 0, 1, 1, {1}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  EXPECT_EQ(At(l.frame(0), 0, 0), 2);
  EXPECT_EQ(At(l.frame(0), 1, 0), 1);
  Builder t;
  t.Header(3, 1, kColours, 2, 2).Control(0, 0, 3).Image(1, 0, 1, 1, {1}, 2).Trailer();
  Loaded lt(t.bytes);
  EXPECT_EQ(At(lt.frame(0), 0, 0), 3);
  EXPECT_EQ(lt.frame(0).transparentIndex, 3);
}

TEST(GifAnimation, ClearsAFrameDisposedToBackground) {
  // Background index 3 (blue). Frame 1 (disposal 2) paints green at (1, 0);
  // frame 2 paints red at (0, 0): in frame 2 the green pixel is background.
  Builder b;
  b.Header(3, 1, kColours, 2, 3);
  b.Control(0, 0, -1).Image(0, 0, 3, 1, {0, 0, 0}, 2);
  b.Control(2, 0, -1).Image(1, 0, 1, 1, {2}, 2);
  b.Control(0, 0, -1).Image(0, 0, 1, 1, {1}, 2);
  // Frame 3 follows a disposal 0 frame: nothing is cleared.
  b.Control(2, 0, 1).Image(2, 0, 1, 1, {2}, 2);
  b.Control(0, 0, 1).Image(0, 0, 1, 1, {1}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 5u);
  EXPECT_EQ(At(l.frame(1), 1, 0), 2);
  EXPECT_EQ(At(l.frame(2), 0, 0), 1);
  EXPECT_EQ(At(l.frame(2), 1, 0), 3);  // cleared to the background index
  EXPECT_EQ(At(l.frame(2), 2, 0), 0);
  EXPECT_EQ(At(l.frame(3), 1, 0), 3);
  EXPECT_EQ(At(l.frame(3), 2, 0), 2);
  // The next image is transparent: the cleared pixel takes its index.
  EXPECT_EQ(At(l.frame(4), 2, 0), 1);
}

TEST(GifAnimation, RestoresDisposedAreasFromTheFirstFrame) {
  // Frame 0 red everywhere; frame 1 green at (0, 0) (disposal 0); frame 2
  // blue at (0, 0) with disposal 3; frame 3 draws elsewhere. The area of
  // frame 2 comes back as the first frame showed it (red), not as the
  // frame before it (green), which is where this loader differs from the
  // usual "restore to previous".
  Builder b;
  b.Header(2, 1, kColours, 2);
  b.Control(0, 0, -1).Image(0, 0, 2, 1, {1, 1}, 2);
  b.Control(0, 0, -1).Image(0, 0, 1, 1, {2}, 2);
  b.Control(3, 0, -1).Image(0, 0, 1, 1, {3}, 2);
  b.Control(4, 0, -1).Image(1, 0, 1, 1, {0}, 2);
  b.Control(0, 0, -1).Image(0, 0, 1, 1, {2}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 5u);
  EXPECT_EQ(ColourAt(l.frame(1), 0, 0), 0x00FF00u);
  EXPECT_EQ(ColourAt(l.frame(2), 0, 0), 0x0000FFu);
  EXPECT_EQ(ColourAt(l.frame(3), 0, 0), 0xFF0000u);
  EXPECT_EQ(ColourAt(l.frame(3), 1, 0), 0x000000u);
  // Disposal 4 is treated like 3.
  EXPECT_EQ(ColourAt(l.frame(4), 1, 0), 0xFF0000u);
}

TEST(GifAnimation, GrowsTheScreenToTheFirstImageAndStopsAtALargerOne) {
  Builder b;
  b.Header(2, 2, kColours, 2);
  b.Image(0, 0, 4, 3, Fill(4, 3, 1), 2);
  b.Image(0, 0, 4, 3, Fill(4, 3, 2), 2);
  b.Image(0, 0, 5, 3, Fill(5, 3, 3), 2);
  b.Image(0, 0, 1, 1, Fill(1, 1, 3), 2).Trailer();
  Loaded l(b.bytes);
  EXPECT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 2u);
  EXPECT_EQ(l.frame(0).width, 4);
  EXPECT_EQ(l.frame(0).height, 3);
  EXPECT_EQ(At(l.frame(1), 3, 2), 2);
}

TEST(GifAnimation, DropsPixelsOutsideTheScreen) {
  Builder b;
  b.Header(3, 2, kColours, 2);
  b.Image(0, 0, 3, 2, Fill(3, 2, 1), 2);
  b.Image(2, 1, 2, 2, {2, 3, 3, 3}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 2u);
  EXPECT_EQ(At(l.frame(1), 2, 1), 2);
  EXPECT_EQ(At(l.frame(1), 1, 1), 1);
}

TEST(GifAnimation, PlacesInterlacedRows) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 10; ++y) pixels.push_back((uint8_t)y);
  Builder b;
  b.Header(1, 10, {}, 4).Image(0, 0, 1, 10, pixels, 4, true).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(At(l.frame(0), 0, y), y);
}

TEST(GifAnimation, KeepsFramesAndRowsOfATruncatedFile) {
  Builder b;
  b.Header(4, 4, kColours, 2);
  b.Image(0, 0, 4, 4, Fill(4, 4, 1), 2);
  b.Image(0, 0, 4, 4, Fill(4, 4, 2), 2);
  // Cut inside the second image's data: some of its rows are decoded.
  Loaded l(std::vector<uint8_t>(b.bytes.begin(), b.bytes.end() - 3));
  EXPECT_EQ(l.result, RESULT_NOT_COMPLETE);
  ASSERT_EQ(l.animation.frameCount, 2u);
  EXPECT_EQ(At(l.frame(1), 0, 0), 2);
  EXPECT_EQ(At(l.frame(1), 3, 3), 1);  // not decoded: the canvas stays
}

TEST(GifAnimation, RefusesBadSizesAndCodeSizes) {
  for (int codeSize : {1, 10, 12}) {
    Builder b;
    b.Header(2, 2, kColours, 2).Image(0, 0, 2, 2, Fill(2, 2, 1), 2).Trailer();
    b.bytes[13 + 12 + 10] = (uint8_t)codeSize;
    Loaded l(b.bytes);
    EXPECT_EQ(l.result, RESULT_BAD_SIZE) << codeSize;
    EXPECT_EQ(l.animation.frameCount, 0u);
  }
  Builder zero;
  zero.Header(2, 2, kColours, 2).Image(0, 0, 2, 2, Fill(2, 2, 1), 2);
  zero.Image(0, 0, 0, 2, {}, 2).Trailer();
  Loaded z(zero.bytes);
  EXPECT_EQ(z.result, RESULT_BAD_SIZE);
  EXPECT_EQ(z.animation.frameCount, 1u);  // the frames so far stay
}

TEST(GifAnimation, RefusesFramesBeyondTheMemoryCap) {
  Builder b;
  b.Header(100, 100, kColours, 2);
  for (int i = 0; i < 5; ++i) b.Image(0, 0, 2, 2, Fill(2, 2, 1), 2);
  b.Trailer();
  TempDir dir;
  WriteFileBytes(dir.File("a.gif"), b.bytes);
  GifAnimation animation{};
  EXPECT_EQ(LoadGifAnimationCapped(dir.File("a.gif").c_str(), &animation, 25000), RESULT_NO_MEMORY);
  EXPECT_EQ(animation.frameCount, 2u);
  GifAnimationFree(&animation);
}

// ---------------------------------------------------------------------------
// Palette reconciliation.

TEST(GifAnimation, ShowsEveryColourWhenALocalTableDiffersFromTheCanvas) {
  // Frame 0: global table, left half red (1), right half blue (3).
  // Frame 1: transparent, partial, local table with the colours in another
  // order and a colour the global table lacks (yellow).
  const std::vector<uint8_t> local = {255, 255, 0,   // 0 yellow
                                      0,   0,   255, // 1 blue
                                      9,   9,   9,   // 2 transparent
                                      255, 0,   0};  // 3 red
  Builder b;
  b.Header(4, 2, kColours, 2);
  b.Control(0, 0, -1).Image(0, 0, 4, 2, {1, 1, 3, 3, 1, 1, 3, 3}, 2);
  b.Control(0, 0, 2).Image(1, 0, 2, 2, {0, 1, 3, 2}, 2, false, local, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, 2u);
  const Image& f = l.frame(1);
  EXPECT_EQ(ColourAt(f, 0, 0), 0xFF0000u);
  EXPECT_EQ(ColourAt(f, 1, 0), 0xFFFF00u);  // new colour, placed in a free entry
  EXPECT_EQ(ColourAt(f, 2, 0), 0x0000FFu);
  EXPECT_EQ(ColourAt(f, 3, 0), 0x0000FFu);
  EXPECT_EQ(ColourAt(f, 0, 1), 0xFF0000u);
  EXPECT_EQ(ColourAt(f, 1, 1), 0xFF0000u);
  EXPECT_EQ(ColourAt(f, 2, 1), 0x0000FFu);  // transparent: the canvas shows
  EXPECT_EQ(ColourAt(f, 3, 1), 0x0000FFu);
  // Colours found in the canvas's palette keep its indexes.
  EXPECT_EQ(At(f, 2, 0), 3);
  EXPECT_EQ(At(f, 1, 1), 1);
  EXPECT_EQ(f.paletteCount, 256);
}

TEST(GifAnimation, UsesTheImagesOwnTableWhenItCoversTheCanvas) {
  const std::vector<uint8_t> local = {1, 2, 3, 4, 5, 6};
  Builder b;
  b.Header(2, 1, kColours, 2);
  b.Image(0, 0, 2, 1, {1, 2}, 2);
  b.Image(0, 0, 2, 1, {1, 0}, 2, false, local, 1).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  const Image& f = l.frame(1);
  EXPECT_EQ(f.paletteCount, 2);
  EXPECT_EQ(At(f, 0, 0), 1);
  EXPECT_EQ(ColourAt(f, 0, 0), 0x040506u);
  EXPECT_EQ(ColourAt(f, 1, 0), 0x010203u);
}

void SetEntry(uint8_t* palette, int i, uint32_t rgb) {
  palette[i] = (uint8_t)(rgb >> 16);
  palette[256 + i] = (uint8_t)(rgb >> 8);
  palette[512 + i] = (uint8_t)rgb;
}
uint32_t Entry(const uint8_t* palette, int i) {
  return (uint32_t)palette[i] << 16 | palette[256 + i] << 8 | palette[512 + i];
}

// An image's colour table as the reconciliation takes it: the entries the
// image uses, as (index, 0xRRGGBB).
struct NewTable {
  uint8_t colours[768] = {};
  bool needed[256] = {};
  NewTable(std::initializer_list<std::pair<int, uint32_t>> entries) {
    for (auto [j, rgb] : entries) {
      colours[3 * j] = (uint8_t)(rgb >> 16);
      colours[3 * j + 1] = (uint8_t)(rgb >> 8);
      colours[3 * j + 2] = (uint8_t)rgb;
      needed[j] = true;
    }
  }
};

// Every entry `all` in use or free, the listed ones the other way.
struct InUse {
  bool used[256];
  InUse(bool all, std::initializer_list<int> others) {
    for (bool& b : used) b = all;
    for (int i : others) used[i] = !all;
  }
};

TEST(GifPaletteReconcile, KeepsIndexesThenMatchesThenFillsFreeEntriesThenTakesTheNearest) {
  uint8_t palette[1024] = {};
  for (int i = 0; i < 4; ++i) SetEntry(palette, i, 0x101010u * (uint32_t)(i + 1));
  // New table: 0 same as canvas 0; 1 equals canvas 2; 2 new colour whose
  // own entry (2) is in use; 5 new colour whose own entry is free.
  NewTable table{{0, 0x101010u}, {1, 0x303030u}, {2, 0xABCDEFu}, {5, 0x123456u}};
  InUse firstThree(false, {0, 1, 2});
  uint8_t map[256];
  EXPECT_FALSE(ReconcileGifPalette(palette, firstThree.used, table.colours, table.needed, -1, map));
  EXPECT_EQ(map[0], 0);
  EXPECT_EQ(map[1], 2);
  EXPECT_EQ(map[5], 5);
  EXPECT_EQ(Entry(palette, 5), 0x123456u);
  // Entry 3 is the lowest one not in use (its old colour unused).
  EXPECT_EQ(map[2], 3);
  EXPECT_EQ(Entry(palette, 3), 0xABCDEFu);
  // The canvas's entries kept their colours.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Entry(palette, i), 0x101010u * (uint32_t)(i + 1));

  // Everything in use: the nearest colour, never the reserved index.
  uint8_t crowded[1024] = {};
  for (int i = 0; i < 256; ++i) SetEntry(crowded, i, (uint32_t)i * 0x010101u);
  InUse full(true, {});
  NewTable near{{7, 0x646467u}};  // (100, 100, 103): nearest grey is 101
  EXPECT_FALSE(ReconcileGifPalette(crowded, full.used, near.colours, near.needed, 101, map));
  EXPECT_TRUE(map[7] == 100 || map[7] == 102) << (int)map[7];
  // The reserved index is the last exact choice: taken when it already
  // holds the colour, or when it is free and nothing else is.
  NewTable same{{4, 0x090909u}};
  EXPECT_FALSE(ReconcileGifPalette(crowded, full.used, same.colours, same.needed, 9, map));
  EXPECT_EQ(map[4], 9);
  NewTable fresh{{0, 0x0102FAu}};
  InUse allButReserved(true, {200});
  EXPECT_FALSE(ReconcileGifPalette(crowded, allButReserved.used, fresh.colours, fresh.needed, 200,
                                   map));
  EXPECT_EQ(map[0], 200);
  EXPECT_EQ(Entry(crowded, 200), 0x0102FAu);
  // With a free entry elsewhere the reserved one is left alone.
  uint8_t again[1024] = {};
  InUse twoFree(true, {200, 17});
  EXPECT_FALSE(ReconcileGifPalette(again, twoFree.used, fresh.colours, fresh.needed, 200, map));
  EXPECT_EQ(map[0], 17);
}

TEST(GifPaletteReconcile, ReportsIdentityWhenEveryColourIsInPlace) {
  uint8_t palette[1024] = {};
  NewTable table{};
  InUse inUse(false, {});
  for (int i = 0; i < 16; ++i) {
    SetEntry(palette, i, (uint32_t)i * 0x0F0E0Du);
    for (int c = 0; c < 3; ++c) table.colours[3 * i + c] = palette[256 * c + i];
    table.needed[i] = i % 2 == 0;
    inUse.used[i] = i % 3 == 0;
  }
  uint8_t map[256];
  EXPECT_TRUE(ReconcileGifPalette(palette, inUse.used, table.colours, table.needed, -1, map));
  for (int i = 0; i < 16; i += 2) EXPECT_EQ(map[i], i);
}

// ---------------------------------------------------------------------------
// Damaged files.

TEST(GifAnimation, SurvivesTruncatedAndBitFlippedFiles) {
  Builder b;
  b.Header(6, 5, kColours, 2, 1).Comment("c");
  b.Control(2, 3, 2).Image(0, 0, 6, 5, Fill(6, 5, 1), 2);
  b.Control(3, 0, 1).Image(1, 1, 3, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0}, 2, true);
  b.Control(1, 0, -1).Image(2, 2, 4, 3, Fill(4, 3, 3), 2, false, kColours, 2).Trailer();
  TempDir dir;
  std::string path = dir.File("d.gif");
  std::mt19937 random(7);
  int runs = 0;
  auto load = [&](const std::vector<uint8_t>& bytes) {
    WriteFileBytes(path, bytes);
    GifAnimation animation{};
    int r = LoadGifAnimationCapped(path.c_str(), &animation, 16u << 20);
    EXPECT_TRUE(r == 0 || r == 1 || r == 2 || r == 3 || r == 4 || r == 9) << r;
    for (uint32_t i = 0; i < animation.frameCount; ++i) {
      EXPECT_EQ(animation.frames[i].image.pixelType, PIXEL_INDEXED);
      EXPECT_NE(animation.frames[i].image.pixels, nullptr);
    }
    GifAnimationFree(&animation);
    ++runs;
  };
  for (size_t n = 0; n < b.bytes.size(); ++n)
    load(std::vector<uint8_t>(b.bytes.begin(), b.bytes.begin() + n));
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> copy = b.bytes;
    for (int k = 0; k < 3; ++k) copy[random() % copy.size()] ^= (uint8_t)(1u << (random() % 8));
    load(copy);
  }
  EXPECT_GT(runs, 300);
}

// ---------------------------------------------------------------------------
// The corpus against ImageMagick's coalesced frames.

TEST(GifAnimation, CorpusFramesMatchImageMagickWhereTheDisposalRulesAgree) {
  std::string dir = CorpusDir("gif");
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveTool("convert") || !HaveTool("giftext")) GTEST_SKIP() << "no ImageMagick or giflib";
  int compared = 0;
  for (const std::string& path : ListFiles(dir, ".gif")) {
    if (RunCommand("giftext '" + path + "' >/dev/null 2>&1") != 0) continue;
    // The first 60 frames are enough (the muybridge animation has 380).
    std::vector<gif_test_files::MagickFrame> magick;
    if (!gif_test_files::MagickFrames(path + "[0-59]", "-coalesce", &magick)) continue;
    Loaded l(path);
    ASSERT_EQ(l.result, 0) << path;
    ASSERT_GT(l.animation.frameCount, 0u) << path;
    const bool partial = magick.size() == 60 && l.animation.frameCount > 60;
    if (partial) {
      // Only the first 60 were asked for.
    } else if (l.animation.frameCount < magick.size()) {
      // Loading stops at a later image larger than the screen.
      std::string sizes;
      ASSERT_EQ(RunCommand("identify -format '%w %h\\n' '" + path + "'", &sizes), 0);
      std::istringstream in(sizes);
      int w = 0, h = 0;
      for (uint32_t k = 0; k <= l.animation.frameCount; ++k) in >> w >> h;
      EXPECT_TRUE(w > l.frame(0).width || h > l.frame(0).height) << path;
    } else {
      ASSERT_EQ(l.animation.frameCount, magick.size()) << path;
    }
    const size_t count = partial ? magick.size() : l.animation.frameCount;
    for (size_t i = 0; i < count; ++i) {
      // After a "restore to previous" the two rules part ways.
      if (i > 0 && magick[i - 1].disposal == "Previous") break;
      const Image& image = l.frame((int)i);
      const uint32_t expectedDelay = magick[i].delay == 0 ? 100u : (uint32_t)magick[i].delay * 10;
      EXPECT_EQ(l.animation.frames[i].delayMs, expectedDelay) << path << " frame " << i;
      Rgba ours = ImageToRgba(image);
      const Rgba& theirs = magick[i].rgba;
      // A first image larger than the logical screen grows our screen,
      // while ImageMagick keeps it: the screen ImageMagick shows is compared.
      ASSERT_GE(ours.width, theirs.width) << path;
      ASSERT_GE(ours.height, theirs.height) << path;
      int bad = 0;
      for (int y = 0; y < theirs.height; ++y)
        for (int x = 0; x < theirs.width; ++x) {
          const uint8_t* b = theirs.at(x, y);
          if (b[3] == 0) continue;  // ImageMagick shows nothing there
          if (memcmp(ours.at(x, y), b, 3) != 0) ++bad;
        }
      EXPECT_EQ(bad, 0) << path << " frame " << i;
      ++compared;
    }
  }
  EXPECT_GT(compared, 100);
}

TEST(GifAnimation, DisposalToPreviousCorpusFileRestoresTheFirstFrame) {
  std::string dir = CorpusDir("gif");
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveTool("identify")) GTEST_SKIP() << "no ImageMagick";
  std::string path = dir + "/pillow-dispose_prev.gif";
  // Each image's rectangle, from ImageMagick.
  std::string geometry;
  ASSERT_EQ(RunCommand("identify -format '%X %Y %w %h\\n' '" + path + "'", &geometry), 0);
  std::istringstream in(geometry);
  std::vector<Rect> rects;
  int x, y, w, h;
  while (in >> x >> y >> w >> h) rects.push_back({x, y, w, h});
  Loaded l(path);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.animation.frameCount, rects.size());
  ASSERT_GE(rects.size(), 3u);
  // Every later image of this file has disposal 3. Each area goes back to
  // what the first frame showed, so outside its own image every frame
  // equals the first frame.
  const Image& first = l.frame(0);
  for (size_t i = 1; i < rects.size(); ++i) {
    const Rect& r = rects[i];
    int outside = 0, differing = 0;
    for (int py = 0; py < first.height; ++py)
      for (int px = 0; px < first.width; ++px) {
        if (px >= r.x && px < r.x + r.width && py >= r.y && py < r.y + r.height) continue;
        ++outside;
        differing += ColourAt(l.frame((int)i), px, py) != ColourAt(first, px, py);
      }
    EXPECT_GT(outside, 0) << i;
    EXPECT_EQ(differing, 0) << "frame " << i;
  }
}


// ---------------------------------------------------------------------------
// quivra-img frames.

TEST(GifFramesCommand, PrintsFramesAndDumpsThemAsPictures) {
  if (!HaveTool("convert")) GTEST_SKIP() << "no ImageMagick";
  Builder b;
  b.Header(3, 2, kColours, 2);
  b.Control(0, 0, -1).Image(0, 0, 3, 2, {1, 1, 1, 2, 2, 2}, 2);
  b.Control(1, 7, 0).Image(1, 0, 1, 2, {3, 0}, 2).Trailer();
  TempDir dir;
  WriteFileBytes(dir.File("a.gif"), b.bytes);
  std::string out;
  ASSERT_EQ(RunCommand("'" + QuivraImg() + "' frames --dump '" + dir.File("dump") + "' '" +
                       dir.File("a.gif") + "'", &out),
            0);
  EXPECT_EQ(out, "frames: 2\nresult: 0\nwidth: 3\nheight: 2\n0 100 -1\n1 70 -1\n");
  // The second frame as written: red row with blue in the middle, green row.
  std::vector<std::string> files = ListFiles(dir.File("dump"));
  ASSERT_EQ(files.size(), 2u);
  Rgba second;
  ASSERT_TRUE(DecodeWithMagick(files[1], &second));
  ASSERT_EQ(second.width, 3);
  const uint32_t expected[6] = {0xFF0000, 0x0000FF, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00};
  for (int i = 0; i < 6; ++i) {
    const uint8_t* p = second.at(i % 3, i / 3);
    EXPECT_EQ((uint32_t)p[0] << 16 | p[1] << 8 | p[2], expected[i]) << i;
  }

  // A file that is not a GIF: result 2, no frames, failure status.
  WriteFileBytes(dir.File("b.gif"),
                 {'n', 'o', 't', ' ', 'a', ' ', 'g', 'i', 'f', '!', '!', '!', '!'});
  EXPECT_NE(RunCommand("'" + QuivraImg() + "' frames '" + dir.File("b.gif") + "'", &out), 0);
  EXPECT_EQ(out, "frames: 0\nresult: 2\nwidth: 0\nheight: 0\n");
}

}  // namespace
