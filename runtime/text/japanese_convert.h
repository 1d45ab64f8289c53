/*
** The runtime's own Japanese converters: EUC-JP and ISO-2022-JP to and
** from Shift_JIS, and the guess of which of the three a byte string is in.
**
** Shift_JIS is the hub: the encodings layer turns EUC-JP and ISO-2022-JP
** text into Shift_JIS before the code-page converter sees it (as code page
** 932), and turns Shift_JIS into them on the way out.
**
** Repertoire.  JIS X 0208 (rows 1 to 94) maps by arithmetic between the
** three forms: Shift_JIS lead bytes 0x81-0x9F and 0xE0-0xEF with trail
** bytes 0x40-0x7E and 0x80-0xFC; EUC-JP byte pairs 0xA1-0xFE; ISO-2022-JP
** byte pairs 0x21-0x7E after ESC $ B.  Half-width katakana (Shift_JIS
** 0xA1-0xDF) are EUC-JP 0x8E xx and ISO-2022-JP bytes 0x21-0x5F after
** ESC ( I (the JIS X 0201 katakana set; ISO-2022-JP proper has no
** katakana, and this form reads back exactly).  Bytes below 0x80 pass
** through unchanged.
**
** What cannot be carried becomes one '?': a byte that starts no character
** of the source form (a lone lead byte, a bad trail byte, a truncated
** sequence at the end), a Shift_JIS character outside JIS X 0208 (lead
** bytes 0xF0-0xFC: user-defined and vendor characters), and a JIS X 0212
** character (EUC-JP 0x8F xx yy, ISO-2022-JP after ESC $ ( D), which has no
** Shift_JIS form.  A bad byte is skipped alone, so the byte after it is
** read afresh and a stray byte never swallows a good character.
**
** ISO-2022-JP output starts in ASCII, switches with ESC $ B, ESC ( I and
** ESC ( B, and always ends in ASCII.  Control bytes (line ends included)
** are ASCII, so every line ends in ASCII as mail text wants.  The reader
** also accepts ESC $ @, ESC ( J (JIS-Roman, read as ASCII), ESC $ ( B,
** the announcer ESC & @, and SO/SI around katakana bytes.
**
** All functions are pure: no state survives a call.
*/
#ifndef QUENDAL_TEXT_JAPANESE_CONVERT_H
#define QUENDAL_TEXT_JAPANESE_CONVERT_H

#include <string>
#include <string_view>

namespace quendal {

/* Each converts all of in and appends the result to out. */
void EucJPToShiftJIS(std::string_view in, std::string& out);
void ShiftJISToEucJP(std::string_view in, std::string& out);
void ISO2022JPToShiftJIS(std::string_view in, std::string& out);
void ShiftJISToISO2022JP(std::string_view in, std::string& out);

enum class JapaneseEncoding { kShiftJIS, kEucJP, kISO2022JP };

/* The most likely Japanese encoding of bytes:
** - ISO-2022-JP when there is no byte of 0x80 or above and a JIS escape
**   sequence (ESC $ @, ESC $ B, ESC $ ( D, ESC ( J, ESC ( I) occurs;
** - otherwise, with bytes of 0x80 and above, the one of Shift_JIS and
**   EUC-JP that reads them with fewer bad sequences; on a tie the one whose
**   two-byte characters score higher, kana rows (Shift_JIS leads 0x82 and
**   0x83, EUC-JP leads 0xA4 and 0xA5) counting double, because running
**   Japanese text is mostly kana; half-width katakana score nothing, since
**   they are rare in real text but are how EUC-JP bytes read as Shift_JIS;
** - Shift_JIS for every remaining case (plain ASCII, a tie). */
JapaneseEncoding GuessJapaneseEncoding(std::string_view bytes);

} // namespace quendal

#endif
