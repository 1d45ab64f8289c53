/*
** String records: layout, ownership, slicing, joining, the exported
** conversions and the reports of broken invariants.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/text/wide_copies.h"
#include "tests/support/test_support.h"

using namespace quendal;

namespace {

StringRef Make(std::string_view bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }

std::string Bytes(const StringRef& s) { return std::string(StringView(s.get())); }

} // namespace

TEST(StringRecord, LayoutOfANewRecord) {
  StringRef s = Make("hello", kEncodingUTF8);
  ASSERT_FALSE(s.empty());
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(s.get());
  EXPECT_EQ(s.get()->refCount, 1);
  EXPECT_EQ(s.get()->data, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(raw + 20)));
  EXPECT_EQ(s.get()->bufferSize, 10);
  EXPECT_EQ(s.get()->length, 5);
  EXPECT_EQ(raw[20], 5);
  EXPECT_EQ(std::memcmp(raw + 21, "hello", 5), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(raw[26 + i], 0) << "terminator byte " << i;
}

TEST(StringRecord, LongStringPascalByteIsCappedButCContentIsWhole) {
  std::string text(300, 'x');
  text[299] = 'y';
  StringRef s = Make(text, kEncodingASCII);
  EXPECT_EQ(StringGetPString(s.get())[0], 255);
  const char* c = StringGetCString(s.get());
  EXPECT_EQ(std::strlen(c), 300u);
  EXPECT_EQ(c[299], 'y');
}

TEST(StringRecord, EmptyResultsAreNullAndReadAsEmptyBuffers) {
  EXPECT_EQ(StringCreate("abc", 0, kEncodingASCII), nullptr);
  EXPECT_EQ(StringCreate("abc", -4, kEncodingASCII), nullptr);
  EXPECT_EQ(ORVABuildString("x", 0), nullptr);
  EXPECT_EQ(StringFromCString(""), nullptr);
  EXPECT_EQ(StringFromCString(nullptr), nullptr);
  EXPECT_EQ(StringFromPString(nullptr), nullptr);
  const char16_t noUnits[1] = {0};
  EXPECT_EQ(StringFromWString(noUnits), nullptr);
  EXPECT_EQ(StringCreateUTF16(noUnits, 0), nullptr);

  ASSERT_NE(StringGetCString(nullptr), nullptr);
  EXPECT_EQ(StringGetCString(nullptr)[0], '\0');
  ASSERT_NE(StringGetPString(nullptr), nullptr);
  EXPECT_EQ(StringGetPString(nullptr)[0], 0);
  EXPECT_EQ(StringLength(nullptr), 0);
  EXPECT_EQ(StringEncoding(nullptr), kEncodingASCII);
}

TEST(StringRecord, CreationTags) {
  StringRef built(ORVABuildString("ab", 2));
  EXPECT_EQ(built.encoding(), kEncodingUnknown);
  StringRef tagged(ORVABuildStringWithEncoding("ab", 2, 0x500));
  EXPECT_EQ(tagged.encoding(), 0x500u);
  StringRef fromC(StringFromCString("abc"));
  EXPECT_EQ(fromC.encoding(), kEncodingASCII);
  EXPECT_EQ(Bytes(fromC), "abc");
  const uint8_t pascal[] = {3, 'x', 'y', 'z', 'w'};
  StringRef fromP(StringFromPString(pascal));
  EXPECT_EQ(Bytes(fromP), "xyz");
  EXPECT_EQ(fromP.encoding(), kEncodingASCII);
  const char16_t wide[] = u"h\u00e9";
  StringRef fromW(StringFromWString(wide));
  EXPECT_EQ(fromW.encoding(), kEncodingUTF16);
  EXPECT_EQ(fromW.length(), 4);
  EXPECT_EQ(StringWideText(fromW.get()), u"h\u00e9");
  StringRef zeros(ORVABuildString(nullptr, 3));
  EXPECT_EQ(Bytes(zeros), std::string(3, '\0'));
}

TEST(StringRecord, RetainReleaseAndLockUnlockStrings) {
  ORVAstring s = StringCreate("abc", 3, kEncodingASCII);
  RuntimeLockString(s);
  EXPECT_EQ(s->refCount, 2);
  RuntimeLockUnlockStrings(s, s); /* same handle: no change */
  EXPECT_EQ(s->refCount, 2);
  ORVAstring t = StringCreate("def", 3, kEncodingASCII);
  RuntimeLockUnlockStrings(t, s);
  EXPECT_EQ(t->refCount, 2);
  EXPECT_EQ(s->refCount, 1);
  RuntimeUnlockString(s);
  RuntimeUnlockString(t);
  RuntimeUnlockString(t); /* freed here; ASan checks the block */
  RuntimeLockString(nullptr);
  RuntimeUnlockString(nullptr);
  RuntimeLockUnlockStrings(nullptr, nullptr);
}

