// Text and locale: code page 0 against iconv, UTF-8 file names, buffer
// sizes, locale answers, time conversions against the C library, and
// formatting with the device's meaning of %s and %hs.
#include <gtest/gtest.h>
#include <iconv.h>

#include <ctime>
#include <random>
#include <string>

#include "platform/text/locale.h"
#include "platform/text/wide.h"

namespace {

// Windows-1252 to UTF-16 by iconv, an independent implementation.
bool IconvCp1252(const std::string& in, std::u16string* out) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1252");
  if (cd == (iconv_t)-1) return false;
  std::string buf(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = buf.data();
  size_t dstLeft = buf.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == (size_t)-1) return false;
  size_t n = (buf.size() - dstLeft) / 2;
  out->clear();
  for (size_t i = 0; i < n; ++i) out->push_back((char16_t)((unsigned char)buf[2 * i] | ((unsigned char)buf[2 * i + 1] << 8)));
  return true;
}

TEST(CodePages, CodePageZeroAgreesWithIconvForEveryDefinedByte) {
  int compared = 0;
  for (int b = 1; b < 256; ++b) {
    std::string one(1, (char)b);
    std::u16string expected;
    if (!IconvCp1252(one, &expected)) continue;  // bytes Windows-1252 leaves undefined
    WCHAR out[4] = {};
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, one.c_str(), 1, out, 4), 1) << b;
    EXPECT_EQ(out[0], expected[0]) << "byte " << b;
    char back[4] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, out, 1, back, 4, nullptr, nullptr), 1);
    EXPECT_EQ((unsigned char)back[0], b);
    ++compared;
  }
  EXPECT_GE(compared, 250);
  const char degree[] = "\xB0";
  WCHAR w[2];
  ASSERT_EQ(MultiByteToWideChar(0, 0, degree, -1, w, 2), 2);
  EXPECT_EQ(w[0], 0x00B0);
  EXPECT_EQ(w[1], 0);
}

TEST(CodePages, SizesTerminatorsAndSmallBuffers) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  WCHAR small[2];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  BOOL usedDefault = FALSE;
  char out[8];
  int n = WideCharToMultiByte(CP_ACP, 0, u"a\u4E00", 2, out, 8, nullptr, &usedDefault);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(out[1], '?');
  EXPECT_TRUE(usedDefault);
}

TEST(CodePages, Utf8KeepsUndecodableBytesLossless) {
  std::string name = "caf\xC3\xA9-\xFF\xFE.jpg";
  int n = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), (int)name.size(), nullptr, 0);
  std::u16string wide((size_t)n, u'\0');
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, name.c_str(), (int)name.size(), wide.data(), n), n);
  EXPECT_EQ(wide.substr(0, 4), u"caf\u00E9");
  std::string back(64, '\0');
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, back.data(), 64, nullptr, nullptr);
  back.resize((size_t)m);
  EXPECT_EQ(back, name);
}

TEST(Locale, AnswersComeFromTheSettingsWithTheirTerminator) {
  platform::LocaleSettings s;
  s.isoLanguage = u"fr";
  s.abbreviatedLanguage = u"FRA";
  s.dateOrder = u"1";
  s.dateSeparator = u".";
  s.timeSeparator = u"h";
  platform::SetLocaleSettings(s);
  WCHAR out[10];
  const std::pair<LCTYPE, std::u16string> answers[] = {{LOCALE_SISO639LANGNAME, u"fr"},
                                                       {LOCALE_SABBREVLANGNAME, u"FRA"},
                                                       {LOCALE_IDATE, u"1"},
                                                       {LOCALE_SDATE, u"."},
                                                       {LOCALE_STIME, u"h"}};
  for (auto& [type, answer] : answers) {
    EXPECT_EQ(GetLocaleInfo(LOCALE_USER_DEFAULT, type, out, 10), (int)answer.size() + 1) << type;
    EXPECT_EQ(std::u16string(out), answer) << type;
  }
  WCHAR tiny[2];
  EXPECT_EQ(GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, tiny, 2), 0);
  platform::SetLocaleSettings(platform::LocaleSettings{});
  GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, out, 10);
  EXPECT_EQ(std::u16string(out), u"en");
}

