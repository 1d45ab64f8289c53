/*
** The DatabaseField class: a column of a RecordSet, read and assigned in
** the types of the language.  See database_interface.h.
**
** Getters return the set's pending edit of the column when it holds one
** (assigned since Edit, kept until the next move).  Otherwise they ask the
** engine (curColumnValue) for the value of the current row and convert it
** by its type code, then let the engine release it (curReleaseValue); at
** EOF or BOF, on a closed set or without curColumnValue they give nil, 0
** or false.
**
** Conversions by type code (the value layouts are those of
** quendal_plugin.h; dates and times carry big-endian fields):
**   StringValue   numbers as decimal text (float: 7, double: 10
**                 significant digits), text and bytes as they are, dates
**                 "yyyy-MM-dd", times "HH:mm:ss" (invalid fields: "0-00-00",
**                 "00:00:00"), booleans "true"/"false"
**   DoubleValue   numbers as they are, text through Val, booleans 1/0,
**                 dates 0
**   BooleanValue  numbers non-zero, text by its first letter "t"/"T"
**   IntegerValue  DoubleValue truncated to 32 bits
**   Int64Value    integer codes exactly, else DoubleValue truncated
**   CurrencyValue the number in ten-thousandths
**   DateValue     a Date of the date, time or time stamp fields (year 1,
**                 January 1, 00:00:00 for what the code does not carry);
**                 a pending edit read as SQL date-time text
**   Value         a Variant: integers 2, 3 an Integer box, 19 an Int64 box,
**                 6, 7 a Double box, 11 a Currency box, 12 a Boolean box,
**                 texts and bytes (and a pending edit) a String box, 8 a
**                 Date at 00:00:00, 9 a Date with year, month and day 0,
**                 10 a Date of all six fields; no value: nil
** Setters turn their value into text and assign it with setString, which
** acts only between Edit and Update.  The Value setter goes by the
** variant's kind: integers as decimal, Single and Double with 20
** significant digits, a Date as SQL date-time text, a Boolean as
** "true"/"false", nil and other objects as SQL NULL, anything else as its
** String conversion.
*/
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/database/database_internal.h"
#include "runtime/database/database_values.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/number_scan.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

/* The engine's value of a field on the current row, released when the
** reader goes out of scope. */
class EngineValue {
 public:
  explicit EngineValue(DatabaseFieldObject* field) : set_(field ? field->recordSet : nullptr) {
    if (!RecordSetIsOpen(set_) || !set_->cursor->curColumnValue) return;
    if (cursorEOFGetter(set_) || cursorBOFGetter(set_)) return;
    void* value = nullptr;
    uint8_t type = 0;
    int32_t length = 0;
    set_->cursor->curColumnValue(set_->cursorHandle, field->column, &value, &type, &length);
    present_ = true;
    value_ = static_cast<const uint8_t*>(value);
    type_ = type;
    length_ = length < 0 ? 0 : length;
  }
  ~EngineValue() {
    if (present_ && set_->cursor->curReleaseValue) set_->cursor->curReleaseValue(set_->cursorHandle);
  }
  EngineValue(const EngineValue&) = delete;
  EngineValue& operator=(const EngineValue&) = delete;

  /* False when there is no value to convert (type 0 included). */
  bool has() const { return present_ && type_ != kORVAColumnNull && (value_ || type_ == kORVAColumnString); }
  uint8_t type() const { return type_; }
  int32_t length() const { return length_; }
  const uint8_t* bytes() const { return value_; }

