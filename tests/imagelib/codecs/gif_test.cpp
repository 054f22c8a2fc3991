// The GIF reader and writer: hand-made files for each rule, every frame of
// the corpus against ImageMagick and giflib, written files read back by
// giflib, ImageMagick and Pillow.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/codecs/gif_lzw_decoder.h"
#include "imagelib/codecs/gif_lzw_encoder.h"
#include "imagelib/core/format_registry.h"
#include "tests/imagelib/codecs/gif_test_files.h"
#include "tests/support/test_support.h"

using namespace testing_support;
using gif_test_files::Builder;

namespace {

const std::vector<uint8_t> kFourColours = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};

// A loaded picture: from bytes written to a temporary file (rows packed), or
// from a file with the default options.
struct Loaded {
  int result = -1;
  Image image{};
  ImageInfo info{};
  explicit Loaded(const std::vector<uint8_t>& bytes, uint32_t flags = 0, int index = 0) {
    TempDir dir;
    WriteFileBytes(dir.File("picture.gif"), bytes);
    Load(dir.File("picture.gif"), flags, index, 1);
  }
  explicit Loaded(const std::string& path, int index = 0) { Load(path, 0, index, -1); }
  Loaded(const Loaded&) = delete;
  ~Loaded() {
    ImageFree(&image);
    ImageInfoFree(&info);
  }
  void Load(const std::string& path, uint32_t flags, int index, int alignment) {
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = flags;
    options.imageIndex = index;
    if (alignment > 0) options.rowAlignment = (uint16_t)alignment;
    std::u16string w = W(path);
    result = LoadImage(w.c_str(), &image, &options, &info);
  }
  // Index at (x, y) of a PIXEL_INDEXED picture.
  int At(int x, int y) const { return ImageRow(&image, y)[x]; }
};

std::vector<uint8_t> Ramp(int width, int height, int colours) {
  std::vector<uint8_t> p((size_t)width * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p[(size_t)y * width + x] = (uint8_t)((x + 3 * y) % colours);
  return p;
}

// One image filling a width x height screen under the four-colour table.
Builder& OneImage(Builder& b, int width, int height, const std::vector<uint8_t>& pixels) {
  return b.Header(width, height, kFourColours, 2).Image(0, 0, width, height, pixels, 2);
}

class GifReader : public ::testing::Test {
 protected:
  FormatsScope formats;
};

TEST_F(GifReader, DecodesIndexesAndPaletteOfAPlainFile) {
  auto pixels = Ramp(7, 5, 4);
  Builder b;
  OneImage(b, 7, 5, pixels).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.image.pixelType, PIXEL_INDEXED);
  ASSERT_EQ(l.image.width, 7);
  ASSERT_EQ(l.image.height, 5);
  EXPECT_EQ(l.image.paletteCount, 4);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(l.At(x, y), pixels[(size_t)y * 7 + x]);
  EXPECT_EQ(l.image.palette[1], 255);        // entry 1 red
  EXPECT_EQ(l.image.palette[256 + 2], 255);  // entry 2 green
  EXPECT_EQ(l.image.palette[512 + 3], 255);  // entry 3 blue
  EXPECT_STREQ(l.info.formatText, "Compuserve GIF (Version 89a)");
  EXPECT_EQ(l.info.compression, COMPRESSION_LZW);
  EXPECT_EQ(l.info.imageCount, 1u);
  EXPECT_EQ(l.info.bitsPerPlane, 2);
}

TEST_F(GifReader, RefusesWrongSignaturesAndFilesWithoutImages) {
  for (const char* signature : {"GIF8a9", "GIF88a", "GIFxxa", "PNG89a", "GIF87a"}) {
    Builder b;
    b.Header(2, 2, kFourColours, 2, 0, signature).Image(0, 0, 2, 2, Ramp(2, 2, 4), 2).Trailer();
    Loaded l(b.bytes);
    if (std::string(signature) == "GIF87a") {
      EXPECT_EQ(l.result, 0);
      EXPECT_STREQ(l.info.formatText, "Compuserve GIF (Version 87a)");
    } else {
      EXPECT_EQ(l.result, RESULT_NOT_RECOGNISED) << signature;
    }
  }
  Builder none;
  none.Header(2, 2, kFourColours, 2).Comment("only a comment").Trailer();
  EXPECT_EQ(Loaded(none.bytes).result, RESULT_NOT_RECOGNISED);
}

