#include "imagelib/core/format_registry.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_table.h"
#include "imagelib/core/reader_contract.h"
#include "platform/text/codepage.h"

namespace {

FormatRegistry g_registry = {nullptr, 0, kRegistryCapacity, 0};

// Guards setting up and tearing down the table. Loads read the table
// without it: it does not change while anyone uses it.
std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

constexpr size_t kMaxExtensionLength = 128;

// The text after the path's last '.', lowered (ASCII only) and in the
// 8-bit code page; false when there is no dot.
bool PathExtension(const char16_t* path, std::string* out) {
  size_t n = WideLength(path);
  size_t dot = n;
  for (size_t i = n; i > 0; --i)
    if (path[i - 1] == u'.') {
      dot = i - 1;
      break;
    }
  if (dot == n) return false;
  std::u16string ext(path + dot + 1, path + n);
  if (ext.size() > kMaxExtensionLength) ext.resize(kMaxExtensionLength);
  for (char16_t& c : ext)
    if (c >= u'A' && c <= u'Z') c = (char16_t)(c - u'A' + u'a');
  *out = platform::Cp1252FromWide(ext);
  return true;
}

bool RowHasExtension(const FormatEntry& row, const std::string& ext) {
  for (int i = 0; i < kMaxExtensions && row.extensions[i]; ++i)
    if (ext == row.extensions[i]) return true;
  return false;
}

bool EqualsIgnoringAsciiCase(const std::u16string& a, const char* b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i];
    char y = b[i];
    if (x >= u'A' && x <= u'Z') x = (char16_t)(x - u'A' + u'a');
    if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
    if (x != (char16_t)(unsigned char)y) return false;
  }
  return true;
}

// Index of the dot StripExtension would cut at, or -1.
long StripPosition(const char16_t* path) {
  long n = (long)WideLength(path);
  long slash = -1;
  for (long i = n - 1; i >= 0; --i)
    if (path[i] == u'\\') {
      slash = i;
      break;
    }
  if (slash < 0)
    for (long i = n - 1; i >= 0; --i)
      if (path[i] == u'/') {
        slash = i;
        break;
      }
  long dot = -1;
  for (long i = n - 1; i > slash; --i)
    if (path[i] == u'.') {
      dot = i;
      break;
    }
  if (dot < 0 || dot == slash + 1) return -1;
  if (dot + 1 < n && path[dot + 1] >= u'0' && path[dot + 1] <= u'9') return -1;
  return dot;
}

}  // namespace

void RegisterFormats(int all) {
  (void)all;  // every row is available in this system
  std::lock_guard<std::mutex> guard(RegistryLock());
  if (g_registry.users > 0) {
    ++g_registry.users;
    return;
  }
  g_registry.rows = (FormatEntry*)calloc(kRegistryCapacity, sizeof(FormatEntry));
  if (!g_registry.rows) return;
  int count = 0;
  const FormatEntry* table = FormatTableRows(&count);
  g_registry.count = 0;
  for (int i = 0; i < count && i < kRegistryCapacity; ++i) {
    FormatEntry row = table[i];
    if (row.reader) row.flags |= FORMAT_HAS_READER;
    if (row.writer) row.flags |= FORMAT_HAS_WRITER;
    g_registry.rows[g_registry.count++] = row;
  }
  g_registry.capacity = kRegistryCapacity;
  g_registry.users = 1;
}

void UnregisterFormats() {
  std::lock_guard<std::mutex> guard(RegistryLock());
  if (g_registry.users <= 0) return;
  if (--g_registry.users > 0) return;
  for (int i = 0; i < g_registry.count; ++i) {
    FormatEntry& row = g_registry.rows[i];
    if (!(row.flags & FORMAT_OWNS_STRINGS)) continue;
    free((void*)row.shortName);
    free((void*)row.description);
    for (int k = 0; k < kMaxExtensions; ++k) free((void*)row.extensions[k]);
  }
  free(g_registry.rows);
  g_registry.rows = nullptr;
  g_registry.count = 0;
}

const FormatRegistry* Formats() { return &g_registry; }

int FindFormat(const char* shortName) {
  if (!shortName) return -1;
  for (int i = 0; i < g_registry.count; ++i)
    if (strcmp(g_registry.rows[i].shortName, shortName) == 0) return i;
  return -1;
}

const char* FormatShortName(int index) {
  if (index < 0 || index >= g_registry.count) return nullptr;
  return g_registry.rows[index].shortName;
}

