/*
** Date objects: the implementation's fields, normalisation, TotalSeconds,
** GMTOffset, the field services, DateCompare, the class and the object
** layer's Date support table.  The texts (locale, SQL, parsing) live in
** date_text.cpp.  See date.h and date_imp.h.
**
** All arithmetic is in whole 100-nanosecond FILETIME units from
** 1601-01-01, through 64-bit integers: seconds are summed first (they fit
** for every 32-bit field value), clamped to the FILETIME range the
** calendar supports, and only then scaled, so nothing overflows.
*/
#include "runtime/files/date.h"

#include <cassert>
#include <cmath>

#include "runtime/base/failure_report.h"
#include "runtime/files/date_imp.h"
#include "runtime/objects/date_support.h"
#include "runtime/objects/exceptions.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnitsPerSecond = int64_t(p::kFileTimeUnitsPerSecond);

/* Seconds from 1601-01-01 of 1904-01-01, and of the last second the
** calendar holds (30827-12-31 23:59:59). */
constexpr int64_t kSecondsTo1904 = p::DaysFrom1601(1904, 1, 1) * kSecondsPerDay;
constexpr int64_t kLastSecond = p::DaysFrom1601(30828, 1, 1) * kSecondsPerDay - 1;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

/* Takes every field from a FILETIME value (inside the calendar's range). */
void SetFieldsFromFileTime(DateImpWin32* imp, uint64_t value) {
  p::FILETIME ft = p::FileTimeFromValue(value);
  p::SYSTEMTIME st;
  bool converted = p::FileTimeToSystemTime(&ft, &st);
  assert(converted);
  (void)converted;
  imp->year = st.wYear;
  imp->month = st.wMonth;
  imp->day = st.wDay;
  imp->hour = st.wHour;
  imp->minute = st.wMinute;
  imp->second = st.wSecond;
  imp->milliseconds = st.wMilliseconds;
  imp->dayOfWeek = st.wDayOfWeek + 1;
  imp->dirty = false;
  imp->initialised = true;
}

void InitialiseToNow(DateImpWin32* imp) {
  p::TIME_ZONE_INFORMATION zone;
  imp->gmtOffset = p::GetTimeZoneInformation(&zone) == p::TIME_ZONE_ID_INVALID ? 0.0 : zone.Bias / -60.0;
  p::SYSTEMTIME now;
  p::GetLocalTime(&now);
  p::FILETIME ft;
  p::SystemTimeToFileTime(&now, &ft);
  SetFieldsFromFileTime(imp, p::FileTimeValue(ft));
}

int32_t DayOfYear(DateImpWin32* imp) {
  return int32_t(p::DaysFrom1601(imp->year, imp->month, imp->day) - p::DaysFrom1601(imp->year, 1, 1) + 1);
}

int32_t WeekOfYear(DateImpWin32* imp) {
  int64_t firstWeekday = (p::DaysFrom1601(imp->year, 1, 1) + 1) % 7; /* 1601-01-01 was a Monday; Sunday = 0 */
  return int32_t((DayOfYear(imp) - 1 + firstWeekday) / 7 + 1);
}

DateImpWin32* ImpOf(DateObject* date) { return date ? date->mImp : nullptr; }

} // namespace

/* ---- the implementation ------------------------------------------------------ */

DateImpWin32* NewDateImp() {
  auto* imp = new DateImpWin32{};
  InitialiseToNow(imp);
  return imp;
}

void DateNormalise(DateImpWin32* imp) {
  if (!imp->dirty || imp->normalising) return;
  imp->normalising = true;
  int64_t months = int64_t(imp->month) - 1;
  int64_t year = int64_t(imp->year) + FloorDiv(months, 12);
  int64_t month = months - FloorDiv(months, 12) * 12 + 1;
  int64_t seconds = p::DaysFrom1601(year, month, 1) * kSecondsPerDay + (int64_t(imp->day) - 1) * kSecondsPerDay +
                    int64_t(imp->hour) * 3600 + int64_t(imp->minute) * 60 + int64_t(imp->second);
  if (seconds < 0) seconds = 0;
  if (seconds > kLastSecond) seconds = kLastSecond;
  SetFieldsFromFileTime(imp, uint64_t(seconds) * uint64_t(kUnitsPerSecond));
  imp->normalising = false;
}

void DateSetField(DateImpWin32* imp, int32_t index, int32_t value) {
  assert(index >= kDateYear && index <= kDateSecond);
  switch (index) {
    case kDateYear: imp->year = value; break;
    case kDateMonth: imp->month = value; break;
    case kDateDay: imp->day = value; break;
    case kDateHour: imp->hour = value; break;
    case kDateMinute: imp->minute = value; break;
    default:
      imp->second = value;
      imp->milliseconds = 0;
      break;
  }
  imp->dirty = true;
}

