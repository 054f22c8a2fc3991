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

bool DecodeWithPillow(const std::string& path, Rgba* out) {
  auto all = DecodeWithPillow(std::vector<std::string>{path});
  if (all.empty()) return false;
  *out = all.begin()->second;
  return true;
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

TEST_F(BmpTest, CorpusGoodSetEqualsPeerDecoders) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick missing";
  std::vector<std::string> files;
  for (const std::string& path : ListFiles(folder))
    if (StartsWith(BaseName(path), "bmpsuite-g-")) files.push_back(path);
  auto pillow = DecodeWithPillow(files);
  for (const std::string& path : files) {
    SCOPED_TRACE(BaseName(path));
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    auto p = pillow.find(path);
    PeerVerdict v = CompareWithPeers(path, ours, p == pillow.end() ? nullptr : &p->second);
    EXPECT_TRUE(v.anyPeer);
    EXPECT_TRUE(v.matches) << v.detail;
  }
  EXPECT_GE(files.size(), 10u);
}

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

TEST_F(BmpTest, CorpusOtherFilesEqualAPeerWhereOneDecodesThem) {
  std::string folder = CorpusDir("bmp");
  if (folder.empty()) GTEST_SKIP() << "no picture corpus";
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick missing";
  std::vector<std::string> files;
  for (const std::string& path : ListFiles(folder)) {
    std::string name = BaseName(path);
    if (StartsWith(name, "bmpsuite-g-") || StartsWith(name, "bmpsuite-b-") || StartsWith(name, "bmpsuite-x-"))
      continue;
    if (name.find("overflow") != std::string::npos) continue;  // deliberately malformed
    files.push_back(path);
  }
  auto pillow = DecodeWithPillow(files);
  int compared = 0;
  for (const std::string& path : files) {
    std::string name = BaseName(path);
    SCOPED_TRACE(name);
    Rgba ours;
    int r = Load(path, &ours);
    if (KnownDeviation(name)) continue;
    auto p = pillow.find(path);
    PeerVerdict v = CompareWithPeers(path, ours, p == pillow.end() ? nullptr : &p->second);
    if (!v.anyPeer) continue;  // no peer reads it: only required not to crash
    ASSERT_EQ(r, 0);
    EXPECT_TRUE(v.matches) << v.detail;
    ++compared;
  }
  EXPECT_GE(compared, 20);
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
      const int w = 13, h = 6;
      Grid indexes = Pattern(w, h, 1u << bits);
      BmpBuilder b;
      b.os2 = os2;
      b.width = w;
      b.height = h;
      b.bits = (uint16_t)bits;
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
      Rgba magick;
      if (DecodeWithMagick(path, &magick)) {
        EXPECT_EQ(MaxDifference(ours, magick), 0);
      }
      if (bits == 4) {
        EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp", 16), 0);
      }
    }
  }
}

TEST_F(BmpTest, ShortPaletteAndPaletteBeyondTheColoursUsedAreHandled) {
  // Two colours used in an 8-bit picture: the other indexes show black.
  const int w = 5, h = 2;
  Grid indexes = {{0, 1, 0, 1, 0}, {1, 1, 0, 0, 1}};
  BmpBuilder b;
  b.width = w;
  b.height = h;
  b.bits = 8;
  b.coloursUsed = 2;
  b.palette = TestPalette(2);
  b.data = PackRows(BottomUp(indexes), 8);
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(indexes, b.palette)), 0);
}

