/*
** National-language services: code page conversion, lead bytes, case
** mapping, character types and collation.
**
** Byte strings are written as hex escapes so that the test does not depend
** on the encoding of this source file.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/nls.h"
#include "runtime/base/unicode_case.h"

namespace quendal::platform {
namespace {

/* MultiByteToWideChar through a size query; nullopt on failure. */
std::optional<std::u16string> Widen(UINT cp, const std::string& bytes, DWORD flags = 0) {
  const int n =
      MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::u16string out(static_cast<size_t>(n), u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()),
                                   out.data(), n));
  return out;
}

std::optional<std::string> Narrow(UINT cp, const std::u16string& text, DWORD flags = 0,
                                  const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
  const int n = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, defaultChar, usedDefault);
  if (n == 0) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()),
                                   out.data(), n, defaultChar, usedDefault));
  return out;
}

std::string Upper(UINT cp, std::string text) {
  EXPECT_EQ(text.size(), CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()), cp));
  return text;
}

std::string Lower(UINT cp, std::string text) {
  EXPECT_EQ(text.size(), CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()), cp));
  return text;
}

std::vector<WORD> TypesA(UINT cp, const std::string& bytes) {
  std::vector<WORD> types(bytes.size(), 0xFFFF);
  EXPECT_TRUE(GetStringTypeInCodePageA(cp, CT_CTYPE1, bytes.data(), static_cast<int>(bytes.size()),
                                       types.data()));
  return types;
}

WORD TypeW(char16_t c) {
  WORD t = 0xFFFF;
  EXPECT_TRUE(GetStringTypeW(CT_CTYPE1, &c, 1, &t));
  return t;
}

int Compare(DWORD flags, const std::u16string& a, const std::u16string& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size()));
}

/* Sets the locale variables for one test and puts the old values back. */
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) {
      const char* v = std::getenv(kNames[i]);
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
      unsetenv(kNames[i]);
    }
  }
  ~LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  void Set(const char* name, const char* value) { setenv(name, value, 1); }

 private:
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::optional<std::string> saved_[3];
};

/* ---- ANSI code page and the catalogue ---------------------------------- */

TEST(NlsCodePages, AnsiCodePageFollowsTheLocaleEnvironment) {
  LocaleEnvironment env;
  EXPECT_EQ(1252u, GetACP());
  env.Set("LANG", "en_US.UTF-8");
  EXPECT_EQ(65001u, GetACP());
  EXPECT_EQ(65001u, GetOEMCP());
  env.Set("LC_ALL", "C");  // LC_ALL outranks LANG
  EXPECT_EQ(1252u, GetACP());
  EXPECT_EQ(437u, GetOEMCP());
  env.Set("LC_ALL", "");  // empty counts as unset
  env.Set("LC_CTYPE", "de_DE.utf8@euro");
  EXPECT_EQ(65001u, GetACP());
  env.Set("LC_CTYPE", "ja_JP.eucJP");
  EXPECT_EQ(1252u, GetACP());
  env.Set("LC_CTYPE", "C.UTF8");
  EXPECT_EQ(65001u, GetACP());
  env.Set("LC_CTYPE", "en_US.UTF-16");
  EXPECT_EQ(1252u, GetACP());
}

