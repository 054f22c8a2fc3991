// libFuzzer target: the JPEG reader on arbitrary bytes, keeping comments,
// texts and metadata, and alternately taking the EXIF thumbnail shortcut
// into a small box and estimating the quality.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "jpg");
  if (path.empty()) return 0;
  const bool variant = size > 0 && (data[size - 1] & 1);
  const uint32_t flags =
      LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  LoadAs(path, "jpeg", flags, 0, [variant](LoadOptions& options) {
    if (!variant) return;
    options.flags |= LOAD_ALLOW_THUMBNAIL | LOAD_ESTIMATE_QUALITY;
    options.useThumbnail = 2;
    options.maxWidth = 60;
    options.maxHeight = 60;
  });
  return 0;
}
