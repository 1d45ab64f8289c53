/*
** Date and time formats of the locale: GetLocaleInfo, GetDateFormat and
** GetTimeFormat over ICU's locale data.  See locale.h.
**
** Each locale's pictures and names are read from ICU once, turned into
** Win32 form and kept for the life of the process (a handful of locales
** at most); the table is guarded by a mutex and its entries never change
** once made, so a reference to one stays valid.  Everything is computed
** in UTF-16; the A forms convert at the edges.
*/
#include <unicode/udat.h>
#include <unicode/ustring.h>

#include <map>
#include <mutex>
#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/locale.h"
#include "runtime/platform/locale_internal.h"

namespace quendal::platform {

namespace {

struct LocaleDates {
  std::u16string shortDate, longDate, timeFormat;
  std::u16string months[12], shortMonths[12];
  std::u16string days[7], shortDays[7]; /* [0] = Sunday */
  std::u16string am, pm;
};

const char16_t* const kEnglishMonths[12] = {u"January", u"February", u"March",     u"April",
                                            u"May",     u"June",     u"July",      u"August",
                                            u"September", u"October", u"November", u"December"};
const char16_t* const kEnglishDays[7] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                         u"Thursday", u"Friday", u"Saturday"};

LocaleDates EnglishDates() {
  LocaleDates d;
  d.shortDate = u"M/d/yyyy";
  d.longDate = u"dddd, MMMM d, yyyy";
  d.timeFormat = u"h:mm:ss tt";
  for (int i = 0; i < 12; i++) d.months[i] = kEnglishMonths[i], d.shortMonths[i] = d.months[i].substr(0, 3);
  for (int i = 0; i < 7; i++) d.days[i] = kEnglishDays[i], d.shortDays[i] = d.days[i].substr(0, 3);
  d.am = u"AM";
  d.pm = u"PM";
  return d;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

/* Length of the run of c starting at i. */
size_t RunLength(const std::u16string& s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) n++;
  return n;
}

/* The Win32 picture for one ICU field of n letters c ("" to drop it). */
std::u16string PictureField(char16_t c, size_t n) {
  auto repeat = [](char16_t letter, size_t count) { return std::u16string(count, letter); };
  switch (c) {
    case u'd': return repeat(u'd', n < 2 ? n : 2);
    case u'E': case u'c': case u'e': return n >= 4 ? u"dddd" : u"ddd";
    case u'M': case u'L': return repeat(u'M', n < 4 ? n : 4);
    case u'y': case u'Y': case u'u': return n == 2 ? u"yy" : u"yyyy";
    case u'G': return u"g";
    case u'h': case u'K': return repeat(u'h', n < 2 ? n : 2);
    case u'H': case u'k': return repeat(u'H', n < 2 ? n : 2);
    case u'm': return repeat(u'm', n < 2 ? n : 2);
    case u's': return repeat(u's', n < 2 ? n : 2);
    case u'a': case u'b': case u'B': return u"tt";
    default: return u""; /* zones, fractions, weeks: no Win32 form */
  }
}

void TrimBlanks(std::u16string& s) {
  while (!s.empty() && s.back() == u' ') s.pop_back();
  size_t start = 0;
  while (start < s.size() && s[start] == u' ') start++;
  s.erase(0, start);
}

std::u16string PictureFromIcuPattern(const std::u16string& pattern) {
  std::u16string out;
  for (size_t i = 0; i < pattern.size();) {
    char16_t c = pattern[i];
    if (c == u'\'') { /* quoted text, '' inside and outside quotes alike */
      size_t end = i + 1;
      while (end < pattern.size()) {
        if (pattern[end] == u'\'' && end + 1 < pattern.size() && pattern[end + 1] == u'\'') {
          end += 2;
        } else if (pattern[end] == u'\'') {
          break;
        } else {
          end++;
        }
      }
      out.append(pattern, i, end + 1 - i);
      i = end + 1;
    } else if (IsAsciiLetter(c)) {
      size_t n = RunLength(pattern, i);
      out += PictureField(c, n);
      i += n;
    } else {
      out += (c == u'\u202F' || c == u'\u00A0') ? u' ' : c;
      i++;
    }
  }
  TrimBlanks(out);
  return out;
}

/* A two-digit year made four-digit: short dates keep the century. */
std::u16string WithFullYear(std::u16string picture) {
  for (size_t i = 0; i < picture.size(); i++) {
    if (picture[i] == u'\'') {
      size_t close = picture.find(u'\'', i + 1);
      if (close == std::u16string::npos) break;
      i = close;
    } else if (picture[i] == u'y') {
      size_t n = RunLength(picture, i);
      if (n == 2) picture.replace(i, 2, u"yyyy");
      break;
    }
  }
  return picture;
}

std::u16string IcuPattern(UDateFormat* format) {
  UChar buffer[256];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = udat_toPattern(format, false, buffer, 256, &status);
  if (U_FAILURE(status) || n <= 0 || n > 256) return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), size_t(n));
}