TEST(NlsCodePages, EveryCatalogueCodePageIsServedUnlessListedAsUnsupported) {
  const UINT catalogue[] = {
      10000, 10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008, 10010, 10017, 10021,
      10029, 10079, 10081, 10082, 28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598,
      28599, 28600, 28601, 28603, 28604, 28605, 28606, 708,   437,   737,   775,   850,
      851,   852,   855,   857,   860,   861,   862,   863,   864,   865,   866,   869,
      874,   1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  20866, 21866,
      932,   936,   949,   950,   1361,  51932, 20932, 50220, 50221, 50222, 51936, 54936,
      52936, 65000, 65001, 1200,  1201,  12000, 12001, 20127, 37};
  std::vector<UINT> unsupported;
  for (UINT cp : catalogue) {
    if (!IsValidCodePage(cp)) {
      unsupported.push_back(cp);
      continue;
    }
    /* A served code page converts both ways ("A" is 0xC1 in EBCDIC). */
    const std::optional<std::string> bytes = Narrow(cp, u"A");
    ASSERT_TRUE(bytes.has_value()) << cp;
    EXPECT_EQ(u"A", Widen(cp, *bytes).value_or(u"")) << cp;
  }
  std::string list;
  for (UINT cp : unsupported) list += std::to_string(cp) + " ";
  RecordProperty("unsupported_code_pages", list);
  EXPECT_EQ(std::vector<UINT>(std::begin(kCodePagesWithoutConverter),
                              std::end(kCodePagesWithoutConverter)),
            unsupported)
      << "update kCodePagesWithoutConverter in nls.h";
}

TEST(NlsCodePages, PseudoAndUnknownCodePages) {
  EXPECT_FALSE(IsValidCodePage(CP_ACP));
  EXPECT_FALSE(IsValidCodePage(28602));  // ISO 8859-12 never existed
  EXPECT_FALSE(IsValidCodePage(12345));
  /* CP_ACP converts with the ANSI code page, whichever it is. */
  const std::u16string viaAcp = Widen(CP_ACP, "abc").value_or(u"");
  EXPECT_EQ(u"abc", viaAcp);
  EXPECT_EQ(u"\u00C4", Widen(CP_MACCP, "\x80").value_or(u""));  // Mac Roman
}

/* ---- conversions ------------------------------------------------------- */

TEST(NlsConvert, LatinOneAndUtf8RoundTrip) {
  EXPECT_EQ(u"\u00E9", Widen(1252, "\xE9").value_or(u""));
  EXPECT_EQ("\xC3\xA9", Narrow(65001, u"\u00E9").value_or(""));
  EXPECT_EQ(u"\u00E9", Widen(65001, "\xC3\xA9").value_or(u""));
  EXPECT_EQ("\xE9", Narrow(1252, u"\u00E9").value_or(""));
  EXPECT_EQ(u"\u20AC", Widen(1252, "\x80").value_or(u""));
  EXPECT_EQ(u"a\uFFFD", Widen(20127, "a\x80").value_or(u""));  // US-ASCII has 7 bits
  EXPECT_EQ(u"\u00E9", Widen(10000, "\x8E").value_or(u""));    // Mac Roman
  EXPECT_EQ("\x8E", Narrow(10000, u"\u00E9").value_or(""));
  /* A supplementary character is a surrogate pair in UTF-16. */
  EXPECT_EQ(u"\U0001F600", Widen(65001, "\xF0\x9F\x98\x80").value_or(u""));
  EXPECT_EQ("\xF0\x9F\x98\x80", Narrow(65001, u"\U0001F600").value_or(""));
}

TEST(NlsConvert, EveryByteOf1252SurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::optional<std::u16string> wide = Widen(1252, all, MB_ERR_INVALID_CHARS);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(u'\u0081', (*wide)[0x81]);  // undefined in 1252: the C1 control
  EXPECT_EQ(all, Narrow(1252, *wide, WC_ERR_INVALID_CHARS).value_or(""));
}

TEST(NlsConvert, SingleByteCombiningMarksStaySeparate) {
  /* 1258: 'a' then the combining grave 0xCC: two characters, not "à". */
  EXPECT_EQ(u"a\u0300", Widen(1258, "a\xCC").value_or(u""));
  EXPECT_EQ(u"\u00E0", Widen(1258, "\xE0").value_or(u""));
}

