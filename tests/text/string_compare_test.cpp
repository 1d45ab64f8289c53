/*
** String comparison: the language operators, StrComp, the table orders and
** the locale collation.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/platform/nls.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

using namespace quendal;

namespace {

StringRef Make(std::string_view bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }

StringRef Wide(std::u16string_view text) {
  return StringRef(StringCreateUTF16(text.data(), static_cast<int32_t>(text.size())));
}

int32_t Compare(const StringRef& a, const StringRef& b) { return RuntimeStringCompare(a.get(), b.get()); }

/* Sets LC_ALL, which outranks LC_CTYPE and LANG in choosing the ANSI code
** page, while alive; restores the previous value (or its absence). */
class ScopedLcAll {
 public:
  explicit ScopedLcAll(const char* value) {
    if (const char* old = std::getenv("LC_ALL")) saved_ = old;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLcAll() {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }
  ScopedLcAll(const ScopedLcAll&) = delete;
  ScopedLcAll& operator=(const ScopedLcAll&) = delete;

 private:
  std::optional<std::string> saved_;
};

} // namespace

TEST(StringCompare, EmptyAndIdentity) {
  StringRef a = Make("a", kEncodingASCII);
  EXPECT_EQ(RuntimeStringCompare(nullptr, a.get()), -1);
  EXPECT_EQ(RuntimeStringCompare(a.get(), nullptr), 1);
  EXPECT_EQ(RuntimeStringCompare(nullptr, nullptr), 0);
  EXPECT_EQ(RuntimeStringCompare(a.get(), a.get()), 0);
}

TEST(StringCompare, CaseInsensitiveInEveryPath) {
  /* ASCII tags go through the collation, UTF-8 and UTF-16 through code points. */
  for (uint32_t tag : {uint32_t{kEncodingASCII}, uint32_t{kEncodingUTF8}, uint32_t{kEncodingUnknown}, uint32_t{0x500}}) {
    SCOPED_TRACE(tag);
    StringRef upper = Make("ABC", tag);
    StringRef lower = Make("abc", tag);
    StringRef longer = Make("abcd", tag);
    StringRef b = Make("b", tag);
    EXPECT_EQ(Compare(upper, lower), 0);
    EXPECT_EQ(Compare(lower, longer), -1);
    EXPECT_EQ(Compare(longer, lower), 1);
    EXPECT_EQ(Compare(upper, b), -1) << "a sorts before b whatever the case";
    EXPECT_EQ(Compare(b, upper), 1);
  }
  EXPECT_EQ(Compare(Wide(u"ABC"), Wide(u"abc")), 0);
  EXPECT_EQ(Compare(Wide(u"abc"), Wide(u"abcd")), -1);
}

TEST(StringCompare, AccentedLettersFoldCase) {
  StringRef lower = Make("\xC3\xA9t\xC3\xA9", kEncodingUTF8);       /* été */
  StringRef upper = Make("\xC3\x89T\xC3\x89", kEncodingUTF8);       /* ÉTÉ */
  StringRef greek = Make("\xCE\xA3\xCE\xBF\xCF\x86", kEncodingUTF8); /* Σοφ */
  StringRef greekUpper = Make("\xCE\xA3\xCE\x9F\xCE\xA6", kEncodingUTF8);
  EXPECT_EQ(Compare(lower, upper), 0);
  EXPECT_EQ(Compare(greek, greekUpper), 0);
  StringRef e = Make("e", kEncodingUTF8);
  EXPECT_EQ(Compare(e, lower), -1) << "U+00E9 sorts after e by code point";
  /* 1252 text folds case through the collation. */
  StringRef latinLower = Make("\xE9", 0x500);
  StringRef latinUpper = Make("\xC9", 0x500);
  EXPECT_EQ(Compare(latinLower, latinUpper), 0);
}

TEST(StringCompare, MixedEncodings) {
  StringRef utf8 = Make("\xC3\xA9t\xC3\xA9", kEncodingUTF8);
  StringRef wideUpper = Wide(u"\u00c9T\u00c9");
  EXPECT_EQ(Compare(utf8, wideUpper), 0) << "UTF-16 meets UTF-8 in UTF-8";
  EXPECT_EQ(Compare(wideUpper, utf8), 0);
  StringRef ascii = Make("ABC", kEncodingASCII);
  EXPECT_EQ(Compare(ascii, Wide(u"abc")), 0) << "ASCII is widened to meet UTF-16";
  EXPECT_EQ(Compare(Wide(u"abd"), ascii), 1);
  EXPECT_EQ(Compare(ascii, Make("abc", kEncodingUTF8)), 0);
}

TEST(StringCompare, MalformedUTF8StaysDistinct) {
  StringRef bad1 = Make("a\xE9", kEncodingUTF8);
  StringRef bad2 = Make("a\xC9", kEncodingUTF8);
  StringRef good = Make("a\xC3\x89", kEncodingUTF8);
  EXPECT_NE(Compare(bad1, bad2), 0) << "bad bytes are not letters to fold";
  EXPECT_NE(Compare(bad2, good), 0);
  EXPECT_EQ(Compare(bad1, bad1), 0);
  StringRef truncated = Make("\xC3", kEncodingUTF8);
  EXPECT_EQ(Compare(truncated, good), 1) << "a bad byte sorts as U+DCxx, after ASCII";
}

