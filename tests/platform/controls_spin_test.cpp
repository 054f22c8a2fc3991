// Up-downs with number edits and spin lists as buddies, the spin list on
// its own, and the trackbar, driven with the keypad in a plain parent.
#include <gtest/gtest.h>

#include "tests/platform/controls_fixture.h"

namespace platform_test {
namespace {

const DWORD kNumberUpDown = UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_SETBUDDYINT;
const DWORD kListUpDown = UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS;

class Spins : public ControlsTest {
 protected:
  // A number edit 18 pixels high at `top` and its up-down to the right.
  std::pair<HWND, HWND> NumberSpin(const char16_t* text, int editId, int udId, int top,
                                   LPARAM range, DWORD style = kNumberUpDown) {
    HWND edit = Make(WC_EDIT, text, WS_BORDER | ES_NUMBER, editId, RECT{4, top, 120, top + 18});
    HWND ud = Make(UPDOWN_CLASS, u"", style, udId, RECT{120, top, 140, top + 18});
    SendMessage(ud, UDM_SETRANGE, 0, range);
    return {edit, ud};
  }
  // A trackbar from -128 to 128 with a tick every 20, as the colour pages use.
  HWND Trackbar(int id, RECT r, int pos, DWORD style = 0) {
    HWND tb = Make(TRACKBAR_CLASS, u"", TBS_HORZ | TBS_AUTOTICKS | style, id, r);
    SendMessage(tb, TBM_SETRANGEMIN, FALSE, -128);
    SendMessage(tb, TBM_SETRANGEMAX, FALSE, 128);
    SendMessage(tb, TBM_SETTICFREQ, 20, 0);
    SendMessage(tb, TBM_SETPOS, TRUE, pos);
    return tb;
  }
};
using UpDowns = Spins;
using SpinLists = Spins;
using Trackbars = Spins;

TEST_F(UpDowns, QualityRangeRightLowersLeftRaisesEachStepNotifiedInOrder) {
  HWND edit = Make(WC_EDIT, u"", WS_BORDER | ES_NUMBER | WS_TABSTOP, 1027, RECT{4, 4, 120, 22});
  HWND ud = Make(UPDOWN_CLASS, u"", kNumberUpDown, 1028, RECT{120, 4, 140, 22});
  EXPECT_EQ((HWND)SendMessage(ud, UDM_GETBUDDY, 0, 0), edit) << "the previous sibling";
  EXPECT_EQ(SendMessage(ud, UDM_SETPOS, 0, 75), 0);
  SendMessage(ud, UDM_SETRANGE, 0, 0x0064000A);
  EXPECT_EQ((DWORD)SendMessage(ud, UDM_GETRANGE, 0, 0), 0x0064000Au);
  EXPECT_EQ(TakeNotes(), (Notes{Command(edit, EN_CHANGE, u"75")})) << "UDM_SETPOS writes the buddy";
  SetFocus(edit);
  Keys("key right\n");
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 75, -1), Command(edit, EN_CHANGE, u"74"),
                                Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 74)}));
  Keys("key left\nkey left\n");
  EXPECT_EQ(Text(edit), u"76");
  EXPECT_EQ(SendMessage(ud, UDM_GETPOS, 0, 0), MAKELONG(76, 0));
  TakeNotes();
  // The upper limit (10) is where Right stops.
  SetWindowText(edit, u"11");
  Keys("key right\nkey right\n");
  EXPECT_EQ(TakeNotes(),
            (Notes{Command(edit, EN_CHANGE, u"11"), DeltaPos(ud, 11, -1),
                   Command(edit, EN_CHANGE, u"10"), Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 10),
                   DeltaPos(ud, 10, -1), Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 10)}));
  // The lower limit (100) is where Left stops.
  SetWindowText(edit, u"100");
  TakeNotes();
  Keys("key left\n");
  EXPECT_EQ(Text(edit), u"100");
  EXPECT_EQ(TakeNotes(),
            (Notes{DeltaPos(ud, 100, 1), Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 100)}));
  EXPECT_EQ(GetFocus(), edit);
}

