// The TIFF decompressors on their own: PackBits, LZW in both bit orders,
// CCITT uncompressed mode and damaged rows, ThunderScan and the LogLuv
// helpers, each against data built here from the published definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imagelib/codecs/tiff_fax.h"
#include "imagelib/codecs/tiff_lzw.h"
#include "imagelib/codecs/tiff_packbits.h"
#include "imagelib/codecs/tiff_sgilog.h"
#include "imagelib/codecs/tiff_thunderscan.h"

namespace {

std::vector<uint8_t> ReadAll(TiffDecompressor& d, const std::vector<uint8_t>& in, size_t size, int* rc,
                             size_t piece = 0) {
  d.Begin(in.data(), in.size());
  std::vector<uint8_t> out(size, 0xEE);
  if (piece == 0) piece = size;
  size_t done = 0;
  *rc = 0;
  while (done < size) {
    size_t n = std::min(piece, size - done), produced = 0;
    *rc = d.Read(out.data() + done, n, &produced);
    done += produced;
    if (*rc != 0) break;
  }
  out.resize(done);
  return out;
}

TEST(TiffPackBits, DecodesTheTiffSixExample) {
  const std::vector<uint8_t> packed = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03,
                                       0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};
  const std::vector<uint8_t> plain = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                                      0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  auto d = NewPackBitsDecompressor();
  int rc;
  EXPECT_EQ(ReadAll(*d, packed, plain.size(), &rc), plain);
  EXPECT_EQ(rc, 0);
  // Runs and literals that straddle two reads.
  EXPECT_EQ(ReadAll(*d, packed, plain.size(), &rc, 5), plain);
  EXPECT_EQ(rc, 0);
  // Asking for more than the data holds: what there is, and "not complete".
  std::vector<uint8_t> got = ReadAll(*d, packed, plain.size() + 3, &rc);
  EXPECT_EQ(rc, TIFF_DECODE_SHORT);
  EXPECT_EQ(got, plain);
}

// A straightforward LZW encoder: `early` widens the codes one code early
// (the usual TIFF writer), `lsbFirst` packs the codes low bit first (the
// early variant).
std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& data, bool lsbFirst) {
  std::vector<uint8_t> out;
  uint64_t bits = 0;
  int count = 0, width = 9, next = 258;
  auto put = [&](int code) {
    if (lsbFirst) {
      bits |= (uint64_t)code << count;
      count += width;
      while (count >= 8) {
        out.push_back((uint8_t)bits);
        bits >>= 8;
        count -= 8;
      }
    } else {
      bits = (bits << width) | (uint64_t)code;
      count += width;
      while (count >= 8) {
        out.push_back((uint8_t)(bits >> (count - 8)));
        count -= 8;
      }
    }
  };
  std::map<std::pair<int, int>, int> table;
  auto grow = [&]() {
    next++;
    // The reader adds each entry one code later than the writer, and
    // widens once its next free code reaches the limit.
    int limit = lsbFirst ? (1 << width) : (1 << width) - 1;
    if (next > limit && width < 12) width++;
  };
  put(256);
  int prefix = -1;
  for (uint8_t b : data) {
    if (prefix < 0) {
      prefix = b;
      continue;
    }
    auto it = table.find({prefix, b});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix);
    table[{prefix, b}] = next;
    grow();
    prefix = b;
    if (next >= 4093) {
      put(prefix);
      prefix = -1;
      put(256);
      table.clear();
      next = 258;
      width = 9;
    }
  }
  if (prefix >= 0) put(prefix);
  put(257);
  if (count > 0) out.push_back(lsbFirst ? (uint8_t)bits : (uint8_t)(bits << (8 - count)));
  return out;
}

std::vector<uint8_t> Sample(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> v(n);
  // Runs and repeats so that long strings and a full table both occur.
  for (size_t i = 0; i < n; i++) v[i] = (i % 97 < 40) ? (uint8_t)(i / 97) : (uint8_t)(random() % 7);
  return v;
}

TEST(TiffLzw, BothBitOrdersAndFullTables) {
  for (bool old : {false, true}) {
    std::vector<uint8_t> data = Sample(60000, old ? 3 : 4);
    std::vector<uint8_t> packed = LzwEncode(data, old);
    auto d = NewLzwDecompressor();
    int rc;
    EXPECT_EQ(ReadAll(*d, packed, data.size(), &rc, 333), data) << (old ? "old" : "new");
    EXPECT_EQ(rc, 0);
  }
}

TEST(TiffLzw, TheBitOrderOfTheFirstStripHoldsForThePage) {
  std::vector<uint8_t> a = Sample(5000, 8), b = Sample(5000, 9);
  std::vector<uint8_t> first = LzwEncode(a, true), second = LzwEncode(b, true);
  auto d = NewLzwDecompressor();
  int rc;
  EXPECT_EQ(ReadAll(*d, first, a.size(), &rc), a);
  EXPECT_EQ(ReadAll(*d, second, b.size(), &rc), b);
  EXPECT_EQ(rc, 0);
}

TEST(TiffLzw, CodesPastTheTableAreRefused) {
  // Clear, 'A', then code 400 while the table holds up to 258.
  std::vector<uint8_t> packed;
  uint32_t codes[] = {256, 65, 400, 66};
  uint64_t bits = 0;
  int count = 0;
  for (uint32_t c : codes) {
    bits = (bits << 9) | c;
    count += 9;
  }
  bits <<= (40 - count);
  for (int i = 4; i >= 0; i--) packed.push_back((uint8_t)(bits >> (8 * i)));
  auto d = NewLzwDecompressor();
  int rc;
  std::vector<uint8_t> got = ReadAll(*d, packed, 10, &rc);
  EXPECT_EQ(rc, TIFF_DECODE_BAD_LZW);
  EXPECT_EQ(got, std::vector<uint8_t>{65});
}

