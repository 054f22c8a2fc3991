// PNM reader: every type (1 to 7), ASCII and binary, maximum values from 1
// to 65535 against ImageMagick and the described scaling, comments in the
// header, 1-bit polarity, wide samples, and text garbage.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Bytes;
using peer::Quote;

namespace {

class PnmTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

// Samples of a test picture: `channels` per pixel, each in 0..maximum.
struct Samples {
  int width, height, channels, maximum;
  std::vector<int> values;
  int at(int x, int y, int c) const { return values[((size_t)y * width + x) * channels + c]; }
};

Samples MakeSamples(int width, int height, int channels, int maximum, unsigned seed) {
  std::mt19937 random(seed);
  Samples s{width, height, channels, maximum, {}};
  for (int i = 0; i < width * height * channels; ++i) {
    int v = (int)(random() % (unsigned)(maximum + 1));
    if (i % 7 == 0) v = maximum;
    if (i % 11 == 0) v = 0;
    s.values.push_back(v);
  }
  return s;
}

// Writes the samples as PNM type `type` (1 to 6).
std::vector<uint8_t> WritePnm(const Samples& s, int type) {
  std::string text = "P" + std::to_string(type) + "\n# made by the test\n" + std::to_string(s.width) + " " +
                     std::to_string(s.height) + "\n";
  if (type != 1 && type != 4) text += std::to_string(s.maximum) + "\n";
  std::vector<uint8_t> out = Bytes(text);
  if (type <= 3) {
    std::string body;
    int column = 0;
    for (int v : s.values) {
      body += std::to_string(v);
      body += (++column % 17 == 0) ? "\n" : " ";
    }
    out.insert(out.end(), body.begin(), body.end());
  } else if (type == 4) {
    for (int y = 0; y < s.height; ++y) {
      std::vector<uint8_t> row((size_t)(s.width + 7) / 8, 0);
      for (int x = 0; x < s.width; ++x)
        if (s.at(x, y, 0)) row[x / 8] |= (uint8_t)(0x80 >> (x % 8));
      out.insert(out.end(), row.begin(), row.end());
    }
  } else {
    for (int v : s.values) {
      if (s.maximum > 255) out.push_back((uint8_t)(v >> 8));
      out.push_back((uint8_t)(v & 0xFF));
    }
  }
  return out;
}

// The described 8-bit value of a sample.
int Scaled(int v, int maximum) {
  if (maximum == 255) return v;
  if (maximum == 65535) return v >> 8;
  return v * 255 / maximum;
}

TEST_F(PnmTest, EveryCorpusFileMatchesImageMagick) {
  std::string dir = CorpusDir("pnm");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    Rgba ours;
    int result = peer::LoadRgba(file, &ours);
    if (name == "pillow-negative_size.ppm") {
      // Deliberately malformed: an absurd height and no data.
      EXPECT_NE(result, 0);
      continue;
    }
    ASSERT_EQ(result, 0);
    Rgba reference;
    ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "", &reference));
    if (name.find("16bit") != std::string::npos || name.find("16_bit") != std::string::npos) {
      // Maximum 65535: the upper byte of each sample, where ImageMagick rounds.
      EXPECT_LE(MaxDifference(ours, reference), 1);
      std::string grey;
      ASSERT_EQ(RunCommand("convert " + Quote(file) + " -depth 16 -endian MSB gray:- 2>/dev/null", &grey), 0);
      ASSERT_EQ(grey.size(), (size_t)ours.width * ours.height * 2);
      int wrong = 0;
      for (int i = 0; i < ours.width * ours.height; ++i)
        if (ours.pixels[(size_t)i * 4] != (uint8_t)grey[(size_t)i * 2]) ++wrong;
      EXPECT_EQ(wrong, 0);
    } else {
      EXPECT_EQ(MaxDifference(ours, reference), 0);
    }
    ++compared;
  }
  EXPECT_GE(compared, 15);
}

