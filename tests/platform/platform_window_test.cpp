// The window manager and message loop in headless runs: creation, binding,
// destruction, painting, timers in virtual time, threads, filters, modal
// loops, keys and scroll bars, checked by the messages windows receive.
#include <array>
#include <thread>

#include "tests/platform/platform_fixture.h"

using namespace platform_test;

namespace {

std::array<LONG, 4> Edges(RECT r) { return {r.left, r.top, r.right, r.bottom}; }

class WindowManager : public DeviceTest {
 protected:
  HWND Shown() {
    HWND w = Top();
    ShowWindow(w, SW_SHOW);
    return w;
  }
};

TEST_F(WindowManager, CreationPassesTheParameterThenSizesToTheWorkArea) {
  int object = 42;
  LPVOID seen = nullptr;
  Recorder::Get().handler = [&](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT*) {
    if (msg == WM_CREATE) seen = ((CREATESTRUCT*)lParam)->lpCreateParams;
    return false;
  };
  HWND w = Top(WS_CLIPCHILDREN, &object);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(seen, &object);
  auto msgs = Recorder::Get().Messages(w);
  ASSERT_GE(msgs.size(), 2u);
  EXPECT_EQ(msgs[0], (UINT)WM_CREATE);
  EXPECT_EQ(msgs[1], (UINT)WM_SIZE);
  // The empty rectangle gives a top-level window the work area: between the
  // 20-pixel task bar and the 20-pixel soft-key bar.
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(Edges(r), (std::array<LONG, 4>{0, 20, 176, 200}));
  auto size = Recorder::Get().Of(w, {WM_SIZE});
  EXPECT_EQ(LOWORD(size[0].lParam), 176);
  EXPECT_EQ(HIWORD(size[0].lParam), 180);
  EXPECT_FALSE(IsWindowVisible(w));
}

TEST_F(WindowManager, CreationFailsForAnUnknownClassOrARefusingProcedure) {
  EXPECT_EQ(CreateWindowEx(0, u"NoSuchClass", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  Recorder::Get().handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* r) {
    if (msg != WM_CREATE) return false;
    *r = -1;
    return true;
  };
  EXPECT_EQ(Top(), nullptr);
}

TEST_F(WindowManager, ClassRegistrationAndClassNames) {
  WNDCLASS wc{};
  EXPECT_TRUE(GetClassInfo(nullptr, u"rec", &wc));
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = u"Rec";
  EXPECT_EQ(RegisterClass(&wc), 0) << "a second registration is refused";
  HWND w = Top();
  WCHAR name[64];
  EXPECT_EQ(GetClassName(w, name, 64), 3);
  EXPECT_EQ(std::u16string(name), u"Rec");
  EXPECT_EQ(GetClassName(w, name, 2), 1) << "the name is cut to the buffer";
  EXPECT_EQ(FindWindow(u"Rec", nullptr), w);
  EXPECT_EQ(FindWindow(u"Other", nullptr), nullptr);
}

TEST_F(WindowManager, WindowWordsAndSubclassing) {
  HWND w = Top();
  EXPECT_EQ(GetWindowLong(w, GWL_USERDATA), 0) << "the user-data word is the program's";
  int object = 0;
  SetWindowLong(w, GWL_USERDATA, (LONG_PTR)&object);
  EXPECT_EQ(GetWindowLong(w, GWL_USERDATA), (LONG_PTR)&object);
  static WNDPROC original;
  static std::vector<UINT> seenBySubclass;
  seenBySubclass.clear();
  original = (WNDPROC)SetWindowLong(w, GWL_WNDPROC, (LONG_PTR)+[](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    seenBySubclass.push_back(m);
    if (m == WM_USER + 7) return 99;
    return CallWindowProc(original, h, m, wp, lp);
  });
  EXPECT_EQ(original, RecordingProc);
  Recorder::Get().log.clear();
  EXPECT_EQ(SendMessage(w, WM_USER + 7, 0, 0), 99);
  SendMessage(w, WM_USER + 8, 0, 0);
  EXPECT_EQ(seenBySubclass, (std::vector<UINT>{WM_USER + 7, WM_USER + 8}));
  EXPECT_EQ(Recorder::Get().Messages(w), (std::vector<UINT>{WM_USER + 8}))
      << "only unhandled messages reach the original procedure";
  SetWindowLong(w, GWL_WNDPROC, (LONG_PTR)original);
  EXPECT_EQ(GetWindowLong(w, GWL_WNDPROC), (LONG_PTR)RecordingProc);
}

TEST_F(WindowManager, DestroyReachesTheWindowThenItsChildrenWhileTheyExist) {
  HWND top = Top();
  HWND a = Child(top, 1, RECT{0, 0, 10, 10});
  HWND b = Child(a, 2, RECT{0, 0, 5, 5});
  bool childAliveDuringParentDestroy = false;
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg == WM_DESTROY && h == top) childAliveDuringParentDestroy = IsWindow(a) && IsWindow(b);
    return false;
  };
  Recorder::Get().log.clear();
  EXPECT_TRUE(DestroyWindow(top));
  std::vector<HWND> order;
  for (auto& r : Recorder::Get().log)
    if (r.msg == WM_DESTROY) order.push_back(r.hwnd);
  EXPECT_EQ(order, (std::vector<HWND>{top, a, b}));
  EXPECT_TRUE(childAliveDuringParentDestroy);
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(WindowManager, PostedCloseDestroysThroughDefaultProcessing) {
  HWND w = Top();
  PostMessage(w, WM_CLOSE, 0, 0);
  platform::headless::RunPending();
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowManager, ParentsChildrenAndDialogItems) {
  HWND top = Top();
  HWND a = Child(top, 1001, RECT{0, 0, 10, 10});
  HWND b = Child(top, 1002, RECT{10, 0, 20, 10});
  EXPECT_EQ(GetParent(a), top);
  EXPECT_EQ(GetDlgItem(top, 1002), b);
  EXPECT_EQ(GetDlgCtrlID(a), 1001);
  EXPECT_EQ(GetDlgItem(top, 5), nullptr);
  EXPECT_TRUE(IsChild(top, b));
  EXPECT_FALSE(IsChild(a, b));
}

TEST_F(WindowManager, PaintIsCoalescedAndComesAfterPostedMessages) {
  HWND w = Shown();
  platform::headless::RunPending();
  std::vector<RECT> painted;
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (msg == WM_PAINT && h == w) {
      PAINTSTRUCT ps;
      BeginPaint(h, &ps);
      painted.push_back(ps.rcPaint);
      EndPaint(h, &ps);
      return true;
    }
    return false;
  };
  Recorder::Get().log.clear();
  RECT a{10, 10, 20, 20}, b{30, 5, 40, 15};
  InvalidateRect(w, &a, FALSE);
  PostMessage(w, WM_USER + 1, 0, 0);
  InvalidateRect(w, &b, FALSE);
  PostMessage(w, WM_USER + 2, 0, 0);
  platform::headless::RunPending();
  EXPECT_EQ(Recorder::Get().Messages(w, {WM_PAINT, WM_USER + 1, WM_USER + 2}),
            (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT}));
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(Edges(painted[0]), (std::array<LONG, 4>{10, 5, 40, 20}));
}