TEST_F(GifReader, PlacesInterlacedRowsInTheFourPasses) {
  // Ten rows, each filled with its own row number: the file stores them in
  // the order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 3; ++x) pixels.push_back((uint8_t)y);
  Builder b;
  b.Header(3, 10, {}, 4).Image(0, 0, 3, 10, pixels, 4, true).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(l.At(1, y), y);
  EXPECT_STREQ(l.info.formatText, "Compuserve GIF (Version 89a - Interlaced)");
  EXPECT_NE(l.info.interlaced, 0u);
  const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int n = 0; n < 10; ++n) EXPECT_EQ(GifInterlacedRow(n, 10), order[n]);
}

TEST_F(GifReader, LoadsTheRequestedFrameAndCountsFrames) {
  Builder b;
  b.Header(4, 4, kFourColours, 2);
  for (int f = 0; f < 4; ++f) b.Image(0, 0, 4, 4, std::vector<uint8_t>(16, (uint8_t)f), 2);
  b.Trailer();
  // An index past the last frame (9) loads the first one.
  for (int index : {0, 1, 2, 3, 9}) {
    Loaded l(b.bytes, 0, index);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.At(2, 2), index == 9 ? 0 : index);
    EXPECT_EQ(l.info.imageCount, 4u);
  }
  // Flag 0x8000 stops after the first image descriptor.
  Loaded first(b.bytes, LOAD_STOP_AFTER_FIRST);
  ASSERT_EQ(first.result, 0);
  EXPECT_EQ(first.info.imageCount, 1u);
}

TEST_F(GifReader, TakesTheLastTransparentIndexBeforeTheFrame) {
  Builder b;
  b.Header(2, 1, kFourColours, 2).Control(0, 0, 3).Image(0, 0, 2, 1, {1, 3}, 2);
  b.Control(0, 0, -1).Image(0, 0, 2, 1, {2, 3}, 2).Trailer();
  // A later block without transparency does not reset it.
  for (int index : {0, 1}) {
    Loaded l(b.bytes, 0, index);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.image.transparentIndex, 3) << index;
  }
}

TEST_F(GifReader, UsesALocalTableInPlaceOfTheGlobalOne) {
  std::vector<uint8_t> local = {10, 20, 30, 40, 50, 60};
  Builder b;
  b.Header(2, 1, kFourColours, 2).Image(0, 0, 2, 1, {0, 1}, 2, false, local, 1).Trailer();
  Loaded l(b.bytes, LOAD_BW_AS_GREY);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.image.pixelType, PIXEL_INDEXED);
  EXPECT_EQ(l.image.palette[0], 10);
  EXPECT_EQ(l.image.palette[256 + 1], 50);
  EXPECT_EQ(l.info.bitsPerPlane, 1);
}

TEST_F(GifReader, ShowsATwoColourAllBlackPaletteAsBlackAndWhite) {
  Builder b;
  b.Header(4, 1, {0, 0, 0, 0, 0, 0}, 1).Image(0, 0, 4, 1, {0, 1, 1, 0}, 2).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  Rgba rgba = ImageToRgba(l.image);
  EXPECT_EQ(rgba.at(0, 0)[0], 0);
  EXPECT_EQ(rgba.at(1, 0)[0], 255);
  EXPECT_EQ(rgba.at(2, 0)[1], 255);
  EXPECT_EQ(rgba.at(3, 0)[2], 0);
}

