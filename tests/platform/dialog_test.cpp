// Modal dialogs in headless runs: creation from templates, the procedure's
// return rules, the dialog's loop, nesting, the owner, the keypad inside a
// dialog and the dialog items, checked by what the procedure and the
// controls receive.
#include <climits>
#include <thread>

#include "platform/commctrl.h"
#include "platform/shell/soft_key_bar.h"
#include "platform/text/codepage.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"
namespace platform_test {
using namespace testing_support;
}
#include "tests/platform/golden.h"

using namespace platform_test;

namespace {

// Tab stops 101, 103, 106; 102 is none, 104 disabled, 105 hidden.
const char kScript[] = R"(
DIALOG 500 "Plain" FONT 10 "Tahoma"
  CONTROL 101 "Rec" "first" 4 4 60 12 STYLE 0x10010000
  CONTROL 102 "Rec" "label" 4 20 60 12 STYLE 0x10000000
  CONTROL 103 "Rec" "second" 4 36 60 12 STYLE 0x10010000
  CONTROL 104 "Rec" "disabled" 4 52 60 12 STYLE 0x18010000
  CONTROL 105 "Rec" "hidden" 4 68 60 12 STYLE 0x00010000
  CONTROL 106 "Rec" "third" 4 84 60 12 STYLE 0x10010000 EXSTYLE 0x200
END
DIALOG 501 "Inner"
  CONTROL 201 "Rec" "only" 8 8 40 10 STYLE 0x10010000
END
DIALOG 503 "" SIZE 117 18
  CONTROL 1048 "Rec" "" 2 2 84 14 STYLE 0x10010000
END
DIALOG 502 "Broken"
  CONTROL 301 "Rec" "fine" 8 8 40 10 STYLE 0x10010000
  CONTROL 302 "NoSuchClass" "" 8 20 40 10 STYLE 0x10010000
END
DIALOG 510 "Slideshow settings"
  CONTROL 1043 "Static" "Delay in &seconds:" 4 4 100 10 STYLE 0x10000000
  CONTROL 1046 "Edit" "" 4 16 50 12 STYLE 0x10812000
  CONTROL 1044 "msctls_updown32" "" 54 16 10 12 STYLE 0x10000036
  CONTROL 1034 "Button" "Use effect transition" 4 32 100 12 STYLE 0x10010003
  CONTROL 1035 "Button" "Repeat in loop" 4 46 100 12 STYLE 0x10010003
END
DIALOG 511 "Settings"
  CONTROL 1035 "SysListView32" "" 0 0 116 80 STYLE 0x10010001
END
)";

const UINT WM_TEST_STEP = WM_APP + 7;

// What the procedure does (nothing by default), and the messages it got.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_onMessage;
std::vector<MSG> g_events;

INT_PTR CALLBACK TestDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  g_events.push_back(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}});
  return g_onMessage ? g_onMessage(hwnd, msg, wParam, lParam) : 0;
}

std::vector<MSG> EventsOf(UINT msg) {
  std::vector<MSG> out;
  for (auto& e : g_events)
    if (e.message == msg) out.push_back(e);
  return out;
}

// The commands the dialog got, as (id, code); lParam is always 0 here.
std::vector<std::pair<int, int>> Commands() {
  std::vector<std::pair<int, int>> out;
  for (auto& e : EventsOf(WM_COMMAND)) out.emplace_back(LOWORD(e.wParam), HIWORD(e.wParam));
  return out;
}

// Ends the dialog with 1 on IDOK and 0 on IDCANCEL.
INT_PTR OkCancelEnds(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(hwnd, 1);
  if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, 0);
  return 0;
}

// Puts the focus on control `id` at WM_INITDIALOG (returning FALSE), then
// ends on OK and Cancel.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> FocusOnInit(int id) {
  return [id](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg != WM_INITDIALOG) return OkCancelEnds(hwnd, msg, wParam, lParam);
    SetFocus(GetDlgItem(hwnd, id));
    return FALSE;
  };
}

using Commanded = std::vector<std::pair<int, int>>;

class DialogTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::ClearResources();
    std::string error;
    ASSERT_TRUE(platform::AddResourceScript(kScript, "dialog_test.rc", &error)) << error;
    g_events.clear();
    g_onMessage = OkCancelEnds;
    // The "Rec" controls' side, noted while they exist.
    Recorder::Get().handler = [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                     LRESULT* result) {
      int id = GetDlgCtrlID(hwnd);
      if (msg == WM_SETFOCUS && id) focus_.push_back(id);
      if (msg == WM_CREATE && id) created_.push_back(*(CREATESTRUCT*)lParam);
      if ((msg == WM_KEYDOWN || msg == WM_CHAR) && id) keys_.push_back({id, msg, wParam});
      if (msg == WM_GETDLGCODE && codes_.count(id)) {
        *result = codes_[id];
        return true;
      }
      return false;
    };
  }
  void TearDown() override {
    g_onMessage = nullptr;
    platform::ClearResources();
    DeviceTest::TearDown();
  }
  INT_PTR Run(int id, HWND owner = nullptr, LPARAM param = 0) {
    return DialogBoxIndirectParam(nullptr, platform::FindDialogTemplate(id), owner, TestDlgProc,
                                  param);
  }
  void Script(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::headless::AddScript(text, &error)) << error;
  }
  struct Key {
    int id;
    UINT msg;
    WPARAM key;
    bool operator==(const Key& o) const { return id == o.id && msg == o.msg && key == o.key; }
  };
  std::vector<int> focus_;  // controls that got WM_SETFOCUS, in order
  std::vector<CREATESTRUCT> created_;
  std::vector<Key> keys_;  // key downs and characters the controls got
  std::map<int, LRESULT> codes_;  // WM_GETDLGCODE answers by control id
};

TEST_F(DialogTest, CreationFromTheTemplateThenInitDialog) {
  int object = 0, firstId = 0, focusId = 0;
  HWND dialog = nullptr;
  RECT rect{}, item{};
  bool shownAtInit = true;
  LOGFONT lf{};
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      dialog = hwnd;
      firstId = GetDlgCtrlID((HWND)wParam);
      shownAtInit = IsWindowVisible(hwnd);
      GetWindowRect(hwnd, &rect);
      GetWindowRect(GetDlgItem(hwnd, 103), &item);
      GetObject((HFONT)SendMessage(hwnd, WM_GETFONT, 0, 0), sizeof lf, &lf);
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      return TRUE;
    }
    if (msg == WM_TEST_STEP) {
      focusId = GetDlgCtrlID(GetFocus());
      EndDialog(hwnd, IsWindowVisible(hwnd) ? 42 : -2);
    }
    return 0;
  };
  EXPECT_EQ(Run(500, nullptr, (LPARAM)&object), 42);
  ASSERT_EQ(EventsOf(WM_INITDIALOG).size(), 1u);
  EXPECT_EQ(EventsOf(WM_INITDIALOG)[0].lParam, (LPARAM)&object);
  EXPECT_EQ(firstId, 101);
  EXPECT_EQ(focusId, 101) << "non-zero: the first tab stop takes the focus";
  EXPECT_FALSE(shownAtInit);
  // The work area; controls in dialog units of 6 x 13 pixels.
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.bottom, 200);
  EXPECT_EQ(item.left, 6);
  EXPECT_EQ(item.top, 20 + 58);
  EXPECT_EQ(item.right, 96);
  EXPECT_EQ(item.bottom, 20 + 78);
  // The template's font: 10 points at 96 dots per inch.
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(lf.lfWeight, 400);
  EXPECT_EQ(std::u16string(lf.lfFaceName), u"Tahoma");
  // Every control, in template order, a child with its own styles.
  std::vector<int> ids;
  for (auto& cs : created_) {
    ids.push_back((int)(intptr_t)cs.hMenu);
    EXPECT_EQ(cs.hwndParent, dialog);
    EXPECT_TRUE(cs.style & WS_CHILD);
  }
  EXPECT_EQ(ids, (std::vector<int>{101, 102, 103, 104, 105, 106}));
  EXPECT_EQ(created_[5].dwExStyle, 0x200u);
  int fonts = 0;
  for (auto& r : Recorder::Get().log) fonts += r.msg == WM_SETFONT && r.wParam != 0;
  EXPECT_EQ(fonts, 6);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(EventsOf(WM_DESTROY).size(), 1u);
}

