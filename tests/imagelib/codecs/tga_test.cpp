// Targa reader and writer: real files and fixtures of every type, depth and
// orientation against ImageMagick and Pillow, header checks, run-length
// packets across rows, the image ID as comment, the three writer variants
// read back by ImageMagick, and damaged input.
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/reader_contract.h"
#include "tests/imagelib/codecs/peer_decode.h"

using namespace testing_support;
using peer::BaseName;
using peer::Quote;

namespace {

class TargaTest : public ::testing::Test {
 protected:
  FormatsScope formats;
};

// An 18-byte Targa header.
std::vector<uint8_t> TargaHeader(int idLength, int mapType, int type, int firstEntry, int mapLength,
                                 int entrySize, int width, int height, int depth, int descriptor) {
  std::vector<uint8_t> h(18, 0);
  h[0] = (uint8_t)idLength;
  h[1] = (uint8_t)mapType;
  h[2] = (uint8_t)type;
  peer::PutLe16(h, 3, firstEntry);
  peer::PutLe16(h, 5, mapLength);
  h[7] = (uint8_t)entrySize;
  peer::PutLe16(h, 12, width);
  peer::PutLe16(h, 14, height);
  h[16] = (uint8_t)depth;
  h[17] = (uint8_t)descriptor;
  return h;
}

// Writes fixtures with Pillow in one run: for each name, mode (L, P, RGB or
// RGBA), RLE flag and orientation (1 top-down, -1 bottom-up), DIR/NAME.tga
// and Pillow's own decoding of it as DIR/NAME.pam.
struct PillowCase {
  std::string name, mode;
  bool rle;
  int orientation;
};

bool PillowTargas(const TempDir& dir, const std::vector<PillowCase>& cases) {
  std::string program = std::string(peer::PillowPamWriter()) +
      "w, h = 37, 23\n"
      "base = Image.new('RGBA', (w, h))\n"
      "base.putdata([((x * 7) % 256, (y * 11) % 256, ((x // 4) * 40 + y) % 256, (x * y) % 256)"
      " for y in range(h) for x in range(w)])\n"
      "def make(name, mode, rle, orientation):\n"
      "    im = base\n"
      "    if mode == 'P': im = im.convert('RGB').quantize(37)\n"
      "    elif mode != 'RGBA': im = im.convert(mode)\n"
      "    path = " + Quote(dir.path() + "/") + " + name\n"
      "    im.save(path + '.tga', compression='tga_rle' if rle else None, orientation=orientation)\n"
      "    pam(path + '.pam', Image.open(path + '.tga'))\n";
  for (const PillowCase& c : cases)
    program += "make('" + c.name + "', '" + c.mode + "', " + (c.rle ? "True" : "False") + ", " +
               std::to_string(c.orientation) + ")\n";
  return peer::RunPython(program) == 0;
}

TEST_F(TargaTest, EveryCorpusFileMatchesAPeerDecoder) {
  std::string dir = CorpusDir("tga");
  if (dir.empty()) GTEST_SKIP() << "no picture corpus";
  int compared = 0;
  for (const std::string& file : ListFiles(dir)) {
    const std::string name = BaseName(file);
    SCOPED_TRACE(name);
    Rgba ours;
    int result = peer::LoadRgba(file, &ours, LOAD_FOUR_BYTES);
    if (name == "pillow-p_8.tga") {
      // Deliberately malformed: 8-bit colour map entries and no pixel data.
      EXPECT_NE(result, 0);
      continue;
    }
    ASSERT_EQ(result, 0);
    Rgba reference;
    bool compareAlpha = true;
    if (name.rfind("twelvemonkeys-monochrome16", 0) == 0) {
      // Grey with alpha; ImageMagick 6 reads these 16-bit pixels as colour.
      ASSERT_TRUE(peer::DecodeWithPillow(file, &reference));
    } else if (name == "image-rs-b5-unused-cmap.tga") {
      // ImageMagick fails on the unused colour map; the picture is the same
      // as the file without one.
      ASSERT_TRUE(peer::DecodeWithMagickArgs(dir + "/image-rs-b5-noattrib.tga", "", &reference));
    } else {
      // The orientation bits are applied by -auto-orient (ImageMagick keeps
      // right-to-left rows as stored otherwise).
      ASSERT_TRUE(peer::DecodeWithMagickArgs(file, "-auto-orient", &reference));
    }
    if (name.find("16") != std::string::npos || name.find("b5") != std::string::npos) compareAlpha = false;
    EXPECT_EQ(MaxDifference(ours, reference, compareAlpha), 0);
    ++compared;
  }
  EXPECT_GE(compared, 25);
}

TEST_F(TargaTest, FixturesOfEveryTypeAndOrientationMatchPillow) {
  if (!peer::HavePillow()) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  struct Kind {
    const char* mode;
    int type;  // plain type; RLE adds 8
  } kinds[] = {{"P", 1}, {"RGB", 2}, {"RGBA", 2}, {"L", 3}};
  std::vector<PillowCase> cases;
  for (const Kind& k : kinds)
    for (bool rle : {false, true})
      for (int orientation : {1, -1})
        cases.push_back({std::string(k.mode) + (rle ? "_rle" : "") + (orientation == 1 ? "_top" : "_bottom"),
                         k.mode, rle, orientation});
  ASSERT_TRUE(PillowTargas(dir, cases));
  for (const PillowCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(c.name + ".tga");
    int type = 0;
    for (const Kind& k : kinds)
      if (c.mode == k.mode) type = k.type + (c.rle ? 8 : 0);
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes[2], type);
    Rgba ours, reference;
    ImageInfo info{};
    ASSERT_EQ(peer::LoadRgba(path, &ours, LOAD_FOUR_BYTES, &info), 0);
    ASSERT_TRUE(peer::ReadPam(dir.File(c.name + ".pam"), &reference));
    EXPECT_EQ(MaxDifference(ours, reference, true), 0);
    EXPECT_EQ(info.sourceLayout, c.orientation == 1 ? 0 : LAYOUT_BOTTOM_UP);
    EXPECT_EQ(info.compression, c.rle ? COMPRESSION_RLE : COMPRESSION_NONE);
    char text[64];
    snprintf(text, sizeof text, "Truevision TARGA (Type %d)", type);
    EXPECT_STREQ(info.formatText, text);
    ImageInfoFree(&info);
  }
}

