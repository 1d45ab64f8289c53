/*
** String functions: the InStr family and the replace family, in every
** encoding path, with the Boyer-Moore path checked against a plain search.
*/
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/unicode_case.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

int32_t InStr(int32_t start, std::string_view s, std::string_view find, uint32_t tag = kEncodingUTF8) {
  return StringInStr(start, Make(s, tag).get(), Make(find, tag).get());
}

int32_t InStrB(int32_t start, std::string_view s, std::string_view find) {
  return StringInStrB(start, Make(s).get(), Make(find).get());
}

std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view with, uint32_t tag = kEncodingUTF8) {
  return Take(StringReplaceAll(Make(s, tag).get(), Make(find, tag).get(), Make(with, tag).get()));
}

const std::string kUnicode = "\xC3\x9Cn\xC3\xAF" "code"; /* Ünïcode */
/* U+0250 (2 bytes) and its upper-case partner U+2C6F (3 bytes). */
const std::string kTurnedA = "\xC9\x90";
const std::string kTurnedAUpper = "\xE2\xB1\xAF";

std::string AsciiUpper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  return s;
}

int32_t Position(size_t found) { return found == std::string::npos ? 0 : static_cast<int32_t>(found) + 1; }

} // namespace

TEST(StringSearch, PositionsAndTheEmptyCases) {
  EXPECT_EQ(InStr(1, "Hello", "LL"), 3);
  EXPECT_EQ(InStrB(1, "Hello", "LL"), 0);
  EXPECT_EQ(InStrB(1, "Hello", "ll"), 3);
  EXPECT_EQ(InStr(5, "abc", ""), 5) << "an empty pattern gives the start back";
  EXPECT_EQ(InStrB(-7, "abc", ""), -7);
  EXPECT_EQ(InStr(1, "", ""), 0);
  EXPECT_EQ(InStr(1, "", "a"), 0);
  EXPECT_EQ(InStr(-3, "abcabc", "B"), 2) << "a start below 1 counts as 1";
  EXPECT_EQ(InStr(3, "abcabc", "B"), 5);
  EXPECT_EQ(InStr(4, "abc", "c"), 0);
  EXPECT_EQ(InStr(INT32_MAX, "abc", "c"), 0);
  EXPECT_EQ(InStrB(3, "abc", "c"), 3);
  EXPECT_EQ(InStr(1, "ab", "abc"), 0) << "a pattern longer than the text";
  EXPECT_EQ(StringExtendsInStr(Make("Hello").get(), 1, Make("LO").get()), 4);
  EXPECT_EQ(StringExtendsInStrB(Make("Hello").get(), 1, Make("LO").get()), 0);
  /* No double-byte system code page here: DBCSInStr is InStr. */
  EXPECT_EQ(StringDBCSInStr(1, Make("Hello").get(), Make("LL").get()), 3);
}

TEST(StringSearch, Utf8PositionsAreCharacters) {
  EXPECT_EQ(InStr(1, kUnicode, "CODE"), 4);
  EXPECT_EQ(InStr(1, kUnicode, "\xC3\xBCN\xC3\x8F"), 1) << "üNÏ matches Ünï";
  EXPECT_EQ(InStr(3, kUnicode, "c"), 4) << "the start counts characters too";
  EXPECT_EQ(InStr(5, kUnicode, "c"), 0);
  EXPECT_EQ(StringInStrB(1, Make(kUnicode).get(), Make("code").get()), 6) << "the byte form counts bytes";
  EXPECT_EQ(InStr(1, "x\xC3\xA9", "\xC3\x89"), 2);
}

TEST(StringSearch, MatchesMayDifferInByteLengthFromThePattern) {
  ASSERT_EQ(UnicodeToUpper(0x250), 0x2C6Fu);
  EXPECT_EQ(InStr(1, "x" + kTurnedAUpper + "y", kTurnedA + "Y"), 2);
  EXPECT_EQ(InStr(1, "x" + kTurnedA + "y", kTurnedAUpper), 2);
  EXPECT_EQ(ReplaceAll("a" + kTurnedAUpper + "b" + kTurnedAUpper, kTurnedA, "-"), "a-b-")
      << "the matched bytes are replaced, not the pattern's length";
  EXPECT_EQ(ReplaceAll("a" + kTurnedA + "b", kTurnedAUpper, "-"), "a-b");
}

TEST(StringSearch, NoCodePointOutsideAsciiCaseMapsIntoAscii) {
  /* The ASCII short cuts of the UTF-8 search rely on it. */
  for (uint32_t c = 0x80; c <= 0xFFFF; ++c) {
    ASSERT_GE(UnicodeToUpper(c), 0x80u) << std::hex << c;
    ASSERT_GE(UnicodeToLower(c), 0x80u) << std::hex << c;
  }
}

