// PNG reader and writer, checked against Pillow (and zlib through Python)
// on the PNG suite and on files made here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kPython[] = "/usr/bin/python3";

// Decodes PNG files with Pillow after the reader's transformations:
// 16-bit samples keep their upper byte, grey with alpha loses its alpha,
// palettes are expanded. Writes NAME.rgba (width, height, alpha flag, then
// RGBA bytes) into `out` for every input.
const char kPeerScript[] = R"PY(
import sys, os
from PIL import Image
out = sys.argv[1]
for path in sys.argv[2:]:
    try:
        im = Image.open(path)
        im.load()
    except Exception:
        continue
    w, h = im.size
    mode = im.mode
    alpha = 0
    with open(path, 'rb') as f:
        colour_type = f.read(26)[25]
    if colour_type == 4 and mode in ('LA', 'RGBA'):
        mode = 'LA'
        im = im.convert('RGBA') if im.mode != 'RGBA' else im
    if mode in ('I', 'I;16', 'I;16B', 'I;16L'):
        data = bytearray()
        for v in im.getdata():
            g = (v >> 8) & 255
            data += bytes((g, g, g, 255))
    else:
        if mode == 'RGBA' and colour_type != 4:
            alpha = 1
            im2 = im
        elif mode == 'LA':
            im2 = im.getchannel(0).convert('RGB').convert('RGBA')
        elif mode in ('1', 'L', 'P', 'RGB'):
            im2 = im.convert('RGB').convert('RGBA')
        else:
            continue
        data = im2.tobytes()
    with open(os.path.join(out, os.path.basename(path) + '.rgba'), 'wb') as f:
        f.write(b'%d %d %d\n' % (w, h, alpha))
        f.write(data)
)PY";

struct PeerPicture {
  Rgba pixels;
  bool alpha = false;
};

bool HavePillow() {
  return RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") == 0;
}

std::map<std::string, PeerPicture> DecodeWithPillow(const std::vector<std::string>& files) {
  std::map<std::string, PeerPicture> result;
  if (files.empty() || !HavePillow()) return result;
  TempDir dir;
  WriteFileBytes(dir.File("peer.py"),
                 std::vector<uint8_t>(kPeerScript, kPeerScript + sizeof kPeerScript - 1));
  std::string command =
      std::string(kPython) + " '" + dir.File("peer.py") + "' '" + dir.path() + "'";
  for (const auto& f : files) command += " '" + f + "'";
  RunCommand(command + " 2>/dev/null");
  for (const auto& f : files) {
    std::vector<uint8_t> bytes = ReadFileBytes(dir.File(f.substr(f.rfind('/') + 1) + ".rgba"));
    if (bytes.empty()) continue;
    std::string text(bytes.begin(), bytes.end());
    size_t nl = text.find('\n');
    int w = 0, h = 0, a = 0;
    if (nl == std::string::npos || sscanf(text.c_str(), "%d %d %d", &w, &h, &a) != 3) continue;
    if (bytes.size() - nl - 1 != (size_t)w * h * 4) continue;
    PeerPicture p;
    p.pixels.width = w;
    p.pixels.height = h;
    p.pixels.pixels.assign(bytes.begin() + (long)nl + 1, bytes.end());
    p.alpha = a != 0;
    result[f] = p;
  }
  return result;
}

struct Loaded {
  int result = -1;
  Image image{};
  ImageInfo info{};
  explicit Loaded(const std::string& path, uint32_t flags = 0, bool flattenAlpha = false,
                  bool flattenTransparency = false) {
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = flags;
    options.flattenAlpha = flattenAlpha;
    options.flattenTransparency = flattenTransparency;
    std::u16string w = W(path);
    result = LoadImage(w.c_str(), &image, &options, &info);
  }
  Loaded(const Loaded&) = delete;
  ~Loaded() {
    ImageFree(&image);
    ImageInfoFree(&info);
  }
};

