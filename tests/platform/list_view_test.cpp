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
  bool operator==(const Note& o) const {
    return code == o.code && item == o.item && oldState == o.oldState && newState == o.newState &&
           changed == o.changed;
  }
};
std::ostream& operator<<(std::ostream& os, const Note& n) {
  return os << "{" << (int)n.code << " item " << n.item << " " << n.oldState << "->" << n.newState
            << " changed " << n.changed << "}";
}
Note Changing(int item, UINT from, UINT to) {
  return Note{LVN_ITEMCHANGING, item, from, to, LVIF_STATE};
}
Note Changed(int item, UINT from, UINT to) {
  return Note{LVN_ITEMCHANGED, item, from, to, LVIF_STATE};
}
using Notes = std::vector<Note>;
// A custom-draw stage as the parent saw it.
struct Stage {
  DWORD stage;
  int item;
  RECT rc;
  UINT itemState;
};

const DWORD kBrowserStyle = 0x50B10148;
const DWORD kModeBits = LVS_TYPEMASK | LVS_ALIGNMASK | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER |
                        WS_HSCROLL | WS_VSCROLL;
const UINT kCurrent = LVIS_SELECTED | LVIS_FOCUSED;

void Paint(HDC dc, RECT r, COLORREF colour, bool frame = false) {
  HBRUSH b = CreateSolidBrush(colour);
  frame ? FrameRect(dc, &r, b) : FillRect(dc, &r, b);
  DeleteObject(b);
}

// The browser's thumbnails: frames drawn by the parent, nothing by the list.
LRESULT DrawLikeTheBrowser(NMLVCUSTOMDRAW* cd) {
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  RECT r = cd->nmcd.rc;
  r = RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 1};
  bool lit = cd->nmcd.uItemState & CDIS_SELECTED;
  if (lit) Paint(cd->nmcd.hdc, r, GetSysColor(COLOR_HIGHLIGHT));
  Paint(cd->nmcd.hdc, r, lit ? RGB(0xFF, 0, 0) : RGB(0xAD, 0xAD, 0xAD), true);
  return CDRF_SKIPDEFAULT;
}

