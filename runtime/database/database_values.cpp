/*
** Value texts of the database layer.  See database_values.h.
*/
#include "runtime/database/database_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "runtime/objects/date_support.h"

namespace quendal {

namespace {

/* Days from 1970-01-01 to y-m-d of the proleptic Gregorian calendar; the
** month is first carried into the year, days beyond the month count on. */
int64_t FloorDivide(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  const int64_t carry = FloorDivide(m - 1, 12);
  y += carry;
  m -= carry * 12;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (d - 1);
}

void CivilFromDays(int64_t z, int32_t* year, int32_t* month, int32_t* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = int32_t(yoe + era * 400 + (m <= 2));
  *month = int32_t(m);
  *day = int32_t(d);
}

const int64_t kEpoch1904 = DaysFromCivil(1904, 1, 1);

bool IsLeapYear(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t DaysInMonth(int32_t y, int32_t m) {
  static const int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

/* A leading integer: blanks, optional sign, digits.  False when none. */
bool LeadingInteger(std::string_view text, int32_t* out) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') i++;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  size_t start = i;
  int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000000) value = value * 10 + (text[i++] - '0');
  if (i == start) return false;
  *out = int32_t(negative ? -value : value);
  return true;
}

/* Splits text at sep into exactly n fields; false for another count. */
bool SplitFields(std::string_view text, char sep, size_t n, std::string_view* fields) {
  size_t count = 0;
  while (true) {
    size_t at = text.find(sep);
    if (count == n) return false;
    fields[count++] = text.substr(0, at);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return count == n;
}

} // namespace

std::string FormatGeneralNumber(double value, int digits) {
  if (value == 0) value = 0; /* -0 prints as 0 */
  char buffer[512];
  double a = std::fabs(value);
  if (a == 0 || (a >= 1e-5 && a <= 1e6)) {
    int k = 0;
    for (double t = a; t >= 10.0; t /= 10.0) k++;
    std::snprintf(buffer, sizeof(buffer), "%.*f", digits - k > 0 ? digits - k : 0, value);
    std::string text(buffer);
    if (text.find('.') != std::string::npos) {
      while (!text.empty() && text.back() == '0') text.pop_back();
      if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
    return text;
  }
  std::snprintf(buffer, sizeof(buffer), "%.*e", digits - 1, value);
  std::string text(buffer);
  for (size_t at; (at = text.find("e+0")) != std::string::npos || (at = text.find("e-0")) != std::string::npos;) {
    text.erase(at + 2, 1);
  }
  if (text.size() >= 3 && text.compare(text.size() - 3, 3, "nan") == 0) return "NaN";
  return text;
}

std::string FormatRoundTripNumber(double value) {
  char buffer[64];
  for (int precision = 15; precision <= 17; precision++) {
    std::snprintf(buffer, sizeof(buffer), "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

bool TextIsTrue(std::string_view text) { return !text.empty() && (text[0] == 't' || text[0] == 'T'); }

std::string CurrencyText(int64_t currency) {
  uint64_t magnitude = currency < 0 ? 0 - uint64_t(currency) : uint64_t(currency);
  std::string text = (currency < 0 ? "-" : "") + std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction) {
    char digits[8];
    std::snprintf(digits, sizeof(digits), ".%04u", unsigned(fraction));
    text += digits;
    while (text.back() == '0') text.pop_back();
  }
  return text;
}

int64_t TruncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (value <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return int64_t(value);
}

int64_t CurrencyFromNumber(double value) { return TruncateToInt64(std::round(value * 10000.0)); }

bool FormatSqlDate(const DateFields& f, std::string* out) {
  if (f.year < 1601 || f.year > 30827 || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > DaysInMonth(f.year, f.month)) {
    return false;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d", f.year, f.month, f.day);
  *out = buffer;
  return true;
}

bool FormatSqlTime(const DateFields& f, std::string* out) {
  if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59) return false;
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d", f.hour, f.minute, f.second);
  *out = buffer;
  return true;
}

std::string SqlDateTimeText(const DateFields& f) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                f.second);
  return buffer;
}

bool ParseSqlDateTime(std::string_view text, DateFields* out) {
  size_t space = text.find(' ');
  std::string_view datePart = text.substr(0, space);
  std::string_view timePart = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  std::string_view date[3];
  if (!SplitFields(datePart, '-', 3, date)) return false;
  DateFields f;
  if (!LeadingInteger(date[0], &f.year) || !LeadingInteger(date[1], &f.month) || !LeadingInteger(date[2], &f.day)) {
    return false;
  }
  f.hour = f.minute = f.second = 0;
  if (!timePart.empty()) {
    std::string_view time[3];
    if (!SplitFields(timePart, ':', 3, time)) return false;
    if (!LeadingInteger(time[0], &f.hour) || !LeadingInteger(time[1], &f.minute) ||
        !LeadingInteger(time[2], &f.second)) {
      return false;
    }
  }
  *out = f;
  return true;
}

double TotalSecondsOf(const DateFields& f) {
  int64_t days = DaysFromCivil(f.year, f.month, f.day) - kEpoch1904;
  return double(days) * 86400.0 + double(f.hour) * 3600.0 + double(f.minute) * 60.0 + double(f.second);
}

DateFields FieldsOfTotalSeconds(double totalSeconds) {
  double whole = std::floor(totalSeconds);
  int64_t days = int64_t(std::floor(whole / 86400.0));
  int64_t seconds = int64_t(whole - double(days) * 86400.0);
  DateFields f;
  CivilFromDays(days + kEpoch1904, &f.year, &f.month, &f.day);
  f.hour = int32_t(seconds / 3600);
  f.minute = int32_t(seconds / 60 % 60);
  f.second = int32_t(seconds % 60);
  return f;
}

ObjectHeader* NewDateObject(const DateFields& fields) {
  const DateSupport* support = InstalledDateSupport();
  return support ? support->newDate(TotalSecondsOf(fields)) : nullptr;
}

bool DateFieldsOfObject(ObjectHeader* date, DateFields* out) {
  const DateSupport* support = InstalledDateSupport();
  if (!date || !support || !support->isDate(date)) return false;
  *out = FieldsOfTotalSeconds(support->totalSeconds(date));
  return true;
}

} // namespace quendal
