// The tree view as the folder tree drives it: a root with a given child
// count, children whose counts and images the parent supplies on demand, a
// parent that empties and refills an item while it expands; the keypad;
// the notifications the parent receives; the pixels; subclassing. Also the
// shell's small system icons the tree draws.
#include <map>

#include "platform/commctrl.h"
#include "platform/shell/file_info.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"

using namespace testing_support;

#include "tests/platform/golden.h"

namespace platform_test {
namespace {

// What the parent was told, copied while the record was alive.
struct Note {
  UINT code;
  UINT action = 0;
  HTREEITEM oldItem = nullptr;
  HTREEITEM newItem = nullptr;
  UINT mask = 0;  // fields asked for (TVN_GETDISPINFO)
  bool operator==(const Note& o) const {
    return code == o.code && action == o.action && oldItem == o.oldItem && newItem == o.newItem &&
           mask == o.mask;
  }
};
std::ostream& operator<<(std::ostream& os, const Note& n) {
  return os << "{code " << (int)n.code << " action " << n.action << " old " << n.oldItem << " new "
            << n.newItem << " mask " << n.mask << "}";
}
Note Expanding(UINT action, HTREEITEM item) { return Note{TVN_ITEMEXPANDING, action, nullptr, item}; }
Note Expanded(UINT action, HTREEITEM item) { return Note{TVN_ITEMEXPANDED, action, nullptr, item}; }
Note Changing(UINT action, HTREEITEM from, HTREEITEM to) { return Note{TVN_SELCHANGING, action, from, to}; }
Note Changed(UINT action, HTREEITEM from, HTREEITEM to) { return Note{TVN_SELCHANGED, action, from, to}; }
Note Deleted(HTREEITEM item) { return Note{TVN_DELETEITEM, 0, item, nullptr}; }
using Notes = std::vector<Note>;
using Names = std::vector<std::u16string>;
// A selection change or an expansion as the parent hears it: before, then after.
Notes Selection(UINT action, HTREEITEM from, HTREEITEM to) {
  return {Changing(action, from, to), Changed(action, from, to)};
}
Notes Expansion(UINT action, HTREEITEM item) {
  return {Expanding(action, item), Expanded(action, item)};
}
Notes operator+(Notes a, const Notes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const DWORD kTreeStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS |
                         TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;

class TreeViewTest : public DeviceTest {
 protected:
  void SetUp() override {
    platform::DeviceOptions options;
    options.screen.depth = 24;  // exact colours for pixel checks
    StartWith(options);
    // Device folders, each listed with its subfolders in no particular order.
    folders[u"\\"] = {u"Windows", u"Storage Card", u"my documents", u"Temp"};
    folders[u"\\Storage Card\\"] = {u"Music", u"DCIM"};
    folders[u"\\Storage Card\\DCIM\\"] = {u"100MEDIA"};
    folders[u"\\my documents\\"] = {u"Templates", u"Personal"};
    folders[u"\\Windows\\"] = {u"Start Menu", u"Fonts"};
    parent_ = Top();
    ShowWindow(parent_, SW_SHOW);
    Recorder::Get().handler = [this](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
      if (msg != WM_NOTIFY) return false;
      *result = OnNotify((NMHDR*)lParam);
      return true;
    };
  }

  // The parent's side, as the folder tree answers.
  LRESULT OnNotify(NMHDR* hdr) {
    if (hdr->hwndFrom != tree_) return 0;
    EXPECT_EQ(hdr->idFrom, 1009u);
    Note n{hdr->code};
    if (hdr->code == TVN_GETDISPINFO) {
      auto* di = (NMTVDISPINFO*)hdr;
      n.newItem = di->item.hItem;
      n.mask = di->item.mask;
      notes.push_back(n);
      if (di->item.mask & TVIF_CHILDREN) {
        std::u16string path = PathOf(di->item.hItem);
        di->item.cChildren = folders.count(path) && !folders[path].empty() ? 1 : 0;
        di->item.mask |= TVIF_DI_SETITEM;
      }
      if (di->item.mask & TVIF_IMAGE) di->item.iImage = folderIcon;
      if (di->item.mask & TVIF_SELECTEDIMAGE) di->item.iSelectedImage = folderIcon;
      if (di->item.mask & TVIF_TEXT) platform::CopyWide(u"Called back", di->item.pszText, di->item.cchTextMax);
      return 0;
    }
    auto* nm = (NMTREEVIEW*)hdr;
    n.action = nm->action;
    n.oldItem = nm->itemOld.hItem;
    n.newItem = nm->itemNew.hItem;
    notes.push_back(n);
    if (hdr->code == TVN_SELCHANGING) return refuseSelection;
    if (hdr->code == TVN_ITEMEXPANDING) {
      if (nm->itemNew.hItem == refuseExpansion) return 1;
      if (nm->action == TVE_EXPAND && refill) Refill(nm->itemNew.hItem);
    }
    if (hdr->code == TVN_SELCHANGED) selectedStateSeen = nm->itemNew.state;
    return 0;
  }

  // Empties the item and lists its folder afresh, sorted.
  void Refill(HTREEITEM item) {
    while (HTREEITEM child = TreeView_GetChild(tree_, item)) TreeView_DeleteItem(tree_, child);
    std::u16string path = PathOf(item);
    for (const std::u16string& name : folders[path]) Add(item, name);
    TreeView_SortChildren(tree_, item, 0);
  }

  HTREEITEM Add(HTREEITEM parent, const std::u16string& name) {
    TVINSERTSTRUCT is{};
    is.hParent = parent;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    is.item.pszText = (LPWSTR)name.c_str();
    is.item.iImage = I_IMAGECALLBACK;
    is.item.iSelectedImage = I_IMAGECALLBACK;
    is.item.cChildren = I_CHILDRENCALLBACK;
    return TreeView_InsertItem(tree_, &is);
  }

  std::u16string Text(HTREEITEM item) {
    WCHAR buffer[MAX_PATH] = {0};
    TVITEM tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = MAX_PATH;
    EXPECT_TRUE(TreeView_GetItem(tree_, &tv));
    return buffer;
  }

  // The item's folder: texts up to the root ("\" for the root), each
  // followed by "\".
  std::u16string PathOf(HTREEITEM item) {
    std::u16string path;
    for (HTREEITEM i = item; i; i = TreeView_GetParent(tree_, i)) {
      std::u16string t = TreeView_GetParent(tree_, i) ? Text(i) : u"\\";
      if (t.empty() || t[0] != u'\\') t += u"\\";
      path = t + path;
    }
    return path;
  }

  TVITEM Read(HTREEITEM item, UINT mask) {
    TVITEM tv{};
    tv.mask = mask;
    tv.hItem = item;
    tv.stateMask = 0xFFFF;
    EXPECT_TRUE(TreeView_GetItem(tree_, &tv));
    return tv;
  }
  UINT State(HTREEITEM item) { return Read(item, TVIF_STATE).state; }

  // The tree as the folder tree sets it up: the small system icons, then
  // the root, opened when asked.
  void CreateTree(bool openRoot = false) {
    RECT r;
    GetClientRect(parent_, &r);
    tree_ = CreateWindowEx(0, WC_TREEVIEW, u"", kTreeStyle, 0, 0, r.right, r.bottom, parent_,
                           (HMENU)1009, nullptr, nullptr);
    ASSERT_NE(tree_, nullptr);
    InitTree();
    if (openRoot) TreeView_Expand(tree_, root_, TVE_EXPAND);
  }
  void InitTree() {
    LPITEMIDLIST desktop = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop), S_OK);
    SHFILEINFO sfi{};
    icons = (HIMAGELIST)SHGetFileInfo((LPCWSTR)desktop, 0, &sfi, sizeof sfi,
                                      SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SMALLICON);
    LPMALLOC malloc = nullptr;
    ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
    malloc->Free(desktop);
    malloc->Release();
    ASSERT_NE(icons, nullptr);
    EXPECT_EQ(sfi.iIcon, 0);
    EXPECT_EQ(TreeView_SetImageList(tree_, icons, TVSIL_NORMAL), nullptr);
    TVINSERTSTRUCT is{};
    is.hParent = TVI_ROOT;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    is.item.pszText = (LPWSTR)u"My Phone";
    is.item.cChildren = 1;
    root_ = TreeView_InsertItem(tree_, &is);
    ASSERT_NE(root_, nullptr);
    SHGetFileInfo(u"\\", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    EXPECT_EQ(sfi.iIcon, 0);
    folderIcon = 1;
  }

  // A dialog holding the tree: it passes the tree's notifications to the
  // fixture and ends with the selected item on OK.
  static INT_PTR CALLBACK ChooseFolderProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
      SetWindowLong(dialog, GWL_USERDATA, lParam);
      auto* self = (TreeViewTest*)lParam;
      self->tree_ = GetDlgItem(dialog, 1009);
      self->InitTree();
      SetFocus(self->tree_);
      return FALSE;
    }
    auto* self = (TreeViewTest*)GetWindowLong(dialog, GWL_USERDATA);
    if (msg == WM_NOTIFY && self) {
      SetWindowLong(dialog, DWL_MSGRESULT, self->OnNotify((NMHDR*)lParam));
      return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK && self) {
      HTREEITEM selected = TreeView_GetSelection(self->tree_);
      self->chosen = self->Text(selected);
      EndDialog(dialog, (INT_PTR)selected);
    }
    return FALSE;
  }

