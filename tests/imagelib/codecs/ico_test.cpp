// Icon reader: every icon of the real files against ImageMagick, icons of
// every depth built here, the AND mask as alpha, the icon count, imageIndex,
// header checks and damaged input.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Quote;

namespace {

class IcoTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

// One icon of the file: its depth, its pixel rows (bottom-up, padded) and mask.
struct IconSpec {
  int width, height, bits;
  std::vector<uint8_t> palette;  // B, G, R, 0 entries
  std::vector<uint8_t> pixels;   // stored rows
  std::vector<uint8_t> mask;     // stored rows
  int headerSize = 40;
};

int RowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

IconSpec MakeIcon(int width, int height, int bits, unsigned seed) {
  std::mt19937 random(seed);
  IconSpec icon{width, height, bits, {}, {}, {}};
  if (bits <= 8)
    for (int i = 0; i < (1 << bits); ++i) {
      icon.palette.push_back((uint8_t)random());
      icon.palette.push_back((uint8_t)random());
      icon.palette.push_back((uint8_t)random());
      icon.palette.push_back(0);
    }
  const int row = RowBytes(width, bits);
  icon.pixels.assign((size_t)row * height, 0);
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < (width * bits + 7) / 8; ++i) icon.pixels[(size_t)y * row + i] = (uint8_t)random();
  if (bits == 16)  // the top bit of 5-5-5 pixels is unused
    for (size_t i = 1; i < icon.pixels.size(); i += 2) icon.pixels[i] &= 0x7F;
  const int maskRow = RowBytes(width, 1);
  icon.mask.assign((size_t)maskRow * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((x * 3 + y) % 5 == 0) icon.mask[(size_t)y * maskRow + x / 8] |= (uint8_t)(0x80 >> (x % 8));
  return icon;
}

std::vector<uint8_t> BuildIco(const std::vector<IconSpec>& icons) {
  std::vector<uint8_t> f;
  peer::AppendLe16(f, 0);
  peer::AppendLe16(f, 1);
  peer::AppendLe16(f, (int)icons.size());
  std::vector<std::vector<uint8_t>> data;
  for (const IconSpec& icon : icons) {
    std::vector<uint8_t> d;
    peer::AppendLe32(d, (uint32_t)icon.headerSize);
    peer::AppendLe32(d, (uint32_t)icon.width);
    peer::AppendLe32(d, (uint32_t)icon.height * 2);
    peer::AppendLe16(d, 1);
    peer::AppendLe16(d, icon.bits);
    for (int i = 0; i < 6; ++i) peer::AppendLe32(d, 0);
    d.resize((size_t)icon.headerSize + 0, 0);
    d.insert(d.end(), icon.palette.begin(), icon.palette.end());
    d.insert(d.end(), icon.pixels.begin(), icon.pixels.end());
    d.insert(d.end(), icon.mask.begin(), icon.mask.end());
    data.push_back(d);
  }
  uint32_t offset = 6 + 16 * (uint32_t)icons.size();
  for (size_t i = 0; i < icons.size(); ++i) {
    f.push_back((uint8_t)icons[i].width);
    f.push_back((uint8_t)icons[i].height);
    f.push_back(icons[i].bits <= 8 ? (uint8_t)(1 << icons[i].bits) : 0);
    f.push_back(0);
    peer::AppendLe16(f, 1);
    peer::AppendLe16(f, icons[i].bits);
    peer::AppendLe32(f, (uint32_t)data[i].size());
    peer::AppendLe32(f, offset);
    offset += (uint32_t)data[i].size();
  }
  for (const std::vector<uint8_t>& d : data) f.insert(f.end(), d.begin(), d.end());
  return f;
}

int LoadIcon(const std::string& path, int index, bool maskAlpha, Rgba* out, ImageInfo* info = nullptr) {
  return peer::LoadRgbaWith(
      path, out, LOAD_FOUR_BYTES,
      [&](LoadOptions& o) {
        o.imageIndex = index;
        o.iconMaskAlpha = maskAlpha ? 1 : 0;
      },
      info);
}

TEST_F(IcoTest, EveryIconOfTheCorpusMatchesImageMagick) {
  std::string dir = CorpusDir("ico");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = ReadFileBytes(file);
    if (name == "pillow-decompression_bomb.ico") {
      // Deliberately malformed: any result, no crash.
      Rgba ignored;
      LoadIcon(file, 0, false, &ignored);
      continue;
    }
    const int count = bytes[4] | bytes[5] << 8;
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      const uint32_t offset = Le32(bytes, 6 + 16 * (size_t)i + 12);
      ASSERT_LT(offset + 16, bytes.size());
      const bool bitmap = Le32(bytes, offset) == 40;
      const int bits = bytes[offset + 14];
      Rgba ours;
      ImageInfo info{};
      int result = LoadIcon(file, i, false, &ours, &info);
      if (!bitmap) {
        // Embedded PNG pictures and other info headers are refused.
        EXPECT_EQ(result, RESULT_NOT_RECOGNISED);
        ImageInfoFree(&info);
        continue;
      }
      ASSERT_EQ(result, 0);
      EXPECT_EQ(info.imageCount, (uint32_t)count);
      ImageInfoFree(&info);
      Rgba magick;
      ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "", &magick, i));
      EXPECT_EQ(MaxDifference(ours, magick, bits == 32), 0);
      if (bits == 4 || bits == 8 || bits == 24) {
        Rgba masked;
        ASSERT_EQ(LoadIcon(file, i, true, &masked), 0);
        EXPECT_EQ(MaxDifference(masked, magick, true), 0);
      }
      ++compared;
    }
  }
  EXPECT_GE(compared, 20);
}

