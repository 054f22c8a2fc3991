// The SDL2 backend: a real window showing the screen scaled by an integer
// factor, with the keypad drawn below it. Keys come from the desktop
// keyboard or from clicks on the keypad; clicks on the screen are mouse
// clicks; F12 saves a screenshot, Ctrl+Q ends the emulator.
#include <SDL.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend/device.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/window/keypad.h"
#include "platform/window/messages.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

struct KeypadButton {
  int column, row, span;
  UINT vk;
  const char16_t* label;
};

// Three columns, seven rows under the screen.
const KeypadButton kButtons[] = {
    {0, 0, 1, VK_F1, u"Soft 1"}, {1, 0, 1, VK_UP, u"Up"},       {2, 0, 1, VK_F2, u"Soft 2"},
    {0, 1, 1, VK_LEFT, u"Left"}, {1, 1, 1, VK_RETURN, u"Action"}, {2, 1, 1, VK_RIGHT, u"Right"},
    {0, 2, 1, VK_ESCAPE, u"Back"}, {1, 2, 1, VK_DOWN, u"Down"},
    {0, 3, 1, '1', u"1"},        {1, 3, 1, '2', u"2"},          {2, 3, 1, '3', u"3"},
    {0, 4, 1, '4', u"4"},        {1, 4, 1, '5', u"5"},          {2, 4, 1, '6', u"6"},
    {0, 5, 1, '7', u"7"},        {1, 5, 1, '8', u"8"},          {2, 5, 1, '9', u"9"},
    {0, 6, 1, VK_F8, u"*"},      {1, 6, 1, '0', u"0"},          {2, 6, 1, VK_F9, u"#"},
};
const int kRowHeight = 16;
const int kRows = 7;

bool KeyFor(const SDL_Keysym& k, UINT* vk) {
  switch (k.sym) {
    case SDLK_F1:
    case SDLK_LEFTBRACKET: *vk = VK_F1; return true;
    case SDLK_F2:
    case SDLK_RIGHTBRACKET: *vk = VK_F2; return true;
    case SDLK_UP: *vk = VK_UP; return true;
    case SDLK_DOWN: *vk = VK_DOWN; return true;
    case SDLK_LEFT: *vk = VK_LEFT; return true;
    case SDLK_RIGHT: *vk = VK_RIGHT; return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: *vk = VK_RETURN; return true;
    case SDLK_ESCAPE:
    case SDLK_BACKSPACE: *vk = VK_ESCAPE; return true;
    case SDLK_F8:
    case SDLK_KP_MULTIPLY:
    case SDLK_ASTERISK: *vk = VK_F8; return true;
    case SDLK_F9:
    case SDLK_KP_DIVIDE:
    case SDLK_HASH: *vk = VK_F9; return true;
    default: break;
  }
  if (k.sym >= SDLK_0 && k.sym <= SDLK_9) {
    *vk = (UINT)('0' + (k.sym - SDLK_0));
    return true;
  }
  if (k.sym >= SDLK_KP_1 && k.sym <= SDLK_KP_9) {
    *vk = (UINT)('1' + (k.sym - SDLK_KP_1));
    return true;
  }
  if (k.sym == SDLK_KP_0) {
    *vk = '0';
    return true;
  }
  return false;
}