  void Press(UINT vk) {
    platform::KeypadKey(vk, true);
    platform::KeypadKey(vk, false);
    platform::headless::RunPending();
  }

  // The notifications of the given codes, in order, then forgotten.
  Notes Take(std::vector<UINT> codes = {TVN_SELCHANGING, TVN_SELCHANGED,
                                                    TVN_ITEMEXPANDING, TVN_ITEMEXPANDED,
                                                    TVN_DELETEITEM}) {
    Notes out;
    for (const Note& n : notes)
      if (std::find(codes.begin(), codes.end(), n.code) != codes.end()) out.push_back(n);
    notes.clear();
    return out;
  }

  // Expands the child named `text` of `item` and returns it.
  HTREEITEM Open(HTREEITEM item, const std::u16string& text) {
    HTREEITEM child = Child(item, text);
    TreeView_Expand(tree_, child, TVE_EXPAND);
    return child;
  }

  std::vector<HTREEITEM> Items(HTREEITEM item) {
    std::vector<HTREEITEM> out;
    for (HTREEITEM c = TreeView_GetChild(tree_, item); c; c = TreeView_GetNextSibling(tree_, c))
      out.push_back(c);
    return out;
  }
  Names Children(HTREEITEM item) {
    Names out;
    for (HTREEITEM c : Items(item)) out.push_back(Text(c));
    return out;
  }
  HTREEITEM Child(HTREEITEM item, const std::u16string& text) {
    for (HTREEITEM c : Items(item))
      if (Text(c) == text) return c;
    return nullptr;
  }