TEST(StringRecord, AssignAndStringRef) {
  StringRef a = Make("a", kEncodingASCII);
  ORVAstring slot = nullptr;
  StringAssign(&slot, a.get());
  EXPECT_EQ(slot, a.get());
  EXPECT_EQ(a.get()->refCount, 2);
  StringAssign(&slot, slot); /* self-assignment keeps the reference */
  EXPECT_EQ(a.get()->refCount, 2);
  StringAssign(&slot, nullptr);
  EXPECT_EQ(a.get()->refCount, 1);

  StringRef copy = a;
  EXPECT_EQ(a.get()->refCount, 2);
  StringRef moved = std::move(copy);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(a.get()->refCount, 2);
  StringRef& same = moved;
  moved = same; /* self copy-assignment */
  EXPECT_EQ(a.get()->refCount, 2);
  ORVAstring handed = moved.release();
  EXPECT_EQ(a.get()->refCount, 2);
  RuntimeUnlockString(handed);
  EXPECT_EQ(a.get()->refCount, 1);
}

TEST(StringRecord, SlicesShareWholeResultsAndNullEmptyOnes) {
  StringRef s = Make("abcdef", 0x500);
  struct Case {
    const char* name;
    ORVAstring result;
    const char* expected; /* null: the source itself; "": empty */
  } cases[] = {
      {"left 0", SliceLeft(s.get(), 0), ""},
      {"left -1", SliceLeft(s.get(), -1), ""},
      {"left 2", SliceLeft(s.get(), 2), "ab"},
      {"left 6", SliceLeft(s.get(), 6), nullptr},
      {"left 99", SliceLeft(s.get(), 99), nullptr},
      {"from -3", SliceFrom(s.get(), -3), nullptr},
      {"from 0", SliceFrom(s.get(), 0), nullptr},
      {"from 4", SliceFrom(s.get(), 4), "ef"},
      {"from 6", SliceFrom(s.get(), 6), ""},
      {"middle -2,4", SliceMiddle(s.get(), -2, 4), "ab"},
      {"middle -2,2", SliceMiddle(s.get(), -2, 2), ""},
      {"middle 1,2", SliceMiddle(s.get(), 1, 2), "bc"},
      {"middle 4,99", SliceMiddle(s.get(), 4, 99), "ef"},
      {"middle 0,6", SliceMiddle(s.get(), 0, 6), nullptr},
      {"middle 0,99", SliceMiddle(s.get(), 0, 99), nullptr},
      {"middle 6,1", SliceMiddle(s.get(), 6, 1), ""},
      {"middle 2,0", SliceMiddle(s.get(), 2, 0), ""},
      {"right 0", SliceRight(s.get(), 0), ""},
      {"right 2", SliceRight(s.get(), 2), "ef"},
      {"right 6", SliceRight(s.get(), 6), nullptr},
  };
  for (const Case& c : cases) {
    StringRef result(c.result);
    if (!c.expected) {
      EXPECT_EQ(result.get(), s.get()) << c.name;
    } else if (!*c.expected) {
      EXPECT_TRUE(result.empty()) << c.name;
    } else {
      EXPECT_EQ(Bytes(result), c.expected) << c.name;
      EXPECT_EQ(result.encoding(), 0x500u) << c.name;
      EXPECT_NE(result.get(), s.get()) << c.name;
    }
  }
  EXPECT_EQ(s.get()->refCount, 1) << "every shared slice released its reference";
  EXPECT_EQ(SliceLeft(nullptr, 3), nullptr);
  EXPECT_EQ(SliceMiddle(nullptr, 0, 3), nullptr);
}

