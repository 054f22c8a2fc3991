// The JPEG writer: pictures written here are read back by djpeg,
// ImageMagick and exiftool, which must see the pixels and settings asked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

std::string Capture(const std::string& command) {
  std::string out;
  RunCommand(command, &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool ParsePnm(const std::string& data, Rgba* out) {
  int w = 0, h = 0, maxValue = 0, consumed = 0;
  char kind[3] = {0};
  if (sscanf(data.c_str(), "%2s %d %d %d%n", kind, &w, &h, &maxValue, &consumed) != 4) return false;
  const bool grey = strcmp(kind, "P5") == 0;
  size_t at = (size_t)consumed + 1;
  if (maxValue != 255 || data.size() < at + (size_t)w * h * (grey ? 1 : 3)) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign((size_t)w * h * 4, 255);
  for (size_t i = 0; i < (size_t)w * h; ++i)
    for (int c = 0; c < 3; ++c) out->pixels[i * 4 + c] = (uint8_t)data[at + (grey ? i : i * 3 + c)];
  return true;
}

bool Djpeg(const std::string& path, Rgba* out) {
  std::string data;
  RunCommand("djpeg -pnm '" + path + "' 2>/dev/null", &data);
  return ParsePnm(data, out);
}

// A smooth colour picture (JPEG-friendly), any pixel type.
void MakePicture(Image* image, uint32_t type, int w, int h) {
  ASSERT_EQ(ImageCreate(image, type, 1, w, h), 1);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < w; ++x) {
      uint8_t r = (uint8_t)(x * 255 / (w - 1)), g = (uint8_t)(y * 255 / (h - 1)),
              b = (uint8_t)(255 - (x + y) * 255 / (w + h - 2));
      switch (type) {
        case PIXEL_GREY: row[x] = (uint8_t)((r + g) / 2); break;
        case PIXEL_BW: PutBit(row, x, (x / 8 + y / 8) & 1); break;
        case PIXEL_RGB: row[3 * x] = r; row[3 * x + 1] = g; row[3 * x + 2] = b; break;
        case PIXEL_CMYK:
          row[4 * x] = (uint8_t)(255 - r); row[4 * x + 1] = (uint8_t)(255 - g);
          row[4 * x + 2] = (uint8_t)(255 - b); row[4 * x + 3] = 0;
          break;
      }
    }
  }
}

struct Written {
  std::string path;
  int result;
};

Written Save(const TempDir& dir, const std::string& name, const Image& image,
             void (*adjust)(WriteOptions*) = nullptr) {
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("jpeg");
  if (adjust) adjust(&options);
  Written w;
  w.path = dir.File(name);
  std::u16string wide = W(w.path);
  wide.resize(wide.size() + 70, u'\0');
  w.result = SaveImage(wide.data(), &image, &options);
  return w;
}

MetadataBlock* Block(uint32_t kind, const std::vector<uint8_t>& data, MetadataBlock* next) {
  auto* b = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
  b->kind = kind;
  b->size = (uint32_t)data.size();
  b->data = (uint8_t*)malloc(data.size());
  memcpy(b->data, data.data(), data.size());
  b->next = next;
  return b;
}

class JpegWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("djpeg") || !HaveTool("identify")) GTEST_SKIP() << "djpeg/identify missing";
  }
  FormatsScope formats;
  TempDir dir;
};

}  // namespace

