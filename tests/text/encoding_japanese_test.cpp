/*
** The runtime's own Japanese converters and the encoding guess: real text
** against the C library's converters, every JIS X 0208 code, half-width
** katakana, the escape sequences, and damaged input.
*/
#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

#include "runtime/text/japanese_convert.h"

using namespace quendal;

namespace {

std::string Iconv(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outp = out.data();
  size_t outLeft = out.size();
  EXPECT_NE(iconv(cd, &in, &inLeft, &outp, &outLeft), static_cast<size_t>(-1));
  iconv(cd, nullptr, nullptr, &outp, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

using Converter = void (*)(std::string_view, std::string&);

std::string Apply(Converter f, std::string_view in) {
  std::string out;
  f(in, out);
  return out;
}

/* "Japanese text: 東京都は晴れ、カタカナとひらがな。" and a line end. */
const std::string kText =
    "Japanese text: \xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE3\x81\xAF\xE6\x99\xB4\xE3\x82\x8C"
    "\xE3\x80\x81\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A\xE3\x81\xA8\xE3\x81\xB2"
    "\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA\xE3\x80\x82\r\n";

/* A paragraph as a Japanese user writes it, Shift_JIS and EUC-JP alike. */
const std::string kParagraph =
    "\xE4\xBB\x8A\xE6\x97\xA5\xE3\x81\xAF\xE3\x81\x84\xE3\x81\x84\xE5\xA4\xA9\xE6\xB0\x97"
    "\xE3\x81\xA7\xE3\x81\x99\xE3\x81\xAD\xE3\x80\x82\xE6\x98\x8E\xE6\x97\xA5\xE3\x82\x82"
    "\xE6\x99\xB4\xE3\x82\x8C\xE3\x82\x8B\xE3\x81\xA7\xE3\x81\x97\xE3\x82\x87\xE3\x81\x86"
    "\xE3\x81\x8B\xE3\x80\x82";

} // namespace

TEST(JapaneseConvert, RealTextAgreesWithTheCLibrary) {
  for (const std::string& text : {kText, kParagraph}) {
    const std::string sjis = Iconv("CP932", "UTF-8", text);
    const std::string euc = Iconv("EUC-JP", "UTF-8", text);
    const std::string jis = Iconv("ISO-2022-JP", "UTF-8", text);
    EXPECT_EQ(Apply(ShiftJISToEucJP, sjis), euc);
    EXPECT_EQ(Apply(EucJPToShiftJIS, euc), sjis);
    EXPECT_EQ(Apply(ShiftJISToISO2022JP, sjis), jis);
    EXPECT_EQ(Apply(ISO2022JPToShiftJIS, jis), sjis);
  }
}

TEST(JapaneseConvert, EveryJis0208CodeRoundTrips) {
  /* All 94 x 94 codes, assigned or not: the arithmetic is a bijection. */
  std::string euc;
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      euc.push_back(static_cast<char>(j1 | 0x80));
      euc.push_back(static_cast<char>(j2 | 0x80));
    }
  }
  std::string sjis = Apply(EucJPToShiftJIS, euc);
  ASSERT_EQ(sjis.size(), euc.size());
  for (size_t i = 0; i < sjis.size(); i += 2) {
    uint8_t lead = static_cast<uint8_t>(sjis[i]);
    uint8_t trail = static_cast<uint8_t>(sjis[i + 1]);
    ASSERT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << i;
    ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << i;
  }
  EXPECT_EQ(Apply(ShiftJISToEucJP, sjis), euc);
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, Apply(ShiftJISToISO2022JP, sjis)), sjis);
}

TEST(JapaneseConvert, HalfWidthKatakana) {
  const std::string sjis = "\xB6\xC0\xB6\xC5 x"; /* ｶﾀｶﾅ x */
  EXPECT_EQ(Apply(ShiftJISToEucJP, sjis), "\x8E\xB6\x8E\xC0\x8E\xB6\x8E\xC5 x");
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\x8E\xB6\x8E\xC0\x8E\xB6\x8E\xC5 x"), sjis);
  EXPECT_EQ(Apply(ShiftJISToISO2022JP, sjis), "\x1B(I\x36\x40\x36\x45\x1B(B x");
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B(I\x36\x40\x36\x45\x1B(B x"), sjis);
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "a\x0E\x36\x40\x0F" "b"), "a\xB6\xC0" "b") << "SO/SI katakana";
}

