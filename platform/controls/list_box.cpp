// The list box as the phone shows it: a spin list with one entry in view
// (the selection). Left / Right step through its up-down partner when it
// has one, otherwise through the list itself; user steps raise
// LBN_SELCHANGE, LB_SETCURSEL never does.
#include "platform/controls/list_box.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"
#include "platform/controls/up_down.h"
#include "platform/text/wide.h"

namespace platform::controls {
namespace {

struct ListState {
  FontSlot font;
  std::vector<std::u16string> items;
  int selection = LB_ERR;
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }

bool ValidIndex(const ListState* st, WPARAM index) { return (size_t)index < st->items.size(); }

int Insert(HWND hwnd, ListState* st, int index, LPCWSTR text) {
  std::u16string s = text ? std::u16string(text) : std::u16string();
  if (index < 0 || index > (int)st->items.size()) index = (int)st->items.size();
  st->items.insert(st->items.begin() + index, s);
  if (st->selection >= index) ++st->selection;
  InvalidateRect(hwnd, nullptr, TRUE);
  return index;
}

int SortedPosition(const ListState* st, LPCWSTR text) {
  int i = 0;
  while (i < (int)st->items.size() && WideCompareNoCase(st->items[i].c_str(), text ? text : u"") <= 0)
    ++i;
  return i;
}

int FindExact(const ListState* st, WPARAM start, LPCWSTR text) {
  int count = (int)st->items.size();
  if (count == 0 || !text) return LB_ERR;
  int first = ((int)start < 0 || (int)start >= count) ? 0 : (int)start + 1;
  for (int n = 0; n < count; ++n) {
    int i = (first + n) % count;
    if (WideEqualNoCase(st->items[i], text)) return i;
  }
  return LB_ERR;
}

void Paint(HWND hwnd, HDC dc, const RECT& client, ListState* st) {
  bool enabled = IsWindowEnabled(hwnd);
  bool focused = enabled && GetFocus() == hwnd;
  SelectObject(dc, st->font.Current());
  FillSolid(dc, client, GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  COLORREF ink = GetSysColor(!enabled ? COLOR_GRAYTEXT
                                      : focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  int arrow = std::max(2, std::min((int)tm.tmHeight / 3, (int)(client.bottom - client.top) / 2));
  int side = arrow + 4;
  if (focused) {
    // The marks that say Left / Right change the entry.
    DrawArrow(dc, RECT{client.left + 1, client.top, client.left + 1 + side - 2, client.bottom},
              Arrow::Left, arrow, ink);
    DrawArrow(dc, RECT{client.right - side + 1, client.top, client.right - 1, client.bottom},
              Arrow::Right, arrow, ink);
  }
  if (st->selection < 0 || st->selection >= (int)st->items.size()) return;
  const std::u16string& text = st->items[st->selection];
  RECT r{client.left + side, client.top, client.right - side, client.bottom};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ink);
  DrawText(dc, text.c_str(), (int)text.size(), &r,
           DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<ListState>(hwnd);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) { Paint(hwnd, dc, client, st); };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, &st->font, paint, &result)) return result;
  if (!st && msg != WM_CREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_CREATE:
      SetControlData(hwnd, std::make_shared<ListState>());
      return 0;
    case LB_ADDSTRING: {
      int at = (StyleOf(hwnd) & LBS_SORT) ? SortedPosition(st, (LPCWSTR)lParam)
                                          : (int)st->items.size();
      return Insert(hwnd, st, at, (LPCWSTR)lParam);
    }
    case LB_INSERTSTRING: {
      int index = (int)wParam;
      if (index != -1 && (index < 0 || index > (int)st->items.size())) return LB_ERR;
      return Insert(hwnd, st, index, (LPCWSTR)lParam);
    }
    case LB_DELETESTRING: {
      if (!ValidIndex(st, wParam)) return LB_ERR;
      int index = (int)wParam;
      st->items.erase(st->items.begin() + index);
      if (st->selection == index) st->selection = LB_ERR;
      else if (st->selection > index) --st->selection;
      InvalidateRect(hwnd, nullptr, TRUE);
      return (LRESULT)st->items.size();
    }
    case LB_RESETCONTENT:
      st->items.clear();
      st->selection = LB_ERR;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_SETCURSEL: {
      int index = (int)wParam;
      if (index != -1 && !ValidIndex(st, wParam)) return LB_ERR;
      if (st->selection != index) InvalidateRect(hwnd, nullptr, TRUE);
      st->selection = index;
      return index == -1 ? LB_ERR : index;
    }
    case LB_GETCURSEL:
      return st->selection;
    case LB_GETTEXT: {
      if (!ValidIndex(st, wParam)) return LB_ERR;
      const std::u16string& s = st->items[wParam];
      if (lParam) {
        std::copy(s.begin(), s.end(), (LPWSTR)lParam);
        ((LPWSTR)lParam)[s.size()] = 0;
      }
      return (LRESULT)s.size();
    }
    case LB_GETTEXTLEN:
      return ValidIndex(st, wParam) ? (LRESULT)st->items[wParam].size() : LB_ERR;
    case LB_GETCOUNT:
      return (LRESULT)st->items.size();
    case LB_FINDSTRINGEXACT:
      return FindExact(st, wParam, (LPCWSTR)lParam);
    case WM_KEYDOWN:
      if ((wParam == VK_LEFT || wParam == VK_RIGHT) && IsWindowEnabled(hwnd)) {
        bool next = wParam == VK_RIGHT;
        HWND partner = FindUpDownFor(hwnd);
        if (partner) {
          if (IsWindowEnabled(partner)) UpDownStep(partner, next);
        } else {
          SpinListStep(hwnd, next, false);
        }
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

int SpinListStep(HWND list, bool next, bool wrap) {
  auto* st = ControlData<ListState>(list);
  if (!st || !IsClass(list, WC_LISTBOX)) return LB_ERR;
  int count = (int)st->items.size();
  if (count == 0) return st->selection;
  int old = st->selection, now;
  if (old < 0 || old >= count) now = next ? 0 : count - 1;
  else if (next) now = old + 1 < count ? old + 1 : (wrap ? 0 : old);
  else now = old > 0 ? old - 1 : (wrap ? count - 1 : old);
  if (now == old) return old;
  st->selection = now;
  InvalidateRect(list, nullptr, TRUE);
  NotifyCommand(list, LBN_SELCHANGE);
  return now;
}

void RegisterListBoxClass() { RegisterControlClass(WC_LISTBOX, ListBoxProc); }

}  // namespace platform::controls
