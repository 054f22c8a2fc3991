// The tree view. Items form a linked tree under an invisible root; the rows
// shown are the top-level items and the children of expanded items. Every
// notification may change the tree (the parent deletes and refills children
// while an item expands), so after each one the items in hand are checked
// again before they are used.
#include "platform/controls/tree_view.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi.h"
#include "platform/text/wide.h"
#include "platform/window/window.h"

struct _TREEITEM {
  _TREEITEM* parent = nullptr;
  _TREEITEM* firstChild = nullptr;
  _TREEITEM* next = nullptr;
  _TREEITEM* prev = nullptr;
  std::u16string text;
  bool textCallback = false;
  int image = 0;
  int selectedImage = 0;
  // The child count as given (I_CHILDRENCALLBACK: ask the parent); without
  // one, the item has children when it holds child items.
  bool childrenGiven = false;
  int children = 0;
  UINT state = 0;
  LPARAM lParam = 0;
  bool dying = false;  // its deletion notifications are under way
  uintptr_t id = 0;     // its handle: never reused while the control lives
};

namespace platform::controls {
namespace {

using Item = _TREEITEM;

const int kTextMax = 260;
const int kIndent = 16;
const int kButtonSize = 9;
const COLORREF kLineColour = RGB(0x80, 0x80, 0x80);

struct TreeState {
  Item root;
  std::unordered_set<Item*> live;
  std::unordered_map<uintptr_t, Item*> byId;
  uintptr_t nextId = 1;
  // Deleted items wait here until the outermost message returns, so that an
  // item deleted during a notification cannot come back at the same address
  // while the control still holds it.
  std::vector<Item*> graveyard;
  int depth = 0;
  Item* selected = nullptr;
  HIMAGELIST images = nullptr;
  HFONT font = nullptr;
  bool redraw = true;
  int top = 0;   // index of the first row shown
  int left = 0;  // pixels scrolled sideways to show a deep selection
  int rowHeight = 16;
  unsigned generation = 0;  // changes whenever rows come, go or move
  ~TreeState() {
    for (Item* i : live) delete i;
    for (Item* i : graveyard) delete i;
  }
};

// What the control shows for an item, callbacks answered.
struct Shown {
  std::u16string text;
  int image = 0;
  int selectedImage = 0;
  int children = 0;
};

TreeState* State(HWND hwnd) { return ControlData<TreeState>(hwnd); }

bool Alive(TreeState* s, Item* item) { return item && (item == &s->root || s->live.count(item)); }

// A handle naming an item (not the root); null when it names none.
Item* ItemOf(TreeState* s, HTREEITEM h) {
  auto it = s->byId.find(reinterpret_cast<uintptr_t>(h));
  return it != s->byId.end() ? it->second : nullptr;
}

HTREEITEM HandleOf(TreeState* s, Item* item) {
  return item && item != &s->root ? reinterpret_cast<HTREEITEM>(item->id) : nullptr;
}

bool IsAncestor(const Item* ancestor, const Item* item) {
  for (const Item* p = item ? item->parent : nullptr; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

int Level(const Item* item) {
  int level = 0;
  for (const Item* p = item->parent; p && p->parent; p = p->parent) ++level;
  return level;
}

int CountItems(const Item* item) {
  int n = 0;
  for (const Item* c = item->firstChild; c; c = c->next) n += 1 + CountItems(c);
  return n;
}

void AddVisible(const Item* parent, std::vector<Item*>* rows) {
  for (Item* c = parent->firstChild; c; c = c->next) {
    rows->push_back(c);
    if (c->state & TVIS_EXPANDED) AddVisible(c, rows);
  }
}

std::vector<Item*> VisibleRows(TreeState* s) {
  std::vector<Item*> rows;
  AddVisible(&s->root, &rows);
  return rows;
}

int RowOf(TreeState* s, const Item* item) {
  std::vector<Item*> rows = VisibleRows(s);
  auto it = std::find(rows.begin(), rows.end(), item);
  return it == rows.end() ? -1 : (int)(it - rows.begin());
}

int ClientHeight(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  return r.bottom - r.top;
}

int PageRows(HWND hwnd, TreeState* s) { return std::max(1, ClientHeight(hwnd) / s->rowHeight); }

// Keeps the first row in range and the scroll bar in step with the rows.
void UpdateScroll(HWND hwnd, TreeState* s) {
  int count = (int)VisibleRows(s).size();
  int page = PageRows(hwnd, s);
  s->top = std::clamp(s->top, 0, std::max(0, count - page));
  if (!s->redraw) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = std::max(0, count - 1);
  si.nPage = (UINT)page;
  si.nPos = s->top;
  SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
}

void Repaint(HWND hwnd, TreeState* s) {
  if (s->redraw) InvalidateRect(hwnd, nullptr, TRUE);
}

void Changed(HWND hwnd, TreeState* s) {
  UpdateScroll(hwnd, s);
  Repaint(hwnd, s);
}

void MeasureRows(HWND hwnd, TreeState* s) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, s->font ? (HGDIOBJ)s->font : GetStockObject(SYSTEM_FONT));
  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  int cx = 0, cy = 0;
  if (s->images) ImageList_GetIconSize(s->images, &cx, &cy);
  s->rowHeight = std::max<int>(tm.tmHeight, cy) + 2;
}

LRESULT Notify(HWND hwnd, NMHDR* hdr, UINT code) {
  hdr->hwndFrom = hwnd;
  hdr->idFrom = (UINT_PTR)GetDlgCtrlID(hwnd);
  hdr->code = code;
  HWND parent = GetParent(hwnd);
  return parent ? SendMessage(parent, WM_NOTIFY, hdr->idFrom, (LPARAM)hdr) : 0;
}

TVITEM Describe(TreeState* s, Item* item) {
  TVITEM tv{};
  if (!item || !Alive(s, item) || item == &s->root) return tv;
  tv.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  tv.hItem = HandleOf(s, item);
  tv.state = item->state;
  tv.stateMask = 0xFFFF;
  tv.lParam = item->lParam;
  return tv;
}

// The fields of `wanted` (TVIF_TEXT, TVIF_IMAGE, TVIF_SELECTEDIMAGE,
// TVIF_CHILDREN) as shown, asking the parent for those left to it and
// keeping its answer when it says so (TVIF_DI_SETITEM). The item may be
// gone afterwards: callers check.
Shown Ask(HWND hwnd, TreeState* s, Item* item, UINT wanted) {
  Shown out;
  UINT ask = 0;
  if ((wanted & TVIF_TEXT) && item->textCallback) ask |= TVIF_TEXT;
  if ((wanted & TVIF_IMAGE) && item->image == I_IMAGECALLBACK) ask |= TVIF_IMAGE;
  if ((wanted & TVIF_SELECTEDIMAGE) && item->selectedImage == I_IMAGECALLBACK)
    ask |= TVIF_SELECTEDIMAGE;
  if ((wanted & TVIF_CHILDREN) && item->childrenGiven && item->children == I_CHILDRENCALLBACK)
    ask |= TVIF_CHILDREN;
  out.text = item->textCallback ? std::u16string() : item->text;
  out.image = item->image;
  out.selectedImage = item->selectedImage;
  out.children = item->childrenGiven ? item->children : (item->firstChild ? 1 : 0);
  if (!ask) return out;

  WCHAR buffer[kTextMax + 1] = {0};
  NMTVDISPINFO di{};
  di.item.mask = ask;
  di.item.hItem = HandleOf(s, item);
  di.item.state = item->state;
  di.item.stateMask = 0xFFFF;
  di.item.lParam = item->lParam;
  di.item.pszText = buffer;
  di.item.cchTextMax = kTextMax + 1;
  di.item.iImage = out.image;
  di.item.iSelectedImage = out.selectedImage;
  di.item.cChildren = out.children;
  Notify(hwnd, &di.hdr, TVN_GETDISPINFO);

  if (ask & TVIF_TEXT) {
    const WCHAR* t = di.item.pszText;
    out.text.clear();
    if (t && t != LPSTR_TEXTCALLBACK)
      for (int i = 0; i < kTextMax && t[i]; ++i) out.text += t[i];
  }
  if (ask & TVIF_IMAGE) out.image = di.item.iImage;
  if (ask & TVIF_SELECTEDIMAGE) out.selectedImage = di.item.iSelectedImage;
  if (ask & TVIF_CHILDREN) out.children = di.item.cChildren;
  if ((di.item.mask & TVIF_DI_SETITEM) && Alive(s, item)) {
    if (ask & TVIF_TEXT) {
      item->text = out.text;
      item->textCallback = false;
    }
    if (ask & TVIF_IMAGE) item->image = out.image;
    if (ask & TVIF_SELECTEDIMAGE) item->selectedImage = out.selectedImage;
    if (ask & TVIF_CHILDREN) item->children = out.children;
  }
  return out;
}

bool HasChildren(HWND hwnd, TreeState* s, Item* item) {
  return Ask(hwnd, s, item, TVIF_CHILDREN).children > 0;
}

void FollowSideways(HWND hwnd, TreeState* s, Item* item);

// Scrolls the item's row into view, and sideways as far as its label needs.
void ScrollTo(HWND hwnd, TreeState* s, Item* item) {
  FollowSideways(hwnd, s, item);
  if (!Alive(s, item)) return;
  int row = RowOf(s, item);
  if (row < 0) return;
  int page = PageRows(hwnd, s);
  if (row < s->top) s->top = row;
  if (row >= s->top + page) s->top = row - page + 1;
  Changed(hwnd, s);
}

BOOL Select(HWND hwnd, TreeState* s, Item* item, UINT action);
BOOL Expand(HWND hwnd, TreeState* s, Item* item, UINT action);

// Opens the collapsed ancestors of an item, outermost first.
void RevealItem(HWND hwnd, TreeState* s, Item* item) {
  std::vector<Item*> chain;
  for (Item* p = item->parent; p && p != &s->root; p = p->parent) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!Alive(s, *it) || !Alive(s, item)) return;
    if (!((*it)->state & TVIS_EXPANDED)) Expand(hwnd, s, *it, TVE_EXPAND);
  }
}

