// XPM reader: real files and ImageMagick fixtures against ImageMagick, keys
// of 1 to 4 characters, "None", hexadecimal colours of every length, the
// colour-name table, direct colour beyond 256 colours, and text garbage.
#include <cstring>
#include <string>
#include <vector>

#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Bytes;
using peer::Quote;

namespace {

class XpmTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

// Compares our decoding with ImageMagick's: colours where ImageMagick's
// pixel is opaque, and our transparent index where it is transparent.
void ExpectMatchesMagick(const std::string& file, const Image& image, const Rgba& magick) {
  Rgba ours = ImageToRgba(image);
  ASSERT_EQ(ours.width, magick.width);
  ASSERT_EQ(ours.height, magick.height);
  int wrongColour = 0, wrongTransparency = 0;
  for (int y = 0; y < ours.height; ++y)
    for (int x = 0; x < ours.width; ++x) {
      const uint8_t* m = magick.at(x, y);
      if (m[3] == 0) {
        if (image.pixelType != PIXEL_INDEXED || ImageRow(&image, y)[x] != image.transparentIndex) ++wrongTransparency;
      } else if (memcmp(ours.at(x, y), m, 3) != 0) {
        ++wrongColour;
      }
    }
  EXPECT_EQ(wrongColour, 0) << file;
  EXPECT_EQ(wrongTransparency, 0) << file;
}

TEST_F(XpmTest, EveryCorpusFileMatchesImageMagick) {
  std::string dir = CorpusDir("xpm");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    Image image{};
    ASSERT_EQ(LoadFile(file, &image), 0);
    Rgba magick;
    ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "", &magick));
    if (name == "fltk-porsche.xpm") {
      // "#background" is no hexadecimal colour: black here, where
      // ImageMagick reads its first three letters as #bac.
      Rgba ours = ImageToRgba(image);
      int black = 0;
      for (int y = 0; y < magick.height; ++y)
        for (int x = 0; x < magick.width; ++x) {
          uint8_t* m = magick.at(x, y);
          if (m[0] == 0xBB && m[1] == 0xAA && m[2] == 0xCC) {
            black += ours.at(x, y)[0] == 0 && ours.at(x, y)[1] == 0 && ours.at(x, y)[2] == 0;
            m[0] = m[1] = m[2] = 0;
          }
        }
      EXPECT_GT(black, 0);
    }
    ExpectMatchesMagick(file, image, magick);
    if (name == "pillow-hopper_rgb.xpm") {
      EXPECT_EQ(image.pixelType, PIXEL_RGB);
    }
    ImageFree(&image);
    ++compared;
  }
  EXPECT_GE(compared, 8);
}

TEST_F(XpmTest, ImageMagickFixturesOfOneTwoAndThreeCharacterKeys) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  Rgba source = peer::Gradient(53, 31, true);
  // Binary alpha so that ImageMagick writes None for the transparent pixels.
  for (size_t i = 3; i < source.pixels.size(); i += 4) source.pixels[i] = source.pixels[i] > 200 ? 0 : 255;
  int n = 0;
  for (const char* args : {"-colors 12", "-colors 200", "-alpha off -colors 1000"}) {
    SCOPED_TRACE(args);
    std::string path = dir.File("f" + std::to_string(n++) + ".xpm");
    ASSERT_TRUE(peer::MagickFromRgba(source, args, path));
    Image image{};
    ASSERT_EQ(LoadFile(path, &image), 0);
    Rgba magick;
    ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick));
    ExpectMatchesMagick(path, image, magick);
    ImageFree(&image);
  }
}

