// What the simple controls share: the font they were given, the colours
// their parent chooses, notifications, and the small drawing pieces (fills,
// frames, arrow marks, check marks) that make them look like one device.
#pragma once

#include <string>

#include "platform/controls/notify.h"
#include "platform/gdi/gdi.h"
#include "platform/window/window.h"

namespace platform::controls {

// Registers a built-in class: no class background (controls paint all of
// their client area), redrawn when resized.
void RegisterControlClass(const char16_t* className, WNDPROC proc);

// The font a control keeps for WM_SETFONT / WM_GETFONT.
struct FontSlot {
  HFONT font = nullptr;
  // The font to draw with: the one given, else the system font.
  HFONT Current() const;
};

// The messages every simple control answers alike: WM_SETFONT (redrawing
// when lParam asks) and WM_GETFONT when it keeps a font, a repaint when the
// focus comes or goes, no separate background erase (the control paints
// all of its client area), and WM_PAINT through paint(dc, client). False
// for every other message.
template <class Paint>
bool HandleCommonMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, FontSlot* font,
                         Paint paint, LRESULT* result) {
  *result = 0;
  switch (msg) {
    case WM_SETFONT:
      if (!font) return false;
      font->font = (HFONT)wParam;
      if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
      return true;
    case WM_GETFONT:
      if (!font) return false;
      *result = (LRESULT)font->font;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, TRUE);
      return true;
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      paint(dc, client);
      EndPaint(hwnd, &ps);
      return true;
    }
  }
  return false;
}

// Prepares `dc` for a control that lets its parent choose its colours:
// selects the control's font, sets the device's default text and background
// colours, sends WM_CTLCOLORSTATIC to the parent and returns the brush it
// answered (the window colour when it answered none). The parent may have
// selected another font and set the text colour; the caller draws with them.
HBRUSH AskStaticColours(HWND hwnd, HDC dc, HFONT font);

void FillSolid(HDC dc, const RECT& r, COLORREF colour);
void FrameSolid(HDC dc, const RECT& r, COLORREF colour);

enum class Arrow { Left, Right, Up, Down };
// A filled triangle pointing `dir`, `size` pixels from base to tip, its base
// centred on the middle of `box`.
void DrawArrow(HDC dc, const RECT& box, Arrow dir, int size, COLORREF colour);

// The check mark of a check box, drawn inside `box`.
void DrawCheckMark(HDC dc, const RECT& box, COLORREF colour);

// The control's text (window text of built-in controls lives here too).
std::u16string WindowTextOf(HWND hwnd);

// Copies `text` into a WM_GETTEXT buffer of `size` characters; returns the
// characters copied (without the terminator).
LRESULT CopyTextOut(const std::u16string& text, WPARAM size, LPARAM buffer);

// WM_COMMAND MAKEWPARAM(id, code) with the control in lParam, to the parent.
void NotifyCommand(HWND control, WORD code);
// WM_NOTIFY with `hdr` filled in (hwndFrom, idFrom, code) to the parent;
// returns the parent's answer.
LRESULT NotifyParent(HWND control, NMHDR* hdr, UINT code);

// Whether `hwnd` is of the class `className` (case ignored).
bool IsClass(HWND hwnd, const char16_t* className);

// The number a text shows: leading blanks skipped, an optional sign, then
// digits; false when there is no digit or something else follows.
bool ParseInteger(const std::u16string& text, long* value);
std::u16string FormatInteger(long value);

}  // namespace platform::controls