TEST_F(BmpTest, TwoBitPocketBitmapLoadsThroughItsOwnExtension) {
  const int w = 5, h = 3;
  Grid indexes = {{0, 1, 2, 3, 1}, {3, 3, 2, 2, 0}, {1, 0, 3, 0, 2}};
  BmpBuilder b;
  b.width = w;
  b.height = h;
  b.bits = 2;
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

TEST_F(BmpTest, TopDownBitmapsEqualTheirBottomUpTwins) {
  for (int bits : {4, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    const int w = 9, h = 7;
    Grid values = Pattern(w, h, bits == 24 || bits == 32 ? 0xFFFFFF : (1u << bits), 3);
    if (bits >= 24)
      for (auto& row : values)
        for (auto& v : row) v = v * 2654435761u & 0xFFFFFF;
    BmpBuilder up;
    up.width = w;
    up.height = h;
    up.bits = (uint16_t)bits;
    if (bits < 16) up.palette = TestPalette(1 << bits);
    up.data = PackRows(BottomUp(values), bits);
    BmpBuilder down = up;
    down.height = -h;
    down.data = PackRows(values, bits);
    Rgba a, b;
    ASSERT_EQ(LoadBytes(up.Bytes(), &a), 0);
    ASSERT_EQ(LoadBytes(down.Bytes(), &b, 0, nullptr, "twin.bmp"), 0);
    EXPECT_EQ(MaxDifference(a, b), 0);
    EXPECT_EQ(a.at(0, 0)[0], bits < 16 ? up.palette[values[0][0]].r : (uint8_t)(values[0][0] >> 16));
    Rgba magick;
    if (DecodeWithMagick(dir.File("twin.bmp"), &magick)) {
      EXPECT_EQ(MaxDifference(b, magick), 0);
    }
  }
}

// ---------------------------------------------------------------------------
// Run-length compression.

// RLE8 with runs, odd and even literal runs, a delta that moves down and
// right, and an end of bitmap before the last row.
BmpBuilder Rle8Fixture() {
  BmpBuilder b;
  b.width = 8;
  b.height = 5;
  b.bits = 8;
  b.compression = 1;
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

Grid Rle8FixtureIndexes() {
  // Top row first.
  return {{0, 0, 0, 0, 0, 0, 0, 0},
          {1, 2, 3, 1, 3, 0, 0, 0},
          {0, 0, 1, 1, 0, 0, 0, 0},
          {0, 0, 0, 0, 0, 0, 0, 0},
          {1, 1, 1, 2, 3, 2, 3, 3}};
}

TEST_F(BmpTest, Rle8WithDeltasAndEarlyEndEqualsHandDecodingAndImageMagick) {
  BmpBuilder b = Rle8Fixture();
  std::string path = Write(b.Bytes());
  Rgba ours;
  ImageInfo info{};
  ASSERT_EQ(Load(path, &ours, 0, &info), 0);
  EXPECT_EQ(info.compression, COMPRESSION_RLE);
  ImageInfoFree(&info);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(Rle8FixtureIndexes(), b.palette)), 0);
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    EXPECT_EQ(MaxDifference(ours, magick), 0);
  }
  EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp"), 0);
}

TEST_F(BmpTest, Rle8RunsPastTheRowAreDroppedAndCutDataGivesNotComplete) {
  BmpBuilder b;
  b.width = 4;
  b.height = 2;
  b.bits = 8;
  b.compression = 1;
  b.palette = TestPalette(4);
  b.data = {200, 1, 0, 0, 0, 7, 1, 2, 3, 1, 2, 3, 1, 0, 0, 0, 1};  // both rows overflow
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette({{1, 2, 3, 1}, {1, 1, 1, 1}}, b.palette)), 0);
  // Without its end the picture is not complete; the rows read are kept
  // when partial pictures are allowed.
  BmpBuilder cut = b;
  cut.data = {4, 2, 0, 0, 2};
  EXPECT_EQ(LoadBytes(cut.Bytes(), &ours), RESULT_NOT_COMPLETE);
  ASSERT_EQ(LoadBytes(cut.Bytes(), &ours, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette({{0, 0, 0, 0}, {2, 2, 2, 2}}, b.palette)), 0);
}

TEST_F(BmpTest, Rle4WithLiteralsRunsAndDeltasEqualsHandDecodingAndImageMagick) {
  BmpBuilder b;
  b.width = 9;
  b.height = 3;
  b.bits = 4;
  b.compression = 2;
  b.palette = TestPalette(16);
  b.data = {
      0, 5,    0x12, 0x34, 0x50, 0,  // bottom row: literal 1 2 3 4 5 (three bytes and a pad)
      4, 0x67, 0,    0,              // run 6 7 6 7, end of line
      0, 2,    3,    1,              // delta: right 3, down 1 (middle row left empty)
      2, 0x89, 1,    0xA0, 0,    0,  // top row: . . . 8 9 10 . . .
      0, 1,
  };
  std::string path = Write(b.Bytes(), "picture.rle");
  Rgba ours;
  ASSERT_EQ(Load(path, &ours), 0);
  Grid expected = {{0, 0, 0, 8, 9, 10, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 6, 7}};
  EXPECT_EQ(MaxDifference(ours, ExpectedFromPalette(expected, b.palette)), 0);
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    EXPECT_EQ(MaxDifference(ours, magick), 0);
  }
  EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp"), 0);
}

