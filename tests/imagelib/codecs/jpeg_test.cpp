// JPEG reader and writer, checked against libjpeg-turbo's own djpeg/cjpeg,
// ImageMagick, Pillow and exiftool on real files and on files made here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/codecs/jpeg_exif_thumbnail.h"
#include "imagelib/codecs/jpeg_in_tiff.h"
#include "imagelib/codecs/jpeg_quality.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "tests/imagelib/codecs/jpeg_test_support.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kPython[] = "/usr/bin/python3";

using jpeg_test_support::Capture;
using jpeg_test_support::Djpeg;

struct Loaded {
  int result = -1;
  Image image{};
  ImageInfo info{};
  explicit Loaded(const std::string& path, uint32_t flags = 0, int maxWidth = -1,
                  int maxHeight = -1, int useThumbnail = 0) {
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = flags;
    options.maxWidth = maxWidth;
    options.maxHeight = maxHeight;
    options.useThumbnail = (uint8_t)useThumbnail;
    std::u16string w = W(path);
    result = LoadImage(w.c_str(), &image, &options, &info);
  }
  Loaded(const Loaded&) = delete;
  ~Loaded() {
    ImageFree(&image);
    ImageInfoFree(&info);
  }
};

// A synthetic colour picture as a PPM file: smooth gradients and a few edges.
void WritePpm(const std::string& path, int w, int h, bool grey = false) {
  std::string data = (grey ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) +
                     "\n255\n";
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int r = (x * 255) / (w > 1 ? w - 1 : 1);
      int g = (y * 255) / (h > 1 ? h - 1 : 1);
      int b = ((x / 8 + y / 8) & 1) ? 200 : 40;
      if (grey) {
        data.push_back((char)((r + g + b) / 3));
      } else {
        data.push_back((char)r);
        data.push_back((char)g);
        data.push_back((char)b);
      }
    }
  }
  WriteFileBytes(path, std::vector<uint8_t>(data.begin(), data.end()));
}

// cjpeg of a synthetic picture; `options` are cjpeg's.
std::string MakeJpeg(const TempDir& dir, const std::string& name, int w, int h,
                     const std::string& options, bool grey = false) {
  std::string ppm = dir.File(name + (grey ? ".pgm" : ".ppm"));
  WritePpm(ppm, w, h, grey);
  std::string jpg = dir.File(name + ".jpg");
  RunCommand("cjpeg " + options + " -outfile '" + jpg + "' '" + ppm + "'");
  return jpg;
}

std::vector<std::string> CorpusJpegs() {
  std::vector<std::string> files;
  for (const char* sub : {"jpeg", "exif-makernotes"}) {
    std::string dir = CorpusDir(sub);
    if (dir.empty()) continue;
    for (auto& f : ListFiles(dir, ".jpg")) files.push_back(f);
  }
  return files;
}

class JpegTest : public ::testing::Test {
 protected:
  FormatsScope formats;
  TempDir tmp;
};

}  // namespace

// --- full-size decoding ------------------------------------------------------

TEST_F(JpegTest, CorpusPixelsEqualDjpegAtFullSize) {
  if (!HaveTool("djpeg")) GTEST_SKIP() << "djpeg missing";
  auto files = CorpusJpegs();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  int compared = 0;
  for (const auto& f : files) {
    // The multi-megapixel camera files only add decoding time here.
    if (f.find("/exif-makernotes/") != std::string::npos && ReadFileBytes(f).size() > 300000) {
      continue;
    }
    Rgba peer;
    if (!Djpeg(f, "", &peer)) continue;
    Loaded ours(f, LOAD_KEEP_PARTIAL);
    ASSERT_EQ(ours.result, 0) << f;
    Rgba mine = ImageToRgba(ours.image);
    // CMYK files: djpeg turns C'K'/255 into RGB with rounding, the pipeline truncates.
    int tolerance = ours.info.colourModel == COLOUR_CMYK ? 1 : 0;
    EXPECT_LE(MaxDifference(mine, peer), tolerance) << f;
    ++compared;
  }
  EXPECT_GT(compared, 85);
}

TEST_F(JpegTest, SyntheticBaselineProgressiveGreyAndCmykEqualDjpeg) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  struct Case {
    const char* name;
    const char* options;
    bool grey;
  } cases[] = {{"base420", "-quality 85", false},
               {"prog", "-progressive -quality 70", false},
               {"s444", "-sample 1x1 -quality 95", false},
               {"grey", "-quality 80", true},
               {"greyprog", "-progressive", true},
               {"restart", "-restart 2 -quality 60", false}};
  for (const auto& c : cases) {
    std::string jpg = MakeJpeg(tmp, c.name, 77, 53, c.options, c.grey);
    Rgba peer;
    ASSERT_TRUE(Djpeg(jpg, "", &peer)) << c.name;
    Loaded ours(jpg);
    ASSERT_EQ(ours.result, 0) << c.name;
    EXPECT_EQ(MaxDifference(ImageToRgba(ours.image), peer), 0) << c.name;
    EXPECT_EQ(ours.image.pixelType, c.grey ? PIXEL_GREY : PIXEL_RGB) << c.name;
  }
}

