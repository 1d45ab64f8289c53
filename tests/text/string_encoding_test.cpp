/*
** Encoding tags and conversions: tag combination, the common encoding of
** two strings, conversion short cuts and cache, the byte converter, UTF-8
** code points and the Unicode case table.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/unicode_case.h"
#include "runtime/base/utf8.h"

using namespace quendal;

namespace {

/* MacSymbol: a tag of the catalogue that no code page serves, so every
** conversion to or from it fails. */
constexpr uint32_t kTagWithoutCodePage = 0x21;

StringRef Make(std::string_view bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }

std::string Bytes(const StringRef& s) { return std::string(StringView(s.get())); }

std::string Convert(std::string_view bytes, uint32_t from, uint32_t to, bool* ok = nullptr) {
  std::string out;
  bool converted = ConvertTextBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                    from, to, out);
  if (ok) *ok = converted;
  return converted ? out : "<failed>";
}

std::string Utf16Bytes(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

} // namespace

TEST(EncodingTags, UTF16Family) {
  EXPECT_TRUE(IsUTF16Family(0x100));
  EXPECT_TRUE(IsUTF16Family(0x103));
  EXPECT_TRUE(IsUTF16Family(0x200));
  EXPECT_FALSE(IsUTF16Family(0x201));
  EXPECT_FALSE(IsUTF16Family(0xFF));
  EXPECT_FALSE(IsUTF16Family(kEncodingUTF8));
}

TEST(EncodingTags, Combination) {
  struct Case {
    uint32_t a, b;
    uint32_t strict, lenient;
  } cases[] = {
      {0x500, 0x500, 0x500, 0x500},
      {kEncodingASCII, kEncodingUTF8, kEncodingUTF8, kEncodingUTF8},
      {kEncodingUTF8, kEncodingASCII, kEncodingUTF8, kEncodingUTF8},
      {kEncodingASCII, 0x500, 0x500, 0x500},
      {0, kEncodingASCII, 0, 0},
      {kEncodingASCII, kEncodingUTF16, kEncodingUnknown, kEncodingUTF16},
      {0x500, kEncodingUTF16, kEncodingUnknown, kEncodingUTF16},
      {kEncodingUTF8, kEncodingUTF16, kEncodingUnknown, kEncodingUTF8},
      {0x500, 0x501, kEncodingUnknown, kEncodingUTF8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CombineEncodingTags(c.a, c.b, false), c.strict) << std::hex << c.a << " + " << c.b;
    EXPECT_EQ(CombineEncodingTags(c.a, c.b, true), c.lenient) << std::hex << c.a << " + " << c.b;
  }
}

TEST(EncodingTags, PureASCII) {
  EXPECT_TRUE(StringIsPureASCII(nullptr));
  EXPECT_TRUE(StringIsPureASCII(Make("abc", 0x500).get()));
  EXPECT_FALSE(StringIsPureASCII(Make("ab\x80", kEncodingASCII).get()));
  EXPECT_FALSE(StringIsPureASCII(Make("a\0", kEncodingUTF16).get()));
}

TEST(CommonEncoding, ShortCutsConvertNothing) {
  StringRef empty;
  StringRef also;
  EXPECT_EQ(StringCommonEncoding(empty, also), kEncodingASCII);

  StringRef latin = Make("\xE9", 0x500);
  StringRef keep = latin;
  EXPECT_EQ(StringCommonEncoding(empty, latin), 0x500u);

  StringRef unknown = Make("\xE9", kEncodingUnknown);
  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  EXPECT_EQ(StringCommonEncoding(unknown, utf8), kEncodingUnknown);
  EXPECT_EQ(utf8.encoding(), kEncodingUTF8);

  StringRef ascii = Make("ab", kEncodingASCII);
  EXPECT_EQ(StringCommonEncoding(ascii, latin), 0x500u);
  EXPECT_EQ(ascii.encoding(), kEncodingASCII) << "ASCII text is valid as it is";
  EXPECT_EQ(latin.get(), keep.get());
}