int IsRegisteredExtension(const char16_t* path) {
  std::string ext;
  if (!path || !PathExtension(path, &ext)) return 0;
  for (int i = 0; i < g_registry.count; ++i)
    if (RowHasExtension(g_registry.rows[i], ext)) return 1;
  return 0;
}

int IsFormatExtension(const char16_t* path, int index) {
  std::string ext;
  if (!path || index < 0 || index >= g_registry.count || !PathExtension(path, &ext)) return 0;
  return RowHasExtension(g_registry.rows[index], ext) ? 1 : 0;
}

void StripExtension(char16_t* path) {
  long dot = StripPosition(path);
  if (dot >= 0) path[dot] = 0;
}

void EnsureExtension(char16_t* path, int index) {
  if (!path || index < 0 || index >= g_registry.count) return;
  const FormatEntry& row = g_registry.rows[index];
  long dot = StripPosition(path);
  if (dot >= 0) {
    std::u16string ext(path + dot + 1);
    for (int i = 0; i < kMaxExtensions && row.extensions[i]; ++i)
      if (EqualsIgnoringAsciiCase(ext, row.extensions[i])) return;
    path[dot] = 0;
  }
  if (!row.extensions[0]) return;
  size_t n = WideLength(path);
  path[n++] = u'.';
  for (const char* e = row.extensions[0]; *e; ++e) path[n++] = (char16_t)(unsigned char)*e;
  path[n] = 0;
}

int WriterAccepts(int index, const Image* image, const char** extension) {
  if (index < 0 || index >= g_registry.count) return 0;
  const FormatEntry& row = g_registry.rows[index];
  if (!row.writerCaps) return 1;
  CapEntry caps[kMaxCapEntries];
  for (CapEntry& c : caps) c = CapEntry{-1, -1, {-1, -1}, nullptr};
  row.writerCaps(caps);
  if (caps[0].pixelType == -1) return 1;
  for (const CapEntry& c : caps) {
    if (c.pixelType == -1) break;
    bool accepts;
    uint16_t type = (uint16_t)c.pixelType;
    if (type == PIXEL_ANY24 || type == PIXEL_ANY32) {
      accepts = (image->pixelType & PIXEL_ANYCOLOUR) != 0;
    } else {
      accepts = (image->pixelType & type) != 0;
      if (accepts && (image->pixelType & (PIXEL_GREY | PIXEL_INDEXED)) && c.maxColours != -1 &&
          c.maxColours < image->paletteCount)
        accepts = false;
    }
    if (accepts) {
      if (extension) *extension = c.extension;
      return 1;
    }
  }
  return 0;
}

int WriteOptionValue(const SaveContext* context, int key) {
  switch (key) {
    case 0: return context->options.quality;
    case 1: return context->options.extraValue16;
    case 2: return (int)context->options.extraValue32;
    default: return 0;
  }
}

int BitsForColours(int n) {
  if (n < 3) return 1;
  if (n < 5) return 2;
  if (n < 9) return 3;
  if (n < 17) return 4;
  if (n < 33) return 5;
  if (n < 65) return 6;
  if (n < 129) return 7;
  return 8;
}

void LoadOptionsInit(LoadOptions* o) {
  memset(o, 0, sizeof *o);
  o->formatIndex = -1;
  o->rowAlignment = 4;
  o->reserved1 = -1;
  o->maxWidth = -1;
  o->maxHeight = -1;
  o->reservedFloats[0] = 0.6f;
  o->reservedFloats[1] = 0.8f;
  o->reservedFloats[2] = 1.0f;
  o->reservedSizes[0] = 768;
  o->reservedSizes[1] = 576;
  o->reservedResolution = 72;
  o->memoryCap = kDefaultMemoryCap;
}

void WriteOptionsInit(WriteOptions* o) {
  memset(o, 0, sizeof *o);
  o->formatIndex = -1;
  o->quality = 100;
  o->level = 6;
  o->jpegDctMethod = 0xFFFF;
  o->jpegSubsampling = 0xFFFF;
  o->keepExif = 1;
  o->keepIptc = 1;
}

const char* ResultText(int code) {
  switch (code) {
    case 0: return "success";
    case 1: return "out of memory";
    case 2: return "format not recognised";
    case 3: return "file cannot be opened";
    case 4: return "file not complete";
    case 5: return "file cannot be created";
    case 6: return "write error";
    case 7: return "the format cannot store this kind of picture";
    case 8: return "the format has no writer";
    case 9: return "bad picture size";
    case 10: return "corrupt file";
    case 11: return "JPEG library error";
    case 15: return "cancelled";
    case 16: return "empty region";
    default: return "unknown error";
  }
}
