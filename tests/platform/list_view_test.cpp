// The list view as the browser, the information pages and the options list
// drive it: geometry per view, run-time view switches, states and their
// notifications, keys, custom draw, owner-drawn rows, and the pixels.
#include "platform/commctrl.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"

namespace platform_test {
using namespace testing_support;
}
#include "tests/platform/golden.h"

namespace platform_test {
namespace {

// What the parent was told, copied while the record was alive.
struct Note {
  UINT code;
  int item;
  UINT oldState = 0, newState = 0, changed = 0;
  DWORD stage = 0;
  RECT rc{};
  UINT itemState = 0;
  bool operator==(const Note& o) const {
    return code == o.code && item == o.item && oldState == o.oldState && newState == o.newState &&
           changed == o.changed;
  }
};
std::ostream& operator<<(std::ostream& os, const Note& n) {
  return os << "{code " << (int)n.code << " item " << n.item << " " << n.oldState << "->" << n.newState
            << " changed " << n.changed << "}";
}
Note Changing(int item, UINT from, UINT to) { return Note{LVN_ITEMCHANGING, item, from, to, LVIF_STATE}; }
Note Changed(int item, UINT from, UINT to) { return Note{LVN_ITEMCHANGED, item, from, to, LVIF_STATE}; }

const DWORD kBrowserStyle = 0x50B10148;
const DWORD kModeBits = LVS_TYPEMASK | LVS_ALIGNMASK | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER |
                        WS_HSCROLL | WS_VSCROLL;

// The browser's thumbnails: frames drawn by the parent, nothing by the list.
LRESULT DrawLikeTheBrowser(NMLVCUSTOMDRAW* cd) {
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  RECT r = cd->nmcd.rc;
  r = RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 1};
  bool lit = cd->nmcd.uItemState & CDIS_SELECTED;
  if (lit) {
    HBRUSH fill = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
    FillRect(cd->nmcd.hdc, &r, fill);
    DeleteObject(fill);
  }
  HBRUSH frame = CreateSolidBrush(lit ? RGB(0xFF, 0, 0) : RGB(0xAD, 0xAD, 0xAD));
  FrameRect(cd->nmcd.hdc, &r, frame);
  DeleteObject(frame);
  return CDRF_SKIPDEFAULT;
}

class ListViewTest : public DeviceTest {
 protected:
  void SetUp() override {
    platform::DeviceOptions options;
    options.screen.depth = 24;  // exact colours for pixel checks
    StartWith(options);
    parent_ = Top();
    ShowWindow(parent_, SW_SHOW);
    Recorder::Get().handler = [this](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
      if (msg == WM_DRAWITEM) {
        auto* d = (DRAWITEMSTRUCT*)lParam;
        draws.push_back(*d);
        if (drawRow) drawRow(d);
        *result = TRUE;
        return true;
      }
      if (msg != WM_NOTIFY) return false;
      auto* h = (NMHDR*)lParam;
      Note n{h->code, -1};
      if (h->code == NM_CUSTOMDRAW) {
        auto* cd = (NMLVCUSTOMDRAW*)lParam;
        n.stage = cd->nmcd.dwDrawStage;
        n.item = cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT ? (int)cd->nmcd.dwItemSpec : -1;
        n.rc = cd->nmcd.rc;
        n.itemState = cd->nmcd.uItemState;
        paints.push_back(n);
        *result = customDraw ? customDraw(cd) : CDRF_DODEFAULT;
        return true;
      }
      EXPECT_EQ(h->idFrom, 1001u);
      if (h->code == LVN_ITEMACTIVATE) {
        n.item = ((NMITEMACTIVATE*)lParam)->iItem;
      } else {
        auto* lv = (NMLISTVIEW*)lParam;
        n = Note{h->code, lv->iItem, lv->uOldState, lv->uNewState, lv->uChanged};
      }
      notes.push_back(n);
      *result = h->code == LVN_ITEMCHANGING ? refuse : 0;
      return true;
    };
  }