TEST(NlsConvert, SizeQueriesAndShortBuffers) {
  WCHAR wide[8];
  EXPECT_EQ(3, MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0));
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abc", 3, wide, 2));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  /* −1 takes the terminator along. */
  EXPECT_EQ(4, MultiByteToWideChar(1252, 0, "abc", -1, wide, 8));
  EXPECT_EQ(u'\0', wide[3]);

  char bytes[8];
  EXPECT_EQ(4, WideCharToMultiByte(65001, 0, u"\u00E9\u00E9", 2, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(0, WideCharToMultiByte(65001, 0, u"\u00E9\u00E9", 2, bytes, 3, nullptr, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(3, WideCharToMultiByte(65001, 0, u"\u00E9", -1, bytes, 8, nullptr, nullptr));
  EXPECT_EQ(std::string("\xC3\xA9", 3), std::string(bytes, 3));
  /* UTF-16 bytes end in a zero unit, not a zero byte. */
  EXPECT_EQ(3, MultiByteToWideChar(1200, 0, "A\0B\0\0\0", -1, wide, 8));
  EXPECT_EQ(u'B', wide[1]);
}

TEST(NlsConvert, BadArgumentsFail) {
  WCHAR wide[4];
  char bytes[4];
  BOOL used = false;
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "a", 0, wide, 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, nullptr, 1, wide, 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "a", 1, nullptr, 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(12345, 0, "a", 1, wide, 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(10001, 0, "a", 1, wide, 4));  // no converter
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(1252, MB_COMPOSITE, "a", 1, wide, 4));
  EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError());
  EXPECT_EQ(0, WideCharToMultiByte(1252, WC_COMPOSITECHECK, u"a", 1, bytes, 4, nullptr, nullptr));
  EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError());
  EXPECT_EQ(0, WideCharToMultiByte(65001, 0, u"a", 1, bytes, 4, nullptr, &used));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, WideCharToMultiByte(1252, 0, u"a", -2, bytes, 4, nullptr, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST(NlsConvert, InvalidUtf8BecomesReplacementsOrFails) {
  /* Each bad byte is one U+FFFD: a stray continuation, a truncated
  ** sequence (two bytes), an overlong form, an encoded surrogate. */
  EXPECT_EQ(u"a\uFFFDb", Widen(65001,
                               "a\x80"
                               "b")
                             .value_or(u""));
  EXPECT_EQ(u"a\uFFFD\uFFFD", Widen(65001, "a\xE6\x97").value_or(u""));
  EXPECT_EQ(u"\uFFFD\uFFFD", Widen(65001, "\xC0\xAF").value_or(u""));
  EXPECT_EQ(u"\uFFFD\uFFFD\uFFFD", Widen(65001, "\xED\xA0\x80").value_or(u""));
  WCHAR wide[8];
  EXPECT_EQ(0, MultiByteToWideChar(65001, MB_ERR_INVALID_CHARS, "a\x80", 2, wide, 8));
  EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(65001, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0));
  EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
}

TEST(NlsConvert, UnmappableCharactersGoingOut) {
  BOOL used = false;
  EXPECT_EQ("a?", Narrow(1252, u"a\u0100", 0, nullptr, &used).value_or(""));  // no best fit
  EXPECT_TRUE(used);
  EXPECT_EQ("ab", Narrow(1252, u"ab", 0, nullptr, &used).value_or(""));
  EXPECT_FALSE(used);
  EXPECT_EQ("*", Narrow(1252, u"\U0001F600", 0, "*", &used).value_or(""));  // one pair, one char
  EXPECT_EQ("\x81\x48", Narrow(932, u"\u00E9", 0, "\x81\x48", &used).value_or(""));
  EXPECT_EQ(std::nullopt, Narrow(1252, u"\u0100", WC_ERR_INVALID_CHARS));
  EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
  /* A lone surrogate: U+FFFD in UTF-8, a failure when asked to fail. */
  EXPECT_EQ("\xEF\xBF\xBD", Narrow(65001, u"\xD800").value_or(""));
  EXPECT_EQ(std::nullopt, Narrow(65001, u"\xDC00", WC_ERR_INVALID_CHARS));
}

TEST(NlsConvert, EastAsianDoubleByteRoundTrips) {
  const std::u16string japanese = u"\u65E5\u672C\u8A9E";  // 日本語
  EXPECT_EQ(japanese, Widen(932, "\x93\xFA\x96\x7B\x8C\xEA").value_or(u""));
  EXPECT_EQ("\x93\xFA\x96\x7B\x8C\xEA", Narrow(932, japanese).value_or(""));
  EXPECT_EQ(u"\uFF71", Widen(932, "\xB1").value_or(u""));  // half-width katakana: one byte
  const std::u16string korean = u"\uD55C\uAD6D\uC5B4";     // 한국어
  EXPECT_EQ(korean, Widen(949, "\xC7\xD1\xB1\xB9\xBE\xEE").value_or(u""));
  EXPECT_EQ("\xC7\xD1\xB1\xB9\xBE\xEE", Narrow(949, korean).value_or(""));
  EXPECT_EQ(korean, Widen(51949, "\xC7\xD1\xB1\xB9\xBE\xEE").value_or(u""));
  const std::u16string chinese = u"\u4E2D\u6587";  // 中文
  EXPECT_EQ(chinese, Widen(950, "\xA4\xA4\xA4\xE5").value_or(u""));
  EXPECT_EQ("\xA4\xA4\xA4\xE5", Narrow(950, chinese).value_or(""));
  EXPECT_EQ("\xD6\xD0\xCE\xC4", Narrow(936, chinese).value_or(""));
}

TEST(NlsConvert, BrokenDoubleByteSequences) {
  /* A lead byte with a byte that cannot trail it: the lead alone is bad,
  ** the next byte reads as itself. */
  EXPECT_EQ(u"\uFFFD a", Widen(932,
                               "\x81\x20"
                               "a")
                             .value_or(u""));
  EXPECT_EQ(u"a\uFFFD", Widen(932, "a\x93").value_or(u""));  // cut after a lead byte
  EXPECT_EQ(std::nullopt, Widen(932, "a\x93", MB_ERR_INVALID_CHARS));
  EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
}

TEST(NlsConvert, StatefulCodePages) {
  const std::u16string nihon = u"\u65E5\u672C";  // 日本
  EXPECT_EQ("+ZeVnLA-", Narrow(65000, nihon).value_or(""));
  EXPECT_EQ(nihon, Widen(65000, "+ZeVnLA-").value_or(u""));
  EXPECT_EQ("A+-B", Narrow(65000, u"A+B").value_or(""));
  EXPECT_EQ(u"A+B", Widen(65000, "A+-B").value_or(u""));
  EXPECT_EQ("a+//0-", Narrow(65000, u"a\xD800").value_or(""));  // lone surrogate: U+FFFD

  const std::string jis = "\x1B$BF|K\\\x1B(B";
  EXPECT_EQ(jis, Narrow(50220, nihon).value_or(""));
  EXPECT_EQ(nihon, Widen(50220, jis).value_or(u""));
  /* The default character is written in the initial (ASCII) state. */
  BOOL used = false;
  EXPECT_EQ("\x1B$BF|\x1B(B?", Narrow(50220, u"\u65E5\u00E9", 0, nullptr, &used).value_or(""));
  EXPECT_TRUE(used);
  EXPECT_EQ(u"\uFF71", Widen(50221, "\x1B(I1\x1B(B").value_or(u""));  // half-width katakana
}

TEST(NlsConvert, UnicodeByteCodePages) {
  EXPECT_EQ(u"A\u00E9", Widen(1201, std::string("\x00\x41\x00\xE9", 4)).value_or(u""));
  EXPECT_EQ(std::string("\x41\x00\xE9\x00", 4), Narrow(1200, u"A\u00E9").value_or(""));
  EXPECT_EQ(std::string("\x00\xF6\x01\x00", 4), Narrow(12000, u"\U0001F600").value_or(""));
  EXPECT_EQ(u"\U0001F600", Widen(12001, std::string("\x00\x01\xF6\x00", 4)).value_or(u""));
  EXPECT_EQ(u"A\uFFFD", Widen(1200, std::string("A\0B", 3)).value_or(u""));  // odd byte
  EXPECT_EQ(u"\uFFFD", Widen(12000, std::string("\x00\x00\x11\x00", 4)).value_or(u""));
}

/* ---- lead bytes -------------------------------------------------------- */

TEST(NlsLeadBytes, RangesOfTheDoubleByteCodePages) {
  struct Case {
    UINT cp;
    BYTE b;
    bool lead;
  } const cases[] = {
      {932, 0x80, false},   {932, 0x81, true},   {932, 0x9F, true},   {932, 0xA0, false},
      {932, 0xB1, false},   {932, 0xDF, false},  {932, 0xE0, true},   {932, 0xFC, true},
      {932, 0xFD, false},   {932, 0x41, false},  {10001, 0x88, true}, {936, 0x80, false},
      {936, 0x81, true},    {936, 0xFE, true},   {936, 0xFF, false},  {950, 0xA4, true},
      {1361, 0x84, true},   {1361, 0xD4, false}, {1361, 0xD8, true},  {1361, 0xDF, false},
      {1361, 0xF9, true},   {1361, 0xFA, false}, {1252, 0x81, false}, {65001, 0xE6, false},
      {54936, 0x81, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.lead, static_cast<bool>(IsDBCSLeadByteEx(c.cp, c.b))) << c.cp << " " << int(c.b);
  }
  EXPECT_TRUE(IsDBCSCodePage(949));
  EXPECT_TRUE(IsDBCSCodePage(10003));
  EXPECT_FALSE(IsDBCSCodePage(54936));
  EXPECT_FALSE(IsDBCSCodePage(65001));
  EXPECT_FALSE(IsDBCSCodePage(CP_ACP));  // the ANSI code page here is 1252 or 65001
}

/* ---- case mapping ------------------------------------------------------ */

TEST(NlsCase, SingleByteCodePages) {
  EXPECT_EQ("\xC0\xC9", Upper(1252, "\xE0\xE9"));  // àé -> ÀÉ
  EXPECT_EQ("\xE0\xE9", Lower(1252, "\xC0\xC9"));
  EXPECT_EQ("ABC-1", Upper(1252, "abc-1"));
  EXPECT_EQ("\x9F", Upper(1252, "\xFF"));          // ÿ -> Ÿ lives at 0x9F
  EXPECT_EQ("\xB5\xDF", Upper(1252, "\xB5\xDF"));  // µ and ß: no partner in 1252
  EXPECT_EQ("\x83", Upper(10000, "\x8E"));         // Mac Roman é -> É
  EXPECT_EQ("\xC1", Upper(37, "\x81"));            // EBCDIC a -> A
}

TEST(NlsCase, DoubleByteCharactersAreNeverTouched) {
  /* 0x83 0x61 (ヂ) has the trail byte 'a'; 0x82 0x81 is full-width 'ａ'. */
  EXPECT_EQ(
      "A\x83\x61\x82\x81"
      "B",
      Upper(932,
            "a\x83\x61\x82\x81"
            "b"));
  EXPECT_EQ("\x83\x41", Lower(932, "\x83\x41"));  // ア: trail 'A' stays
  EXPECT_EQ("\xB1z", Lower(932, "\xB1Z"));        // half-width katakana has no case
  EXPECT_EQ("a\x93", Lower(932, "A\x93"));        // a lead byte cut off at the end
}

TEST(NlsCase, Utf8KeepsItsLength) {
  EXPECT_EQ("\xC3\x89T\xC3\x89", Upper(65001, "\xC3\xA9t\xC3\xA9"));  // été -> ÉTÉ
  EXPECT_EQ(
      "A\x80"
      "B",
      Upper(65001,
            "a\x80"
            "b"));  // a stray byte stays
  /* ɐ (2 bytes) pairs with Ɐ (3 bytes): neither changes. */
  ASSERT_EQ(0x2C6Fu, UnicodeToUpper(0x0250));
  EXPECT_EQ("\xC9\x90", Upper(65001, "\xC9\x90"));
  EXPECT_EQ("\xE2\xB1\xAF", Lower(65001, "\xE2\xB1\xAF"));
}

TEST(NlsCase, OtherMultiByteCodePagesFollowCharacterBoundaries) {
  /* GB18030: 0x81 0x61 has the trail byte 'a'; ä and Ä take four bytes. */
  EXPECT_EQ("A\x81\x61\x81\x30\x87\x32", Upper(54936, "a\x81\x61\x81\x30\x8A\x31"));
  /* ISO-2022-JP: '#a' inside the JIS escape is full-width 'ａ'. */
  EXPECT_EQ(
      "A\x1B$B#a\x1B(B"
      "B",
      Upper(50220,
            "a\x1B$B#a\x1B(B"
            "b"));
  /* UTF-7: a letter written in base64 is left alone. */
  EXPECT_EQ("+AGE-B", Upper(65000, "+AGE-b"));
}

TEST(NlsCase, WideTextAndRefusals) {
  std::u16string text = u"\u00E0\u00E9\u00DFz\U0001F600";
  EXPECT_EQ(text.size(), CharUpperBuffW(text.data(), static_cast<DWORD>(text.size())));
  EXPECT_EQ(u"\u00C0\u00C9\u00DFZ\U0001F600", text);
  EXPECT_EQ(text.size(), CharLowerBuffW(text.data(), static_cast<DWORD>(text.size())));
  EXPECT_EQ(u"\u00E0\u00E9\u00DFz\U0001F600", text);
  EXPECT_EQ(0u, CharUpperBuffA(nullptr, 3, 1252));
  std::string unserved = "abc";
  EXPECT_EQ(0u, CharUpperBuffA(unserved.data(), 3, 10001));
  EXPECT_EQ("abc", unserved);
}

/* ---- character types --------------------------------------------------- */

TEST(NlsStringType, WideCharacters) {
  EXPECT_EQ(C1_UPPER | C1_XDIGIT | C1_ALPHA | C1_DEFINED, TypeW(u'A'));
  EXPECT_EQ(C1_LOWER | C1_ALPHA | C1_DEFINED, TypeW(u'z'));
  EXPECT_EQ(C1_DIGIT | C1_XDIGIT | C1_DEFINED, TypeW(u'7'));
  EXPECT_EQ(C1_SPACE | C1_BLANK | C1_DEFINED, TypeW(u' '));
  EXPECT_EQ(C1_SPACE | C1_CNTRL | C1_BLANK | C1_DEFINED, TypeW(u'\t'));
  EXPECT_EQ(C1_SPACE | C1_CNTRL | C1_DEFINED, TypeW(u'\n'));
  EXPECT_EQ(C1_PUNCT | C1_DEFINED, TypeW(u'!'));
  EXPECT_EQ(C1_PUNCT | C1_DEFINED, TypeW(u'$'));
  EXPECT_EQ(C1_SPACE | C1_BLANK | C1_DEFINED, TypeW(u'\u3000'));
  EXPECT_EQ(C1_ALPHA | C1_DEFINED, TypeW(u'\u65E5'));
  EXPECT_EQ(0, TypeW(u'\u0378'));  // unassigned
  WORD pair[2];
  const std::u16string bold = u"\U0001D400";  // MATHEMATICAL BOLD CAPITAL A
  ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, bold.data(), 2, pair));
  EXPECT_EQ(C1_UPPER | C1_ALPHA | C1_DEFINED, pair[0]);
  EXPECT_EQ(pair[0], pair[1]);
  EXPECT_EQ(0, TypeW(u'\xD800'));
}