// ---------------------------------------------------------------------------
// Direct colour and bit fields.

// 16-bit pixels with the given masks (red, green, blue): expected colours
// worked out as each field scaled to 0..255, truncated.
Rgba Expected16(const Grid& pixels, uint32_t rm, uint32_t gm, uint32_t bm) {
  auto scale = [](uint32_t p, uint32_t m) -> uint8_t {
    int shift = 0;
    while (!((m >> shift) & 1)) ++shift;
    uint32_t max = m >> shift;
    return (uint8_t)(((p & m) >> shift) * 255 / max);
  };
  Rgba out;
  out.height = (int)pixels.size();
  out.width = (int)pixels[0].size();
  out.pixels.assign((size_t)out.width * out.height * 4, 255);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      uint8_t* p = out.at(x, y);
      p[0] = scale(pixels[y][x], rm);
      p[1] = scale(pixels[y][x], gm);
      p[2] = scale(pixels[y][x], bm);
    }
  return out;
}

TEST_F(BmpTest, SixteenBitLayoutsFollowTheirMasks) {
  const int w = 11, h = 4;
  Grid pixels = Pattern(w, h, 65536, 1);
  for (auto& row : pixels)
    for (auto& v : row) v = (v * 40503u) & 0xFFFF;
  struct Case {
    const char* name;
    uint32_t compression;
    std::vector<uint32_t> masks;
    uint32_t rm, gm, bm;
  } cases[] = {
      {"plain 5-5-5", 0, {}, 0x7C00, 0x03E0, 0x001F},
      {"bit fields 5-5-5", 3, {0x7C00, 0x03E0, 0x001F}, 0x7C00, 0x03E0, 0x001F},
      {"bit fields 5-6-5", 3, {0xF800, 0x07E0, 0x001F}, 0xF800, 0x07E0, 0x001F},
      {"bit fields 4-4-4", 3, {0x0F00, 0x00F0, 0x000F}, 0x0F00, 0x00F0, 0x000F},
      {"bit fields 6-5-5", 3, {0xFC00, 0x03E0, 0x001F}, 0xFC00, 0x03E0, 0x001F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpBuilder b;
    b.width = w;
    b.height = h;
    b.bits = 16;
    b.compression = c.compression;
    b.masks = c.masks;
    b.data = PackRows(BottomUp(pixels), 16);
    std::string path = Write(b.Bytes());
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    EXPECT_EQ(MaxDifference(ours, Expected16(pixels, c.rm, c.gm, c.bm)), 0);
    Rgba pillow;
    if (DecodeWithPillow(path, &pillow)) {
      EXPECT_EQ(MaxDifference(ours, pillow), 0);
    }
  }
}

TEST_F(BmpTest, SixteenBitFieldsWithoutRoomForMasksUseFiveSixFive) {
  // A 40-byte header, compression 3 and the pixels right after the header.
  Grid pixels = {{0xF800, 0x07E0, 0x0010, 0xFFFF}};
  BmpBuilder b;
  b.width = 4;
  b.height = 1;
  b.bits = 16;
  b.compression = 3;
  b.data = PackRows(pixels, 16);
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(MaxDifference(ours, Expected16(pixels, 0xF800, 0x07E0, 0x001F)), 0);
  EXPECT_EQ(ours.at(2, 0)[2], 131);  // 16 of 31 levels of blue
}

// 32-bit pixels through masks (red, green, blue, alpha); expected values
// worked out by hand from the field widths.
TEST_F(BmpTest, ThirtyTwoBitFieldsLedByRedFFAreShiftedDown) {
  // Red 0xFF000000, green 0x00FF0000, blue 0x0000FF00 in a 40-byte header.
  Grid pixels = {{0x11223344, 0xFF000000, 0x00FF00AA, 0x0000FF00}, {0x80402010, 0x01020304, 0, 0xFFFFFFFF}};
  BmpBuilder b;
  b.width = 4;
  b.height = 2;
  b.bits = 32;
  b.compression = 3;
  b.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
  b.data = PackRows(BottomUp(pixels), 32);
  std::string path = Write(b.Bytes());
  Rgba ours;
  ASSERT_EQ(Load(path, &ours), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      uint32_t p = pixels[y][x];
      EXPECT_EQ(ours.at(x, y)[0], p >> 24);
      EXPECT_EQ(ours.at(x, y)[1], (p >> 16) & 0xFF);
      EXPECT_EQ(ours.at(x, y)[2], (p >> 8) & 0xFF);
      EXPECT_EQ(ours.at(x, y)[3], 255);  // no alpha mask in a 40-byte header
    }
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    EXPECT_EQ(MaxDifference(ours, magick), 0);
  }
}

