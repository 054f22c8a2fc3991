// Drop-down menus from the soft keys: prepared by the owner before each
// level shows, navigated with the direction pad and digits, marks, greyed
// items, separators and submenus, closed by Back or the soft keys, and a
// modal loop that keeps the thread's other messages flowing.
#include <thread>

#include "tests/platform/soft_key_fixture.h"

using namespace platform_test;

namespace {

struct Opened {
  HMENU menu;
  WORD position;
  bool operator==(const Opened& o) const { return menu == o.menu && position == o.position; }
};

class DropDown : public SoftKeyTest {
 protected:
  void SetUp() override {
    SoftKeyTest::SetUp();
    owner_ = Owner();
    bar_ = Bar(owner_, 900);
    ASSERT_NE(bar_, nullptr);
    menu_ = (HMENU)SendMessage(bar_, SHCMBM_GETMENU, 0, 0);
    file_ = GetSubMenu(menu_, 1);
    zoom_ = GetSubMenu(file_, 4);
    favorites_ = GetSubMenu(file_, 5);
    ASSERT_TRUE(zoom_ && favorites_);
    Recorder::Get().log.clear();
  }
  std::vector<Opened> OpenedLevels() {
    std::vector<Opened> out;
    for (auto& r : Recorder::Get().Of(owner_, {WM_INITMENUPOPUP})) {
      EXPECT_EQ(HIWORD(r.lParam), 0);
      out.push_back({(HMENU)r.wParam, LOWORD(r.lParam)});
    }
    return out;
  }
  HWND owner_ = nullptr;
  HWND bar_ = nullptr;
  HMENU menu_ = nullptr, file_ = nullptr, zoom_ = nullptr, favorites_ = nullptr;
};

TEST_F(DropDown, SoftKeysDropTheirPopupPreparedFirstAndActionChooses) {
  // When the owner prepares the popup, nothing of it is on screen yet.
  std::vector<COLORREF> cornerWhenPrepared;
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT*) {
    if (h == owner_ && msg == WM_INITMENUPOPUP) cornerWhenPrepared.push_back(Px(175, 199));
    return false;
  };
  RunScript("key F2\nkey down\nkey enter\n");
  EXPECT_EQ(OpenedLevels(), (std::vector<Opened>{{file_, 1}}));
  EXPECT_EQ(cornerWhenPrepared, std::vector<COLORREF>{kWhite});
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{202});
  // The keys went to the menu, not to the focus window.
  EXPECT_EQ(GetFocus(), owner_);
  EXPECT_TRUE(Keys(owner_).empty());
  EXPECT_TRUE(Recorder::Get().Of(owner_, {WM_HOTKEY}).empty());
  // Gone from the screen afterwards.
  EXPECT_EQ(Px(175, 199), kWhite);

  RunAfresh("key F1\nkey enter\n");
  EXPECT_EQ(OpenedLevels(), (std::vector<Opened>{{GetSubMenu(menu_, 0), 0}}));
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{101});
}

TEST_F(DropDown, KeysWalkTheLevelsSkipWhatCannotBeChosenAndChoose) {
  struct Row {
    const char* name;
    const char* keys;
    std::vector<Opened> opened;
    std::vector<WORD> chosen;
  };
  const Row rows[] = {
      {"up from the first item wraps to the last", "key F2\nkey up\nkey enter\n", {{file_, 1}},
       {204}},
      {"down from the last item wraps to the first", "key F2\nkey up\nkey down\nkey enter\n",
       {{file_, 1}},
       {201}},
      {"greyed Page Next: Action leaves the menu open, Back closes it",
       "key F2\nkey down\nkey down\nkey enter\nkey 3\nkey back\n",
       {{file_, 1}},
       {}},
      {"down past the greyed item skips the separator; Action opens Zoom and chooses",
       "key F2\nkey down\nkey down\nkey down\nkey enter\nkey enter\n",
       {{file_, 1}, {zoom_, 4}},
       {32828}},
      {"right opens and left closes submenus, each prepared in order",
       "key F2\nkey down\nkey down\nkey down\nkey right\nkey left\n"
       "key down\nkey right\nkey down\nkey enter\n",
       {{file_, 1}, {zoom_, 4}, {favorites_, 5}},
       {32862}},
      {"left on the first level does not close the menu", "key F2\nkey left\nkey enter\n",
       {{file_, 1}},
       {201}},
      {"digits choose the nth item", "key F2\nkey 4\nkey 2\n", {{file_, 1}, {zoom_, 4}}, {32827}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    RunAfresh(r.keys);
    EXPECT_EQ(OpenedLevels(), r.opened);
    EXPECT_EQ(Commands(owner_), r.chosen);
    EXPECT_TRUE(Keys(owner_).empty()) << "the keys, key-ups too, stay in the menu";
  }
}

TEST_F(DropDown, ItemsInsertedWhileThePopupIsPreparedShowAndCanBeChosen) {
  // As the favorites are built: stale entries removed, then inserted anew.
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM w, LPARAM, LRESULT*) {
    if (h != owner_ || msg != WM_INITMENUPOPUP) return false;
    HMENU popup = (HMENU)w;
    MENUITEMINFO mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_ID;
    if (!GetMenuItemInfo(popup, 0, TRUE, &mii) || (mii.wID != 32861 && mii.wID != 10000))
      return false;
    for (UINT id = 10000; id < 10010; ++id) DeleteMenu(popup, id, MF_BYCOMMAND);
    if (mii.wID == 32861) InsertMenu(popup, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenu(popup, 0, MF_BYPOSITION | MF_STRING, 10000, u"\\Pictures");
    InsertMenu(popup, 1, MF_BYPOSITION | MF_STRING, 10001, u"...\\Holiday");
    return false;
  };
  RunScript("key F2\nkey down\nkey down\nkey down\nkey down\nkey right\nkey down\nkey enter\n");
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{10001});
  EXPECT_EQ(GetMenuItemCount(favorites_), 5);
  // Opened again: prepared again, no duplicates; the digit 5 picks the
  // fifth item, separators not counted (Delete Current).
  RunAfresh("key F2\nkey 5\nkey 4\n");
  EXPECT_EQ(GetMenuItemCount(favorites_), 5);
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{32862});
}