TEST_F(TargaTest, PaletteFileLoadsAsIndexedAndTrueColourAsRgb) {
  if (!peer::HavePillow()) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  ASSERT_TRUE(PillowTargas(dir, {{"p", "P", true, -1}, {"l", "L", false, 1}, {"rgb", "RGB", false, 1}}));
  for (auto [name, type] : {std::pair{"p", PIXEL_INDEXED}, {"l", PIXEL_GREY}, {"rgb", PIXEL_RGB}}) {
    SCOPED_TRACE(name);
    Image image{};
    ASSERT_EQ(LoadFile(dir.File(std::string(name) + ".tga"), &image), 0);
    EXPECT_EQ(image.pixelType, type);
    ImageFree(&image);
  }
}

TEST_F(TargaTest, RunPacketsCrossRowEnds) {
  TempDir dir;
  // 3 x 2, 24-bit RLE, top-down: a run of 4 red pixels (row 0 and the first
  // pixel of row 1), then a raw packet of 2 pixels.
  std::vector<uint8_t> f = TargaHeader(0, 0, 10, 0, 0, 0, 3, 2, 24, 0x20);
  const uint8_t data[] = {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 0, 0};
  f.insert(f.end(), data, data + sizeof data);
  std::string path = dir.File("cross.tga");
  WriteFileBytes(path, f);
  Rgba ours;
  ASSERT_EQ(peer::LoadRgba(path, &ours), 0);
  const uint8_t expected[6][3] = {{255, 0, 0}, {255, 0, 0}, {255, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int i = 0; i < 6; ++i) {
    const uint8_t* p = ours.at(i % 3, i / 3);
    EXPECT_EQ(p[0], expected[i][0]) << i;
    EXPECT_EQ(p[1], expected[i][1]) << i;
    EXPECT_EQ(p[2], expected[i][2]) << i;
  }
  Rgba reference;
  if (peer::DecodeWithPillow(path, &reference)) {
    EXPECT_EQ(MaxDifference(ours, reference), 0);
  }

  // The same data cut short before the last packet: not complete.
  f.resize(f.size() - 7);
  WriteFileBytes(path, f);
  Image image{};
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_COMPLETE);
  ImageFree(&image);
  EXPECT_EQ(LoadFile(path, &image, LOAD_KEEP_PARTIAL), 0);
  ImageFree(&image);
}

