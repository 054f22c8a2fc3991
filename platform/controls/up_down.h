// The up-down control ("msctls_updown32"): steps the number of its buddy
// edit, or the selection of its buddy list box (the spin list).
#pragma once

#include "platform/controls/notify.h"

#define UPDOWN_CLASS u"msctls_updown32"

#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080
#define UDS_EXPANDABLE 0x0200
#define UDS_NOSCROLL 0x0400

#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)

#define UDN_FIRST (0u - 721)
#define UDN_DELTAPOS (UDN_FIRST - 1)

struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};
typedef NMUPDOWN* LPNMUPDOWN;

namespace platform::controls {

// The up-down whose buddy is `buddy` (one of its siblings), or null.
HWND FindUpDownFor(HWND buddy);
// One step of the up-down, as its buddy's Left / Right keys ask: `up`
// moves toward the upper limit (Right), otherwise toward the lower one.
void UpDownStep(HWND updown, bool up);

}  // namespace platform::controls
