// The format table, its lookups and extension helpers, and the load/save
// dispatch over real files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class Dispatch : public ::testing::Test {
 protected:
  FormatsScope formats;
  TempDir dir;

  // A small 24-bit picture saved as BMP under the given name.
  std::string MakeBmp(const std::string& name) {
    Image image;
    ImageCreate(&image, PIXEL_RGB, 4, 5, 3);
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < 15; ++i) ImageRow(&image, y)[i] = (uint8_t)(y * 40 + i);
    WriteOptions options;
    WriteOptionsInit(&options);
    options.formatIndex = (int16_t)FindFormat("bmp");
    std::string path = dir.File(name);
    std::u16string w = W(path);
    std::vector<char16_t> buffer(w.begin(), w.end());
    buffer.resize(w.size() + 70, 0);
    EXPECT_EQ(0, SaveImage(buffer.data(), &image, &options));
    ImageFree(&image);
    return path;
  }
};

TEST_F(Dispatch, TableRowsInOrder) {
  const char* names[] = {"jpeg", "tga", "bmp", "gif", "png", "2bp", "tiff", "pcx",
                         "pbm", "pgm", "ppm", "pnm", "xbm", "xpm", "ico"};
  const FormatRegistry* registry = Formats();
  ASSERT_EQ(15, registry->count);
  for (int i = 0; i < 15; ++i) {
    EXPECT_STREQ(names[i], registry->rows[i].shortName);
    EXPECT_EQ(i, FindFormat(names[i]));
    EXPECT_EQ(i == 5 ? 0u : 1u, registry->rows[i].flags & FORMAT_ENABLED) << names[i];
  }
  EXPECT_EQ(-1, FindFormat("JPEG"));
  EXPECT_EQ(nullptr, FormatShortName(15));
  EXPECT_EQ(nullptr, FormatShortName(-1));
  // Nested set-up and tear-down keep the table until the last user leaves.
  RegisterFormats(1);
  UnregisterFormats();
  EXPECT_EQ(15, Formats()->count);
}

TEST_F(Dispatch, ExtensionLookups) {
  EXPECT_EQ(1, IsRegisteredExtension(u"a\\b\\photo.JPG"));
  EXPECT_EQ(0, IsRegisteredExtension(u"photo.J"));  // table's "J" never matches
  EXPECT_EQ(0, IsRegisteredExtension(u"photo"));
  EXPECT_EQ(1, IsFormatExtension(u"x.rpgm", FindFormat("pnm")));
  EXPECT_EQ(0, IsFormatExtension(u"x.ppm", FindFormat("pgm")));
  EXPECT_EQ(0, IsFormatExtension(u"x.ppm", 99));
}

TEST_F(Dispatch, StripAndEnsureExtension) {
  char16_t a[80] = u"dir.d\\photo.1";
  StripExtension(a);
  EXPECT_EQ(std::u16string(u"dir.d\\photo.1"), std::u16string(a));
  char16_t b[80] = u"dir.d\\.hidden";
  StripExtension(b);
  EXPECT_EQ(std::u16string(u"dir.d\\.hidden"), std::u16string(b));
  char16_t c[80] = u"/tmp/x.y/name.png";
  StripExtension(c);
  EXPECT_EQ(std::u16string(u"/tmp/x.y/name"), std::u16string(c));
  const int jpeg = FindFormat("jpeg");
  char16_t d[80] = u"a.JPG";
  EnsureExtension(d, jpeg);
  EXPECT_EQ(std::u16string(u"a.JPG"), std::u16string(d));
  char16_t e[80] = u"a.bmp";
  EnsureExtension(e, jpeg);
  EXPECT_EQ(std::u16string(u"a.jpg"), std::u16string(e));
  char16_t f[80] = u"noext";
  EnsureExtension(f, FindFormat("png"));
  EXPECT_EQ(std::u16string(u"noext.png"), std::u16string(f));
}

TEST_F(Dispatch, WriterAcceptsByCapabilities) {
  Image indexed;
  ImageCreate(&indexed, PIXEL_INDEXED, 4, 2, 2);
  Image rgb;
  ImageCreate(&rgb, PIXEL_BGRA, 4, 2, 2);
  const char* extension = "unchanged";
  EXPECT_EQ(0, WriterAccepts(FindFormat("jpeg"), &indexed, &extension));
  EXPECT_EQ(1, WriterAccepts(FindFormat("jpeg"), &rgb, &extension));
  EXPECT_EQ(nullptr, extension);
  EXPECT_EQ(1, WriterAccepts(FindFormat("bmp"), &indexed, nullptr));  // no list: anything
  EXPECT_EQ(1, WriterAccepts(FindFormat("png"), &indexed, nullptr));
  ImageFree(&indexed);
  ImageFree(&rgb);
}

TEST_F(Dispatch, BitsForColours) {
  const int expected[][2] = {{0, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {9, 4}, {16, 4},
                             {17, 5}, {32, 5}, {33, 6}, {64, 6}, {65, 7}, {128, 7}, {129, 8}, {256, 8}};
  for (auto& e : expected) EXPECT_EQ(e[1], BitsForColours(e[0])) << e[0];
}

TEST_F(Dispatch, OptionDefaults) {
  LoadOptions l;
  LoadOptionsInit(&l);
  EXPECT_EQ(-1, l.formatIndex);
  EXPECT_EQ(4, l.rowAlignment);
  EXPECT_EQ(-1, l.maxWidth);
  EXPECT_EQ(-1, l.maxHeight);
  EXPECT_EQ(0u, l.flags);
  EXPECT_EQ(kDefaultMemoryCap, l.memoryCap);
  WriteOptions w;
  WriteOptionsInit(&w);
  EXPECT_EQ(100, w.quality);
  EXPECT_EQ(6, w.level);
  EXPECT_EQ(0xFFFF, w.jpegDctMethod);
  EXPECT_EQ(0xFFFF, w.jpegSubsampling);
  EXPECT_EQ(1, w.keepExif);
  EXPECT_EQ(1, w.keepIptc);
  SaveContext context{};
  context.options = w;
  EXPECT_EQ(100, WriteOptionValue(&context, 0));
  EXPECT_EQ(0, WriteOptionValue(&context, 7));
}

TEST_F(Dispatch, FindsTheReaderByExtensionThenByContent) {
  std::string right = MakeBmp("right.bmp");
  Image image{};
  ImageInfo info{};
  ASSERT_EQ(0, LoadFile(right, &image, 0, &info));
  EXPECT_EQ(FindFormat("bmp"), info.formatIndex);
  EXPECT_EQ(5, image.width);
  EXPECT_EQ(PIXEL_RGB, image.pixelType);
  EXPECT_EQ(40, ImageRow(&image, 1)[0]);
  EXPECT_GT(info.fileSize, 54u);
  ImageFree(&image);
  ImageInfoFree(&info);

  // A bitmap under a foreign extension is found by probing ...
  std::string wrong = dir.File("really_a_bitmap.gif");
  WriteFileBytes(wrong, ReadFileBytes(right));
  ASSERT_EQ(0, LoadFile(wrong, &image, 0, &info));
  EXPECT_EQ(FindFormat("bmp"), info.formatIndex);
  ImageFree(&image);
  ImageInfoFree(&info);
  // ... unless extensions alone are trusted.
  EXPECT_EQ(RESULT_NOT_RECOGNISED, LoadFile(wrong, &image, LOAD_TRUST_EXTENSION, &info));
  ImageInfoFree(&info);
  std::string unknown = dir.File("bitmap.xyz");
  WriteFileBytes(unknown, ReadFileBytes(right));
  EXPECT_EQ(RESULT_NOT_RECOGNISED, LoadFile(unknown, &image, LOAD_TRUST_EXTENSION, &info));
  ImageInfoFree(&info);
  ASSERT_EQ(0, LoadFile(unknown, &image, 0, &info));
  ImageFree(&image);
  ImageInfoFree(&info);

  // The disabled "2bp" row reads its own extension but is never probed.
  std::string twobp = dir.File("picture.2bp");
  WriteFileBytes(twobp, ReadFileBytes(right));
  ASSERT_EQ(0, LoadFile(twobp, &image, 0, &info));
  EXPECT_EQ(FindFormat("2bp"), info.formatIndex);
  ImageFree(&image);
  ImageInfoFree(&info);
}

TEST_F(Dispatch, MissingEmptyAndGarbageFiles) {
  Image image{};
  ImageInfo info{};
  EXPECT_EQ(RESULT_CANNOT_OPEN, LoadFile(dir.File("missing.bmp"), &image, 0, &info));
  WriteFileBytes(dir.File("empty.bmp"), {});
  EXPECT_EQ(RESULT_CANNOT_OPEN, LoadFile(dir.File("empty.bmp"), &image, 0, &info));
  WriteFileBytes(dir.File("noise.bmp"), std::vector<uint8_t>(300, 0x5A));
  EXPECT_EQ(RESULT_NOT_RECOGNISED, LoadFile(dir.File("noise.bmp"), &image, 0, &info));
  EXPECT_EQ(nullptr, image.pixels);
  ImageInfoFree(&info);
}

TEST_F(Dispatch, TruncatedFileIsKeptOnlyWhenAsked) {
  std::vector<uint8_t> bytes = ReadFileBytes(MakeBmp("whole.bmp"));
  bytes.resize(bytes.size() - 20);
  std::string cut = dir.File("cut.bmp");
  WriteFileBytes(cut, bytes);
  Image image{};
  ImageInfo info{};
  EXPECT_EQ(RESULT_NOT_COMPLETE, LoadFile(cut, &image, 0, &info));
  EXPECT_EQ(nullptr, image.pixels);
  ImageInfoFree(&info);
  EXPECT_EQ(0, LoadFile(cut, &image, LOAD_KEEP_PARTIAL, &info));
  ASSERT_NE(nullptr, image.pixels);
  EXPECT_EQ(3, image.height);
  ImageFree(&image);
  ImageInfoFree(&info);
}

TEST_F(Dispatch, InformationQueryReadsOnlyTheHeader) {
  std::string path = MakeBmp("info.bmp");
  ImageInfo info{};
  ASSERT_EQ(0, GetImageInfo(W(path).c_str(), -1, 0, &info));
  EXPECT_EQ(5, info.width);
  EXPECT_EQ(3, info.height);
  EXPECT_EQ(24, info.bitsPerPlane);
  EXPECT_EQ(1u, info.imageCount);
  EXPECT_STREQ("Windows Bitmap", info.formatText);
  ImageInfoFree(&info);
  EXPECT_EQ(RESULT_NOT_RECOGNISED, GetImageInfo(W(path).c_str(), 99, 0, &info));
}

TEST_F(Dispatch, SaveRefusals) {
  Image indexed;
  ImageCreate(&indexed, PIXEL_INDEXED, 4, 2, 2);
  WriteOptions options;
  WriteOptionsInit(&options);
  char16_t path[200];
  std::u16string w = W(dir.File("out.jpg"));
  memcpy(path, w.c_str(), (w.size() + 1) * 2);
  options.formatIndex = (int16_t)FindFormat("jpeg");
  EXPECT_EQ(RESULT_CANNOT_STORE, SaveImage(path, &indexed, &options));
  options.formatIndex = (int16_t)FindFormat("tiff");
  EXPECT_EQ(RESULT_NO_WRITER, SaveImage(path, &indexed, &options));
  options.formatIndex = 99;
  EXPECT_EQ(RESULT_NO_WRITER, SaveImage(path, &indexed, &options));
  ImageFree(&indexed);
}

TEST_F(Dispatch, SaveCanFixTheExtensionAndReturnTheName) {
  Image image;
  ImageCreate(&image, PIXEL_RGB, 4, 2, 2);
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("bmp");
  options.flags = SAVE_ADD_EXTENSION | SAVE_RETURN_NAME;
  char16_t path[300];
  std::u16string w = W(dir.File("named.jpeg"));
  memcpy(path, w.c_str(), (w.size() + 1) * 2);
  ASSERT_EQ(0, SaveImage(path, &image, &options));
  EXPECT_EQ(W(dir.File("named.bmp")), std::u16string(path));
  EXPECT_FALSE(ReadFileBytes(dir.File("named.bmp")).empty());
  ImageFree(&image);
}

TEST(ExifEntries, SerialisedAsATiffDirectory) {
  LoadContext context{};
  context.exifTail = &context.exifEntries;
  BeginExifEntries(&context, 1);
  const uint8_t make[6] = {'C', 'a', 'n', 'o', 'n', 0};
  const uint8_t iso[2] = {0x00, 0x64};
  CollectExifEntry(&context, 271, 2, 6, make, 6);
  CollectExifEntry(&context, 34855, 3, 1, iso, 2);
  MetadataBlock* block = SerialiseExifEntries(&context);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(META_EXIF, block->kind);
  // 6 + 8 + (2 + 2 * 12 + 4) + 6 bytes of the out-of-line value.
  ASSERT_EQ(50u, block->size);
  const uint8_t* d = block->data;
  EXPECT_EQ(0, memcmp(d, "Exif\0\0MM\0\x2a\0\0\0\x08", 14));
  EXPECT_EQ(2, d[14] << 8 | d[15]);
  const uint8_t* e0 = d + 16;
  EXPECT_EQ(271, e0[0] << 8 | e0[1]);
  uint32_t offset = (uint32_t)(e0[8] << 24 | e0[9] << 16 | e0[10] << 8 | e0[11]);
  EXPECT_EQ(38u, offset);
  EXPECT_EQ(0, memcmp(d + 6 + offset, "Canon", 6));
  const uint8_t* e1 = d + 28;
  EXPECT_EQ(0x8827, e1[0] << 8 | e1[1]);
  EXPECT_EQ(0x64, e1[9]);  // short value left-justified in big-endian
  MetadataFree(block);
  ReleaseExifEntries(&context);
}

}  // namespace