TEST_F(BmpTest, FiftyTwoByteHeadersCarryTheirMasks) {
  // The 52-byte header holds red, green and blue masks; the pixels follow
  // the header directly.
  Grid pixels = {{0x11223344, 0xFF000000, 0x0000FF00}, {0x000000FF, 0x80808080, 0xFFFFFFFF}};
  BmpBuilder b;
  b.headerSize = 52;
  b.width = 3;
  b.height = 2;
  b.bits = 32;
  b.compression = 3;
  b.masks = {0xFF000000, 0x0000FF00, 0x000000FF};
  b.data = PackRows(BottomUp(pixels), 32);
  std::string path = Write(b.Bytes());
  Rgba ours;
  ASSERT_EQ(Load(path, &ours), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint32_t p = pixels[y][x];
      EXPECT_EQ(ours.at(x, y)[0], p >> 24);
      EXPECT_EQ(ours.at(x, y)[1], (p >> 8) & 0xFF);
      EXPECT_EQ(ours.at(x, y)[2], p & 0xFF);
    }
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    EXPECT_EQ(MaxDifference(ours, magick), 0);
  }
}

TEST_F(BmpTest, ThirtyTwoBitStandardMasksKeepTheStoredBytes) {
  Grid pixels = {{0x00112233, 0x80FF0000, 0x4000FF00}};
  BmpBuilder b;
  b.width = 3;
  b.height = 1;
  b.bits = 32;
  b.compression = 3;
  b.masks = {0xFF0000, 0xFF00, 0xFF};
  b.data = PackRows(pixels, 32);
  Rgba ours;
  ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
  EXPECT_EQ(ours.at(0, 0)[0], 0x11);
  EXPECT_EQ(ours.at(0, 0)[2], 0x33);
  EXPECT_EQ(ours.at(1, 0)[0], 0xFF);
  EXPECT_EQ(ours.at(1, 0)[3], 0x80);  // the fourth byte as stored
  EXPECT_EQ(ours.at(2, 0)[1], 0xFF);
}