// Runs a Python snippet with Pillow; `args` are appended quoted; `out` gets
// the output without its final line break.
int Python(const std::string& code, const std::vector<std::string>& args,
           std::string* out = nullptr) {
  std::string command = std::string(kPython) + " -c \"" + code + "\"";
  for (const auto& a : args) command += " '" + a + "'";
  int result = RunCommand(command + " 2>&1", out);
  while (out && !out->empty() && (out->back() == '\n' || out->back() == '\r')) out->pop_back();
  return result;
}

class PngTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePillow()) GTEST_SKIP() << "Pillow missing";
  }
  FormatsScope formats;
  TempDir dir;
};

std::vector<std::string> SuiteFiles(bool broken) {
  std::vector<std::string> out;
  std::string folder = CorpusDir("png");
  if (folder.empty()) return out;
  for (const auto& f : ListFiles(folder, ".png")) {
    std::string base = f.substr(f.rfind('/') + 1);
    bool x = base.rfind("pngsuite-x", 0) == 0 || base.find("truncated") != std::string::npos;
    if (x == broken) out.push_back(f);
  }
  return out;
}

}  // namespace

// --- reading -----------------------------------------------------------------

TEST_F(PngTest, SuitePixelsEqualPillowAfterTheReadTransformations) {
  auto files = SuiteFiles(false);
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  auto peers = DecodeWithPillow(files);
  int compared = 0;
  for (const auto& f : files) {
    auto it = peers.find(f);
    if (it == peers.end()) continue;
    Loaded ours(f);
    ASSERT_EQ(ours.result, 0) << f;
    const bool ourAlpha = ours.image.pixelType & PIXEL_ANY32;
    EXPECT_EQ(ourAlpha, it->second.alpha) << f;
    EXPECT_EQ(MaxDifference(ImageToRgba(ours.image), it->second.pixels, it->second.alpha), 0) << f;
    ++compared;
  }
  EXPECT_GT(compared, 100);
}

TEST_F(PngTest, BrokenSuiteFilesGiveResultCodes) {
  auto files = SuiteFiles(true);
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  for (const auto& f : files) {
    Loaded ours(f);
    EXPECT_NE(ours.result, 0) << f;
    EXPECT_EQ(ours.image.pixels, nullptr) << f;
    Loaded partial(f, LOAD_KEEP_PARTIAL);  // must not crash either
  }
}

TEST_F(PngTest, DamagedCopiesNeverCrash) {
  std::string folder = CorpusDir("png");
  if (folder.empty()) GTEST_SKIP() << "corpus absent";
  for (const char* name : {"pngsuite-basi3p02.png", "pngsuite-basn6a16.png",
                           "pngsuite-ctzn0g04.png", "wuffs-hippopotamus.interlaced.png"}) {
    std::vector<uint8_t> bytes = ReadFileBytes(folder + "/" + name);
    if (bytes.empty()) continue;
    EXPECT_GT(FeedDamagedCopies(bytes, "png", 48), 40) << name;
  }
}

TEST_F(PngTest, SuiteFilesAreDescribedAndLoadAsEightBit) {
  std::string folder = CorpusDir("png");
  if (folder.empty()) GTEST_SKIP() << "corpus absent";
  const struct {
    const char* name;
    const char* file;
    uint32_t pixelType;
    int bits;  // 0: not checked
    const char* formatText;
  } rows[] = {{"16-bit colour", "pngsuite-basi2c16.png", PIXEL_RGB, 24, nullptr},
              {"16-bit grey", "pngsuite-basn0g16.png", PIXEL_GREY, 8, "Portable Network Graphics"},
              {"grey with alpha", "pngsuite-basi4a08.png", PIXEL_GREY, 0, nullptr},
              {"interlaced", "pngsuite-basi2c08.png", PIXEL_RGB, 0,
               "Portable Network Graphics (Interlaced)"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded l(folder + "/" + row.file);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.image.pixelType, row.pixelType);
    EXPECT_EQ(l.info.compression, COMPRESSION_ZIP);
    if (row.bits) {
      EXPECT_EQ(l.info.bitsPerPlane, row.bits);
    }
    if (row.formatText) {
      EXPECT_EQ(std::string(l.info.formatText), row.formatText);
      EXPECT_EQ(l.info.interlaced, strstr(row.formatText, "Interlaced") ? 1u : 0u);
    }
  }
}

