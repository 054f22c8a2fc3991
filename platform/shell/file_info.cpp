#include "platform/shell/file_info.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/fs/files.h"
#include "platform/text/wide.h"

namespace {

// The small system icons, 16 x 16, one character a pixel: '.' lets the
// background show, the other letters name colours.
const char* const kDeviceIcon[16] = {
    "....kkkkkkkk....",
    "...kggggggggk...",
    "...kgbbbbbbgk...",
    "...kgbccccbgk...",
    "...kgbccccbgk...",
    "...kgbccccbgk...",
    "...kgbbbbbbgk...",
    "...kggggggggk...",
    "...kgkkgkkggk...",
    "...kggggggggk...",
    "...kgkgkgkggk...",
    "...kggggggggk...",
    "...kgkgkgkggk...",
    "...kggggggggk...",
    "....kkkkkkkk....",
    "................",
};
const char* const kFolderIcon[16] = {
    "................",
    "................",
    ".kkkkk..........",
    "kyyyyyk.........",
    "kyyyyyykkkkkkk..",
    "kwwwwwwwwwwwwwk.",
    "kwyyyyyyyyyyyyk.",
    "kwyyyyyyyyyyyyk.",
    "kwyyyyyyyyyyyyk.",
    "kwyyyyyyyyyyyyk.",
    "kwyyyyyyyyyyyyk.",
    "kwyyyyyyyyyyyyk.",
    "koooooooooooook.",
    ".kkkkkkkkkkkkk..",
    "................",
    "................",
};
const char* const kDocumentIcon[16] = {
    "..kkkkkkkkk.....",
    "..kwwwwwwwkk....",
    "..kwwwwwwwkwk...",
    "..kwwwwwwwkkkk..",
    "..kwwwwwwwwwwk..",
    "..kwggggggwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwggggggggwk..",
    "..kwwwwwwwwwwk..",
    "..kwggggggggwk..",
    "..kwwwwwwwwwwk..",
    "..kwggggggggwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kkkkkkkkkkkk..",
    "................",
};

const int kIconSize = 16;
enum { kDeviceIndex = 0, kFolderIndex = 1, kDocumentIndex = 2 };

COLORREF PaletteColour(char c) {
  switch (c) {
    case 'k': return RGB(0, 0, 0);
    case 'g': return RGB(0xA0, 0xA0, 0xA0);
    case 'b': return RGB(0x20, 0x20, 0x60);
    case 'c': return RGB(0x40, 0x90, 0xE0);
    case 'y': return RGB(0xF8, 0xD0, 0x48);
    case 'o': return RGB(0xC8, 0x98, 0x20);
    case 'w': return RGB(0xFF, 0xFF, 0xFF);
  }
  return RGB(0xFF, 0xFF, 0xFF);
}

// Adds one picture to the list through a DIB section and a monochrome mask.
void AddIcon(HIMAGELIST list, const char* const rows[16]) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = kIconSize;
  bi.bmiHeader.biHeight = -kIconSize;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP image = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  // Monochrome rows padded to 16 bits: two bytes a row here.
  uint8_t maskBits[kIconSize * 2] = {};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, image);
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      char c = rows[y][x];
      SetPixel(dc, x, y, PaletteColour(c));
      if (c == '.') maskBits[y * 2 + x / 8] |= (uint8_t)(0x80 >> (x % 8));
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  HBITMAP mask = CreateBitmap(kIconSize, kIconSize, 1, 1, maskBits);
  ImageList_Add(list, image, mask);
  DeleteObject(mask);
  DeleteObject(image);
}

std::mutex g_systemLock;
HIMAGELIST g_smallIcons = nullptr;

// The small system list, made on first use and kept for the whole run.
HIMAGELIST SmallSystemList() {
  std::lock_guard<std::mutex> lock(g_systemLock);
  if (!g_smallIcons) {
    HIMAGELIST list = ImageList_Create(kIconSize, kIconSize, ILC_COLOR24 | ILC_MASK, 3, 1);
    if (!list) return nullptr;
    AddIcon(list, kDeviceIcon);
    AddIcon(list, kFolderIcon);
    AddIcon(list, kDocumentIcon);
    if (ImageList_GetImageCount(list) != 3) {
      ImageList_Destroy(list);
      return nullptr;
    }
    platform::controls::MarkImageListShared(list);
    g_smallIcons = list;
  }
  return g_smallIcons;
}

// The shell allocator: blocks carry their size in front.
class ShellAllocator final : public IMalloc {
 public:
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  void* Alloc(ULONG size) override {
    auto* block = static_cast<uint8_t*>(std::malloc(kHeader + (size_t)size));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    return block + kHeader;
  }
  void* Realloc(void* block, ULONG size) override {
    if (!block) return Alloc(size);
    if (size == 0) {
      Free(block);
      return nullptr;
    }
    auto* grown = static_cast<uint8_t*>(std::realloc(Start(block), kHeader + (size_t)size));
    if (!grown) return nullptr;
    std::memcpy(grown, &size, sizeof size);
    return grown + kHeader;
  }
  void Free(void* block) override {
    if (block) std::free(Start(block));
  }
  ULONG GetSize(void* block) override {
    if (!block) return (ULONG)-1;
    ULONG size;
    std::memcpy(&size, Start(block), sizeof size);
    return size;
  }

 private:
  static constexpr size_t kHeader = 16;  // keeps blocks aligned
  static uint8_t* Start(void* block) { return static_cast<uint8_t*>(block) - kHeader; }
};

ShellAllocator g_allocator;

}  // namespace

HRESULT SHGetMalloc(LPMALLOC* allocator) {
  if (!allocator) return E_INVALIDARG;
  *allocator = &g_allocator;
  return S_OK;
}

HRESULT SHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST* pidl) {
  if (!pidl) return E_INVALIDARG;
  *pidl = nullptr;
  if (folder != CSIDL_DESKTOP) return E_INVALIDARG;
  // The desktop's list is empty: only the terminating zero byte count.
  auto* list = static_cast<LPITEMIDLIST>(g_allocator.Alloc(sizeof(WORD)));
  if (!list) return E_OUTOFMEMORY;
  const WORD terminator = 0;
  std::memcpy(list, &terminator, sizeof terminator);
  *pidl = list;
  return S_OK;
}

DWORD_PTR SHGetFileInfo(LPCWSTR path, DWORD, SHFILEINFO* info, UINT size, UINT flags) {
  if (!(flags & SHGFI_SYSICONINDEX) || !(flags & SHGFI_SMALLICON) || !path) return 0;
  if (info && size < sizeof(SHFILEINFO)) return 0;
  int index;
  if (flags & SHGFI_PIDL) {
    // The only identifier the shell hands out is the desktop's.
    auto* list = reinterpret_cast<LPCITEMIDLIST>(path);
    if (list->mkid.cb != 0) return 0;
    index = kDeviceIndex;
  } else if (path[0] == u'\\' && path[1] == 0) {
    index = kDeviceIndex;
  } else {
    DWORD attributes = GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    index = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kFolderIndex : kDocumentIndex;
  }
  HIMAGELIST list = SmallSystemList();
  if (!list) return 0;
  if (info) info->iIcon = index;
  return (DWORD_PTR)list;
}
