// The writer side of the contract: rows fetched in the layout a writer asks
// for.
#include <gtest/gtest.h>

#include <cstring>

#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"

namespace {

struct Writer {
  SaveContext context{};
  TargetFormat target;
  explicit Writer(const Image* image) {
    WriteOptionsInit(&context.options);
    DescribeImageForSave(&context, image);
    InitTargetFormat(&target);
  }
  ~Writer() { ReleaseSavePipeline(&context); }
};

TEST(RowOutput, DescribesThePicture) {
  Image grey;
  ImageCreate(&grey, PIXEL_GREY, 4, 2, 2);
  grey.paletteCount = 16;
  Writer w(&grey);
  EXPECT_EQ(PIXEL_GREY, w.context.pixelType);
  EXPECT_EQ(8, w.context.bitsPerPixel);
  EXPECT_EQ(255, w.context.palette[15]);
  EXPECT_EQ(17, w.context.palette[256 + 1]);
  ImageFree(&grey);
  Image bgra;
  ImageCreate(&bgra, PIXEL_BGRA, 4, 2, 2);
  Writer v(&bgra);
  EXPECT_EQ(PIXEL_ANYCOLOUR, v.context.pixelType);
  EXPECT_EQ(32, v.context.bitsPerPixel);
  ImageFree(&bgra);
}

TEST(RowOutput, IndexedToBottomUpBgr) {
  Image image;
  ImageCreate(&image, PIXEL_INDEXED, 4, 2, 2);
  image.palette[1] = 10;
  image.palette[256 + 1] = 20;
  image.palette[512 + 1] = 30;
  ImageRow(&image, 1)[1] = 1;
  Writer w(&image);
  w.target.flags = SRC_ORDER_BGR_ABGR;
  w.target.layout = LAYOUT_BOTTOM_UP;
  w.target.bitsPerPlane = 24;
  ASSERT_EQ(0, BeginRowOutput(&w.context, &w.target));
  ASSERT_EQ(0, FetchRow(&w.context, -1, 1));  // the bottom row first
  const uint8_t expected[6] = {0, 0, 0, 30, 20, 10};
  EXPECT_EQ(0, memcmp(expected, w.target.rowBuffer, 6));
  ASSERT_EQ(0, FetchRow(&w.context, -1, 1));
  EXPECT_EQ(0, w.target.rowBuffer[3]);
  EndRowOutput(&w.context);
  ImageFree(&image);
}

TEST(RowOutput, PacksIndexesAndMirrors) {
  Image image;
  ImageCreate(&image, PIXEL_INDEXED, 4, 3, 1);
  image.pixels[0] = 1;
  image.pixels[1] = 2;
  image.pixels[2] = 15;
  Writer w(&image);
  w.target.bitsPerPlane = 4;
  w.target.layout = LAYOUT_MIRRORED;
  ASSERT_EQ(0, BeginRowOutput(&w.context, &w.target));
  ASSERT_EQ(0, FetchRow(&w.context, 0, 1));
  EXPECT_EQ(0xF2, w.target.rowBuffer[0]);
  EXPECT_EQ(0x10, w.target.rowBuffer[1]);
  ImageFree(&image);
}

TEST(RowOutput, BilevelAndGreyToDirectColour) {
  Image bw;
  ImageCreate(&bw, PIXEL_BW, 4, 2, 1);
  PutBit(bw.pixels, 1, 1);
  Writer w(&bw);
  w.target.bitsPerPlane = 32;
  ASSERT_EQ(0, BeginRowOutput(&w.context, &w.target));
  ASSERT_EQ(0, FetchRow(&w.context, 0, 1));
  const uint8_t expected[8] = {0, 0, 0, 255, 255, 255, 255, 255};
  EXPECT_EQ(0, memcmp(expected, w.target.rowBuffer, 8));
  ImageFree(&bw);
}

TEST(RowOutput, DirectColourCannotBecomeIndexes) {
  Image rgb;
  ImageCreate(&rgb, PIXEL_RGB, 4, 2, 1);
  Writer w(&rgb);
  w.target.bitsPerPlane = 8;
  EXPECT_EQ(RESULT_CANNOT_STORE, BeginRowOutput(&w.context, &w.target));
  ImageFree(&rgb);
}

TEST(RowOutput, RowProviderFeedsAPictureWithoutPixels) {
  Image image{};
  image.width = 2;
  image.height = 2;
  image.pixelType = PIXEL_RGB;
  image.bytesPerPixel = 3;
  image.bytesPerRow = 8;
  Writer w(&image);
  w.context.options.rowProvider = [](uint8_t* row, int number, int, void*) {
    if (number == 1) return 6;
    memset(row, 77, 6);
    return 0;
  };
  w.target.bitsPerPlane = 24;
  ASSERT_EQ(0, BeginRowOutput(&w.context, &w.target));
  ASSERT_EQ(0, FetchRow(&w.context, 0, 1));
  EXPECT_EQ(77, w.target.rowBuffer[5]);
  EXPECT_EQ(6, FetchRow(&w.context, 1, 1));
}

}  // namespace
