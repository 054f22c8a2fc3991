// The headless backend: a virtual clock that moves only when the driver
// says so, input from a script or from tests, the screen kept in memory.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <sstream>

#include "platform/backend/device.h"
#include "platform/backend/headless/headless.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/text/codepage.h"
#include "platform/window/keypad.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

struct Step {
  enum Kind { kKey, kChar, kWait, kClick, kShot } kind = kKey;
  UINT vk = 0;
  bool down = false;
  WCHAR ch = 0;
  uint32_t ms = 0;
  int x = 0, y = 0;
  std::string file;
};

class HeadlessBackend;
HeadlessBackend* g_headless = nullptr;

class HeadlessBackend : public Backend {
 public:
  HeadlessBackend() { g_headless = this; }
  ~HeadlessBackend() override {
    if (g_headless == this) g_headless = nullptr;
  }
  uint32_t Now() override { return now_.load(); }
  void Idle(bool hasDeadline, uint32_t deadline) override {
    if (steps_.empty()) {
      if (quitAtEnd_) {
        if (!quitSent_) {
          quitSent_ = true;
          PostQuitMessage(0);
        } else if (hasDeadline) {
          now_ = deadline;  // the program still waits for its timers
        }
        return;
      }
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait(lock, [&] { return woken_; });
      woken_ = false;
      return;
    }
    Step s = steps_.front();
    if (s.kind == Step::kWait) {
      uint32_t now = now_.load();
      if (!waiting_) {
        waiting_ = true;
        waitTarget_ = now + s.ms;
      }
      uint32_t next = waitTarget_;
      if (hasDeadline && (int32_t)(deadline - now) >= 0 && (int32_t)(deadline - waitTarget_) < 0)
        next = deadline;
      now_ = next;
      if (next == waitTarget_) {
        waiting_ = false;
        steps_.pop_front();
      }
      return;
    }
    steps_.pop_front();
    switch (s.kind) {
      case Step::kKey: KeypadKey(s.vk, s.down); break;
      case Step::kChar: KeypadChar(s.ch); break;
      case Step::kClick: ScreenClick(s.x, s.y); break;
      case Step::kShot:
        wm::NextWindowToPaint(reinterpret_cast<HWND>(~uintptr_t(0)));
        if (!gdi::SaveScreenPng(s.file)) std::fprintf(stderr, "quivra: cannot write %s\n", s.file.c_str());
        break;
      default: break;
    }
  }
  void Poll() override {}
  void Spin() override {
    if (spin_ && IsUiThread()) ++now_;
  }
  void Wake() override {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    cv_.notify_all();
  }
  void Present() override {}
  void SleepUi(uint32_t ms) override { now_ += ms; }

  void SetNow(uint32_t t) { now_ = t; }
  std::deque<Step> steps_;
  bool waiting_ = false;
  uint32_t waitTarget_ = 0;
  bool quitAtEnd_ = true;
  bool quitSent_ = false;
  bool spin_ = true;

 private:
  std::atomic<uint32_t> now_{0};
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

bool KeyByName(const std::string& name, UINT* vk) {
  static const struct {
    const char* name;
    UINT vk;
  } kNames[] = {{"F1", VK_F1},       {"F2", VK_F2},         {"up", VK_UP},       {"down", VK_DOWN},
                {"left", VK_LEFT},   {"right", VK_RIGHT},   {"enter", VK_RETURN}, {"action", VK_RETURN},
                {"back", VK_ESCAPE}, {"star", VK_F8},       {"*", VK_F8},         {"F8", VK_F8},
                {"hash", VK_F9},     {"#", VK_F9},          {"F9", VK_F9},        {"left-soft", VK_F1},
                {"right-soft", VK_F2}};
  for (auto& k : kNames)
    if (name == k.name) {
      *vk = k.vk;
      return true;
    }
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') {
    *vk = (UINT)name[0];
    return true;
  }
  return false;
}

bool ParseUnsigned(const std::string& s, uint32_t* out) {
  if (s.empty() || s.size() > 9) return false;
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (uint32_t)(c - '0');
  }
  *out = v;
  return true;
}

}  // namespace

std::unique_ptr<Backend> CreateHeadlessBackend(const DeviceOptions&) {
  return std::make_unique<HeadlessBackend>();
}