TEST_F(DialogTest, ZeroFromInitDialogKeepsTheProceduresFocusDefaultFontAndSize) {
  int focusId = 0;
  LOGFONT lf{};
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      SetFocus(GetDlgItem(hwnd, 201));
      GetObject((HFONT)SendMessage(hwnd, WM_GETFONT, 0, 0), sizeof lf, &lf);
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      return FALSE;
    }
    if (msg == WM_TEST_STEP) {
      focusId = GetDlgCtrlID(GetFocus());
      EndDialog(hwnd, 0);
    }
    return 0;
  };
  EXPECT_EQ(Run(501), 0);
  EXPECT_EQ(focusId, 201);
  // A template with a size opens with it at the top of the work area.
  RECT rect{};
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) EndDialog(hwnd, GetWindowRect(hwnd, &rect));
    return 0;
  };
  EXPECT_EQ(Run(503), 1);
  EXPECT_TRUE(rect.left == 0 && rect.top == 20 && rect.right == 175 && rect.bottom == 20 + 29)
      << rect.left << " " << rect.top << " " << rect.right << " " << rect.bottom;
  EXPECT_EQ(focus_, (std::vector<int>{201})) << "no other control had the focus on the way";
  EXPECT_EQ(lf.lfHeight, -11);
  EXPECT_EQ(std::u16string(lf.lfFaceName), u"MS Sans Serif");
}

TEST_F(DialogTest, OwnerDisabledWhileRunningThenEnabledAndFocusedAgain) {
  HWND owner = Top();
  ShowWindow(owner, SW_SHOW);
  SetFocus(owner);
  Recorder::Get().log.clear();
  bool enabledInside = true;
  size_t focusedBeforeDestroy = 99;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) enabledInside = IsWindowEnabled(owner);
    if (msg == WM_DESTROY) focusedBeforeDestroy = Recorder::Get().Of(owner, {WM_SETFOCUS}).size();
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  Script("key enter\n");
  EXPECT_EQ(Run(500, owner), 1);
  Script("key back\n");
  EXPECT_EQ(Run(500, owner), 0);
  EXPECT_FALSE(enabledInside);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_EQ(GetFocus(), owner);
  EXPECT_EQ(focusedBeforeDestroy, 1u) << "the owner is focused after the dialog is gone";
  std::vector<UINT> twice{WM_ENABLE, WM_KILLFOCUS, WM_ENABLE, WM_SETFOCUS};
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_EQ(Recorder::Get().Messages(owner, {WM_KILLFOCUS, WM_SETFOCUS, WM_ENABLE}), twice);
}

TEST_F(DialogTest, NestedDialogEndsFirstAndTheOuterGetsItsFocusBack) {
  HWND outer = nullptr, inner = nullptr;
  INT_PTR innerResult = -7;
  bool outerEnabled = true;
  int focusAfter = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      if (outer) {
        inner = hwnd;
        outerEnabled = IsWindowEnabled(outer);
        return TRUE;
      }
      outer = hwnd;
      SetFocus(GetDlgItem(hwnd, 103));
      return FALSE;
    }
    if (msg == WM_TEST_STEP && hwnd == inner) EndDialog(hwnd, 5);
    if (msg == WM_TEST_STEP && hwnd == outer) {
      innerResult = Run(501, outer);
      focusAfter = GetDlgCtrlID(GetFocus());
      EndDialog(hwnd, 9);
    }
    return 0;
  };
  EXPECT_EQ(Run(500), 9);
  EXPECT_EQ(innerResult, 5);
  EXPECT_FALSE(outerEnabled);
  EXPECT_EQ(focusAfter, 103);
  auto destroyed = EventsOf(WM_DESTROY);
  ASSERT_EQ(destroyed.size(), 2u);
  EXPECT_EQ(destroyed[0].hwnd, inner);
  EXPECT_EQ(destroyed[1].hwnd, outer);
}