TEST_F(WindowManager, UpdateWindowPaintsBeforeReturningAndValidateRectCancels) {
  HWND w = Shown();
  platform::headless::RunPending();
  Recorder::Get().log.clear();
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  EXPECT_EQ(Recorder::Get().Messages(w, {WM_PAINT}).size(), 1u);
  Recorder::Get().log.clear();
  InvalidateRect(w, nullptr, FALSE);
  ValidateRect(w, nullptr);
  platform::headless::RunPending();
  EXPECT_TRUE(Recorder::Get().Messages(w, {WM_PAINT}).empty());
}

TEST_F(WindowManager, TimersFireInVirtualTimeInOrderWithTheirPeriods) {
  HWND w = Top();
  SetTimer(w, 1000, 100, nullptr);
  SetTimer(w, 1001, 250, nullptr);
  platform::headless::AdvanceTime(1000);
  std::vector<std::pair<WPARAM, DWORD>> ticks;
  for (auto& r : Recorder::Get().Of(w, {WM_TIMER})) ticks.push_back({r.wParam, r.tick});
  // Expected: every multiple of each period, the earlier-set timer first at
  // equal times.
  std::vector<std::pair<WPARAM, DWORD>> expected;
  for (DWORD t = 1; t <= 1000; ++t) {
    if (t % 100 == 0) expected.push_back({1000, t});
    if (t % 250 == 0) expected.push_back({1001, t});
  }
  EXPECT_EQ(ticks, expected);
  EXPECT_EQ(GetTickCount(), 1000u);
}

