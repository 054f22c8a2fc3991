// Long seeded walks of the keypad through every dialog of the program's
// resources and through the main window's soft-key menus: whatever the
// keys, the device must neither crash nor leak (the suite also runs under
// the sanitizers), every dialog must end, and the owner must get its focus
// back and only the commands the menus hold.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "app/window/dialog_ex.h"
#include "platform/aygshell.h"
#include "platform/resources/resources.h"
#include "tests/platform/platform_fixture.h"

namespace {

const char* const kKeys[] = {"up", "down", "left", "right", "up", "down", "left", "right",
                             "enter", "back", "F1", "F2", "1", "5", "9", "type a", "type ."};

// A script of `count` keys drawn from the keypad with a fixed seed; the Back
// key is sometimes held long enough to count as held.
std::string KeyScript(unsigned seed, int count) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, std::size(kKeys) - 1);
  std::string script;
  for (int i = 0; i < count; ++i) {
    std::string key = kKeys[pick(random)];
    if (key == "back" && random() % 4 == 0)
      script += "hold back 900\n";
    else if (key.rfind("type ", 0) == 0)
      script += key + "\n";
    else
      script += "key " + key + "\n";
  }
  return script;
}

// Any of the program's dialogs: its own soft keys, OK ends with 1, Cancel
// with 0, the shared Back-key handler.
class CDlgWalk : public CDlgEx {
 public:
  CDlgWalk(HWND owner, WORD id)
      : CDlgEx(owner, GetModuleHandle(nullptr), id, kMessageMap),
        bar_(platform::FindDialogTemplate(id)->bar) {}
  static const MessageMapEntry kMessageMap[];

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM) {
    if (bar_) CreateSoftKeys(bar_);
    return 1;
  }
  LRESULT OnOk() {
    EndDialog(hwnd_, 1);
    return 0;
  }
  LRESULT OnCancel() {
    EndDialog(hwnd_, 0);
    return 0;
  }
  LRESULT OnDestroy() {
    ReleaseFonts();
    return 0;
  }
  UINT bar_;
};

const MessageMapEntry CDlgWalk::kMessageMap[] = {
    MapMessage<WM_INITDIALOG>(&CDlgWalk::OnInitDialog),
    MapMessage<WM_DESTROY>(&CDlgWalk::OnDestroy),
    MapMessage<WM_HOTKEY>(&CDlgEx::OnHotKey),
    MapMessage<WM_CTLCOLORSTATIC>(&CDlgEx::OnCtlColorStatic),
    MapCommand(IDOK, &CDlgWalk::OnOk),
    MapCommand(IDCANCEL, &CDlgWalk::OnCancel),
    MapEnd(),
};

using KeypadWalk = platform_test::DeviceTest;

// Drops the quit the script leaves behind when it runs out.
void DrainQuit() {
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message != WM_QUIT) DispatchMessage(&m);
  }
}

TEST_F(KeypadWalk, EveryDialogSurvivesLongRandomKeys) {
  SHInitExtraControls();
  HWND owner = Top(WS_VISIBLE);
  ASSERT_NE(owner, nullptr);
  SetFocus(owner);
  const WORD dialogs[] = {107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 140};
  for (WORD id : dialogs) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    ASSERT_NE(platform::FindDialogTemplate(id), nullptr);
    std::string error;
    ASSERT_TRUE(platform::headless::AddScript(KeyScript(id, 400), &error)) << error;
    // Each run ends by a key (OK, Cancel, Back) or by the script running
    // out; the walk goes on in a new run of the same dialog.
    int runs = 0;
    while (!platform::headless::ScriptFinished() && runs < 400) {
      CDlgWalk dialog(owner, id);
      INT_PTR result = dialog.Run();
      EXPECT_TRUE(result == 0 || result == 1) << "result " << result;
      ++runs;
    }
    DrainQuit();
    EXPECT_GT(runs, 1);  // keys ended runs: OK, Cancel and Back work here
    EXPECT_TRUE(platform::headless::ScriptFinished());
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetFocus(), owner);
  }
}

TEST_F(KeypadWalk, MainBarsOnlyEverSendTheirMenusCommands) {
  HWND owner = Top(WS_VISIBLE);
  SetFocus(owner);
  for (UINT barId : {130u, 133u}) {
    SCOPED_TRACE("bar " + std::to_string(barId));
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = owner;
    info.nToolBarId = barId;
    info.hInstRes = GetModuleHandle(nullptr);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    SendMessage(info.hwndMB, SHCMBM_OVERRIDEKEY, VK_ESCAPE, 0x30003);
    HMENU menu = (HMENU)SendMessage(info.hwndMB, SHCMBM_GETMENU, 0, 0);
    ASSERT_NE(menu, nullptr);
    // Every command the menu holds, submenus included.
    std::set<UINT> held;
    std::function<void(HMENU)> collect = [&](HMENU m) {
      for (int i = 0; i < GetMenuItemCount(m); ++i) {
        if (HMENU sub = GetSubMenu(m, i))
          collect(sub);
        else
          held.insert(GetMenuItemID(m, i));
      }
    };
    collect(menu);
    platform_test::Recorder::Get().log.clear();
    platform_test::RunScript(KeyScript(barId, 600));
    DrainQuit();
    int commands = 0;
    for (auto& r : platform_test::Recorder::Get().Of(owner, {WM_COMMAND})) {
      ++commands;
      EXPECT_TRUE(held.count(LOWORD(r.wParam))) << "command " << LOWORD(r.wParam);
      EXPECT_EQ(HIWORD(r.wParam), 0);
    }
    EXPECT_GT(commands, 0);
    EXPECT_TRUE(IsWindow(owner));
    DestroyWindow(info.hwndMB);
  }
}

}  // namespace