// Odd rows on a grey text background, as the List mode and the
// information pages ask.
LRESULT OddRowsGrey(NMLVCUSTOMDRAW* cd) {
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (cd->nmcd.dwItemSpec % 2) cd->clrTextBk = RGB(0xC3, 0xC3, 0xC3);
  return CDRF_DODEFAULT;
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
        draws.push_back(*(DRAWITEMSTRUCT*)lParam);
        if (drawRow) drawRow((DRAWITEMSTRUCT*)lParam);
        *result = TRUE;
        return true;
      }
      if (msg != WM_NOTIFY) return false;
      auto* nm = (NMLISTVIEW*)lParam;
      EXPECT_EQ(nm->hdr.idFrom, 1001u);
      if (nm->hdr.code == NM_CUSTOMDRAW) {
        auto* cd = (NMLVCUSTOMDRAW*)lParam;
        bool item = cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT;
        stages.push_back(Stage{cd->nmcd.dwDrawStage, item ? (int)cd->nmcd.dwItemSpec : -1,
                               cd->nmcd.rc, cd->nmcd.uItemState});
        *result = customDraw ? customDraw(cd) : CDRF_DODEFAULT;
      } else if (nm->hdr.code == LVN_ITEMACTIVATE) {
        notes.push_back(Note{nm->hdr.code, ((NMITEMACTIVATE*)lParam)->iItem});
      } else {
        notes.push_back(Note{nm->hdr.code, nm->iItem, nm->uOldState, nm->uNewState, nm->uChanged});
        *result = nm->hdr.code == LVN_ITEMCHANGING ? refuse : 0;
      }
      return true;
    };
  }
  void TearDown() override {
    if (cells_) ImageList_Destroy(cells_);
    DeviceTest::TearDown();
  }

  HWND Create(DWORD style, int width = 176, int height = 180) {
    return CreateWindowEx(0, WC_LISTVIEW, u"", style, 0, 0, width, height, parent_,
                          (HMENU)(intptr_t)1001, nullptr, nullptr);
  }
  // The browser in Thumbnails mode: 49 x 49 thumbnails at 96 dots per inch.
  HWND Browser(int count) {
    HWND list = Create(kBrowserStyle);
    cells_ = ImageList_Create(44, 40, ILC_COLOR16, 0, 0);
    SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)cells_);
    SendMessage(list, LVM_SETICONSPACING, 0, MAKELPARAM(59, 57));
    for (int i = 0; i < count; ++i) Insert(list, i, u"Item " + std::u16string(1, u'A' + i));
    notes.clear();
    return list;
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
    return (UINT)SendMessage(list, LVM_GETITEMSTATE, index, kCurrent | LVIS_DROPHILITED);
  }
  static int Next(HWND list, int from, UINT flags) {
    return (int)SendMessage(list, LVM_GETNEXTITEM, (WPARAM)from, flags);
  }
  static RECT Bounds(HWND list, int index, int portion = LVIR_BOUNDS) {
    RECT r{portion, 0, 0, 0};
    EXPECT_TRUE(SendMessage(list, LVM_GETITEMRECT, index, (LPARAM)&r));
    return r;
  }
  static void SwitchMode(HWND list, DWORD bits) {
    DWORD style = (DWORD)GetWindowLong(list, GWL_STYLE);
    SetWindowLong(list, GWL_STYLE, (style & ~kModeBits) | bits);
  }
  static DWORD Bars(HWND list) {
    return (DWORD)GetWindowLong(list, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL);
  }
  void Press(UINT vk, int times = 1) {
    for (int i = 0; i < times; ++i) {
      platform::KeypadKey(vk, true);
      platform::KeypadKey(vk, false);
      platform::headless::RunPending();
    }
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
  static SCROLLINFO Scroll(HWND list, int bar) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(list, bar, &si);
    return si;
  }
  static void ExpectRect(const RECT& r, const RECT& expected) {
    EXPECT_TRUE(EqualRect(&r, &expected))
        << r.left << " " << r.top << " " << r.right << " " << r.bottom;
  }
  static SIZE Client(HWND list) {
    RECT r;
    GetClientRect(list, &r);
    return SIZE{r.right, r.bottom};
  }

  HWND parent_ = nullptr;
  HIMAGELIST cells_ = nullptr;
  Notes notes;
  std::vector<Stage> stages;
  std::vector<DRAWITEMSTRUCT> draws;
  std::function<LRESULT(NMLVCUSTOMDRAW*)> customDraw;
  std::function<void(DRAWITEMSTRUCT*)> drawRow;
  LRESULT refuse = 0;
};

