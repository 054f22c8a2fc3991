// The up-down control. "Up" moves toward the upper limit (UDM_SETRANGE's
// low word), so with the reversed ranges the dialogs set it lowers the
// number. Every step asks the parent first (UDN_DELTAPOS; a non-zero answer
// cancels it); then a number edit buddy (UDS_SETBUDDYINT) is rewritten, or
// a list-box buddy moves its selection, and the parent gets the scroll
// message with the new position.
#include "platform/controls/up_down.h"

#include <algorithm>
#include <memory>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"
#include "platform/controls/edit.h"
#include "platform/controls/list_box.h"

namespace platform::controls {
namespace {

struct UpDownState {
  HWND buddy = nullptr;
  int upper = 0;    // where "up" goes
  int lower = 100;  // where "down" goes
  int pos = 0;
  int Low() const { return std::min(upper, lower); }
  int High() const { return std::max(upper, lower); }
  int Clamp(long v) const { return (int)std::max<long>(Low(), std::min<long>(High(), v)); }
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }

bool NumberBuddy(HWND hwnd, const UpDownState* st) {
  return st->buddy && IsWindow(st->buddy) && (StyleOf(hwnd) & UDS_SETBUDDYINT) &&
         IsClass(st->buddy, WC_EDIT);
}
bool ListBuddy(const UpDownState* st) {
  return st->buddy && IsWindow(st->buddy) && IsClass(st->buddy, WC_LISTBOX);
}

// The buddy's number; false when its text is not one.
bool ReadBuddy(const UpDownState* st, long* value) {
  return ParseInteger(WindowTextOf(st->buddy), value);
}

void WriteBuddy(const UpDownState* st, int value) {
  std::u16string text = FormatInteger(value);
  SetWindowText(st->buddy, text.c_str());
}

// UDS_ALIGNRIGHT / UDS_ALIGNLEFT: the up-down takes the buddy's height and
// sits inside the buddy's old rectangle, which gives up that width.
void Align(HWND hwnd, HWND buddy) {
  DWORD style = StyleOf(hwnd);
  if (!buddy || !(style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT))) return;
  HWND parent = GetParent(buddy);
  RECT b, self;
  GetWindowRect(buddy, &b);
  GetWindowRect(hwnd, &self);
  POINT topLeft{b.left, b.top};
  if (parent) ScreenToClient(parent, &topLeft);
  int bw = b.right - b.left, bh = b.bottom - b.top;
  int w = self.right - self.left;
  if (w <= 0) w = 2 * GetSystemMetrics(SM_CXVSCROLL);
  w = std::min(w, bw);
  int x = (style & UDS_ALIGNRIGHT) ? topLeft.x + bw - w : topLeft.x;
  MoveWindow(hwnd, x, topLeft.y, w, bh, TRUE);
  MoveWindow(buddy, (style & UDS_ALIGNRIGHT) ? topLeft.x : topLeft.x + w, topLeft.y, bw - w, bh,
             TRUE);
}

HWND SetBuddy(HWND hwnd, UpDownState* st, HWND buddy) {
  HWND old = st->buddy;
  st->buddy = IsWindow(buddy) ? buddy : nullptr;
  if (st->buddy != old) Align(hwnd, st->buddy);  // naming it again must not shrink it again
  InvalidateRect(hwnd, nullptr, TRUE);
  return old;
}

// Whether a step toward the upper (or lower) limit can still change the
// buddy's number; always true when there is no number to judge by.
bool CanStep(HWND hwnd, const UpDownState* st, bool up) {
  long v;
  if ((StyleOf(hwnd) & UDS_WRAP) || !NumberBuddy(hwnd, st) || !ReadBuddy(st, &v)) return true;
  return v != (up ? st->upper : st->lower);
}

void Paint(HWND hwnd, HDC dc, const RECT& client, UpDownState* st) {
  FillSolid(dc, client, GetSysColor(COLOR_WINDOW));
  if (ListBuddy(st)) return;  // the spin list draws its own marks
  bool enabled = IsWindowEnabled(hwnd);
  COLORREF ink = GetSysColor(COLOR_WINDOWTEXT), grey = GetSysColor(COLOR_GRAYTEXT);
  bool canUp = enabled && CanStep(hwnd, st, true);
  bool canDown = enabled && CanStep(hwnd, st, false);
  int w = client.right - client.left, h = client.bottom - client.top;
  int size = std::max(2, std::min(w / 2 - 3, h / 2 - 1));
  // Left is "down" and Right is "up", as the buddy's keys are.
  DrawArrow(dc, RECT{0, 0, w / 2, h}, Arrow::Left, size, canDown ? ink : grey);
  DrawArrow(dc, RECT{w - w / 2, 0, w, h}, Arrow::Right, size, canUp ? ink : grey);
}

void Step(HWND hwnd, UpDownState* st, bool up) {
  if (!IsWindowEnabled(hwnd)) return;
  bool list = ListBuddy(st), number = NumberBuddy(hwnd, st);
  long current = st->pos;
  bool readable = true, parsed = true;
  if (list) {
    current = (long)SendMessage(st->buddy, LB_GETCURSEL, 0, 0);
  } else if (number) {
    std::u16string text = WindowTextOf(st->buddy);
    // An empty field starts from the position; any other text that is not
    // a number is left alone (the parent acts on the notification).
    if (!ParseInteger(text, &current)) {
      current = st->pos;
      parsed = false;
      readable = text.find_first_not_of(u' ') == std::u16string::npos;
    }
  }
  int delta = list ? (up ? 1 : -1) : ((st->upper >= st->lower) == up ? 1 : -1);
  NMUPDOWN nm{};
  nm.iPos = (int)current;
  nm.iDelta = delta;
  if (NotifyParent(hwnd, &nm.hdr, UDN_DELTAPOS) != 0) return;
  st = ControlData<UpDownState>(hwnd);
  if (!st) return;
  bool wrap = (StyleOf(hwnd) & UDS_WRAP) != 0;
  if (list) {
    if (nm.iDelta != 0) {
      HWND buddy = st->buddy;
      int selection = SpinListStep(buddy, nm.iDelta > 0, wrap);
      if (!(st = ControlData<UpDownState>(hwnd))) return;
      if (selection >= 0) st->pos = selection;
    }
  } else if (readable) {
    long next = current + nm.iDelta;
    if (next < st->Low() || next > st->High()) {
      if (wrap) next = next > st->High() ? st->Low() : st->High();
      else next = st->Clamp(next);
    }
    st->pos = (int)next;
    if (number && (next != current || !parsed)) {
      WriteBuddy(st, (int)next);
      if (!(st = ControlData<UpDownState>(hwnd))) return;
    }
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  HWND parent = GetParent(hwnd);
  if (parent)
    SendMessage(parent, (StyleOf(hwnd) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL,
                MAKEWPARAM(SB_THUMBPOSITION, (WORD)(short)st->pos), (LPARAM)hwnd);
}

LRESULT CALLBACK UpDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<UpDownState>(hwnd);
  if (!st && msg != WM_CREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) { Paint(hwnd, dc, client, st); };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, nullptr, paint, &result)) return result;
  switch (msg) {
    case WM_CREATE: {
      auto state = std::make_shared<UpDownState>();
      SetControlData(hwnd, state);
      // The control made just before it (the window right under it).
      if (StyleOf(hwnd) & UDS_AUTOBUDDY) SetBuddy(hwnd, state.get(), GetWindow(hwnd, GW_HWNDNEXT));
      return 0;
    }
    case UDM_SETRANGE:
      st->upper = (short)LOWORD(lParam);
      st->lower = (short)HIWORD(lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case UDM_GETRANGE:
      return (LRESULT)(DWORD)MAKELONG(st->upper, st->lower);
    case UDM_SETPOS: {
      int old = st->pos;
      st->pos = st->Clamp((short)LOWORD(lParam));
      InvalidateRect(hwnd, nullptr, TRUE);
      if (NumberBuddy(hwnd, st)) WriteBuddy(st, st->pos);
      return old;
    }
    case UDM_GETPOS: {
      if (NumberBuddy(hwnd, st)) {
        long v;
        if (!ReadBuddy(st, &v)) return (LRESULT)(DWORD)MAKELONG(st->pos, 1);
        st->pos = (int)v;
      }
      return (LRESULT)(DWORD)MAKELONG(st->pos, 0);
    }
    case UDM_SETBUDDY:
      return (LRESULT)SetBuddy(hwnd, st, (HWND)wParam);
    case UDM_GETBUDDY:
      return (LRESULT)st->buddy;
    case WM_GETDLGCODE:
      return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND FindUpDownFor(HWND buddy) {
  HWND parent = GetParent(buddy);
  if (!buddy || !parent) return nullptr;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsClass(c, UPDOWN_CLASS)) continue;
    auto* st = ControlData<UpDownState>(c);
    if (st && st->buddy == buddy) return c;
  }
  return nullptr;
}

void UpDownStep(HWND updown, bool up) {
  auto* st = ControlData<UpDownState>(updown);
  if (st && IsClass(updown, UPDOWN_CLASS)) Step(updown, st, up);
}

void RegisterUpDownClass() { RegisterControlClass(UPDOWN_CLASS, UpDownProc); }

}  // namespace platform::controls
