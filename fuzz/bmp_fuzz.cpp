// libFuzzer target: the BMP reader on arbitrary bytes.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "bmp");
  if (!path.empty()) LoadAs(path, "bmp", LOAD_KEEP_PARTIAL);
  return 0;
}