TEST(JapaneseConvert, EscapeSequencesRead) {
  /* あ is JIS 2422, Shift_JIS 82A0. */
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B$@\x24\x22\x1B(J!"), "\x82\xA0!") << "old JIS and JIS-Roman";
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B&@\x1B$B\x24\x22\x1B(B"), "\x82\xA0") << "the announcer";
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B$B\x24\x22\r\n\x24\x22\x1B(B"), "\x82\xA0\r\n\x82\xA0")
      << "controls read the same in every mode";
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B$(D\x30\x21\x1B(Bz"), "?z") << "JIS X 0212 has no Shift_JIS form";
  EXPECT_EQ(Apply(ShiftJISToISO2022JP, "a\x82\xA0\r\n"), "a\x1B$B\x24\x22\x1B(B\r\n")
      << "every line ends in ASCII";
  EXPECT_EQ(Apply(ShiftJISToISO2022JP, "\x82\xA0"), "\x1B$B\x24\x22\x1B(B") << "the text ends in ASCII";
}

TEST(JapaneseConvert, DamagedInputBecomesQuestionMarks) {
  EXPECT_EQ(Apply(ShiftJISToEucJP, "\x82"), "?") << "a lead byte at the end";
  EXPECT_EQ(Apply(ShiftJISToEucJP, "\x82 \x82\xA0"), "? \xA4\xA2")
      << "a bad trail byte is read again on its own";
  EXPECT_EQ(Apply(ShiftJISToEucJP, "\x80\xA0\xFD"), "???");
  EXPECT_EQ(Apply(ShiftJISToEucJP, "\xF0\x40z"), "?z") << "user-defined characters are outside JIS X 0208";
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\xA4"), "?");
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\xA4" "a"), "?a");
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\x8E" "a\x8E"), "?a?");
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\x8F\xB0\xA1z"), "?z") << "JIS X 0212 takes three bytes";
  EXPECT_EQ(Apply(EucJPToShiftJIS, "\x8F\xB0"), "??");
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\x1B$B\x24"), "?") << "half a character at the end";
  EXPECT_EQ(Apply(ISO2022JPToShiftJIS, "\xA4\xA2"), "??") << "eight-bit bytes have no place";
  EXPECT_EQ(Apply(ShiftJISToISO2022JP, "\x82\xA0\xF0\x40"), "\x1B$B\x24\x22\x1B(B?");
}

TEST(JapaneseGuess, RealSamples) {
  for (const std::string& text : {kText, kParagraph}) {
    EXPECT_EQ(GuessJapaneseEncoding(Iconv("CP932", "UTF-8", text)), JapaneseEncoding::kShiftJIS);
    EXPECT_EQ(GuessJapaneseEncoding(Iconv("EUC-JP", "UTF-8", text)), JapaneseEncoding::kEucJP);
    EXPECT_EQ(GuessJapaneseEncoding(Iconv("ISO-2022-JP", "UTF-8", text)), JapaneseEncoding::kISO2022JP);
  }
  /* Hiragana only: every EUC-JP pair also reads as two half-width katakana. */
  const std::string hiragana = "\xE3\x81\x82\xE3\x82\x8A\xE3\x81\x8C\xE3\x81\xA8\xE3\x81\x86";
  EXPECT_EQ(GuessJapaneseEncoding(Iconv("EUC-JP", "UTF-8", hiragana)), JapaneseEncoding::kEucJP);
  EXPECT_EQ(GuessJapaneseEncoding(Iconv("CP932", "UTF-8", hiragana)), JapaneseEncoding::kShiftJIS);
  EXPECT_EQ(GuessJapaneseEncoding("\xB6\xC0\xB6"), JapaneseEncoding::kShiftJIS)
      << "an odd run of half-width katakana cannot be EUC-JP";
}

TEST(JapaneseGuess, NothingToGoOn) {
  EXPECT_EQ(GuessJapaneseEncoding(""), JapaneseEncoding::kShiftJIS);
  EXPECT_EQ(GuessJapaneseEncoding("plain text"), JapaneseEncoding::kShiftJIS);
  EXPECT_EQ(GuessJapaneseEncoding("\x1B[1mbold\x1B[0m"), JapaneseEncoding::kShiftJIS)
      << "a terminal escape is no JIS escape";
  EXPECT_EQ(GuessJapaneseEncoding("\x1B$B\x24\x22\x82"), JapaneseEncoding::kShiftJIS)
      << "eight-bit bytes rule out ISO-2022-JP";
}
