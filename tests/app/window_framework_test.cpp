// Window objects and the shared window procedure: binding on WM_CREATE,
// rows for commands (ranges, codes, lParam), notifications (one control
// and code, or every one), the result rules of each message with its
// parameters unpacked, subclassing an existing control, unbinding and
// auto-delete on WM_DESTROY, class registration, and the bitmap list.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/window/bitmap_list.h"
#include "app/window/list_ctrl.h"
#include "app/window/wnd.h"
#include "tests/platform/platform_fixture.h"

namespace {

using platform_test::Recorder;

struct Call {
  UINT msg;
  std::vector<long long> args;
};

// Answers of the previous procedure (the recording class) so that tests
// see whether a message was passed on.
constexpr LRESULT kPassedOn = 77;

class CProbe : public CWindow {
 public:
  explicit CProbe(bool autoDelete = false, const MessageMapEntry* map = kMessageMap)
      : CWindow(GetModuleHandle(nullptr), map, autoDelete) {}
  ~CProbe() override { ++deleted; }

  static int deleted;
  std::vector<Call> calls;
  LRESULT createResult = 0;
  LRESULT answer = 5;          // what most handlers return
  LRESULT notifyWord = 40;     // written by the notification handlers
  LRESULT anyNotifyResult = 1; // what the every-notification handler returns
  HWND handleAtCreate = nullptr;
  HWND handleAtDestroy = nullptr;
  LONG_PTR userDataAtDestroy = 0;
  LPVOID createParam = nullptr;

  static const MessageMapEntry kMessageMap[];

  const Call* Last() const { return calls.empty() ? nullptr : &calls.back(); }

