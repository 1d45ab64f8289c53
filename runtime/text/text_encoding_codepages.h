/*
** Encoding tags and Windows code pages: the catalogue of tag values, the
** code page behind each tag, and the byte conversion from one tag to
** another that every string conversion of the runtime ends in.
**
** A tag is base | variant << 16 | format << 26 (the Text Encoding
** Converter's three values); the runtime keeps only the base, except for
** UTF-8 (base 0x100, format 2: 0x08000100).  Besides those:
**   0xFFFF              kEncodingUnknown: bytes of no known encoding
**   0xFFFF0000 | cp     a raw Windows code page; the system encoding is
**                       0xFFFF0000 | GetACP()
**
** Code pages.  A tag converts only through a code page that the platform
** serves (IsValidCodePage), or through one of the two pseudo code pages of
** the runtime's own Japanese converters: 900000 (EUC-JP, tag 0x920) and
** 900001 (ISO-2022-JP, tag 0x820), which go through Shift_JIS (932).
** kEncodingUnknown stands for the system code page here (1252 when that is
** not served); kEncodingASCII for 20127, or the ANSI code page without it.
**
** Conversion (ConvertBetweenTags):
**   1. equal tags copy the bytes; a tag without a code page fails;
**   2. EUC-JP and ISO-2022-JP sources become Shift_JIS first;
**   3. EUC-JP and ISO-2022-JP targets are made from Shift_JIS by the own
**      converters (other sources are brought to Shift_JIS first);
**   4. otherwise the source is widened to UTF-16 (code page 1200 is taken
**      as it is, host order, an odd trailing byte ignored) and narrowed to
**      the target's code page (1200: the UTF-16 text itself).  Bytes the
**      source code page does not define become U+FFFD, characters the
**      target cannot hold become its default character ('?').
** The result always carries the target tag.
**
** Everything here is stateless apart from what the platform caches, and
** may be called from any thread.
*/
#ifndef QUENDAL_TEXT_TEXT_ENCODING_CODEPAGES_H
#define QUENDAL_TEXT_TEXT_ENCODING_CODEPAGES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace quendal {

/* Tags of the catalogue that the runtime itself names. */
enum : uint32_t {
  kEncodingMacRoman = 0x0000,
  kEncodingMacJapanese = 0x0001,
  kEncodingISOLatin1 = 0x0201,
  kEncodingWindowsLatin1 = 0x0500,
  kEncodingISO2022JP = 0x0820,
  kEncodingEUCJP = 0x0920,
  kEncodingShiftJIS = 0x0A01,
  kEncodingKOI8R = 0x0A02,
  kEncodingMacRomanLatin1 = 0x0A04,
  kEncodingRawCodePage = 0xFFFF0000, /* | code page */
};

/* The three parts of a tag. */
inline uint32_t EncodingBase(uint32_t tag) { return tag & 0xFFFF; }
inline uint32_t EncodingVariant(uint32_t tag) { return (tag >> 16) & 0x3FF; }
inline uint32_t EncodingFormat(uint32_t tag) { return tag >> 26; }
inline bool IsRawCodePageTag(uint32_t tag) { return (tag & 0xFFFF0000) == kEncodingRawCodePage; }

/* Pseudo code pages of the runtime's own Japanese converters. */
enum : uint32_t {
  kCodePageEucJP = 900000,
  kCodePageISO2022JP = 900001,
  kCodePageShiftJIS = 932,
  kCodePageUTF16 = 1200,
  kCodePageUTF7 = 65000,
  kCodePageUTF8 = 65001,
};

/* The Windows code page behind tag, or 0 when the tag has none that the
** platform serves (such a tag cannot be converted). */
uint32_t EncodingCodePage(uint32_t tag);

/* Bytes per code unit of text tagged tag: 2 for the UTF-16 code pages
** (1200, 1201), 4 for the UTF-32 ones (12000, 12001), 1 for every other
** tag.  Text of the wide code pages is never handled as 8-bit text. */
int32_t CodeUnitWidth(uint32_t tag);

/* 0xFFFF0000 | GetACP(): read afresh on every call. */
uint32_t SystemEncodingTag();

/* n bytes of tag `from` converted to tag `to`, into out (replaced).  False,
** with out empty, when either tag has no code page, or when a non-empty
** source widens to no text at all.  An empty source converts to empty. */
bool ConvertBetweenTags(const uint8_t* src, size_t n, uint32_t from, uint32_t to, std::string& out);

} // namespace quendal

#endif
