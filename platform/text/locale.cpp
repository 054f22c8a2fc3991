#include "platform/text/locale.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/text/codepage.h"
#include "platform/text/wide.h"

namespace platform {
namespace {

std::mutex g_mutex;
bool g_set = false;
LocaleSettings g_settings;

std::u16string Ascii(const std::string& s) {
  std::u16string out;
  for (char c : s) out += (char16_t)(unsigned char)c;
  return out;
}

const int64_t kUnixEpochAsFileTime = 116444736000000000LL;

int64_t Ticks(const FILETIME& f) { return (int64_t)(((uint64_t)f.dwHighDateTime << 32) | f.dwLowDateTime); }
FILETIME FromTicks(int64_t t) { return FILETIME{(DWORD)(uint64_t)t, (DWORD)((uint64_t)t >> 32)}; }

// Days from 1970-01-01 to a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = (unsigned)(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (int64_t)doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = (unsigned)(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = (int64_t)yoe + era * 400 + (*m <= 2);
}

}  // namespace

LocaleSettings HostLocaleSettings() {
  LocaleSettings s;
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string lang;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    if (v && *v) {
      lang = v;
      break;
    }
  }
  std::string code = lang.substr(0, lang.find_first_of("_.@"));
  if (code.size() == 2 && code != "C") {
    s.isoLanguage = Ascii(code);
    static const struct {
      const char* iso;
      const char* abbreviated;
    } kAbbreviations[] = {{"en", "ENU"}, {"fr", "FRA"}, {"de", "DEU"}, {"es", "ESP"}, {"it", "ITA"},
                          {"nl", "NLD"}, {"pt", "PTB"}, {"sv", "SVE"}, {"da", "DAN"}, {"fi", "FIN"},
                          {"no", "NOR"}, {"nb", "NOR"}, {"pl", "PLK"}, {"cs", "CSY"}, {"ru", "RUS"},
                          {"ja", "JPN"}, {"zh", "CHS"}, {"ko", "KOR"}, {"el", "ELL"}, {"tr", "TRK"},
                          {"hu", "HUN"}};
    s.abbreviatedLanguage = u"";
    for (auto& a : kAbbreviations)
      if (code == a.iso) s.abbreviatedLanguage = Ascii(a.abbreviated);
    if (s.abbreviatedLanguage.empty()) {
      std::string upper = code;
      for (char& c : upper) c = (char)std::toupper((unsigned char)c);
      s.abbreviatedLanguage = Ascii(upper);
    }
  }
  // Date order and separators from the host's date format.
  locale_t loc = newlocale(LC_TIME_MASK, "", (locale_t)0);
  if (loc) {
    std::string fmt = nl_langinfo_l(D_FMT, loc);
    std::string tfmt = nl_langinfo_l(T_FMT, loc);
    freelocale(loc);
    size_t y = fmt.find_first_of("yYF"), m = fmt.find('m'), d = fmt.find('d');
    if (fmt.find('D') != std::string::npos) {
      s.dateOrder = u"0";
      s.dateSeparator = u"/";
    } else if (fmt.find('F') != std::string::npos) {
      s.dateOrder = u"2";
      s.dateSeparator = u"-";
    } else if (y != std::string::npos && m != std::string::npos && d != std::string::npos) {
      s.dateOrder = (m < d && d < y) ? u"0" : (y < m && m < d) ? u"2" : u"1";
      size_t first = std::min({y, m, d});
      if (first + 1 < fmt.size() && fmt[first + 1] != '%') s.dateSeparator = Ascii(fmt.substr(first + 1, 1));
    }
    size_t h = tfmt.find_first_of("HIk");
    if (h != std::string::npos && h + 1 < tfmt.size() && tfmt[h + 1] != '%')
      s.timeSeparator = Ascii(tfmt.substr(h + 1, 1));
    if (tfmt.find('T') != std::string::npos || tfmt.find('R') != std::string::npos) s.timeSeparator = u":";
  }
  return s;
}

void SetLocaleSettings(const LocaleSettings& settings) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_settings = settings;
  g_set = true;
}

const LocaleSettings& CurrentLocaleSettings() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_set) {
    g_settings = HostLocaleSettings();
    g_set = true;
  }
  return g_settings;
}

}  // namespace platform

