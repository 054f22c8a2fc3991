// Inside the window manager: the window records and the services the
// drawing layer, the keypad and the backends use.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace platform::wm {

struct Window {
  uint32_t serial = 0;
  HWND handle = nullptr;
  std::u16string className;
  WNDPROC proc = nullptr;
  UINT classStyle = 0;
  HBRUSH classBrush = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  Window* parent = nullptr;  // the desktop for top-level windows
  HWND owner = nullptr;      // top-level windows created with a parent
  std::vector<Window*> children;  // bottom first
  std::u16string title;
  RECT rect{};  // in the parent's client coordinates (screen for top-level)
  LONG_PTR userData = 0;
  LONG_PTR msgResult = 0;
  int id = 0;
  HINSTANCE instance = nullptr;
  bool hasUpdate = false;
  bool erase = false;
  bool frameDirty = true;
  RECT update{};  // client coordinates
  SCROLLINFO bars[2]{};
  SIZE clientSize{-1, -1};
  bool destroyed = false;
  // A built-in control's own state (never the user-data word); released
  // with the record, so its destructor must not call the window manager.
  std::shared_ptr<void> controlData;
};

Window* Lookup(HWND hwnd);
Window* Desktop();
Window* TopLevelOf(Window* w);
// Rectangles in screen coordinates.
RECT WindowRectOnScreen(const Window* w);
RECT ClientRectOnScreen(const Window* w);
// The part of a window (client or whole) that shows on the screen: visible
// ancestors, clipped by them, by siblings above, by the task bar and, for
// the client of a WS_CLIPCHILDREN window, by its children.
std::vector<RECT> VisibleRegion(const Window* w, bool clientOnly);
// Everything under a screen rectangle is painted again.
void InvalidateScreenArea(const RECT& screenRect);

// Finds a window needing paint (matching the filter) and returns it; frames
// needing a repaint are drawn on the way.
HWND NextWindowToPaint(HWND filter);
// Frees the records of destroyed windows (no procedure is running).
void CollectDestroyed();
// Removes every window and class (device restart).
void ResetWindows();
void CreateDesktop();

// Which window a screen point falls on (deepest visible child).
HWND WindowFromScreenPoint(POINT pt);
// Mouse click at a screen point: scroll-bar requests or button messages.
void ClickAt(POINT pt, bool down);

// The task bar strip at the top of the screen.
LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void ShowTaskBar(bool show);
bool TaskBarShown();
void RefreshTaskBar();

// The wait cursor, for backends and tests.
bool WaitCursorShown();

// Message-queue internals used by the keypad and the backends.
void PostInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A deadline on the UI clock that runs `action` (the Back-key hold).
void SetInternalDeadline(int slot, uint32_t due, std::function<void()> action);
void ClearInternalDeadline(int slot);
void ResetQueue();
// The earliest timer or internal deadline, if any.
bool NextDue(uint32_t* due);
bool QuitPosted();

// Timers and hot keys of a window being destroyed.
void KillWindowTimersAndHotKeys(HWND hwnd);

// Whether the window has any timer.
bool GetTimerArmed(HWND hwnd);

// Registered hot key for a key, if any: the window and id.
bool FindHotKey(UINT vk, HWND* hwnd, int* id);

}  // namespace platform::wm
