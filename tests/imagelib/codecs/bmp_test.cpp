// The BMP reader and writer, checked against ImageMagick and Pillow on the
// public bitmap corpus and on small bitmaps built here byte by byte, and
// against pixels worked out by hand where no peer reads the variant.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// ---------------------------------------------------------------------------
// Building bitmaps byte by byte.

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back((uint8_t)v);
  out.push_back((uint8_t)(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}
// The bytes from the pixel data offset to the end.
std::vector<uint8_t> PixelData(const std::vector<uint8_t>& b) {
  return std::vector<uint8_t>(b.begin() + Get32(b, 10), b.end());
}

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return (uint16_t)(b[at] | (b[at + 1] << 8)); }

struct Colour {
  uint8_t r, g, b;
};

struct BmpBuilder {
  bool os2 = false;
  uint32_t headerSize = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: top-down
  uint16_t planes = 1;
  uint16_t bits = 8;
  uint32_t compression = 0;
  uint32_t xPixelsPerMetre = 0;
  uint32_t yPixelsPerMetre = 0;
  uint32_t coloursUsed = 0;
  // Colour masks (red, green, blue[, alpha]): inside headers of 52 bytes and
  // more, else right after the 40-byte header.
  std::vector<uint32_t> masks;
  std::vector<Colour> palette;
  std::vector<uint8_t> data;  // the pixel data as stored
  // Extra bytes between the palette and the pixel data.
  size_t gap = 0;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> header;
    if (os2) {
      Put32(header, 12);
      Put16(header, (uint32_t)width);
      Put16(header, (uint32_t)height);
      Put16(header, planes);
      Put16(header, bits);
    } else {
      Put32(header, headerSize);
      Put32(header, (uint32_t)width);
      Put32(header, (uint32_t)height);
      Put16(header, planes);
      Put16(header, bits);
      Put32(header, compression);
      Put32(header, 0);
      Put32(header, xPixelsPerMetre);
      Put32(header, yPixelsPerMetre);
      Put32(header, coloursUsed);
      Put32(header, 0);
      if (headerSize > 40) {
        for (size_t i = 0; i < masks.size() && header.size() + 4 <= headerSize; ++i) Put32(header, masks[i]);
        header.resize(headerSize, 0);
      } else {
        for (uint32_t m : masks) Put32(header, m);
      }
    }
    for (const Colour& c : palette) {
      header.push_back(c.b);
      header.push_back(c.g);
      header.push_back(c.r);
      if (!os2) header.push_back(0);
    }
    header.resize(header.size() + gap, 0);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, (uint32_t)(14 + header.size() + data.size()));
    Put32(out, 0);
    Put32(out, (uint32_t)(14 + header.size()));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
};

BmpBuilder Bmp(int32_t width, int32_t height, int bits, uint32_t compression = 0) {
  BmpBuilder b;
  b.width = width;
  b.height = height;
  b.bits = (uint16_t)bits;
  b.compression = compression;
  return b;
}

// Rows of values packed as a bitmap stores them (first pixel in the high
// bits for depths below 8; 16 and 32 bits little-endian; 24 bits as B, G, R
// from 0xRRGGBB), each padded to 4 bytes.
std::vector<uint8_t> PackRows(const std::vector<std::vector<uint32_t>>& rows, int bits) {
  std::vector<uint8_t> out;
  for (const auto& row : rows) {
    std::vector<uint8_t> bytes;
    if (bits < 8) {
      bytes.assign((row.size() * bits + 7) / 8, 0);
      for (size_t x = 0; x < row.size(); ++x) {
        size_t bit = x * bits;
        bytes[bit / 8] |= (uint8_t)(row[x] << (8 - bits - bit % 8));
      }
    } else {
      for (uint32_t v : row) {
        if (bits == 8) bytes.push_back((uint8_t)v);
        if (bits == 16) Put16(bytes, v);
        if (bits == 24) {
          bytes.push_back((uint8_t)v);
          bytes.push_back((uint8_t)(v >> 8));
          bytes.push_back((uint8_t)(v >> 16));
        }
        if (bits == 32) Put32(bytes, v);
      }
    }
    while (bytes.size() % 4) bytes.push_back(0);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

// A picture of indexes or values, top row first.
using Grid = std::vector<std::vector<uint32_t>>;

Grid Pattern(int width, int height, uint32_t modulo, uint32_t seed = 0) {
  Grid g(height, std::vector<uint32_t>(width));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) g[y][x] = (uint32_t)((x * 7 + y * 13 + seed + x * y) % modulo);
  return g;
}

Grid BottomUp(Grid g) {
  std::reverse(g.begin(), g.end());
  return g;
}

std::vector<Colour> TestPalette(int n) {
  std::vector<Colour> p;
  for (int i = 0; i < n; ++i)
    p.push_back(Colour{(uint8_t)(i * 37 + 11), (uint8_t)(255 - i * 23), (uint8_t)((i * 91) ^ 0x5A)});
  return p;
}

// What a palette picture must look like.
Rgba ExpectedFromPalette(const Grid& indexes, const std::vector<Colour>& palette) {
  Rgba out;
  out.height = (int)indexes.size();
  out.width = (int)indexes[0].size();
  out.pixels.assign((size_t)out.width * out.height * 4, 255);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      uint32_t i = indexes[y][x];
      Colour c = i < palette.size() ? palette[i] : Colour{0, 0, 0};
      uint8_t* p = out.at(x, y);
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
    }
  return out;
}


// A picture of 0xRRGGBBAA values, top row first.
Rgba FromRgbaValues(const Grid& values) {
  Rgba out;
  out.height = (int)values.size();
  out.width = (int)values[0].size();
  out.pixels.resize((size_t)out.width * out.height * 4);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 4; ++c) out.at(x, y)[c] = (uint8_t)(values[y][x] >> (24 - 8 * c));
  return out;
}

// ---------------------------------------------------------------------------
// Loading and the peers.

class BmpTest : public ::testing::Test {
 protected:
  FormatsScope formats;
  TempDir dir;

