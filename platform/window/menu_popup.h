// Drop-down menus on screen: a popup opened from a soft key, drawn above
// the soft-key bar, navigated with the direction pad, with check and radio
// marks, greyed items, separators and submenus.
#pragma once

#include "platform/win_types.h"

namespace platform {

struct MenuDropDown {
  HWND owner = nullptr;  // receives WM_INITMENUPOPUP for every level
  HMENU menu = nullptr;  // the popup shown first
  int position = 0;      // its position in its parent, reported to the owner
  bool rightAligned = false;  // right soft key: the box stands at the right edge
};

// Shows the menu and runs its modal loop until an item is chosen or the
// menu is closed; every other message of the thread keeps being
// dispatched meanwhile, but keys go to the menu. Returns the chosen item's
// command id, 0 when the menu was closed without a choice. Before each
// level shows, the owner gets WM_INITMENUPOPUP (wParam the popup, low word
// of lParam its position). A WM_QUIT met on the way closes the menu and is
// posted again.
UINT TrackDropDownMenu(const MenuDropDown& request);

// Whether a drop-down menu is open now.
bool DropDownMenuOpen();

}  // namespace platform