TEST_F(XpmTest, ColourSpecificationsAndKeyLengths) {
  TempDir dir;
  struct Colour {
    std::string colour;
    uint8_t r, g, b;
    bool none;
  };
  const std::vector<Colour> colours = {
      {"c None", 0, 0, 0, true},
      {"c #FF8000", 255, 128, 0, false},
      {"c #FFFF00000000", 255, 0, 0, false},
      {"c #12345678ABCD", 0x12, 0x56, 0xAB, false},
      {"c #f80", 255, 136, 0, false},
      {"c #11223344", 0x11, 0x22, 0x33, false},
      {"c Gray50", 127, 127, 127, false},
      {"c grey90", 229, 229, 229, false},
      {"c gray7", 18, 18, 18, false},
      {"c Brown", 165, 42, 42, false},
      {"c gold", 255, 215, 0, false},
      {"c gray", 190, 190, 190, false},
      {"c light goldenrod", 0, 0, 0, false},  // not in the table: black
      {"m white s background c cyan", 0, 255, 255, false},
      {"m black", 0, 0, 0, false},
      {"g4 #808080 c magenta", 255, 0, 255, false},
  };
  for (int keyLength = 1; keyLength <= 4; ++keyLength) {
    SCOPED_TRACE(keyLength);
    const int width = (int)colours.size(), height = 2;
    auto key = [&](int i) {
      std::string k;
      for (int c = 0; c < keyLength; ++c) k += (char)('a' + (i * 7 + c * 3) % 26);
      if (keyLength == 1) k = std::string(1, (char)('A' + i));
      return k;
    };
    std::string text = "/* XPM */\nstatic char *t[] = {\n/* values */\n\"" + std::to_string(width) + " " +
                       std::to_string(height) + " " + std::to_string(colours.size()) + " " +
                       std::to_string(keyLength) + "\",\n/* colours */\n";
    for (size_t i = 0; i < colours.size(); ++i) text += "\"" + key((int)i) + "\t" + colours[i].colour + "\",\n";
    text += "/* pixels */\n";
    for (int y = 0; y < height; ++y) {
      text += "\"";
      for (int x = 0; x < width; ++x) text += key(y == 0 ? x : width - 1 - x);
      text += y + 1 < height ? "\",\n" : "\"};\n";
    }
    std::string path = dir.File("k.xpm");
    WriteFileBytes(path, Bytes(text));
    Image image{};
    ASSERT_EQ(LoadFile(path, &image), 0);
    ASSERT_EQ(image.pixelType, PIXEL_INDEXED);
    EXPECT_EQ(image.transparentIndex, 0);
    Rgba ours = ImageToRgba(image);
    for (int x = 0; x < width; ++x) {
      const Colour& c = colours[(size_t)x];
      SCOPED_TRACE(c.colour);
      EXPECT_EQ(ours.at(x, 0)[0], c.r);
      EXPECT_EQ(ours.at(x, 0)[1], c.g);
      EXPECT_EQ(ours.at(x, 0)[2], c.b);
      EXPECT_EQ(memcmp(ours.at(x, 0), ours.at(width - 1 - x, 1), 3), 0);
    }
    ImageFree(&image);
  }
}

TEST_F(XpmTest, MoreThan256ColoursLoadAsDirectColour) {
  TempDir dir;
  std::string text = "/* XPM */\nstatic char *t[] = {\n\"300 1 300 2\",\n";
  auto key = [](int i) { return std::string{(char)('A' + i / 40), (char)('0' + i % 40)}; };
  char colour[32];
  for (int i = 0; i < 300; ++i) {
    snprintf(colour, sizeof colour, "#%02X%02X%02X", i & 255, (i * 3) & 255, i >> 8);
    text += "\"" + key(i) + " c " + colour + "\",\n";
  }
  text += "\"";
  for (int i = 0; i < 300; ++i) text += key(299 - i);
  text += "\"};\n";
  std::string path = dir.File("d.xpm");
  WriteFileBytes(path, Bytes(text));
  Image image{};
  ASSERT_EQ(LoadFile(path, &image), 0);
  ASSERT_EQ(image.pixelType, PIXEL_RGB);
  for (int x = 0; x < 300; ++x) {
    int i = 299 - x;
    const uint8_t* p = ImageRow(&image, 0) + x * 3;
    ASSERT_EQ(p[0], i & 255);
    ASSERT_EQ(p[1], (i * 3) & 255);
    ASSERT_EQ(p[2], i >> 8);
  }
  ImageFree(&image);
}