  std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "picture.bmp") {
    std::string path = dir.File(name);
    WriteFileBytes(path, bytes);
    return path;
  }

  // Loads with default options (or the given flags); the picture as RGBA.
  int Load(const std::string& path, Rgba* out, uint32_t flags = 0, ImageInfo* info = nullptr) {
    Image image{};
    int r = LoadFile(path, &image, flags, info);
    if (r == 0) *out = ImageToRgba(image);
    ImageFree(&image);
    return r;
  }

  int LoadBytes(const std::vector<uint8_t>& bytes, Rgba* out, uint32_t flags = 0, ImageInfo* info = nullptr,
                const std::string& name = "picture.bmp") {
    return Load(Write(bytes, name), out, flags, info);
  }

  // Where ImageMagick reads the file, its picture is within `tolerance` of ours.
  void ExpectMagickAgrees(const std::string& path, const Rgba& ours, int tolerance = 0) {
    Rgba magick;
    if (DecodeWithMagick(path, &magick)) {
      EXPECT_LE(MaxDifference(ours, magick), tolerance);
    }
  }
};

// Pillow decodes of several files in one Python run (starting Python is
// slow); files Pillow cannot read are missing from the result.
std::map<std::string, Rgba> DecodeWithPillow(const std::vector<std::string>& paths) {
  std::map<std::string, Rgba> out;
  if (paths.empty()) return out;
  TempDir scratch;
  std::string cmd =
      "/usr/bin/python3 -c \"import sys\nfrom PIL import Image\n"
      "for i, p in enumerate(sys.argv[2:]):\n"
      "  try:\n"
      "    im = Image.open(p).convert('RGBA')\n"
      "    open('%s/%d.rgba' % (sys.argv[1], i), 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\n"
      "  except Exception:\n"
      "    pass\n\" '" +
      scratch.path() + "'";
  for (const std::string& p : paths) cmd += " '" + p + "'";
  cmd += " 2>/dev/null";
  if (RunCommand(cmd) != 0) return out;
  for (size_t i = 0; i < paths.size(); ++i) {
    std::vector<uint8_t> data = ReadFileBytes(scratch.File(std::to_string(i) + ".rgba"));
    auto eol = std::find(data.begin(), data.end(), '\n');
    if (eol == data.end()) continue;
    int w = 0, h = 0;
    if (sscanf(std::string(data.begin(), eol).c_str(), "%d %d", &w, &h) != 2 || w <= 0 || h <= 0) continue;
    if ((size_t)(data.end() - eol - 1) != (size_t)w * h * 4) continue;
    Rgba& r = out[paths[i]];
    r.width = w;
    r.height = h;
    r.pixels.assign(eol + 1, data.end());
  }
  return out;
}

// Whether ours equals what a peer shows, exactly (colour channels only:
// the peers differ among themselves on alpha). Pillow's decode, when known,
// is tried first; ImageMagick when Pillow is missing or differs.
struct PeerVerdict {
  bool anyPeer = false;
  bool matches = false;
  std::string detail;
};

PeerVerdict CompareWithPeers(const std::string& path, const Rgba& ours, const Rgba* pillow) {
  PeerVerdict v;
  if (pillow) {
    v.anyPeer = true;
    int d = MaxDifference(ours, *pillow);
    v.detail += "Pillow max difference " + std::to_string(d) + "; ";
    if (d == 0) {
      v.matches = true;
      return v;
    }
  }
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    v.anyPeer = true;
    int d = MaxDifference(ours, magick);
    v.detail += "ImageMagick max difference " + std::to_string(d) + "; ";
    if (d == 0) v.matches = true;
  }
  return v;
}