TEST_F(JpegTest, DescribesGreyColourAndCmykFiles) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty()) GTEST_SKIP() << "corpus absent";
  const struct {
    const char* file;
    const char* formatPrefix;
    int samples, bits;  // 0: not checked
  } rows[] = {{"twelvemonkeys-gray-sample.jpg", "JPEG Grayscale (v1.", 0, 8},
              {"libtiff-html-smallliz.jpg", "JPEG TrueColor (v1.", 3, 24},
              {"twelvemonkeys-cmyk-sample.jpg", "JPEG CMYK (v", 4, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    Loaded l(dir + "/" + row.file);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(std::string(l.info.formatText).rfind(row.formatPrefix, 0), 0u) << l.info.formatText;
    EXPECT_EQ(l.info.compression, COMPRESSION_JPEG);
    EXPECT_EQ(l.info.colourModel == COLOUR_CMYK, row.samples == 4);
    if (row.samples) {
      EXPECT_EQ(l.info.samplesPerPixel, row.samples);
    }
    if (row.bits) {
      EXPECT_EQ(l.info.bitsPerPlane, row.bits);
    }
  }
  // The JFIF version bytes as exiftool reads them.
  if (HaveTool("exiftool")) {
    std::string version =
        Capture("exiftool -s3 -JFIFVersion '" + dir + "/libtiff-html-smallliz.jpg'");
    std::string expected = "JPEG TrueColor (v" + std::to_string(std::stoi(version)) + "." +
                           std::to_string(std::stoi(version.substr(version.find('.') + 1))) + ")";
    EXPECT_EQ(expected, Loaded(dir + "/libtiff-html-smallliz.jpg").info.formatText);
  }
}

TEST_F(JpegTest, CmykKeptAsInksEqualsPillow) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty()) GTEST_SKIP() << "corpus absent";
  std::string f = dir + "/twelvemonkeys-cmyk-sample.jpg";
  std::string raw;
  if (RunCommand(std::string(kPython) +
                     " -c \"import sys;from PIL import Image;im=Image.open(sys.argv[1]);"
                     "assert im.mode=='CMYK';sys.stdout.buffer.write(im.tobytes())\" '" + f + "'",
                 &raw) != 0) {
    GTEST_SKIP() << "Pillow missing";
  }
  Loaded ours(f, LOAD_KEEP_CMYK);
  ASSERT_EQ(ours.result, 0);
  ASSERT_EQ(ours.image.pixelType, PIXEL_CMYK);
  ASSERT_EQ(raw.size(), (size_t)ours.image.width * ours.image.height * 4);
  int worst = 0;
  for (int y = 0; y < ours.image.height; ++y) {
    const uint8_t* row = ImageRow(&ours.image, y);
    for (int i = 0; i < ours.image.width * 4; ++i) {
      worst = std::max(
          worst, std::abs((int)row[i] - (int)(uint8_t)raw[(size_t)y * ours.image.width * 4 + i]));
    }
  }
  EXPECT_EQ(worst, 0);
}

// --- scaled and fast decoding --------------------------------------------------

