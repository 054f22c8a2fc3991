// The button control: push buttons and check boxes. The Action key (and
// BM_CLICK) clicks the focused button: an automatic check box toggles
// itself first; the parent then gets BN_CLICKED.
#include "platform/controls/button.h"

#include <algorithm>
#include <memory>

#include "platform/controls/control_paint.h"
#include "platform/controls/controls.h"

namespace platform::controls {
namespace {

struct ButtonState {
  FontSlot font;
  UINT check = BST_UNCHECKED;
};

DWORD StyleOf(HWND hwnd) { return (DWORD)GetWindowLong(hwnd, GWL_STYLE); }
DWORD TypeOf(HWND hwnd) { return StyleOf(hwnd) & BS_TYPEMASK; }
bool IsCheckBox(HWND hwnd) {
  DWORD t = TypeOf(hwnd);
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX;
}

void Click(HWND hwnd, ButtonState* st) {
  if (!IsWindowEnabled(hwnd)) return;
  if (TypeOf(hwnd) == BS_AUTOCHECKBOX) {
    st->check = st->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    InvalidateRect(hwnd, nullptr, TRUE);
  }
  NotifyCommand(hwnd, BN_CLICKED);
}

void PaintPushButton(HWND hwnd, HDC dc, const RECT& client, ButtonState* st) {
  bool enabled = IsWindowEnabled(hwnd);
  bool focused = enabled && GetFocus() == hwnd;
  SelectObject(dc, st->font.Current());
  FillSolid(dc, client, GetSysColor(COLOR_WINDOW));
  COLORREF frame = enabled ? GetSysColor(COLOR_WINDOWFRAME) : RGB(0x80, 0x80, 0x80);
  FrameSolid(dc, client, frame);
  RECT inner = client;
  InflateRect(&inner, -1, -1);
  if (TypeOf(hwnd) == BS_DEFPUSHBUTTON) {
    FrameSolid(dc, inner, frame);
    InflateRect(&inner, -1, -1);
  }
  if (focused) FillSolid(dc, inner, GetSysColor(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(!enabled ? COLOR_GRAYTEXT
                                        : focused ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT));
  std::u16string text = WindowTextOf(hwnd);
  DrawText(dc, text.c_str(), (int)text.size(), &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void PaintCheckBox(HWND hwnd, HDC dc, const RECT& client, ButtonState* st) {
  bool enabled = IsWindowEnabled(hwnd);
  bool focused = enabled && GetFocus() == hwnd;
  HBRUSH brush = AskStaticColours(hwnd, dc, st->font.Current());
  FillRect(dc, &client, brush);
  TEXTMETRIC tm{};
  GetTextMetrics(dc, &tm);
  int height = client.bottom - client.top;
  int box = std::max(7, std::min((int)tm.tmHeight - 2, height));
  int top = (height - box) / 2;
  RECT boxRect{client.left, top, client.left + box, top + box};
  FillSolid(dc, boxRect, GetSysColor(COLOR_WINDOW));
  COLORREF ink = enabled ? GetSysColor(COLOR_WINDOWFRAME) : RGB(0x80, 0x80, 0x80);
  FrameSolid(dc, boxRect, ink);
  if (st->check == BST_CHECKED) {
    RECT mark = boxRect;
    InflateRect(&mark, -2, -2);
    DrawCheckMark(dc, mark, enabled ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT));
  }
  RECT label{boxRect.right + 4, client.top, client.right, client.bottom};
  std::u16string text = WindowTextOf(hwnd);
  // A multi-line box wraps its label at word breaks and centres the block.
  bool multiLine = (GetWindowLong(hwnd, GWL_STYLE) & BS_MULTILINE) != 0;
  UINT format = multiLine ? DT_LEFT | DT_WORDBREAK : DT_LEFT | DT_VCENTER | DT_SINGLELINE;
  RECT extent = label;
  DrawText(dc, text.c_str(), (int)text.size(), &extent, format | DT_CALCRECT);
  int h = std::min(extent.bottom - extent.top, height);
  int y = (height - h) / 2;
  if (multiLine) {
    label.top = y;
    label.bottom = y + h;
  }
  SetBkMode(dc, TRANSPARENT);
  if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  if (focused && !text.empty()) {
    RECT mark{label.left - 1, y, std::min(label.right, extent.right + 1), y + h};
    FillSolid(dc, mark, GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  DrawText(dc, text.c_str(), (int)text.size(), &label, format);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = ControlData<ButtonState>(hwnd);
  LRESULT result = 0;
  auto paint = [&](HDC dc, const RECT& client) {
    if (IsCheckBox(hwnd)) PaintCheckBox(hwnd, dc, client, st);
    else PaintPushButton(hwnd, dc, client, st);
  };
  if (st && HandleCommonMessage(hwnd, msg, wParam, lParam, &st->font, paint, &result))
    return result;
  switch (msg) {
    case WM_CREATE:
      SetControlData(hwnd, std::make_shared<ButtonState>());
      return 0;
    case WM_SETTEXT:
      DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case WM_GETDLGCODE:
      if (IsCheckBox(hwnd)) return DLGC_BUTTON;
      return DLGC_BUTTON |
             (TypeOf(hwnd) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_KEYDOWN:
      if (wParam == VK_RETURN && st) Click(hwnd, st);
      return 0;
    case BM_CLICK:
      if (st) Click(hwnd, st);
      return 0;
    case BM_GETCHECK:
      return (st && IsCheckBox(hwnd)) ? st->check : BST_UNCHECKED;
    case BM_SETCHECK:
      if (st && IsCheckBox(hwnd)) {
        UINT check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        if (check != st->check) {
          st->check = check;
          InvalidateRect(hwnd, nullptr, TRUE);
        }
      }
      return 0;
    case BM_GETSTATE:
      return (st ? st->check : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterButtonClass() { RegisterControlClass(WC_BUTTON, ButtonProc); }

}  // namespace platform::controls