int32_t DateGetField(DateImpWin32* imp, int32_t index) {
  assert(index >= kDateYear && index <= kDateWeekOfYear);
  DateNormalise(imp);
  switch (index) {
    case kDateYear: return imp->year;
    case kDateMonth: return imp->month;
    case kDateDay: return imp->day;
    case kDateHour: return imp->hour;
    case kDateMinute: return imp->minute;
    case kDateSecond: return imp->second;
    case kDateDayOfWeek: return imp->dayOfWeek;
    case kDateDayOfYear: return DayOfYear(imp);
    default: return WeekOfYear(imp);
  }
}

p::SYSTEMTIME DateSystemTime(DateImpWin32* imp) {
  DateNormalise(imp);
  return p::SYSTEMTIME{uint16_t(imp->year),   uint16_t(imp->month),  uint16_t(imp->dayOfWeek - 1),
                       uint16_t(imp->day),    uint16_t(imp->hour),   uint16_t(imp->minute),
                       uint16_t(imp->second), uint16_t(imp->milliseconds)};
}

double DateTotalSeconds(DateImpWin32* imp) {
  p::SYSTEMTIME st = DateSystemTime(imp);
  p::FILETIME ft;
  if (!p::SystemTimeToFileTime(&st, &ft)) return 0.0;
  return double(int64_t(p::FileTimeValue(ft)) - kSecondsTo1904 * kUnitsPerSecond) / double(kUnitsPerSecond);
}

void DateSetTotalSeconds(DateImpWin32* imp, double seconds) {
  if (std::isnan(seconds)) return;
  double units = std::trunc(seconds * double(kUnitsPerSecond)) + double(kSecondsTo1904 * kUnitsPerSecond);
  constexpr uint64_t kLastUnit = uint64_t(kLastSecond + 1) * uint64_t(kUnitsPerSecond) - 1;
  uint64_t value = units <= 0.0 ? 0 : units >= double(kLastUnit) ? kLastUnit : uint64_t(units);
  SetFieldsFromFileTime(imp, value);
}

double TotalSecondsOfLocalFileTime(uint64_t localFileTime) {
  return double(int64_t(localFileTime) - kSecondsTo1904 * kUnitsPerSecond) / double(kUnitsPerSecond);
}

bool LocalFileTimeOfTotalSeconds(double totalSeconds, uint64_t* localFileTime) {
  if (std::isnan(totalSeconds)) return false;
  DateImpWin32 imp{};
  DateSetTotalSeconds(&imp, totalSeconds);
  p::SYSTEMTIME st = DateSystemTime(&imp);
  p::FILETIME ft;
  if (!p::SystemTimeToFileTime(&st, &ft)) return false;
  *localFileTime = p::FileTimeValue(ft);
  return true;
}

/* ---- the class --------------------------------------------------------------- */

namespace {

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

const InstanceVariableDefinition kDateProperties[] = {
    {"Year", 0, "Integer", 0, kDateYear, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"Month", 0, "Integer", 1, kDateMonth, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"Day", 0, "Integer", 2, kDateDay, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"Hour", 0, "Integer", 3, kDateHour, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"Minute", 0, "Integer", 4, kDateMinute, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"Second", 0, "Integer", 5, kDateSecond, QUENDAL_ENTRY(dateFieldGetter), QUENDAL_ENTRY(dateFieldSetter)},
    {"DayOfWeek", 0, "Integer", 6, kDateDayOfWeek, QUENDAL_ENTRY(dateFieldGetter), kNoEntry},
    {"DayOfYear", 0, "Integer", 7, kDateDayOfYear, QUENDAL_ENTRY(dateFieldGetter), kNoEntry},
    {"WeekOfYear", 0, "Integer", 8, kDateWeekOfYear, QUENDAL_ENTRY(dateFieldGetter), kNoEntry},
    {"TotalSeconds", 0, "Double", 9, 0, QUENDAL_ENTRY(dateTotalSecondsGetter), QUENDAL_ENTRY(dateTotalSecondsSetter)},
    {"GMTOffset", 0, "Double", 10, 0, QUENDAL_ENTRY(dateGMTOffsetGetter), QUENDAL_ENTRY(dateGMTOffsetSetter)},
    {"SQLDate", 0, "String", 11, 0, QUENDAL_ENTRY(dateSQLDateGetter), QUENDAL_ENTRY(dateSQLDateSetter)},
    {"SQLDateTime", 0, "String", 12, 0, QUENDAL_ENTRY(dateSQLDateTimeGetter), QUENDAL_ENTRY(dateSQLDateTimeSetter)},
    {"ShortDate", 0, "String", 13, 0, QUENDAL_ENTRY(dateStringGetter), kNoEntry},
    {"LongDate", 0, "String", 14, 1, QUENDAL_ENTRY(dateStringGetter), kNoEntry},
    {"AbbreviatedDate", 0, "String", 15, 2, QUENDAL_ENTRY(dateStringGetter), kNoEntry},
    {"ShortTime", 0, "String", 16, 3, QUENDAL_ENTRY(dateStringGetter), kNoEntry},
    {"LongTime", 0, "String", 17, 4, QUENDAL_ENTRY(dateStringGetter), kNoEntry},
};

} // namespace