TEST_F(UpDowns, EveryReversedRangeHoldsAtBothEnds) {
  struct Case {
    LPARAM range;
    const char16_t* start;
    const char* key;
    const char16_t* after;
  };
  const Case cases[] = {
      {0x03200005, u"800", "left", u"800"},    {0x03200005, u"800", "right", u"799"},
      {0x03200005, u"5", "right", u"5"},       {0x08000005, u"2048", "left", u"2048"},
      {0x08000005, u"1024", "right", u"1023"}, {0x00780000, u"0", "right", u"0"},
      {0x00780000, u"120", "left", u"120"},    {0x00780000, u"0", "left", u"1"},
      {0x00780000, u"5000", "right", u"120"},  {0x08000005, u"", "left", u"6"},
      {0x08000005, u"", "right", u"5"},
  };
  for (const Case& c : cases) {
    auto [edit, ud] = NumberSpin(c.start, 1046, 1044, 4, c.range);
    if (!*c.start) SendMessage(ud, UDM_SETPOS, 0, 5);
    SetWindowText(edit, c.start);
    SetFocus(edit);
    Keys(std::string("key ") + c.key + "\n");
    EXPECT_EQ(Text(edit), c.after) << std::hex << c.range << " " << c.key;
    DestroyWindow(ud);
    DestroyWindow(edit);
  }
}

TEST_F(UpDowns, WrapGoesRoundAndAParentAnswerCancelsTheStep) {
  auto [edit, ud] = NumberSpin(u"10", 1027, 1028, 4, 0x0064000A, kNumberUpDown | UDS_WRAP);
  SetFocus(edit);
  Keys("key right\n");
  EXPECT_EQ(Text(edit), u"100");
  Keys("key left\n");
  EXPECT_EQ(Text(edit), u"10");
  TakeNotes();
  deltaPosAnswer_ = 1;
  Keys("key right\nkey left\n");
  EXPECT_EQ(Text(edit), u"10");
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 10, -1), DeltaPos(ud, 10, 1)}))
      << "a cancelled step changes nothing and reports nothing more";
}

TEST_F(UpDowns, BuddyThatIsNotANumberOnlyNotifies) {
  HWND folder = Make(WC_EDIT, u"\\My Pictures\\", WS_BORDER, 1008, RECT{4, 4, 120, 22});
  HWND ud = Make(UPDOWN_CLASS, u"", kListUpDown, 1024, RECT{120, 4, 140, 22});
  HWND numbered = Make(WC_EDIT, u"abc", WS_BORDER, 1003, RECT{4, 30, 120, 48});
  HWND ud2 = Make(UPDOWN_CLASS, u"", kNumberUpDown, 1005, RECT{120, 30, 140, 48});
  SetFocus(folder);
  Keys("key right\n");
  SetFocus(numbered);
  Keys("key left\n");
  EXPECT_EQ(Text(folder), u"\\My Pictures\\");
  EXPECT_EQ(Text(numbered), u"abc");
  EXPECT_EQ(TakeNotes(),
            (Notes{DeltaPos(ud, 0, -1), Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 0),
                   DeltaPos(ud2, 0, 1), Scroll(WM_VSCROLL, ud2, SB_THUMBPOSITION, 0)}));
  EXPECT_EQ(SendMessage(ud2, UDM_GETPOS, 0, 0), MAKELONG(0, 1)) << "the buddy has no number";
}