TEST_F(JpegTest, ScaledDecodingEqualsDjpegAtEveryScale) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  std::vector<std::string> files = {MakeJpeg(tmp, "sq", 240, 240, "-quality 90"),
                                    MakeJpeg(tmp, "sqp", 200, 200, "-progressive"),
                                    MakeJpeg(tmp, "sqg", 128, 128, "", true)};
  if (HaveTool("convert")) {
    // CMYK (Adobe, inverted) and YCCK files made by ImageMagick.
    std::string ppm = tmp.File("cmyk.ppm");
    WritePpm(ppm, 160, 160);
    RunCommand("convert '" + ppm + "' -colorspace CMYK -quality 90 '" + tmp.File("cmyk.jpg") + "'");
    files.push_back(tmp.File("cmyk.jpg"));
  }
  std::string corpus = CorpusDir("jpeg");
  if (!corpus.empty()) {
    files.push_back(corpus + "/libtiff-html-smallliz.jpg");
    files.push_back(corpus + "/pillow-hopper_gray.jpg");
  }
  for (const auto& f : files) {
    Loaded full(f);
    ASSERT_EQ(full.result, 0) << f;
    const int side = full.image.width;
    ASSERT_EQ(side, full.image.height) << f;
    for (int n : {2, 4, 8}) {
      // A square box of side/n asks for exactly 1/n.
      Loaded ours(f, LOAD_ALLOW_THUMBNAIL, side / n, side / n);
      ASSERT_EQ(ours.result, 0) << f << " 1/" << n;
      Rgba peer;
      ASSERT_TRUE(Djpeg(f, "-scale 1/" + std::to_string(n) + " -dct fast -nosmooth", &peer));
      // CMYK: djpeg rounds C'K'/255 where the pipeline truncates.
      const int tolerance = ours.info.colourModel == COLOUR_CMYK ? 1 : 0;
      EXPECT_LE(MaxDifference(ImageToRgba(ours.image), peer), tolerance) << f << " 1/" << n;
      // ImageInfo keeps the stored size.
      EXPECT_EQ(ours.info.width, side);
    }
  }
}

TEST_F(JpegTest, ScaleChoiceFollowsTheBox) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  std::string f = MakeJpeg(tmp, "big", 2048, 1536, "-quality 50");
  struct Case {
    int maxWidth, maxHeight, width, height;
  } cases[] = {{100, 100, 100, 75},    // decoded at 1/8 (256x192), then fitted
               {400, 400, 400, 300},   // 1/2
               {300, 500, 300, 225},   // 1/4
               {256, 256, 256, 192}};  // min(2048/256, 1536/256) = 6: 1/4, then fitted
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxWidth) + "x" + std::to_string(c.maxHeight));
    Loaded ours(f, LOAD_ALLOW_THUMBNAIL, c.maxWidth, c.maxHeight);
    ASSERT_EQ(ours.result, 0);
    EXPECT_EQ(ours.image.width, c.width);
    EXPECT_EQ(ours.image.height, c.height);
    EXPECT_EQ(ours.info.width, 2048);
  }
}

TEST_F(JpegTest, FastDecodingFlagEqualsDjpegFastNoSmooth) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  std::string f = MakeJpeg(tmp, "fast", 123, 77, "-quality 75");
  Loaded ours(f, LOAD_FAST_DECODE);
  ASSERT_EQ(ours.result, 0);
  Rgba fast, slow;
  ASSERT_TRUE(Djpeg(f, "-dct fast -nosmooth", &fast));
  ASSERT_TRUE(Djpeg(f, "", &slow));
  EXPECT_EQ(MaxDifference(ImageToRgba(ours.image), fast), 0);
  EXPECT_GT(MaxDifference(fast, slow), 0);  // the two modes really differ
}

// --- truncated and damaged files ------------------------------------------------

TEST_F(JpegTest, TruncatedCorpusFilesGiveFourWithTheRowsSoFar) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty()) GTEST_SKIP() << "corpus absent";
  for (const char* name :
       {"wuffs-peacock.progressive.truncated.jpg", "zune-incomplete_image.jpg"}) {
    std::string f = dir + "/" + name;
    Loaded strict(f);
    EXPECT_EQ(strict.result, 4) << name;
    EXPECT_EQ(strict.image.pixels, nullptr) << name;
    Loaded partial(f, LOAD_KEEP_PARTIAL);
    ASSERT_EQ(partial.result, 0) << name;
    Rgba peer;
    ASSERT_TRUE(Djpeg(f, "", &peer));
    EXPECT_EQ(MaxDifference(ImageToRgba(partial.image), peer), 0) << name;
  }
}

TEST_F(JpegTest, TruncationsAtEveryMarkerAreHandled) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  for (const char* options : {"-quality 80", "-progressive"}) {
    std::string f = MakeJpeg(tmp, "cut", 64, 48, options);
    std::vector<uint8_t> bytes = ReadFileBytes(f);
    int cuts = 0;
    for (size_t i = 2; i + 1 < bytes.size(); ++i) {
      if (bytes[i] != 0xFF || bytes[i + 1] == 0 || bytes[i + 1] == 0xFF) continue;
      std::vector<uint8_t> head(bytes.begin(), bytes.begin() + (long)i);
      std::string cut = tmp.File("cut" + std::to_string(i) + ".jpg");
      WriteFileBytes(cut, head);
      Loaded ours(cut, LOAD_KEEP_PARTIAL);
      Rgba peer;
      if (Djpeg(cut, "", &peer)) {
        // djpeg decodes it: so do we, with the same pixels.
        ASSERT_EQ(ours.result, 0) << options << " cut at " << i;
        EXPECT_EQ(MaxDifference(ImageToRgba(ours.image), peer), 0) << options << " cut at " << i;
        Loaded strict(cut);
        EXPECT_TRUE(strict.result == 4 || (strict.result == 0 && bytes[i + 1] == 0xD9))
            << options << " cut at " << i << " gave " << strict.result;
      } else {
        EXPECT_NE(ours.result, 0) << options << " cut at " << i;
      }
      ++cuts;
    }
    EXPECT_GT(cuts, 4);
  }
}

