// The shell library's calls: soft-key menu bars, full-screen dialogs, the
// full-screen switch of a window, and the calls that have nothing to do on
// this device.
#include "platform/shell/shell.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/backend/device.h"
#include "platform/shell/soft_key_bar.h"
#include "platform/window/window.h"
#include "platform/window/window_internal.h"

namespace {

// Bars a full-screen switch hid, per window, to be shown again.
std::map<HWND, std::vector<HWND>> g_hiddenBars;

}  // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
  if (!info) return FALSE;
  if (info->cbSize != sizeof(SHMENUBARINFO)) {
    info->hwndMB = nullptr;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->hwndMB = platform::shell::CreateSoftKeyBar(info->hwndParent, (int)info->nToolBarId, info->hInstRes);
  if (!info->hwndMB) {
    SetLastError(1814 /*ERROR_RESOURCE_NAME_NOT_FOUND*/);
    return FALSE;
  }
  return TRUE;
}

BOOL SHInitDialog(SHINITDLGINFO* info) {
  if (!info || !IsWindow(info->hDlg)) return FALSE;
  if (!(info->dwMask & SHIDIM_FLAGS)) return TRUE;
  if (info->dwFlags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIZEDLG)) {
    const platform::ScreenProfile& s = platform::Screen();
    SetWindowPos(info->hDlg, nullptr, 0, s.taskBarHeight, s.width,
                 s.height - s.taskBarHeight - s.softKeyBarHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return TRUE;
}

BOOL SHFullScreen(HWND hwnd, DWORD state) {
  if (!IsWindow(hwnd)) return FALSE;
  if (state & SHFS_HIDETASKBAR) platform::wm::ShowTaskBar(false);
  if (state & SHFS_SHOWTASKBAR) platform::wm::ShowTaskBar(true);
  if (state & SHFS_HIDESIPBUTTON) {
    std::vector<HWND>& hidden = g_hiddenBars[hwnd];
    for (HWND bar : platform::shell::SoftKeyBarsOf(hwnd)) {
      if (!IsWindowVisible(bar)) continue;
      ShowWindow(bar, SW_HIDE);
      if (std::find(hidden.begin(), hidden.end(), bar) == hidden.end()) hidden.push_back(bar);
    }
  }
  if (state & SHFS_SHOWSIPBUTTON) {
    auto it = g_hiddenBars.find(hwnd);
    if (it != g_hiddenBars.end()) {
      for (HWND bar : it->second)
        if (IsWindow(bar) && !IsWindowVisible(bar)) ShowWindow(bar, SW_SHOWNA);
      g_hiddenBars.erase(it);
    }
  }
  return TRUE;
}

BOOL SHInitExtraControls() { return TRUE; }

void SHNavigateBack() {}