TEST_F(ListViewTest, IconGridLaysOutTheSpacingCellsAndKeysMoveFourWays) {
  HWND list = Create(kBrowserStyle);
  // The program subclasses the control and keeps its object in the user data.
  static WNDPROC original;
  static int object;
  original = (WNDPROC)SetWindowLong(
      list, GWL_WNDPROC, (LONG_PTR) + [](HWND h, UINT m, WPARAM w, LPARAM l) {
        return CallWindowProc(original, h, m, w, l);
      });
  SetWindowLong(list, GWL_USERDATA, (LONG_PTR)&object);
  EXPECT_EQ(Bars(list), 0u) << "empty: no bars";
  EXPECT_EQ(Client(list).cx, 174);
  EXPECT_EQ(SendMessage(list, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
  cells_ = ImageList_Create(44, 40, ILC_COLOR16, 0, 0);
  EXPECT_EQ(SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)cells_), 0);
  SendMessage(list, LVM_SETICONSPACING, 0, MAKELPARAM(59, 57));
  const char16_t* names[] = {u"Beach", u"Harbour", u"Mountains far away", u"Snow"};
  for (int i = 0; i < 12; ++i) Insert(list, i, names[i % 4]);
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 12);
  ASSERT_EQ(notes.size(), 12u);
  EXPECT_EQ(notes[11], (Note{LVN_INSERTITEM, 11}));
  // Two 59-pixel columns, six 57-pixel rows: the vertical bar shows.
  EXPECT_EQ(Bars(list), (DWORD)WS_VSCROLL);
  EXPECT_EQ(Client(list).cx, 166);
  ExpectRect(Bounds(list, 3), RECT{59, 57, 118, 114});
  SCROLLINFO si = Scroll(list, SB_VERT);
  EXPECT_EQ(si.nMax, 6 * 57 - 1);
  EXPECT_EQ(si.nPage, 178u);

  SetFocus(list);
  notes.clear();
  ASSERT_TRUE(SetState(list, 0, kCurrent, kCurrent));
  EXPECT_EQ(notes, (Notes{Changing(0, 0, 3), Changed(0, 0, 3)}));
  notes.clear();
  Press(VK_RIGHT);
  EXPECT_EQ(notes, (Notes{Changing(0, 3, 1), Changed(0, 3, 1), Changing(1, 0, 3), Changing(0, 1, 0),
                          Changed(0, 1, 0), Changed(1, 0, 3)}));
  Press(VK_DOWN);
  EXPECT_EQ(Next(list, -1, LVNI_FOCUSED), 3);
  Press(VK_LEFT);
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), 2);
  notes.clear();
  Press(VK_LEFT);
  EXPECT_TRUE(notes.empty()) << "the first column is the edge";
  // Row 3 lies below the client and scrolls into view.
  Press(VK_DOWN, 2);
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), 6);
  EXPECT_EQ(Next(list, 6, LVNI_SELECTED), -1);
  EXPECT_EQ(Bounds(list, 6).bottom, 178);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 4 * 57 - 178);
  Press(VK_UP, 3);
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), 0);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 0);
  Press(VK_RIGHT);
  // The Action key outside a dialog activates the focused item.
  notes.clear();
  Press(VK_RETURN);
  EXPECT_EQ(notes, (Notes{Note{LVN_ITEMACTIVATE, 1}}));
  EXPECT_EQ(GetWindowLong(list, GWL_USERDATA), (LONG_PTR)&object);
  ExpectScreenMatchesGolden("listview_icons");
  // The browser's style shows the selection also without the focus.
  RECT label = Bounds(list, 1, LVIR_LABEL);
  SetFocus(parent_);
  platform::headless::RunPending();
  EXPECT_EQ(At(list, label.left + 3, label.top + 1), GetSysColor(COLOR_HIGHLIGHT));
  // Image lists are only read: detached, they stay alive.
  EXPECT_EQ(SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, 0), (LRESULT)cells_);
  EXPECT_EQ(ImageList_GetImageCount(cells_), 0);
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(Bars(list), 0u);
}