TEST_F(PnmTest, EveryTypeAndMaximumValueFollowsTheScalingRule) {
  TempDir dir;
  int files = 0;
  for (int type = 1; type <= 6; ++type) {
    const bool bilevel = type == 1 || type == 4;
    const int channels = (type == 3 || type == 6) ? 3 : 1;
    const std::vector<int> maxima = bilevel ? std::vector<int>{1} : std::vector<int>{1, 15, 255, 1000, 65535};
    for (int maximum : maxima) {
      SCOPED_TRACE("P" + std::to_string(type) + " maximum " + std::to_string(maximum));
      Samples s = MakeSamples(29, 13, channels, maximum, (unsigned)(type * 100 + maximum));
      std::string path = dir.File("f" + std::to_string(files++) + ".pnm");
      WriteFileBytes(path, WritePnm(s, type));
      Rgba ours;
      ImageInfo info{};
      ASSERT_EQ(peer::LoadRgba(path, &ours, 0, &info), 0);
      ASSERT_EQ(ours.width, s.width);
      ASSERT_EQ(ours.height, s.height);
      int wrong = 0;
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
          for (int c = 0; c < 3; ++c) {
            int v = s.at(x, y, channels == 3 ? c : 0);
            // Bitmaps: 1 is black.
            int expected = bilevel ? (v ? 0 : 255) : Scaled(v, maximum);
            if (ours.at(x, y)[c] != expected) ++wrong;
          }
      EXPECT_EQ(wrong, 0);
      static const char* const texts[] = {"",
                                          "Portable Bitmap (Type 1 - ASCII)",
                                          "Portable Graymap (Type 2 - ASCII)",
                                          "Portable Pixmap (Type 3 - ASCII)",
                                          "Portable Bitmap (Type 4 - Binary)",
                                          "Portable Graymap (Type 5 - Binary)",
                                          "Portable Pixmap (Type 6 - Binary)"};
      EXPECT_STREQ(info.formatText, texts[type]);
      ImageInfoFree(&info);
      if (HaveTool("convert")) {
        Rgba magick;
        ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick));
        // ImageMagick rounds where the description truncates.
        EXPECT_LE(MaxDifference(ours, magick), maximum == 255 || maximum == 1 ? 0 : 1);
      }
    }
  }
}

TEST_F(PnmTest, ImageMagickWrittenFilesMatchImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  Rgba source = peer::Gradient(47, 19, false);
  int n = 0;
  for (const char* args : {"-compress none pbm:", "pbm:", "-compress none -colorspace gray pgm:", "-colorspace gray pgm:",
                           "-compress none ppm:", "ppm:", "-depth 16 ppm:", "-depth 16 -colorspace gray pgm:",
                           "-depth 16 -compress none ppm:"}) {
    SCOPED_TRACE(args);
    std::string request = args;
    size_t colon = request.rfind(' ');
    std::string options = colon == std::string::npos ? "" : request.substr(0, colon);
    std::string prefix = colon == std::string::npos ? request : request.substr(colon + 1);
    std::string path = dir.File("m" + std::to_string(n++) + ".pnm");
    ASSERT_TRUE(peer::MagickFromRgba(source, options, prefix + path));
    Rgba ours, magick;
    ASSERT_EQ(peer::LoadRgba(path, &ours), 0);
    ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick));
    EXPECT_LE(MaxDifference(ours, magick), request.find("16") != std::string::npos ? 1 : 0);
  }
}

TEST_F(PnmTest, WideSamplesKeepSixteenBits) {
  TempDir dir;
  for (int maximum : {65535, 1000}) {
    SCOPED_TRACE(maximum);
    for (int type : {5, 6, 2}) {
      const int channels = type == 6 ? 3 : 1;
      Samples s = MakeSamples(9, 4, channels, maximum, 21);
      std::string path = dir.File("w.pnm");
      WriteFileBytes(path, WritePnm(s, type));
      Image image{};
      ASSERT_EQ(LoadFile(path, &image, LOAD_WIDE_SAMPLES), 0);
      EXPECT_EQ(image.bitsPerSample, 16);
      EXPECT_EQ(image.samplesPerPixel, channels);
      int wrong = 0;
      for (int y = 0; y < s.height; ++y) {
        const uint16_t* row = reinterpret_cast<const uint16_t*>(ImageRow(&image, y));
        for (int i = 0; i < s.width * channels; ++i) {
          int v = s.values[(size_t)y * s.width * channels + i];
          if (maximum == 65535 ? row[i] != v : (row[i] >> 8) != Scaled(v, maximum)) ++wrong;
        }
      }
      EXPECT_EQ(wrong, 0);
      ImageFree(&image);
    }
  }
}

TEST_F(PnmTest, CommentsAnywhereInTheHeader) {
  TempDir dir;
  std::string path = dir.File("c.pgm");
  WriteFileBytes(path, Bytes("P2\n#first\n3#after the width\n# a line between width and height\n 2\n#x\n9\n0 3 9\n9 6 0\n"));
  Image image{};
  ASSERT_EQ(LoadFile(path, &image), 0);
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 2);
  const uint8_t expected[2][3] = {{0, 85, 255}, {255, 170, 0}};
  for (int y = 0; y < 2; ++y) EXPECT_EQ(memcmp(ImageRow(&image, y), expected[y], 3), 0) << y;
  ImageFree(&image);
}

