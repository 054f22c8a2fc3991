// libFuzzer target: the PCX reader on arbitrary bytes.
#include "fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "pcx");
  if (!path.empty()) LoadAs(path, "pcx", LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT);
  return 0;
}
