// Threads, events, the mutex, waits with time-outs, and the tick count of
// headless runs.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/platform/platform_fixture.h"

namespace {

DWORD WINAPI AddTen(LPVOID p) {
  auto* n = static_cast<std::atomic<int>*>(p);
  for (int i = 0; i < 10; ++i) ++*n;
  return 77;
}

TEST(Sync, ThreadsRunAndTheirEndIsWaitedFor) {
  std::atomic<int> n{0};
  HANDLE t = CreateThread(nullptr, 0, AddTen, &n, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(n.load(), 10);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 77u);
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED) << "a closed handle fails";
}

TEST(Sync, AutoResetEventsReleaseOneWaitManualOnesStaySignalled) {
  HANDLE autoEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
  SetEvent(autoEvent);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
  HANDLE manual = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 5), WAIT_TIMEOUT);
  CloseHandle(autoEvent);
  CloseHandle(manual);
}

DWORD WINAPI SignalLater(LPVOID p) {
  Sleep(20);
  SetEvent((HANDLE)p);
  return 0;
}

TEST(Sync, AWaitEndsWhenAnotherThreadSignals) {
  HANDLE e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, SignalLater, e, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  CloseHandle(e);
}

struct MutexProbe {
  HANDLE mutex;
  DWORD result;
};

DWORD WINAPI TryMutex(LPVOID p) {
  auto* probe = static_cast<MutexProbe*>(p);
  probe->result = WaitForSingleObject(probe->mutex, 0);
  if (probe->result == WAIT_OBJECT_0) ReleaseMutex(probe->mutex);
  return 0;
}

TEST(Sync, AMutexBelongsToOneThreadAtATimeAndNests) {
  HANDLE m = CreateMutex(nullptr, FALSE, nullptr);
  ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0) << "the owner may take it again";
  MutexProbe probe{m, 0};
  HANDLE t = CreateThread(nullptr, 0, TryMutex, &probe, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_EQ(probe.result, WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m)) << "not owned any more";
  t = CreateThread(nullptr, 0, TryMutex, &probe, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_EQ(probe.result, WAIT_OBJECT_0);
  CloseHandle(m);
}

using HeadlessClock = platform_test::DeviceTest;

TEST_F(HeadlessClock, TickCountIsVirtualAndSleepMovesItOnTheUiThread) {
  EXPECT_EQ(GetTickCount(), 0u);
  Sleep(1234);
  EXPECT_EQ(GetTickCount(), 1234u);
  platform::headless::AdvanceTime(766);
  EXPECT_EQ(GetTickCount(), 2000u);
}

TEST_F(HeadlessClock, BusyPollingLoopsEndBecauseEveryEmptyPollTakesAMillisecond) {
  DWORD start = GetTickCount();
  MSG m;
  int polls = 0;
  while (GetTickCount() - start < 10) {
    ASSERT_FALSE(PeekMessage(&m, nullptr, WM_LBUTTONUP, WM_LBUTTONUP, PM_NOREMOVE));
    ASSERT_LT(++polls, 1000);
  }
  EXPECT_EQ(polls, 10);
}

}  // namespace