TEST(StringStrCompare, Modes) {
  StringRef upper = Make("ABC", kEncodingUTF8);
  StringRef lower = Make("abc", kEncodingUTF8);
  EXPECT_EQ(StringStrCompare(upper.get(), lower.get(), 0), -1) << "raw bytes";
  EXPECT_EQ(StringStrCompare(upper.get(), lower.get(), 1), -1) << "case-sensitive";
  EXPECT_EQ(StringStrCompare(lower.get(), upper.get(), 1), 1);
  EXPECT_EQ(StringStrCompare(lower.get(), lower.get(), 1), 0);
  EXPECT_EQ(StringStrCompare(nullptr, lower.get(), 0), -1);
  EXPECT_EQ(StringStrCompare(lower.get(), nullptr, 1), 1);
  EXPECT_EQ(StringStrCompare(nullptr, nullptr, 0), 0);

  StringRef asciiUpper = Make("ABC", kEncodingASCII);
  StringRef asciiLower = Make("abc", kEncodingASCII);
  /* Unlike the code point order above, the collation puts lower case first. */
  EXPECT_EQ(StringStrCompare(asciiUpper.get(), asciiLower.get(), 1), 1) << "collation, case kept";
  EXPECT_EQ(StringStrCompare(asciiLower.get(), asciiUpper.get(), 1), -1);

  /* Mode 0 ignores tags: a UTF-16 "A" is the bytes 41 00. */
  StringRef wideA = Wide(u"A");
  StringRef narrowA = Make("A", kEncodingASCII);
  EXPECT_EQ(StringStrCompare(narrowA.get(), wideA.get(), 0), -1);
  EXPECT_EQ(StringStrCompare(narrowA.get(), wideA.get(), 1), 0);

  StringRef high = Make("\xFF", kEncodingUnknown);
  StringRef low = Make("\x01", kEncodingUnknown);
  EXPECT_EQ(StringStrCompare(high.get(), low.get(), 0), 1) << "bytes compare unsigned";
}

TEST(StringTableOrder, PlainAndFolded) {
  EXPECT_EQ(CompareRawBytes("abc", "abd", false), -1);
  EXPECT_EQ(CompareRawBytes("ab", "abc", false), -1);
  EXPECT_EQ(CompareRawBytes("B", "a", false), -1);
  EXPECT_EQ(CompareRawBytes("B", "a", true), 1);
  EXPECT_EQ(CompareRawBytes("Hello", "hELLO", true), 0);
  EXPECT_EQ(CompareRawBytes("\xE9", "\xC9", true), 1) << "high bytes are not folded";
  EXPECT_EQ(CompareRawBytes("_", "a", true), 1) << "'_' (0x5F) sorts after 'A' (0x41)";

  StringRef ascii = Make("Name", kEncodingASCII);
  StringRef wide = Wide(u"NAME");
  EXPECT_EQ(CompareStringBytesFoldedASCII(ascii.get(), wide.get()), 0)
      << "different tags are brought together first";
  EXPECT_EQ(CompareStringBytes(ascii.get(), wide.get()), 1);
  StringRef unknown = Make("NAME", kEncodingUnknown);
  EXPECT_EQ(CompareStringBytes(unknown.get(), wide.get()), 1)
      << "unknown text meets the UTF-16 bytes as they are ('A' against 0)";
  EXPECT_EQ(CompareStringBytes(nullptr, ascii.get()), -1);
}

TEST(StringCollation, LengthBreaksTiesAndCaseIsOptional) {
  const uint8_t a[] = {'a', 'b'};
  const uint8_t b[] = {'A', 'B', 'C'};
  EXPECT_EQ(CollateText(a, 2, b, 2, kEncodingASCII, true), 0);
  EXPECT_EQ(CollateText(a, 2, b, 3, kEncodingASCII, true), -1);
  EXPECT_EQ(CollateText(a, 2, b, 2, kEncodingASCII, false), -1) << "case kept: lower case first";
  EXPECT_EQ(CollateText(b, 2, a, 2, kEncodingASCII, false), 1);
}

TEST(StringCollation, ASCIITaggedHighBytesReadInTheANSICodePage) {
  const uint8_t latin[] = {0xE9};            /* é in 1252, a stray byte in UTF-8 */
  const uint8_t latinUpper[] = {0xC9};       /* É in 1252 */
  const uint8_t utf8[] = {0xC3, 0xA9};       /* é in UTF-8, "Ã©" in 1252 */
  const uint8_t utf8Upper[] = {0xC3, 0x89};  /* É in UTF-8, "Ã‰" in 1252 */
  {
    ScopedLcAll locale("C");
    ASSERT_EQ(platform::GetACP(), 1252u);
    EXPECT_EQ(CollateText(latin, 1, latinUpper, 1, kEncodingASCII, true), 0);
    EXPECT_NE(CollateText(utf8, 2, utf8Upper, 2, kEncodingASCII, true), 0)
        << "© and ‰ are not one letter in two cases";
  }
  {
    ScopedLcAll locale("C.UTF-8");
    ASSERT_EQ(platform::GetACP(), 65001u);
    EXPECT_EQ(CollateText(utf8, 2, utf8Upper, 2, kEncodingASCII, true), 0);
    EXPECT_NE(CollateText(latin, 1, latinUpper, 1, kEncodingASCII, true), 0)
        << "bytes UTF-8 does not define stay distinct";
  }
}
