// libFuzzer target: the JPEG reader on arbitrary bytes, keeping comments,
// texts and metadata, and alternately taking the EXIF thumbnail
// shortcut into a small box and estimating the quality. The loader reads files, so each input is written to a private
// temporary file first.
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
    return WideFromUtf8("/tmp/quivra_jpeg_fuzz_" + std::to_string(getpid()) + ".jpg");
  }();
  static const std::string hostPath = Utf8FromWide(path.c_str());
  FILE* f = fopen(hostPath.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  LoadOptions options;
  LoadOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("jpeg");
  options.flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
  options.memoryCap = 64ull << 20;
  const bool variant = size > 0 && (data[size - 1] & 1);
  if (variant) {
    options.flags |= LOAD_ALLOW_THUMBNAIL | LOAD_ESTIMATE_QUALITY;
    options.useThumbnail = 2;
    options.maxWidth = 60;
    options.maxHeight = 60;
  }
  Image image{};
  ImageInfo info{};
  LoadImage(path.c_str(), &image, &options, &info);
  ImageFree(&image);
  ImageInfoFree(&info);
  return 0;
}
