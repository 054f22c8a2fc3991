// libFuzzer target: the XPM reader on arbitrary bytes.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "xpm");
  if (!path.empty()) LoadAs(path, "xpm", LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT);
  return 0;
}
