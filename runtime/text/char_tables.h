/*
** Per-encoding character tables: what the string functions need to know
** about the single bytes of an encoding's code page.
**
** One block of 1537 bytes per encoding tag, built on first use from the
** national-language services and kept for the life of the process:
**
**   leadByte       1 where the byte starts a two-byte character of the
**                  code page (IsDBCSLeadByteEx)
**   upper, lower   each byte passed alone through CharUpperBuffA and
**                  CharLowerBuffA
**   collation      the 256 byte values in the locale's collation order
**                  (CompareStringA, one character each; ties keep byte order)
**   collationRank  the inverse: the position of each byte value in that order
**   space          bit 0 set where the character type has C1_SPACE or C1_BLANK
**   hasLeadBytes   1 when the code page has any lead byte
**
** The tables upper .. space are filled only for code pages without lead
** bytes; for double-byte code pages they stay zero, and their callers work
** through the services character by character instead.  A tag without a
** code page that the platform serves gets plain ASCII tables (ASCII case
** mapping, byte order, 0x09..0x0D and 0x20 as white space, no lead bytes).
**
** Keys: the tag itself, except kEncodingUnknown, which stands for the
** system encoding and is looked up under 0xFFFF0000 | GetACP() afresh on
** every call.
**
** Concurrency: the blocks never change once built and are never freed, so
** a returned reference stays valid for the life of the process; the map of
** blocks is guarded by a mutex, and each thread remembers the block it
** looked up last (the "current" block), so a run of calls for one encoding
** takes no lock.
*/
#ifndef QUENDAL_TEXT_CHAR_TABLES_H
#define QUENDAL_TEXT_CHAR_TABLES_H

#include <cstdint>

namespace quendal {

struct CharTables {
  uint8_t leadByte[256];
  uint8_t upper[256];
  uint8_t lower[256];
  uint8_t collation[256];
  uint8_t collationRank[256];
  uint8_t space[256];
  uint8_t hasLeadBytes;
};
static_assert(sizeof(CharTables) == 1537, "six tables of 256 bytes and a flag");

/* The tables of an encoding tag (built on first use). */
const CharTables& CharTablesFor(uint32_t tag);

/* The code page the tables of tag describe: the tag's code page, or 0 when
** it has none that the platform serves.  kEncodingUnknown is the system
** code page. */
uint32_t CharTablesCodePage(uint32_t tag);

} // namespace quendal

#endif
