// TIFF reader: real files of the corpus and fixtures made with libtiff's own
// tools, both compared with libtiff's decoding (tiff2rgba); the formulas
// where the reader deliberately differs from libtiff; pages, byte orders,
// orientation and resolution; texts and metadata; and damaged input.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imagelib/core/reader_contract.h"
#include "imagelib/metadata/exif_reader.h"
#include "tests/imagelib/codecs/peer_decode.h"
#include "tests/imagelib/codecs/tiff_builder.h"

using namespace testing_support;
using peer::BaseName;
using peer::Quote;
using tiff_test::Basic;
using tiff_test::TiffBuilder;

namespace {

// An ImageInfo freed at the end of its scope.
struct Info : ImageInfo {
  Info() : ImageInfo{} {}
  Info(const Info&) = delete;
  ~Info() { ImageInfoFree(this); }
};

class TiffTest : public ::testing::Test {
 protected:
  FormatsScope formats;
  TempDir dir;

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir.File(name);
    WriteFileBytes(path, bytes);
    return path;
  }
  // The built file written and loaded; `info`, when given, is filled.
  int Load(const TiffBuilder& b, Rgba* out, ImageInfo* info = nullptr, uint32_t flags = 0) {
    return peer::LoadRgba(Write("page.tif", b.Build()), out, flags, info);
  }
};

bool HaveLibtiffTools() { return HaveTool("tiffcp") && HaveTool("tiff2rgba") && HaveTool("convert"); }

// libtiff's decoding of page `page` through tiff2rgba; ImageMagick reads
// its plain RGBA result back in one run, printing the size first.
bool DecodeWithLibtiff(const std::string& path, Rgba* out, int page = 0) {
  TempDir tmp;
  std::string rgba = tmp.File("rgba.tif"), data;
  if (RunCommand("tiff2rgba -c none " + Quote(path) + " " + Quote(rgba) + " 2>/dev/null") != 0) return false;
  std::string source = Quote(rgba + "[" + std::to_string(page) + "]");
  std::string command = "convert " + source + " -print '%w %h\\n' -depth 8 rgba:- 2>/dev/null";
  if (RunCommand(command, &data) != 0) return false;
  size_t eol = data.find('\n');
  if (eol == std::string::npos || sscanf(data.c_str(), "%d %d", &out->width, &out->height) != 2)
    return false;
  out->pixels.assign(data.begin() + (long)eol + 1, data.end());
  return out->pixels.size() == (size_t)out->width * out->height * 4;
}

// Largest difference of the colour channels over the pixels libtiff
// decoded (it leaves pixels it could not decode transparent).
int MaxDifferenceOpaque(const Rgba& ours, const Rgba& ref, int* compared = nullptr) {
  if (ours.width != ref.width || ours.height != ref.height) return 256;
  int worst = 0, n = 0;
  for (int y = 0; y < ref.height; y++)
    for (int x = 0; x < ref.width; x++) {
      const uint8_t* r = ref.at(x, y);
      if (r[3] != 255) continue;
      const uint8_t* o = ours.at(x, y);
      n++;
      for (int c = 0; c < 3; c++) worst = std::max(worst, std::abs(o[c] - r[c]));
    }
  if (compared) *compared = n;
  return worst;
}

int LoadPage(const std::string& path, Rgba* out, int page, uint32_t flags = 0, ImageInfo* info = nullptr) {
  return peer::LoadRgbaWith(
      path, out, flags, [page](LoadOptions& o) { o.imageIndex = page; }, info);
}

// ---------------------------------------------------------------- corpus

struct Deviation {
  const char* name;
  int tolerance;  // -1: not compared
  const char* why;
  int rows = 0;   // when above 0, only the rows above this one are compared
};

// Files where this reader's result differs from libtiff's by design.
const Deviation kDeviations[] = {
    {"libtiffpic-text.tif", 0, "the last strip's data ends early; libtiff stops at its first damaged row", 356},
    {"twelvemonkeys-a33.tif", -1, "orientation 8 is loaded as stored; libtiff flips it"},
    {"libtiffpic-ycbcr-cat.tif", 1, "YCbCr converted in double precision with the page's coefficients"},
    {"pillow-hopper.Lab.tif", -1, "CIE L*a*b* converted by the library's own formula"},
    {"pillow-lab.tif", -1, "CIE L*a*b* converted by the library's own formula"},
    {"pillow-tiff_16bit_RGB.tiff", 1, "16-bit samples taken by their upper byte"},
    {"pillow-12bit.cropped.tif", 1, "12-bit samples taken by their upper 8 bits"},
    {"libtiffpic-depth-flower-minisblack-12.tif", 1, "12-bit samples taken by their upper 8 bits"},
    {"libtiffpic-zackthecat.tif", -1, "old-style JPEG without an interchange stream is refused"},
    {"twelvemonkeys-BigTIFFMotorola.tif", -1, "BigTIFF is not TIFF revision 6"},
    {"twelvemonkeys-40-8bit-gray-zip.tif", -1, "compression 50013 is not one of the page's compressions"},
    // Old-style JPEG pages are decoded by libjpeg with its default (smoothing)
    // upsampling of subsampled chroma; libtiff takes the raw samples and
    // repeats each chroma sample. Away from chroma edges the two agree
    // exactly; these pages are compared with djpeg instead
    // (OldStyleJpegPagesMatchLibjpeg).
    {"libtiffpic-smallliz.tif", -1, "old-style JPEG, chroma upsampled by libjpeg"},
    {"pillow-old-style-jpeg-compression.tif", -1, "old-style JPEG, chroma upsampled by libjpeg"},
    {"mei-imagetestsuite-362323f81c01.tif", -1, "old-style JPEG, chroma upsampled by libjpeg"},
    {"mei-imagetestsuite-f4bcc246f347.tif", -1, "old-style JPEG, chroma upsampled by libjpeg"},
};