TEST_F(DialogTest, ProcedureReturnRules) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  LRESULT handled = 0, unhandled = -5, given = 0, standard = 0, code = 0;
  COLORREF textColour = 0, background = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    switch (msg) {
      case WM_INITDIALOG:
        PostMessage(hwnd, WM_TEST_STEP, 0, 0);
        return TRUE;
      case WM_NOTIFY:
        if (((NMHDR*)lParam)->code != NM_CUSTOMDRAW) return FALSE;
        SetWindowLong(hwnd, DWL_MSGRESULT, CDRF_NOTIFYITEMDRAW);
        return TRUE;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORDLG:
        return GetDlgCtrlID((HWND)lParam) == 102 || msg == WM_CTLCOLORDLG ? (INT_PTR)red : 0;
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
      case WM_TEST_STEP: {
        platform::headless::RunPending();
        background = platform::headless::ScreenPixel(150, 190);
        // A control's notification gets the stored result.
        HWND control = GetDlgItem(hwnd, 101);
        NMHDR hdr{control, 101, NM_CUSTOMDRAW};
        handled = SendMessage(hwnd, WM_NOTIFY, 101, (LPARAM)&hdr);
        hdr.code = NM_CLICK;
        unhandled = SendMessage(hwnd, WM_NOTIFY, 101, (LPARAM)&hdr);
        HDC dc = GetDC(control);
        SetTextColor(dc, RGB(1, 2, 3));
        given = SendMessage(hwnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(hwnd, 102));
        standard = SendMessage(hwnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
        textColour = GetTextColor(dc);
        ReleaseDC(control, dc);
        code = SendMessage(hwnd, WM_GETDLGCODE, 0, 0);
        SendMessage(hwnd, WM_CLOSE, 0, 0);  // means Cancel
        return 0;
      }
    }
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  EXPECT_EQ(Run(500), 0);
  EXPECT_EQ(handled, CDRF_NOTIFYITEMDRAW);
  EXPECT_EQ(unhandled, 0);
  EXPECT_EQ(given, (LRESULT)red);
  EXPECT_EQ(standard, (LRESULT)GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(textColour, GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(background, RGB(255, 0, 0)) << "the background takes the WM_CTLCOLORDLG brush";
  EXPECT_EQ(code, DLGC_WANTALLKEYS);
  EXPECT_EQ(Commands(), (Commanded{{IDCANCEL, BN_CLICKED}}));
  DeleteObject(red);
}

TEST_F(DialogTest, UpAndDownWalkTheTabStopsAndWrap) {
  Script("key down\nkey down\nkey down\nkey up\nkey up\nkey up\nkey enter\n");
  EXPECT_EQ(Run(500), 1);
  EXPECT_EQ(focus_, (std::vector<int>{101, 103, 106, 101, 106, 103, 101}));
  EXPECT_TRUE(keys_.empty()) << "the dialog used every key";
  EXPECT_EQ(Commands(), (Commanded{{IDOK, BN_CLICKED}}));
}

TEST_F(DialogTest, ArrowWantingAndButtonLikeControls) {
  // 103 wants the arrows as a list view does, 106 is button-like.
  codes_[103] = DLGC_WANTARROWS | DLGC_WANTCHARS;
  codes_[106] = DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
  g_onMessage = FocusOnInit(103);
  // On 103 the arrows and the digit arrive and Action is still OK.
  Script("key down\nkey up\nkey 5\nkey enter\n");
  EXPECT_EQ(Run(500), 1);
  EXPECT_EQ(keys_, (std::vector<Key>{{103, WM_KEYDOWN, VK_DOWN}, {103, WM_KEYDOWN, VK_UP},
                                     {103, WM_KEYDOWN, '5'}, {103, WM_CHAR, '5'}}));
  EXPECT_EQ(focus_, (std::vector<int>{103}));
  // On 106 Action goes to the control; Back is Cancel.
  keys_.clear();
  g_events.clear();
  g_onMessage = FocusOnInit(106);
  Script("key enter\nkey back\n");
  EXPECT_EQ(Run(500), 0);
  EXPECT_EQ(keys_, (std::vector<Key>{{106, WM_KEYDOWN, VK_RETURN}, {106, WM_CHAR, 13}}));
  EXPECT_EQ(Commands(), (Commanded{{IDCANCEL, BN_CLICKED}}));
}

TEST_F(DialogTest, BackTakenOverReachesTheDialogThenReturnsToTheOwner) {
  HWND main = Top();
  ShowWindow(main, SW_SHOW);
  platform::SetBackKeyOverride(main, true);
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM lParam) -> INT_PTR {
    // The dialog's bar takes the Back key over and drops it when it goes.
    if (msg == WM_INITDIALOG) platform::SetBackKeyOverride(hwnd, true);
    if (msg == WM_HOTKEY && (LOWORD(lParam) & MOD_KEYUP)) {
      platform::SetBackKeyOverride(hwnd, false);
      EndDialog(hwnd, 3);
    }
    return 0;
  };
  Script("key back\n");
  EXPECT_EQ(Run(500, main), 3);
  EXPECT_EQ(EventsOf(WM_HOTKEY).size(), 2u);
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(Recorder::Get().Of(main, {WM_HOTKEY}).empty());
  // A dialog with no override of its own: the main window's Back is its
  // Cancel while it runs.
  g_onMessage = OkCancelEnds;
  Script("key back\n");
  EXPECT_EQ(Run(500, main), 0);
  EXPECT_TRUE(Recorder::Get().Of(main, {WM_HOTKEY}).empty());
  platform::KeypadKey(VK_ESCAPE, true);
  platform::KeypadKey(VK_ESCAPE, false);
  platform::headless::RunPending();
  EXPECT_EQ(Recorder::Get().Of(main, {WM_HOTKEY}).size(), 2u);
}

TEST_F(DialogTest, OtherWindowsKeepTheirTimersAndPostsWhileTheDialogRuns) {
  HWND main = Top();
  ShowWindow(main, SW_SHOW);
  SetTimer(main, 1000, 300, nullptr);
  std::thread worker([&] { PostMessage(main, WM_USER + 1, 0, 17); });
  worker.join();
  Script("wait 1000\nkey enter\n");
  EXPECT_EQ(Run(500, main), 1);
  EXPECT_EQ(Recorder::Get().Of(main, {WM_TIMER}).size(), 3u);
  auto posts = Recorder::Get().Of(main, {WM_USER + 1});
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, 17);
}

