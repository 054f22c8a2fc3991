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
  std::string Identify(const std::string& format, const std::string& file) {
    std::string text;
    RunCommand("identify -format '" + format + "' '" + file + "'", &text);
    return text;
  }
  // Largest difference between two files as ImageMagick decodes them.
  int Difference(const std::string& a, const std::string& b) {
    Rgba x, y;
    if (!DecodeWithMagick(a, &x) || !DecodeWithMagick(b, &y)) return 997;
    return MaxDifference(x, y);
  }
  // Our result and ImageMagick's for the same operation, decoded.
  int DifferenceFromMagick(const std::string& ours, const std::string& magickArgs) {
    const std::string out = dir.File("ours.png"), peer = dir.File("peer.png");
    if (Quivra(ours, out) != 0) return 999;
    if (RunCommand("convert '" + in + "' " + magickArgs + " '" + peer + "'") != 0) return 998;
    return Difference(out, peer);
  }
};

TEST_F(ConvertOperations, SizesFollowTheOperationsInCommandLineOrder) {
  struct Case { const char* args; const char* size; };
  for (Case c : {Case{"--resize 30x20", "30x20"}, Case{"--reduce 16x12", "16x12"},
                 Case{"--resize-fast 200x5", "200x5"},
                 Case{"--resize-fast 10x20 --rotate 90", "20x10"},
                 Case{"--rotate 90 --resize-fast 10x20", "10x20"}}) {
    SCOPED_TRACE(c.args);
    const std::string out = dir.File("out.bmp");
    ASSERT_EQ(0, Quivra(c.args, out));
    EXPECT_EQ(c.size, Identify("%wx%h", out));
  }
}

// Each operation against ImageMagick's (no ImageMagick arguments: the
// picture itself); resizing and gamma round where we truncate.
TEST_F(ConvertOperations, OperationsMatchImageMagick) {
  struct Case { const char* name; const char* ours; const char* magick; int tolerance; };
  const Case cases[] = {
      {"resize averages like -scale", "--resize 32x24", "-scale 32x24!", 1},
      {"resize to odd sizes", "--resize 21x17", "-scale 21x17!", 1},
      {"clockwise turn", "--rotate 90", "-rotate 90", 0},
      {"counter-clockwise turn", "--rotate -90", "-rotate 270", 0},
      {"three quarters", "--rotate 270", "-rotate -90", 0},
      {"half turn", "--rotate 180", "-rotate 180", 0},
      {"other angles copy", "--rotate 45", "", 0},
      {"negative twice is the picture", "--negative --negative", "", 0},
      {"negative then turn", "--negative --rotate 90", "-rotate 90 -negate", 0},
      {"negative", "--negative", "-negate", 0},
      {"gamma", "--tone 0,0,2.0", "-gamma 2.0", 1},
      {"neutral tone", "--tone 0,0,1", "", 0},
      {"full brightness is white", "--tone 255,0,1", "-fill white -colorize 100%", 0},
      {"direct colour RGB keeps the pixels", "--depth 19", "", 0},
      {"direct colour BGR", "--depth 21", "", 0},
      {"direct colour ABGR", "--depth 22", "", 0},
      {"direct colour ARGB", "--depth 24", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LE(DifferenceFromMagick(c.ours, c.magick), c.tolerance);
  }
}

TEST_F(ConvertOperations, AutomaticCorrectionsRun) {
  const std::string out = dir.File("out.png");
  ASSERT_EQ(0, Quivra("--autolevels", out));
  ASSERT_EQ(0, Quivra("--autocontrast", out));
  // A picture that already spans 0..255 in every channel is left as it is
  // by auto levels (cut count 3 of 3072 pixels).
  const std::string ramp = dir.File("ramp.png");
  ASSERT_EQ(0, RunCommand("convert -size 12x256 gradient:black-white -rotate 90 -depth 8 "
                          "-type TrueColor '" + ramp + "'"));
  ASSERT_EQ(0, RunCommand(q + " convert --autolevels '" + ramp + "' '" + out + "'"));
  EXPECT_EQ(Difference(ramp, out), 0);
}

TEST_F(ConvertOperations, DepthModesLimitTheColours) {
  struct Case { const char* args; int colours; };
  for (Case c : {Case{"--depth 1:5", 2}, Case{"--depth 2", 4}, Case{"--depth 14:1", 32}}) {
    SCOPED_TRACE(c.args);
    const std::string out = dir.File("out.png");
    ASSERT_EQ(0, Quivra(c.args, out));
    EXPECT_LE(std::stoi(Identify("%k", out)), c.colours);
  }
}

TEST_F(ConvertOperations, MedianCutShowsTheColoursOfDjpeg) {
  if (!HaveTool("djpeg") || !HaveTool("cjpeg")) GTEST_SKIP() << "djpeg/cjpeg missing";
  const std::string jpeg = dir.File("in.jpg");
  ASSERT_EQ(0, RunCommand("convert -size 160x120 plasma:fractal -quality 90 '" + jpeg +
                          "' 2>/dev/null"));
  for (auto [mode, colours] : {std::pair{12, 8}, {14, 32}, {16, 128}, {18, 256}}) {
    SCOPED_TRACE(std::to_string(colours) + " colours");
    const std::string ours = dir.File("ours.png"), peer = dir.File("djpeg.ppm");
    ASSERT_EQ(0, RunCommand(q + " convert '" + jpeg + "' --depth " + std::to_string(mode) +
                            ":0 '" + ours + "'"));
    ASSERT_EQ(0, RunCommand("djpeg -colors " + std::to_string(colours) +
                            " -dither none -outfile '" + peer + "' '" + jpeg + "'"));
    EXPECT_EQ(Difference(ours, peer), 0);
  }
}

TEST_F(ConvertOperations, BadArgumentsAreRefused) {
  const std::string out = dir.File("out.bmp");
  for (const char* args : {"--resize 0x5", "--resize 5", "--reduce x", "--resize-fast -3x4",
                           "--rotate ninety", "--tone 1,2", "--tone a,b,c", "--tone 0,0,0",
                           "--tone 300,0,1", "--depth 10", "--depth 0", "--depth 25",
                           "--depth 1:x"})
    EXPECT_EQ(2, Quivra(args, out)) << args;
}

}  // namespace