std::u16string IcuSymbol(UDateFormat* format, UDateFormatSymbolType type, int32_t index) {
  UChar buffer[128];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = udat_getSymbols(format, type, index, buffer, 128, &status);
  if (U_FAILURE(status) || n <= 0 || n > 128) return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), size_t(n));
}

UDateFormat* OpenIcuFormat(const std::string& locale, UDateFormatStyle time, UDateFormatStyle date) {
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat* format = udat_open(time, date, locale.c_str(), nullptr, -1, nullptr, -1, &status);
  if (U_FAILURE(status)) {
    if (format) udat_close(format);
    return nullptr;
  }
  return format;
}

/* The locale's data from ICU; US English for whatever ICU cannot give. */
LocaleDates ReadLocaleDates(const std::string& locale) {
  LocaleDates d = EnglishDates();
  if (UDateFormat* shortFormat = OpenIcuFormat(locale, UDAT_NONE, UDAT_SHORT)) {
    std::u16string picture = PictureFromIcuPattern(IcuPattern(shortFormat));
    if (!picture.empty()) d.shortDate = WithFullYear(picture);
    for (int i = 0; i < 12; i++) {
      std::u16string month = IcuSymbol(shortFormat, UDAT_MONTHS, i);
      std::u16string shortMonth = IcuSymbol(shortFormat, UDAT_SHORT_MONTHS, i);
      if (!month.empty()) d.months[i] = month;
      if (!shortMonth.empty()) d.shortMonths[i] = shortMonth;
    }
    for (int i = 0; i < 7; i++) { /* ICU counts days from 1 = Sunday */
      std::u16string day = IcuSymbol(shortFormat, UDAT_WEEKDAYS, i + 1);
      std::u16string shortDay = IcuSymbol(shortFormat, UDAT_SHORT_WEEKDAYS, i + 1);
      if (!day.empty()) d.days[i] = day;
      if (!shortDay.empty()) d.shortDays[i] = shortDay;
    }
    std::u16string am = IcuSymbol(shortFormat, UDAT_AM_PMS, 0), pm = IcuSymbol(shortFormat, UDAT_AM_PMS, 1);
    if (!am.empty() && !pm.empty()) d.am = am, d.pm = pm;
    udat_close(shortFormat);
  }
  if (UDateFormat* fullFormat = OpenIcuFormat(locale, UDAT_NONE, UDAT_FULL)) {
    std::u16string picture = PictureFromIcuPattern(IcuPattern(fullFormat));
    if (!picture.empty()) d.longDate = picture;
    udat_close(fullFormat);
  }
  if (UDateFormat* timeFormat = OpenIcuFormat(locale, UDAT_MEDIUM, UDAT_NONE)) {
    std::u16string picture = PictureFromIcuPattern(IcuPattern(timeFormat));
    if (!picture.empty()) d.timeFormat = picture;
    udat_close(timeFormat);
  }
  return d;
}

const LocaleDates& DatesForLocale(const std::string& locale) {
  static std::mutex mutex;
  static auto* table = new std::map<std::string, LocaleDates>();
  std::lock_guard<std::mutex> hold(mutex);
  auto found = table->find(locale);
  if (found == table->end()) found = table->emplace(locale, ReadLocaleDates(locale)).first;
  return found->second;
}

