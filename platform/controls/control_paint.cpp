#include "platform/controls/control_paint.h"

#include <algorithm>

#include "platform/gdi/gdi.h"
#include "platform/text/wide.h"

namespace platform::controls {

void RegisterControlClass(const char16_t* className, WNDPROC proc) {
  WNDCLASS wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = className;
  RegisterClass(&wc);
}

HFONT FontSlot::Current() const { return font ? font : (HFONT)GetStockObject(SYSTEM_FONT); }

HBRUSH AskStaticColours(HWND hwnd, HDC dc, HFONT font) {
  SelectObject(dc, font);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  SetBkMode(dc, OPAQUE);
  HWND parent = GetParent(hwnd);
  HBRUSH brush = nullptr;
  if (parent) brush = (HBRUSH)SendMessage(parent, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)hwnd);
  if (!brush || GetObjectType(brush) != OBJ_BRUSH) brush = (HBRUSH)GetStockObject(WHITE_BRUSH);
  return brush;
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void FrameSolid(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FrameRect(dc, &r, b);
  DeleteObject(b);
}

void DrawArrow(HDC dc, const RECT& box, Arrow dir, int size, COLORREF colour) {
  if (size < 1) return;
  int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
  HBRUSH b = CreateSolidBrush(colour);
  // Columns (or rows) of the triangle from the tip, each two pixels longer.
  for (int i = 0; i < size; ++i) {
    int half = i;
    RECT line{};
    switch (dir) {
      case Arrow::Left: {
        int x = cx - size / 2 + i;
        line = RECT{x, cy - half, x + 1, cy + half + 1};
        break;
      }
      case Arrow::Right: {
        int x = cx + size / 2 - i;
        line = RECT{x, cy - half, x + 1, cy + half + 1};
        break;
      }
      case Arrow::Up: {
        int y = cy - size / 2 + i;
        line = RECT{cx - half, y, cx + half + 1, y + 1};
        break;
      }
      case Arrow::Down: {
        int y = cy + size / 2 - i;
        line = RECT{cx - half, y, cx + half + 1, y + 1};
        break;
      }
    }
    FillRect(dc, &line, b);
  }
  DeleteObject(b);
}

void DrawCheckMark(HDC dc, const RECT& box, COLORREF colour) {
  int w = box.right - box.left, h = box.bottom - box.top;
  int n = std::min(w, h);
  if (n < 5) return;
  HBRUSH b = CreateSolidBrush(colour);
  // A tick: a short stroke down to the right, then a long one up to the right,
  // two pixels thick.
  int left = box.left + (w - n) / 2 + 1, bottom = box.top + (h - n) / 2 + n - 2;
  int shortLen = (n - 2) / 3, longLen = n - 2 - shortLen;
  int x = left, y = bottom - shortLen;
  for (int i = 0; i <= shortLen; ++i, ++x, ++y) {
    RECT r{x, y - 1, x + 1, y + 1};
    FillRect(dc, &r, b);
  }
  y -= 2;
  for (int i = 0; i < longLen - 1; ++i, ++x, --y) {
    RECT r{x, y - 1, x + 1, y + 1};
    FillRect(dc, &r, b);
  }
  DeleteObject(b);
}

std::u16string WindowTextOf(HWND hwnd) {
  int n = GetWindowTextLength(hwnd);
  std::u16string s((size_t)std::max(0, n) + 1, u'\0');
  int got = GetWindowText(hwnd, s.data(), (int)s.size());
  s.resize((size_t)std::max(0, got));
  return s;
}

LRESULT CopyTextOut(const std::u16string& text, WPARAM size, LPARAM buffer) {
  if (!buffer || size == 0) return 0;
  LPWSTR out = (LPWSTR)buffer;
  size_t n = std::min(text.size(), (size_t)size - 1);
  std::copy(text.begin(), text.begin() + (ptrdiff_t)n, out);
  out[n] = 0;
  return (LRESULT)n;
}

void NotifyCommand(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  SendMessage(parent, WM_COMMAND, MAKEWPARAM((WORD)GetDlgCtrlID(control), code), (LPARAM)control);
}

LRESULT NotifyParent(HWND control, NMHDR* hdr, UINT code) {
  hdr->hwndFrom = control;
  hdr->idFrom = (UINT_PTR)GetDlgCtrlID(control);
  hdr->code = code;
  HWND parent = GetParent(control);
  if (!parent) return 0;
  return SendMessage(parent, WM_NOTIFY, (WPARAM)hdr->idFrom, (LPARAM)hdr);
}

bool IsClass(HWND hwnd, const char16_t* className) {
  WCHAR name[64];
  if (!hwnd || GetClassName(hwnd, name, 64) <= 0) return false;
  return WideEqualNoCase(name, className);
}

bool ParseInteger(const std::u16string& text, long* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  size_t firstDigit = i;
  long v = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    if (v < 100000000) v = v * 10 + (text[i] - u'0');
    ++i;
  }
  if (i == firstDigit) return false;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i != text.size()) return false;
  *value = negative ? -v : v;
  return true;
}

std::u16string FormatInteger(long value) {
  std::string s = std::to_string(value);
  return std::u16string(s.begin(), s.end());
}

}  // namespace platform::controls
