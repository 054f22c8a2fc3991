// The UI thread's message queue: posted messages (thread-safe), synchronous
// sending (marshalled when it comes from another thread), retrieval with
// filters, and the messages generated on demand: quit, paint and timers.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>

#include "platform/backend/device.h"
#include "platform/window/window_internal.h"

namespace platform::wm {
namespace {

struct CrossThreadSend {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  std::promise<LRESULT> result;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT period;
  uint32_t due;
  TIMERPROC proc;
  uint64_t order;
};

struct InternalDeadline {
  uint32_t due;
  std::function<void()> action;
};

struct HotKey {
  HWND hwnd;
  int id;
  UINT modifiers;
  UINT vk;
};

std::mutex g_queueMutex;
std::deque<MSG> g_posted;
std::deque<std::shared_ptr<CrossThreadSend>> g_sends;
bool g_quit = false;
int g_quitCode = 0;
std::vector<Timer> g_timers;
uint64_t g_timerOrder = 0;
UINT_PTR g_nextTimerId = 0x7F00;
std::map<int, InternalDeadline> g_deadlines;
std::vector<HotKey> g_hotKeys;
int g_dispatchDepth = 0;

uint32_t Now() {
  Backend* b = CurrentBackend();
  return b ? b->Now() : 0;
}

// Signed distance on the wrapping 32-bit clock.
int32_t Until(uint32_t due, uint32_t now) { return (int32_t)(due - now); }

bool InRange(UINT msg, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return msg >= lo && msg <= hi;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd && m.hwnd != hwnd) {
    Window* w = Lookup(m.hwnd);
    Window* f = Lookup(hwnd);
    // Messages of the filter window's children match too.
    bool child = false;
    for (Window* p = w ? w->parent : nullptr; p && f; p = p->parent)
      if (p == f) child = true;
    if (!child) return false;
  }
  return InRange(m.message, lo, hi);
}

void RunCrossThreadSends() {
  for (;;) {
    std::shared_ptr<CrossThreadSend> s;
    {
      std::lock_guard<std::mutex> lock(g_queueMutex);
      if (g_sends.empty()) return;
      s = g_sends.front();
      g_sends.pop_front();
    }
    s->result.set_value(SendMessage(s->hwnd, s->msg, s->wParam, s->lParam));
  }
}

// Runs the internal deadlines that are due.
void RunDeadlines() {
  uint32_t now = Now();
  for (;;) {
    auto it = std::find_if(g_deadlines.begin(), g_deadlines.end(),
                           [&](auto& d) { return Until(d.second.due, now) <= 0; });
    if (it == g_deadlines.end()) return;
    auto action = std::move(it->second.action);
    g_deadlines.erase(it);
    if (action) action();
  }
}

}  // namespace

bool NextDue(uint32_t* due) {
  uint32_t now = Now();
  bool any = false;
  int32_t best = 0;
  for (auto& t : g_timers) {
    int32_t d = Until(t.due, now);
    if (!any || d < best) best = d;
    any = true;
  }
  for (auto& kv : g_deadlines) {
    int32_t d = Until(kv.second.due, now);
    if (!any || d < best) best = d;
    any = true;
  }
  if (any) *due = now + (uint32_t)std::max<int32_t>(0, best);
  return any;
}

namespace {

// One attempt to produce a message; false when there is none.
bool Retrieve(MSG* out, HWND hwnd, UINT lo, UINT hi, bool remove) {
  RunCrossThreadSends();
  RunDeadlines();
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    for (auto it = g_posted.begin(); it != g_posted.end(); ++it) {
      if (!Matches(*it, hwnd, lo, hi)) continue;
      *out = *it;
      if (remove) g_posted.erase(it);
      return true;
    }
    if (g_quit && InRange(WM_QUIT, lo, hi)) {
      *out = MSG{nullptr, WM_QUIT, (WPARAM)g_quitCode, 0, Now(), {0, 0}};
      if (remove) g_quit = false;
      return true;
    }
  }
  if (InRange(WM_PAINT, lo, hi)) {
    if (HWND p = NextWindowToPaint(hwnd)) {
      *out = MSG{p, WM_PAINT, 0, 0, Now(), {0, 0}};
      return true;
    }
  }
  if (InRange(WM_TIMER, lo, hi)) {
    uint32_t now = Now();
    Timer* best = nullptr;
    for (auto& t : g_timers) {
      if (Until(t.due, now) > 0) continue;
      if (hwnd && t.hwnd != hwnd) continue;
      if (!best || Until(t.due, best->due) < 0 ||
          (t.due == best->due && t.order < best->order))
        best = &t;
    }
    if (best) {
      *out = MSG{best->hwnd, WM_TIMER, best->id, (LPARAM)best->proc, now, {0, 0}};
      // Expiries coalesce: the next one counts from this retrieval.
      if (remove) best->due = now + best->period;
      return true;
    }
  }
  return false;
}

}  // namespace

void PostInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  PostMessage(hwnd, msg, wParam, lParam);
}

void SetInternalDeadline(int slot, uint32_t due, std::function<void()> action) {
  g_deadlines[slot] = InternalDeadline{due, std::move(action)};
}

void ClearInternalDeadline(int slot) { g_deadlines.erase(slot); }

void ResetQueue() {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  g_posted.clear();
  for (auto& s : g_sends) s->result.set_value(0);
  g_sends.clear();
  g_quit = false;
  g_quitCode = 0;
  g_timers.clear();
  g_deadlines.clear();
  g_hotKeys.clear();
  g_dispatchDepth = 0;
}