TEST_F(UpDowns, BuddyByMessagePositionAndPlacement) {
  HWND edit = Make(WC_EDIT, u"42", WS_BORDER | ES_NUMBER, 1020, RECT{4, 4, 120, 22});
  HWND ud = Make(UPDOWN_CLASS, u"", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_HORZ, 1021,
                 RECT{0, 60, 20, 70});
  EXPECT_EQ(SendMessage(ud, UDM_GETBUDDY, 0, 0), 0);
  EXPECT_EQ(SendMessage(ud, UDM_SETBUDDY, (WPARAM)edit, 0), 0);
  EXPECT_EQ((HWND)SendMessage(ud, UDM_SETBUDDY, (WPARAM)edit, 0), edit);
  // UDS_ALIGNRIGHT: the up-down takes the right end of the buddy's place.
  RECT e, u;
  GetWindowRect(edit, &e);
  GetWindowRect(ud, &u);
  EXPECT_EQ(e.right - e.left, 96);
  EXPECT_EQ(u.left, e.right);
  EXPECT_EQ(u.right - u.left, 20);
  EXPECT_EQ(u.top, e.top);
  EXPECT_EQ(u.bottom, e.bottom);
  EXPECT_EQ(SendMessage(ud, UDM_GETPOS, 0, 0), MAKELONG(42, 0)) << "read from the buddy";
  SendMessage(ud, UDM_SETRANGE, 0, 0x08000005);
  EXPECT_EQ(SendMessage(ud, UDM_SETPOS, 0, 3000), 42);
  EXPECT_EQ(Text(edit), u"2048") << "a position outside the range is brought into it";
  TakeNotes();
  SetFocus(edit);
  Keys("key right\n");
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 2048, -1), Command(edit, EN_CHANGE, u"2047"),
                                Scroll(WM_HSCROLL, ud, SB_THUMBPOSITION, 2047)}));
  EnableWindow(ud, FALSE);
  Keys("key right\n");
  EXPECT_EQ(Text(edit), u"2047");
  EXPECT_TRUE(TakeNotes().empty()) << "a disabled up-down does not step";
}

TEST_F(UpDowns, Look) {
  NumberSpin(u"75", 1027, 1028, 4, 0x0064000A);
  HWND top = NumberSpin(u"5", 1017, 1019, 26, 0x03200005).first;
  NumberSpin(u"800", 1020, 1021, 48, 0x03200005);
  auto [offEdit, off] = NumberSpin(u"90", 1022, 1023, 70, 0x0064000A);
  EnableWindow(offEdit, FALSE);
  EnableWindow(off, FALSE);
  SetFocus(top);
  SendMessage(top, EM_SETSEL, 1, 1);
  ExpectScreenMatchesGolden("controls_updowns");
}

HWND FillFormats(HWND list) {
  for (const char16_t* s :
       {u"JPEG Image Format", u"BMP Image Format", u"GIF Image Format", u"PNG Image Format"})
    SendMessage(list, LB_ADDSTRING, 0, (LPARAM)s);
  return list;
}

std::u16string ItemText(HWND list, int i) {
  WCHAR buffer[100] = {};
  LRESULT n = SendMessage(list, LB_GETTEXT, (WPARAM)i, (LPARAM)buffer);
  return n == LB_ERR ? u"<error>" : std::u16string(buffer);
}

TEST_F(SpinLists, ListMessagesKeepOrderSelectionAndStaySilent) {
  HWND list = FillFormats(Make(WC_LISTBOX, u"", WS_BORDER | LBS_NOTIFY, 1021, RECT{4, 4, 120, 22}));
  WCHAR cls[20];
  GetClassName(list, cls, 20);
  EXPECT_EQ(std::u16string(cls), u"ListBox");
  EXPECT_EQ(SendMessage(list, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);
  EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(ItemText(list, 1), u"BMP Image Format") << "call order, not sorted";
  EXPECT_EQ(SendMessage(list, LB_GETTEXTLEN, 3, 0), 16);
  EXPECT_EQ(SendMessage(list, LB_GETTEXTLEN, 4, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)u"gif image format"), 2);
  EXPECT_EQ(SendMessage(list, LB_FINDSTRINGEXACT, 2, (LPARAM)u"GIF Image Format"), 2)
      << "the search goes round to the start";
  EXPECT_EQ(SendMessage(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)u"GIF"), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 9, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessage(list, LB_INSERTSTRING, 0, (LPARAM)u"Empty"), 0);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 3) << "the selection follows its entry";
  EXPECT_EQ(SendMessage(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)u"Last"), 5);
  EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 3, 0), 5);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR) << "the selected entry went";
  EXPECT_EQ(ItemText(list, 3), u"PNG Image Format");
  SendMessage(list, LB_SETCURSEL, 1, 0);
  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, (WPARAM)-1, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_RESETCONTENT, 0, 0), 0);
  EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 0);
  HWND sorted = Make(WC_LISTBOX, u"", LBS_SORT, 1042, RECT{4, 30, 120, 48});
  for (const char16_t* s : {u"b", u"C", u"a"}) SendMessage(sorted, LB_ADDSTRING, 0, (LPARAM)s);
  EXPECT_EQ(ItemText(sorted, 0) + ItemText(sorted, 1) + ItemText(sorted, 2), u"abC");
  EXPECT_TRUE(TakeNotes().empty()) << "no message of the program notifies";
}

