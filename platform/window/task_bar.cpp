// The task bar: a strip at the top of the screen with the foreground
// window's title and a clock.
#include <ctime>

#include "platform/backend/device.h"
#include "platform/gdi/gdi.h"
#include "platform/window/window_internal.h"

namespace platform::wm {
namespace {

const UINT_PTR kClockTimer = 1;

// Minutes of the day shown by the clock: the host's local time, or in
// headless runs noon plus the virtual clock.
int ClockMinutes() {
  Backend* b = CurrentBackend();
  if (CurrentOptions().headless) return (12 * 60 + (int)((b ? b->Now() : 0) / 60000)) % (24 * 60);
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_hour * 60 + local.tm_min;
}

void ArmClock(HWND hwnd) {
  Backend* b = CurrentBackend();
  uint32_t now = b ? b->Now() : 0;
  SetTimer(hwnd, kClockTimer, 60000 - now % 60000, nullptr);
}

}  // namespace

LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      ArmClock(hwnd);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      HBRUSH band = CreateSolidBrush(RGB(0x10, 0x24, 0x5A));
      FillRect(dc, &r, band);
      DeleteObject(band);
      LOGFONT lf{};
      lf.lfHeight = -(r.bottom * 11 / 20);
      lf.lfWeight = FW_BOLD;
      HFONT font = CreateFontIndirect(&lf);
      HGDIOBJ old = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      int minutes = ClockMinutes();
      WCHAR clock[6] = {(WCHAR)(u'0' + minutes / 600), (WCHAR)(u'0' + minutes / 60 % 10), u':',
                        (WCHAR)(u'0' + minutes % 60 / 10), (WCHAR)(u'0' + minutes % 10), 0};
      RECT clockRect = r;
      clockRect.right -= 3;
      DrawText(dc, clock, 5, &clockRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SIZE clockSize{};
      GetTextExtentPoint32(dc, clock, 5, &clockSize);
      WCHAR title[128] = {0};
      if (HWND fg = GetForegroundWindow()) GetWindowText(fg, title, 128);
      RECT titleRect{r.left + 3, r.top, r.right - clockSize.cx - 8, r.bottom};
      DrawText(dc, title, -1, &titleRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, old);
      DeleteObject(font);
      EndPaint(hwnd, &ps);
      if (GetTimerArmed(hwnd) == false) ArmClock(hwnd);
      return 0;
    }
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace platform::wm
