// UTF-16 strings of the device: lengths, copies, case-insensitive
// comparison and printf-style formatting with the device's meaning
// (in a wide format %s is a wide string and %hs a narrow one).
#pragma once

#include <cstdarg>
#include <string>

#include "platform/win_types.h"

namespace platform {

size_t WideLength(const WCHAR* s);
// Copies with truncation to `capacity` (terminator included); returns the
// characters copied without the terminator.
size_t CopyWide(const std::u16string& from, WCHAR* to, int capacity);
// Simple case folding of Latin letters (ASCII and Latin-1).
WCHAR FoldCase(WCHAR c);
bool WideEqualNoCase(const std::u16string& a, const std::u16string& b);
int WideCompareNoCase(const WCHAR* a, const WCHAR* b);

// Formats with the device's rules: %s/%ls wide, %hs narrow, %c wide
// character, %d %i %u %x %X %o %p with flags, width, precision and the
// h, l, ll, I64 size prefixes.
std::u16string FormatWideV(const WCHAR* format, va_list args);
std::u16string FormatWide(const WCHAR* format, ...);

}  // namespace platform

int lstrlen(LPCWSTR s);
int lstrcmpi(LPCWSTR a, LPCWSTR b);
int lstrcmp(LPCWSTR a, LPCWSTR b);
LPWSTR lstrcpy(LPWSTR to, LPCWSTR from);
LPWSTR lstrcpyn(LPWSTR to, LPCWSTR from, int capacity);
LPWSTR lstrcat(LPWSTR to, LPCWSTR from);
int wsprintf(LPWSTR buffer, LPCWSTR format, ...);
// Writes at most `capacity` characters with the terminator; -1 when cut.
int _snwprintf(LPWSTR buffer, size_t capacity, LPCWSTR format, ...);