// Bits written most significant first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  int used = 0;
  void Put(const std::string& s) {
    for (char c : s) {
      if (used % 8 == 0) bytes.push_back(0);
      if (c == '1') bytes.back() |= (uint8_t)(0x80 >> (used % 8));
      used++;
    }
  }
};

TEST(TiffFax, UncompressedModeInOneAndTwoDimensions) {
  // Black, white-black, five whites, one white and exit (white follows),
  // then the remaining 7 whites.
  const std::vector<uint8_t> expected = {0xA0, 0x00};
  {
    BitWriter w;
    w.Put("000000000001");  // EOL
    w.Put("000000001111");  // uncompressed mode
    w.Put("1" "01" "000001" "00000001" "0");
    w.Put("1111");          // white run of 7
    auto d = NewFaxDecompressor(TiffFaxKind::kGroup3, 16, 0);
    int rc;
    EXPECT_EQ(ReadAll(*d, w.bytes, 2, &rc), expected);
    EXPECT_EQ(rc, 0);
  }
  {
    BitWriter w;
    w.Put("0000001111");  // extension: uncompressed mode
    w.Put("1" "01" "000001" "00000001" "0");
    w.Put("1");  // V0 to the end of the all-white reference row
    auto d = NewFaxDecompressor(TiffFaxKind::kGroup4, 16, 0);
    int rc;
    EXPECT_EQ(ReadAll(*d, w.bytes, 2, &rc), expected);
    EXPECT_EQ(rc, 0);
  }
}

TEST(TiffFax, GroupThreeRowsResyncAtTheirEol) {
  // Row 1: white 4, black 4, then a premature EOL; row 2: white 2, black 6.
  BitWriter w;
  w.Put("000000000001");
  w.Put("1011" "011");        // white 4, black 4
  w.Put("000000000001");      // EOL in the middle of the row
  w.Put("0111" "0010");       // white 2, black 6
  w.Put("000000000001");
  auto d = NewFaxDecompressor(TiffFaxKind::kGroup3, 8, 0);
  int rc;
  std::vector<uint8_t> got = ReadAll(*d, w.bytes, 2, &rc);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], 0x0F);
  EXPECT_EQ(got[1], 0x3F);
}

TEST(TiffFax, EndlessOrBrokenDataEndsWithAResult) {
  std::mt19937 random(7);
  for (TiffFaxKind kind : {TiffFaxKind::kModifiedHuffman, TiffFaxKind::kGroup3, TiffFaxKind::kGroup4}) {
    for (int round = 0; round < 20; round++) {
      std::vector<uint8_t> data(500);
      for (auto& b : data) b = round == 0 ? 0xFF : round == 1 ? 0x00 : (uint8_t)random();
      auto d = NewFaxDecompressor(kind, 1728, round & 1);
      int rc;
      std::vector<uint8_t> got = ReadAll(*d, data, 216 * 400, &rc);
      EXPECT_LE(got.size(), 216u * 400u);
      if (got.size() < 216u * 400u) {
        EXPECT_NE(rc, 0);
      }
    }
  }
}

TEST(TiffThunderScan, CodesAndTheRunAtTheRowEnd) {
  // Raw 5; deltas +1, -1 (third skipped); 3-bit +3 (second skipped); a run
  // of 1; then a run of 2 that would reach the row end: like libtiff, only
  // the pixel that completes a half-filled byte is written.
  std::vector<uint8_t> data = {0xC5, 0x40 | (1 << 4) | (3 << 2) | 2, 0x80 | (3 << 3) | 4, 0x01, 0x02};
  auto d = NewThunderScanDecompressor(7);
  int rc;
  std::vector<uint8_t> got = ReadAll(*d, data, 4, &rc);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], 0x56);
  EXPECT_EQ(got[1], 0x58);
  EXPECT_EQ(got[2], 0x88);
  EXPECT_EQ(got[3], 0x00);
}

TEST(TiffSgiLog, LuminanceChromaticityAndToneCurve) {
  EXPECT_EQ(LogL16ToY(0), 0.0);
  EXPECT_NEAR(LogL16ToY(64 * 256), std::exp(0.5 * std::log(2.0) / 256), 1e-12);
  EXPECT_LT(LogL16ToY(0x8000 | (64 * 256)), 0.0);
  EXPECT_EQ(LogL10ToY(0), 0.0);
  EXPECT_NEAR(LogL10ToY(12 * 64), std::exp(0.5 * std::log(2.0) / 64), 1e-12);
  double u, v;
  LogUvDecode(0, &u, &v);
  EXPECT_NEAR(u, 0.247663 + 0.5 * 0.0035, 1e-6);
  EXPECT_NEAR(v, 0.01694 + 0.5 * 0.0035, 1e-6);
  LogUvDecode(4, &u, &v);  // first cell of the second row
  EXPECT_NEAR(u, 0.243779 + 0.5 * 0.0035, 1e-6);
  EXPECT_NEAR(v, 0.01694 + 1.5 * 0.0035, 1e-6);
  LogUvDecode(16289, &u, &v);
  EXPECT_NEAR(u, 0.210526316, 1e-9);
  EXPECT_NEAR(v, 0.473684211, 1e-9);
  EXPECT_EQ(LogToneMap(-1), 0);
  EXPECT_EQ(LogToneMap(0.25), 128);
  EXPECT_EQ(LogToneMap(1.0), 255);
  EXPECT_EQ(LogToneMap(0.5), (uint8_t)(256 * std::sqrt(0.5)));
}

}  // namespace