TEST_F(JpegTest, DamagedCopiesNeverCrash) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  std::string f = MakeJpeg(tmp, "dmg", 40, 30, "-progressive");
  EXPECT_GT(FeedDamagedCopies(ReadFileBytes(f), "jpg", 96), 100);
  std::string corpus = CorpusDir("exif-makernotes");
  if (!corpus.empty()) {
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(corpus + "/exiftool-Nikon.jpg"), "jpg", 64), 50);
  }
}

TEST_F(JpegTest, NotJpegAndRandomBytesAreRefused) {
  std::vector<uint8_t> noise(5000);
  uint32_t seed = 7;
  for (auto& v : noise) v = (uint8_t)((seed = seed * 1103515245u + 12345u) >> 16);
  noise[0] = 0xFF;
  noise[1] = 0xD8;
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int result;  // -1: any failure, even when partial pictures are kept
  } rows[] = {{"text", {'h', 'e', 'l', 'l', 'o', '\n'}, 2},
              {"SOI followed by nothing: the header never arrives", {0xFF, 0xD8}, 2},
              {"noise after SOI", noise, -1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFileBytes(tmp.File("x.jpg"), row.bytes);
    Loaded l(tmp.File("x.jpg"), row.result < 0 ? (uint32_t)LOAD_KEEP_PARTIAL : 0u);
    if (row.result < 0) {
      EXPECT_NE(l.result, 0);
    } else {
      EXPECT_EQ(l.result, row.result);
    }
  }
}

TEST_F(JpegTest, HugeDeclaredSizesAreRefusedWithoutAllocating) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  for (const char* options : {"-quality 80", "-progressive"}) {
    std::string f = MakeJpeg(tmp, "huge", 16, 16, options);
    std::vector<uint8_t> bytes = ReadFileBytes(f);
    // Rewrite the frame header's size to 65500 x 65500.
    bool patched = false;
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
      if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
        bytes[i + 5] = 0xFF; bytes[i + 6] = 0xDC;
        bytes[i + 7] = 0xFF; bytes[i + 8] = 0xDC;
        patched = true;
        break;
      }
    }
    ASSERT_TRUE(patched);
    std::string big = tmp.File("big.jpg");
    WriteFileBytes(big, bytes);
    LoadOptions options2;
    LoadOptionsInit(&options2);
    options2.flags = LOAD_KEEP_PARTIAL;
    options2.memoryCap = 64ull << 20;
    Image image{};
    std::u16string w = W(big);
    int result = LoadImage(w.c_str(), &image, &options2, nullptr);
    EXPECT_NE(result, 0) << options;
    ImageFree(&image);
  }
}

// --- markers and metadata ----------------------------------------------------------

TEST_F(JpegTest, KeepsCommentAndMetadataBlocksAsExiftoolSeesThem) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty() || !HaveTool("exiftool")) GTEST_SKIP() << "corpus or exiftool absent";
  std::string f = dir + "/pillow-truncated_app14.jpg";  // EXIF, XMP, ICC and APP13
  Loaded ours(f, LOAD_KEEP_METADATA | LOAD_KEEP_COMMENT);
  ASSERT_EQ(ours.result, 0);
  auto block = [&](uint32_t kind) -> std::vector<uint8_t> {
    const MetadataBlock* b = FindMetadata(ours.image.metadata, kind);
    if (!b) return {};
    return std::vector<uint8_t>(b->data, b->data + b->size);
  };
  auto extract = [&](const std::string& tag) {
    std::string out = tmp.File(tag + ".bin");
    RunCommand("exiftool -b -" + tag + " '" + f + "' > '" + out + "'");
    return ReadFileBytes(out);
  };
  std::vector<uint8_t> exif = block(META_EXIF);
  ASSERT_GT(exif.size(), 6u);
  EXPECT_EQ(memcmp(exif.data(), "Exif\0\0", 6), 0);
  EXPECT_EQ(std::vector<uint8_t>(exif.begin() + 6, exif.end()), extract("EXIF"));
  EXPECT_EQ(block(META_ICC), extract("ICC_Profile"));
  std::vector<uint8_t> xmp = block(META_XMP);
  ASSERT_GT(xmp.size(), 29u);
  EXPECT_EQ(memcmp(xmp.data(), "http://ns.adobe.com/xap/1.0/", 28), 0);
  EXPECT_FALSE(block(META_IPTC).empty());
  // Without the flag nothing is kept.
  Loaded bare(f);
  EXPECT_EQ(bare.image.metadata, nullptr);
}

