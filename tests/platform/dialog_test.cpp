// Modal dialogs in headless runs: creation from templates, the procedure's
// return rules, the dialog's loop, nesting, the owner, the keypad inside a
// dialog and the dialog items, checked by what the procedure and the
// controls receive.
#include <climits>
#include <thread>
#include <tuple>

#include "platform/commctrl.h"
#include "platform/controls/button.h"
#include "platform/shell/soft_key_bar.h"
#include "platform/controls/notify.h"
#include "platform/text/codepage.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"
namespace platform_test {
using namespace testing_support;
}
#include "tests/platform/golden.h"

using namespace platform_test;

namespace {

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
DIALOG 502 "Broken"
  CONTROL 301 "Rec" "fine" 8 8 40 10 STYLE 0x10010000
  CONTROL 302 "NoSuchClass" "" 8 20 40 10 STYLE 0x10010000
END
)";

const UINT WM_TEST_STEP = WM_APP + 7;

struct DlgEvent {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<DlgEvent> g_events;
// What the procedure does; the default handles nothing.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_onMessage;

INT_PTR CALLBACK TestDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  g_events.push_back(DlgEvent{hwnd, msg, wParam, lParam});
  return g_onMessage ? g_onMessage(hwnd, msg, wParam, lParam) : 0;
}

std::vector<DlgEvent> EventsOf(UINT msg) {
  std::vector<DlgEvent> out;
  for (auto& e : g_events)
    if (e.msg == msg) out.push_back(e);
  return out;
}

// Commands the dialog received, as (id, code, lParam).
std::vector<std::tuple<int, int, LPARAM>> Commands() {
  std::vector<std::tuple<int, int, LPARAM>> out;
  for (auto& e : EventsOf(WM_COMMAND)) out.emplace_back(LOWORD(e.wParam), HIWORD(e.wParam), e.lParam);
  return out;
}

class DialogTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::ClearResources();
    std::string error;
    ASSERT_TRUE(platform::AddResourceScript(kScript, "dialog_test.rc", &error)) << error;
    g_events.clear();
    g_onMessage = nullptr;
    // The controls' side, noted while they exist.
    Recorder::Get().handler = [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                     LRESULT* result) {
      int id = GetDlgCtrlID(hwnd);
      if (msg == WM_SETFOCUS && id) focusIds_.push_back(id);
      if (msg == WM_CREATE && id) created_.push_back(*(CREATESTRUCT*)lParam);
      if ((msg == WM_KEYDOWN || msg == WM_CHAR) && id)
        keys_.push_back({id, msg, wParam});
      return controls ? controls(hwnd, msg, wParam, lParam, result) : false;
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
  // The controls that received WM_SETFOCUS, in order.
  std::vector<int> FocusSteps() { return focusIds_; }
  struct Key {
    int id;
    UINT msg;
    WPARAM wParam;
  };
  std::vector<int> focusIds_;
  std::vector<CREATESTRUCT> created_;
  std::vector<Key> keys_;
  // What the "Rec" controls answer.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> controls;
};

// Ends the dialog with 1 on IDOK and 0 on IDCANCEL.
INT_PTR OkCancelEnds(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(hwnd, 1);
  if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, 0);
  return 0;
}

