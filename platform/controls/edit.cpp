// The single-line edit control. Typed characters replace the selection at
// the caret (digits only with ES_NUMBER), character 8 deletes before the
// caret, and every change of the text, typed or programmatic, reaches the
// parent at once as EN_CHANGE. Left / Right move the caret, or step the
// up-down that has this edit as its buddy.
#include "platform/controls/edit.h"

#include <algorithm>
#include <memory>
#include <string>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"
#include "platform/controls/up_down.h"

namespace platform::controls {
namespace {

const int kDefaultLimit = 30000;
const int kMargin = 2;

struct EditState {
  FontSlot font;
  std::u16string text;
  int anchor = 0;  // the fixed end of the selection
  int caret = 0;   // the moving end, where the caret is drawn
  int limit = kDefaultLimit;
  int scroll = 0;  // pixels of text hidden at the left
  int Low() const { return std::min(anchor, caret); }
  int High() const { return std::max(anchor, caret); }
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }

// The text changed: repaint, let the partner up-down show its limits, tell
// the parent.
void Changed(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, TRUE);
  if (HWND partner = FindUpDownFor(hwnd)) InvalidateRect(partner, nullptr, TRUE);
  NotifyCommand(hwnd, EN_CHANGE);
}

// Replaces the selection with `insert`, cut to the limit; false when
// nothing changed.
bool ReplaceSelection(HWND hwnd, EditState* st, std::u16string insert) {
  int low = st->Low(), high = st->High();
  int room = st->limit - ((int)st->text.size() - (high - low));
  if (room < (int)insert.size()) {
    insert.resize((size_t)std::max(0, room));
    NotifyCommand(hwnd, EN_MAXTEXT);
    if (!IsWindow(hwnd)) return false;
  }
  if (insert.empty() && low == high) return false;
  st->text.replace((size_t)low, (size_t)(high - low), insert);
  st->anchor = st->caret = low + (int)insert.size();
  return true;
}

void TypeChar(HWND hwnd, EditState* st, WCHAR c) {
  DWORD style = StyleOf(hwnd);
  if ((style & (ES_READONLY | WS_DISABLED))) return;
  if (c == 8) {
    if (st->anchor == st->caret) {
      if (st->caret == 0) return;
      st->anchor = st->caret - 1;
    }
    ReplaceSelection(hwnd, st, std::u16string());
    Changed(hwnd);
    return;
  }
  if (c < 0x20 || c == 0x7F) return;  // Action, Back and other control characters
  if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) return;
  if (ReplaceSelection(hwnd, st, std::u16string(1, c))) Changed(hwnd);
}

