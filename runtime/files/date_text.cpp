/*
** Date texts: the locale's date and time strings, the SQL forms and
** their setters, and parseDate.  See date.h.
**
** SQL text is "YYYY-MM-DD" and "YYYY-MM-DD hh:mm:ss": the year with at
** least four digits, every other field with two.  Reading it takes the
** leading integer of each field (blanks skipped, an optional sign, the
** digits; saturated to 32 bits), so "2007-3-4" reads as 2007-03-04.
**
** parseDate reads a date the way the user's locale writes short dates:
** the order of month, day and year is that of the first "M", "d" and "y"
** of the locale's short-date picture; the text gives up to three tokens,
** each run of digits a number and the first run of three or more letters
** a month name (its first three letters, compared without regard to ASCII
** case with the first three letters of the locale's abbreviated names).
** A month name that matches none makes the text unreadable.  A year of
** one or two digits lies in the current century.
*/
#include <string>
#include <string_view>
#include <vector>

#include "runtime/base/utf8.h"
#include "runtime/files/date.h"
#include "runtime/files/date_imp.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/locale.h"
#include "runtime/platform/paths.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

/* ---- locale texts ---------------------------------------------------------- */

/* The long-date picture with full month and day names turned into their
** abbreviations (a run of four or more "M" or "d" becomes three). */
std::string AbbreviatedPicture() {
  char picture[256];
  int n = p::GetLocaleInfoA(p::LOCALE_USER_DEFAULT, p::LOCALE_SLONGDATE, picture, 256);
  std::string in = n > 0 ? std::string(picture, size_t(n - 1)) : std::string("dddd, MMMM d, yyyy");
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < in.size();) {
    char c = in[i];
    if (c == '\'') quoted = !quoted;
    size_t run = 1;
    while (!quoted && (c == 'M' || c == 'd') && i + run < in.size() && in[i + run] == c) run++;
    out.append(!quoted && (c == 'M' || c == 'd') && run >= 4 ? 3 : run, c);
    i += run;
  }
  return out;
}

/* ---- SQL texts ---------------------------------------------------------------- */

void AppendPadded(std::string& out, int32_t value, size_t digits) {
  std::string number = std::to_string(value < 0 ? -int64_t(value) : int64_t(value));
  if (value < 0) out += '-';
  if (number.size() < digits) out.append(digits - number.size(), '0');
  out += number;
}

std::string SqlDate(DateImpWin32* imp) {
  DateNormalise(imp);
  std::string text;
  AppendPadded(text, imp->year, 4);
  text += '-';
  AppendPadded(text, imp->month, 2);
  text += '-';
  AppendPadded(text, imp->day, 2);
  return text;
}

int32_t LeadingInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) i++;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; i++) {
    value = value * 10 + (s[i] - '0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
  }
  value = negative ? -value : value;
  return int32_t(value > INT32_MAX ? INT32_MAX : value);
}

std::vector<std::string_view> Fields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    fields.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

[[noreturn]] void ThrowUnsupportedFormat(const char* what, std::string_view text) {
  std::string message = std::string(what) + std::string(text);
  StringRef s(StringCreate(message, kEncodingUTF8));
  ThrowExceptionOfDefinition(&kUnsupportedFormatExceptionDefinition, s.get());
}

std::string Utf8Text(ORVAstring text) {
  StringRef converted(StringConvertedOrKept(text, kEncodingUTF8));
  return std::string(StringView(converted.get()));
}

/* ---- parseDate ------------------------------------------------------------------ */

struct DateOrder {
  int month, day, year; /* positions 0..2 */
};

/* The order of the first "M", "d" and "y" of the short-date picture. */
DateOrder ShortDateOrder() {
  char picture[256];
  int n = p::GetLocaleInfoA(p::LOCALE_USER_DEFAULT, p::LOCALE_SSHORTDATE, picture, 256);
  std::string text = n > 0 ? std::string(picture, size_t(n - 1)) : std::string("M/d/yyyy");
  size_t at[3] = {std::string::npos, std::string::npos, std::string::npos}; /* M d y */
  bool quoted = false;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\'') quoted = !quoted;
    if (quoted) continue;
    const char* letters = "Mdy";
    for (int k = 0; k < 3; k++) {
      if (text[i] == letters[k] && at[k] == std::string::npos) at[k] = i;
    }
  }
  DateOrder order{};
  int* slots[3] = {&order.month, &order.day, &order.year};
  for (int k = 0; k < 3; k++) { /* rank among the three; a missing letter ranks last */
    int rank = 0;
    for (int j = 0; j < 3; j++) {
      if (at[j] < at[k] || (at[j] == at[k] && j < k)) rank++;
    }
    *slots[k] = rank;
  }
  return order;
}