  HWND parent_ = nullptr;
  HWND tree_ = nullptr;
  HTREEITEM root_ = nullptr;
  HIMAGELIST icons = nullptr;
  int folderIcon = 1;
  std::map<std::u16string, std::vector<std::u16string>> folders;
  Notes notes;
  LRESULT refuseSelection = 0;
  HTREEITEM refuseExpansion = nullptr;
  UINT selectedStateSeen = 0;
  bool refill = true;
  std::u16string chosen;
};

TEST_F(TreeViewTest, RootItemReadsBackAndDrawsCollapsed) {
  CreateTree();
  EXPECT_EQ(TreeView_GetCount(tree_), 1u);
  EXPECT_EQ(TreeView_GetRoot(tree_), root_);
  EXPECT_EQ(TreeView_GetImageList(tree_, TVSIL_NORMAL), icons);
  EXPECT_EQ(TreeView_GetSelection(tree_), nullptr);
  WCHAR buffer[4] = {0};
  TVITEM tv{};
  tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_STATE | TVIF_PARAM;
  tv.hItem = root_;
  tv.pszText = buffer;
  tv.cchTextMax = 4;
  tv.stateMask = TVIS_EXPANDED;
  tv.iImage = tv.iSelectedImage = tv.cChildren = 7;
  ASSERT_TRUE(TreeView_GetItem(tree_, &tv));
  EXPECT_EQ(std::u16string(buffer), u"My ");  // cut to the buffer
  EXPECT_EQ(tv.iImage, 0);
  EXPECT_EQ(tv.iSelectedImage, 0);
  EXPECT_EQ(tv.cChildren, 1);
  EXPECT_EQ(tv.state & TVIS_EXPANDED, 0u);
  EXPECT_EQ(tv.lParam, 0);
  EXPECT_EQ(SendMessage(tree_, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS | DLGC_WANTARROWS);
  ExpectScreenMatchesGolden("treeview_collapsed");
  // Drawing the root asked nothing: it has no callbacks.
  EXPECT_TRUE(Take({TVN_GETDISPINFO}).empty());
}

TEST_F(TreeViewTest, KeypadSelectsExpandsAndWalksTheTree) {
  CreateTree();
  SetFocus(tree_);
  platform::headless::RunPending();
  notes.clear();

  Press(VK_DOWN);  // nothing selected yet: the first row
  EXPECT_EQ(Take(), Selection(TVC_BYKEYBOARD, nullptr, root_));
  EXPECT_EQ(TreeView_GetSelection(tree_), root_);
  EXPECT_TRUE(selectedStateSeen & TVIS_SELECTED);

  Press(VK_RIGHT);  // expands: the parent fills the root inside the notification
  EXPECT_EQ(Take(), Expansion(TVE_EXPAND, root_));
  EXPECT_TRUE(State(root_) & TVIS_EXPANDED);
  EXPECT_EQ(Children(root_), (Names{u"my documents", u"Storage Card", u"Temp", u"Windows"}));
  EXPECT_EQ(TreeView_GetCount(tree_), 5u);

  HTREEITEM docs = Child(root_, u"my documents"), card = Child(root_, u"Storage Card");
  HTREEITEM temp = Child(root_, u"Temp");
  Press(VK_DOWN);
  EXPECT_EQ(Take(), Selection(TVC_BYKEYBOARD, root_, docs));
  Press(VK_DOWN);
  Take();
  EXPECT_EQ(TreeView_GetSelection(tree_), card);
  Press(VK_RIGHT);
  EXPECT_EQ(Take(), Expansion(TVE_EXPAND, card));
  HTREEITEM dcim = Child(card, u"DCIM");
  Press(VK_RIGHT);  // already open: down to the first child
  EXPECT_EQ(Take(), Selection(TVC_BYKEYBOARD, card, dcim));
  Press(VK_LEFT);  // closed: up to the parent
  EXPECT_EQ(Take(), Selection(TVC_BYKEYBOARD, dcim, card));
  Press(VK_LEFT);  // open: collapses
  EXPECT_EQ(Take(), Expansion(TVE_COLLAPSE, card));
  EXPECT_FALSE(State(card) & TVIS_EXPANDED);
  Press(VK_DOWN);  // the collapsed item's children are passed over
  Take();
  EXPECT_EQ(TreeView_GetSelection(tree_), temp);
  Press(VK_RIGHT);  // no subfolders: nothing happens
  EXPECT_TRUE(Take().empty());
  EXPECT_FALSE(State(temp) & TVIS_EXPANDED);
  Press(VK_LEFT);
  Press(VK_LEFT);
  Press(VK_UP);  // at the top already
  EXPECT_EQ(Take(), Selection(TVC_BYKEYBOARD, temp, root_) + Expansion(TVE_COLLAPSE, root_));
  EXPECT_EQ(TreeView_GetSelection(tree_), root_);
}

TEST_F(TreeViewTest, DisplayInformationIsAskedUntilTheParentSaysKeepIt) {
  CreateTree(true);
  platform::headless::RunPending();
  Notes asked = Take({TVN_GETDISPINFO});
  // The root's children each asked once for everything left to the parent.
  ASSERT_EQ(asked.size(), 4u);
  for (const Note& n : asked)
    EXPECT_EQ(n.mask, (UINT)(TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN));
  EXPECT_EQ(asked[0].newItem, Child(root_, u"my documents"));
  // The answers came with "keep it": drawn again, nothing is asked.
  InvalidateRect(tree_, nullptr, TRUE);
  platform::headless::RunPending();
  EXPECT_TRUE(Take({TVN_GETDISPINFO}).empty());
  // The kept answers read back without asking.
  HTREEITEM temp = Child(root_, u"Temp");
  TVITEM tv = Read(temp, TVIF_CHILDREN | TVIF_IMAGE);
  EXPECT_EQ(tv.cChildren, 0);
  EXPECT_EQ(tv.iImage, folderIcon);
  EXPECT_TRUE(Take({TVN_GETDISPINFO}).empty());
  // An image handed back to the parent is asked for alone, at every drawing.
  tv.mask = TVIF_IMAGE;
  tv.iImage = I_IMAGECALLBACK;
  TreeView_SetItem(tree_, &tv);
  platform::headless::RunPending();
  InvalidateRect(tree_, nullptr, TRUE);
  platform::headless::RunPending();
  Note image{TVN_GETDISPINFO, 0, nullptr, temp, TVIF_IMAGE};
  EXPECT_EQ(Take({TVN_GETDISPINFO}), (Notes{image, image}));
  // A text left to the parent is asked when drawn and when read.
  TVINSERTSTRUCT is{};
  is.hParent = root_;
  is.hInsertAfter = TVI_FIRST;
  is.item.mask = TVIF_TEXT;
  is.item.pszText = LPSTR_TEXTCALLBACK;
  HTREEITEM called = TreeView_InsertItem(tree_, &is);
  EXPECT_EQ(Text(called), u"Called back");
  EXPECT_EQ(Take({TVN_GETDISPINFO}), (Notes{Note{TVN_GETDISPINFO, 0, nullptr, called, TVIF_TEXT}}));
}

TEST_F(TreeViewTest, ExpandedTreeWithSelectionDraws) {
  CreateTree();
  SetFocus(tree_);
  TreeView_Expand(tree_, root_, TVE_EXPAND);
  TreeView_SelectItem(tree_, Open(Open(root_, u"Storage Card"), u"DCIM"));
  ExpectScreenMatchesGolden("treeview_expanded");
  // Without the focus the selection still shows (show-selection-always).
  SetFocus(parent_);
  ExpectScreenMatchesGolden("treeview_expanded_unfocused");
}

TEST_F(TreeViewTest, EveryExpansionRefillsAndTheParentMayRefuse) {
  CreateTree(true);
  HTREEITEM card = Open(root_, u"Storage Card"), music = Child(card, u"Music");
  HTREEITEM dcim = Open(card, u"DCIM"), media = Child(dcim, u"100MEDIA");
  notes.clear();

  // Collapsing and opening again lists the folder afresh.
  EXPECT_TRUE(TreeView_Expand(tree_, card, TVE_COLLAPSE));
  folders[u"\\Storage Card\\"].push_back(u"Audio");
  EXPECT_TRUE(TreeView_Expand(tree_, card, TVE_EXPAND));
  EXPECT_EQ(Take(), (Expansion(TVE_COLLAPSE, card) +
                     Notes{Expanding(TVE_EXPAND, card), Deleted(dcim), Deleted(media),
                           Deleted(music), Expanded(TVE_EXPAND, card)}));
  EXPECT_EQ(Children(card), (Names{u"Audio", u"DCIM", u"Music"}));
  EXPECT_EQ(TreeView_GetCount(tree_), 8u);
  // The old items are gone for good.
  EXPECT_EQ(TreeView_GetNextItem(tree_, dcim, TVGN_PARENT), nullptr);
  TVITEM tv{};
  tv.mask = TVIF_STATE;
  tv.hItem = dcim;
  EXPECT_FALSE(TreeView_GetItem(tree_, &tv));

  // Already open: nothing to do. Closed ones only close once.
  EXPECT_TRUE(TreeView_Expand(tree_, card, TVE_EXPAND));
  EXPECT_TRUE(TreeView_Expand(tree_, card, TVE_COLLAPSE));
  EXPECT_FALSE(TreeView_Expand(tree_, card, TVE_COLLAPSE));
  EXPECT_EQ(Take(), Expansion(TVE_COLLAPSE, card));

  // A refusal leaves the item closed and says nothing more.
  refuseExpansion = card;
  EXPECT_FALSE(TreeView_Expand(tree_, card, TVE_EXPAND));
  EXPECT_EQ(Take(), (Notes{Expanding(TVE_EXPAND, card)}));
  EXPECT_FALSE(State(card) & TVIS_EXPANDED);
  refuseExpansion = nullptr;

  // A folder whose listing turns out empty stays closed but keeps its button.
  folders[u"\\Storage Card\\"].clear();
  std::vector<HTREEITEM> old = Items(card);
  ASSERT_EQ(old.size(), 3u);
  EXPECT_FALSE(TreeView_Expand(tree_, card, TVE_EXPAND));
  EXPECT_EQ(Take(), (Notes{Expanding(TVE_EXPAND, card), Deleted(old[0]), Deleted(old[1]),
                            Deleted(old[2])}));
  EXPECT_FALSE(State(card) & TVIS_EXPANDED);
  EXPECT_EQ(Read(card, TVIF_CHILDREN).cChildren, 1);
}

TEST_F(TreeViewTest, ProgrammaticSelectionNotifiesAndOpensTheWay) {
  CreateTree(true);
  HTREEITEM card = Open(root_, u"Storage Card"), dcim = Child(card, u"DCIM");
  TreeView_Expand(tree_, card, TVE_COLLAPSE);
  notes.clear();

  // Selecting an item inside a closed one opens the way to it first. When
  // the parent refills it meanwhile, the item is gone and nothing changes.
  EXPECT_FALSE(TreeView_SelectItem(tree_, dcim));
  Notes seen = Take();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], Expanding(TVE_EXPAND, card));
  EXPECT_EQ(seen[1], Deleted(dcim));
  EXPECT_EQ(seen[3], Expanded(TVE_EXPAND, card));
  EXPECT_EQ(TreeView_GetSelection(tree_), nullptr);
  TreeView_Expand(tree_, card, TVE_COLLAPSE);
  dcim = Child(card, u"DCIM");
  refill = false;
  notes.clear();
  EXPECT_TRUE(TreeView_SelectItem(tree_, dcim));
  EXPECT_EQ(Take(), Expansion(TVE_EXPAND, card) + Selection(TVC_UNKNOWN, nullptr, dcim));
  EXPECT_EQ(TreeView_GetSelection(tree_), dcim);
  EXPECT_TRUE(State(dcim) & TVIS_SELECTED);
  // The same item again: nothing to report.
  EXPECT_TRUE(TreeView_SelectItem(tree_, dcim));
  EXPECT_TRUE(Take().empty());

  // A refused change keeps the selection.
  refuseSelection = 1;
  EXPECT_FALSE(TreeView_SelectItem(tree_, card));
  EXPECT_EQ(Take(), (Notes{Changing(TVC_UNKNOWN, dcim, card)}));
  EXPECT_EQ(TreeView_GetSelection(tree_), dcim);
  refuseSelection = 0;

  // Closing the selection's parent moves the selection up to it.
  EXPECT_TRUE(TreeView_Expand(tree_, card, TVE_COLLAPSE));
  EXPECT_EQ(Take(), Notes{Expanding(TVE_COLLAPSE, card)} + Selection(TVC_UNKNOWN, dcim, card) +
                        Notes{Expanded(TVE_COLLAPSE, card)});
  EXPECT_FALSE(State(dcim) & TVIS_SELECTED);
  EXPECT_TRUE(State(card) & TVIS_SELECTED);

  // Clearing the selection.
  EXPECT_TRUE(TreeView_SelectItem(tree_, nullptr));
  EXPECT_EQ(Take(), Selection(TVC_UNKNOWN, card, nullptr));
  EXPECT_EQ(TreeView_GetSelection(tree_), nullptr);
}