  HWND Create(DWORD style, int width = 176, int height = 180) {
    HWND list = CreateWindowEx(0, WC_LISTVIEW, u"", style, 0, 0, width, height, parent_,
                               (HMENU)(intptr_t)1001, nullptr, nullptr);
    EXPECT_NE(list, nullptr);
    return list;
  }
  // The browser in Thumbnails mode: 49 x 49 thumbnails at 96 dots per inch.
  HWND Browser(int count) {
    HWND list = Create(kBrowserStyle);
    cells_ = ImageList_Create(44, 40, ILC_COLOR16, 0, 0);
    SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)cells_);
    SendMessage(list, LVM_SETICONSPACING, 0, MAKELPARAM(59, 57));
    Fill(list, count);
    notes.clear();
    return list;
  }
  void Fill(HWND list, int count) {
    for (int i = 0; i < count; ++i) Insert(list, i, u"Item " + std::u16string(1, u'A' + i));
  }
  static void Insert(HWND list, int index, const std::u16string& text) {
    LVITEM item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = (LPWSTR)text.c_str();
    EXPECT_EQ(SendMessage(list, LVM_INSERTITEM, 0, (LPARAM)&item), index);
  }
  static void SetText(HWND list, int index, int sub, const std::u16string& text) {
    LVITEM item{};
    item.iSubItem = sub;
    item.pszText = (LPWSTR)text.c_str();
    SendMessage(list, LVM_SETITEMTEXT, index, (LPARAM)&item);
  }
  static std::u16string GetText(HWND list, int index, int sub) {
    WCHAR buffer[64];
    LVITEM item{};
    item.iSubItem = sub;
    item.pszText = buffer;
    item.cchTextMax = 64;
    SendMessage(list, LVM_GETITEMTEXT, index, (LPARAM)&item);
    return buffer;
  }
  static void AddColumn(HWND list, int index, const char16_t* title, int width, int format) {
    LVCOLUMN c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    c.fmt = format;
    c.cx = width;
    c.pszText = (LPWSTR)title;
    EXPECT_EQ(SendMessage(list, LVM_INSERTCOLUMN, index, (LPARAM)&c), index);
  }
  static BOOL SetState(HWND list, int index, UINT state, UINT mask) {
    LVITEM item{};
    item.state = state;
    item.stateMask = mask;
    return (BOOL)SendMessage(list, LVM_SETITEMSTATE, index, (LPARAM)&item);
  }
  static UINT State(HWND list, int index) {
    return (UINT)SendMessage(list, LVM_GETITEMSTATE, index, LVIS_FOCUSED | LVIS_SELECTED | LVIS_DROPHILITED);
  }
  static RECT Bounds(HWND list, int index) {
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    EXPECT_TRUE(SendMessage(list, LVM_GETITEMRECT, index, (LPARAM)&r));
    return r;
  }
  static void SwitchMode(HWND list, DWORD bits) {
    DWORD style = (DWORD)GetWindowLong(list, GWL_STYLE);
    SetWindowLong(list, GWL_STYLE, (style & ~kModeBits) | bits);
  }
  void Press(UINT vk) {
    platform::KeypadKey(vk, true);
    platform::KeypadKey(vk, false);
    platform::headless::RunPending();
  }
  static int TextHeight(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? (HGDIOBJ)font : GetStockObject(SYSTEM_FONT));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return tm.tmHeight;
  }
  // Screen pixel at a point of the list's client area.
  static COLORREF At(HWND list, int x, int y) {
    POINT p{x, y};
    ClientToScreen(list, &p);
    return platform::headless::ScreenPixel(p.x, p.y);
  }
  static SIZE Client(HWND list) {
    RECT r;
    GetClientRect(list, &r);
    return SIZE{r.right, r.bottom};
  }
  void TearDown() override {
    if (cells_) ImageList_Destroy(cells_);
    DeviceTest::TearDown();
  }

  HWND parent_ = nullptr;
  HIMAGELIST cells_ = nullptr;
  std::vector<Note> notes, paints;
  std::vector<DRAWITEMSTRUCT> draws;
  std::function<LRESULT(NMLVCUSTOMDRAW*)> customDraw;
  std::function<void(DRAWITEMSTRUCT*)> drawRow;
  LRESULT refuse = 0;
};