const Deviation* FindDeviation(const std::string& name) {
  for (const Deviation& d : kDeviations)
    if (name == d.name) return &d;
  return nullptr;
}

TEST_F(TiffTest, CorpusFilesMatchLibtiff) {
  std::string folder = CorpusDir("tiff");
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  if (!HaveLibtiffTools()) GTEST_SKIP() << "libtiff tools missing";
  int compared = 0;
  for (const std::string& path : ListFiles(folder)) {
    std::string name = BaseName(path);
    const Deviation* dev = FindDeviation(name);
    if (dev && dev->tolerance < 0) continue;
    Rgba ref;
    if (!DecodeWithLibtiff(path, &ref)) continue;  // libtiff cannot decode it either
    Rgba ours;
    int rc = LoadPage(path, &ours, 0, LOAD_KEEP_PARTIAL);
    ASSERT_EQ(rc, 0) << name;
    if (dev && dev->rows > 0 && ours.height == ref.height) {
      ours.height = ref.height = dev->rows;
      ours.pixels.resize((size_t)ours.width * dev->rows * 4);
      ref.pixels.resize((size_t)ref.width * dev->rows * 4);
    }
    int n = 0;
    int diff = MaxDifferenceOpaque(ours, ref, &n);
    EXPECT_LE(diff, dev ? dev->tolerance : 0) << name << " (" << n << " pixels compared)";
    compared++;
  }
  EXPECT_GT(compared, 60);
}

// The interchange stream (offset, length) of page 0 of an old-style JPEG
// file as tiffdump lists it; length 0 when the tag is absent.
bool InterchangeStream(const std::string& path, uint64_t* offset, uint64_t* length) {
  std::string dump;
  if (RunCommand("tiffdump " + Quote(path) + " 2>/dev/null", &dump) != 0) return false;
  *offset = *length = 0;
  size_t second = dump.find("Directory 1:");
  if (second != std::string::npos) dump.resize(second);
  auto value = [&](const char* name, uint64_t* out) {
    size_t at = dump.find(name);
    if (at == std::string::npos) return false;
    size_t open = dump.find('<', at);
    if (open == std::string::npos) return false;
    *out = std::strtoull(dump.c_str() + open + 1, nullptr, 10);
    return true;
  };
  value("JPEGInterchangeFormatLength (514)", length);
  return value("JPEGInterchangeFormat (513)", offset);
}

// libjpeg's own decoding (djpeg, default settings) of JPEG bytes; its PNM
// result is read back by ImageMagick.
bool DecodeWithDjpeg(const std::vector<uint8_t>& jpeg, Rgba* out) {
  TempDir tmp;
  WriteFileBytes(tmp.File("in.jpg"), jpeg);
  // djpeg exits with 2 after warnings (such as the odd SOS parameters some
  // scanners write) and still writes the picture.
  int status = RunCommand("djpeg -outfile " + Quote(tmp.File("out.pnm")) + " " + Quote(tmp.File("in.jpg")) +
                          " 2>/dev/null");
  return (status == 0 || status == 2) && DecodeWithMagick(tmp.File("out.pnm"), out);
}

// Old-style JPEG pages whose interchange stream is a whole JPEG file decode
// exactly as libjpeg decodes that stream on its own.
TEST_F(TiffTest, OldStyleJpegPagesMatchLibjpeg) {
  std::string folder = CorpusDir("tiff");
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  for (const char* tool : {"djpeg", "tiffdump", "convert"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  int compared = 0;
  for (const Deviation& d : kDeviations) {
    if (!strstr(d.why, "chroma upsampled by libjpeg")) continue;
    const char* name = d.name;
    std::string path = folder + "/" + name;
    std::vector<uint8_t> file = ReadFileBytes(path);
    if (file.empty()) continue;
    uint64_t offset = 0, length = 0;
    ASSERT_TRUE(InterchangeStream(path, &offset, &length)) << name;
    ASSERT_LT(offset, file.size()) << name;
    if (length == 0 || offset + length > file.size()) length = file.size() - offset;
    std::vector<uint8_t> jpeg(file.begin() + (long)offset, file.begin() + (long)(offset + length));
    Rgba ref, ours;
    ASSERT_TRUE(DecodeWithDjpeg(jpeg, &ref)) << name;
    ASSERT_EQ(LoadPage(path, &ours, 0), 0) << name;
    EXPECT_EQ(MaxDifference(ours, ref), 0) << name;
    compared++;
  }
  EXPECT_GT(compared, 0);
}

// An old-style JPEG page the way some scanners write it: the interchange
// stream holds SOI, tables and frame header only; the first strip starts
// with the SOS marker and every strip is one restart interval of the scan
// without its restart marker. Made from a cjpeg stream with a restart every
// MCU row, cut at its restart markers (the DRI segment dropped when
// `dropDri`); `rowsPerStrip` must be the MCU height.
std::vector<uint8_t> SplitOldStyleJpeg(const std::vector<uint8_t>& jpeg, int width, int height,
                                       int rowsPerStrip, int samples, bool dropDri) {
  std::vector<uint8_t> header;
  size_t pos = 2;
  header.assign(jpeg.begin(), jpeg.begin() + 2);
  size_t sos = 0;
  while (pos + 4 <= jpeg.size()) {
    uint8_t marker = jpeg[pos + 1];
    size_t length = (size_t)(jpeg[pos + 2] << 8 | jpeg[pos + 3]);
    if (marker == 0xDA) {
      sos = pos;
      break;
    }
    if (!(dropDri && marker == 0xDD))
      header.insert(header.end(), jpeg.begin() + (long)pos, jpeg.begin() + (long)(pos + 2 + length));
    pos += 2 + length;
  }
  std::vector<std::vector<uint8_t>> strips(1);
  if (sos == 0) return {};
  size_t data = sos + 2 + (size_t)(jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  strips[0].assign(jpeg.begin() + (long)sos, jpeg.begin() + (long)data);
  for (size_t i = data; i + 1 < jpeg.size(); i++) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7) {
      strips.emplace_back();
      i++;
    } else if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xD9) {
      break;
    } else {
      strips.back().push_back(jpeg[i]);
      if (jpeg[i] == 0xFF) strips.back().push_back(jpeg[++i]);  // stuffed zero
    }
  }
  TiffBuilder b;
  b.Long(256, (uint32_t)width);
  b.Long(257, (uint32_t)height);
  b.Shorts(258, std::vector<uint32_t>((size_t)samples, 8));
  b.Short(259, 6);
  b.Short(262, samples == 3 ? 6 : 1);
  b.Short(277, (uint32_t)samples);
  b.Long(278, (uint32_t)rowsPerStrip);
  b.Long(513, 0x5A5A5A5A);  // patched to the header's place below
  b.Long(514, (uint32_t)header.size());
  b.chunks = strips;
  std::vector<uint8_t> file = b.Build();
  const uint8_t mark[4] = {0x5A, 0x5A, 0x5A, 0x5A};
  auto at = std::search(file.begin(), file.end(), mark, mark + 4);
  if (at == file.end()) return {};
  const uint32_t where = (uint32_t)file.size();
  for (int i = 0; i < 4; i++) at[i] = (uint8_t)(where >> (8 * i));
  file.insert(file.end(), header.begin(), header.end());
  return file;
}