struct Token {
  bool monthName;
  std::string text;
};

bool IsAsciiLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/* Up to three tokens of the text (see the file comment). */
std::vector<Token> DateTokens(const std::string& text) {
  std::vector<Token> tokens;
  bool haveMonthName = false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  size_t i = 0;
  while (i < text.size() && tokens.size() < 3) {
    if (bytes[i] >= '0' && bytes[i] <= '9') {
      size_t start = i;
      while (i < text.size() && bytes[i] >= '0' && bytes[i] <= '9') i++;
      tokens.push_back({false, text.substr(start, i - start)});
      continue;
    }
    Utf8Char c = Utf8Decode(bytes + i, text.size() - i);
    if (!IsAsciiLetter(bytes[i]) && !(c.valid && c.codePoint >= 0x80)) {
      i++;
      continue;
    }
    size_t start = i, letters = 0, firstThreeEnd = i;
    while (i < text.size()) {
      Utf8Char l = Utf8Decode(bytes + i, text.size() - i);
      if (!IsAsciiLetter(bytes[i]) && !(l.valid && l.codePoint >= 0x80)) break;
      i += size_t(l.length);
      if (++letters == 3) firstThreeEnd = i;
    }
    if (letters >= 3 && !haveMonthName) {
      haveMonthName = true;
      tokens.push_back({true, text.substr(start, firstThreeEnd - start)});
    }
  }
  return tokens;
}

/* The first three characters of a UTF-8 text. */
std::string FirstThreeCharacters(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  size_t i = 0;
  for (int count = 0; count < 3 && i < text.size(); count++) i += size_t(Utf8Decode(bytes + i, text.size() - i).length);
  return text.substr(0, i);
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

/* 1..12 for a month-name token, 0 when no abbreviation matches. */
int MonthOfName(const std::string& token) {
  for (int month = 1; month <= 12; month++) {
    p::WCHAR name[64];
    int n = p::GetLocaleInfoW(p::LOCALE_USER_DEFAULT, p::LOCALE_SABBREVMONTHNAME1 + p::LCTYPE(month - 1), name, 64);
    if (n <= 1) continue;
    if (EqualIgnoringAsciiCase(token, FirstThreeCharacters(p::Utf8FromUtf16(name, size_t(n - 1))))) return month;
  }
  return 0;
}

/* The value of a run of digits, saturated to 32 bits. */
int32_t NumberOf(const std::string& digits) {
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return int32_t(value);
}

struct ParsedDate {
  int32_t year, month, day;
};

bool ParseDateText(const std::string& text, ParsedDate* out) {
  std::vector<Token> tokens = DateTokens(text);
  if (tokens.size() < 3) return false;
  DateOrder order = ShortDateOrder();
  const Token* yearToken = nullptr;
  int32_t month = 0, day = 0;
  size_t named = 0;
  while (named < tokens.size() && !tokens[named].monthName) named++;
  if (named == tokens.size()) {
    month = NumberOf(tokens[size_t(order.month)].text);
    day = NumberOf(tokens[size_t(order.day)].text);
    yearToken = &tokens[size_t(order.year)];
  } else {
    month = MonthOfName(tokens[named].text);
    if (month == 0) return false;
    std::vector<const Token*> numbers;
    for (size_t i = 0; i < tokens.size(); i++) {
      if (i != named) numbers.push_back(&tokens[i]);
    }
    bool dayFirst = order.day < order.year;
    day = NumberOf(numbers[dayFirst ? 0 : 1]->text);
    yearToken = numbers[dayFirst ? 1 : 0];
  }
  int32_t year = NumberOf(yearToken->text);
  if (yearToken->text.size() <= 2) {
    p::SYSTEMTIME utc;
    p::GetSystemTime(&utc);
    year += utc.wYear / 100 * 100;
  }
  *out = ParsedDate{year, month, day};
  return true;
}

bool IsSystemDate(const ParsedDate& d) {
  if (d.year < 1601 || d.year > 30827 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return false;
  p::SYSTEMTIME st{uint16_t(d.year), uint16_t(d.month), 0, uint16_t(d.day), 0, 0, 0, 0};
  p::FILETIME ft;
  return p::SystemTimeToFileTime(&st, &ft) != 0;
}

DateImpWin32* ImpOf(DateObject* date) { return date ? date->mImp : nullptr; }

} // namespace

ORVAstring DateLocaleText(DateImpWin32* imp, int32_t kind) {
  p::SYSTEMTIME st = DateSystemTime(imp);
  char buffer[256];
  int n = 0;
  switch (kind) {
    case 0: n = p::GetDateFormatA(p::LOCALE_USER_DEFAULT, p::DATE_SHORTDATE, &st, nullptr, buffer, 256); break;
    case 1: n = p::GetDateFormatA(p::LOCALE_USER_DEFAULT, p::DATE_LONGDATE, &st, nullptr, buffer, 256); break;
    case 2: n = p::GetDateFormatA(p::LOCALE_USER_DEFAULT, 0, &st, AbbreviatedPicture().c_str(), buffer, 256); break;
    case 3: n = p::GetTimeFormatA(p::LOCALE_USER_DEFAULT, p::TIME_NOSECONDS, &st, nullptr, buffer, 256); break;
    default: n = p::GetTimeFormatA(p::LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, 256); break;
  }
  return n > 1 ? StringCreate(buffer, n - 1, SystemEncodingTag()) : nullptr;
}

} // namespace quendal

