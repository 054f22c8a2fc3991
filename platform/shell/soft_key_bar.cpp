// The soft-key bar: a strip at the bottom of the screen with two labelled
// buttons for the left and right soft keys. A button posts its command to
// the bar's owner or drops down a popup of the bar's menu.
#include "platform/shell/soft_key_bar.h"

#include <algorithm>
#include <memory>

#include "platform/backend/device.h"
#include "platform/controls/controls.h"
#include "platform/gdi/gdi.h"
#include "platform/resources/resources.h"
#include "platform/shell/shell.h"
#include "platform/text/wide.h"
#include "platform/window/keypad.h"
#include "platform/window/menu.h"
#include "platform/window/menu_popup.h"
#include "platform/window/window.h"

namespace platform::shell {
namespace {

struct Button {
  bool present = false;
  bool opensMenu = false;
  int command = 0;  // posted by a plain button; a drop-down button's own id
  std::u16string label;
  HMENU menu = nullptr;  // what the button drops down from (owned by the bar)
  int popup = -1;        // the popup of `menu` it drops, -1 the menu itself
};

struct Bar {
  HWND owner = nullptr;
  Button buttons[2];
  bool pressed[2] = {false, false};
  int open = -1;  // the button whose menu is dropped down
};

// The bars that exist, oldest first; emptied when the device restarts.
std::vector<HWND> g_bars;
// The bar each soft key went down on, so its release reaches the same bar.
HWND g_pressedOn[2] = {nullptr, nullptr};

const COLORREF kBand = RGB(0x10, 0x24, 0x5A);
const COLORREF kBandPressed = RGB(0x3A, 0x5C, 0xA8);

Bar* StateOf(HWND hwnd) { return controls::ControlData<Bar>(hwnd); }

HFONT LabelFont(int barHeight) {
  LOGFONT lf{};
  lf.lfHeight = -(barHeight * 11 / 20);
  lf.lfWeight = FW_BOLD;
  return CreateFontIndirect(&lf);
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  Bar* bar = StateOf(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  HBRUSH band = CreateSolidBrush(kBand);
  FillRect(dc, &r, band);
  DeleteObject(band);
  if (bar) {
    int half = r.right / 2;
    RECT halves[2] = {{0, 0, half, r.bottom}, {half, 0, r.right, r.bottom}};
    for (int i = 0; i < 2; ++i) {
      if (bar->buttons[i].present && (bar->pressed[i] || bar->open == i)) {
        HBRUSH lit = CreateSolidBrush(kBandPressed);
        FillRect(dc, &halves[i], lit);
        DeleteObject(lit);
      }
    }
    if (bar->buttons[0].present && bar->buttons[1].present) {
      RECT divider{half, r.bottom / 5, half + 1, r.bottom - r.bottom / 5};
      HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
      FillRect(dc, &divider, grey);
      DeleteObject(grey);
    }
    HFONT font = LabelFont(r.bottom);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    for (int i = 0; i < 2; ++i) {
      const Button& b = bar->buttons[i];
      if (!b.present || b.label.empty()) continue;
      RECT t = halves[i];
      InflateRect(&t, -4, 0);
      DrawText(dc, b.label.c_str(), (int)b.label.size(), &t,
               (i == 0 ? DT_LEFT : DT_RIGHT) | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    SelectObject(dc, old);
    DeleteObject(font);
  }
  EndPaint(hwnd, &ps);
}

// The button a TB_GETBUTTONINFO / TB_SETBUTTONINFO names, or -1.
int FindButton(const Bar& bar, WPARAM wParam, const TBBUTTONINFO* info) {
  if (info->dwMask & TBIF_BYINDEX) {
    if (wParam > 1 || !bar.buttons[wParam].present) return -1;
    return (int)wParam;
  }
  for (int i = 0; i < 2; ++i)
    if (bar.buttons[i].present && bar.buttons[i].command == (int)wParam) return i;
  return -1;
}

// What a drop-down button shows: its popup of the bar's menu, or the
// menu itself.
HMENU DropDownOf(const Button& b, int* position) {
  if (!b.menu || !IsMenu(b.menu)) return nullptr;
  if (b.popup < 0) {
    *position = 0;
    return b.menu;
  }
  *position = b.popup;
  return GetSubMenu(b.menu, b.popup);
}

void Release(HWND hwnd, int index) {
  Bar* bar = StateOf(hwnd);
  if (!bar || !bar->pressed[index]) return;
  bar->pressed[index] = false;
  InvalidateRect(hwnd, nullptr, FALSE);
  const Button b = bar->buttons[index];
  HWND owner = bar->owner;
  if (!b.present || !IsWindowVisible(hwnd)) return;
  if (!b.opensMenu) {
    PostMessage(owner, WM_COMMAND, MAKEWPARAM((WORD)b.command, 0), 0);
    return;
  }
  int position = 0;
  HMENU popup = DropDownOf(b, &position);
  if (!popup || DropDownMenuOpen()) return;
  bar->open = index;
  MenuDropDown request;
  request.owner = owner;
  request.menu = popup;
  request.position = position;
  request.rightAligned = index == 1;
  UINT chosen = TrackDropDownMenu(request);
  if (Bar* again = StateOf(hwnd)) {
    again->open = -1;
    InvalidateRect(hwnd, nullptr, FALSE);
  }
  if (chosen && IsWindow(owner)) PostMessage(owner, WM_COMMAND, MAKEWPARAM((WORD)chosen, 0), 0);
}

LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Bar* bar = StateOf(hwnd);
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      if (bar) {
        // The menus belong to the bar.
        HMENU done[2] = {nullptr, nullptr};
        for (int i = 0; i < 2; ++i) {
          HMENU m = bar->buttons[i].menu;
          if (m && m != done[0]) DestroyMenu(m);
          done[i] = m;
          bar->buttons[i].menu = nullptr;
        }
      }
      g_bars.erase(std::remove(g_bars.begin(), g_bars.end(), hwnd), g_bars.end());
      for (HWND& h : g_pressedOn)
        if (h == hwnd) h = nullptr;
      if (BackKeyOverrideOwner() && bar && BackKeyOverrideOwner() == bar->owner &&
          SoftKeyBarsOf(bar->owner).empty())
        SetBackKeyOverride(bar->owner, false);
      return 0;
    case SHCMBM_GETMENU:
      if (!bar) return 0;
      for (const Button& b : bar->buttons)
        if (b.present && b.menu) return (LRESULT)b.menu;
      return 0;
    case SHCMBM_OVERRIDEKEY:
      // The Back key: its default action is taken away and it reaches the
      // owner as WM_HOTKEY, whether the bar shows or not.
      // The low word of lParam says which SHMBOF_ flags are given, the
      // high word their values.
      if (!bar || wParam != VK_ESCAPE) return FALSE;
      if (LOWORD(lParam) & SHMBOF_NODEFAULT)
        SetBackKeyOverride(bar->owner, (HIWORD(lParam) & SHMBOF_NODEFAULT) != 0);
      return TRUE;
    case TB_GETBUTTONINFO: {
      TBBUTTONINFO* info = (TBBUTTONINFO*)lParam;
      if (!bar || !info) return -1;
      int i = FindButton(*bar, wParam, info);
      if (i < 0) return -1;
      const Button& b = bar->buttons[i];
      if (info->dwMask & TBIF_COMMAND) info->idCommand = b.command;
      if (info->dwMask & TBIF_STATE) info->fsState = TBSTATE_ENABLED;
      if ((info->dwMask & TBIF_TEXT) && info->pszText && info->cchText > 0)
        CopyWide(b.label, info->pszText, info->cchText);
      return i;
    }
    case TB_SETBUTTONINFO: {
      const TBBUTTONINFO* info = (const TBBUTTONINFO*)lParam;
      if (!bar || !info) return -1;
      int i = FindButton(*bar, wParam, info);
      if (i < 0) return -1;
      Button& b = bar->buttons[i];
      if (info->dwMask & TBIF_COMMAND) b.command = info->idCommand;
      if (info->dwMask & TBIF_TEXT) b.label = info->pszText ? std::u16string(info->pszText) : u"";
      InvalidateRect(hwnd, nullptr, FALSE);
      return TRUE;
    }
    default:
      if (msg == kSoftKeyMessage && wParam <= 1) {
        if (!bar) return 0;
        if (lParam) {
          bar->pressed[wParam] = bar->buttons[wParam].present;
          InvalidateRect(hwnd, nullptr, FALSE);
        } else {
          Release(hwnd, (int)wParam);
        }
        return 0;
      }
      break;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// Soft keys go to the active window's bar; a release goes where its press went.
bool SoftKey(int button, bool down) {
  if (button < 0 || button > 1) return false;
  HWND bar = nullptr;
  if (down) {
    bar = ActiveSoftKeyBar();
    g_pressedOn[button] = bar;
  } else {
    bar = g_pressedOn[button];
    g_pressedOn[button] = nullptr;
  }
  if (!bar || !IsWindow(bar)) return false;
  PostMessage(bar, kSoftKeyMessage, (WPARAM)button, down ? 1 : 0);
  return true;
}

HWND NewBar(HWND owner, std::shared_ptr<Bar> state) {
  if (!owner || !IsWindow(owner)) return nullptr;
  // Bars hang off the owner's top-level window.
  HWND top = owner;
  while (GetWindowLong(top, GWL_STYLE) & WS_CHILD) top = GetParent(top);
  state->owner = owner;
  const ScreenProfile& s = Screen();
  HWND hwnd = CreateWindowEx(WS_EX_NOACTIVATE, SOFTKEYBAR_CLASS, u"", WS_POPUP, 0,
                             s.height - s.softKeyBarHeight, s.width, s.softKeyBarHeight, top, nullptr,
                             nullptr, nullptr);
  if (!hwnd) {
    for (Button& b : state->buttons)
      if (b.menu && IsMenu(b.menu)) DestroyMenu(b.menu);
    return nullptr;
  }
  controls::SetControlData(hwnd, state);
  g_bars.push_back(hwnd);
  ShowWindow(hwnd, SW_SHOWNA);
  return hwnd;
}

}  // namespace

HWND CreatePlainSoftKeyBar(HWND owner, const std::u16string& leftLabel, int leftCommand,
                           const std::u16string& rightLabel, int rightCommand) {
  auto state = std::make_shared<Bar>();
  state->buttons[0] = Button{!leftLabel.empty(), false, leftCommand, leftLabel, nullptr, -1};
  state->buttons[1] = Button{!rightLabel.empty(), false, rightCommand, rightLabel, nullptr, -1};
  return NewBar(owner, state);
}

HWND CreateSoftKeyBar(HWND owner, int barId, HINSTANCE instance) {
  const SoftKeyBarTemplate* t = FindSoftKeyBar(barId);
  if (!t || !owner || !IsWindow(owner)) return nullptr;
  auto state = std::make_shared<Bar>();
  for (int i = 0; i < 2; ++i) {
    const SoftKeyButtonTemplate& bt = t->buttons[i];
    Button& b = state->buttons[i];
    b.present = bt.present;
    if (!bt.present) continue;
    b.opensMenu = bt.opensMenu;
    b.command = bt.opensMenu ? bt.buttonId : bt.command;
    b.popup = bt.opensMenu ? bt.popup : -1;
    b.label = bt.label;
    if (bt.labelString) {
      WCHAR text[256];
      if (LoadString(instance, (UINT)bt.labelString, text, 256) > 0) b.label = text;
    }
    if (bt.opensMenu) {
      // Both buttons share one menu when they name the same one.
      if (i == 1 && state->buttons[0].menu && t->buttons[0].opensMenu && t->buttons[0].command == bt.command)
        b.menu = state->buttons[0].menu;
      else
        b.menu = LoadMenu(instance, MAKEINTRESOURCE(bt.command));
    }
  }
  return NewBar(owner, state);
}

std::vector<HWND> SoftKeyBarsOf(HWND owner) {
  std::vector<HWND> out;
  for (auto it = g_bars.rbegin(); it != g_bars.rend(); ++it) {
    Bar* bar = StateOf(*it);
    if (bar && bar->owner == owner) out.push_back(*it);
  }
  return out;
}

HWND ActiveSoftKeyBar() {
  HWND active = GetActiveWindow();
  if (!active) return nullptr;
  // Top-level windows from the top of the z-order down.
  HWND first = GetWindow(active, GW_HWNDFIRST);
  for (HWND h = first; h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (std::find(g_bars.begin(), g_bars.end(), h) == g_bars.end()) continue;
    Bar* bar = StateOf(h);
    if (!bar || !IsWindowVisible(h)) continue;
    HWND owner = bar->owner;
    // A bar made for a control of the active window counts too.
    while (owner && owner != active && (GetWindowLong(owner, GWL_STYLE) & WS_CHILD)) owner = GetParent(owner);
    if (owner == active) return h;
  }
  return nullptr;
}

}  // namespace platform::shell

namespace platform::controls {

void RegisterSoftKeyBarClass() {
  shell::g_bars.clear();
  shell::g_pressedOn[0] = shell::g_pressedOn[1] = nullptr;
  WNDCLASS wc{};
  wc.lpfnWndProc = shell::BarProc;
  wc.lpszClassName = SOFTKEYBAR_CLASS;
  RegisterClass(&wc);
  SetSoftKeyHandler(shell::SoftKey);
}

}  // namespace platform::controls