BOOL Select(HWND hwnd, TreeState* s, Item* item, UINT action) {
  if (item == s->selected) {
    if (item) ScrollTo(hwnd, s, item);
    return TRUE;
  }
  if (item) {
    RevealItem(hwnd, s, item);
    if (!Alive(s, item)) return FALSE;
  }
  NMTREEVIEW nm{};
  nm.action = action;
  nm.itemOld = Describe(s, s->selected);
  nm.itemNew = Describe(s, item);
  if (Notify(hwnd, &nm.hdr, TVN_SELCHANGING)) return FALSE;
  if (item && !Alive(s, item)) return FALSE;
  Item* old = Alive(s, s->selected) ? s->selected : nullptr;
  if (old) old->state &= ~TVIS_SELECTED;
  s->selected = item;
  if (item) {
    item->state |= TVIS_SELECTED;
    ScrollTo(hwnd, s, item);
  }
  Repaint(hwnd, s);
  nm = NMTREEVIEW{};
  nm.action = action;
  nm.itemOld = Describe(s, old);
  nm.itemNew = Describe(s, item);
  Notify(hwnd, &nm.hdr, TVN_SELCHANGED);
  return TRUE;
}

BOOL Expand(HWND hwnd, TreeState* s, Item* item, UINT action) {
  if (!item || item == &s->root) return FALSE;
  action &= TVE_TOGGLE;
  if (action == TVE_TOGGLE) action = (item->state & TVIS_EXPANDED) ? TVE_COLLAPSE : TVE_EXPAND;
  if (action == TVE_EXPAND) {
    if (item->state & TVIS_EXPANDED) return TRUE;
    if (!HasChildren(hwnd, s, item) || !Alive(s, item)) return FALSE;
  } else if (action == TVE_COLLAPSE) {
    if (!(item->state & TVIS_EXPANDED)) return FALSE;
  } else {
    return FALSE;
  }
  NMTREEVIEW nm{};
  nm.action = action;
  nm.itemNew = Describe(s, item);
  // The parent may refuse, and may delete and insert children meanwhile.
  if (Notify(hwnd, &nm.hdr, TVN_ITEMEXPANDING) || !Alive(s, item)) return FALSE;
  if (action == TVE_EXPAND) {
    if (!item->firstChild) {
      Changed(hwnd, s);
      return FALSE;
    }
    item->state |= TVIS_EXPANDED;
    ++s->generation;
    Changed(hwnd, s);
  } else {
    item->state &= ~TVIS_EXPANDED;
    ++s->generation;
    Changed(hwnd, s);
    // A selection hidden by the collapse moves up to the collapsed item.
    if (IsAncestor(item, s->selected)) Select(hwnd, s, item, TVC_UNKNOWN);
    if (!Alive(s, item)) return TRUE;
  }
  nm = NMTREEVIEW{};
  nm.action = action;
  nm.itemNew = Describe(s, item);
  Notify(hwnd, &nm.hdr, TVN_ITEMEXPANDED);
  return TRUE;
}

