// The registry: HKEY_CURRENT_USER and HKEY_CLASSES_ROOT with hierarchical
// keys and string, DWORD and binary values, kept in one SQLite database.
// Every write is one transaction, so that killing the program at any moment
// loses no completed write and never corrupts the store.
#pragma once

#include <string>

#include "platform/win_types.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

typedef LONG LSTATUS;
typedef DWORD REGSAM;

LSTATUS RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className, DWORD options,
                       REGSAM access, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegQueryValueEx(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* size);
LSTATUS RegSetValueEx(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD size);
LSTATUS RegDeleteValue(HKEY key, LPCWSTR name);
// Deletes the key and everything under it.
LSTATUS RegDeleteKey(HKEY key, LPCWSTR subKey);
// Names of subkeys and values by index (ERROR_NO_MORE_ITEMS at the end).
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                     LPWSTR className, DWORD* classLength, FILETIME* lastWrite);
LSTATUS RegEnumValue(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                     DWORD* type, BYTE* data, DWORD* size);

namespace platform {

// Opens (creating it) the store; an empty name means the XDG configuration
// folder's quivra/registry.db. The device opens it at start; tools and tests
// may open one directly. False when the file cannot be used.
bool OpenRegistryStore(const std::string& file);
void CloseRegistryStore();
std::string DefaultRegistryFile();

}  // namespace platform
