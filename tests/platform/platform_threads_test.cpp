// Threads, events, the mutex, waits with time-outs, and the tick count of
// headless runs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

TEST_F(HeadlessClock, AWorkerDrawsIntoItsOwnBitmapsWhileTheUiThreadPaints) {
  HWND w = CreateWindowEx(0, u"Rec", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(w, SW_SHOW);
  std::atomic<int> wrong{0};
  std::atomic<int> posted{0};
  std::thread worker([&] {
    for (int i = 0; i < 150; ++i) {
      BITMAPINFO info{};
      info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 40, 30, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
      void* bits = nullptr;
      HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(dc, dib);
      HBRUSH b = CreateSolidBrush(RGB(i, 255 - i, 7));
      RECT r{0, 0, 40, 30};
      FillRect(dc, &r, b);
      if (GetPixel(dc, 39, 29) != RGB(i, 255 - i, 7)) ++wrong;
      SelectObject(dc, old);
      DeleteObject(b);
      DeleteDC(dc);
      DeleteObject(dib);
      if (PostMessage(w, WM_USER + 1, i, 0)) ++posted;
    }
  });
  HDC screen = GetDC(w);
  for (int i = 0; i < 300; ++i) {
    HBRUSH b = CreateSolidBrush(RGB(0, 0, i & 255));
    RECT r{0, 0, 176, 180};
    FillRect(screen, &r, b);
    DeleteObject(b);
    platform::headless::RunPending();
  }
  ReleaseDC(w, screen);
  worker.join();
  platform::headless::RunPending();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(posted.load(), 150);
  EXPECT_EQ(platform_test::Recorder::Get().Of(w, {WM_USER + 1}).size(), 150u);
}

}  // namespace