TEST_F(ListViewTest, BrowserStyleLaysOutTheSpacingGridAndShowsBarsWithTheirContents) {
  HWND list = Create(kBrowserStyle);
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0) << "empty: no bars";
  EXPECT_EQ(Client(list).cx, 174);
  EXPECT_EQ(Client(list).cy, 178);
  EXPECT_EQ(SendMessage(list, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
  cells_ = ImageList_Create(44, 40, ILC_COLOR16, 0, 0);
  EXPECT_EQ(SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)cells_), 0);
  SendMessage(list, LVM_SETICONSPACING, 0, MAKELPARAM(59, 57));
  Fill(list, 12);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 12);
  ASSERT_EQ(notes.size(), 12u);
  EXPECT_EQ(notes[11], (Note{LVN_INSERTITEM, 11}));
  // Two 59-pixel columns, six 57-pixel rows: the vertical bar shows.
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), WS_VSCROLL);
  EXPECT_EQ(Client(list).cx, 166);
  RECT r = Bounds(list, 3);
  EXPECT_EQ(r.left, 59);
  EXPECT_EQ(r.top, 57);
  EXPECT_EQ(r.right, 118);
  EXPECT_EQ(r.bottom, 114);
  SCROLLINFO si{sizeof si, SIF_ALL};
  GetScrollInfo(list, SB_VERT, &si);
  EXPECT_EQ(si.nMax, 6 * 57 - 1);
  EXPECT_EQ(si.nPage, 178u);
  EXPECT_EQ(SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, 0), (LRESULT)cells_)
      << "detaching returns the list, which stays alive";
  int cx, cy;
  EXPECT_TRUE(ImageList_GetIconSize(cells_, &cx, &cy));
  EXPECT_EQ(GetWindowLong(list, GWL_USERDATA), 0) << "the user-data word stays the program's";
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & WS_VSCROLL, 0);
  EXPECT_EQ(Client(list).cx, 174);
}

TEST_F(ListViewTest, IconGridKeysMoveFocusAndSelectionFourWaysAndScroll) {
  HWND list = Browser(12);
  SetFocus(list);
  ASSERT_TRUE(SetState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(notes, (std::vector<Note>{Changing(0, 0, 3), Changed(0, 0, 3)}));
  notes.clear();
  Press(VK_RIGHT);
  EXPECT_EQ(notes, (std::vector<Note>{Changing(0, 3, 1), Changed(0, 3, 1), Changing(1, 0, 3),
                                      Changing(0, 1, 0), Changed(0, 1, 0), Changed(1, 0, 3)}));
  Press(VK_DOWN);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED), 3);
  Press(VK_LEFT);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 2);
  notes.clear();
  Press(VK_LEFT);
  EXPECT_TRUE(notes.empty()) << "the first column is the edge";
  EXPECT_EQ(State(list, 2), (UINT)(LVIS_SELECTED | LVIS_FOCUSED));
  // Down twice more: row 3 lies below the client and scrolls into view.
  Press(VK_DOWN);
  Press(VK_DOWN);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 6);
  EXPECT_EQ(Bounds(list, 6).bottom, 178);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 4 * 57 - 178);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 6, LVNI_SELECTED), -1);
  for (int i = 0; i < 3; ++i) Press(VK_UP);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 0);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 0);
  // The Action key outside a dialog activates the focused item.
  notes.clear();
  Press(VK_RETURN);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].code, (UINT)LVN_ITEMACTIVATE);
  EXPECT_EQ(notes[0].item, 0);
}

