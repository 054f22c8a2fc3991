// Drop-down menus: each open level is a box on screen (a window that never
// takes the activation or the focus), stacked above the soft-key bar; the
// menu's own loop reads the keys while every other message is dispatched.
#include "platform/window/menu_popup.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/backend/device.h"
#include "platform/gdi/gdi.h"
#include "platform/shell/soft_key_bar.h"
#include "platform/window/menu.h"
#include "platform/window/window.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

const char16_t kDropDownClass[] = u"platform_DropDown";

struct Entry {
  UINT id = 0;
  HMENU sub = nullptr;
  std::u16string text;
  bool separator = false;
  bool grey = false;
  bool checked = false;
  bool radio = false;
};

struct Level {
  HMENU menu = nullptr;
  HWND wnd = nullptr;
  int hot = -1;
  int top = 0;  // first item shown when the box scrolls
  bool scrolls = false;  // more items than the box holds
  RECT rect{};  // on screen
};

struct Metrics {
  int itemHeight = 16;
  int separatorHeight = 5;
  int markWidth = 16;
  int arrowWidth = 10;
  int pad = 4;
};

struct Session {
  HWND owner = nullptr;
  bool right = false;
  std::vector<Level> levels;
  Metrics m;
  bool done = false;
  UINT result = 0;
  bool actionDown = false;
  bool escapeDown = false;
  bool backDown = false;
  UINT digitDown = 0;
  bool softDown[2] = {false, false};
};

Session* g_session = nullptr;

std::vector<Entry> ReadItems(HMENU menu) {
  std::vector<Entry> out;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    WCHAR text[256] = {0};
    MENUITEMINFO mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_TYPE;
    mii.dwTypeData = text;
    mii.cch = 256;
    if (!GetMenuItemInfo(menu, (UINT)i, TRUE, &mii)) break;
    Entry e;
    e.separator = (mii.fType & MFT_SEPARATOR) != 0;
    e.id = mii.wID;
    e.sub = mii.hSubMenu;
    e.text = text;
    e.grey = (mii.fState & (MF_GRAYED | MF_DISABLED)) != 0;
    e.checked = (mii.fState & MF_CHECKED) != 0;
    e.radio = (mii.fType & MFT_RADIOCHECK) != 0;
    out.push_back(e);
  }
  return out;
}

HFONT MenuFont() {
  LOGFONT lf{};
  lf.lfHeight = -((12 * Screen().dpi + 48) / 96);
  lf.lfWeight = FW_NORMAL;
  return CreateFontIndirect(&lf);
}

Metrics MeasureMetrics() {
  Metrics m;
  HDC dc = GetDC(nullptr);
  HFONT font = MenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  m.itemHeight = tm.tmHeight + 4;
  m.separatorHeight = std::max(5, m.itemHeight / 3) | 1;
  m.markWidth = m.itemHeight;
  m.arrowWidth = m.itemHeight / 2 + 2;
  return m;
}

int HeightOf(const Metrics& m, const Entry& e) { return e.separator ? m.separatorHeight : m.itemHeight; }

// The screen band menus may use: below the task bar, above the soft keys.
int TopLimit() { return wm::TaskBarShown() ? Screen().taskBarHeight : 0; }
int BottomLimit() { return Screen().height - Screen().softKeyBarHeight; }

Level* LevelOf(HWND hwnd) {
  if (!g_session) return nullptr;
  for (Level& l : g_session->levels)
    if (l.wnd == hwnd) return &l;
  return nullptr;
}

// Keeps the highlighted item inside a scrolling box.
void KeepHotVisible(Level& level, const std::vector<Entry>& items, const Metrics& m) {
  if (level.hot < 0 || level.hot >= (int)items.size()) return;
  if (level.hot < level.top) level.top = level.hot;
  int room = level.rect.bottom - level.rect.top - 2;
  for (;;) {
    int y = 0;
    for (int i = level.top; i <= level.hot; ++i) y += HeightOf(m, items[(size_t)i]);
    if (y <= room || level.top >= level.hot) break;
    ++level.top;
  }
}

void DrawTick(HDC dc, const RECT& box, COLORREF colour) {
  int h = box.bottom - box.top;
  int s = std::max(1, h / 8);
  int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  for (int t = 0; t < 2; ++t) {
    POINT p[3] = {{cx - 3 * s, cy - s + t}, {cx - s, cy + s + t}, {cx + 3 * s, cy - 3 * s + t}};
    Polyline(dc, p, 3);
  }
  SelectObject(dc, old);
  DeleteObject(pen);
}

