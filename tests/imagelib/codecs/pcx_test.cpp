// PCX reader: real files and fixtures against Pillow and ImageMagick, the
// EGA palette of version 3, the 256-colour palette at the end, 1 to 8
// planes, plain and run-length rows, and damaged input.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Quote;

namespace {

class PcxTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

const uint8_t kEga[16][3] = {{0, 0, 0},     {0, 0, 170},     {0, 170, 0},     {0, 170, 170},
                             {170, 0, 0},   {170, 0, 170},   {170, 85, 0},    {170, 170, 170},
                             {85, 85, 85},  {85, 85, 255},   {85, 255, 85},   {85, 255, 255},
                             {255, 85, 85}, {255, 85, 255},  {255, 255, 85},  {255, 255, 255}};

// A PCX file built byte by byte. `rows` holds each row's planes one after
// another, bytesPerLine bytes each.
struct PcxShape {
  int version = 5;
  bool encoded = true;
  int bits = 8;
  int planes = 1;
  int width = 0, height = 0;
  int bytesPerLine = 0;
  uint8_t headerPalette[48] = {};
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> tail;  // bytes after the pixel data (marker and palette)
};

// A picture shape of the given size and layout, rows of an even number of bytes.
PcxShape Shape(int width, int height, int planes = 1, int bits = 8) {
  PcxShape s;
  s.width = width;
  s.height = height;
  s.planes = planes;
  s.bits = bits;
  s.bytesPerLine = ((width * bits + 15) / 16) * 2;
  return s;
}

void RleRow(const std::vector<uint8_t>& row, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < row.size()) {
    size_t j = i + 1;
    while (j < row.size() && row[j] == row[i] && j - i < 63) ++j;
    size_t n = j - i;
    if (n > 1 || row[i] >= 192) {
      out.push_back((uint8_t)(0xC0 | n));
      out.push_back(row[i]);
    } else {
      out.push_back(row[i]);
    }
    i = j;
  }
}

std::vector<uint8_t> BuildPcx(const PcxShape& s) {
  std::vector<uint8_t> f(128, 0);
  f[0] = 10;
  f[1] = (uint8_t)s.version;
  f[2] = s.encoded ? 1 : 0;
  f[3] = (uint8_t)s.bits;
  peer::PutLe16(f, 8, s.width - 1);
  peer::PutLe16(f, 10, s.height - 1);
  peer::PutLe16(f, 12, 72);
  peer::PutLe16(f, 14, 72);
  memcpy(&f[16], s.headerPalette, 48);
  f[65] = (uint8_t)s.planes;
  peer::PutLe16(f, 66, s.bytesPerLine);
  for (const std::vector<uint8_t>& row : s.rows) {
    if (s.encoded) RleRow(row, f);
    else f.insert(f.end(), row.begin(), row.end());
  }
  f.insert(f.end(), s.tail.begin(), s.tail.end());
  return f;
}

// Random indexes of `bits` per pixel in `planes` planes; returns the index of
// every pixel, row by row.
std::vector<int> FillPlanes(PcxShape& s, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<int> indexes((size_t)s.width * s.height);
  for (int y = 0; y < s.height; ++y) {
    std::vector<uint8_t> row((size_t)s.planes * s.bytesPerLine, 0);
    for (int x = 0; x < s.width; ++x) {
      // Runs of equal pixels now and then, so that runs cross planes.
      int index = (x / 5 + y) % 3 == 0 ? 0 : (int)(random() % (1u << (s.bits * s.planes)));
      indexes[(size_t)y * s.width + x] = index;
      for (int p = 0; p < s.planes; ++p) {
        int v = (index >> (p * s.bits)) & ((1 << s.bits) - 1);
        int bit = x * s.bits;
        row[(size_t)p * s.bytesPerLine + bit / 8] |= (uint8_t)(v << (8 - s.bits - bit % 8));
      }
    }
    s.rows.push_back(row);
  }
  return indexes;
}

void RandomHeaderPalette(PcxShape& s, unsigned seed) {
  std::mt19937 random(seed);
  for (uint8_t& b : s.headerPalette) b = (uint8_t)random();
}

