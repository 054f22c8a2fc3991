// Soft-key bars: made from resources or plain, at the bottom of the screen,
// the soft keys reaching the bar of the active window, button texts and
// commands read and written, the Back-key override, full-screen dialogs and
// the full-screen switch.
#include "tests/platform/soft_key_fixture.h"

using namespace platform_test;

namespace {

using SoftKeyBar = SoftKeyTest;

TEST_F(SoftKeyBar, MenuBarFromAResourceStandsAtTheBottomWithItsLabels) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 900);
  ASSERT_NE(bar, nullptr);
  RECT r;
  GetWindowRect(bar, &r);
  ExpectRect(r, RECT{0, 200, 176, 220});
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(GetParent(bar), owner);
  // The bar never takes the activation or the focus from its owner.
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_EQ(GetFocus(), owner);
  // Labels come from the string table where the resource names a string.
  EXPECT_EQ(Label(bar, 0), u"Aktion");
  EXPECT_EQ(Label(bar, 1), u"File");
  // The buttons' menu, loaded once and owned by the bar.
  HMENU menu = (HMENU)SendMessage(bar, SHCMBM_GETMENU, 0, 0);
  ASSERT_TRUE(IsMenu(menu));
  EXPECT_EQ(GetMenuItemCount(menu), 2);
  EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 1), 0), 201u);
  EXPECT_EQ((HMENU)SendMessage(bar, SHCMBM_GETMENU, 0, 0), menu);
  // Drop-down buttons carry their own command ids.
  TBBUTTONINFO tbbi{};
  tbbi.cbSize = sizeof(tbbi);
  tbbi.dwMask = TBIF_COMMAND | TBIF_BYINDEX;
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, 0, (LPARAM)&tbbi), 0);
  EXPECT_EQ(tbbi.idCommand, 40003);
  tbbi.dwMask = TBIF_COMMAND;
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, 40002, (LPARAM)&tbbi), 1);

  // A missing string keeps the resource's label; a one-key bar has no index 1
  // and no menu.
  HWND second = Bar(owner, 901);
  EXPECT_EQ(Label(second, 0), u"OK");
  EXPECT_EQ(Label(second, 1), u"Cancel");
  HWND single = Bar(owner, 902);
  EXPECT_EQ(Label(single, 0), u"Done");
  EXPECT_EQ(Label(single, 1), u"(none)");
  EXPECT_EQ(SendMessage(single, SHCMBM_GETMENU, 0, 0), 0);

  // Destroyed with the owner, and the menu with the bar.
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_FALSE(IsWindow(single));
  EXPECT_FALSE(IsMenu(menu));
}

TEST_F(SoftKeyBar, CreationFailsWithAWrongSizeAnUnknownBarOrNoParent) {
  HWND owner = Owner();
  struct Case {
    DWORD size;
    HWND parent;
    UINT id;
  } cases[] = {{sizeof(SHMENUBARINFO) - 4, owner, 900},
               {sizeof(SHMENUBARINFO), owner, 777},
               {sizeof(SHMENUBARINFO), nullptr, 900}};
  for (const Case& c : cases) {
    SHMENUBARINFO mbi{c.size, c.parent, 0, c.id, nullptr, 0, 0, (HWND)(uintptr_t)0x1234, 0};
    EXPECT_FALSE(SHCreateMenuBar(&mbi)) << c.id;
    EXPECT_EQ(mbi.hwndMB, nullptr);
  }
  EXPECT_FALSE(SHCreateMenuBar(nullptr));
}

TEST_F(SoftKeyBar, CommandButtonsPostTheirCommandOnRelease) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 901);
  ASSERT_NE(bar, nullptr);
  platform::KeypadKey(VK_F1, true);
  platform::headless::RunPending();
  EXPECT_TRUE(Commands(owner).empty()) << "nothing before the key comes up";
  platform::KeypadKey(VK_F1, false);
  platform::headless::RunPending();
  EXPECT_EQ(Commands(owner), std::vector<WORD>{IDOK});
  RunScript("key F2\nkey F1\n");
  EXPECT_EQ(Commands(owner), (std::vector<WORD>{IDOK, IDCANCEL, IDOK}));
  // Soft keys never arrive as key messages.
  EXPECT_TRUE(Keys(owner).empty());

  // A one-key bar: the right soft key does nothing.
  DestroyWindow(bar);
  Recorder::Get().log.clear();
  Bar(owner, 902);
  RunScript("key F2\nkey F1\n");
  EXPECT_EQ(Commands(owner), std::vector<WORD>{IDOK});
}