void DrawDot(HDC dc, const RECT& box, COLORREF colour) {
  int h = box.bottom - box.top;
  int r = std::max(2, h / 6);
  int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
  HBRUSH brush = CreateSolidBrush(colour);
  for (int dy = -r; dy <= r; ++dy) {
    int dx = 0;
    while ((dx + 1) * (dx + 1) + dy * dy <= r * r + r) ++dx;
    RECT row{cx - dx, cy + dy, cx + dx + 1, cy + dy + 1};
    FillRect(dc, &row, brush);
  }
  DeleteObject(brush);
}

void DrawArrow(HDC dc, const RECT& box, COLORREF colour) {
  int h = box.bottom - box.top;
  int a = std::max(2, h / 5);
  int cy = (box.top + box.bottom) / 2;
  int x0 = (box.left + box.right) / 2 - a / 2;
  HBRUSH brush = CreateSolidBrush(colour);
  for (int k = 0; k <= a; ++k) {
    RECT col{x0 + k, cy - (a - k), x0 + k + 1, cy + (a - k) + 1};
    FillRect(dc, &col, brush);
  }
  DeleteObject(brush);
}

// A small triangle pointing up or down, centred at (cx, y) downwards.
void DrawScrollMark(HDC dc, int cx, int y, bool up, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  for (int k = 0; k < 3; ++k) {
    int half = up ? k : 2 - k;
    RECT row{cx - half, y + k, cx + half + 1, y + k + 1};
    FillRect(dc, &row, brush);
  }
  DeleteObject(brush);
}

void PaintLevel(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  Level* level = LevelOf(hwnd);
  RECT client;
  GetClientRect(hwnd, &client);
  HBRUSH white = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  FillRect(dc, &client, white);
  DeleteObject(white);
  if (level && g_session) {
    const Metrics& m = g_session->m;
    std::vector<Entry> items = ReadItems(level->menu);
    bool anySub = std::any_of(items.begin(), items.end(), [](const Entry& e) { return e.sub != nullptr; });
    bool arrows = anySub || level->scrolls;
    HFONT font = MenuFont();
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    int y = 1;
    int last = level->top - 1;
    for (int i = level->top; i < (int)items.size() && y < client.bottom - 1; ++i) {
      last = i;
      const Entry& e = items[(size_t)i];
      int h = HeightOf(m, e);
      RECT row{1, y, client.right - 1, y + h};
      y += h;
      if (e.separator) {
        RECT line{row.left + 2, (row.top + row.bottom) / 2, row.right - 2, (row.top + row.bottom) / 2 + 1};
        HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
        FillRect(dc, &line, grey);
        DeleteObject(grey);
        continue;
      }
      bool hot = i == level->hot;
      COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
      if (hot) {
        HBRUSH hi = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
        FillRect(dc, &row, hi);
        DeleteObject(hi);
        text = e.grey ? RGB(0xC0, 0xC0, 0xC0) : GetSysColor(COLOR_HIGHLIGHTTEXT);
      } else if (e.grey) {
        text = GetSysColor(COLOR_GRAYTEXT);
      }
      RECT mark{row.left, row.top, row.left + m.markWidth, row.bottom};
      if (e.checked) {
        if (e.radio) DrawDot(dc, mark, text);
        else DrawTick(dc, mark, text);
      }
      RECT label{mark.right, row.top, row.right - m.pad - (arrows ? m.arrowWidth : 0), row.bottom};
      SetTextColor(dc, text);
      DrawText(dc, e.text.c_str(), (int)e.text.size(), &label,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
      if (e.sub) {
        RECT arrow{row.right - m.pad / 2 - m.arrowWidth, row.top, row.right - m.pad / 2, row.bottom};
        DrawArrow(dc, arrow, text);
      }
    }
    if (level->scrolls) {
      // Marks for the items above and below the box.
      int cx = client.right - 1 - m.pad / 2 - m.arrowWidth / 2;
      bool below = last < (int)items.size() - 1 || y > client.bottom - 1;
      if (level->top > 0) DrawScrollMark(dc, cx, 2, true, GetSysColor(COLOR_WINDOWTEXT));
      if (below) DrawScrollMark(dc, cx, client.bottom - 5, false, GetSysColor(COLOR_WINDOWTEXT));
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
  }
  // The frame goes last: an item cut at the bottom of a scrolling box
  // stays inside it.
  HBRUSH frame = CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME));
  FrameRect(dc, &client, frame);
  DeleteObject(frame);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK DropDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      PaintLevel(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

void EnsureClass() {
  WNDCLASS wc{};
  if (GetClassInfo(nullptr, kDropDownClass, &wc)) return;
  wc.lpfnWndProc = DropDownProc;
  wc.lpszClassName = kDropDownClass;
  RegisterClass(&wc);
}

int FirstChoice(const std::vector<Entry>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i].separator) return (int)i;
  return -1;
}