TEST_F(JpegWriterTest, ColourGreyBilevelAndCmykReadBackWithinTheLoss) {
  struct Case {
    uint32_t type;
    int tolerance;
  } cases[] = {{PIXEL_RGB, 6}, {PIXEL_GREY, 3}, {PIXEL_BW, 40}, {PIXEL_CMYK, 8}};
  for (const auto& c : cases) {
    Image image{};
    MakePicture(&image, c.type, 64, 40);
    Written w = Save(dir, "t" + std::to_string(c.type) + ".jpg", image, [](WriteOptions* o) {
      o->quality = 100;
      o->jpegSubsampling = 2;
    });
    ASSERT_EQ(w.result, 0) << c.type;
    Rgba peer;
    ASSERT_TRUE(Djpeg(w.path, &peer)) << c.type;
    EXPECT_LE(MaxDifference(ImageToRgba(image), peer), c.tolerance) << c.type;
    std::string space = Capture("identify -format %[colorspace] '" + w.path + "'");
    EXPECT_EQ(space, c.type == PIXEL_CMYK ? "CMYK" : (c.type == PIXEL_RGB ? "sRGB" : "Gray"))
        << c.type;
    ImageFree(&image);
  }
}

TEST_F(JpegWriterTest, QualityProgressiveAndSubsamplingAreWhatImageMagickSees) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 48, 32);
  for (int q : {30, 75, 92}) {
    static int quality;
    quality = q;
    Written w = Save(dir, "q.jpg", image, [](WriteOptions* o) { o->quality = (uint16_t)quality; });
    ASSERT_EQ(w.result, 0);
    EXPECT_EQ(Capture("identify -format %Q '" + w.path + "'"), std::to_string(q));
    EXPECT_EQ(Capture("identify -format %[interlace] '" + w.path + "'"), "None");
  }
  Written p = Save(dir, "p.jpg", image, [](WriteOptions* o) { o->interlaced = 1; });
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(Capture("identify -format %[interlace] '" + p.path + "'"), "JPEG");
  const char* expected[3] = {"2x2,1x1,1x1", "2x1,1x1,1x1", "1x1,1x1,1x1"};
  for (int s = 0; s < 3; ++s) {
    static int sub;
    sub = s;
    Written w = Save(dir, "s.jpg", image, [](WriteOptions* o) { o->jpegSubsampling = (uint16_t)sub; });
    ASSERT_EQ(w.result, 0);
    EXPECT_EQ(Capture("identify -format %[jpeg:sampling-factor] '" + w.path + "'"), expected[s]);
  }
  ImageFree(&image);

  Image grey{};
  MakePicture(&grey, PIXEL_GREY, 48, 32);
  Written g = Save(dir, "g.jpg", grey, [](WriteOptions* o) { o->jpegSubsampling = 0; });
  ASSERT_EQ(g.result, 0);
  EXPECT_EQ(Capture("identify -format %[jpeg:sampling-factor] '" + g.path + "'"), "2x2");
  ImageFree(&grey);
}

TEST_F(JpegWriterTest, OptimisedHuffmanKeepsPixelsAndShrinksTheFile) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 96, 64);
  Written plain = Save(dir, "plain.jpg", image);
  Written optimised = Save(dir, "opt.jpg", image, [](WriteOptions* o) { o->optimizeHuffman = 1; });
  ASSERT_EQ(plain.result, 0);
  ASSERT_EQ(optimised.result, 0);
  Rgba a, b;
  ASSERT_TRUE(Djpeg(plain.path, &a));
  ASSERT_TRUE(Djpeg(optimised.path, &b));
  EXPECT_EQ(MaxDifference(a, b), 0);
  EXPECT_LT(ReadFileBytes(optimised.path).size(), ReadFileBytes(plain.path).size());
  ImageFree(&image);
}

TEST_F(JpegWriterTest, DctMethodAndSmoothingChangeTheCoding) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 64, 64);
  Written slow = Save(dir, "slow.jpg", image, [](WriteOptions* o) { o->quality = 60; });
  Written fast = Save(dir, "fast.jpg", image, [](WriteOptions* o) {
    o->quality = 60;
    o->jpegDctMethod = 1;
  });
  Written smooth = Save(dir, "smooth.jpg", image, [](WriteOptions* o) {
    o->quality = 60;
    o->jpegSmoothing = 80;
  });
  ASSERT_EQ(slow.result, 0);
  ASSERT_EQ(fast.result, 0);
  ASSERT_EQ(smooth.result, 0);
  EXPECT_NE(ReadFileBytes(slow.path), ReadFileBytes(fast.path));
  EXPECT_NE(ReadFileBytes(slow.path), ReadFileBytes(smooth.path));
  // Each still holds the picture.
  for (const auto* w : {&fast, &smooth}) {
    Rgba peer;
    ASSERT_TRUE(Djpeg(w->path, &peer));
    EXPECT_LE(MaxDifference(ImageToRgba(image), peer), 40);
  }
  ImageFree(&image);
}

