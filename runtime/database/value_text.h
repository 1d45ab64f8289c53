/*
** Value text: how the table engine reads the texts it is given (the
** values of an insert or an update, the literals of a row filter) and how
** it writes a row's values as text (row keys, column references).
**
** Reading:
**   integer  the language's Val of the text, truncated toward zero and
**            held to the range of the column (a value beyond it becomes
**            the nearest bound rather than wrapping around);
**   number   Val;
**   date     the part before the first space is year-month-day: three
**            fields of decimal digits separated by "-", each at most 65535;
**   time     the part after the first space (the whole text when there is
**            none) is hour:minute or hour:minute:second, fields as above.
**
** Writing (AppendFieldText, AppendValueText): integers in decimal, floats
** and doubles with the number of significant digits asked for, dates as
** yyyy-mm-dd, times as hh:mm:ss, time stamps as both, booleans as
** true/false, texts and bytes as they are.
**
** Values in machine order (ValueRef) are what a cursor's curColumnValue
** hands out: numbers in machine order, dates and times as three
** big-endian u16, texts and bytes with their length, a boolean as one
** byte, a String of the runtime (18) as a pointer to the reference.
*/
#ifndef QUENDAL_DATABASE_VALUE_TEXT_H
#define QUENDAL_DATABASE_VALUE_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/database/row_record.h"

namespace quendal::db {

/* Val truncated toward zero, held to [min, max]. */
int64_t IntegerOfText(std::string_view text, int64_t min, int64_t max);
double NumberOfText(std::string_view text);
bool ParseDateText(std::string_view text, uint16_t fields[3]);
bool ParseTimeText(std::string_view text, uint16_t fields[3]);
/* True when text is "true" in any letter case. */
bool IsTrueText(std::string_view text);

/* Adds column's value, read from text by the column's type, to a row being
** built.  Large values (15, 16) are the caller's: it writes them first and
** adds the reference. */
enum class ValueConversion : uint8_t { kOk, kBadDate, kBadTime, kUnsupported };
ValueConversion AddValueFromText(RowBuilder* row, uint8_t column, uint8_t type, std::string_view text);

/* Appends the value of a field of a checked row record (not of a large
** value reference: the caller reads those) as text. */
void AppendFieldText(Bytes record, const FieldRef& field, int floatDigits, int doubleDigits, std::string* out);

/* A value as curColumnValue hands it out (type 0: no value). */
struct ValueRef {
  uint8_t type = 0;
  const void* data = nullptr;
  int32_t length = 0;
};
union ValueHolding {
  int16_t i16;
  int32_t i32;
  int64_t i64;
  float f32;
  double f64;
  uint8_t bytes[8];
};

/* The value of a field of a checked record that is not a large value
** reference (15, 16): numbers converted into *holding, everything else
** pointing into the record. */
ValueRef ValueOfField(Bytes record, const FieldRef& field, ValueHolding* holding);

/* Appends a value as text (a String's bytes for 18); type 0 appends
** nothing. */
void AppendValueText(const ValueRef& value, int floatDigits, int doubleDigits, std::string* out);

/* Value accessors of a field's payload in machine order. */
int16_t SmallIntOf(Bytes record, const FieldRef& field);
int32_t IntegerOf(Bytes record, const FieldRef& field);
float FloatOf(Bytes record, const FieldRef& field);
double DoubleOf(Bytes record, const FieldRef& field);
void DateOrTimeOf(Bytes record, const FieldRef& field, uint16_t fields[3]);

} // namespace quendal::db

#endif
