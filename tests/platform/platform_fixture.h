// A headless device for each test, and a window class that records the
// messages its windows receive.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/backend/device.h"
#include "platform/backend/headless/headless.h"
#include "platform/windows.h"

namespace platform_test {

struct Received {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  DWORD tick;
};

class Recorder {
 public:
  static Recorder& Get() {
    static Recorder r;
    return r;
  }
  std::vector<Received> log;
  // Per-message handlers; returning true means handled with `result`.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> handler;

  std::vector<Received> Of(HWND hwnd, std::vector<UINT> only = {}) const {
    std::vector<Received> out;
    for (auto& r : log) {
      if (r.hwnd != hwnd) continue;
      if (!only.empty() && std::find(only.begin(), only.end(), r.msg) == only.end()) continue;
      out.push_back(r);
    }
    return out;
  }
  std::vector<UINT> Messages(HWND hwnd, std::vector<UINT> only = {}) const {
    std::vector<UINT> out;
    for (auto& r : Of(hwnd, only)) out.push_back(r.msg);
    return out;
  }
};

inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Recorder& r = Recorder::Get();
  r.log.push_back(Received{hwnd, msg, wParam, lParam, GetTickCount()});
  LRESULT result = 0;
  if (r.handler && r.handler(hwnd, msg, wParam, lParam, &result)) return result;
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

// A fresh headless device (176 x 220 unless changed) with a private
// registry file, and the "Rec" class registered.
class DeviceTest : public ::testing::Test {
 protected:
  void StartWith(platform::DeviceOptions options) {
    char pattern[] = "/tmp/quivra-platform-XXXXXX";
    char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    options.headless = true;
    if (options.registryFile.empty()) options.registryFile = dir_ + "/registry.db";
    ASSERT_TRUE(platform::StartDevice(options));
    Recorder::Get().log.clear();
    Recorder::Get().handler = nullptr;
    WNDCLASS wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = u"Rec";
    ASSERT_NE(RegisterClass(&wc), 0);
  }
  void SetUp() override { StartWith(platform::DeviceOptions{}); }
  void TearDown() override {
    platform::StopDevice();
    Recorder::Get().handler = nullptr;
    if (!dir_.empty()) {
      std::string cmd = "rm -rf '" + dir_ + "'";
      (void)system(cmd.c_str());
    }
  }
  HWND Top(DWORD style = 0, LPVOID param = nullptr) {
    return CreateWindowEx(0, u"Rec", u"Top", style, 0, 0, 0, 0, nullptr, nullptr, nullptr, param);
  }
  HWND Child(HWND parent, int id, RECT r, DWORD style = WS_VISIBLE) {
    return CreateWindowEx(0, u"Rec", u"", WS_CHILD | style, r.left, r.top, r.right - r.left,
                          r.bottom - r.top, parent, (HMENU)(intptr_t)id, nullptr, nullptr);
  }
  std::string dir_;
};

// Runs a keypad script through a message loop, as a program's loop does,
// until the script has run out; then dispatches what is left.
inline void RunScript(const std::string& script) {
  std::string error;
  ASSERT_TRUE(platform::headless::AddScript(script, &error)) << error;
  MSG m;
  while (GetMessage(&m, nullptr, 0, 0)) {
    TranslateMessage(&m);
    DispatchMessage(&m);
  }
  platform::headless::RunPending();
}

}  // namespace platform_test