TEST_F(SoftKeyBar, SoftKeysGoToTheShownBarOfTheActiveWindow) {
  HWND owner = Owner();
  HWND browse = Bar(owner, 901);
  HWND view = Bar(owner, 903);
  ShowWindow(view, SW_HIDE);
  RunScript("key F2\n");
  EXPECT_EQ(Commands(owner), std::vector<WORD>{IDCANCEL});
  // The main window switches bars: now the other one takes the keys.
  ShowWindow(browse, SW_HIDE);
  ShowWindow(view, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), owner);
  RunScript("key F1\n");
  EXPECT_EQ(Commands(owner), (std::vector<WORD>{IDCANCEL, IDOK}));

  // A second top-level window (a dialog over the main window) with its own
  // bar takes them while it is active; without a bar the keys do nothing.
  HWND dialog = Owner(owner);
  RunAfresh("key F1\n");
  EXPECT_TRUE(Commands(owner).empty());
  EXPECT_TRUE(Commands(dialog).empty());
  // (The device's own plain bar, as message boxes have it.)
  EXPECT_EQ(platform::shell::CreatePlainSoftKeyBar(nullptr, u"Yes", 6, u"", 0), nullptr);
  HWND dialogBar = platform::shell::CreatePlainSoftKeyBar(dialog, u"Yes", 6, u"", 0);
  ASSERT_NE(dialogBar, nullptr);
  RunScript("key F1\nkey F2\n");
  EXPECT_EQ(Commands(dialog), std::vector<WORD>{6});
  EXPECT_TRUE(Commands(owner).empty());
  DestroyWindow(dialog);
  EXPECT_FALSE(IsWindow(dialogBar));
  EXPECT_EQ(GetActiveWindow(), owner);
  RunScript("key F1\n");
  EXPECT_EQ(Commands(owner), std::vector<WORD>{IDOK});
}

TEST_F(SoftKeyBar, ButtonTextsAndCommandsAreReadAndWritten) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 901);
  TBBUTTONINFO tbbi{};
  tbbi.cbSize = sizeof(tbbi);
  tbbi.dwMask = TBIF_COMMAND | TBIF_BYINDEX;
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, 1, (LPARAM)&tbbi), 1);
  EXPECT_EQ(tbbi.idCommand, IDCANCEL);
  // By command.
  WCHAR text[16];
  tbbi.dwMask = TBIF_TEXT;
  tbbi.pszText = text;
  tbbi.cchText = 16;
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, IDOK, (LPARAM)&tbbi), 0);
  EXPECT_EQ(std::u16string(text), u"OK");
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, 55, (LPARAM)&tbbi), -1);
  tbbi.dwMask = TBIF_TEXT | TBIF_BYINDEX;
  EXPECT_EQ(SendMessage(bar, TB_GETBUTTONINFO, 2, (LPARAM)&tbbi), -1);

  // A new label shows at once; a new command is what the key sends.
  platform::headless::RunPending();
  std::vector<uint8_t> before = platform::headless::ScreenRgb();
  TBBUTTONINFO set{};
  set.cbSize = sizeof(set);
  set.dwMask = TBIF_TEXT | TBIF_COMMAND | TBIF_BYINDEX;
  set.pszText = const_cast<LPWSTR>(u"Abbrechen");
  set.idCommand = 40001;
  EXPECT_NE(SendMessage(bar, TB_SETBUTTONINFO, 1, (LPARAM)&set), -1);
  EXPECT_EQ(Label(bar, 1), u"Abbrechen");
  platform::headless::RunPending();
  std::vector<uint8_t> after = platform::headless::ScreenRgb();
  int changedInBar = 0, changedElsewhere = 0;
  for (size_t i = 0; i < after.size(); i += 3) {
    int x = (int)(i / 3 % 176), y = (int)(i / 3 / 176);
    if (before[i] != after[i] || before[i + 1] != after[i + 1] || before[i + 2] != after[i + 2])
      (y >= 200 && x >= 88 ? changedInBar : changedElsewhere)++;
  }
  EXPECT_GT(changedInBar, 20) << "the right label is drawn anew";
  EXPECT_EQ(changedElsewhere, 0);
  RunScript("key F2\n");
  EXPECT_EQ(Commands(owner), std::vector<WORD>{40001});
  // Writing by command.
  set.dwMask = TBIF_TEXT;
  set.pszText = const_cast<LPWSTR>(u"Fine");
  EXPECT_NE(SendMessage(bar, TB_SETBUTTONINFO, IDOK, (LPARAM)&set), -1);
  EXPECT_EQ(Label(bar, 0), u"Fine");
  EXPECT_EQ(SendMessage(bar, TB_SETBUTTONINFO, 999, (LPARAM)&set), -1);
}

