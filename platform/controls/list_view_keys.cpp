// The list view's keys: the direction pad moves focus and selection (four
// ways in the icon grid, sideways in the strip, up and down in report
// rows) and the Action key activates the focused item.
#include "platform/controls/list_view_internal.h"

namespace platform::controls::listview {

namespace {

// The item a direction key leads to from `from`, or -1 for none.
int Neighbour(const ListView& lv, int from, UINT vk) {
  int n = (int)lv.items.size();
  View view = CurrentView(lv);
  if (view == View::kReport) {
    if (vk == VK_UP) return from - 1;
    if (vk == VK_DOWN) return from + 1 < n ? from + 1 : -1;
    return -1;
  }
  int column, row, columns, rows;
  GridPosition(lv, from, &column, &row, &columns, &rows);
  if (view == View::kIcon) {
    switch (vk) {
      case VK_LEFT: return column > 0 ? from - 1 : -1;
      case VK_RIGHT: return column + 1 < columns && from + 1 < n ? from + 1 : -1;
      case VK_UP: return from - columns;
      case VK_DOWN: return from + columns < n ? from + columns : -1;
    }
    return -1;
  }
  // The strip fills columns top to bottom, then moves right.
  switch (vk) {
    case VK_UP: return row > 0 ? from - 1 : -1;
    case VK_DOWN: return row + 1 < rows && from + 1 < n ? from + 1 : -1;
    case VK_LEFT: return from - rows;
    case VK_RIGHT: return from + rows < n ? from + rows : -1;
  }
  return -1;
}

void Activate(ListView& lv) {
  if (lv.focused < 0 || lv.focused >= (int)lv.items.size()) return;
  NMITEMACTIVATE nm{};
  nm.iItem = lv.focused;
  nm.lParam = lv.items[lv.focused].param;
  Notify(lv, &nm.hdr, LVN_ITEMACTIVATE);
}

}  // namespace

void SelectOnly(ListView& lv, int index) {
  HWND hwnd = lv.hwnd;
  for (int i = 0; i < (int)lv.items.size() && IsWindow(hwnd); ++i)
    if (i != index && (lv.items[i].state & LVIS_SELECTED)) SetItemState(lv, i, 0, LVIS_SELECTED);
  if (IsWindow(hwnd)) SetItemState(lv, index, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

void OnKeyDown(ListView& lv, UINT vk) {
  if (vk == VK_RETURN) {
    Activate(lv);
    return;
  }
  if (vk != VK_UP && vk != VK_DOWN && vk != VK_LEFT && vk != VK_RIGHT) return;
  if (CurrentView(lv) == View::kReport && (vk == VK_LEFT || vk == VK_RIGHT)) {
    // Report rows are wider than the screen at times: sideways keys scroll.
    OnScroll(lv, SB_HORZ, vk == VK_LEFT ? SB_LINELEFT : SB_LINERIGHT);
    return;
  }
  int n = (int)lv.items.size();
  if (n == 0) return;
  int from = lv.focused;
  int target = 0;
  if (from >= 0 && from < n) {
    target = Neighbour(lv, from, vk);
    if (target < 0 || target >= n) target = from;
  }
  HWND hwnd = lv.hwnd;
  SelectOnly(lv, target);
  if (IsWindow(hwnd)) EnsureVisible(lv, target, false);
}

}  // namespace platform::controls::listview
