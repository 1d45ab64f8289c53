/*
** Tags, code pages and the byte conversion between tags: the code page
** table, conversions through UTF-16, the Japanese pseudo code pages, and
** the string conversion built on them (short cuts, failures, collation).
*/
#include <gtest/gtest.h>

#include <iconv.h>

#include <memory>
#include <string>

#include "runtime/platform/nls.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/utf8.h"

using namespace quendal;

namespace {

/* Text in another encoding, by the C library's converter: an oracle that
** shares no code with the runtime's own converters. */
std::string Iconv(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to << " from " << from;
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outp = out.data();
  size_t outLeft = out.size();
  size_t r = iconv(cd, &in, &inLeft, &outp, &outLeft);
  EXPECT_NE(r, static_cast<size_t>(-1)) << to << " from " << from;
  iconv(cd, nullptr, nullptr, &outp, &outLeft); /* back to the initial shift state */
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string Convert(const std::string& bytes, uint32_t from, uint32_t to, bool* ok = nullptr) {
  std::string out;
  bool converted = ConvertBetweenTags(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                      from, to, out);
  if (ok) *ok = converted;
  return converted ? out : "<failed>";
}

StringRef Make(std::string_view bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }
std::string Bytes(const StringRef& s) { return std::string(StringView(s.get())); }

/* Japanese running text: kanji, hiragana, katakana, full-width punctuation
** and ASCII, nothing whose Unicode mapping differs between vendors. */
const std::string kJapaneseUtf8 =
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0\xE3\x80\x81"
    "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A\xE3\x81\xA8\xE3\x81\xB2\xE3\x82\x89"
    "\xE3\x81\x8C\xE3\x81\xAA\xE3\x80\x82 ABC 123\r\n"
    "\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE3\x81\xAF\xE6\x99\xB4\xE3\x82\x8C\xE3\x80\x82";
/* Half-width katakana "ｶﾀｶﾅ". */
const std::string kHalfWidthUtf8 = "\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85";

} // namespace

TEST(EncodingCodePages, TableSpotChecks) {
  struct Case {
    uint32_t tag;
    uint32_t codePage;
  } cases[] = {
      {0x0000, 10000},   {0x0007, 10007},   {0x001D, 10029},  {0x0025, 10079},
      {0x0201, 28591},   {0x0205, 28595},   {0x0206, 708},    {0x020F, 28605},
      {0x0400, 437},     {0x041B, 866},     {0x0420, 932},    {0x0423, 950},
      {0x0500, 1252},    {0x0501, 1250},    {0x0508, 1258},   {0x0510, 1361},
      {0x0631, 936},     {0x0A01, 932},     {0x0A02, 20866},  {0x0C01, 37},
      {kEncodingUTF8, 65001}, {0x0100, 1200}, {0x0100 | (1u << 26), 65000},
      {0x0103 | (2u << 26), 65001}, {0x0920, 900000}, {0x0820, 900001},
      {0xFFFF0000 | 1251, 1251}, {0x0600, 20127},
      {0x00010000, 10000}, /* a variant of Mac Roman keeps its code page */
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodingCodePage(c.tag), c.codePage) << std::hex << c.tag;
  }
}

TEST(EncodingCodePages, TagsWithoutAConvertibleCodePage) {
  EXPECT_EQ(EncodingCodePage(0x0100 | (3u << 26)), 0u) << "UCS-4 has no code page";
  EXPECT_EQ(EncodingCodePage(0x0020), 0u) << "MacSymbol is in no table";
  EXPECT_EQ(EncodingCodePage(0x020D), 0u) << "ISO Latin 7 is in no table";
  EXPECT_EQ(EncodingCodePage(0x0001), 0u) << "Mac Japanese: the platform has no converter";
  EXPECT_EQ(EncodingCodePage(0xFFFF0000 | 12345), 0u) << "a raw code page must be served";
  EXPECT_EQ(EncodingCodePage(kEncodingUnknown), platform::GetACP())
      << "unknown text stands for the system code page";
  EXPECT_EQ(SystemEncodingTag(), 0xFFFF0000 | platform::GetACP());
}