TEST_F(PngTest, AlphaIsKeptOrFlattenedOntoWhite) {
  std::string f = dir.File("rgba.png");
  ASSERT_EQ(Python("import sys;from PIL import Image;im=Image.new('RGBA',(16,4));"
                   "im.putdata([(x*16,200,40,x*17) for y in range(4) for x in range(16)]);"
                   "im.save(sys.argv[1])",
                   {f}),
            0);
  Loaded kept(f), flat(f, 0, true, false);
  ASSERT_EQ(kept.result, 0);
  ASSERT_EQ(flat.result, 0);
  EXPECT_EQ(kept.image.pixelType, PIXEL_RGBA);
  EXPECT_EQ(flat.image.pixelType, PIXEL_RGB);
  Rgba a = ImageToRgba(kept.image), b = ImageToRgba(flat.image);
  int worst = 0;
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(a.at(x, 0)[3], x * 17);
    for (int c = 0; c < 3; ++c) {
      int alpha = a.at(x, 0)[3];
      int expected = (a.at(x, 0)[c] * alpha + 255 * (255 - alpha) + 127) / 255;
      worst = std::max(worst, std::abs(expected - b.at(x, 0)[c]));
    }
  }
  EXPECT_LE(worst, 1);
}

TEST_F(PngTest, PaletteTransparencyGivesTheIndexOrIsFlattened) {
  std::string binary = dir.File("binary.png"), partial = dir.File("partial.png");
  const std::string make =
      "import sys;from PIL import Image;im=Image.new('P',(4,1));"
      "im.putpalette([10,20,30, 200,100,50, 0,255,0, 90,90,90]);im.putdata([0,1,2,3]);";
  ASSERT_EQ(Python(make + "im.save(sys.argv[1],transparency=bytes([255,0,255,0]))", {binary}), 0);
  ASSERT_EQ(Python(make + "im.save(sys.argv[1],transparency=bytes([255,128,0,255]))", {partial}),
            0);
  Loaded b(binary), bFlat(binary, 0, false, true), p(partial), pFlat(partial, 0, false, true);
  ASSERT_EQ(b.result, 0);
  ASSERT_EQ(pFlat.result, 0);
  EXPECT_EQ(b.image.pixelType, PIXEL_INDEXED);
  EXPECT_EQ(b.image.transparentIndex, 1);
  EXPECT_EQ(p.image.transparentIndex, 2);
  // Only 0 and 255: nothing to flatten.
  EXPECT_EQ(MaxDifference(ImageToRgba(b.image), ImageToRgba(bFlat.image)), 0);
  // 128 on entry 1: it is composited over white, fully opaque entries stay.
  Rgba flat = ImageToRgba(pFlat.image);
  const int expected[3] = {(200 * 128 + 255 * 127 + 127) / 255, (100 * 128 + 255 * 127 + 127) / 255,
                           (50 * 128 + 255 * 127 + 127) / 255};
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(flat.at(1, 0)[c], expected[c], 1) << c;
  EXPECT_EQ(flat.at(0, 0)[0], 10);
  EXPECT_EQ(flat.at(3, 0)[1], 90);
  EXPECT_EQ(flat.at(2, 0)[0], 255);  // alpha 0 over white
}

TEST_F(PngTest, TextChunksBecomeCommentAndTexts) {
  std::string f = dir.File("text.png");
  ASSERT_EQ(Python("import sys;from PIL import Image,PngImagePlugin as P;im=Image.new('L',(2,2));"
                   "i=P.PngInfo();i.add_text('COMMENT','Boats at rest');i.add_text('Author','Ana');"
                   "i.add_text('Title','nCC skipped');i.add_text('Place','Brest',zip=True);"
                   "im.save(sys.argv[1],pnginfo=i)",
                   {f}),
            0);
  Loaded ours(f, LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS);
  ASSERT_EQ(ours.result, 0);
  ASSERT_NE(ours.image.comment, nullptr);
  EXPECT_STREQ(ours.image.comment, "Boats at rest");
  std::vector<std::string> texts(ours.info.texts, ours.info.texts + ours.info.textCount);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Author: Ana"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Place: Brest"), texts.end());
  for (const auto& t : texts) EXPECT_EQ(t.find("nCC"), std::string::npos) << t;
  Loaded bare(f);
  EXPECT_EQ(bare.image.comment, nullptr);
}