TEST_F(SpinLists, UserStepsThroughThePartnerNotifyWithTheListId) {
  HWND list = FillFormats(
      Make(WC_LISTBOX, u"", WS_BORDER | WS_TABSTOP | LBS_NOTIFY, 1021, RECT{4, 4, 120, 22}));
  HWND ud = Make(UPDOWN_CLASS, u"", kListUpDown, 1022, RECT{120, 4, 140, 22});
  SendMessage(list, LB_SETCURSEL, 0, 0);
  SetFocus(list);
  Keys("key right\n");
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 0, 1), Command(list, LBN_SELCHANGE),
                                Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 1)}));
  Keys("key right\nkey right\n");
  TakeNotes();
  Keys("key right\n");
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 3) << "no wrapping without UDS_WRAP";
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 3, 1), Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 3)}));
  Keys("key left\nkey up\nkey down\nkey 4\n");
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(TakeNotes(), (Notes{DeltaPos(ud, 3, -1), Command(list, LBN_SELCHANGE),
                                Scroll(WM_VSCROLL, ud, SB_THUMBPOSITION, 2)}));
  // Wrapping, and a list on its own stepping itself.
  SetWindowLong(ud, GWL_STYLE, GetWindowLong(ud, GWL_STYLE) | UDS_WRAP);
  SendMessage(list, LB_SETCURSEL, 3, 0);
  Keys("key right\n");
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 0);
  TakeNotes();
  HWND alone = FillFormats(Make(WC_LISTBOX, u"", WS_BORDER, 1039, RECT{4, 30, 120, 48}));
  SetFocus(alone);
  Keys("key right\nkey left\nkey left\n");
  EXPECT_EQ(SendMessage(alone, LB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(TakeNotes(), (Notes{Command(alone, LBN_SELCHANGE)}))
      << "from no selection Right picks the first entry; Left stops there";
  EnableWindow(alone, FALSE);
  Keys("key right\n");
  EXPECT_EQ(SendMessage(alone, LB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(TakeNotes().empty()) << "a disabled spin list does not step";
}

TEST_F(SpinLists, Look) {
  HWND format =
      FillFormats(Make(WC_LISTBOX, u"", WS_BORDER | WS_TABSTOP, 1021, RECT{4, 4, 120, 22}));
  Make(UPDOWN_CLASS, u"", kListUpDown, 1022, RECT{120, 4, 140, 22});
  SendMessage(format, LB_SETCURSEL, 0, 0);
  HWND colours = Make(WC_LISTBOX, u"", WS_BORDER | WS_TABSTOP, 1026, RECT{4, 26, 120, 44});
  Make(UPDOWN_CLASS, u"", kListUpDown, 1029, RECT{120, 26, 140, 44});
  for (const char16_t* s : {u"24 Bits", u"256 colors", u"16 colors", u"Black&White"})
    SendMessage(colours, LB_ADDSTRING, 0, (LPARAM)s);
  SendMessage(colours, LB_SETCURSEL, 3, 0);
  HWND off = FillFormats(Make(WC_LISTBOX, u"", WS_BORDER, 1040, RECT{4, 48, 120, 66}));
  SendMessage(off, LB_SETCURSEL, 2, 0);
  EnableWindow(off, FALSE);
  SetFocus(colours);
  ExpectScreenMatchesGolden("controls_spin_lists");
}

TEST_F(Trackbars, KeysMoveOneLineWithinANegativeRangeAndReportEachStep) {
  HWND tb = Trackbar(1048, RECT{4, 4, 170, 30}, 0, WS_TABSTOP);
  EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMIN, 0, 0), -128);
  EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMAX, 0, 0), 128);
  SetFocus(tb);
  Keys("key right\nkey left\nkey left\nkey up\nkey down\n");
  EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), -1);
  EXPECT_EQ(TakeNotes(),
            (Notes{Scroll(WM_HSCROLL, tb, TB_LINEDOWN, 1), Scroll(WM_HSCROLL, tb, TB_LINEUP, 0),
                   Scroll(WM_HSCROLL, tb, TB_LINEUP, -1)}));
  SendMessage(tb, TBM_SETPOS, TRUE, 128);
  Keys("key right\n");
  SendMessage(tb, TBM_SETPOS, TRUE, -500);
  EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), -128) << "positions are kept in the range";
  Keys("key left\n");
  EXPECT_TRUE(TakeNotes().empty()) << "no step past either end";
  EXPECT_EQ(SendMessage(tb, TBM_SETLINESIZE, 0, 50), 1);
  EXPECT_EQ(SendMessage(tb, TBM_GETLINESIZE, 0, 0), 50);
  Keys("key right\nkey right\nkey right\nkey right\nkey right\nkey right\n");
  EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 128);
  EXPECT_EQ(TakeNotes().size(), 6u) << "the last step stops at the maximum";
  EXPECT_EQ(SendMessage(tb, TBM_SETPAGESIZE, 0, 10), 20);
  EXPECT_EQ(SendMessage(tb, TBM_GETPAGESIZE, 0, 0), 10);
  EXPECT_EQ(SendMessage(tb, WM_GETDLGCODE, 0, 0), 0) << "Up and Down stay the dialog's";
  EnableWindow(tb, FALSE);
  Keys("key left\n");
  EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 128);
  EXPECT_TRUE(TakeNotes().empty()) << "a disabled trackbar does not move";
}

