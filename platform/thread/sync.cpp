#include "platform/thread/sync.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/backend/device.h"

namespace platform {
namespace {

std::mutex g_waitMutex;
std::condition_variable g_changed;
std::map<uintptr_t, std::shared_ptr<KernelObject>> g_objects;
uintptr_t g_next = 0x10000;

struct ThreadObject : KernelObject {
  std::thread thread;
  bool finished = false;
  DWORD exitCode = 259;  // STILL_ACTIVE
  bool TryAcquire() override { return finished; }
  ~ThreadObject() override {
    if (thread.joinable()) thread.detach();
  }
};

struct EventObject : KernelObject {
  bool manual = false;
  bool signalled = false;
  bool TryAcquire() override {
    if (!signalled) return false;
    if (!manual) signalled = false;
    return true;
  }
};

struct MutexObject : KernelObject {
  std::thread::id owner;
  int count = 0;
  bool TryAcquire() override {
    if (count > 0 && owner != std::this_thread::get_id()) return false;
    owner = std::this_thread::get_id();
    ++count;
    return true;
  }
};

std::shared_ptr<KernelObject> Get(HANDLE h) {
  auto it = g_objects.find((uintptr_t)h);
  return it == g_objects.end() ? nullptr : it->second;
}

HANDLE Add(std::shared_ptr<KernelObject> o) {
  uintptr_t h = (g_next += 4);
  g_objects[h] = std::move(o);
  return (HANDLE)h;
}

auto Clock() { return std::chrono::steady_clock::now(); }
const auto kStart = std::chrono::steady_clock::now();

}  // namespace

HANDLE AddKernelObject(KernelObject* object) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  return Add(std::shared_ptr<KernelObject>(object));
}

KernelObject* FindKernelObject(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  return Get(handle).get();
}

}  // namespace platform

using namespace platform;

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD, DWORD* threadId) {
  if (!start) return nullptr;
  auto t = std::make_shared<ThreadObject>();
  std::weak_ptr<ThreadObject> weak = t;
  HANDLE h;
  {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    h = Add(t);
  }
  // The thread keeps its record alive until it ends.
  std::shared_ptr<ThreadObject> self = t;
  t->thread = std::thread([self, start, param] {
    DWORD code = start(param);
    std::lock_guard<std::mutex> lock(g_waitMutex);
    self->exitCode = code;
    self->finished = true;
    g_changed.notify_all();
  });
  if (threadId) *threadId = (DWORD)std::hash<std::thread::id>()(t->thread.get_id());
  return h;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  auto t = std::dynamic_pointer_cast<ThreadObject>(Get(thread));
  if (!t || !code) return FALSE;
  *code = t->exitCode;
  return TRUE;
}

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, LPCWSTR) {
  auto e = std::make_shared<EventObject>();
  e->manual = manualReset != 0;
  e->signalled = initialState != 0;
  std::lock_guard<std::mutex> lock(g_waitMutex);
  return Add(e);
}

BOOL SetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  auto e = std::dynamic_pointer_cast<EventObject>(Get(event));
  if (!e) return FALSE;
  e->signalled = true;
  g_changed.notify_all();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  auto e = std::dynamic_pointer_cast<EventObject>(Get(event));
  if (!e) return FALSE;
  e->signalled = false;
  return TRUE;
}

HANDLE CreateMutex(void*, BOOL initialOwner, LPCWSTR) {
  auto m = std::make_shared<MutexObject>();
  if (initialOwner) {
    m->owner = std::this_thread::get_id();
    m->count = 1;
  }
  std::lock_guard<std::mutex> lock(g_waitMutex);
  return Add(m);
}

BOOL ReleaseMutex(HANDLE mutex) {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  auto m = std::dynamic_pointer_cast<MutexObject>(Get(mutex));
  if (!m || m->count == 0 || m->owner != std::this_thread::get_id()) return FALSE;
  if (--m->count == 0) m->owner = std::thread::id();
  g_changed.notify_all();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(g_waitMutex);
  auto o = Get(handle);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  auto deadline = Clock() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (o->TryAcquire()) return WAIT_OBJECT_0;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
      g_changed.wait(lock);
    } else if (g_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      return o->TryAcquire() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
  }
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> keep;
  {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    auto it = g_objects.find((uintptr_t)handle);
    if (it == g_objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    keep = it->second;
    g_objects.erase(it);
  }
  return TRUE;
}

DWORD GetTickCount() {
  if (Backend* b = CurrentBackend()) return b->Now();
  return (DWORD)std::chrono::duration_cast<std::chrono::milliseconds>(Clock() - kStart).count();
}

void Sleep(DWORD milliseconds) {
  Backend* b = CurrentBackend();
  if (b && IsUiThread() && CurrentOptions().headless) {
    b->SleepUi(milliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetCurrentThreadId() { return (DWORD)std::hash<std::thread::id>()(std::this_thread::get_id()); }