using namespace quendal;

extern "C" ORVAstring dateSQLDateGetter(DateObject* date) {
  DateImpWin32* imp = ImpOf(date);
  return imp ? StringCreate(SqlDate(imp), kEncodingASCII) : nullptr;
}

extern "C" ORVAstring dateSQLDateTimeGetter(DateObject* date) {
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return nullptr;
  std::string text = SqlDate(imp);
  text += ' ';
  AppendPadded(text, imp->hour, 2);
  text += ':';
  AppendPadded(text, imp->minute, 2);
  text += ':';
  AppendPadded(text, imp->second, 2);
  return StringCreate(text, kEncodingASCII);
}

QUENDAL_SERVICE void dateSQLDateSetter(DateObject* date, ORVAstring text) {
  QUENDAL_SERVICE_BEGIN
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return;
  std::string bytes = Utf8Text(text);
  std::vector<std::string_view> fields = Fields(bytes, '-');
  if (fields.size() != 3) ThrowUnsupportedFormat("Not a SQL date: ", bytes);
  DateSetField(imp, kDateYear, LeadingInteger(fields[0]));
  DateSetField(imp, kDateMonth, LeadingInteger(fields[1]));
  DateSetField(imp, kDateDay, LeadingInteger(fields[2].substr(0, 2)));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void dateSQLDateTimeSetter(DateObject* date, ORVAstring text) {
  QUENDAL_SERVICE_BEGIN
  DateImpWin32* imp = ImpOf(date);
  if (imp == nullptr) return;
  std::string bytes = Utf8Text(text);
  std::vector<std::string_view> parts = Fields(bytes, ' ');
  std::string_view datePart = parts[0], timePart = parts.size() > 1 ? parts[1] : std::string_view();
  std::vector<std::string_view> dateFields = Fields(datePart, '-');
  std::vector<std::string_view> timeFields = Fields(timePart, ':');
  if (dateFields.size() != 3 || (!timePart.empty() && timeFields.size() != 3)) {
    ThrowUnsupportedFormat("Not a SQL date and time: ", bytes);
  }
  bool timed = !timePart.empty();
  DateSetField(imp, kDateYear, LeadingInteger(dateFields[0]));
  DateSetField(imp, kDateMonth, LeadingInteger(dateFields[1]));
  DateSetField(imp, kDateDay, LeadingInteger(dateFields[2]));
  DateSetField(imp, kDateHour, timed ? LeadingInteger(timeFields[0]) : 0);
  DateSetField(imp, kDateMinute, timed ? LeadingInteger(timeFields[1]) : 0);
  DateSetField(imp, kDateSecond, timed ? LeadingInteger(timeFields[2]) : 0);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool parseDate(ORVAstring text, ObjectHeader** slot) {
  QUENDAL_SERVICE_BEGIN
  ParsedDate parsed{};
  if (!ParseDateText(Utf8Text(text), &parsed)) return false;
  RegisterDateClass();
  ObjectRef fresh(CreateInstance(&kDateDefinition));
  DateImpWin32* imp = ImpOf(AsDate(fresh.get()));
  if (imp == nullptr) return false;
  bool same = DateGetField(imp, kDateYear) == parsed.year && DateGetField(imp, kDateMonth) == parsed.month &&
              DateGetField(imp, kDateDay) == parsed.day;
  if (!same && !IsSystemDate(parsed)) return false;
  DateSetField(imp, kDateYear, parsed.year);
  DateSetField(imp, kDateMonth, parsed.month);
  DateSetField(imp, kDateDay, parsed.day);
  DateSetField(imp, kDateHour, 0);
  DateSetField(imp, kDateMinute, 0);
  DateSetField(imp, kDateSecond, 0);
  if (slot != nullptr) {
    ObjectHeader* old = *slot;
    *slot = fresh.release();
    RuntimeUnlockObject(old);
  }
  return true;
  QUENDAL_SERVICE_END(false)
}
