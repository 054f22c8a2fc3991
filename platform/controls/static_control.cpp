// The static control: a label (with "&" prefixes unless SS_NOPREFIX), a
// bitmap, or a link line (SS_NOTIFY) that takes the focus and reports the
// Action key as STN_CLICKED.
#include "platform/controls/static_control.h"

#include <algorithm>
#include <memory>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"
#include "platform/resources/resources.h"

namespace platform::controls {
namespace {

struct StaticState {
  FontSlot font;
  HBITMAP image = nullptr;
  bool ownsImage = false;  // loaded from the resources named by the text
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }

// A bitmap static takes the size of its picture unless it centres it.
void FitToImage(HWND hwnd, HBITMAP image) {
  BITMAP bm{};
  if ((StyleOf(hwnd) & SS_CENTERIMAGE) || !image || !GetObject(image, sizeof bm, &bm)) return;
  SetWindowPos(hwnd, nullptr, 0, 0, bm.bmWidth, std::abs(bm.bmHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PaintBitmap(HWND hwnd, HDC dc, const RECT& client, StaticState* st) {
  HBRUSH brush = AskStaticColours(hwnd, dc, st->font.Current());
  FillRect(dc, &client, brush);
  BITMAP bm{};
  if (!st->image || !GetObject(st->image, sizeof bm, &bm)) return;
  int w = bm.bmWidth, h = std::abs(bm.bmHeight), x = 0, y = 0;
  if (StyleOf(hwnd) & SS_CENTERIMAGE) {
    x = (client.right - w) / 2;
    y = (client.bottom - h) / 2;
  }
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, st->image);
  BitBlt(dc, x, y, w, h, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

void PaintText(HWND hwnd, HDC dc, const RECT& client, StaticState* st) {
  DWORD style = StyleOf(hwnd);
  DWORD type = style & SS_TYPEMASK;
  HBRUSH brush = AskStaticColours(hwnd, dc, st->font.Current());
  FillRect(dc, &client, brush);
  std::u16string text = WindowTextOf(hwnd);
  UINT format = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  if (type == SS_CENTER) format |= DT_CENTER;
  else if (type == SS_RIGHT) format |= DT_RIGHT;
  if (type == SS_LEFTNOWORDWRAP) format |= DT_SINGLELINE;
  else if (style & SS_CENTERIMAGE) format |= DT_SINGLELINE | DT_VCENTER;
  else format |= DT_WORDBREAK;
  SetBkMode(dc, TRANSPARENT);
  bool enabled = !(style & WS_DISABLED);
  if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  if (enabled && (style & SS_NOTIFY) && GetFocus() == hwnd && !text.empty()) {
    // The focused link: its text on the highlight colour.
    RECT box = client;
    DrawText(dc, text.c_str(), (int)text.size(), &box, format | DT_CALCRECT);
    int w = box.right - box.left, h = box.bottom - box.top;
    int cw = client.right - client.left;
    int x = (format & DT_CENTER) ? (cw - w) / 2 : (format & DT_RIGHT) ? cw - w : 0;
    int y = (format & DT_VCENTER) ? (client.bottom - h) / 2 : 0;
    RECT mark{std::max(0, x - 1), y, std::min(cw, x + w + 1), y + h};
    FillSolid(dc, mark, GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  RECT r = client;
  DrawText(dc, text.c_str(), (int)text.size(), &r, format);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<StaticState>(hwnd);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) {
    if ((StyleOf(hwnd) & SS_TYPEMASK) == SS_BITMAP) PaintBitmap(hwnd, dc, client, st);
    else PaintText(hwnd, dc, client, st);
  };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, &st->font, paint, &result))
    return result;
  switch (msg) {
    case WM_CREATE: {
      auto state = std::make_shared<StaticState>();
      SetControlData(hwnd, state);
      // A bitmap static names its picture in its text ("#135").
      auto* cs = (const CREATESTRUCT*)lParam;
      if ((StyleOf(hwnd) & SS_TYPEMASK) == SS_BITMAP && cs && cs->lpszName &&
          cs->lpszName[0] == u'#') {
        state->image = LoadBitmap(cs->hInstance, cs->lpszName);
        state->ownsImage = state->image != nullptr;
        FitToImage(hwnd, state->image);
      }
      return 0;
    }
    case WM_DESTROY:
      if (st && st->ownsImage) DeleteObject(st->image);
      if (st) st->image = nullptr;
      return 0;
    case WM_SETTEXT:
      DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case WM_GETDLGCODE:
      return (StyleOf(hwnd) & SS_NOTIFY) ? DLGC_BUTTON : DLGC_STATIC;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN && (StyleOf(hwnd) & SS_NOTIFY) && IsWindowEnabled(hwnd))
        NotifyCommand(hwnd, STN_CLICKED);
      return 0;
    case STM_SETIMAGE: {
      if (!st || wParam != IMAGE_BITMAP || (StyleOf(hwnd) & SS_TYPEMASK) != SS_BITMAP) return 0;
      HBITMAP old = st->image;  // the caller's from now on
      st->image = (HBITMAP)lParam;
      st->ownsImage = false;
      FitToImage(hwnd, st->image);
      InvalidateRect(hwnd, nullptr, TRUE);
      return (LRESULT)old;
    }
    case STM_GETIMAGE:
      return (st && wParam == IMAGE_BITMAP) ? (LRESULT)st->image : 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterStaticClass() { RegisterControlClass(WC_STATIC, StaticProc); }

}  // namespace platform::controls