TEST_F(IcoTest, IconsOfEveryDepthMatchImageMagickOrPillow) {
  TempDir dir;
  const int depths[] = {1, 4, 8, 24, 32};
  std::vector<IconSpec> icons;
  for (int i = 0; i < 5; ++i) icons.push_back(MakeIcon(13 + i * 4, 9 + i, depths[i], 40u + i));
  std::string path = dir.File("all.ico");
  WriteFileBytes(path, BuildIco(icons));
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(depths[i]);
    Rgba ours;
    ImageInfo info{};
    ASSERT_EQ(LoadIcon(path, i, false, &ours, &info), 0);
    EXPECT_EQ(info.imageCount, 5u);
    EXPECT_STREQ(info.formatText, "Windows Icon");
    EXPECT_EQ(info.sourceLayout, LAYOUT_BOTTOM_UP);
    ImageInfoFree(&info);
    ASSERT_EQ(ours.width, icons[i].width);
    ASSERT_EQ(ours.height, icons[i].height);
    if (HaveTool("convert")) {
      Rgba magick;
      ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick, i));
      EXPECT_EQ(MaxDifference(ours, magick, depths[i] == 32), 0);
    }
  }

  // ImageMagick 6 has no reader for 16-bit icons; Pillow has.
  if (!peer::HavePillow()) return;
  std::string path16 = dir.File("16.ico"), pam = dir.File("16.pam");
  WriteFileBytes(path16, BuildIco({MakeIcon(19, 7, 16, 5)}));
  ASSERT_EQ(peer::RunPython(std::string(peer::PillowPamWriter()) + "pam(" + Quote(pam) + ", Image.open(" +
                            Quote(path16) + "))\n"),
            0);
  Rgba ours, pillow;
  ASSERT_EQ(LoadIcon(path16, 0, false, &ours), 0);
  ASSERT_TRUE(peer::ReadPam(pam, &pillow));
  EXPECT_EQ(MaxDifference(ours, pillow), 0);
}