TEST_F(TiffTest, OldStyleJpegScanSpreadOverStrips) {
  if (!HaveTool("cjpeg") || !HaveTool("djpeg") || !HaveTool("convert")) GTEST_SKIP() << "tools missing";
  ASSERT_EQ(RunCommand("convert rose: -resize 75x47! " + Quote(dir.File("src.ppm"))), 0);
  struct Case {
    const char* options;
    int rowsPerStrip, samples;
  } cases[] = {{"-sample 2x1", 8, 3}, {"-sample 2x2", 16, 3}, {"-sample 1x1", 8, 3}, {"-grayscale", 8, 1}};
  for (const Case& c : cases) {
    for (bool dropDri : {true, false}) {
      std::string what = std::string(c.options) + (dropDri ? " without DRI" : " with DRI");
      std::string jpg = dir.File("made.jpg");
      ASSERT_EQ(RunCommand(std::string("cjpeg ") + c.options + " -restart 1 -outfile " + Quote(jpg) + " " +
                           Quote(dir.File("src.ppm"))),
                0);
      std::vector<uint8_t> jpeg = ReadFileBytes(jpg);
      Rgba ref, ours;
      ASSERT_TRUE(DecodeWithDjpeg(jpeg, &ref)) << what;
      std::vector<uint8_t> tiff = SplitOldStyleJpeg(jpeg, 75, 47, c.rowsPerStrip, c.samples, dropDri);
      ASSERT_FALSE(tiff.empty()) << what;
      std::string path = Write("split.tif", tiff);
      Info info;
      ASSERT_EQ(LoadPage(path, &ours, 0, 0, &info), 0) << what;
      EXPECT_STREQ(info.formatText, "TIFF (jpeg)") << what;
      EXPECT_EQ(MaxDifference(ours, ref), 0) << what;
      // Without chroma subsampling libtiff's decoding agrees too: exactly for
      // grey, within 1 for colour (libtiff converts the raw YCbCr samples
      // with its own tables, which round a few values the other way).
      Rgba libtiff;
      if (c.rowsPerStrip == 8 && std::string(c.options) != "-sample 2x1" && HaveLibtiffTools()) {
        ASSERT_TRUE(DecodeWithLibtiff(path, &libtiff)) << what;
        EXPECT_LE(MaxDifferenceOpaque(ours, libtiff), c.samples == 1 ? 0 : 1) << what;
      }
      if (dropDri && c.samples == 3 && c.rowsPerStrip == 8) {
        EXPECT_GT(FeedDamagedCopies(tiff, "tif", 48), 0);
      }
    }
  }
}

TEST_F(TiffTest, EveryCorpusFileLoadsOrFailsCleanly) {
  std::string folder = CorpusDir("tiff");
  if (folder.empty()) GTEST_SKIP() << "no corpus";
  for (const std::string& path : ListFiles(folder)) {
    Image image{};
    ImageInfo info{};
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
    options.memoryCap = 256ull << 20;
    std::u16string w = W(path);
    int rc = LoadImage(w.c_str(), &image, &options, &info);
    if (rc == 0) {
      EXPECT_NE(image.pixels, nullptr) << BaseName(path);
    }
    ImageFree(&image);
    ImageInfoFree(&info);
  }
}

// ---------------------------------------------------------------- fixtures

