// libFuzzer target: the TIFF reader on arbitrary bytes, the first page and,
// when there is one, the second.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "tif");
  if (path.empty()) return 0;
  const uint32_t flags =
      LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  if (LoadAs(path, "tiff", flags) > 1) LoadAs(path, "tiff", flags, 1);
  return 0;
}