TEST_F(DialogTest, CreationFromTheTemplateThenInitDialogWithTheParameter) {
  int object = 0;
  HWND dialog = nullptr;
  RECT rect{}, item3{};
  int focusAtStep = 0, firstId = 0;
  bool shownAtInit = true, shownAtStep = false;
  WCHAR title[32] = {0}, className[32] = {0}, text[32] = {0};
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      dialog = hwnd;
      firstId = GetDlgCtrlID((HWND)wParam);
      shownAtInit = IsWindowVisible(hwnd);
      GetWindowRect(hwnd, &rect);
      GetWindowText(hwnd, title, 32);
      GetClassName(hwnd, className, 32);
      GetWindowText(GetDlgItem(hwnd, 103), text, 32);
      GetWindowRect(GetDlgItem(hwnd, 103), &item3);
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      return TRUE;
    }
    if (msg == WM_TEST_STEP) {
      focusAtStep = GetDlgCtrlID(GetFocus());
      shownAtStep = IsWindowVisible(hwnd);
      EndDialog(hwnd, 42);
    }
    return 0;
  };
  EXPECT_EQ(Run(500, nullptr, (LPARAM)&object), 42);
  ASSERT_NE(dialog, nullptr);
  // WM_INITDIALOG: the first tab stop and the caller's parameter.
  auto init = EventsOf(WM_INITDIALOG);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].lParam, (LPARAM)&object);
  EXPECT_EQ(firstId, 101);
  // Non-zero from WM_INITDIALOG: the first tab stop has the focus.
  EXPECT_EQ(focusAtStep, 101);
  EXPECT_FALSE(shownAtInit) << "the dialog shows after its initialisation";
  EXPECT_TRUE(shownAtStep);
  EXPECT_EQ(std::u16string(title), u"Plain");
  EXPECT_NE(std::u16string(className), u"Edit");
  // The work area, and control rectangles in dialog units (6 x 13 base).
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right, 176);
  EXPECT_EQ(rect.bottom, 200);
  EXPECT_EQ(std::u16string(text), u"second");
  EXPECT_EQ(item3.left, 6);
  EXPECT_EQ(item3.top, 20 + 58);
  EXPECT_EQ(item3.right, 96);
  EXPECT_EQ(item3.bottom, 20 + 78);
  // Every control was created in template order as a child with its own
  // style bits and the dialog font.
  std::vector<int> created;
  for (auto& cs : created_) {
    created.push_back((int)(intptr_t)cs.hMenu);
    EXPECT_EQ(cs.hwndParent, dialog);
    EXPECT_TRUE(cs.style & WS_CHILD);
    if ((intptr_t)cs.hMenu == 106) {
      EXPECT_EQ(cs.dwExStyle, 0x200u);
    }
    if ((intptr_t)cs.hMenu == 104) {
      EXPECT_TRUE(cs.style & WS_DISABLED);
    }
  }
  std::vector<HWND> fonts;
  for (auto& r : Recorder::Get().log)
    if (r.msg == WM_SETFONT) fonts.push_back((HWND)r.wParam);
  EXPECT_EQ(created, (std::vector<int>{101, 102, 103, 104, 105, 106}));
  ASSERT_EQ(fonts.size(), 6u);
  for (HWND f : fonts) EXPECT_NE(f, nullptr);
  // Gone afterwards, and WM_DESTROY reached the procedure.
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(EventsOf(WM_DESTROY).size(), 1u);
}

TEST_F(DialogTest, ZeroFromInitDialogKeepsTheFocusTheProcedureSet) {
  int focusAtStep = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      SetFocus(GetDlgItem(hwnd, 106));
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      return FALSE;
    }
    if (msg == WM_TEST_STEP) {
      focusAtStep = GetDlgCtrlID(GetFocus());
      EndDialog(hwnd, 0);
    }
    return 0;
  };
  EXPECT_EQ(Run(500), 0);
  EXPECT_EQ(focusAtStep, 106);
  EXPECT_EQ(FocusSteps(), (std::vector<int>{106}));
}

TEST_F(DialogTest, FontFromTheTemplateOrTheDefault) {
  LOGFONT plain{}, inner{};
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      HFONT font = (HFONT)SendMessage(hwnd, WM_GETFONT, 0, 0);
      EXPECT_NE(font, nullptr);
      LOGFONT& lf = GetDlgCtrlID(GetDlgItem(hwnd, 201)) ? inner : plain;
      EXPECT_EQ(GetObject(font, sizeof(LOGFONT), &lf), (int)sizeof(LOGFONT));
      EndDialog(hwnd, 1);
    }
    return 0;
  };
  EXPECT_EQ(Run(500), 1);
  EXPECT_EQ(Run(501), 1);
  // 10 points at 96 dots per inch; "MS Sans Serif" 8 when none is named.
  EXPECT_EQ(plain.lfHeight, -13);
  EXPECT_EQ(plain.lfWeight, 400);
  EXPECT_EQ(std::u16string(plain.lfFaceName), u"Tahoma");
  EXPECT_EQ(inner.lfHeight, -11);
  EXPECT_EQ(inner.lfWeight, 400);
  EXPECT_EQ(std::u16string(inner.lfFaceName), u"MS Sans Serif");
}