// Opens `menu` as the next level: the owner prepares it first
// (WM_INITMENUPOPUP), then the box appears. False when it has no items.
bool OpenLevel(Session& s, HMENU menu, int position) {
  SendMessage(s.owner, WM_INITMENUPOPUP, (WPARAM)menu, MAKELPARAM((WORD)position, 0));
  if (!IsWindow(s.owner) || !IsMenu(menu)) return false;
  std::vector<Entry> items = ReadItems(menu);
  if (FirstChoice(items) < 0) return false;
  const Metrics& m = s.m;
  // Width from the widest text.
  HDC dc = GetDC(nullptr);
  HFONT font = MenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  int widest = 0;
  bool anySub = false;
  int total = 2;
  for (const Entry& e : items) {
    total += HeightOf(m, e);
    if (e.sub) anySub = true;
    if (e.separator || e.text.empty()) continue;
    RECT r{0, 0, 1000, 100};
    DrawText(dc, e.text.c_str(), (int)e.text.size(), &r, DT_SINGLELINE | DT_CALCRECT);
    widest = std::max(widest, (int)(r.right - r.left));
  }
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  const ScreenProfile& screen = Screen();
  int topLimit = TopLimit(), bottomLimit = BottomLimit();
  bool scrolls = total > bottomLimit - topLimit;
  int width = 2 + m.markWidth + widest + m.pad + (anySub || scrolls ? m.arrowWidth : 0) + m.pad;
  width = std::min(width, screen.width);
  int height = std::min(total, bottomLimit - topLimit);
  int x = 0, y = 0;
  if (s.levels.empty()) {
    x = s.right ? screen.width - width : 0;
    y = bottomLimit - height;
  } else {
    // A submenu cascades from its item in the parent box.
    const Level& parent = s.levels.back();
    std::vector<Entry> parentItems = ReadItems(parent.menu);
    int itemTop = parent.rect.top + 1;
    for (int i = parent.top; i < parent.hot && i < (int)parentItems.size(); ++i)
      itemTop += HeightOf(m, parentItems[(size_t)i]);
    int indent = std::max(12, m.itemHeight);
    x = s.right ? parent.rect.right - indent - width : parent.rect.left + indent;
    y = itemTop;
    if (y + height > bottomLimit) y = bottomLimit - height;
    if (y < topLimit) y = topLimit;
  }
  x = std::clamp(x, 0, std::max(0, screen.width - width));
  Level level;
  level.menu = menu;
  level.hot = FirstChoice(items);
  level.scrolls = scrolls;
  level.rect = RECT{x, y, x + width, y + height};
  s.levels.push_back(level);
  HWND parentWindow = s.owner;
  while (parentWindow && (GetWindowLong(parentWindow, GWL_STYLE) & WS_CHILD)) parentWindow = GetParent(parentWindow);
  HWND wnd = CreateWindowEx(WS_EX_NOACTIVATE, kDropDownClass, u"", WS_POPUP, x, y, width, height, parentWindow,
                            nullptr, nullptr, nullptr);
  if (!wnd) {
    s.levels.pop_back();
    return false;
  }
  s.levels.back().wnd = wnd;
  ShowWindow(wnd, SW_SHOWNA);
  return true;
}

void CloseLevel(Session& s) {
  if (s.levels.empty()) return;
  HWND wnd = s.levels.back().wnd;
  s.levels.pop_back();
  if (IsWindow(wnd)) DestroyWindow(wnd);
}

void Repaint(const Level& level) {
  if (IsWindow(level.wnd)) InvalidateRect(level.wnd, nullptr, FALSE);
}

void MoveHot(Session& s, int step) {
  Level& level = s.levels.back();
  std::vector<Entry> items = ReadItems(level.menu);
  int n = (int)items.size();
  if (n == 0) return;
  int i = level.hot < 0 || level.hot >= n ? (step > 0 ? n - 1 : 0) : level.hot;
  for (int k = 0; k < n; ++k) {
    i = (i + step + n) % n;
    if (!items[(size_t)i].separator) {
      level.hot = i;
      break;
    }
  }
  KeepHotVisible(level, items, s.m);
  Repaint(level);
}

