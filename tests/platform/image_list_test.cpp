// Image lists: sizes, counts, adding strips of images, masked drawing.
#include "platform/controls/image_list.h"

#include "tests/platform/platform_fixture.h"

namespace platform_test {
namespace {

class ImageListTest : public DeviceTest {};

// A 24-bit top-down DIB section of `w` x `h` filled by `colour(x, y)`.
template <class F>
HBITMAP MakeDib(int w, int h, F colour) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(dc, x, y, colour(x, y));
  SelectObject(dc, old);
  DeleteDC(dc);
  return b;
}

TEST_F(ImageListTest, SizesCountsAndDestroy) {
  HIMAGELIST list = ImageList_Create(38, 57, ILC_COLOR16, 1, 1);
  ASSERT_NE(list, nullptr);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 38);
  EXPECT_EQ(cy, 57);
  EXPECT_EQ(ImageList_GetImageCount(list), 0);
  HIMAGELIST dummy = ImageList_Create(1, 1, ILC_COLOR, 0, 0);
  ASSERT_NE(dummy, nullptr);
  EXPECT_TRUE(ImageList_GetIconSize(dummy, &cx, &cy));
  EXPECT_EQ(cx, 1);
  EXPECT_EQ(cy, 1);
  EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR, 1, 1), nullptr);
  EXPECT_TRUE(ImageList_Destroy(list));
  EXPECT_FALSE(ImageList_Destroy(list));  // already gone
  EXPECT_FALSE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_FALSE(ImageList_Destroy(nullptr));
  EXPECT_TRUE(ImageList_Destroy(dummy));
}

TEST_F(ImageListTest, AddCutsTheStripAndDrawRespectsTheMask) {
  HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR24 | ILC_MASK, 3, 1);
  // Three images side by side: red, green, blue.
  HBITMAP strip = MakeDib(12, 4, [](int x, int) {
    return x < 4 ? RGB(255, 0, 0) : x < 8 ? RGB(0, 255, 0) : RGB(0, 0, 255);
  });
  // Mask: the left column of every image is transparent (set bits).
  const uint8_t maskRows[4][2] = {{0x88, 0x80}, {0x88, 0x80}, {0x88, 0x80}, {0x88, 0x80}};
  HBITMAP mask = CreateBitmap(12, 4, 1, 1, maskRows);
  EXPECT_EQ(ImageList_Add(list, strip, mask), 0);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  EXPECT_EQ(ImageList_Add(list, strip, mask), 3);
  EXPECT_EQ(ImageList_GetImageCount(list), 6);

  HDC screen = GetDC(nullptr);
  RECT area{20, 40, 60, 60};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(screen, &area, white);
  EXPECT_TRUE(ImageList_Draw(list, 1, screen, 20, 40, ILD_TRANSPARENT));
  EXPECT_TRUE(ImageList_Draw(list, 5, screen, 30, 40, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(list, 6, screen, 40, 40, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(list, -1, screen, 40, 40, ILD_NORMAL));
  ReleaseDC(nullptr, screen);
  DeleteObject(white);

  using platform::headless::ScreenPixel;
  EXPECT_EQ(ScreenPixel(20, 40), RGB(255, 255, 255));  // masked column
  EXPECT_EQ(ScreenPixel(21, 40), RGB(0, 255, 0));
  EXPECT_EQ(ScreenPixel(23, 43), RGB(0, 255, 0));
  EXPECT_EQ(ScreenPixel(24, 43), RGB(255, 255, 255));  // beyond the image
  EXPECT_EQ(ScreenPixel(30, 42), RGB(255, 255, 255));
  EXPECT_EQ(ScreenPixel(31, 42), RGB(0, 0, 255));
  EXPECT_EQ(ScreenPixel(40, 40), RGB(255, 255, 255));  // refused index drew nothing

  // Without ILC_MASK the mask is ignored and every pixel is drawn.
  HIMAGELIST opaque = ImageList_Create(4, 4, ILC_COLOR24, 1, 1);
  EXPECT_EQ(ImageList_Add(opaque, strip, mask), 0);
  screen = GetDC(nullptr);
  ImageList_Draw(opaque, 0, screen, 50, 40, ILD_NORMAL);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(ScreenPixel(50, 40), RGB(255, 0, 0));

  // A bitmap narrower than one image adds nothing.
  HBITMAP narrow = MakeDib(3, 4, [](int, int) { return RGB(0, 0, 0); });
  EXPECT_EQ(ImageList_Add(opaque, narrow, nullptr), -1);
  EXPECT_EQ(ImageList_GetImageCount(opaque), 3);
  DeleteObject(narrow);
  DeleteObject(strip);
  DeleteObject(mask);
  ImageList_Destroy(list);
  ImageList_Destroy(opaque);
}

}  // namespace
}  // namespace platform_test