TEST_F(PngTest, PhysicalSizeBecomesDpiAndIccIsKept) {
  std::string f = dir.File("phys.png");
  std::string profile = dir.File("srgb.icc");
  ASSERT_EQ(Python("import sys;from PIL import Image,ImageCms;"
                   "p=ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes();"
                   "open(sys.argv[2],'wb').write(p);im=Image.new('RGB',(2,2));"
                   "im.save(sys.argv[1],dpi=(300,150),icc_profile=p)",
                   {f, profile}),
            0);
  Loaded ours(f, LOAD_KEEP_METADATA);
  ASSERT_EQ(ours.result, 0);
  EXPECT_EQ(ours.info.xDpi, 300);
  EXPECT_EQ(ours.info.yDpi, 150);
  const MetadataBlock* icc = FindMetadata(ours.image.metadata, META_ICC);
  ASSERT_NE(icc, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(icc->data, icc->data + icc->size), ReadFileBytes(profile));
}

TEST_F(PngTest, TruncatedDataGivesFourWithTheRowsSoFar) {
  for (bool interlaced : {false, true}) {
    std::string f = dir.File(interlaced ? "i.png" : "n.png");
    ASSERT_EQ(Python(std::string("import sys,random;from PIL import Image;random.seed(3);"
                                 "im=Image.new('RGB',(64,64));"
                                 "im.putdata([(random.randrange(256),y*4,x*4) for y in range(64) "
                                 "for x in range(64)]);"
                                 "im.save(sys.argv[1],compress_level=0") +
                         (interlaced ? ",interlace=1" : "") + ")",
                     {f}),
              0);
    Loaded whole(f);
    ASSERT_EQ(whole.result, 0);
    Rgba full = ImageToRgba(whole.image);
    std::vector<uint8_t> bytes = ReadFileBytes(f);
    bytes.resize(bytes.size() * 6 / 10);
    std::string cut = dir.File("cut.png");
    WriteFileBytes(cut, bytes);
    Loaded strict(cut), partial(cut, LOAD_KEEP_PARTIAL);
    EXPECT_EQ(strict.result, 4) << interlaced;
    ASSERT_EQ(partial.result, 0) << interlaced;
    Rgba got = ImageToRgba(partial.image);
    ASSERT_EQ(got.width, 64);
    // The first row arrived whole (every pass of an interlaced file
    // reached row 0's first pixel); the last row did not.
    EXPECT_EQ(memcmp(got.at(0, 0), full.at(0, 0), 4), 0) << interlaced;
    if (!interlaced) {
      EXPECT_EQ(memcmp(got.at(0, 10), full.at(0, 10), 64 * 4), 0);
      EXPECT_NE(memcmp(got.at(0, 63), full.at(0, 63), 64 * 4), 0);
    }
  }
  std::string folder = CorpusDir("png");
  if (!folder.empty()) {
    Loaded t(folder + "/wuffs-hippopotamus.regular.truncated.png");
    EXPECT_EQ(t.result, 4);
  }
}

TEST_F(PngTest, NotPngIsRefused) {
  for (const auto& bytes : {std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0},
                            std::vector<uint8_t>{0x89, 'P', 'N'}}) {
    WriteFileBytes(dir.File("nope.png"), bytes);
    EXPECT_EQ(Loaded(dir.File("nope.png")).result, 2) << bytes.size() << " bytes";
  }
}

// --- writing ----------------------------------------------------------------------

