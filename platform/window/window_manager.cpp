#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/backend/device.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/text/wide.h"
#include "platform/window/window_internal.h"

namespace platform::wm {
namespace {

struct ClassRecord {
  WNDCLASS wc{};
  std::u16string name;
};

std::mutex g_tableMutex;
std::unordered_map<uintptr_t, std::unique_ptr<Window>> g_windows;
std::vector<std::unique_ptr<Window>> g_graveyard;
uint32_t g_nextSerial = 1;
std::vector<ClassRecord> g_classes;
Window* g_desktop = nullptr;
Window* g_taskBar = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;
HCURSOR g_cursor = (HCURSOR)(uintptr_t)32512;
bool g_taskBarShown = true;

const char16_t kTaskBarClass[] = u"platform_TaskBar";
const char16_t kDesktopClass[] = u"platform_Desktop";

ClassRecord* FindClass(LPCWSTR name) {
  if (!name) return nullptr;
  for (auto& c : g_classes)
    if (WideEqualNoCase(c.name, name)) return &c;
  return nullptr;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}
bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
RECT Union(const RECT& a, const RECT& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}
RECT Offset(RECT r, int dx, int dy) {
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
  return r;
}

// Subtracts `cut` from every rectangle of `region`.
void Subtract(std::vector<RECT>& region, const RECT& cut) {
  if (Empty(cut)) return;
  std::vector<RECT> out;
  for (const RECT& r : region) {
    RECT i = Intersect(r, cut);
    if (Empty(i)) {
      out.push_back(r);
      continue;
    }
    if (i.top > r.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
    if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
    if (i.left > r.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
  }
  region.swap(out);
}

bool IsShown(const Window* w) {
  for (const Window* p = w; p; p = p->parent)
    if (!(p->style & WS_VISIBLE)) return false;
  return true;
}

int BarSize() { return Screen().scrollBarSize; }

// The client rectangle inside the window rectangle (window coordinates).
RECT ClientInWindow(const Window* w) {
  int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
  int b = (w->style & WS_BORDER) ? 1 : 0;
  RECT r{b, b, width - b, height - b};
  if (w->style & WS_VSCROLL) r.right -= BarSize();
  if (w->style & WS_HSCROLL) r.bottom -= BarSize();
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

SIZE ClientSize(const Window* w) {
  RECT r = ClientInWindow(w);
  return SIZE{r.right - r.left, r.bottom - r.top};
}


void InvalidateWindowArea(Window* w, const RECT* clientRect, bool erase, bool children);

// Sends WM_SIZE when the client size changed, and repaints the window.
void ApplyFrameChange(Window* w, bool repaint) {
  SIZE s = ClientSize(w);
  bool changed = s.cx != w->clientSize.cx || s.cy != w->clientSize.cy;
  w->clientSize = s;
  w->frameDirty = true;
  if (repaint && IsShown(w)) InvalidateScreenArea(WindowRectOnScreen(w));
  if (changed) {
    HWND h = w->handle;
    SendMessage(h, WM_SIZE, 0, MAKELPARAM(s.cx, s.cy));
    if (Window* again = Lookup(h)) InvalidateWindowArea(again, nullptr, true, true);
  }
}

void InvalidateWindowArea(Window* w, const RECT* clientRect, bool erase, bool children) {
  SIZE s = ClientSize(w);
  RECT all{0, 0, s.cx, s.cy};
  RECT r = clientRect ? Intersect(*clientRect, all) : all;
  if (!Empty(r)) {
    w->update = w->hasUpdate ? Union(w->update, r) : r;
    w->hasUpdate = true;
    if (erase) w->erase = true;
  }
  if (children && !(w->style & WS_CLIPCHILDREN)) {
    for (Window* c : w->children) {
      RECT cr = ClientInWindow(c);
      RECT inChild = Offset(r, -(c->rect.left + cr.left), -(c->rect.top + cr.top));
      InvalidateWindowArea(c, &inChild, erase, true);
    }
  }
}

void BringToTop(Window* w) {
  Window* p = w->parent;
  if (!p) return;
  auto& v = p->children;
  v.erase(std::remove(v.begin(), v.end(), w), v.end());
  if (p == g_desktop && w != g_taskBar && g_taskBar) {
    // The task bar stays above every other top-level window.
    auto it = std::find(v.begin(), v.end(), g_taskBar);
    v.insert(it, w);
  } else {
    v.push_back(w);
  }
}

void Activate(Window* top) {
  HWND prev = g_active;
  if (!top || top == g_desktop || top == g_taskBar) return;
  if (top->exStyle & WS_EX_NOACTIVATE) return;
  BringToTop(top);
  if (prev == top->handle) return;
  g_active = top->handle;
  InvalidateScreenArea(WindowRectOnScreen(top));
  RefreshTaskBar();
  if (prev && Lookup(prev)) SendMessage(prev, WM_ACTIVATE, 0 /*WA_INACTIVE*/, (LPARAM)top->handle);
  if (Lookup(top->handle)) SendMessage(top->handle, WM_ACTIVATE, 1 /*WA_ACTIVE*/, (LPARAM)prev);
}

// The topmost visible top-level window other than `except`.
Window* NextActiveCandidate(Window* except) {
  if (!g_desktop) return nullptr;
  auto& v = g_desktop->children;
  for (auto it = v.rbegin(); it != v.rend(); ++it) {
    Window* c = *it;
    if (c == except || c == g_taskBar || c->destroyed || (c->exStyle & WS_EX_NOACTIVATE)) continue;
    if (c->style & WS_VISIBLE) return c;
  }
  return nullptr;
}

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillRect(dc, &ps.rcPaint, (HBRUSH)GetStockObject(BLACK_BRUSH));
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

void DrawScrollBar(HDC dc, const RECT& track, const SCROLLINFO& si, bool vertical) {
  HBRUSH trackBrush = CreateSolidBrush(RGB(0xE0, 0xE0, 0xE0));
  HBRUSH thumbBrush = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
  FillRect(dc, &track, trackBrush);
  int length = vertical ? track.bottom - track.top : track.right - track.left;
  long long range = (long long)si.nMax - si.nMin + 1;
  if (range > 0 && length > 0) {
    long long page = si.nPage ? si.nPage : 1;
    long long thumb = std::max<long long>(4, length * page / range);
    if (thumb > length) thumb = length;
    long long span = range - page;
    long long offset = span > 0 ? (long long)(length - thumb) * (si.nPos - si.nMin) / span : 0;
    offset = std::clamp<long long>(offset, 0, length - thumb);
    RECT t = track;
    if (vertical) {
      t.top = track.top + (LONG)offset;
      t.bottom = t.top + (LONG)thumb;
      InflateRect(&t, -1, 0);
    } else {
      t.left = track.left + (LONG)offset;
      t.right = t.left + (LONG)thumb;
      InflateRect(&t, 0, -1);
    }
    FillRect(dc, &t, thumbBrush);
  }
  DeleteObject(trackBrush);
  DeleteObject(thumbBrush);
}

// Border and scroll bars, drawn by the platform.
void PaintFrame(Window* w) {
  w->frameDirty = false;
  if (!(w->style & (WS_BORDER | WS_VSCROLL | WS_HSCROLL))) return;
  if (!IsShown(w)) return;
  RECT wr = WindowRectOnScreen(w);
  std::vector<RECT> region = VisibleRegion(w, false);
  Subtract(region, ClientRectOnScreen(w));
  if (region.empty()) return;
  HDC dc = gdi::CreateScreenDC(POINT{wr.left, wr.top}, region);
  int width = wr.right - wr.left, height = wr.bottom - wr.top;
  RECT client = ClientInWindow(w);
  if (w->style & WS_BORDER) {
    RECT all{0, 0, width, height};
    FrameRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
  }
  if (w->style & WS_VSCROLL) {
    RECT track{client.right, client.top, client.right + BarSize(), client.bottom};
    DrawScrollBar(dc, track, w->bars[SB_VERT], true);
  }
  if (w->style & WS_HSCROLL) {
    RECT track{client.left, client.bottom, client.right, client.bottom + BarSize()};
    DrawScrollBar(dc, track, w->bars[SB_HORZ], false);
  }
  if ((w->style & WS_VSCROLL) && (w->style & WS_HSCROLL)) {
    RECT corner{client.right, client.bottom, client.right + BarSize(), client.bottom + BarSize()};
    FillRect(dc, &corner, (HBRUSH)GetStockObject(LTGRAY_BRUSH));
  }
  DeleteDC(dc);
}

void DestroyRecursive(Window* w, std::vector<Window*>& order) {
  order.push_back(w);
  std::vector<Window*> kids = w->children;
  for (Window* c : kids) DestroyRecursive(c, order);
}

bool BarShouldShow(const SCROLLINFO& si) {
  if (si.nMax <= si.nMin) return false;
  return si.nPage == 0 || (long long)si.nPage <= (long long)si.nMax - si.nMin;
}

int ClampPos(const SCROLLINFO& si, int pos) {
  long long maxPos = (long long)si.nMax - (si.nPage ? (long long)si.nPage - 1 : 0);
  if (pos > maxPos) pos = (int)maxPos;
  if (pos < si.nMin) pos = si.nMin;
  return pos;
}

}  // namespace

Window* Lookup(HWND hwnd) {
  uintptr_t key = (uintptr_t)hwnd & ~(uintptr_t)3;
  if (!key) return nullptr;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = g_windows.find(key);
  if (it == g_windows.end() || it->second->destroyed) return nullptr;
  return it->second.get();
}

Window* Desktop() { return g_desktop; }

Window* TopLevelOf(Window* w) {
  while (w && w->parent && w->parent != g_desktop) w = w->parent;
  return w;
}

RECT WindowRectOnScreen(const Window* w) {
  if (!w->parent) return w->rect;
  RECT pc = ClientRectOnScreen(w->parent);
  return Offset(w->rect, pc.left, pc.top);
}

RECT ClientRectOnScreen(const Window* w) {
  RECT wr = WindowRectOnScreen(w);
  RECT c = ClientInWindow(w);
  return Offset(c, wr.left, wr.top);
}

std::vector<RECT> VisibleRegion(const Window* w, bool clientOnly) {
  std::vector<RECT> region;
  if (!w || !IsShown(w)) return region;
  const ScreenProfile& s = Screen();
  RECT r = clientOnly ? ClientRectOnScreen(w) : WindowRectOnScreen(w);
  r = Intersect(r, RECT{0, 0, s.width, s.height});
  for (const Window* p = w->parent; p; p = p->parent) r = Intersect(r, ClientRectOnScreen(p));
  if (Empty(r)) return region;
  region.push_back(r);
  for (const Window* a = w; a->parent; a = a->parent) {
    const auto& sib = a->parent->children;
    auto it = std::find(sib.begin(), sib.end(), a);
    if (it == sib.end()) continue;
    for (++it; it != sib.end(); ++it)
      if ((*it)->style & WS_VISIBLE) Subtract(region, WindowRectOnScreen(*it));
  }
  if (clientOnly && (w->style & WS_CLIPCHILDREN))
    for (const Window* c : w->children)
      if (c->style & WS_VISIBLE) Subtract(region, WindowRectOnScreen(c));
  if (w == g_desktop)
    for (const Window* c : w->children)
      if (c->style & WS_VISIBLE) Subtract(region, WindowRectOnScreen(c));
  return region;
}

void InvalidateScreenArea(const RECT& area) {
  if (!g_desktop || Empty(area)) return;
  std::vector<Window*> stack{g_desktop};
  while (!stack.empty()) {
    Window* w = stack.back();
    stack.pop_back();
    if (!(w->style & WS_VISIBLE)) continue;
    RECT wr = WindowRectOnScreen(w);
    if (Empty(Intersect(wr, area))) continue;
    w->frameDirty = true;
    RECT cr = ClientRectOnScreen(w);
    RECT part = Intersect(cr, area);
    if (!Empty(part)) {
      RECT local = Offset(part, -cr.left, -cr.top);
      InvalidateWindowArea(w, &local, true, false);
    }
    for (Window* c : w->children) stack.push_back(c);
  }
}

HWND NextWindowToPaint(HWND filter) {
  if (!g_desktop) return nullptr;
  std::vector<Window*> stack{g_desktop};
  while (!stack.empty()) {
    Window* w = stack.back();
    stack.pop_back();
    if (!(w->style & WS_VISIBLE) || w->destroyed) continue;
    if (w->frameDirty) PaintFrame(w);
    if (w->hasUpdate && (!filter || filter == w->handle)) return w->handle;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) stack.push_back(*it);
  }
  return nullptr;
}

void CollectDestroyed() {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  g_graveyard.clear();
}

void ResetWindows() {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  g_windows.clear();
  g_graveyard.clear();
  g_classes.clear();
  g_desktop = nullptr;
  g_taskBar = nullptr;
  g_focus = nullptr;
  g_active = nullptr;
  g_cursor = (HCURSOR)(uintptr_t)32512;
  g_taskBarShown = true;
}

void CreateDesktop() {
  const ScreenProfile& s = Screen();
  auto make = [](const char16_t* cls, WNDPROC proc) {
    auto w = std::make_unique<Window>();
    std::lock_guard<std::mutex> lock(g_tableMutex);
    w->serial = g_nextSerial++;
    w->handle = (HWND)(uintptr_t)(w->serial << 2);
    w->className = cls;
    w->proc = proc;
    Window* raw = w.get();
    g_windows[(uintptr_t)raw->handle] = std::move(w);
    return raw;
  };
  g_desktop = make(kDesktopClass, DesktopProc);
  g_desktop->style = WS_VISIBLE;
  g_desktop->rect = RECT{0, 0, s.width, s.height};
  g_desktop->clientSize = SIZE{s.width, s.height};
  InvalidateWindowArea(g_desktop, nullptr, true, false);
  g_taskBar = make(kTaskBarClass, TaskBarProc);
  g_taskBar->parent = g_desktop;
  g_taskBar->style = WS_VISIBLE | WS_POPUP;
  g_taskBar->rect = RECT{0, 0, s.width, s.taskBarHeight};
  g_taskBar->clientSize = SIZE{s.width, s.taskBarHeight};
  g_desktop->children.push_back(g_taskBar);
  InvalidateWindowArea(g_taskBar, nullptr, true, false);
}

void ShowTaskBar(bool show) {
  if (!g_taskBar || show == g_taskBarShown) return;
  g_taskBarShown = show;
  if (show) {
    g_taskBar->style |= WS_VISIBLE;
    InvalidateWindowArea(g_taskBar, nullptr, true, false);
  } else {
    g_taskBar->style &= ~WS_VISIBLE;
  }
  InvalidateScreenArea(WindowRectOnScreen(g_taskBar));
}

bool TaskBarShown() { return g_taskBarShown; }

void RefreshTaskBar() {
  if (g_taskBar) InvalidateWindowArea(g_taskBar, nullptr, true, false);
}

bool WaitCursorShown() { return (uintptr_t)g_cursor == 32514; }

HWND WindowFromScreenPoint(POINT pt) {
  Window* w = g_desktop;
  if (!w) return nullptr;
  for (;;) {
    Window* hit = nullptr;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
      Window* c = *it;
      if (!(c->style & WS_VISIBLE)) continue;
      RECT r = WindowRectOnScreen(c);
      if (pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom) {
        hit = c;
        break;
      }
    }
    if (!hit) return w->handle;
    w = hit;
  }
}

void ClickAt(POINT pt, bool down) {
  Window* w = Lookup(WindowFromScreenPoint(pt));
  if (!w || w == g_desktop || w == g_taskBar) return;
  RECT wr = WindowRectOnScreen(w);
  RECT client = ClientRectOnScreen(w);
  for (int bar = 0; bar < 2; ++bar) {
    DWORD bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    if (!(w->style & bit)) continue;
    RECT track = bar == SB_VERT ? RECT{client.right, client.top, client.right + BarSize(), client.bottom}
                                : RECT{client.left, client.bottom, client.right, client.bottom + BarSize()};
    if (!(pt.x >= track.left && pt.x < track.right && pt.y >= track.top && pt.y < track.bottom)) continue;
    if (!down) return;
    const SCROLLINFO& si = w->bars[bar];
    int length = bar == SB_VERT ? track.bottom - track.top : track.right - track.left;
    int at = bar == SB_VERT ? pt.y - track.top : pt.x - track.left;
    long long range = (long long)si.nMax - si.nMin + 1;
    long long page = si.nPage ? si.nPage : 1;
    long long thumb = range > 0 ? std::min<long long>(length, std::max<long long>(4, length * page / range)) : length;
    long long span = range - page;
    long long offset = span > 0 ? (long long)(length - thumb) * (si.nPos - si.nMin) / span : 0;
    WORD request = at < offset ? SB_PAGEUP : at >= offset + thumb ? SB_PAGEDOWN : SB_THUMBPOSITION;
    UINT msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    PostInput(w->handle, msg, MAKEWPARAM(request, (WORD)(short)si.nPos), 0);
    if (request == SB_THUMBPOSITION || true) PostInput(w->handle, msg, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
    return;
  }
  (void)wr;
  POINT local{pt.x - client.left, pt.y - client.top};
  PostInput(w->handle, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 1 : 0,
            MAKELPARAM((WORD)(short)local.x, (WORD)(short)local.y));
}

}  // namespace platform::wm

using namespace platform;
using namespace platform::wm;

HINSTANCE GetModuleHandle(LPCWSTR) { return (HINSTANCE)(uintptr_t)0x10000; }

ATOM RegisterClass(const WNDCLASS* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  ClassRecord rec;
  rec.wc = *wc;
  rec.name = wc->lpszClassName;
  rec.wc.lpszClassName = nullptr;
  g_classes.push_back(rec);
  return (ATOM)(0xC000 + g_classes.size());
}

BOOL GetClassInfo(HINSTANCE, LPCWSTR className, WNDCLASS* out) {
  ClassRecord* c = FindClass(className);
  if (!c) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  if (out) {
    *out = c->wc;
    out->lpszClassName = c->name.c_str();
  }
  return TRUE;
}

BOOL UnregisterClass(LPCWSTR className, HINSTANCE) {
  for (auto it = g_classes.begin(); it != g_classes.end(); ++it)
    if (WideEqualNoCase(it->name, className)) {
      g_classes.erase(it);
      return TRUE;
    }
  return FALSE;
}

int GetClassName(HWND hwnd, LPWSTR buffer, int maxCount) {
  Window* w = Lookup(hwnd);
  if (!w || !buffer || maxCount <= 0) return 0;
  return (int)CopyWide(w->className, buffer, maxCount);
}

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance,
                    LPVOID param) {
  ClassRecord* cls = FindClass(className);
  if (!cls || !g_desktop) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window* parentWindow = parent ? Lookup(parent) : nullptr;
  if (parent && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((style & WS_CHILD) && !parentWindow) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const ScreenProfile& s = Screen();
  bool child = (style & WS_CHILD) != 0;
  if (x == CW_USEDEFAULT || (x == 0 && y == 0 && width == 0 && height == 0) ||
      width == CW_USEDEFAULT) {
    if (child) {
      x = y = width = height = 0;
    } else {
      x = 0;
      y = s.taskBarHeight;
      width = s.width;
      height = s.height - s.taskBarHeight - s.softKeyBarHeight;
    }
  }
  auto owned = std::make_unique<Window>();
  Window* w = owned.get();
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    w->serial = g_nextSerial++;
    w->handle = (HWND)(uintptr_t)(w->serial << 2);
    g_windows[(uintptr_t)w->handle] = std::move(owned);
  }
  w->className = cls->name;
  w->proc = cls->wc.lpfnWndProc;
  w->classStyle = cls->wc.style;
  w->classBrush = cls->wc.hbrBackground;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  w->title = title ? std::u16string(title) : std::u16string();
  w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  w->instance = instance;
  if (child) {
    w->parent = parentWindow;
    w->id = (int)(uintptr_t)menuOrId;
  } else {
    w->parent = g_desktop;
    w->owner = parentWindow ? TopLevelOf(parentWindow)->handle : nullptr;
  }
  if (child) {
    w->parent->children.push_back(w);
  } else {
    BringToTop(w);
  }
  w->clientSize = ClientSize(w);
  HWND h = w->handle;
  CREATESTRUCT cs{param, instance, menuOrId, parent, height, width, y, x, (LONG)style,
                  title, className, exStyle};
  LRESULT r = SendMessage(h, WM_CREATE, 0, (LPARAM)&cs);
  if (r == -1 || !Lookup(h)) {
    if (Lookup(h)) DestroyWindow(h);
    return nullptr;
  }
  w = Lookup(h);
  SendMessage(h, WM_SIZE, 0, MAKELPARAM(w->clientSize.cx, w->clientSize.cy));
  if (!Lookup(h)) return nullptr;
  SendMessage(h, WM_MOVE, 0, MAKELPARAM((WORD)(short)x, (WORD)(short)y));
  if (!Lookup(h)) return nullptr;
  if (style & WS_VISIBLE) ShowWindow(h, SW_SHOW);
  return Lookup(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = Lookup(hwnd);
  if (!w || w == g_desktop || w == g_taskBar) return FALSE;
  // Owned top-level windows go first.
  if (w->parent == g_desktop) {
    std::vector<HWND> ownedWindows;
    for (Window* c : g_desktop->children)
      if (c->owner == hwnd) ownedWindows.push_back(c->handle);
    for (HWND o : ownedWindows) DestroyWindow(o);
    w = Lookup(hwnd);
    if (!w) return TRUE;
  }
  bool wasShown = IsShown(w);
  RECT area = WindowRectOnScreen(w);
  Window* top = TopLevelOf(w);
  bool wasActive = top == w && g_active == hwnd;
  std::vector<Window*> order;
  DestroyRecursive(w, order);
  std::vector<HWND> handles;
  for (Window* x : order) handles.push_back(x->handle);
  // Leave the screen first, then WM_DESTROY to the window and then to its
  // children, while they all still exist.
  w->style &= ~WS_VISIBLE;
  if (wasShown) InvalidateScreenArea(area);
  for (HWND h : handles) {
    if (g_focus == h) g_focus = nullptr;
    if (Lookup(h)) SendMessage(h, WM_DESTROY, 0, 0);
  }
  for (HWND h : handles) {
    Window* x = Lookup(h);
    if (!x) continue;
    KillWindowTimersAndHotKeys(h);
    if (g_focus == h) g_focus = nullptr;
    if (g_active == h) g_active = nullptr;
    std::lock_guard<std::mutex> lock(g_tableMutex);  // other threads look windows up
    x->destroyed = true;
  }
  // Unlink and bury the records.
  if (w->parent) {
    auto& v = w->parent->children;
    v.erase(std::remove(v.begin(), v.end(), w), v.end());
  }
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    for (HWND h : handles) {
      auto it = g_windows.find((uintptr_t)h);
      if (it != g_windows.end()) {
        g_graveyard.push_back(std::move(it->second));
        g_windows.erase(it);
      }
    }
  }
  if (wasActive) {
    g_active = nullptr;
    if (Window* next = NextActiveCandidate(nullptr)) Activate(next);
    RefreshTaskBar();
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Lookup(hwnd) != nullptr; }

HWND FindWindow(LPCWSTR className, LPCWSTR title) {
  if (!g_desktop) return nullptr;
  for (auto it = g_desktop->children.rbegin(); it != g_desktop->children.rend(); ++it) {
    Window* w = *it;
    if (w == g_taskBar || w->destroyed) continue;
    if (className && !WideEqualNoCase(w->className, className)) continue;
    if (title && w->title != title) continue;
    return w->handle;
  }
  return nullptr;
}

LONG_PTR GetWindowLong(HWND hwnd, int index) {
  Window* w = Lookup(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWL_WNDPROC: return (LONG_PTR)w->proc;
    case GWL_HINSTANCE: return (LONG_PTR)w->instance;
    case GWL_ID: return w->id;
    case GWL_STYLE: return (LONG_PTR)(DWORD)w->style;
    case GWL_EXSTYLE: return (LONG_PTR)(DWORD)w->exStyle;
    case GWL_USERDATA: return w->userData;
    case DWL_MSGRESULT: return w->msgResult;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

LONG_PTR SetWindowLong(HWND hwnd, int index, LONG_PTR value) {
  Window* w = Lookup(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  switch (index) {
    case GWL_WNDPROC:
      old = (LONG_PTR)w->proc;
      w->proc = (WNDPROC)value;
      break;
    case GWL_ID:
      old = w->id;
      w->id = (int)value;
      break;
    case GWL_STYLE: {
      old = (LONG_PTR)(DWORD)w->style;
      DWORD keepVisible = w->style & WS_VISIBLE;
      w->style = ((DWORD)value & ~WS_VISIBLE) | keepVisible;
      ApplyFrameChange(w, true);
      break;
    }
    case GWL_EXSTYLE:
      old = (LONG_PTR)(DWORD)w->exStyle;
      w->exStyle = (DWORD)value;
      break;
    case GWL_USERDATA:
      old = w->userData;
      w->userData = value;
      break;
    case DWL_MSGRESULT:
      old = w->msgResult;
      w->msgResult = value;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
  return old;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = Lookup(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_CREATE: return 0;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (!w->classBrush) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect((HDC)wParam, &r, w->classBrush);
      return 1;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != 0 && !(g_focus && IsChild(hwnd, g_focus)) && g_focus != hwnd) SetFocus(hwnd);
      return 0;
    case WM_SETTEXT:
      w->title = lParam ? std::u16string((LPCWSTR)lParam) : std::u16string();
      if (w->parent == g_desktop && g_active == hwnd) RefreshTaskBar();
      return TRUE;
    case WM_GETTEXT:
      if (!lParam || wParam == 0) return 0;
      return (LRESULT)CopyWide(w->title, (LPWSTR)lParam, (int)wParam);
    case WM_GETTEXTLENGTH: return (LRESULT)w->title.size();
    case WM_SETCURSOR: return 0;
    case WM_GETDLGCODE: return 0;
  }
  return 0;
}

HWND GetParent(HWND hwnd) {
  Window* w = Lookup(hwnd);
  if (!w) return nullptr;
  if (w->parent == g_desktop || !w->parent) return w->owner;
  return w->parent->handle;
}

HWND GetWindow(HWND hwnd, UINT relation) {
  Window* w = Lookup(hwnd);
  if (!w) return nullptr;
  // Children are kept bottom first; GetWindow walks top first.
  auto siblings = [&](Window* x) -> std::vector<Window*> {
    if (!x->parent) return {};
    std::vector<Window*> v(x->parent->children.rbegin(), x->parent->children.rend());
    return v;
  };
  switch (relation) {
    case GW_CHILD:
      return w->children.empty() ? nullptr : w->children.back()->handle;
    case GW_OWNER: return w->owner;
    case GW_HWNDFIRST: {
      auto v = siblings(w);
      return v.empty() ? nullptr : v.front()->handle;
    }
    case GW_HWNDLAST: {
      auto v = siblings(w);
      return v.empty() ? nullptr : v.back()->handle;
    }
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      auto v = siblings(w);
      auto it = std::find(v.begin(), v.end(), w);
      if (it == v.end()) return nullptr;
      if (relation == GW_HWNDNEXT) return (it + 1) == v.end() ? nullptr : (*(it + 1))->handle;
      return it == v.begin() ? nullptr : (*(it - 1))->handle;
    }
  }
  return nullptr;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  Window* p = Lookup(parent);
  Window* w = Lookup(hwnd);
  if (!p || !w) return FALSE;
  for (Window* x = w->parent; x && x != g_desktop; x = x->parent)
    if (x == p) return TRUE;
  return FALSE;
}

HWND GetDlgItem(HWND parent, int id) {
  Window* p = Lookup(parent);
  if (!p) return nullptr;
  for (Window* c : p->children)
    if (c->id == id && !c->destroyed) return c->handle;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Window* w = Lookup(hwnd);
  return w ? w->id : 0;
}

BOOL SetWindowText(HWND hwnd, LPCWSTR text) {
  if (!Lookup(hwnd)) return FALSE;
  return (BOOL)SendMessage(hwnd, WM_SETTEXT, 0, (LPARAM)(text ? text : u""));
}

int GetWindowText(HWND hwnd, LPWSTR buffer, int maxCount) {
  if (!Lookup(hwnd) || !buffer || maxCount <= 0) return 0;
  buffer[0] = 0;
  return (int)SendMessage(hwnd, WM_GETTEXT, (WPARAM)maxCount, (LPARAM)buffer);
}

int GetWindowTextLength(HWND hwnd) {
  if (!Lookup(hwnd)) return 0;
  return (int)SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  Window* w = Lookup(hwnd);
  if (!w || !rect) return FALSE;
  *rect = WindowRectOnScreen(w);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  Window* w = Lookup(hwnd);
  if (!w || !rect) return FALSE;
  SIZE s = ClientSize(w);
  *rect = RECT{0, 0, s.cx, s.cy};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  Window* w = Lookup(hwnd);
  if (!w || !pt) return FALSE;
  RECT c = ClientRectOnScreen(w);
  pt->x -= c.left;
  pt->y -= c.top;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  Window* w = Lookup(hwnd);
  if (!w || !pt) return FALSE;
  RECT c = ClientRectOnScreen(w);
  pt->x += c.left;
  pt->y += c.top;
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  Window* w = Lookup(hwnd);
  if (!w || w == g_desktop) return FALSE;
  BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
  if (command == SW_HIDE) {
    if (!wasVisible) return FALSE;
    SendMessage(hwnd, WM_SHOWWINDOW, FALSE, 0);
    if (!(w = Lookup(hwnd))) return TRUE;
    bool shown = IsShown(w);
    w->style &= ~WS_VISIBLE;
    if (shown) InvalidateScreenArea(WindowRectOnScreen(w));
    if (w->parent == g_desktop && g_active == hwnd) {
      g_active = nullptr;
      if (Window* next = NextActiveCandidate(w)) Activate(next);
      RefreshTaskBar();
    }
    return TRUE;
  }
  if (!wasVisible) {
    SendMessage(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (!(w = Lookup(hwnd))) return FALSE;
    w->style |= WS_VISIBLE;
    if (IsShown(w)) {
      InvalidateScreenArea(WindowRectOnScreen(w));
      InvalidateWindowArea(w, nullptr, true, true);
    }
  }
  if (w->parent == g_desktop && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE)
    Activate(w);
  return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
  Window* w = Lookup(hwnd);
  return w && IsShown(w);
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  Window* w = Lookup(hwnd);
  if (!w || w == g_desktop) return FALSE;
  RECT old = w->rect;
  RECT oldScreen = WindowRectOnScreen(w);
  if (flags & SWP_NOMOVE) {
    x = old.left;
    y = old.top;
  }
  if (flags & SWP_NOSIZE) {
    cx = old.right - old.left;
    cy = old.bottom - old.top;
  }
  w->rect = RECT{x, y, x + std::max(0, cx), y + std::max(0, cy)};
  bool moved = x != old.left || y != old.top;
  bool repaint = !(flags & SWP_NOREDRAW);
  if (repaint && IsShown(w)) {
    InvalidateScreenArea(oldScreen);
    InvalidateScreenArea(WindowRectOnScreen(w));
  }
  if (!(flags & SWP_NOZORDER) && w->parent) BringToTop(w);
  HWND h = w->handle;
  ApplyFrameChange(w, false);
  if (moved && Lookup(h)) SendMessage(h, WM_MOVE, 0, MAKELPARAM((WORD)(short)x, (WORD)(short)y));
  if ((flags & SWP_SHOWWINDOW) && Lookup(h)) ShowWindow(h, SW_SHOW);
  if ((flags & SWP_HIDEWINDOW) && Lookup(h)) ShowWindow(h, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
  }
  if ((bool)wasDisabled == !enable) return wasDisabled;
  SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  if ((w = Lookup(hwnd))) InvalidateWindowArea(w, nullptr, true, true);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* w = Lookup(hwnd);
  return w && !(w->style & WS_DISABLED);
}

HWND SetFocus(HWND hwnd) {
  HWND old = g_focus;
  if (!hwnd) {
    if (old && Lookup(old)) {
      g_focus = nullptr;
      SendMessage(old, WM_KILLFOCUS, 0, 0);
    }
    g_focus = nullptr;
    return old;
  }
  Window* w = Lookup(hwnd);
  if (!w || w == g_desktop || w == g_taskBar) return nullptr;
  Window* top = TopLevelOf(w);
  if (g_active != top->handle) Activate(top);
  if (!Lookup(hwnd)) return old;
  old = g_focus;
  if (old == hwnd) return old;
  g_focus = hwnd;
  if (old && Lookup(old)) SendMessage(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
  if (g_focus == hwnd && Lookup(hwnd)) SendMessage(hwnd, WM_SETFOCUS, (WPARAM)old, 0);
  return old;
}

HWND GetFocus() { return g_focus && Lookup(g_focus) ? g_focus : nullptr; }

HWND GetActiveWindow() { return g_active && Lookup(g_active) ? g_active : nullptr; }

BOOL SetForegroundWindow(HWND hwnd) {
  // The low bit may be set (as the phone's second-instance convention does).
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  Window* top = TopLevelOf(w);
  if (g_active == top->handle) {
    BringToTop(top);
    if (!(g_focus && (g_focus == top->handle || IsChild(top->handle, g_focus)))) SetFocus(top->handle);
    return TRUE;
  }
  Activate(top);
  return TRUE;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  if (!hwnd) {
    const ScreenProfile& s = Screen();
    InvalidateScreenArea(RECT{0, 0, s.width, s.height});
    return TRUE;
  }
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  InvalidateWindowArea(w, rect, erase != 0, true);
  if (!rect) w->frameDirty = true;
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  if (!rect) {
    w->hasUpdate = false;
    w->erase = false;
    return TRUE;
  }
  if (!w->hasUpdate) return TRUE;
  // The update area is kept as one rectangle: shrink it where the validated
  // rectangle covers a whole side.
  RECT u = w->update;
  RECT i = Intersect(u, *rect);
  if (Empty(i)) return TRUE;
  if (i.left <= u.left && i.right >= u.right) {
    if (i.top <= u.top) u.top = i.bottom;
    else if (i.bottom >= u.bottom) u.bottom = i.top;
  } else if (i.top <= u.top && i.bottom >= u.bottom) {
    if (i.left <= u.left) u.left = i.right;
    else if (i.right >= u.right) u.right = i.left;
  }
  if (Empty(u)) {
    w->hasUpdate = false;
    w->erase = false;
  } else {
    w->update = u;
  }
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  if (w->frameDirty && IsShown(w)) PaintFrame(w);
  if (w->hasUpdate && IsShown(w)) SendMessage(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
  Window* w = Lookup(hwnd);
  if (!w) return FALSE;
  if (rect) *rect = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
  return w->hasUpdate;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  Window* w = Lookup(hwnd);
  if (!w || !ps) return nullptr;
  *ps = PAINTSTRUCT{};
  if (w->frameDirty) PaintFrame(w);
  RECT update = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
  bool erase = w->erase;
  w->hasUpdate = false;
  w->erase = false;
  RECT client = ClientRectOnScreen(w);
  std::vector<RECT> region = VisibleRegion(w, true);
  RECT updateScreen = Offset(update, client.left, client.top);
  std::vector<RECT> clipped;
  for (const RECT& r : region) {
    RECT i = Intersect(r, updateScreen);
    if (!Empty(i)) clipped.push_back(i);
  }
  HDC dc = gdi::CreateScreenDC(POINT{client.left, client.top}, clipped);
  ps->hdc = dc;
  ps->rcPaint = update;
  ps->fErase = FALSE;
  if (erase) ps->fErase = SendMessage(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
  if (ps && ps->hdc) DeleteDC(ps->hdc);
  return TRUE;
}

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
  Window* w = Lookup(hwnd);
  if (!w || !info || (bar != SB_HORZ && bar != SB_VERT)) return 0;
  SCROLLINFO& si = w->bars[bar];
  if (info->fMask & SIF_RANGE) {
    si.nMin = info->nMin;
    si.nMax = info->nMax;
  }
  if (info->fMask & SIF_PAGE) si.nPage = info->nPage;
  if (info->fMask & SIF_POS) si.nPos = info->nPos;
  long long range = (long long)si.nMax - si.nMin + 1;
  if (range < 1) range = 1;
  if (si.nPage > range) si.nPage = (UINT)range;
  si.nPos = ClampPos(si, si.nPos);
  DWORD bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
  bool show = BarShouldShow(si);
  if (show != ((w->style & bit) != 0)) {
    if (show) {
      w->style |= bit;
    } else {
      w->style &= ~bit;
    }
    ApplyFrameChange(w, true);
  } else if (redraw) {
    w->frameDirty = true;
  }
  w = Lookup(hwnd);
  return w ? w->bars[bar].nPos : 0;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
  Window* w = Lookup(hwnd);
  if (!w || !info || (bar != SB_HORZ && bar != SB_VERT)) return FALSE;
  const SCROLLINFO& si = w->bars[bar];
  if (info->fMask & SIF_RANGE) {
    info->nMin = si.nMin;
    info->nMax = si.nMax;
  }
  if (info->fMask & SIF_PAGE) info->nPage = si.nPage;
  if (info->fMask & SIF_POS) info->nPos = si.nPos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = si.nPos;
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
  Window* w = Lookup(hwnd);
  if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
  SCROLLINFO& si = w->bars[bar];
  int old = si.nPos;
  si.nPos = ClampPos(si, pos);
  if (redraw) w->frameDirty = true;
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  Window* w = Lookup(hwnd);
  if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
  return w->bars[bar].nPos;
}

HCURSOR LoadCursor(HINSTANCE, LPCWSTR name) {
  uintptr_t id = (uintptr_t)name;
  if (id == 32512 || id == 32514) return (HCURSOR)id;
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = g_cursor;
  g_cursor = cursor;
  return old;
}

HCURSOR GetCursor() { return g_cursor; }

int GetSystemMetrics(int index) {
  const ScreenProfile& s = Screen();
  switch (index) {
    case SM_CXSCREEN: return s.width;
    case SM_CYSCREEN: return s.height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return s.scrollBarSize;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CYCAPTION: return 0;
  }
  return 0;
}

DWORD GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0x00, 0x00, 0x80);
    case COLOR_HIGHLIGHTTEXT: return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_BTNFACE: return RGB(0xC0, 0xC0, 0xC0);
    case COLOR_GRAYTEXT: return RGB(0x80, 0x80, 0x80);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_SCROLLBAR: return RGB(0xE0, 0xE0, 0xE0);
    case COLOR_BACKGROUND: return RGB(0, 0, 0);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
  }
  return 0;
}

LONG GetDialogBaseUnits() {
  int dpi = Screen().dpi;
  int x = (6 * dpi + 48) / 96, y = (13 * dpi + 48) / 96;
  return MAKELONG(x, y);
}

BOOL MapDialogRect(HWND, RECT* rect) {
  if (!rect) return FALSE;
  LONG base = GetDialogBaseUnits();
  int bx = LOWORD(base), by = HIWORD(base);
  rect->left = rect->left * bx / 4;
  rect->right = rect->right * bx / 4;
  rect->top = rect->top * by / 8;
  rect->bottom = rect->bottom * by / 8;
  return TRUE;
}