TEST_F(TreeViewTest, DeletingPassesTheSelectionOnAndReportsEveryItem) {
  CreateTree(true);
  HTREEITEM docs = Child(root_, u"my documents"), card = Child(root_, u"Storage Card");
  HTREEITEM temp = Child(root_, u"Temp"), windows = Child(root_, u"Windows");
  TreeView_Expand(tree_, card, TVE_EXPAND);
  HTREEITEM dcim = Child(card, u"DCIM"), music = Child(card, u"Music");
  TreeView_SelectItem(tree_, music);
  notes.clear();

  // The selection's parent goes: its subtree is reported parent first, and
  // the selection passes to the next sibling.
  EXPECT_TRUE(TreeView_DeleteItem(tree_, card));
  EXPECT_EQ(Take(), (Notes{Deleted(card), Deleted(dcim), Deleted(music)} +
                     Selection(TVC_UNKNOWN, nullptr, temp)));
  EXPECT_EQ(TreeView_GetCount(tree_), 4u);
  EXPECT_FALSE(TreeView_DeleteItem(tree_, card));  // gone already
  // The last one: to the previous sibling.
  TreeView_SelectItem(tree_, windows);
  notes.clear();
  TreeView_DeleteItem(tree_, windows);
  EXPECT_EQ(Take(), Notes{Deleted(windows)} + Selection(TVC_UNKNOWN, nullptr, temp));
  // An only child: to the parent, which is left closed.
  TreeView_DeleteItem(tree_, docs);
  TreeView_SelectItem(tree_, temp);
  notes.clear();
  TreeView_DeleteItem(tree_, temp);
  EXPECT_EQ(Take(), Notes{Deleted(temp)} + Selection(TVC_UNKNOWN, nullptr, root_));
  EXPECT_FALSE(State(root_) & TVIS_EXPANDED);
  // Everything.
  Add(root_, u"x");
  notes.clear();
  EXPECT_TRUE(TreeView_DeleteAllItems(tree_));
  Notes gone = Take();
  ASSERT_EQ(gone.size(), 2u);
  EXPECT_EQ(gone[0], Deleted(root_));
  EXPECT_EQ(TreeView_GetCount(tree_), 0u);
  EXPECT_EQ(TreeView_GetSelection(tree_), nullptr);
  EXPECT_EQ(TreeView_GetRoot(tree_), nullptr);
}