class TiffFixtures : public TiffTest {
 protected:
  // The source pictures are made once for the whole suite.
  static void SetUpTestSuite() {
    if (!HaveLibtiffTools()) return;
    sources = new TempDir;
    rgb = sources->File("rgb.tif");
    grey = sources->File("grey.tif");
    bw = sources->File("bw.tif");
    ready = peer::MagickFromRgba(peer::Gradient(61, 47, false), "-alpha off -compress none", rgb) &&
            RunCommand("convert " + Quote(rgb) + " -colorspace gray -depth 8 -compress none " + Quote(grey)) == 0 &&
            RunCommand("convert -size 77x41 pattern:checkerboard -fill black -draw 'circle 38,20 50,30' "
                       "-colorspace gray -threshold 50% -alpha off -depth 1 -compress none " +
                       Quote(bw)) == 0;
  }
  static void TearDownTestSuite() {
    delete sources;
    sources = nullptr;
  }
  void SetUp() override {
    if (!HaveLibtiffTools()) GTEST_SKIP() << "libtiff tools missing";
    ASSERT_TRUE(ready);
  }

  static TempDir* sources;
  static std::string rgb, grey, bw;
  static bool ready;
  int count_ = 0;

  // tiffcp with the given options, then both decodings compared.
  void ExpectSameAsLibtiff(const std::string& source, const std::string& options,
                           int tolerance = 0) {
    std::string out = dir.File("out" + std::to_string(++count_) + ".tif");
    std::string command = "tiffcp " + options + " " + Quote(source) + " " + Quote(out);
    ASSERT_EQ(RunCommand(command + " 2>/dev/null"), 0) << options;
    Rgba ref, ours;
    ASSERT_TRUE(DecodeWithLibtiff(out, &ref)) << options;
    ASSERT_EQ(peer::LoadRgba(out, &ours), 0) << options;
    int n = 0;
    EXPECT_LE(MaxDifferenceOpaque(ours, ref, &n), tolerance) << options;
    EXPECT_EQ(n, ref.width * ref.height) << options;
  }
};

TempDir* TiffFixtures::sources = nullptr;
std::string TiffFixtures::rgb, TiffFixtures::grey, TiffFixtures::bw;
bool TiffFixtures::ready = false;

TEST_F(TiffFixtures, EveryLosslessCompressionOfColourAndGrey) {
  for (const char* c : {"none", "packbits", "lzw", "lzw:2", "zip", "zip:2"}) {
    ExpectSameAsLibtiff(rgb, std::string("-c ") + c + " -r 5");
    ExpectSameAsLibtiff(grey, std::string("-c ") + c + " -r 9");
  }
}

TEST_F(TiffFixtures, TilesSeparatePlanesAndByteOrders) {
  for (const char* c : {"none", "lzw:2", "zip:2", "packbits"}) {
    std::string cc = std::string("-c ") + c;
    ExpectSameAsLibtiff(rgb, cc + " -t -w 16 -l 16");
    ExpectSameAsLibtiff(rgb, cc + " -p separate -r 8");
    ExpectSameAsLibtiff(rgb, cc + " -p separate -t -w 32 -l 16");
    ExpectSameAsLibtiff(rgb, cc + " -B");
    ExpectSameAsLibtiff(rgb, cc + " -L");
    ExpectSameAsLibtiff(grey, cc + " -t -w 16 -l 32 -B");
    ExpectSameAsLibtiff(grey, cc + " -f lsb2msb");
  }
}

TEST_F(TiffFixtures, BilevelCompressionsAndFillOrder) {
  std::string white = dir.File("white.tif");
  ASSERT_EQ(RunCommand("cp " + Quote(bw) + " " + Quote(white) + " && tiffset -s 262 0 " + Quote(white)), 0);
  for (const std::string& src : {bw, white}) {
    for (const char* c : {"none", "packbits", "lzw", "g3", "g3:2d", "g3:fill", "g3:2d:fill", "g4"}) {
      ExpectSameAsLibtiff(src, std::string("-c ") + c + " -r 13");
      ExpectSameAsLibtiff(src, std::string("-c ") + c + " -f lsb2msb");
    }
    ExpectSameAsLibtiff(src, "-c g4 -t -w 32 -l 16");
  }
}

TEST_F(TiffFixtures, PaletteCmykMinIsWhiteAndWideSamples) {
  std::string pal4 = dir.File("pal4.tif"), pal8 = dir.File("pal8.tif"), cmyk = dir.File("cmyk.tif");
  std::string rgb16 = dir.File("rgb16.tif"), grey16 = dir.File("grey16.tif");
  std::string greyw = dir.File("greyw.tif");
  const std::string made[][3] = {{pal4, rgb, "-colors 16 -type Palette"},
                                 {pal8, rgb, "-colors 200 -type Palette"},
                                 {cmyk, rgb, "-colorspace CMYK"},
                                 {rgb16, rgb, "-depth 16"},
                                 {grey16, grey, "-depth 16"}};
  for (const auto& m : made)
    ASSERT_EQ(RunCommand("convert " + Quote(m[1]) + " " + m[2] + " " + Quote(m[0])), 0) << m[2];
  ASSERT_EQ(RunCommand("cp " + Quote(grey) + " " + Quote(greyw) + " && tiffset -s 262 0 " +
                       Quote(greyw)),
            0);
  for (const char* c : {"none", "lzw"}) {
    std::string cc = std::string("-c ") + c;
    ExpectSameAsLibtiff(pal4, cc);
    ExpectSameAsLibtiff(pal8, cc + " -t -w 16 -l 16");
    ExpectSameAsLibtiff(cmyk, cc);
    ExpectSameAsLibtiff(cmyk, cc + " -p separate");
    ExpectSameAsLibtiff(greyw, cc);
    // libtiff rounds 16-bit samples to 8 bits; this reader takes the upper
    // byte, so the two may differ by one.
    ExpectSameAsLibtiff(rgb16, cc + " -B", 1);
    ExpectSameAsLibtiff(grey16, cc + " -L", 1);
  }
}

