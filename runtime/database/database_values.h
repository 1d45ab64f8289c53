/*
** Value texts of the database layer: numbers, booleans, currency and
** dates as DatabaseField and DatabaseRecord write and read them.
**
** Dates are objects of the files layer; this layer reaches them only
** through the object layer's Date support table (date_support.h): a Date
** is made from, and read as, its TotalSeconds, the local wall-clock
** seconds since 1904-01-01 00:00:00, which this file converts to and from
** calendar fields with proleptic Gregorian arithmetic.  Without the table
** no Date is made (nil) and no Date is read.
*/
#ifndef QUENDAL_DATABASE_DATABASE_VALUES_H
#define QUENDAL_DATABASE_DATABASE_VALUES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/objects/object_model.h"

namespace quendal {

/* The general number format with `digits` significant digits: fixed
** notation for magnitudes from 1e-5 to 1e6 (and 0) with trailing zeros
** and point stripped, exponent notation otherwise without leading exponent
** zeros ("1.234567e+6"); -0 is "0". */
std::string FormatGeneralNumber(double value, int digits);

/* The shortest text that reads back as exactly the same double. */
std::string FormatRoundTripNumber(double value);

/* The text rule of BooleanValue: true when the first character is "t" or
** "T" (so "true" in any case). */
bool TextIsTrue(std::string_view text);

/* Currency: a 64-bit count of ten-thousandths.  The text is the decimal
** number with its fraction's trailing zeros stripped ("12.5", "-0.0004"). */
std::string CurrencyText(int64_t currency);
/* A number as currency, rounded to the nearest ten-thousandth (saturated
** at the 64-bit range). */
int64_t CurrencyFromNumber(double value);
/* A number truncated toward zero to 64 bits (saturated; NaN gives 0). */
int64_t TruncateToInt64(double value);

struct DateFields {
  int32_t year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

/* "yyyy-MM-dd" and "HH:mm:ss" of valid fields; false when the fields are
** not a valid calendar date (years 1601 to 30827) or time. */
bool FormatSqlDate(const DateFields& fields, std::string* out);
bool FormatSqlTime(const DateFields& fields, std::string* out);
/* "yyyy-MM-dd HH:mm:ss" (the Date's SQLDateTime). */
std::string SqlDateTimeText(const DateFields& fields);
/* SQL date or date-time text: "y-m-d" with an optional " h:m:s" (every
** field a leading integer).  False for any other shape. */
bool ParseSqlDateTime(std::string_view text, DateFields* out);

/* TotalSeconds of calendar fields, and the fields of TotalSeconds. */
double TotalSecondsOf(const DateFields& fields);
DateFields FieldsOfTotalSeconds(double totalSeconds);

/* A new Date (owned) with those fields; null when no Date support is
** installed.  DateFieldsOfObject: false for nil or a non-Date. */
ObjectHeader* NewDateObject(const DateFields& fields);
bool DateFieldsOfObject(ObjectHeader* date, DateFields* out);

} // namespace quendal

#endif