TEST_F(JpegWriterTest, DensityAndCommentAreWritten) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 16, 16);
  image.xDpi = 300;
  image.yDpi = 150;
  image.comment = strdup("Harbour at dusk");
  Written w = Save(dir, "dc.jpg", image);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(Capture("identify -format '%x %y %U' '" + w.path + "'"), "300 150 PixelsPerInch");
  if (HaveTool("rdjpgcom")) {
    std::string comment = Capture("rdjpgcom -raw '" + w.path + "'");
    EXPECT_EQ(std::string(comment.c_str()), "Harbour at dusk");
  }
  // Read back by the reader itself.
  Image back{};
  ASSERT_EQ(LoadFile(w.path, &back, LOAD_KEEP_COMMENT), 0);
  ASSERT_NE(back.comment, nullptr);
  EXPECT_STREQ(back.comment, "Harbour at dusk");
  EXPECT_EQ(back.xDpi, 300u);
  ImageFree(&back);
  ImageFree(&image);
}

TEST_F(JpegWriterTest, MetadataBlocksRoundTripByteForByte) {
  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool missing";
  std::string corpus = CorpusDir("iptc");
  if (corpus.empty()) GTEST_SKIP() << "corpus absent";
  std::string source = corpus + "/commons-imaging-iptc-photoshop.jpg";  // EXIF, IPTC, ICC
  Image image{};
  ASSERT_EQ(LoadFile(source, &image, LOAD_KEEP_METADATA), 0);
  ASSERT_NE(FindMetadata(image.metadata, META_EXIF), nullptr);
  ASSERT_NE(FindMetadata(image.metadata, META_ICC), nullptr);
  Written w = Save(dir, "meta.jpg", image, [](WriteOptions* o) { o->flags |= SAVE_WRITE_ICC; });
  ASSERT_EQ(w.result, 0);
  auto extract = [&](const std::string& file, const std::string& tag) {
    std::string out = dir.File("x.bin");
    RunCommand("exiftool -b -" + tag + " '" + file + "' > '" + out + "' 2>/dev/null");
    return ReadFileBytes(out);
  };
  for (const char* tag : {"EXIF", "ICC_Profile", "IPTC"}) {
    std::vector<uint8_t> before = extract(source, tag), after = extract(w.path, tag);
    EXPECT_FALSE(before.empty()) << tag;
    EXPECT_EQ(before, after) << tag;
  }
  // Without the ICC flag, and with keepExif off, those blocks stay out.
  Written lean = Save(dir, "lean.jpg", image, [](WriteOptions* o) { o->keepExif = 0; });
  ASSERT_EQ(lean.result, 0);
  EXPECT_TRUE(extract(lean.path, "EXIF").empty());
  EXPECT_TRUE(extract(lean.path, "ICC_Profile").empty());
  EXPECT_FALSE(extract(lean.path, "IPTC").empty());
  ImageFree(&image);
}

TEST_F(JpegWriterTest, LargeIccProfileIsSplitIntoChunks) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 16, 16);
  std::vector<uint8_t> profile(150000);
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = (uint8_t)(i * 7 + (i >> 9));
  image.metadata = Block(META_ICC, profile, nullptr);
  Written w = Save(dir, "icc.jpg", image, [](WriteOptions* o) { o->flags |= SAVE_WRITE_ICC; });
  ASSERT_EQ(w.result, 0);
  Image back{};
  ASSERT_EQ(LoadFile(w.path, &back, LOAD_KEEP_METADATA), 0);
  const MetadataBlock* icc = FindMetadata(back.metadata, META_ICC);
  ASSERT_NE(icc, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(icc->data, icc->data + icc->size), profile);
  Rgba peer;
  EXPECT_TRUE(Djpeg(w.path, &peer));
  ImageFree(&back);
  ImageFree(&image);
}