TEST_F(TiffFixtures, SixteenBitSamplesAreTheirUpperByte) {
  // A 16-bit grey ramp, big-endian, with predictor 2 through tiffcp.
  std::vector<uint8_t> data;
  std::vector<uint16_t> values;
  for (int i = 0; i < 40 * 3; i++) values.push_back((uint16_t)(i * 547 + 13));
  for (uint16_t v : values) {
    data.push_back((uint8_t)(v >> 8));
    data.push_back((uint8_t)v);
  }
  std::string plain = Write("g16.tif", Basic(40, 3, 16, 1, 1, data, true).Build());
  std::string packed = dir.File("g16lzw.tif");
  ASSERT_EQ(RunCommand("tiffcp -c lzw:2 -L " + Quote(plain) + " " + Quote(packed)), 0);
  for (const std::string& f : {plain, packed}) {
    Rgba ours;
    ASSERT_EQ(LoadPage(f, &ours, 0), 0);
    for (int i = 0; i < 120; i++) ASSERT_EQ(ours.at(i % 40, i / 40)[0], values[i] >> 8) << f << " " << i;
  }
}

TEST_F(TiffFixtures, CompressionAndFormatAreReported) {
  struct Case {
    const std::string* source;
    const char* options;
    int compression;
    const char* text;
    const char* format;
  } cases[] = {{&grey, "-c none", 0, "", "TIFF"},         {&grey, "-c packbits", 1, "", "TIFF"},
               {&grey, "-c lzw -t", 2, "", "TIFF (Tiled)"}, {&rgb, "-c jpeg -r 16", 3, "", "TIFF"},
               {&grey, "-c zip", 4, "", "TIFF"},          {&bw, "-c g3", 7, "", "TIFF"},
               {&bw, "-c g3:2d", 8, "", "TIFF"},          {&bw, "-c g4", 9, "", "TIFF"}};
  for (const Case& c : cases) {
    std::string out = dir.File("info.tif");
    ASSERT_EQ(RunCommand("tiffcp " + std::string(c.options) + " " + Quote(*c.source) + " " + Quote(out)), 0);
    Info info;
    ASSERT_EQ(GetImageInfo(W(out).c_str(), -1, 0, &info), 0) << c.options;
    EXPECT_EQ(info.compression, c.compression) << c.options;
    EXPECT_STREQ(info.compressionText, c.text) << c.options;
    EXPECT_STREQ(info.formatText, c.format) << c.options;
    EXPECT_EQ(info.imageCount, 1u);
  }
}

TEST_F(TiffFixtures, JpegPagesMatchLibtiff) {
  ExpectSameAsLibtiff(rgb, "-c jpeg -r 16", 1);
  ExpectSameAsLibtiff(rgb, "-c jpeg:r -r 16", 1);
  ExpectSameAsLibtiff(grey, "-c jpeg -r 8", 1);
  ExpectSameAsLibtiff(rgb, "-c jpeg -t -w 32 -l 32", 1);
}

TEST_F(TiffFixtures, SgiLogPagesMatchLibtiff) {
  std::string luvF = dir.File("f32.tif"), greyF = dir.File("gf.tif");
  // ImageMagick warns about the predictor tag of float pages; the files
  // are made all the same.
  RunCommand("convert " + Quote(rgb) + " -define quantum:format=floating-point -depth 32 " + Quote(luvF) +
             " 2>/dev/null");
  RunCommand("convert " + Quote(grey) + " -define quantum:format=floating-point -depth 32 " + Quote(greyF) +
             " 2>/dev/null");
  ASSERT_FALSE(ReadFileBytes(luvF).empty());
  ASSERT_FALSE(ReadFileBytes(greyF).empty());
  ExpectSameAsLibtiff(luvF, "-c sgilog");
  ExpectSameAsLibtiff(greyF, "-c sgilog");
}

TEST_F(TiffFixtures, MultiPageCountingAndSelection) {
  std::string multi = dir.File("multi.tif");
  ASSERT_EQ(RunCommand("tiffcp -c lzw " + Quote(rgb) + " " + Quote(grey) + " " + Quote(bw) + " " + Quote(multi)), 0);
  for (int page = 0; page < 3; page++) {
    Rgba ref, ours;
    ASSERT_TRUE(DecodeWithLibtiff(multi, &ref, page));
    Info info;
    ASSERT_EQ(LoadPage(multi, &ours, page, 0, &info), 0);
    EXPECT_EQ(info.imageCount, 3u);
    EXPECT_EQ(MaxDifference(ours, ref), 0) << "page " << page;
  }
  // An index beyond the last page loads the first.
  Rgba first, beyond;
  ASSERT_EQ(LoadPage(multi, &first, 0), 0);
  ASSERT_EQ(LoadPage(multi, &beyond, 5), 0);
  EXPECT_EQ(MaxDifference(first, beyond), 0);
  EXPECT_EQ(beyond.width, 61);
}

TEST_F(TiffFixtures, DamagedFixturesNeverCrash) {
  const std::pair<const std::string*, const char*> copies[] = {
      {&rgb, "lzw:2 -t -w 16 -l 16"}, {&rgb, "zip"}, {&rgb, "packbits -p separate"},
      {&rgb, "jpeg -r 16"}, {&bw, "g3"}, {&bw, "g3:2d:fill"}, {&bw, "g4"}, {&bw, "lzw"}};
  for (const auto& [source, c] : copies) {
    std::string out = dir.File("d.tif");
    std::string command = "tiffcp -c " + std::string(c) + " " + Quote(*source) + " " + Quote(out);
    ASSERT_EQ(RunCommand(command), 0);
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(out), "tif", 48), 0) << c;
  }
}

