// Files of the device: finding, attributes and times, copying, moving,
// deleting, reading whole files, C streams by device path, the program's
// own path, temporary names and the pictures folder.
#pragma once

#include <cstdio>
#include <string>

#include "platform/win_types.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define CSIDL_MYPICTURES 0x0027

struct WIN32_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};

// Patterns: a folder and a name with '*' and '?' (matched ignoring case;
// "*.*" matches every name), or an exact path. Names come sorted, without
// "." and "..". Hidden = the name starts with '.'.
HANDLE FindFirstFile(LPCWSTR pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);
DWORD GetFileAttributes(LPCWSTR path);

// Copy; with failIfExists an existing target is never touched.
BOOL CopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
// Move or rename, also across file systems (the copy arrives whole or not
// at all); an existing target is never overwritten.
BOOL MoveFile(LPCWSTR from, LPCWSTR to);
BOOL DeleteFile(LPCWSTR path);
BOOL CreateDirectory(LPCWSTR path, void* security);
BOOL RemoveDirectory(LPCWSTR path);

HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);

// C streams by device (or host) path.
FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

// The executable's device path.
DWORD GetModuleFileName(HMODULE module, LPWSTR buffer, DWORD size);
// The temporary folder as a device path ending with '\'.
DWORD GetTempPath(DWORD size, LPWSTR buffer);
// "<path>\<prefix up to 3><hex>.tmp"; with unique 0 a new empty file is
// created under a name that did not exist. Returns the number used.
UINT GetTempFileName(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR out);
// Folder 39 (CSIDL_MYPICTURES): the XDG pictures folder, no trailing '\'.
BOOL SHGetSpecialFolderPath(HWND owner, LPWSTR path, int folder, BOOL create);

namespace platform {

// 100-nanosecond intervals since 1601 from Unix seconds and nanoseconds.
FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// The XDG pictures folder as a host path.
std::string HostPicturesFolder();

}  // namespace platform