TEST(CommonEncoding, ConvertsToUTF16OrUTF8) {
  StringRef ascii = Make("ab", kEncodingASCII);
  StringRef wide(StringCreateUTF16(u"c", 1));
  EXPECT_EQ(StringCommonEncoding(ascii, wide), kEncodingUTF16);
  EXPECT_EQ(ascii.encoding(), kEncodingUTF16);
  EXPECT_EQ(Bytes(ascii), Utf16Bytes(u"ab"));

  StringRef utf8 = Make("\xC3\xA9", kEncodingUTF8);
  StringRef wide2(StringCreateUTF16(u"\u00e8", 1));
  EXPECT_EQ(StringCommonEncoding(wide2, utf8), kEncodingUTF8);
  EXPECT_EQ(Bytes(wide2), "\xC3\xA8");
}

TEST(CommonEncoding, AFailedConversionLeavesBothOperands) {
  ASSERT_EQ(EncodingCodePage(kTagWithoutCodePage), 0u);
  StringRef wide(StringCreateUTF16(u"x", 1));
  StringRef symbol = Make("\xE9", kTagWithoutCodePage);
  ORVAstring wideBefore = wide.get();
  ORVAstring symbolBefore = symbol.get();
  EXPECT_EQ(StringCommonEncoding(wide, symbol), kEncodingUnknown);
  EXPECT_EQ(wide.get(), wideBefore);
  EXPECT_EQ(symbol.get(), symbolBefore);
  EXPECT_EQ(symbol.encoding(), kTagWithoutCodePage);
}

TEST(StringConversion, ShortCutsShareTheSource) {
  StringRef utf8 = Make("abc", kEncodingUTF8);
  StringRef unknown = Make("\xFF", kEncodingUnknown);
  for (auto [source, target] : {std::pair{utf8.get(), kEncodingUnknown},
                                std::pair{utf8.get(), kEncodingUTF8},
                                std::pair{unknown.get(), kEncodingUTF16}}) {
    StringRef result(StringConvertToTag(source, target));
    EXPECT_EQ(result.get(), source);
  }
  EXPECT_EQ(StringConvertToTag(nullptr, kEncodingUTF16), nullptr);
}

TEST(StringConversion, RetagOrConvert) {
  /* A tag without a code page: a real conversion would fail. */
  StringRef utf8 = Make("abc", kEncodingUTF8);
  StringRef retagged(StringConvertToTag(utf8.get(), kTagWithoutCodePage));
  EXPECT_EQ(Bytes(retagged), "abc") << "pure ASCII bytes are copied";
  EXPECT_EQ(retagged.encoding(), kTagWithoutCodePage);

  StringRef asciiHigh = Make("\xE9", kEncodingASCII);
  StringRef asciiRetagged(StringConvertToTag(asciiHigh.get(), kEncodingUTF8));
  EXPECT_EQ(Bytes(asciiRetagged), "\xE9")
      << "ASCII-tagged bytes are copied unchanged (converted, 0xE9 would be U+FFFD)";
  EXPECT_EQ(asciiRetagged.encoding(), kEncodingUTF8);

  StringRef a = Make("A", kEncodingASCII);
  StringRef wideA(StringConvertToTag(a.get(), kEncodingUTF16));
  EXPECT_EQ(Bytes(wideA), std::string("A\0", 2)) << "a UTF-16 target always converts";

  StringRef wideText(StringCreateUTF16(u"AB", 2));
  StringRef narrow(StringConvertToTag(wideText.get(), kEncodingUTF8));
  EXPECT_EQ(Bytes(narrow), "AB") << "a UTF-16 source always converts";
  StringRef asAscii(StringConvertToTag(wideText.get(), kEncodingASCII));
  EXPECT_EQ(Bytes(asAscii), "AB");

  StringRef accented = Make("\xC3\xA9", kEncodingUTF8);
  StringRef accentedAscii(StringConvertToTag(accented.get(), kEncodingASCII));
  EXPECT_EQ(Bytes(accentedAscii), "?") << "é has no ASCII form";
  EXPECT_EQ(accentedAscii.encoding(), kEncodingASCII);
  StringRef accentedLatin(StringConvertToTag(accented.get(), 0x500));
  EXPECT_EQ(Bytes(accentedLatin), "\xE9") << "a high byte really converts";
  EXPECT_EQ(accentedLatin.encoding(), 0x500u);
  StringRef failed(StringConvertToTag(accented.get(), kTagWithoutCodePage));
  EXPECT_TRUE(failed.empty()) << "a failed conversion gives the empty string";
}