TEST_F(BmpTest, ThirtyTwoBitOtherMasksAreDecodedThroughTheMasks) {
  // 10-10-10 in a 40-byte header: no alpha; channels v * 255 / 1023.
  {
    Grid pixels = {{(1023u << 20) | (512u << 10) | 1u, (0u << 20) | (1023u << 10) | 700u, 0x3FFFFFFF}};
    BmpBuilder b;
    b.width = 3;
    b.height = 1;
    b.bits = 32;
    b.compression = 3;
    b.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    b.data = PackRows(pixels, 32);
    std::string path = Write(b.Bytes());
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    for (int x = 0; x < 3; ++x) {
      uint32_t p = pixels[0][x];
      EXPECT_EQ(ours.at(x, 0)[0], ((p >> 20) & 1023) * 255 / 1023);
      EXPECT_EQ(ours.at(x, 0)[1], ((p >> 10) & 1023) * 255 / 1023);
      EXPECT_EQ(ours.at(x, 0)[2], (p & 1023) * 255 / 1023);
      EXPECT_EQ(ours.at(x, 0)[3], 255);
    }
    // ImageMagick rounds where this reader truncates: within one level.
    Rgba magick;
    if (DecodeWithMagick(path, &magick)) {
      EXPECT_LE(MaxDifference(ours, magick), 1);
    }
  }
  // R, G, B, A byte order in a 56-byte header with an alpha mask.
  {
    Grid pixels = {{0x80332211, 0xFF0000FF, 0x00FFFFFF}};
    BmpBuilder b;
    b.headerSize = 56;
    b.width = 3;
    b.height = 1;
    b.bits = 32;
    b.compression = 3;
    b.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    b.data = PackRows(pixels, 32);
    std::string path = Write(b.Bytes());
    Rgba ours;
    ASSERT_EQ(Load(path, &ours), 0);
    const uint8_t expected[3][4] = {{0x11, 0x22, 0x33, 0x80}, {0xFF, 0, 0, 0xFF}, {0xFF, 0xFF, 0xFF, 0}};
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 4; ++c) EXPECT_EQ(ours.at(x, 0)[c], expected[x][c]) << x << "," << c;
    Rgba magick;
    if (DecodeWithMagick(path, &magick)) {
      EXPECT_EQ(MaxDifference(ours, magick), 0);
    }
  }
  // 2-10-10-10 with the alpha in two bits: alpha a * 255 / 3.
  {
    Grid pixels = {{(1u << 30) | (1023u << 20), (3u << 30) | 1023u, (2u << 30) | (1023u << 10)}};
    BmpBuilder b;
    b.headerSize = 56;
    b.width = 3;
    b.height = 1;
    b.bits = 32;
    b.compression = 3;
    b.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    b.data = PackRows(pixels, 32);
    Rgba ours;
    ASSERT_EQ(LoadBytes(b.Bytes(), &ours), 0);
    EXPECT_EQ(ours.at(0, 0)[0], 255);
    EXPECT_EQ(ours.at(0, 0)[3], 85);
    EXPECT_EQ(ours.at(1, 0)[2], 255);
    EXPECT_EQ(ours.at(1, 0)[3], 255);
    EXPECT_EQ(ours.at(2, 0)[1], 255);
    EXPECT_EQ(ours.at(2, 0)[3], 170);
    EXPECT_GT(FeedDamagedCopies(b.Bytes(), "bmp"), 0);
  }
}

TEST_F(BmpTest, TwentyFourBitRowsWithPaddingEqualTheStoredColours) {
  const int w = 5, h = 3;  // 15 bytes a row: one byte of padding
  Grid pixels = Pattern(w, h, 0x1000000, 9);
  for (auto& row : pixels)
    for (auto& v : row) v = (v * 2246822519u) & 0xFFFFFF;
  BmpBuilder b;
  b.width = w;
  b.height = h;
  b.bits = 24;
  b.os2 = true;
  b.data = PackRows(BottomUp(pixels), 24);
  std::string path = Write(b.Bytes());
  Rgba ours;
  ASSERT_EQ(Load(path, &ours), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(ours.at(x, y)[0], pixels[y][x] >> 16);
      EXPECT_EQ(ours.at(x, y)[1], (pixels[y][x] >> 8) & 0xFF);
      EXPECT_EQ(ours.at(x, y)[2], pixels[y][x] & 0xFF);
    }
  Rgba magick;
  if (DecodeWithMagick(path, &magick)) {
    EXPECT_EQ(MaxDifference(ours, magick), 0);
  }
}

// ---------------------------------------------------------------------------
// DXT.

std::vector<uint8_t> DxtFile(uint32_t compression, int width, int height,
                             const std::vector<uint8_t>& blocks) {
  BmpBuilder b;
  b.width = width;
  b.height = height;
  b.bits = 32;
  b.compression = compression;
  std::vector<uint8_t> bytes = b.Bytes();
  bytes.resize(74, 0);  // the block data starts at offset 74
  bytes.insert(bytes.end(), blocks.begin(), blocks.end());
  return bytes;
}

