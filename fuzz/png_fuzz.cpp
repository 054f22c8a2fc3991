// libFuzzer target: the PNG reader on arbitrary bytes, keeping comments,
// texts and metadata, and alternately flattening transparency onto white.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "png");
  if (path.empty()) return 0;
  const bool variant = size > 0 && (data[size - 1] & 1);
  const uint32_t flags =
      LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  LoadAs(path, "png", flags, 0, [variant](LoadOptions& options) {
    if (!variant) return;
    options.flattenAlpha = 1;
    options.flattenTransparency = 1;
  });
  return 0;
}