void CollectSubtree(Item* item, std::vector<Item*>* out) {
  out->push_back(item);
  for (Item* c = item->firstChild; c; c = c->next) CollectSubtree(c, out);
}

void FreeSubtree(TreeState* s, Item* item) {
  while (Item* c = item->firstChild) {
    item->firstChild = c->next;
    FreeSubtree(s, c);
  }
  s->live.erase(item);
  s->byId.erase(item->id);
  s->graveyard.push_back(item);
}

void Unlink(Item* item) {
  if (item->prev) item->prev->next = item->next;
  if (item->next) item->next->prev = item->prev;
  if (item->parent && item->parent->firstChild == item) item->parent->firstChild = item->next;
  item->prev = item->next = nullptr;
}

// Deletes an item and everything under it (the root: every item), telling
// the parent about each one before it goes. A deleted selection passes to
// the next sibling, else the previous one, else the parent.
BOOL Delete(HWND hwnd, TreeState* s, Item* item) {
  std::vector<Item*> doomed;
  if (item == &s->root) {
    for (Item* c = s->root.firstChild; c; c = c->next) CollectSubtree(c, &doomed);
  } else {
    CollectSubtree(item, &doomed);
  }
  for (Item* d : doomed) {
    if (!Alive(s, d) || d->dying) continue;
    d->dying = true;
    NMTREEVIEW nm{};
    nm.itemOld.mask = TVIF_HANDLE | TVIF_PARAM;
    nm.itemOld.hItem = HandleOf(s, d);
    nm.itemOld.lParam = d->lParam;
    Notify(hwnd, &nm.hdr, TVN_DELETEITEM);
  }
  if (!Alive(s, item)) return TRUE;  // deleted meanwhile

  Item* successor = nullptr;
  bool selectionGoes = s->selected && (item == &s->root || s->selected == item ||
                                       IsAncestor(item, s->selected));
  if (selectionGoes && item != &s->root) {
    successor = item->next ? item->next : item->prev;
    if (!successor && item->parent != &s->root) successor = item->parent;
  }
  if (selectionGoes) s->selected = nullptr;
  if (item == &s->root) {
    s->left = 0;
    while (Item* c = s->root.firstChild) {
      Unlink(c);
      FreeSubtree(s, c);
    }
  } else {
    Item* parent = item->parent;
    Unlink(item);
    FreeSubtree(s, item);
    if (parent && !parent->firstChild) parent->state &= ~TVIS_EXPANDED;
  }
  ++s->generation;
  Changed(hwnd, s);
  if (successor && Alive(s, successor)) Select(hwnd, s, successor, TVC_UNKNOWN);
  return TRUE;
}