const ObjectDefinition kDateDefinition = {
    .className = "Date",
    .objectSize = sizeof(DateObject),
    .initializer = QUENDAL_ENTRY(AutoInitDate),
    .finalizer = QUENDAL_ENTRY(DateFinalizer),
    .instanceVariables = kDateProperties,
    .instanceVariableCount = int32_t(sizeof kDateProperties / sizeof kDateProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kDateProperties / sizeof kDateProperties[0]),
};

void RegisterDateClass() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(&kDateDefinition);
}

DateObject* AsDate(ObjectHeader* object) {
  if (object == nullptr) return nullptr;
  RegisterDateClass();
  return RuntimeObjectIsa(object, LookupObjectDefinition(&kDateDefinition)) ? reinterpret_cast<DateObject*>(object)
                                                                             : nullptr;
}

ObjectHeader* NewDateWithTotalSeconds(double totalSeconds) {
  RegisterDateClass();
  auto* date = reinterpret_cast<DateObject*>(CreateInstance(&kDateDefinition));
  if (date == nullptr) return nullptr;
  if (date->mImp == nullptr) { /* an image class of this name without our initializer */
    RuntimeUnlockObject(&date->header);
    return nullptr;
  }
  DateSetTotalSeconds(date->mImp, totalSeconds);
  return &date->header;
}

namespace {

double TotalSecondsOfObject(ObjectHeader* object) {
  DateImpWin32* imp = ImpOf(AsDate(object));
  return imp ? DateTotalSeconds(imp) : 0.0;
}

bool IsDateObject(ObjectHeader* object) { return AsDate(object) != nullptr; }

const DateSupport kDateSupport = {IsDateObject, TotalSecondsOfObject, NewDateWithTotalSeconds, DateCompare};

} // namespace

void InstallDateSupportTable() {
  RegisterDateClass();
  InstallDateSupport(&kDateSupport);
}

} // namespace quendal

using namespace quendal;

/* ---- services ------------------------------------------------------------------ */

extern "C" void AutoInitDate(DateObject* date) {
  if (date == nullptr) return;
  if (date->mImp == nullptr) {
    date->mImp = NewDateImp();
  } else if (!date->mImp->initialised) {
    InitialiseToNow(date->mImp);
  }
}

extern "C" void DateFinalizer(ObjectHeader* object) {
  auto* date = reinterpret_cast<DateObject*>(object);
  if (date == nullptr) return;
  delete date->mImp;
  date->mImp = nullptr;
}

extern "C" int32_t dateFieldGetter(DateObject* date, int32_t index) {
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return 0;
  if (index < kDateYear || index > kDateWeekOfYear) {
    QUENDAL_REPORT("DateCommon", "index >= 0 && index <= 8", "You are trying to get a field on a date that does not exist.");
    return 0;
  }
  return DateGetField(imp, index);
}

extern "C" void dateFieldSetter(DateObject* date, int32_t index, int32_t value) {
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return;
  if (index < kDateYear || index > kDateSecond) {
    QUENDAL_REPORT("DateCommon", "index >= 0 && index <= 5", "Trying to set a non-existant long field on a date.");
    return;
  }
  DateSetField(imp, index, value);
}

extern "C" ORVAstring dateStringGetter(DateObject* date, int32_t kind) {
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return nullptr;
  if (kind < 0 || kind > 4) {
    QUENDAL_REPORT("DateCommon", "kind >= 0 && kind <= 4", "You are trying to get a non-existant date string.");
    return nullptr;
  }
  return DateLocaleText(imp, kind);
}

extern "C" double dateTotalSecondsGetter(DateObject* date) {
  DateImpWin32* imp = ImpOf(date);
  return imp ? DateTotalSeconds(imp) : 0.0;
}

extern "C" void dateTotalSecondsSetter(DateObject* date, double seconds) {
  if (DateImpWin32* imp = ImpOf(date)) DateSetTotalSeconds(imp, seconds);
}

extern "C" double dateGMTOffsetGetter(DateObject* date) {
  DateImpWin32* imp = ImpOf(date);
  return imp ? imp->gmtOffset : 0.0;
}

extern "C" void dateGMTOffsetSetter(DateObject* date, double hours) {
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr || std::isnan(hours)) return;
  DateSetTotalSeconds(imp, DateTotalSeconds(imp) + (hours - imp->gmtOffset) * 3600.0);
  imp->gmtOffset = hours;
}

extern "C" int32_t DateCompare(ObjectHeader* a, ObjectHeader* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : a == nullptr ? -1 : 1;
  double x = TotalSecondsOfObject(a), y = TotalSecondsOfObject(b);
  return x < y ? -1 : x > y ? 1 : 0;
}