TEST_F(DialogTest, OwnerDisabledWhileRunningThenEnabledAndFocusedAgain) {
  HWND owner = Top();
  ShowWindow(owner, SW_SHOW);
  SetFocus(owner);
  Recorder::Get().log.clear();
  bool ownerEnabledInside = true;
  HWND activeInside = nullptr;
  size_t ownerFocusedBeforeDestroy = 99;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_DESTROY) ownerFocusedBeforeDestroy = Recorder::Get().Of(owner, {WM_SETFOCUS}).size();
    if (msg == WM_INITDIALOG) {
      ownerEnabledInside = IsWindowEnabled(owner);
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
    }
    if (msg == WM_TEST_STEP) activeInside = GetActiveWindow();
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  Script("key enter\n");
  EXPECT_EQ(Run(500, owner), 1);
  EXPECT_FALSE(ownerEnabledInside);
  EXPECT_NE(activeInside, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_EQ(GetFocus(), owner);
  // The owner lost the focus to the dialog and got it back after the
  // dialog's WM_DESTROY.
  auto msgs = Recorder::Get().Messages(owner, {WM_KILLFOCUS, WM_SETFOCUS, WM_ENABLE});
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_ENABLE, WM_KILLFOCUS, WM_ENABLE, WM_SETFOCUS}));
  EXPECT_EQ(ownerFocusedBeforeDestroy, 0u);

  // The same with Back: the result 0 comes through.
  Script("key back\n");
  EXPECT_EQ(Run(500, owner), 0);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetFocus(), owner);
}

TEST_F(DialogTest, NestedDialogEndsFirstAndTheOuterGetsItsFocusBack) {
  HWND outer = nullptr, inner = nullptr;
  INT_PTR innerResult = -7;
  bool outerEnabledDuringInner = true;
  int focusAfterInner = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      if (!outer) {
        outer = hwnd;
        SetFocus(GetDlgItem(hwnd, 103));
        PostMessage(hwnd, WM_TEST_STEP, 0, 0);
        return FALSE;
      }
      inner = hwnd;
      outerEnabledDuringInner = IsWindowEnabled(outer);
      PostMessage(hwnd, WM_TEST_STEP, 0, 0);
      return TRUE;
    }
    if (msg == WM_TEST_STEP && hwnd == outer) {
      innerResult = Run(501, outer);
      focusAfterInner = GetDlgCtrlID(GetFocus());
      EndDialog(hwnd, 9);
    }
    if (msg == WM_TEST_STEP && hwnd == inner) EndDialog(hwnd, 5);
    return 0;
  };
  EXPECT_EQ(Run(500), 9);
  EXPECT_EQ(innerResult, 5);
  EXPECT_FALSE(outerEnabledDuringInner);
  EXPECT_EQ(focusAfterInner, 103);
  EXPECT_FALSE(IsWindow(outer));
  EXPECT_FALSE(IsWindow(inner));
  // The inner dialog's destruction came before the outer's.
  std::vector<HWND> destroyed;
  for (auto& e : EventsOf(WM_DESTROY)) destroyed.push_back(e.hwnd);
  EXPECT_EQ(destroyed, (std::vector<HWND>{inner, outer}));
}