namespace headless {

bool Active() { return g_headless != nullptr && DeviceRunning(); }

bool AddScript(const std::string& text, std::string* error) {
  if (!g_headless) {
    if (error) *error = "the device is not running headless";
    return false;
  }
  std::deque<Step> steps;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') {
      // A line "#" alone is a comment too; the hash key is written "key #".
      continue;
    }
    std::istringstream words(line.substr(first));
    std::string command;
    words >> command;
    auto fail = [&](const std::string& why) {
      if (error) *error = "script line " + std::to_string(number) + ": " + why;
      return false;
    };
    if (command == "key" || command == "hold") {
      std::string name;
      words >> name;
      UINT vk = 0;
      if (!KeyByName(name, &vk)) return fail("unknown key \"" + name + "\"");
      Step down;
      down.kind = Step::kKey;
      down.vk = vk;
      down.down = true;
      steps.push_back(down);
      if (command == "hold") {
        std::string ms;
        words >> ms;
        Step wait;
        wait.kind = Step::kWait;
        if (!ParseUnsigned(ms, &wait.ms)) return fail("hold wants milliseconds");
        steps.push_back(wait);
      }
      Step up = down;
      up.down = false;
      steps.push_back(up);
    } else if (command == "type") {
      size_t at = line.find("type", first) + 4;
      if (at < line.size() && line[at] == ' ') ++at;
      std::u16string textW = WideFromUtf8(line.substr(std::min(at, line.size())));
      for (char16_t c : textW) {
        if (c >= u'0' && c <= u'9') {
          Step down;
          down.kind = Step::kKey;
          down.vk = c;
          down.down = true;
          steps.push_back(down);
          down.down = false;
          steps.push_back(down);
        } else {
          Step ch;
          ch.kind = Step::kChar;
          ch.ch = c;
          steps.push_back(ch);
        }
      }
    } else if (command == "wait") {
      std::string ms;
      words >> ms;
      Step wait;
      wait.kind = Step::kWait;
      if (!ParseUnsigned(ms, &wait.ms)) return fail("wait wants milliseconds");
      steps.push_back(wait);
    } else if (command == "click") {
      Step click;
      click.kind = Step::kClick;
      if (!(words >> click.x >> click.y)) return fail("click wants X Y");
      steps.push_back(click);
    } else if (command == "shot") {
      Step shot;
      shot.kind = Step::kShot;
      std::getline(words >> std::ws, shot.file);
      if (shot.file.empty()) return fail("shot wants a file name");
      steps.push_back(shot);
    } else {
      return fail("unknown command \"" + command + "\"");
    }
  }
  for (auto& s : steps) g_headless->steps_.push_back(s);
  g_headless->quitSent_ = false;
  return true;
}

bool LoadScriptFile(const std::string& path, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    if (error) *error = "cannot read script " + path;
    return false;
  }
  std::stringstream ss;
  ss << f.rdbuf();
  return AddScript(ss.str(), error);
}

void SetQuitWhenScriptEnds(bool quit) {
  if (g_headless) g_headless->quitAtEnd_ = quit;
}

bool ScriptFinished() { return !g_headless || g_headless->steps_.empty(); }

void RunPending() {
  if (!g_headless) return;
  bool savedSpin = g_headless->spin_;
  g_headless->spin_ = false;
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage((int)msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  wm::NextWindowToPaint(reinterpret_cast<HWND>(~uintptr_t(0)));
  g_headless->spin_ = savedSpin;
}

void AdvanceTime(uint32_t ms) {
  if (!g_headless) return;
  uint32_t target = g_headless->Now() + ms;
  for (;;) {
    RunPending();
    uint32_t now = g_headless->Now();
    if (now == target || wm::QuitPosted()) break;
    uint32_t due = 0;
    uint32_t next = target;
    if (wm::NextDue(&due) && (int32_t)(due - target) < 0) next = due;
    if ((int32_t)(next - now) <= 0) next = now + 1;
    g_headless->SetNow(next);
  }
}

uint32_t Now() { return g_headless ? g_headless->Now() : 0; }

COLORREF ScreenPixel(int x, int y) { return gdi::ScreenPixel(x, y); }
std::vector<uint8_t> ScreenRgb() { return gdi::ScreenRgb(); }
bool SaveScreenshot(const std::string& path) { return gdi::SaveScreenPng(path); }

}  // namespace headless
}  // namespace platform
