// The picture operations on a 12-megapixel picture (4000 x 3000): quarter
// and half turns, tone tables, auto levels, median cut to 256 colours,
// ordered dithering, error diffusion, and the resampling operations. Each
// run writes into a destination record, so the source stays the same.
#include <benchmark/benchmark.h>

#include <cstring>

#include "imagelib/core/image.h"
#include "imagelib/ops/convert_depth.h"
#include "imagelib/ops/resample.h"
#include "imagelib/ops/rotate.h"
#include "imagelib/ops/tone.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Photo-like content: smooth gradients, soft blobs and a little noise.
const Image& Photo() {
  static Image image = [] {
    Image im;
    std::memset(&im, 0, sizeof(im));
    ImageCreate(&im, PIXEL_RGB, 4, kWidth, kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = ImageRow(&im, y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int noise = (int)((seed >> 16) & 15) - 8;
        const int blob = ((x / 300 + y / 200) & 1) ? 40 : 0;
        auto clamp = [](int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[3 * x] = clamp(x * 200 / kWidth + blob + noise);
        row[3 * x + 1] = clamp(y * 220 / kHeight + noise);
        row[3 * x + 2] = clamp(((x + y) % 512) / 2 + blob / 2 + noise);
      }
    }
    return im;
  }();
  return image;
}

const Image& BitPicture() {
  static Image image = [] {
    Image im;
    std::memset(&im, 0, sizeof(im));
    ImageCreate(&im, PIXEL_BW, 4, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = ImageRow(&im, y);
      for (int i = 0; i < im.bytesPerRow; ++i) row[i] = (uint8_t)(i * 37 + y * 11);
    }
    return im;
  }();
  return image;
}

template <typename Op>
void Run(benchmark::State& state, const Image& source, Op op) {
  Image src = source;  // the operations take a mutable source record
  for (auto _ : state) {
    Image out;
    std::memset(&out, 0, sizeof(out));
    if (op(&src, &out) != 0) state.SkipWithError("operation failed");
    ImageFree(&out);
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

void BM_Rotate90(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return Rotate(a, b, 90, 0); });
}
void BM_Rotate180(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return Rotate(a, b, 180, 0); });
}
void BM_Rotate90Bits(benchmark::State& s) {
  Run(s, BitPicture(), [](Image* a, Image* b) { return Rotate(a, b, 90, 0); });
}
void BM_AdjustTone(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return AdjustTone(a, b, nullptr, 10, 20, 1.2); });
}
void BM_AutoLevels(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return AutoLevels(a, b, nullptr); });
}
void BM_MedianCut256(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return ConvertDepth(a, b, DEPTH_COLOURS_256, 0); });
}
void BM_OrderedCube256(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return ConvertDepth(a, b, DEPTH_COLOURS_256, 1); });
}
void BM_ErrorDiffusion(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return ConvertDepth(a, b, DEPTH_BW, BW_ERROR_DIFFUSION); });
}
void BM_ReduceSmoothTo160x120(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return ReduceSmooth(a, b, 160, 120, 0); });
}
void BM_ResizeAreaTo1000x750(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return Resize(a, b, 1000, 750, 0); });
}
void BM_ResizeFastTo1000x750(benchmark::State& s) {
  Run(s, Photo(), [](Image* a, Image* b) { return ResizeFast(a, b, 1000, 750); });
}

BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90Bits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustTone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutoLevels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MedianCut256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderedCube256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ErrorDiffusion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceSmoothTo160x120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeAreaTo1000x750)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeFastTo1000x750)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
