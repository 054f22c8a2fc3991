// Resource scripts: strings, menus with popups and marks, soft-key bars and
// dialog templates found by identifier, and malformed scripts refused with
// the line that is wrong.
#include <gtest/gtest.h>

#include "platform/resources/resources.h"
#include "platform/window/menu.h"

namespace {

const char kScript[] = R"(# A small script
STRING 3 "Name"
STRING 28 "Black&White"
STRING 44 "You must restart \"Quivra\" to apply changes."
STRING 5 "café"

MENU 130
  POPUP "File"
    ITEM 40001 "Open"
    SEPARATOR
    POPUP "Zoom"
      ITEM 32827 "Fill the Screen"
      ITEM 32828 "Fit to Screen" CHECKED
    END
    ITEM 40002 "Delete" GRAYED
  END
END

SOFTKEYBAR 131
  BUTTON 0 COMMAND 1 "Done" STRING 17
  BUTTON 1 MENU 131 "Menu"
END

DIALOG 110 "Resize" BAR 137 FONT 8 "MS Sans Serif"
  CONTROL 1017 "Edit" "" 5 10 40 12 STYLE 0x50812000
  CONTROL 1019 "msctls_updown32" "" 45 10 10 12 STYLE 0x500000B6
  CONTROL 1048 "Static" "Width:" 5 0 60 8
END
)";

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearResources();
    std::string error;
    ASSERT_TRUE(platform::AddResourceScript(kScript, "test.rc", &error)) << error;
  }
  void TearDown() override { platform::ClearResources(); }
};

TEST_F(Resources, StringsLoadByNumberCutToTheBuffer) {
  WCHAR buffer[64];
  EXPECT_EQ(LoadString(nullptr, 3, buffer, 64), 4);
  EXPECT_EQ(std::u16string(buffer), u"Name");
  EXPECT_EQ(LoadString(nullptr, 44, buffer, 64), 43);
  EXPECT_EQ(std::u16string(buffer), u"You must restart \"Quivra\" to apply changes.");
  EXPECT_EQ(LoadString(nullptr, 28, buffer, 6), 5);
  EXPECT_EQ(std::u16string(buffer), u"Black");
  EXPECT_EQ(LoadString(nullptr, 5, buffer, 64), 4);
  EXPECT_EQ(std::u16string(buffer), u"caf\u00E9");
  EXPECT_EQ(LoadString(nullptr, 999, buffer, 64), 0);
}

TEST_F(Resources, MenusKeepTheirTreeTextsAndMarks) {
  HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(130));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  HMENU file = GetSubMenu(bar, 0);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(GetMenuItemCount(file), 4);
  EXPECT_EQ(GetMenuItemID(file, 0), 40001u);
  EXPECT_TRUE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
  HMENU zoom = GetSubMenu(file, 2);
  ASSERT_NE(zoom, nullptr);
  WCHAR text[32];
  GetMenuString(file, 2, text, 32, MF_BYPOSITION);
  EXPECT_EQ(std::u16string(text), u"Zoom");
  EXPECT_TRUE(GetMenuState(bar, 32828, MF_BYCOMMAND) & MF_CHECKED) << "found by command in submenus";
  EXPECT_TRUE(GetMenuState(bar, 40002, MF_BYCOMMAND) & MF_GRAYED);
  // Radio marks go by identifier range, whatever the positions.
  CheckMenuRadioItem(bar, 32827, 32828, 32827, MF_BYCOMMAND);
  EXPECT_TRUE(GetMenuState(zoom, 32827, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(zoom, 32828, MF_BYCOMMAND) & MF_CHECKED);
  // Each load is a fresh copy the program may edit.
  HMENU again = LoadMenu(nullptr, MAKEINTRESOURCE(130));
  EXPECT_TRUE(GetMenuState(again, 32828, MF_BYCOMMAND) & MF_CHECKED);
  ModifyMenu(again, 40001, MF_BYCOMMAND | MF_STRING, 40001, u"Ouvrir");
  GetMenuString(again, 40001, text, 32, MF_BYCOMMAND);
  EXPECT_EQ(std::u16string(text), u"Ouvrir");
  DestroyMenu(bar);
  DestroyMenu(again);
  EXPECT_FALSE(IsMenu(zoom)) << "submenus go with their menu";
}

