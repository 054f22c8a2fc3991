// quivra-img convert operations on the picture: sizes, turns, tone, colour
// depth, checked against ImageMagick and djpeg.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class ConvertOperations : public ::testing::Test {
 protected:
  TempDir dir;
  std::string q = QuivraImg();
  std::string in;
  void SetUp() override {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    in = dir.File("in.bmp");
    ASSERT_EQ(0, RunCommand("convert -size 64x48 plasma:fractal -depth 8 -type TrueColor '" + in +
                            "' 2>/dev/null"));
  }
  int Quivra(const std::string& args, const std::string& out) {
    return RunCommand(q + " convert " + args + " '" + in + "' '" + out + "' 2>/dev/null");
  }
  std::string Size(const std::string& file) {
    std::string size;
    RunCommand("identify -format '%wx%h' '" + file + "'", &size);
    return size;
  }
  // Our result and ImageMagick's for the same operation, decoded.
  int DifferenceFromMagick(const std::string& ours, const std::string& magickArgs) {
    const std::string out = dir.File("ours.png"), peer = dir.File("peer.png");
    if (Quivra(ours, out) != 0) return 999;
    if (RunCommand("convert '" + in + "' " + magickArgs + " '" + peer + "'") != 0) return 998;
    Rgba a, b;
    if (!DecodeWithMagick(out, &a) || !DecodeWithMagick(peer, &b)) return 997;
    return MaxDifference(a, b);
  }
};

TEST_F(ConvertOperations, SizesOfTheResamplingOperations) {
  const std::string out = dir.File("out.bmp");
  ASSERT_EQ(0, Quivra("--resize 30x20", out));
  EXPECT_EQ("30x20", Size(out));
  ASSERT_EQ(0, Quivra("--reduce 16x12", out));
  EXPECT_EQ("16x12", Size(out));
  ASSERT_EQ(0, Quivra("--resize-fast 200x5", out));
  EXPECT_EQ("200x5", Size(out));
}

TEST_F(ConvertOperations, ResizeAveragesLikeImageMagickScale) {
  EXPECT_LE(DifferenceFromMagick("--resize 32x24", "-scale 32x24!"), 1);
  EXPECT_LE(DifferenceFromMagick("--resize 21x17", "-scale 21x17!"), 1);
}

TEST_F(ConvertOperations, TurnsMatchImageMagick) {
  EXPECT_EQ(DifferenceFromMagick("--rotate 90", "-rotate 90"), 0);
  EXPECT_EQ(DifferenceFromMagick("--rotate -90", "-rotate 270"), 0);
  EXPECT_EQ(DifferenceFromMagick("--rotate 270", "-rotate -90"), 0);
  EXPECT_EQ(DifferenceFromMagick("--rotate 180", "-rotate 180"), 0);
  EXPECT_EQ(DifferenceFromMagick("--rotate 45", ""), 0);
}

TEST_F(ConvertOperations, OperationsApplyInCommandLineOrder) {
  const std::string out = dir.File("out.bmp");
  ASSERT_EQ(0, Quivra("--resize-fast 10x20 --rotate 90", out));
  EXPECT_EQ("20x10", Size(out));
  ASSERT_EQ(0, Quivra("--rotate 90 --resize-fast 10x20", out));
  EXPECT_EQ("10x20", Size(out));
  // Negative twice is the picture itself; negative then a turn equals
  // ImageMagick's turn then negate.
  EXPECT_EQ(DifferenceFromMagick("--negative --negative", ""), 0);
  EXPECT_EQ(DifferenceFromMagick("--negative --rotate 90", "-rotate 90 -negate"), 0);
}

TEST_F(ConvertOperations, ToneMatchesImageMagickGammaAndNegate) {
  EXPECT_EQ(DifferenceFromMagick("--negative", "-negate"), 0);
  EXPECT_LE(DifferenceFromMagick("--tone 0,0,2.0", "-gamma 2.0"), 1);
  EXPECT_EQ(DifferenceFromMagick("--tone 0,0,1", ""), 0);
  EXPECT_EQ(DifferenceFromMagick("--tone 255,0,1", "-fill white -colorize 100%"), 0);
}