TEST_F(PnmTest, AsciiBitmapDigitsNeedNoSeparators) {
  TempDir dir;
  std::string path = dir.File("b.pbm");
  WriteFileBytes(path, Bytes("P1 5 2\n01101\n1 0 0 1 0\n"));
  Image image{};
  ASSERT_EQ(LoadFile(path, &image), 0);
  EXPECT_EQ(image.pixelType, PIXEL_BW);
  const int expected[2][5] = {{0, 1, 1, 0, 1}, {1, 0, 0, 1, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(GetBit(ImageRow(&image, y), x), 1 - expected[y][x]) << x << "," << y;
  ImageFree(&image);
}

TEST_F(PnmTest, XvThumbnailReadsAsEightBitGrey) {
  TempDir dir;
  std::string path = dir.File("t.pnm");
  std::vector<uint8_t> f = Bytes("P7 332\n#XVVERSION:Version 2.28\n#END_OF_COMMENTS\n4 2 255\n");
  const uint8_t data[8] = {0, 0x1C, 0xE0, 0xFF, 3, 100, 200, 7};
  f.insert(f.end(), data, data + 8);
  WriteFileBytes(path, f);
  Image image{};
  ImageInfo info{};
  ASSERT_EQ(LoadFile(path, &image, 0, &info), 0);
  EXPECT_STREQ(info.formatText, "XV visual schnauzer");
  EXPECT_EQ(image.pixelType, PIXEL_GREY);
  EXPECT_EQ(memcmp(ImageRow(&image, 0), data, 4), 0);
  EXPECT_EQ(memcmp(ImageRow(&image, 1), data + 4, 4), 0);
  ImageFree(&image);
  ImageInfoFree(&info);
}

int LoadText(const std::string& path, const std::string& text, ImageInfo* info = nullptr) {
  WriteFileBytes(path, Bytes(text));
  Image image{};
  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("pnm");
  std::u16string w = W(path);
  int r = LoadImage(w.c_str(), &image, &options, info);
  ImageFree(&image);
  return r;
}

TEST_F(PnmTest, GarbageGivesTheDescribedResults) {
  TempDir dir;
  std::string path = dir.File("g.pnm");
  ImageInfo info{};
  EXPECT_EQ(LoadText(path, "P6 16000 1 255\n", &info), RESULT_BAD_SIZE);
  EXPECT_STREQ(info.message, "Portable Bitmap : Bad picture's size !");
  ImageInfoFree(&info);
  EXPECT_EQ(LoadText(path, "P5 0 4 255\n"), RESULT_BAD_SIZE);
  EXPECT_EQ(LoadText(path, "P5 99999999999999999999 4 255\n"), RESULT_BAD_SIZE);
  EXPECT_EQ(LoadText(path, "P5 4 4 0\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "P8 4 4 255\n"), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(LoadText(path, "P2 four 4 255\n"), RESULT_NOT_RECOGNISED);
  // A sample that is not a number stops with the number's result.
  EXPECT_EQ(LoadText(path, "P2 3 1 255\n1 x 3\n"), RESULT_NOT_RECOGNISED);
  // A number that never ends runs into the end of the file.
  EXPECT_EQ(LoadText(path, "P2 3 1 255\n1 " + std::string(200000, '7')), RESULT_NOT_COMPLETE);
  // ... and in the header, before it was accepted, into "not this format".
  EXPECT_EQ(LoadText(path, "P2 3 " + std::string(200000, '7')), RESULT_NOT_RECOGNISED);
  // The last sample may end with the file.
  EXPECT_EQ(LoadText(path, "P2 1 1 255\n7"), 0);
  EXPECT_EQ(LoadText(path, "P3 2 2 255\n1 2 3 4 5 6\n"), RESULT_NOT_COMPLETE);
  EXPECT_EQ(LoadText(path, "P6 2 2 255\nabcdefghij"), RESULT_NOT_COMPLETE);
  EXPECT_EQ(LoadText(path, "P6 2 2 1000\nabcdefghijklmnopqrstu"), RESULT_NOT_COMPLETE);
  EXPECT_EQ(LoadText(path, "P4 9 2\nab"), RESULT_NOT_COMPLETE);
  // Samples above the maximum are white, not wrapped.
  EXPECT_EQ(LoadText(path, "P2 2 1 15\n15 40\n"), 0);
  Image image{};
  ASSERT_EQ(LoadFile(path, &image), 0);
  EXPECT_EQ(ImageRow(&image, 0)[0], 255);
  EXPECT_EQ(ImageRow(&image, 0)[1], 255);
  ImageFree(&image);
}

TEST_F(PnmTest, ExtensionRowsAllReadEveryKind) {
  TempDir dir;
  Samples s = MakeSamples(4, 3, 3, 255, 1);
  std::string path = dir.File("really-a-ppm.pbm");
  WriteFileBytes(path, WritePnm(s, 6));
  Image image{};
  ImageInfo info{};
  ASSERT_EQ(LoadFile(path, &image, 0, &info), 0);
  EXPECT_EQ(info.formatIndex, FindFormat("pbm"));
  EXPECT_EQ(image.pixelType, PIXEL_RGB);
  ImageFree(&image);
  ImageInfoFree(&info);
}

TEST_F(PnmTest, DamagedFilesNeverCrash) {
  int runs = 0;
  for (int type : {1, 2, 3, 4, 5, 6}) {
    Samples s = MakeSamples(11, 5, (type == 3 || type == 6) ? 3 : 1, type == 1 || type == 4 ? 1 : 1000, 4);
    runs += FeedDamagedCopies(WritePnm(s, type), "pnm", 32);
  }
  EXPECT_GT(runs, 0);
}

}  // namespace