TEST_F(Resources, DialogTemplatesAreFoundLoadedAndLocked) {
  HRSRC found = FindResource(nullptr, MAKEINTRESOURCE(110), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  auto* t = (LPCDLGTEMPLATE)LockResource(LoadResource(nullptr, found));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->title, u"Resize");
  EXPECT_EQ(t->bar, 137);
  EXPECT_EQ(t->fontFace, u"MS Sans Serif");
  EXPECT_EQ(t->fontSize, 8);
  ASSERT_EQ(t->items.size(), 3u);
  EXPECT_EQ(t->items[0].id, 1017);
  EXPECT_EQ(t->items[0].className, u"Edit");
  EXPECT_EQ(t->items[0].style, 0x50812000u);
  EXPECT_EQ(t->items[1].x, 45);
  EXPECT_EQ(t->items[2].text, u"Width:");
  EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(111), RT_DIALOG), nullptr);
  EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(110), RT_MENU), nullptr);
}

TEST_F(Resources, SoftKeyBarsDescribeTheirTwoButtons) {
  const SoftKeyBarTemplate* bar = platform::FindSoftKeyBar(131);
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->buttons[0].opensMenu);
  EXPECT_EQ(bar->buttons[0].command, 1);
  EXPECT_EQ(bar->buttons[0].label, u"Done");
  EXPECT_EQ(bar->buttons[0].labelString, 17);
  EXPECT_TRUE(bar->buttons[1].opensMenu);
  EXPECT_EQ(bar->buttons[1].command, 131);
  EXPECT_EQ(platform::FindSoftKeyBar(132), nullptr);
}

TEST_F(Resources, MalformedScriptsAreRefusedWithTheirLineAndAddNothing) {
  struct Case {
    const char* text;
    int line;
  } cases[] = {
      {"STRING 1 \"ok\"\nSTRING 2 unquoted\n", 2},
      {"MENU 5\n  ITEM 1 \"a\"\n", 3},
      {"STRING 70000 \"too big\"\n", 1},
      {"DIALOG 9 \"x\"\n  CONTROL 1 \"Edit\" \"\" 1 2 3\nEND\n", 2},
      {"SOFTKEYBAR 1\n  BUTTON 2 COMMAND 1 \"x\"\nEND\n", 2},
      {"STRING 3 \"duplicate of the loaded one\"\n", 1},
      {"STRING 8 \"unterminated\n", 1},
      {"WHATEVER 1\n", 1},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(platform::AddResourceScript(c.text, "bad.rc", &error)) << c.text;
    EXPECT_EQ(error.rfind("bad.rc:" + std::to_string(c.line) + ":", 0), 0u) << error;
  }
  WCHAR buffer[8];
  EXPECT_EQ(LoadString(nullptr, 1, buffer, 8), 0) << "a refused script adds nothing";
  EXPECT_EQ(LoadString(nullptr, 3, buffer, 8), 4);
}

TEST(MenuObjects, ProgramBuiltMenusCheckEnableAndEdit) {
  HMENU popup = CreatePopupMenu();
  AppendMenu(popup, MF_STRING, 10, u"One");
  AppendMenu(popup, MF_STRING, 11, u"Two");
  InsertMenu(popup, 0, MF_BYPOSITION | MF_STRING, 9, u"Zero");
  EXPECT_EQ(GetMenuItemID(popup, 0), 9u);
  EXPECT_EQ(CheckMenuItem(popup, 10, MF_BYCOMMAND | MF_CHECKED), (DWORD)MF_UNCHECKED);
  EXPECT_EQ(CheckMenuItem(popup, 10, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_CHECKED);
  EnableMenuItem(popup, 11, MF_BYCOMMAND | MF_GRAYED);
  EXPECT_TRUE(GetMenuState(popup, 11, MF_BYCOMMAND) & MF_GRAYED);
  EnableMenuItem(popup, 11, MF_BYCOMMAND | MF_ENABLED);
  EXPECT_FALSE(GetMenuState(popup, 11, MF_BYCOMMAND) & MF_GRAYED);
  MENUITEMINFO info{sizeof info, MIIM_TYPE, 0, 0, 0, nullptr, nullptr, nullptr, 0, (LPWSTR)u"Deux", 0};
  EXPECT_TRUE(SetMenuItemInfo(popup, 11, FALSE, &info));
  WCHAR text[8];
  GetMenuString(popup, 11, text, 8, MF_BYCOMMAND);
  EXPECT_EQ(std::u16string(text), u"Deux");
  EXPECT_TRUE(DeleteMenu(popup, 9, MF_BYCOMMAND));
  EXPECT_EQ(GetMenuItemCount(popup), 2);
  EXPECT_EQ(GetMenuState(popup, 99, MF_BYCOMMAND), (UINT)-1);
  DestroyMenu(popup);
}

}  // namespace