 private:
  LRESULT Log(UINT msg, std::vector<long long> args = {}) {
    calls.push_back(Call{msg, std::move(args)});
    return answer;
  }
  LRESULT OnCreate(CREATESTRUCT* cs) {
    handleAtCreate = Handle();
    createParam = cs->lpCreateParams;
    calls.push_back(Call{WM_CREATE, {}});
    return createResult;
  }
  LRESULT OnDestroy() {
    handleAtDestroy = Handle();
    userDataAtDestroy = Handle() ? GetWindowLong(Handle(), GWL_USERDATA) : 0;
    return Log(WM_DESTROY);
  }
  LRESULT OnSize(WPARAM type, int w, int h) { return Log(WM_SIZE, {(long long)type, w, h}); }
  LRESULT OnSetFocus(WPARAM other) { return Log(WM_SETFOCUS, {(long long)other}); }
  LRESULT OnPaint() {
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    EndPaint(Handle(), &ps);
    return Log(WM_PAINT);
  }
  LRESULT OnSetCursor(WPARAM w, UINT hit, UINT mouse) {
    return Log(WM_SETCURSOR, {(long long)w, hit, mouse});
  }
  LRESULT OnInitMenuPopup(HMENU menu, UINT pos, BOOL sys) {
    return Log(WM_INITMENUPOPUP, {(long long)(uintptr_t)menu, pos, sys});
  }
  LRESULT OnDrawItem(WPARAM w, LPARAM l) { return Log(WM_DRAWITEM, {(long long)w, l}); }
  LRESULT OnVKeyToItem(UINT key, LPARAM l, UINT caret) {
    calls.push_back(Call{WM_VKEYTOITEM, {key, l, caret}});
    return 3;
  }
  LRESULT OnGetDlgCode(LPARAM l) { return Log(WM_GETDLGCODE, {l}); }
  LRESULT OnKeyDown(WPARAM key, UINT low, LPARAM l) { return Log(WM_KEYDOWN, {(long long)key, low, l}); }
  LRESULT OnChar(WPARAM c, UINT low, LPARAM l) { return Log(WM_CHAR, {(long long)c, low, l}); }
  LRESULT OnTimer(UINT_PTR id) { return Log(WM_TIMER, {(long long)id}); }
  LRESULT OnHScroll(UINT request, int pos, LPARAM bar) { return Log(WM_HSCROLL, {request, pos, bar}); }
  LRESULT OnCtlColorDlg(WPARAM dc) { return Log(WM_CTLCOLORDLG, {(long long)dc}); }
  LRESULT OnCtlColorStatic(WPARAM dc, LPARAM c) { return Log(WM_CTLCOLORSTATIC, {(long long)dc, c}); }
  LRESULT OnLButtonDown(WPARAM keys, int x, int y) { return Log(WM_LBUTTONDOWN, {(long long)keys, x, y}); }
  LRESULT OnMouseWheel(UINT keys, int delta, POINT pt) { return Log(WM_MOUSEWHEEL, {keys, delta, pt.x, pt.y}); }
  LRESULT OnHotKey(int id, UINT modifiers, UINT key) { return Log(WM_HOTKEY, {id, modifiers, key}); }
  LRESULT OnUser(WPARAM w, LPARAM l) { return Log(WM_USER + 7, {(long long)w, l}); }
  LRESULT OnZoom(UINT id) { return Log(WM_COMMAND, {1, id}); }
  LRESULT OnNameChanged() { return Log(WM_COMMAND, {2}); }
  LRESULT OnOk() { return Log(WM_COMMAND, {3}); }
  LRESULT OnControl(LPARAM l) { return Log(WM_COMMAND, {4, l}); }
  LRESULT OnSelChanged(NMHDR* header, LRESULT* result) {
    calls.push_back(Call{WM_NOTIFY, {1, (long long)header->idFrom, (long long)header->code, *result}});
    *result = notifyWord;
    return 0;
  }
  LRESULT OnAnyNotify(WPARAM w, LPARAM l, LRESULT* result) {
    const NMHDR* header = (const NMHDR*)l;
    calls.push_back(Call{WM_NOTIFY, {2, (long long)w, (long long)header->code, *result}});
    *result = notifyWord + 1;
    return anyNotifyResult;
  }
};
int CProbe::deleted = 0;

const MessageMapEntry CProbe::kMessageMap[] = {
    MapMessage<WM_CREATE>(&CProbe::OnCreate),
    MapMessage<WM_DESTROY>(&CProbe::OnDestroy),
    MapMessage<WM_SIZE>(&CProbe::OnSize),
    MapMessage<WM_SETFOCUS>(&CProbe::OnSetFocus),
    MapMessage<WM_PAINT>(&CProbe::OnPaint),
    MapMessage<WM_SETCURSOR>(&CProbe::OnSetCursor),
    MapMessage<WM_INITMENUPOPUP>(&CProbe::OnInitMenuPopup),
    MapMessage<WM_DRAWITEM>(&CProbe::OnDrawItem),
    MapMessage<WM_VKEYTOITEM>(&CProbe::OnVKeyToItem),
    MapMessage<WM_GETDLGCODE>(&CProbe::OnGetDlgCode),
    MapMessage<WM_KEYDOWN>(&CProbe::OnKeyDown),
    MapMessage<WM_CHAR>(&CProbe::OnChar),
    MapMessage<WM_TIMER>(&CProbe::OnTimer),
    MapMessage<WM_HSCROLL>(&CProbe::OnHScroll),
    MapMessage<WM_CTLCOLORDLG>(&CProbe::OnCtlColorDlg),
    MapMessage<WM_CTLCOLORSTATIC>(&CProbe::OnCtlColorStatic),
    MapMessage<WM_LBUTTONDOWN>(&CProbe::OnLButtonDown),
    MapMessage<WM_MOUSEWHEEL>(&CProbe::OnMouseWheel),
    MapMessage<WM_HOTKEY>(&CProbe::OnHotKey),
    MapMessage<WM_USER + 7>(&CProbe::OnUser),
    MapCommandRange(32830, 32836, &CProbe::OnZoom),
    MapCommandCode(1003, EN_CHANGE, &CProbe::OnNameChanged),
    MapCommand(IDOK, &CProbe::OnOk),
    MapCommandLParam(1010, &CProbe::OnControl),
    MapNotify(1009, 0u - 402u, &CProbe::OnSelChanged),
    MapAnyNotify(&CProbe::OnAnyNotify),
    MapEnd(),
};

// A map with no WM_DESTROY row.
class CQuiet : public CWindow {
 public:
  CQuiet() : CWindow(GetModuleHandle(nullptr), kMessageMap, true) {}
  ~CQuiet() override { ++deleted; }
  static int deleted;
  static const MessageMapEntry kMessageMap[];