bool HavePeers() { return HaveTool("convert") && HaveTool("identify"); }

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// A second, small decoder for bit-field bitmaps (16 and 32 bits,
// compression 3), written from the format's definition: every field scaled
// to 0..255 as v * 255 / (2^bits - 1), truncated. False when the file is
// not such a bitmap.
bool DecodeBitFields(const std::vector<uint8_t>& b, Rgba* out) {
  if (b.size() < 66 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t offset = Get32(b, 10), headerSize = Get32(b, 14);
  const int32_t width = (int32_t)Get32(b, 18), height = (int32_t)Get32(b, 22);
  const int bits = Get16(b, 28);
  if (headerSize < 40 || Get32(b, 30) != 3 || (bits != 16 && bits != 32) || width <= 0 || height == 0)
    return false;
  uint32_t masks[3] = {Get32(b, 54), Get32(b, 58), Get32(b, 62)};
  const int rows = std::abs(height);
  const size_t stride = ((size_t)width * bits / 8 + 3) & ~(size_t)3;
  if (offset + stride * rows > b.size()) return false;
  out->width = width;
  out->height = rows;
  out->pixels.assign((size_t)width * rows * 4, 255);
  for (int y = 0; y < rows; ++y) {
    size_t row = offset + stride * (height > 0 ? rows - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      uint32_t p = bits == 16 ? Get16(b, row + 2 * x) : Get32(b, row + 4 * x);
      for (int c = 0; c < 3; ++c) {
        uint32_t m = masks[c];
        if (bits == 16) m &= 0xFFFF;
        if (!m) {
          out->at(x, y)[c] = 0;
          continue;
        }
        int shift = 0;
        while (!((m >> shift) & 1)) ++shift;
        uint64_t maximum = (1ull << __builtin_popcount(m)) - 1;
        out->at(x, y)[c] = (uint8_t)std::min<uint64_t>(((p & m) >> shift) * 255 / maximum, 255);
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// The corpus.

// Files outside the good set that a peer decodes, but where this reader
// shows something else on purpose, with the reason.
const char* KnownDeviation(const std::string& name) {
  static const char kNarrowFields[] =
      "bit fields of 3 to 7 bits are scaled to the full 0..255 range; ImageMagick 6.9 replicates their "
      "bits only partly (its 4-bit white is 240) and Pillow refuses the masks; checked by "
      "CorpusBitFieldFilesEqualTheirMasksScaledToFullRange";
  static const std::pair<const char*, const char*> kList[] = {
      {"bmpsuite-q-rgb16-3103.bmp", kNarrowFields},
      {"bmpsuite-q-rgba16-4444.bmp", kNarrowFields},
      {"bmpsuite-q-rgb32-7187.bmp", kNarrowFields},
      {"bmpsuite-q-rgba32-61754.bmp", kNarrowFields},
      {"image-rs-V3_A4_R4_G4_B4_Top_Down.bmp", kNarrowFields},
      {"twelvemonkeys-blauesglas_16_bitmask444.bmp", kNarrowFields},
      {"bmpsuite-q-pal4rlecut.bmp",
       "ImageMagick refuses it and Pillow 9.4 garbles its RLE4 rows; pixels the data never reaches are "
       "palette entry 0; checked by CorpusRleFilesThatOverrunTheirRows"},
      {"twelvemonkeys-blauesglas_4.rle",
       "its RLE4 rows run one pixel past the row end: the extra pixel is dropped (as in the RLE8 twin "
       "blauesglas_4-IM.bmp), ImageMagick wraps it into the next row; checked by "
       "CorpusRleFilesThatOverrunTheirRows"},
  };
  for (const auto& [file, why] : kList)
    if (name == file) return why;
  return nullptr;
}

// The good set must equal a peer; other files must equal a peer where one
// reads them, unless listed above.
TEST_F(BmpTest, CorpusFilesEqualAPeerDecoder) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick missing";
  std::vector<std::string> files;
  for (const std::string& path : ListFiles(folder)) {
    std::string name = BaseName(path);
    if (StartsWith(name, "bmpsuite-b-") || StartsWith(name, "bmpsuite-x-")) continue;
    if (name.find("overflow") != std::string::npos) continue;  // deliberately malformed
    files.push_back(path);
  }
  auto pillow = DecodeWithPillow(files);
  int good = 0, others = 0;
  for (const std::string& path : files) {
    std::string name = BaseName(path);
    SCOPED_TRACE(name);
    const bool inGoodSet = StartsWith(name, "bmpsuite-g-");
    Rgba ours;
    int r = Load(path, &ours);
    if (!inGoodSet && KnownDeviation(name)) continue;
    auto p = pillow.find(path);
    PeerVerdict v = CompareWithPeers(path, ours, p == pillow.end() ? nullptr : &p->second);
    EXPECT_TRUE(v.anyPeer || !inGoodSet);
    if (!v.anyPeer) continue;  // no peer reads it: only required not to crash
    ASSERT_EQ(r, 0);
    EXPECT_TRUE(v.matches) << v.detail;
    ++(inGoodSet ? good : others);
  }
  EXPECT_GE(good, 10);
  EXPECT_GE(others, 20);
}

TEST_F(BmpTest, CorpusBitFieldFilesEqualTheirMasksScaledToFullRange) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  int checked = 0;
  for (const std::string& path : ListFiles(folder)) {
    std::string name = BaseName(path);
    if (StartsWith(name, "bmpsuite-b-")) continue;
    Rgba expected;
    if (!DecodeBitFields(ReadFileBytes(path), &expected)) continue;
    SCOPED_TRACE(name);
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    EXPECT_EQ(MaxDifference(ours, expected), 0);
    // The peer shows the same picture, up to its partial bit replication.
    Rgba magick;
    if (DecodeWithMagick(path, &magick)) {
      EXPECT_LE(MaxDifference(ours, magick), 31);
    }
    ++checked;
  }
  EXPECT_GE(checked, 8);
}

TEST_F(BmpTest, CorpusRleFilesThatOverrunTheirRows) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  // The RLE4 file overruns its rows by one pixel; its RLE8 twin does not.
  Rgba rle4, twin;
  ASSERT_EQ(Load(folder + "/twelvemonkeys-blauesglas_4.rle", &rle4), 0);
  ASSERT_EQ(Load(folder + "/twelvemonkeys-blauesglas_4-IM.bmp", &twin), 0);
  ASSERT_EQ(rle4.width, twin.width);
  ASSERT_EQ(rle4.height, twin.height);
  for (int y = 0; y < rle4.height; ++y)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(rle4.at(0, y)[c], twin.at(0, y)[c]) << "row " << y;
  Rgba magick;
  if (DecodeWithMagick(folder + "/twelvemonkeys-blauesglas_4.rle", &magick)) {
    // Elsewhere ImageMagick agrees exactly.
    for (int y = 0; y < rle4.height; ++y)
      for (int x = 1; x < rle4.width; ++x)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(rle4.at(x, y)[c], magick.at(x, y)[c]) << x << "," << y;
  }
  // The cut RLE4 file: the part the data reaches shows the suite's colour
  // bars; the rest is palette entry 0.
  std::vector<uint8_t> cut = ReadFileBytes(folder + "/bmpsuite-q-pal4rlecut.bmp");
  Rgba ours;
  ASSERT_EQ(Load(folder + "/bmpsuite-q-pal4rlecut.bmp", &ours), 0);
  const uint32_t paletteAt = 14 + Get32(cut, 14);
  const uint8_t entry0[3] = {cut[paletteAt + 2], cut[paletteAt + 1], cut[paletteAt]};
  for (int c = 0; c < 3; ++c) EXPECT_EQ(ours.at(ours.width - 1, 0)[c], entry0[c]);
  bool differs = false;
  for (int x = 0; x < ours.width; ++x)
    if (memcmp(ours.at(x, ours.height - 1), entry0, 3) != 0) differs = true;
  EXPECT_TRUE(differs);
}

TEST_F(BmpTest, CorpusBadFilesGiveAResultCodeAndDamagedCopiesNeverCrash) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  int loads = 0;
  for (const std::string& path : ListFiles(folder)) {
    std::string name = BaseName(path);
    SCOPED_TRACE(name);
    Rgba ours;
    int r = Load(path, &ours, LOAD_KEEP_PARTIAL);
    EXPECT_GE(r, 0);
    EXPECT_LE(r, 16);
    if (StartsWith(name, "bmpsuite-b-") || StartsWith(name, "bmpsuite-x-")) ++loads;
  }
  EXPECT_GE(loads, 10);
  // Damaged copies of a few representative files.
  for (const char* name : {"bmpsuite-g-pal8rle.bmp", "bmpsuite-g-rgb16-565.bmp", "bmpsuite-g-rgb32bf.bmp",
                           "commons-imaging-rle4.bmp", "twelvemonkeys-money-2-os2.bmp"}) {
    std::vector<uint8_t> bytes = ReadFileBytes(folder + "/" + name);
    if (bytes.empty()) continue;
    EXPECT_GT(FeedDamagedCopies(bytes, "bmp", 48), 0);
  }
}

// ---------------------------------------------------------------------------
// Palette pictures.

TEST_F(BmpTest, PalettePicturesOfEveryDepthEqualTheirPaletteAndImageMagick) {
  for (bool os2 : {false, true}) {
    for (int bits : {1, 4, 8}) {
      SCOPED_TRACE(std::string(os2 ? "OS/2 " : "Windows ") + std::to_string(bits) + " bits");
      Grid indexes = Pattern(13, 6, 1u << bits);
      BmpBuilder b = Bmp(13, 6, bits);
      b.os2 = os2;
      b.palette = TestPalette(1 << bits);
      b.data = PackRows(BottomUp(indexes), bits);
      std::string path = Write(b.Bytes());
      Rgba ours;
      ImageInfo info{};
      ASSERT_EQ(Load(path, &ours, 0, &info), 0);
      EXPECT_STREQ(info.formatText, os2 ? "OS/2 Bitmap" : "Windows Bitmap");
      EXPECT_EQ(info.bitsPerPlane, bits);
      ImageInfoFree(&info);
      EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(indexes, b.palette)), 0);
      ExpectMagickAgrees(path, ours);
      if (bits == 4) {
        EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp", 16), 0);
      }
    }
  }
}