TEST(StringRecord, MiddleWithExtremeArguments) {
  StringRef s = Make("abcdef", kEncodingASCII);
  EXPECT_EQ(SliceMiddle(s.get(), INT32_MIN, INT32_MAX), nullptr);
  EXPECT_EQ(SliceMiddle(s.get(), -1, INT32_MIN), nullptr);
  StringRef tail(SliceMiddle(s.get(), 5, INT32_MAX));
  EXPECT_EQ(Bytes(tail), "f");
  EXPECT_EQ(SliceFrom(s.get(), INT32_MAX), nullptr);
}

TEST(StringConcat, EmptyOperandSharesTheOther) {
  StringRef a = Make("abc", kEncodingUTF8);
  StringRef left(RuntimeAddString(a.get(), nullptr));
  StringRef right(RuntimeAddString(nullptr, a.get()));
  EXPECT_EQ(left.get(), a.get());
  EXPECT_EQ(right.get(), a.get());
  EXPECT_EQ(RuntimeAddString(nullptr, nullptr), nullptr);
}

TEST(StringConcat, TagRules) {
  StringRef ascii = Make("ab", kEncodingASCII);
  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  StringRef joined(RuntimeAddString(ascii.get(), utf8.get()));
  EXPECT_EQ(joined.encoding(), kEncodingUTF8);
  EXPECT_EQ(Bytes(joined), "ab\xC3\xA9");

  StringRef latin = Make("\xE9", 0x500);
  StringRef withAscii(RuntimeAddString(latin.get(), ascii.get()));
  EXPECT_EQ(withAscii.encoding(), 0x500u) << "ASCII joins any 8-bit encoding unchanged";
  EXPECT_EQ(Bytes(withAscii), "\xE9" "ab");

  StringRef latinUtf8(RuntimeAddString(latin.get(), utf8.get()));
  EXPECT_EQ(latinUtf8.encoding(), kEncodingUTF8) << "a code page meets UTF-8 in UTF-8";
  EXPECT_EQ(Bytes(latinUtf8), "\xC3\xA9\xC3\xA9");

  StringRef wide(StringCreateUTF16(u"x", 1));
  StringRef wideJoined(RuntimeAddString(wide.get(), ascii.get()));
  EXPECT_EQ(wideJoined.encoding(), kEncodingUTF16);
  EXPECT_EQ(StringWideText(wideJoined.get()), u"xab") << "the ASCII operand was widened";

  StringRef wideUtf8(RuntimeAddString(wide.get(), utf8.get()));
  EXPECT_EQ(wideUtf8.encoding(), kEncodingUTF8);
  EXPECT_EQ(Bytes(wideUtf8), "x\xC3\xA9") << "UTF-16 meets UTF-8 in UTF-8";

  StringRef unknown(ORVABuildString("\xFF\x01", 2));
  StringRef raw(RuntimeAddString(unknown.get(), wide.get()));
  EXPECT_EQ(raw.encoding(), kEncodingUnknown);
  EXPECT_EQ(Bytes(raw), std::string("\xFF\x01x\0", 4)) << "unknown text joins byte for byte";
}