HTREEITEM Insert(HWND hwnd, TreeState* s, const TVINSERTSTRUCT* is) {
  if (!is) return nullptr;
  Item* parent = &s->root;
  if (is->hParent && is->hParent != TVI_ROOT) {
    parent = ItemOf(s, is->hParent);
    if (!parent) return nullptr;
  }
  auto* item = new Item;
  const TVITEM& tv = is->item;
  if (tv.mask & TVIF_TEXT) {
    if (tv.pszText == LPSTR_TEXTCALLBACK) {
      item->textCallback = true;
    } else if (tv.pszText) {
      item->text = tv.pszText;
    }
  }
  if (tv.mask & TVIF_IMAGE) item->image = tv.iImage;
  if (tv.mask & TVIF_SELECTEDIMAGE) item->selectedImage = tv.iSelectedImage;
  if (tv.mask & TVIF_CHILDREN) {
    item->childrenGiven = true;
    item->children = tv.cChildren;
  }
  if (tv.mask & TVIF_PARAM) item->lParam = tv.lParam;
  if (tv.mask & TVIF_STATE) item->state = tv.state & tv.stateMask & ~TVIS_SELECTED;
  item->parent = parent;

  // Where it goes among its siblings: after `after`, or first when null.
  Item* last = nullptr;
  for (Item* c = parent->firstChild; c; c = c->next) last = c;
  Item* after = last;
  if (is->hInsertAfter == TVI_FIRST) {
    after = nullptr;
  } else if (is->hInsertAfter == TVI_SORT) {
    after = nullptr;
    if (item->textCallback) {
      after = last;
    } else {
      for (Item* c = parent->firstChild; c; c = c->next) {
        if (c->textCallback || WideCompareNoCase(c->text.c_str(), item->text.c_str()) > 0) break;
        after = c;
      }
    }
  } else if (is->hInsertAfter != TVI_LAST) {
    Item* sibling = ItemOf(s, is->hInsertAfter);
    if (sibling && sibling->parent == parent) after = sibling;
  }
  if (after) {
    item->prev = after;
    item->next = after->next;
    if (after->next) after->next->prev = item;
    after->next = item;
  } else {
    item->next = parent->firstChild;
    if (parent->firstChild) parent->firstChild->prev = item;
    parent->firstChild = item;
  }
  item->id = s->nextId++;
  s->live.insert(item);
  s->byId[item->id] = item;
  ++s->generation;
  Changed(hwnd, s);
  return HandleOf(s, item);
}