TEST_F(GifReader, KeepsCommentsOnlyWhenAskedAndNotNccOnes) {
  // A comment longer than one sub-block is joined.
  std::string longText(600, 'a');
  longText[300] = 'b';
  const struct {
    const char* name;
    std::string text;
    uint32_t flags;
    const char* expected;  // nullptr: no comment
  } rows[] = {{"kept", "hello there", LOAD_KEEP_COMMENT, "hello there"},
              {"not asked for", "hello there", 0, nullptr},
              {"nCC tag", "nCC tag", LOAD_KEEP_COMMENT, nullptr},
              {"joined", longText, LOAD_KEEP_COMMENT, longText.c_str()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Builder b;
    b.Header(1, 1, kFourColours, 2).Comment(row.text).Image(0, 0, 1, 1, {1}, 2).Trailer();
    Loaded l(b.bytes, row.flags);
    ASSERT_EQ(l.result, 0);
    if (!row.expected) {
      EXPECT_EQ(l.image.comment, nullptr);
    } else {
      ASSERT_NE(l.image.comment, nullptr);
      EXPECT_STREQ(l.image.comment, row.expected);
    }
  }
}

TEST_F(GifReader, RefusesBadSizesAndCodeSizesWithTheirMessages) {
  struct Case {
    int width, height, codeSize;
    const char* message;
  } cases[] = {{0, 2, 2, "GIF : Bad picture's size !"},
               {2, 0, 2, "GIF : Bad picture's size !"},
               {2, 2, 1, "GIF : Bad code's size !"},
               {2, 2, 10, "GIF : Bad code's size !"},
               {2, 2, 12, "GIF : Bad code's size !"}};
  for (const Case& c : cases) {
    Builder b;
    b.Header(2, 2, kFourColours, 2).Image(0, 0, c.width, c.height, Ramp(2, 2, 4), 2);
    // Patch the code size byte that follows the descriptor.
    b.bytes[13 + 12 + 10] = (uint8_t)c.codeSize;
    b.Trailer();
    Loaded l(b.bytes);
    EXPECT_EQ(l.result, RESULT_BAD_SIZE);
    EXPECT_STREQ(l.info.message, c.message);
  }
}

TEST_F(GifReader, KeepsTheRequestedFrameWhenALaterBlockIsDamaged) {
  Builder b;
  OneImage(b, 2, 2, {1, 2, 3, 1});
  const size_t second = b.bytes.size();
  b.Image(0, 0, 2, 2, {1, 2, 3, 1}, 2);
  // The second image claims a width of 0.
  ASSERT_EQ(b.bytes[second], 0x2C);
  b.bytes[second + 5] = 0;
  b.Trailer();
  Loaded first(b.bytes, 0, 0), damaged(b.bytes, 0, 1);
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(first.At(1, 0), 2);
  EXPECT_EQ(first.info.imageCount, 2u);
  EXPECT_EQ(damaged.result, RESULT_BAD_SIZE);
  EXPECT_STREQ(damaged.info.message, "GIF : Bad picture's size !");
}

TEST_F(GifReader, KeepsTheDecodedRowsOfTruncatedData) {
  // 5 x 4 picture whose LZW data stops after 12 pixels (no end code).
  auto pixels = Ramp(5, 4, 4);
  Builder b;
  b.Header(5, 4, kFourColours, 2).Image(0, 0, 5, 4, pixels, 2, false, {}, 0, 12).Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(l.At(i % 5, i / 5), pixels[i]) << i;
  // The rest of the partial row and the rows never decoded are index 0.
  for (int i = 12; i < 20; ++i) EXPECT_EQ(l.At(i % 5, i / 5), 0) << i;

  // The file itself cut inside the image data: same rows, result 0.
  Builder whole;
  OneImage(whole, 5, 4, pixels);
  Loaded c(std::vector<uint8_t>(whole.bytes.begin(), whole.bytes.end() - 4));
  EXPECT_EQ(c.result, 0);
  EXPECT_EQ(c.At(0, 0), pixels[0]);
}

TEST_F(GifReader, StopsAtCodesPastTheTable) {
  // Clear, 1, then code 7 (past the next free code 6): decoding ends after
  // the first pixel and the picture is still delivered.
  std::vector<uint8_t> codes;
  uint32_t buffer = 0;
  int bits = 0;
  for (int code : {4, 1, 7, 1, 1, 5}) {
    buffer |= (uint32_t)code << bits;
    bits += 3;
  }
  for (; bits > 0; bits -= 8, buffer >>= 8) codes.push_back((uint8_t)buffer);
  Builder b;
  b.Header(4, 1, kFourColours, 2);
  b.bytes.insert(b.bytes.end(), {0x2C, 0, 0, 0, 0, 4, 0, 1, 0, 0, 2});
  auto blocks = gif_test_files::SubBlocks(codes);
  b.bytes.insert(b.bytes.end(), blocks.begin(), blocks.end());
  b.Trailer();
  Loaded l(b.bytes);
  ASSERT_EQ(l.result, 0);
  EXPECT_EQ(l.At(0, 0), 1);
  EXPECT_EQ(l.At(1, 0), 0);
}

TEST_F(GifReader, SurvivesEndlessSubBlocksAndDamagedCopies) {
  // An extension whose sub-blocks never end before the file does.
  Builder b;
  b.Header(2, 2, kFourColours, 2);
  b.bytes.insert(b.bytes.end(), {0x21, 0x01});
  for (int i = 0; i < 2000; ++i) {
    b.bytes.push_back(255);
    b.bytes.insert(b.bytes.end(), 255, (uint8_t)i);
  }
  EXPECT_EQ(Loaded(b.bytes).result, RESULT_NOT_RECOGNISED);

  // Frame larger than the screen, interlaced small frame, code size 12.
  Builder odd;
  odd.Header(2, 2, kFourColours, 2).Image(5, 5, 9, 3, Ramp(9, 3, 4), 2, true).Trailer();
  Loaded o(odd.bytes);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.image.width, 9);
  EXPECT_GT(FeedDamagedCopies(odd.bytes, "gif", 60), 0);

  Builder anim;
  anim.Header(6, 5, kFourColours, 2).Comment("x").Control(2, 5, 1);
  anim.Image(0, 0, 6, 5, Ramp(6, 5, 4), 2).Image(1, 1, 3, 3, Ramp(3, 3, 4), 2, true).Trailer();
  EXPECT_GT(FeedDamagedCopies(anim.bytes, "gif", 100), 0);
}