 private:
  LRESULT OnClose() { return 0; }
};
int CQuiet::deleted = 0;
const MessageMapEntry CQuiet::kMessageMap[] = {MapMessage<WM_CLOSE>(&CQuiet::OnClose), MapEnd()};

class WindowFramework : public platform_test::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    CProbe::deleted = 0;
    CQuiet::deleted = 0;
    platform::ClearMessageBoxLog();
    // The recording class answers kPassedOn to what reaches it.
    Recorder::Get().handler = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
      if (msg == WM_DESTROY || msg == WM_CREATE || msg == WM_PAINT) return false;
      *result = kPassedOn;
      return true;
    };
  }
  // A top-level "Rec" window with a "Rec" child (id 5) the probe attaches to.
  HWND AttachedProbe(CProbe* probe, HWND* parent = nullptr) {
    HWND top = Top(WS_VISIBLE);
    HWND child = Child(top, 5, RECT{10, 20, 110, 80});
    EXPECT_TRUE(probe->Attach(top, 5));
    if (parent) *parent = top;
    Recorder::Get().log.clear();
    return child;
  }
  // A top-level window of `w`, its class registered as `cls`.
  static HWND Created(CWindow* w, const char16_t* cls = u"ProbeClass") {
    w->RegisterClass(3, cls);
    return w->Create(0, u"", 0, RECT{}, nullptr, 0);
  }
  static int Reached(HWND hwnd, UINT msg) {
    int n = 0;
    for (auto& r : Recorder::Get().log)
      if (r.hwnd == hwnd && r.msg == msg) ++n;
    return n;
  }
};

NMHDR Header(HWND from, UINT_PTR id, UINT code) { return NMHDR{from, id, code}; }

TEST_F(WindowFramework, CreateBindsTheObjectBeforeItsFirstHandlerAndUsesTheDefaultPlace) {
  CProbe probe;
  ASSERT_TRUE(probe.RegisterClass(CS_HREDRAW | CS_VREDRAW, u"ProbeClass"));
  EXPECT_EQ(probe.ClassName(), u"ProbeClass");
  HWND hwnd = probe.Create(0, u"Probe", 0, RECT{0, 0, 0, 0}, nullptr, 0);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(probe.Handle(), hwnd);
  EXPECT_EQ(probe.handleAtCreate, hwnd);
  EXPECT_EQ(probe.createParam, &probe);
  EXPECT_EQ((CProbe*)GetWindowLong(hwnd, GWL_USERDATA), &probe);
  WNDCLASS wc{};
  ASSERT_TRUE(GetClassInfo(GetModuleHandle(nullptr), u"ProbeClass", &wc));
  EXPECT_EQ(wc.style, 3u);
  EXPECT_EQ(wc.lpfnWndProc, &CWindow::WindowProc);
  EXPECT_EQ(wc.hbrBackground, nullptr);
  // WM_CREATE first, then the size of the work area (176 x 180).
  ASSERT_GE(probe.calls.size(), 2u);
  EXPECT_EQ(probe.calls[0].msg, (UINT)WM_CREATE);
  EXPECT_EQ(probe.calls[1].msg, (UINT)WM_SIZE);
  EXPECT_EQ(probe.calls[1].args, (std::vector<long long>{0, 176, 180}));

  // A rectangle gives left, top, width and height.
  CProbe child;
  child.RegisterClass(3, u"ProbeClass");
  HWND c = child.Create(0, u"", WS_CHILD | WS_VISIBLE, RECT{10, 20, 50, 80}, hwnd, 7);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(GetDlgCtrlID(c), 7);
  RECT r;
  GetClientRect(c, &r);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 60);
  EXPECT_EQ(GetDlgItem(hwnd, 7), c);
  // The second registration of the class was skipped: no error box.
  EXPECT_TRUE(platform::MessageBoxLog().empty());
}