TEST(NlsStringType, BytesOfCodePages) {
  const std::vector<WORD> latin = TypesA(1252, "A\xE9\xA0\x80\x81");
  EXPECT_EQ(C1_UPPER | C1_XDIGIT | C1_ALPHA | C1_DEFINED, latin[0]);
  EXPECT_EQ(C1_LOWER | C1_ALPHA | C1_DEFINED, latin[1]);  // é
  EXPECT_EQ(C1_SPACE | C1_BLANK | C1_DEFINED, latin[2]);  // no-break space
  EXPECT_EQ(C1_PUNCT | C1_DEFINED, latin[3]);             // €
  EXPECT_EQ(C1_CNTRL | C1_DEFINED, latin[4]);             // U+0081
  /* UTF-8: every byte of é has é's type; a stray 0xA0 has none. */
  const std::vector<WORD> utf8 = TypesA(65001, "\xC3\xA9\xA0 ");
  EXPECT_EQ(C1_LOWER | C1_ALPHA | C1_DEFINED, utf8[0]);
  EXPECT_EQ(utf8[0], utf8[1]);
  EXPECT_EQ(0, utf8[2]);
  EXPECT_EQ(C1_SPACE | C1_BLANK | C1_DEFINED, utf8[3]);
  /* Shift_JIS: ア takes two bytes with the trail byte 'A'; a cut lead has none. */
  const std::vector<WORD> sjis = TypesA(932, "\x83\x41z\x83");
  EXPECT_EQ(C1_ALPHA | C1_DEFINED, sjis[0]);
  EXPECT_EQ(sjis[0], sjis[1]);
  EXPECT_EQ(C1_LOWER | C1_ALPHA | C1_DEFINED, sjis[2]);
  EXPECT_EQ(0, sjis[3]);
  /* An ISO-2022-JP escape has no type; the JIS pair after it is a letter. */
  const std::vector<WORD> jis = TypesA(50220, "\x1B$BF|");
  EXPECT_EQ((std::vector<WORD>{0, 0, 0, C1_ALPHA | C1_DEFINED, C1_ALPHA | C1_DEFINED}), jis);
}

