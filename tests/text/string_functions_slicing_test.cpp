/*
** String functions: slicing, length and character codes in bytes and in
** characters of every kind of encoding, and the per-encoding tables.
*/
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/text/char_tables.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/text_encoding_codepages.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

const std::string kUnicode = "\xC3\x9Cn\xC3\xAF" "code"; /* Ünïcode */
constexpr uint32_t kShiftJIS = kEncodingShiftJIS;
const std::string kSjisA = "\x82\xA0";                   /* あ */

bool ShiftJISServed() { return EncodingCodePage(kShiftJIS) == 932; }

} // namespace

TEST(StringSlicing, ByteFormsShareTheWholeSourceAndGiveNullForNothing) {
  StringRef s = Make("abcdef");
  ORVAstring whole = StringLeft(s.get(), 6);
  EXPECT_EQ(whole, s.get());
  StringRelease(whole);
  whole = StringMid2(s.get(), -3);
  EXPECT_EQ(whole, s.get()) << "start <= 1 is the source";
  StringRelease(whole);
  EXPECT_EQ(StringLeft(s.get(), 0), nullptr);
  EXPECT_EQ(StringRight(s.get(), -1), nullptr);
  EXPECT_EQ(StringMid2(s.get(), 7), nullptr);
  EXPECT_EQ(Take(StringRight(s.get(), 2)), "ef");
  EXPECT_EQ(Take(StringMid2(s.get(), 3)), "cdef");
  EXPECT_EQ(Take(StringMid3(s.get(), 2, 3)), "bcd");
  EXPECT_EQ(Take(StringMid3(s.get(), 0, 3)), "ab") << "start 0 shortens the count by one";
  EXPECT_EQ(Take(StringMid3(s.get(), 5, 100)), "ef");
  EXPECT_EQ(StringMid3(s.get(), -5, 6), nullptr);
  EXPECT_EQ(StringMid3(nullptr, 1, 1), nullptr);
}

TEST(StringSlicing, ExtremeArgumentsNeitherOverflowNorReadOutside) {
  StringRef s = Make(kUnicode);
  for (int32_t start : {INT32_MIN, -1, 0, 1, 2, 9, 10, INT32_MAX}) {
    for (int32_t n : {INT32_MIN, -1, 0, 1, 3, INT32_MAX}) {
      SCOPED_TRACE(testing::Message() << start << "," << n);
      std::string bytes = Take(StringMid3(s.get(), start, n));
      std::string chars = Take(StringDBCSMid3(s.get(), start, n));
      EXPECT_NE(kUnicode.find(bytes), std::string::npos) << "a slice is a piece of the source";
      EXPECT_NE(kUnicode.find(chars), std::string::npos);
    }
    EXPECT_LE(Take(StringDBCSMid2(s.get(), start)).size(), kUnicode.size());
  }
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), INT32_MIN, INT32_MAX)), "");
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), 2, INT32_MAX)), kUnicode.substr(2));
  EXPECT_EQ(Take(StringDBCSRight(s.get(), INT32_MAX)), kUnicode);
}

TEST(StringSlicing, CharacterFormsOnPlainBytes) {
  StringRef abc = Make("abc", kEncodingASCII);
  ORVAstring r = StringDBCSMid2(abc.get(), 0);
  EXPECT_EQ(r, abc.get());
  StringRelease(r);
  EXPECT_EQ(Take(StringDBCSMid2(abc.get(), 1)), "abc");
  EXPECT_EQ(StringDBCSMid2(abc.get(), 4), nullptr);
  EXPECT_EQ(Take(StringDBCSMid3(Make("abcdef").get(), 0, 3)), "ab");
  EXPECT_EQ(Take(StringDBCSRight(abc.get(), 2)), "bc");
  EXPECT_EQ(StringDBCSLeft(abc.get(), 0), nullptr);
}

