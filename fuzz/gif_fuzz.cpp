// libFuzzer target: the GIF reader (first, third and a far frame, with the
// comment kept) and the animated GIF frame loader on arbitrary bytes. The
// loaders read files, so each input is written to a private temporary file.
//
// Build and run: see README.md.
#include "fuzz/fuzz_load.h"
#include "imagelib/ops/gif_animation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = WriteFuzzInput(data, size, "gif");
  if (path.empty()) return 0;
  for (int index : {0, 2, 1000}) LoadAs(path, "gif", LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT, index);
  GifAnimation animation{};
  LoadGifAnimationCapped(Utf8FromWide(path.c_str()).c_str(), &animation, 64ull << 20);
  GifAnimationFree(&animation);
  return 0;
}