TEST_F(JpegTest, CommentMarkerBecomesTheComment) {
  if (!HaveTool("cjpeg") || !HaveTool("wrjpgcom")) GTEST_SKIP() << "cjpeg/wrjpgcom missing";
  std::string f = MakeJpeg(tmp, "com", 16, 16, "");
  std::string g = tmp.File("with-comment.jpg");
  RunCommand("wrjpgcom -comment 'Taken at the harbour' '" + f + "' > '" + g + "'");
  Loaded ours(g, LOAD_KEEP_COMMENT);
  ASSERT_EQ(ours.result, 0);
  ASSERT_NE(ours.image.comment, nullptr);
  EXPECT_STREQ(ours.image.comment, "Taken at the harbour");
  Loaded bare(g);
  EXPECT_EQ(bare.image.comment, nullptr);
}

TEST_F(JpegTest, DensityBecomesResolution) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg missing";
  std::string f = MakeJpeg(tmp, "dpi", 16, 16, "");
  std::vector<uint8_t> bytes = ReadFileBytes(f);
  ASSERT_EQ(memcmp(&bytes[6], "JFIF", 4), 0);
  auto withDensity = [&](int x, int y) {
    std::vector<uint8_t> b = bytes;
    b[13] = 1;
    b[14] = (uint8_t)(x >> 8); b[15] = (uint8_t)x;
    b[16] = (uint8_t)(y >> 8); b[17] = (uint8_t)y;
    std::string path = tmp.File("d" + std::to_string(x) + "x" + std::to_string(y) + ".jpg");
    WriteFileBytes(path, b);
    return path;
  };
  Loaded a(withDensity(300, 0)), b(withDensity(1, 1)), c(withDensity(150, 96));
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(a.info.xDpi, 300);
  EXPECT_EQ(a.info.yDpi, 300);
  EXPECT_EQ(b.info.xDpi, 0);
  EXPECT_EQ(b.image.xDpi, 72u);
  EXPECT_EQ(c.info.xDpi, 150);
  EXPECT_EQ(c.info.yDpi, 96);
}

// --- EXIF thumbnail --------------------------------------------------------------------

namespace {

struct CameraThumb {
  std::string file;
  std::string thumbnail;  // extracted by exiftool
  Rgba pixels;            // djpeg -dct fast -nosmooth of the thumbnail
};

// The EXIF thumbnails of the camera files, extracted by one exiftool run.
const std::vector<CameraThumb>& CameraThumbnails() {
  static TempDir dir;
  static std::vector<CameraThumb> out;
  static bool done = false;
  if (done) return out;
  done = true;
  if (!HaveTool("exiftool") || !HaveTool("djpeg")) return out;
  std::vector<std::string> files;
  std::string list;
  for (const char* sub : {"exif-makernotes", "jpeg"}) {
    std::string folder = CorpusDir(sub);
    if (folder.empty()) continue;
    for (const auto& f : ListFiles(folder, ".jpg")) {
      files.push_back(f);
      list += " '" + f + "'";
    }
  }
  if (files.empty()) return out;
  RunCommand("exiftool -q -q -b -EXIF:ThumbnailImage -w '" + dir.path() + "/%f.thumb.jpg'" + list +
             " >/dev/null 2>&1");
  for (const auto& f : files) {
    CameraThumb t;
    t.file = f;
    std::string base = f.substr(f.rfind('/') + 1);
    t.thumbnail = dir.File(base.substr(0, base.size() - 4) + ".thumb.jpg");
    if (ReadFileBytes(t.thumbnail).size() < 100) continue;
    if (!Djpeg(t.thumbnail, "-dct fast -nosmooth", &t.pixels)) continue;
    out.push_back(t);
  }
  return out;
}

}  // namespace

