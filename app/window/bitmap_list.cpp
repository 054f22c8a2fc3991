#include "app/window/bitmap_list.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/window/debug_console.h"

namespace {

struct BitmapRecord {
  char* file;  // source file name, 8-bit
  HBITMAP bitmap;
  int line;
  BitmapRecord* next;
};

std::mutex g_mutex;
BitmapRecord* g_head = nullptr;

}  // namespace

HBITMAP CreateTrackedDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                                const char* file, int line) {
  HBITMAP bitmap = CreateDIBSection(hdc, info, usage, bits, nullptr, 0);
  if (!bitmap) return nullptr;
  const char* name = file ? file : "";
  BitmapRecord* record = (BitmapRecord*)std::malloc(sizeof(BitmapRecord));
  char* copy = record ? (char*)std::malloc(std::strlen(name) + 1) : nullptr;
  if (!record || !copy) {
    DebugPrint("Error : _LoadBitmap malloc failed...\n");
    std::exit(0);
  }
  std::strcpy(copy, name);
  record->file = copy;
  record->bitmap = bitmap;
  record->line = line;
  std::lock_guard<std::mutex> lock(g_mutex);
  record->next = g_head;
  g_head = record;
  return bitmap;
}

BOOL DeleteTrackedBitmap(HBITMAP bitmap, const char*, int) {
  if (!bitmap) return FALSE;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (BitmapRecord** link = &g_head; *link; link = &(*link)->next) {
      if ((*link)->bitmap != bitmap) continue;
      BitmapRecord* record = *link;
      *link = record->next;
      std::free(record->file);
      std::free(record);
      break;
    }
  }
  return DeleteObject(bitmap);
}

size_t TrackedBitmapCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  size_t n = 0;
  for (BitmapRecord* r = g_head; r; r = r->next) ++n;
  return n;
}

bool IsTrackedBitmap(HBITMAP bitmap) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (BitmapRecord* r = g_head; r; r = r->next)
    if (r->bitmap == bitmap) return true;
  return false;
}

void ReportTrackedBitmaps() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (BitmapRecord* r = g_head; r; r = r->next)
    DebugPrint("Bitmap %p still alive, made at %s:%d\n", (void*)r->bitmap, r->file, r->line);
}