TEST_F(WindowFramework, ACreateHandlerRefusingCreationGivesANullHandle) {
  CProbe probe;
  probe.createResult = -1;
  EXPECT_EQ(Created(&probe), nullptr);
  EXPECT_EQ(probe.Handle(), nullptr);
}

TEST_F(WindowFramework, AFailedRegistrationShowsTheErrorBoxAndCreationFails) {
  CProbe probe;
  platform::headless::AddScript("key enter", nullptr);
  EXPECT_FALSE(probe.RegisterClass(3, nullptr));
  ASSERT_EQ(platform::MessageBoxLog().size(), 1u);
  EXPECT_EQ(platform::MessageBoxLog()[0].text, u"RegisterClass() failed");
  EXPECT_EQ(platform::MessageBoxLog()[0].caption, u"Error");
  EXPECT_EQ(platform::MessageBoxLog()[0].type, (UINT)MB_OK);
  EXPECT_EQ(probe.Create(0, u"", 0, RECT{}, nullptr, 0), nullptr);
}

TEST_F(WindowFramework, CommandRowsMatchRangesCodesAndLParamRows) {
  CProbe probe;
  HWND hwnd = AttachedProbe(&probe);
  // Every identifier of 32830..32836 reaches the range row with its id.
  for (UINT id = 32829; id <= 32837; ++id) SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  std::vector<long long> zoomIds;
  for (auto& c : probe.calls)
    if (c.msg == WM_COMMAND && c.args[0] == 1) zoomIds.push_back(c.args[1]);
  EXPECT_EQ(zoomIds, (std::vector<long long>{32830, 32831, 32832, 32833, 32834, 32835, 32836}));
  // Commands outside the range went on to the control.
  EXPECT_EQ(Reached(hwnd, WM_COMMAND), 9);

  // A row with a notification code ignores the same id with another code.
  probe.calls.clear();
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(1003, EN_SETFOCUS), 0);
  EXPECT_TRUE(probe.calls.empty());
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(1003, EN_CHANGE), 0);
  ASSERT_EQ(probe.calls.size(), 1u);
  EXPECT_EQ(probe.calls[0].args, (std::vector<long long>{2}));

  // A row for any code takes IDOK whatever the code; the lParam row gets lParam.
  probe.calls.clear();
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED + 5), 0);
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(1010, STN_CLICKED), 0x1234);
  ASSERT_EQ(probe.calls.size(), 3u);
  EXPECT_EQ(probe.calls[0].args, (std::vector<long long>{3}));
  EXPECT_EQ(probe.calls[1].args, (std::vector<long long>{3}));
  EXPECT_EQ(probe.calls[2].args, (std::vector<long long>{4, 0x1234}));
  // Handled commands still get default processing: the result is the
  // control's own answer.
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0), kPassedOn);
}