TEST_F(BmpTest, ShortPaletteAndPaletteBeyondTheColoursUsedAreHandled) {
  // Two colours used in an 8-bit picture: the other indexes show black.
  Grid indexes = {{0, 1, 0, 1, 0}, {1, 1, 0, 0, 1}};
  BmpBuilder b = Bmp(5, 2, 8);
  b.coloursUsed = 2;
  b.palette = TestPalette(2);
  b.data = PackRows(BottomUp(indexes), 8);
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(indexes, b.palette)), 0);
}

TEST_F(BmpTest, TwoBitPocketBitmapLoadsThroughItsOwnExtension) {
  Grid indexes = {{0, 1, 2, 3, 1}, {3, 3, 2, 2, 0}, {1, 0, 3, 0, 2}};
  BmpBuilder b = Bmp(5, 3, 2);
  b.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  b.data = PackRows(BottomUp(indexes), 2);
  // Rows of ceil(5 / 4) = 2 bytes, padded to 4: the first stored row is the
  // bottom one, 1,0,3,0 | 2 = 0x4C, 0x80.
  ASSERT_EQ(b.data.size(), 12u);
  EXPECT_EQ(b.data[0], 0x4C);
  EXPECT_EQ(b.data[1], 0x80);
  std::string path = Write(b.Bytes(), "phone.2bp");
  Image image{};
  ImageInfo info{};
  ASSERT_EQ(LoadFile(path, &image, 0, &info), 0);
  EXPECT_EQ(info.formatIndex, FindFormat("2bp"));
  EXPECT_EQ(image.pixelType, PIXEL_INDEXED);
  EXPECT_EQ(image.paletteCount, 4);
  EXPECT_EQ(MaxDifference(ImageToRgba(image), ExpectedFromPalette(indexes, b.palette)), 0);
  ImageFree(&image);
  ImageInfoFree(&info);
}

// ---------------------------------------------------------------------------
// Direct colour, orientation and bit fields.

