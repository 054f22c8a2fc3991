// Message boxes: a modal box over the whole work area with the caption in
// the task bar, an icon, the text wrapped to the width, and the soft keys
// OK and Cancel. Every box is recorded with its answer.
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/backend/device.h"
#include "platform/controls/controls.h"
#include "platform/gdi/gdi.h"
#include "platform/shell/soft_key_bar.h"
#include "platform/text/codepage.h"
#include "platform/window/dialog_internal.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

const char16_t kBoxClass[] = u"platform_MessageBox";

std::mutex g_logMutex;
std::vector<MessageBoxRecord> g_log;

struct BoxState {
  std::u16string text;
  UINT type = 0;
  bool hasCancel = false;
  int answer = 0;
  bool backPressed = false;  // a taken-over Back key went down in the box
  HFONT font = nullptr;
  HFONT glyphFont = nullptr;
};

BoxState* StateOf(HWND hwnd) {
  wm::Window* w = wm::Lookup(hwnd);
  if (!w || w->className != kBoxClass) return nullptr;
  return static_cast<BoxState*>(w->controlData.get());
}

int BackAnswer(const BoxState& s) { return s.hasCancel ? IDCANCEL : IDOK; }

void Answer(HWND box, int answer) {
  BoxState* s = StateOf(box);
  if (s && !s->answer) s->answer = answer;
}

int Scaled(int pixels) { return (pixels * Screen().dpi + 48) / 96; }

