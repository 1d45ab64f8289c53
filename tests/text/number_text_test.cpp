/*
** Number text: Str of every kind, hexadecimal/octal/binary text, Val, CDbl
** and CLng, the picture format and the backslash escapes; and the round
** trip Val(Str(x)) over a million doubles of every magnitude.
*/
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "runtime/text/backslash_escapes.h"
#include "runtime/text/number_format.h"
#include "runtime/text/number_text.h"
#include "tests/support/scoped_locale.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

/* The text of an owned result, which must be tagged ASCII. */
std::string Ascii(ORVAstring owned) {
  StringRef r(owned);
  if (!r.empty()) {
    EXPECT_EQ(r.encoding(), kEncodingASCII) << StringView(r.get());
  }
  return std::string(StringView(r.get()));
}

std::string Format(double value, std::string_view picture) {
  return Take(StringFormat(value, Make(picture, kEncodingASCII).get()));
}

} // namespace

TEST(NumberText, StrOfRealsUsesSevenDigitsAndSwitchesToExponents) {
  EXPECT_EQ(Ascii(StringStrDouble(123.456)), "123.456");
  EXPECT_EQ(Ascii(StringStrDouble(1234567)), "1.234567e+6");
  EXPECT_EQ(Ascii(StringStrDouble(1000000)), "1000000") << "1e6 is still fixed";
  EXPECT_EQ(Ascii(StringStrDouble(0.00001)), "0.00001");
  EXPECT_EQ(Ascii(StringStrDouble(0.000001)), "1.000000e-6") << "mantissa zeros stay";
  EXPECT_EQ(Ascii(StringStrDouble(-0.0)), "0");
  EXPECT_EQ(Ascii(StringStrDouble(100)), "100");
  EXPECT_EQ(Ascii(StringStrDouble(-2.5)), "-2.5");
  EXPECT_EQ(Ascii(StringStrDouble(1e100)), "1.000000e+100");
  EXPECT_EQ(Ascii(StringStrDouble(-1.5e-300)), "-1.500000e-300");
  EXPECT_EQ(Ascii(StringStrDouble(0.0001234567)), "0.0001234567") << "small values keep 7 digits";
  EXPECT_EQ(Ascii(StringStrDouble(9.99999999)), "10");
  EXPECT_EQ(Ascii(StringStrDouble(std::nan(""))), "NaN");
  EXPECT_EQ(Ascii(StringStrDouble(-INFINITY)), "-Inf");
  EXPECT_EQ(Ascii(StringStrSingle(0.1f)), "0.1") << "a Single prints its 7 digits, not its binary tail";
}