// Each top-down file equals its bottom-up twin and holds the stored colours;
// the 24-bit OS/2 rows of 15 bytes carry one byte of padding.
TEST_F(BmpTest, DirectAndTopDownBitmapsEqualTheStoredPixelsAndImageMagick) {
  struct Case {
    const char* name;
    int bits, width;
    bool os2;
  } cases[] = {
      {"4 bits", 4, 9, false},          {"8 bits", 8, 9, false},    {"24 bits", 24, 9, false},
      {"32 bits", 32, 9, false},        {"OS/2 24 bits, padded rows", 24, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int h = 7;
    Grid values = Pattern(c.width, h, c.bits >= 24 ? 0xFFFFFF : (1u << c.bits), 3);
    if (c.bits >= 24)
      for (auto& row : values)
        for (auto& v : row) v = v * 2654435761u & 0xFFFFFF;
    BmpBuilder up = Bmp(c.width, h, c.bits);
    up.os2 = c.os2;
    if (c.bits < 16) up.palette = TestPalette(1 << c.bits);
    up.data = PackRows(BottomUp(values), c.bits);
    Rgba expected;
    if (c.bits < 16) {
      expected = ExpectedFromPalette(values, up.palette);
    } else {
      Grid rgba = values;
      for (auto& row : rgba)
        for (auto& v : row) v = v << 8 | 0xFF;
      expected = FromRgbaValues(rgba);
    }
    Rgba a, b;
    std::string path = Write(up.Bytes());
    ASSERT_EQ(Load(path, &a), 0);
    EXPECT_EQ(MaxDifference(a, expected), 0);
    ExpectMagickAgrees(path, a);
    if (c.os2) continue;  // OS/2 headers hold no negative heights
    BmpBuilder down = up;
    down.height = -h;
    down.data = PackRows(values, c.bits);
    ASSERT_EQ(LoadBytes(down.Bytes(), &b, 0, nullptr, "twin.bmp"), 0);
    EXPECT_EQ(MaxDifference(a, b), 0);
    ExpectMagickAgrees(dir.File("twin.bmp"), b);
  }
}

// Sixteen-bit pixels against the masks scaled to 0..255 by DecodeBitFields
// (the plain layout through its 5-5-5 twin) and against Pillow.
TEST_F(BmpTest, SixteenBitLayoutsFollowTheirMasks) {
  Grid pixels = Pattern(11, 4, 65536, 1);
  for (auto& row : pixels)
    for (auto& v : row) v = (v * 40503u) & 0xFFFF;
  struct Case {
    const char* name;
    uint32_t compression;
    std::vector<uint32_t> masks;
  } cases[] = {
      {"plain 5-5-5", 0, {0x7C00, 0x03E0, 0x001F}},
      {"bit fields 5-5-5", 3, {0x7C00, 0x03E0, 0x001F}},
      {"bit fields 5-6-5", 3, {0xF800, 0x07E0, 0x001F}},
      {"bit fields 4-4-4", 3, {0x0F00, 0x00F0, 0x000F}},
      {"bit fields 6-5-5", 3, {0xFC00, 0x03E0, 0x001F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpBuilder b = Bmp(11, 4, 16, 3);
    b.masks = c.masks;
    b.data = PackRows(BottomUp(pixels), 16);
    Rgba expected;
    ASSERT_TRUE(DecodeBitFields(b.Bytes(), &expected));
    if (c.compression == 0) {
      b.compression = 0;
      b.masks.clear();
    }
    std::string path = Write(b.Bytes());
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    EXPECT_EQ(MaxDifference(ours, expected), 0);
    for (const auto& [file, pillow] : DecodeWithPillow(std::vector<std::string>{path})) {
      EXPECT_EQ(MaxDifference(ours, pillow), 0);
    }
  }
}

// Bit-field pixels (compression 3) against values worked out by hand.
TEST_F(BmpTest, BitFieldMasksGiveTheHandWorkedColours) {
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t headerSize;
    std::vector<uint32_t> masks;
    Grid pixels;    // top row first
    Grid expected;  // 0xRRGGBBAA
    int magick;     // largest difference allowed from ImageMagick; -1: not compared
  } cases[] = {
      // A 40-byte header and the pixels right after it: 16 of 31 levels of blue.
      {"16 bits without room for masks use 5-6-5", 16, 40, {},
       {{0xF800, 0x07E0, 0x0010, 0xFFFF}},
       {{0xFF0000FF, 0x00FF00FF, 0x000083FF, 0xFFFFFFFF}}, -1},
      // No alpha mask in a 40-byte header: opaque.
      {"32 bits led by red FF are shifted down", 32, 40, {0xFF000000, 0x00FF0000, 0x0000FF00},
       {{0x11223344, 0xFF000000, 0x00FF00AA, 0x0000FF00}, {0x80402010, 0x01020304, 0, 0xFFFFFFFF}},
       {{0x112233FF, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF},
        {0x804020FF, 0x010203FF, 0x000000FF, 0xFFFFFFFF}},
       0},
      {"a 52-byte header carries its masks", 32, 52, {0xFF000000, 0x0000FF00, 0x000000FF},
       {{0x11223344, 0xFF000000, 0x0000FF00}, {0x000000FF, 0x80808080, 0xFFFFFFFF}},
       {{0x113344FF, 0xFF0000FF, 0x00FF00FF}, {0x0000FFFF, 0x808080FF, 0xFFFFFFFF}}, 0},
      {"standard masks keep the fourth byte as stored", 32, 40, {0xFF0000, 0xFF00, 0xFF},
       {{0x00112233, 0x80FF0000, 0x4000FF00}},
       {{0x11223300, 0xFF000080, 0x00FF0040}}, -1},
      // ImageMagick rounds where this reader truncates: within one level.
      {"10-10-10, channels v * 255 / 1023", 32, 40, {0x3FF00000, 0x000FFC00, 0x000003FF},
       {{(1023u << 20) | (512u << 10) | 1u, (1023u << 10) | 700u, 0x3FFFFFFF}},
       {{0xFF7F00FF, 0x00FFAEFF, 0xFFFFFFFF}}, 1},
      {"R, G, B, A byte order in a 56-byte header", 32, 56,
       {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
       {{0x80332211, 0xFF0000FF, 0x00FFFFFF}},
       {{0x11223380, 0xFF0000FF, 0xFFFFFF00}}, 0},
      {"2-10-10-10, alpha a * 255 / 3", 32, 56, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
       {{(1u << 30) | (1023u << 20), (3u << 30) | 1023u, (2u << 30) | (1023u << 10)}},
       {{0xFF000055, 0x0000FFFF, 0x00FF00AA}}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpBuilder b = Bmp((int32_t)c.pixels[0].size(), (int32_t)c.pixels.size(), c.bits, 3);
    b.headerSize = c.headerSize;
    b.masks = c.masks;
    b.data = PackRows(BottomUp(c.pixels), c.bits);
    std::string path = Write(b.Bytes());
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    EXPECT_EQ(MaxDifference(ours, FromRgbaValues(c.expected), true), 0);
    if (c.magick >= 0) ExpectMagickAgrees(path, ours, c.magick);
    EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp", 16), 0);
  }
}

// ---------------------------------------------------------------------------
// Run-length compression.

// RLE8 with runs, odd and even literal runs, a delta that moves down and
// right, and an end of bitmap before the last row.
BmpBuilder Rle8Fixture() {
  BmpBuilder b = Bmp(8, 5, 8, 1);
  b.palette = {{10, 20, 30}, {200, 0, 0}, {0, 200, 0}, {0, 0, 200}};
  b.data = {
      3, 1, 0, 3, 2, 3, 2, 0, 2, 3, 0, 0,  // bottom row: 1 1 1 2 3 2 3 3
      0, 2, 2, 1,                          // delta: right 2, down 1 (row 1 left empty)
      2, 1, 0, 0,                          // row 2: . . 1 1 . . . .
      0, 4, 1, 2, 3, 1, 1, 3,              // row 3: 1 2 3 1 3 . . .
      0, 1,                                // end of bitmap: row 4 stays empty
  };
  return b;
}

// Hand-decoded run-length files: the picture, ImageMagick's where it reads
// them, and damaged copies.
TEST_F(BmpTest, RunLengthFilesEqualHandDecodingAndImageMagick) {
  BmpBuilder rle4 = Bmp(9, 3, 4, 2);
  rle4.palette = TestPalette(16);
  rle4.data = {
      0, 5,    0x12, 0x34, 0x50, 0,  // bottom row: literal 1 2 3 4 5 (three bytes and a pad)
      4, 0x67, 0,    0,              // run 6 7 6 7, end of line
      0, 2,    3,    1,              // delta: right 3, down 1 (middle row left empty)
      2, 0x89, 1,    0xA0, 0,    0,  // top row: . . . 8 9 10 . . .
      0, 1,
  };
  const struct {
    const char* name;
    BmpBuilder b;
    const char* file;
    Grid indexes;  // top row first
  } cases[] = {
      {"RLE8 with deltas and an early end", Rle8Fixture(), "picture.bmp",
       {{0, 0, 0, 0, 0, 0, 0, 0},
        {1, 2, 3, 1, 3, 0, 0, 0},
        {0, 0, 1, 1, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0, 0, 0},
        {1, 1, 1, 2, 3, 2, 3, 3}}},
      {"RLE4 with literals, runs and deltas", rle4, "picture.rle",
       {{0, 0, 0, 8, 9, 10, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 6, 7}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Write(c.b.Bytes(), c.file);
    Rgba ours;
    ImageInfo info{};
    ASSERT_EQ(Load(path, &ours, 0, &info), 0);
    EXPECT_EQ(info.compression, COMPRESSION_RLE);
    ImageInfoFree(&info);
    EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(c.indexes, c.b.palette)), 0);
    ExpectMagickAgrees(path, ours);
    EXPECT_GT(FeedDamagedCopies(c.b.Bytes(), "bmp"), 0);
  }
}

TEST_F(BmpTest, Rle8RunsPastTheRowAreDroppedAndCutDataGivesNotComplete) {
  BmpBuilder b = Bmp(4, 2, 8, 1);
  b.palette = TestPalette(4);
  b.data = {200, 1, 0, 0, 0, 7, 1, 2, 3, 1, 2, 3, 1, 0, 0, 0, 1};  // both rows overflow
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette({{1, 2, 3, 1}, {1, 1, 1, 1}}, b.palette)), 0);
  // Without its end the picture is not complete; the rows read are kept
  // when partial pictures are allowed.
  b.data = {4, 2, 0, 0, 2};
  EXPECT_EQ(LoadBytes(b.Bytes(), &ours), RESULT_NOT_COMPLETE);
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette({{0, 0, 0, 0}, {2, 2, 2, 2}}, b.palette)), 0);
}