// A copy of a file with its 16-colour header palette replaced.
std::string WithHeaderPalette(const std::string& file, const uint8_t palette[48], const TempDir& dir) {
  std::vector<uint8_t> bytes = ReadFileBytes(file);
  memcpy(&bytes[16], palette, 48);
  std::string copy = dir.File("patched-" + BaseName(file));
  WriteFileBytes(copy, bytes);
  return copy;
}

TEST_F(PcxTest, EveryCorpusFileMatchesAPeerOrTheDescribedRule) {
  std::string dir = CorpusDir("pcx");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  TempDir temp;
  uint8_t ega[48], greyRamp[48] = {};
  memcpy(ega, kEga, 48);
  for (int i = 0; i < 4; ++i) greyRamp[i * 3] = greyRamp[i * 3 + 1] = greyRamp[i * 3 + 2] = (uint8_t)(i * 85);
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    Rgba ours, reference;
    Image image{};
    if (name == "pillow-ossfuzz-4836216264589312.pcx") {
      // Deliberately malformed: any result, no crash.
      LoadFile(file, &image);
      ImageFree(&image);
      continue;
    }
    ASSERT_EQ(peer::LoadRgba(file, &ours), 0);
    if (name == "twelvemonkeys-animals.pcx") {
      // Version 3: the EGA colours whatever the header holds; ImageMagick
      // takes the header palette, so it reads a copy holding the EGA colours.
      ASSERT_TRUE(peer::DecodeWithMagickArgs(WithHeaderPalette(file, ega, temp), "", &reference));
    } else if (name == "commons-imaging-2plane1bppCompressed.pcx") {
      // Two bits in all get no palette: grey levels of the index.
      ASSERT_TRUE(peer::DecodeWithMagickArgs(WithHeaderPalette(file, greyRamp, temp), "", &reference));
    } else if (name == "twelvemonkeys-CGA_RGBI.PCX" || name == "pillow-01r_00.pcx") {
      // No palette (2 bits in all; 8 bits without the trailing palette):
      // grey levels. Neither peer reads these two as the description does.
      ASSERT_EQ(LoadFile(file, &image), 0);
      EXPECT_EQ(image.pixelType, PIXEL_GREY);
      EXPECT_EQ(image.paletteCount, name == "pillow-01r_00.pcx" ? 256 : 4);
      ImageFree(&image);
      continue;
    } else if (name == "commons-imaging-1plane24bppCompressed.pcx") {
      // No peer reads single-plane 24-bit files; it holds the same picture
      // as the three-plane file.
      ASSERT_TRUE(peer::DecodeWithMagickArgs(dir + "/commons-imaging-3plane8bppUncompressed.pcx", "", &reference));
    } else if (!peer::DecodeWithPillow(file, &reference)) {
      ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "", &reference));
    }
    EXPECT_EQ(MaxDifference(ours, reference), 0);
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