TEST_F(JpegWriterTest, RefusesPalettePicturesAndUncreatableFiles) {
  Image indexed{};
  ASSERT_EQ(ImageCreate(&indexed, PIXEL_INDEXED, 1, 8, 8), 1);
  EXPECT_EQ(Save(dir, "i.jpg", indexed).result, 7);
  ImageFree(&indexed);
  Image image{};
  MakePicture(&image, PIXEL_RGB, 8, 8);
  Written w = Save(dir, "no/such/folder/x.jpg", image);
  EXPECT_EQ(w.result, 5);
  ImageFree(&image);
}

// quivra-img's JPEG and PNG options reach the writers and readers.
TEST_F(JpegWriterTest, QuivraImgConvertOptions) {
  std::string tool = QuivraImg();
  if (RunCommand("test -x '" + tool + "'") != 0) GTEST_SKIP() << "quivra-img not built";
  Image image{};
  MakePicture(&image, PIXEL_RGB, 64, 48);
  Written source = Save(dir, "src.jpg", image, [](WriteOptions* o) { o->quality = 95; });
  ASSERT_EQ(source.result, 0);
  std::string out = dir.File("out.jpg");
  ASSERT_EQ(RunCommand("'" + tool + "' convert --quality 70 --interlaced --optimize --subsampling 1 "
                       "--dct 2 --smoothing 5 '" + source.path + "' '" + out + "'"),
            0);
  EXPECT_EQ(Capture("identify -format '%Q %[interlace] %[jpeg:sampling-factor]' '" + out + "'"),
            "70 JPEG 2x1,1x1,1x1");
  std::string info;
  RunCommand("'" + tool + "' info --flags 8000000 '" + out + "'", &info);
  EXPECT_NE(info.find("quality: 70"), std::string::npos) << info;
  EXPECT_NE(RunCommand("'" + tool + "' convert --subsampling 3 '" + source.path + "' '" + out +
                       "' 2>/dev/null"),
            0);
  std::string png = dir.File("out.png");
  ASSERT_EQ(RunCommand("'" + tool + "' convert --level 9 --filter 2 '" + source.path + "' '" + png + "'"),
            0);
  EXPECT_EQ(Capture("identify -format '%wx%h' '" + png + "'"), "64x48");
  ImageFree(&image);

  std::string corpus = CorpusDir("exif-makernotes");
  if (corpus.empty() || !HaveTool("exiftool")) return;
  std::string camera = corpus + "/exif-samples-canon-ixus.jpg";
  std::string thumb = dir.File("thumb.bmp"), kept = dir.File("kept.jpg"), bare = dir.File("bare.jpg");
  ASSERT_EQ(RunCommand("'" + tool + "' convert --thumbnail '" + camera + "' '" + thumb + "'"), 0);
  std::string thumbSize =
      Capture("exiftool -b -EXIF:ThumbnailImage '" + camera + "' | identify -format '%wx%h' -");
  EXPECT_EQ(Capture("identify -format '%wx%h' '" + thumb + "'"), thumbSize);
  ASSERT_EQ(RunCommand("'" + tool + "' convert --keep-exif '" + camera + "' '" + kept + "'"), 0);
  ASSERT_EQ(RunCommand("'" + tool + "' convert --keep-exif --no-exif '" + camera + "' '" + bare + "'"), 0);
  EXPECT_EQ(Capture("exiftool -s3 -Model '" + kept + "'"), Capture("exiftool -s3 -Model '" + camera + "'"));
  EXPECT_EQ(Capture("exiftool -s3 -Model '" + bare + "'"), "");
}