TEST_F(WindowManager, SettingATimerAgainRestartsItAndKillStopsIt) {
  HWND w = Top();
  SetTimer(w, 1000, 100, nullptr);
  platform::headless::AdvanceTime(60);
  SetTimer(w, 1000, 100, nullptr);
  platform::headless::AdvanceTime(100);
  auto t = Recorder::Get().Of(w, {WM_TIMER});
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].tick, 160u);
  KillTimer(w, 1000);
  platform::headless::AdvanceTime(1000);
  EXPECT_EQ(Recorder::Get().Of(w, {WM_TIMER}).size(), 1u);
}

TEST_F(WindowManager, TimerExpiriesCoalesceWhileTheThreadIsBusy) {
  HWND w = Top();
  SetTimer(w, 7, 10, nullptr);
  Sleep(1000);  // the UI thread is busy: virtual time passes without messages
  platform::headless::RunPending();
  EXPECT_EQ(Recorder::Get().Of(w, {WM_TIMER}).size(), 1u);
}

TEST_F(WindowManager, SameTimerIdOnTwoWindowsIsTwoTimers) {
  HWND a = Top();
  HWND b = Top();
  SetTimer(a, 1000, 30, nullptr);
  SetTimer(b, 1000, 70, nullptr);
  platform::headless::AdvanceTime(210);
  EXPECT_EQ(Recorder::Get().Of(a, {WM_TIMER}).size(), 7u);
  EXPECT_EQ(Recorder::Get().Of(b, {WM_TIMER}).size(), 3u);
}

TEST_F(WindowManager, WorkerPostsArriveInOrderAndSendsRunOnTheUiThread) {
  HWND w = Top();
  std::thread::id uiThread = std::this_thread::get_id();
  std::thread::id handlerThread;
  Recorder::Get().handler = [&](HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT* r) {
    if (msg == WM_USER + 50) {
      handlerThread = std::this_thread::get_id();
      *r = (LRESULT)wParam * 2;
      return true;
    }
    return false;
  };
  LRESULT sent = 0;
  std::thread worker([&] {
    for (int i = 0; i < 200; ++i) PostMessage(w, WM_USER + 1, i, 0);
    sent = SendMessage(w, WM_USER + 50, 21, 0);
    PostMessage(w, WM_USER + 2, 0, 0);
  });
  platform::headless::SetQuitWhenScriptEnds(false);
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    DispatchMessage(&msg);
    if (msg.message == WM_USER + 2) break;
  }
  worker.join();
  EXPECT_EQ(sent, 42);
  EXPECT_EQ(handlerThread, uiThread);
  auto posted = Recorder::Get().Of(w, {WM_USER + 1});
  ASSERT_EQ(posted.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(posted[i].wParam, (WPARAM)i);
}