TEST_F(TargaTest, HeaderChecksRefuseTheFile) {
  TempDir dir;
  std::string path = dir.File("bad.tga");
  auto loadHeader = [&](std::vector<uint8_t> h) {
    h.resize(h.size() + 64, 0);
    WriteFileBytes(path, h);
    Image image{};
    int r = LoadFile(path, &image);
    ImageFree(&image);
    return r;
  };
  EXPECT_EQ(loadHeader(TargaHeader(0, 0, 2, 0, 0, 0, 4, 4, 24, 0)), 0);
  EXPECT_EQ(loadHeader(TargaHeader(0, 0, 2, 0, 0, 0, 15001, 1, 24, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 0, 2, 0, 0, 0, 1, 15001, 24, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 2, 2, 0, 0, 0, 4, 4, 24, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 0, 4, 0, 0, 0, 4, 4, 24, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 0, 2, 0, 0, 0, 4, 4, 12, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 1, 1, 0, 257, 24, 4, 4, 8, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 1, 1, 0, 0, 24, 4, 4, 8, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 1, 1, 17, 16, 24, 4, 4, 8, 0)), RESULT_NOT_RECOGNISED);
  EXPECT_EQ(loadHeader(TargaHeader(0, 1, 1, 0, 16, 0, 4, 4, 8, 0)), RESULT_NOT_RECOGNISED);
  // A header cut before its descriptor is not taken for a Targa file.
  std::vector<uint8_t> cut = TargaHeader(0, 0, 2, 0, 0, 0, 4, 4, 24, 0);
  cut.resize(17);
  WriteFileBytes(path, cut);
  Image image{};
  EXPECT_EQ(LoadFile(path, &image), RESULT_NOT_RECOGNISED);
  ImageFree(&image);
}

TEST_F(TargaTest, ImageIdBecomesTheCommentWhenAsked) {
  TempDir dir;
  const std::string id = "Quivra id field";
  std::vector<uint8_t> f = TargaHeader((int)id.size(), 0, 3, 0, 0, 0, 2, 1, 8, 0x20);
  f.insert(f.end(), id.begin(), id.end());
  f.push_back(10);
  f.push_back(200);
  std::string path = dir.File("id.tga");
  WriteFileBytes(path, f);
  Image image{};
  ASSERT_EQ(LoadFile(path, &image, LOAD_KEEP_COMMENT), 0);
  ASSERT_NE(image.comment, nullptr);
  EXPECT_EQ(std::string(image.comment), id);
  EXPECT_EQ(ImageRow(&image, 0)[1], 200);
  ImageFree(&image);
  ASSERT_EQ(LoadFile(path, &image), 0);
  EXPECT_EQ(image.comment, nullptr);
  ImageFree(&image);
}

TEST_F(TargaTest, CancellingThroughTheRowCallbackStopsTheLoad) {
  if (!peer::HavePillow()) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  std::string path = dir.File("c.tga");
  ASSERT_TRUE(PillowTargas(dir, {{"c", "RGB", true, -1}}));
  LoadOptions options;
  LoadOptionsInit(&options);
  options.rowCallback = [](int, int, void*, int done) { return done >= 3 ? 1 : 0; };
  Image image{};
  std::u16string w = W(path);
  EXPECT_EQ(LoadImage(w.c_str(), &image, &options, nullptr), RESULT_CANCELLED);
  ImageFree(&image);
}