void MoveCaret(HWND hwnd, EditState* st, bool right) {
  if (st->anchor != st->caret) {
    st->caret = st->anchor = right ? st->High() : st->Low();
  } else if (right && st->caret < (int)st->text.size()) {
    st->anchor = ++st->caret;
  } else if (!right && st->caret > 0) {
    st->anchor = --st->caret;
  } else {
    return;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

void SetSelection(HWND hwnd, EditState* st, LONG_PTR start, LONG_PTR end) {
  int length = (int)st->text.size();
  if (start == -1) {
    st->anchor = st->caret;  // removes the selection
  } else {
    auto clamp = [length](LONG_PTR v) { return (v < 0 || v > length) ? length : (int)v; };
    st->anchor = clamp(start);
    st->caret = clamp(end);
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

int TextWidthOf(HDC dc, const std::u16string& s, int count) {
  SIZE size{};
  if (count <= 0) return 0;
  GetTextExtentPoint32(dc, s.data(), count, &size);
  return size.cx;
}

void Paint(HWND hwnd, HDC dc, const RECT& client, EditState* st) {
  DWORD style = StyleOf(hwnd);
  bool enabled = !(style & WS_DISABLED);
  bool focused = enabled && GetFocus() == hwnd;
  HBRUSH brush;
  if ((style & ES_READONLY) || !enabled) {
    brush = AskStaticColours(hwnd, dc, st->font.Current());
  } else {
    SelectObject(dc, st->font.Current());
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    brush = (HBRUSH)GetStockObject(WHITE_BRUSH);
  }
  FillRect(dc, &client, brush);
  if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  COLORREF ink = GetTextColor(dc);
  SetBkMode(dc, TRANSPARENT);

  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  RECT area{client.left + kMargin, client.top, client.right - kMargin, client.bottom};
  int areaWidth = std::max(1, (int)(area.right - area.left));
  int top = (client.bottom - client.top - (int)tm.tmHeight) / 2;
  int full = TextWidthOf(dc, st->text, (int)st->text.size());
  int caretX = TextWidthOf(dc, st->text, st->caret);
  // Keep the caret in view; a text that fits is placed by its alignment.
  int offset = 0;
  if (full < areaWidth) {
    st->scroll = 0;
    if (style & ES_CENTER) offset = (areaWidth - full) / 2;
    else if (style & ES_RIGHT) offset = areaWidth - full - 1;
  } else {
    if (caretX - st->scroll > areaWidth - 1) st->scroll = caretX - areaWidth + 1;
    if (caretX < st->scroll) st->scroll = caretX;
    st->scroll = std::max(0, std::min(st->scroll, full - areaWidth + 1));
  }
  int x0 = area.left + offset - st->scroll;
  ExtTextOut(dc, x0, top, ETO_CLIPPED, &area, st->text.data(), (UINT)st->text.size(), nullptr);
  bool showSelection = st->anchor != st->caret && (focused || (style & ES_NOHIDESEL));
  if (showSelection) {
    int lowX = x0 + TextWidthOf(dc, st->text, st->Low());
    int highX = x0 + TextWidthOf(dc, st->text, st->High());
    RECT sel{std::max(lowX, (int)area.left), top, std::min(highX, (int)area.right),
             top + (int)tm.tmHeight};
    FillSolid(dc, sel, GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    ExtTextOut(dc, lowX, top, ETO_CLIPPED, &sel, st->text.data() + st->Low(),
               (UINT)(st->High() - st->Low()), nullptr);
  } else if (focused) {
    RECT caret{x0 + caretX, top, x0 + caretX + 1, top + (int)tm.tmHeight};
    if (caret.left >= area.left - 1 && caret.left < area.right) FillSolid(dc, caret, ink);
  }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<EditState>(hwnd);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) { Paint(hwnd, dc, client, st); };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, &st->font, paint, &result)) return result;
  if (!st && msg != WM_CREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_CREATE: {
      auto state = std::make_shared<EditState>();
      auto* cs = (const CREATESTRUCT*)lParam;
      if (cs && cs->lpszName) state->text = cs->lpszName;
      SetControlData(hwnd, state);
      return 0;
    }
    case WM_SETTEXT:
      st->text = lParam ? std::u16string((LPCWSTR)lParam) : std::u16string();
      st->anchor = st->caret = 0;
      st->scroll = 0;
      Changed(hwnd);
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(st->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return (LRESULT)st->text.size();
    case WM_CHAR:
      TypeChar(hwnd, st, (WCHAR)wParam);
      return 0;
    case WM_KEYDOWN:
      if ((wParam == VK_LEFT || wParam == VK_RIGHT) && IsWindowEnabled(hwnd)) {
        HWND partner = FindUpDownFor(hwnd);
        if (partner) {
          if (IsWindowEnabled(partner)) UpDownStep(partner, wParam == VK_RIGHT);
        } else {
          MoveCaret(hwnd, st, wParam == VK_RIGHT);
        }
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL;
    case EM_SETSEL:
      SetSelection(hwnd, st, (LONG_PTR)(int)(WPARAM)wParam, (LONG_PTR)(int)lParam);
      return 0;
    case EM_GETSEL: {
      DWORD low = (DWORD)st->Low(), high = (DWORD)st->High();
      if (wParam) *(DWORD*)wParam = low;
      if (lParam) *(DWORD*)lParam = high;
      return MAKELRESULT(std::min(low, 0xFFFFu), std::min(high, 0xFFFFu));
    }
    case EM_REPLACESEL: {
      std::u16string insert = lParam ? std::u16string((LPCWSTR)lParam) : std::u16string();
      if (ReplaceSelection(hwnd, st, insert)) Changed(hwnd);
      return 0;
    }
    case EM_LIMITTEXT:
      st->limit = wParam == 0 ? 0x7FFFFFFE : (int)std::min<WPARAM>(wParam, 0x7FFFFFFE);
      return 0;
    case EM_SETREADONLY: {
      DWORD style = StyleOf(hwnd);
      SetWindowLong(hwnd, GWL_STYLE, wParam ? (style | ES_READONLY) : (style & ~ES_READONLY));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterEditClass() { RegisterControlClass(WC_EDIT, EditProc); }

}  // namespace platform::controls
