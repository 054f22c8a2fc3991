// The JPEG writer: pictures written here are read back by djpeg,
// ImageMagick and exiftool, which must see the pixels and settings asked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "tests/imagelib/codecs/jpeg_test_support.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

using jpeg_test_support::Capture;

bool Djpeg(const std::string& path, Rgba* out) { return jpeg_test_support::Djpeg(path, "", out); }

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
             const std::function<void(WriteOptions*)>& adjust = nullptr) {
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
    Written w = Save(dir, "q.jpg", image, [q](WriteOptions* o) { o->quality = (uint16_t)q; });
    ASSERT_EQ(w.result, 0);
    EXPECT_EQ(Capture("identify -format %Q '" + w.path + "'"), std::to_string(q));
    EXPECT_EQ(Capture("identify -format %[interlace] '" + w.path + "'"), "None");
  }
  Written p = Save(dir, "p.jpg", image, [](WriteOptions* o) { o->interlaced = 1; });
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(Capture("identify -format %[interlace] '" + p.path + "'"), "JPEG");
  const char* expected[3] = {"2x2,1x1,1x1", "2x1,1x1,1x1", "1x1,1x1,1x1"};
  for (int s = 0; s < 3; ++s) {
    Written w =
        Save(dir, "s.jpg", image, [s](WriteOptions* o) { o->jpegSubsampling = (uint16_t)s; });
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

TEST_F(JpegWriterTest, CodingOptionsChangeTheFileButKeepThePicture) {
  Image image{};
  MakePicture(&image, PIXEL_RGB, 64, 64);
  Written plain = Save(dir, "plain.jpg", image, [](WriteOptions* o) { o->quality = 60; });
  ASSERT_EQ(plain.result, 0);
  const std::vector<uint8_t> plainBytes = ReadFileBytes(plain.path);
  Rgba plainPixels;
  ASSERT_TRUE(Djpeg(plain.path, &plainPixels));
  const struct {
    const char* name;
    std::function<void(WriteOptions*)> adjust;
    bool lossless;  // same pixels as the plain file and a smaller file
  } rows[] = {{"optimised Huffman", [](WriteOptions* o) { o->optimizeHuffman = 1; }, true},
              {"fast DCT", [](WriteOptions* o) { o->jpegDctMethod = 1; }, false},
              {"smoothing", [](WriteOptions* o) { o->jpegSmoothing = 80; }, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Written w = Save(dir, "variant.jpg", image, [&](WriteOptions* o) {
      o->quality = 60;
      row.adjust(o);
    });
    ASSERT_EQ(w.result, 0);
    std::vector<uint8_t> bytes = ReadFileBytes(w.path);
    EXPECT_NE(bytes, plainBytes);
    Rgba peer;
    ASSERT_TRUE(Djpeg(w.path, &peer));
    if (row.lossless) {
      EXPECT_EQ(MaxDifference(plainPixels, peer), 0);
      EXPECT_LT(bytes.size(), plainBytes.size());
    } else {
      EXPECT_LE(MaxDifference(ImageToRgba(image), peer), 40);
    }
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
  ASSERT_EQ(RunCommand("'" + tool +
                       "' convert --quality 70 --interlaced --optimize --subsampling 1 "
                       "--dct 2 --smoothing 5 '" +
                       source.path + "' '" + out + "'"),
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
  ASSERT_EQ(
      RunCommand("'" + tool + "' convert --level 9 --filter 2 '" + source.path + "' '" + png + "'"),
      0);
  EXPECT_EQ(Capture("identify -format '%wx%h' '" + png + "'"), "64x48");
  ImageFree(&image);

  std::string corpus = CorpusDir("exif-makernotes");
  if (corpus.empty() || !HaveTool("exiftool")) return;
  std::string camera = corpus + "/exif-samples-canon-ixus.jpg";
  std::string thumb = dir.File("thumb.bmp"), kept = dir.File("kept.jpg"),
              bare = dir.File("bare.jpg");
  ASSERT_EQ(RunCommand("'" + tool + "' convert --thumbnail '" + camera + "' '" + thumb + "'"), 0);
  std::string thumbSize =
      Capture("exiftool -b -EXIF:ThumbnailImage '" + camera + "' | identify -format '%wx%h' -");
  EXPECT_EQ(Capture("identify -format '%wx%h' '" + thumb + "'"), thumbSize);
  ASSERT_EQ(RunCommand("'" + tool + "' convert --keep-exif '" + camera + "' '" + kept + "'"), 0);
  ASSERT_EQ(
      RunCommand("'" + tool + "' convert --keep-exif --no-exif '" + camera + "' '" + bare + "'"),
      0);
  EXPECT_EQ(Capture("exiftool -s3 -Model '" + kept + "'"),
            Capture("exiftool -s3 -Model '" + camera + "'"));
  EXPECT_EQ(Capture("exiftool -s3 -Model '" + bare + "'"), "");
}