TEST_F(ListViewTest, StripIsOneSidewaysRowMovedLeftAndRight) {
  HWND list = Browser(12);
  SwitchMode(list, LVS_ALIGNLEFT | WS_HSCROLL);
  MoveWindow(list, 0, 0, 176, 57 + 8 + 2, TRUE);
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), WS_HSCROLL);
  EXPECT_EQ(Client(list).cy, 57);
  RECT r = Bounds(list, 2);
  EXPECT_EQ(r.left, 118);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.bottom, 57);
  SetFocus(list);
  SetState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  notes.clear();
  Press(VK_DOWN);
  Press(VK_UP);
  EXPECT_TRUE(notes.empty()) << "one row: up and down lead nowhere";
  for (int i = 0; i < 3; ++i) Press(VK_RIGHT);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 3);
  EXPECT_EQ(GetScrollPos(list, SB_HORZ), 4 * 59 - 174);
  EXPECT_EQ(Bounds(list, 3).right, 174);
  Press(VK_LEFT);
  EXPECT_EQ(State(list, 2), (UINT)(LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(State(list, 3), 0u);
  customDraw = DrawLikeTheBrowser;
  InvalidateRect(list, nullptr, TRUE);
  ExpectScreenMatchesGolden("listview_strip");
}

TEST_F(ListViewTest, ReportRowsColumnsAndWholeRowScrolling) {
  HWND list = Browser(0);
  HIMAGELIST dummy = ImageList_Create(1, 1, ILC_COLOR, 0, 0);
  SwitchMode(list, LVS_REPORT);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)dummy);
  int xs = (int)SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)u"XXXXXX");
  EXPECT_GT(xs, 0);
  AddColumn(list, 0, u"Name", 116, LVCFMT_LEFT);
  AddColumn(list, 1, u"Size", xs, LVCFMT_RIGHT);
  Fill(list, 20);
  SetText(list, 3, 1, u"1.50 Kb");
  SetText(list, 7, 1, u"1023 Bytes");
  EXPECT_EQ(GetText(list, 3, 1), u"1.50 Kb");
  EXPECT_EQ(GetText(list, 3, 0), u"Item D");
  EXPECT_EQ(GetText(list, 3, 4), u"") << "an unset sub-item is empty";
  int h = TextHeight(nullptr);
  int header = h + 4, row = h + 2;
  RECT r = Bounds(list, 2);
  EXPECT_EQ(r.top, header + 2 * row);
  EXPECT_EQ(r.bottom - r.top, row);
  EXPECT_EQ(r.right - r.left, 116 + xs);
  // Sizing to contents and to the header.
  SendMessage(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
  int widest = (int)SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)u"1023 Bytes");
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), widest + 8);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  int name = 0;
  for (int i = 0; i < 20; ++i) {
    std::u16string label = GetText(list, i, 0);
    name = std::max(name, (int)SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)label.c_str()));
  }
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 0, 0), name + 8);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), Client(list).cx - (name + 8))
      << "the last column sized to its header takes the room left";
  // Rows scroll whole: the bar counts rows.
  int visible = (Client(list).cy - header) / row;
  SCROLLINFO si{sizeof si, SIF_ALL};
  GetScrollInfo(list, SB_VERT, &si);
  EXPECT_EQ(si.nMax, 19);
  EXPECT_EQ((int)si.nPage, visible);
  SetFocus(list);
  for (int i = 0; i < visible + 1; ++i) Press(VK_DOWN);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), visible);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 1);
  EXPECT_EQ(Bounds(list, 1).top, header);
  Press(VK_UP);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 1) << "the row above is still shown";
  SendMessage(list, LVM_ENSUREVISIBLE, 19, FALSE);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 20 - visible);
  // A taller small image list makes taller rows.
  HIMAGELIST rows = ImageList_Create(41, 64, ILC_COLOR16, 0, 0);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)rows);
  EXPECT_EQ(Bounds(list, 0).bottom - Bounds(list, 0).top, 64);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
  ImageList_Destroy(rows);
  ImageList_Destroy(dummy);
}

