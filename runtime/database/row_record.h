/*
** Row records of table leaves: reading their fields and building new ones.
**
** A row record is the 6-byte state header, the u32 record id at 6 and,
** from offset 10, one field per non-null column value: u8 column id, u8
** type code, payload (db_format.h).  A valid row has every field inside
** the record, known type codes only, each column id at most once, and its
** fields end exactly at the end of the record.
**
** CheckRowRecord is the one place that decides validity; the page layer
** runs it on every table leaf record when the page is loaded, so that code
** reading a loaded record (NextField, FindField) can rely on it and only
** asserts.
**
** RowBuilder writes a record into a buffer it owns and reuses: building a
** row costs no allocation once the buffer has grown.
*/
#ifndef QUENDAL_DATABASE_ROW_RECORD_H
#define QUENDAL_DATABASE_ROW_RECORD_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "runtime/database/db_format.h"

namespace quendal::db {

using Bytes = std::span<const uint8_t>;

struct FieldRef {
  uint8_t column;
  uint8_t type;
  uint32_t payload; /* offset of the payload within the record */
  uint32_t size;    /* payload bytes */
};

/* Why a row record is malformed, and at which offset of the record; empty
** what when the record is valid. */
struct RowDefect {
  uint32_t offset = 0;
  const char* what = nullptr;
};

/* Checks a whole row record (header included). */
bool CheckRowRecord(Bytes record, RowDefect* defect);

/* The field at *offset of a checked record; advances *offset past it.
** False at the end of the record. */
bool NextField(Bytes record, uint32_t* offset, FieldRef* field);

/* The field of column in a checked record; false when the row has none. */
bool FindField(Bytes record, uint8_t column, FieldRef* field);

/* Text or bytes of a field of type 5 or 14 (after the u32 length). */
inline std::string_view FieldText(Bytes record, const FieldRef& f) {
  return std::string_view(reinterpret_cast<const char*>(record.data()) + f.payload + 4, f.size - 4);
}

/* Builds one row record. */
class RowBuilder {
 public:
  /* Starts a live record with this generation and record id. */
  void Begin(uint32_t generation, uint32_t recordId);
  void AddSmallInt(uint8_t column, int16_t value);
  void AddInteger(uint8_t column, uint8_t type, int32_t value); /* 3, 15, 16 */
  void AddFloat(uint8_t column, float value);
  void AddDouble(uint8_t column, double value);
  void AddDateOrTime(uint8_t column, uint8_t type, const uint16_t fields[3]);
  void AddBoolean(uint8_t column, bool value);
  void AddBytes(uint8_t column, uint8_t type, std::string_view bytes); /* 5, 14 */
  /* Copies a field of another record as it is. */
  void AddField(Bytes record, const FieldRef& field);
  /* Finishes the length word; the record, valid until the next Begin. */
  Bytes Finish();
  size_t size() const { return bytes_.size(); }

 private:
  void Head(uint8_t column, uint8_t type);
  std::string bytes_;
};

} // namespace quendal::db

#endif
