// Shell file-change notifications: a window registers for a folder and
// receives WM_FILECHANGEINFO for every file created, deleted or renamed in
// it, whoever made the change (this program or another one). The record
// comes in lParam and is released with SHChangeNotifyFree after handling.
#pragma once

#include "platform/win_types.h"
#include "platform/window/messages.h"

// The message a registered window receives: wParam 0, lParam the
// FILECHANGENOTIFY record.
#define WM_FILECHANGEINFO (WM_APP + 0x0101)

// Event codes (wEventId) and the bits of the registration's event mask.
#define SHCNE_RENAMEITEM 0x00000001L
#define SHCNE_CREATE 0x00000002L
#define SHCNE_DELETE 0x00000004L
#define SHCNE_MKDIR 0x00000008L
#define SHCNE_RMDIR 0x00000010L
#define SHCNE_RENAMEFOLDER 0x00020000L
#define SHCNE_ALLEVENTS 0x7FFFFFFFL

// uFlags: dwItem1 and dwItem2 are full paths (LPCWSTR).
#define SHCNF_PATH 0x0001

// The registration entry: which events, for which folder. Only the folder's
// own entries are watched; fRecursive is accepted and subfolders are not
// followed.
struct SHCHANGENOTIFYENTRY {
  DWORD dwEventMask;
  LPTSTR pszWatchDir;
  BOOL fRecursive;
};

// One change. dwItem1 is the full path of the file (for a rename the old
// path), dwItem2 the new path of a rename, else 0. Attributes, time and
// size describe the file after the change (zero when it is gone).
struct FILECHANGEINFO {
  DWORD cbSize;
  LONG wEventId;
  ULONG uFlags;
  DWORD_PTR dwItem1;
  DWORD_PTR dwItem2;
  DWORD dwAttributes;
  FILETIME ftModified;
  ULONG nFileSize;
};

struct FILECHANGENOTIFY {
  DWORD dwRefCount;
  FILECHANGEINFO fci;
};

// Registers `hwnd` for the changes of entry->pszWatchDir (a device path or
// a host path); a window already registered is moved to the new folder.
// FALSE for a missing window, entry or folder.
BOOL SHChangeNotifyRegister(HWND hwnd, const SHCHANGENOTIFYENTRY* entry);
// Ends the registration: once this returns no further notification is
// posted to the window. FALSE when the window was not registered.
BOOL SHChangeNotifyDeregister(HWND hwnd);
// Releases a record received with WM_FILECHANGEINFO. Records this layer
// did not hand out (or already released) are ignored.
void SHChangeNotifyFree(FILECHANGENOTIFY* notify);