TEST_F(DialogTest, ProcedureReturnRules) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  LRESULT notifyHandled = 0, notifyUnhandled = -5, colourGiven = 0, colourDefault = 0, code = 0;
  COLORREF defaultText = 0x123456;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    switch (msg) {
      case WM_INITDIALOG:
        PostMessage(hwnd, WM_TEST_STEP, 0, 0);
        return TRUE;
      case WM_NOTIFY:
        if (((NMHDR*)lParam)->code == NM_CUSTOMDRAW) {
          SetWindowLong(hwnd, DWL_MSGRESULT, CDRF_NOTIFYITEMDRAW);
          return TRUE;
        }
        return FALSE;
      case WM_CTLCOLORSTATIC:
        return GetDlgCtrlID((HWND)lParam) == 102 ? (INT_PTR)red : 0;
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
      case WM_TEST_STEP: {
        HWND control = GetDlgItem(hwnd, 101);
        NMHDR hdr{control, 101, NM_CUSTOMDRAW};
        notifyHandled = SendMessage(hwnd, WM_NOTIFY, 101, (LPARAM)&hdr);
        hdr.code = NM_CLICK;
        notifyUnhandled = SendMessage(hwnd, WM_NOTIFY, 101, (LPARAM)&hdr);
        HDC dc = GetDC(control);
        SetTextColor(dc, RGB(1, 2, 3));
        colourGiven = SendMessage(hwnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(hwnd, 102));
        colourDefault = SendMessage(hwnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
        defaultText = GetTextColor(dc);
        ReleaseDC(control, dc);
        code = SendMessage(hwnd, WM_GETDLGCODE, 0, 0);
        // WM_CLOSE means Cancel.
        SendMessage(hwnd, WM_CLOSE, 0, 0);
        return 0;
      }
    }
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  EXPECT_EQ(Run(500), 0);
  EXPECT_EQ(notifyHandled, CDRF_NOTIFYITEMDRAW);
  EXPECT_EQ(notifyUnhandled, 0);
  EXPECT_EQ(colourGiven, (LRESULT)red);
  EXPECT_EQ(colourDefault, (LRESULT)GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(defaultText, GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(code, DLGC_WANTALLKEYS);
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(std::get<0>(commands[0]), IDCANCEL);
  DeleteObject(red);
}

TEST_F(DialogTest, BackgroundIsWhiteOrTheProcedureBrush) {
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  bool useGreen = false;
  COLORREF seen = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) PostMessage(hwnd, WM_TEST_STEP, 0, 0);
    if (msg == WM_CTLCOLORDLG && useGreen) return (INT_PTR)green;
    if (msg == WM_TEST_STEP) {
      platform::headless::RunPending();
      seen = platform::headless::ScreenPixel(150, 190);
      EndDialog(hwnd, 1);
    }
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  Run(500);
  EXPECT_EQ(seen, RGB(255, 255, 255));
  useGreen = true;
  Run(500);
  EXPECT_EQ(seen, RGB(0, 255, 0));
  DeleteObject(green);
}

TEST_F(DialogTest, UpAndDownWalkTheTabStopsAndWrap) {
  g_onMessage = OkCancelEnds;
  // 101 has the focus; 102 is no tab stop, 104 disabled, 105 hidden.
  Script("key down\nkey down\nkey down\nkey up\nkey up\nkey up\nkey enter\n");
  EXPECT_EQ(Run(500), 1);
  EXPECT_EQ(FocusSteps(), (std::vector<int>{101, 103, 106, 101, 106, 103, 101}));
  // The controls never saw the arrows go down (only go up, as keys do).
  for (auto& k : keys_) ADD_FAILURE() << "key " << k.wParam << " reached control " << k.id;
}

TEST_F(DialogTest, ArrowWantingControlKeepsTheArrowsButActionStillMeansOk) {
  // 103 behaves as a list view: it wants the arrows.
  controls = [](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg == WM_GETDLGCODE && GetDlgCtrlID(hwnd) == 103) {
      *result = DLGC_WANTARROWS | DLGC_WANTCHARS;
      return true;
    }
    return false;
  };
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      SetFocus(GetDlgItem(hwnd, 103));
      return FALSE;
    }
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  Script("key down\nkey up\nkey 5\nkey enter\n");
  EXPECT_EQ(Run(500), 1);
  EXPECT_EQ(FocusSteps(), (std::vector<int>{103}));
  // The control got the arrows and the digit, never the Action key.
  std::vector<WPARAM> keys;
  for (auto& k : keys_) {
    EXPECT_EQ(k.id, 103);
    keys.push_back(k.msg == WM_CHAR ? 0x10000 + k.wParam : k.wParam);
  }
  EXPECT_EQ(keys, (std::vector<WPARAM>{VK_DOWN, VK_UP, '5', 0x10000 + '5'}));
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], std::make_tuple(IDOK, (int)BN_CLICKED, (LPARAM)0));
}