TEST(NlsStringType, TerminatorAndRefusals) {
  WORD types[3] = {0xFFFF, 0xFFFF, 0xFFFF};
  ASSERT_TRUE(GetStringTypeInCodePageA(1252, CT_CTYPE1, "a", -1, types));
  EXPECT_EQ(C1_CNTRL | C1_DEFINED, types[1]);
  EXPECT_EQ(0xFFFF, types[2]);
  EXPECT_FALSE(GetStringTypeInCodePageA(1252, CT_CTYPE2, "a", 1, types));
  EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError());
  EXPECT_FALSE(GetStringTypeInCodePageA(1252, CT_CTYPE1, "a", 0, types));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_FALSE(GetStringTypeW(CT_CTYPE1, u"a", 1, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  /* The Ex form reads the ANSI code page: ASCII types agree under both. */
  ASSERT_TRUE(GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, " 1", 2, types));
  EXPECT_EQ(C1_SPACE | C1_BLANK | C1_DEFINED, types[0]);
  EXPECT_EQ(C1_DIGIT | C1_XDIGIT | C1_DEFINED, types[1]);
}

/* ---- collation --------------------------------------------------------- */

/* The expected order (ICU root): white space and punctuation, then
** symbols, then digits, then letters; a letter's lower case just before
** its upper case; accents weigh less than letters, case less than accents. */
TEST(NlsCompare, OrderOfLettersDigitsAndPunctuation) {
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"a", u"B"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(NORM_IGNORECASE, u"a", u"B"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"a", u"A"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"9", u"a"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"10", u"9"));  // text, not numbers
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"!", u"0"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"-", u"$"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"$", u"0"));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, u"b", u"abc"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"ab", u"abc"));
  EXPECT_EQ(CSTR_EQUAL, Compare(0, u"", u""));
}

