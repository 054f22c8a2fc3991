// XBM reader: real files and netpbm/ImageMagick fixtures (X11 bytes and X10
// 16-bit words) against ImageMagick, bit order, the header rules, and text
// garbage.
#include <cstring>
#include <string>
#include <vector>

#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Bytes;
using peer::Quote;

namespace {

class XbmTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

int LoadText(const std::string& path, const std::string& text, Image* image) {
  WriteFileBytes(path, Bytes(text));
  return LoadFile(path, image);
}

TEST_F(XbmTest, EveryCorpusFileMatchesImageMagick) {
  std::string dir = CorpusDir("xbm");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    Rgba ours, reference;
    ASSERT_EQ(peer::LoadRgba(file, &ours), 0);
    if (name == "commons-imaging-oregon-X10.xbm") {
      // ImageMagick has no X10 reader; the same picture is in the corpus as PBM.
      std::string pbm = CorpusDir("pnm") + "/commons-imaging-oregon.pbm";
      ASSERT_TRUE(peer::DecodeWithMagickArgs(pbm, "", &reference));
    } else {
      ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "", &reference));
    }
    EXPECT_EQ(MaxDifference(ours, reference), 0);
    ++compared;
  }
  EXPECT_GE(compared, 25);
}

TEST_F(XbmTest, X11AndX10FixturesMatchTheirSource) {
  if (!HaveTool("convert") || !HaveTool("pbmtoxbm") || !peer::HavePillow())
    GTEST_SKIP() << "ImageMagick, netpbm or Pillow missing";
  TempDir dir;
  const std::vector<int> widths = {1, 15, 16, 17, 61};
  // Bitmaps with Pillow (kept as PAM too), then XBM files by netpbm (X11 and
  // X10) and ImageMagick, all in two runs of the tools.
  std::string program = std::string(peer::PillowPamWriter()) + "import random\nrandom.seed(5)\n";
  std::string shell;
  for (int w : widths) {
    std::string base = dir.File("s" + std::to_string(w));
    program += "im = Image.new('1', (" + std::to_string(w) + ", 9))\n"
               "im.putdata([random.choice((0, 255)) for i in range(" + std::to_string(w * 9) + ")])\n"
               "im.save(" + Quote(base + ".pbm") + ")\npam(" + Quote(base + ".pam") + ", im)\n";
    shell += "pbmtoxbm " + Quote(base + ".pbm") + " > " + Quote(base + ".x11.xbm") + " && pbmtoxbm -x10 " +
             Quote(base + ".pbm") + " > " + Quote(base + ".x10.xbm") + " && convert " + Quote(base + ".pbm") + " " +
             Quote(base + ".im.xbm") + " && ";
  }
  ASSERT_EQ(peer::RunPython(program), 0);
  ASSERT_EQ(RunCommand(shell + "true 2>/dev/null"), 0);
  for (int w : widths) {
    SCOPED_TRACE(w);
    std::string base = dir.File("s" + std::to_string(w));
    Rgba source;
    ASSERT_TRUE(peer::ReadPam(base + ".pam", &source));
    for (const char* kind : {".x11.xbm", ".x10.xbm", ".im.xbm"}) {
      SCOPED_TRACE(kind);
      Rgba ours;
      ASSERT_EQ(peer::LoadRgba(base + kind, &ours), 0);
      EXPECT_EQ(MaxDifference(ours, source), 0);
    }
    std::vector<uint8_t> text = ReadFileBytes(base + ".x10.xbm");
    EXPECT_NE(std::string(text.begin(), text.end()).find("short"), std::string::npos);
  }
}

TEST_F(XbmTest, SixteenBitWordsAreLowByteFirstAndBitReversed) {
  TempDir dir;
  Image image{};
  ASSERT_EQ(LoadText(dir.File("w.xbm"),
                     "#define w_width 20\n#define w_height 1\nstatic short w_bits[] = {\n 0x8001, 0x0003};\n", &image),
            0);
  ASSERT_EQ(image.pixelType, PIXEL_BW);
  // 1 is black; bit 0 of each byte is its leftmost pixel.
  std::vector<int> black;
  for (int x = 0; x < 20; ++x)
    if (!GetBit(ImageRow(&image, 0), x)) black.push_back(x);
  EXPECT_EQ(black, (std::vector<int>{0, 15, 16, 17}));
  ImageFree(&image);
}

