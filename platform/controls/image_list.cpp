// Image lists: a row of equally sized images kept as plain pixels (with a
// transparency mask for lists made with ILC_MASK), drawn pixel by pixel.
#include "platform/controls/image_list.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

struct _IMAGELIST {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  int grow = 0;
  bool shared = false;  // the shell's system list: never destroyed
  // Image i occupies pixels [i * cx * cy, (i + 1) * cx * cy), rows top down.
  std::vector<COLORREF> pixels;
  std::vector<uint8_t> transparent;  // 1 where the mask hides the pixel
  int count = 0;
};

namespace {

std::mutex g_listsLock;
std::unordered_set<HIMAGELIST>& Lists() {
  static std::unordered_set<HIMAGELIST> lists;
  return lists;
}

bool Valid(HIMAGELIST list) {
  std::lock_guard<std::mutex> lock(g_listsLock);
  return list && Lists().count(list) != 0;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
  if (cx <= 0 || cy <= 0 || initial < 0 || grow < 0) return nullptr;
  auto* list = new _IMAGELIST;
  list->cx = cx;
  list->cy = cy;
  list->flags = flags;
  list->grow = grow;
  // Reserve what the caller announced, within reason (the count is a hint).
  size_t reserve = (size_t)std::min(initial, 64) * (size_t)cx * (size_t)cy;
  if (reserve <= ((size_t)1 << 20)) list->pixels.reserve(reserve);
  std::lock_guard<std::mutex> lock(g_listsLock);
  Lists().insert(list);
  return list;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  {
    std::lock_guard<std::mutex> lock(g_listsLock);
    if (!list || !Lists().count(list) || list->shared) return FALSE;
    Lists().erase(list);
  }
  delete list;
  return TRUE;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
  if (!Valid(list) || !cx || !cy) return FALSE;
  *cx = list->cx;
  *cy = list->cy;
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) { return Valid(list) ? list->count : 0; }

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
  if (!Valid(list) || !image) return -1;
  BITMAP bm{};
  if (!GetObject(image, sizeof bm, &bm) || bm.bmWidth < list->cx || bm.bmHeight <= 0) return -1;
  int added = bm.bmWidth / list->cx;
  HDC imageDC = CreateCompatibleDC(nullptr);
  HGDIOBJ oldImage = SelectObject(imageDC, image);
  HDC maskDC = nullptr;
  HGDIOBJ oldMask = nullptr;
  bool useMask = mask && (list->flags & ILC_MASK);
  if (useMask) {
    maskDC = CreateCompatibleDC(nullptr);
    oldMask = SelectObject(maskDC, mask);
  }
  int first = list->count;
  size_t cell = (size_t)list->cx * list->cy;
  list->pixels.resize((size_t)(first + added) * cell, RGB(0, 0, 0));
  list->transparent.resize((size_t)(first + added) * cell, 0);
  for (int i = 0; i < added; ++i) {
    size_t base = (size_t)(first + i) * cell;
    for (int y = 0; y < list->cy; ++y) {
      for (int x = 0; x < list->cx; ++x) {
        int sx = i * list->cx + x;
        COLORREF c = y < bm.bmHeight ? GetPixel(imageDC, sx, y) : RGB(0, 0, 0);
        if (c == CLR_INVALID) c = RGB(0, 0, 0);
        list->pixels[base + (size_t)y * list->cx + x] = c;
        // In a mask, set (white) bits mark the transparent part.
        if (useMask) {
          COLORREF m = GetPixel(maskDC, sx, y);
          list->transparent[base + (size_t)y * list->cx + x] = m != CLR_INVALID && m != RGB(0, 0, 0);
        }
      }
    }
  }
  list->count += added;
  if (maskDC) {
    SelectObject(maskDC, oldMask);
    DeleteDC(maskDC);
  }
  SelectObject(imageDC, oldImage);
  DeleteDC(imageDC);
  return added > 0 ? first : -1;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT) {
  if (!Valid(list) || index < 0 || index >= list->count || !dc) return FALSE;
  size_t cell = (size_t)list->cx * list->cy;
  const COLORREF* px = &list->pixels[(size_t)index * cell];
  const uint8_t* hidden = &list->transparent[(size_t)index * cell];
  // Runs of equal opaque pixels go out as one fill.
  for (int row = 0; row < list->cy; ++row) {
    int col = 0;
    while (col < list->cx) {
      size_t at = (size_t)row * list->cx + col;
      if (hidden[at]) {
        ++col;
        continue;
      }
      int end = col + 1;
      while (end < list->cx && !hidden[at + (end - col)] && px[at + (end - col)] == px[at]) ++end;
      RECT r{x + col, y + row, x + end, y + row + 1};
      HBRUSH b = CreateSolidBrush(px[at]);
      FillRect(dc, &r, b);
      DeleteObject(b);
      col = end;
    }
  }
  return TRUE;
}

namespace platform::controls {

void MarkImageListShared(HIMAGELIST list) {
  std::lock_guard<std::mutex> lock(g_listsLock);
  if (list && Lists().count(list)) list->shared = true;
}

}  // namespace platform::controls
