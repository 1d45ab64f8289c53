/*
** The single-file database format: the byte layout every other module of
** this folder reads and writes.  All multi-byte integers in the file are
** big-endian.
**
** File:   64-byte header at offset 0, then pages of 8192 bytes; page n
**         starts at 64 + n * 8192 and the page count is
**         (file length - 64) / 8192 (a trailing partial page is not a page).
**
** Header: 0 u32 magic 0xFEEDDBDB     4 u32 version 1
**         8 u32 generation of the last write transaction begun
**        12 u32 transaction-open flag (1 from the first change until commit
**               or rollback)
**        16 u32 next record id      20 u32 root page of the catalogue tree
**        24 40 zero bytes
**
** Page:   0 u32 page type (kPageCatalogueLeaf, kPageTableLeaf, kPageInterior)
**         4 u32 tree id: the first page of the tree the page belongs to
**         8 u32 generation in which the page was last changed
**        12 u32 next page of the current transaction's chain (kNoPage ends it)
**        16 u16 used bytes of the record area
**        18 the record area (kRecordAreaSize bytes): records packed in key
**           order, zero after the used bytes.
**
** Record: 0 u16 total length (these two bytes included)
**         2 u8  state, kStateLive 'A' or kStateDeleted 'D'
**         3 u24 generation in which the state was last set
**   catalogue leaf: 6 u32 record id, 10 u32 root page, 14 u32 name length,
**                   18 the name
**   table leaf:     6 u32 record id, 10 fields: u8 column id, u8 type code,
**                   payload (see FieldPayloadSize)
**   interior:       6 u16 entry count, 8 u32 child page, 12 the child's key
**
** A record never exceeds kRecordAreaSize bytes.
*/
#ifndef QUENDAL_DATABASE_DB_FORMAT_H
#define QUENDAL_DATABASE_DB_FORMAT_H

#include <cstdint>

namespace quendal::db {

/* ---- file and header ------------------------------------------------------ */

constexpr uint32_t kFileMagic = 0xFEEDDBDB;
constexpr uint32_t kFileVersion = 1;
constexpr uint32_t kHeaderSize = 64;
constexpr uint32_t kHeaderMagic = 0;
constexpr uint32_t kHeaderVersion = 4;
constexpr uint32_t kHeaderGeneration = 8;
constexpr uint32_t kHeaderTransactionOpen = 12;
constexpr uint32_t kHeaderNextRecordId = 16;
constexpr uint32_t kHeaderCatalogueRoot = 20;

/* ---- pages ------------------------------------------------------------------ */

constexpr uint32_t kPageSize = 8192;
constexpr uint32_t kPageType = 0;
constexpr uint32_t kPageTreeId = 4;
constexpr uint32_t kPageGeneration = 8;
constexpr uint32_t kPageChainNext = 12;
constexpr uint32_t kPageUsed = 16;
constexpr uint32_t kPageRecords = 18;
constexpr uint32_t kRecordAreaSize = kPageSize - kPageRecords; /* 8174 */

constexpr uint32_t kPageCatalogueLeaf = 0xBEEF0002;
constexpr uint32_t kPageTableLeaf = 0xBEEF0003;
constexpr uint32_t kPageInterior = 0x0001BEEF;

constexpr uint32_t kNoPage = 0xFFFFFFFF; /* end of the transaction chain */

/* Byte offset of page n in the file. */
constexpr uint64_t PageOffset(uint32_t page) { return kHeaderSize + uint64_t(page) * kPageSize; }

/* ---- records ------------------------------------------------------------------ */

constexpr uint32_t kRecordLength = 0;
constexpr uint32_t kRecordState = 2;
constexpr uint32_t kRecordGeneration = 3;
constexpr uint32_t kRecordHeaderSize = 6;
constexpr uint8_t kStateLive = 0x41;    /* "A" */
constexpr uint8_t kStateDeleted = 0x44; /* "D" */
constexpr uint32_t kGenerationMask = 0xFFFFFF; /* records keep 24 bits */

constexpr uint32_t kRecordId = 6; /* catalogue and table leaf records */

constexpr uint32_t kCatalogueRoot = 10;
constexpr uint32_t kCatalogueNameLength = 14;
constexpr uint32_t kCatalogueName = 18;

constexpr uint32_t kRowFields = 10;

constexpr uint32_t kInteriorCount = 6;
constexpr uint32_t kInteriorChild = 8;
constexpr uint32_t kInteriorKey = 12;

/* ---- column type codes ---------------------------------------------------------- */

enum TypeCode : uint8_t {
  kTypeNull = 0, /* only as a result: the row has no field */
  kTypeSmallInt = 2,
  kTypeInteger = 3,
  kTypeText = 5,
  kTypeFloat = 6,
  kTypeDouble = 7,
  kTypeDate = 8,
  kTypeTime = 9,
  kTypeTimeStamp = 10, /* never stored; refused by tables */
  kTypeBoolean = 12,
  kTypeBinary = 14,    /* inline bytes in a row */
  kTypeLongText = 15,  /* reference into "sys$blob" */
  kTypeLongBinary = 16 /* reference into "sys$blob" */
};

/* True for the type codes a row field may carry. */
inline bool IsFieldType(uint8_t type) {
  switch (type) {
    case kTypeSmallInt: case kTypeInteger: case kTypeText: case kTypeFloat: case kTypeDouble:
    case kTypeDate: case kTypeTime: case kTypeBoolean: case kTypeBinary: case kTypeLongText:
    case kTypeLongBinary:
      return true;
    default:
      return false;
  }
}

/* Payload bytes after the column id and type code of a field whose payload
** starts at p (up to end).  Returns false for an unknown type code or a
** payload that does not fit; *size is the whole payload (for 5 and 14 the
** u32 length plus the bytes). */
inline bool FieldPayloadSize(uint8_t type, const uint8_t* p, const uint8_t* end, uint32_t* size);

/* ---- big-endian access ------------------------------------------------------------ */

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t Get24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void Put24(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 16);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

inline bool FieldPayloadSize(uint8_t type, const uint8_t* p, const uint8_t* end, uint32_t* size) {
  uint32_t room = uint32_t(end - p);
  uint32_t n;
  switch (type) {
    case kTypeSmallInt: n = 2; break;
    case kTypeInteger: case kTypeFloat: case kTypeLongText: case kTypeLongBinary: n = 4; break;
    case kTypeDouble: n = 8; break;
    case kTypeDate: case kTypeTime: n = 6; break;
    case kTypeBoolean: n = 1; break;
    case kTypeText: case kTypeBinary:
      if (room < 4 || Get32(p) > room - 4) return false;
      n = 4 + Get32(p);
      break;
    default: return false;
  }
  if (n > room) return false;
  *size = n;
  return true;
}

/* Sort weight of each text byte in keys (a permutation of 0..255). */
extern const uint8_t kCollation[256];

} // namespace quendal::db

#endif