  template <typename T>
  T Read() const {
    T v{};
    std::memcpy(&v, value_, sizeof(T));
    return v;
  }
  std::string_view Text() const {
    return type_ == kORVAColumnString ? StringView(String())
                                      : std::string_view(reinterpret_cast<const char*>(value_), size_t(length_));
  }
  ORVAstring String() const { return value_ ? *reinterpret_cast<ORVAstring const*>(value_) : nullptr; }
  DateFields Fields() const {
    DateFields f;
    auto field = [&](int i) { return int32_t((value_[2 * i] << 8) | value_[2 * i + 1]); };
    if (type_ == kORVAColumnDate || type_ == kORVAColumnTimeStamp) {
      f.year = field(0), f.month = field(1), f.day = field(2);
    }
    if (type_ == kORVAColumnTime) f.hour = field(0), f.minute = field(1), f.second = field(2);
    if (type_ == kORVAColumnTimeStamp) f.hour = field(3), f.minute = field(4), f.second = field(5);
    return f;
  }

 private:
  RecordSetObject* set_;
  bool present_ = false;
  const uint8_t* value_ = nullptr;
  uint8_t type_ = 0;
  int32_t length_ = 0;
};

bool IsBytesCode(uint8_t type) {
  return type == kORVAColumnChar || type == kORVAColumnText || type == kORVAColumnBinary ||
         type == kORVAColumnLongText || type == kORVAColumnLongBinary;
}

ORVAstring PendingText(DatabaseFieldObject* field, bool* pending) {
  ORVAPendingEdit* edit = field && field->recordSet ? PendingEditOf(field->recordSet, field->column) : nullptr;
  *pending = edit != nullptr;
  return edit ? edit->value : nullptr;
}

std::string DateTimeText(const EngineValue& v) {
  DateFields f = v.Fields();
  std::string date, time;
  if (v.type() == kORVAColumnDate) return FormatSqlDate(f, &date) ? date : "0-00-00";
  if (v.type() == kORVAColumnTime) return FormatSqlTime(f, &time) ? time : "00:00:00";
  if (!FormatSqlDate(f, &date)) date = "0-00-00";
  if (!FormatSqlTime(f, &time)) time = "00:00:00";
  return date + " " + time;
}

ORVAstring StringOfValue(const EngineValue& v) {
  auto text = [](const std::string& s) { return StringCreate(s, kEncodingASCII); };
  switch (v.type()) {
    case kORVAColumnSmallInt: return text(std::to_string(v.Read<int16_t>()));
    case kORVAColumnInteger: return text(std::to_string(v.Read<int32_t>()));
    case kORVAColumnFloat: return text(FormatGeneralNumber(v.Read<float>(), 7));
    case kORVAColumnDouble: return text(FormatGeneralNumber(v.Read<double>(), 10));
    case kORVAColumnDate:
    case kORVAColumnTime:
    case kORVAColumnTimeStamp: return text(DateTimeText(v));
    case kORVAColumnCurrency:
    case kORVAColumnInt64: return text(std::to_string(v.Read<int64_t>()));
    case kORVAColumnBoolean: return text(v.Read<uint8_t>() ? "true" : "false");
    case kORVAColumnString: {
      ORVAstring s = v.String();
      StringRetain(s);
      return s;
    }
    default: return IsBytesCode(v.type()) ? StringCreate(v.Text(), kEncodingASCII) : nullptr;
  }
}

double DoubleOfValue(const EngineValue& v) {
  switch (v.type()) {
    case kORVAColumnSmallInt: return v.Read<int16_t>();
    case kORVAColumnInteger: return v.Read<int32_t>();
    case kORVAColumnFloat: return v.Read<float>();
    case kORVAColumnDouble: return v.Read<double>();
    case kORVAColumnCurrency:
    case kORVAColumnInt64: return double(v.Read<int64_t>());
    case kORVAColumnBoolean: return v.Read<uint8_t>() ? 1.0 : 0.0;
    case kORVAColumnString: return ScanNumberLenient(Utf8TextOf(v.String()));
    default: return IsBytesCode(v.type()) ? ScanNumberLenient(v.Text()) : 0.0;
  }
}

