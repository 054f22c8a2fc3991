// libFuzzer target: the TIFF reader on arbitrary bytes. The loader reads
// files, so each input is written to a private temporary file first.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::u16string path = [] {
    RegisterFormats(1);
    return WideFromUtf8("/tmp/quivra_tiff_fuzz_" + std::to_string(getpid()) + ".tif");
  }();
  static const std::string hostPath = Utf8FromWide(path.c_str());
  FILE* f = fopen(hostPath.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("tiff");
  options.flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  options.memoryCap = 64ull << 20;
  Image image{};
  ImageInfo info{};
  LoadImage(path.c_str(), &image, &options, &info);
  ImageFree(&image);
  ImageInfoFree(&info);
  // A second page, when there is one, goes through the same checks.
  if (info.imageCount > 1) {
    options.imageIndex = 1;
    Image second{};
    LoadImage(path.c_str(), &second, &options, nullptr);
    ImageFree(&second);
  }
  return 0;
}