TEST_F(SoftKeyBar, BackOverrideReachesTheOwnerAsHotKeysAlsoWhileTheBarIsHidden) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 900);
  RunScript("key back\n");
  EXPECT_EQ(Keys(owner), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP})) << "no override yet";
  EXPECT_EQ(
      SendMessage(bar, SHCMBM_OVERRIDEKEY, VK_ESCAPE,
                  MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY)),
      TRUE);
  Recorder::Get().log.clear();
  ShowWindow(bar, SW_HIDE);
  RunScript("hold back 1000\n");
  std::vector<WORD> modifiers;
  for (auto& r : Recorder::Get().Of(owner, {WM_HOTKEY})) {
    EXPECT_EQ(HIWORD(r.lParam), VK_ESCAPE);
    modifiers.push_back(LOWORD(r.lParam));
  }
  EXPECT_EQ(modifiers, (std::vector<WORD>{0, 0x8000, 0x1000}));
  EXPECT_TRUE(Keys(owner).empty());
  // Destroying the owner's bars ends the override.
  DestroyWindow(bar);
  RunAfresh("key back\n");
  EXPECT_EQ(Keys(owner), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(SoftKeyBar, LooksLikeTheDevicesBar) {
  HWND owner = Owner();
  Bar(owner, 900);
  ExpectScreenMatchesGolden("softkey_bar");
  // The label of a pressed key is lit until the key comes up.
  HWND single = Bar(owner, 901);
  platform::KeypadKey(VK_F1, true);
  ExpectScreenMatchesGolden("softkey_pressed");
  platform::KeypadKey(VK_F1, false);
  platform::headless::RunPending();
  DestroyWindow(single);
  ExpectScreenMatchesGolden("softkey_bar");
}

// A dialog sized by the shell; returns its rectangle.
RECT ShellSizedDialog() {
  HWND dialog = CreateWindowEx(0, u"RecWhite", u"Dialog", WS_POPUP, 10, 10, 50, 50, nullptr,
                               nullptr, nullptr, nullptr);
  SHINITDLGINFO shidi{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
  EXPECT_TRUE(SHInitDialog(&shidi));
  RECT r{};
  GetWindowRect(dialog, &r);
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, r.right - r.left);
  EXPECT_EQ(client.bottom, r.bottom - r.top);
  return r;
}

TEST_F(SoftKeyBar, DialogsTakeTheWorkArea) {
  ExpectRect(ShellSizedDialog(), RECT{0, 20, 176, 200});
  SHINITDLGINFO none{SHIDIM_FLAGS, nullptr, SHIDIF_SIZEDLGFULLSCREEN};
  EXPECT_FALSE(SHInitDialog(&none));
  EXPECT_TRUE(SHInitExtraControls());
  SHNavigateBack();
}

TEST_F(LargeScreen, DialogsTakeTheWorkAreaAndBarsTheirStrip) {
  ExpectRect(ShellSizedDialog(), RECT{0, 26, 240, 294});
  RECT r;
  GetWindowRect(Bar(Owner(), 901), &r);
  ExpectRect(r, RECT{0, 294, 240, 320});
}

TEST_F(SoftKeyBar, FullScreenHidesTheTaskBarAndTheBarsThenBringsThemBack) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 900);
  platform::headless::RunPending();
  COLORREF band = Px(2, 2);
  COLORREF barBand = Px(2, 210);
  EXPECT_NE(band, kWhite);
  EXPECT_NE(barBand, kWhite);
  RECT saved;
  GetWindowRect(owner, &saved);
  MoveWindow(owner, 0, 0, 176, 220, FALSE);
  EXPECT_TRUE(SHFullScreen(owner, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON));
  platform::headless::RunPending();
  EXPECT_FALSE(IsWindowVisible(bar));
  // The window covers the whole screen.
  EXPECT_EQ(Px(2, 2), kWhite);
  EXPECT_EQ(Px(2, 210), kWhite);
  EXPECT_EQ(Px(175, 219), kWhite);
  RunScript("key F1\n");
  EXPECT_TRUE(Commands(owner).empty());

  MoveWindow(owner, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
             FALSE);
  EXPECT_TRUE(SHFullScreen(owner, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON));
  platform::headless::RunPending();
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(Px(2, 2), band);
  EXPECT_EQ(Px(2, 210), barBand);
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_FALSE(SHFullScreen(nullptr, SHFS_SHOWTASKBAR));
}

TEST_F(SoftKeyBar, FullScreenLeavesABarTheProgramHidItselfHidden) {
  // The main window hides its bars before going full screen and shows the
  // one it wants afterwards.
  HWND owner = Owner();
  HWND browse = Bar(owner, 901);
  HWND view = Bar(owner, 903);
  ShowWindow(view, SW_HIDE);
  ShowWindow(browse, SW_HIDE);
  SHFullScreen(owner, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
  ShowWindow(browse, SW_SHOW);
  SHFullScreen(owner, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON);
  EXPECT_TRUE(IsWindowVisible(browse));
  EXPECT_FALSE(IsWindowVisible(view));
}

}  // namespace
