// Numbers and strings of the program's registry key "Software\Quivra" and
// its subkeys, read with a default and written back.
#pragma once

#include "platform/windows.h"

// Each function takes an optional section: null is the key
// "Software\Quivra" itself, otherwise its subkey "Software\Quivra\<section>".

// The DWORD value `name`, or `defaultValue` when the key or the value is
// missing or the value is not a DWORD.
DWORD ReadSettingNumber(LPCWSTR section, LPCWSTR name, DWORD defaultValue);
// Creates the key when needed and stores `value` as a DWORD. A failure is
// reported on the debug console only.
void WriteSettingNumber(LPCWSTR section, LPCWSTR name, DWORD value);
// Fills `buffer` (its size in bytes) with the string value `name`; a
// missing value, a value that does not fit, or a value that is not a
// string gives `defaultValue` (cut to the buffer). The buffer always ends
// with a terminator.
void ReadSettingString(LPCWSTR section, LPCWSTR name, LPCWSTR defaultValue, LPWSTR buffer,
                       DWORD bufferBytes);
// Creates the key when needed and stores `text` with its terminator.
void WriteSettingString(LPCWSTR section, LPCWSTR name, LPCWSTR text);

// The key paths, also used for the favorites.
#define SETTINGS_ROOT_KEY u"Software\\Quivra"
#define SETTINGS_FAVORITES_KEY u"Software\\Quivra\\Favorites"
