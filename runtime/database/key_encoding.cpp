/*
** Keys: see key_encoding.h.
*/
#include "runtime/database/key_encoding.h"

#include <cassert>

namespace quendal::db {

static void AppendCollated(std::string_view text, std::string* key) {
  size_t at = key->size();
  key->resize(at + text.size() + 1);
  char* out = key->data() + at;
  for (unsigned char c : text) *out++ = char(kCollation[c]);
  *out = '\0';
}

void AppendCatalogueKey(std::string_view name, std::string* key) {
  key->push_back('\x01');
  key->push_back('\x01');
  AppendCollated(name, key);
}

void AppendRecordIdKey(uint32_t id, std::string* key) {
  for (int i = 0; i < 4; i++) key->push_back(char(uint8_t(id >> (8 * i))));
}

void AppendIntegerKey(int32_t value, std::string* key) {
  const uint32_t bits = uint32_t(value) ^ 0x80000000u;
  key->push_back('\x01');
  for (int i = 3; i >= 0; i--) key->push_back(char(uint8_t(bits >> (8 * i))));
}

void AppendFieldKey(Bytes record, const FieldRef& field, std::string* key) {
  const uint8_t* p = record.data() + field.payload;
  key->push_back('\x01');
  switch (field.type) {
    case kTypeSmallInt:
      key->push_back(char(p[0] ^ 0x80));
      key->push_back(char(p[1]));
      break;
    case kTypeInteger: case kTypeLongText: case kTypeLongBinary:
      key->push_back(char(p[0] ^ 0x80));
      key->append(reinterpret_cast<const char*>(p) + 1, 3);
      break;
    case kTypeText: case kTypeBinary:
      AppendCollated(FieldText(record, field), key);
      break;
    case kTypeFloat: case kTypeDouble: {
      bool negative = p[0] & 0x80;
      for (uint32_t i = 0; i < field.size; i++) {
        uint8_t b = negative ? uint8_t(~p[i]) : (i == 0 ? uint8_t(p[0] ^ 0x80) : p[i]);
        key->push_back(char(b));
      }
      break;
    }
    case kTypeDate: case kTypeTime:
      key->append(reinterpret_cast<const char*>(p), 6);
      break;
    case kTypeBoolean:
      key->push_back(char(p[0]));
      break;
    default:
      assert(false && "field types are checked when their page is loaded");
  }
}

void RecordKey(const KeySpec& spec, Bytes record, std::string* key) {
  key->clear();
  switch (spec.kind) {
    case KeySpec::Kind::kCatalogue: {
      uint32_t length = Get32(record.data() + kCatalogueNameLength);
      AppendCatalogueKey(std::string_view(reinterpret_cast<const char*>(record.data()) + kCatalogueName, length),
                         key);
      return;
    }
    case KeySpec::Kind::kRecordId:
      AppendRecordIdKey(Get32(record.data() + kRecordId), key);
      return;
    case KeySpec::Kind::kColumns:
      for (uint8_t column : spec.columns) {
        FieldRef field;
        if (FindField(record, column, &field)) AppendFieldKey(record, field, key);
        else key->push_back('\0');
      }
      return;
  }
}

} // namespace quendal::db