TEST_F(DropDown, BackAndTheSoftKeysCloseWithoutACommand) {
  // Without an override the Back key is swallowed by the menu.
  RunScript("key F2\nkey down\nkey back\n");
  EXPECT_TRUE(Commands(owner_).empty());
  EXPECT_TRUE(Keys(owner_).empty());
  // With the override (as every bar of the program has it) the hot keys
  // stay in the menu too, held or not.
  SendMessage(bar_, SHCMBM_OVERRIDEKEY, VK_ESCAPE, MAKELPARAM(3, 3));
  RunScript("key F2\nhold back 1000\n");
  EXPECT_TRUE(Recorder::Get().Of(owner_, {WM_HOTKEY}).empty());
  EXPECT_EQ(Px(175, 199), kWhite);
  // Back closes every level at once.
  RunScript("key F2\nkey down\nkey down\nkey down\nkey right\nkey back\n");
  EXPECT_TRUE(Recorder::Get().Of(owner_, {WM_HOTKEY}).empty());
  EXPECT_TRUE(Commands(owner_).empty());
  // Once the menu is closed Back reaches the owner again.
  RunScript("key back\n");
  EXPECT_EQ(Recorder::Get().Of(owner_, {WM_HOTKEY}).size(), 2u);
  // The same soft key, or the other one, closes the menu.
  RunAfresh("key F2\nkey F2\nkey F1\nkey F2\nkey F1\nkey down\nkey enter\n");
  HMENU action = GetSubMenu(menu_, 0);
  EXPECT_EQ(OpenedLevels(), (std::vector<Opened>{{file_, 1}, {action, 0}, {action, 0}}));
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{102});
}

TEST_F(DropDown, TimersAndPostsKeepFlowingWhileTheMenuIsOpen) {
  SetTimer(owner_, 5, 10, nullptr);
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM w, LPARAM, LRESULT*) {
    if (h == owner_ && msg == WM_TIMER && w == 5) {
      KillTimer(h, 5);
      // A worker thread's post.
      std::thread([h] { PostMessage(h, WM_USER + 7, 0, 0); }).join();
      return true;
    }
    return false;
  };
  RunScript("key F2\nwait 50\nkey down\nkey enter\n");
  std::vector<UINT> order =
      Recorder::Get().Messages(owner_, {WM_INITMENUPOPUP, WM_TIMER, WM_USER + 7, WM_COMMAND});
  EXPECT_EQ(order, (std::vector<UINT>{WM_INITMENUPOPUP, WM_TIMER, WM_USER + 7, WM_COMMAND}));
}

TEST_F(DropDown, AMenuOfItemsOnlyDropsItselfFromItsButton) {
  HWND dialog = Owner(owner_);
  HWND bar = Bar(dialog, 903);
  HMENU menu = (HMENU)SendMessage(bar, SHCMBM_GETMENU, 0, 0);
  ASSERT_TRUE(IsMenu(menu));
  RunScript("key F2\nkey down\nkey down\nkey enter\nkey F1\n");
  std::vector<Received> init = Recorder::Get().Of(dialog, {WM_INITMENUPOPUP});
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ((HMENU)init[0].wParam, menu);
  EXPECT_EQ(Commands(dialog), (std::vector<WORD>{303, IDOK}));
  EXPECT_TRUE(Commands(owner_).empty());
}