using namespace platform;

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR in, int inLength, LPWSTR out, int outSize) {
  if (!in || (codePage != CP_ACP && codePage != CP_UTF8) || outSize < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string bytes = inLength < 0 ? std::string(in, std::strlen(in) + 1) : std::string(in, (size_t)inLength);
  std::u16string wide = codePage == CP_UTF8 ? WideFromUtf8(bytes) : WideFromCp1252(bytes);
  if (outSize == 0) return (int)wide.size();
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((int)wide.size() > outSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, wide.data(), wide.size() * sizeof(WCHAR));
  return (int)wide.size();
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR in, int inLength, LPSTR out, int outSize, LPCSTR,
                        BOOL* usedDefault) {
  if (!in || (codePage != CP_ACP && codePage != CP_UTF8) || outSize < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string wide = inLength < 0 ? std::u16string(in, WideLength(in) + 1) : std::u16string(in, (size_t)inLength);
  std::string bytes = codePage == CP_UTF8 ? Utf8FromWide(wide) : Cp1252FromWide(wide);
  if (usedDefault) {
    *usedDefault = FALSE;
    if (codePage == CP_ACP) {
      std::u16string back = WideFromCp1252(bytes);
      *usedDefault = back != wide;
    }
  }
  if (outSize == 0) return (int)bytes.size();
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((int)bytes.size() > outSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, bytes.data(), bytes.size());
  return (int)bytes.size();
}

int GetLocaleInfo(LCID, LCTYPE type, LPWSTR out, int outSize) {
  const LocaleSettings& s = CurrentLocaleSettings();
  std::u16string answer;
  switch (type) {
    case LOCALE_SISO639LANGNAME: answer = s.isoLanguage; break;
    case LOCALE_SABBREVLANGNAME: answer = s.abbreviatedLanguage; break;
    case LOCALE_IDATE: answer = s.dateOrder; break;
    case LOCALE_SDATE: answer = s.dateSeparator; break;
    case LOCALE_STIME: answer = s.timeSeparator; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
  if (outSize == 0) return (int)answer.size() + 1;
  if (!out || outSize < (int)answer.size() + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  CopyWide(answer, out, outSize);
  return (int)answer.size() + 1;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (!utc || !local) return FALSE;
  const LocaleSettings& s = CurrentLocaleSettings();
  int64_t t = Ticks(*utc);
  int64_t offsetSeconds;
  if (s.fixedTimeZone) {
    offsetSeconds = (int64_t)s.timeZoneMinutes * 60;
  } else {
    std::time_t unix = (std::time_t)((t - kUnixEpochAsFileTime) / 10000000);
    std::tm tm{};
    if (!localtime_r(&unix, &tm)) return FALSE;
    offsetSeconds = tm.tm_gmtoff;
  }
  *local = FromTicks(t + offsetSeconds * 10000000);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out) {
  if (!time || !out) return FALSE;
  int64_t t = Ticks(*time);
  if (t < 0) return FALSE;
  int64_t unix100ns = t - kUnixEpochAsFileTime;
  int64_t seconds = unix100ns >= 0 ? unix100ns / 10000000 : -((-unix100ns + 9999999) / 10000000);
  int64_t rest100ns = unix100ns - seconds * 10000000;
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t secOfDay = seconds - days * 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  if (y > 30827) return FALSE;
  out->wYear = (WORD)y;
  out->wMonth = (WORD)m;
  out->wDay = (WORD)d;
  out->wDayOfWeek = (WORD)((days % 7 + 11) % 7);  // 1970-01-01 was a Thursday
  out->wHour = (WORD)(secOfDay / 3600);
  out->wMinute = (WORD)(secOfDay / 60 % 60);
  out->wSecond = (WORD)(secOfDay % 60);
  out->wMilliseconds = (WORD)(rest100ns / 10000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* out) {
  if (!time || !out || time->wMonth < 1 || time->wMonth > 12 || time->wDay < 1 || time->wDay > 31 ||
      time->wHour > 23 || time->wMinute > 59 || time->wSecond > 59 || time->wMilliseconds > 999 ||
      time->wYear < 1601)
    return FALSE;
  int64_t days = DaysFromCivil(time->wYear, time->wMonth, time->wDay);
  int64_t seconds = days * 86400 + time->wHour * 3600 + time->wMinute * 60 + time->wSecond;
  *out = FromTicks(kUnixEpochAsFileTime + seconds * 10000000 + (int64_t)time->wMilliseconds * 10000);
  return TRUE;
}

void GetSystemTime(SYSTEMTIME* out) {
  if (!out) return;
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  FILETIME f = FromTicks(kUnixEpochAsFileTime + (int64_t)ts.tv_sec * 10000000 + ts.tv_nsec / 100);
  FileTimeToSystemTime(&f, out);
}

void GetLocalTime(SYSTEMTIME* out) {
  if (!out) return;
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  FILETIME utc = FromTicks(kUnixEpochAsFileTime + (int64_t)ts.tv_sec * 10000000 + ts.tv_nsec / 100), local;
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, out);
}
