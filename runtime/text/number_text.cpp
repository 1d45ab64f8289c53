/*
** Number text: Str, Hex/Oct/Bin, Val, CDbl and CLng.  See number_text.h.
**
** Floating-point digits come from std::to_chars with an explicit
** precision: the correctly rounded decimal form, as glibc's printf gives
** it, but independent of the process locale.
*/
#include "runtime/text/number_text.h"

#include <cassert>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <system_error>

#include "runtime/platform/locale.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/number_scan.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

std::string ToChars(double x, std::chars_format format, int decimals) {
  assert(decimals >= 0);
  /* sign, 309 integer digits, point, the decimals, an exponent */
  std::string text(size_t(decimals) + 330, '\0');
  std::to_chars_result r = std::to_chars(text.data(), text.data() + text.size(), x, format, decimals);
  assert(r.ec == std::errc());
  text.resize(size_t(r.ptr - text.data()));
  return text;
}

/* Decimals of the fixed form that keep digits significant digits. */
int FixedDecimals(double a, int digits) {
  if (a >= 1.0) {
    int k = 0;
    for (double t = a; t >= 10.0; t /= 10.0) k++;
    return digits > k ? digits - k : 0;
  }
  if (a == 0.0) return digits;
  int m = 0;
  for (double t = a; t < 1.0; t *= 10.0) m++;
  return digits - 1 + m;
}

/* Removes trailing zeros of the fraction that ends at end (exclusive);
** keepOne leaves one digit after the point, otherwise the point goes too. */
void TrimFraction(std::string& text, size_t end, bool keepOne) {
  size_t point = text.find('.');
  if (point == std::string::npos || point >= end) return;
  size_t last = end;
  while (last > point + 1 && text[last - 1] == '0') last--;
  if (last == point + 1) last = keepOne ? point + 2 : point;
  text.erase(last, end - last);
}

/* "e+06" -> "e+6", "e-100" stays; at least one exponent digit is kept. */
void TrimExponentZeros(std::string& text) {
  size_t e = text.find('e');
  if (e == std::string::npos || e + 1 >= text.size()) return;
  size_t first = e + 2;
  while (first + 1 < text.size() && text[first] == '0') text.erase(first, 1);
}

