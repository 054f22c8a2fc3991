// The tree view ("SysTreeView32"): items under items, each with a text,
// images and a child count that the parent may supply on demand
// (TVN_GETDISPINFO); expanding, collapsing and selecting are reported to
// the parent with WM_NOTIFY. The keypad moves the selection (Up / Down),
// opens (Right) and closes (Left) items.
#pragma once

#include <cstring>

#include "platform/controls/image_list.h"
#include "platform/controls/notify.h"
#include "platform/window/window.h"

#define WC_TREEVIEW u"SysTreeView32"

// Styles.
#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_SHOWSELALWAYS 0x0020

struct _TREEITEM;
typedef struct _TREEITEM* HTREEITEM;

// Insertion places and the invisible root.
#define TVI_ROOT ((HTREEITEM)(ULONG_PTR)-0x10000)
#define TVI_FIRST ((HTREEITEM)(ULONG_PTR)-0x0FFFF)
#define TVI_LAST ((HTREEITEM)(ULONG_PTR)-0x0FFFE)
#define TVI_SORT ((HTREEITEM)(ULONG_PTR)-0x0FFFD)

// Fields the parent supplies when asked.
#ifndef LPSTR_TEXTCALLBACK
#define LPSTR_TEXTCALLBACK ((LPWSTR)-1L)
#endif
#ifndef I_IMAGECALLBACK
#define I_IMAGECALLBACK (-1)
#endif
#define I_CHILDRENCALLBACK (-1)

// TVITEM mask.
#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_STATE 0x0008
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020
#define TVIF_CHILDREN 0x0040
#define TVIF_DI_SETITEM 0x1000

// Item states.
#define TVIS_SELECTED 0x0002
#define TVIS_EXPANDED 0x0020

struct TVITEM {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};
typedef TVITEM* LPTVITEM;
typedef TVITEM TV_ITEM;

struct TVINSERTSTRUCT {
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  TVITEM item;
};
typedef TVINSERTSTRUCT* LPTVINSERTSTRUCT;
typedef TVINSERTSTRUCT TV_INSERTSTRUCT;

// Messages.
#define TV_FIRST 0x1100
#define TVM_DELETEITEM (TV_FIRST + 1)
#define TVM_EXPAND (TV_FIRST + 2)
#define TVM_GETITEMRECT (TV_FIRST + 4)
#define TVM_GETCOUNT (TV_FIRST + 5)
#define TVM_GETIMAGELIST (TV_FIRST + 8)
#define TVM_SETIMAGELIST (TV_FIRST + 9)
#define TVM_GETNEXTITEM (TV_FIRST + 10)
#define TVM_SELECTITEM (TV_FIRST + 11)
#define TVM_SORTCHILDREN (TV_FIRST + 19)
#define TVM_ENSUREVISIBLE (TV_FIRST + 20)
#define TVM_INSERTITEM (TV_FIRST + 50)
#define TVM_GETITEM (TV_FIRST + 62)
#define TVM_SETITEM (TV_FIRST + 63)

// TVM_EXPAND actions (also NMTREEVIEW.action of the expand notifications).
#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002
#define TVE_TOGGLE 0x0003

// TVM_SETIMAGELIST / TVM_GETIMAGELIST.
#define TVSIL_NORMAL 0

// TVM_GETNEXTITEM / TVM_SELECTITEM.
#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_FIRSTVISIBLE 0x0005
#define TVGN_NEXTVISIBLE 0x0006
#define TVGN_PREVIOUSVISIBLE 0x0007
#define TVGN_CARET 0x0009

// How a selection changed (NMTREEVIEW.action of the selection notifications).
#define TVC_UNKNOWN 0x0000
#define TVC_BYMOUSE 0x0001
#define TVC_BYKEYBOARD 0x0002

// Notifications.
#define TVN_FIRST (0U - 400U)
#define TVN_SELCHANGING (TVN_FIRST - 50)
#define TVN_SELCHANGED (TVN_FIRST - 51)
#define TVN_GETDISPINFO (TVN_FIRST - 52)
#define TVN_ITEMEXPANDING (TVN_FIRST - 54)
#define TVN_ITEMEXPANDED (TVN_FIRST - 55)
#define TVN_DELETEITEM (TVN_FIRST - 58)

struct NMTREEVIEW {
  NMHDR hdr;
  UINT action;
  TVITEM itemOld;
  TVITEM itemNew;
  POINT ptDrag;
};
typedef NMTREEVIEW* LPNMTREEVIEW;
typedef NMTREEVIEW NM_TREEVIEW;

