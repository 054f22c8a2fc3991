// Resource scripts written with style names: names and numbers joined by
// "|", unknown names refused with their line; dialog sizes, soft-key buttons
// that drop one popup down, and bitmaps drawn in characters.
#include <gtest/gtest.h>

#include "platform/controls/button.h"
#include "platform/controls/edit.h"
#include "platform/controls/static_control.h"
#include "platform/controls/up_down.h"
#include "platform/resources/resources.h"
#include "tests/platform/platform_fixture.h"

namespace {

class ResourceStyles : public platform_test::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::ClearResources();
  }
  void TearDown() override {
    platform::ClearResources();
    DeviceTest::TearDown();
  }
  // The first control of dialog 1 written with `options`.
  static bool Control(const std::string& options, DialogItemTemplate* out, std::string* error) {
    platform::ClearResources();
    std::string script = "DIALOG 1 \"t\"\n  CONTROL 7 \"Edit\" \"\" 0 0 10 10 " + options + "\nEND\n";
    if (!platform::AddResourceScript(script, "styles.rc", error)) return false;
    *out = platform::FindDialogTemplate(1)->items.at(0);
    return true;
  }
};

TEST_F(ResourceStyles, NamesAndNumbersJoinedByBars) {
  DialogItemTemplate item;
  std::string error;
  // Bars standing apart, inside one word, or at a word's end.
  for (const char* written : {"STYLE WS_CHILD | WS_VISIBLE | ES_NUMBER", "STYLE WS_CHILD|WS_VISIBLE|ES_NUMBER",
                              "STYLE WS_CHILD| WS_VISIBLE |ES_NUMBER", "STYLE 0x40000000 | WS_VISIBLE | 0x2000"}) {
    ASSERT_TRUE(Control(written, &item, &error)) << written << ": " << error;
    EXPECT_EQ(item.style, (DWORD)(WS_CHILD | WS_VISIBLE | ES_NUMBER)) << written;
  }
  ASSERT_TRUE(Control("STYLE UDS_AUTOBUDDY | UDS_ALIGNRIGHT EXSTYLE 0x20 | WS_EX_NONE", &item, &error)) << error;
  EXPECT_EQ(item.style, (DWORD)(UDS_AUTOBUDDY | UDS_ALIGNRIGHT));
  EXPECT_EQ(item.exStyle, 0x20u);
  ASSERT_TRUE(Control("STYLE 0x50812000", &item, &error)) << error;
  EXPECT_EQ(item.style, 0x50812000u);

  DWORD v = 0;
  EXPECT_TRUE(platform::StyleByName("BS_AUTOCHECKBOX", &v));
  EXPECT_EQ(v, (DWORD)BS_AUTOCHECKBOX);
  EXPECT_TRUE(platform::StyleByName("SS_NOTIFY", &v));
  EXPECT_EQ(v, (DWORD)SS_NOTIFY);
  EXPECT_FALSE(platform::StyleByName("ws_tabstop", &v)) << "names keep their case";
}

TEST_F(ResourceStyles, AWrongStyleNamesItsLineAndAddsNothing) {
  std::string error;
  const char* script =
      "STRING 1 \"kept out\"\n"
      "DIALOG 1 \"t\"\n"
      "  CONTROL 7 \"Edit\" \"\" 0 0 10 10 STYLE WS_CHILD | ES_NUMBR\n"
      "END\n";
  EXPECT_FALSE(platform::AddResourceScript(script, "bad.rc", &error));
  EXPECT_EQ(error, "bad.rc:3: unknown style name \"ES_NUMBR\"");
  WCHAR text[16];
  EXPECT_EQ(LoadString(nullptr, 1, text, 16), 0);
  EXPECT_EQ(platform::FindDialogTemplate(1), nullptr);

  DialogItemTemplate item;
  EXPECT_FALSE(Control("STYLE WS_CHILD |", &item, &error));
  EXPECT_EQ(error, "styles.rc:2: empty part in style \"WS_CHILD|\"");
  EXPECT_FALSE(Control("STYLE WS_CHILD || WS_VISIBLE", &item, &error));
  EXPECT_FALSE(Control("STYLE", &item, &error));
  EXPECT_FALSE(Control("STYLE \"WS_CHILD\"", &item, &error));
  EXPECT_FALSE(Control("BORDER 1", &item, &error));
  EXPECT_EQ(error, "styles.rc:2: unknown control option \"BORDER\"");
  EXPECT_FALSE(platform::AddResourceScript("DIALOG 2 \"t\" STYLE WS_POPUP | NOPE\nEND\n", "d.rc", &error));
  EXPECT_EQ(error, "d.rc:1: unknown style name \"NOPE\"");
}

