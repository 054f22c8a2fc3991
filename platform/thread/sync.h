// Threads, events, the mutex, waits with time-outs, the tick count and
// sleeping. Handles are closed with CloseHandle.
#pragma once

#include "platform/win_types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD flags, DWORD* threadId);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
HANDLE CreateMutex(void* security, BOOL initialOwner, LPCWSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

// Milliseconds since the device started, wrapping at 32 bits; virtual in
// headless runs.
DWORD GetTickCount();
// On the UI thread of a headless run, Sleep moves the virtual clock.
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();

namespace platform {

// Kernel handles are shared by threads, events, mutexes, files and finds.
struct KernelObject {
  virtual ~KernelObject() = default;
  // Called with the wait lock held: true when a wait is satisfied now (and
  // takes the object for auto-reset events and mutexes).
  virtual bool TryAcquire() { return false; }
};
HANDLE AddKernelObject(KernelObject* object);
KernelObject* FindKernelObject(HANDLE handle);

}  // namespace platform