TEST_F(ListViewTest, StripIsOneSidewaysRowMovedLeftAndRight) {
  HWND list = Browser(12);
  SwitchMode(list, LVS_ALIGNLEFT | WS_HSCROLL);
  MoveWindow(list, 0, 0, 176, 57 + 8 + 2, TRUE);
  EXPECT_TRUE(notes.empty()) << "a switch changes no item";
  EXPECT_EQ(Bars(list), (DWORD)WS_HSCROLL);
  EXPECT_EQ(Client(list).cy, 57);
  ExpectRect(Bounds(list, 2), RECT{118, 0, 177, 57});
  SetFocus(list);
  SetState(list, 0, kCurrent, kCurrent);
  notes.clear();
  Press(VK_DOWN);
  Press(VK_UP);
  EXPECT_TRUE(notes.empty()) << "one row: up and down lead nowhere";
  Press(VK_RIGHT, 3);
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), 3);
  EXPECT_EQ(GetScrollPos(list, SB_HORZ), 4 * 59 - 174);
  EXPECT_EQ(Bounds(list, 3).right, 174);
  Press(VK_LEFT);
  EXPECT_EQ(State(list, 2), kCurrent);
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
  for (int i = 0; i < 20; ++i) Insert(list, i, i == 12 ? u"Item twelve" : u"Item");
  SetText(list, 3, 1, u"1.50 Kb");
  SetText(list, 7, 1, u"1023 Bytes");
  EXPECT_EQ(GetText(list, 3, 1), u"1.50 Kb");
  EXPECT_EQ(GetText(list, 3, 0), u"Item");
  EXPECT_EQ(GetText(list, 3, 4), u"") << "an unset sub-item is empty";
  int h = TextHeight(nullptr), header = h + 4, row = h + 2;
  ExpectRect(Bounds(list, 2), RECT{0, header + 2 * row, 116 + xs, header + 3 * row});
  // Sizing to contents and to the header; the last column takes the room left.
  auto width = [&](const char16_t* text) {
    return (int)SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)text);
  };
  SendMessage(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), width(u"1023 Bytes") + 8);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 0, 0), width(u"Item twelve") + 8);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0),
            Client(list).cx - (width(u"Item twelve") + 8));
  // Rows scroll whole: the bar counts rows.
  int visible = (Client(list).cy - header) / row;
  SCROLLINFO si = Scroll(list, SB_VERT);
  EXPECT_EQ(si.nMax, 19);
  EXPECT_EQ((int)si.nPage, visible);
  SetFocus(list);
  Press(VK_DOWN, visible + 1);  // the first key takes item 0
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), visible);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 1);
  EXPECT_EQ(Bounds(list, 1).top, header);
  notes.clear();
  Press(VK_UP);
  EXPECT_EQ(notes,
            (Notes{Changing(visible, 3, 1), Changed(visible, 3, 1), Changing(visible - 1, 0, 3),
                   Changing(visible, 1, 0), Changed(visible, 1, 0), Changed(visible - 1, 0, 3)}));
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 1) << "the row above is still shown";
  SendMessage(list, LVM_ENSUREVISIBLE, 19, FALSE);
  EXPECT_EQ(GetScrollPos(list, SB_VERT), 20 - visible);
  DestroyWindow(list);
  ImageList_Destroy(dummy);
}

