// The list box ("ListBox"); on the phone it is the spin list: one entry
// shown, cycled with Left / Right through its up-down partner.
#pragma once

#include "platform/controls/notify.h"

#define WC_LISTBOX u"ListBox"

#define LBS_NOTIFY 0x0001
#define LBS_SORT 0x0002
#define LBS_NOINTEGRALHEIGHT 0x0100

#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_RESETCONTENT 0x0184
#define LB_SETCURSEL 0x0186
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_FINDSTRINGEXACT 0x01A2

#define LB_OKAY 0
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)

#define LBN_ERRSPACE (-2)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5

namespace platform::controls {

// A user step of the spin list: the next (or previous) entry becomes the
// selection, wrapping past the ends when `wrap` is set; the parent gets
// LBN_SELCHANGE when the selection changed. Returns the selection.
int SpinListStep(HWND list, bool next, bool wrap);

}  // namespace platform::controls