// ---------------------------------------------------------------------------
// DXT.

std::vector<uint8_t> DxtFile(uint32_t compression, int width, int height,
                             const std::vector<uint8_t>& blocks) {
  BmpBuilder b = Bmp(width, height, 32, compression);
  std::vector<uint8_t> bytes = b.Bytes();
  bytes.resize(74, 0);  // the block data starts at offset 74
  bytes.insert(bytes.end(), blocks.begin(), blocks.end());
  return bytes;
}

// One 4x4 block of each kind against colours worked out by hand (0xRRGGBBAA,
// top row first: the block's first row is the picture's last).
TEST_F(BmpTest, DxtBlocksDecodeToHandWorkedColours) {
  const uint32_t red = 0xF80000FF, blue = 0x0000F8FF, redish = 0xA50053FF, bluish = 0x5300A5FF;
  // DXT3: alpha nibbles 0..15 in pixel order (low nibble first).
  std::vector<uint8_t> dxt3;
  for (int k = 0; k < 8; ++k) dxt3.push_back((uint8_t)((2 * k) | ((2 * k + 1) << 4)));
  Grid dxt3Colours(4, {blue, red, bluish, redish});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) dxt3Colours[y][x] = (dxt3Colours[y][x] & ~0xFFu) | ((3 - y) * 4 + x) * 17;
  for (uint8_t v : {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4}) dxt3.push_back(v);
  const struct {
    const char* name;
    uint32_t fourcc;
    std::vector<uint8_t> block;
    Grid expected;
  } cases[] = {
      // c0 = red (0xF800) > c1 = blue (0x001F): four opaque colours. Block
      // rows use indexes 0 0 0 0 / 1 1 1 1 / 2 2 2 2 / 0 1 2 3.
      {"DXT1 with four colours", 0x31545844, {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xE4},
       {{red, blue, redish, bluish}, {redish, redish, redish, redish}, {blue, blue, blue, blue},
        {red, red, red, red}}},
      // c0 = blue <= c1 = red: colour 2 is the mean, colour 3 transparent.
      {"DXT1 with three colours and transparency", 0x31545844,
       {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4},
       Grid(4, {blue, red, 0x7C007CFF, 0xA5005300})},
      // c0 <= c1 must still use the four-colour rule.
      {"DXT3 with explicit alpha and four colours", 0x33545844, dxt3, dxt3Colours},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rgba ours;
    ImageInfo info{};
    ASSERT_EQ(LoadBytes(DxtFile(c.fourcc, 4, 4, c.block), &ours, 0, &info), 0);
    EXPECT_STREQ(info.formatText, "Windows Bitmap (DXT)");
    ImageInfoFree(&info);
    EXPECT_EQ(MaxDifference(ours, FromRgbaValues(c.expected), true), 0);
  }
}

TEST_F(BmpTest, DxtPicturesOfOddSizesAndShortDataAreSafe) {
  std::vector<uint8_t> blocks;
  for (int i = 0; i < 4; ++i)
    for (uint8_t v : {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00}) blocks.push_back(v);
  Rgba ours;
  ASSERT_EQ(LoadBytes(DxtFile(0x31545844, 5, 6, blocks), &ours), 0);
  EXPECT_EQ(ours.width, 5);
  EXPECT_EQ(ours.height, 6);
  EXPECT_EQ(ours.at(4, 0)[0], 248);
  std::vector<uint8_t> shortData(blocks.begin(), blocks.begin() + 12);
  EXPECT_EQ(LoadBytes(DxtFile(0x31545844, 5, 6, shortData), &ours), RESULT_NOT_COMPLETE);
  EXPECT_GT(FeedDamagedCopies(DxtFile(0x33545844, 5, 6, blocks), "bmp"), 0);
}

// ---------------------------------------------------------------------------
// Sizes, headers and damage.

TEST_F(BmpTest, BadSizesGiveNineWithTheMessage) {
  struct {
    int32_t width, height;
    int expected;
  } sizes[] = {
      {0, 4, RESULT_BAD_SIZE},     {4, 0, RESULT_BAD_SIZE},      {32000, 1, RESULT_BAD_SIZE},
      {1, 32000, RESULT_BAD_SIZE}, {1, -32000, RESULT_BAD_SIZE}, {70000, 1, RESULT_BAD_SIZE},
      {-5, 2, 0},  // a negative width is taken by its size
      {31999, 1, 0},  // the largest accepted size
  };
  for (auto s : sizes) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    BmpBuilder b = Bmp(s.width, s.height, 8);
    b.palette = TestPalette(2);
    b.data.assign(32000, 1);
    Rgba ours;
    ImageInfo info{};
    EXPECT_EQ(LoadBytes(b.Bytes(), &ours, 0, &info), s.expected);
    if (s.expected == RESULT_BAD_SIZE) {
      EXPECT_STREQ(info.message, "Windows Bitmap : Bad picture's size !");
    }
    if (s.expected == 0) {
      EXPECT_EQ(ours.width, std::abs(s.width));
    }
    ImageInfoFree(&info);
  }
}

