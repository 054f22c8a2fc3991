// Starting and stopping the emulated device, its options, and the
// per-thread last error.
#include "platform/backend/device.h"

#include <cctype>
#include <cstdlib>
#include <thread>

#include "platform/backend/headless/headless.h"
#include "platform/controls/controls.h"
#include "platform/fs/path_map.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/text/locale.h"
#include "platform/window/window_internal.h"

namespace platform {

void ResetKeypad();
// The registry store opens and closes with the device.
bool OpenRegistryStore(const std::string& file);
void CloseRegistryStore();
bool SaveShownScreen(const std::string& path);
void ForgetSdlBackend(Backend* b);

namespace {

DeviceOptions g_options;
std::unique_ptr<Backend> g_backend;
bool g_running = false;
std::thread::id g_uiThread;
ScreenProfile g_defaultProfile;

bool ParseInt(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// "UTC", "+HH:MM" or "-HH:MM" as minutes east of UTC.
bool ParseTimeZone(const std::string& s, int* minutes) {
  if (s == "UTC" || s == "utc" || s == "Z") {
    *minutes = 0;
    return true;
  }
  long h = 0, m = 0;
  if (s.size() != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':' || !ParseInt(s.substr(1, 2), 0, 14, &h) ||
      !ParseInt(s.substr(4, 2), 0, 59, &m))
    return false;
  *minutes = (int)(h * 60 + m) * (s[0] == '-' ? -1 : 1);
  return true;
}

}  // namespace

ScreenProfile ProfileForSize(int width, int height) {
  ScreenProfile p;
  p.width = width;
  p.height = height;
  if (width == 240 && height == 320) {
    p.dpi = 131;
    p.taskBarHeight = 26;
    p.softKeyBarHeight = 26;
    p.scrollBarSize = 11;
  }
  return p;
}

bool ParseDeviceOptions(int argc, char** argv, DeviceOptions* options, std::vector<std::string>* rest,
                        std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        if (error) *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    long n = 0;
    if (a == "--headless") {
      options->headless = true;
    } else if (a == "--script") {
      if (!value(&options->script)) return false;
      options->headless = true;
    } else if (a == "--screenshot-on-exit") {
      if (!value(&options->screenshotOnExit)) return false;
    } else if (a == "--root") {
      if (!value(&options->root)) return false;
    } else if (a == "--registry") {
      if (!value(&options->registryFile)) return false;
    } else if (a == "--zoom") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, 16, &n)) {
        if (error) *error = "--zoom wants 1 to 16";
        return false;
      }
      options->zoom = (int)n;
    } else if (a == "--depth") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 8, 24, &n) || (n != 8 && n != 16 && n != 24)) {
        if (error) *error = "--depth wants 8, 16 or 24";
        return false;
      }
      options->screen.depth = (int)n;
    } else if (a == "--back-hold") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, 60000, &n)) {
        if (error) *error = "--back-hold wants milliseconds";
        return false;
      }
      options->backHoldMs = (uint32_t)n;
    } else if (a == "--screen") {
      if (!value(&v)) return false;
      size_t x = v.find('x');
      long w = 0, h = 0;
      if (x == std::string::npos || !ParseInt(v.substr(0, x), 64, 2048, &w) ||
          !ParseInt(v.substr(x + 1), 64, 2048, &h)) {
        if (error) *error = "--screen wants WIDTHxHEIGHT";
        return false;
      }
      int depth = options->screen.depth;
      options->screen = ProfileForSize((int)w, (int)h);
      options->screen.depth = depth;
    } else if (a == "--time-zone") {
      if (!value(&v)) return false;
      int minutes = 0;
      if (!ParseTimeZone(v, &minutes)) {
        if (error) *error = "--time-zone wants UTC, +HH:MM or -HH:MM";
        return false;
      }
      options->timeZone = v;
    } else if (a == "--language") {
      if (!value(&options->language)) return false;
      if (options->language.size() < 2 || options->language.size() > 3) {
        if (error) *error = "--language wants an ISO 639 code";
        return false;
      }
    } else if (rest) {
      rest->push_back(a);
    }
  }
  return true;
}

bool StartDevice(const DeviceOptions& options) {
  if (g_running) StopDevice();
  g_options = options;
  if (g_options.screen.depth != 8 && g_options.screen.depth != 24) g_options.screen.depth = 16;
  g_uiThread = std::this_thread::get_id();
  SetDeviceRoot(g_options.root);
  LocaleSettings locale = HostLocaleSettings();
  int minutes = 0;
  if (!g_options.timeZone.empty() && ParseTimeZone(g_options.timeZone, &minutes)) {
    locale.fixedTimeZone = true;
    locale.timeZoneMinutes = minutes;
  }
  if (!g_options.language.empty()) {
    std::u16string code;
    for (char c : g_options.language) code += (char16_t)std::tolower((unsigned char)c);
    locale.isoLanguage = code;
    std::u16string upper;
    for (char c : g_options.language) upper += (char16_t)std::toupper((unsigned char)c);
    locale.abbreviatedLanguage = code == u"en" ? u"ENU" : upper;
  }
  SetLocaleSettings(locale);
  std::unique_ptr<Backend> backend;
  if (g_options.headless) {
    backend = CreateHeadlessBackend(g_options);
  } else {
    std::string error;
    backend = CreateSdlBackend(g_options, &error);
    if (!backend) {
      std::fprintf(stderr, "quivra: %s\n", error.c_str());
      return false;
    }
  }
  g_backend = std::move(backend);
  g_running = true;
  wm::ResetQueue();
  wm::ResetWindows();
  ResetKeypad();
  gdi::ResetGdi();
  wm::CreateDesktop();
  controls::RegisterControlClasses();
  if (!OpenRegistryStore(g_options.registryFile)) {
    std::fprintf(stderr, "quivra: cannot open the registry store\n");
  }
  if (g_options.headless && !g_options.script.empty()) {
    std::string error;
    if (!headless::LoadScriptFile(g_options.script, &error)) {
      std::fprintf(stderr, "quivra: %s\n", error.c_str());
      StopDevice();
      return false;
    }
  }
  return true;
}

void StopDevice() {
  if (!g_running) return;
  if (!g_options.screenshotOnExit.empty()) {
    wm::NextWindowToPaint(reinterpret_cast<HWND>(~uintptr_t(0)));
    // The SDL window's shot is read back from what the window shows.
    bool saved = g_options.headless ? gdi::SaveScreenPng(g_options.screenshotOnExit)
                                    : SaveShownScreen(g_options.screenshotOnExit);
    if (!saved)
      std::fprintf(stderr, "quivra: cannot write %s\n", g_options.screenshotOnExit.c_str());
  }
  CloseRegistryStore();
  wm::ResetQueue();
  wm::ResetWindows();
  ResetKeypad();
  g_running = false;
  ForgetSdlBackend(g_backend.get());
  g_backend.reset();
}

bool DeviceRunning() { return g_running; }
const DeviceOptions& CurrentOptions() { return g_options; }
const ScreenProfile& Screen() { return g_running ? g_options.screen : g_defaultProfile; }
Backend* CurrentBackend() { return g_backend.get(); }
bool IsUiThread() { return !g_running || std::this_thread::get_id() == g_uiThread; }

}  // namespace platform

namespace {
thread_local DWORD t_lastError = 0;
}
DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }
