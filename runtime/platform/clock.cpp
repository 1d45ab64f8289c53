/*
** Time for the run loop, calendar arithmetic, time zones.  See clock.h.
**
** The calendar is computed here, not by the C library: days are counted
** with the proleptic Gregorian civil-day formula, so every date between
** 1601 and 30828 converts exactly, whatever range the host's time_t or
** locale data cover.  Only the zone offsets come from the C library.
*/
#include "runtime/platform/clock.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

#include "runtime/platform/errors.h"
#include "runtime/platform/paths.h"

namespace quendal::platform {

DWORD GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms); /* the low 32 bits: wraps like the Win32 counter */
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(milliseconds / 1000u);
  wait.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

/* ---- calendar ----------------------------------------------------------- */

struct CivilDate {
  int64_t year;
  int64_t month;
  int64_t day;
};

static CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp + (mp < 10 ? 3 : -9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

static bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

static int DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

static constexpr int64_t kDaysFrom1601To1970 = -DaysFromCivil(1601, 1, 1);

BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file) {
  if (system == nullptr || file == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const SYSTEMTIME& s = *system;
  if (s.wYear < 1601 || s.wYear > 30827 || s.wMonth < 1 || s.wMonth > 12 || s.wDay < 1 ||
      s.wDay > DaysInMonth(s.wYear, s.wMonth) || s.wHour > 23 || s.wMinute > 59 || s.wSecond > 59 ||
      s.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int64_t days = DaysFromCivil(s.wYear, s.wMonth, s.wDay) + kDaysFrom1601To1970;
  int64_t seconds = days * 86400 + s.wHour * 3600 + s.wMinute * 60 + s.wSecond;
  *file = FileTimeFromValue(uint64_t(seconds) * kFileTimeUnitsPerSecond + uint64_t(s.wMilliseconds) * 10000u);
  return 1;
}

BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system) {
  if (file == nullptr || system == nullptr || (file->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  uint64_t value = FileTimeValue(*file);
  int64_t days = int64_t(value / (86400 * kFileTimeUnitsPerSecond));
  uint64_t rest = value % (86400 * kFileTimeUnitsPerSecond);
  CivilDate date = CivilFromDays(days - kDaysFrom1601To1970);
  SYSTEMTIME& s = *system;
  s.wYear = WORD(date.year);
  s.wMonth = WORD(date.month);
  s.wDay = WORD(date.day);
  s.wDayOfWeek = WORD((days + 1) % 7); /* 1601-01-01 was a Monday */
  uint64_t seconds = rest / kFileTimeUnitsPerSecond;
  s.wHour = WORD(seconds / 3600);
  s.wMinute = WORD(seconds / 60 % 60);
  s.wSecond = WORD(seconds % 60);
  s.wMilliseconds = WORD(rest % kFileTimeUnitsPerSecond / 10000);
  return 1;
}

void GetSystemTimeAsFileTime(FILETIME* time) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  *time = FileTimeFromValue(kFileTimeOfUnixEpoch + uint64_t(now.tv_sec) * kFileTimeUnitsPerSecond +
                            uint64_t(now.tv_nsec) / 100);
}

void GetSystemTime(SYSTEMTIME* time) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  FileTimeToSystemTime(&now, time);
}

/* Seconds east of UTC of the local zone at the POSIX instant t, or false. */
static bool ZoneOffsetAt(int64_t t, long* offset) {
  time_t instant = time_t(t);
  struct tm broken {};
  if (localtime_r(&instant, &broken) == nullptr) return false;
  *offset = broken.tm_gmtoff;
  return true;
}

/* A FILETIME value moved by offset seconds, or false outside 0 .. 2^63. */
static bool ShiftFileTime(uint64_t value, long offset, FILETIME* out) {
  int64_t shifted;
  if (__builtin_add_overflow(int64_t(value), int64_t(offset) * int64_t(kFileTimeUnitsPerSecond), &shifted) ||
      shifted < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *out = FileTimeFromValue(uint64_t(shifted));
  return true;
}

static int64_t UnixSecondsOf(uint64_t fileTimeValue) {
  return int64_t(fileTimeValue / kFileTimeUnitsPerSecond) - int64_t(kFileTimeOfUnixEpoch / kFileTimeUnitsPerSecond);
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (utc == nullptr || local == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  uint64_t value = FileTimeValue(*utc);
  long offset = 0;
  if (!ZoneOffsetAt(UnixSecondsOf(value), &offset)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ShiftFileTime(value, offset, local) ? 1 : 0;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  if (local == nullptr || utc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  uint64_t value = FileTimeValue(*local);
  int64_t wall = UnixSecondsOf(value);
  /* The offset at the wall-clock reading taken as UTC is right except
  ** near a transition; one more step with the offset at the corrected
  ** instant settles it. */
  long first = 0, second = 0;
  if (!ZoneOffsetAt(wall, &first) || !ZoneOffsetAt(wall - first, &second)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ShiftFileTime(value, -second, utc) ? 1 : 0;
}

void GetLocalTime(SYSTEMTIME* time) {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  FileTimeToSystemTime(&local, time);
}

static void CopyZoneName(const char* name, WCHAR* out) {
  std::u16string wide = Utf16FromUtf8(name ? name : "");
  size_t n = wide.size() < 31 ? wide.size() : 31;
  wide.copy(out, n);
  out[n] = u'\0';
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  tzset();
  *info = TIME_ZONE_INFORMATION{};
  info->Bias = LONG(timezone / 60);
  CopyZoneName(tzname[0], info->StandardName);
  CopyZoneName(tzname[1], info->DaylightName);
  if (!daylight) return TIME_ZONE_ID_UNKNOWN;
  info->DaylightBias = -60;
  time_t now = ::time(nullptr);
  struct tm broken {};
  if (localtime_r(&now, &broken) != nullptr && broken.tm_isdst > 0) return TIME_ZONE_ID_DAYLIGHT;
  return TIME_ZONE_ID_STANDARD;
}

} // namespace quendal::platform