TEST_F(ListViewTest, ProgrammaticStatesRefusalAllItemsAndDeletion) {
  HWND list = Browser(5);
  refuse = 1;
  EXPECT_FALSE(SetState(list, 1, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_EQ(notes, (Notes{Changing(1, 0, 2)}));
  EXPECT_EQ(State(list, 1), 0u);
  refuse = 0;
  SetState(list, 1, LVIS_SELECTED | LVIS_DROPHILITED, LVIS_SELECTED | LVIS_DROPHILITED);
  SetState(list, 3, kCurrent, kCurrent);
  EXPECT_EQ(Next(list, -1, LVNI_SELECTED), 1);
  EXPECT_EQ(Next(list, 1, LVNI_SELECTED), 3);
  EXPECT_EQ(Next(list, -1, LVNI_FOCUSED), 3);
  notes.clear();
  // Item -1: every item; focus can be cleared from all.
  SetState(list, -1, 0, kCurrent | LVIS_DROPHILITED);
  EXPECT_EQ(notes,
            (Notes{Changing(1, 10, 0), Changed(1, 10, 0), Changing(3, 3, 0), Changed(3, 3, 0)}));
  SetState(list, 2, kCurrent, kCurrent);
  SetState(list, 4, LVIS_SELECTED, LVIS_SELECTED);
  notes.clear();
  // Deleting tells the parent, shifts later items and drops the focus.
  EXPECT_TRUE(SendMessage(list, LVM_DELETEITEM, 2, 0));
  EXPECT_EQ(notes, (Notes{Note{LVN_DELETEITEM, 2}}));
  EXPECT_EQ(Next(list, -1, LVNI_FOCUSED), -1);
  EXPECT_EQ(State(list, 3), (UINT)LVIS_SELECTED);
  EXPECT_EQ(GetText(list, 2, 0), u"Item D");
  EXPECT_FALSE(SendMessage(list, LVM_DELETEITEM, 4, 0));
  notes.clear();
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(notes,
            (Notes{Note{LVN_DELETEALLITEMS, -1}, Note{LVN_DELETEITEM, 0}, Note{LVN_DELETEITEM, 1},
                   Note{LVN_DELETEITEM, 2}, Note{LVN_DELETEITEM, 3}}));
  EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ListViewTest, CustomDrawStagesRectanglesAndSkippingDefault) {
  HWND list = Browser(12);
  SetState(list, 1, kCurrent, kCurrent);
  customDraw = DrawLikeTheBrowser;
  stages.clear();
  InvalidateRect(list, nullptr, TRUE);
  platform::headless::RunPending();
  // Prepaint, then the eight items in the four rows that show.
  ASSERT_EQ(stages.size(), 9u);
  EXPECT_EQ(stages[0].stage, (DWORD)CDDS_PREPAINT);
  EXPECT_EQ(stages[0].rc.right, 166);
  EXPECT_EQ(stages[0].rc.bottom, 178);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(stages[i + 1].stage, (DWORD)CDDS_ITEMPREPAINT);
    EXPECT_EQ(stages[i + 1].item, i);
    ExpectRect(stages[i + 1].rc, Bounds(list, i));
    EXPECT_EQ(stages[i + 1].itemState, i == 1 ? (UINT)CDIS_SELECTED : 0u);
  }
  EXPECT_EQ(At(list, 59 + 2, 57 / 2), RGB(0xFF, 0, 0)) << "the selected frame";
  EXPECT_EQ(At(list, 59 + 20, 20), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(At(list, 2, 2), RGB(0xAD, 0xAD, 0xAD));
  EXPECT_EQ(At(list, 20, 20), RGB(0xFF, 0xFF, 0xFF)) << "no label or fill of the list's own";
  // Redrawing one item asks for that item alone.
  stages.clear();
  SendMessage(list, LVM_REDRAWITEMS, 5, 5);
  platform::headless::RunPending();
  ASSERT_EQ(stages.size(), 2u);
  EXPECT_EQ(stages[1].item, 5);
  ExpectScreenMatchesGolden("listview_thumbnails");
  // Painting off: nothing is drawn or asked until it is on again.
  stages.clear();
  SendMessage(list, WM_SETREDRAW, FALSE, 0);
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  for (int i = 0; i < 3; ++i) Insert(list, i, u"Item");
  InvalidateRect(list, nullptr, TRUE);
  platform::headless::RunPending();
  EXPECT_TRUE(stages.empty());
  SendMessage(list, WM_SETREDRAW, TRUE, 0);
  platform::headless::RunPending();
  ASSERT_EQ(stages.size(), 4u);
  EXPECT_EQ(stages[3].item, 2);
}

TEST_F(ListViewTest, TextBackgroundAndFontFromCustomDraw) {
  // An information page as its template makes it: two half-width columns,
  // column 0 right-aligned, no header, one selected row.
  HWND list = Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                         LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER,
                     170, 140);
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
    LRESULT answer = OddRowsGrey(cd);
    if (cd->nmcd.dwItemSpec == 3 || cd->nmcd.dwItemSpec == 5) SelectObject(cd->nmcd.hdc, bold);
    return cd->nmcd.dwItemSpec == 5 ? CDRF_NEWFONT : answer;
  };
  SetState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
  notes.clear();
  SetState(list, 4, kCurrent, kCurrent);
  EXPECT_EQ(notes,
            (Notes{Changing(4, 0, 3), Changing(1, 2, 0), Changed(1, 2, 0), Changed(4, 0, 3)}))
      << "a single-selection list drops the other selection";
  platform::headless::RunPending();
  int h = TextHeight(nullptr);
  auto rowY = [h](int i) { return i * (h + 2) + 1; };
  EXPECT_EQ(At(list, 1, rowY(1)), RGB(0xC3, 0xC3, 0xC3));
  EXPECT_EQ(At(list, 2 * half - 1, rowY(1)), RGB(0xC3, 0xC3, 0xC3)) << "across both columns";
  EXPECT_EQ(At(list, 1, rowY(2)), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(At(list, 2 * half - 1, rowY(4)), GetSysColor(COLOR_HIGHLIGHT))
      << "the whole selected row";
  ExpectScreenMatchesGolden("listview_info");
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
  for (int i = 0; i < 14; ++i) {
    Insert(list, i, u"Item " + std::u16string(1, u'A' + i));
    SetText(list, i, 1, u"64x48,256");
    SetText(list, i, 2, i % 2 ? u"GIF" : u"JPEG");
  }
  EXPECT_EQ(Bars(list), (DWORD)(WS_HSCROLL | WS_VSCROLL));
  customDraw = OddRowsGrey;
  SetFocus(list);
  SetState(list, 2, kCurrent, kCurrent);
  // Right scrolls the columns sideways in report rows.
  Press(VK_RIGHT);
  EXPECT_GT(GetScrollPos(list, SB_HORZ), 0);
  EXPECT_EQ(Bounds(list, 0).left, -GetScrollPos(list, SB_HORZ));
  ExpectScreenMatchesGolden("listview_report");
  // The options list's bold font measures text and sets the rows.
  LOGFONT lf{-16, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH, u"Tahoma"};
  HFONT bold = CreateFontIndirect(&lf);
  SendMessage(list, WM_SETFONT, (WPARAM)bold, TRUE);
  EXPECT_EQ(SendMessage(list, WM_GETFONT, 0, 0), (LRESULT)bold);
  EXPECT_EQ(Bounds(list, 0).bottom - Bounds(list, 0).top, TextHeight(bold) + 2);
  EXPECT_GT(SendMessage(list, LVM_GETSTRINGWIDTH, 0, (LPARAM)u"XXXXXX"), xs);
  DestroyWindow(list);
  DeleteObject(bold);
}

TEST_F(ListViewTest, DetailsRowsAreOwnerDrawnOnePerVisibleRow) {
  HWND list = Browser(6);
  SetState(list, 1, kCurrent, kCurrent);  // states survive the switch
  SwitchMode(list, LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER);
  HIMAGELIST rows = ImageList_Create(41, 64, ILC_COLOR16, 0, 0);
  SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)rows);
  int bar = GetSystemMetrics(SM_CXVSCROLL);
  AddColumn(list, 0, u"Name", 100, LVCFMT_LEFT);
  SendMessage(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(Client(list).cx - bar, 0));
  drawRow = [](DRAWITEMSTRUCT* d) {
    bool selected = d->itemState & ODS_SELECTED;
    Paint(d->hDC, d->rcItem, selected ? 0xE3D6CE : d->itemID % 2 ? 0xCAEDED : 0xE6E6EB);
    std::u16string text = u"Row " + std::u16string(1, u'0' + d->itemID);
    RECT r = d->rcItem;
    r.left += 50;
    SetBkMode(d->hDC, TRANSPARENT);
    DrawText(d->hDC, text.c_str(), -1, &r, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  };
  InvalidateRect(list, nullptr, TRUE);
  draws.clear();
  platform::headless::RunPending();
  EXPECT_EQ(Client(list).cx, 166) << "six 64-pixel rows need the bar";
  ASSERT_EQ(draws.size(), 3u) << "rows 0 to 2 show in 178 pixels";
  for (UINT i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(draws[i].CtlType, (UINT)ODT_LISTVIEW);
    EXPECT_EQ(draws[i].CtlID, 1001u);
    EXPECT_EQ(draws[i].itemID, i);
    EXPECT_EQ(draws[i].hwndItem, list);
    ExpectRect(draws[i].rcItem, RECT{0, (LONG)(64 * i), 166 - bar, (LONG)(64 * i + 64)});
    EXPECT_EQ((draws[i].itemState & ODS_SELECTED) != 0, i == 1);
  }
  ExpectScreenMatchesGolden("listview_details");
  DestroyWindow(list);
  ImageList_Destroy(rows);
}

}  // namespace
}  // namespace platform_test
