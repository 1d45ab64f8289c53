/*
** Date: a calendar date and wall-clock time.
**
** A Date object is the object header followed by one owned pointer to its
** implementation (DateImpWin32, date_imp.h), which holds the broken-down
** fields and converts them to and from seconds through FILETIME
** arithmetic (runtime/platform/clock.h).  The fields are local wall-clock
** time; no zone conversion ever takes place, GMTOffset only travels with
** the date.
**
** TotalSeconds counts seconds from 1904-01-01 00:00:00 (of the same local
** wall clock), as a double: 1904-01-02 00:00:00 is 86400.
**
** Field indexes (dateFieldGetter, dateFieldSetter): 0 Year, 1 Month,
** 2 Day, 3 Hour, 4 Minute, 5 Second, 6 DayOfWeek (1 = Sunday), 7 DayOfYear,
** 8 WeekOfYear; only 0 to 5 can be set.  Text kinds (dateStringGetter):
** 0 ShortDate, 1 LongDate, 2 AbbreviatedDate, 3 ShortTime, 4 LongTime, in
** the user's locale and tagged with the system encoding.
**
** Normalisation: setting a field only marks the date; the next read
** carries months beyond 12 or below 1 into the year, adds seconds,
** minutes, hours and days beyond their range to the first day of the
** month, and takes every field back from the result (Month 13 of
** 2006-05-10 is 2007-01-10; Day 0 is the last day of the month before).
** The calendar is proleptic Gregorian and, as FILETIME is, bounded to
** 1601-01-01 00:00:00 .. 30827-12-31 23:59:59: a date or a TotalSeconds
** outside is held at the nearer bound; a TotalSeconds that is not a number
** changes nothing.
**
** Ownership: services return Dates and strings locked; arguments are
** borrowed.  parseDate stores a new Date (owned by the slot) into its
** by-reference slot and releases the old one.  A nil Date, or one without
** implementation, reads as 0 and the empty string and ignores writes.
**
** Failures: a field index outside its range is a broken invariant
** (failure report); malformed SQL text raises UnsupportedFormatException;
** parseDate answers false.
*/
#ifndef QUENDAL_FILES_DATE_H
#define QUENDAL_FILES_DATE_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

struct DateImpWin32;

struct DateObject {
  ObjectHeader header;
  DateImpWin32* mImp;
};
static_assert(offsetof(DateObject, mImp) == 48 && sizeof(DateObject) == 56, "Date: header and implementation");

namespace quendal {

extern const ObjectDefinition kDateDefinition;

/* Registers the Date class (once). */
void RegisterDateClass();

/* A new Date (owned) with that TotalSeconds; null if it cannot be made. */
ObjectHeader* NewDateWithTotalSeconds(double totalSeconds);

/* The object as a Date (an instance of Date or of a subclass), or null. */
DateObject* AsDate(ObjectHeader* object);

/* TotalSeconds of a local FILETIME value, and back (false when the seconds
** are not a number).  The bridge between file times and Dates. */
double TotalSecondsOfLocalFileTime(uint64_t localFileTime);
bool LocalFileTimeOfTotalSeconds(double totalSeconds, uint64_t* localFileTime);

/* Installs the object layer's Date support table (date_support.h) for
** variants; start-up calls it once, before any image code runs. */
void InstallDateSupportTable();

} // namespace quendal

extern "C" {

void AutoInitDate(DateObject* date);
void DateFinalizer(ObjectHeader* date);
int32_t dateFieldGetter(DateObject* date, int32_t index);
void dateFieldSetter(DateObject* date, int32_t index, int32_t value);
ORVAstring dateStringGetter(DateObject* date, int32_t kind);
double dateTotalSecondsGetter(DateObject* date);
void dateTotalSecondsSetter(DateObject* date, double seconds);
double dateGMTOffsetGetter(DateObject* date);
void dateGMTOffsetSetter(DateObject* date, double hours);
ORVAstring dateSQLDateGetter(DateObject* date);
void dateSQLDateSetter(DateObject* date, ORVAstring text);
ORVAstring dateSQLDateTimeGetter(DateObject* date);
void dateSQLDateTimeSetter(DateObject* date, ORVAstring text);
bool parseDate(ORVAstring text, ObjectHeader** slot);
int32_t DateCompare(ObjectHeader* a, ObjectHeader* b);

} // extern "C"

#endif