TEST(StringConversion, CacheReturnsTheSameResult) {
  StringRef s = Make("h\xC3\xA9", kEncodingUTF8);
  StringRef first(StringConvertToTag(s.get(), kEncodingUTF16));
  StringRef second(StringConvertToTag(s.get(), kEncodingUTF16));
  EXPECT_EQ(first.get(), second.get());
  StringRef other(StringConvertToTag(s.get(), kEncodingASCII));
  EXPECT_EQ(Bytes(other), "h?") << "another target is a new request";
  EXPECT_EQ(other.encoding(), kEncodingASCII);
}

TEST(StringConversion, CacheIsNotFooledByAReusedAddress) {
  /* Equal sizes make the allocator likely to hand the freed block out again. */
  ORVAstring s = StringCreate("h\xC3\xA9", 3, kEncodingUTF8);
  StringRef first(StringConvertToTag(s, kEncodingUTF16));
  EXPECT_EQ(StringWideText(first.get()), u"h\u00e9");
  StringRelease(s);
  ORVAstring t = StringCreate("h\xC3\xBC", 3, kEncodingUTF8);
  StringRef second(StringConvertToTag(t, kEncodingUTF16));
  EXPECT_EQ(StringWideText(second.get()), u"h\u00fc");
  StringRelease(t);
}

TEST(StringConversion, CachedSourceIsNotChangedInPlace) {
  StringRef s = Make("abc", kEncodingUTF8);
  StringRef wide(StringConvertToTag(s.get(), kEncodingUTF16));
  uint8_t* p = StringWritableByte(s.slot(), 0);
  ASSERT_NE(p, nullptr);
  *p = 'X';
  StringRef again(StringConvertToTag(s.get(), kEncodingUTF16));
  EXPECT_EQ(StringWideText(again.get()), u"Xbc");
}

