/*
** Search, count, split and replace agree on where a needle occurs, in
** every encoding: each case below once had them disagree, or had replace
** cut a character of the text in two.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/objects/array_object.h"
#include "runtime/objects/string_arrays.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

constexpr uint32_t kUtf16CodePage = 0xFFFF04B0;
constexpr uint32_t kUtf16BigEndianCodePage = 0xFFFF04B1;
constexpr uint32_t kWindows1252 = 0xFFFF04E4;

/* Where each function finds the needle: InStr's first position, the field
** count, the number of split elements, and the text after ReplaceAll with
** nothing. */
struct Occurrences {
  int32_t first;
  int32_t fields;
  int32_t elements;
  std::string removed;
};

Occurrences Find(const StringRef& s, const StringRef& find) {
  ArrayObject* parts = StringSplit(s.get(), find.get());
  Occurrences o{StringInStr(1, s.get(), find.get()), StringCountFields(s.get(), find.get()),
                ArrayUpperBound(parts) + 1, Take(StringReplaceAll(s.get(), find.get(), nullptr))};
  RuntimeUnlockObject(&parts->header);
  return o;
}

std::string Bytes(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(StringAgreement, Utf16CodePageTextIsSearchedInWholeUnits) {
  /* 41 00 | 00 42: two zero bytes across the units U+0041 and U+4200. */
  StringRef text = Make(Bytes({0x41, 0x00, 0x00, 0x42}), kUtf16CodePage);
  StringRef zero = Make(Bytes({0x00, 0x00}), kUtf16CodePage);
  Occurrences o = Find(text, zero);
  EXPECT_EQ(o.first, 0);
  EXPECT_EQ(o.fields, 1);
  EXPECT_EQ(o.elements, 1);
  EXPECT_EQ(o.removed, Bytes({0x41, 0x00, 0x00, 0x42}));
  /* The same unit where it is one: found, counted in units, removed whole. */
  StringRef aligned = Make(Bytes({0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), kUtf16CodePage);
  o = Find(aligned, zero);
  EXPECT_EQ(o.first, 2);
  EXPECT_EQ(o.fields, 2);
  EXPECT_EQ(o.elements, 2);
  EXPECT_EQ(o.removed, Bytes({0x41, 0x00, 0x42, 0x00}));
  EXPECT_EQ(StringDBCSLen(aligned.get()), 3);
  /* An ASCII needle is made a unit of the text before the search. */
  o = Find(aligned, Make("b", kEncodingASCII));
  EXPECT_EQ(o.first, 3);
  EXPECT_EQ(o.removed, Bytes({0x41, 0x00, 0x00, 0x00}));
}

TEST(StringAgreement, WideUnitsOfOtherCodePagesAreNeverCut) {
  /* UTF-16BE 00 41 | 42 00: the bytes 41 42 straddle two units. */
  StringRef text = Make(Bytes({0x00, 0x41, 0x42, 0x00}), kUtf16BigEndianCodePage);
  StringRef straddling = Make(Bytes({0x41, 0x42}), kUtf16BigEndianCodePage);
  Occurrences o = Find(text, straddling);
  EXPECT_EQ(o.first, 0);
  EXPECT_EQ(o.fields, 1);
  EXPECT_EQ(o.removed, Bytes({0x00, 0x41, 0x42, 0x00}));
  EXPECT_EQ(StringInStrB(1, text.get(), straddling.get()), 2) << "the byte forms still see bytes";
}

TEST(StringAgreement, ANeedleWithoutAFaithfulFormInTheTextOccursNowhere) {
  /* Half a UTF-16 unit against 1252 text full of zero bytes. */
  StringRef latin = Make(std::string("a\0b\0c\0", 6), kWindows1252);
  Occurrences o = Find(latin, Make(std::string("\0", 1), kEncodingUTF16));
  EXPECT_EQ(o.first, 0);
  EXPECT_EQ(o.fields, 1);
  EXPECT_EQ(o.elements, 1);
  EXPECT_EQ(o.removed, std::string("a\0b\0c\0", 6));
  /* A character 1252 cannot hold is not its substitute '?'. */
  StringRef question = Make("a?b", kWindows1252);
  StringRef cyrillic = Make("\xD0\x96");
  o = Find(question, cyrillic);
  EXPECT_EQ(o.first, 0);
  EXPECT_EQ(o.fields, 1);
  EXPECT_EQ(Take(StringReplaceAll(question.get(), cyrillic.get(), Make("x").get())), "a?b");
  /* One that it holds is still found, in either case. */
  EXPECT_EQ(Find(Make("caf\xC9", kWindows1252), Make("\xC3\xA9")).first, 4);
}

TEST(StringAgreement, AMalformedUtf8SeparatorIsLookedForAsInStrDoes) {
  /* 0x80 is the second byte of the character C3 80. */
  StringRef text = Make("\xC3\x80" "a\x80");
  Occurrences o = Find(text, Make("\x80"));
  EXPECT_EQ(o.first, 3);
  EXPECT_EQ(o.fields, 2);
  EXPECT_EQ(o.elements, 2);
  EXPECT_EQ(o.removed, "\xC3\x80" "a");
}

} // namespace