TEST(EncodingConvert, LatinAndUnicode) {
  EXPECT_EQ(Convert("\xE9", 0x500, kEncodingUTF8), "\xC3\xA9");
  EXPECT_EQ(Convert("\xC3\xA9", kEncodingUTF8, 0x500), "\xE9");
  EXPECT_EQ(Convert("A", kEncodingASCII, kEncodingUTF16), std::string("A\0", 2));
  EXPECT_EQ(Convert("\xE9", 0x500, kEncodingUTF16), std::string("\xE9\0", 2));
  EXPECT_EQ(Convert("\xC4\xE9", 0x201, 0x502), "\x3F\x3F") << "no Cyrillic letter for Ä or é: '?'";
  EXPECT_EQ(Convert("\xD0\xAF", kEncodingUTF8, 0x502), "\xDF") << "Я in windows-1251";
  EXPECT_EQ(Convert("\xDF", 0x502, 0xA02), "\xF1") << "Я from windows-1251 to KOI8-R";
  EXPECT_EQ(Convert("\x80", 0x500, 0xFFFF0000 | 65001), "\xE2\x82\xAC") << "raw code page tags";
  EXPECT_EQ(Convert(std::string("A\0B", 3), kEncodingUTF16, kEncodingUTF8), "A")
      << "an odd trailing byte of UTF-16 is ignored";
}

TEST(EncodingConvert, MalformedInputIsReplacedNotFatal) {
  EXPECT_EQ(Convert("a\xFF" "b\xC3", kEncodingUTF8, kEncodingUTF16),
            Convert("a\xEF\xBF\xBD" "b\xEF\xBF\xBD", kEncodingUTF8, kEncodingUTF16))
      << "each malformed byte becomes U+FFFD";
  EXPECT_EQ(Convert("\xE2\x82", kEncodingUTF8, 0x500), "??") << "a truncated sequence at the end";
  EXPECT_EQ(Convert("\xED\xA0\x80", kEncodingUTF8, 0x500), "???") << "an encoded surrogate";
  EXPECT_EQ(Convert(std::string("\x00\xD8x\x00", 4), kEncodingUTF16, kEncodingUTF8), "\xEF\xBF\xBDx")
      << "a lone surrogate";
  EXPECT_EQ(Convert("\x81\x20", 0xA01, kEncodingUTF8), "\xEF\xBF\xBD ")
      << "a Shift_JIS lead byte without its trail byte";
  EXPECT_EQ(Convert("a\x80", kEncodingASCII, kEncodingUTF8), "a\xEF\xBF\xBD")
      << "ASCII converts through code page 20127";
}

TEST(EncodingConvert, FailuresAndEdges) {
  bool ok = true;
  Convert("a", 0x0100 | (3u << 26), kEncodingUTF8, &ok);
  EXPECT_FALSE(ok) << "no code page: no result";
  Convert("a", kEncodingUTF8, 0x0020, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Convert("\xFF\x01", 0x0020, 0x0020, &ok), "\xFF\x01") << "equal tags copy, whatever they are";
  EXPECT_TRUE(ok);
  EXPECT_EQ(Convert("", 0x500, kEncodingUTF8, &ok), "");
  EXPECT_TRUE(ok);
}

TEST(EncodingConvert, JapaneseThroughThePseudoCodePages) {
  const std::string sjis = Iconv("CP932", "UTF-8", kJapaneseUtf8);
  const std::string euc = Iconv("EUC-JP", "UTF-8", kJapaneseUtf8);
  const std::string jis = Iconv("ISO-2022-JP", "UTF-8", kJapaneseUtf8);

  EXPECT_EQ(Convert(sjis, 0xA01, 0x920), euc);
  EXPECT_EQ(Convert(euc, 0x920, 0xA01), sjis);
  EXPECT_EQ(Convert(sjis, 0xA01, 0x820), jis);
  EXPECT_EQ(Convert(jis, 0x820, 0xA01), sjis);
  EXPECT_EQ(Convert(euc, 0x920, 0x820), jis) << "EUC-JP to ISO-2022-JP by way of Shift_JIS";

  EXPECT_EQ(Convert(euc, 0x920, kEncodingUTF8), kJapaneseUtf8);
  EXPECT_EQ(Convert(jis, 0x820, kEncodingUTF8), kJapaneseUtf8);
  EXPECT_EQ(Convert(kJapaneseUtf8, kEncodingUTF8, 0x920), euc) << "other sources go through Shift_JIS";
  EXPECT_EQ(Convert(kJapaneseUtf8, kEncodingUTF8, 0x820), jis);
  EXPECT_EQ(Convert(sjis, 0x420, 0x920), euc) << "DOSJapanese is code page 932 too";

  const std::string kana = Iconv("CP932", "UTF-8", kHalfWidthUtf8);
  EXPECT_EQ(Convert(Convert(kana, 0xA01, 0x920), 0x920, kEncodingUTF8), kHalfWidthUtf8);
  EXPECT_EQ(Convert(Convert(kana, 0xA01, 0x820), 0x820, kEncodingUTF8), kHalfWidthUtf8);
}