TEST(ConvertTextBytes, UTFPaths) {
  EXPECT_EQ(Convert("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", kEncodingUTF8, kEncodingUTF16),
            Utf16Bytes(u"a\u00e9\u20ac\U0001F600"));
  EXPECT_EQ(Convert(Utf16Bytes(u"a\u00e9\u20ac\U0001F600"), kEncodingUTF16, kEncodingUTF8),
            "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert("a\xFF" "b\xC3", kEncodingUTF8, kEncodingUTF16), Utf16Bytes(u"a\ufffdb\ufffd"))
      << "each malformed byte becomes U+FFFD";
  EXPECT_EQ(Convert(Utf16Bytes(u"\xD800x\xDC00"), kEncodingUTF16, kEncodingUTF8),
            "\xEF\xBF\xBDx\xEF\xBF\xBD")
      << "unpaired surrogates become U+FFFD";
  EXPECT_EQ(Convert(std::string("A\0B", 3), kEncodingUTF16, kEncodingUTF8), "A")
      << "an odd trailing byte is ignored";
}

TEST(ConvertTextBytes, ASCIIAndUnknownPairs) {
  EXPECT_EQ(Convert("ab", kEncodingASCII, kEncodingUTF16), Utf16Bytes(u"ab"));
  EXPECT_EQ(Convert("ab", kEncodingASCII, kEncodingUTF8), "ab");
  EXPECT_EQ(Convert("ab", kEncodingUTF8, kEncodingASCII), "ab");
  EXPECT_EQ(Convert("a\x80", kEncodingASCII, kEncodingUTF8), "a\xEF\xBF\xBD")
      << "0x80 is not ASCII: it becomes U+FFFD";
  EXPECT_EQ(Convert("\xC3\xA9", kEncodingUTF8, kEncodingASCII), "?") << "é has no ASCII form";
  EXPECT_EQ(Convert(Utf16Bytes(u"\u00e9"), kEncodingUTF16, kEncodingASCII), "?");
  EXPECT_EQ(Convert("\xE9\x80", 0x500, kEncodingUTF8), "\xC3\xA9\xE2\x82\xAC") << "1252: é €";
  EXPECT_EQ(Convert("a\xE2\x82\xAC", kEncodingUTF8, 0x500), "a\x80");

  bool ok = true;
  Convert("\xE9", kTagWithoutCodePage, kEncodingUTF8, &ok);
  EXPECT_FALSE(ok) << "a tag without a code page converts to nothing";
  Convert("a", kEncodingUTF8, kTagWithoutCodePage, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Convert("\xE9", kTagWithoutCodePage, kTagWithoutCodePage, &ok), "\xE9")
      << "equal tags copy, code page or not";
  EXPECT_TRUE(ok);
}

TEST(Utf8, DecodeWellFormedAndMalformed) {
  struct Case {
    std::string bytes;
    uint32_t codePoint;
    int32_t length;
    bool valid;
  } cases[] = {
      {"A", 0x41, 1, true},
      {"\xC3\xA9", 0xE9, 2, true},
      {"\xE2\x82\xAC", 0x20AC, 3, true},
      {"\xF0\x9F\x98\x80", 0x1F600, 4, true},
      {"\x80", 0x80, 1, false},             /* stray continuation */
      {"\xC0\x80", 0xC0, 1, false},         /* overlong NUL */
      {"\xE0\x80\x80", 0xE0, 1, false},     /* overlong */
      {"\xED\xA0\x80", 0xED, 1, false},     /* surrogate */
      {"\xF4\x90\x80\x80", 0xF4, 1, false}, /* above U+10FFFF */
      {"\xC3" "A", 0xC3, 1, false},         /* missing continuation */
      {"\xE2\x82", 0xE2, 1, false},         /* truncated at the end */
      {"\xFF", 0xFF, 1, false},
  };
  for (const Case& c : cases) {
    Utf8Char d = Utf8Decode(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(d.codePoint, c.codePoint) << c.bytes;
    EXPECT_EQ(d.length, c.length) << c.bytes;
    EXPECT_EQ(d.valid, c.valid) << c.bytes;
  }
}

TEST(Utf8, EncodeLengthsAndLimit) {
  uint8_t out[4];
  EXPECT_EQ(Utf8Encode(0x7F, out), 1);
  EXPECT_EQ(Utf8Encode(0x80, out), 2);
  EXPECT_EQ(Utf8Encode(0x20AC, out), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8Encode(0x10000, out), 4);
  EXPECT_EQ(Utf8Encode(0x1FFFFF, out), 4);
  EXPECT_EQ(Utf8Encode(0x200000, out), 0);
}

TEST(UnicodeCase, SimpleOneToOnePairs) {
  EXPECT_EQ(UnicodeToUpper('a'), uint32_t('A'));
  EXPECT_EQ(UnicodeToLower('Z'), uint32_t('z'));
  EXPECT_EQ(UnicodeToUpper('1'), uint32_t('1'));
  EXPECT_EQ(UnicodeToUpper(0xE9), 0xC9u);
  EXPECT_EQ(UnicodeToLower(0x0394), 0x03B4u); /* Δ → δ */
  EXPECT_EQ(UnicodeToUpper(0x044F), 0x042Fu); /* я → Я */
  EXPECT_EQ(UnicodeToUpper(0x00DF), 0x00DFu) << "ß has no one-to-one upper case";
  EXPECT_EQ(UnicodeToLower(0x212A), 0x212Au) << "KELVIN SIGN does not round-trip";
  EXPECT_EQ(UnicodeToUpper('k'), uint32_t('K'));
  EXPECT_EQ(UnicodeToUpper(0x10428), 0x10428u) << "beyond the BMP nothing maps";
}

TEST(UnicodeCase, TableIsABijection) {
  int32_t pairs = 0;
  for (uint32_t c = 0; c <= 0xFFFF; ++c) {
    uint32_t upper = UnicodeToUpper(c);
    if (upper != c) {
      ++pairs;
      EXPECT_EQ(UnicodeToLower(upper), c) << std::hex << c;
    }
    uint32_t lower = UnicodeToLower(c);
    if (lower != c) {
      EXPECT_EQ(UnicodeToUpper(lower), c) << std::hex << c;
    }
  }
  EXPECT_EQ(pairs, UnicodeCasePairCount());
  EXPECT_GT(pairs, 700);
}
