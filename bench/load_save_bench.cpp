// Loading and saving a large 24-bit bitmap: full size into RGB and BGR, into
// a 160 x 120 box by picking and by averaging, and saving it back as BMP.
// The picture (4000 x 3000) is made by the benchmark itself.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::u16string Path(const char* name) {
  return WideFromUtf8("/tmp/quivra_bench_" + std::to_string(getpid()) + "_" + name);
}

int SaveBmp(const std::u16string& path, const Image& image) {
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("bmp");
  std::vector<char16_t> buffer(path.begin(), path.end());
  buffer.resize(path.size() + 80, 0);
  return SaveImage(buffer.data(), &image, &options);
}

// A picture with some structure (gradients and stripes), not noise.
void MakePicture(Image* image) {
  ImageCreate(image, PIXEL_RGB, 4, kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < kWidth; ++x) {
      row[3 * x] = (uint8_t)(x * 255 / kWidth);
      row[3 * x + 1] = (uint8_t)(y * 255 / kHeight);
      row[3 * x + 2] = (uint8_t)(((x / 40) ^ (y / 40)) & 1 ? 220 : 30);
    }
  }
}

// The registered table and the 24-bit file, made once.
const std::u16string& SourceFile() {
  static std::u16string path = [] {
    RegisterFormats(1);
    Image image{};
    MakePicture(&image);
    std::u16string p = Path("source.bmp");
    if (SaveBmp(p, image) != 0) fprintf(stderr, "could not write the benchmark picture\n");
    ImageFree(&image);
    return p;
  }();
  return path;
}

void LoadWith(benchmark::State& state, uint16_t channelOrder, int maxWidth, int maxHeight, uint32_t scaleMode) {
  const std::u16string& path = SourceFile();
  LoadOptions options;
  LoadOptionsInit(&options);
  options.channelOrder = channelOrder;
  options.maxWidth = maxWidth;
  options.maxHeight = maxHeight;
  options.scaleMode = scaleMode;
  for (auto _ : state) {
    Image image{};
    int r = LoadImage(path.c_str(), &image, &options, nullptr);
    if (r != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image.pixels);
    ImageFree(&image);
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)kWidth * kHeight * 3);
}

void BM_LoadBmp24_FullRgb(benchmark::State& state) { LoadWith(state, 0, -1, -1, 0); }
void BM_LoadBmp24_FullBgr(benchmark::State& state) { LoadWith(state, 1, -1, -1, 0); }
void BM_LoadBmp24_Box160x120Fast(benchmark::State& state) { LoadWith(state, 0, 160, 120, 0); }
void BM_LoadBmp24_Box160x120Smooth(benchmark::State& state) { LoadWith(state, 0, 160, 120, 2); }

void BM_SaveBmp24(benchmark::State& state) {
  SourceFile();
  Image image{};
  MakePicture(&image);
  std::u16string path = Path("saved.bmp");
  for (auto _ : state) {
    if (SaveBmp(path, image) != 0) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)kWidth * kHeight * 3);
  ImageFree(&image);
  unlink(Utf8FromWide(path.c_str()).c_str());
}

BENCHMARK(BM_LoadBmp24_FullRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBmp24_FullBgr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBmp24_Box160x120Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBmp24_Box160x120Smooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBmp24)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(Utf8FromWide(SourceFile().c_str()).c_str());
  return 0;
}
