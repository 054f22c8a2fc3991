// Static texts, links and bitmaps, push buttons and check boxes, and the
// single-line edit, driven with the keypad in a plain parent.
#include <gtest/gtest.h>

#include "tests/platform/controls_fixture.h"

namespace platform_test {
namespace {

using Statics = ControlsTest;
using Buttons = ControlsTest;
using Edits = ControlsTest;

TEST_F(Statics, LinkTakesTheFocusAndReportsActionPlainLabelsDoNot) {
  HWND link = Make(WC_STATIC, u"Quivra web site", SS_CENTER | SS_NOTIFY | WS_TABSTOP, 1010,
                   RECT{4, 4, 170, 20});
  HWND label = Make(WC_STATIC, u"Size (%):", SS_LEFT, 1048, RECT{4, 24, 170, 40});
  EXPECT_EQ(SendMessage(link, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
  EXPECT_EQ(SendMessage(label, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  SetFocus(link);
  Keys("key enter\n");
  SetFocus(label);
  Keys("key enter\n");
  EXPECT_EQ(TakeNotes(), (Notes{Command(link, STN_CLICKED, u"Quivra web site")}));
  EnableWindow(link, FALSE);
  SetFocus(link);
  Keys("key enter\n");
  EXPECT_TRUE(TakeNotes().empty()) << "a disabled link stays silent";
}

TEST_F(Statics, ParentChoosesColoursAfterTheStaticSelectedItsFont) {
  LOGFONT lf{};
  lf.lfHeight = -20;
  HFONT big = CreateFontIndirect(&lf);
  HWND label = Make(WC_STATIC, u"MMMM", SS_LEFT, 1057, RECT{4, 4, 170, 30});
  SendMessage(label, WM_SETFONT, (WPARAM)big, TRUE);
  EXPECT_EQ((HFONT)SendMessage(label, WM_GETFONT, 0, 0), big);
  staticBrush_ = CreateSolidBrush(RGB(0xFF, 0xFF, 0));
  staticText_ = RGB(0, 0, 0xFF);
  colourAskFontHeights_.clear();
  Repaint(label);
  TEXTMETRIC tm{};
  HDC dc = GetDC(label);
  SelectObject(dc, big);
  GetTextMetrics(dc, &tm);
  ReleaseDC(label, dc);
  EXPECT_EQ(colourAskFontHeights_, std::vector<int>{tm.tmHeight}) << "asked with its font selected";
  EXPECT_EQ(PixelOf(label, 160, 20), RGB(0xFF, 0xFF, 0)) << "background from the parent's brush";
  EXPECT_GT(CountColour(label, RGB(0, 0, 0xFF)), 20) << "text in the colour the parent left";
  EXPECT_EQ(CountColour(label, RGB(0, 0, 0)), 0);
  DeleteObject(staticBrush_);
  staticBrush_ = nullptr;
  DestroyWindow(label);
  DeleteObject(big);
}

TEST_F(Statics, BitmapStaticsShowThePictureTheirTextNamesOrTheyAreGiven) {
  std::string error;
  ASSERT_TRUE(
      platform::AddResourceScript("BITMAP 900 4 2\n COLOR \"r\" 0x0000FF\n COLOR \"g\" 0x00FF00\n"
                                  " ROW \"rrgg\"\n ROW \"rggg\"\nEND\n",
                                  "controls", &error))
      << error;
  HWND named = Make(WC_STATIC, u"#900", SS_BITMAP, 1012, RECT{10, 10, 100, 100});
  HWND centred = Make(WC_STATIC, u"", SS_BITMAP | SS_CENTERIMAGE, 1013, RECT{10, 20, 30, 40});
  HWND label = Make(WC_STATIC, u"x", SS_LEFT, 1014, RECT{10, 50, 30, 60});
  HBITMAP given = LoadBitmap(nullptr, MAKEINTRESOURCE(900));
  EXPECT_EQ(SendMessage(centred, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)given), 0);
  EXPECT_EQ((HBITMAP)SendMessage(centred, STM_GETIMAGE, IMAGE_BITMAP, 0), given);
  EXPECT_NE(SendMessage(named, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
  EXPECT_EQ(SendMessage(label, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)given), 0);
  EXPECT_EQ(SendMessage(label, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "only bitmap statics";
  platform::headless::RunPending();
  RECT namedRect, centredRect;
  GetClientRect(named, &namedRect);
  GetClientRect(centred, &centredRect);
  EXPECT_EQ(std::make_pair(namedRect.right, namedRect.bottom), std::make_pair(4, 2))
      << "sized to it";
  EXPECT_EQ(centredRect.right, 20) << "a centred picture keeps the control's size";
  EXPECT_EQ(PixelOf(named, 1, 0), RGB(0xFF, 0, 0));
  EXPECT_EQ(PixelOf(named, 1, 1), RGB(0, 0xFF, 0));
  EXPECT_EQ(PixelOf(centred, 8, 10), RGB(0xFF, 0, 0));
  EXPECT_EQ(PixelOf(centred, 9, 10), RGB(0, 0xFF, 0));
  EXPECT_EQ(PixelOf(centred, 2, 2), RGB(0xFF, 0xFF, 0xFF));
  DestroyWindow(centred);
  DeleteObject(given);
  platform::ClearResources();
}

TEST_F(Statics, Look) {
  Make(WC_STATIC, u"Left label", SS_LEFT, 1, RECT{2, 2, 174, 16});
  Make(WC_STATIC, u"Centred", SS_CENTER, 2, RECT{2, 18, 174, 32});
  Make(WC_STATIC, u"Right", SS_RIGHT, 3, RECT{2, 34, 174, 48});
  Make(WC_STATIC, u"No resize for B&&W pictures", SS_LEFT, 4, RECT{2, 50, 174, 64});
  Make(WC_STATIC, u"Keep & as is", SS_LEFT | SS_NOPREFIX, 5, RECT{2, 66, 174, 80});
  HWND link = Make(WC_STATIC, u"Support forum", SS_CENTER | SS_NOTIFY | WS_TABSTOP, 6,
                   RECT{2, 82, 174, 96});
  Make(WC_STATIC, u"Select formats that you want to associate with Quivra", SS_LEFT, 7,
       RECT{2, 98, 174, 142});
  HWND off = Make(WC_STATIC, u"Disabled", SS_LEFT, 8, RECT{2, 144, 174, 158});
  EnableWindow(off, FALSE);
  SetFocus(link);
  ExpectScreenMatchesGolden("controls_statics");
}

TEST_F(Buttons, ActionTogglesTheCheckBoxThenNotifies) {
  HWND box =
      Make(WC_BUTTON, u"Save EXIF data", BS_AUTOCHECKBOX | WS_TABSTOP, 1034, RECT{4, 4, 170, 20});
  EXPECT_EQ(SendMessage(box, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
  std::vector<LRESULT> stateAtClick;
  auto record = Recorder::Get().handler;
  Recorder::Get().handler = [&](HWND h, UINT m, WPARAM w, LPARAM l, LRESULT* r) {
    if (m == WM_COMMAND && (HWND)l == box)
      stateAtClick.push_back(SendMessage(box, BM_GETCHECK, 0, 0));
    return record(h, m, w, l, r);
  };
  SetFocus(box);
  Keys("key enter\nkey enter\nkey enter\n");
  EXPECT_EQ(TakeNotes(), (Notes(3, Command(box, BN_CLICKED, u"Save EXIF data"))));
  EXPECT_EQ(stateAtClick, (std::vector<LRESULT>{BST_CHECKED, BST_UNCHECKED, BST_CHECKED}))
      << "the state is already the new one when BN_CLICKED arrives";
  EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessage(box, BM_GETSTATE, 0, 0), BST_CHECKED | BST_FOCUS);

  SendMessage(box, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(TakeNotes().empty()) << "BM_SETCHECK is silent";
  SendMessage(box, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(TakeNotes(), (Notes{Command(box, BN_CLICKED, u"Save EXIF data")}));

  colourAskFontHeights_.clear();
  Repaint(box);
  EXPECT_EQ(colourAskFontHeights_.size(), 1u) << "check boxes ask WM_CTLCOLORSTATIC as statics do";
  EnableWindow(box, FALSE);
  Keys("key enter\n");
  SendMessage(box, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(TakeNotes().empty()) << "a disabled check box neither toggles nor notifies";
}

TEST_F(Buttons, PushButtonAndPlainCheckBoxOnlyNotify) {
  HWND push = Make(WC_BUTTON, u"OK", BS_PUSHBUTTON | WS_TABSTOP, 1, RECT{4, 4, 80, 24});
  HWND plain = Make(WC_BUTTON, u"Manual", BS_CHECKBOX | WS_TABSTOP, 2, RECT{4, 30, 170, 46});
  EXPECT_EQ(SendMessage(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
  SetFocus(push);
  Keys("key enter\nkey 5\nkey right\n");
  SetFocus(plain);
  Keys("key enter\n");
  EXPECT_EQ(TakeNotes(),
            (Notes{Command(push, BN_CLICKED, u"OK"), Command(plain, BN_CLICKED, u"Manual")}));
  EXPECT_EQ(SendMessage(plain, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessage(push, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(SendMessage(push, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "push buttons have no check";
  CheckDlgButton(parent_, 2, BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(parent_, 2), 1u);
}

TEST_F(Buttons, Look) {
  Make(WC_BUTTON, u"Use embedded thumbnail", BS_AUTOCHECKBOX | WS_TABSTOP, 1, RECT{2, 2, 174, 16});
  HWND on =
      Make(WC_BUTTON, u"Smooth thumbnail", BS_AUTOCHECKBOX | WS_TABSTOP, 2, RECT{2, 18, 174, 32});
  SendMessage(on, BM_SETCHECK, BST_CHECKED, 0);
  HWND focused = Make(WC_BUTTON, u"No resize for B&&W pictures", BS_AUTOCHECKBOX | WS_TABSTOP, 3,
                      RECT{2, 34, 174, 48});
  SendMessage(focused, BM_SETCHECK, BST_CHECKED, 0);
  HWND off =
      Make(WC_BUTTON, u"Save EXIF data", BS_AUTOCHECKBOX | WS_TABSTOP, 4, RECT{2, 50, 174, 64});
  SendMessage(off, BM_SETCHECK, BST_CHECKED, 0);
  EnableWindow(off, FALSE);
  Make(WC_BUTTON, u"Push", BS_PUSHBUTTON, 5, RECT{2, 70, 60, 90});
  Make(WC_BUTTON, u"Default", BS_DEFPUSHBUTTON, 6, RECT{64, 70, 122, 90});
  HWND pushOff = Make(WC_BUTTON, u"Off", BS_PUSHBUTTON, 7, RECT{126, 70, 174, 90});
  EnableWindow(pushOff, FALSE);
  SetFocus(focused);
  ExpectScreenMatchesGolden("controls_buttons");
  // The focus moves to a push button: the check box loses its mark.
  HWND push2 = Make(WC_BUTTON, u"Focused", BS_PUSHBUTTON, 8, RECT{2, 94, 80, 114});
  SetFocus(push2);
  ExpectScreenMatchesGolden("controls_buttons_push_focused");
}

TEST_F(Edits, TypingInsertsAtTheCaretAndEveryChangeNotifiesAtOnce) {
  HWND edit = Make(WC_EDIT, u"", WS_BORDER | WS_TABSTOP, 1003, RECT{4, 4, 170, 22});
  EXPECT_EQ(SendMessage(edit, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS | DLGC_HASSETSEL);
  SetFocus(edit);
  Keys("type ab\nkey 7\nkey left\nkey left\ntype X\n");
  EXPECT_EQ(Text(edit), u"aXb7");
  EXPECT_EQ(TakeNotes(), Changes(edit, {u"a", u"ab", u"ab7", u"aXb7"}))
      << "the Action key and arrows type nothing";
  // Character 8 deletes before the caret; at the start it does nothing.
  SendMessage(edit, WM_CHAR, 8, 0);
  EXPECT_EQ(Text(edit), u"ab7");
  SendMessage(edit, EM_SETSEL, 0, 0);
  SendMessage(edit, WM_CHAR, 8, 0);
  EXPECT_EQ(Text(edit), u"ab7");
  EXPECT_EQ(TakeNotes(), Changes(edit, {u"ab7"}));
  // Select all, then a character replaces the selection.
  SendMessage(edit, EM_SETSEL, 0, -1);
  DWORD start = 9, end = 9;
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end), MAKELRESULT(0, 3));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 3u);
  SendMessage(edit, WM_CHAR, u'z', 0);
  EXPECT_EQ(Text(edit), u"z");
  // A selection and character 8: the selection goes.
  SetWindowText(edit, u"holiday");
  SendMessage(edit, EM_SETSEL, 2, 5);
  SendMessage(edit, WM_CHAR, 8, 0);
  EXPECT_EQ(Text(edit), u"hoay");
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELRESULT(2, 2));
  EXPECT_EQ(TakeNotes(), Changes(edit, {u"z", u"holiday", u"hoay"}));
}

TEST_F(Edits, ProgrammaticTextNotifiesLikeTyping) {
  HWND edit = Make(WC_EDIT, u"100", WS_BORDER | ES_NUMBER, 1017, RECT{4, 4, 170, 22});
  EXPECT_EQ(Text(edit), u"100");
  EXPECT_TRUE(TakeNotes().empty()) << "the creation text is not a change";
  SetWindowText(edit, u"50");
  SetDlgItemInt(parent_, 1017, 338, FALSE);
  SetWindowText(edit, u"");
  EXPECT_EQ(TakeNotes(), Changes(edit, {u"50", u"338", u""}));
  std::u16string longText;
  for (int i = 0; i < 260; ++i) longText += (char16_t)(u'a' + i % 26);
  SetWindowText(edit, longText.c_str());
  EXPECT_EQ(GetWindowTextLength(edit), 260);
  EXPECT_EQ(Text(edit), longText);
  WCHAR small[5];
  EXPECT_EQ(GetWindowText(edit, small, 5), 4);
  EXPECT_EQ(std::u16string(small), u"abcd");
}

TEST_F(Edits, NumberEditRefusesLettersAndLimitStopsTyping) {
  HWND edit = Make(WC_EDIT, u"", WS_BORDER | ES_NUMBER, 1027, RECT{4, 4, 170, 22});
  SetFocus(edit);
  SendMessage(edit, EM_LIMITTEXT, 3, 0);
  Keys("type a-1.\nkey 2\nkey 3\nkey 4\n");
  EXPECT_EQ(Text(edit), u"123");
  Notes typed = Changes(edit, {u"1", u"12", u"123"});
  typed.push_back(Command(edit, EN_MAXTEXT, u"123"));
  EXPECT_EQ(TakeNotes(), typed);
  SendMessage(edit, EM_SETSEL, 1, 2);
  SendMessage(edit, EM_REPLACESEL, FALSE, (LPARAM)u"99");
  EXPECT_EQ(Text(edit), u"193") << "a replacement is cut to the limit";
  EXPECT_EQ(TakeNotes(),
            (Notes{Command(edit, EN_MAXTEXT, u"123"), Command(edit, EN_CHANGE, u"193")}));
  SetWindowText(edit, u"12345");
  EXPECT_EQ(Text(edit), u"12345") << "the limit is for the user, not for the program";
}

TEST_F(Edits, ReadOnlyIgnoresTypingAndAsksForStaticColours) {
  HWND edit = Make(WC_EDIT, u"\\My Pictures\\", WS_BORDER | ES_READONLY, 1008, RECT{4, 4, 170, 22});
  SetFocus(edit);
  colourAskFontHeights_.clear();
  Keys("type x\n");
  SendMessage(edit, WM_CHAR, 8, 0);
  EXPECT_EQ(Text(edit), u"\\My Pictures\\");
  EXPECT_TRUE(TakeNotes().empty());
  Repaint(edit);
  EXPECT_FALSE(colourAskFontHeights_.empty()) << "read-only edits ask WM_CTLCOLORSTATIC";
  EXPECT_TRUE(SendMessage(edit, EM_SETREADONLY, FALSE, 0));
  SendMessage(edit, EM_SETSEL, 100, 100);
  EXPECT_FALSE(GetWindowLong(edit, GWL_STYLE) & ES_READONLY);
  colourAskFontHeights_.clear();
  SendMessage(edit, WM_CHAR, 8, 0);
  EXPECT_EQ(Text(edit), u"\\My Pictures");
  Repaint(edit);
  EXPECT_TRUE(colourAskFontHeights_.empty()) << "a writable edit paints white itself";
}

TEST_F(Edits, LeftAndRightMoveTheCaretAndEndASelection) {
  HWND edit = Make(WC_EDIT, u"abc", WS_BORDER, 1036, RECT{4, 4, 170, 22});
  SetFocus(edit);
  Keys("key right\nkey right\nkey right\nkey right\n");
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELRESULT(3, 3)) << "stops at the end";
  SendMessage(edit, EM_SETSEL, 1, 2);
  Keys("key left\n");
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELRESULT(1, 1));
  SendMessage(edit, EM_SETSEL, 1, 2);
  Keys("key right\n");
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELRESULT(2, 2));
  SendMessage(edit, EM_SETSEL, (WPARAM)-1, 0);
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELRESULT(2, 2)) << "-1 removes the selection";
  EXPECT_TRUE(TakeNotes().empty());
}

TEST_F(Edits, Look) {
  HWND caret = Make(WC_EDIT, u"holiday", WS_BORDER, 1, RECT{2, 2, 174, 20});
  SendMessage(caret, EM_SETSEL, 3, 3);
  HWND sel = Make(WC_EDIT, u"photo.jpg", WS_BORDER | ES_NOHIDESEL, 2, RECT{2, 24, 174, 42});
  SendMessage(sel, EM_SETSEL, 0, 5);
  Make(WC_EDIT, u"\\My Documents\\", WS_BORDER | ES_READONLY, 3, RECT{2, 46, 174, 64});
  HWND off = Make(WC_EDIT, u"75", WS_BORDER | ES_NUMBER, 4, RECT{2, 68, 174, 86});
  EnableWindow(off, FALSE);
  HWND longEdit = Make(WC_EDIT, u"", WS_BORDER, 5, RECT{2, 90, 90, 108});
  SetWindowText(longEdit, u"a rather long file name for a small field");
  SendMessage(longEdit, EM_SETSEL, 41, 41);
  Make(WC_EDIT, u"right", WS_BORDER | ES_RIGHT, 6, RECT{2, 112, 90, 130});
  SetFocus(caret);
  ExpectScreenMatchesGolden("controls_edits");
  SetFocus(longEdit);
  ExpectScreenMatchesGolden("controls_edits_scrolled");
}

}  // namespace
}  // namespace platform_test