// ---------------------------------------------------------------------------
// The corpus against ImageMagick.

// Opaque pixels of the peer must have the same colour; pixels the peer
// shows transparent must be our transparent index (for palette results).
int Mismatches(const Image& image, const Rgba& theirs) {
  Rgba ours = ImageToRgba(image);
  if (ours.width != theirs.width || ours.height != theirs.height) return -1;
  const bool indexed = image.pixelType == PIXEL_INDEXED;
  int bad = 0;
  for (int y = 0; y < ours.height; ++y)
    for (int x = 0; x < ours.width; ++x) {
      const uint8_t* a = ours.at(x, y);
      const uint8_t* b = theirs.at(x, y);
      if (b[3] == 0)
        bad += indexed && ImageRow(&image, y)[x] != image.transparentIndex;
      else
        bad += memcmp(a, b, 3) != 0;
    }
  return bad;
}

TEST_F(GifReader, EveryCorpusFrameMatchesImageMagick) {
  std::string dir = CorpusDir("gif");
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveTool("convert") || !HaveTool("giftext")) GTEST_SKIP() << "no ImageMagick or giflib";
  int compared = 0;
  for (const std::string& path : ListFiles(dir, ".gif")) {
    // The 380-frame animation is compared in the animation tests.
    if (path.find("muybridge") != std::string::npos) continue;
    // Only files giflib reads without complaint (the malformed ones are
    // checked for their survival instead).
    if (RunCommand("giftext '" + path + "' >/dev/null 2>&1") != 0) continue;
    std::vector<gif_test_files::MagickFrame> magick;
    if (!gif_test_files::MagickFrames(path, "", &magick)) continue;
    const int count = (int)magick.size();
    // A file with hundreds of frames: a spread is enough.
    const int step = count > 40 ? count / 20 : 1;
    for (int i = 0; i < count; i += step) {
      Loaded l(path, i);
      ASSERT_EQ(l.result, 0) << path << " frame " << i;
      EXPECT_EQ((int)l.info.imageCount, count) << path;
      EXPECT_EQ(Mismatches(l.image, magick[i].rgba), 0) << path << " frame " << i;
      ++compared;
    }
  }
  EXPECT_GT(compared, 40);
}