/* The locale's data, or null with ERROR_INVALID_PARAMETER. */
const LocaleDates* DatesForLcid(LCID locale) {
  std::string name;
  if (!LocaleNameForLcid(locale, &name)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &DatesForLocale(name);
}

/* ---- pictures -------------------------------------------------------------- */

std::u16string Number(int value, size_t minDigits) {
  std::u16string digits;
  unsigned v = value < 0 ? 0u : unsigned(value);
  do {
    digits.insert(digits.begin(), char16_t(u'0' + v % 10));
    v /= 10;
  } while (v != 0);
  while (digits.size() < minDigits) digits.insert(digits.begin(), u'0');
  return digits;
}

enum class PictureKind { kDate, kTime };

bool IsFieldLetter(char16_t c, PictureKind kind) {
  if (kind == PictureKind::kDate) return c == u'd' || c == u'M' || c == u'y' || c == u'g';
  return c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u't';
}

/* The picture without the fields the time flags remove: each field and
** the literal text between it and the field before it. */
std::u16string WithoutTimeFields(const std::u16string& picture, DWORD flags) {
  auto removed = [flags](char16_t c) {
    if (c == u's') return (flags & (TIME_NOSECONDS | TIME_NOMINUTESORSECONDS)) != 0;
    if (c == u'm') return (flags & TIME_NOMINUTESORSECONDS) != 0;
    if (c == u't') return (flags & TIME_NOTIMEMARKER) != 0;
    return false;
  };
  std::u16string out;
  size_t lastFieldEnd = 0; /* in out: end of the last field kept */
  for (size_t i = 0; i < picture.size();) {
    char16_t c = picture[i];
    if (c == u'\'') {
      size_t close = picture.find(u'\'', i + 1);
      size_t end = close == std::u16string::npos ? picture.size() : close + 1;
      out.append(picture, i, end - i);
      i = end;
    } else if (IsFieldLetter(c, PictureKind::kTime)) {
      size_t n = RunLength(picture, i);
      if (removed(c)) {
        out.erase(lastFieldEnd);
      } else {
        out.append(picture, i, n);
        lastFieldEnd = out.size();
      }
      i += n;
    } else {
      out += c;
      i++;
    }
  }
  TrimBlanks(out);
  return out;
}

std::u16string DateField(char16_t c, size_t n, const SYSTEMTIME& t, const LocaleDates& d) {
  switch (c) {
    case u'd':
      if (n <= 2) return Number(t.wDay, n);
      return n == 3 ? d.shortDays[t.wDayOfWeek] : d.days[t.wDayOfWeek];
    case u'M':
      if (n <= 2) return Number(t.wMonth, n);
      return n == 3 ? d.shortMonths[t.wMonth - 1] : d.months[t.wMonth - 1];
    case u'y':
      if (n == 1) return Number(t.wYear % 100, 1);
      return n == 2 ? Number(t.wYear % 100, 2) : Number(t.wYear, 4);
    default: /* g, gg */
      return u"A.D.";
  }
}

std::u16string TimeField(char16_t c, size_t n, const SYSTEMTIME& t, const LocaleDates& d, DWORD flags) {
  size_t width = n < 2 ? 1 : 2;
  switch (c) {
    case u'h': {
      if (flags & TIME_FORCE24HOURFORMAT) return Number(t.wHour, width);
      int hour = t.wHour % 12;
      return Number(hour == 0 ? 12 : hour, width);
    }
    case u'H': return Number(t.wHour, width);
    case u'm': return Number(t.wMinute, width);
    case u's': return Number(t.wSecond, width);
    default: { /* t, tt */
      const std::u16string& marker = t.wHour < 12 ? d.am : d.pm;
      return n == 1 ? marker.substr(0, 1) : marker;
    }
  }
}

std::u16string FormatPicture(const std::u16string& picture, PictureKind kind, const SYSTEMTIME& t,
                             const LocaleDates& d, DWORD flags) {
  std::u16string out;
  for (size_t i = 0; i < picture.size();) {
    char16_t c = picture[i];
    if (c == u'\'') {
      size_t j = i + 1;
      for (; j < picture.size(); j++) {
        if (picture[j] != u'\'') {
          out += picture[j];
        } else if (j + 1 < picture.size() && picture[j + 1] == u'\'') {
          out += u'\'';
          j++;
        } else {
          break;
        }
      }
      i = j + 1;
    } else if (IsFieldLetter(c, kind)) {
      size_t n = RunLength(picture, i);
      out += kind == PictureKind::kDate ? DateField(c, n, t, d) : TimeField(c, n, t, d, flags);
      i += n;
    } else {
      out += c;
      i++;
    }
  }
  return out;
}

/* *out := the date or time to format: now when null; validated, with the
** day of the week computed. */
bool ResolveTime(const SYSTEMTIME* given, SYSTEMTIME* out) {
  if (given == nullptr) {
    GetLocalTime(out);
    return true;
  }
  FILETIME check;
  if (!SystemTimeToFileTime(given, &check)) return false;
  return FileTimeToSystemTime(&check, out) != 0;
}

/* The Win32 convention for a text result: size 0 asks for the length
** needed (with the terminator); a smaller buffer fails with
** ERROR_INSUFFICIENT_BUFFER and is left as it was. */
template <typename Text, typename Unit>
int CopyOutTerminated(const Text& text, Unit* out, int size) {
  int needed = int(text.size()) + 1;
  if (size < 0 || (size > 0 && out == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  text.copy(out, text.size());
  out[text.size()] = Unit(0);
  return needed;
}

int CopyOut(const std::u16string& text, WCHAR* out, int size) { return CopyOutTerminated(text, out, size); }

int CopyOutAnsi(const std::u16string& text, char* out, int size) {
  std::string bytes;
  if (!text.empty()) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return 0;
    bytes.resize(size_t(n));
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
  }
  return CopyOutTerminated(bytes, out, size);
}

std::u16string WideFromAnsi(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return u"";
  std::u16string wide(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
  wide.pop_back(); /* the terminator */
  return wide;
}

bool LocaleText(LCID locale, LCTYPE type, std::u16string* text) {
  if (type == LOCALE_SDECIMAL || type == LOCALE_STHOUSAND) return NumberSymbolText(locale, type, text);
  const LocaleDates* d = DatesForLcid(locale);
  if (d == nullptr) return false;
  if (type >= LOCALE_SDAYNAME1 && type < LOCALE_SDAYNAME1 + 7) {
    *text = d->days[(type - LOCALE_SDAYNAME1 + 1) % 7];
  } else if (type >= LOCALE_SABBREVDAYNAME1 && type < LOCALE_SABBREVDAYNAME1 + 7) {
    *text = d->shortDays[(type - LOCALE_SABBREVDAYNAME1 + 1) % 7];
  } else if (type >= LOCALE_SMONTHNAME1 && type < LOCALE_SMONTHNAME1 + 12) {
    *text = d->months[type - LOCALE_SMONTHNAME1];
  } else if (type >= LOCALE_SABBREVMONTHNAME1 && type < LOCALE_SABBREVMONTHNAME1 + 12) {
    *text = d->shortMonths[type - LOCALE_SABBREVMONTHNAME1];
  } else if (type == LOCALE_SSHORTDATE) {
    *text = d->shortDate;
  } else if (type == LOCALE_SLONGDATE) {
    *text = d->longDate;
  } else if (type == LOCALE_STIMEFORMAT) {
    *text = d->timeFormat;
  } else if (type == LOCALE_SSHORTTIME) {
    *text = WithoutTimeFields(d->timeFormat, TIME_NOSECONDS);
  } else if (type == LOCALE_S1159) {
    *text = d->am;
  } else if (type == LOCALE_S2359) {
    *text = d->pm;
  } else {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  return true;
}

bool DateText(LCID locale, DWORD flags, const SYSTEMTIME* date, const std::u16string* picture,
              std::u16string* text) {
  const LocaleDates* d = DatesForLcid(locale);
  if (d == nullptr) return false;
  const std::u16string* chosen = picture;
  if (picture != nullptr ? flags != 0 : (flags != DATE_SHORTDATE && flags != DATE_LONGDATE)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  if (chosen == nullptr) chosen = flags == DATE_SHORTDATE ? &d->shortDate : &d->longDate;
  SYSTEMTIME t;
  if (!ResolveTime(date, &t)) return false;
  *text = FormatPicture(*chosen, PictureKind::kDate, t, *d, 0);
  return true;
}

bool TimeText(LCID locale, DWORD flags, const SYSTEMTIME* time, const std::u16string* picture,
              std::u16string* text) {
  const LocaleDates* d = DatesForLcid(locale);
  if (d == nullptr) return false;
  if (flags & ~DWORD(TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  SYSTEMTIME t;
  if (!ResolveTime(time, &t)) return false;
  std::u16string chosen = WithoutTimeFields(picture ? *picture : d->timeFormat, flags);
  *text = FormatPicture(chosen, PictureKind::kTime, t, *d, flags);
  return true;
}

} // namespace

int GetLocaleInfoW(LCID locale, LCTYPE type, WCHAR* data, int size) {
  std::u16string text;
  return LocaleText(locale, type, &text) ? CopyOut(text, data, size) : 0;
}

int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) {
  std::u16string text;
  return LocaleText(locale, type, &text) ? CopyOutAnsi(text, data, size) : 0;
}

int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* date, const WCHAR* picture, WCHAR* out,
                   int size) {
  std::u16string given = picture ? std::u16string(picture) : u"", text;
  return DateText(locale, flags, date, picture ? &given : nullptr, &text) ? CopyOut(text, out, size) : 0;
}

int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, const char* picture, char* out,
                   int size) {
  std::u16string given = picture ? WideFromAnsi(picture) : u"", text;
  return DateText(locale, flags, date, picture ? &given : nullptr, &text) ? CopyOutAnsi(text, out, size) : 0;
}

int GetTimeFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const WCHAR* picture, WCHAR* out,
                   int size) {
  std::u16string given = picture ? std::u16string(picture) : u"", text;
  return TimeText(locale, flags, time, picture ? &given : nullptr, &text) ? CopyOut(text, out, size) : 0;
}

int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture, char* out,
                   int size) {
  std::u16string given = picture ? WideFromAnsi(picture) : u"", text;
  return TimeText(locale, flags, time, picture ? &given : nullptr, &text) ? CopyOutAnsi(text, out, size) : 0;
}

} // namespace quendal::platform