TEST_F(ListViewTest, ProgrammaticStatesRefusalAllItemsAndDeletion) {
  HWND list = Browser(5);
  refuse = 1;
  EXPECT_FALSE(SetState(list, 1, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_EQ(notes, (std::vector<Note>{Changing(1, 0, 2)}));
  EXPECT_EQ(State(list, 1), 0u);
  refuse = 0;
  notes.clear();
  SetState(list, 1, LVIS_SELECTED | LVIS_DROPHILITED, LVIS_SELECTED | LVIS_DROPHILITED);
  SetState(list, 3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 1);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 1, LVNI_SELECTED), 3);
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED), 3);
  notes.clear();
  // Item -1: every item; focus can be cleared from all.
  SetState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED | LVIS_DROPHILITED);
  EXPECT_EQ(notes, (std::vector<Note>{Changing(1, 10, 0), Changed(1, 10, 0), Changing(3, 3, 0),
                                      Changed(3, 3, 0)}));
  SetState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SetState(list, 4, LVIS_SELECTED, LVIS_SELECTED);
  notes.clear();
  // Deleting tells the parent, shifts later items and drops the focus.
  EXPECT_TRUE(SendMessage(list, LVM_DELETEITEM, 2, 0));
  EXPECT_EQ(notes, (std::vector<Note>{Note{LVN_DELETEITEM, 2}}));
  EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED), -1);
  EXPECT_EQ(State(list, 3), (UINT)LVIS_SELECTED);
  EXPECT_EQ(GetText(list, 2, 0), u"Item D");
  EXPECT_FALSE(SendMessage(list, LVM_DELETEITEM, 4, 0));
  notes.clear();
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(notes, (std::vector<Note>{Note{LVN_DELETEALLITEMS, -1}, Note{LVN_DELETEITEM, 0},
                                      Note{LVN_DELETEITEM, 1}, Note{LVN_DELETEITEM, 2},
                                      Note{LVN_DELETEITEM, 3}}));
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ListViewTest, ModeSwitchRelaysOutAndRedrawOffHoldsPainting) {
  HWND list = Browser(12);
  AddColumn(list, 0, u"Name", 116, LVCFMT_LEFT);
  SetState(list, 7, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SwitchMode(list, LVS_REPORT);
  int h = TextHeight(nullptr);
  RECT r = Bounds(list, 1);
  EXPECT_EQ(r.top, h + 4 + h + 2) << "rows under the header";
  EXPECT_EQ(r.right, 116);
  EXPECT_EQ(State(list, 7), (UINT)(LVIS_SELECTED | LVIS_FOCUSED)) << "states survive the switch";
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & WS_HSCROLL, 0);
  // Details: owner-drawn rows without header.
  SwitchMode(list, LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER);
  EXPECT_EQ(Bounds(list, 1).top, h + 2);
  SwitchMode(list, LVS_ICON);
  EXPECT_EQ(Bounds(list, 3).top - Bounds(list, 1).top, 57);
  EXPECT_EQ(Bounds(list, 7).bottom, 178) << "the focused item is scrolled into view";
  // Painting off: nothing is drawn or asked until it is on again.
  customDraw = [](NMLVCUSTOMDRAW*) { return CDRF_NOTIFYITEMDRAW; };
  platform::headless::RunPending();
  paints.clear();
  SendMessage(list, WM_SETREDRAW, FALSE, 0);
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  Fill(list, 3);
  InvalidateRect(list, nullptr, TRUE);
  platform::headless::RunPending();
  EXPECT_TRUE(paints.empty());
  SendMessage(list, WM_SETREDRAW, TRUE, 0);
  platform::headless::RunPending();
  ASSERT_EQ(paints.size(), 4u);
  EXPECT_EQ(paints[0].stage, (DWORD)CDDS_PREPAINT);
  EXPECT_EQ(paints[3].item, 2);
}

TEST_F(ListViewTest, CustomDrawStagesRectanglesAndSkippingDefault) {
  HWND list = Browser(12);
  SetState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  customDraw = DrawLikeTheBrowser;
  paints.clear();
  InvalidateRect(list, nullptr, TRUE);
  platform::headless::RunPending();
  // Prepaint, then the eight items in the four rows that show.
  ASSERT_EQ(paints.size(), 9u);
  EXPECT_EQ(paints[0].stage, (DWORD)CDDS_PREPAINT);
  EXPECT_EQ(paints[0].rc.right, 166);
  EXPECT_EQ(paints[0].rc.bottom, 178);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(paints[i + 1].stage, (DWORD)CDDS_ITEMPREPAINT);
    EXPECT_EQ(paints[i + 1].item, i);
    RECT b = Bounds(list, i);
    EXPECT_TRUE(EqualRect(&paints[i + 1].rc, &b)) << i;
  }
  EXPECT_EQ(paints[2].itemState, (UINT)CDIS_SELECTED);
  EXPECT_EQ(At(list, 59 + 2, 57 / 2), RGB(0xFF, 0, 0)) << "the selected frame";
  EXPECT_EQ(At(list, 59 + 20, 20), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(At(list, 2, 2), RGB(0xAD, 0xAD, 0xAD));
  EXPECT_EQ(At(list, 20, 20), RGB(0xFF, 0xFF, 0xFF)) << "no label or fill of the list's own";
  // Redrawing one item asks for that item alone.
  paints.clear();
  SendMessage(list, LVM_REDRAWITEMS, 5, 5);
  platform::headless::RunPending();
  ASSERT_EQ(paints.size(), 2u);
  EXPECT_EQ(paints[1].item, 5);
  ExpectScreenMatchesGolden("listview_thumbnails");
}