TEST_F(TreeViewTest, InsertPlacesSortAndNavigation) {
  CreateTree();
  auto insert = [&](HTREEITEM after, const char16_t* text) {
    TVINSERTSTRUCT is{};
    is.hParent = root_;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT | TVIF_PARAM;
    is.item.pszText = (LPWSTR)text;
    is.item.lParam = 42;
    return TreeView_InsertItem(tree_, &is);
  };
  HTREEITEM b = insert(TVI_LAST, u"beta");
  insert(TVI_FIRST, u"Delta");
  insert(TVI_SORT, u"alpha");  // sorted among unsorted siblings: before the first greater one
  insert(b, u"Gamma");
  EXPECT_EQ(Children(root_), (Names{u"alpha", u"Delta", u"beta", u"Gamma"}));
  EXPECT_TRUE(TreeView_SortChildren(tree_, root_, 0));
  EXPECT_EQ(Children(root_), (Names{u"alpha", u"beta", u"Delta", u"Gamma"}));
  insert(TVI_SORT, u"charlie");
  EXPECT_EQ(Children(root_),
            (Names{u"alpha", u"beta", u"charlie", u"Delta", u"Gamma"}));
  EXPECT_EQ(TreeView_Expand(tree_, (HTREEITEM)(uintptr_t)0x1234, TVE_EXPAND), FALSE);
  TVINSERTSTRUCT bad{};
  bad.hParent = (HTREEITEM)(uintptr_t)0x1234;
  bad.hInsertAfter = TVI_LAST;
  EXPECT_EQ(TreeView_InsertItem(tree_, &bad), nullptr);

  // Navigation: siblings, parents, visible rows.
  HTREEITEM first = TreeView_GetChild(tree_, root_);
  HTREEITEM second = TreeView_GetNextSibling(tree_, first);
  EXPECT_EQ(Text(second), u"beta");
  EXPECT_EQ(TreeView_GetPrevSibling(tree_, second), first);
  EXPECT_EQ(TreeView_GetPrevSibling(tree_, first), nullptr);
  EXPECT_EQ(TreeView_GetParent(tree_, second), root_);
  EXPECT_EQ(TreeView_GetParent(tree_, root_), nullptr);
  EXPECT_EQ(TreeView_GetChild(tree_, TVI_ROOT), root_);
  EXPECT_EQ(TreeView_GetFirstVisible(tree_), root_);
  EXPECT_EQ(TreeView_GetNextVisible(tree_, root_), nullptr);  // closed: children hidden
  EXPECT_EQ(TreeView_GetNextVisible(tree_, first), nullptr);
  TVITEM tv{};
  tv.mask = TVIF_STATE;
  tv.hItem = root_;
  tv.stateMask = TVIS_EXPANDED;
  tv.state = TVIS_EXPANDED;  // opened directly: no notification
  notes.clear();
  EXPECT_TRUE(TreeView_SetItem(tree_, &tv));
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(TreeView_GetNextVisible(tree_, root_), first);
  EXPECT_EQ(TreeView_GetNextVisible(tree_, first), second);
  EXPECT_EQ(TreeView_GetPrevVisible(tree_, first), root_);
  tv = TVITEM{};
  tv.mask = TVIF_PARAM | TVIF_TEXT;
  tv.hItem = second;
  tv.pszText = (LPWSTR)u"Bravo";
  tv.lParam = 7;
  EXPECT_TRUE(TreeView_SetItem(tree_, &tv));
  EXPECT_EQ(Read(second, TVIF_PARAM).lParam, 7);
  EXPECT_EQ(Text(second), u"Bravo");
  EXPECT_EQ(Read(first, TVIF_PARAM).lParam, 42);
}