TEST_F(WindowFramework, NotifyRowsForOneControlAndForEveryNotification) {
  CProbe probe;
  HWND hwnd = AttachedProbe(&probe);
  // The row for control 1009 and its code gets the header and -1, and its
  // result word is the answer.
  NMHDR sel = Header(hwnd, 1009, 0u - 402u);
  EXPECT_EQ(SendMessage(hwnd, WM_NOTIFY, 1009, (LPARAM)&sel), 40);
  ASSERT_EQ(probe.calls.size(), 1u);
  EXPECT_EQ(probe.calls[0].args, (std::vector<long long>{1, 1009, (long long)(0u - 402u), -1}));
  EXPECT_EQ(Reached(hwnd, WM_NOTIFY), 0);

  // Other codes of that control and every other control reach the
  // identifier-0, code-0 row with wParam, lParam and the result word.
  probe.calls.clear();
  NMHDR other = Header(hwnd, 1009, 0u - 2u);
  NMHDR list = Header(hwnd, 1035, 0u - 101u);
  NMHDR third = Header(hwnd, 4, 0u - 12u);
  EXPECT_EQ(SendMessage(hwnd, WM_NOTIFY, 1009, (LPARAM)&other), 41);
  EXPECT_EQ(SendMessage(hwnd, WM_NOTIFY, 1035, (LPARAM)&list), 41);
  EXPECT_EQ(SendMessage(hwnd, WM_NOTIFY, 4, (LPARAM)&third), 41);
  ASSERT_EQ(probe.calls.size(), 3u);
  EXPECT_EQ(probe.calls[0].args, (std::vector<long long>{2, 1009, (long long)(0u - 2u), -1}));
  EXPECT_EQ(probe.calls[1].args, (std::vector<long long>{2, 1035, (long long)(0u - 101u), -1}));
  EXPECT_EQ(probe.calls[2].args, (std::vector<long long>{2, 4, (long long)(0u - 12u), -1}));
  EXPECT_EQ(Reached(hwnd, WM_NOTIFY), 0);

  // When that handler returns 0 the message gets default processing.
  probe.anyNotifyResult = 0;
  EXPECT_EQ(SendMessage(hwnd, WM_NOTIFY, 4, (LPARAM)&third), kPassedOn);
  EXPECT_EQ(Reached(hwnd, WM_NOTIFY), 1);
}

TEST_F(WindowFramework, EachMessageIsUnpackedAndReturnedOrPassedOnAsItsRuleSays) {
  CProbe probe;
  HWND hwnd = AttachedProbe(&probe);
  HMENU menu = CreatePopupMenu();
  POINT origin{0, 0};  // WM_MOUSEWHEEL's screen point arrives in client coordinates
  ClientToScreen(hwnd, &origin);
  LPARAM move = MAKELPARAM(1, WM_MOUSEMOVE);
  long long self = (long long)(uintptr_t)hwnd;
  struct Case {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<long long> args;
    bool passedOn;
    LRESULT answer = 5;
  };
  const Case cases[] = {
      {WM_SIZE, 2, MAKELPARAM(100, 60), {2, 100, 60}, true},
      {WM_SETFOCUS, 0x44, 0, {0x44}, true},
      {WM_INITMENUPOPUP, (WPARAM)menu, MAKELPARAM(3, 1), {(long long)(uintptr_t)menu, 3, 1}, true},
      {WM_DRAWITEM, 1001, 0x55, {1001, 0x55}, false},
      {WM_GETDLGCODE, 0, 0x66, {0x66}, false},
      {WM_KEYDOWN, VK_UP, 0x1234567B, {VK_UP, 0xB, 0x1234567B}, true},
      {WM_CHAR, '7', 0x21, {'7', 1, 0x21}, true},
      {WM_TIMER, 1000, 0, {1000}, true},
      {WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, (WORD)-10), 0x99, {SB_THUMBPOSITION, -10, 0x99}, true},
      {WM_CTLCOLORDLG, 0x31, 0, {0x31}, false},
      {WM_CTLCOLORSTATIC, 0x32, 0x33, {0x32, 0x33}, false},
      {WM_LBUTTONDOWN, 1, MAKELPARAM((WORD)-3, 9), {1, -3, 9}, true},
      {WM_HOTKEY, 400, MAKELPARAM(0x1000, 120), {400, 0x1000, 120}, true},
      {WM_USER + 7, 0x71, 0x72, {0x71, 0x72}, false},
      {WM_MOUSEWHEEL, MAKEWPARAM(8, (WORD)-120), MAKELPARAM(origin.x + 7, origin.y + 9),
       {8, -120, 7, 9}, false},
      // WM_SETCURSOR: 0 from the handler is the answer; otherwise default processing.
      {WM_SETCURSOR, (WPARAM)hwnd, move, {self, 1, WM_MOUSEMOVE}, false, 0},
      {WM_SETCURSOR, (WPARAM)hwnd, move, {self, 1, WM_MOUSEMOVE}, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.msg << " answer " << c.answer);
    probe.calls.clear();
    probe.answer = c.answer;
    Recorder::Get().log.clear();
    LRESULT r = SendMessage(hwnd, c.msg, c.wParam, c.lParam);
    ASSERT_EQ(probe.calls.size(), 1u);
    EXPECT_EQ(probe.calls[0].msg, c.msg);
    EXPECT_EQ(probe.calls[0].args, c.args);
    EXPECT_EQ(Reached(hwnd, c.msg), c.passedOn ? 1 : 0);
    EXPECT_EQ(r, c.passedOn ? kPassedOn : c.answer);
  }
  DestroyMenu(menu);

  // WM_VKEYTOITEM: the handler's value goes to the first extra word, -1 is returned.
  probe.calls.clear();
  EXPECT_EQ(SendMessage(hwnd, WM_VKEYTOITEM, MAKEWPARAM(VK_DOWN, 4), 0x88), -1);
  EXPECT_EQ(GetWindowLong(hwnd, 0), 3);
  ASSERT_EQ(probe.calls.size(), 1u);
  EXPECT_EQ(probe.calls[0].args, (std::vector<long long>{VK_DOWN, 0x88, 4}));

  // A message without a row goes to the control.
  probe.calls.clear();
  EXPECT_EQ(SendMessage(hwnd, WM_USER + 8, 0, 0), kPassedOn);
  EXPECT_TRUE(probe.calls.empty());
}