TEST_F(Trackbars, PackedRangeReadsSignedHalves) {
  HWND tb = Make(TRACKBAR_CLASS, u"", TBS_HORZ, 1048, RECT{4, 4, 170, 30});
  SendMessage(tb, TBM_SETRANGE, TRUE, MAKELONG(-128, 128));
  EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMIN, 0, 0), -128);
  EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMAX, 0, 0), 128);
  SendMessage(tb, TBM_SETRANGE, TRUE, MAKELONG(10, 50));
  EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 10) << "0 is below the new range";
  SendMessage(tb, TBM_SETPOS, TRUE, 25);
  SetFocus(tb);
  Keys("key left\n");
  EXPECT_EQ(TakeNotes(), (Notes{Scroll(WM_HSCROLL, tb, TB_LINEUP, 24)}));
}

TEST_F(Trackbars, Look) {
  Trackbar(1, RECT{4, 4, 172, 30}, -128);
  HWND mid = Trackbar(2, RECT{4, 34, 172, 60}, 0);
  Trackbar(3, RECT{4, 64, 172, 90}, 128);
  HWND gamma = Make(TRACKBAR_CLASS, u"", TBS_HORZ, 4, RECT{4, 94, 172, 120});
  SendMessage(gamma, TBM_SETRANGE, TRUE, MAKELONG(10, 50));
  SendMessage(gamma, TBM_SETTICFREQ, 4, 0);
  SendMessage(gamma, TBM_SETPOS, TRUE, 25);
  EnableWindow(gamma, FALSE);
  SetFocus(mid);
  ExpectScreenMatchesGolden("controls_trackbars");
}

}  // namespace
}  // namespace platform_test
