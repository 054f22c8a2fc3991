// libFuzzer target for the IPTC reader.
//
// The input is a META_IPTC block (a Photoshop resource payload beginning
// with "Photoshop 3.0" and a zero byte).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imagelib/metadata/iptc_reader.h"

namespace {

void IgnoreRow(void*, int, const char* name, const char* value) {
  volatile size_t n = strlen(name) + strlen(value);
  (void)n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  uint8_t* copy = (uint8_t*)malloc(size ? size : 1);
  if (!copy) return 0;
  if (size) memcpy(copy, data, size);
  MetadataBlock block{META_IPTC, (uint32_t)size, copy, nullptr};
  HasIptc(&block);
  ReadIptc(&block, IgnoreRow, nullptr);
  free(copy);
  return 0;
}