TEST_F(TreeViewTest, SelectionStaysInViewWhileScrollingDeepFolders) {
  // Eight levels, each with a few siblings.
  std::u16string path = u"\\";
  const char16_t* names[] = {u"Storage Card", u"DCIM", u"100MEDIA", u"Holidays", u"2026",
                             u"Summer", u"Beach", u"Best of"};
  folders.clear();
  for (const char16_t* name : names) {
    folders[path] = {name, u"Trips", u"Zoo"};
    path += std::u16string(name) + u"\\";
  }
  folders[path] = {u"Deepest"};
  CreateTree();
  SetFocus(tree_);
  TreeView_SelectItem(tree_, root_);
  // Down to the deepest folder, opening each level from the keypad.
  for (int level = 0; level < 9; ++level) {
    Press(VK_RIGHT);
    Press(VK_RIGHT);
  }
  HTREEITEM deepest = TreeView_GetSelection(tree_);
  EXPECT_EQ(Text(deepest), u"Deepest");
  EXPECT_TRUE(GetWindowLong(tree_, GWL_STYLE) & WS_VSCROLL);
  RECT client, r;
  GetClientRect(tree_, &client);
  ASSERT_TRUE(TreeView_GetItemRect(tree_, deepest, &r, FALSE));
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.bottom, client.bottom);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, client.right);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  GetScrollInfo(tree_, SB_VERT, &si);
  HTREEITEM firstShown = TreeView_GetFirstVisible(tree_);
  EXPECT_NE(firstShown, root_);
  EXPECT_GT(si.nPos, 0);
  EXPECT_EQ(si.nMax, 25);  // 26 rows: the root, 3 per level, the deepest
  // The chain of first children comes first: the deepest is row 9, the
  // last one shown.
  EXPECT_EQ(si.nPos + (int)si.nPage, 9 + 1);
  ExpectScreenMatchesGolden("treeview_deep");

  // Back up: the rows above come into view again.
  for (int i = 0; i < 9; ++i) Press(VK_UP);
  EXPECT_EQ(TreeView_GetSelection(tree_), root_);
  EXPECT_EQ(TreeView_GetFirstVisible(tree_), root_);
  GetScrollInfo(tree_, SB_VERT, &si);
  EXPECT_EQ(si.nPos, 0);
  // Making an item visible scrolls only as far as needed.
  HTREEITEM last = deepest;
  EXPECT_TRUE(TreeView_EnsureVisible(tree_, last));
  ASSERT_TRUE(TreeView_GetItemRect(tree_, last, &r, TRUE));
  EXPECT_LE(r.bottom, client.bottom);
  EXPECT_GT(r.bottom, client.bottom - (r.bottom - r.top));  // the last row shown
  // Ten columns of lines do not fit beside the label: the view moved
  // sideways so that the label shows whole, its button column too.
  EXPECT_GE(r.left, 16 + 16);
  EXPECT_LE(r.right, client.right);
  // The bar's requests and the first row asked for directly.
  HTREEITEM card = TreeView_GetChild(tree_, root_);
  SendMessage(tree_, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(TreeView_GetFirstVisible(tree_), root_);
  SendMessage(tree_, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(TreeView_GetFirstVisible(tree_), card);
  EXPECT_TRUE(TreeView_Select(tree_, TreeView_GetChild(tree_, card), TVGN_FIRSTVISIBLE));
  EXPECT_EQ(TreeView_GetFirstVisible(tree_), TreeView_GetChild(tree_, card));
  EXPECT_EQ(TreeView_GetSelection(tree_), root_);
  // Hidden items have no rectangle.
  TreeView_Expand(tree_, root_, TVE_COLLAPSE);
  EXPECT_FALSE(TreeView_GetItemRect(tree_, last, &r, FALSE));
  EXPECT_FALSE(GetWindowLong(tree_, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(TreeViewTest, RedrawOffHoldsPaintingAndFontsChangeRows) {
  CreateTree(true);
  platform::headless::RunPending();
  notes.clear();
  SendMessage(tree_, WM_SETREDRAW, FALSE, 0);
  Add(root_, u"Added");
  platform::headless::RunPending();
  EXPECT_TRUE(Take({TVN_GETDISPINFO}).empty());  // nothing drawn
  SendMessage(tree_, WM_SETREDRAW, TRUE, 0);
  platform::headless::RunPending();
  // Only the new item has anything left to ask.
  Notes asked = Take({TVN_GETDISPINFO});
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(Text(asked[0].newItem), u"Added");

  RECT before, after;
  ASSERT_TRUE(TreeView_GetItemRect(tree_, root_, &before, FALSE));
  EXPECT_EQ(SendMessage(tree_, WM_GETFONT, 0, 0), 0);
  LOGFONT lf{};
  lf.lfHeight = -24;
  HFONT big = CreateFontIndirect(&lf);
  SendMessage(tree_, WM_SETFONT, (WPARAM)big, TRUE);
  EXPECT_EQ((HFONT)SendMessage(tree_, WM_GETFONT, 0, 0), big);
  ASSERT_TRUE(TreeView_GetItemRect(tree_, root_, &after, FALSE));
  EXPECT_GT(after.bottom - after.top, before.bottom - before.top);
  SendMessage(tree_, WM_SETFONT, 0, FALSE);
  DestroyWindow(tree_);
  DeleteObject(big);
}

// The application's subclass: answers WM_GETDLGCODE itself, passes the
// rest on.
WNDPROC g_treeProc = nullptr;
int g_subclassKeys = 0;
LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
  if (msg == WM_KEYDOWN) ++g_subclassKeys;
  if (msg == WM_DESTROY) SetWindowLong(hwnd, GWL_WNDPROC, (LONG_PTR)g_treeProc);
  return CallWindowProc(g_treeProc, hwnd, msg, wParam, lParam);
}

TEST_F(TreeViewTest, SubclassedTreeKeepsWorkingAndLeavesTheUserDataAlone) {
  CreateTree();
  int object = 0;
  SetWindowLong(tree_, GWL_USERDATA, (LONG_PTR)&object);
  g_treeProc = (WNDPROC)GetWindowLong(tree_, GWL_WNDPROC);
  g_subclassKeys = 0;
  EXPECT_EQ(SetWindowLong(tree_, GWL_WNDPROC, (LONG_PTR)Subclass), (LONG_PTR)g_treeProc);
  EXPECT_EQ(SendMessage(tree_, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
  SetFocus(tree_);
  Press(VK_DOWN);
  Press(VK_RIGHT);
  Press(VK_DOWN);
  EXPECT_EQ(g_subclassKeys, 3);
  EXPECT_EQ(TreeView_GetSelection(tree_), Child(root_, u"my documents"));
  EXPECT_EQ(TreeView_GetCount(tree_), 5u);
  ExpectScreenMatchesGolden("treeview_subclassed");
  EXPECT_EQ(GetWindowLong(tree_, GWL_USERDATA), (LONG_PTR)&object);
  // Restored, the control answers for itself again.
  EXPECT_EQ(SetWindowLong(tree_, GWL_WNDPROC, (LONG_PTR)g_treeProc), (LONG_PTR)Subclass);
  EXPECT_EQ(SendMessage(tree_, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS | DLGC_WANTARROWS);
  // Subclassed again until the end: the items are reported as the window goes.
  SetWindowLong(tree_, GWL_WNDPROC, (LONG_PTR)Subclass);
  notes.clear();
  DestroyWindow(tree_);
  EXPECT_EQ(Take({TVN_DELETEITEM}).size(), 5u);
  EXPECT_FALSE(IsWindow(tree_));
}

TEST_F(TreeViewTest, ShellSmallIconsForPathsAndTheDesktop) {
  // A folder and a file under the test's folder, as device paths.
  std::u16string base = u"\\" + std::u16string(dir_.begin() + 1, dir_.end());
  for (auto& c : base)
    if (c == u'/') c = u'\\';
  ASSERT_TRUE(CreateDirectory((base + u"\\Pictures").c_str(), nullptr));
  HANDLE f = CreateFile((base + u"\\note.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                        nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);

  SHFILEINFO sfi{};
  auto icons = [&](const char16_t* name, UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON) {
    sfi.iIcon = -1;
    return (HIMAGELIST)SHGetFileInfo((base + name).c_str(), 0, &sfi, sizeof sfi, flags);
  };
  HIMAGELIST list = icons(u"\\Pictures");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(sfi.iIcon, 1);
  EXPECT_EQ(icons(u"\\Pictures\\"), list);
  EXPECT_EQ(sfi.iIcon, 1);
  EXPECT_EQ(icons(u"\\note.txt"), list);
  EXPECT_EQ(sfi.iIcon, 2);
  EXPECT_EQ(icons(u"\\missing"), nullptr);
  EXPECT_EQ(icons(u"\\Pictures", SHGFI_SYSICONINDEX), nullptr);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  EXPECT_FALSE(ImageList_Destroy(list));  // the system's, not ours
  EXPECT_EQ(ImageList_GetImageCount(list), 3);

  // The desktop's identifier, from the shell allocator.
  LPITEMIDLIST desktop = nullptr;
  EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_MYPICTURES, &desktop), E_INVALIDARG);
  EXPECT_EQ(desktop, nullptr);
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop), S_OK);
  LPMALLOC malloc = nullptr;
  ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
  EXPECT_EQ(malloc->GetSize(desktop), sizeof(WORD));
  sfi.iIcon = -1;
  EXPECT_EQ((HIMAGELIST)SHGetFileInfo((LPCWSTR)desktop, 0, &sfi, sizeof sfi, 0x4009), list);
  EXPECT_EQ(sfi.iIcon, 0);
  malloc->Free(desktop);
  malloc->Release();

  // The folder icon, drawn: outline and body where the picture has them,
  // the background left alone around it.
  HDC screen = GetDC(nullptr);
  RECT area{0, 40, 20, 60};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(screen, &area, white);
  DeleteObject(white);
  EXPECT_TRUE(ImageList_Draw(list, 1, screen, 2, 42, ILD_TRANSPARENT));
  ReleaseDC(nullptr, screen);
  using platform::headless::ScreenPixel;
  EXPECT_EQ(ScreenPixel(2 + 0, 42 + 0), RGB(255, 255, 255));
  EXPECT_EQ(ScreenPixel(2 + 0, 42 + 6), RGB(0, 0, 0));
  EXPECT_EQ(ScreenPixel(2 + 5, 42 + 8), RGB(0xF8, 0xD0, 0x48));
}

TEST_F(TreeViewTest, InADialogTheTreeKeepsTheArrowsAndActionIsOk) {
  std::string error;
  ASSERT_TRUE(platform::AddResourceScript(R"(
DIALOG 108 "Choose folder"
  CONTROL 1008 "Static" "" 4 4 100 10 STYLE 0x10000000
  CONTROL 1009 "SysTreeView32" "" 4 16 110 100 STYLE 0x10810027
  CONTROL 1010 "Button" "Other" 4 120 50 12 STYLE 0x10010000
END
)", "tree_view_test.rc", &error)) << error;
  ASSERT_TRUE(platform::headless::AddScript("key down\nkey right\nkey down\nkey enter\n", &error));
  auto item = (HTREEITEM)DialogBoxIndirectParam(nullptr, platform::FindDialogTemplate(108), parent_,
                                                ChooseFolderProc, (LPARAM)this);
  platform::ClearResources();
  EXPECT_EQ(chosen, u"my documents");
  // Selected, opened, moved down; then the five items went with the dialog.
  Notes seen = Take();
  ASSERT_EQ(seen.size(), 11u);
  EXPECT_EQ(seen[1], Changed(TVC_BYKEYBOARD, nullptr, root_));
  EXPECT_EQ(seen[2], Expanding(TVE_EXPAND, root_));
  EXPECT_EQ(seen[5], Changed(TVC_BYKEYBOARD, root_, item));
  EXPECT_EQ(seen[6], Deleted(root_));
}

}  // namespace
}  // namespace platform_test