// ---------------------------------------------------------------- formulas

// TIFF 6.0's YCbCr to RGB in double precision, truncated.
void YCbCrToRgb(int y, int cb, int cr, double lr, double lg, double lb, uint8_t* out) {
  double c = cb - 128, r = cr - 128;
  double v[3] = {y + (2 - 2 * lr) * r, y - (lb * (2 - 2 * lb) * c + lr * (2 - 2 * lr) * r) / lg, y + (2 - 2 * lb) * c};
  for (int i = 0; i < 3; i++) out[i] = v[i] < 0 ? 0 : v[i] > 255 ? 255 : (uint8_t)v[i];
}

TEST_F(TiffTest, YCbCrBlocksExpandWithTheirCoefficients) {
  const int w = 13, h = 7;
  auto cb = [](int bx, int by) { return (bx * 53 + by * 17 + 40) & 0xFF; };
  auto cr = [](int bx, int by) { return (bx * 29 + by * 71 + 200) & 0xFF; };
  for (int sh : {1, 2, 4})
    for (int sv : {1, 2, 4})
      for (bool coefficients : {false, true}) {
        SCOPED_TRACE(std::to_string(sh) + "x" + std::to_string(sv) +
                     (coefficients ? " with coefficients" : ""));
        auto luma = [&](int x, int y) {
          return (x / sh * 37 + y / sv * 91 + x % sh * 11 + y % sv * 23) & 0xFF;
        };
        // Blocks of sh x sv luma samples followed by Cb and Cr.
        std::vector<uint8_t> data;
        for (int by = 0; by < (h + sv - 1) / sv; by++)
          for (int bx = 0; bx < (w + sh - 1) / sh; bx++) {
            for (int j = 0; j < sv; j++)
              for (int i = 0; i < sh; i++) data.push_back((uint8_t)luma(bx * sh + i, by * sv + j));
            data.push_back((uint8_t)cb(bx, by));
            data.push_back((uint8_t)cr(bx, by));
          }
        TiffBuilder b = Basic(w, h, 8, 3, 6, data);
        b.Shorts(530, {(uint32_t)sh, (uint32_t)sv});
        double lr = 0.299, lg = 0.587, lb = 0.114;
        if (coefficients) {
          lr = 0.2125, lg = 0.7154, lb = 0.0721;
          b.Rationals(529, {2125, 10000, 7154, 10000, 721, 10000});
        }
        Rgba ours;
        Info info;
        ASSERT_EQ(Load(b, &ours, &info), 0);
        EXPECT_EQ(info.colourModel, 4);
        for (int y = 0; y < h; y++)
          for (int x = 0; x < w; x++) {
            uint8_t expect[3];
            YCbCrToRgb(luma(x, y), cb(x / sh, y / sv), cr(x / sh, y / sv), lr, lg, lb, expect);
            const uint8_t* o = ours.at(x, y);
            ASSERT_TRUE(o[0] == expect[0] && o[1] == expect[1] && o[2] == expect[2])
                << x << "," << y;
          }
      }
}

// SGILog24 pixels through the LogLuv definition: 10-bit log luminance, a
// uv cell index, XYZ, the RGB matrix and the square-root tone curve.
uint8_t Tone(double v) { return v <= 0 ? 0 : v >= 1 ? 255 : (uint8_t)(256 * std::sqrt(v)); }

TEST_F(TiffTest, LogLuv24FollowsTheLogLuvDefinition) {
  // Neutral chromaticity (index above the table) keeps u, v at the white point.
  struct Pixel {
    uint32_t le, index;
  };
  const Pixel pixels[] = {{0, 16300}, {300, 16300}, {700, 16300}, {767, 16383}, {900, 16300}, {1023, 16300}};
  std::vector<uint8_t> data;
  for (const Pixel& p : pixels) {
    uint32_t v = (p.le << 14) | p.index;
    data.push_back((uint8_t)(v >> 16));
    data.push_back((uint8_t)(v >> 8));
    data.push_back((uint8_t)v);
  }
  TiffBuilder b = Basic(6, 1, 8, 3, 32845, data);
  b.Short(259, 34677);
  Rgba ours;
  Info info;
  ASSERT_EQ(Load(b, &ours, &info), 0);
  EXPECT_EQ(info.colourModel, 7);
  EXPECT_STREQ(info.compressionText, "SGILog24");
  for (int i = 0; i < 6; i++) {
    double Y = pixels[i].le == 0 ? 0 : std::exp((pixels[i].le + 0.5) * 0.010830424696249145 - 8.317766166719343);
    double u = 0.210526316, v = 0.473684211;
    double s = 6 * u - 16 * v + 12, x = 9 * u / s, y = 4 * v / s;
    double X = x / y * Y, Z = (1 - x - y) / y * Y;
    uint8_t r = Tone(2.690 * X - 1.276 * Y - 0.414 * Z), g = Tone(-1.022 * X + 1.978 * Y + 0.044 * Z),
            bl = Tone(0.061 * X - 0.224 * Y + 1.163 * Z);
    EXPECT_EQ(ours.at(i, 0)[0], r) << i;
    EXPECT_EQ(ours.at(i, 0)[1], g) << i;
    EXPECT_EQ(ours.at(i, 0)[2], bl) << i;
  }
}

// ---------------------------------------------------------------- the page

std::vector<uint8_t> Ramp(int n, int step = 1) {
  std::vector<uint8_t> v((size_t)n);
  for (int i = 0; i < n; i++) v[(size_t)i] = (uint8_t)(i * step);
  return v;
}