namespace {

struct Saved {
  std::string path;
  int result;
};

Saved SavePng(const TempDir& dir, const std::string& name, const Image& image,
              const std::function<void(WriteOptions*)>& adjust = nullptr) {
  WriteOptions options;
  WriteOptionsInit(&options);
  if (adjust) adjust(&options);
  options.formatIndex = (int16_t)FindFormat("png");
  Saved s;
  s.path = dir.File(name);
  std::u16string wide = W(s.path);
  wide.resize(wide.size() + 70, u'\0');
  s.result = SaveImage(wide.data(), &image, &options);
  return s;
}

void Fill(Image* image, uint32_t type, int w, int h, int colours = 256) {
  ASSERT_EQ(ImageCreate(image, type, 4, w, h), 1);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < w; ++x) {
      switch (type) {
        case PIXEL_BW: PutBit(row, x, (x + y) % 3 == 0); break;
        case PIXEL_GREY: row[x] = (uint8_t)(x * 7 + y * 3); break;
        case PIXEL_INDEXED: row[x] = (uint8_t)((x + 2 * y) % colours); break;
        case PIXEL_RGB:
          row[3 * x] = (uint8_t)x;
          row[3 * x + 1] = (uint8_t)(y * 5);
          row[3 * x + 2] = (uint8_t)(x ^ y);
          break;
        case PIXEL_RGBA:
          row[4 * x] = (uint8_t)x; row[4 * x + 1] = (uint8_t)(y * 5);
          row[4 * x + 2] = (uint8_t)(x ^ y); row[4 * x + 3] = (uint8_t)(x * 3 + y);
          break;
      }
    }
  }
  if (type == PIXEL_INDEXED) {
    image->paletteCount = (int16_t)colours;
    for (int i = 0; i < colours; ++i) {
      image->palette[i] = (uint8_t)(i * 37);
      image->palette[256 + i] = (uint8_t)(255 - i * 11);
      image->palette[512 + i] = (uint8_t)(i * 5 + 3);
    }
  }
}

std::string PngInfo(const std::string& path) {
  std::string out;
  Python(
      "import sys,struct,zlib;from PIL import Image;d=open(sys.argv[1],'rb').read();"
      "ihdr=d[16:29];im=Image.open(sys.argv[1]);"
      "chunks=[];p=8\n"
      "while p<len(d):\n"
      " n=struct.unpack('>I',d[p:p+4])[0];chunks.append((d[p+4:p+8].decode(),n));p+=12+n\n"
      "plte=[n for c,n in chunks if c=='PLTE'];"
      "print('depth',ihdr[8],'type',ihdr[9],'interlace',ihdr[12],'plte',plte[0]//3 if plte else 0,"
      "'mode',im.mode,'dpi',im.info.get('dpi'),'trns',im.info.get('transparency'),"
      "'comment',im.info.get('Comment'))",
      {path}, &out);
  return out;
}

}  // namespace

TEST_F(PngTest, WrittenPicturesReadBackExactlyByPillow) {
  const struct {
    uint32_t type;
    int colours;
    int width;
    const char* header;  // as PngInfo prints it; nullptr: not checked
    const char* palette;
  } cases[] = {{PIXEL_RGB, 0, 37, nullptr, nullptr},
               {PIXEL_RGBA, 0, 20, "depth 8 type 6", nullptr},
               {PIXEL_GREY, 0, 19, nullptr, nullptr},
               {PIXEL_BW, 0, 33, "depth 1 type 0", nullptr},
               {PIXEL_INDEXED, 10, 33, "depth 4 type 3", "plte 16 "},
               {PIXEL_INDEXED, 200, 21, "depth 8 type 3", "plte 256 "}};
  for (const auto& c : cases) {
    for (int interlaced = 0; interlaced < 2; ++interlaced) {
      SCOPED_TRACE("type " + std::to_string(c.type) + " colours " + std::to_string(c.colours) +
                   " interlaced " + std::to_string(interlaced));
      Image image{};
      Fill(&image, c.type, c.width, 13, c.colours);
      Saved s = SavePng(dir, "w.png", image,
                        [&](WriteOptions* o) { o->interlaced = (uint8_t)interlaced; });
      ASSERT_EQ(s.result, 0);
      auto peers = DecodeWithPillow({s.path});
      ASSERT_EQ(peers.count(s.path), 1u);
      EXPECT_EQ(MaxDifference(ImageToRgba(image), peers[s.path].pixels, c.type == PIXEL_RGBA), 0);
      std::string info = PngInfo(s.path);
      std::vector<std::string> parts = {"interlace " + std::to_string(interlaced)};
      for (const char* part : {c.header, c.palette})
        if (part) parts.push_back(part);
      for (const auto& part : parts) EXPECT_NE(info.find(part), std::string::npos) << info;
      ImageFree(&image);
    }
  }
}

