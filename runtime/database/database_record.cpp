/*
** The DatabaseRecord class: named column values for InsertRecord.  See
** database_interface.h.
**
** The entry list holds the columns newest first: a name assigned for the
** first time is pushed at the head with the type code of its accessor;
** assigning a name already present (names compared as the language
** compares strings, case ignored) replaces the value only and keeps the
** type code of the first assignment.  Values are stored as text:
**   Column 5 the string        DoubleColumn 7 shortest exact decimal
**   IntegerColumn 3 decimal    Int64Column 19 decimal
**   CurrencyColumn 11 decimal with up to four decimals
**   DateColumn 8 "yyyy-MM-dd HH:mm:ss"   BlobColumn 14 the bytes
**   BooleanColumn 12 "true"/"false"
** Getters of a missing name give nil, 0 or false.
*/
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/database/database_values.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/number_scan.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

bool IsAsciiText(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

unsigned char UpperAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c; }

bool SameAsciiLetters(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size(); i++) {
    if (UpperAscii(static_cast<unsigned char>(a[i])) != UpperAscii(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

/* Whether two column names are one, as the language compares strings with
** case ignored (RuntimeStringCompare == 0), without its general path for
** the usual names.  That comparison, for two UTF-8 or two UTF-16 strings,
** ends every tie on the byte lengths, so names of one of those encodings
** and of different lengths differ; for two UTF-8 names of ASCII bytes it
** upper-cases a-z only, so their letters decide. */
bool SameName(ORVAstring a, ORVAstring b) {
  if (a == b) return true;
  if (a && b && a->encoding == b->encoding && (a->encoding == kEncodingUTF8 || a->encoding == kEncodingUTF16)) {
    if (a->length != b->length) return false;
    std::string_view ta = StringView(a), tb = StringView(b);
    if (a->encoding == kEncodingUTF8 && IsAsciiText(ta) && IsAsciiText(tb)) return SameAsciiLetters(ta, tb);
  }
  return RuntimeStringCompare(a, b) == 0;
}

ORVADatabaseRecordEntry* FindEntry(DatabaseRecordObject* record, ORVAstring name) {
  if (!record) return nullptr;
  for (ORVADatabaseRecordEntry* entry = record->entries; entry; entry = entry->next) {
    if (SameName(entry->name, name)) return entry;
  }
  return nullptr;
}

/* Assigns value (borrowed) to the named column. */
void SetColumn(DatabaseRecordObject* record, ORVAstring name, ORVAstring value, int32_t type) {
  if (!record) return;
  if (ORVADatabaseRecordEntry* entry = FindEntry(record, name)) {
    StringAssign(&entry->value, value);
    return;
  }
  StringRetain(name);
  StringRetain(value);
  record->entries = new ORVADatabaseRecordEntry{record->entries, name, value, type};
}

void SetColumnText(DatabaseRecordObject* record, ORVAstring name, const std::string& text, int32_t type) {
  StringRef value(StringCreate(text, kEncodingASCII));
  SetColumn(record, name, value.get(), type);
}

/* The text of the named column (borrowed), or null. */
ORVAstring ColumnValue(DatabaseRecordObject* record, ORVAstring name) {
  ORVADatabaseRecordEntry* entry = FindEntry(record, name);
  return entry ? entry->value : nullptr;
}

double ColumnNumber(DatabaseRecordObject* record, ORVAstring name) {
  return ScanNumberLenient(Utf8TextOf(ColumnValue(record, name)));
}

ORVAstring Retained(ORVAstring s) {
  StringRetain(s);
  return s;
}

} // namespace

/* A record of unnamed type-5 entries in the given order (ScrollableCursor
** rows); values are borrowed. */
ObjectHeader* NewTextRecord(const std::vector<ORVAstring>& values) {
  ObjectHeader* object = RuntimeNewObject(DatabaseRecordClass());
  if (!object) return nullptr;
  auto* record = reinterpret_cast<DatabaseRecordObject*>(object);
  ORVADatabaseRecordEntry** tail = &record->entries;
  for (ORVAstring value : values) {
    *tail = new ORVADatabaseRecordEntry{nullptr, nullptr, Retained(value), kORVAColumnText};
    tail = &(*tail)->next;
  }
  return object;
}

} // namespace quendal

using namespace quendal;

extern "C" void databaseRecordDestructor(DatabaseRecordObject* record) {
  if (!record) return;
  ORVADatabaseRecordEntry* entry = record->entries;
  record->entries = nullptr;
  while (entry) {
    ORVADatabaseRecordEntry* next = entry->next;
    StringRelease(entry->name);
    StringRelease(entry->value);
    delete entry;
    entry = next;
  }
}

extern "C" ORVAstring getDatabaseRecordColumn(DatabaseRecordObject* record, ORVAstring name) {
  return Retained(ColumnValue(record, name));
}
extern "C" void setDatabaseRecordColumn(DatabaseRecordObject* record, ORVAstring name, ORVAstring value) {
  SetColumn(record, name, value, kORVAColumnText);
}

extern "C" double getDatabaseRecordDoubleColumn(DatabaseRecordObject* record, ORVAstring name) {
  return ColumnNumber(record, name);
}
extern "C" void setDatabaseRecordDoubleColumn(DatabaseRecordObject* record, ORVAstring name, double value) {
  SetColumnText(record, name, FormatRoundTripNumber(value), kORVAColumnDouble);
}

extern "C" int32_t getDatabaseRecordIntegerColumn(DatabaseRecordObject* record, ORVAstring name) {
  return int32_t(uint32_t(uint64_t(TruncateToInt64(ColumnNumber(record, name)))));
}
extern "C" void setDatabaseRecordIntegerColumn(DatabaseRecordObject* record, ORVAstring name, int32_t value) {
  SetColumnText(record, name, std::to_string(value), kORVAColumnInteger);
}

extern "C" int64_t GetDatabaseRecordInt64Column(DatabaseRecordObject* record, ORVAstring name) {
  std::string text = Utf8TextOf(ColumnValue(record, name));
  char* end = nullptr;
  errno = 0;
  long long exact = std::strtoll(text.c_str(), &end, 10);
  if (!text.empty() && errno == 0 && *end == 0) return exact;
  return TruncateToInt64(ScanNumberLenient(text));
}
extern "C" void SetDatabaseRecordInt64Column(DatabaseRecordObject* record, ORVAstring name, int64_t value) {
  SetColumnText(record, name, std::to_string(value), kORVAColumnInt64);
}

extern "C" int64_t GetDatabaseRecordCurrencyColumn(DatabaseRecordObject* record, ORVAstring name) {
  return CurrencyFromNumber(ColumnNumber(record, name));
}
extern "C" void SetDatabaseRecordCurrencyColumn(DatabaseRecordObject* record, ORVAstring name, int64_t value) {
  SetColumnText(record, name, CurrencyText(value), kORVAColumnCurrency);
}

QUENDAL_SERVICE ObjectHeader* getDatabaseRecordDateColumn(DatabaseRecordObject* record, ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  DateFields f;
  if (!ParseSqlDateTime(StringView(ColumnValue(record, name)), &f)) return nullptr;
  return NewDateObject(f);
  QUENDAL_SERVICE_END(nullptr)
}
extern "C" void setDatabaseRecordDateColumn(DatabaseRecordObject* record, ORVAstring name, ObjectHeader* date) {
  DateFields f;
  if (DateFieldsOfObject(date, &f)) {
    SetColumnText(record, name, SqlDateTimeText(f), kORVAColumnDate);
  } else {
    SetColumn(record, name, nullptr, kORVAColumnDate);
  }
}

extern "C" ORVAstring GetDatabaseRecordBlobColumn(DatabaseRecordObject* record, ORVAstring name) {
  return Retained(ColumnValue(record, name));
}
extern "C" void SetDatabaseRecordBlobColumn(DatabaseRecordObject* record, ORVAstring name, ORVAstring value) {
  SetColumn(record, name, value, kORVAColumnBinary);
}

extern "C" bool GetDatabaseRecordBooleanColumn(DatabaseRecordObject* record, ORVAstring name) {
  return TextIsTrue(StringView(ColumnValue(record, name)));
}
extern "C" void SetDatabaseRecordBooleanColumn(DatabaseRecordObject* record, ORVAstring name, bool value) {
  SetColumnText(record, name, value ? "true" : "false", kORVAColumnBoolean);
}

extern "C" int32_t getDatabaseRecordFieldCount(DatabaseRecordObject* record) {
  int32_t count = 0;
  for (ORVADatabaseRecordEntry* entry = record ? record->entries : nullptr; entry; entry = entry->next) count++;
  return count;
}

extern "C" ORVAstring getDatabaseRecordIndString(DatabaseRecordObject* record, int32_t index) {
  int32_t position = 1;
  for (ORVADatabaseRecordEntry* entry = record ? record->entries : nullptr; entry; entry = entry->next, position++) {
    if (position == index) return Retained(entry->value);
  }
  return nullptr;
}