TEST_F(WindowFramework, AnAttachedControlIsRestoredAndUnboundOnDestroy) {
  auto* probe = new CProbe();
  HWND parent = nullptr;
  HWND hwnd = AttachedProbe(probe, &parent);
  EXPECT_EQ(probe->Handle(), hwnd);
  EXPECT_EQ((WNDPROC)GetWindowLong(hwnd, GWL_WNDPROC), &CWindow::WindowProc);
  EXPECT_EQ((CProbe*)GetWindowLong(hwnd, GWL_USERDATA), probe);

  // What the control sees of its own WM_DESTROY.
  WNDPROC procAtDestroy = nullptr;
  LONG_PTR userDataAtDestroy = -1;
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (h == hwnd && msg == WM_DESTROY) {
      procAtDestroy = (WNDPROC)GetWindowLong(h, GWL_WNDPROC);
      userDataAtDestroy = GetWindowLong(h, GWL_USERDATA);
    }
    return false;
  };
  DestroyWindow(parent);
  ASSERT_NE(probe->Last(), nullptr);
  EXPECT_EQ(probe->Last()->msg, (UINT)WM_DESTROY);
  // The handler ran while the binding still held.
  EXPECT_EQ(probe->handleAtDestroy, hwnd);
  EXPECT_EQ(probe->userDataAtDestroy, (LONG_PTR)probe);
  EXPECT_EQ(Reached(hwnd, WM_DESTROY), 1);
  EXPECT_EQ(procAtDestroy, &platform_test::RecordingProc);
  EXPECT_EQ(userDataAtDestroy, 0);
  EXPECT_EQ(probe->Handle(), nullptr);
  EXPECT_EQ(CProbe::deleted, 0);  // not an auto-delete object
  delete probe;
  EXPECT_EQ(CProbe::deleted, 1);
}