TEST(EncodingStringConversion, EdgeCasesOfTheStringCore) {
  StringRef latin = Make("\xE9", 0x500);
  StringRef utf8(StringConvertToTag(latin.get(), kEncodingUTF8));
  EXPECT_EQ(Bytes(utf8), "\xC3\xA9");
  EXPECT_EQ(utf8.encoding(), kEncodingUTF8);
  StringRef back(StringConvertToTag(utf8.get(), 0x500));
  EXPECT_EQ(Bytes(back), "\xE9");
  EXPECT_EQ(back.encoding(), 0x500u);

  StringRef a = Make("A", kEncodingASCII);
  StringRef wide(StringConvertToTag(a.get(), kEncodingUTF16));
  EXPECT_EQ(Bytes(wide), std::string("A\0", 2)) << "a UTF-16 target always converts";

  StringRef ucs4Target(StringConvertToTag(latin.get(), 0x0100 | (3u << 26)));
  EXPECT_TRUE(ucs4Target.empty()) << "a target without code page gives the empty string";

  StringRef wideLatin(StringCreateUTF16(u"\u00e9t\u00e9", 3));
  StringRef joined(StringConcat(latin.get(), wideLatin.get()));
  EXPECT_EQ(joined.encoding(), kEncodingUTF16);
  EXPECT_EQ(StringWideText(joined.get()), u"\u00e9\u00e9t\u00e9")
      << "a Latin-1 operand is converted for the join";
}

TEST(EncodingCollation, SystemCollationInTheTagsCodePage) {
  auto collate = [](const std::string& a, const std::string& b, uint32_t tag, bool ignoreCase) {
    return CollateText(reinterpret_cast<const uint8_t*>(a.data()), a.size(),
                       reinterpret_cast<const uint8_t*>(b.data()), b.size(), tag, ignoreCase);
  };
  EXPECT_EQ(collate("\xE9t\xE9", "\xC9T\xC9", 0x500, true), 0) << "é and É fold in windows-1252";
  EXPECT_NE(collate("\xE9t\xE9", "\xC9T\xC9", 0x500, false), 0);
  EXPECT_EQ(collate("\xE9", "f", 0x500, true), -1) << "é sorts with e, before f";
  EXPECT_EQ(collate("\xE0", "\xE1", 0x502, true), -1) << "а before б in windows-1251";
  EXPECT_EQ(collate("ab", "ABC", kEncodingASCII, true), -1) << "equal prefix: the shorter first";
  EXPECT_EQ(collate("abc", "ABD", kEncodingUnknown, true), -1);
  EXPECT_NE(collate("\xFE", "\xFF", kEncodingUnknown, true), 0)
      << "distinct bytes stay distinct, even where the code page leaves them undefined";

  const std::string euc1 = Iconv("EUC-JP", "UTF-8", "\xE3\x81\x82");  /* あ */
  const std::string euc2 = Iconv("EUC-JP", "UTF-8", "\xE3\x81\x84");  /* い */
  EXPECT_EQ(collate(euc1, euc2, 0x920, true), -1) << "EUC-JP collates as Shift_JIS";
  EXPECT_EQ(collate(euc2, euc1, 0x920, true), 1);
}

TEST(EncodingUtf8Routines, TruncatedSequencesNeverReadPastTheirBuffer) {
  /* Each lead byte alone at the very end of a heap block of its own size:
  ** a read past it is an error under the address sanitizer. */
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    for (size_t length = 1; length <= 3; ++length) {
      std::unique_ptr<uint8_t[]> bytes(new uint8_t[length]);
      bytes[0] = static_cast<uint8_t>(lead);
      for (size_t i = 1; i < length; ++i) bytes[i] = 0x80;
      Utf8Char c = Utf8Decode(bytes.get(), length);
      ASSERT_GE(c.length, 1);
      ASSERT_LE(static_cast<size_t>(c.length), length) << std::hex << lead;
    }
  }
}
