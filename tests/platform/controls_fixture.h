// The simple controls under test: a plain recording parent filling the work
// area, controls made with CreateWindowEx, keypad scripts, and the
// notifications the parent receives, read while they arrive.
#pragma once

#include <string>
#include <vector>

#include "platform/commctrl.h"
#include "tests/platform/platform_fixture.h"
#include "tests/support/test_support.h"

namespace platform_test {
using namespace testing_support;
}
#include "tests/platform/golden.h"

namespace platform_test {

// One notification to the parent: WM_COMMAND (id, code, the control's text
// at that moment), WM_NOTIFY (id, code; position and delta of UDN_DELTAPOS)
// or a scroll message (request, position).
struct Note {
  UINT msg = 0;
  int id = 0;
  int code = 0;
  HWND from = nullptr;
  int pos = 0;
  int delta = 0;
  std::u16string text;
  bool operator==(const Note&) const = default;
};

using Notes = std::vector<Note>;

inline std::ostream& operator<<(std::ostream& os, const Note& n) {
  return os << "{msg 0x" << std::hex << n.msg << std::dec << " id " << n.id << " code " << n.code
            << " pos " << n.pos << " delta " << n.delta << " \"" << std::string(n.text.begin(), n.text.end())
            << "\"}";
}

inline Note Command(HWND from, int code, std::u16string text = u"") {
  return Note{WM_COMMAND, GetDlgCtrlID(from), code, from, 0, 0, std::move(text)};
}
// EN_CHANGE from `edit` with each of `texts` in turn.
inline Notes Changes(HWND edit, std::initializer_list<const char16_t*> texts) {
  Notes out;
  for (const char16_t* t : texts) out.push_back(Command(edit, EN_CHANGE, t));
  return out;
}
inline Note DeltaPos(HWND from, int pos, int delta) {
  return Note{WM_NOTIFY, GetDlgCtrlID(from), (int)UDN_DELTAPOS, from, pos, delta, u""};
}
inline Note Scroll(UINT msg, HWND from, int code, int pos) {
  return Note{msg, GetDlgCtrlID(from), code, from, pos, 0, u""};
}

class ControlsTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    parent_ = Top();
    ASSERT_NE(parent_, nullptr);
    Recorder::Get().handler = [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                     LRESULT* result) {
      return OnParent(hwnd, msg, wParam, lParam, result);
    };
    ShowWindow(parent_, SW_SHOW);
    platform::headless::RunPending();
  }

  HWND Make(const char16_t* cls, const char16_t* text, DWORD style, int id, RECT r) {
    return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                          r.right - r.left, r.bottom - r.top, parent_, (HMENU)(intptr_t)id,
                          nullptr, nullptr);
  }

  // Runs a keypad script to its end, dispatching as a program's loop does.
  void Keys(const std::string& script) { RunScript(script); }

  std::vector<Note> TakeNotes() {
    std::vector<Note> out;
    out.swap(notes_);
    return out;
  }

  static void Repaint(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
    platform::headless::RunPending();
  }

  static std::u16string Text(HWND hwnd) {
    WCHAR buffer[400] = {};
    GetWindowText(hwnd, buffer, 400);
    return buffer;
  }

  COLORREF PixelOf(HWND control, int x, int y) {
    POINT p{x, y};
    ClientToScreen(control, &p);
    return platform::headless::ScreenPixel(p.x, p.y);
  }
  // How many pixels of a control's client area have `colour`.
  int CountColour(HWND control, COLORREF colour) {
    platform::headless::RunPending();
    RECT r;
    GetClientRect(control, &r);
    int n = 0;
    for (int y = 0; y < r.bottom; ++y)
      for (int x = 0; x < r.right; ++x)
        if (PixelOf(control, x, y) == colour) ++n;
    return n;
  }

  HWND parent_ = nullptr;
  std::vector<Note> notes_;
  // What the parent answers: UDN_DELTAPOS (non-zero cancels the step) and
  // WM_CTLCOLORSTATIC (a brush and a text colour, when set).
  LRESULT deltaPosAnswer_ = 0;
  HBRUSH staticBrush_ = nullptr;
  COLORREF staticText_ = CLR_INVALID;
  std::vector<int> colourAskFontHeights_;

 private:
  bool OnParent(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (hwnd != parent_) return false;
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect((HDC)wParam, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
        *result = 1;
        return true;
      }
      case WM_COMMAND: {
        HWND from = (HWND)lParam;
        notes_.push_back(Note{msg, LOWORD(wParam), HIWORD(wParam), from, 0, 0, Text(from)});
        return false;
      }
      case WM_NOTIFY: {  // UDN_DELTAPOS, the only one these controls send
        auto* nm = (NMUPDOWN*)lParam;
        EXPECT_EQ(nm->hdr.code, UDN_DELTAPOS);
        EXPECT_EQ(wParam, nm->hdr.idFrom);
        notes_.push_back(Note{msg, (int)nm->hdr.idFrom, (int)nm->hdr.code, nm->hdr.hwndFrom,
                              nm->iPos, nm->iDelta, u""});
        *result = deltaPosAnswer_;
        return true;
      }
      case WM_HSCROLL:
      case WM_VSCROLL: {
        HWND from = (HWND)lParam;
        notes_.push_back(Note{msg, GetDlgCtrlID(from), LOWORD(wParam), from,
                              (int)(short)HIWORD(wParam), 0, u""});
        return false;
      }
      case WM_CTLCOLORSTATIC: {
        TEXTMETRIC tm{};
        GetTextMetrics((HDC)wParam, &tm);
        colourAskFontHeights_.push_back(tm.tmHeight);
        if (!staticBrush_) return false;
        if (staticText_ != CLR_INVALID) SetTextColor((HDC)wParam, staticText_);
        *result = (LRESULT)staticBrush_;
        return true;
      }
    }
    return false;
  }
};

}  // namespace platform_test
