// (being written)
#include "platform/shell/shell.h"

BOOL SHCreateMenuBar(SHMENUBARINFO* info) { if (info) info->hwndMB = nullptr; return FALSE; }
BOOL SHInitDialog(SHINITDLGINFO*) { return FALSE; }
BOOL SHFullScreen(HWND, DWORD) { return FALSE; }
BOOL SHInitExtraControls() { return TRUE; }
void SHNavigateBack() {}