TEST_F(WindowManager, PeekMessageFiltersByWindowAndRange) {
  HWND a = Top();
  HWND b = Top();
  PostMessage(a, WM_USER + 1, 1, 0);
  PostMessage(b, WM_USER + 1, 2, 0);
  PostMessage(a, WM_USER + 5, 3, 0);
  PostMessage(a, WM_USER + 1, 4, 0);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, a, WM_USER + 1, WM_USER + 1, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 1u);
  std::vector<WPARAM> drained;
  while (PeekMessage(&m, a, WM_USER + 1, WM_USER + 1, PM_REMOVE)) drained.push_back(m.wParam);
  EXPECT_EQ(drained, (std::vector<WPARAM>{1, 4}));
  std::vector<WPARAM> rest;
  while (PeekMessage(&m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE)) rest.push_back(m.wParam);
  EXPECT_EQ(rest, (std::vector<WPARAM>{2, 3}));
}

TEST_F(WindowManager, QuitEndsGetMessageWithItsCode) {
  PostQuitMessage(7);
  MSG m;
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
}

TEST_F(WindowManager, NestedModalLoopKeepsDispatchingTimersAndPosts) {
  HWND main = Top();
  int innerTimers = 0;
  bool innerDone = false;
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM wParam, LPARAM, LRESULT*) {
    if (h == main && msg == WM_COMMAND && wParam == 1) {
      // A modal loop of its own until the "close" command arrives.
      SetTimer(main, 5, 100, nullptr);
      MSG m;
      while (!innerDone && GetMessage(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessage(&m);
      }
      KillTimer(main, 5);
      return true;
    }
    if (h == main && msg == WM_TIMER && wParam == 5 && ++innerTimers == 3)
      PostMessage(main, WM_COMMAND, 2, 0);
    if (h == main && msg == WM_COMMAND && wParam == 2) innerDone = true;
    return false;
  };
  PostMessage(main, WM_COMMAND, 1, 0);
  std::string error;
  ASSERT_TRUE(platform::headless::AddScript("wait 1000\n", &error)) << error;
  MSG m;
  while (GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
  EXPECT_TRUE(innerDone);
  EXPECT_EQ(innerTimers, 3);
  auto cmds = Recorder::Get().Of(main, {WM_COMMAND});
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[1].tick, 300u);
}