TEST_F(BmpTest, Dxt1BlocksDecodeToHandWorkedColours) {
  // c0 = pure red (0xF800) > c1 = pure blue (0x001F): four opaque colours
  // (248,0,0), (0,0,248), (165,0,83), (83,0,165). Block rows use indexes
  // 0 0 0 0 / 1 1 1 1 / 2 2 2 2 / 0 1 2 3.
  std::vector<uint8_t> block = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xE4};
  Rgba ours;
  ImageInfo info{};
  ASSERT_EQ(LoadBytes(DxtFile(0x31545844, 4, 4, block), &ours, 0, &info), 0);
  EXPECT_STREQ(info.formatText, "Windows Bitmap (DXT)");
  ImageInfoFree(&info);
  const uint8_t colours[4][3] = {{248, 0, 0}, {0, 0, 248}, {165, 0, 83}, {83, 0, 165}};
  const int rowIndex[4][4] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {0, 1, 2, 3}};
  // The rows are bottom-up: the block's first row is the picture's last.
  for (int by = 0; by < 4; ++by)
    for (int x = 0; x < 4; ++x) {
      const uint8_t* p = ours.at(x, 3 - by);
      const uint8_t* c = colours[rowIndex[by][x]];
      EXPECT_EQ(p[0], c[0]) << x << "," << by;
      EXPECT_EQ(p[1], c[1]);
      EXPECT_EQ(p[2], c[2]);
      EXPECT_EQ(p[3], 255);
    }

  // c0 = blue <= c1 = red: colour 2 is the mean, colour 3 transparent.
  std::vector<uint8_t> three = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
  ASSERT_EQ(LoadBytes(DxtFile(0x31545844, 4, 4, three), &ours), 0);
  EXPECT_EQ(ours.at(2, 0)[0], 124);
  EXPECT_EQ(ours.at(2, 0)[2], 124);
  EXPECT_EQ(ours.at(2, 0)[3], 255);
  EXPECT_EQ(ours.at(3, 0)[0], 165);
  EXPECT_EQ(ours.at(3, 0)[2], 83);
  EXPECT_EQ(ours.at(3, 0)[3], 0);
}

TEST_F(BmpTest, Dxt3UsesExplicitAlphaAndFourColours) {
  // Alpha nibbles 0..15 in pixel order (low nibble first), then a colour
  // block with c0 <= c1 that must still use the four-colour rule.
  std::vector<uint8_t> block;
  for (int k = 0; k < 8; ++k) block.push_back((uint8_t)((2 * k) | ((2 * k + 1) << 4)));
  for (uint8_t v : {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4}) block.push_back(v);
  Rgba ours;
  ASSERT_EQ(LoadBytes(DxtFile(0x33545844, 4, 4, block), &ours), 0);
  for (int by = 0; by < 4; ++by)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(ours.at(x, 3 - by)[3], (by * 4 + x) * 17);
  EXPECT_EQ(ours.at(2, 3)[0], 83);   // (2 * 0 + 248 + 1) / 3
  EXPECT_EQ(ours.at(2, 3)[2], 165);  // (2 * 248 + 0 + 1) / 3
  EXPECT_EQ(ours.at(3, 3)[0], 165);
  EXPECT_EQ(ours.at(3, 3)[2], 83);
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
  } sizes[] = {{0, 4}, {4, 0}, {32000, 1}, {1, 32000}, {1, -32000}, {-5, 2}, {70000, 1}};
  for (auto s : sizes) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    BmpBuilder b;
    b.width = s.width;
    b.height = s.height;
    b.bits = 8;
    b.palette = TestPalette(2);
    b.data.assign(64, 0);
    Rgba ours;
    ImageInfo info{};
    int r = LoadBytes(b.Bytes(), &ours, 0, &info);
    if (s.width == -5) {
      // A negative width is taken by its size.
      EXPECT_EQ(r, 0);
    } else {
      EXPECT_EQ(r, RESULT_BAD_SIZE);
      EXPECT_STREQ(info.message, "Windows Bitmap : Bad picture's size !");
    }
    ImageInfoFree(&info);
  }
  // The largest accepted size.
  BmpBuilder wide;
  wide.width = 31999;
  wide.height = 1;
  wide.bits = 8;
  wide.palette = TestPalette(2);
  wide.data.assign(32000, 1);
  Rgba ours;
  ASSERT_EQ(LoadBytes(wide.Bytes(), &ours), 0);
  EXPECT_EQ(ours.width, 31999);
}