TEST_F(PcxTest, PeerWrittenFixturesMatchThePeers) {
  if (!HaveTool("convert") || !peer::HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  TempDir dir;
  Rgba source = peer::Gradient(61, 27, false);
  struct Made {
    std::string path;
    bool byMagick;
  };
  std::vector<Made> made;
  for (const char* args : {"-type TrueColor", "-type Palette -colors 200", "-monochrome", "-colors 16 -type Palette"}) {
    std::string path = dir.File("im" + std::to_string(made.size()) + ".pcx");
    ASSERT_TRUE(peer::MagickFromRgba(source, args, path)) << args;
    made.push_back({path, true});
  }
  std::string png = dir.File("source.png");
  ASSERT_TRUE(peer::MagickFromRgba(source, "", png));
  std::string program = std::string(peer::PillowPamWriter()) + "src = Image.open(" + Quote(png) + ").convert('RGB')\n";
  for (const char* mode : {"1", "L", "P", "RGB"}) {
    std::string path = dir.File(std::string("pil_") + mode + ".pcx");
    program += "src.convert('" + std::string(mode) + "').save(" + Quote(path) + ")\npam(" + Quote(path + ".pam") +
               ", Image.open(" + Quote(path) + "))\n";
    made.push_back({path, false});
  }
  ASSERT_EQ(peer::RunPython(program), 0);
  for (const Made& m : made) {
    SCOPED_TRACE(m.path);
    Rgba ours, reference;
    ASSERT_EQ(peer::LoadRgba(m.path, &ours), 0);
    if (m.byMagick) ASSERT_TRUE(peer::DecodeWithMagickArgs(m.path, "", &reference));
    else ASSERT_TRUE(peer::ReadPam(m.path + ".pam", &reference));
    EXPECT_EQ(MaxDifference(ours, reference), 0);
  }
}

TEST_F(PcxTest, VersionThreeShowsTheEgaColoursAndVersionFiveItsHeaderPalette) {
  TempDir dir;
  struct Layout {
    int bits, planes;
  } layouts[] = {{4, 1}, {1, 4}, {1, 3}};
  for (const Layout& l : layouts)
    for (int version : {3, 5})
      for (bool encoded : {false, true}) {
        SCOPED_TRACE("bits " + std::to_string(l.bits) + " planes " + std::to_string(l.planes) + " version " +
                     std::to_string(version) + (encoded ? " rle" : ""));
        PcxShape s = Shape(45, 9, l.planes, l.bits);
        s.version = version;
        s.encoded = encoded;
        RandomHeaderPalette(s, 7);
        std::vector<int> indexes = FillPlanes(s, 11);
        std::string path = dir.File("v.pcx");
        WriteFileBytes(path, BuildPcx(s));
        Rgba ours;
        ASSERT_EQ(peer::LoadRgba(path, &ours), 0);
        int wrong = 0;
        for (int y = 0; y < s.height; ++y)
          for (int x = 0; x < s.width; ++x) {
            int i = indexes[(size_t)y * s.width + x];
            const uint8_t* expected = version == 3 ? kEga[i] : &s.headerPalette[i * 3];
            if (memcmp(ours.at(x, y), expected, 3) != 0) ++wrong;
          }
        EXPECT_EQ(wrong, 0);
        if (version == 5 && HaveTool("convert")) {
          Rgba magick;
          ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick));
          EXPECT_EQ(MaxDifference(ours, magick), 0);
        }
      }
}

TEST_F(PcxTest, TrailingPaletteIsFoundWithinThirtyTwoBytes) {
  TempDir dir;
  PcxShape s = Shape(20, 5);
  std::vector<int> indexes = FillPlanes(s, 3);
  std::vector<uint8_t> palette(768);
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = (uint8_t)(255 - i);
    palette[i * 3 + 1] = (uint8_t)(i * 5);
    palette[i * 3 + 2] = (uint8_t)(i ^ 0xA5);
  }
  for (int junk : {0, 10, 31, 40}) {
    SCOPED_TRACE(junk);
    s.tail.assign((size_t)junk, 0x55);
    s.tail.push_back(12);
    s.tail.insert(s.tail.end(), palette.begin(), palette.end());
    std::string path = dir.File("p.pcx");
    WriteFileBytes(path, BuildPcx(s));
    Image image{};
    ASSERT_EQ(LoadFile(path, &image), 0);
    if (junk < 32) {
      ASSERT_EQ(image.pixelType, PIXEL_INDEXED);
      Rgba ours = ImageToRgba(image);
      for (int x = 0; x < s.width; ++x) {
        int i = indexes[(size_t)x];
        EXPECT_EQ(memcmp(ours.at(x, 0), &palette[i * 3], 3), 0) << x;
      }
    } else {
      // No marker within reach: an 8-bit picture without palette is grey.
      EXPECT_EQ(image.pixelType, PIXEL_GREY);
    }
    ImageFree(&image);
  }
  // A palette cut short is not complete.
  s.tail.assign(1, 12);
  s.tail.resize(100, 0);
  std::string path = dir.File("cut.pcx");
  WriteFileBytes(path, BuildPcx(s));
  Image image{};
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_COMPLETE);
  ImageFree(&image);
}