TEST(NlsCompare, CaseAndAccentStrengths) {
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"abc", u"ABC"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORECASE, u"abc", u"ABC"));
  const std::u16string resumeAccented = u"r\u00E9sum\u00E9";
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, resumeAccented, u"resume"));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(NORM_IGNORECASE, resumeAccented, u"resume"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORENONSPACE, resumeAccented, u"resume"));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(NORM_IGNORENONSPACE, u"R\u00E9sum\u00E9", u"resume"));
  EXPECT_EQ(CSTR_EQUAL,
            Compare(NORM_IGNORECASE | NORM_IGNORENONSPACE, u"R\u00E9sum\u00E9", u"resume"));
  /* The accent difference decides before the letters after it do not. */
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"cote", u"cot\u00E9"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"cot\u00E9", u"c\u00F4te"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"c\u00F4te", u"c\u00F4t\u00E9"));
  /* Precomposed and decomposed forms are the same text. */
  EXPECT_EQ(CSTR_EQUAL, Compare(0, u"\u00E9", u"e\u0301"));
}

TEST(NlsCompare, IgnoringSymbols) {
  EXPECT_NE(CSTR_EQUAL, Compare(0, u"co-op", u"coop"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, u"co-op", u"coop"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, u"a b", u"ab"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, u"$5", u"5"));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(NORM_IGNORESYMBOLS, u"a-b", u"A-B"));  // case still counts
  EXPECT_EQ(CSTR_LESS_THAN, Compare(SORT_STRINGSORT, u"a", u"b"));
}