TEST_F(WindowManager, FocusMessagesAreSentInOrder) {
  HWND top = Top();
  HWND a = Child(top, 1, RECT{0, 0, 10, 10});
  HWND b = Child(top, 2, RECT{10, 0, 20, 10});
  ShowWindow(top, SW_SHOW);
  EXPECT_EQ(GetFocus(), top) << "an activated window receives the focus";
  SetFocus(a);
  Recorder::Get().log.clear();
  EXPECT_EQ(SetFocus(b), a);
  std::vector<std::pair<HWND, UINT>> seq;
  for (auto& r : Recorder::Get().log)
    if (r.msg == WM_SETFOCUS || r.msg == WM_KILLFOCUS) seq.push_back({r.hwnd, r.msg});
  EXPECT_EQ(seq, (std::vector<std::pair<HWND, UINT>>{{a, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));
  EXPECT_EQ(GetFocus(), b);
}

TEST_F(WindowManager, ClosingASecondWindowGivesTheFocusBackToTheFirst) {
  HWND main = Shown();
  HWND dialog = Shown();
  EXPECT_EQ(GetForegroundWindow(), dialog);
  Recorder::Get().log.clear();
  DestroyWindow(dialog);
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_EQ(GetFocus(), main);
  EXPECT_EQ(Recorder::Get().Messages(main, {WM_SETFOCUS}).size(), 1u);
}

TEST_F(WindowManager, SetForegroundWindowAcceptsAHandleWithTheLowBitSet) {
  HWND main = Shown();
  Shown();  // another window comes to the front
  EXPECT_TRUE(SetForegroundWindow((HWND)((uintptr_t)main | 1)));
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_EQ(GetFocus(), main);
}

struct KeyEvent {
  UINT msg;
  WPARAM wParam;
  bool operator==(const KeyEvent& o) const { return msg == o.msg && wParam == o.wParam; }
};

std::vector<KeyEvent> KeysOf(HWND w) {
  std::vector<KeyEvent> out;
  for (auto& r : Recorder::Get().Of(w, {WM_KEYDOWN, WM_KEYUP, WM_CHAR})) out.push_back({r.msg, r.wParam});
  return out;
}

// Keys and typed text reach the focused window; soft keys never arrive as key messages.
TEST_F(WindowManager, KeypadKeysAndTypedTextReachTheFocus) {
  struct Row {
    const char* name;
    const char* script;
    std::vector<KeyEvent> keys;
  };
  const Row rows[] = {
      {"digits and action give characters",
       "key 5\nkey enter\nkey up\nkey F1\nkey F2\nkey star\n",
       {{WM_KEYDOWN, '5'}, {WM_CHAR, '5'}, {WM_KEYUP, '5'},
        {WM_KEYDOWN, VK_RETURN}, {WM_CHAR, 13}, {WM_KEYUP, VK_RETURN},
        {WM_KEYDOWN, VK_UP}, {WM_KEYUP, VK_UP},
        {WM_KEYDOWN, VK_F8}, {WM_KEYUP, VK_F8}}},
      {"typed text is characters, digits are keys",
       "type a\xC3\xA9 1\n",
       {{WM_CHAR, u'a'}, {WM_CHAR, 0xE9}, {WM_CHAR, u' '},
        {WM_KEYDOWN, '1'}, {WM_CHAR, '1'}, {WM_KEYUP, '1'}}},
      {"back without the override is a plain key",
       "key back\n",
       {{WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}}},
  };
  HWND top = Top();
  HWND view = Child(top, 1, RECT{0, 0, 50, 50});
  ShowWindow(top, SW_SHOW);
  SetFocus(view);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Recorder::Get().log.clear();
    RunScript(row.script);
    EXPECT_EQ(KeysOf(view), row.keys);
    EXPECT_TRUE(KeysOf(top).empty());
  }
}

TEST_F(WindowManager, HashKeyIsAHotKeyOnlyWhileRegistered) {
  HWND main = Top();
  HWND view = Child(main, 1, RECT{0, 0, 50, 50});
  ShowWindow(main, SW_SHOW);
  SetFocus(view);
  ASSERT_TRUE(RegisterHotKey(main, 400, 0, VK_F9));
  RunScript("key hash\n");
  auto hot = Recorder::Get().Of(main, {WM_HOTKEY});
  ASSERT_EQ(hot.size(), 1u);
  EXPECT_EQ(hot[0].wParam, 400u);
  EXPECT_EQ(HIWORD(hot[0].lParam), 120);
  EXPECT_EQ(LOWORD(hot[0].lParam), 0);
  EXPECT_TRUE(KeysOf(view).empty());
  UnregisterHotKey(main, 400);
  RunScript("key hash\n");
  EXPECT_EQ(KeysOf(view), (std::vector<KeyEvent>{{WM_KEYDOWN, VK_F9}, {WM_KEYUP, VK_F9}}));
  EXPECT_EQ(Recorder::Get().Of(main, {WM_HOTKEY}).size(), 1u);
}

TEST_F(WindowManager, BackOverrideReportsPressHoldAndRelease) {
  HWND main = Shown();
  platform::SetBackKeyOverride(main, true);
  RunScript("hold back 1500\nkey back\n");
  std::vector<std::pair<WORD, DWORD>> seen;
  for (auto& r : Recorder::Get().Of(main, {WM_HOTKEY})) {
    EXPECT_EQ(HIWORD(r.lParam), 27);
    seen.push_back({LOWORD(r.lParam), r.tick});
  }
  // Held 1500 ms: press, held once at the 800 ms threshold, release; then a
  // short press: press and release only.
  EXPECT_EQ(seen, (std::vector<std::pair<WORD, DWORD>>{
                      {0, 0}, {0x8000, 800}, {0x1000, 1500}, {0, 1500}, {0x1000, 1500}}));
  EXPECT_TRUE(KeysOf(main).empty());
}

TEST_F(WindowManager, ScrollBarsShowWithTheirValuesShrinkTheClientAndSendSize) {
  HWND main = Top();
  HWND view = Child(main, 0, RECT{0, 0, 176, 180});
  Recorder::Get().log.clear();
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 400, 180, 0, 0};
  SetScrollInfo(view, SB_VERT, &si, TRUE);
  EXPECT_TRUE(GetWindowLong(view, GWL_STYLE) & WS_VSCROLL);
  RECT c;
  GetClientRect(view, &c);
  EXPECT_EQ(c.right, 176 - GetSystemMetrics(SM_CXVSCROLL));
  auto sizes = Recorder::Get().Of(view, {WM_SIZE});
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(LOWORD(sizes[0].lParam), 168);
  EXPECT_EQ(HIWORD(sizes[0].lParam), 180);
  // All zero empties the bar: it goes, and the client grows back.
  SCROLLINFO none{sizeof none, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  SetScrollInfo(view, SB_VERT, &none, TRUE);
  EXPECT_FALSE(GetWindowLong(view, GWL_STYLE) & WS_VSCROLL);
  sizes = Recorder::Get().Of(view, {WM_SIZE});
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_EQ(LOWORD(sizes[1].lParam), 176);
  // A page as large as the range hides the bar too.
  SCROLLINFO whole{sizeof whole, SIF_RANGE | SIF_PAGE, 0, 99, 100, 0, 0};
  SetScrollInfo(view, SB_HORZ, &whole, TRUE);
  EXPECT_FALSE(GetWindowLong(view, GWL_STYLE) & WS_HSCROLL);
}

TEST_F(WindowManager, ScrollPositionsAreKeptInsideTheRange) {
  HWND view = Top();
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 500, 0};
  EXPECT_EQ(SetScrollInfo(view, SB_VERT, &si, TRUE), 90);
  EXPECT_EQ(SetScrollPos(view, SB_VERT, -5, TRUE), 90);
  EXPECT_EQ(GetScrollPos(view, SB_VERT), 0);
  SCROLLINFO out{sizeof out, SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  GetScrollInfo(view, SB_VERT, &out);
  EXPECT_EQ(out.nPage, 10u);
  EXPECT_EQ(out.nPos, 0);
}

TEST_F(WindowManager, ClicksOnAScrollBarBecomeScrollRequests) {
  HWND main = Top();
  HWND view = Child(main, 0, RECT{0, 0, 176, 180});
  ShowWindow(main, SW_SHOW);
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 999, 100, 0, 0};
  SetScrollInfo(view, SB_VERT, &si, TRUE);
  platform::headless::RunPending();
  Recorder::Get().log.clear();
  // The bar runs down the right edge of the view (screen x 168..175, y 20..199);
  // the thumb is at the top, so a click near the bottom pages down.
  RunScript("click 171 190\n");
  auto req = Recorder::Get().Of(view, {WM_VSCROLL});
  ASSERT_GE(req.size(), 1u);
  EXPECT_EQ(LOWORD(req[0].wParam), SB_PAGEDOWN);
  EXPECT_EQ(req[0].lParam, 0);
}