TEST_F(ListViewTest, TextBackgroundFromCustomDrawOnOddRows) {
  // An information page: two half-width columns, column 0 right-aligned.
  HWND list = Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT, 170, 140);
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  int half = Client(list).cx / 2;
  AddColumn(list, 0, u"Tag", half, LVCFMT_RIGHT);
  AddColumn(list, 1, u"Value", half, LVCFMT_LEFT);
  const char16_t* rows[][2] = {{u"Filename", u"dsc001.jpg"}, {u"File size", u"1.50 Kb"},
                               {u"Format name", u"JPEG"},    {u"Image size", u"640 x 480"},
                               {u"DPI", u"72 x 72"},         {u"# Bits", u"16M"}};
  for (int i = 0; i < 6; ++i) {
    Insert(list, i, rows[i][0]);
    SetText(list, i, 1, rows[i][1]);
  }
  // Rows 3 and 5 get a bold font from the parent; only row 5 says so.
  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirect(&lf);
  customDraw = [bold](NMLVCUSTOMDRAW* cd) -> LRESULT {
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwItemSpec % 2) cd->clrTextBk = RGB(0xC3, 0xC3, 0xC3);
    if (cd->nmcd.dwItemSpec == 3 || cd->nmcd.dwItemSpec == 5) SelectObject(cd->nmcd.hdc, bold);
    return cd->nmcd.dwItemSpec == 3 ? CDRF_DODEFAULT : CDRF_NEWFONT;
  };
  SetFocus(list);
  SetState(list, 4, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  platform::headless::RunPending();
  int h = TextHeight(nullptr);
  int y1 = h + 4 + (h + 2) + 1, y2 = h + 4 + 2 * (h + 2) + 1, y4 = h + 4 + 4 * (h + 2) + 1;
  EXPECT_EQ(At(list, 1, y1), RGB(0xC3, 0xC3, 0xC3));
  EXPECT_EQ(At(list, 2 * half - 1, y1), RGB(0xC3, 0xC3, 0xC3)) << "across both columns";
  EXPECT_EQ(At(list, 1, y2), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(At(list, 2 * half - 1, y4), GetSysColor(COLOR_HIGHLIGHT)) << "the whole selected row";
  ExpectScreenMatchesGolden("listview_info");
  // Without the focus and without LVS_SHOWSELALWAYS the selection hides.
  SetFocus(parent_);
  platform::headless::RunPending();
  EXPECT_EQ(At(list, 2 * half - 1, y4), RGB(0xFF, 0xFF, 0xFF));
  DestroyWindow(list);
  DeleteObject(bold);
}

TEST_F(ListViewTest, ListModeHeaderRightAlignedColumnsAndFont) {
  HWND list = Browser(0);
  SwitchMode(list, LVS_REPORT);
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  int xs = (int)SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)u"XXXXXX");
  AddColumn(list, 0, u"Name", 116, LVCFMT_LEFT);
  AddColumn(list, 1, u"Properties", xs, LVCFMT_LEFT);
  AddColumn(list, 2, u"Type", xs, LVCFMT_RIGHT);
  Fill(list, 14);
  for (int i = 0; i < 14; ++i) {
    SetText(list, i, 1, u"64x48,256");
    SetText(list, i, 2, i % 2 ? u"GIF" : u"JPEG");
  }
  EXPECT_EQ(GetWindowLong(list, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), WS_HSCROLL | WS_VSCROLL);
  customDraw = [](NMLVCUSTOMDRAW* cd) -> LRESULT {
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwItemSpec % 2) cd->clrTextBk = RGB(0xC3, 0xC3, 0xC3);
    return CDRF_DODEFAULT;
  };
  SetFocus(list);
  SetState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  // Right scrolls the columns sideways in report rows.
  Press(VK_RIGHT);
  EXPECT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(Bounds(list, 0).left, -GetScrollPos(list, SB_HORZ));
  ExpectScreenMatchesGolden("listview_report");
  // The options list: one full-width column in a bold font sets the rows.
  LOGFONT lf{};
  lf.lfHeight = -16;
  lf.lfWeight = FW_BOLD;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = VARIABLE_PITCH;
  std::u16string face = u"Tahoma";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT bold = CreateFontIndirect(&lf);
  SendMessage(list, WM_SETFONT, (WPARAM)bold, TRUE);
  EXPECT_EQ(SendMessage(list, WM_GETFONT, 0, 0), (LRESULT)bold);
  int h = TextHeight(bold);
  EXPECT_EQ(Bounds(list, 0).bottom - Bounds(list, 0).top, h + 2);
  EXPECT_EQ(SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)u"XXXXXX"), [&] {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bold);
    SIZE s;
    GetTextExtentPoint32(dc, u"XXXXXX", 6, &s);
    SelectObject(dc, old);
    DeleteDC(dc);
    return (LRESULT)s.cx;
  }());
  DestroyWindow(list);
  DeleteObject(bold);
}

