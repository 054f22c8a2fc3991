// libFuzzer target: the GIF reader (first, third and a far frame, with the
// comment kept) and the animated GIF frame loader on arbitrary bytes. The
// loaders read files, so each input is written to a private temporary file.
//
// Build against the instrumented library (see README.md):
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. fuzz/gif_fuzz.cpp \
//     build-fuzz/imagelib/libimagelib.a build-fuzz/platform/libplatform_base.a \
//     -ljpeg -lpng -lz -lpthread -o build-fuzz/gif_fuzz
//   mkdir -p build-fuzz/gif-inputs && build-fuzz/gif_fuzz -max_len=65536 build-fuzz/gif-inputs ../shared/corpus/gif
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"
#include "imagelib/ops/gif_animation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string hostPath = [] {
    RegisterFormats(1);
    return "/tmp/quivra_gif_fuzz_" + std::to_string(getpid()) + ".gif";
  }();
  static const std::u16string path = WideFromUtf8(hostPath);
  FILE* f = fopen(hostPath.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  for (int index : {0, 2, 1000}) {
    LoadOptions options;
    LoadOptionsInit(&options);
    options.formatIndex = (int16_t)FindFormat("gif");
    options.flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT;
    options.imageIndex = index;
    options.memoryCap = 64ull << 20;
    Image image{};
    ImageInfo info{};
    LoadImage(path.c_str(), &image, &options, &info);
    ImageFree(&image);
    ImageInfoFree(&info);
  }
  GifAnimation animation{};
  LoadGifAnimationCapped(hostPath.c_str(), &animation, 64ull << 20);
  GifAnimationFree(&animation);
  return 0;
}