TEST(StringSlicing, Utf8CountsCodePointsAndNeverSplitsOne) {
  StringRef s = Make(kUnicode);
  EXPECT_EQ(StringLen(s.get()), 9);
  EXPECT_EQ(StringDBCSLen(s.get()), 7);
  EXPECT_EQ(Take(StringDBCSLeft(s.get(), 2)), "\xC3\x9Cn");
  EXPECT_EQ(Take(StringDBCSRight(s.get(), 5)), "\xC3\xAF" "code");
  EXPECT_EQ(Take(StringDBCSMid2(s.get(), 3)), "\xC3\xAF" "code");
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), 2, 2)), "n\xC3\xAF");
  EXPECT_EQ(Take(StringLeft(s.get(), 1)), "\xC3") << "the byte form cuts bytes";
  ORVAstring slice = StringDBCSMid3(s.get(), 3, 1);
  EXPECT_EQ(StringEncoding(slice), kEncodingUTF8) << "slices keep the tag";
  StringRelease(slice);
}

TEST(StringSlicing, StrayContinuationBytesBelongToACharacterConsistently) {
  /* Leading continuation bytes are part of character 1, so every form
  ** agrees with the length, which counts the other bytes. */
  StringRef s = Make("\x80\x80" "ab\xC3\xA9");
  EXPECT_EQ(StringDBCSLen(s.get()), 3);
  EXPECT_EQ(Take(StringDBCSLeft(s.get(), 1)), "\x80\x80" "a");
  EXPECT_EQ(Take(StringDBCSRight(s.get(), 3)), "\x80\x80" "ab\xC3\xA9");
  EXPECT_EQ(Take(StringDBCSRight(s.get(), 2)), "b\xC3\xA9");
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), 3, 1)), "\xC3\xA9");
  StringRef onlyTail = Make("\xA9\xA9");
  EXPECT_EQ(StringDBCSLen(onlyTail.get()), 0);
  EXPECT_EQ(Take(StringDBCSRight(onlyTail.get(), 1)), "\xA9\xA9");
}

TEST(StringSlicing, Utf16CountsCodeUnits) {
  StringRef s = Wide(u"h\u00E9llo");
  EXPECT_EQ(StringLen(s.get()), 10);
  EXPECT_EQ(StringDBCSLen(s.get()), 5);
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), 2, 2)), std::string("\xE9\0l\0", 4));
  EXPECT_EQ(Take(StringDBCSRight(s.get(), 1)), std::string("o\0", 2));
  EXPECT_EQ(Take(StringDBCSMid2(s.get(), 5)), std::string("o\0", 2));
  EXPECT_EQ(StringDBCSAsc(s.get()), 'h');
  EXPECT_EQ(StringDBCSAsc(Wide(u"\u20AC").get()), 0x20AC);
}

TEST(StringSlicing, DoubleByteCodePagesWalkLeadBytes) {
  if (!ShiftJISServed()) GTEST_SKIP() << "no Shift_JIS converter";
  StringRef s = Make("a" + kSjisA + "b" + kSjisA, kShiftJIS);
  EXPECT_EQ(StringLen(s.get()), 6);
  EXPECT_EQ(StringDBCSLen(s.get()), 4);
  EXPECT_EQ(Take(StringDBCSLeft(s.get(), 2)), "a" + kSjisA);
  EXPECT_EQ(Take(StringDBCSRight(s.get(), 2)), "b" + kSjisA);
  EXPECT_EQ(Take(StringDBCSMid3(s.get(), 2, 1)), kSjisA);
  EXPECT_EQ(Take(StringDBCSMid2(s.get(), 4)), kSjisA);
  EXPECT_EQ(StringDBCSAsc(Make(kSjisA, kShiftJIS).get()), 0x82A0);
  /* A lead byte at the very end is a character of its own. */
  StringRef cut = Make("a\x82", kShiftJIS);
  EXPECT_EQ(StringDBCSLen(cut.get()), 2);
  EXPECT_EQ(Take(StringDBCSRight(cut.get(), 1)), "\x82");
  EXPECT_EQ(StringDBCSAsc(Make("\x82", kShiftJIS).get()), 0x82);
  /* ASCII-tagged text is never double-byte. */
  EXPECT_EQ(StringDBCSLen(Make(kSjisA, kEncodingASCII).get()), 2);
}