TEST(StringConcat, FailedConversionJoinsTheOriginalBytes) {
  /* MacSymbol, a tag without a code page, meets UTF-8: no common encoding. */
  constexpr uint32_t kMacSymbol = 0x21;
  ASSERT_EQ(EncodingCodePage(kMacSymbol), 0u);
  StringRef symbol = Make("\xE9", kMacSymbol);
  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  StringRef joined(RuntimeAddString(utf8.get(), symbol.get()));
  EXPECT_EQ(joined.encoding(), kEncodingUnknown);
  EXPECT_EQ(Bytes(joined), "\xC3\xA9\xE9");
}

TEST(StringAppend, InPlaceRules) {
  StringRef target;
  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  StringAppend(target.slot(), utf8.get());
  EXPECT_EQ(target.get(), utf8.get()) << "an empty target takes the appended string";

  StringRef text;
  StringAppendCString(text.slot(), "ab");
  EXPECT_EQ(text.encoding(), kEncodingASCII);
  StringAppendCString(text.slot(), "");
  StringAppendCString(text.slot(), nullptr);
  EXPECT_EQ(Bytes(text), "ab");
  StringAppendByte(text.slot(), 'c');
  EXPECT_EQ(text.encoding(), kEncodingASCII);
  StringAppend(text.slot(), utf8.get());
  EXPECT_EQ(text.encoding(), kEncodingUTF8);
  StringAppendByte(text.slot(), '!');
  EXPECT_EQ(text.encoding(), kEncodingUTF8);
  EXPECT_EQ(Bytes(text), "abc\xC3\xA9!");
  StringAppendByte(text.slot(), 0x80);
  EXPECT_EQ(text.encoding(), kEncodingUnknown);
  EXPECT_EQ(Bytes(text), "abc\xC3\xA9!\x80");

  StringRef single;
  StringAppendByte(single.slot(), 0xE9);
  EXPECT_EQ(single.encoding(), kEncodingUnknown);
  EXPECT_EQ(single.length(), 1);

  StringRef wide(StringCreateUTF16(u"x", 1));
  StringAppendCString(wide.slot(), "y");
  EXPECT_EQ(StringWideText(wide.get()), u"xy") << "C text appended to UTF-16 is widened";
}

TEST(StringAppend, DoesNotDisturbOtherHoldersOfTheTarget) {
  StringRef original = Make("ab", kEncodingASCII);
  StringRef target = original;
  StringAppendBytes(target.slot(), "cd", 2, kEncodingASCII);
  EXPECT_EQ(Bytes(original), "ab");
  EXPECT_EQ(Bytes(target), "abcd");
  EXPECT_EQ(original.get()->refCount, 1);
}