// Lines of `text` no wider than `width`: broken at spaces, and a word too
// long for a line (a path) broken after a '\' or else where it must.
std::vector<std::u16string> WrapText(HDC dc, const std::u16string& text, int width) {
  auto fits = [&](const std::u16string& s) {
    SIZE size{};
    GetTextExtentPoint32(dc, s.c_str(), (int)s.size(), &size);
    return size.cx <= width;
  };
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string paragraph = text.substr(start, end - start);
    if (!paragraph.empty() && paragraph.back() == u'\r') paragraph.pop_back();
    std::u16string line;
    size_t i = 0;
    while (i < paragraph.size()) {
      size_t next = paragraph.find(u' ', i);
      if (next == std::u16string::npos) next = paragraph.size();
      std::u16string word = paragraph.substr(i, next - i);
      i = next + 1;
      std::u16string candidate = line.empty() ? word : line + u" " + word;
      if (fits(candidate)) {
        line = candidate;
        continue;
      }
      if (!line.empty()) lines.push_back(line);
      line.clear();
      while (!word.empty() && !fits(word)) {
        size_t cut = word.size() - 1;
        while (cut > 1 && !fits(word.substr(0, cut))) --cut;
        size_t slash = word.rfind(u'\\', cut - 1);
        if (slash != std::u16string::npos && slash > 0) cut = slash + 1;
        lines.push_back(word.substr(0, cut));
        word.erase(0, cut);
      }
      line = word;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void FillCircle(HDC dc, const RECT& r, HBRUSH brush) {
  int d = r.right - r.left;
  for (int row = 0; row < d; ++row) {
    int dy = 2 * row + 1 - d;
    int col = 0;
    while (col < d / 2 && (2 * col + 1 - d) * (2 * col + 1 - d) + dy * dy > d * d) ++col;
    RECT span{r.left + col, r.top + row, r.right - col, r.top + row + 1};
    FillRect(dc, &span, brush);
  }
}

void DrawGlyph(HDC dc, const RECT& r, const char16_t* glyph, COLORREF colour, HFONT font) {
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  RECT box = r;
  DrawText(dc, glyph, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

// The icon of the box's type, as plain shapes.
void DrawIcon(HDC dc, const RECT& r, UINT icon, HFONT glyphFont) {
  int d = r.right - r.left;
  switch (icon) {
    case MB_ICONHAND: {
      HBRUSH red = CreateSolidBrush(RGB(0xCC, 0x00, 0x00));
      FillCircle(dc, r, red);
      DeleteObject(red);
      HBRUSH white = (HBRUSH)GetStockObject(WHITE_BRUSH);
      for (int i = d * 3 / 10; i < d - d * 3 / 10; ++i) {
        RECT a{r.left + i - 1, r.top + i, r.left + i + 1, r.top + i + 1};
        RECT b{r.right - i - 1, r.top + i, r.right - i + 1, r.top + i + 1};
        FillRect(dc, &a, white);
        FillRect(dc, &b, white);
      }
      break;
    }
    case MB_ICONQUESTION:
    case MB_ICONINFORMATION: {
      HBRUSH blue = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
      FillCircle(dc, r, blue);
      DeleteObject(blue);
      DrawGlyph(dc, r, icon == MB_ICONQUESTION ? u"?" : u"i", RGB(0xFF, 0xFF, 0xFF), glyphFont);
      break;
    }
    case MB_ICONEXCLAMATION: {
      HBRUSH yellow = CreateSolidBrush(RGB(0xFF, 0xCC, 0x00));
      for (int row = 0; row < d; ++row) {
        int half = row / 2;
        RECT span{r.left + d / 2 - half - 1, r.top + row, r.left + d / 2 + half + 1, r.top + row + 1};
        FillRect(dc, &span, yellow);
      }
      DeleteObject(yellow);
      RECT lower = r;
      lower.top += d / 6;
      DrawGlyph(dc, lower, u"!", RGB(0, 0, 0), glyphFont);
      break;
    }
  }
}

void PaintBox(HWND hwnd, BoxState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
  int margin = Scaled(6);
  int left = margin;
  UINT icon = s.type & 0xF0;
  if (icon == MB_ICONHAND || icon == MB_ICONQUESTION || icon == MB_ICONEXCLAMATION ||
      icon == MB_ICONINFORMATION) {
    int d = Scaled(24);
    RECT r{margin, margin, margin + d, margin + d};
    DrawIcon(dc, r, icon, s.glyphFont);
    left = r.right + margin;
  }
  RECT area{left, margin, client.right - margin, client.bottom - margin};
  HGDIOBJ old = SelectObject(dc, s.font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  int y = area.top;
  for (const std::u16string& line : WrapText(dc, s.text, area.right - area.left)) {
    if (y >= area.bottom) break;
    RECT row{area.left, y, area.right, std::min<LONG>(area.bottom, y + tm.tmHeight)};
    DrawText(dc, line.c_str(), (int)line.size(), &row, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    y += tm.tmHeight;
  }
  SelectObject(dc, old);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BoxState* s = StateOf(hwnd);
  if (s) {
    switch (msg) {
      case WM_PAINT:
        PaintBox(hwnd, *s);
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the whole client is painted
      case WM_KEYDOWN:
        if (wParam == VK_RETURN) Answer(hwnd, IDOK);
        if (wParam == VK_ESCAPE) Answer(hwnd, BackAnswer(*s));
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) Answer(hwnd, IDOK);
        if (LOWORD(wParam) == IDCANCEL) Answer(hwnd, BackAnswer(*s));
        return 0;
      case WM_CLOSE:
        Answer(hwnd, BackAnswer(*s));
        return 0;
    }
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

void EnsureBoxClass() {
  WNDCLASS wc{};
  if (GetClassInfo(nullptr, kBoxClass, &wc)) return;
  wc.lpfnWndProc = BoxProc;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kBoxClass;
  RegisterClass(&wc);
}

void Record(const std::u16string& text, const std::u16string& caption, UINT type, int answer) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.push_back(MessageBoxRecord{text, caption, type, answer});
}

HFONT BoxFont(int points, int weight) {
  LOGFONT lf{};
  lf.lfHeight = -((points * Screen().dpi + 36) / 72);
  lf.lfWeight = weight;
  const char16_t face[] = u"MS Sans Serif";
  std::copy(face, face + sizeof(face) / sizeof(face[0]), lf.lfFaceName);
  return CreateFontIndirect(&lf);
}

}  // namespace

const std::vector<MessageBoxRecord>& MessageBoxLog() { return g_log; }

void ClearMessageBoxLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.clear();
}

}  // namespace platform

using namespace platform;

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::u16string body = text ? text : u"";
  std::u16string title = caption ? caption : u"";
  if (!DeviceRunning() || !IsUiThread()) {
    // No box can be shown from here: it is written out and taken as OK.
    std::fprintf(stderr, "quivra: message box [%s] %s\n", Utf8FromWide(title).c_str(),
                 Utf8FromWide(body).c_str());
    Record(body, title, type, IDOK);
    return IDOK;
  }
  EnsureBoxClass();
  HWND ownerTop = nullptr;
  if (wm::Window* o = wm::Lookup(owner)) ownerTop = wm::TopLevelOf(o)->handle;
  HWND box = CreateWindowEx(0, kBoxClass, title.c_str(), WS_POPUP, 0, 0, 0, 0, ownerTop, nullptr,
                            nullptr, nullptr);
  auto state = std::make_shared<BoxState>();
  state->text = body;
  state->type = type;
  state->hasCancel = (type & 0x0F) == MB_OKCANCEL;
  if (!box) {
    Record(body, title, type, BackAnswer(*state));
    return BackAnswer(*state);
  }
  state->font = BoxFont(8, FW_NORMAL);
  state->glyphFont = BoxFont(12, FW_BOLD);
  controls::SetControlData(box, state);
  bool ownerDisabled = false;
  if (ownerTop && IsWindowEnabled(ownerTop)) {
    EnableWindow(ownerTop, FALSE);
    ownerDisabled = true;
  }
  shell::CreatePlainSoftKeyBar(box, u"OK", IDOK, state->hasCancel ? u"Cancel" : u"", IDCANCEL);
  ShowWindow(box, SW_SHOW);
  SetFocus(box);

  bool quit = false;
  int quitCode = 0;
  while (IsWindow(box) && !state->answer) {
    MSG msg;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      quit = true;
      quitCode = (int)msg.wParam;
      break;
    }
    // The box's own bar does not take the Back key over.
    bool released = false;
    if (dialogs::ForeignBackKey(box, msg, &state->backPressed, &released)) {
      if (released) Answer(box, BackAnswer(*state));
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  int answer = state->answer ? state->answer : BackAnswer(*state);
  if (ownerDisabled && IsWindow(ownerTop)) EnableWindow(ownerTop, TRUE);
  if (IsWindow(box)) DestroyWindow(box);
  if (ownerTop && IsWindow(ownerTop) && IsWindowVisible(ownerTop)) SetForegroundWindow(ownerTop);
  DeleteObject(state->font);
  DeleteObject(state->glyphFont);
  Record(body, title, type, answer);
  if (quit) PostQuitMessage(quitCode);
  return answer;
}
