/*
** Number text: the exported conversions between numbers and text that take
** and return plain numbers and strings (Str of every numeric type,
** hexadecimal, octal and binary text, Val, CDbl, CLng; the picture format
** is number_format.h), and the formatting helpers the variant conversions
** share.
**
** Ownership: string arguments are borrowed; a returned string carries one
** reference owned by the caller.  Texts made here are tagged
** kEncodingASCII; a text that holds a locale separator or a picture
** literal outside ASCII is tagged kEncodingUTF8.  Nothing here raises: a
** text that is not a number reads as 0, and out-of-range values are
** printed as their bits allow.
**
** General number format (Str of Single and Double, digits d = 7):
**   1. -0 prints as 0; NaN as "NaN"; infinities as "Inf" and "-Inf".
**   2. With a = |x|: fixed notation when 1e-5 <= a <= 1e6 or a = 0, else
**      scientific.
**   3. Fixed: for a >= 1, k counts how often a divides by 10 while >= 10
**      and the value prints with d - k decimals; for a < 1 it prints with
**      d - 1 + m decimals, m being how often a must be multiplied by 10 to
**      reach 1, so that small values keep d significant digits (0.0001234567
**      is "0.0001234567", not "0.0001235").  Then trailing "0"s go, and then
**      a trailing ".".
**   4. Scientific: d - 1 decimals in exponent notation; the exponent loses
**      its leading zeros ("1.234567e+06" becomes "1.234567e+6"); trailing
**      zeros of the mantissa stay.
**   5. A "-" followed only by "0"s and "." is dropped.
** Digits are exact (the correctly rounded decimal form of the binary
** value) and never depend on the process locale: "." is the point.
**
** Currency text (StringStrCurrency) is exact: the scaled 64-bit value's
** integer part, then up to four decimals without trailing zeros.
**
** Hexadecimal, octal and binary text: the unsigned value of the argument's
** own width (an 8-bit -1 is "FF"), no leading zeros, "0" for zero, upper
** case digits.  Single and Double are first rounded to the nearest 32-bit
** integer (half to even, as the processor rounds); NaN and values outside
** the Int32 range become -2^31 (the processor's "integer indefinite").
**
** Text to numbers: StringVal is the lenient scan of number_scan.h over the
** string's bytes (text of the UTF-16 family, or of another encoding with
** bytes above 0x7F, is converted to UTF-8 first).  runCDbl first removes
** the user locale's thousands separator and turns its decimal separator
** into ".".  runCLong reads a 64-bit integer: "&b", "&h" or "&o" (either
** case) selects base 2, 16 or 8 and "&" with anything else gives 0; a
** leading "-" negates a decimal number; digits are read up to the first
** character that is not a digit of the base (wrapping modulo 2^64); no
** white space or "+" is skipped.
*/
#ifndef QUENDAL_TEXT_NUMBER_TEXT_H
#define QUENDAL_TEXT_NUMBER_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/string_record.h"

namespace quendal {

/* How the fraction of a fixed (and of a scientific mantissa) is trimmed:
** kAllZeros removes every trailing zero and then the point (Str);
** kKeepOneDigit keeps one digit after the point ("100.0"), the text of a
** real number inside a variant, whose scientific mantissa is trimmed the
** same way ("1.0e+20"). */
enum class FractionTrim { kAllZeros, kKeepOneDigit };

/* The general number format above with digits significant digits. */
std::string FormatGeneralNumber(double x, int digits, FractionTrim trim = FractionTrim::kAllZeros);

/* The exact decimal text of a Currency value (scaled by 10000). */
std::string FormatCurrencyText(int64_t scaled);

/* x printed with exactly decimals decimals ("%.*f" and "%.*e" in the C
** locale). */
std::string FixedNotation(double x, int decimals);
std::string ExponentNotation(double x, int decimals);

/* Digits of value in base 2^bitsPerDigit (1, 3 or 4), upper case. */
std::string RadixDigits(uint64_t value, int bitsPerDigit);

/* Nearest Int32 (half to even); NaN and out-of-range give INT32_MIN. */
int32_t RoundRealToInt32(double x);

/* The user locale's separators as UTF-8 (LOCALE_SDECIMAL, LOCALE_STHOUSAND);
** "." and "," when the platform cannot tell. */
struct NumberSeparators {
  std::string decimal;
  std::string thousands;
};
NumberSeparators UserNumberSeparators();

/* The bytes a number scan reads from s (see above). */
std::string NumberTextBytes(ORVAstring s);

/* A new string of text tagged kEncodingASCII, or kEncodingUTF8 when text
** has a byte above 0x7F; null for an empty text.  Owned. */
ORVAstring NumberTextString(std::string_view text);

/* The 64-bit integer of runCLong, from bytes. */
int64_t ScanLongText(std::string_view text);

} // namespace quendal

extern "C" {

/* ---- numbers to text ---- */
ORVAstring StringStrInt8(int8_t value);
ORVAstring StringStrInt16(int16_t value);
ORVAstring StringStrInt32(int32_t value);
ORVAstring StringStrUInt8(uint8_t value);
ORVAstring StringStrUInt16(uint16_t value);
ORVAstring StringStrUInt32(uint32_t value);
ORVAstring StringStrInt64(int64_t value);
ORVAstring StringStrUInt64(uint64_t value);
ORVAstring StringStrSingle(float value);
ORVAstring StringStrDouble(double value);
ORVAstring StringStrCurrency(int64_t value);

ORVAstring RuntimeHex(int32_t value);
ORVAstring RuntimeHexInt8(int8_t value);
ORVAstring RuntimeHexUInt8(uint8_t value);
ORVAstring RuntimeHexInt16(int16_t value);
ORVAstring RuntimeHexUInt16(uint16_t value);
ORVAstring RuntimeHexUInt32(uint32_t value);
ORVAstring RuntimeHexInt64(int64_t value);
ORVAstring RuntimeHexUInt64(uint64_t value);
ORVAstring RuntimeHexSingle(float value);
ORVAstring RuntimeHexDouble(double value);
ORVAstring RuntimeOct(int32_t value);
ORVAstring RuntimeOctInt8(int8_t value);
ORVAstring RuntimeOctUInt8(uint8_t value);
ORVAstring RuntimeOctInt16(int16_t value);
ORVAstring RuntimeOctUInt16(uint16_t value);
ORVAstring RuntimeOctUInt32(uint32_t value);
ORVAstring RuntimeOctInt64(int64_t value);
ORVAstring RuntimeOctUInt64(uint64_t value);
ORVAstring RuntimeOctSingle(float value);
ORVAstring RuntimeOctDouble(double value);
ORVAstring RuntimeBin(int32_t value);
ORVAstring RuntimeBinInt8(int8_t value);
ORVAstring RuntimeBinUInt8(uint8_t value);
ORVAstring RuntimeBinInt16(int16_t value);
ORVAstring RuntimeBinUInt16(uint16_t value);
ORVAstring RuntimeBinUInt32(uint32_t value);
ORVAstring RuntimeBinInt64(int64_t value);
ORVAstring RuntimeBinUInt64(uint64_t value);
ORVAstring RuntimeBinSingle(float value);
ORVAstring RuntimeBinDouble(double value);

/* ---- text to numbers ---- */
double StringVal(ORVAstring s);
double runCDbl(ORVAstring s);
int64_t runCLong(ORVAstring s);

} // extern "C"

#endif