TEST(StringWritableByte, CopyOnWriteAndReports) {
  test::FailureCapture reports;
  StringRef s = Make("abc", kEncodingASCII);
  ORVAstring before = s.get();
  uint8_t* p = StringWritableByte(s.slot(), 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(s.get(), before) << "a private record is written in place";
  *p = 'X';
  EXPECT_EQ(Bytes(s), "aXc");

  StringRef other = s;
  p = StringWritableByte(other.slot(), 0);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(other.get(), s.get()) << "a shared record is copied first";
  *p = 'Y';
  EXPECT_EQ(Bytes(s), "aXc");
  EXPECT_EQ(Bytes(other), "YXc");
  EXPECT_EQ(other.encoding(), kEncodingASCII);
  EXPECT_EQ(s.get()->refCount, 1);
  EXPECT_EQ(reports.reports().size(), 0u);

  EXPECT_EQ(StringWritableByte(s.slot(), 3), nullptr);
  EXPECT_EQ(StringWritableByte(s.slot(), -1), nullptr);
  EXPECT_EQ(reports.reports().size(), 2u);
  EXPECT_TRUE(reports.Contains("Failure Condition: not (pos < 0 || pos >= Length())"));
  EXPECT_TRUE(reports.Contains("ORVAstring"));

  StringRef empty;
  EXPECT_EQ(StringWritableByte(empty.slot(), 0), nullptr);
  EXPECT_EQ(reports.reports().size(), 2u) << "position 0 of the empty string is not reported";
  EXPECT_EQ(StringWritableByte(empty.slot(), 2), nullptr);
  EXPECT_EQ(reports.reports().size(), 3u);
  EXPECT_TRUE(reports.Contains("Failure Condition: not pos\n"));
}

TEST(StringWide, ContentOnlyForUTF16) {
  test::FailureCapture reports;
  StringRef wide(StringCreateUTF16(u"ok", 2));
  EXPECT_EQ(StringWideText(wide.get()), u"ok");
  EXPECT_EQ(StringWideText(nullptr), u"");
  EXPECT_EQ(reports.reports().size(), 0u);
  StringRef narrow = Make("ok", kEncodingUTF8);
  const void* content = StringWideContent(narrow.get());
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(static_cast<const uint8_t*>(content)[0], 0);
  EXPECT_EQ(StringWideText(narrow.get()), u"");
  EXPECT_EQ(reports.reports().size(), 2u);
}

TEST(StringOSType, BothDirections) {
  StringRef ab = Make("ab", kEncodingASCII);
  EXPECT_EQ(StringToOSType(ab.get()), 0x61620000u);
  EXPECT_EQ(StringToOSType(nullptr), 0x3F3F3F3Fu);
  StringRef longer = Make("TEXTmore", kEncodingUTF8);
  EXPECT_EQ(StringToOSType(longer.get()), 0x54455854u);

  StringRef code(StringFromOSType(0x54455854));
  EXPECT_EQ(Bytes(code), "TEXT");
  EXPECT_EQ(code.encoding(), 0u);
  StringRef padded(StringFromOSType(0x61620000));
  EXPECT_EQ(Bytes(padded), std::string("ab\0\0", 4));
  EXPECT_EQ(StringToOSType(padded.get()), 0x61620000u);
}

TEST(StringStructure, GetDropsTrailingZerosOnly) {
  const uint8_t record[] = {9, 'a', 0, 'b', 0, 0, 9};
  StringRef field(RuntimeGetStructureString(record, 1, 5));
  EXPECT_EQ(Bytes(field), std::string("a\0b", 3));
  EXPECT_EQ(field.encoding(), kEncodingUnknown);
  EXPECT_EQ(RuntimeGetStructureString(record, 4, 2), nullptr);
  EXPECT_EQ(RuntimeGetStructureString(nullptr, 0, 4), nullptr);
  EXPECT_EQ(RuntimeGetStructureString(record, -1, 4), nullptr);
  StringRef contents(RuntimeGetStructureContents(record, 3));
  EXPECT_EQ(Bytes(contents), std::string("\x09" "a\0", 3));
  EXPECT_EQ(contents.encoding(), kEncodingUnknown);
}

TEST(StringStructure, SetStringClipsAndZeroFills) {
  uint8_t field[8];
  std::memset(field, 0xEE, sizeof field);
  StringRef s = Make("abcdef", kEncodingASCII);
  RuntimeSetStructureString(field, 1, 4, s.get());
  EXPECT_EQ(std::memcmp(field, "\xEE" "abcd" "\xEE\xEE\xEE", 8), 0);
  StringRef two = Make("xy", kEncodingASCII);
  RuntimeSetStructureString(field, 1, 4, two.get());
  EXPECT_EQ(std::memcmp(field, "\xEE" "xy\0\0" "\xEE\xEE\xEE", 8), 0);
  RuntimeSetStructureString(field, 0, 0, s.get());
  EXPECT_EQ(field[0], 0xEE) << "size 0 writes nothing";
}

TEST(StringStructure, SetWideStringKeepsAZeroUnit) {
  uint8_t field[8];
  std::memset(field, 0xEE, sizeof field);
  StringRef five = Make("hello", kEncodingASCII);
  RuntimeSetStructureWString(field, 0, 6, five.get());
  const uint8_t expected[8] = {'h', 0, 'e', 0, 0, 0, 0xEE, 0xEE};
  EXPECT_EQ(std::memcmp(field, expected, 8), 0);

  std::memset(field, 0xEE, sizeof field);
  RuntimeSetStructureWString(field, 0, 7, five.get());
  const uint8_t odd[8] = {'h', 0, 'e', 0, 0, 0, 0, 0xEE};
  EXPECT_EQ(std::memcmp(field, odd, 8), 0) << "only whole units are copied";

  std::memset(field, 0xEE, sizeof field);
  StringRef one = Make("\xC3\xA9", kEncodingUTF8);
  RuntimeSetStructureWString(field, 0, 8, one.get());
  const uint8_t short_[8] = {0xE9, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(field, short_, 8), 0);
}

TEST(StringStructure, BadBaseOrOffsetIsReportedAndNothingWritten) {
  test::FailureCapture reports;
  uint8_t field[4] = {1, 2, 3, 4};
  StringRef s = Make("ab", kEncodingASCII);
  RuntimeSetStructureString(field + 2, -2, 2, s.get());
  RuntimeSetStructureWString(field + 2, -2, 2, s.get());
  RuntimeSetStructureString(nullptr, 0, 2, s.get());
  RuntimeSetStructureWString(nullptr, 0, 2, s.get());
  EXPECT_EQ(reports.reports().size(), 4u);
  EXPECT_TRUE(reports.Contains("Failure Condition: offset >= 0"));
  EXPECT_TRUE(reports.Contains("Failure Condition: buf\n"));
  EXPECT_TRUE(reports.Contains("RuntimeStringFoundation"));
  const uint8_t untouched[4] = {1, 2, 3, 4};
  EXPECT_EQ(std::memcmp(field, untouched, 4), 0);
}

TEST(StringWideCopies, LockCountsAndFreeing) {
  int32_t before = WideCopyCount();
  StringRef s = Make("h\xC3\xA9", kEncodingUTF8);
  char16_t* copy = StringToWString(s.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"h\u00e9");
  EXPECT_EQ(WideCopyCount(), before + 1);

  char16_t* second = StringToWString(nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second[0], 0);
  EXPECT_EQ(WideCopyCount(), before + 2);

  LockWString(copy);
  UnlockWString(copy);
  EXPECT_EQ(WideCopyCount(), before + 2) << "one lock left";
  SwapWStringLocks(second, copy); /* copy reaches 0 and is freed */
  EXPECT_EQ(WideCopyCount(), before + 1);
  UnlockWString(copy);            /* no longer in the table: ignored */
  char16_t stranger[2] = {u'x', 0};
  UnlockWString(stranger);
  LockWString(stranger);
  UnlockWString(nullptr);
  LockWString(nullptr);
  EXPECT_EQ(WideCopyCount(), before + 1);
  UnlockWString(second);
  UnlockWString(second);
  EXPECT_EQ(WideCopyCount(), before);
}

TEST(StringWideCopies, ManyCopiesShareBuckets) {
  int32_t before = WideCopyCount();
  StringRef s = Make("x", kEncodingASCII);
  std::vector<char16_t*> copies;
  for (int i = 0; i < 3000; ++i) copies.push_back(StringToWString(s.get()));
  EXPECT_EQ(WideCopyCount(), before + 3000);
  /* Free in an order unlike creation, so removal from the middle of chains runs. */
  for (size_t i = 0; i < copies.size(); i += 2) UnlockWString(copies[i]);
  for (size_t i = 1; i < copies.size(); i += 2) UnlockWString(copies[i]);
  EXPECT_EQ(WideCopyCount(), before);
}

TEST(StringLock, ThreadsShareRecords) {
  StringRef shared = Make("shared", kEncodingUTF8);
  StringRef suffix = Make("!", kEncodingASCII);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        StringRef mine = shared; /* an unlocked retain racing the others' releases */
        StringRef joined(RuntimeAddString(mine.get(), suffix.get()));
        ASSERT_EQ(joined.length(), 7);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(shared.get()->refCount, 1);
  EXPECT_EQ(suffix.get()->refCount, 1);
}