class SdlBackend : public Backend {
 public:
  bool Open(const DeviceOptions& o, std::string* error) {
    zoom_ = o.zoom < 1 ? 1 : o.zoom;
    width_ = o.screen.width;
    screenHeight_ = o.screen.height;
    height_ = screenHeight_ + kRows * kRowHeight;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      *error = std::string("cannot start SDL: ") + SDL_GetError();
      return false;
    }
    initialised_ = true;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    window_ = SDL_CreateWindow("Quivra", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_ * zoom_,
                               height_ * zoom_, 0);
    if (!window_) {
      *error = std::string("cannot open a window: ") + SDL_GetError();
      return false;
    }
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) {
      *error = std::string("cannot draw in the window: ") + SDL_GetError();
      return false;
    }
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB24, SDL_TEXTUREACCESS_STREAMING, width_, height_);
    if (!texture_) {
      *error = std::string("cannot create the screen texture: ") + SDL_GetError();
      return false;
    }
    wakeEvent_ = SDL_RegisterEvents(1);
    SDL_StartTextInput();
    start_ = SDL_GetTicks64();
    return true;
  }

  ~SdlBackend() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  }

  uint32_t Now() override { return (uint32_t)(SDL_GetTicks64() - start_); }

  void Idle(bool hasDeadline, uint32_t deadline) override {
    Present();
    int timeout = 250;
    if (hasDeadline) {
      int32_t left = (int32_t)(deadline - Now());
      timeout = left < 0 ? 0 : left < timeout ? left : timeout;
    }
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, timeout)) Handle(e);
    Poll();
  }

  void Poll() override {
    SDL_Event e;
    while (SDL_PollEvent(&e)) Handle(e);
  }

  void Spin() override {}

  void Wake() override {
    SDL_Event e{};
    e.type = wakeEvent_;
    SDL_PushEvent(&e);
  }

  void Present() override {
    uint64_t generation = gdi::ScreenGeneration();
    bool wait = wm::WaitCursorShown();
    if (generation == shownGeneration_ && wait == shownWait_ && !keypadDirty_) return;
    shownGeneration_ = generation;
    shownWait_ = wait;
    std::vector<uint8_t> frame = gdi::ScreenRgb();
    frame.resize((size_t)width_ * height_ * 3);
    DrawKeypad(frame);
    if (wait) DrawHourglass(frame);
    SDL_UpdateTexture(texture_, nullptr, frame.data(), width_ * 3);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }

  void SleepUi(uint32_t ms) override { SDL_Delay(ms); }

  // The screen as shown in the window, read back and reduced by the zoom.
  bool SaveShown(const std::string& path) {
    shownGeneration_ = 0;
    Present();
    int w = width_ * zoom_, h = height_ * zoom_;
    std::vector<uint8_t> pixels((size_t)w * h * 3);
    if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB24, pixels.data(), w * 3) != 0) return false;
    std::vector<uint8_t> rgb((size_t)width_ * screenHeight_ * 3);
    for (int y = 0; y < screenHeight_; ++y)
      for (int x = 0; x < width_; ++x)
        std::memcpy(&rgb[((size_t)y * width_ + x) * 3], &pixels[((size_t)y * zoom_ * w + (size_t)x * zoom_) * 3], 3);
    return gdi::SaveRgbPng(path, width_, screenHeight_, rgb);
  }

 private:
  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_QUIT: PostQuitMessage(0); break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        bool down = e.type == SDL_KEYDOWN;
        if (down && e.key.repeat) break;  // host auto-repeat is ignored
        if (down && e.key.keysym.sym == SDLK_q && (e.key.keysym.mod & KMOD_CTRL)) {
          PostQuitMessage(0);
          break;
        }
        if (down && e.key.keysym.sym == SDLK_F12) {
          std::string name = "quivra-screenshot-" + std::to_string(++shots_) + ".png";
          SaveShown(name);
          break;
        }
        UINT vk;
        if (KeyFor(e.key.keysym, &vk)) KeypadKey(vk, down);
        break;
      }
      case SDL_TEXTINPUT: {
        // Printable text for edits; keypad characters arrive as keys.
        for (const char* p = e.text.text; *p; ++p) {
          char c = *p;
          if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_' || c == ' ')
            KeypadChar((WCHAR)c);
        }
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        if (e.button.button != SDL_BUTTON_LEFT) break;
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        int x = e.button.x / zoom_, y = e.button.y / zoom_;
        if (y < screenHeight_) {
          wm::ClickAt(POINT{x, y}, down);
        } else if (down) {
          pressed_ = ButtonAt(x, y);
          if (pressed_) {
            KeypadKey(pressed_->vk, true);
            keypadDirty_ = true;
          }
        } else if (pressed_) {
          KeypadKey(pressed_->vk, false);
          pressed_ = nullptr;
          keypadDirty_ = true;
        }
        break;
      }
      default: break;
    }
  }

  const KeypadButton* ButtonAt(int x, int y) {
    int column = x * 3 / width_, row = (y - screenHeight_) / kRowHeight;
    for (const KeypadButton& b : kButtons)
      if (b.row == row && column >= b.column && column < b.column + b.span) return &b;
    return nullptr;
  }

  void DrawKeypad(std::vector<uint8_t>& frame) {
    keypadDirty_ = false;
    int h = kRows * kRowHeight;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)info.data();
    *bih = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width_, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, (BITMAPINFO*)info.data(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    RECT all{0, 0, width_, h};
    HBRUSH body = CreateSolidBrush(RGB(0x30, 0x30, 0x38));
    HBRUSH key = CreateSolidBrush(RGB(0x58, 0x58, 0x64));
    HBRUSH down = CreateSolidBrush(RGB(0x90, 0x90, 0xA0));
    FillRect(dc, &all, body);
    LOGFONT lf{};
    lf.lfHeight = -10;
    lf.lfWeight = FW_BOLD;
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xF0, 0xF0, 0xF0));
    for (const KeypadButton& b : kButtons) {
      RECT r{b.column * width_ / 3 + 2, b.row * kRowHeight + 1, (b.column + b.span) * width_ / 3 - 2,
             (b.row + 1) * kRowHeight - 1};
      FillRect(dc, &r, &b == pressed_ ? down : key);
      DrawText(dc, b.label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteObject(body);
    DeleteObject(key);
    DeleteObject(down);
    DeleteDC(dc);
    const uint8_t* src = (const uint8_t*)bits;
    size_t stride = ((size_t)width_ * 3 + 3) & ~(size_t)3;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < width_; ++x) {
        const uint8_t* p = src + (size_t)y * stride + (size_t)x * 3;
        uint8_t* q = &frame[((size_t)(screenHeight_ + y) * width_ + x) * 3];
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
      }
    DeleteObject(dib);
  }

  // The wait cursor: a small hourglass in the middle of the screen.
  void DrawHourglass(std::vector<uint8_t>& frame) {
    int cx = width_ / 2, cy = screenHeight_ / 2;
    for (int dy = -7; dy <= 7; ++dy) {
      int half = dy < 0 ? -dy : dy;
      for (int dx = -half; dx <= half; ++dx) {
        bool edge = dx == -half || dx == half || dy == -7 || dy == 7;
        uint8_t* q = &frame[((size_t)(cy + dy) * width_ + (cx + dx)) * 3];
        uint8_t v = edge ? 0 : 255;
        q[0] = q[1] = q[2] = v;
      }
    }
  }

  bool initialised_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  Uint32 wakeEvent_ = 0;
  uint64_t start_ = 0;
  int zoom_ = 2;
  int width_ = 176;
  int screenHeight_ = 220;
  int height_ = 220;
  uint64_t shownGeneration_ = 0;
  bool shownWait_ = false;
  bool keypadDirty_ = true;
  const KeypadButton* pressed_ = nullptr;
  int shots_ = 0;
};

SdlBackend* g_sdl = nullptr;

}  // namespace

std::unique_ptr<Backend> CreateSdlBackend(const DeviceOptions& options, std::string* error) {
  auto b = std::make_unique<SdlBackend>();
  std::string why;
  if (!b->Open(options, &why)) {
    if (error) *error = why;
    return nullptr;
  }
  g_sdl = b.get();
  return b;
}

bool SaveShownScreen(const std::string& path) { return g_sdl && g_sdl->SaveShown(path); }

void ForgetSdlBackend(Backend* b) {
  if (b == g_sdl) g_sdl = nullptr;
}

}  // namespace platform
