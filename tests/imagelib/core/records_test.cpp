// Picture records: creation rules, copies, crops, bit access, clipping and
// the name tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imagelib/core/image.h"

namespace {

TEST(ImageCreate, MasksAreStoredAsConcreteTypes) {
  Image image;
  ASSERT_EQ(1, ImageCreate(&image, PIXEL_ANY24, 4, 5, 2));
  EXPECT_EQ(PIXEL_RGB, image.pixelType);
  EXPECT_EQ(3, image.bytesPerPixel);
  EXPECT_EQ(0, image.paletteCount);
  EXPECT_EQ(nullptr, image.palette);
  ImageFree(&image);
  ASSERT_EQ(1, ImageCreate(&image, PIXEL_ANY32, 4, 5, 2));
  EXPECT_EQ(PIXEL_RGBA, image.pixelType);
  EXPECT_EQ(4, image.bytesPerPixel);
  ImageFree(&image);
  ASSERT_EQ(1, ImageCreate(&image, PIXEL_ANYCOLOUR, 4, 5, 2));
  EXPECT_EQ(PIXEL_RGB, image.pixelType);
  ImageFree(&image);
}

TEST(ImageCreate, RowLengthFollowsAlignment) {
  Image image;
  ImageCreate(&image, PIXEL_BW, 4, 1, 1);
  EXPECT_EQ(4, image.bytesPerRow);
  EXPECT_EQ(2, image.paletteCount);
  EXPECT_EQ(1, image.bitsPerSample);
  ImageFree(&image);
  ImageCreate(&image, PIXEL_BW, 1, 33, 1);
  EXPECT_EQ(5, image.bytesPerRow);
  ImageFree(&image);
  ImageCreate(&image, PIXEL_RGB, 4, 5, 1);
  EXPECT_EQ(16, image.bytesPerRow);
  ImageFree(&image);
  ImageCreate(&image, PIXEL_RGB, 1, 5, 1);
  EXPECT_EQ(15, image.bytesPerRow);
  ImageFree(&image);
  ImageCreate(&image, PIXEL_GREY, 0, 3, 1);
  EXPECT_EQ(1, image.rowAlignment);
  EXPECT_EQ(256, image.paletteCount);
  EXPECT_EQ(-1, image.transparentIndex);
  ImageFree(&image);
}

TEST(ImageCreate, IndexedHasZeroedPaletteAndPixels) {
  Image image;
  ASSERT_EQ(1, ImageCreate(&image, PIXEL_INDEXED, 4, 7, 3));
  ASSERT_NE(nullptr, image.palette);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(0, image.palette[i]);
  for (int i = 0; i < image.bytesPerRow * 3; ++i) ASSERT_EQ(0, image.pixels[i]);
  ImageFree(&image);
  EXPECT_EQ(nullptr, image.pixels);
  EXPECT_EQ(nullptr, image.palette);
  ImageFree(&image);  // safe twice
}

TEST(ImageCreate, DeepRowsHoldWideSamples) {
  Image image;
  ASSERT_EQ(1, ImageCreateDeep(&image, PIXEL_RGB, 4, 3, 2, 16));
  EXPECT_EQ(16, image.bitsPerSample);
  EXPECT_EQ(6, image.bytesPerPixel);
  EXPECT_EQ(20, image.bytesPerRow);
  Image copy{};
  ASSERT_EQ(0, ImageCopy(&image, &copy, nullptr));
  EXPECT_EQ(16, copy.bitsPerSample);
  EXPECT_EQ(image.bytesPerRow, copy.bytesPerRow);
  ImageFree(&copy);
  ImageFree(&image);
}

TEST(ImageCreate, AbsurdSizesFailCleanly) {
  Image image;
  EXPECT_EQ(0, ImageCreate(&image, PIXEL_RGBA, 4, 1 << 30, 1 << 30));
  EXPECT_EQ(nullptr, image.pixels);
}

MetadataBlock* Block(uint32_t kind, const char* text, MetadataBlock* next) {
  MetadataBlock* b = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
  b->kind = kind;
  b->size = (uint32_t)strlen(text);
  b->data = (uint8_t*)malloc(b->size);
  memcpy(b->data, text, b->size);
  b->next = next;
  return b;
}

TEST(ImageCopy, DuplicatesEverythingWithoutSharing) {
  Image source;
  ImageCreate(&source, PIXEL_INDEXED, 4, 3, 2);
  source.palette[5] = 200;
  source.pixels[1] = 5;
  source.transparentIndex = 5;
  source.paletteCount = 16;
  source.xDpi = 300;
  source.layout = LAYOUT_BOTTOM_UP;
  source.comment = strdup("hello");
  source.metadata = Block(META_EXIF, "exif", Block(META_IPTC, "iptc", Block(META_ICC, "icc", nullptr)));
  Image copy{};
  ASSERT_EQ(0, ImageCopy(&source, &copy, nullptr));
  EXPECT_EQ(5, copy.pixels[1]);
  EXPECT_EQ(200, copy.palette[5]);
  EXPECT_EQ(5, copy.transparentIndex);
  EXPECT_EQ(16, copy.paletteCount);
  EXPECT_EQ(300u, copy.xDpi);
  EXPECT_EQ(LAYOUT_BOTTOM_UP, copy.layout);
  EXPECT_STREQ("hello", copy.comment);
  EXPECT_NE(source.comment, copy.comment);
  // Metadata keeps its order, each block a fresh copy.
  const uint32_t kinds[] = {META_EXIF, META_IPTC, META_ICC};
  const MetadataBlock* a = source.metadata;
  const MetadataBlock* b = copy.metadata;
  for (uint32_t kind : kinds) {
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(kind, b->kind);
    EXPECT_EQ(a->size, b->size);
    EXPECT_NE(a->data, b->data);
    EXPECT_EQ(0, memcmp(a->data, b->data, a->size));
    a = a->next;
    b = b->next;
  }
  EXPECT_EQ(nullptr, b);
  EXPECT_EQ(0, ImageCopy(&source, nullptr, nullptr));  // nothing to do
  ImageFree(&copy);
  ImageFree(&source);
}

TEST(ImageCopy, CropsBilevelBitByBit) {
  Image source;
  ImageCreate(&source, PIXEL_BW, 1, 20, 3);
  // Row 1: bits set at columns 3, 9, 10 and 17.
  for (int x : {3, 9, 10, 17}) PutBit(ImageRow(&source, 1), x, 1);
  Rect rect{3, 1, 15, 5};  // cut to 15 x 2
  Image crop{};
  ASSERT_EQ(0, ImageCopy(&source, &crop, &rect));
  EXPECT_EQ(15, crop.width);
  EXPECT_EQ(2, crop.height);
  for (int x = 0; x < 15; ++x) {
    int expected = (x == 0 || x == 6 || x == 7 || x == 14) ? 1 : 0;
    EXPECT_EQ(expected, GetBit(ImageRow(&crop, 0), x)) << x;
    EXPECT_EQ(0, GetBit(ImageRow(&crop, 1), x)) << x;
  }
  ImageFree(&crop);
  ImageFree(&source);
}

TEST(ImageCopy, CropInPlaceAndEmptyRegion) {
  Image image;
  ImageCreate(&image, PIXEL_RGB, 4, 4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ImageRow(&image, y)[x * 3] = (uint8_t)(y * 10 + x);
  Rect empty{4, 0, 3, 3};
  EXPECT_EQ(RESULT_EMPTY_REGION, ImageCopy(&image, nullptr, &empty));
  EXPECT_EQ(4, image.width);
  Rect rect{1, 2, 2, 2};
  ASSERT_EQ(0, ImageCopy(&image, nullptr, &rect));
  EXPECT_EQ(2, image.width);
  EXPECT_EQ(2, image.height);
  EXPECT_EQ(21, ImageRow(&image, 0)[0]);
  EXPECT_EQ(32, ImageRow(&image, 1)[3]);
  ImageFree(&image);
}

TEST(BitAccess, GetOrPut) {
  uint8_t row[2] = {0, 0};
  OrBit(row, 0, 1);
  OrBit(row, 9, 1);
  EXPECT_EQ(0x80, row[0]);
  EXPECT_EQ(0x40, row[1]);
  EXPECT_EQ(1, GetBit(row, 9));
  PutBit(row, 9, 0);
  EXPECT_EQ(0, row[1]);
  PutBit(row, 7, 1);
  EXPECT_EQ(0x81, row[0]);
}

TEST(ClipRect, CutsToThePicture) {
  Image image{};
  image.width = 100;
  image.height = 100;
  Rect out;
  Rect a{-5, -5, 10, 10};
  EXPECT_EQ(0, ClipRect(&image, &a, &out));
  EXPECT_EQ(0, out.x);
  EXPECT_EQ(0, out.y);
  EXPECT_EQ(5, out.width);
  EXPECT_EQ(5, out.height);
  Rect b{100, 0, 10, 10};
  EXPECT_EQ(RESULT_EMPTY_REGION, ClipRect(&image, &b, &out));
  EXPECT_EQ(0, out.width);
  EXPECT_EQ(0, ClipRect(&image, nullptr, &out));
  EXPECT_EQ(100, out.width);
  Rect huge{2000000000, 0, 2000000000, 5};  // no overflow in the sums
  EXPECT_EQ(RESULT_EMPTY_REGION, ClipRect(&image, &huge, &out));
}

TEST(Names, CompressionAndColourModel) {
  EXPECT_STREQ("CCITT Group 3-2D", CompressionName(8));
  EXPECT_STREQ("Uncompressed", CompressionName(77));
  EXPECT_STREQ("CIE Log2(L) (u',v')", ColourModelName(7));
  EXPECT_STREQ("RGB", ColourModelName(1));
  char text[6];
  CompressionText(text, sizeof text, 255, "Thunderscan");
  EXPECT_STREQ("Thund", text);
  CompressionText(text, sizeof text, 2, "ignored");
  EXPECT_STREQ("LZW", text);
}

}  // namespace