bool BooleanOfValue(const EngineValue& v) {
  switch (v.type()) {
    case kORVAColumnSmallInt: return v.Read<int16_t>() != 0;
    case kORVAColumnInteger: return v.Read<int32_t>() != 0;
    case kORVAColumnFloat: return v.Read<float>() != 0.0f;
    case kORVAColumnDouble: return v.Read<double>() != 0.0;
    case kORVAColumnCurrency:
    case kORVAColumnInt64: return v.Read<int64_t>() != 0;
    case kORVAColumnBoolean: return v.Read<uint8_t>() != 0;
    case kORVAColumnString: return TextIsTrue(v.Text());
    default: return IsBytesCode(v.type()) && TextIsTrue(v.Text());
  }
}

/* An integer text ([sign] digits within 64 bits) read exactly. */
bool ExactInteger(std::string_view text, int64_t* out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return false;
  errno = 0;
  std::string copy(text);
  char* end = nullptr;
  long long value = std::strtoll(copy.c_str(), &end, 10);
  if (errno != 0 || end == copy.c_str() || *end != 0) return false;
  *out = value;
  return true;
}

double FieldDouble(DatabaseFieldObject* field) {
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  if (pending) return ScanNumberLenient(Utf8TextOf(edit));
  EngineValue v(field);
  return v.has() ? DoubleOfValue(v) : 0.0;
}

int64_t FieldInt64(DatabaseFieldObject* field) {
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  int64_t exact = 0;
  if (pending) {
    std::string text = Utf8TextOf(edit);
    return ExactInteger(text, &exact) ? exact : TruncateToInt64(ScanNumberLenient(text));
  }
  EngineValue v(field);
  if (!v.has()) return 0;
  switch (v.type()) {
    case kORVAColumnSmallInt: return v.Read<int16_t>();
    case kORVAColumnInteger: return v.Read<int32_t>();
    case kORVAColumnCurrency:
    case kORVAColumnInt64: return v.Read<int64_t>();
    default: break;
  }
  if ((IsBytesCode(v.type()) || v.type() == kORVAColumnString) && ExactInteger(v.Text(), &exact)) return exact;
  return TruncateToInt64(DoubleOfValue(v));
}

/* setString's rule: only while editing; replaces this column's pending
** edit or pushes a new one.  value is borrowed (may be null: SQL NULL). */
void AssignPending(DatabaseFieldObject* field, ORVAstring value) {
  if (!field || !field->recordSet || !field->recordSet->editing) return;
  RecordSetObject* set = field->recordSet;
  if (ORVAPendingEdit* edit = PendingEditOf(set, field->column)) {
    StringAssign(&edit->value, value);
    return;
  }
  StringRetain(value);
  set->edits = new ORVAPendingEdit{set->edits, field->column, value};
}

void AssignText(DatabaseFieldObject* field, const std::string& text) {
  StringRef value(StringCreate(text, kEncodingASCII));
  AssignPending(field, value.get());
}

ObjectHeader* StringVariant(ORVAstring owned) {
  StringRef text(owned);
  return StringToVariant(text.get());
}

/* Value of an engine value, by its type code (a new reference or nil). */
ObjectHeader* VariantOfValue(const EngineValue& v) {
  switch (v.type()) {
    case kORVAColumnSmallInt: return Int32ToVariant(v.Read<int16_t>());
    case kORVAColumnInteger: return Int32ToVariant(v.Read<int32_t>());
    case kORVAColumnInt64: return Int64ToVariant(v.Read<int64_t>());
    case kORVAColumnFloat: return DoubleToVariant(v.Read<float>());
    case kORVAColumnDouble: return DoubleToVariant(v.Read<double>());
    case kORVAColumnCurrency: return CurrencyToVariant(v.Read<int64_t>());
    case kORVAColumnBoolean: return BooleanToVariant(v.Read<uint8_t>() != 0);
    case kORVAColumnDate: case kORVAColumnTimeStamp: return NewDateObject(v.Fields());
    case kORVAColumnTime: {
      DateFields f = v.Fields();
      f.year = f.month = f.day = 0;
      return NewDateObject(f);
    }
    case kORVAColumnString: return StringToVariant(v.String());
    default: return IsBytesCode(v.type()) ? StringVariant(StringCreate(v.Text(), kEncodingASCII)) : nullptr;
  }
}