TEST_F(DialogTest, QuitEndsTheDialogAndFailuresGiveMinusOne) {
  g_onMessage = [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) PostQuitMessage(4);
    return 0;
  };
  EXPECT_EQ(Run(500), 0);
  MSG m;
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0)) << "the quit goes on to the outer loop";
  EXPECT_EQ(m.wParam, 4u);

  HWND owner = Top();
  EXPECT_EQ(DialogBoxIndirectParam(nullptr, nullptr, owner, TestDlgProc, 0), -1);
  g_events.clear();
  EXPECT_EQ(Run(502, owner), -1) << "a control that cannot be created";
  EXPECT_TRUE(g_events.empty());
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(FindWindow(WC_DIALOG, nullptr), nullptr);
  EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
}

TEST_F(DialogTest, KeypadOverTheDevicesControls) {
  Commanded notes;
  int delay = 0;
  UINT effect = 9, loop = 9;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
    switch (msg) {
      case WM_INITDIALOG:
        platform::shell::CreatePlainSoftKeyBar(hwnd, u"OK", IDOK, u"Cancel", IDCANCEL);
        SendDlgItemMessage(hwnd, 1044, UDM_SETRANGE, 0, MAKELPARAM(60, 1));
        SetDlgItemInt(hwnd, 1046, 5, FALSE);
        CheckDlgButton(hwnd, 1035, BST_CHECKED);
        SetTimer(hwnd, 5, 50, nullptr);
        return TRUE;
      case WM_TIMER:
        KillTimer(hwnd, 5);
        ExpectScreenMatchesGolden("dialog_settings");
        return 0;
      case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == BN_CLICKED)
          notes.emplace_back(LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == IDOK) {
          delay = (int)GetDlgItemInt(hwnd, 1046, nullptr, FALSE);
          effect = IsDlgButtonChecked(hwnd, 1034);
          loop = IsDlgButtonChecked(hwnd, 1035);
          EndDialog(hwnd, 1);
        }
        return 0;
    }
    return 0;
  };
  // Right steps the edit's partner up; Down reaches the first check box,
  // Action ticks it; two more Downs wrap to the edit, where Action is OK.
  Script("key right\nkey down\nkey enter\nwait 100\nkey down\nkey down\nkey enter\n");
  ASSERT_EQ(Run(510), 1);
  EXPECT_EQ(delay, 6);
  EXPECT_EQ(effect, (UINT)BST_CHECKED);
  EXPECT_EQ(loop, (UINT)BST_CHECKED);
  EXPECT_EQ(notes, (Commanded{{1046, EN_CHANGE}, {1046, EN_CHANGE}, {1034, BN_CLICKED},
                              {IDOK, BN_CLICKED}}));
}