TEST_F(DialogTest, ActionGoesToAButtonLikeControl) {
  controls = [](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg == WM_GETDLGCODE && GetDlgCtrlID(hwnd) == 101) {
      *result = DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      return true;
    }
    return false;
  };
  g_onMessage = OkCancelEnds;
  Script("key enter\nkey back\n");
  EXPECT_EQ(Run(500), 0);
  std::vector<UINT> got;
  for (auto& k : keys_) {
    EXPECT_EQ(k.id, 101);
    EXPECT_EQ(k.wParam, k.msg == WM_CHAR ? 13u : (WPARAM)VK_RETURN);
    got.push_back(k.msg);
  }
  EXPECT_EQ(got, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR}));
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 1u) << "Action made no IDOK";
  EXPECT_EQ(commands[0], std::make_tuple(IDCANCEL, (int)BN_CLICKED, (LPARAM)0));
}

TEST_F(DialogTest, BackIsCancelUnlessTakenOver) {
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      platform::SetBackKeyOverride(hwnd, true);
    }
    if (msg == WM_HOTKEY && (LOWORD(lParam) & MOD_KEYUP)) EndDialog(hwnd, 3);
    return OkCancelEnds(hwnd, msg, wParam, lParam);
  };
  Script("key back\n");
  EXPECT_EQ(Run(500), 3);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(EventsOf(WM_HOTKEY).size(), 2u);

  g_events.clear();
  g_onMessage = OkCancelEnds;
  Script("key back\n");
  EXPECT_EQ(Run(500), 0);
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], std::make_tuple(IDCANCEL, (int)BN_CLICKED, (LPARAM)0));
}

TEST_F(DialogTest, BackReturnsToTheOwnerThatHadItWhenTheDialogEnds) {
  HWND main = Top();
  ShowWindow(main, SW_SHOW);
  platform::SetBackKeyOverride(main, true);
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      // The dialog's bar takes the Back key over, and drops it when it goes.
      platform::SetBackKeyOverride(hwnd, true);
    }
    if (msg == WM_HOTKEY && (LOWORD(lParam) & MOD_KEYUP)) {
      platform::SetBackKeyOverride(hwnd, false);
      EndDialog(hwnd, 0);
    }
    return 0;
  };
  Script("key back\n");
  EXPECT_EQ(Run(500, main), 0);
  EXPECT_TRUE(Recorder::Get().Of(main, {WM_HOTKEY}).empty());
  EXPECT_EQ(platform::BackKeyOverrideOwner(), main);
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
  g_onMessage = OkCancelEnds;
  Script("wait 1000\nkey enter\n");
  EXPECT_EQ(Run(500, main), 1);
  auto timers = Recorder::Get().Of(main, {WM_TIMER});
  EXPECT_EQ(timers.size(), 3u);
  for (auto& t : timers) EXPECT_EQ(t.wParam, 1000u);
  auto posts = Recorder::Get().Of(main, {WM_USER + 1});
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, 17);
}

TEST_F(DialogTest, QuitEndsTheDialogAndReachesTheOuterLoop) {
  g_onMessage = [](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) PostQuitMessage(4);
    (void)hwnd;
    return 0;
  };
  EXPECT_EQ(Run(500), 0);
  MSG m;
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.wParam, 4u);
}

TEST_F(DialogTest, FailuresGiveMinusOne) {
  HWND owner = Top();
  EXPECT_EQ(DialogBoxIndirectParam(nullptr, nullptr, owner, TestDlgProc, 0), -1);
  // A control that cannot be created fails the dialog before it starts.
  EXPECT_EQ(Run(502, owner), -1);
  EXPECT_TRUE(EventsOf(WM_INITDIALOG).empty());
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(FindWindow(WC_DIALOG, nullptr), nullptr);
  EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
}

