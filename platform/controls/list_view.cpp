// The list view's class and messages: items, columns, states and the
// notifications they cause.
#include <algorithm>
#include <memory>

#include "platform/controls/controls.h"
#include "platform/controls/list_view_internal.h"

namespace platform::controls::listview {

namespace {

bool Valid(const ListView& lv, int index) { return index >= 0 && index < (int)lv.items.size(); }

std::u16string TextOf(LPCWSTR text) {
  // A text callback ((LPWSTR)-1) is not offered by this list: no text.
  if (!text || text == (LPCWSTR)(intptr_t)-1) return std::u16string();
  return std::u16string(text);
}

// Changes one item's state bits, with LVN_ITEMCHANGING (which may refuse)
// and LVN_ITEMCHANGED. Focus belongs to one item: the item that had it
// loses it first, with its own pair of notifications.
bool SetOne(ListView& lv, int index, UINT state, UINT mask) {
  HWND hwnd = lv.hwnd;
  UINT old = lv.items[index].state;
  UINT now = (old & ~mask) | (state & mask);
  if (now == old) return true;
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.uChanged = LVIF_STATE;
  nm.uOldState = old;
  nm.uNewState = now;
  nm.lParam = lv.items[index].param;
  if (Notify(lv, &nm.hdr, LVN_ITEMCHANGING)) return false;
  if (!IsWindow(hwnd) || !Valid(lv, index)) return false;
  DWORD style = (DWORD)GetWindowLong(hwnd, GWL_STYLE);
  if ((now & ~old & LVIS_SELECTED) && (style & LVS_SINGLESEL)) {
    for (int i = 0; i < (int)lv.items.size(); ++i) {
      if (i != index && (lv.items[i].state & LVIS_SELECTED)) SetOne(lv, i, 0, LVIS_SELECTED);
      if (!IsWindow(hwnd) || !Valid(lv, index)) return false;
    }
  }
  if ((now & ~old & LVIS_FOCUSED) && lv.focused != index && Valid(lv, lv.focused)) {
    int previous = lv.focused;
    NMLISTVIEW lost{};
    lost.iItem = previous;
    lost.uChanged = LVIF_STATE;
    lost.uOldState = lv.items[previous].state;
    lost.uNewState = lost.uOldState & ~LVIS_FOCUSED;
    lost.lParam = lv.items[previous].param;
    Notify(lv, &lost.hdr, LVN_ITEMCHANGING);
    if (!IsWindow(hwnd) || !Valid(lv, index) || !Valid(lv, previous)) return false;
    lv.items[previous].state &= ~LVIS_FOCUSED;
    lv.focused = -1;
    InvalidateItem(lv, previous);
    lost.uNewState = lv.items[previous].state;
    Notify(lv, &lost.hdr, LVN_ITEMCHANGED);
    if (!IsWindow(hwnd) || !Valid(lv, index)) return false;
  }
  old = lv.items[index].state;
  now = (old & ~mask) | (state & mask);
  lv.items[index].state = now;
  if (now & LVIS_FOCUSED) {
    if (Valid(lv, lv.focused) && lv.focused != index) lv.items[lv.focused].state &= ~LVIS_FOCUSED;
    lv.focused = index;
  } else if (lv.focused == index) {
    lv.focused = -1;
  }
  InvalidateItem(lv, index);
  nm.uOldState = old;
  nm.uNewState = now;
  if (now != old) Notify(lv, &nm.hdr, LVN_ITEMCHANGED);
  return true;
}

LRESULT InsertItem(ListView& lv, const LVITEM* in) {
  if (!in || in->iSubItem != 0) return -1;
  int index = std::clamp(in->iItem, 0, (int)lv.items.size());
  Item item;
  if (in->mask & LVIF_TEXT) item.label = TextOf(in->pszText);
  if (in->mask & LVIF_PARAM) item.param = in->lParam;
  if (in->mask & LVIF_STATE)
    item.state = in->state & in->stateMask & (LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED);
  lv.items.insert(lv.items.begin() + index, std::move(item));
  if (lv.focused >= index) ++lv.focused;
  if (lv.items[index].state & LVIS_FOCUSED) {
    if (Valid(lv, lv.focused)) lv.items[lv.focused].state &= ~LVIS_FOCUSED;
    lv.focused = index;
  }
  Relayout(lv);
  Invalidate(lv, nullptr);
  HWND hwnd = lv.hwnd;
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = lv.items[index].param;
  Notify(lv, &nm.hdr, LVN_INSERTITEM);
  return IsWindow(hwnd) ? index : -1;
}

BOOL DeleteItem(ListView& lv, int index) {
  if (!Valid(lv, index)) return FALSE;
  HWND hwnd = lv.hwnd;
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = lv.items[index].param;
  Notify(lv, &nm.hdr, LVN_DELETEITEM);
  if (!IsWindow(hwnd) || !Valid(lv, index)) return FALSE;
  lv.items.erase(lv.items.begin() + index);
  if (lv.focused == index) lv.focused = -1;
  else if (lv.focused > index) --lv.focused;
  Relayout(lv);
  Invalidate(lv, nullptr);
  return TRUE;
}

BOOL DeleteAllItems(ListView& lv) {
  HWND hwnd = lv.hwnd;
  if (!lv.items.empty()) {
    NMLISTVIEW all{};
    all.iItem = -1;
    bool each = Notify(lv, &all.hdr, LVN_DELETEALLITEMS) == 0;
    for (int i = 0; each && IsWindow(hwnd) && i < (int)lv.items.size(); ++i) {
      NMLISTVIEW nm{};
      nm.iItem = i;
      nm.lParam = lv.items[i].param;
      Notify(lv, &nm.hdr, LVN_DELETEITEM);
    }
    if (!IsWindow(hwnd)) return FALSE;
  }
  lv.items.clear();
  lv.focused = -1;
  lv.originX = lv.originY = 0;
  Relayout(lv);
  Invalidate(lv, nullptr);
  return TRUE;
}

BOOL SetItemText(ListView& lv, int index, const LVITEM* in) {
  if (!in || !Valid(lv, index) || in->iSubItem < 0) return FALSE;
  Item& item = lv.items[index];
  std::u16string text = TextOf(in->pszText);
  if (in->iSubItem == 0) {
    item.label = std::move(text);
  } else {
    if ((int)item.subItems.size() < in->iSubItem) item.subItems.resize(in->iSubItem);
    item.subItems[in->iSubItem - 1] = std::move(text);
  }
  InvalidateItem(lv, index);
  return TRUE;
}

LRESULT GetItemText(const ListView& lv, int index, LVITEM* io) {
  if (!io || !io->pszText || io->cchTextMax <= 0) return 0;
  io->pszText[0] = 0;
  if (!Valid(lv, index) || io->iSubItem < 0) return 0;
  const std::u16string& text = lv.items[index].Text(io->iSubItem);
  int count = std::min((int)text.size(), io->cchTextMax - 1);
  std::copy(text.begin(), text.begin() + count, io->pszText);
  io->pszText[count] = 0;
  return count;
}

LRESULT GetNextItem(const ListView& lv, int start, UINT flags) {
  UINT wanted = flags & (LVNI_FOCUSED | LVNI_SELECTED | LVNI_CUT | LVNI_DROPHILITED);
  for (int i = std::max(start + 1, 0); i < (int)lv.items.size(); ++i)
    if ((lv.items[i].state & wanted) == wanted) return i;
  return -1;
}

LRESULT InsertColumn(ListView& lv, int index, const LVCOLUMN* in) {
  if (!in || index < 0) return -1;
  index = std::min(index, (int)lv.columns.size());
  Column column;
  if (in->mask & LVCF_FMT) column.format = in->fmt & LVCFMT_JUSTIFYMASK;
  if (in->mask & LVCF_WIDTH) column.width = std::max(0, in->cx);
  if (in->mask & LVCF_TEXT) column.text = TextOf(in->pszText);
  lv.columns.insert(lv.columns.begin() + index, std::move(column));
  Relayout(lv);
  Invalidate(lv, nullptr);
  return index;
}

BOOL SetColumnWidth(ListView& lv, int index, int width) {
  if (index < 0 || index >= (int)lv.columns.size()) return FALSE;
  if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
    bool useHeader = width == LVSCW_AUTOSIZE_USEHEADER;
    width = WidestText(lv, index, useHeader) + 2 * kTextMargin;
    // Sized to its header, the last column also takes the room left.
    if (useHeader && index == (int)lv.columns.size() - 1) {
      RECT client;
      GetClientRect(lv.hwnd, &client);
      int others = 0;
      for (int c = 0; c < index; ++c) others += lv.columns[c].width;
      width = std::max(width, (int)client.right - others);
    }
  }
  lv.columns[index].width = std::max(0, width);
  Relayout(lv);
  Invalidate(lv, nullptr);
  return TRUE;
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    auto state = std::make_shared<ListView>();
    state->hwnd = hwnd;
    state->laidOutStyle = LayoutBits((DWORD)GetWindowLong(hwnd, GWL_STYLE));
    SetControlData(hwnd, state);
    MeasureFont(*state);
    Relayout(*state);
    return 0;
  }
  ListView* lv = Get(hwnd);
  if (!lv) return DefWindowProc(hwnd, msg, wParam, lParam);
  if (msg != WM_DESTROY) FollowStyle(*lv);
  switch (msg) {
    case WM_SIZE:
      Relayout(*lv);
      return 0;
    case WM_ERASEBKGND: {
      if (!lv->redraw) return 1;  // the old picture stays until painting is on again
      RECT client;
      GetClientRect(hwnd, &client);
      HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
      FillRect((HDC)wParam, &client, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_PAINT:
      Paint(*lv);
      return 0;
    case WM_SETFONT:
      lv->font = (HFONT)wParam;
      MeasureFont(*lv);
      Relayout(*lv);
      if (lParam) Invalidate(*lv, nullptr);
      return 0;
    case WM_GETFONT:
      return (LRESULT)FontOf(*lv);
    case WM_SETREDRAW:
      lv->redraw = wParam != 0;
      if (lv->redraw) {
        Relayout(*lv);
        Invalidate(*lv, nullptr);
      }
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      lv->hasFocus = msg == WM_SETFOCUS;
      Invalidate(*lv, nullptr);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
      OnKeyDown(*lv, (UINT)wParam);
      return 0;
    case WM_VSCROLL:
      OnScroll(*lv, SB_VERT, LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
      OnScroll(*lv, SB_HORZ, LOWORD(wParam));
      return 0;

    case LVM_SETIMAGELIST: {
      HIMAGELIST previous = nullptr;
      if (wParam == LVSIL_NORMAL) {
        previous = lv->normalImages;
        lv->normalImages = (HIMAGELIST)lParam;
      } else if (wParam == LVSIL_SMALL) {
        previous = lv->smallImages;
        lv->smallImages = (HIMAGELIST)lParam;
      } else {
        return 0;
      }
      Relayout(*lv);
      Invalidate(*lv, nullptr);
      return (LRESULT)previous;
    }
    case LVM_SETICONSPACING: {
      SIZE old = CellSize(*lv);
      int cx = (short)LOWORD(lParam), cy = (short)HIWORD(lParam);
      lv->spacing.cx = cx > 0 ? cx : 0;
      lv->spacing.cy = cy > 0 ? cy : 0;
      Relayout(*lv);
      Invalidate(*lv, nullptr);
      return MAKELONG(old.cx, old.cy);
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = lv->extendedStyle;
      DWORD mask = wParam ? (DWORD)wParam : 0xFFFFFFFFu;
      lv->extendedStyle = (old & ~mask) | ((DWORD)lParam & mask);
      if (lv->extendedStyle != old) Invalidate(*lv, nullptr);
      return old;
    }
    case LVM_GETSTRINGWIDTH:
      return lParam ? TextWidth(*lv, std::u16string((LPCWSTR)lParam)) : 0;

    case LVM_GETITEMCOUNT:
      return (LRESULT)lv->items.size();
    case LVM_SETITEMCOUNT:
      if ((int)wParam > 0) lv->items.reserve(std::min<size_t>(wParam, 1u << 20));
      return TRUE;
    case LVM_INSERTITEM:
      return InsertItem(*lv, (const LVITEM*)lParam);
    case LVM_DELETEITEM:
      return DeleteItem(*lv, (int)wParam);
    case LVM_DELETEALLITEMS:
      return DeleteAllItems(*lv);
    case LVM_SETITEMTEXT:
      return SetItemText(*lv, (int)wParam, (const LVITEM*)lParam);
    case LVM_GETITEMTEXT:
      return GetItemText(*lv, (int)wParam, (LVITEM*)lParam);
    case LVM_SETITEMSTATE: {
      const LVITEM* in = (const LVITEM*)lParam;
      if (!in) return FALSE;
      return SetItemState(*lv, (int)wParam, in->state, in->stateMask) ? TRUE : FALSE;
    }
    case LVM_GETITEMSTATE: {
      int index = (int)wParam;
      return Valid(*lv, index) ? lv->items[index].state & (UINT)lParam : 0;
    }
    case LVM_GETNEXTITEM:
      return GetNextItem(*lv, (int)wParam, (UINT)LOWORD(lParam));
    case LVM_GETITEMRECT: {
      RECT* rect = (RECT*)lParam;
      if (!rect) return FALSE;
      return ItemRect(*lv, (int)wParam, rect->left, rect) ? TRUE : FALSE;
    }
    case LVM_ENSUREVISIBLE:
      return EnsureVisible(*lv, (int)wParam, lParam != 0) ? TRUE : FALSE;
    case LVM_REDRAWITEMS: {
      int first = std::max(0, (int)wParam), last = std::min((int)lParam, (int)lv->items.size() - 1);
      for (int i = first; i <= last; ++i) InvalidateItem(*lv, i);
      return TRUE;
    }
    case LVM_UPDATE:
      if (!Valid(*lv, (int)wParam)) return FALSE;
      InvalidateItem(*lv, (int)wParam);
      return TRUE;

    case LVM_INSERTCOLUMN:
      return InsertColumn(*lv, (int)wParam, (const LVCOLUMN*)lParam);
    case LVM_SETCOLUMNWIDTH:
      return SetColumnWidth(*lv, (int)wParam, (short)LOWORD(lParam));
    case LVM_GETCOLUMNWIDTH: {
      int index = (int)wParam;
      return index >= 0 && index < (int)lv->columns.size() ? lv->columns[index].width : 0;
    }
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

const std::u16string& Item::Text(int column) const {
  static const std::u16string empty;
  if (column == 0) return label;
  if (column > 0 && column - 1 < (int)subItems.size()) return subItems[column - 1];
  return empty;
}

ListView* Get(HWND hwnd) { return ControlData<ListView>(hwnd); }

LRESULT Notify(ListView& lv, NMHDR* header, UINT code) {
  int id = GetDlgCtrlID(lv.hwnd);
  header->hwndFrom = lv.hwnd;
  header->idFrom = (UINT_PTR)id;
  header->code = code;
  HWND parent = GetParent(lv.hwnd);
  return parent ? SendMessage(parent, WM_NOTIFY, (WPARAM)id, (LPARAM)header) : 0;
}

bool SetItemState(ListView& lv, int index, UINT state, UINT mask) {
  mask &= LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
  if (index != -1) return Valid(lv, index) && SetOne(lv, index, state, mask);
  // Every item: focus can be taken from all, not given to all.
  if (state & LVIS_FOCUSED) mask &= ~LVIS_FOCUSED;
  HWND hwnd = lv.hwnd;
  bool all = true;
  for (int i = 0; i < (int)lv.items.size() && IsWindow(hwnd); ++i) all = SetOne(lv, i, state, mask) && all;
  return all;
}

}  // namespace platform::controls::listview

namespace platform::controls {

void RegisterListViewClass() {
  WNDCLASS wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = listview::ListViewProc;
  wc.lpszClassName = WC_LISTVIEW;
  RegisterClass(&wc);
}

}  // namespace platform::controls