TEST_F(PngTest, WriterStoresResolutionCommentAndTransparency) {
  Image image{};
  Fill(&image, PIXEL_INDEXED, 8, 8, 10);
  image.xDpi = 300;
  image.yDpi = 72;
  image.transparentIndex = 3;
  image.comment = strdup("Lighthouse");
  Saved s = SavePng(dir, "meta.png", image);
  ASSERT_EQ(s.result, 0);
  std::string info = PngInfo(s.path);
  EXPECT_NE(info.find("trns 3"), std::string::npos) << info;
  EXPECT_NE(info.find("comment Lighthouse"), std::string::npos) << info;
  // Pillow rounds the stored pixels per metre back to dots per inch.
  EXPECT_NE(info.find("dpi (299.9"), std::string::npos) << info;
  Loaded back(s.path, LOAD_KEEP_COMMENT);
  ASSERT_EQ(back.result, 0);
  EXPECT_EQ(back.info.xDpi, 300);
  EXPECT_EQ(back.info.yDpi, 72);
  EXPECT_EQ(back.image.transparentIndex, 3);
  ASSERT_NE(back.image.comment, nullptr);
  EXPECT_STREQ(back.image.comment, "Lighthouse");
  ImageFree(&image);
}

TEST_F(PngTest, LevelAndFilterReachTheCompressedStream) {
  Image image{};
  Fill(&image, PIXEL_RGB, 40, 12);
  const std::string inspect =
      "import sys,struct,zlib;d=open(sys.argv[1],'rb').read();p=8;z=b''\n"
      "while p<len(d):\n"
      " n=struct.unpack('>I',d[p:p+4])[0]\n"
      " if d[p+4:p+8]==b'IDAT': z+=d[p+8:p+8+n]\n"
      " p+=12+n\n"
      "raw=zlib.decompress(z);rows=[raw[i*121] for i in range(12)];"
      "print((z[1]>>6), sorted(set(rows)))";
  struct Case {
    int level, filter;
    const char* expected;
  } cases[] = {{1, 1, "0 [1]"}, {9, 2, "3 [2]"}, {6, 3, "2 [3]"}, {12, 4, "3 [4]"}};
  for (const auto& c : cases) {
    Saved s = SavePng(dir, "lf.png", image, [&](WriteOptions* o) {
      o->level = (int16_t)c.level;
      o->pngFilter = (uint16_t)c.filter;
    });
    ASSERT_EQ(s.result, 0);
    std::string out;
    Python(inspect, {s.path}, &out);
    EXPECT_EQ(out, c.expected) << c.level << " " << c.filter;
  }
  ImageFree(&image);
}

TEST_F(PngTest, WriterRefusesAnUncreatableFile) {
  Image image{};
  Fill(&image, PIXEL_GREY, 4, 4);
  EXPECT_EQ(SavePng(dir, "no/such/dir/x.png", image).result, 5);
  ImageFree(&image);
}

TEST_F(PngTest, ShallowGreyIsWrittenAsItsGreysWithTheTransparentLevel) {
  Image image{};
  ASSERT_EQ(ImageCreate(&image, PIXEL_GREY, 1, 16, 2), 1);
  image.paletteCount = 16;
  image.bitsPerSample = 4;
  for (int x = 0; x < 16; ++x) ImageRow(&image, 0)[x] = ImageRow(&image, 1)[x] = (uint8_t)x;
  image.transparentIndex = 5;
  Saved s = SavePng(dir, "grey16.png", image);
  ASSERT_EQ(s.result, 0);
  auto peers = DecodeWithPillow({s.path});
  ASSERT_EQ(peers.count(s.path), 1u);
  EXPECT_EQ(MaxDifference(ImageToRgba(image), peers[s.path].pixels), 0);
  EXPECT_NE(PngInfo(s.path).find("trns 85"), std::string::npos)
      << PngInfo(s.path);  // level 5 of 16
  ImageFree(&image);
}