TEST_F(DialogTest, NextTabItemSkipsWhatCannotTakeTheFocus) {
  std::vector<int> forward, backward;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg != WM_INITDIALOG) return 0;
    HWND at = nullptr;
    for (int i = 0; i < 4; ++i) forward.push_back(GetDlgCtrlID(at = GetNextDlgTabItem(hwnd, at, FALSE)));
    at = nullptr;
    for (int i = 0; i < 4; ++i) backward.push_back(GetDlgCtrlID(at = GetNextDlgTabItem(hwnd, at, TRUE)));
    // From a control that is no tab stop itself.
    forward.push_back(GetDlgCtrlID(GetNextDlgTabItem(hwnd, GetDlgItem(hwnd, 102), FALSE)));
    EndDialog(hwnd, 1);
    return 0;
  };
  Run(500);
  EXPECT_EQ(forward, (std::vector<int>{101, 103, 106, 101, 103}));
  EXPECT_EQ(backward, (std::vector<int>{106, 103, 101, 106}));
}

// The device's own controls inside a dialog, driven by the keypad.
TEST_F(DialogTest, KeypadOverTheDevicesControls) {
  std::vector<std::pair<int, int>> notes;  // (id, code) of WM_COMMAND
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
      case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (code == EN_CHANGE || code == BN_CLICKED) notes.emplace_back(id, code);
        if (id == IDOK) {
          BOOL ok = FALSE;
          delay = (int)GetDlgItemInt(hwnd, 1046, &ok, FALSE);
          effect = IsDlgButtonChecked(hwnd, 1034);
          loop = IsDlgButtonChecked(hwnd, 1035);
          EndDialog(hwnd, 1);
        }
        return 0;
      }
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
  EXPECT_EQ(notes, (std::vector<std::pair<int, int>>{
                       {1046, EN_CHANGE}, {1046, EN_CHANGE}, {1034, BN_CLICKED}, {IDOK, BN_CLICKED}}));
}