int LoadText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, Bytes(text));
  Image image{};
  int r = LoadFile(path, &image);
  ImageFree(&image);
  return r;
}

TEST_F(XpmTest, GarbageGivesTheDescribedResults) {
  TempDir dir;
  std::string path = dir.File("g.xpm");
  const std::string head = "/* XPM */\nstatic char *x[] = {\n";
  const std::string colours = "\"a c #FF0000\",\n\"b c #00FF00\",\n";
  EXPECT_EQ(LoadText(path, head + "\"2 1 2 1\",\n" + colours + "\"ab\"};\n"), 0);
  EXPECT_EQ(LoadText(path, head + "\"0 1 2 1\",\n" + colours + "\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, head + "\"32001 1 2 1\",\n" + colours + "\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, head + "\"2 1 2 5\",\n" + colours + "\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, head + "\"2 1 0 1\",\n\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, head + "\"2 x 2 1\",\n" + colours + "\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "/* PNG */\n" + colours), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "\xC3\xA9* XPM */\n\"2 1 2 1\",\n" + colours + "\"ab\"};\n"), RESULT_NOT_RECOGNISED);
  // A colour string missing: the header was not accepted, not this format.
  EXPECT_EQ(LoadText(path, head + "\"2 1 3 1\",\n" + colours), RESULT_NOT_RECOGNISED);
  // Rows missing or cut: not complete.
  EXPECT_EQ(LoadText(path, head + "\"2 3 2 1\",\n" + colours + "\"ab\",\n"), RESULT_NOT_COMPLETE);
  EXPECT_EQ(LoadText(path, head + "\"2 2 2 1\",\n" + colours + "\"ab\",\n\"a"), RESULT_NOT_COMPLETE);
  // The indexes of a file's rows.
  auto rows = [&](const std::string& text) {
    WriteFileBytes(path, Bytes(text));
    Image image{};
    std::vector<std::vector<uint8_t>> out;
    EXPECT_EQ(LoadFile(path, &image), 0);
    for (int y = 0; y < image.height; ++y)
      out.emplace_back(ImageRow(&image, y), ImageRow(&image, y) + image.width);
    ImageFree(&image);
    return out;
  };
  using Rows = std::vector<std::vector<uint8_t>>;
  // Keys not in the colour table take the first entry.
  EXPECT_EQ(rows(head + "\"3 1 2 1\",\n" + colours + "\"bzq\"};\n"), (Rows{{1, 0, 0}}));
  const std::string threeCharacterKeys = "\"aaa c #FF0000\",\n\"bbb c #00FF00\",\n";
  EXPECT_EQ(rows(head + "\"2 1 2 3\",\n" + threeCharacterKeys + "\"bbbzzz\"};\n"), (Rows{{1, 0}}));
  // A short row keeps the first entry for its missing pixels; the next row
  // is read from its own string.
  EXPECT_EQ(rows(head + "\"3 2 2 1\",\n" + colours + "\"b\",\n\"bba\"};\n"),
            (Rows{{1, 0, 0}, {1, 1, 0}}));
}

TEST_F(XpmTest, DamagedFilesNeverCrash) {
  std::string corpus = CorpusDir("xpm");
  std::string text =
      "/* XPM */\nstatic char *x[] = {\n\"6 3 4 2\",\n\"  c None\",\n\".. c #FF0000\",\n\"++ c gray50\",\n"
      "\"@@ c #12341234ABCD\",\n\"  ..++@@....\",\n\"@@@@@@++++  \",\n\"............\"};\n";
  EXPECT_GT(FeedDamagedCopies(Bytes(text), "xpm"), 0);
  if (!corpus.empty()) {
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(corpus + "/libxpm-plaid.xpm"), "xpm"), 0);
  }
}

}  // namespace