TEST_F(ListViewTest, DetailsRowsAreOwnerDrawnOnePerVisibleRow) {
  HWND list = Browser(6);
  SwitchMode(list, LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER);
  HIMAGELIST rows = ImageList_Create(41, 64, ILC_COLOR16, 0, 0);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)rows);
  AddColumn(list, 0, u"Name", 100, LVCFMT_LEFT);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(Client(list).cx - GetSystemMetrics(SM_CXVSCROLL), 0));
  SetState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  drawRow = [](DRAWITEMSTRUCT* d) {
    bool selected = d->itemState & ODS_SELECTED;
    COLORREF fill = selected ? RGB(0xCE, 0xD6, 0xE3) : d->itemID % 2 ? RGB(0xED, 0xED, 0xCA) : RGB(0xEB, 0xE6, 0xE6);
    HBRUSH b = CreateSolidBrush(fill);
    FillRect(d->hDC, &d->rcItem, b);
    DeleteObject(b);
    std::u16string text = u"Row " + std::u16string(1, u'0' + d->itemID);
    RECT r = d->rcItem;
    r.left += 50;
    SetBkMode(d->hDC, TRANSPARENT);
    DrawText(d->hDC, text.c_str(), -1, &r, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  };
  InvalidateRect(list, nullptr, TRUE);
  draws.clear();
  platform::headless::RunPending();
  int width = Client(list).cx;
  ASSERT_EQ(draws.size(), 3u) << "rows 0 to 2 show in 178 pixels";
  for (UINT i = 0; i < 3; ++i) {
    EXPECT_EQ(draws[i].CtlType, (UINT)ODT_LISTVIEW);
    EXPECT_EQ(draws[i].CtlID, 1001u);
    EXPECT_EQ(draws[i].itemID, i);
    EXPECT_EQ(draws[i].hwndItem, list);
    EXPECT_EQ(draws[i].rcItem.top, (LONG)(64 * i));
    EXPECT_EQ(draws[i].rcItem.bottom, (LONG)(64 * i + 64));
    EXPECT_EQ(draws[i].rcItem.right, width - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ((draws[i].itemState & ODS_SELECTED) != 0, i == 1);
  }
  EXPECT_EQ(width, 166) << "six 64-pixel rows need the bar";
  ExpectScreenMatchesGolden("listview_details");
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
  ImageList_Destroy(rows);
}

TEST_F(ListViewTest, IconLabelsWithSelectionInASubclassedList) {
  HWND list = Create(kBrowserStyle);
  // The program subclasses the control and keeps its object in the user data.
  static WNDPROC original;
  static int object;
  original = (WNDPROC)SetWindowLong(list, GWL_WNDPROC, (LONG_PTR) + [](HWND h, UINT m, WPARAM w, LPARAM l) {
    return CallWindowProc(original, h, m, w, l);
  });
  SetWindowLong(list, GWL_USERDATA, (LONG_PTR)&object);
  cells_ = ImageList_Create(32, 20, ILC_COLOR16, 0, 0);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)cells_);
  SendMessage(list, LVM_SETICONSPACING, 0, MAKELPARAM(58, 44));
  const char16_t* names[] = {u"Beach", u"Harbour", u"Mountains far away", u"Snow", u"City", u"Lake", u"Sunset"};
  for (int i = 0; i < 7; ++i) Insert(list, i, names[i]);
  SetFocus(list);
  Press(VK_DOWN);
  EXPECT_EQ(State(list, 0), (UINT)(LVIS_SELECTED | LVIS_FOCUSED)) << "the first key takes item 0";
  Press(VK_DOWN);
  Press(VK_RIGHT);
  EXPECT_EQ(State(list, 4), (UINT)(LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(GetWindowLong(list, GWL_USERDATA), (LONG_PTR)&object);
  ExpectScreenMatchesGolden("listview_icons");
  // The browser's style shows the selection also without the focus.
  RECT label{LVIR_LABEL, 0, 0, 0};
  ASSERT_TRUE(SendMessage(list, LVM_GETITEMRECT, 4, (LPARAM)&label));
  SetFocus(parent_);
  platform::headless::RunPending();
  EXPECT_EQ(At(list, label.left + 3, label.top + 1), GetSysColor(COLOR_HIGHLIGHT));
}

}  // namespace
}  // namespace platform_test