TEST_F(GifReader, TruncatedInterlacedCorpusFileKeepsItsDecodedRows) {
  std::string dir = CorpusDir("gif");
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  Rgba reference;
  if (!DecodeWithMagick(dir + "/wuffs-hippopotamus.regular.gif", &reference))
    GTEST_SKIP() << "no ImageMagick";
  Loaded l(dir + "/wuffs-hippopotamus.interlaced.truncated.gif");
  ASSERT_EQ(l.result, 0);
  Rgba ours = ImageToRgba(l.image);
  ASSERT_EQ(ours.width, reference.width);
  ASSERT_EQ(ours.height, reference.height);
  // The rows of the first interlace pass are whole and equal to the same
  // picture stored without interlacing.
  for (int y = 0; y < ours.height; y += 8)
    EXPECT_EQ(memcmp(ours.at(0, y), reference.at(0, y), (size_t)ours.width * 4), 0) << y;
}

TEST_F(GifReader, CorpusFilesSurviveDamage) {
  std::string dir = CorpusDir("gif");
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  for (const char* name : {"wuffs-animated-red-blue.gif", "image-rs-interlaced.gif",
                           "pillow-transparent_dispose.gif"}) {
    auto bytes = ReadFileBytes(dir + "/" + name);
    if (bytes.empty()) continue;
    EXPECT_GT(FeedDamagedCopies(bytes, "gif", 40), 0) << name;
  }
}

// ---------------------------------------------------------------------------
// The writer.

// A palette picture of `colours` colours with a recognisable pattern.
Image MakeIndexed(int width, int height, int colours) {
  Image image{};
  EXPECT_EQ(ImageCreate(&image, PIXEL_INDEXED, 1, width, height), 1);
  image.paletteCount = (int16_t)colours;
  for (int i = 0; i < colours; ++i) {
    image.palette[i] = (uint8_t)(i * 37);
    image.palette[256 + i] = (uint8_t)(255 - i * 11);
    image.palette[512 + i] = (uint8_t)(i * 5 + 1);
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      ImageRow(&image, y)[x] = (uint8_t)(((x / 3) * 7 + y * y + (x * y) % 5) % colours);
  return image;
}

// A 256-entry grey palette picture from a pseudo-random sequence: `pixel`
// gets (x, y, next random number).
template <typename Pixel>
Image MakeNoisy(int width, int height, uint32_t a, uint32_t c, Pixel pixel) {
  Image image{};
  EXPECT_EQ(ImageCreate(&image, PIXEL_INDEXED, 1, width, height), 1);
  image.paletteCount = 256;
  for (int i = 0; i < 256; ++i)
    image.palette[i] = image.palette[256 + i] = image.palette[512 + i] = (uint8_t)i;
  uint32_t state = 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ImageRow(&image, y)[x] = pixel(x, y, state = state * a + c);
  return image;
}

class GifWriter : public ::testing::Test {
 protected:
  FormatsScope formats;
  TempDir dir;

  // Saves under `name` and returns the result; the bytes go to `bytes`.
  int Save(const Image& image, const std::string& name, bool interlaced = false,
           bool gif87a = false, std::vector<uint8_t>* bytes = nullptr) {
    WriteOptions options;
    WriteOptionsInit(&options);
    options.formatIndex = (int16_t)FindFormat("gif");
    options.interlaced = interlaced;
    options.gif87a = gif87a;
    std::u16string w = W(dir.File(name));
    w.append(64, u'\0');
    int result = SaveImage(w.data(), &image, &options);
    if (bytes) *bytes = ReadFileBytes(dir.File(name));
    return result;
  }
};

// Pillow reads the same indexes and palette, giflib reads the file without
// complaint, ImageMagick shows the colours.
void ExpectPeersReadTheSameIndexes(const std::string& path, const Image& image, int colours) {
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys;from PIL import Image;"
                       "im=Image.open(sys.argv[1]);print(*im.getpalette()[:768]);"
                       "print(*im.getdata())\" '" + path + "' 2>/dev/null",
                       &out),
            0)
      << path;
  std::istringstream in(out);
  std::string line;
  std::vector<int> palette, indexes;
  for (auto* list : {&palette, &indexes}) {
    std::getline(in, line);
    std::istringstream numbers(line);
    for (int v; numbers >> v;) list->push_back(v);
  }
  ASSERT_EQ(indexes.size(), (size_t)image.width * image.height);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      ASSERT_EQ(indexes[(size_t)y * image.width + x], ImageRow(&image, y)[x]) << x << "," << y;
  ASSERT_GE(palette.size(), (size_t)colours * 3);
  for (int i = 0; i < colours * 3; ++i) EXPECT_EQ(palette[i], image.palette[i % 3 * 256 + i / 3]);
  EXPECT_EQ(RunCommand("giftext '" + path + "' >/dev/null 2>&1"), 0);
  Rgba magick;
  ASSERT_TRUE(DecodeWithMagick(path, &magick));
  EXPECT_EQ(MaxDifference(magick, ImageToRgba(image)), 0);
}

