// libFuzzer target for the EXIF reader and the maker-note decoders.
//
// The input is a META_EXIF block ("Exif", two zero bytes, TIFF data); the
// same bytes are also handed to every maker-note decoder as a note lying
// inside TIFF data.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/metadata/exif_reader.h"

namespace {

void IgnoreRow(void*, int, int, const char* name, const char* value) {
  // Touch every byte of the texts so that a missing terminator shows.
  volatile size_t n = strlen(name) + (value ? strlen(value) : 0);
  (void)n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  // The block in an allocation of exactly its size.
  uint8_t* copy = (uint8_t*)malloc(size ? size : 1);
  if (!copy) return 0;
  if (size) memcpy(copy, data, size);
  MetadataBlock block{META_EXIF, (uint32_t)size, copy, nullptr};
  HasExif(&block);
  ReadExif(&block, IgnoreRow, nullptr);
  if (size >= 2) {
    // The first byte places the note inside the rest, which plays the TIFF data.
    const uint8_t* tiff = copy + 1;
    uint32_t length = (uint32_t)(size - 1);
    uint32_t at = copy[0] % length;
    for (int maker = MAKER_CANON; maker <= MAKER_SANYO; ++maker) {
      DecodeMakerNote(maker, tiff + at, length - at, tiff, length, false, IgnoreRow, nullptr);
      DecodeMakerNote(maker, tiff + at, length - at, tiff, length, true, IgnoreRow, nullptr);
    }
  }
  free(copy);
  return 0;
}