// Action on the highlighted item: a submenu opens, a greyed item does
// nothing, any other item is the choice.
void Choose(Session& s) {
  Level& level = s.levels.back();
  std::vector<Entry> items = ReadItems(level.menu);
  if (level.hot < 0 || level.hot >= (int)items.size()) return;
  const Entry& e = items[(size_t)level.hot];
  if (e.separator || e.grey) return;
  if (e.sub) {
    OpenLevel(s, e.sub, level.hot);
    return;
  }
  s.result = e.id;
  s.done = true;
}

// The n-th item (1-based, separators not counted), as the phone numbers them.
int NthItem(const std::vector<Entry>& items, int n) {
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i].separator && --n == 0) return (int)i;
  return -1;
}

void KeyDown(Session& s, UINT vk) {
  switch (vk) {
    case VK_UP: MoveHot(s, -1); break;
    case VK_DOWN: MoveHot(s, 1); break;
    case VK_RIGHT: {
      Level& level = s.levels.back();
      std::vector<Entry> items = ReadItems(level.menu);
      if (level.hot >= 0 && level.hot < (int)items.size() && items[(size_t)level.hot].sub &&
          !items[(size_t)level.hot].grey)
        OpenLevel(s, items[(size_t)level.hot].sub, level.hot);
      break;
    }
    case VK_LEFT:
      if (s.levels.size() > 1) CloseLevel(s);
      break;
    case VK_RETURN: s.actionDown = true; break;
    case VK_ESCAPE: s.escapeDown = true; break;
    default:
      if (vk >= '1' && vk <= '9') s.digitDown = vk;
      break;
  }
}

// Choices happen on release, so that the release does not reach a window
// once the menu is gone.
void KeyUp(Session& s, UINT vk) {
  if (vk == VK_RETURN && s.actionDown) {
    s.actionDown = false;
    Choose(s);
  } else if (vk == VK_ESCAPE && s.escapeDown) {
    s.done = true;
  } else if (vk >= '1' && vk <= '9' && s.digitDown == vk) {
    s.digitDown = 0;
    Level& level = s.levels.back();
    int i = NthItem(ReadItems(level.menu), (int)(vk - '0'));
    if (i < 0) return;
    level.hot = i;
    KeepHotVisible(level, ReadItems(level.menu), s.m);
    Repaint(level);
    Choose(s);
  }
}

}  // namespace

bool DropDownMenuOpen() { return g_session != nullptr; }

UINT TrackDropDownMenu(const MenuDropDown& request) {
  if (g_session || !request.owner || !IsWindow(request.owner) || !IsMenu(request.menu)) return 0;
  EnsureClass();
  Session s;
  s.owner = request.owner;
  s.right = request.rightAligned;
  s.m = MeasureMetrics();
  g_session = &s;
  if (!OpenLevel(s, request.menu, request.position)) {
    g_session = nullptr;
    return 0;
  }
  while (!s.done && !s.levels.empty()) {
    // The owner gone, or a shown menu destroyed: nothing left to choose.
    if (!IsWindow(s.owner)) break;
    if (std::any_of(s.levels.begin(), s.levels.end(), [](const Level& l) { return !IsMenu(l.menu); })) break;
    MSG msg;
    BOOL got = GetMessage(&msg, nullptr, 0, 0);
    if (!got || got == -1) {
      PostQuitMessage((int)msg.wParam);
      break;
    }
    switch (msg.message) {
      case WM_KEYDOWN:
        KeyDown(s, (UINT)msg.wParam);
        continue;
      case WM_KEYUP:
        KeyUp(s, (UINT)msg.wParam);
        continue;
      case WM_CHAR:
        continue;
      case WM_HOTKEY:
        if (HIWORD(msg.lParam) == VK_ESCAPE) {
          // The Back key while it is taken over: press, hold, release.
          WORD modifiers = LOWORD(msg.lParam);
          if (modifiers & MOD_KEYUP) {
            if (s.backDown) s.done = true;
          } else if (!(modifiers & MOD_HOLD)) {
            s.backDown = true;
          }
          continue;
        }
        break;
      default:
        if (msg.message == shell::kSoftKeyMessage && msg.wParam <= 1) {
          // Either soft key closes the menu when it is released.
          if (msg.lParam) s.softDown[msg.wParam] = true;
          else if (s.softDown[msg.wParam]) s.done = true;
          continue;
        }
        break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  while (!s.levels.empty()) CloseLevel(s);
  g_session = nullptr;
  return s.done ? s.result : 0;
}

}  // namespace platform