TEST_F(PcxTest, TwentyFourBitPlanesAndRunsAcrossPlanes) {
  TempDir dir;
  PcxShape s = Shape(130, 4, 3);
  for (int y = 0; y < s.height; ++y) {
    std::vector<uint8_t> row(390);
    // Red plane ends with 200s, green starts with 200s: one run covers both.
    for (int x = 0; x < 130; ++x) {
      row[x] = x >= 100 ? 200 : (uint8_t)(x + y);
      row[130 + x] = x < 20 ? 200 : (uint8_t)(x * 2);
      row[260 + x] = (uint8_t)(255 - x);
    }
    s.rows.push_back(row);
  }
  std::string path = dir.File("rgb.pcx");
  std::vector<uint8_t> bytes = BuildPcx(s);
  WriteFileBytes(path, bytes);
  Rgba ours;
  ASSERT_EQ(peer::LoadRgba(path, &ours), 0);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const uint8_t* p = ours.at(x, y);
      ASSERT_EQ(p[0], s.rows[y][x]);
      ASSERT_EQ(p[1], s.rows[y][130 + x]);
      ASSERT_EQ(p[2], s.rows[y][260 + x]);
    }

  // A run longer than the rest of its row fills the row only.
  std::vector<uint8_t> f = BuildPcx(Shape(4, 2));
  const uint8_t data[] = {0xC6, 9, 1, 2, 3, 4};  // six 9s for a row of four
  f.insert(f.end(), data, data + sizeof data);
  WriteFileBytes(path, f);
  Image image{};
  ASSERT_EQ(LoadFile(path, &image), 0);
  const uint8_t expected[2][4] = {{9, 9, 9, 9}, {1, 2, 3, 4}};
  for (int y = 0; y < 2; ++y) EXPECT_EQ(memcmp(ImageRow(&image, y), expected[y], 4), 0) << y;
  ImageFree(&image);
}

TEST_F(PcxTest, BadHeadersAndShortDataGiveTheirResults) {
  TempDir dir;
  std::string path = dir.File("bad.pcx");
  PcxShape s = Shape(16, 8);
  FillPlanes(s, 5);
  std::vector<uint8_t> good = BuildPcx(s);
  Image image{};

  std::vector<uint8_t> f = good;
  f[0] = 11;
  WriteFileBytes(path, f);
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_RECOGNISED);
  ImageFree(&image);

  WriteFileBytes(path, std::vector<uint8_t>(good.begin(), good.begin() + 100));
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_RECOGNISED);
  ImageFree(&image);

  for (int field : {65, 3}) {
    f = good;
    f[field] = field == 65 ? 9 : 0;  // nine planes; zero bits
    WriteFileBytes(path, f);
    LoadOptions options;
    LoadOptionsInit(&options);
    options.formatIndex = (int16_t)FindFormat("pcx");
    ImageInfo info{};
    std::u16string w = W(path);
    EXPECT_EQ(LoadImage(w.c_str(), &image, &options, &info), RESULT_NOT_RECOGNISED);
    EXPECT_STREQ(info.message, "Pcx : Bad picture's size !");
    ImageFree(&image);
    ImageInfoFree(&info);
  }

  // Run-length data cut short: not complete, the rows so far are kept.
  WriteFileBytes(path, std::vector<uint8_t>(good.begin(), good.end() - 20));
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_COMPLETE);
  ImageFree(&image);
  ASSERT_EQ(LoadFile(path, &image, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(memcmp(ImageRow(&image, 0), s.rows[0].data(), 16), 0);
  ImageFree(&image);

  s.encoded = false;
  good = BuildPcx(s);
  WriteFileBytes(path, std::vector<uint8_t>(good.begin(), good.end() - 5));
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_COMPLETE);
  ImageFree(&image);
}

TEST_F(PcxTest, DamagedFilesNeverCrash) {
  PcxShape s = Shape(33, 6, 4, 1);
  FillPlanes(s, 9);
  EXPECT_GT(FeedDamagedCopies(BuildPcx(s), "pcx"), 0);
  PcxShape p = Shape(30, 6);
  FillPlanes(p, 2);
  p.tail.push_back(12);
  p.tail.resize(769, 77);
  EXPECT_GT(FeedDamagedCopies(BuildPcx(p), "pcx"), 0);
  std::string corpus = CorpusDir("pcx");
  if (!corpus.empty()) {
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(corpus + "/commons-imaging-4plane1bppCompressed.pcx"), "pcx"), 0);
  }
}

}  // namespace
