// Shell file information: the system's small icon list and the icon index
// of a path or of an item identifier (the desktop's), with the identifier
// and the shell allocator that frees it.
#pragma once

#include "platform/controls/image_list.h"
#include "platform/win_types.h"

#ifndef S_OK
#define S_OK ((HRESULT)0L)
#endif
#ifndef E_OUTOFMEMORY
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG ((HRESULT)0x80070057L)
#endif
#ifndef SUCCEEDED
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#endif
#ifndef FAILED
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

// Item identifier lists: a run of SHITEMIDs ended by a zero byte count.
// The desktop's list is the terminator alone.
struct SHITEMID {
  WORD cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

#define CSIDL_DESKTOP 0x0000

// The identifier of a special folder (the desktop), allocated with the
// shell allocator; the caller frees it with that allocator's Free.
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST* pidl);

// The shell allocator.
struct IMalloc {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual void* Alloc(ULONG size) = 0;
  virtual void* Realloc(void* block, ULONG size) = 0;
  virtual void Free(void* block) = 0;
  virtual ULONG GetSize(void* block) = 0;

 protected:
  ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;
HRESULT SHGetMalloc(LPMALLOC* allocator);

struct SHFILEINFO {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  WCHAR szDisplayName[MAX_PATH];
  WCHAR szTypeName[80];
};

#define SHGFI_LARGEICON 0x000000000
#define SHGFI_SMALLICON 0x000000001
#define SHGFI_PIDL 0x000000008
#define SHGFI_SYSICONINDEX 0x000004000

// With SHGFI_SYSICONINDEX | SHGFI_SMALLICON: the system's small image list
// (16 x 16; index 0 the device, 1 a folder, 2 a document), and in iIcon the
// index for `path` (a device path, or with SHGFI_PIDL an item identifier
// list). Returns 0 for a path that does not exist or a request for the
// large list, which the device does not keep.
DWORD_PTR SHGetFileInfo(LPCWSTR path, DWORD attributes, SHFILEINFO* info, UINT size, UINT flags);