void SortChildren(HWND hwnd, TreeState* s, Item* parent, bool recurse) {
  std::unordered_map<Item*, std::u16string> texts;
  std::vector<Item*> kids;
  for (Item* c = parent->firstChild; c; c = c->next) kids.push_back(c);
  for (Item* c : kids) {
    if (!Alive(s, c)) continue;
    std::u16string t = c->textCallback ? Ask(hwnd, s, c, TVIF_TEXT).text : c->text;
    texts[c] = t;
  }
  if (!Alive(s, parent)) return;
  kids.clear();
  for (Item* c = parent->firstChild; c; c = c->next) kids.push_back(c);
  auto textOf = [&](Item* c) -> const std::u16string& {
    auto it = texts.find(c);
    return it != texts.end() ? it->second : c->text;
  };
  std::stable_sort(kids.begin(), kids.end(), [&](Item* a, Item* b) {
    return WideCompareNoCase(textOf(a).c_str(), textOf(b).c_str()) < 0;
  });
  Item* prev = nullptr;
  for (Item* c : kids) {
    c->prev = prev;
    c->next = nullptr;
    if (prev) {
      prev->next = c;
    } else {
      parent->firstChild = c;
    }
    prev = c;
  }
  ++s->generation;
  if (recurse)
    for (Item* c : kids)
      if (Alive(s, c) && c->firstChild) SortChildren(hwnd, s, c, true);
}

// Where things go in a row: the item's columns of lines and buttons, its
// icon, its text.
struct RowLayout {
  int column;  // columns of lines to the left of the item
  int iconX;
  int textX;
};

bool HasRootColumn(DWORD style) {
  return (style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS));
}

RowLayout LayoutOf(HWND hwnd, TreeState* s, const Item* item) {
  RowLayout l{};
  l.column = Level(item) + (HasRootColumn((DWORD)GetWindowLong(hwnd, GWL_STYLE)) ? 1 : 0);
  l.iconX = l.column * kIndent - s->left;
  int cx = 0, cy = 0;
  if (s->images && ImageList_GetIconSize(s->images, &cx, &cy)) {
    l.textX = l.iconX + cx + 3;
  } else {
    l.textX = l.iconX + 2;
  }
  return l;
}

HGDIOBJ SelectFont(HDC dc, TreeState* s) {
  return SelectObject(dc, s->font ? (HGDIOBJ)s->font : GetStockObject(SYSTEM_FONT));
}

int TextWidth(HDC dc, const std::u16string& text) {
  SIZE size{};
  GetTextExtentPoint32(dc, text.c_str(), (int)text.size(), &size);
  return size.cx;
}

void FollowSideways(HWND hwnd, TreeState* s, Item* item) {
  std::u16string text = Ask(hwnd, s, item, TVIF_TEXT).text;
  if (!Alive(s, item)) return;
  RowLayout l = LayoutOf(hwnd, s, item);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectFont(dc, s);
  int right = l.textX + s->left + TextWidth(dc, text) + 2;
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  // Show the item's button column too when there is room.
  int wanted = std::max(0, l.iconX + s->left - kIndent);
  RECT client;
  GetClientRect(hwnd, &client);
  int before = s->left;
  if (wanted < s->left) {
    s->left = wanted;
  } else if (right > s->left + client.right) {
    s->left = std::max(0, std::min(wanted, right - (int)client.right));
  }
  if (s->left != before) Repaint(hwnd, s);
}

BOOL GetItemRect(HWND hwnd, TreeState* s, RECT* rect, bool textOnly) {
  if (!rect) return FALSE;
  HTREEITEM h;
  std::memcpy(&h, rect, sizeof h);
  Item* item = ItemOf(s, h);
  if (!item) return FALSE;
  int row = RowOf(s, item);
  if (row < 0) return FALSE;
  RECT client;
  GetClientRect(hwnd, &client);
  int y = (row - s->top) * s->rowHeight;
  if (!textOnly) {
    SetRect(rect, 0, y, client.right, y + s->rowHeight);
    return TRUE;
  }
  std::u16string text = Ask(hwnd, s, item, TVIF_TEXT).text;
  if (!Alive(s, item)) return FALSE;
  RowLayout l = LayoutOf(hwnd, s, item);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectFont(dc, s);
  int width = TextWidth(dc, text);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  SetRect(rect, l.textX - 2, y, l.textX + width + 2, y + s->rowHeight);
  return TRUE;
}

