// Code-page conversions, locale answers and time conversions of the device.
#pragma once

#include <string>

#include "platform/win_types.h"

#define CP_ACP 0
#define CP_UTF8 65001

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_SDATE 0x0000001D
#define LOCALE_STIME 0x0000001E
#define LOCALE_IDATE 0x00000021
#define LOCALE_SISO639LANGNAME 0x00000059

typedef DWORD LCID;
typedef DWORD LCTYPE;

// Code page 0 is Windows-1252; 65001 is UTF-8 (invalid bytes kept as lone
// surrogates so that file names round-trip). Lengths of -1 include the
// terminator; a zero output size returns the size needed; too small a
// buffer fails with ERROR_INSUFFICIENT_BUFFER.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR in, int inLength, LPWSTR out, int outSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR in, int inLength, LPSTR out, int outSize,
                        LPCSTR defaultChar, BOOL* usedDefault);

int GetLocaleInfo(LCID locale, LCTYPE type, LPWSTR out, int outSize);

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out);
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* out);
void GetLocalTime(SYSTEMTIME* out);
void GetSystemTime(SYSTEMTIME* out);

namespace platform {

// What GetLocaleInfo answers and the device's time zone. By default they
// come from the host (LANG / LC_ALL, the date format of LC_TIME, the local
// time zone), with "en", "ENU", "0", "/", ":" where the host says nothing.
struct LocaleSettings {
  std::u16string isoLanguage = u"en";
  std::u16string abbreviatedLanguage = u"ENU";
  std::u16string dateOrder = u"0";  // 0 month-day-year, 1 day-month-year, 2 year-month-day
  std::u16string dateSeparator = u"/";
  std::u16string timeSeparator = u":";
  bool fixedTimeZone = false;
  int timeZoneMinutes = 0;  // east of UTC, when fixed
};
LocaleSettings HostLocaleSettings();
void SetLocaleSettings(const LocaleSettings& settings);
const LocaleSettings& CurrentLocaleSettings();

}  // namespace platform
