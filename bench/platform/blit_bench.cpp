// Drawing speed on the headless device: full-screen blits of DIB sections
// onto each display depth, stretches, fills and text.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/backend/device.h"
#include "platform/windows.h"

namespace {

struct Scene {
  explicit Scene(int depth, int dibBits) {
    platform::DeviceOptions o;
    o.headless = true;
    o.screen.depth = depth;
    o.registryFile = "/tmp/quivra-bench-registry.db";
    platform::StartDevice(o);
    std::vector<uint8_t> buffer(sizeof(BITMAPINFOHEADER) + 256 * 4);
    BITMAPINFO* info = (BITMAPINFO*)buffer.data();
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 176, 220, 1, (WORD)dibBits,
                                       dibBits == 16 ? (DWORD)BI_BITFIELDS : (DWORD)BI_RGB, 0, 0, 0, 0, 0};
    if (dibBits == 16) {
      DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
      std::memcpy(info->bmiColors, masks, 12);
    } else if (dibBits == 8) {
      for (int i = 0; i < 216; ++i)
        info->bmiColors[i] = RGBQUAD{(BYTE)(i % 6 * 51), (BYTE)(i / 6 % 6 * 51), (BYTE)(i / 36 * 51), 0};
    }
    void* bits = nullptr;
    dib = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    size_t stride = ((176 * dibBits + 31) / 32) * 4;
    for (size_t i = 0; i < stride * 220; ++i) ((uint8_t*)bits)[i] = (uint8_t)(i * 31 % 216);
    screen = GetDC(nullptr);
    memory = CreateCompatibleDC(screen);
    SelectObject(memory, dib);
  }
  ~Scene() {
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(dib);
    platform::StopDevice();
  }
  HBITMAP dib;
  HDC screen, memory;
};

void BM_BlitFullScreen(benchmark::State& state) {
  Scene s((int)state.range(0), (int)state.range(1));
  for (auto _ : state) BitBlt(s.screen, 0, 0, 176, 220, s.memory, 0, 0, SRCCOPY);
  state.SetItemsProcessed(state.iterations() * 176 * 220);
}
BENCHMARK(BM_BlitFullScreen)->Args({16, 24})->Args({16, 16})->Args({24, 24})->Args({8, 8})->Args({16, 8})->Args({16, 1});

void BM_StretchFullScreen(benchmark::State& state) {
  Scene s(16, 24);
  for (auto _ : state) StretchBlt(s.screen, 0, 0, 176, 220, s.memory, 0, 0, 88, 110, SRCCOPY);
  state.SetItemsProcessed(state.iterations() * 176 * 220);
}
BENCHMARK(BM_StretchFullScreen);

void BM_FillFullScreen(benchmark::State& state) {
  Scene s(16, 24);
  HBRUSH b = CreateSolidBrush(RGB(0xE3, 0xD6, 0xCE));
  RECT r{0, 0, 176, 220};
  for (auto _ : state) FillRect(s.screen, &r, b);
  DeleteObject(b);
}
BENCHMARK(BM_FillFullScreen);

void BM_DrawTextLine(benchmark::State& state) {
  Scene s(16, 24);
  RECT r{0, 0, 176, 20};
  SetBkMode(s.screen, TRANSPARENT);
  for (auto _ : state) DrawText(s.screen, u"Do you really want to delete?", -1, &r, DT_LEFT | DT_SINGLELINE);
}
BENCHMARK(BM_DrawTextLine);

}  // namespace

BENCHMARK_MAIN();