TEST_F(WindowFramework, AnObjectWithoutMapSendsEverythingToTheControl) {
  CProbe probe(false, nullptr);
  HWND hwnd = AttachedProbe(&probe);
  EXPECT_EQ(SendMessage(hwnd, WM_USER + 7, 1, 2), kPassedOn);
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, IDOK, 0), kPassedOn);
  EXPECT_TRUE(probe.calls.empty());
  EXPECT_EQ(Reached(hwnd, WM_USER + 7), 1);
}

TEST_F(WindowFramework, AutoDeleteObjectsDeleteThemselvesAfterWmDestroy) {
  HWND hwnd = Created(new CProbe(true));
  ASSERT_NE(hwnd, nullptr);
  DestroyWindow(hwnd);
  EXPECT_EQ(CProbe::deleted, 1);
  EXPECT_FALSE(IsWindow(hwnd));

  // Also when the map has no WM_DESTROY row; and a WM_CLOSE row that
  // handles nothing leaves the default processing that destroys the window.
  HWND q = Created(new CQuiet(), u"QuietClass");
  ASSERT_NE(q, nullptr);
  SendMessage(q, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(q));
  EXPECT_EQ(CQuiet::deleted, 1);
}

TEST_F(WindowFramework, DeletingAnObjectDestroysItsWindowWithoutCallingItsHandlers) {
  HWND hwnd;
  {
    CProbe probe;
    hwnd = Created(&probe);
    ASSERT_TRUE(IsWindow(hwnd));
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(CProbe::deleted, 1);
}

TEST_F(WindowFramework, AListControlCreatedByTheWrapperRoutesThroughTheMap) {
  HWND top = Top(WS_VISIBLE);
  CListCtrl list(GetModuleHandle(nullptr), CProbe::kMessageMap);
  HWND hwnd = list.Create(0, WS_CHILD | WS_VISIBLE | LVS_REPORT, RECT{0, 0, 100, 100}, top, 1001);
  if (!hwnd) GTEST_SKIP() << "the list-view control is not in the device yet";
  EXPECT_EQ(GetDlgItem(top, 1001), hwnd);
  EXPECT_EQ((CListCtrl*)GetWindowLong(hwnd, GWL_USERDATA), &list);
  EXPECT_EQ((WNDPROC)GetWindowLong(hwnd, GWL_WNDPROC), &CWindow::WindowProc);
  // Unhandled messages reach the list view itself.
  EXPECT_EQ(SendMessage(hwnd, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(WindowFramework, DebugPrintsAppearOnlyWithTheDebugVariable) {
  unsetenv("QUIVRA_DEBUG");
  testing::internal::CaptureStderr();
  { CProbe quiet; }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("QUIVRA_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  { CProbe loud; }
  std::string printed = testing::internal::GetCapturedStderr();
  unsetenv("QUIVRA_DEBUG");
  EXPECT_EQ(printed, "## CWindow()\n## ~CWindow()\n");
}

TEST_F(WindowFramework, TheBitmapListKeepsARecordPerLiveBitmap) {
  size_t before = TrackedBitmapCount();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = 4;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP a = CREATE_TRACKED_DIB_SECTION(nullptr, &info, DIB_RGB_COLORS, &bits);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(bits, nullptr);
  HBITMAP b = CREATE_TRACKED_DIB_SECTION(nullptr, &info, DIB_RGB_COLORS, &bits);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(TrackedBitmapCount(), before + 2);
  EXPECT_TRUE(IsTrackedBitmap(a));
  EXPECT_TRUE(DELETE_TRACKED_BITMAP(a));
  EXPECT_FALSE(IsTrackedBitmap(a));
  EXPECT_TRUE(IsTrackedBitmap(b));
  EXPECT_EQ(TrackedBitmapCount(), before + 1);
  // A bitmap made elsewhere is deleted; the list does not change.
  HBITMAP plain = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  EXPECT_TRUE(DELETE_TRACKED_BITMAP(plain));
  EXPECT_EQ(TrackedBitmapCount(), before + 1);
  DELETE_TRACKED_BITMAP(b);
  EXPECT_EQ(TrackedBitmapCount(), before);
}

}  // namespace
