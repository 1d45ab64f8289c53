/*
** Platform calendar time, time zones and the locale's date and time texts.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "runtime/platform/clock.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/locale.h"

using namespace quendal::platform;

namespace {

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return SYSTEMTIME{WORD(y), WORD(mo), 0, WORD(d), WORD(h), WORD(mi), WORD(s), WORD(ms)};
}

/* Pins TZ (and the locale variables) for one test. */
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) setenv(name, value, 1); else unsetenv(name);
    tzset();
  }
  ~ScopedVariable() {
    if (had_) setenv(name_, old_.c_str(), 1); else unsetenv(name_);
    tzset();
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(PlatformCalendar, FileTimesAndSystemTimesRoundTripOverTheWholeRange) {
  FILETIME ft;
  SYSTEMTIME st = Make(1601, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(FileTimeValue(ft), 0u);
  st = Make(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(FileTimeValue(ft), kFileTimeOfUnixEpoch);
  for (SYSTEMTIME s : {Make(1904, 1, 1), Make(2000, 2, 29, 23, 59, 59, 999), Make(2100, 3, 1, 12),
                       Make(30827, 12, 31, 23, 59, 59, 999)}) {
    ASSERT_TRUE(SystemTimeToFileTime(&s, &ft));
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, s.wYear);
    EXPECT_EQ(back.wMonth, s.wMonth);
    EXPECT_EQ(back.wDay, s.wDay);
    EXPECT_EQ(back.wHour, s.wHour);
    EXPECT_EQ(back.wSecond, s.wSecond);
    EXPECT_EQ(back.wMilliseconds, s.wMilliseconds);
  }
  /* Day of the week: 2007-03-04 was a Sunday. */
  st = Make(2007, 3, 4);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wDayOfWeek, 0);

  for (SYSTEMTIME bad : {Make(1600, 12, 31), Make(30828, 1, 1), Make(2001, 2, 29), Make(2000, 13, 1),
                         Make(2000, 1, 0), Make(2000, 1, 1, 24), Make(2000, 1, 1, 0, 0, 0, 1000)}) {
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  ft = FileTimeFromValue(uint64_t(1) << 63);
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &back));
}

TEST(PlatformCalendar, LocalTimesUseTheOffsetOfTheirOwnDate) {
  ScopedVariable tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  TIME_ZONE_INFORMATION info;
  DWORD id = GetTimeZoneInformation(&info);
  EXPECT_NE(id, TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(info.Bias, -60);
  EXPECT_EQ(info.DaylightBias, -60);

  FILETIME utc, local, back;
  SYSTEMTIME winter = Make(2007, 1, 15, 12), summer = Make(2007, 7, 15, 12);
  ASSERT_TRUE(SystemTimeToFileTime(&winter, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(FileTimeValue(local) - FileTimeValue(utc), 3600 * kFileTimeUnitsPerSecond);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(FileTimeValue(back), FileTimeValue(utc));
  ASSERT_TRUE(SystemTimeToFileTime(&summer, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(FileTimeValue(local) - FileTimeValue(utc), 7200 * kFileTimeUnitsPerSecond);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(FileTimeValue(back), FileTimeValue(utc));

  ScopedVariable utcZone("TZ", "UTC0");
  EXPECT_EQ(GetTimeZoneInformation(&info), TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(info.Bias, 0);
}

std::string DateText(DWORD flags, const SYSTEMTIME& t, const char* picture = nullptr) {
  char buffer[256];
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, flags, &t, picture, buffer, 256);
  return n > 0 ? std::string(buffer, size_t(n - 1)) : "<failed>";
}

std::string TimeText(DWORD flags, const SYSTEMTIME& t, const char* picture = nullptr) {
  char buffer[256];
  int n = GetTimeFormatA(LOCALE_USER_DEFAULT, flags, &t, picture, buffer, 256);
  return n > 0 ? std::string(buffer, size_t(n - 1)) : "<failed>";
}

std::string LocaleText(LCTYPE type, LCID locale = LOCALE_USER_DEFAULT) {
  char buffer[256];
  int n = GetLocaleInfoA(locale, type, buffer, 256);
  return n > 0 ? std::string(buffer, size_t(n - 1)) : "<failed>";
}

TEST(PlatformLocaleDates, UnitedStatesEnglishForThePosixLocale) {
  ScopedVariable all("LC_ALL", "C");
  SYSTEMTIME t = Make(2007, 3, 4, 17, 6, 7);
  EXPECT_EQ(LocaleText(LOCALE_SSHORTDATE), "M/d/yyyy");
  EXPECT_EQ(LocaleText(LOCALE_SLONGDATE), "dddd, MMMM d, yyyy");
  EXPECT_EQ(LocaleText(LOCALE_SABBREVMONTHNAME1 + 2), "Mar");
  EXPECT_EQ(LocaleText(LOCALE_SDAYNAME1 + 6), "Sunday");
  EXPECT_EQ(DateText(DATE_SHORTDATE, t), "3/4/2007");
  EXPECT_EQ(DateText(DATE_LONGDATE, t), "Sunday, March 4, 2007");
  EXPECT_EQ(DateText(0, t, "ddd dd MMM yy 'd''M' h"), "Sun 04 Mar 07 d'M h");
  EXPECT_EQ(TimeText(0, t), "5:06:07 PM");
  EXPECT_EQ(TimeText(TIME_NOSECONDS, t), "5:06 PM");
  EXPECT_EQ(TimeText(TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, t), "17:06:07");

  char small[4];
  EXPECT_EQ(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, small, 4), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, nullptr, 0), 9);
  EXPECT_EQ(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, "d", small, 4), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
  SYSTEMTIME bad = Make(2007, 2, 30);
  EXPECT_EQ(DateText(DATE_SHORTDATE, bad), "<failed>");
  EXPECT_EQ(LocaleText(LOCALE_SSHORTDATE, 0x0401 + 0x7000), "<failed>");
}

TEST(PlatformLocaleDates, OtherLocalesTakeTheirOrderAndNames) {
  ScopedVariable all("LC_ALL", nullptr);
  ScopedVariable time("LC_TIME", "de_DE.UTF-8");
  SYSTEMTIME t = Make(2007, 3, 4, 17, 6, 7);
  EXPECT_EQ(LocaleText(LOCALE_SSHORTDATE), "dd.MM.yyyy");
  EXPECT_EQ(DateText(DATE_SHORTDATE, t), "04.03.2007");
  EXPECT_EQ(TimeText(0, t), "17:06:07");
  /* An explicit language id picks its own locale. */
  EXPECT_EQ(LocaleText(LOCALE_SSHORTDATE, 0x0809), "dd/MM/yyyy");
}

} // namespace