bool IsBox(ObjectHeader* value, const ObjectDefinition& definition) {
  return value->classPtr == LookupObjectDefinition(&definition);
}

/* The text the Value setter assigns; false for SQL NULL. */
bool TextOfVariant(ObjectHeader* value, std::string* text) {
  switch (VarType(value)) {
    case kTypeNil: case kTypeObject: return false;
    case kTypeInteger: case kTypeLong:
      if (IsBox(value, kVariantUInt32Definition) || IsBox(value, kVariantUInt64Definition)) {
        *text = std::to_string(VariantToUInt64(value));
      } else {
        *text = std::to_string(VariantToInt64(value));
      }
      return true;
    case kTypeSingle: case kTypeDouble: *text = FormatGeneralNumber(VariantToDouble(value), 20); return true;
    case kTypeBoolean: *text = VariantToBoolean(value) ? "true" : "false"; return true;
    case kTypeDate: {
      DateFields f;
      if (DateFieldsOfObject(value, &f)) *text = SqlDateTimeText(f);
      return true;
    }
    default: {
      StringRef converted(VariantToString(value));
      *text = Utf8TextOf(converted.get());
      return true;
    }
  }
}

} // namespace

} // namespace quendal

using namespace quendal;

extern "C" void databaseCursorFieldDestructor(DatabaseFieldObject* field) {
  if (!field || !field->recordSet) return;
  RecordSetObject* set = field->recordSet;
  field->recordSet = nullptr;
  ReleaseObjectQuietly(&set->header);
}

extern "C" ORVAstring cursorFieldNameGetter(DatabaseFieldObject* field) {
  if (!field || !field->recordSet) return nullptr;
  RecordSetObject* set = field->recordSet;
  if (RecordSetIsOpen(set) && set->cursor->curColumnName) {
    return set->cursor->curColumnName(set->cursorHandle, field->column);
  }
  return StringCreate("field" + std::to_string(field->column + 1), kEncodingASCII);
}

extern "C" ORVAstring cursorFieldStringValueGetter(DatabaseFieldObject* field) {
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  if (pending) {
    StringRetain(edit);
    return edit;
  }
  EngineValue v(field);
  return v.has() ? StringOfValue(v) : nullptr;
}

extern "C" double cursorFieldDoubleValueGetter(DatabaseFieldObject* field) { return FieldDouble(field); }

extern "C" int32_t cursorFieldIntegerValueGetter(DatabaseFieldObject* field) {
  return int32_t(uint32_t(uint64_t(TruncateToInt64(FieldDouble(field)))));
}

extern "C" int64_t CursorFieldInt64ValueGetter(DatabaseFieldObject* field) { return FieldInt64(field); }

extern "C" int64_t CursorFieldCurrencyValueGetter(DatabaseFieldObject* field) {
  return CurrencyFromNumber(FieldDouble(field));
}

extern "C" bool CursorFieldBooleanValueGetter(DatabaseFieldObject* field) {
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  if (pending) return TextIsTrue(StringView(edit));
  EngineValue v(field);
  return v.has() && BooleanOfValue(v);
}

