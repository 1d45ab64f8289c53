/*
** Row records: see row_record.h.
*/
#include "runtime/database/row_record.h"

#include <cassert>
#include <cstring>

namespace quendal::db {

bool CheckRowRecord(Bytes record, RowDefect* defect) {
  const uint8_t* base = record.data();
  const uint8_t* end = base + record.size();
  if (record.size() < kRowFields) {
    *defect = {0, "row record shorter than its header"};
    return false;
  }
  bool seen[256] = {};
  const uint8_t* p = base + kRowFields;
  while (p < end) {
    uint32_t at = uint32_t(p - base);
    if (end - p < 2) {
      *defect = {at, "row field cut off by the end of its record"};
      return false;
    }
    uint8_t column = p[0], type = p[1];
    uint32_t size = 0;
    if (!IsFieldType(type)) {
      *defect = {at, "row field with an unknown type code"};
      return false;
    }
    if (!FieldPayloadSize(type, p + 2, end, &size)) {
      *defect = {at, "row field longer than its record"};
      return false;
    }
    if (seen[column]) {
      *defect = {at, "row holds two fields for one column"};
      return false;
    }
    seen[column] = true;
    p += 2 + size;
  }
  return true;
}

bool NextField(Bytes record, uint32_t* offset, FieldRef* field) {
  if (*offset >= record.size()) return false;
  const uint8_t* p = record.data() + *offset;
  uint32_t size = 0;
  bool valid = FieldPayloadSize(p[1], p + 2, record.data() + record.size(), &size);
  assert(valid && "row records are checked when their page is loaded");
  (void)valid;
  *field = FieldRef{p[0], p[1], *offset + 2, size};
  *offset += 2 + size;
  return true;
}

bool FindField(Bytes record, uint8_t column, FieldRef* field) {
  uint32_t offset = kRowFields;
  while (NextField(record, &offset, field)) {
    if (field->column == column) return true;
  }
  return false;
}

/* ---- building ------------------------------------------------------------- */

void RowBuilder::Begin(uint32_t generation, uint32_t recordId) {
  bytes_.assign(kRowFields, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(bytes_.data());
  p[kRecordState] = kStateLive;
  Put24(p + kRecordGeneration, generation & kGenerationMask);
  Put32(p + kRecordId, recordId);
}

void RowBuilder::Head(uint8_t column, uint8_t type) {
  bytes_.push_back(char(column));
  bytes_.push_back(char(type));
}

static void AppendBigEndian(std::string* out, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; i--) out->push_back(char(uint8_t(value >> (8 * i))));
}

void RowBuilder::AddSmallInt(uint8_t column, int16_t value) {
  Head(column, kTypeSmallInt);
  AppendBigEndian(&bytes_, uint16_t(value), 2);
}

void RowBuilder::AddInteger(uint8_t column, uint8_t type, int32_t value) {
  assert(type == kTypeInteger || type == kTypeLongText || type == kTypeLongBinary);
  Head(column, type);
  AppendBigEndian(&bytes_, uint32_t(value), 4);
}

void RowBuilder::AddFloat(uint8_t column, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  Head(column, kTypeFloat);
  AppendBigEndian(&bytes_, bits, 4);
}

void RowBuilder::AddDouble(uint8_t column, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  Head(column, kTypeDouble);
  AppendBigEndian(&bytes_, bits, 8);
}

void RowBuilder::AddDateOrTime(uint8_t column, uint8_t type, const uint16_t fields[3]) {
  assert(type == kTypeDate || type == kTypeTime);
  Head(column, type);
  for (int i = 0; i < 3; i++) AppendBigEndian(&bytes_, fields[i], 2);
}

void RowBuilder::AddBoolean(uint8_t column, bool value) {
  Head(column, kTypeBoolean);
  bytes_.push_back(value ? 1 : 0);
}

void RowBuilder::AddBytes(uint8_t column, uint8_t type, std::string_view bytes) {
  assert(type == kTypeText || type == kTypeBinary);
  Head(column, type);
  AppendBigEndian(&bytes_, uint32_t(bytes.size()), 4);
  bytes_.append(bytes);
}

void RowBuilder::AddField(Bytes record, const FieldRef& field) {
  Head(field.column, field.type);
  bytes_.append(reinterpret_cast<const char*>(record.data()) + field.payload, field.size);
}

Bytes RowBuilder::Finish() {
  uint8_t* p = reinterpret_cast<uint8_t*>(bytes_.data());
  Put16(p + kRecordLength, uint32_t(bytes_.size() > 0xFFFF ? 0xFFFF : bytes_.size()));
  return Bytes(p, bytes_.size());
}

} // namespace quendal::db
