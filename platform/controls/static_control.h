// The static control ("Static"): text, a bitmap, or a link that notifies.
#pragma once

#include "platform/controls/notify.h"

#define WC_STATIC u"Static"

#define SS_LEFT 0x00000000
#define SS_CENTER 0x00000001
#define SS_RIGHT 0x00000002
#define SS_ICON 0x00000003
#define SS_BITMAP 0x0000000E
#define SS_LEFTNOWORDWRAP 0x0000000C
#define SS_NOPREFIX 0x00000080
#define SS_NOTIFY 0x00000100
#define SS_CENTERIMAGE 0x00000200
#define SS_TYPEMASK 0x0000001F

#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define IMAGE_BITMAP 0

#define STN_CLICKED 0