TEST_F(BmpTest, HeadersThatAreNotBitmapsGiveTwo) {
  BmpBuilder b = Bmp(2, 2, 24);
  b.data = PackRows({{1, 2}, {3, 4}}, 24);
  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("bmp");
  const struct {
    const char* name;
    size_t at;  // the byte changed; 0 with a size: the file cut to that size
    uint8_t value;
    int expected;
  } cases[] = {
      {"unchanged", 1, 'M', 0},
      {"magic", 0, 'X', RESULT_NOT_RECOGNISED},
      {"header size 20", 14, 20, RESULT_NOT_RECOGNISED},
      {"compression 9", 30, 9, RESULT_NOT_RECOGNISED},
      {"cut to 40 bytes", 40, 0, RESULT_NOT_RECOGNISED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = b.Bytes();
    if (c.at == 40) bytes.resize(40);
    else bytes[c.at] = c.value;
    Image image{};
    std::u16string path = W(Write(bytes, "probe.bin"));
    EXPECT_EQ(LoadImage(path.c_str(), &image, &options, nullptr), c.expected);
    ImageFree(&image);
  }
}

TEST_F(BmpTest, HostileHeadersReturnACodeWithoutTouchingMemoryOutOfBounds) {
  const uint32_t dxt1 = 0x31545844;
  const struct {
    const char* name;
    int32_t width, height;
    uint16_t planes, bits;
    uint32_t compression;
    int expected;  // -1: any code
  } cases[] = {
      {"three planes of 8 bits", 3000, 3, 3, 8, 0, -1},
      {"two planes of 16 bits", 3000, 3, 2, 16, 0, -1},
      {"two planes of 1 bit", 3000, 3, 2, 1, 0, -1},
      {"no planes", 8, 4, 0, 8, 0, RESULT_NOT_RECOGNISED},
      {"30000 bits", 8, 4, 1, 30000, 0, RESULT_NOT_RECOGNISED},
      {"20 bits", 8, 4, 1, 20, 0, RESULT_NOT_RECOGNISED},
      {"RLE8 on 4 bits", 8, 4, 1, 4, 1, RESULT_NOT_RECOGNISED},
      {"huge 24-bit picture", 31999, 31999, 1, 24, 0, RESULT_NO_MEMORY},
      {"huge DXT1 picture", 199999, 199999, 1, 32, dxt1, RESULT_NO_MEMORY},
      {"DXT too wide for the pipeline", 200000, 4, 1, 32, dxt1, RESULT_NOT_RECOGNISED},
      {"all-zero 16-bit masks", 8, 4, 1, 16, 3, 0},
      {"all-zero 32-bit masks", 8, 4, 1, 32, 3, 0},
      {"data offset past the end", 8, 4, 1, 8, 0, RESULT_NOT_COMPLETE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BmpBuilder b = Bmp(c.width, c.height, c.bits, c.compression);
    b.planes = c.planes;
    // Wide rows for the multi-plane cases, so that whole rows are read.
    b.data.assign(c.expected < 0 ? 3000 * 4 * 3 * 4 : 256, 0x5A);
    if (c.compression == 3) b.masks = {0, 0, 0};
    if (c.expected == RESULT_NOT_COMPLETE) b.data.clear();
    Rgba ours;
    int r = LoadBytes(b.Bytes(), &ours);
    if (c.expected >= 0) {
      EXPECT_EQ(r, c.expected);
    } else {
      EXPECT_TRUE(r >= 0 && r <= 16) << r;
      EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp", 8), 0);
    }
    if (c.expected == 0) {
      EXPECT_EQ(ours.at(0, 0)[0], 0);  // no mask, no colour
    }
  }
}

TEST_F(BmpTest, TruncatedPixelDataGivesFourAndKeepsTheRowsRead) {
  const int w = 6, h = 4;
  Grid pixels = Pattern(w, h, 0x1000000, 5);
  BmpBuilder b = Bmp(w, h, 24);
  b.data = PackRows(BottomUp(pixels), 24);
  std::vector<uint8_t> bytes = b.Bytes();
  bytes.resize(bytes.size() - 24 - 5);  // the top row and part of the next are missing
  Rgba ours;
  EXPECT_EQ(LoadBytes(bytes, &ours), RESULT_NOT_COMPLETE);
  ASSERT_EQ(LoadBytes(bytes, &ours, LOAD_KEEP_PARTIAL), 0);
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(ours.at(x, 3)[0], pixels[3][x] >> 16);  // bottom rows arrived
    EXPECT_EQ(ours.at(x, 2)[2], pixels[2][x] & 0xFF);
    EXPECT_EQ(ours.at(x, 0)[0], 0);  // the top row did not
  }
  EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp"), 0);
}

TEST_F(BmpTest, InformationReportsResolutionDepthAndFormat) {
  BmpBuilder b = Rle8Fixture();
  b.xPixelsPerMetre = 2835;  // 72.0 dpi
  b.yPixelsPerMetre = 3937;  // 99.99 dpi, rounded to 100
  std::string path = Write(b.Bytes());
  ImageInfo info{};
  ASSERT_EQ(GetImageInfo(W(path).c_str(), -1, 0, &info), 0);
  EXPECT_EQ(info.width, 8);
  EXPECT_EQ(info.height, 5);
  EXPECT_EQ(info.xDpi, 72);
  EXPECT_EQ(info.yDpi, 100);
  EXPECT_EQ(info.planes, 1);
  EXPECT_EQ(info.bitsPerPlane, 8);
  EXPECT_EQ(info.compression, COMPRESSION_RLE);
  EXPECT_EQ(info.formatIndex, FindFormat("bmp"));
  EXPECT_STREQ(info.formatText, "Windows Bitmap");
  ImageInfoFree(&info);
}

int CancelAlways(void*) { return 1; }

TEST_F(BmpTest, CancellingStopsTheLoadWithFifteen) {
  BmpBuilder b = Bmp(4, 8, 8);
  b.palette = TestPalette(4);
  b.data = PackRows(Pattern(4, 8, 4), 8);
  LoadOptions options;
  LoadOptionsInit(&options);
  options.cancelCallback = CancelAlways;
  Image image{};
  EXPECT_EQ(LoadImage(W(Write(b.Bytes())).c_str(), &image, &options, nullptr), RESULT_CANCELLED);
  EXPECT_EQ(image.pixels, nullptr);
  ImageFree(&image);
}

// ---------------------------------------------------------------------------
// The writer.

struct WrittenCase {
  const char* name;
  uint32_t type;
  int colours;  // palette entries used (indexed pictures)
};

// A picture of the given type with a recognisable pattern.
void MakePicture(Image* image, uint32_t type, int colours, int w, int h) {
  ASSERT_EQ(ImageCreate(image, type, 4, w, h), 1);
  if (type == PIXEL_INDEXED) {
    image->paletteCount = (int16_t)colours;
    for (int i = 0; i < colours; ++i) {
      image->palette[i] = (uint8_t)(i * 53 + 7);
      image->palette[256 + i] = (uint8_t)(255 - i * 17);
      image->palette[512 + i] = (uint8_t)(i * 101);
    }
  }
  const int channels = type == PIXEL_RGB ? 3 : type == PIXEL_RGBA ? 4 : 1;
  const int rowBytes = type == PIXEL_BW ? (w + 7) / 8 : w * channels;
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < rowBytes; ++i) {
      // Runs and unequal stretches alike, so that both RLE modes are used.
      int v = (i / 3 + y) % 5 == 0 ? 1 : (i * i + 3 * y + i * y) * 29;
      if (type == PIXEL_INDEXED) v %= colours;
      if (type == PIXEL_RGBA && i % 4 == 3) v = 255;
      ImageRow(image, y)[i] = (uint8_t)v;
    }
}