TEST(NumberText, StrOfIntegersAndCurrency) {
  EXPECT_EQ(Ascii(StringStrInt8(-128)), "-128");
  EXPECT_EQ(Ascii(StringStrUInt8(255)), "255");
  EXPECT_EQ(Ascii(StringStrInt16(-32768)), "-32768");
  EXPECT_EQ(Ascii(StringStrUInt16(65535)), "65535");
  EXPECT_EQ(Ascii(StringStrInt32(INT32_MIN)), "-2147483648");
  EXPECT_EQ(Ascii(StringStrUInt32(UINT32_MAX)), "4294967295");
  EXPECT_EQ(Ascii(StringStrInt64(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(Ascii(StringStrUInt64(UINT64_MAX)), "18446744073709551615");
  EXPECT_EQ(Ascii(StringStrCurrency(12345)), "1.2345");
  EXPECT_EQ(Ascii(StringStrCurrency(10000)), "1");
  EXPECT_EQ(Ascii(StringStrCurrency(-5000)), "-0.5");
  EXPECT_EQ(Ascii(StringStrCurrency(1)), "0.0001");
  EXPECT_EQ(Ascii(StringStrCurrency(0)), "0");
  EXPECT_EQ(Ascii(StringStrCurrency(INT64_MIN)), "-922337203685477.5808") << "exact at the extremes";
  EXPECT_EQ(Ascii(StringStrCurrency(12345678901234567)), "1234567890123.4567");
}

TEST(NumberText, HexOctBinPrintTheUnsignedValueOfTheOwnWidth) {
  EXPECT_EQ(Ascii(RuntimeHexInt8(-1)), "FF");
  EXPECT_EQ(Ascii(RuntimeHexInt16(-2)), "FFFE");
  EXPECT_EQ(Ascii(RuntimeHex(-1)), "FFFFFFFF");
  EXPECT_EQ(Ascii(RuntimeHexInt64(-1)), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Ascii(RuntimeHex(0)), "0");
  EXPECT_EQ(Ascii(RuntimeHexUInt32(0xABCDEF)), "ABCDEF");
  EXPECT_EQ(Ascii(RuntimeOct(8)), "10");
  EXPECT_EQ(Ascii(RuntimeOctUInt64(UINT64_MAX)), "1777777777777777777777");
  EXPECT_EQ(Ascii(RuntimeBinUInt8(5)), "101");
  EXPECT_EQ(Ascii(RuntimeBinDouble(2.6)), "11") << "reals round to the nearest Int32 first";
  EXPECT_EQ(Ascii(RuntimeHexDouble(2.5)), "2") << "halves round to even";
  EXPECT_EQ(Ascii(RuntimeHexSingle(-1.0f)), "FFFFFFFF");
  EXPECT_EQ(Ascii(RuntimeHexDouble(1e20)), "80000000") << "out of range is the integer indefinite";
  EXPECT_EQ(Ascii(RuntimeHexDouble(std::nan(""))), "80000000");
}

TEST(NumberText, ValReadsTheLongestNumberPrefix) {
  EXPECT_EQ(StringVal(Make("&hFF").get()), 255);
  EXPECT_EQ(StringVal(Make(" 12abc").get()), 12);
  EXPECT_EQ(StringVal(Make("abc").get()), 0);
  EXPECT_EQ(StringVal(nullptr), 0);
  EXPECT_EQ(StringVal(Make("-1.5e3x").get()), -1500);
  EXPECT_EQ(StringVal(Make("&o17").get()), 15);
  EXPECT_EQ(StringVal(Wide(u" 2.25").get()), 2.25) << "UTF-16 text is read as characters";
  EXPECT_EQ(StringVal(Make("1,5").get()), 1) << "Val never uses the locale";
}

TEST(NumberText, CLongReadsBasesAndStopsAtTheFirstNonDigit) {
  EXPECT_EQ(runCLong(Make("&hff").get()), 255);
  EXPECT_EQ(runCLong(Make("-12x").get()), -12);
  EXPECT_EQ(runCLong(Make(" 12").get()), 0) << "no white space is skipped";
  EXPECT_EQ(runCLong(Make("+5").get()), 0);
  EXPECT_EQ(runCLong(Make("&B101").get()), 5);
  EXPECT_EQ(runCLong(Make("&O777").get()), 511);
  EXPECT_EQ(runCLong(Make("&z1").get()), 0);
  EXPECT_EQ(runCLong(Make("&").get()), 0);
  EXPECT_EQ(runCLong(Make("&h8").get()), 8) << "a digit of another base stops nothing in base 16";
  EXPECT_EQ(runCLong(Make("&o8").get()), 0);
  EXPECT_EQ(runCLong(Make("9223372036854775807").get()), INT64_MAX) << "exact beyond 2^53";
  EXPECT_EQ(runCLong(Make("&hFFFFFFFFFFFFFFFF").get()), -1);
  EXPECT_EQ(runCLong(Wide(u"42").get()), 42);
  EXPECT_EQ(runCLong(nullptr), 0);
}

TEST(NumberText, CDblFollowsTheLocaleSeparators) {
  {
    ScopedLocale locale("en_US.UTF-8");
    EXPECT_EQ(runCDbl(Make("1,234.5").get()), 1234.5);
  }
  {
    ScopedLocale locale("de_DE.UTF-8");
    EXPECT_EQ(runCDbl(Make("1.234,5").get()), 1234.5);
    EXPECT_EQ(StringVal(Make("1.234,5").get()), 1.234) << "Val is not localised";
  }
}

TEST(NumberText, EscapesEncodeControlsQuotesAndHighBytes) {
  const char bytes[] = {0x00, 0x7F};
  EXPECT_EQ(Ascii(EncodeBackslashEscape(bytes, 2)), "\\x00\\x7F");
  EXPECT_EQ(Ascii(EncodeBackslashEscapeString(Make("\a\b\t\n\v\f\r\"'?\\ ~").get())),
            "\\a\\b\\t\\n\\v\\f\\r\\\"\\'\\?\\\\ ~");
  EXPECT_EQ(Ascii(EncodeBackslashEscapeString(Make("\xC3\xA9").get())), "\\xC3\\xA9");
  EXPECT_EQ(EncodeBackslashEscape(nullptr, 5), nullptr);
  EXPECT_EQ(EncodeBackslashEscapeString(nullptr), nullptr);
}

TEST(NumberText, EscapesDecodeEveryByteBackAndNeverReadPastTheText) {
  std::string all;
  for (int b = 0; b < 256; b++) all += char(b);
  StringRef encoded(EncodeBackslashEscape(all.data(), int32_t(all.size())));
  StringRef decoded(DecodeBackslashEscapeString(encoded.get()));
  EXPECT_EQ(decoded.encoding(), kEncodingUTF8);
  EXPECT_EQ(StringView(decoded.get()), all);

  auto decode = [](std::string_view text) {
    return Take(DecodeBackslashEscape(text.data(), int32_t(text.size())));
  };
  EXPECT_EQ(decode("\\x4"), "\x04") << "a short \\x at the end takes what is there";
  EXPECT_EQ(decode("\\x"), std::string(1, '\0'));
  EXPECT_EQ(decode("a\\"), "a\\") << "a final backslash stays";
  EXPECT_EQ(decode("\\q\\x4G"), std::string("q\x40", 2)) << "the two characters after x are consumed";
  EXPECT_EQ(decode("\\'\\?"), "'?");
  EXPECT_EQ(decode(""), "");
}

TEST(NumberFormat, PlaceholdersGroupingAndDecimals) {
  ScopedLocale locale("en_US.UTF-8");
  EXPECT_EQ(Format(1234.5, "#,##0.00"), "1,234.50");
  EXPECT_EQ(Format(1234567, "#,###"), "1,234,567");
  EXPECT_EQ(Format(7, "000"), "007");
  EXPECT_EQ(Format(5, "0,000"), "0,005");
  EXPECT_EQ(Format(12345, "##"), "12345") << "surplus digits go to the leftmost place";
  EXPECT_EQ(Format(0.5, "#.##"), ".5");
  EXPECT_EQ(Format(0.5, "0.##"), "0.5");
  EXPECT_EQ(Format(5, "#.##"), "5") << "no point without a fraction digit";
  EXPECT_EQ(Format(2.675, "0.0"), "2.7");
  EXPECT_EQ(Format(12.5, ".00"), "12.50") << "integer digits without a place go before the point";
  EXPECT_EQ(Format(0.256, "0.0%"), "25.6%");
  EXPECT_EQ(Format(3, "\\#0 \"x\""), "#3 \"x\"");
  EXPECT_EQ(Format(3, "abc"), "abc") << "a section of literals prints no number";
  EXPECT_EQ(Format(3, "# items"), "3 items") << "an e that starts no exponent is a letter";
  EXPECT_EQ(Format(1.5, ""), "1.5") << "an empty picture is Str";
}

TEST(NumberFormat, SectionsSignsAndExponents) {
  ScopedLocale locale("en_US.UTF-8");
  EXPECT_EQ(Format(-1234.5, "#,##0.00;(#,##0.00)"), "(1,234.50)");
  EXPECT_EQ(Format(0, "#;-#;zero"), "zero");
  EXPECT_EQ(Format(0, "#.0;-#.0"), ".0") << "zero without a third section uses the first";
  EXPECT_EQ(Format(-5, "#\\;x;neg"), "neg") << "an escaped ; separates nothing";
  EXPECT_EQ(Format(-5, "#"), "-5") << "the sign survives a picture without one";
  EXPECT_EQ(Format(-0.001, "0.00"), "0.00") << "but not a value that rounds to zero";
  EXPECT_EQ(Format(5, "+#"), "+5");
  EXPECT_EQ(Format(-5, "+#"), "-5");
  EXPECT_EQ(Format(5, "-#"), "5");
  EXPECT_EQ(Format(1234.5, "Scientific"), "1.234500E+3");
  EXPECT_EQ(Format(-1234.5, "scientific"), "-1.234500E+3");
  EXPECT_EQ(Format(12345, "0.00e+00"), "1.23e+04");
  EXPECT_EQ(Format(0.00012, "0.0E-0"), "1.2E-4");
  EXPECT_EQ(Format(std::nan(""), "#.##"), "NaN");
}

TEST(NumberFormat, UsesTheLocaleSeparators) {
  ScopedLocale locale("de_DE.UTF-8");
  EXPECT_EQ(Format(1234.5, "#,##0.00"), "1.234,50");
}

/* Val(Str(x)) gives x back to 7 significant digits, for doubles of every
** binary exponent, normal and subnormal (fixed seed, so a failure repeats). */
TEST(NumberTextProperty, ValOfStrKeepsSevenSignificantDigits) {
  std::mt19937_64 random(20240611);
  int checked = 0;
  for (int i = 0; i < 1000000; i++) {
    uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    StringRef text(StringStrDouble(x));
    double back = StringVal(text.get());
    double magnitude = std::fabs(x);
    double unit = magnitude == 0 ? 0 : std::pow(10.0, std::floor(std::log10(magnitude)) - 6);
    double allowed = std::max(0.5000001 * unit, 5e-324);
    ASSERT_LE(std::fabs(back - x), allowed) << StringView(text.get()) << " for " << x;
    checked++;
  }
  EXPECT_GT(checked, 990000);
}
