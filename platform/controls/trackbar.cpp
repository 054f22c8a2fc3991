// The trackbar: a position within a range (a negative minimum is fine),
// drawn as a channel with ticks and a thumb. Left / Right move it one line
// and report each step to the parent with WM_HSCROLL.
#include "platform/controls/trackbar.h"

#include <algorithm>
#include <memory>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"

namespace platform::controls {
namespace {

struct TrackState {
  int min = 0;
  int max = 100;
  int pos = 0;
  int line = 1;
  int page = 20;
  int frequency = 1;
  bool frequencySet = false;
  int Clamp(long v) const {
    return (int)std::max<long>(min, std::min<long>(std::max(min, max), v));
  }
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }

void Changed(HWND hwnd, TrackState* st) {
  st->pos = st->Clamp(st->pos);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void Move(HWND hwnd, TrackState* st, bool forward) {
  if (!IsWindowEnabled(hwnd)) return;
  int next = st->Clamp((long)st->pos + (forward ? st->line : -st->line));
  if (next == st->pos) return;
  st->pos = next;
  InvalidateRect(hwnd, nullptr, TRUE);
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  WORD code = forward ? TB_LINEDOWN : TB_LINEUP;
  SendMessage(parent, (StyleOf(hwnd) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL,
              MAKEWPARAM(code, (WORD)(short)next), (LPARAM)hwnd);
}

void Paint(HWND hwnd, HDC dc, const RECT& client, TrackState* st) {
  HBRUSH brush = AskStaticColours(hwnd, dc, (HFONT)GetStockObject(SYSTEM_FONT));
  FillRect(dc, &client, brush);
  bool enabled = IsWindowEnabled(hwnd);
  bool focused = enabled && GetFocus() == hwnd;
  COLORREF frame = enabled ? GetSysColor(COLOR_WINDOWFRAME) : RGB(0x80, 0x80, 0x80);
  int w = client.right - client.left, h = client.bottom - client.top;
  int thumbW = 7;
  int thumbH = std::max(6, std::min(16, h - 6));
  int thumbTop = std::max(0, (h - thumbH - 4) / 2);
  int left = thumbW / 2 + 2, right = w - thumbW / 2 - 3;  // the range's first and last pixel
  if (right < left) right = left;
  int span = st->max - st->min;
  auto xOf = [&](int v) {
    if (span <= 0) return left;
    return left + (int)((long long)(v - st->min) * (right - left) / span);
  };
  int cy = thumbTop + thumbH / 2;
  RECT channel{left - 2, cy - 2, right + 3, cy + 2};
  FillSolid(dc, channel, GetSysColor(COLOR_WINDOW));
  FrameSolid(dc, channel, RGB(0x80, 0x80, 0x80));
  if (!(StyleOf(hwnd) & TBS_NOTICKS)) {
    int tickTop = thumbTop + thumbH + 1;
    auto tick = [&](int v) {
      int x = xOf(v);
      FillSolid(dc, RECT{x, tickTop, x + 1, tickTop + 3}, frame);
    };
    tick(st->min);
    if ((StyleOf(hwnd) & TBS_AUTOTICKS) || st->frequencySet) {
      int f = std::max(1, st->frequency);
      for (long v = (long)st->min + f; v < st->max; v += f) tick((int)v);
    }
    tick(st->max);
  }
  int x = xOf(st->pos);
  RECT thumb{x - thumbW / 2, thumbTop, x - thumbW / 2 + thumbW, thumbTop + thumbH};
  FillSolid(dc, thumb, GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  FrameSolid(dc, thumb, frame);
}

LRESULT CALLBACK TrackbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<TrackState>(hwnd);
  if (!st && msg != WM_CREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) { Paint(hwnd, dc, client, st); };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, nullptr, paint, &result)) return result;
  switch (msg) {
    case WM_CREATE:
      SetControlData(hwnd, std::make_shared<TrackState>());
      return 0;
    case TBM_GETPOS:
      return st->pos;
    case TBM_SETPOS:
      st->pos = (int)lParam;
      Changed(hwnd, st);
      return 0;
    case TBM_SETRANGE:
      st->min = (short)LOWORD(lParam);
      st->max = (short)HIWORD(lParam);
      Changed(hwnd, st);
      return 0;
    case TBM_SETRANGEMIN:
      st->min = (int)lParam;
      Changed(hwnd, st);
      return 0;
    case TBM_SETRANGEMAX:
      st->max = (int)lParam;
      Changed(hwnd, st);
      return 0;
    case TBM_GETRANGEMIN:
      return st->min;
    case TBM_GETRANGEMAX:
      return st->max;
    case TBM_SETTICFREQ:
      st->frequency = std::max(1, (int)wParam);
      st->frequencySet = true;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TBM_SETLINESIZE: {
      int old = st->line;
      st->line = (int)lParam;
      return old;
    }
    case TBM_GETLINESIZE:
      return st->line;
    case TBM_SETPAGESIZE: {
      int old = st->page;
      st->page = (int)lParam;
      return old;
    }
    case TBM_GETPAGESIZE:
      return st->page;
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT) Move(hwnd, st, wParam == VK_RIGHT);
      return 0;
    case WM_GETDLGCODE:
      return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterTrackbarClass() { RegisterControlClass(TRACKBAR_CLASS, TrackbarProc); }

}  // namespace platform::controls
