/*
** Time for the run loop, the thread scheduler, dates and file times.
**
** GetTickCount: milliseconds since an arbitrary fixed point, read from
** CLOCK_MONOTONIC and cut to 32 bits, so it wraps to 0 after about 49.7
** days exactly as the Win32 counter does.  Callers that compare two counts
** subtract them as unsigned numbers.
**
** Sleep: suspends the calling (process) thread for the given milliseconds;
** 0 gives up the processor once.  Interrupted waits are resumed until the
** full time has passed.
**
** Calendar time.  A FILETIME counts 100-nanosecond intervals since
** 1601-01-01 00:00:00 of the proleptic Gregorian calendar; a SYSTEMTIME
** holds the same instant broken down.  FILETIMEs from the host (file
** times, GetSystemTime) are UTC; a "local" FILETIME counts the same way in
** local wall-clock time.
**   - SystemTimeToFileTime accepts years 1601 to 30827, months 1 to 12,
**     days that exist in that month, hours below 24, minutes and seconds
**     below 60 and milliseconds below 1000 (wDayOfWeek is ignored); any
**     other value fails with ERROR_INVALID_PARAMETER.
**   - FileTimeToSystemTime accepts every value below 2^63 (up to year
**     30828) and fills wDayOfWeek (0 = Sunday); a larger one fails with
**     ERROR_INVALID_PARAMETER.
**   - FileTimeToLocalFileTime and LocalFileTimeToFileTime use the host
**     zone's offset in force at that instant (daylight saving included),
**     so a summer file time shows summer wall-clock time all year round.
**     Win32 applies today's offset instead; the host rule is kept because
**     it gives the time a user sees in every other program.  A local time
**     that falls in a daylight-saving gap or overlap takes the C library's
**     reading of it (mktime with an unknown daylight flag).
**   - GetTimeZoneInformation fills Bias (minutes west of UTC of standard
**     time), the zone names and DaylightBias (-60 when the zone has
**     daylight saving, else 0); the transition dates are left zero.  It
**     returns TIME_ZONE_ID_UNKNOWN for a zone without daylight saving,
**     else TIME_ZONE_ID_DAYLIGHT or TIME_ZONE_ID_STANDARD by the current
**     time.
*/
#ifndef QUENDAL_PLATFORM_CLOCK_H
#define QUENDAL_PLATFORM_CLOCK_H

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

DWORD GetTickCount();
void Sleep(DWORD milliseconds);

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME: eight 16-bit fields");

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

inline uint64_t FileTimeValue(const FILETIME& t) {
  return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
inline FILETIME FileTimeFromValue(uint64_t value) {
  return FILETIME{DWORD(value), DWORD(value >> 32)};
}

/* 100-nanosecond intervals per second, and the FILETIME of the POSIX epoch. */
inline constexpr uint64_t kFileTimeUnitsPerSecond = 10000000u;
inline constexpr uint64_t kFileTimeOfUnixEpoch = 116444736000000000u;

/* Days from 1970-01-01 to year-month-day of the proleptic Gregorian
** calendar (the civil-day formula), for any year; month 1..12, day any
** value (day 0 is the last day of the month before). */
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

/* The same counted from 1601-01-01 (negative before it). */
constexpr int64_t DaysFrom1601(int64_t year, int64_t month, int64_t day) {
  return DaysFromCivil(year, month, day) - DaysFromCivil(1601, 1, 1);
}

void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);
void GetSystemTimeAsFileTime(FILETIME* time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file);
BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

struct TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};

enum : DWORD {
  TIME_ZONE_ID_UNKNOWN = 0,
  TIME_ZONE_ID_STANDARD = 1,
  TIME_ZONE_ID_DAYLIGHT = 2,
  TIME_ZONE_ID_INVALID = 0xFFFFFFFFu,
};

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

} // namespace quendal::platform

#endif