TEST_F(WindowManager, ClicksOnTheScreenReachTheWindowUnderThemInClientCoordinates) {
  HWND main = Top();
  HWND view = Child(main, 0, RECT{10, 10, 60, 60});
  ShowWindow(main, SW_SHOW);
  RunScript("click 15 35\nclick 100 100\n");
  auto viewClicks = Recorder::Get().Of(view, {WM_LBUTTONDOWN, WM_LBUTTONUP});
  ASSERT_EQ(viewClicks.size(), 2u);
  EXPECT_EQ(viewClicks[0].msg, (UINT)WM_LBUTTONDOWN);
  EXPECT_EQ(viewClicks[1].msg, (UINT)WM_LBUTTONUP);
  // Screen (15, 35) is main's client (15, 15), the view's (5, 5).
  EXPECT_EQ(GET_X_LPARAM(viewClicks[0].lParam), 5);
  EXPECT_EQ(GET_Y_LPARAM(viewClicks[0].lParam), 5);
  auto mainClicks = Recorder::Get().Of(main, {WM_LBUTTONDOWN, WM_LBUTTONUP});
  ASSERT_EQ(mainClicks.size(), 2u);
  EXPECT_EQ(GET_X_LPARAM(mainClicks[0].lParam), 100);
  EXPECT_EQ(GET_Y_LPARAM(mainClicks[0].lParam), 80);
}

