// quivra-img as users and scripts call it: output keys, exit statuses,
// conversions checked against ImageMagick.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

std::map<std::string, std::string> Keys(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(": ");
    if (colon != std::string::npos && !keys.count(line.substr(0, colon)))
      keys[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return keys;
}

class Tool : public ::testing::Test {
 protected:
  TempDir dir;
  std::string q = testing_support::QuivraImg();
  void SetUp() override {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  }
};

TEST_F(Tool, InfoPrintsTheDescription) {
  std::string bmp = dir.File("p.bmp");
  ASSERT_EQ(0, RunCommand("convert -size 33x21 gradient:red-blue -density 300 -units PixelsPerInch '" + bmp + "'"));
  std::string out;
  ASSERT_EQ(0, RunCommand(q + " info '" + bmp + "'", &out));
  auto keys = Keys(out);
  EXPECT_EQ("0", keys["result"]);
  EXPECT_EQ("bmp", keys["format"]);
  EXPECT_EQ("Windows Bitmap", keys["formatText"]);
  EXPECT_EQ("33", keys["width"]);
  EXPECT_EQ("21", keys["height"]);
  EXPECT_EQ("24", keys["bitsPerPlane"]);
  EXPECT_EQ("300", keys["xDpi"]);
  EXPECT_EQ("Uncompressed", keys["compression"]);
  EXPECT_EQ("RGB", keys["colourModel"]);
  EXPECT_EQ("1", keys["imageCount"]);
  EXPECT_EQ(std::to_string(ReadFileBytes(bmp).size()), keys["fileSize"]);
}

TEST_F(Tool, InfoGoesOnAfterAFailingFile) {
  std::string good = dir.File("good.bmp");
  ASSERT_EQ(0, RunCommand("convert -size 4x4 xc:white '" + good + "'"));
  WriteFileBytes(dir.File("bad.bmp"), std::vector<uint8_t>(100, 1));
  std::string out;
  int status = RunCommand(q + " info '" + dir.File("bad.bmp") + "' '" + good + "' 2>/dev/null", &out);
  EXPECT_EQ(2, status);  // the first failure's result code
  EXPECT_NE(std::string::npos, out.find("result: 2"));
  EXPECT_NE(std::string::npos, out.find("\n\nfile: " + good));
  EXPECT_NE(std::string::npos, out.find("width: 4"));
  std::string err;
  RunCommand(q + " info '" + dir.File("missing.bmp") + "' 2>&1 >/dev/null", &err);
  EXPECT_NE(std::string::npos, err.find("missing.bmp: error 3 (file cannot be opened)"));
}

TEST_F(Tool, ConvertMatchesTheSourceAndAppliesOperationsInOrder) {
  std::string in = dir.File("in.bmp");
  ASSERT_EQ(0, RunCommand("convert -size 80x60 plasma:fractal -depth 8 '" + in + "' 2>/dev/null"));
  std::string out = dir.File("out.bmp");
  ASSERT_EQ(0, RunCommand(q + " convert '" + in + "' '" + out + "'"));
  Rgba a, b;
  ASSERT_TRUE(DecodeWithMagick(in, &a));
  ASSERT_TRUE(DecodeWithMagick(out, &b));
  EXPECT_EQ(0, MaxDifference(a, b));
  // Load into a box, then enlarge: the result has the last size asked for.
  ASSERT_EQ(0, RunCommand(q + " convert --box 40x40 --smooth --resize-fast 100x10 '" + in + "' '" + out + "'"));
  std::string size;
  RunCommand("identify -format '%wx%h' '" + out + "'", &size);
  EXPECT_EQ("100x10", size);
}

TEST_F(Tool, ConvertRefusesWhatItCannotDo) {
  std::string in = dir.File("in.bmp");
  ASSERT_EQ(0, RunCommand("convert -size 8x8 xc:red '" + in + "'"));
  EXPECT_EQ(8, RunCommand(q + " convert '" + in + "' '" + dir.File("out.tif") + "' 2>/dev/null"));
  EXPECT_EQ(8, RunCommand(q + " convert --format nosuch '" + in + "' '" + dir.File("o.bmp") + "' 2>/dev/null"));
  EXPECT_EQ(2, RunCommand(q + " convert --quality 0 '" + in + "' '" + dir.File("o.jpg") + "' 2>/dev/null"));
  EXPECT_EQ(2, RunCommand(q + " convert --no-such-option '" + in + "' '" + dir.File("o.bmp") + "' 2>/dev/null"));
  EXPECT_EQ(3, RunCommand(q + " convert '" + dir.File("none.bmp") + "' '" + dir.File("o.bmp") + "' 2>/dev/null"));
  EXPECT_EQ(2, RunCommand(q + " nosuchcommand 2>/dev/null"));
}

TEST_F(Tool, ConsoleRecognitionLinesAndProgressBar) {
  std::string in = dir.File("c.bmp");
  ASSERT_EQ(0, RunCommand("convert -size 7x5 xc:green '" + in + "'"));
  std::string out, err;
  ASSERT_EQ(0, RunCommand(q + " convert --flags 101 '" + in + "' '" + dir.File("o.bmp") + "' 2>/dev/null", &out));
  EXPECT_NE(std::string::npos, out.find("A Windows Bitmap (RGB) was recognized : " + in + "\n"));
  EXPECT_NE(std::string::npos, out.find("    Width:7 Height:5 with 16777216 colors\n"));
  EXPECT_NE(std::string::npos, out.find("    Nplanes : 1      Bitscount : 24\n"));
  ASSERT_EQ(0, RunCommand(q + " convert --flags 100 '" + in + "' '" + dir.File("o.bmp") + "' 2>&1 >/dev/null", &err));
  EXPECT_EQ(std::string(60, '-') + "\r" + std::string(60, '*') + "\n", err);
}

TEST_F(Tool, HelpEverywhere) {
  for (std::string command : {"", " info", " convert", " formats"}) {
    std::string out;
    EXPECT_EQ(0, RunCommand(q + command + " --help", &out)) << command;
    EXPECT_NE(std::string::npos, out.find("usage")) << command;
  }
}

TEST_F(Tool, FormatsListsTheTable) {
  std::string out;
  ASSERT_EQ(0, RunCommand(q + " formats", &out));
  EXPECT_NE(std::string::npos, out.find("0\tjpeg\tJPEG / JFIF\t"));
  EXPECT_NE(std::string::npos, out.find("2\tbmp\tWindows Bitmap\trw\tbmp,rle,vga,rl4,rl8,sys"));
  EXPECT_NE(std::string::npos, out.find("5\t2bp\tPocket PC Bitmap\tr-\t2bp"));
  EXPECT_NE(std::string::npos, out.find("14\tico\tWindows Icon\t"));
}

}  // namespace
