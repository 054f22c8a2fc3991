// Inside the list view: the per-window record and the services its message
// handling, layout, painting and keyboard parts share.
#pragma once

#include <string>
#include <vector>

#include "platform/controls/list_view.h"
#include "platform/window/window.h"

namespace platform::controls::listview {

struct Item {
  std::u16string label;
  std::vector<std::u16string> subItems;  // sub-item k is subItems[k - 1]
  UINT state = 0;
  LPARAM param = 0;
  // The text shown in a column (0: the label).
  const std::u16string& Text(int column) const;
};

struct Column {
  int width = 0;
  int format = LVCFMT_LEFT;
  std::u16string text;
};

// The view the style bits ask for.
enum class View { kIcon, kStrip, kReport };

struct ListView {
  HWND hwnd = nullptr;
  std::vector<Item> items;
  std::vector<Column> columns;
  HIMAGELIST normalImages = nullptr;
  HIMAGELIST smallImages = nullptr;
  SIZE spacing{0, 0};  // set by the program; 0 = derived from the images
  HFONT font = nullptr;
  DWORD extendedStyle = 0;
  DWORD laidOutStyle = 0;  // the layout bits the geometry was made for
  bool redraw = true;
  bool hasFocus = false;
  int focused = -1;
  // Scrolling: pixels, except the vertical origin of report rows, which
  // counts whole rows.
  int originX = 0;
  int originY = 0;
  bool updatingBars = false;
  // Metrics of the font.
  int textHeight = 0;
};

ListView* Get(HWND hwnd);

// Layout (list_view_layout.cpp).
View ViewOf(DWORD style);
View CurrentView(const ListView& lv);
DWORD LayoutBits(DWORD style);
HFONT FontOf(const ListView& lv);
void MeasureFont(ListView& lv);
SIZE CellSize(const ListView& lv);  // icon views
int RowHeight(const ListView& lv);  // report view
int HeaderHeight(const ListView& lv);
bool HasHeader(const ListView& lv);
int TotalColumnWidth(const ListView& lv);
int VisibleRows(const ListView& lv);
// Item rectangles in client coordinates (LVIR_*); false without item.
bool ItemRect(const ListView& lv, int index, int portion, RECT* out);
// Left edge of a column in client coordinates.
int ColumnLeft(const ListView& lv, int column);
// Grid position of an item in the icon views.
void GridPosition(const ListView& lv, int index, int* column, int* row, int* columns, int* rows);
// Recomputes the geometry: scroll bars, origins within range.
void Relayout(ListView& lv);
// Picks up style bits the program rewrote with SetWindowLong.
void FollowStyle(ListView& lv);
bool EnsureVisible(ListView& lv, int index, bool partialOk);
void ScrollTo(ListView& lv, int x, int y);
void OnScroll(ListView& lv, int bar, int request);
int TextWidth(const ListView& lv, const std::u16string& text);
// The widest text of a column's cells (and of its header), in the list's font.
int WidestText(const ListView& lv, int column, bool withHeader);
void Invalidate(ListView& lv, const RECT* rect);
void InvalidateItem(ListView& lv, int index);

// Painting (list_view_paint.cpp).
void Paint(ListView& lv);

// Item states (list_view.cpp).
bool SetItemState(ListView& lv, int index, UINT state, UINT mask);
// Keyboard (list_view_keys.cpp).
void OnKeyDown(ListView& lv, UINT vk);
void SelectOnly(ListView& lv, int index);

// Text margin inside report cells, header cells and labels.
constexpr int kTextMargin = 4;

// Notifications to the parent.
LRESULT Notify(ListView& lv, NMHDR* header, UINT code);

}  // namespace platform::controls::listview