TEST_F(DialogTest, ListViewKeepsTheArrowsAndActionMeansOk) {
  std::vector<int> changedItems;
  int activations = 0;
  g_onMessage = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (msg == WM_INITDIALOG) {
      HWND list = GetDlgItem(hwnd, 1035);
      LVCOLUMN column{};
      column.mask = LVCF_WIDTH;
      column.cx = 160;
      SendMessage(list, LVM_INSERTCOLUMN, 0, (LPARAM)&column);
      const char16_t* names[] = {u"General", u"Thumbnails", u"Slideshow"};
      for (int i = 0; i < 3; ++i) {
        LVITEM item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = (LPWSTR)names[i];
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
      if (nm->hdr.code == LVN_ITEMCHANGED && (nm->uNewState & LVIS_SELECTED)) changedItems.push_back(nm->iItem);
      if (nm->hdr.code == LVN_ITEMACTIVATE) ++activations;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
      EndDialog(hwnd, 1 + (int)SendDlgItemMessage(hwnd, 1035, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
    }
    return 0;
  };
  Script("key down\nkey down\nkey up\nkey enter\n");
  EXPECT_EQ(Run(511), 2) << "item 1 was selected when OK came";
  EXPECT_EQ(changedItems, (std::vector<int>{0, 1, 2, 1}));
  EXPECT_EQ(activations, 0);
}

using DialogItems = DeviceTest;

TEST_F(DialogItems, IntegersReadAndWritten) {
  HWND parent = Top();
  HWND item = Child(parent, 10, RECT{0, 0, 10, 10});
  struct Case {
    const char16_t* text;
    BOOL isSigned;
    UINT value;
    BOOL ok;
  } cases[] = {
      {u"42", FALSE, 42, TRUE},          {u"   42", FALSE, 42, TRUE},
      {u"12ab", FALSE, 12, TRUE},        {u"abc", FALSE, 0, FALSE},
      {u"", FALSE, 0, FALSE},            {u"   ", FALSE, 0, FALSE},
      {u"-5", FALSE, 0, FALSE},          {u"-5", TRUE, (UINT)-5, TRUE},
      {u" -", TRUE, 0, FALSE},           {u"4294967295", FALSE, 4294967295u, TRUE},
      {u"4294967296", FALSE, 0, FALSE},  {u"2147483648", TRUE, 0, FALSE},
      {u"-2147483648", TRUE, (UINT)INT_MIN, TRUE},
  };
  for (auto& c : cases) {
    SetDlgItemText(parent, 10, c.text);
    BOOL ok = 7;
    EXPECT_EQ(GetDlgItemInt(parent, 10, &ok, c.isSigned), c.value) << platform::Utf8FromWide(c.text);
    EXPECT_EQ(ok, c.ok);
  }
  BOOL ok = 7;
  EXPECT_EQ(GetDlgItemInt(parent, 99, &ok, FALSE), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetDlgItemInt(parent, 10, nullptr, FALSE), 0u) << "no flag wanted";

  // Writing goes through WM_SETTEXT, so an edit reports the change at once.
  std::vector<std::u16string> sets;
  Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM lParam, LRESULT*) {
    if (hwnd == item && msg == WM_SETTEXT) sets.push_back((LPCWSTR)lParam);
    return false;
  };
  EXPECT_TRUE(SetDlgItemInt(parent, 10, 300, FALSE));
  EXPECT_EQ(sets, (std::vector<std::u16string>{u"300"}));
  SetDlgItemInt(parent, 10, (UINT)-7, TRUE);
  WCHAR text[300];
  EXPECT_EQ(GetDlgItemText(parent, 10, text, 300), 2u);
  EXPECT_EQ(std::u16string(text), u"-7");
  SetDlgItemInt(parent, 10, (UINT)-7, FALSE);
  GetDlgItemText(parent, 10, text, 300);
  EXPECT_EQ(std::u16string(text), u"4294967289");
  EXPECT_FALSE(SetDlgItemInt(parent, 99, 1, FALSE));
}

TEST_F(DialogItems, TextsChecksAndMessagesById) {
  HWND parent = Top();
  HWND item = Child(parent, 10, RECT{0, 0, 10, 10});
  std::u16string longText(259, u'x');
  EXPECT_TRUE(SetDlgItemText(parent, 10, longText.c_str()));
  WCHAR text[260];
  EXPECT_EQ(GetDlgItemText(parent, 10, text, 260), 259u);
  EXPECT_EQ(std::u16string(text), longText);
  WCHAR small[4] = {u'?', u'?', u'?', u'?'};
  EXPECT_EQ(GetDlgItemText(parent, 99, small, 4), 0u);
  EXPECT_EQ(small[0], 0) << "a missing item leaves an empty text";

  UINT checked = BST_UNCHECKED;
  Recorder::Get().handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM, LRESULT* result) {
    if (hwnd != item) return false;
    if (msg == BM_SETCHECK) checked = (UINT)wParam;
    if (msg == BM_GETCHECK) *result = checked;
    return msg == BM_SETCHECK || msg == BM_GETCHECK;
  };
  EXPECT_TRUE(CheckDlgButton(parent, 10, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent, 10), (UINT)BST_CHECKED);
  EXPECT_TRUE(CheckDlgButton(parent, 10, BST_UNCHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent, 10), (UINT)BST_UNCHECKED);
  EXPECT_FALSE(CheckDlgButton(parent, 99, BST_CHECKED));
  EXPECT_EQ(Recorder::Get().Messages(item, {BM_SETCHECK, BM_GETCHECK}),
            (std::vector<UINT>{BM_SETCHECK, BM_GETCHECK, BM_SETCHECK, BM_GETCHECK}));
  EXPECT_EQ(SendDlgItemMessage(parent, 10, BM_GETCHECK, 0, 0), 0);
  EXPECT_EQ(SendDlgItemMessage(parent, 99, BM_GETCHECK, 0, 0), 0);
}

}  // namespace