TEST_F(GifWriter, UsesTheSmallestDepthForTheColourCount) {
  const struct {
    int colours, bits;
  } cases[] = {{2, 1},  {3, 2},  {4, 2},  {5, 3},   {8, 3},  {16, 4},
               {17, 5}, {64, 6}, {65, 7}, {129, 8}, {256, 8}};
  const bool peers = HaveTool("giftext") && HaveTool("convert");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.colours) + " colours");
    Image image = MakeIndexed(40, 30, c.colours);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(Save(image, "depth.gif", false, false, &bytes), 0);
    size_t descriptor = 13 + (3u << c.bits);
    ASSERT_GT(bytes.size(), descriptor + 10);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    EXPECT_EQ(bytes[6] | bytes[7] << 8, 40);
    EXPECT_EQ(bytes[8] | bytes[9] << 8, 30);
    EXPECT_EQ(bytes[10], 0x80 | (c.bits - 1));
    EXPECT_EQ(bytes[11], 0);
    EXPECT_EQ(bytes[12], 1);
    // The table, then straight the image descriptor and the code size.
    EXPECT_EQ(bytes[descriptor], 0x2C);
    if (c.colours == 8) {
      EXPECT_EQ(bytes[descriptor + 9], 0x02);
    }
    EXPECT_EQ(bytes[descriptor + 10], c.bits < 2 ? 2 : c.bits);
    EXPECT_EQ(bytes.back(), 0x3B);
    Loaded l(bytes, LOAD_BW_AS_GREY);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(MaxDifference(ImageToRgba(l.image), ImageToRgba(image)), 0);
    if (peers && c.colours == 8) ExpectPeersReadTheSameIndexes(dir.File("depth.gif"), image, 8);
    ImageFree(&image);
  }
}

TEST_F(GifWriter, WritesTransparencyAndCommentExtensions) {
  Image image = MakeIndexed(5, 4, 4);
  image.transparentIndex = 2;
  image.comment = strdup("made here");
  std::vector<uint8_t> bytes;
  ASSERT_EQ(Save(image, "ext.gif", false, false, &bytes), 0);
  size_t at = 13 + 12;
  ASSERT_GT(bytes.size(), at + 8 + 14);
  const uint8_t control[] = {0x21, 0xF9, 4, 1, 0, 0, 2, 0};
  EXPECT_EQ(memcmp(&bytes[at], control, 8), 0);
  at += 8;
  EXPECT_EQ(bytes[at], 0x21);
  EXPECT_EQ(bytes[at + 1], 0xFE);
  EXPECT_EQ(bytes[at + 2], 10);  // nine characters and the zero byte
  EXPECT_EQ(std::string((const char*)&bytes[at + 3]), "made here");
  EXPECT_EQ(bytes[at + 13], 0);
  EXPECT_EQ(bytes[at + 14], 0x2C);
  Loaded l(bytes, LOAD_KEEP_COMMENT);
  ASSERT_EQ(l.result, 0);
  EXPECT_EQ(l.image.transparentIndex, 2);
  ASSERT_NE(l.image.comment, nullptr);
  EXPECT_STREQ(l.image.comment, "made here");
  if (HaveTool("giftext")) {
    std::string text;
    RunCommand("giftext -e '" + dir.File("ext.gif") + "' 2>&1", &text);
    EXPECT_NE(text.find("Transparent Index: 2"), std::string::npos) << text;
  }
  ImageFree(&image);
}