TEST(StringSearch, MalformedUtf8MatchesOnlyItself) {
  EXPECT_EQ(InStr(1, "a\xC3" "b", "\xC3"), 2);
  EXPECT_EQ(InStr(1, "a\xC3\xA9", "\xC3"), 0) << "a lone lead byte is not the start of é";
  EXPECT_EQ(InStr(1, "a\xC3\xA9" "b", "\xA9" "B"), 0) << "matches begin on character starts";
}

TEST(StringSearch, Utf16SearchesWholeCodeUnits) {
  StringRef s = Wide(u"abcABC");
  EXPECT_EQ(StringInStr(1, s.get(), Wide(u"CA").get()), 3);
  EXPECT_EQ(StringInStr(4, s.get(), Wide(u"b").get()), 5);
  EXPECT_EQ(StringInStrB(1, s.get(), Wide(u"CA").get()), 0);
  EXPECT_EQ(StringInStrB(1, s.get(), Wide(u"AB").get()), 7) << "positions in bytes";
  /* The bytes 41 42 occur only across the two units 0x4100 0x0042. */
  StringRef straddle = Wide(u"\u4100\u0042");
  EXPECT_EQ(StringInStr(1, straddle.get(), Wide(u"\u4241").get()), 0);
  /* Mixed tags meet in UTF-8. */
  EXPECT_EQ(StringInStr(1, Wide(u"Hello").get(), Make("LL").get()), 3);
}

TEST(StringSearch, EightBitTextFoldsThroughItsCodePage) {
  StringRef cafe = Make("caf\xE9", kEncodingWindowsLatin1);
  EXPECT_EQ(StringInStr(1, cafe.get(), Make("\xC9", kEncodingWindowsLatin1).get()), 4);
  EXPECT_EQ(StringInStr(1, cafe.get(), Make("AF", kEncodingASCII).get()), 2);
  EXPECT_EQ(StringInStr(1, cafe.get(), Make("F\xC3\x89").get()), 3) << "a UTF-8 pattern meets 1252 text in UTF-8";
  /* ASCII text folds ASCII letters only. */
  EXPECT_EQ(StringInStr(1, Make("x\xE9", kEncodingASCII).get(), Make("\xC9", kEncodingASCII).get()), 0);
}

TEST(StringSearch, DoubleByteTextNeverMatchesInsideACharacter) {
  if (EncodingCodePage(kEncodingShiftJIS) != 932) GTEST_SKIP() << "no Shift_JIS converter";
  const std::string katakanaA = "\x83\x41"; /* ア: its trail byte is 'A' */
  StringRef s = Make("x" + katakanaA + "a", kEncodingShiftJIS);
  StringRef a = Make("A", kEncodingShiftJIS);
  EXPECT_EQ(StringInStr(1, s.get(), a.get()), 4) << "the 'A' inside ア is skipped, 'a' folds";
  EXPECT_EQ(StringInStrB(1, s.get(), a.get()), 3);
  EXPECT_EQ(StringInStr(3, s.get(), a.get()), 4) << "a start inside a character moves to the next one";
  /* Character positions for StringDBCSInStr's double-byte search. */
  EXPECT_EQ(DoubleByteInStr(1, s.get(), a.get()), 3);
  EXPECT_EQ(DoubleByteInStr(3, s.get(), a.get()), 3);
  EXPECT_EQ(DoubleByteInStr(4, s.get(), a.get()), 0);
}

TEST(StringSearch, ExactAndFoldedSearchesAgreeWithAPlainSearch) {
  /* Random texts over a small alphabet make many near-matches; in the
  ** case-insensitive search the long texts and patterns take the
  ** Boyer-Moore path, the others the scan. */
  std::mt19937 random(12345);
  const std::string alphabet = "abAB,";
  auto text = [&](size_t n) {
    std::string t;
    for (size_t i = 0; i < n; ++i) t += alphabet[random() % alphabet.size()];
    return t;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string haystack = text(random() % 200);
    std::string needle = text(1 + random() % 9);
    if (round % 3 == 0 && haystack.size() > needle.size()) {
      haystack.replace(random() % (haystack.size() - needle.size()), needle.size(), needle);
    }
    int32_t start = static_cast<int32_t>(random() % (haystack.size() + 2));
    SCOPED_TRACE(haystack + " / " + needle + " / " + std::to_string(start));
    size_t from = start > 0 ? static_cast<size_t>(start - 1) : 0;
    int32_t exact = from < haystack.size() ? Position(haystack.find(needle, from)) : 0;
    ASSERT_EQ(InStrB(start, haystack, needle), exact);
    int32_t folded = from < haystack.size() ? Position(AsciiUpper(haystack).find(AsciiUpper(needle), from)) : 0;
    ASSERT_EQ(InStr(start, haystack, needle), folded);
    ASSERT_EQ(InStr(start, haystack, needle, kEncodingWindowsLatin1), folded);
  }
}