TEST_F(TargaTest, DamagedFilesNeverCrash) {
  if (!peer::HavePillow()) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  ASSERT_TRUE(PillowTargas(dir, {{"P", "P", true, -1}, {"RGBA", "RGBA", true, -1}}));
  for (const char* name : {"P", "RGBA"})
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(dir.File(std::string(name) + ".tga")), "tga"), 0);
  std::string corpus = CorpusDir("tga");
  if (!corpus.empty()) {
    EXPECT_GT(FeedDamagedCopies(ReadFileBytes(corpus + "/twelvemonkeys-CTC16.TGA"), "tga"), 0);
  }
}

// --- Writer ---------------------------------------------------------------

struct SavedTarga {
  int result = -1;
  std::vector<uint8_t> bytes;
};

SavedTarga Save(const Image& image, const std::string& path, bool rle) {
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("tga");
  options.rle = rle ? 1 : 0;
  std::u16string w = W(path);
  std::vector<char16_t> buffer(w.begin(), w.end());
  buffer.resize(w.size() + 80, 0);
  SavedTarga saved;
  saved.result = SaveImage(buffer.data(), &image, &options);
  saved.bytes = ReadFileBytes(path);
  return saved;
}

// Pictures of the five kinds the writer meets, with runs and noise so that
// both packet kinds are written.
void MakePicture(Image* image, uint16_t type, int width, int height) {
  ASSERT_EQ(ImageCreate(image, type, 4, width, height), 1);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < width; ++x) {
      const bool run = x < width / 3;  // equal pixels at the start of each row
      const int v = run ? y * 9 : (x * 37 + y * 11) & 0xFF;
      switch (type) {
        case PIXEL_BW: PutBit(row, x, run ? (y & 1) : ((x + y) & 1)); break;
        case PIXEL_GREY:
        case PIXEL_INDEXED: row[x] = (uint8_t)v; break;
        case PIXEL_RGB:
          row[x * 3] = (uint8_t)v;
          row[x * 3 + 1] = (uint8_t)(v ^ 0x55);
          row[x * 3 + 2] = (uint8_t)(255 - v);
          break;
        case PIXEL_RGBA:
          row[x * 4] = (uint8_t)v;
          row[x * 4 + 1] = (uint8_t)(v ^ 0x55);
          row[x * 4 + 2] = (uint8_t)(255 - v);
          row[x * 4 + 3] = (uint8_t)(run ? 255 : (x * 5) & 0xFF);
          break;
      }
    }
  }
  if (type == PIXEL_INDEXED)
    for (int i = 0; i < 256; ++i) {
      image->palette[i] = (uint8_t)i;
      image->palette[256 + i] = (uint8_t)(i * 3);
      image->palette[512 + i] = (uint8_t)(255 - i);
    }
}