TEST_F(GifWriter, WritesValidGif87aAndInterlacedFiles) {
  if (!HaveTool("giftext") || !HaveTool("convert")) GTEST_SKIP() << "no giflib or ImageMagick";
  Image image = MakeIndexed(33, 21, 200);
  std::vector<uint8_t> old, lace;
  ASSERT_EQ(Save(image, "old.gif", false, true, &old), 0);
  EXPECT_EQ(std::string(old.begin(), old.begin() + 6), "GIF87a");
  ExpectPeersReadTheSameIndexes(dir.File("old.gif"), image, 200);

  ASSERT_EQ(Save(image, "lace.gif", true, false, &lace), 0);
  size_t descriptor = 13 + 768;
  ASSERT_EQ(lace[descriptor], 0x2C);
  EXPECT_EQ(lace[descriptor + 9], 0x40 | 7);
  ExpectPeersReadTheSameIndexes(dir.File("lace.gif"), image, 200);
  ImageFree(&image);
}

TEST_F(GifWriter, WritesGreyAndBilevelPicturesAndRefusesColour) {
  Image grey{}, bw{}, rgb{};
  ASSERT_EQ(ImageCreate(&grey, PIXEL_GREY, 1, 20, 3), 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 20; ++x) ImageRow(&grey, y)[x] = (uint8_t)(x * 13 + y);
  ASSERT_EQ(ImageCreate(&bw, PIXEL_BW, 1, 19, 4), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 19; ++x) PutBit(ImageRow(&bw, y), x, (x + y) % 3 == 0);
  for (const Image* image : {&grey, &bw}) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(Save(*image, "written.gif", false, false, &bytes), 0);
    if (image == &bw) {
      EXPECT_EQ(bytes[10], 0x80);
      EXPECT_EQ(bytes[13 + 6 + 10], 2);  // LZW minimum code size 2
    }
    Loaded l(bytes);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(MaxDifference(ImageToRgba(l.image), ImageToRgba(*image)), 0);
  }
  ASSERT_EQ(ImageCreate(&rgb, PIXEL_RGB, 1, 4, 4), 1);
  EXPECT_EQ(Save(rgb, "rgb.gif"), RESULT_CANNOT_STORE);
  ImageFree(&grey);
  ImageFree(&bw);
  ImageFree(&rgb);
}

TEST_F(GifWriter, RoundTripsLargeNoisyPicturesThroughTableResets) {
  // Enough distinct strings to fill the 4096-code table many times.
  Image image = MakeNoisy(512, 300, 1103515245u, 12345u, [](int x, int y, uint32_t s) {
    return (uint8_t)(y < 150 ? (s >> 16) : (x / 8 + y) & 0xFF);
  });
  std::vector<uint8_t> bytes;
  ASSERT_EQ(Save(image, "noise.gif", false, false, &bytes), 0);
  Loaded l(bytes);
  ASSERT_EQ(l.result, 0);
  ASSERT_EQ(l.image.width, 512);
  for (int y = 0; y < 300; ++y)
    ASSERT_EQ(memcmp(ImageRow(&l.image, y), ImageRow(&image, y), 512), 0) << y;
  if (HaveTool("giftext")) {
    // giflib decodes the same indexes.
    std::string raw;
    ASSERT_EQ(RunCommand("giftext -r '" + dir.File("noise.gif") + "' 2>/dev/null", &raw), 0);
    ASSERT_EQ(raw.size(), 512u * 300u);
    for (int y = 0; y < 300; ++y)
      ASSERT_EQ(memcmp(raw.data() + (size_t)y * 512, ImageRow(&image, y), 512), 0) << y;
  }
  ImageFree(&image);
}

