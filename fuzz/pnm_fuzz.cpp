// libFuzzer target: the PNM reader on arbitrary bytes, with samples kept
// wide or cut to 8 bits by turns.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "pnm");
  if (path.empty()) return 0;
  uint32_t flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT;
  if (size & 1) flags |= LOAD_WIDE_SAMPLES;  // both sample widths
  LoadAs(path, "pnm", flags);
  return 0;
}