TEST_F(DropDown, TheMenuEndsWhenItsOwnerGoesOrTheProgramQuits) {
  AtTimer(owner_, 9, [&] { DestroyWindow(owner_); });
  RunScript("key F2\nwait 50\nkey down\nkey enter\n");
  EXPECT_FALSE(IsWindow(owner_));
  EXPECT_FALSE(IsWindow(bar_));
  // A quit arriving while the menu is open closes it and still ends the
  // program's loop (the script running out posts it here).
  HWND other = Owner();
  Bar(other, 900);
  RunAfresh("key F2\n");
  EXPECT_EQ(Recorder::Get().Of(other, {WM_INITMENUPOPUP}).size(), 1u);
  EXPECT_EQ(Px(175, 199), kWhite);
  RunScript("key F2\nkey enter\n");
  EXPECT_EQ(Commands(other), std::vector<WORD>{201});
  // The bar destroyed while its menu is open takes the menu with it.
  HWND otherBar = Bar(other, 900);
  AtTimer(other, 9, [&] { DestroyWindow(otherBar); });
  RunAfresh("key F2\nwait 50\nkey down\nkey enter\n");
  EXPECT_TRUE(Commands(other).empty());
  EXPECT_EQ(Px(175, 199), kWhite);
  // The keys after it reach the window again.
  EXPECT_EQ(Keys(other), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

TEST_F(DropDown, LooksLikeTheDevicesMenus) {
  CheckMenuRadioItem(menu_, 32827, 32836, 32828, MF_BYCOMMAND);
  EXPECT_EQ(GetMenuState(menu_, 32828, MF_BYCOMMAND) & MF_CHECKED, (UINT)MF_CHECKED);
  EXPECT_EQ(GetMenuState(menu_, 32827, MF_BYCOMMAND) & MF_CHECKED, 0u);
  AtTimer(owner_, 1, [&] { ExpectScreenMatchesGolden("menu_file"); });
  RunScript("key F2\nkey down\nwait 20\nkey back\n");
  AtTimer(owner_, 2, [&] { ExpectScreenMatchesGolden("menu_zoom"); });
  RunScript("key F2\nkey 4\nkey down\nkey down\nwait 20\nkey back\n");
  // The radio mark moves by identifier range.
  CheckMenuRadioItem(menu_, 32827, 32836, 32830, MF_BYCOMMAND);
  EXPECT_EQ(GetMenuState(menu_, 32828, MF_BYCOMMAND) & MF_CHECKED, 0u);
  AtTimer(owner_, 4, [&] { ExpectScreenMatchesGolden("menu_left"); });
  RunScript("key F1\nwait 20\nkey back\n");
}

TEST_F(DropDown, AMenuTallerThanTheScreenScrollsToTheHighlight) {
  // Ten favorites under the two fixed items: more than the work area holds.
  Recorder::Get().handler = [&](HWND h, UINT msg, WPARAM w, LPARAM, LRESULT*) {
    if (h == owner_ && msg == WM_INITMENUPOPUP && (HMENU)w == favorites_ &&
        GetMenuItemCount(favorites_) == 2) {
      InsertMenu(favorites_, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
      for (int i = 0; i < 10; ++i) {
        std::u16string label = u"...\\Folder " + std::u16string(1, (char16_t)(u'0' + i));
        InsertMenu(favorites_, (UINT)i, MF_BYPOSITION | MF_STRING, 10000 + i, label.c_str());
      }
    }
    if (h == owner_ && msg == WM_TIMER && w == 1) {
      KillTimer(h, 1);
      ExpectScreenMatchesGolden("menu_scrolled");
      return true;
    }
    return false;
  };
  SetTimer(owner_, 1, 10, nullptr);
  // Up from the first entry wraps to the last item, below the fold.
  RunScript("key F2\nkey 5\nkey up\nwait 20\nkey enter\n");
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{32862});
  RunAfresh("key F2\nkey 5\nkey up\nkey down\nkey enter\n");
  EXPECT_EQ(Commands(owner_), std::vector<WORD>{10000});
}

TEST_F(LargeScreen, MenusStandAboveTheTallerBar) {
  HWND owner = Owner();
  HWND bar = Bar(owner, 900);
  ASSERT_NE(bar, nullptr);
  AtTimer(owner, 1, [&] {
    // The box's bottom right corner touches the bar.
    EXPECT_EQ(Px(239, 293), RGB(0, 0, 0));
    EXPECT_NE(Px(239, 294), RGB(0, 0, 0));
    ExpectScreenMatchesGolden("menu_large");
  });
  RunScript("key F2\nkey 4\nwait 20\nkey back\n");
}

}  // namespace