// LZW data bytes of the first image of a GIF file (sub-block framing removed).
size_t LzwDataBytes(const std::vector<uint8_t>& file) {
  size_t at = 13;
  if (file.size() < 13) return 0;
  if (file[10] & 0x80) at += 3u << ((file[10] & 7) + 1);
  while (at < file.size() && file[at] == 0x21) {
    at += 2;
    while (at < file.size() && file[at] != 0) at += file[at] + 1;
    ++at;
  }
  if (at >= file.size() || file[at] != 0x2C) return 0;
  uint8_t flags = file[at + 9];
  at += 10;
  if (flags & 0x80) at += 3u << ((flags & 7) + 1);
  ++at;  // code size
  size_t total = 0;
  for (; at < file.size() && file[at] != 0; at += file[at] + 1) total += file[at];
  return total;
}

TEST_F(GifWriter, CompressesNoWorseThanGiflib) {
  if (!HaveTool("gifbuild")) GTEST_SKIP() << "no giflib";
  Image pictures[] = {MakeIndexed(300, 200, 16), MakeIndexed(640, 480, 256),
                      MakeNoisy(400, 300, 1664525u, 1013904223u, [](int x, int, uint32_t s) {
                        return (uint8_t)((s >> 24) % ((x & 64) ? 64 : 4));
                      })};
  for (Image& picture : pictures) {
    ASSERT_EQ(Save(picture, "ours.gif"), 0);
    // giflib re-encodes the same indexes from its own textual dump.
    ASSERT_EQ(RunCommand("gifbuild -d '" + dir.File("ours.gif") + "' > '" + dir.File("dump.txt") +
                         "' 2>/dev/null && gifbuild '" + dir.File("dump.txt") + "' > '" +
                         dir.File("giflib.gif") + "' 2>/dev/null"),
              0);
    size_t ours = LzwDataBytes(ReadFileBytes(dir.File("ours.gif")));
    size_t theirs = LzwDataBytes(ReadFileBytes(dir.File("giflib.gif")));
    ASSERT_GT(theirs, 0u);
    EXPECT_LE(ours, theirs) << picture.width << "x" << picture.height;
    ImageFree(&picture);
  }
}

// ---------------------------------------------------------------------------
// The LZW pair on its own.

int Collect(void* user, int, const uint8_t* row, int filled) {
  auto* pixels = (std::vector<uint8_t>*)user;
  pixels->insert(pixels->end(), row, row + filled);
  return 0;
}

TEST(GifLzw, EncoderOutputDecodesToTheSameIndexesAtEveryCodeSize) {
  TempDir dir;
  for (int m = 2; m <= 8; ++m) {
    std::vector<uint8_t> pixels(70000);
    uint32_t s = (uint32_t)m;
    for (size_t i = 0; i < pixels.size(); ++i) {
      s = s * 1103515245u + 12345u;
      pixels[i] = (uint8_t)(i % 700 < 300 ? (s >> 16) % (1u << m) : (i / 7) % (1u << m));
    }
    GifLzwEncoder encoder(m);
    encoder.Add(pixels.data(), 1000);
    encoder.Add(pixels.data() + 1000, pixels.size() - 1000);
    encoder.Finish();
    std::vector<uint8_t> data = encoder.output();
    // Every sub-block but the last holds 254 bytes.
    size_t at = 0;
    for (; data[at] != 0; at += data[at] + 1) {
      if (data[at + data[at] + 1] != 0) {
        EXPECT_EQ(data[at], 254);
      }
    }
    EXPECT_EQ(at, data.size() - 1);
    std::string path = dir.File("lzw.bin");
    WriteFileBytes(path, data);
    std::u16string w = W(path);
    FileStream* stream = StreamOpen(w.c_str(), 17);
    ASSERT_NE(stream, nullptr);
    GifSubBlocks blocks(stream);
    auto tables = std::make_unique<GifLzwTables>();
    std::vector<uint8_t> row(700), out;
    GifDecodeStatus status;
    EXPECT_EQ(GifLzwDecode(&blocks, tables.get(), m, 700, 100, row.data(), Collect, &out, &status),
              0);
    StreamClose(stream);
    EXPECT_EQ(status.rowsDone, 100);
    EXPECT_EQ(out, pixels) << "code size " << m;
  }
}

}  // namespace