TEST_F(ConvertOperations, AutomaticCorrectionsRun) {
  const std::string out = dir.File("out.png");
  ASSERT_EQ(0, Quivra("--autolevels", out));
  ASSERT_EQ(0, Quivra("--autocontrast", out));
  // A picture that already spans 0..255 in every channel is left as it is
  // by auto levels (cut count 3 of 3072 pixels).
  const std::string ramp = dir.File("ramp.png");
  ASSERT_EQ(0, RunCommand("convert -size 12x256 gradient:black-white -rotate 90 -depth 8 -type TrueColor '" + ramp + "'"));
  ASSERT_EQ(0, RunCommand(q + " convert --autolevels '" + ramp + "' '" + out + "'"));
  Rgba a, b;
  ASSERT_TRUE(DecodeWithMagick(ramp, &a));
  ASSERT_TRUE(DecodeWithMagick(out, &b));
  EXPECT_EQ(MaxDifference(a, b), 0);
}

TEST_F(ConvertOperations, DepthModes) {
  const std::string out = dir.File("out.png");
  std::string colours;
  ASSERT_EQ(0, Quivra("--depth 1:5", out));
  RunCommand("identify -format '%k' '" + out + "'", &colours);
  EXPECT_LE(std::stoi(colours), 2);
  ASSERT_EQ(0, Quivra("--depth 2", out));
  RunCommand("identify -format '%k' '" + out + "'", &colours);
  EXPECT_LE(std::stoi(colours), 4);
  ASSERT_EQ(0, Quivra("--depth 14:1", out));
  RunCommand("identify -format '%k' '" + out + "'", &colours);
  EXPECT_LE(std::stoi(colours), 32);
  // Direct colour, any order, keeps the pixels.
  for (const char* mode : {"19", "21", "22", "24"})
    EXPECT_EQ(DifferenceFromMagick(std::string("--depth ") + mode, ""), 0) << mode;
}

TEST_F(ConvertOperations, MedianCutShowsTheColoursOfDjpeg) {
  if (!HaveTool("djpeg") || !HaveTool("cjpeg")) GTEST_SKIP() << "djpeg/cjpeg missing";
  const std::string jpeg = dir.File("in.jpg");
  ASSERT_EQ(0, RunCommand("convert -size 160x120 plasma:fractal -quality 90 '" + jpeg + "' 2>/dev/null"));
  for (auto [mode, colours] : {std::pair{12, 8}, {14, 32}, {16, 128}, {18, 256}}) {
    const std::string ours = dir.File("ours.png"), peer = dir.File("djpeg.ppm");
    ASSERT_EQ(0, RunCommand(q + " convert '" + jpeg + "' --depth " + std::to_string(mode) + ":0 '" +
                            ours + "'"));
    ASSERT_EQ(0, RunCommand("djpeg -colors " + std::to_string(colours) + " -dither none -outfile '" +
                            peer + "' '" + jpeg + "'"));
    Rgba a, b;
    ASSERT_TRUE(DecodeWithMagick(ours, &a));
    ASSERT_TRUE(DecodeWithMagick(peer, &b));
    EXPECT_EQ(MaxDifference(a, b), 0) << colours << " colours";
  }
}

TEST_F(ConvertOperations, BadArgumentsAreRefused) {
  const std::string out = dir.File("out.bmp");
  for (const char* args : {"--resize 0x5", "--resize 5", "--reduce x", "--resize-fast -3x4",
                           "--rotate ninety", "--tone 1,2", "--tone a,b,c", "--tone 0,0,0", "--tone 300,0,1",
                           "--depth 10", "--depth 0", "--depth 25", "--depth 1:x"})
    EXPECT_EQ(2, Quivra(args, out)) << args;
}

}  // namespace
