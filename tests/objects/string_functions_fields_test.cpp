/*
** String functions: fields, split and join, and the choice of search the
** field functions make.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/objects/array_object.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/string_arrays.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/text/text_encoding_codepages.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

int32_t Count(std::string_view s, std::string_view separator) {
  return StringCountFields(Make(s).get(), Make(separator).get());
}

std::string Nth(std::string_view s, std::string_view separator, int32_t n) {
  return Take(StringNthField(Make(s).get(), Make(separator).get(), n));
}

/* The elements of a string array (which is released), with their tags. */
struct Elements {
  int32_t upperBound = -2;
  std::vector<std::string> bytes;
  std::vector<uint32_t> tags;
};

Elements Read(ArrayObject* array) {
  Elements e;
  if (!array) return e;
  e.upperBound = ArrayUpperBound(array);
  for (int32_t i = 0; i <= e.upperBound; ++i) {
    ORVAstring s = ArrayStringAt(array, i);
    e.bytes.emplace_back(StringView(s));
    e.tags.push_back(StringEncoding(s));
  }
  RuntimeUnlockObject(reinterpret_cast<ObjectHeader*>(array));
  return e;
}

using Strings = std::vector<std::string>;

/* A string array holding the given elements (null for an empty one). */
ArrayObject* MakeArray(const std::vector<StringRef>& items) {
  ArrayObject* array = CreateArray(1, kArrayString, -1);
  for (const StringRef& s : items) ArrayAppendString(array, s.get());
  return array;
}

void Release(ArrayObject* array) { RuntimeUnlockObject(reinterpret_cast<ObjectHeader*>(array)); }

} // namespace

TEST(StringFields, CountAndNth) {
  EXPECT_EQ(Count("", ","), 0);
  EXPECT_EQ(Count("abc", ""), 1);
  EXPECT_EQ(Count("a,,b", ","), 3);
  EXPECT_EQ(Count(",a,", ","), 3) << "empty fields at both ends count";
  EXPECT_EQ(Count("abc", "abcd"), 1);
  EXPECT_EQ(Nth("a,,b", ",", 1), "a");
  EXPECT_EQ(Nth("a,,b", ",", 2), "");
  EXPECT_EQ(Nth("a,,b", ",", 3), "b");
  EXPECT_EQ(Nth("a,,b", ",", 4), "");
  EXPECT_EQ(Nth("a,,b", ",", 0), "");
  EXPECT_EQ(Nth("a,,b", "", 1), "");
  EXPECT_EQ(Nth("one<>two<>three", "<>", 3), "three");
  EXPECT_EQ(Nth("aXXXb", "XX", 2), "Xb") << "separators are found left to right without overlap";
}

TEST(StringFields, CaseInsensitiveAndByteForms) {
  StringRef s = Make("1x2X3");
  EXPECT_EQ(StringCountFields(s.get(), Make("x").get()), 3);
  EXPECT_EQ(StringCountFieldsB(s.get(), Make("x").get()), 2);
  EXPECT_EQ(Take(StringNthField(s.get(), Make("X").get(), 3)), "3");
  EXPECT_EQ(Take(StringNthFieldB(s.get(), Make("X").get(), 2)), "3");
  EXPECT_EQ(Take(StringNthFieldB(s.get(), Make("X").get(), 3)), "");
  /* A separator whose match is longer than itself. */
  EXPECT_EQ(Nth("a\xE2\xB1\xAF" "b", "\xC9\x90", 2), "b");
  /* The field keeps the text's tag. */
  StringRef field(StringNthField(Make("a;b", kEncodingWindowsLatin1).get(), Make(";").get(), 2));
  EXPECT_EQ(field.encoding(), kEncodingWindowsLatin1);
}

TEST(StringFields, SeparatorsMeetTheTextsEncoding) {
  /* A UTF-8 separator in UTF-16 text is converted and found on unit starts. */
  StringRef wide = Wide(u"a,\u4100,b");
  EXPECT_EQ(StringCountFields(wide.get(), Make(",").get()), 3);
  StringRef third(StringNthField(wide.get(), Make(",").get(), 3));
  EXPECT_EQ(StringView(third.get()), WideBytes(u"b"));
  EXPECT_EQ(third.encoding(), kEncodingUTF16);
  /* The bytes 41 2C 00 41 hold a comma's 2C 00 across two units. */
  StringRef straddle = Wide(u"\u2C41\u4100");
  EXPECT_EQ(StringCountFields(straddle.get(), Wide(u",").get()), 1);
  /* 1252 text with a UTF-8 separator. */
  StringRef latin = Make("a\xE9" "b\xC9" "c", kEncodingWindowsLatin1);
  EXPECT_EQ(StringCountFields(latin.get(), Make("\xC3\xA9").get()), 3);
}

TEST(StringFields, TheByteExactSearchIsChosenOnlyForCaselessSeparators) {
  EXPECT_EQ(FieldSearchMode(",", kEncodingUTF8), SearchMode::Exact);
  EXPECT_EQ(FieldSearchMode("\xE2\x82\xAC", kEncodingUTF8), SearchMode::Exact) << "€ has no case";
  EXPECT_EQ(FieldSearchMode("x", kEncodingUTF8), SearchMode::IgnoreCase);
  EXPECT_EQ(FieldSearchMode("\xC3\xA9", kEncodingUTF8), SearchMode::IgnoreCase);
  EXPECT_EQ(FieldSearchMode(";", kEncodingWindowsLatin1), SearchMode::Exact);
  EXPECT_EQ(FieldSearchMode("\xE9", kEncodingWindowsLatin1), SearchMode::IgnoreCase);
  EXPECT_EQ(FieldSearchMode(std::string(",\0", 2), kEncodingUTF16), SearchMode::IgnoreCase)
      << "UTF-16 must keep to whole code units";
}

