// Painting the list view: custom-draw stages for the parent, owner-drawn
// report rows, and the list's own drawing of labels, cells and header.
#include <algorithm>

#include "platform/controls/list_view_internal.h"

namespace platform::controls::listview {

namespace {

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

UINT Alignment(int format) {
  switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return DT_RIGHT;
    case LVCFMT_CENTER: return DT_CENTER;
  }
  return DT_LEFT;
}

void Text(HDC dc, const std::u16string& text, RECT r, UINT align, COLORREF colour) {
  if (text.empty()) return;
  r.left += kTextMargin;
  r.right -= kTextMargin;
  if (r.right <= r.left) return;
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  DrawText(dc, text.data(), (int)text.size(), &r,
           align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

// Whether the selection shows: with the focus, or always when asked to.
bool SelectionShows(const ListView& lv, UINT state) {
  return (state & (LVIS_SELECTED | LVIS_DROPHILITED)) &&
         (lv.hasFocus || (lv.laidOutStyle & LVS_SHOWSELALWAYS) || (state & LVIS_DROPHILITED));
}

void DrawReportRow(ListView& lv, HDC dc, int index, const RECT& bounds, COLORREF text,
                   COLORREF back) {
  const Item& item = lv.items[index];
  bool shows = SelectionShows(lv, item.state);
  bool fullRow = (lv.extendedStyle & LVS_EX_FULLROWSELECT) != 0;
  for (int c = 0; c < (int)lv.columns.size(); ++c) {
    const Column& column = lv.columns[c];
    RECT cell{ColumnLeft(lv, c), bounds.top, ColumnLeft(lv, c) + column.width, bounds.bottom};
    if (cell.right <= cell.left) continue;
    bool lit = shows && (fullRow || c == 0);
    Fill(dc, cell, lit ? GetSysColor(COLOR_HIGHLIGHT) : back);
    Text(dc, item.Text(c), cell, Alignment(column.format), lit ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
  }
}

void DrawIconItem(ListView& lv, HDC dc, int index, COLORREF text, COLORREF back) {
  const Item& item = lv.items[index];
  RECT label;
  ItemRect(lv, index, LVIR_LABEL, &label);
  bool lit = SelectionShows(lv, item.state);
  RECT area{label.left + 2, label.top, label.right - 2, label.bottom};
  Fill(dc, area, lit ? GetSysColor(COLOR_HIGHLIGHT) : back);
  Text(dc, item.label, area, DT_CENTER, lit ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
}

void DrawHeader(ListView& lv, HDC dc, const RECT& client) {
  int height = HeaderHeight(lv);
  RECT strip{client.left, 0, client.right, height};
  Fill(dc, strip, GetSysColor(COLOR_WINDOW));
  const COLORREF line = RGB(0x80, 0x80, 0x80);
  for (int c = 0; c < (int)lv.columns.size(); ++c) {
    const Column& column = lv.columns[c];
    if (column.width <= 0) continue;
    RECT cell{ColumnLeft(lv, c), 0, ColumnLeft(lv, c) + column.width, height - 1};
    Text(dc, column.text, cell, Alignment(column.format), GetSysColor(COLOR_WINDOWTEXT));
    Fill(dc, RECT{cell.right - 1, 0, cell.right, height - 1}, line);
  }
  Fill(dc, RECT{client.left, height - 1, client.right, height}, line);
}

// One item: its custom-draw stage when the parent asked for it, then the
// parent's WM_DRAWITEM for owner-drawn rows or the list's own drawing.
void PaintItem(ListView& lv, HDC dc, int index, const RECT& bounds, bool notifyItem) {
  HWND hwnd = lv.hwnd;
  const Item& item = lv.items[index];
  NMLVCUSTOMDRAW cd{};
  cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  cd.nmcd.hdc = dc;
  cd.nmcd.rc = bounds;
  cd.nmcd.dwItemSpec = (DWORD_PTR)index;
  cd.nmcd.uItemState = ((item.state & LVIS_SELECTED) ? CDIS_SELECTED : 0) |
                       ((item.state & LVIS_FOCUSED) && lv.hasFocus ? CDIS_FOCUS : 0);
  cd.nmcd.lItemlParam = item.param;
  cd.clrText = GetSysColor(COLOR_WINDOWTEXT);
  cd.clrTextBk = GetSysColor(COLOR_WINDOW);
  LRESULT answer = CDRF_DODEFAULT;
  if (notifyItem) {
    answer = Notify(lv, &cd.nmcd.hdr, NM_CUSTOMDRAW);
    if (!IsWindow(hwnd) || index >= (int)lv.items.size()) return;
  }
  if (answer & CDRF_SKIPDEFAULT) return;
  // With CDRF_NEWFONT the parent chose the font now in the context.
  if (!(answer & CDRF_NEWFONT)) SelectObject(dc, FontOf(lv));
  if (CurrentView(lv) == View::kReport && (lv.laidOutStyle & LVS_OWNERDRAWFIXED)) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTVIEW;
    dis.CtlID = (UINT)GetDlgCtrlID(hwnd);
    dis.itemID = (UINT)index;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = ((lv.items[index].state & LVIS_SELECTED) ? ODS_SELECTED : 0) |
                    ((lv.items[index].state & LVIS_FOCUSED) && lv.hasFocus ? ODS_FOCUS : 0);
    dis.hwndItem = hwnd;
    dis.hDC = dc;
    dis.rcItem = bounds;
    dis.itemData = (ULONG_PTR)lv.items[index].param;
    SendMessage(GetParent(hwnd), WM_DRAWITEM, (WPARAM)dis.CtlID, (LPARAM)&dis);
  } else if (CurrentView(lv) == View::kReport) {
    DrawReportRow(lv, dc, index, bounds, cd.clrText, cd.clrTextBk);
  } else {
    DrawIconItem(lv, dc, index, cd.clrText, cd.clrTextBk);
  }
  if (IsWindow(hwnd)) SelectObject(dc, FontOf(lv));
}

}  // namespace

void Paint(ListView& lv) {
  HWND hwnd = lv.hwnd;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  if (!lv.redraw) {
    EndPaint(hwnd, &ps);
    return;
  }
  RECT client;
  GetClientRect(hwnd, &client);
  HGDIOBJ oldFont = SelectObject(dc, FontOf(lv));
  NMLVCUSTOMDRAW cd{};
  cd.nmcd.dwDrawStage = CDDS_PREPAINT;
  cd.nmcd.hdc = dc;
  cd.nmcd.rc = client;
  cd.clrText = GetSysColor(COLOR_WINDOWTEXT);
  cd.clrTextBk = GetSysColor(COLOR_WINDOW);
  LRESULT pre = Notify(lv, &cd.nmcd.hdr, NM_CUSTOMDRAW);
  if (!IsWindow(hwnd)) {
    EndPaint(hwnd, &ps);
    return;
  }
  bool report = CurrentView(lv) == View::kReport;
  if (!(pre & CDRF_SKIPDEFAULT)) {
    SelectObject(dc, FontOf(lv));
    // Items inside the part being painted (report rows below the header).
    RECT area;
    IntersectRect(&area, &ps.rcPaint, &client);
    if (report) area.top = std::max<LONG>(area.top, HeaderHeight(lv));
    for (int i = 0; IsWindow(hwnd) && i < (int)lv.items.size(); ++i) {
      RECT bounds;
      ItemRect(lv, i, LVIR_BOUNDS, &bounds);
      bool inside = bounds.top < area.bottom && bounds.bottom > area.top;
      if (!report) inside = inside && bounds.left < area.right && bounds.right > area.left;
      if (inside) PaintItem(lv, dc, i, bounds, (pre & CDRF_NOTIFYITEMDRAW) != 0);
    }
  }
  if (IsWindow(hwnd) && report && HasHeader(lv)) {
    SelectObject(dc, FontOf(lv));
    DrawHeader(lv, dc, client);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

}  // namespace platform::controls::listview