void FillSolid(HDC dc, RECT r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void DrawButton(HDC dc, int cx, int cy, bool expanded) {
  int half = kButtonSize / 2;
  RECT box{cx - half, cy - half, cx + half + 1, cy + half + 1};
  FillSolid(dc, box, GetSysColor(COLOR_WINDOW));
  HBRUSH frame = CreateSolidBrush(kLineColour);
  FrameRect(dc, &box, frame);
  DeleteObject(frame);
  COLORREF mark = GetSysColor(COLOR_WINDOWTEXT);
  FillSolid(dc, RECT{cx - 2, cy, cx + 3, cy + 1}, mark);
  if (!expanded) FillSolid(dc, RECT{cx, cy - 2, cx + 1, cy + 3}, mark);
}

void Paint(HWND hwnd, TreeState* s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  DWORD style = (DWORD)GetWindowLong(hwnd, GWL_STYLE);

  // First ask for whatever the rows in view leave to the parent; should the
  // answers change the rows, ask again for the new ones.
  std::unordered_map<Item*, Shown> shown;
  std::vector<Item*> rows;
  for (int pass = 0; pass < 3; ++pass) {
    unsigned generation = s->generation;
    rows = VisibleRows(s);
    shown.clear();
    for (int i = s->top; i < (int)rows.size() && (i - s->top) * s->rowHeight < client.bottom; ++i) {
      if (!Alive(s, rows[i])) continue;
      shown[rows[i]] = Ask(hwnd, s, rows[i],
                           TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN);
    }
    if (generation == s->generation) break;
  }
  rows = VisibleRows(s);

  FillSolid(dc, client, GetSysColor(COLOR_WINDOW));
  HGDIOBJ oldFont = SelectFont(dc, s);
  SetBkMode(dc, TRANSPARENT);
  bool focused = GetFocus() == hwnd;
  int iconCx = 0, iconCy = 0;
  if (s->images) ImageList_GetIconSize(s->images, &iconCx, &iconCy);
  for (int i = s->top; i < (int)rows.size(); ++i) {
    int y0 = (i - s->top) * s->rowHeight;
    if (y0 >= client.bottom) break;
    Item* item = rows[i];
    auto found = shown.find(item);
    Shown info = found != shown.end() ? found->second : Shown{item->text, item->image,
                                                             item->selectedImage, 0};
    int y1 = y0 + s->rowHeight, cy = y0 + s->rowHeight / 2;
    RowLayout l = LayoutOf(hwnd, s, item);
    if (l.column > 0) {
      int cx = (l.column - 1) * kIndent + kIndent / 2 - s->left;
      if (style & TVS_HASLINES) {
        // Lines passing by for the ancestors that have siblings below.
        int column = l.column - 1;
        for (Item* a = item->parent; a && a != &s->root && column > 0; a = a->parent) {
          --column;
          int x = column * kIndent + kIndent / 2 - s->left;
          if (a->next) FillSolid(dc, RECT{x, y0, x + 1, y1}, kLineColour);
        }
        bool above = item->prev || item->parent != &s->root;
        FillSolid(dc, RECT{cx, above ? y0 : cy, cx + 1, item->next ? y1 : cy + 1}, kLineColour);
        FillSolid(dc, RECT{cx, cy, l.iconX - 1, cy + 1}, kLineColour);
      }
      if ((style & TVS_HASBUTTONS) && info.children > 0)
        DrawButton(dc, cx, cy, (item->state & TVIS_EXPANDED) != 0);
    }
    bool selected = item == s->selected;
    if (s->images) {
      int index = selected ? info.selectedImage : info.image;
      ImageList_Draw(s->images, index, dc, l.iconX, y0 + (s->rowHeight - iconCy) / 2,
                     ILD_TRANSPARENT);
    }
    int width = TextWidth(dc, info.text);
    RECT label{l.textX - 2, y0, l.textX + width + 2, y1};
    COLORREF textColour = GetSysColor(COLOR_WINDOWTEXT);
    if (selected && focused) {
      FillSolid(dc, label, GetSysColor(COLOR_HIGHLIGHT));
      textColour = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else if (selected && (style & TVS_SHOWSELALWAYS)) {
      FillSolid(dc, label, GetSysColor(COLOR_BTNFACE));
    }
    SetTextColor(dc, textColour);
    RECT textRect{l.textX, y0, client.right, y1};
    DrawText(dc, info.text.c_str(), (int)info.text.size(), &textRect,
             DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

BOOL GetItem(HWND hwnd, TreeState* s, TVITEM* tv) {
  if (!tv) return FALSE;
  Item* item = ItemOf(s, tv->hItem);
  if (!item) return FALSE;
  Shown shown = Ask(hwnd, s, item, tv->mask);
  if (!Alive(s, item)) return FALSE;
  if (tv->mask & TVIF_TEXT) {
    if (tv->pszText && tv->cchTextMax > 0) CopyWide(shown.text, tv->pszText, tv->cchTextMax);
  }
  if (tv->mask & TVIF_IMAGE) tv->iImage = shown.image;
  if (tv->mask & TVIF_SELECTEDIMAGE) tv->iSelectedImage = shown.selectedImage;
  if (tv->mask & TVIF_CHILDREN) tv->cChildren = shown.children;
  if (tv->mask & TVIF_STATE) tv->state = item->state & (tv->stateMask ? tv->stateMask : 0xFFFF);
  if (tv->mask & TVIF_PARAM) tv->lParam = item->lParam;
  return TRUE;
}

BOOL SetItem(HWND hwnd, TreeState* s, const TVITEM* tv) {
  if (!tv) return FALSE;
  Item* item = ItemOf(s, tv->hItem);
  if (!item) return FALSE;
  if (tv->mask & TVIF_TEXT) {
    item->textCallback = tv->pszText == LPSTR_TEXTCALLBACK;
    item->text = item->textCallback || !tv->pszText ? std::u16string() : std::u16string(tv->pszText);
  }
  if (tv->mask & TVIF_IMAGE) item->image = tv->iImage;
  if (tv->mask & TVIF_SELECTEDIMAGE) item->selectedImage = tv->iSelectedImage;
  if (tv->mask & TVIF_CHILDREN) {
    item->childrenGiven = true;
    item->children = tv->cChildren;
  }
  if (tv->mask & TVIF_PARAM) item->lParam = tv->lParam;
  if (tv->mask & TVIF_STATE) {
    // The selection belongs to TVM_SELECTITEM; the rest is set as asked.
    UINT mask = tv->stateMask & ~(UINT)TVIS_SELECTED;
    UINT before = item->state;
    item->state = (item->state & ~mask) | (tv->state & mask);
    if ((before ^ item->state) & TVIS_EXPANDED) ++s->generation;
  }
  Changed(hwnd, s);
  return TRUE;
}

HTREEITEM NextItem(TreeState* s, UINT code, HTREEITEM h) {
  switch (code) {
    case TVGN_ROOT: return HandleOf(s, s->root.firstChild);
    case TVGN_CARET: return HandleOf(s, s->selected);
    case TVGN_FIRSTVISIBLE: {
      std::vector<Item*> rows = VisibleRows(s);
      return s->top < (int)rows.size() ? HandleOf(s, rows[s->top]) : nullptr;
    }
    case TVGN_CHILD: {
      Item* item = (!h || h == TVI_ROOT) ? &s->root : ItemOf(s, h);
      return item ? HandleOf(s, item->firstChild) : nullptr;
    }
  }
  Item* item = ItemOf(s, h);
  if (!item) return nullptr;
  switch (code) {
    case TVGN_NEXT: return HandleOf(s, item->next);
    case TVGN_PREVIOUS: return HandleOf(s, item->prev);
    case TVGN_PARENT: return HandleOf(s, item->parent);
    case TVGN_NEXTVISIBLE:
    case TVGN_PREVIOUSVISIBLE: {
      std::vector<Item*> rows = VisibleRows(s);
      auto it = std::find(rows.begin(), rows.end(), item);
      if (it == rows.end()) return nullptr;
      if (code == TVGN_NEXTVISIBLE) return it + 1 != rows.end() ? HandleOf(s, *(it + 1)) : nullptr;
      return it != rows.begin() ? HandleOf(s, *(it - 1)) : nullptr;
    }
  }
  return nullptr;
}

void KeyDown(HWND hwnd, TreeState* s, UINT vk) {
  Item* current = Alive(s, s->selected) ? s->selected : nullptr;
  std::vector<Item*> rows = VisibleRows(s);
  if (rows.empty()) return;
  if (!current) {
    if (vk == VK_UP || vk == VK_DOWN) Select(hwnd, s, rows[std::min<size_t>(s->top, rows.size() - 1)], TVC_BYKEYBOARD);
    return;
  }
  auto at = std::find(rows.begin(), rows.end(), current);
  switch (vk) {
    case VK_UP:
      if (at != rows.end() && at != rows.begin()) Select(hwnd, s, *(at - 1), TVC_BYKEYBOARD);
      break;
    case VK_DOWN:
      if (at != rows.end() && at + 1 != rows.end()) Select(hwnd, s, *(at + 1), TVC_BYKEYBOARD);
      break;
    case VK_RIGHT:
      if (current->state & TVIS_EXPANDED) {
        if (current->firstChild) Select(hwnd, s, current->firstChild, TVC_BYKEYBOARD);
      } else {
        Expand(hwnd, s, current, TVE_EXPAND);
      }
      break;
    case VK_LEFT:
      if (current->state & TVIS_EXPANDED) {
        Expand(hwnd, s, current, TVE_COLLAPSE);
      } else if (current->parent && current->parent != &s->root) {
        Select(hwnd, s, current->parent, TVC_BYKEYBOARD);
      }
      break;
  }
}

void Scroll(HWND hwnd, TreeState* s, WPARAM request) {
  int page = PageRows(hwnd, s);
  int count = (int)VisibleRows(s).size();
  switch (LOWORD(request)) {
    case SB_LINEUP: s->top -= 1; break;
    case SB_LINEDOWN: s->top += 1; break;
    case SB_PAGEUP: s->top -= page; break;
    case SB_PAGEDOWN: s->top += page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: s->top = (short)HIWORD(request); break;
    case SB_TOP: s->top = 0; break;
    case SB_BOTTOM: s->top = count; break;
    default: return;
  }
  Changed(hwnd, s);
}

LRESULT Handle(HWND hwnd, TreeState* s, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK TreeViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    auto state = std::make_shared<TreeState>();
    SetControlData(hwnd, state);
    MeasureRows(hwnd, state.get());
    UpdateScroll(hwnd, state.get());
    return 0;
  }
  TreeState* s = State(hwnd);
  if (!s) return DefWindowProc(hwnd, msg, wParam, lParam);
  ++s->depth;
  LRESULT result = Handle(hwnd, s, msg, wParam, lParam);
  if (--s->depth == 0) {
    for (Item* i : s->graveyard) delete i;
    s->graveyard.clear();
  }
  return result;
}

LRESULT Handle(HWND hwnd, TreeState* s, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_DESTROY:
      s->redraw = false;
      Delete(hwnd, s, &s->root);
      return 0;
    case WM_PAINT: Paint(hwnd, s); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers everything
    case WM_SIZE: UpdateScroll(hwnd, s); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTARROWS;
    case WM_KEYDOWN: KeyDown(hwnd, s, (UINT)wParam); return 0;
    case WM_VSCROLL: Scroll(hwnd, s, wParam); return 0;
    case WM_SETFONT:
      s->font = (HFONT)wParam;
      MeasureRows(hwnd, s);
      UpdateScroll(hwnd, s);
      if (LOWORD(lParam)) Repaint(hwnd, s);
      return 0;
    case WM_GETFONT: return (LRESULT)s->font;
    case WM_SETREDRAW:
      s->redraw = wParam != 0;
      if (s->redraw) Changed(hwnd, s);
      return 0;
    case TVM_INSERTITEM: return (LRESULT)Insert(hwnd, s, (const TVINSERTSTRUCT*)lParam);
    case TVM_DELETEITEM: {
      HTREEITEM h = (HTREEITEM)lParam;
      if (!h || h == TVI_ROOT) return Delete(hwnd, s, &s->root);
      Item* item = ItemOf(s, h);
      return item ? Delete(hwnd, s, item) : FALSE;
    }
    case TVM_EXPAND: return Expand(hwnd, s, ItemOf(s, (HTREEITEM)lParam), (UINT)wParam);
    case TVM_GETITEMRECT: return GetItemRect(hwnd, s, (RECT*)lParam, wParam != 0);
    case TVM_GETCOUNT: return CountItems(&s->root);
    case TVM_GETIMAGELIST: return wParam == TVSIL_NORMAL ? (LRESULT)s->images : 0;
    case TVM_SETIMAGELIST: {
      if (wParam != TVSIL_NORMAL) return 0;
      HIMAGELIST old = s->images;
      s->images = (HIMAGELIST)lParam;
      MeasureRows(hwnd, s);
      Changed(hwnd, s);
      return (LRESULT)old;
    }
    case TVM_GETNEXTITEM: return (LRESULT)NextItem(s, (UINT)wParam, (HTREEITEM)lParam);
    case TVM_SELECTITEM: {
      HTREEITEM h = (HTREEITEM)lParam;
      Item* item = ItemOf(s, h);
      if (h && !item) return FALSE;
      if (wParam == TVGN_CARET) return Select(hwnd, s, item, TVC_UNKNOWN);
      if (wParam == TVGN_FIRSTVISIBLE && item) {
        RevealItem(hwnd, s, item);
        int row = Alive(s, item) ? RowOf(s, item) : -1;
        if (row < 0) return FALSE;
        s->top = row;
        Changed(hwnd, s);
        return TRUE;
      }
      return FALSE;
    }
    case TVM_SORTCHILDREN: {
      HTREEITEM h = (HTREEITEM)lParam;
      Item* parent = (!h || h == TVI_ROOT) ? &s->root : ItemOf(s, h);
      if (!parent) return FALSE;
      SortChildren(hwnd, s, parent, wParam != 0);
      Changed(hwnd, s);
      return TRUE;
    }
    case TVM_ENSUREVISIBLE: {
      Item* item = ItemOf(s, (HTREEITEM)lParam);
      if (!item) return FALSE;
      RevealItem(hwnd, s, item);
      if (!Alive(s, item)) return FALSE;
      ScrollTo(hwnd, s, item);
      return TRUE;
    }
    case TVM_GETITEM: return GetItem(hwnd, s, (TVITEM*)lParam);
    case TVM_SETITEM: return SetItem(hwnd, s, (const TVITEM*)lParam);
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterTreeViewClass() {
  WNDCLASS wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = TreeViewProc;
  wc.lpszClassName = WC_TREEVIEW;
  RegisterClass(&wc);
}

}  // namespace platform::controls
