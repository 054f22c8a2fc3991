// Loading the simple formats at 2000 x 1500: binary and ASCII PNM, plain
// and run-length Targa, three-plane run-length PCX and a two-character XPM;
// and writing run-length Targa. The files are made once in /tmp.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace {

constexpr int kWidth = 2000, kHeight = 1500;

uint8_t Sample(int x, int y, int c) { return (uint8_t)(((x / 3) * (c + 1) + (y / 2) * (3 - c)) & 0xFF); }

std::string TempPath(const std::string& name) { return "/tmp/quivra_bench_" + std::to_string(getpid()) + "_" + name; }

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string MakePpm() {
  std::string s = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) s += (char)Sample(x, y, c);
  return s;
}

std::string MakeAsciiPgm() {
  std::string s = "P2\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) s += std::to_string(Sample(x, y, 0)) + ' ';
    s += '\n';
  }
  return s;
}

std::string MakePcx() {
  std::string s(128, '\0');
  s[0] = 10, s[1] = 5, s[2] = 1, s[3] = 8;
  s[8] = (char)((kWidth - 1) & 0xFF), s[9] = (char)((kWidth - 1) >> 8);
  s[10] = (char)((kHeight - 1) & 0xFF), s[11] = (char)((kHeight - 1) >> 8);
  s[65] = 3, s[66] = (char)(kWidth & 0xFF), s[67] = (char)(kWidth >> 8);
  for (int y = 0; y < kHeight; ++y)
    for (int c = 0; c < 3; ++c)
      for (int x = 0; x < kWidth;) {
        uint8_t v = Sample(x, y, c);
        int n = 1;
        while (x + n < kWidth && n < 63 && Sample(x + n, y, c) == v) ++n;
        if (n > 1 || v >= 192) s += (char)(0xC0 | n);
        s += (char)v;
        x += n;
      }
  return s;
}

std::string MakeXpm() {
  std::string s = "/* XPM */\nstatic char *b[] = {\n\"" + std::to_string(kWidth) + " " + std::to_string(kHeight) +
                  " 200 2\",\n";
  auto key = [](int i) { return std::string{(char)('A' + i / 20), (char)('a' + i % 20)}; };
  char colour[16];
  for (int i = 0; i < 200; ++i) {
    snprintf(colour, sizeof colour, "#%02X%02X%02X", i, 255 - i, i / 2);
    s += "\"" + key(i) + " c " + colour + "\",\n";
  }
  for (int y = 0; y < kHeight; ++y) {
    s += "\"";
    for (int x = 0; x < kWidth; ++x) s += key(Sample(x, y, 0) % 200);
    s += "\",\n";
  }
  return s + "};\n";
}

// Files made once per run, removed at exit.
struct Files {
  std::string ppm, pgm, pcx, xpm, tga, tgaRle;
  Image picture{};
  Files() {
    RegisterFormats(1);
    ppm = TempPath("p.ppm"), pgm = TempPath("a.pgm"), pcx = TempPath("r.pcx"), xpm = TempPath("k.xpm");
    tga = TempPath("t.tga"), tgaRle = TempPath("r.tga");
    WriteFile(ppm, MakePpm());
    WriteFile(pgm, MakeAsciiPgm());
    WriteFile(pcx, MakePcx());
    WriteFile(xpm, MakeXpm());
    LoadOptions options;
    LoadOptionsInit(&options);
    std::u16string w = WideFromUtf8(ppm);
    LoadImage(w.c_str(), &picture, &options, nullptr);
    for (int rle : {0, 1}) {
      WriteOptions save;
      WriteOptionsInit(&save);
      save.formatIndex = (int16_t)FindFormat("tga");
      save.rle = (uint16_t)rle;
      std::u16string out = WideFromUtf8(rle ? tgaRle : tga);
      out.resize(out.size() + 80, 0);
      SaveImage(out.data(), &picture, &save);
    }
  }
  ~Files() {
    ImageFree(&picture);
    for (const std::string* p : {&ppm, &pgm, &pcx, &xpm, &tga, &tgaRle}) unlink(p->c_str());
  }
};

Files& Made() {
  static Files files;
  return files;
}

void Load(benchmark::State& state, const std::string& file) {
  std::u16string path = WideFromUtf8(file);
  for (auto _ : state) {
    LoadOptions options;
    LoadOptionsInit(&options);
    Image image{};
    if (LoadImage(path.c_str(), &image, &options, nullptr) != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image.pixels);
    ImageFree(&image);
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

void BM_LoadPpmBinary(benchmark::State& state) { Load(state, Made().ppm); }
void BM_LoadPgmAscii(benchmark::State& state) { Load(state, Made().pgm); }
void BM_LoadPcxThreePlanesRle(benchmark::State& state) { Load(state, Made().pcx); }
void BM_LoadXpmTwoCharacterKeys(benchmark::State& state) { Load(state, Made().xpm); }
void BM_LoadTarga24(benchmark::State& state) { Load(state, Made().tga); }
void BM_LoadTarga24Rle(benchmark::State& state) { Load(state, Made().tgaRle); }

void BM_SaveTarga24Rle(benchmark::State& state) {
  Files& files = Made();
  std::u16string out = WideFromUtf8(TempPath("save.tga"));
  out.resize(out.size() + 80, 0);
  for (auto _ : state) {
    WriteOptions save;
    WriteOptionsInit(&save);
    save.formatIndex = (int16_t)FindFormat("tga");
    save.rle = 1;
    if (SaveImage(out.data(), &files.picture, &save) != 0) state.SkipWithError("save failed");
  }
  unlink(Utf8FromWide(out.c_str()).c_str());
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

BENCHMARK(BM_LoadPpmBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPgmAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPcxThreePlanesRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXpmTwoCharacterKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTarga24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTarga24Rle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTarga24Rle)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