TEST_F(ResourceStyles, DialogSizesAndDropDownKeys) {
  std::string error;
  const char* script =
      "DIALOG 118 \"\" BAR 139 STYLE WS_POPUP | WS_VISIBLE SIZE 117 18\n"
      "END\n"
      "DIALOG 119 \"Full\"\n"
      "END\n"
      "SOFTKEYBAR 130\n"
      "  BUTTON 0 MENU 130 \"Action\" STRING 12 POPUP 0 ID 40003\n"
      "  BUTTON 1 MENU 131 \"Menu\"\n"
      "END\n";
  ASSERT_TRUE(platform::AddResourceScript(script, "bars.rc", &error)) << error;
  const DialogTemplate* strip = platform::FindDialogTemplate(118);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->style, (DWORD)(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(strip->cx, 117);
  EXPECT_EQ(strip->cy, 18);
  EXPECT_EQ(strip->bar, 139);
  EXPECT_EQ(platform::FindDialogTemplate(119)->cx, 0) << "no size: the work area";
  const SoftKeyBarTemplate* bar = platform::FindSoftKeyBar(130);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->buttons[0].opensMenu);
  EXPECT_EQ(bar->buttons[0].command, 130);
  EXPECT_EQ(bar->buttons[0].popup, 0);
  EXPECT_EQ(bar->buttons[0].buttonId, 40003);
  EXPECT_EQ(bar->buttons[0].labelString, 12);
  EXPECT_EQ(bar->buttons[1].popup, -1) << "the whole menu";
  EXPECT_EQ(bar->buttons[1].buttonId, 0);

  EXPECT_FALSE(platform::AddResourceScript("SOFTKEYBAR 1\n  BUTTON 0 COMMAND 1 \"OK\" POPUP 0\nEND\n", "b.rc", &error))
      << "only a menu key drops a popup down";
  EXPECT_EQ(error, "b.rc:2: unexpected \"POPUP\" after the label");
  EXPECT_FALSE(platform::AddResourceScript("DIALOG 3 \"t\" SIZE 10\nEND\n", "s.rc", &error));
}

TEST_F(ResourceStyles, BitmapsDrawnInCharacters) {
  std::string error;
  const char* script =
      "BITMAP 135 3 2\n"
      "  COLOR \"r\" 0x0000FF\n"
      "  COLOR \"b\" 0xFF0000   # blue, as colours are written: 0xBBGGRR\n"
      "  COLOR \"#\" 0x00FF00\n"
      "  ROW \"rb#\"\n"
      "  ROW \"##r\"\n"
      "END\n";
  ASSERT_TRUE(platform::AddResourceScript(script, "pictures.rc", &error)) << error;
  HBITMAP bitmap = LoadBitmap(nullptr, MAKEINTRESOURCE(135));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  ASSERT_NE(GetObject(bitmap, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(info.bmHeight, 2);
  EXPECT_EQ(info.bmBitsPixel, 24);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 2, 1), RGB(255, 0, 0));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  EXPECT_NE(LoadBitmap(nullptr, u"#135"), nullptr);
  EXPECT_EQ(LoadBitmap(nullptr, u"#13x"), nullptr);
  EXPECT_EQ(LoadBitmap(nullptr, u"135"), nullptr);
  EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(136)), nullptr);

  const char* shortRow = "BITMAP 1 3 1\n  COLOR \"r\" 0xFF\n  ROW \"rr\"\nEND\n";
  EXPECT_FALSE(platform::AddResourceScript(shortRow, "p.rc", &error));
  EXPECT_EQ(error, "p.rc:3: a row of 2 characters, not 3");
  const char* unknown = "BITMAP 1 2 1\n  ROW \"rr\"\nEND\n";
  EXPECT_FALSE(platform::AddResourceScript(unknown, "p.rc", &error));
  EXPECT_EQ(error, "p.rc:2: no COLOR for 'r'");
  const char* missing = "BITMAP 1 1 2\n  COLOR \"r\" 0xFF\n  ROW \"r\"\nEND\n";
  EXPECT_FALSE(platform::AddResourceScript(missing, "p.rc", &error));
  EXPECT_EQ(error, "p.rc:4: bitmap 1 has 1 rows, not 2");
  const char* extra = "BITMAP 1 1 1\n  COLOR \"r\" 0xFF\n  ROW \"r\"\n  ROW \"r\"\nEND\n";
  EXPECT_FALSE(platform::AddResourceScript(extra, "p.rc", &error));
  EXPECT_EQ(error, "p.rc:4: too many rows");
}

}  // namespace