TEST_F(XbmTest, HeaderRules) {
  TempDir dir;
  std::string path = dir.File("h.xbm");
  Image image{};
  // Hot spot defines push the declaration to the fifth line: the header ends
  // there by the fourth-line rule and the data follows.
  ASSERT_EQ(LoadText(path,
                     "#define c_width 8\n#define c_height 2\n#define c_x_hot 1\n#define c_y_hot 1\n"
                     "static unsigned char c_bits[] = {\n 0x01, 0x80};\n",
                     &image),
            0);
  EXPECT_EQ(GetBit(ImageRow(&image, 0), 0), 0);
  EXPECT_EQ(GetBit(ImageRow(&image, 1), 7), 0);
  EXPECT_EQ(GetBit(ImageRow(&image, 1), 0), 1);
  ImageFree(&image);
  // A const declaration matches no declaration; the line after it is the
  // fourth and ends the header, so its values are lost: not complete.
  ASSERT_EQ(LoadText(path, "#define c_width 8\n#define c_height 1\nstatic const unsigned char c_bits[] = {\n0x0f};\n",
                     &image),
            RESULT_NOT_COMPLETE);
  ImageFree(&image);
  ASSERT_EQ(LoadText(path, "/* drawn by hand */\n#define c_width 8\n#define c_height 1\nstatic char c_bits[] = {0x0f};\n",
                     &image),
            0);
  // The comment line is not counted: 0x0f is the four leftmost pixels,
  // black, which a bilevel picture holds as 0 bits.
  EXPECT_EQ(ImageRow(&image, 0)[0], 0x0F);
  ImageFree(&image);
}

TEST_F(XbmTest, GarbageGivesTheDescribedResults) {
  TempDir dir;
  std::string path = dir.File("g.xbm");
  Image image{};
  const std::string tail = "static char x_bits[] = {\n0xff, 0xff, 0xff, 0xff};\n";
  EXPECT_EQ(LoadText(path, "#define x_width 0\n#define x_height 2\n" + tail, &image), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "#define x_width 16000\n#define x_height 2\n" + tail, &image), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "#define x_width 8\n" + tail, &image), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "hello\nworld\n", &image), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "#define x_width 8\n#define x_height 8\n" + tail, &image), RESULT_NOT_COMPLETE);
  ImageFree(&image);
  EXPECT_EQ(LoadText(path, "#define x_width 8\n#define x_height 3\nstatic char x_bits[] = {\n0x01, zz, 0x02};\n", &image),
            RESULT_NOT_COMPLETE);
  ImageFree(&image);
  // Partial pictures keep the rows read.
  WriteFileBytes(path, Bytes("#define x_width 8\n#define x_height 3\nstatic char x_bits[] = {\n0x01, 0x03"));
  ASSERT_EQ(LoadFile(path, &image, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(ImageRow(&image, 1)[0], 0x3F);
  ImageFree(&image);
  // A line without an end, far longer than a header line: read in pieces,
  // the fourth ends the header and no value follows.
  EXPECT_EQ(LoadText(path, "#define x_width 8\n#define x_height 1\n" + std::string(100000, 'q'), &image),
            RESULT_NOT_COMPLETE);
  ImageFree(&image);
}

TEST_F(XbmTest, DamagedFilesNeverCrash) {
  std::string corpus = CorpusDir("xbm");
  std::vector<uint8_t> x10 = Bytes(
      "#define t_width 21\n#define t_height 3\nstatic unsigned short t_bits[] = {\n"
      "0x1234, 0xffff, 0x00f0, 0x0f0f, 0x8001, 0x7ffe, 0x0000, 0x5555, 0xaaaa};\n");
  EXPECT_GT(FeedDamagedCopies(x10, "xbm"), 0);
  if (!corpus.empty()) {
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(corpus + "/xbitmaps-star.xbm"), "xbm"), 0);
  }
}

}  // namespace