bool QuitPosted() {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  return g_quit;
}

void KillWindowTimersAndHotKeys(HWND hwnd) {
  g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(),
                                [&](const Timer& t) { return t.hwnd == hwnd; }),
                 g_timers.end());
  g_hotKeys.erase(std::remove_if(g_hotKeys.begin(), g_hotKeys.end(),
                                 [&](const HotKey& k) { return k.hwnd == hwnd; }),
                  g_hotKeys.end());
}

bool GetTimerArmed(HWND hwnd) {
  for (auto& t : g_timers)
    if (t.hwnd == hwnd) return true;
  return false;
}

bool FindHotKey(UINT vk, HWND* hwnd, int* id) {
  for (auto& k : g_hotKeys)
    if (k.vk == vk && k.modifiers == 0) {
      *hwnd = k.hwnd;
      *id = k.id;
      return true;
    }
  return false;
}

}  // namespace platform::wm

using namespace platform;
using namespace platform::wm;

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsUiThread() && DeviceRunning()) {
    auto s = std::make_shared<CrossThreadSend>();
    s->hwnd = hwnd;
    s->msg = msg;
    s->wParam = wParam;
    s->lParam = lParam;
    std::future<LRESULT> f = s->result.get_future();
    {
      std::lock_guard<std::mutex> lock(g_queueMutex);
      g_sends.push_back(s);
    }
    if (Backend* b = CurrentBackend()) b->Wake();
    return f.get();
  }
  Window* w = Lookup(hwnd);
  if (!w || !w->proc) return 0;
  ++g_dispatchDepth;
  LRESULT r = w->proc(hwnd, msg, wParam, lParam);
  --g_dispatchDepth;
  return r;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !Lookup(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_posted.push_back(MSG{hwnd, msg, wParam, lParam, Now(), {0, 0}});
  }
  if (Backend* b = CurrentBackend()) b->Wake();
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_quit = true;
    g_quitCode = exitCode;
  }
  if (Backend* b = CurrentBackend()) b->Wake();
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  for (;;) {
    if (Backend* b = CurrentBackend()) b->Poll();
    if (Retrieve(msg, hwnd, filterMin, filterMax, true)) return msg->message != WM_QUIT;
    if (g_dispatchDepth == 0) CollectDestroyed();
    Backend* b = CurrentBackend();
    if (!b) return FALSE;
    // Nothing to do: show the screen, then wait for input, a post, or the
    // next timer.
    NextWindowToPaint(reinterpret_cast<HWND>(~uintptr_t(0)));
    b->Present();
    uint32_t due = 0;
    bool has = NextDue(&due);
    b->Idle(has, due);
  }
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  Backend* b = CurrentBackend();
  if (b) b->Poll();
  if (Retrieve(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0)) return TRUE;
  if (b) {
    NextWindowToPaint(reinterpret_cast<HWND>(~uintptr_t(0)));
    b->Present();
    b->Spin();
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  WPARAM vk = msg->wParam;
  WCHAR c = 0;
  if (vk == VK_RETURN) c = 13;
  else if (vk >= '0' && vk <= '9') c = (WCHAR)vk;
  else if (vk == VK_BACK) c = 8;
  if (!c) return FALSE;
  // The character comes right after its key-down.
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_posted.push_front(MSG{msg->hwnd, WM_CHAR, c, msg->lParam, msg->time, msg->pt});
  }
  return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    TIMERPROC proc = (TIMERPROC)msg->lParam;
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  Window* w = Lookup(msg->hwnd);
  if (!w) return 0;
  return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (hwnd && !Lookup(hwnd)) return 0;
  if (elapse < 1) elapse = 1;
  if (!hwnd) id = ++g_nextTimerId;
  uint32_t now = Now();
  for (auto& t : g_timers)
    if (t.hwnd == hwnd && t.id == id) {
      // Setting an existing timer restarts it.
      t.period = elapse;
      t.due = now + elapse;
      t.proc = proc;
      t.order = ++g_timerOrder;
      return hwnd ? 1 : id;
    }
  g_timers.push_back(Timer{hwnd, id, elapse, now + elapse, proc, ++g_timerOrder});
  if (Backend* b = CurrentBackend()) b->Wake();
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(g_timers.begin(), g_timers.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == g_timers.end()) return FALSE;
  g_timers.erase(it);
  return TRUE;
}

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk) {
  if (hwnd && !Lookup(hwnd)) return FALSE;
  for (auto& k : g_hotKeys)
    if (k.vk == vk && k.modifiers == modifiers && !(k.hwnd == hwnd && k.id == id)) {
      SetLastError(1409 /*ERROR_HOTKEY_ALREADY_REGISTERED*/);
      return FALSE;
    }
  for (auto& k : g_hotKeys)
    if (k.hwnd == hwnd && k.id == id) {
      k.modifiers = modifiers;
      k.vk = vk;
      return TRUE;
    }
  g_hotKeys.push_back(HotKey{hwnd, id, modifiers, vk});
  return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
  auto it = std::find_if(g_hotKeys.begin(), g_hotKeys.end(),
                         [&](const HotKey& k) { return k.hwnd == hwnd && k.id == id; });
  if (it == g_hotKeys.end()) return FALSE;
  g_hotKeys.erase(it);
  return TRUE;
}