TEST_F(JpegTest, ThumbnailShortcutReturnsTheEmbeddedThumbnailsPixels) {
  const auto& thumbs = CameraThumbnails();
  if (thumbs.empty()) GTEST_SKIP() << "corpus, exiftool or djpeg absent";
  int used = 0;
  for (const auto& t : thumbs) {
    // useThumbnail 2 makes the box the thumbnail's own size: no reduction.
    Loaded ours(t.file, LOAD_ALLOW_THUMBNAIL, 60, 60, 2);
    if (ours.result != 0) continue;  // e.g. a thumbnail our search does not reach
    if (ours.image.width != t.pixels.width || ours.image.height != t.pixels.height) {
      ADD_FAILURE() << t.file << ": " << ours.image.width << "x" << ours.image.height
                    << " vs thumbnail " << t.pixels.width << "x" << t.pixels.height;
      continue;
    }
    EXPECT_EQ(MaxDifference(ImageToRgba(ours.image), t.pixels), 0) << t.file;
    EXPECT_EQ(ours.info.interlaced, 1u) << t.file;
    ++used;
  }
  EXPECT_GE(used * 10, (int)thumbs.size() * 8) << used << " of " << thumbs.size();
}

TEST_F(JpegTest, ThumbnailShortcutDoesNotDecodeTheMainPicture) {
  const auto& thumbs = CameraThumbnails();
  if (thumbs.empty()) GTEST_SKIP() << "corpus, exiftool or djpeg absent";
  const CameraThumb* pick = nullptr;
  for (const auto& t : thumbs) {
    if (ReadFileBytes(t.file).size() > 100000) { pick = &t; break; }
  }
  if (!pick) GTEST_SKIP() << "no large camera file";
  // Cut the file in the middle of the main picture's scan: a full decode is
  // incomplete, the thumbnail (inside APP1, near the start) is not.
  std::vector<uint8_t> bytes = ReadFileBytes(pick->file);
  bytes.resize(bytes.size() * 3 / 4);
  std::string cut = tmp.File("cut.jpg");
  WriteFileBytes(cut, bytes);
  Loaded full(cut), thumb(cut, LOAD_ALLOW_THUMBNAIL, 60, 60, 1);
  EXPECT_EQ(full.result, 4);
  EXPECT_EQ(thumb.result, 0);
  EXPECT_LE(thumb.image.width, 60);
  EXPECT_LE(thumb.image.height, 60);
}

TEST_F(JpegTest, SmallThumbnailIsRefusedUnderTheRefusalFlag) {
  const auto& thumbs = CameraThumbnails();
  if (thumbs.empty()) GTEST_SKIP() << "corpus, exiftool or djpeg absent";
  const CameraThumb& t = thumbs.front();
  const int boxW = t.pixels.width + 1, boxH = t.pixels.height + 1;
  Loaded refused(t.file, LOAD_ALLOW_THUMBNAIL | LOAD_REFUSE_SMALL_THUMBNAIL, boxW, boxH, 2);
  Loaded accepted(t.file, LOAD_ALLOW_THUMBNAIL, boxW, boxH, 2);
  ASSERT_EQ(refused.result, 0);
  ASSERT_EQ(accepted.result, 0);
  EXPECT_EQ(accepted.image.width, t.pixels.width);
  // The refused load decoded the main picture: its info is not the thumbnail's.
  EXPECT_EQ(refused.info.interlaced, 0u);
  EXPECT_EQ(accepted.info.interlaced, 1u);
  EXPECT_NE(MaxDifference(ImageToRgba(refused.image), ImageToRgba(accepted.image)), 0);
}

TEST(JpegExifThumbnailSearch, FindsOffsetAndLengthInBothByteOrders) {
  for (bool big : {false, true}) {
    std::vector<uint8_t> d = {'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](unsigned v) {
      if (big) { d.push_back((uint8_t)(v >> 8)); d.push_back((uint8_t)v); }
      else { d.push_back((uint8_t)v); d.push_back((uint8_t)(v >> 8)); }
    };
    auto u32 = [&](uint32_t v) {
      if (big) { u16(v >> 16); u16(v & 0xFFFF); } else { u16(v & 0xFFFF); u16(v >> 16); }
    };
    d.push_back(big ? 'M' : 'I'); d.push_back(big ? 'M' : 'I');
    u16(42); u32(8);
    // IFD0 with one entry, linking to IFD1 at 26.
    u16(1); u16(0x0112); u16(3); u32(1); u32(1); u32(26);
    // IFD1: thumbnail offset 60, length 10.
    u16(2); u16(0x0201); u16(4); u32(1); u32(60); u16(0x0202); u16(4); u32(1); u32(10); u32(0);
    while (d.size() < 6 + 70) d.push_back(0xAB);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(FindExifThumbnail(d.data(), d.size(), &offset, &length)) << big;
    EXPECT_EQ(offset, 66u);
    EXPECT_EQ(length, 10u);
    // A range past the end is not a thumbnail.
    EXPECT_FALSE(FindExifThumbnail(d.data(), 6 + 65, &offset, &length));
    // Every truncation is safe.
    for (size_t n = 0; n < d.size(); ++n) FindExifThumbnail(d.data(), n, &offset, &length);
  }
}

