// GIF decoding and encoding of a 3000 x 2000, 256-colour picture made by the
// benchmark itself (smooth bands with some noise, as a dithered photo
// gives): loading into palette indexes and into RGB, saving, and the LZW
// encoder alone.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/codecs/gif_lzw_encoder.h"
#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;

void MakePicture(Image* image) {
  ImageCreate(image, PIXEL_INDEXED, 1, kWidth, kHeight);
  image->paletteCount = 256;
  for (int i = 0; i < 256; ++i) {
    image->palette[i] = (uint8_t)i;
    image->palette[256 + i] = (uint8_t)(255 - i);
    image->palette[512 + i] = (uint8_t)(i * 7);
  }
  uint32_t state = 1;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1103515245u + 12345u;
      row[x] = (uint8_t)((x / 12 + y / 9) + ((state >> 16) & 3));
    }
  }
}

const Image& Picture() {
  static Image image = [] {
    Image i{};
    MakePicture(&i);
    return i;
  }();
  return image;
}

std::u16string Path(const char* name) {
  return WideFromUtf8("/tmp/quivra_bench_" + std::to_string(getpid()) + "_" + name);
}

int Save(const std::u16string& path) {
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)FindFormat("gif");
  std::vector<char16_t> buffer(path.begin(), path.end());
  buffer.resize(path.size() + 80, 0);
  return SaveImage(buffer.data(), &Picture(), &options);
}

const std::u16string& SourceFile() {
  static std::u16string path = [] {
    RegisterFormats(1);
    std::u16string p = Path("source.gif");
    if (Save(p) != 0) fprintf(stderr, "could not write the benchmark picture\n");
    return p;
  }();
  return path;
}

void Load(benchmark::State& state, uint32_t flags) {
  const std::u16string& path = SourceFile();
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = flags;
  for (auto _ : state) {
    Image image{};
    if (LoadImage(path.c_str(), &image, &options, nullptr) != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image.pixels);
    ImageFree(&image);
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

void BM_LoadGif_Indexes(benchmark::State& state) { Load(state, 0); }
void BM_LoadGif_Rgb(benchmark::State& state) { Load(state, LOAD_DIRECT_COLOUR); }

void BM_SaveGif(benchmark::State& state) {
  SourceFile();
  std::u16string path = Path("saved.gif");
  for (auto _ : state)
    if (Save(path) != 0) state.SkipWithError("save failed");
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

void BM_LzwEncode(benchmark::State& state) {
  const Image& image = Picture();
  for (auto _ : state) {
    GifLzwEncoder encoder(8);
    for (int y = 0; y < kHeight; ++y) {
      encoder.Add(ImageRow(&image, y), kWidth);
      encoder.output().clear();
    }
    encoder.Finish();
    benchmark::DoNotOptimize(encoder.output().data());
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

BENCHMARK(BM_LoadGif_Indexes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGif_Rgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveGif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