TEST_F(DialogTest, ListViewKeepsTheArrowsAndActionMeansOk) {
  std::vector<int> selected;
  int activations = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      HWND list = GetDlgItem(hwnd, 1035);
      LVCOLUMN column{LVCF_WIDTH, 0, 160, nullptr, 0, 0, 0, 0};
      SendMessage(list, LVM_INSERTCOLUMN, 0, (LPARAM)&column);
      const char16_t* names[] = {u"General", u"Thumbnails", u"Slideshow"};
      for (int i = 0; i < 3; ++i) {
        LVITEM item{LVIF_TEXT, i, 0, 0, 0, (LPWSTR)names[i], 0, 0, 0, 0};
        SendMessage(list, LVM_INSERTITEM, 0, (LPARAM)&item);
      }
      LVITEM state{};
      state.state = state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessage(list, LVM_SETITEMSTATE, 0, (LPARAM)&state);
      SetFocus(list);
      return FALSE;
    }
    if (msg == WM_NOTIFY) {
      auto* nm = (NMLISTVIEW*)lParam;
      if (nm->hdr.code == LVN_ITEMCHANGED && (nm->uNewState & LVIS_SELECTED)) selected.push_back(nm->iItem);
      if (nm->hdr.code == LVN_ITEMACTIVATE) ++activations;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK)
      EndDialog(hwnd, 1 + SendDlgItemMessage(hwnd, 1035, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
    return 0;
  };
  Script("key down\nkey down\nkey up\nkey enter\n");
  EXPECT_EQ(Run(511), 2) << "item 1 was selected when OK came";
  EXPECT_EQ(selected, (std::vector<int>{0, 1, 2, 1}));
  EXPECT_EQ(activations, 0);
}

using DialogItems = DeviceTest;

TEST_F(DialogItems, IntegersTextsAndChecksById) {
  HWND parent = Top();
  HWND item = Child(parent, 10, RECT{0, 0, 10, 10});
  struct Case {
    const char16_t* text;
    BOOL isSigned;
    UINT value;
    BOOL ok;
  } cases[] = {{u"   42", FALSE, 42, TRUE},      {u"12ab", FALSE, 12, TRUE},
               {u"abc", FALSE, 0, FALSE},        {u"  ", FALSE, 0, FALSE},
               {u"-5", FALSE, 0, FALSE},         {u"-5", TRUE, (UINT)-5, TRUE},
               {u"4294967296", FALSE, 0, FALSE}, {u"-2147483648", TRUE, (UINT)INT_MIN, TRUE}};
  for (auto& c : cases) {
    SetDlgItemText(parent, 10, c.text);
    BOOL ok = 7;
    EXPECT_EQ(GetDlgItemInt(parent, 10, &ok, c.isSigned), c.value) << platform::Utf8FromWide(c.text);
    EXPECT_EQ(ok, c.ok) << platform::Utf8FromWide(c.text);
  }
  // Writing goes through WM_SETTEXT, so an edit reports the change at once.
  std::vector<std::u16string> sets;
  UINT checked = 0;
  Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* r) {
    if (hwnd != item) return false;
    if (msg == WM_SETTEXT) sets.push_back((LPCWSTR)lParam);
    if (msg == BM_SETCHECK) checked = (UINT)wParam;
    if (msg == BM_GETCHECK) *r = checked;
    return msg == BM_SETCHECK || msg == BM_GETCHECK;
  };
  EXPECT_TRUE(SetDlgItemInt(parent, 10, 300, FALSE));
  EXPECT_TRUE(SetDlgItemInt(parent, 10, (UINT)-7, TRUE));
  EXPECT_FALSE(SetDlgItemInt(parent, 99, 1, FALSE));
  EXPECT_EQ(sets, (std::vector<std::u16string>{u"300", u"-7"}));
  std::u16string longText(259, u'x');
  SetDlgItemText(parent, 10, longText.c_str());
  WCHAR text[260];
  EXPECT_EQ(GetDlgItemText(parent, 10, text, 260), 259u);
  EXPECT_EQ(GetDlgItemText(parent, 99, text, 260), 0u);
  EXPECT_EQ(text[0], 0) << "a missing item leaves an empty text";
  EXPECT_TRUE(CheckDlgButton(parent, 10, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent, 10), (UINT)BST_CHECKED);
  EXPECT_FALSE(CheckDlgButton(parent, 99, BST_CHECKED));
}

}  // namespace