TEST_F(TiffTest, BothByteOrdersLoadIdentically) {
  std::vector<uint8_t> data = Ramp(9 * 5 * 3, 7);
  Rgba little, big;
  for (bool be : {false, true}) {
    TiffBuilder b = Basic(9, 5, 8, 3, 2, data, be);
    b.Rational(282, 300, 1);
    b.Rational(283, 300, 1);
    Info info;
    ASSERT_EQ(Load(b, be ? &big : &little, &info), 0);
    EXPECT_EQ(info.xDpi, 300);
    EXPECT_STREQ(info.formatText, "TIFF");
  }
  EXPECT_EQ(MaxDifference(little, big), 0);
  EXPECT_EQ(little.at(1, 0)[0], 21);
}

TEST_F(TiffTest, OrientationThreeTurnsThePageHalfway) {
  std::vector<uint8_t> data = Ramp(6 * 4, 10);
  TiffBuilder plain = Basic(6, 4, 8, 1, 1, data);
  TiffBuilder turned = Basic(6, 4, 8, 1, 1, data);
  turned.Short(274, 3);
  Rgba a, b;
  ASSERT_EQ(Load(plain, &a), 0);
  ASSERT_EQ(Load(turned, &b), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++) EXPECT_EQ(b.at(x, y)[0], a.at(5 - x, 3 - y)[0]);
}

TEST_F(TiffTest, ResolutionInCentimetresAndPositionInPixels) {
  TiffBuilder cm = Basic(2, 2, 8, 1, 1, Ramp(4));
  cm.Rational(282, 100, 1);
  cm.Rational(283, 100, 1);
  cm.Short(296, 3);
  Info cmInfo, posInfo;
  Rgba out;
  ASSERT_EQ(Load(cm, &out, &cmInfo), 0);
  EXPECT_EQ(cmInfo.xDpi, 253);
  EXPECT_EQ(cmInfo.yDpi, 253);
  TiffBuilder pos = Basic(2, 2, 8, 1, 1, Ramp(4));
  pos.Rational(282, 150, 1);
  pos.Rational(283, 200, 1);
  pos.Rational(286, 3, 2);  // 1.5 inches
  pos.Rational(287, 1, 4);  // 0.25 inches
  ASSERT_EQ(Load(pos, &out, &posInfo), 0);
  EXPECT_EQ(posInfo.readerValue1, 225u);
  EXPECT_EQ(posInfo.readerValue2, 50u);
}