struct NMTVDISPINFO {
  NMHDR hdr;
  TVITEM item;
};
typedef NMTVDISPINFO* LPNMTVDISPINFO;
typedef NMTVDISPINFO TV_DISPINFO;

// The usual message wrappers.
inline HTREEITEM TreeView_InsertItem(HWND hwnd, const TVINSERTSTRUCT* insert) {
  return (HTREEITEM)SendMessage(hwnd, TVM_INSERTITEM, 0, (LPARAM)insert);
}
inline BOOL TreeView_DeleteItem(HWND hwnd, HTREEITEM item) {
  return (BOOL)SendMessage(hwnd, TVM_DELETEITEM, 0, (LPARAM)item);
}
inline BOOL TreeView_DeleteAllItems(HWND hwnd) {
  return (BOOL)SendMessage(hwnd, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
}
inline BOOL TreeView_Expand(HWND hwnd, HTREEITEM item, UINT action) {
  return (BOOL)SendMessage(hwnd, TVM_EXPAND, (WPARAM)action, (LPARAM)item);
}
// The item goes in the first bytes of the rectangle, as the message wants.
inline BOOL TreeView_GetItemRect(HWND hwnd, HTREEITEM item, RECT* rect, BOOL textOnly) {
  std::memcpy(rect, &item, sizeof item);
  return (BOOL)SendMessage(hwnd, TVM_GETITEMRECT, (WPARAM)textOnly, (LPARAM)rect);
}
inline UINT TreeView_GetCount(HWND hwnd) { return (UINT)SendMessage(hwnd, TVM_GETCOUNT, 0, 0); }
inline HIMAGELIST TreeView_SetImageList(HWND hwnd, HIMAGELIST list, int which) {
  return (HIMAGELIST)SendMessage(hwnd, TVM_SETIMAGELIST, (WPARAM)which, (LPARAM)list);
}
inline HIMAGELIST TreeView_GetImageList(HWND hwnd, int which) {
  return (HIMAGELIST)SendMessage(hwnd, TVM_GETIMAGELIST, (WPARAM)which, 0);
}
inline HTREEITEM TreeView_GetNextItem(HWND hwnd, HTREEITEM item, UINT code) {
  return (HTREEITEM)SendMessage(hwnd, TVM_GETNEXTITEM, (WPARAM)code, (LPARAM)item);
}
inline HTREEITEM TreeView_GetChild(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_CHILD);
}
inline HTREEITEM TreeView_GetNextSibling(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_NEXT);
}
inline HTREEITEM TreeView_GetPrevSibling(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_PREVIOUS);
}
inline HTREEITEM TreeView_GetParent(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_PARENT);
}
inline HTREEITEM TreeView_GetFirstVisible(HWND hwnd) {
  return TreeView_GetNextItem(hwnd, nullptr, TVGN_FIRSTVISIBLE);
}
inline HTREEITEM TreeView_GetNextVisible(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_NEXTVISIBLE);
}
inline HTREEITEM TreeView_GetPrevVisible(HWND hwnd, HTREEITEM item) {
  return TreeView_GetNextItem(hwnd, item, TVGN_PREVIOUSVISIBLE);
}
inline HTREEITEM TreeView_GetSelection(HWND hwnd) {
  return TreeView_GetNextItem(hwnd, nullptr, TVGN_CARET);
}
inline HTREEITEM TreeView_GetRoot(HWND hwnd) { return TreeView_GetNextItem(hwnd, nullptr, TVGN_ROOT); }
inline BOOL TreeView_Select(HWND hwnd, HTREEITEM item, UINT code) {
  return (BOOL)SendMessage(hwnd, TVM_SELECTITEM, (WPARAM)code, (LPARAM)item);
}
inline BOOL TreeView_SelectItem(HWND hwnd, HTREEITEM item) {
  return TreeView_Select(hwnd, item, TVGN_CARET);
}
inline BOOL TreeView_GetItem(HWND hwnd, TVITEM* item) {
  return (BOOL)SendMessage(hwnd, TVM_GETITEM, 0, (LPARAM)item);
}
inline BOOL TreeView_SetItem(HWND hwnd, const TVITEM* item) {
  return (BOOL)SendMessage(hwnd, TVM_SETITEM, 0, (LPARAM)item);
}
inline BOOL TreeView_SortChildren(HWND hwnd, HTREEITEM item, BOOL recurse) {
  return (BOOL)SendMessage(hwnd, TVM_SORTCHILDREN, (WPARAM)recurse, (LPARAM)item);
}
inline BOOL TreeView_EnsureVisible(HWND hwnd, HTREEITEM item) {
  return (BOOL)SendMessage(hwnd, TVM_ENSUREVISIBLE, 0, (LPARAM)item);
}