TEST_F(WindowManager, ClientChangesFromStyleRewritesSendSize) {
  HWND main = Top();
  HWND list = Child(main, 1001, RECT{0, 0, 100, 100});
  Recorder::Get().log.clear();
  SetWindowLong(list, GWL_STYLE, GetWindowLong(list, GWL_STYLE) | WS_BORDER | WS_HSCROLL);
  RECT c;
  GetClientRect(list, &c);
  EXPECT_EQ(c.right, 98);
  EXPECT_EQ(c.bottom, 98 - GetSystemMetrics(SM_CYHSCROLL));
  EXPECT_EQ(Recorder::Get().Of(list, {WM_SIZE}).size(), 1u);
}

TEST_F(WindowManager, MovingAndSizingSendSizeAndHidingKeepsTheFocus) {
  HWND main = Top();
  HWND view = Child(main, 0, RECT{0, 0, 176, 180});
  ShowWindow(main, SW_SHOW);
  SetFocus(view);
  Recorder::Get().log.clear();
  // Full screen without repaint, then back.
  MoveWindow(main, 0, 0, 176, 220, FALSE);
  auto sizes = Recorder::Get().Of(main, {WM_SIZE});
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(HIWORD(sizes[0].lParam), 220);
  MoveWindow(main, 0, 20, 176, 180, TRUE);
  sizes = Recorder::Get().Of(main, {WM_SIZE});
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_EQ(HIWORD(sizes[1].lParam), 180);
  MoveWindow(main, 0, 20, 176, 180, TRUE);
  EXPECT_EQ(Recorder::Get().Of(main, {WM_SIZE}).size(), 2u) << "no change, no WM_SIZE";
  ShowWindow(view, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(view));
  EXPECT_EQ(GetFocus(), view) << "hiding does not move the focus";
  ShowWindow(view, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(view));
}

TEST_F(WindowManager, TextOfWindowsGoesThroughTheirProcedure) {
  HWND w = Top();
  EXPECT_TRUE(SetWindowText(w, u"Properties"));
  WCHAR buffer[64];
  EXPECT_EQ(GetWindowText(w, buffer, 64), 10);
  EXPECT_EQ(std::u16string(buffer), u"Properties");
  EXPECT_EQ(GetWindowTextLength(w), 10);
  EXPECT_EQ(GetWindowText(w, buffer, 5), 4);
  EXPECT_EQ(std::u16string(buffer), u"Prop");
  EXPECT_EQ(Recorder::Get().Messages(w, {WM_SETTEXT}).size(), 1u);
}

TEST_F(WindowManager, WaitCursorIsAStateTheProgramSetsAndRestores) {
  HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  ASSERT_NE(wait, nullptr);
  HCURSOR old = SetCursor(wait);
  EXPECT_EQ(GetCursor(), wait);
  SetCursor(old);
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_ARROW));
}

TEST_F(WindowManager, SystemMetricsFollowTheScreenProfile) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 176);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 220);
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 8);
  platform::StopDevice();
  platform::DeviceOptions o;
  o.screen = platform::ProfileForSize(240, 320);
  StartWith(o);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
  EXPECT_EQ(GetSystemMetrics(SM_CYHSCROLL), 11);
  HWND w = Top();
  RECT r;
  GetClientRect(w, &r);
  EXPECT_EQ(r.bottom, 320 - 26 - 26);
}

}  // namespace