QUENDAL_SERVICE ObjectHeader* cursorFieldDateValueGetter(DatabaseFieldObject* field) {
  QUENDAL_SERVICE_BEGIN
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  if (pending) {
    DateFields f;
    return ParseSqlDateTime(StringView(edit), &f) ? NewDateObject(f) : nullptr;
  }
  EngineValue v(field);
  if (!v.has()) return nullptr;
  if (v.type() != kORVAColumnDate && v.type() != kORVAColumnTime && v.type() != kORVAColumnTimeStamp) return nullptr;
  return NewDateObject(v.Fields());
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ORVAstring cursorFieldNativeValueGetter(DatabaseFieldObject* field) {
  EngineValue v(field);
  if (!v.has()) return nullptr;
  if (v.type() == kORVAColumnString) {
    ORVAstring s = v.String();
    StringRetain(s);
    return s;
  }
  int32_t length = v.length();
  if (length == 0) {
    switch (v.type()) {
      case kORVAColumnSmallInt: length = 2; break;
      case kORVAColumnInteger:
      case kORVAColumnFloat: length = 4; break;
      case kORVAColumnDouble:
      case kORVAColumnCurrency:
      case kORVAColumnInt64: length = 8; break;
      case kORVAColumnDate:
      case kORVAColumnTime: length = 6; break;
      case kORVAColumnTimeStamp: length = 12; break;
      case kORVAColumnBoolean: length = 1; break;
      default: break;
    }
  }
  return StringCreate(v.bytes(), length, kEncodingASCII);
}

extern "C" ORVAstring databaseCursorFieldGetString(DatabaseFieldObject* field) {
  return cursorFieldStringValueGetter(field);
}

extern "C" void databaseCursorFieldSetString(DatabaseFieldObject* field, ORVAstring value) {
  AssignPending(field, value);
}

extern "C" void cursorFieldStringValueSetter(DatabaseFieldObject* field, ORVAstring value) {
  AssignPending(field, value);
}

extern "C" void cursorFieldDoubleValueSetter(DatabaseFieldObject* field, double value) {
  AssignText(field, FormatGeneralNumber(value, 20));
}

extern "C" void cursorFieldIntegerValueSetter(DatabaseFieldObject* field, int32_t value) {
  AssignText(field, std::to_string(value));
}

extern "C" void CursorFieldInt64ValueSetter(DatabaseFieldObject* field, int64_t value) {
  AssignText(field, std::to_string(value));
}

extern "C" void CursorFieldCurrencyValueSetter(DatabaseFieldObject* field, int64_t value) {
  AssignText(field, CurrencyText(value));
}

extern "C" void CursorFieldBooleanValueSetter(DatabaseFieldObject* field, bool value) {
  AssignText(field, value ? "true" : "false");
}

extern "C" void cursorFieldDateValueSetter(DatabaseFieldObject* field, ObjectHeader* date) {
  DateFields f;
  if (DateFieldsOfObject(date, &f)) AssignText(field, SqlDateTimeText(f));
}

QUENDAL_SERVICE ObjectHeader* CursorFieldValueGetter(DatabaseFieldObject* field) {
  QUENDAL_SERVICE_BEGIN
  bool pending = false;
  ORVAstring edit = PendingText(field, &pending);
  if (pending) return StringToVariant(edit);
  EngineValue v(field);
  return v.has() ? VariantOfValue(v) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void CursorFieldValueSetter(DatabaseFieldObject* field, ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  std::string text;
  if (TextOfVariant(value, &text)) {
    AssignText(field, text);
  } else {
    AssignPending(field, nullptr);
  }
  QUENDAL_SERVICE_END_VOID
}

extern "C" ObjectHeader* CursorFieldConvertToDate(DatabaseFieldObject* field) {
  return cursorFieldDateValueGetter(field);
}
extern "C" ORVAstring CursorFieldConvertToString(DatabaseFieldObject* field) {
  return cursorFieldStringValueGetter(field);
}
extern "C" int32_t CursorFieldConvertToInteger(DatabaseFieldObject* field) {
  return cursorFieldIntegerValueGetter(field);
}
extern "C" int64_t CursorFieldConvertToInt64(DatabaseFieldObject* field) { return CursorFieldInt64ValueGetter(field); }
extern "C" double CursorFieldConvertToDouble(DatabaseFieldObject* field) { return cursorFieldDoubleValueGetter(field); }
extern "C" bool CursorFieldConvertToBoolean(DatabaseFieldObject* field) {
  return CursorFieldBooleanValueGetter(field);
}