int SaveAs(const std::string& path, const Image& image, bool os2, bool rle) {
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("bmp");
  options.os2Bitmap = os2;
  options.rle = rle;
  std::u16string w = W(path);
  std::vector<char16_t> buffer(w.begin(), w.end());
  buffer.resize(w.size() + 80, 0);
  return SaveImage(buffer.data(), &image, &options);
}

TEST_F(BmpTest, WrittenFilesOfEveryDepthReadBackInImageMagickAndHere) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick missing";
  const WrittenCase cases[] = {
      {"bilevel", PIXEL_BW, 2},
      {"16 colours", PIXEL_INDEXED, 16},
      {"200 colours", PIXEL_INDEXED, 200},
      {"grey", PIXEL_GREY, 256},
      {"RGB", PIXEL_RGB, 0},
      {"RGBA", PIXEL_RGBA, 0},
  };
  const int expectedBits[] = {1, 4, 8, 8, 24, 32};
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    const WrittenCase& c = cases[k];
    for (bool os2 : {false, true}) {
      for (bool rle : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (os2 ? " OS/2" : " Windows") + (rle ? " RLE" : ""));
        Image image{};
        MakePicture(&image, c.type, c.colours, 37, 11);
        std::string path = dir.File("written.bmp");
        ASSERT_EQ(SaveAs(path, image, os2, rle), 0);
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        ASSERT_GE(bytes.size(), 26u);
        EXPECT_EQ(Get32(bytes, 2), bytes.size());
        EXPECT_EQ(Get32(bytes, 14), os2 ? 12u : 40u);
        const int bits = expectedBits[k];
        EXPECT_EQ(Get16(bytes, os2 ? 24 : 28), bits);
        const uint32_t entries = bits <= 8 ? 1u << bits : 0;
        EXPECT_EQ(Get32(bytes, 10), (os2 ? 26 : 54) + entries * (os2 ? 3 : 4));
        if (!os2) {
          uint32_t compression = rle && bits == 8 ? 1 : rle && bits == 4 ? 2 : 0;
          EXPECT_EQ(Get32(bytes, 30), compression);
        }
        Rgba expected = ImageToRgba(image);
        Rgba magick;
        ASSERT_TRUE(DecodeWithMagick(path, &magick));
        EXPECT_EQ(MaxDifference(magick, expected), 0);
        Rgba ours;
        ASSERT_EQ(Load(path, &ours), 0);
        EXPECT_EQ(MaxDifference(ours, expected), 0);
        ImageFree(&image);
      }
    }
  }
}

// Run-length data written for indexed pictures (rows top first), stored
// bottom-up: runs, literal stretches (odd ones padded) and one-pixel rows.
TEST_F(BmpTest, RunLengthEncodersWriteRunsLiteralsAndNibbles) {
  const struct {
    const char* name;
    int colours;  // 16: RLE4, else RLE8
    std::vector<std::vector<uint8_t>> rows;
    std::vector<uint8_t> expected;
  } cases[] = {
      // Each row is (1, value), (0, 0); the end is (0, 1).
      {"RLE8 one pixel wide", 200, {{7}, {100}, {33}},
       {1, 33, 0, 0, 1, 100, 0, 0, 1, 7, 0, 0, 0, 1}},
      {"RLE8 run, odd literal stretch, closing run", 200, {{1, 1, 1, 2, 3, 4, 5, 5}},
       {3, 1, 0, 3, 2, 3, 4, 0, 2, 5, 0, 0, 0, 1}},
      {"RLE8 two unequal pixels", 200, {{9, 8}}, {1, 9, 1, 8, 0, 0, 0, 1}},
      {"RLE4 packs nibbles", 16, {{1, 1, 1, 2, 3, 4, 5}, {6, 7, 6, 6, 6, 6, 9}},
       {
           2, 0x67, 4, 0x66, 1,    0x90, 0, 0,        // bottom: 6 7 | 6 6 6 6 | 9
           3, 0x11, 0, 4,    0x23, 0x45, 0, 0, 0, 1,  // top: 1 1 1 | 2 3 4 5
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image image{};
    ASSERT_EQ(ImageCreate(&image, PIXEL_INDEXED, 4, (int)c.rows[0].size(), (int)c.rows.size()), 1);
    image.paletteCount = (int16_t)c.colours;
    for (size_t y = 0; y < c.rows.size(); ++y)
      memcpy(ImageRow(&image, (int)y), c.rows[y].data(), c.rows[y].size());
    std::string path = dir.File("rle.bmp");
    ASSERT_EQ(SaveAs(path, image, false, true), 0);
    EXPECT_EQ(PixelData(ReadFileBytes(path)), c.expected);
    ImageFree(&image);
  }
}

TEST_F(BmpTest, WriterReportsCreateAndWriteFailures) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 0, 64, 64);
  EXPECT_EQ(SaveAs(dir.File("missing-folder/out.bmp"), image, false, false), RESULT_CANNOT_CREATE);
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(SaveAs("/dev/full", image, false, false), RESULT_WRITE_ERROR);
  }
  ImageFree(&image);
}

}  // namespace