TEST_F(BmpTest, HeadersThatAreNotBitmapsGiveTwo) {
  BmpBuilder b;
  b.width = 2;
  b.height = 2;
  b.bits = 24;
  b.data = PackRows({{1, 2}, {3, 4}}, 24);
  std::vector<uint8_t> good = b.Bytes();
  Image image{};
  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("bmp");
  auto loadAsBmp = [&](const std::vector<uint8_t>& bytes) {
    std::string path = Write(bytes, "probe.bin");
    std::u16string w = W(path);
    int r = LoadImage(w.c_str(), &image, &options, nullptr);
    ImageFree(&image);
    return r;
  };
  EXPECT_EQ(loadAsBmp(good), 0);
  std::vector<uint8_t> magic = good;
  magic[0] = 'X';
  EXPECT_EQ(loadAsBmp(magic), RESULT_NOT_RECOGNISED);
  std::vector<uint8_t> headerSize = good;
  headerSize[14] = 20;
  EXPECT_EQ(loadAsBmp(headerSize), RESULT_NOT_RECOGNISED);
  std::vector<uint8_t> compression = good;
  compression[30] = 9;
  EXPECT_EQ(loadAsBmp(compression), RESULT_NOT_RECOGNISED);
  std::vector<uint8_t> cut(good.begin(), good.begin() + 40);
  EXPECT_EQ(loadAsBmp(cut), RESULT_NOT_RECOGNISED);
}

TEST_F(BmpTest, HostileHeadersReturnACodeWithoutTouchingMemoryOutOfBounds) {
  struct Case {
    const char* name;
    BmpBuilder b;
    int expected;  // -1: any code
  };
  auto make = [](int32_t w, int32_t h, uint16_t planes, uint16_t bits, uint32_t compression) {
    BmpBuilder b;
    b.width = w;
    b.height = h;
    b.planes = planes;
    b.bits = bits;
    b.compression = compression;
    b.data.assign(256, 0x5A);
    return b;
  };
  std::vector<Case> cases = {
      {"three planes of 8 bits", make(3000, 3, 3, 8, 0), -1},
      {"two planes of 16 bits", make(3000, 3, 2, 16, 0), -1},
      {"two planes of 1 bit", make(3000, 3, 2, 1, 0), -1},
      {"no planes", make(8, 4, 0, 8, 0), RESULT_NOT_RECOGNISED},
      {"30000 bits", make(8, 4, 1, 30000, 0), RESULT_NOT_RECOGNISED},
      {"20 bits", make(8, 4, 1, 20, 0), RESULT_NOT_RECOGNISED},
      {"RLE8 on 4 bits", make(8, 4, 1, 4, 1), RESULT_NOT_RECOGNISED},
      {"huge 24-bit picture", make(31999, 31999, 1, 24, 0), RESULT_NO_MEMORY},
      {"huge DXT1 picture", make(199999, 199999, 1, 32, 0x31545844), RESULT_NO_MEMORY},
      {"DXT too wide for the pipeline", make(200000, 4, 1, 32, 0x31545844), RESULT_NOT_RECOGNISED},
      {"all-zero 16-bit masks", make(8, 4, 1, 16, 3), 0},
      {"all-zero 32-bit masks", make(8, 4, 1, 32, 3), 0},
      {"data offset past the end", make(8, 4, 1, 8, 0), RESULT_NOT_COMPLETE},
  };
  // Wide rows for the multi-plane cases, so that whole rows are read.
  for (int i = 0; i < 3; ++i) cases[i].b.data.assign(3000 * 4 * 3 * 4, 0x5A);
  cases[10].b.masks = {0, 0, 0};
  cases[11].b.masks = {0, 0, 0};
  cases[12].b.data.clear();
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rgba ours;
    int r = LoadBytes(c.b.Bytes(), &ours);
    if (c.expected >= 0) {
      EXPECT_EQ(r, c.expected);
    } else {
      EXPECT_TRUE(r >= 0 && r <= 16) << r;
    }
    if (c.expected == 0) {
      EXPECT_EQ(ours.at(0, 0)[0], 0);  // no mask, no colour
    }
    if (c.expected < 0) {
      EXPECT_GT(FeedDamagedCopies(c.b.Bytes(), "bmp", 8), 0);
    }
  }
}

