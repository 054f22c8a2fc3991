// Loading a multi-megapixel camera JPEG: the whole picture, the picture
// reduced into a 60 x 60 box by scaled decoding, and the embedded EXIF
// thumbnail shortcut for the same box. The camera file comes from the
// shared corpus (../shared/corpus/exif-makernotes, 4032 x 3024 with a
// 160 x 120 EXIF thumbnail); the benchmarks are skipped without it.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace {

std::string CameraFile() {
  std::string here = __FILE__;  // SOURCE/bench/this file
  std::string source = here.substr(0, here.rfind('/')) + "/..";
  std::string path = source + "/../shared/corpus/exif-makernotes/exif-samples-42_IndexError.jpg";
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? path : std::string();
}

void Load(benchmark::State& state, uint32_t flags, int box, int useThumbnail) {
  std::string file = CameraFile();
  if (file.empty()) {
    state.SkipWithError("corpus absent");
    return;
  }
  RegisterFormats(1);
  std::u16string path = WideFromUtf8(file);
  for (auto _ : state) {
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = flags;
    options.maxWidth = box;
    options.maxHeight = box;
    options.useThumbnail = (uint8_t)useThumbnail;
    Image image{};
    int result = LoadImage(path.c_str(), &image, &options, nullptr);
    if (result != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image.pixels);
    ImageFree(&image);
  }
  UnregisterFormats();
}

void BM_JpegFullDecode(benchmark::State& state) { Load(state, 0, -1, 0); }
void BM_JpegScaledInto60(benchmark::State& state) { Load(state, LOAD_ALLOW_THUMBNAIL, 60, 0); }
void BM_JpegExifThumbnailInto60(benchmark::State& state) {
  Load(state, LOAD_ALLOW_THUMBNAIL, 60, 1);
}

}  // namespace

BENCHMARK(BM_JpegFullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegScaledInto60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegExifThumbnailInto60)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
