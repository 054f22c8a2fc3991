// Hostile metadata blocks: random mutations of the corpus's real EXIF and
// IPTC blocks and of hand-built ones, every truncation of them, and blocks
// made to loop or to claim huge counts. The readers must return without
// reading outside the block; run under AddressSanitizer this proves it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imagelib/metadata/exif_reader.h"
#include "imagelib/metadata/iptc_reader.h"
#include "tests/imagelib/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_fixtures;
using testing_support::ReadFileBytes;

// Reads a block as both kinds; the block lives in its own allocation of
// exactly its size so that any overread is caught.
size_t ReadEverything(const Bytes& bytes) {
  BlockList exif, iptc;
  exif.Add(META_EXIF, bytes);
  iptc.Add(META_IPTC, bytes);
  size_t rows = 0;
  auto countExif = [](void* c, int, int, const char* name, const char* value) {
    ++*(size_t*)c;
    EXPECT_NE(name, nullptr);
    if (value) {
      EXPECT_LT(strlen(value), 256u);
    }
  };
  auto countIptc = [](void* c, int, const char* name, const char* value) {
    ++*(size_t*)c;
    EXPECT_NE(name, nullptr);
    EXPECT_NE(value, nullptr);
  };
  HasExif(exif.head());
  ReadExif(exif.head(), countExif, &rows);
  HasIptc(iptc.head());
  ReadIptc(iptc.head(), countIptc, &rows);
  return rows;
}

std::vector<Bytes> Seeds() {
  std::vector<Bytes> seeds;
  for (const std::string& f : CorpusJpegs({"exif-makernotes", "iptc"})) {
    Bytes file = ReadFileBytes(f);
    for (uint8_t marker : {(uint8_t)0xE1, (uint8_t)0xED})
      for (const Bytes& s : JpegSegments(file, marker))
        if (s.size() > 8 && s.size() < 70000) seeds.push_back(s);
  }
  // Hand-built seeds, so that the test bites without the corpus too.
  TiffBuilder b(true);
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  int gps = b.AddDirectory();
  b.Add(ifd0, 271, Ascii("NIKON"));
  b.Point(ifd0, 34665, exif);
  b.Point(ifd0, 34853, gps);
  b.Add(exif, 33434, Rational({1, 250}));
  b.Add(exif, 37500, Undefined(Bytes{'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0, 'M', 'M', 0, 42,
                                     0, 0, 0, 8, 0, 1, 0, 0x88, 0, 7, 0, 0, 0, 4, 0, 1, 0, 2,
                                     0, 0, 0, 0}));
  b.Add(gps, 2, Rational({52, 1, 30, 1, 1234, 100}));
  seeds.push_back(b.Block());
  Bytes datasets = Join({Dataset(2, 25, "a"), Dataset(2, 25, "b"), Dataset(2, 120, "caption")});
  seeds.push_back(PhotoshopBlock({Resource(0x0404, "ab", datasets)}));
  return seeds;
}

TEST(MetadataFuzz, RandomMutationsOfRealBlocks) {
  std::vector<Bytes> seeds = Seeds();
  ASSERT_FALSE(seeds.empty());
  std::mt19937 random(20261206);
  size_t runs = 0;
  for (int round = 0; round < 6000; ++round) {
    Bytes block = seeds[random() % seeds.size()];
    int mutations = 1 + (int)(random() % 8);
    for (int m = 0; m < mutations; ++m) {
      size_t at = random() % block.size();
      switch (random() % 5) {
        case 0: block[at] ^= (uint8_t)(1u << (random() % 8)); break;
        case 1: block[at] = (uint8_t)random(); break;
        case 2: block[at] = 0xFF; break;
        case 3: block[at] = 0; break;
        case 4:  // plant a big 32-bit number
          for (size_t k = 0; k < 4 && at + k < block.size(); ++k) block[at + k] = 0xFF;
          break;
      }
    }
    if (random() % 4 == 0) block.resize(random() % block.size() + 1);
    ReadEverything(block);
    ++runs;
  }
  EXPECT_EQ(runs, 6000u);
}

TEST(MetadataFuzz, EveryTruncationOfTheHandBuiltBlocks) {
  std::vector<Bytes> seeds = Seeds();
  for (size_t s = seeds.size() >= 2 ? seeds.size() - 2 : 0; s < seeds.size(); ++s)
    for (size_t cut = 0; cut <= seeds[s].size(); ++cut)
      ReadEverything(Bytes(seeds[s].begin(), seeds[s].begin() + (long)cut));
  SUCCEED();
}

TEST(MetadataFuzz, LoopsHugeCountsAndFullDirectories) {
  // A directory of 65535 entries in a block that holds them all: every
  // entry is read once and the walk ends.
  Bytes block = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF};
  block.resize(block.size() + 65535 * 12 + 4, 0);
  for (size_t e = 0; e < 65535; ++e) {
    uint8_t* p = &block[16 + e * 12];
    p[0] = 0x0F;  // Make
    p[1] = 0x01;
    p[2] = 2;  // ASCII
    memset(p + 4, 0xFF, 4);  // count near 2^32
  }
  EXPECT_EQ(ReadEverything(block), 1u) << "only the Camera group start";

  // Sub-directories pointing at IFD0 itself, and a chain pointing back.
  TiffBuilder b(false);
  int ifd0 = b.AddDirectory();
  int ifd1 = b.AddDirectory();
  b.Point(ifd0, 34665, ifd0);
  b.Point(ifd0, 34853, ifd0);
  b.Point(ifd0, 40965, ifd0);
  b.Link(ifd0, ifd1);
  b.Link(ifd1, ifd0);
  b.Add(ifd1, 272, Ascii("x"));
  size_t rows = ReadEverything(b.Block());
  EXPECT_LT(rows, 40u);
}

}  // namespace