TEST_F(BmpTest, TruncatedPixelDataGivesFourAndKeepsTheRowsRead) {
  const int w = 6, h = 4;
  Grid pixels = Pattern(w, h, 0x1000000, 5);
  BmpBuilder b;
  b.width = w;
  b.height = h;
  b.bits = 24;
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
  BmpBuilder b;
  b.width = 4;
  b.height = 8;
  b.bits = 8;
  b.palette = TestPalette(4);
  b.data = PackRows(Pattern(4, 8, 4), 8);
  std::string path = Write(b.Bytes());
  LoadOptions options;
  LoadOptionsInit(&options);
  options.cancelCallback = CancelAlways;
  Image image{};
  EXPECT_EQ(LoadImage(W(path).c_str(), &image, &options, nullptr), RESULT_CANCELLED);
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
  for (int y = 0; y < h; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < w; ++x) {
      // Runs and unequal stretches alike, so that both RLE modes are used.
      int v = (x / 3 + y) % 5 == 0 ? 1 : (x * x + 3 * y + x * y);
      switch (type) {
        case PIXEL_BW:
          PutBit(row, x, v & 1);
          break;
        case PIXEL_INDEXED:
          row[x] = (uint8_t)(v % colours);
          break;
        case PIXEL_GREY:
          row[x] = (uint8_t)(v * 29);
          break;
        case PIXEL_RGB:
          row[3 * x] = (uint8_t)(v * 7);
          row[3 * x + 1] = (uint8_t)(v * 13 + y);
          row[3 * x + 2] = (uint8_t)(x * 11);
          break;
        case PIXEL_RGBA:
          row[4 * x] = (uint8_t)(v * 7);
          row[4 * x + 1] = (uint8_t)(y * 19);
          row[4 * x + 2] = (uint8_t)(x * 11 + v);
          row[4 * x + 3] = 255;
          break;
      }
    }
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

TEST_F(BmpTest, Rle8EncoderWritesRunsLiteralsAndOnePixelRows) {
  // One pixel wide: each row is (1, value), (0, 0); the end is (0, 1).
  Image narrow{};
  MakePicture(&narrow, PIXEL_INDEXED, 200, 1, 3);
  std::string path = dir.File("narrow.bmp");
  ASSERT_EQ(SaveAs(path, narrow, false, true), 0);
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  const uint32_t offset = Get32(bytes, 10);
  // Rows are stored bottom-up.
  std::vector<uint8_t> expected = {
      1, ImageRow(&narrow, 2)[0], 0, 0, 1, ImageRow(&narrow, 1)[0], 0, 0, 1, ImageRow(&narrow, 0)[0], 0, 0, 0,
      1};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + offset, bytes.end()), expected);
  ImageFree(&narrow);

  // One row with a run, an odd literal stretch, a closing run; then a row
  // of two unequal pixels and one of a single pixel.
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_INDEXED, 4, 8, 1), 1);
  image.paletteCount = 200;
  const uint8_t row[8] = {1, 1, 1, 2, 3, 4, 5, 5};
  memcpy(ImageRow(&image, 0), row, 8);
  ASSERT_EQ(SaveAs(path, image, false, true), 0);
  bytes = ReadFileBytes(path);
  expected = {3, 1, 0, 3, 2, 3, 4, 0, 2, 5, 0, 0, 0, 1};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + Get32(bytes, 10), bytes.end()), expected);
  ImageFree(&image);

  ASSERT_EQ(ImageCreate(&image, PIXEL_INDEXED, 4, 2, 1), 1);
  image.paletteCount = 200;
  ImageRow(&image, 0)[0] = 9;
  ImageRow(&image, 0)[1] = 8;
  ASSERT_EQ(SaveAs(path, image, false, true), 0);
  bytes = ReadFileBytes(path);
  expected = {1, 9, 1, 8, 0, 0, 0, 1};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + Get32(bytes, 10), bytes.end()), expected);
  ImageFree(&image);
}

TEST_F(BmpTest, Rle4EncoderPacksNibbles) {
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_INDEXED, 4, 7, 2), 1);
  image.paletteCount = 16;
  const uint8_t top[7] = {1, 1, 1, 2, 3, 4, 5};
  const uint8_t bottom[7] = {6, 7, 6, 6, 6, 6, 9};
  memcpy(ImageRow(&image, 0), top, 7);
  memcpy(ImageRow(&image, 1), bottom, 7);
  std::string path = dir.File("nibbles.bmp");
  ASSERT_EQ(SaveAs(path, image, false, true), 0);
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::vector<uint8_t> expected = {
      2, 0x67, 4, 0x66, 1,    0x90, 0, 0,        // bottom: 6 7 | 6 6 6 6 | 9
      3, 0x11, 0, 4,    0x23, 0x45, 0, 0, 0, 1,  // top: 1 1 1 | 2 3 4 5
  };
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + Get32(bytes, 10), bytes.end()), expected);
  ImageFree(&image);
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
