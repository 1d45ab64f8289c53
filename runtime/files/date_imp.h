/*
** The host implementation behind a Date object (see date.h): its fields
** and the operations the Date services are built from.  Internal to the
** Date module (date.cpp, date_text.cpp).
**
** Invariants:
**   - while dirty is false the fields are normalised: a real date of the
**     FILETIME range, DayOfWeek matching it;
**   - a field set since the last normalisation sets dirty; every reader
**     normalises first (DateNormalise), and normalising never nests.
** The fields are 32-bit, wider than the 16-bit system structure they end
** in, so that a value set beyond 16 bits (Day = 40000) is carried as it
** was given rather than cut.
*/
#ifndef QUENDAL_FILES_DATE_IMP_H
#define QUENDAL_FILES_DATE_IMP_H

#include <cstdint>

#include "runtime/platform/clock.h"
#include "runtime/text/string_record.h"

struct DateImpWin32 {
  double gmtOffset;      /* hours east of UTC */
  bool initialised;
  bool dirty;
  int32_t day, month, year, hour, minute, second;
  int32_t dayOfWeek;     /* 1 = Sunday .. 7 = Saturday */
  int32_t milliseconds;
  bool normalising;
};

namespace quendal {

enum DateField : int32_t {
  kDateYear = 0,
  kDateMonth = 1,
  kDateDay = 2,
  kDateHour = 3,
  kDateMinute = 4,
  kDateSecond = 5,
  kDateDayOfWeek = 6,
  kDateDayOfYear = 7,
  kDateWeekOfYear = 8,
};

/* A new implementation set to the current local time (owned). */
DateImpWin32* NewDateImp();

void DateNormalise(DateImpWin32* imp);
/* Index 0..5; the caller has checked it. */
void DateSetField(DateImpWin32* imp, int32_t index, int32_t value);
/* Index 0..8; the caller has checked it. */
int32_t DateGetField(DateImpWin32* imp, int32_t index);

/* The normalised fields as the system structure. */
quendal::platform::SYSTEMTIME DateSystemTime(DateImpWin32* imp);

double DateTotalSeconds(DateImpWin32* imp);
void DateSetTotalSeconds(DateImpWin32* imp, double seconds);

/* Locale text of kind 0..4 (owned, system encoding); the caller has
** checked the kind. */
ORVAstring DateLocaleText(DateImpWin32* imp, int32_t kind);

} // namespace quendal

#endif
