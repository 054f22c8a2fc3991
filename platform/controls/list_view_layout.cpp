// The list view's geometry: cells of the icon views, rows and columns of
// the report view, scroll bars and scrolling.
#include <algorithm>

#include "platform/controls/list_view_internal.h"

namespace platform::controls::listview {

namespace {

// A memory context with the list's font, for measuring.
class Measure {
 public:
  explicit Measure(const ListView& lv) : dc_(CreateCompatibleDC(nullptr)) {
    old_ = SelectObject(dc_, FontOf(lv));
  }
  ~Measure() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

SIZE ImageSize(HIMAGELIST list) {
  int cx = 0, cy = 0;
  if (!list || !ImageList_GetIconSize(list, &cx, &cy)) return SIZE{0, 0};
  return SIZE{cx, cy};
}

SIZE ClientSize(const ListView& lv) {
  RECT r{};
  GetClientRect(lv.hwnd, &r);
  return SIZE{r.right, r.bottom};
}

int VisibleRowsFor(const ListView& lv, int height) {
  return std::max(0, (height - HeaderHeight(lv)) / RowHeight(lv));
}

// The content's size (pixels; report rows count as rows vertically) for a
// client of width w and height h, and the visible part in the same units.
struct Extent {
  int contentW = 0, contentH = 0;
  int pageW = 0, pageH = 0;
};

Extent ExtentFor(const ListView& lv, int w, int h) {
  Extent e;
  int n = (int)lv.items.size();
  e.pageW = std::max(0, w);
  switch (CurrentView(lv)) {
    case View::kReport:
      e.contentW = TotalColumnWidth(lv);
      e.contentH = n;
      e.pageH = VisibleRowsFor(lv, h);
      break;
    case View::kIcon: {
      SIZE cell = CellSize(lv);
      int columns = std::max(1, w / cell.cx);
      int rows = (n + columns - 1) / columns;
      e.contentW = n > 0 ? std::min(n, columns) * cell.cx : 0;
      e.contentH = rows * cell.cy;
      e.pageH = std::max(0, h);
      break;
    }
    case View::kStrip: {
      SIZE cell = CellSize(lv);
      int rows = std::max(1, h / cell.cy);
      int columns = (n + rows - 1) / rows;
      e.contentW = columns * cell.cx;
      e.contentH = n > 0 ? std::min(n, rows) * cell.cy : 0;
      e.pageH = std::max(0, h);
      break;
    }
  }
  return e;
}

void SetBar(HWND hwnd, int bar, bool show, int content, int page, int pos) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (show) {
    si.nMin = 0;
    si.nMax = content - 1;
    si.nPage = (UINT)page;
    si.nPos = pos;
  }
  SetScrollInfo(hwnd, bar, &si, TRUE);
}

}  // namespace

View ViewOf(DWORD style) {
  if ((style & LVS_TYPEMASK) == LVS_REPORT) return View::kReport;
  if ((style & LVS_ALIGNMASK) == LVS_ALIGNLEFT) return View::kStrip;
  return View::kIcon;
}

View CurrentView(const ListView& lv) { return ViewOf(lv.laidOutStyle); }

DWORD LayoutBits(DWORD style) { return style & 0xFFFF; }

HFONT FontOf(const ListView& lv) { return lv.font ? lv.font : (HFONT)GetStockObject(SYSTEM_FONT); }

void MeasureFont(ListView& lv) {
  Measure m(lv);
  TEXTMETRIC tm{};
  GetTextMetrics(m.dc(), &tm);
  lv.textHeight = std::max<int>(1, tm.tmHeight);
}

int TextWidth(const ListView& lv, const std::u16string& text) {
  if (text.empty()) return 0;
  Measure m(lv);
  SIZE s{};
  GetTextExtentPoint32(m.dc(), text.data(), (int)text.size(), &s);
  return s.cx;
}

int WidestText(const ListView& lv, int column, bool withHeader) {
  Measure m(lv);
  auto width = [&](const std::u16string& text) {
    SIZE s{};
    if (!text.empty()) GetTextExtentPoint32(m.dc(), text.data(), (int)text.size(), &s);
    return (int)s.cx;
  };
  int widest = 0;
  for (const Item& item : lv.items) widest = std::max(widest, width(item.Text(column)));
  if (withHeader && column >= 0 && column < (int)lv.columns.size())
    widest = std::max(widest, width(lv.columns[column].text));
  return widest;
}

SIZE CellSize(const ListView& lv) {
  SIZE image = ImageSize(lv.normalImages);
  if (image.cx <= 0) image = SIZE{32, 32};
  SIZE cell;
  cell.cx = lv.spacing.cx > 0 ? lv.spacing.cx : image.cx + 16;
  cell.cy = lv.spacing.cy > 0 ? lv.spacing.cy : image.cy + lv.textHeight + 8;
  cell.cx = std::max<LONG>(1, cell.cx);
  cell.cy = std::max<LONG>(1, cell.cy);
  return cell;
}

int RowHeight(const ListView& lv) {
  int height = lv.textHeight + 2;
  SIZE image = ImageSize(lv.smallImages);
  return std::max({1, height, (int)image.cy});
}

bool HasHeader(const ListView& lv) {
  return CurrentView(lv) == View::kReport && !(lv.laidOutStyle & LVS_NOCOLUMNHEADER);
}

int HeaderHeight(const ListView& lv) { return HasHeader(lv) ? lv.textHeight + 4 : 0; }

int TotalColumnWidth(const ListView& lv) {
  int total = 0;
  for (const Column& c : lv.columns) total += c.width;
  return total;
}

int VisibleRows(const ListView& lv) { return VisibleRowsFor(lv, ClientSize(lv).cy); }

int ColumnLeft(const ListView& lv, int column) {
  int x = -lv.originX;
  for (int c = 0; c < column && c < (int)lv.columns.size(); ++c) x += lv.columns[c].width;
  return x;
}

void GridPosition(const ListView& lv, int index, int* column, int* row, int* columns, int* rows) {
  SIZE client = ClientSize(lv);
  SIZE cell = CellSize(lv);
  int n = (int)lv.items.size();
  if (CurrentView(lv) == View::kStrip) {
    *rows = std::max(1, (int)(client.cy / cell.cy));
    *columns = (n + *rows - 1) / *rows;
    *column = index / *rows;
    *row = index % *rows;
  } else {
    *columns = std::max(1, (int)(client.cx / cell.cx));
    *rows = (n + *columns - 1) / *columns;
    *column = index % *columns;
    *row = index / *columns;
  }
}

bool ItemRect(const ListView& lv, int index, int portion, RECT* out) {
  if (index < 0 || index >= (int)lv.items.size()) return false;
  if (CurrentView(lv) == View::kReport) {
    int top = HeaderHeight(lv) + (index - lv.originY) * RowHeight(lv);
    RECT bounds{-lv.originX, top, -lv.originX + TotalColumnWidth(lv), top + RowHeight(lv)};
    RECT label = bounds;
    label.right = label.left + (lv.columns.empty() ? 0 : lv.columns[0].width);
    switch (portion) {
      case LVIR_BOUNDS: *out = bounds; return true;
      case LVIR_ICON: *out = RECT{bounds.left, bounds.top, bounds.left, bounds.bottom}; return true;
      case LVIR_LABEL: *out = label; return true;
      case LVIR_SELECTBOUNDS:
        *out = (lv.extendedStyle & LVS_EX_FULLROWSELECT) ? bounds : label;
        return true;
    }
    return false;
  }
  int column, row, columns, rows;
  GridPosition(lv, index, &column, &row, &columns, &rows);
  SIZE cell = CellSize(lv);
  RECT bounds{column * cell.cx - lv.originX, row * cell.cy - lv.originY, 0, 0};
  bounds.right = bounds.left + cell.cx;
  bounds.bottom = bounds.top + cell.cy;
  // The icon sits at the top of the cell, the label under it.
  int iconBottom = std::min(bounds.bottom, bounds.top + (LONG)ImageSize(lv.normalImages).cy + 4);
  RECT icon{bounds.left, bounds.top, bounds.right, iconBottom};
  RECT label{bounds.left, iconBottom, bounds.right,
             std::min(bounds.bottom, (LONG)(iconBottom + lv.textHeight + 2))};
  switch (portion) {
    case LVIR_BOUNDS:
    case LVIR_SELECTBOUNDS: *out = bounds; return true;
    case LVIR_ICON: *out = icon; return true;
    case LVIR_LABEL: *out = label; return true;
  }
  return false;
}

void Relayout(ListView& lv) {
  if (lv.updatingBars) return;
  HWND hwnd = lv.hwnd;
  // The room inside the frame, with no scroll bar of ours.
  SIZE client = ClientSize(lv);
  DWORD style = (DWORD)GetWindowLong(hwnd, GWL_STYLE);
  int bar = GetSystemMetrics(SM_CXVSCROLL);
  int outerW = client.cx + ((style & WS_VSCROLL) ? bar : 0);
  int outerH = client.cy + ((style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
  bool vertical = false, horizontal = false;
  Extent e;
  for (int round = 0; round < 4; ++round) {
    int w = std::max(0, outerW - (vertical ? bar : 0));
    int h = std::max(0, outerH - (horizontal ? GetSystemMetrics(SM_CYHSCROLL) : 0));
    e = ExtentFor(lv, w, h);
    bool v = e.contentH > e.pageH, hz = e.contentW > e.pageW;
    if (v == vertical && hz == horizontal) break;
    vertical = vertical || v;
    horizontal = horizontal || hz;
  }
  lv.originX = std::clamp(lv.originX, 0, std::max(0, e.contentW - e.pageW));
  lv.originY = std::clamp(lv.originY, 0, std::max(0, e.contentH - e.pageH));
  lv.updatingBars = true;
  SetBar(hwnd, SB_VERT, vertical, e.contentH, e.pageH, lv.originY);
  if (IsWindow(hwnd)) SetBar(hwnd, SB_HORZ, horizontal, e.contentW, e.pageW, lv.originX);
  lv.updatingBars = false;
}

void FollowStyle(ListView& lv) {
  DWORD bits = LayoutBits((DWORD)GetWindowLong(lv.hwnd, GWL_STYLE));
  if (bits == lv.laidOutStyle) return;
  bool viewChanged = ViewOf(bits) != ViewOf(lv.laidOutStyle);
  lv.laidOutStyle = bits;
  if (viewChanged) lv.originX = lv.originY = 0;
  Relayout(lv);
  if (viewChanged && lv.focused >= 0) EnsureVisible(lv, lv.focused, false);
  Invalidate(lv, nullptr);
}

void ScrollTo(ListView& lv, int x, int y) {
  int oldX = lv.originX, oldY = lv.originY;
  lv.originX = x;
  lv.originY = y;
  Relayout(lv);
  if (lv.originX != oldX || lv.originY != oldY) Invalidate(lv, nullptr);
}

bool EnsureVisible(ListView& lv, int index, bool partialOk) {
  RECT b;
  if (!ItemRect(lv, index, LVIR_BOUNDS, &b)) return false;
  SIZE client = ClientSize(lv);
  int x = lv.originX, y = lv.originY;
  if (CurrentView(lv) == View::kReport) {
    int rows = std::max(1, VisibleRows(lv));
    bool partlyShown = b.bottom > HeaderHeight(lv) && b.top < client.cy;
    if (!(partialOk && partlyShown)) {
      if (index < y) y = index;
      else if (index >= y + rows) y = index - rows + 1;
    }
  } else {
    // Offsets in content coordinates.
    int left = b.left + lv.originX, top = b.top + lv.originY;
    int right = b.right + lv.originX, bottom = b.bottom + lv.originY;
    bool partlyShown = b.right > 0 && b.left < client.cx && b.bottom > 0 && b.top < client.cy;
    if (!(partialOk && partlyShown)) {
      if (top < y || bottom - top > client.cy) y = top;
      else if (bottom > y + client.cy) y = bottom - client.cy;
      if (left < x || right - left > client.cx) x = left;
      else if (right > x + client.cx) x = right - client.cx;
    }
  }
  ScrollTo(lv, x, y);
  return true;
}

void OnScroll(ListView& lv, int bar, int request) {
  SIZE client = ClientSize(lv);
  SIZE cell = CellSize(lv);
  bool report = CurrentView(lv) == View::kReport;
  int pos = bar == SB_VERT ? lv.originY : lv.originX;
  int line, page;
  if (bar == SB_VERT) {
    line = report ? 1 : cell.cy;
    page = report ? std::max(1, VisibleRows(lv)) : std::max<int>(1, client.cy);
  } else {
    line = report ? std::max<int>(1, client.cx / 4) : cell.cx;
    page = std::max<int>(1, client.cx);
  }
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  GetScrollInfo(lv.hwnd, bar, &si);
  switch (request) {
    case SB_LINEUP: pos -= line; break;
    case SB_LINEDOWN: pos += line; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = si.nTrackPos; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: return;
  }
  if (bar == SB_VERT) ScrollTo(lv, lv.originX, pos);
  else ScrollTo(lv, pos, lv.originY);
}

void Invalidate(ListView& lv, const RECT* rect) {
  if (lv.redraw) InvalidateRect(lv.hwnd, rect, TRUE);
}

void InvalidateItem(ListView& lv, int index) {
  RECT b;
  if (!ItemRect(lv, index, LVIR_BOUNDS, &b)) return;
  if (CurrentView(lv) == View::kReport) {
    // The whole row: highlights may reach past the last column's edge.
    RECT client;
    GetClientRect(lv.hwnd, &client);
    b.left = client.left;
    b.right = std::max(b.right, client.right);
  }
  Invalidate(lv, &b);
}

}  // namespace platform::controls::listview
