// Soft-key bars and drop-down menus under test: a resource script with bars
// and menus, an owner window with a white background that records its
// messages, and a keypad script run through a message loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/aygshell.h"
#include "platform/resources/resources.h"
#include "platform/shell/soft_key_bar.h"
#include "tests/platform/golden.h"
#include "tests/platform/platform_fixture.h"

namespace platform_test {

inline COLORREF Px(int x, int y) { return platform::headless::ScreenPixel(x, y); }
inline const COLORREF kWhite = RGB(255, 255, 255);

inline void ExpectRect(const RECT& r, const RECT& expected) {
  EXPECT_TRUE(EqualRect(&r, &expected))
      << r.left << " " << r.top << " " << r.right << " " << r.bottom;
}

inline const char kSoftKeyScript[] = R"(
STRING 12 "Aktion"
STRING 13 "File"
STRING 17 "Done"

MENU 900
  POPUP "Action"
    ITEM 101 "Browse"
    ITEM 102 "Quit"
  END
  POPUP "File"
    ITEM 201 "&Open folder..."
    ITEM 202 "Show Filename" CHECKED
    ITEM 203 "Page Next" GRAYED
    SEPARATOR
    POPUP "Zoom"
      ITEM 32828 "Fit to Screen"
      ITEM 32827 "Fill the Screen"
      SEPARATOR
      ITEM 32830 "25%"
      ITEM 32831 "50%"
    END
    POPUP "Favorites"
      ITEM 32861 "Add to Favorites"
      ITEM 32862 "Delete Current"
    END
    ITEM 204 "B&&W"
  END
END

SOFTKEYBAR 900
  BUTTON 0 MENU 900 "Action" STRING 12 POPUP 0 ID 40003
  BUTTON 1 MENU 900 "File" STRING 13 POPUP 1 ID 40002
END

SOFTKEYBAR 901
  BUTTON 0 COMMAND 1 "OK"
  BUTTON 1 COMMAND 2 "Cancel" STRING 15
END

SOFTKEYBAR 902
  BUTTON 0 COMMAND 1 "Done" STRING 17
END

MENU 903
  ITEM 301 "Previous"
  ITEM 302 "Next"
  SEPARATOR
  ITEM 303 "Info"
END

SOFTKEYBAR 903
  BUTTON 0 COMMAND 1 "Done" STRING 17
  BUTTON 1 MENU 903 "Menu"
END
)";

class SoftKeyTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Prepare();
  }
  void Prepare() {
    platform::ClearResources();
    std::string error;
    ASSERT_TRUE(platform::AddResourceScript(kSoftKeyScript, "softkeys.rc", &error)) << error;
    WNDCLASS wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = u"RecWhite";
    ASSERT_NE(RegisterClass(&wc), 0);
  }
  void TearDown() override {
    platform::ClearResources();
    DeviceTest::TearDown();
  }
  // A shown top-level window with the default size (the work area), owned
  // by `owner` when one is given (a dialog over the main window).
  HWND Owner(HWND owner = nullptr) {
    HWND w = CreateWindowEx(0, u"RecWhite", owner ? u"Dialog" : u"Owner", 0, 0, 0, 0, 0, owner,
                            nullptr, nullptr, nullptr);
    ShowWindow(w, SW_SHOW);
    return w;
  }
  // Runs `script` with a fresh message record.
  void RunAfresh(const std::string& script) {
    Recorder::Get().log.clear();
    RunScript(script);
  }
  HWND Bar(HWND owner, UINT id) {
    SHMENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    mbi.hwndParent = owner;
    mbi.nToolBarId = id;
    mbi.hInstRes = GetModuleHandle(nullptr);
    if (!SHCreateMenuBar(&mbi)) return nullptr;
    return mbi.hwndMB;
  }
  // Calls `action` when `owner` gets timer `id` (once), 10 ms from now.
  void AtTimer(HWND owner, UINT_PTR id, std::function<void()> action) {
    SetTimer(owner, id, 10, nullptr);
    Recorder::Get().handler = [=](HWND h, UINT msg, WPARAM w, LPARAM, LRESULT*) {
      if (h == owner && msg == WM_TIMER && w == id) {
        KillTimer(h, id);
        action();
        return true;
      }
      return false;
    };
  }
  std::vector<WORD> Commands(HWND owner) {
    std::vector<WORD> out;
    for (auto& r : Recorder::Get().Of(owner, {WM_COMMAND})) {
      EXPECT_EQ(HIWORD(r.wParam), 0);
      EXPECT_EQ(r.lParam, 0);
      out.push_back(LOWORD(r.wParam));
    }
    return out;
  }
  std::vector<UINT> Keys(HWND w) {
    return Recorder::Get().Messages(w, {WM_KEYDOWN, WM_KEYUP, WM_CHAR});
  }
  std::u16string Label(HWND bar, int index) {
    WCHAR text[64] = {0};
    TBBUTTONINFO tbbi{};
    tbbi.cbSize = sizeof(tbbi);
    tbbi.dwMask = TBIF_TEXT | TBIF_BYINDEX;
    tbbi.pszText = text;
    tbbi.cchText = 64;
    if (SendMessage(bar, TB_GETBUTTONINFO, (WPARAM)index, (LPARAM)&tbbi) < 0) return u"(none)";
    return text;
  }
};

// The same on the larger screen profile.
class LargeScreen : public SoftKeyTest {
 protected:
  void SetUp() override {
    platform::DeviceOptions options;
    options.screen = platform::ProfileForSize(240, 320);
    StartWith(options);
    Prepare();
  }
};

}  // namespace platform_test
