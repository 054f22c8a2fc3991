// The EXIF thumbnail search: a bounded walk over the TIFF directories of an
// APP1 marker.
#include "imagelib/codecs/jpeg_exif_thumbnail.h"

#include <cstring>

namespace {

constexpr size_t kExifPrefix = 6;  // "Exif", 0, 0
constexpr int kMaxDirectories = 16;

struct ThumbnailSearch {
  const uint8_t* data;
  size_t size;
  bool bigEndian;
  bool haveOffset = false;
  bool haveLength = false;
  uint32_t offset = 0;  // relative to the TIFF header
  uint32_t length = 0;
  int directoriesVisited = 0;
  bool stopped = false;  // a bad entry type ends the whole search

  uint16_t U16(size_t at) const {
    return bigEndian ? (uint16_t)((data[at] << 8) | data[at + 1])
                     : (uint16_t)(data[at] | (data[at + 1] << 8));
  }
  uint32_t U32(size_t at) const {
    return bigEndian ? ((uint32_t)data[at] << 24) | ((uint32_t)data[at + 1] << 16) |
                           ((uint32_t)data[at + 2] << 8) | data[at + 3]
                     : (uint32_t)data[at] | ((uint32_t)data[at + 1] << 8) |
                           ((uint32_t)data[at + 2] << 16) | ((uint32_t)data[at + 3] << 24);
  }
  bool Complete() const {
    return haveOffset && haveLength &&
           (uint64_t)offset + length + kExifPrefix <= (uint64_t)size;
  }

  // Walks the directory at `ifd` (relative to the TIFF header); true when
  // the thumbnail is complete.
  bool Walk(uint32_t ifd) {
    if (stopped || ++directoriesVisited > kMaxDirectories) return false;
    size_t start = (size_t)ifd + kExifPrefix;
    if (start + 2 > size) return false;
    unsigned count = U16(start);
    size_t entry = start + 2;
    uint32_t exifIfd = 0;
    size_t entriesEnd = entry;
    for (unsigned i = 0; i < count; ++i, entry += 12) {
      if (entry + 12 > size) break;
      entriesEnd = entry + 12;
      uint16_t tag = U16(entry);
      uint16_t type = U16(entry + 2);
      uint32_t n = U32(entry + 4);
      if (type >= 13) {
        stopped = true;
        return false;
      }
      if (tag == 0x8769) {
        exifIfd = (type == 3 || type == 8) ? U16(entry + 8) : U32(entry + 8);
      } else if (tag == 0x0201 && type == 4 && n == 1) {
        offset = U32(entry + 8);
        haveOffset = true;
      } else if (tag == 0x0202 && type == 4 && n == 1) {
        length = U32(entry + 8);
        haveLength = true;
      }
    }
    if (Complete()) return true;
    if (exifIfd != 0 && Walk(exifIfd)) return true;
    if (stopped) return false;
    // The link to the next directory follows the entries.
    size_t link = start + 2 + (size_t)count * 12;
    if (entriesEnd != link || link + 4 > size) return false;
    uint32_t next = U32(link);
    if (next <= ifd || (uint64_t)next + kExifPrefix + 2 > size) return false;
    return Walk(next);
  }
};

}  // namespace

bool FindExifThumbnail(const uint8_t* data, size_t size, size_t* offset, size_t* length) {
  if (!data || size < kExifPrefix + 8) return false;
  if (memcmp(data, "Exif\0\0", kExifPrefix) != 0) return false;
  const uint8_t* tiff = data + kExifPrefix;
  ThumbnailSearch search{data, size, false};
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    search.bigEndian = false;
  } else if (tiff[0] == 'M' && tiff[1] == 'M') {
    search.bigEndian = true;
  } else {
    return false;
  }
  if (search.U16(kExifPrefix + 2) != 42) return false;
  uint32_t first = search.U32(kExifPrefix + 4);
  if ((uint64_t)first + kExifPrefix >= (uint64_t)size - 2) return false;
  if (!search.Walk(first)) return false;
  *offset = (size_t)search.offset + kExifPrefix;
  *length = search.length;
  return true;
}