TEST_F(IcoTest, AndMaskBecomesAlphaForFourEightAndTwentyFourBits) {
  TempDir dir;
  for (int bits : {4, 8, 24, 1, 32}) {
    SCOPED_TRACE(bits);
    IconSpec icon = MakeIcon(21, 6, bits, 3u + bits);
    std::string path = dir.File("m.ico");
    WriteFileBytes(path, BuildIco({icon}));
    Rgba plain, masked;
    ASSERT_EQ(LoadIcon(path, 0, false, &plain), 0);
    ASSERT_EQ(LoadIcon(path, 0, true, &masked), 0);
    EXPECT_EQ(MaxDifference(plain, masked), 0);  // the same colours
    Image image{};
    LoadOptions options;
    LoadOptionsInit(&options);
    options.iconMaskAlpha = 1;
    std::u16string w = W(path);
    ASSERT_EQ(LoadImage(w.c_str(), &image, &options, nullptr), 0);
    const bool expectAlpha = bits == 4 || bits == 8 || bits == 24;
    EXPECT_EQ(image.bytesPerPixel == 4, expectAlpha || bits == 32);
    ImageFree(&image);
    if (!expectAlpha) continue;
    const int maskRow = RowBytes(icon.width, 1);
    int wrong = 0;
    for (int y = 0; y < icon.height; ++y)
      for (int x = 0; x < icon.width; ++x) {
        int stored = icon.height - 1 - y;  // rows are stored bottom-up
        bool bit = icon.mask[(size_t)stored * maskRow + x / 8] & (0x80 >> (x % 8));
        if (masked.at(x, y)[3] != (bit ? 0 : 255)) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(IcoTest, ImageIndexPicksTheIconAndAnIndexBeyondReadsTheFirst) {
  TempDir dir;
  std::vector<IconSpec> icons = {MakeIcon(16, 16, 8, 1), MakeIcon(32, 32, 4, 2), MakeIcon(24, 24, 24, 3)};
  std::string path = dir.File("three.ico");
  WriteFileBytes(path, BuildIco(icons));
  Rgba first, second, beyond;
  ImageInfo info{};
  ASSERT_EQ(LoadIcon(path, 1, false, &second, &info), 0);
  EXPECT_EQ(second.width, 32);
  EXPECT_EQ(second.height, 32);  // stored height 64: pixels and mask
  EXPECT_EQ(info.imageCount, 3u);
  ImageInfoFree(&info);
  ASSERT_EQ(LoadIcon(path, 0, false, &first), 0);
  ASSERT_EQ(LoadIcon(path, 7, false, &beyond), 0);
  EXPECT_EQ(beyond.width, 16);
  EXPECT_EQ(MaxDifference(first, beyond), 0);
}

TEST_F(IcoTest, HeaderChecksAndShortData) {
  TempDir dir;
  IconSpec good = MakeIcon(16, 16, 8, 9);
  const std::vector<uint8_t> f = BuildIco({good});
  auto load = [&](const std::vector<uint8_t>& bytes, bool maskAlpha = false) {
    std::string path = dir.File("bad.ico");
    WriteFileBytes(path, bytes);
    Rgba out;
    return LoadIcon(path, 0, maskAlpha, &out);
  };
  auto changed = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> b = f;
    b[at] = value;
    return b;
  };
  ASSERT_EQ(load(f), 0);
  IconSpec v4 = good;
  v4.headerSize = 108;
  EXPECT_EQ(load(BuildIco({v4})), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(load(changed(0, 1)), RESULT_NOT_RECOGNISED);        // reserved
  EXPECT_EQ(load(changed(4, 0)), RESULT_NOT_RECOGNISED);        // no icons
  EXPECT_EQ(load(changed(22 + 12, 2)), RESULT_NOT_RECOGNISED);  // two planes
  std::vector<uint8_t> wide = changed(22 + 4, 0x80);            // width 16000 and more
  wide[22 + 5] = 0x3E;
  EXPECT_EQ(load(wide), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(load({f.begin(), f.begin() + 30}), RESULT_NOT_RECOGNISED);

  // Pixel rows cut short: not complete, with and without the mask as alpha.
  std::vector<uint8_t> cut(f.begin(), f.end() - (long)good.mask.size() - 100);
  EXPECT_EQ(load(cut), RESULT_NOT_COMPLETE);
  EXPECT_EQ(load(cut, true), RESULT_NOT_COMPLETE);
  // Only the mask cut short: the picture is whole without it.
  cut.assign(f.begin(), f.end() - 10);
  EXPECT_EQ(load(cut), 0);
  EXPECT_EQ(load(cut, true), RESULT_NOT_COMPLETE);
}

TEST_F(IcoTest, DamagedFilesNeverCrash) {
  std::vector<IconSpec> icons = {MakeIcon(8, 8, 4, 1), MakeIcon(9, 5, 24, 2), MakeIcon(7, 3, 1, 3)};
  std::vector<uint8_t> f = BuildIco(icons);
  EXPECT_GT(FeedDamagedCopies(f, "ico"), 0);
  // The same with the mask as alpha: the damaged copies go through the
  // buffered path.
  TempDir dir;
  std::string path = dir.File("d.ico");
  std::mt19937 random(8);
  for (int i = 0; i < 150; ++i) {
    std::vector<uint8_t> copy = f;
    if (i % 2) copy.resize(random() % copy.size());
    else copy[random() % copy.size()] = (uint8_t)random();
    WriteFileBytes(path, copy);
    Rgba out;
    LoadIcon(path, (int)(random() % 4), true, &out);
  }
}

TEST_F(IcoTest, ConvertIconMaskOptionWritesTheMaskAsAlpha) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  IconSpec icon = MakeIcon(12, 5, 8, 77);
  std::string path = dir.File("i.ico"), plain = dir.File("plain.png"), masked = dir.File("masked.png");
  WriteFileBytes(path, BuildIco({icon}));
  ASSERT_EQ(RunCommand(Quote(QuivraImg()) + " convert " + Quote(path) + " " + Quote(plain) + " 2>/dev/null"), 0);
  ASSERT_EQ(RunCommand(Quote(QuivraImg()) + " convert --icon-mask " + Quote(path) + " " + Quote(masked) +
                       " 2>/dev/null"),
            0);
  Rgba a, b, expected;
  ASSERT_TRUE(peer::DecodeWithMagickArgs(plain, "", &a));
  ASSERT_TRUE(peer::DecodeWithMagickArgs(masked, "", &b));
  ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &expected));
  EXPECT_EQ(MaxDifference(a, b), 0);
  EXPECT_EQ(MaxDifference(b, expected, true), 0);
  int transparent = 0;
  for (size_t i = 3; i < a.pixels.size(); i += 4) {
    EXPECT_EQ(a.pixels[i], 255);
    transparent += b.pixels[i] == 0;
  }
  EXPECT_GT(transparent, 0);
}

}  // namespace