TEST(NlsCompare, EqualOnlyWhereTheFlagsIgnoreTheDifference) {
  /* Controls weigh nothing in the collation; they still tell texts apart. */
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, u"a\u0001", u"a\u0002"));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(NORM_IGNORECASE, u"A\u0002", u"a\u0001"));
  EXPECT_NE(CSTR_EQUAL, CompareStringInCodePageA(1252, NORM_IGNORECASE, "\x81", 1, "\x8D", 1));
  /* Width is not case. */
  EXPECT_NE(CSTR_EQUAL, Compare(NORM_IGNORECASE, u"\uFF21", u"a"));
  /* What the flags ignore stays ignored. */
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORECASE, u"Stra\u00DFe", u"STRA\u00DFE"));
  EXPECT_EQ(CSTR_EQUAL,
            Compare(NORM_IGNORECASE | NORM_IGNORENONSPACE, u"\u00C5sa", u"a\u030As\u00E4"));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS | NORM_IGNORECASE, u"Co-Op!", u"co op"));
}

TEST(NlsCompare, LengthsFlagsAndByteStrings) {
  EXPECT_EQ(CSTR_EQUAL, CompareStringW(LOCALE_USER_DEFAULT, 0, u"abc", -1, u"abcd", 3));
  EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0x10000, u"a", 1, u"a", 1));
  EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError());
  EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, 1, u"a", 1));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

  EXPECT_EQ(CSTR_GREATER_THAN, CompareStringInCodePageA(1252, 0, "\xE9", 1, "e", 1));
  EXPECT_EQ(CSTR_EQUAL, CompareStringInCodePageA(1252, NORM_IGNORENONSPACE, "\xE9", 1, "e", 1));
  EXPECT_EQ(CSTR_EQUAL, CompareStringInCodePageA(1252, NORM_IGNORECASE, "ABC", -1, "abc", -1));
  /* Bytes that are not UTF-8 stay distinct instead of all becoming U+FFFD. */
  EXPECT_NE(CSTR_EQUAL, CompareStringInCodePageA(65001, 0, "caf\xE9", 4, "caf\xE8", 4));
  EXPECT_EQ(CSTR_EQUAL, CompareStringInCodePageA(65001, 0, "caf\xC3\xA9", 5, "cafe\xCC\x81", 6));
  EXPECT_EQ(CSTR_EQUAL,
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "Quendal", -1, "QUENDAL", 7));
}

} // namespace
} // namespace quendal::platform
