#include "app/window/dialog_ex.h"

#include "app/lang/language.h"
#include "platform/aygshell.h"
#include "platform/text/wide.h"

namespace {

constexpr UINT kBackKey = VK_ESCAPE;
constexpr LPARAM kBackOverrideFlags = 0x30003;  // no default action, report press and release
constexpr int kClassNameMax = 64;

bool IsEditField(HWND hwnd) {
  WCHAR name[kClassNameMax + 1] = {0};
  if (!hwnd || GetClassName(hwnd, name, kClassNameMax) <= 0) return false;
  return platform::WideEqualNoCase(name, u"Edit");
}

}  // namespace

CDlgEx::CDlgEx(HWND parent, HINSTANCE instance, WORD templateId,
               const MessageMapEntry* messageMap)
    : CDlg(parent, instance, templateId, messageMap) {}

CDlgEx::~CDlgEx() {
  // A dialog that ended without releasing its fonts does not leak the bold one.
  if (boldFont_) DeleteObject(boldFont_);
}

void CDlgEx::OnBackKey() { EndDialog(hwnd_, 0); }

BOOL CDlgEx::CreateSoftKeys(UINT barId) {
  SHMENUBARINFO info{};
  info.cbSize = sizeof info;
  info.hwndParent = hwnd_;
  info.dwFlags = 0;
  info.nToolBarId = barId;
  info.hInstRes = instance_;
  SHCreateMenuBar(&info);
  bar_ = info.hwndMB;
  if (bar_) {
    menu_ = (HMENU)SendMessage(bar_, SHCMBM_GETMENU, 0, 0);
    TheLanguage().TranslateMenu(bar_, menu_);
    SendMessage(bar_, SHCMBM_OVERRIDEKEY, kBackKey, kBackOverrideFlags);
  }
  font_ = (HFONT)SendMessage(hwnd_, WM_GETFONT, 0, 0);
  LOGFONT lf{};
  if (font_ && GetObject(font_, sizeof lf, &lf) > 0) {
    lf.lfWeight = FW_BOLD;
    if (boldFont_) DeleteObject(boldFont_);
    boldFont_ = CreateFontIndirect(&lf);
  }
  return bar_ != nullptr;
}

void CDlgEx::ReleaseFonts() {
  if (hwnd_ && font_) {
    HDC dc = GetDC(hwnd_);
    if (dc) {
      SelectObject(dc, font_);
      ReleaseDC(hwnd_, dc);
    }
  }
  if (boldFont_) DeleteObject(boldFont_);
  boldFont_ = nullptr;
}

LRESULT CDlgEx::OnHotKey(int, UINT modifiers, UINT key) {
  if (key != kBackKey) return 0;
  HWND focus = GetFocus();
  if (IsEditField(focus)) {
    if (modifiers & MOD_KEYUP)
      SendMessage(focus, WM_CHAR, VK_BACK, 0);
    else if (modifiers & MOD_HOLD)
      SetWindowText(focus, u"");
  } else if (modifiers & MOD_KEYUP) {
    OnBackKey();
  }
  return 0;
}

LRESULT CDlgEx::OnCtlColorStatic(WPARAM dc, LPARAM) {
  if (boldFont_) SelectObject((HDC)dc, boldFont_);
  return (LRESULT)GetStockObject(WHITE_BRUSH);
}
