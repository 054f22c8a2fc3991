// A small program for the emulated device: a window with a painted picture
// (DIB sections blitted and stretched), a frame and text from its resources.
// Digits change the background; Back closes it. It runs the same in the SDL
// window and headless, which the tests compare.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend/program_main.h"
#include "platform/resources/resources.h"
#include "platform/windows.h"

namespace {

int g_colour = 0;
HBITMAP g_gradient = nullptr;
HBITMAP g_checker = nullptr;

const COLORREF kBackgrounds[10] = {RGB(0xFF, 0xFF, 0xFF), RGB(0xE3, 0xD6, 0xCE), RGB(0xCA, 0xED, 0xED),
                                   RGB(0xE6, 0xE6, 0xEB), RGB(0xC3, 0xC3, 0xC3), RGB(0x20, 0x40, 0x80),
                                   RGB(0x00, 0x80, 0x00), RGB(0x80, 0x00, 0x00), RGB(0x40, 0x40, 0x40),
                                   RGB(0x00, 0x00, 0x00)};

// A 64 x 48 24-bit gradient, bottom-up; a 16 x 16 5-5-5 checker, top-down.
void MakePictures() {
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 64, 48, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  g_gradient = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (g_gradient) {
    uint8_t* p = (uint8_t*)bits;
    for (int row = 0; row < 48; ++row) {
      int y = 47 - row;  // bottom-up: the picture's top row is the last in memory
      for (int x = 0; x < 64; ++x) {
        uint8_t* q = p + (size_t)row * 192 + (size_t)x * 3;
        q[0] = (uint8_t)(255 - y * 5);
        q[1] = (uint8_t)(x * 4);
        q[2] = (uint8_t)(y * 5);
      }
    }
  }
  std::vector<uint8_t> buffer(sizeof(BITMAPINFOHEADER) + 12);
  BITMAPINFO* fields = (BITMAPINFO*)buffer.data();
  fields->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, -16, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
  DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
  std::memcpy(buffer.data() + sizeof(BITMAPINFOHEADER), masks, 12);
  g_checker = CreateDIBSection(nullptr, fields, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (g_checker) {
    uint16_t* p = (uint16_t*)bits;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) p[y * 16 + x] = ((x / 4 + y / 4) & 1) ? 0x7C00 : 0x001F;
  }
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HBRUSH background = CreateSolidBrush(kBackgrounds[g_colour]);
  FillRect(dc, &client, background);
  DeleteObject(background);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, g_gradient);
  BitBlt(dc, 8, 8, 64, 48, memory, 0, 0, SRCCOPY);
  SelectObject(memory, g_checker);
  StretchBlt(dc, 88, 8, 64, 48, memory, 0, 0, 16, 16, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  HBRUSH red = CreateSolidBrush(RGB(0xFF, 0x00, 0x00));
  RECT frame{6, 6, 74, 58};
  FrameRect(dc, &frame, red);
  DeleteObject(red);
  LOGFONT lf{};
  lf.lfHeight = -(12 * GetDeviceCaps(dc, LOGPIXELSY) / 72);
  lf.lfWeight = FW_BOLD;
  std::u16string face = u"Tahoma";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT bold = CreateFontIndirect(&lf);
  HGDIOBJ oldFont = SelectObject(dc, bold);
  WCHAR text[64];
  LoadString(GetModuleHandle(nullptr), 2, text, 64);
  SetBkMode(dc, TRANSPARENT);
  RECT line{0, 70, client.right, 100};
  SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
  OffsetRect(&line, 1, 1);
  DrawText(dc, text, -1, &line, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  OffsetRect(&line, -1, -1);
  SetTextColor(dc, RGB(0xFF, 0x00, 0x00));
  DrawText(dc, text, -1, &line, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  DeleteObject(bold);
  LoadString(GetModuleHandle(nullptr), 3, text, 64);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
  RECT hint{0, 110, client.right, 130};
  DrawText(dc, text, -1, &hint, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK DemoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: Paint(hwnd); return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) PostMessage(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_CHAR:
      if (wParam >= '0' && wParam <= '9') {
        g_colour = (int)(wParam - '0');
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_TIMER:
      if (wParam == 1) PostMessage(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

int DemoMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  WNDCLASS wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DemoProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = u"DemoClass";
  if (!RegisterClass(&wc)) return 1;
  MakePictures();
  WCHAR title[64];
  LoadString(instance, 1, title, 64);
  HWND hwnd = CreateWindowEx(0, u"DemoClass", title, WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr, nullptr, instance,
                             nullptr);
  if (!hwnd) return 1;
  if (const char* quit = std::getenv("QUIVRA_DEMO_QUIT_AFTER")) SetTimer(hwnd, 1, (UINT)std::atoi(quit), nullptr);
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  DeleteObject(g_gradient);
  DeleteObject(g_checker);
  return (int)msg.wParam;
}

}  // namespace

int main(int argc, char** argv) { return platform::RunDeviceProgram(argc, argv, DemoMain); }
