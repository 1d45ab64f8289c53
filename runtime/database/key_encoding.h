/*
** Keys: the byte strings that order the records of a tree.
**
** Keys compare bytewise, unsigned, a shorter key that is a prefix of a
** longer one first (CompareKeys).  A tree's KeySpec says how the key of
** each of its records is made:
**
**   kCatalogue  0x01, 0x01, the tree name's bytes through the collation
**               table, 0x00.
**   kRecordId   the record id's four bytes, little-endian (tables without
**               key columns, "sys$blob").
**   kColumns    for each key column in key order: 0x00 when the row has no
**               field for it, else 0x01 followed by the value's key bytes:
**                 2        the i16 big-endian, top bit of its first byte inverted
**                 3 15 16  the i32 big-endian, top bit inverted
**                 5 14     each byte through the collation table, then 0x00
**                 6 7      big-endian; all bytes inverted when the sign bit is
**                          set, else only the sign bit
**                 8 9      the three u16 big-endian, as stored
**                 12       the byte
**
** Interior entries carry the key of their child's first record.  Records
** handed to these functions have been checked (row_record.h); keys are
** appended to a caller's buffer, so a caller that reuses its buffer makes
** keys without allocating.
*/
#ifndef QUENDAL_DATABASE_KEY_ENCODING_H
#define QUENDAL_DATABASE_KEY_ENCODING_H

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/row_record.h"

namespace quendal::db {

struct KeySpec {
  enum class Kind : uint8_t { kCatalogue, kRecordId, kColumns };
  Kind kind = Kind::kRecordId;
  std::vector<uint8_t> columns; /* kColumns: column ids in key order */

  static KeySpec Catalogue() { return KeySpec{Kind::kCatalogue, {}}; }
  static KeySpec RecordId() { return KeySpec{Kind::kRecordId, {}}; }
  static KeySpec Columns(std::vector<uint8_t> ids) {
    return ids.empty() ? RecordId() : KeySpec{Kind::kColumns, std::move(ids)};
  }
};

/* -1, 0 or 1.  Descents compare many keys that differ early (record ids
** differ in their low byte, which comes first): the first bytes are
** compared in line, the rest by memcmp. */
inline int CompareKeys(std::string_view a, std::string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  const size_t inLine = common < 8 ? common : 8;
  for (size_t i = 0; i < inLine; i++) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (common > inLine) {
    const int c = std::memcmp(a.data() + inLine, b.data() + inLine, common - inLine);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

/* Key of a tree name in the catalogue. */
void AppendCatalogueKey(std::string_view name, std::string* key);
/* Key of a record id in a tree without key columns. */
void AppendRecordIdKey(uint32_t id, std::string* key);
/* 0x01 and the key bytes of an integer (type 3) value. */
void AppendIntegerKey(int32_t value, std::string* key);
/* 0x01 and the key bytes of a field's value. */
void AppendFieldKey(Bytes record, const FieldRef& field, std::string* key);
/* Replaces *key with the key of a checked leaf record of a tree of this
** spec (a catalogue record for kCatalogue, a row record otherwise). */
void RecordKey(const KeySpec& spec, Bytes record, std::string* key);

} // namespace quendal::db

#endif