// --- quality estimate ---------------------------------------------------------------------

TEST_F(JpegTest, QualityEstimateRecoversCjpegQualityLikeImageMagick) {
  if (!HaveTool("cjpeg") || !HaveTool("identify")) GTEST_SKIP() << "cjpeg/identify missing";
  for (bool grey : {false, true}) {
    for (int q : {25, 40, 50, 60, 75, 85, 90, 95, 99, 100}) {
      std::string f = MakeJpeg(tmp, "q" + std::to_string(q), 32, 32,
                               "-baseline -quality " + std::to_string(q), grey);
      Loaded ours(f, LOAD_ESTIMATE_QUALITY);
      ASSERT_EQ(ours.result, 0);
      int magick = std::stoi(Capture("identify -format %Q '" + f + "'"));
      EXPECT_EQ((int)ours.info.readerValue3, q) << (grey ? "grey " : "colour ") << q;
      EXPECT_EQ((int)ours.info.readerValue3, magick) << (grey ? "grey " : "colour ") << q;
    }
  }
}

TEST_F(JpegTest, QualityEstimateAgreesWithImageMagickOnCorpus) {
  if (!HaveTool("identify")) GTEST_SKIP() << "identify missing";
  auto files = CorpusJpegs();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  int agree = 0, compared = 0;
  std::string report, list;
  for (const auto& f : files) list += " '" + f + "'";
  std::string lines;
  RunCommand("identify -format '%d/%f %Q\\n'" + list + " 2>/dev/null", &lines);
  std::istringstream in(lines);
  std::string f, q;
  while (in >> f >> q) {
    Loaded ours(f, LOAD_ESTIMATE_QUALITY | LOAD_NO_PIXELS);
    if (ours.result != 0) continue;
    ++compared;
    if ((int)ours.info.readerValue3 == std::stoi(q)) {
      ++agree;
    } else {
      report += f.substr(f.rfind('/') + 1) + " ours " +
                std::to_string((int)ours.info.readerValue3) + " magick " + q + "\n";
    }
  }
  EXPECT_GT(compared, 60);
  // ImageMagick reports a guess only when it is close to the IJG tables;
  // elsewhere the two guesses part (listed below).
  EXPECT_GE(agree * 10, compared * 9) << report;
  RecordProperty("quality_disagreements", report);
  if (!report.empty()) printf("quality estimates that differ:\n%s", report.c_str());
}

TEST(JpegQualityEstimate, MissingFirstTableGivesMinusOne) {
  uint16_t table[64];
  for (auto& v : table) v = 1;
  const uint16_t* none[4] = {nullptr, table, nullptr, nullptr};
  EXPECT_EQ(EstimateJpegQuality(none), -1);
  const uint16_t* ones[4] = {table, nullptr, nullptr, nullptr};
  EXPECT_EQ(EstimateJpegQuality(ones), 100);  // all-ones: the finest quantisation
}

// --- JPEG-in-TIFF strips ------------------------------------------------------------------

namespace {

// Splits a JPEG into a tables-only stream (SOI, DQT, DHT, EOI) and the
// abbreviated picture stream without them, as TIFF stores them.
void SplitTables(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>* tables,
                 std::vector<uint8_t>* image) {
  tables->assign({0xFF, 0xD8});
  image->assign({0xFF, 0xD8});
  size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    uint8_t marker = jpeg[i + 1];
    size_t length = ((size_t)jpeg[i + 2] << 8) | jpeg[i + 3];
    std::vector<uint8_t>* to = (marker == 0xDB || marker == 0xC4) ? tables : image;
    if (marker == 0xDA) {
      image->insert(image->end(), jpeg.begin() + (long)i, jpeg.end());
      break;
    }
    to->insert(to->end(), jpeg.begin() + (long)i, jpeg.begin() + (long)(i + 2 + length));
    i += 2 + length;
  }
  tables->push_back(0xFF);
  tables->push_back(0xD9);
}

// Largest difference between a decoded strip of packed RGB rows and djpeg.
int StripDifference(const std::vector<uint8_t>& out, int width, int height, const Rgba& peer) {
  int worst = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(out[((size_t)y * width + x) * 3 + c] - peer.at(x, y)[c]));
  return worst;
}

}  // namespace