TEST_F(TargaTest, WrittenVariantsReadBackByPeersWithTheirComment) {
  if (!HaveTool("convert") || !peer::HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  TempDir dir;
  struct Case {
    uint16_t type;
    int plainType, rleType, depth;
  } cases[] = {{PIXEL_RGB, 2, 10, 24}, {PIXEL_RGBA, 2, 10, 32}, {PIXEL_GREY, 3, 11, 8},
               {PIXEL_INDEXED, 1, 9, 8}, {PIXEL_BW, 3, 3, 1}};
  struct Written {
    std::string path, comment;
    uint16_t type;
    Rgba source;
  };
  std::vector<Written> written;
  for (const Case& c : cases)
    for (bool rle : {false, true})
      for (bool withComment : {false, true}) {
        SCOPED_TRACE("type " + std::to_string(c.type) + (rle ? " rle" : "") + (withComment ? " comment" : ""));
        Image image{};
        MakePicture(&image, c.type, 300, 7);
        const std::string comment = withComment ? "Written by Quivra " + std::to_string(c.type) : "";
        if (withComment) image.comment = strdup(comment.c_str());
        std::string path = dir.File("w" + std::to_string(c.type) + (rle ? "r" : "") + (withComment ? "c" : "") + ".tga");
        SavedTarga saved = Save(image, path, rle);
        ASSERT_EQ(saved.result, 0);
        ASSERT_GE(saved.bytes.size(), 18u);
        EXPECT_EQ(saved.bytes[2], rle ? c.rleType : c.plainType);
        EXPECT_EQ(saved.bytes[16], c.depth);
        EXPECT_EQ(saved.bytes[17], 0x20);
        EXPECT_EQ(saved.bytes[0], withComment ? comment.size() + 1 : 0u);
        EXPECT_EQ(saved.bytes[1], c.type == PIXEL_INDEXED ? 1 : 0);
        written.push_back({path, comment, c.type, ImageToRgba(image)});
        ImageFree(&image);
      }

  // Pillow's reading of every file, with its image ID.
  std::string program = std::string(peer::PillowPamWriter());
  for (const Written& w : written)
    program += "im = Image.open(" + Quote(w.path) + ")\npam(" + Quote(w.path + ".pil.pam") +
               ", im)\nopen(" + Quote(w.path + ".pil.id") +
               ", 'wb').write(im.info.get('id_section', b'').rstrip(b'\\0'))\n";
  ASSERT_EQ(peer::RunPython(program), 0);

  for (const Written& w : written) {
    SCOPED_TRACE(w.path);
    const bool alpha = w.type == PIXEL_RGBA;
    Rgba pillow;
    ASSERT_TRUE(peer::ReadPam(w.path + ".pil.pam", &pillow));
    EXPECT_EQ(MaxDifference(w.source, pillow, alpha), 0);
    std::vector<uint8_t> id = ReadFileBytes(w.path + ".pil.id");
    EXPECT_EQ(std::string(id.begin(), id.end()), w.comment);
    if (w.type != PIXEL_BW) {
      // ImageMagick 6 has no reader for 1-bit Targa pictures.
      std::string comment;
      ASSERT_EQ(RunCommand("convert " + Quote(w.path) + " -depth 8 -write " + Quote("pam:" + w.path + ".im.pam") +
                               " -format '%c' info: 2>/dev/null",
                           &comment),
                0);
      EXPECT_EQ(comment, w.comment);
      Rgba magick;
      ASSERT_TRUE(peer::ReadPam(w.path + ".im.pam", &magick));
      EXPECT_EQ(MaxDifference(w.source, magick, alpha), 0);
    }
    Rgba ours;
    ASSERT_EQ(peer::LoadRgba(w.path, &ours, LOAD_FOUR_BYTES), 0);
    EXPECT_EQ(MaxDifference(w.source, ours, alpha), 0);
  }
}

TEST_F(TargaTest, RunLengthRowsAreSmallerForFlatPictures) {
  TempDir dir;
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_RGB, 4, 500, 10), 1);  // all black
  SavedTarga plain = Save(image, dir.File("plain.tga"), false);
  SavedTarga rle = Save(image, dir.File("rle.tga"), true);
  ASSERT_EQ(plain.result, 0);
  ASSERT_EQ(rle.result, 0);
  EXPECT_EQ(plain.bytes.size(), 18u + 500u * 10u * 3u);
  // 500 equal pixels: packets of 128, 128, 128 and 116 per row.
  EXPECT_EQ(rle.bytes.size(), 18u + 10u * 4u * 4u);
  EXPECT_EQ(rle.bytes[18], 0xFF);
  EXPECT_EQ(rle.bytes[18 + 12], 128 + 116 - 1);
  ImageFree(&image);
}

TEST_F(TargaTest, GreyLevelsFewerThan256AreWrittenThroughTheRamp) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_GREY, 1, 16, 1), 1);
  image.paletteCount = 16;
  image.bitsPerSample = 4;
  for (int x = 0; x < 16; ++x) ImageRow(&image, 0)[x] = (uint8_t)x;
  std::string path = dir.File("g16.tga");
  ASSERT_EQ(Save(image, path, false).result, 0);
  Rgba magick;
  ASSERT_TRUE(peer::DecodeWithMagickArgs(path, "", &magick));
  for (int x = 0; x < 16; ++x) EXPECT_EQ(magick.at(x, 0)[0], x * 17) << x;
  ImageFree(&image);
}

TEST_F(TargaTest, UnwritablePathGivesCannotCreate) {
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_RGB, 4, 4, 4), 1);
  SavedTarga saved = Save(image, "/nonexistent-folder/x.tga", false);
  EXPECT_EQ(saved.result, RESULT_CANNOT_CREATE);
  ImageFree(&image);
}

}  // namespace