TEST(StringFields, FieldsAgreeWithTheirCount) {
  const std::string text = "alpha, beta,,GAMMA ,delta,";
  const int32_t count = Count(text, ",");
  ASSERT_EQ(count, 6);
  std::string rebuilt;
  for (int32_t i = 1; i <= count; ++i) rebuilt += (i > 1 ? "," : "") + Nth(text, ",", i);
  EXPECT_EQ(rebuilt, text);
}

TEST(StringSplit, SeparatorsAndCharacters) {
  Elements e = Read(StringSplit(Make("a,b").get(), nullptr));
  EXPECT_EQ(e.bytes, (Strings{"a", ",", "b"}));
  e = Read(StringSplit(Make("a,,b").get(), Make(",").get()));
  EXPECT_EQ(e.upperBound, 2);
  EXPECT_EQ(e.bytes, (Strings{"a", "", "b"}));
  e = Read(StringSplit(Make(",").get(), Make(",").get()));
  EXPECT_EQ(e.bytes, (Strings{"", ""}));
  e = Read(StringSplit(nullptr, Make(",").get()));
  EXPECT_EQ(e.upperBound, -1);
  e = Read(StringSplit(Make("aXbxc").get(), Make("x").get()));
  EXPECT_EQ(e.bytes, (Strings{"a", "b", "c"}));
  e = Read(StringSplitB(Make("aXbxc").get(), Make("x").get()));
  EXPECT_EQ(e.bytes, (Strings{"aXb", "c"}));
}

TEST(StringSplit, CharactersOfEveryEncoding) {
  Elements e = Read(StringSplit(Make("\xC3\x9Cn\xE2\x82\xAC").get(), nullptr));
  EXPECT_EQ(e.bytes, (Strings{"\xC3\x9C", "n", "\xE2\x82\xAC"}));
  EXPECT_EQ(e.tags, (std::vector<uint32_t>(3, kEncodingUTF8)));
  e = Read(StringSplitB(Make("\xC3\x9C").get(), nullptr));
  EXPECT_EQ(e.bytes, (Strings{"\xC3", "\x9C"}));
  EXPECT_EQ(e.tags, (std::vector<uint32_t>(2, kEncodingUnknown)));
  e = Read(StringSplit(Wide(u"a\u20AC").get(), nullptr));
  EXPECT_EQ(e.bytes, (Strings{WideBytes(u"a"), WideBytes(u"\u20AC")})) << "whole code units, never half of one";
  if (EncodingCodePage(kEncodingShiftJIS) == 932) {
    e = Read(StringSplit(Make("a\x82\xA0" "b", kEncodingShiftJIS).get(), nullptr));
    EXPECT_EQ(e.bytes, (Strings{"a", "\x82\xA0", "b"}));
  }
}

TEST(StringJoin, ElementsSeparatorsAndTheEmptyCases) {
  EXPECT_EQ(StringJoin(nullptr, Make(",").get()), nullptr);
  ArrayObject* none = MakeArray({});
  EXPECT_EQ(StringJoin(none, Make(",").get()), nullptr);
  Release(none);

  StringRef only = Make("only");
  ArrayObject* one = MakeArray({only});
  ORVAstring joined = StringJoin(one, Make(",").get());
  EXPECT_EQ(joined, only.get()) << "a single element is returned itself";
  StringRelease(joined);
  Release(one);

  ArrayObject* three = MakeArray({Make("a"), StringRef(), Make("b")});
  EXPECT_EQ(Take(StringJoin(three, Make(", ").get())), "a, , b");
  EXPECT_EQ(Take(StringJoin(three, nullptr)), "ab");
  Release(three);

  ArrayObject* empties = MakeArray({StringRef(), StringRef()});
  EXPECT_EQ(StringJoin(empties, nullptr), nullptr);
  EXPECT_EQ(Take(StringJoin(empties, Make("-").get())), "-");
  Release(empties);
}

TEST(StringJoin, MixedEncodingsMeetInOne) {
  ArrayObject* mixed = MakeArray({Make("a", kEncodingASCII), Make("\xC3\xA9")});
  StringRef r(StringJoin(mixed, Make("-", kEncodingASCII).get()));
  EXPECT_EQ(StringView(r.get()), "a-\xC3\xA9");
  EXPECT_EQ(r.encoding(), kEncodingUTF8);
  Release(mixed);

  ArrayObject* latin = MakeArray({Make("\xE9", kEncodingWindowsLatin1), Make("\xC3\xBC")});
  StringRef u(StringJoin(latin, Make("+", kEncodingWindowsLatin1).get()));
  EXPECT_EQ(StringView(u.get()), "\xC3\xA9+\xC3\xBC") << "the 1252 element is converted";
  EXPECT_EQ(u.encoding(), kEncodingUTF8);
  Release(latin);

  ArrayObject* wide = MakeArray({Wide(u"a"), Make("b", kEncodingASCII)});
  StringRef w(StringJoin(wide, nullptr));
  EXPECT_EQ(StringView(w.get()), WideBytes(u"ab"));
  EXPECT_EQ(w.encoding(), kEncodingUTF16);
  Release(wide);
}

TEST(StringJoin, SplitThenJoinGivesTheTextBack) {
  for (const char* text : {"a,b,,c,", ",", "no separator", "\xC3\xA9,\xE2\x82\xAC"}) {
    StringRef s = Make(text);
    StringRef comma = Make(",");
    ArrayObject* parts = StringSplit(s.get(), comma.get());
    EXPECT_EQ(Take(StringJoin(parts, comma.get())), text);
    Release(parts);
  }
}