TEST(JpegStripDecoding, DecodesWithAndWithoutSeparateTables) {
  if (!HaveTool("cjpeg") || !HaveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
  TempDir dir;
  std::string f = MakeJpeg(dir, "strip", 48, 16, "-quality 90");
  Rgba peer;
  ASSERT_TRUE(Djpeg(f, "", &peer));
  std::vector<uint8_t> whole = ReadFileBytes(f), tables, image;
  SplitTables(whole, &tables, &image);
  ASSERT_LT(image.size(), whole.size());
  for (int separate = 0; separate < 2; ++separate) {
    std::vector<uint8_t> out(48 * 3 * 20, 0x11);
    JpegStripOutput o{out.data(), 48 * 3, 48, 20, 3, 0, 0, 0};
    int r = separate ? DecodeJpegStrip(image.data(), image.size(), tables.data(), tables.size(),
                                       true, &o)
                     : DecodeJpegStrip(whole.data(), whole.size(), nullptr, 0, true, &o);
    ASSERT_EQ(r, 0) << separate;
    EXPECT_EQ(o.rowsDone, 16);
    EXPECT_EQ(o.decodedWidth, 48);
    EXPECT_EQ(StripDifference(out, 48, 16, peer), 0) << separate;
    EXPECT_EQ(out[16 * 144], 0x11);  // rows beyond the strip untouched
  }
  // Without its tables the abbreviated stream is an error, reported as 2.
  std::vector<uint8_t> out(48 * 3 * 16);
  JpegStripOutput o{out.data(), 48 * 3, 48, 16, 3, 0, 0, 0};
  EXPECT_EQ(DecodeJpegStrip(image.data(), image.size(), nullptr, 0, true, &o), 2);
  // A component count the caller does not expect: 2.
  JpegStripOutput grey{out.data(), 48, 48, 16, 1, 0, 0, 0};
  EXPECT_EQ(DecodeJpegStrip(whole.data(), whole.size(), nullptr, 0, true, &grey), 2);
  // Every truncation returns.
  for (size_t n = 0; n < whole.size(); n += 7) {
    JpegStripOutput t{out.data(), 48 * 3, 48, 16, 3, 0, 0, 0};
    int r = DecodeJpegStrip(whole.data(), n, nullptr, 0, true, &t);
    EXPECT_TRUE(r == 0 || r == 2);
  }
}

TEST(JpegStripDecoding, WithoutConversionSamplesStayAsStored) {
  if (!HaveTool("cjpeg") || !HaveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg missing";
  TempDir dir;
  // An RGB-coded JPEG (no YCbCr transform): samples come out as stored.
  std::string f = MakeJpeg(dir, "rgb", 24, 24, "-rgb -quality 100");
  Rgba peer;
  ASSERT_TRUE(Djpeg(f, "", &peer));
  std::vector<uint8_t> whole = ReadFileBytes(f);
  std::vector<uint8_t> out(24 * 3 * 24);
  JpegStripOutput o{out.data(), 24 * 3, 24, 24, 3, 0, 0, 0};
  ASSERT_EQ(DecodeJpegStrip(whole.data(), whole.size(), nullptr, 0, false, &o), 0);
  EXPECT_EQ(StripDifference(out, 24, 24, peer), 0);
}

TEST_F(JpegTest, InformationQueryDescribesWithoutDecoding) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty() || !HaveTool("identify")) GTEST_SKIP() << "corpus or identify absent";
  for (const char* name : {"image-rs-progressive-3.jpg", "twelvemonkeys-cmyk-sample.jpg",
                           "pillow-hopper_gray.jpg", "wuffs-peacock.progressive.truncated.jpg"}) {
    std::string f = dir + "/" + name;
    ImageInfo info{};
    std::u16string w = W(f);
    ASSERT_EQ(GetImageInfo(w.c_str(), -1, 0, &info), 0) << name;
    std::string expected = Capture("identify -format '%w %h' '" + f + "' 2>/dev/null");
    EXPECT_EQ(std::to_string(info.width) + " " + std::to_string(info.height), expected) << name;
    EXPECT_EQ(std::string(info.formatText).rfind("JPEG ", 0), 0u) << name;
    ImageInfoFree(&info);
  }
}

TEST_F(JpegTest, UnsupportedProcessIsCorrupt) {
  std::string dir = CorpusDir("jpeg");
  if (dir.empty() || !HaveTool("djpeg")) GTEST_SKIP() << "corpus or djpeg absent";
  std::string f = dir + "/twelvemonkeys-lossless-f-18.jpg";  // SOF3, lossless
  std::string message;
  RunCommand("djpeg '" + f + "' 2>&1 >/dev/null", &message);
  ASSERT_NE(message.find("Unsupported JPEG process"), std::string::npos) << message;
  Loaded ours(f);
  EXPECT_EQ(ours.result, 10);
  EXPECT_EQ(ours.image.pixels, nullptr);
}