/* A "-" followed only by "0" and "." is dropped. */
void DropSignOfZero(std::string& text) {
  if (text.size() > 1 && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

std::string Utf8OfUtf16(const std::u16string& units) {
  std::string out;
  if (units.empty()) return out;
  ORVAstring wide = StringCreateUTF16(units.data(), int32_t(units.size()));
  StringRef narrow(StringConvertToTag(wide, kEncodingUTF8));
  StringRelease(wide);
  return std::string(StringView(narrow.get()));
}

/* The user locale's symbol, or fallback when the platform cannot tell. */
std::string LocaleSymbol(platform::LCTYPE type, const char* fallback) {
  char16_t buffer[16];
  int n = platform::GetLocaleInfoW(platform::LOCALE_USER_DEFAULT, type, buffer, 16);
  if (n <= 0) return fallback;
  return Utf8OfUtf16(std::u16string(buffer, size_t(n - 1)));
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
}

ORVAstring Decimal(const char* format, ...) __attribute__((format(printf, 1, 2)));
ORVAstring Decimal(const char* format, ...) {
  char text[32];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return NumberTextString(text);
}

ORVAstring RadixString(uint64_t value, int bitsPerDigit) {
  return NumberTextString(RadixDigits(value, bitsPerDigit));
}

} // namespace

std::string FixedNotation(double x, int decimals) { return ToChars(x, std::chars_format::fixed, decimals); }

std::string ExponentNotation(double x, int decimals) {
  return ToChars(x, std::chars_format::scientific, decimals);
}

std::string FormatGeneralNumber(double x, int digits, FractionTrim trim) {
  assert(digits >= 1);
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
  if (x == 0.0) x = 0.0; /* -0 prints as 0 */
  const bool keepOne = trim == FractionTrim::kKeepOneDigit;
  const double a = std::fabs(x);
  std::string text;
  if (a == 0.0 || (a >= 1e-5 && a <= 1e6)) {
    text = FixedNotation(x, FixedDecimals(a, digits));
    TrimFraction(text, text.size(), keepOne);
  } else {
    text = ExponentNotation(x, digits - 1);
    if (keepOne) TrimFraction(text, text.find('e'), true);
    TrimExponentZeros(text);
  }
  DropSignOfZero(text);
  return text;
}

std::string FormatCurrencyText(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? 0 - uint64_t(scaled) : uint64_t(scaled);
  char text[32];
  snprintf(text, sizeof text, "%s%" PRIu64 ".%04u", negative ? "-" : "", magnitude / 10000,
           unsigned(magnitude % 10000));
  std::string out(text);
  TrimFraction(out, out.size(), false);
  return out;
}

std::string RadixDigits(uint64_t value, int bitsPerDigit) {
  assert(bitsPerDigit == 1 || bitsPerDigit == 3 || bitsPerDigit == 4);
  static const char kDigits[] = "0123456789ABCDEF";
  const uint64_t mask = (uint64_t(1) << bitsPerDigit) - 1;
  char text[65];
  int at = 65;
  do {
    text[--at] = kDigits[value & mask];
    value >>= bitsPerDigit;
  } while (value != 0);
  return std::string(text + at, size_t(65 - at));
}

int32_t RoundRealToInt32(double x) {
  double r = std::nearbyint(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return INT32_MIN;
  return int32_t(r);
}

NumberSeparators UserNumberSeparators() {
  return NumberSeparators{LocaleSymbol(platform::LOCALE_SDECIMAL, "."),
                          LocaleSymbol(platform::LOCALE_STHOUSAND, ",")};
}

std::string NumberTextBytes(ORVAstring s) {
  if (!s) return std::string();
  StringRef utf8(StringConvertToTag(s, kEncodingUTF8));
  if (utf8.empty()) return std::string(StringView(s)); /* not convertible: the bytes as they are */
  return std::string(StringView(utf8.get()));
}

ORVAstring NumberTextString(std::string_view text) {
  uint32_t tag = kEncodingASCII;
  for (unsigned char c : text) {
    if (c >= 0x80) tag = kEncodingUTF8;
  }
  return StringCreate(text, tag);
}

int64_t ScanLongText(std::string_view t) {
  if (t.empty()) return 0;
  unsigned base = 10;
  size_t i = 0;
  bool negative = false;
  if (t[0] == '&') {
    char kind = t.size() > 1 ? char(t[1] | 0x20) : '\0';
    if (kind == 'b') base = 2;
    else if (kind == 'h') base = 16;
    else if (kind == 'o') base = 8;
    else return 0;
    i = 2;
  } else if (t[0] == '-') {
    negative = true;
    i = 1;
  }
  uint64_t value = 0;
  for (; i < t.size(); i++) {
    int d = DigitValue(t[i]);
    if (d >= int(base)) break;
    value = value * base + unsigned(d);
  }
  return int64_t(negative ? 0 - value : value);
}

} // namespace quendal

using namespace quendal;

/* ---- numbers to text ------------------------------------------------------- */

ORVAstring StringStrInt8(int8_t value) { return Decimal("%ld", long(value)); }
ORVAstring StringStrInt16(int16_t value) { return Decimal("%ld", long(value)); }
ORVAstring StringStrInt32(int32_t value) { return Decimal("%ld", long(value)); }
ORVAstring StringStrUInt8(uint8_t value) { return Decimal("%ld", long(value)); }
ORVAstring StringStrUInt16(uint16_t value) { return Decimal("%ld", long(value)); }
ORVAstring StringStrUInt32(uint32_t value) { return Decimal("%" PRIu32, value); }
ORVAstring StringStrInt64(int64_t value) { return Decimal("%" PRId64, value); }
ORVAstring StringStrUInt64(uint64_t value) { return Decimal("%" PRIu64, value); }

ORVAstring StringStrSingle(float value) { return NumberTextString(FormatGeneralNumber(value, 7)); }
ORVAstring StringStrDouble(double value) { return NumberTextString(FormatGeneralNumber(value, 7)); }
ORVAstring StringStrCurrency(int64_t value) { return NumberTextString(FormatCurrencyText(value)); }

/* ---- hexadecimal, octal, binary ---------------------------------------------- */

#define QUENDAL_RADIX_FAMILY(Prefix, bits)                                                         \
  ORVAstring Prefix(int32_t value) { return RadixString(uint32_t(value), bits); }                 \
  ORVAstring Prefix##Int8(int8_t value) { return RadixString(uint8_t(value), bits); }             \
  ORVAstring Prefix##UInt8(uint8_t value) { return RadixString(value, bits); }                    \
  ORVAstring Prefix##Int16(int16_t value) { return RadixString(uint16_t(value), bits); }          \
  ORVAstring Prefix##UInt16(uint16_t value) { return RadixString(value, bits); }                  \
  ORVAstring Prefix##UInt32(uint32_t value) { return RadixString(value, bits); }                  \
  ORVAstring Prefix##Int64(int64_t value) { return RadixString(uint64_t(value), bits); }          \
  ORVAstring Prefix##UInt64(uint64_t value) { return RadixString(value, bits); }                  \
  ORVAstring Prefix##Single(float value) { return RadixString(uint32_t(RoundRealToInt32(value)), bits); } \
  ORVAstring Prefix##Double(double value) { return RadixString(uint32_t(RoundRealToInt32(value)), bits); }

QUENDAL_RADIX_FAMILY(RuntimeHex, 4)
QUENDAL_RADIX_FAMILY(RuntimeOct, 3)
QUENDAL_RADIX_FAMILY(RuntimeBin, 1)

#undef QUENDAL_RADIX_FAMILY

/* ---- text to numbers ----------------------------------------------------------- */

double StringVal(ORVAstring s) { return ScanNumberLenient(NumberTextBytes(s)); }

double runCDbl(ORVAstring s) {
  if (!s) return 0;
  std::string text = NumberTextBytes(s);
  NumberSeparators separators = UserNumberSeparators();
  if (separators.thousands != separators.decimal) ReplaceAll(text, separators.thousands, "");
  if (separators.decimal != ".") ReplaceAll(text, separators.decimal, ".");
  return ScanNumberLenient(text);
}

int64_t runCLong(ORVAstring s) { return ScanLongText(NumberTextBytes(s)); }