TEST(Locale, HostLanguageAndDateFormatAreRead) {
  setenv("LC_ALL", "C", 1);
  platform::LocaleSettings c = platform::HostLocaleSettings();
  EXPECT_EQ(c.isoLanguage, u"en");
  EXPECT_EQ(c.dateOrder, u"0") << "the C locale writes %m/%d/%y";
  EXPECT_EQ(c.dateSeparator, u"/");
  EXPECT_EQ(c.timeSeparator, u":");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  platform::LocaleSettings de = platform::HostLocaleSettings();
  EXPECT_EQ(de.isoLanguage, u"de");
  EXPECT_EQ(de.abbreviatedLanguage, u"DEU");
  unsetenv("LC_ALL");
}

TEST(TimeConversion, FileTimesAgreeWithTheCLibrary) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    int64_t unix = (int64_t)(random() % 8000000000ull) - 2000000000;  // 1906 to 2223
    uint64_t ticks = (uint64_t)(unix + 11644473600LL) * 10000000ull + 1234567;
    FILETIME f{(DWORD)ticks, (DWORD)(ticks >> 32)};
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&f, &st));
    time_t t = (time_t)unix;
    struct tm tm;
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    ASSERT_EQ(st.wYear, tm.tm_year + 1900) << unix;
    ASSERT_EQ(st.wMonth, tm.tm_mon + 1) << unix;
    ASSERT_EQ(st.wDay, tm.tm_mday) << unix;
    ASSERT_EQ(st.wDayOfWeek, tm.tm_wday) << unix;
    ASSERT_EQ(st.wHour, tm.tm_hour);
    ASSERT_EQ(st.wMinute, tm.tm_min);
    ASSERT_EQ(st.wSecond, tm.tm_sec);
    EXPECT_EQ(st.wMilliseconds, 123);
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    uint64_t backTicks = ((uint64_t)back.dwHighDateTime << 32) | back.dwLowDateTime;
    EXPECT_EQ(backTicks, ticks - 4567);
  }
}

TEST(TimeConversion, LocalTimeUsesTheDeviceTimeZone) {
  platform::LocaleSettings s;
  s.fixedTimeZone = true;
  s.timeZoneMinutes = 90;
  platform::SetLocaleSettings(s);
  SYSTEMTIME utc{2024, 2, 0, 29, 23, 45, 0, 0};
  FILETIME f, local;
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &f));
  ASSERT_TRUE(FileTimeToLocalFileTime(&f, &local));
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour, 1);
  EXPECT_EQ(st.wMinute, 15);
  platform::SetLocaleSettings(platform::LocaleSettings{});
}

TEST(WideStrings, FormattingUsesTheDeviceMeaningOfStringConversions) {
  WCHAR out[128];
  wsprintf(out, u"%s|%hs|%d|%02d|%x|%-4s|%c", u"wide", "narrow\xB0", -5, 7, 255, u"ab", (int)u'Z');
  EXPECT_EQ(std::u16string(out), u"wide|narrow\u00B0|-5|07|ff|ab  |Z");
  wsprintf(out, u"File-%02d", 3);
  EXPECT_EQ(std::u16string(out), u"File-03");
  EXPECT_EQ(_snwprintf(out, 4, u"%s", u"toolong"), -1);
  EXPECT_EQ(lstrcmpi(u"Edit", u"EDIT"), 0);
  EXPECT_LT(lstrcmpi(u"abc", u"ABD"), 0);
  EXPECT_NE(lstrcmpi(u"Edit", u"Edit2"), 0);
  EXPECT_EQ(lstrlen(u"\u00E9t\u00E9"), 3);
}

}  // namespace
