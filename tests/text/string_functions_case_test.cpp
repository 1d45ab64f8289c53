/*
** String functions: case mapping, title case and trimming in every
** encoding path.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/text_encoding_codepages.h"
#include "tests/text/string_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

/* The function's result on text of tag, which must keep the tag. */
std::string Apply(ORVAstring (*fn)(ORVAstring), std::string_view text, uint32_t tag = kEncodingUTF8) {
  StringRef r(fn(Make(text, tag).get()));
  if (!r.empty()) {
    EXPECT_EQ(r.encoding(), tag);
  }
  return std::string(StringView(r.get()));
}

const std::string kIdeographicSpace = "\xE3\x80\x80"; /* U+3000 */

} // namespace

TEST(StringCase, UpperAndLowerInUnicode) {
  EXPECT_EQ(Apply(StringUCase, "\xC3\xA9t\xC3\xA9 x1"), "\xC3\x89T\xC3\x89 X1");
  EXPECT_EQ(Apply(StringLCase, "\xCE\xA3\xCE\x9F\xCE\xA6"), "\xCF\x83\xCE\xBF\xCF\x86") << "ΣΟΦ";
  EXPECT_EQ(Apply(StringUCase, "a\xC9\x90"), "A\xE2\xB1\xAF") << "a character may grow by a byte";
  EXPECT_EQ(Apply(StringLCase, "\xE2\xB1\xAF"), "\xC9\x90");
  EXPECT_EQ(Apply(StringUCase, "a\xFF" "b\xC3"), "A\xFF" "B\xC3") << "malformed bytes are kept";
  EXPECT_EQ(StringUCase(nullptr), nullptr);
  StringRef w(StringUCase(Wide(u"stra\u00DFe \u00E9").get()));
  EXPECT_EQ(StringView(w.get()), WideBytes(u"STRA\u00DFE \u00C9")) << "ß has no one-to-one upper case";
  EXPECT_EQ(w.encoding(), kEncodingUTF16);
}

TEST(StringCase, UpperAndLowerThroughCodePages) {
  EXPECT_EQ(Apply(StringUCase, "caf\xE9", kEncodingWindowsLatin1), "CAF\xC9");
  EXPECT_EQ(Apply(StringLCase, "CAF\xC9", kEncodingWindowsLatin1), "caf\xE9");
  EXPECT_EQ(Apply(StringUCase, "caf\xE9", kEncodingASCII), "CAF\xE9") << "ASCII maps ASCII letters only";
  EXPECT_EQ(Apply(StringUCase, "abc", 0x7777), "ABC") << "a tag without a code page gets ASCII rules";
  if (EncodingCodePage(kEncodingShiftJIS) == 932) {
    EXPECT_EQ(Apply(StringUCase, "a\x82\x81" "b", kEncodingShiftJIS), "A\x82\x81" "B")
        << "a double-byte character (trail byte 0x81) is never touched";
  }
}

TEST(StringTitleCase, WordsStartAfterWhiteSpaceOnly) {
  for (uint32_t tag : {uint32_t{kEncodingUTF8}, uint32_t{kEncodingASCII}, uint32_t{kEncodingWindowsLatin1}}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(Apply(StringTitleCase, "jean-luc", tag), "Jean-luc");
    EXPECT_EQ(Apply(StringTitleCase, "hELLO  wORLD\tagain", tag), "Hello  World\tAgain");
    EXPECT_EQ(Apply(StringTitleCase, " x", tag), " X");
  }
  EXPECT_EQ(Apply(StringTitleCase, "\xC3\xA9lan VITAL"), "\xC3\x89lan Vital");
  EXPECT_EQ(Apply(StringTitleCase, "a" + kIdeographicSpace + "b"), "A" + kIdeographicSpace + "B");
  EXPECT_EQ(Apply(StringTitleCase, "\xE9lan \xE9T\xC9", kEncodingWindowsLatin1), "\xC9lan \xC9t\xE9");
  EXPECT_EQ(Apply(StringTitleCase, "a\xA0" "b", kEncodingWindowsLatin1), "A\xA0" "B") << "no-break space is blank";
  EXPECT_EQ(Apply(StringTitleCase, "\xFF" "AB"), "\xFF" "ab") << "a malformed byte is a character of the word";
  StringRef w(StringTitleCase(Wide(u"jean-luc \u00E9COLE").get()));
  EXPECT_EQ(StringView(w.get()), WideBytes(u"Jean-luc \u00C9cole"));
}

TEST(StringTrim, UnicodeWhiteSpaceInUtf8AndUtf16) {
  const std::string padded = kIdeographicSpace + " \xC2\xA0x y\t" + kIdeographicSpace;
  EXPECT_EQ(Apply(runTrim, padded), "x y");
  EXPECT_EQ(Apply(runLTrim, padded), "x y\t" + kIdeographicSpace);
  EXPECT_EQ(Apply(runRTrim, padded), kIdeographicSpace + " \xC2\xA0x y");
  EXPECT_EQ(Apply(runTrim, "\xE2\x80\x8B" "x"), "\xE2\x80\x8B" "x") << "U+200B is not white space";
  EXPECT_EQ(Apply(runRTrim, "x\xA0"), "x\xA0") << "a stray continuation byte is not U+00A0";

  StringRef wide = Wide(u"\u3000\u2028 x \u3000");
  StringRef trimmed(runTrim(wide.get()));
  EXPECT_EQ(StringView(trimmed.get()), WideBytes(u"x"));
  EXPECT_EQ(trimmed.encoding(), kEncodingUTF16);
  StringRef left(runLTrim(wide.get()));
  EXPECT_EQ(StringView(left.get()), WideBytes(u"x \u3000"));
}

TEST(StringTrim, AsciiUnknownAndNothingToDo) {
  EXPECT_EQ(Apply(runTrim, "\t\r\n x \v\f", kEncodingASCII), "x");
  EXPECT_EQ(Apply(runTrim, " x\xA0 ", kEncodingUnknown), "x\xA0") << "unknown bytes trim as ASCII and keep the tag";
  EXPECT_EQ(Apply(runTrim, "   "), "");
  StringRef s = Make("tight");
  ORVAstring same = runTrim(s.get());
  EXPECT_EQ(same, s.get()) << "nothing to trim shares the source";
  StringRelease(same);
  EXPECT_EQ(runTrim(nullptr), nullptr);
}

TEST(StringTrim, OtherEncodingsTrimTheirOwnWhiteSpace) {
  EXPECT_EQ(Apply(runTrim, "\xA0 caf\xE9\xA0", kEncodingWindowsLatin1), "caf\xE9") << "no-break space in 1252";
  /* 0xAA is not defined in Windows Greek: the text cannot make the round
  ** trip through UTF-16, and is trimmed in place without being altered. */
  constexpr uint32_t kWindowsGreek = 0x503;
  EXPECT_EQ(Apply(runTrim, " \xAA\xE1 ", kWindowsGreek), "\xAA\xE1");
  if (EncodingCodePage(kEncodingShiftJIS) == 932) {
    const std::string space = "\x81\x40"; /* U+3000 in Shift_JIS */
    EXPECT_EQ(Apply(runTrim, space + "\x82\xA0" + space + " ", kEncodingShiftJIS), "\x82\xA0");
  }
}