TEST(StringCodes, AscAndChr) {
  EXPECT_EQ(StringAsc(nullptr), 0);
  EXPECT_EQ(StringDBCSAsc(nullptr), 0);
  StringRef e = Make("\xC3\xA9");
  EXPECT_EQ(StringAsc(e.get()), 0xC3);
  EXPECT_EQ(StringDBCSAsc(e.get()), 0xE9);
  EXPECT_EQ(StringDBCSAsc(Make("\xF0\x9F\x98\x80").get()), 0x1F600);
  EXPECT_EQ(StringDBCSAsc(Make("\xC3").get()), 0xC3) << "a truncated sequence gives its byte";

  StringRef a(StringChr(65));
  EXPECT_EQ(StringView(a.get()), "A");
  EXPECT_EQ(a.encoding(), kEncodingASCII);
  StringRef zero(StringChr(0));
  EXPECT_EQ(zero.length(), 1) << "Chr(0) is one zero byte, not the empty string";
  StringRef high(StringChr(0x1C8));
  EXPECT_EQ(StringView(high.get()), "\xC8");
  EXPECT_EQ(high.encoding(), kEncodingUnknown);
  StringRef negative(StringChr(-1));
  EXPECT_EQ(StringView(negative.get()), "\xFF");
  EXPECT_EQ(negative.encoding(), kEncodingUnknown);

  StringRef two(StringDBCSChr(0x82A0));
  EXPECT_EQ(StringView(two.get()), kSjisA);
  EXPECT_EQ(two.encoding(), kEncodingUnknown);
  StringRef one(StringDBCSChr(0x41));
  EXPECT_EQ(StringView(one.get()), "A");
  EXPECT_EQ(one.encoding(), kEncodingASCII);
}

TEST(CharTables, SingleByteCodePageTables) {
  const CharTables& latin1 = CharTablesFor(kEncodingWindowsLatin1);
  EXPECT_EQ(latin1.hasLeadBytes, 0);
  EXPECT_EQ(latin1.upper[0xE9], 0xC9);
  EXPECT_EQ(latin1.lower[0xC9], 0xE9);
  EXPECT_EQ(latin1.upper[uint8_t('a')], 'A');
  EXPECT_EQ(latin1.upper[uint8_t('1')], '1');
  EXPECT_EQ(latin1.space[0xA0] & 1, 1) << "no-break space is blank";
  EXPECT_EQ(latin1.space[uint8_t(' ')] & 1, 1);
  EXPECT_EQ(latin1.space[uint8_t('x')] & 1, 0);
  EXPECT_LT(latin1.collationRank[uint8_t('a')], latin1.collationRank[uint8_t('b')]);
  EXPECT_LT(latin1.collationRank[uint8_t('b')], latin1.collationRank[uint8_t('C')]);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(latin1.collation[latin1.collationRank[b]], b);
  EXPECT_EQ(&CharTablesFor(kEncodingWindowsLatin1), &latin1) << "built once and kept";
}

TEST(CharTables, AsciiAndUnservedTags) {
  const CharTables& ascii = CharTablesFor(kEncodingASCII);
  EXPECT_EQ(ascii.upper[uint8_t('z')], 'Z');
  EXPECT_EQ(ascii.upper[0xE9], 0xE9);
  const CharTables& none = CharTablesFor(0x7777); /* a base with no code page */
  EXPECT_EQ(CharTablesCodePage(0x7777), 0u);
  EXPECT_EQ(none.upper[uint8_t('q')], 'Q');
  EXPECT_EQ(none.space[uint8_t('\t')], 1);
  EXPECT_EQ(none.collation[200], 200);
}

TEST(CharTables, DoubleByteCodePageHasOnlyLeadBytes) {
  if (!ShiftJISServed()) GTEST_SKIP() << "no Shift_JIS converter";
  const CharTables& sjis = CharTablesFor(kShiftJIS);
  EXPECT_EQ(sjis.hasLeadBytes, 1);
  EXPECT_EQ(sjis.leadByte[0x81], 1);
  EXPECT_EQ(sjis.leadByte[0xE0], 1);
  EXPECT_EQ(sjis.leadByte[0xA0], 0);
  EXPECT_EQ(sjis.leadByte[uint8_t('a')], 0);
  EXPECT_EQ(sjis.upper[uint8_t('a')], 0) << "case tables stay empty for double-byte code pages";
}