TEST(StringSearch, MatchesAtBothEndsOfALongTextAreFound) {
  std::string text(5000, 'x');
  text.replace(0, 6, "needle");
  text.replace(text.size() - 6, 6, "needle");
  EXPECT_EQ(InStrB(1, text, "needle"), 1);
  EXPECT_EQ(InStrB(2, text, "needle"), 4995);
  EXPECT_EQ(InStrB(4996, text, "needle"), 0);
  EXPECT_EQ(InStr(2, text, "NEEDLE"), 4995);
  EXPECT_EQ(InStrB(1, text, "needles"), 0);
}

TEST(StringReplace, FirstAllAndByteExact) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba") << "matches never overlap";
  EXPECT_EQ(ReplaceAll("Abc abc", "ABC", "x"), "x x");
  EXPECT_EQ(Take(StringReplace(Make("Abc abc").get(), Make("ABC").get(), Make("x").get())), "x abc");
  EXPECT_EQ(Take(StringReplaceAllB(Make("Abc abc").get(), Make("abc").get(), Make("x").get())), "Abc x");
  EXPECT_EQ(Take(StringReplaceB(Make("abc abc").get(), Make("abc").get(), Make("xyz!").get())), "xyz! abc");
  EXPECT_EQ(ReplaceAll("a.b.c", ".", ""), "abc");
  EXPECT_EQ(ReplaceAll(kUnicode, "\xC3\xBC", "U"), "Un\xC3\xAF" "code");
  EXPECT_EQ(ReplaceAll("aa", "a", ""), "");
  EXPECT_EQ(ReplaceAll("abab", "b", "bb"), "abbabb") << "the next search starts after the match, not after the insert";
}

TEST(StringReplace, NothingToDoSharesTheSource) {
  StringRef s = Make("abc");
  for (ORVAstring r : {StringReplaceAll(s.get(), nullptr, Make("x").get()),
                       StringReplaceAll(s.get(), Make("zz").get(), Make("x").get()),
                       StringReplaceB(s.get(), Make("A").get(), Make("x").get())}) {
    EXPECT_EQ(r, s.get());
    StringRelease(r);
  }
  EXPECT_EQ(StringReplaceAll(nullptr, Make("a").get(), Make("x").get()), nullptr);
}

/* Every result carries the source's tag, whatever the other two carry. */
TEST(StringReplace, ResultsKeepTheSourcesTag) {
  /* A 1252 source gets the UTF-8 replacement converted to 1252. */
  StringRef latin = Make("a-b", kEncodingWindowsLatin1);
  StringRef r(StringReplaceAll(latin.get(), Make("-").get(), Make("\xC3\xA9").get()));
  EXPECT_EQ(StringView(r.get()), "a\xE9" "b");
  EXPECT_EQ(r.encoding(), kEncodingWindowsLatin1);
  /* ASCII-tagged text with UTF-8 find and replacement texts stays ASCII;
  ** a replacement beyond ASCII keeps its bytes rather than becoming "?". */
  StringRef ascii = Make("a-b", kEncodingASCII);
  StringRef plain(StringReplace(ascii.get(), Make("-").get(), Make("+").get()));
  EXPECT_EQ(StringView(plain.get()), "a+b");
  EXPECT_EQ(plain.encoding(), kEncodingASCII);
  StringRef u(StringReplaceAll(ascii.get(), Make("-").get(), Make("\xC3\xA9").get()));
  EXPECT_EQ(StringView(u.get()), "a\xC3\xA9" "b");
  EXPECT_EQ(u.encoding(), kEncodingASCII);
  /* The byte forms convert nothing and retag nothing. */
  StringRef cp1252 = Make("\xE9", kEncodingWindowsLatin1);
  for (ORVAstring b : {StringReplaceB(ascii.get(), Make("-").get(), cp1252.get()),
                       StringReplaceAllB(ascii.get(), Make("-").get(), cp1252.get())}) {
    StringRef result(b);
    EXPECT_EQ(StringView(result.get()), "a\xE9" "b");
    EXPECT_EQ(result.encoding(), kEncodingASCII);
  }
  /* UTF-16 text with UTF-8 arguments. */
  StringRef w(StringReplaceAll(Wide(u"a-B-c").get(), Make("b").get(), Make("\xE2\x82\xAC").get()));
  EXPECT_EQ(StringView(w.get()), WideBytes(u"a-\u20AC-c"));
  EXPECT_EQ(w.encoding(), kEncodingUTF16);
}

TEST(StringReplace, AgreesWithAPlainReplacementOnLongText) {
  std::mt19937 random(99);
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "xyAb"[random() % 4];
  for (const std::string& find : {std::string("ab"), std::string("xyabx"), std::string("bbbbbbbb")}) {
    std::string expected, upperText = AsciiUpper(text), upperFind = AsciiUpper(find);
    size_t at = 0;
    for (size_t hit; (hit = upperText.find(upperFind, at)) != std::string::npos; at = hit + find.size()) {
      expected += text.substr(at, hit - at) + "<>";
    }
    expected += text.substr(at);
    EXPECT_EQ(ReplaceAll(text, find, "<>"), expected) << find;
  }
}