TEST_F(TiffTest, RefusedPagesGiveTheirMessages) {
  // LZW: clear, 'A' 'B' 'C' 'D' (one 4-pixel row), then code 400 while the
  // table holds up to 261.
  std::vector<uint8_t> badLzw;
  uint64_t bits = 0;
  int count = 0;
  for (uint32_t c : {256, 65, 66, 67, 68, 400, 69}) {
    bits = (bits << 9) | c;
    for (count += 9; count >= 8; count -= 8) badLzw.push_back((uint8_t)(bits >> (count - 8)));
  }
  badLzw.push_back((uint8_t)(bits << (8 - count)));
  const struct {
    uint16_t tag;
    uint32_t value;
    const char* message;
  } cases[] = {{262, 4, "TIFF : Bad photometric interpretation !"},
               {259, 99, "TIFF : Bad data compression algorithm !"},
               {259, 6, "TIFF : Bad data compression algorithm !"},
               {259, 5, "TIFF : Bad LZW codes !"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TiffBuilder b = c.value == 5 ? Basic(4, 3, 8, 1, 1, badLzw) : Basic(4, 4, 8, 1, 1, Ramp(16));
    b.Short(c.tag, c.value);
    Info info;
    Rgba out;
    EXPECT_EQ(Load(b, &out, &info), 9) << c.tag << "=" << c.value;
    EXPECT_STREQ(info.message, c.message);
  }
}

TEST_F(TiffTest, BrokenDirectoryChainsEndTheCount) {
  TiffBuilder b = Basic(4, 4, 8, 1, 1, Ramp(16));
  std::vector<uint8_t> file = b.Build();
  uint32_t ifd = file[4] | file[5] << 8 | file[6] << 16 | (uint32_t)file[7] << 24;
  uint32_t entries = file[ifd] | file[ifd + 1] << 8;
  size_t next = ifd + 2 + 12 * entries;
  // A next-directory offset past the end, then one pointing at itself.
  for (uint32_t target : {(uint32_t)file.size() + 100, ifd}) {
    for (int i = 0; i < 4; i++) file[next + i] = (uint8_t)(target >> (8 * i));
    Info info;
    Rgba out;
    ASSERT_EQ(peer::LoadRgba(Write("chain.tif", file), &out, 0, &info), 0);
    EXPECT_EQ(info.imageCount, 1u);
  }
}

// Little-endian files only: value `index` of the array of `tag`.
void PatchArrayValue(std::vector<uint8_t>& file, uint16_t tag, uint32_t index, uint32_t value) {
  auto u16 = [&](size_t at) { return (uint32_t)(file[at] | file[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  uint32_t ifd = u32(4);
  for (uint32_t e = 0; e < u16(ifd); e++) {
    size_t entry = ifd + 2 + 12 * e;
    if (u16(entry) != tag) continue;
    size_t size = u16(entry + 2) == 3 ? 2 : 4;
    size_t at = u32(entry + 4) * size > 4 ? u32(entry + 8) : entry + 8;
    at += index * size;
    for (size_t i = 0; i < size; i++) file[at + i] = (uint8_t)(value >> (8 * i));
  }
}

TEST_F(TiffTest, BrokenStripsKeepTheRowsDecodedSoFar) {
  // Two strips of two rows; the second lies past the end of the file.
  TiffBuilder b = Basic(8, 4, 8, 1, 1, Ramp(16, 9));
  b.chunks.push_back(Ramp(16, 3));
  b.Long(278, 2);
  std::vector<uint8_t> file = b.Build();
  std::string good = Write("good.tif", file);
  Rgba out;
  ASSERT_EQ(peer::LoadRgba(good, &out), 0);
  EXPECT_EQ(out.at(3, 3)[0], 11 * 3);
  PatchArrayValue(file, 273, 1, 100000);
  std::string path = Write("strips.tif", file);
  EXPECT_EQ(peer::LoadRgba(path, &out), 4);
  ASSERT_EQ(peer::LoadRgba(path, &out, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(out.at(1, 0)[0], 9);
  EXPECT_EQ(out.at(7, 1)[0], 15 * 9);
  EXPECT_EQ(out.at(3, 3)[0], 0);
  // A byte count of 0 reads what the file holds from the offset.
  file = b.Build();
  PatchArrayValue(file, 279, 0, 0);
  ASSERT_EQ(peer::LoadRgba(Write("zero.tif", file), &out, LOAD_KEEP_PARTIAL), 0);
  EXPECT_EQ(out.at(7, 1)[0], 15 * 9);
}

TEST_F(TiffTest, HugeTilesAreRefusedNotAllocated) {
  TiffBuilder b = Basic(64, 64, 8, 3, 2, std::vector<uint8_t>(16, 1));
  b.tiled = true;
  b.Long(322, 0x10000000);
  b.Long(323, 0x10000000);
  Rgba out;
  EXPECT_NE(Load(b, &out), 0);
}

TEST_F(TiffTest, TextTagsAndTheComment) {
  TiffBuilder b = Basic(2, 2, 8, 1, 1, Ramp(4));
  b.Ascii(270, "A harbour at dawn");
  b.Ascii(271, "Acme");
  b.Ascii(272, "Scanner 9");
  b.Ascii(305, "ScanSoft");
  b.Ascii(315, "J. Doe");
  b.Ascii(33432, "(c) 2001");
  Image image{};
  Info info;
  const uint32_t flags = LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS;
  ASSERT_EQ(LoadFile(Write("texts.tif", b.Build()), &image, flags, &info), 0);
  ASSERT_NE(image.comment, nullptr);
  EXPECT_STREQ(image.comment, "A harbour at dawn");
  std::vector<std::string> texts;
  for (int i = 0; i < info.textCount; i++) texts.push_back(info.texts[i]);
  std::vector<std::string> expected = {"Artist: J. Doe", "Copyright: (c) 2001", "Make: Acme", "Model: Scanner 9",
                                       "Software: ScanSoft"};
  EXPECT_EQ(texts, expected);
  ImageFree(&image);
}

const MetadataBlock* FindBlock(const MetadataBlock* list, uint32_t kind) {
  for (; list; list = list->next)
    if (list->kind == kind) return list;
  return nullptr;
}

TEST_F(TiffTest, IptcPhotoshopAndIccBlocks) {
  TiffBuilder b = Basic(2, 2, 8, 1, 1, Ramp(4));
  std::vector<uint8_t> iptc = {0x1C, 0x02, 0x05, 0x00, 0x03, 'S', 'e', 'a'};
  std::vector<uint8_t> icc(132, 0x42);
  b.Raw(33723, tiff_test::kUndefined, (uint32_t)iptc.size(), iptc);
  b.Raw(34675, tiff_test::kUndefined, (uint32_t)icc.size(), icc);
  Image image{};
  ASSERT_EQ(LoadFile(Write("meta.tif", b.Build()), &image, LOAD_KEEP_METADATA), 0);
  const MetadataBlock* block = FindBlock(image.metadata, META_IPTC);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(block->size, 24 + iptc.size());
  EXPECT_EQ(memcmp(block->data, "Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0", 24), 0);
  EXPECT_EQ(memcmp(block->data + 24, iptc.data(), iptc.size()), 0);
  const MetadataBlock* profile = FindBlock(image.metadata, META_ICC);
  ASSERT_NE(profile, nullptr);
  EXPECT_EQ(profile->size, icc.size());
  ImageFree(&image);
}

void CollectRow(void* context, int, int, const char* name, const char* value) {
  if (name && value) (*(std::map<std::string, std::string>*)context)[name] = value;
}

TEST_F(TiffTest, ExifDirectoryReadsLikeExiftool) {
  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool missing";
  std::string path = Write("exif.tif", Basic(8, 8, 8, 1, 1, Ramp(64)).Build());
  ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -ExposureTime=1/100 -FNumber=2.8 -ISO=200 "
                       "-DateTimeOriginal='2020:01:02 03:04:05' -Make=Acme -Model='Cam 1' " +
                       Quote(path)),
            0);
  Image image{};
  Info info;
  ASSERT_EQ(LoadFile(path, &image, LOAD_KEEP_METADATA, &info), 0);
  ASSERT_TRUE(HasExif(image.metadata));
  std::map<std::string, std::string> rows;
  ASSERT_TRUE(ReadExif(image.metadata, CollectRow, &rows));
  std::string all;
  for (auto& [k, v] : rows) all += k + "=" + v + "\n";
  for (const char* tag : {"ExposureTime", "FNumber", "ISO", "DateTimeOriginal", "Make", "Model"}) {
    std::string value;
    RunCommand("exiftool -s3 -" + std::string(tag) + " " + Quote(path), &value);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    ASSERT_FALSE(value.empty()) << tag;
    EXPECT_NE(all.find(value), std::string::npos) << tag << " = " << value << "\n" << all;
  }
  ImageFree(&image);
}

}  // namespace
