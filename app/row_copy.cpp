/*
** Copying one source row into a DatabaseRecord (row_copy.h).
*/
#include "app/row_copy.h"

#include <cstdio>

#include "runtime/database/database_interface.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/objects/variant.h"
#include "runtime/text/number_text.h"

namespace marlune {

namespace {

using quendal::ObjectRef;

bool IsBinaryType(int32_t engineType) {
  return engineType == kORVAColumnBinary || engineType == kORVAColumnLongBinary;
}

bool IsDateType(int32_t engineType) {
  return engineType == kORVAColumnDate || engineType == kORVAColumnTime || engineType == kORVAColumnTimeStamp;
}

bool Names(const std::vector<StringRef>& names, ORVAstring name) {
  for (const StringRef& candidate : names) {
    if (Equal(candidate.get(), name)) return true;
  }
  return false;
}

int32_t EngineTypeOf(const std::vector<ColumnType>& types, ORVAstring name) {
  for (const ColumnType& type : types) {
    if (Equal(type.name.get(), name)) return type.engineType;
  }
  return 0;
}

/* The big-endian 16-bit field i of a raw date value. */
int Field(std::string_view bytes, size_t i) {
  return int(uint8_t(bytes[2 * i])) << 8 | int(uint8_t(bytes[2 * i + 1]));
}

} // namespace

std::optional<std::string> DateValueText(std::string_view bytes, int32_t engineType) {
  char text[64];
  if (bytes.size() == 12) {
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", Field(bytes, 0), Field(bytes, 1),
                  Field(bytes, 2), Field(bytes, 3), Field(bytes, 4), Field(bytes, 5));
    return std::string(text);
  }
  if (bytes.size() != 6) return std::nullopt;
  if (engineType == kORVAColumnTime) {
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", Field(bytes, 0), Field(bytes, 1), Field(bytes, 2));
  } else if (engineType == kORVAColumnDate) {
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d", Field(bytes, 0), Field(bytes, 1), Field(bytes, 2));
  } else {
    return std::nullopt;
  }
  return std::string(text);
}

double AdditionNumber(ORVAstring text) { return StringVal(text); }

RowCopier::RowCopier(RecordSetObject* set, const std::vector<ColumnType>& types,
                     const std::vector<Addition>& additions, const TextRepair& repair, InvalidText invalidText,
                     const std::vector<StringRef>& excluded)
    : additions_(additions), repair_(repair), invalidText_(invalidText) {
  for (const Addition& addition : additions_) additionKinds_.push_back(KindOf(addition.type.get()));
  int32_t count = cursorFieldCount(set);
  for (int32_t i = 1; i <= count; i++) {
    ObjectRef field(cursorGetFieldByIndex(set, i));
    auto* databaseField = reinterpret_cast<DatabaseFieldObject*>(field.get());
    StringRef sourceName(cursorFieldNameGetter(databaseField));
    bool converted = false;
    std::optional<StringRef> name = repair_.Repair(sourceName.get(), &converted);
    if (!name) {
      setupFailure_ = "the name of column " + std::to_string(i) + " cannot be read in " + repair_.name();
      return;
    }
    StringRef translated = TranslatedColumnName(name->get());
    if (Names(excluded, translated.get())) continue;
    int32_t engineType = EngineTypeOf(types, translated.get());
    columns_.push_back({std::move(field), std::move(translated), engineType});
  }
}

bool RowCopier::Fill(DatabaseRecordObject* record, std::string* failure) {
  for (const Column& column : columns_) {
    if (!CopyValue(record, column, failure)) return false;
  }
  CopyAdditions(record);
  return true;
}

bool RowCopier::CopyValue(DatabaseRecordObject* record, const Column& column, std::string* failure) {
  auto* field = reinterpret_cast<DatabaseFieldObject*>(column.field.get());
  ORVAstring name = column.name.get();
  if (IsDateType(column.engineType)) {
    /* A date column holds a Date or nil: its raw value tells both, without
    ** the Date object Value would build. */
    StringRef native(cursorFieldNativeValueGetter(field));
    if (native.empty()) return true;
    if (std::optional<std::string> text = DateValueText(quendal::StringView(native.get()), column.engineType)) {
      StringRef sqlText = Text(*text);
      setDatabaseRecordColumn(record, name, sqlText.get());
      return true;
    }
  }
  ObjectRef value(CursorFieldValueGetter(field));
  switch (VarType(value.get())) {
    case quendal::kTypeNil: return true;
    case quendal::kTypeInteger: setDatabaseRecordIntegerColumn(record, name, VariantToInt32(value.get())); return true;
    case quendal::kTypeLong: SetDatabaseRecordInt64Column(record, name, VariantToInt64(value.get())); return true;
    case quendal::kTypeSingle:
    case quendal::kTypeDouble: setDatabaseRecordDoubleColumn(record, name, VariantToDouble(value.get())); return true;
    case quendal::kTypeCurrency:
      SetDatabaseRecordCurrencyColumn(record, name, VariantToCurrency(value.get()));
      return true;
    case quendal::kTypeBoolean:
      SetDatabaseRecordBooleanColumn(record, name, VariantToBoolean(value.get()));
      return true;
    case quendal::kTypeDate: {
      StringRef native(cursorFieldNativeValueGetter(field));
      std::optional<std::string> text = DateValueText(quendal::StringView(native.get()), column.engineType);
      StringRef sqlText = text ? Text(*text) : StringRef(cursorFieldStringValueGetter(field));
      setDatabaseRecordColumn(record, name, sqlText.get());
      return true;
    }
    case quendal::kTypeString: {
      StringRef text(VariantToString(value.get()));
      if (IsBinaryType(column.engineType) ||
          (invalidText_ == InvalidText::kKeepAsBlob && !IsValidUtf8(quendal::StringView(text.get())))) {
        SetDatabaseRecordBlobColumn(record, name, text.get());
        return true;
      }
      return CopyText(record, column, text.get(), failure);
    }
    default: {
      StringRef text(VariantToString(value.get()));
      return CopyText(record, column, text.get(), failure);
    }
  }
}

bool RowCopier::CopyText(DatabaseRecordObject* record, const Column& column, ORVAstring text, std::string* failure) {
  bool converted = false;
  std::optional<StringRef> repaired = repair_.Repair(text, &converted);
  if (!repaired) {
    *failure = "a text of column " + Utf8Of(column.name.get()) + " cannot be read in " + repair_.name();
    return false;
  }
  if (converted) valuesConverted_++;
  setDatabaseRecordColumn(record, column.name.get(), repaired->get());
  return true;
}

RowCopier::AdditionKind RowCopier::KindOf(ORVAstring type) {
  StringRef text = Text("Text"), varChar = Text("varChar"), integer = Text("Integer"), dbl = Text("Double"),
            boolean = Text("Boolean");
  if (Equal(type, text.get()) || Equal(type, varChar.get())) return AdditionKind::kText;
  if (Equal(type, integer.get())) return AdditionKind::kInteger;
  if (Equal(type, dbl.get())) return AdditionKind::kDouble;
  if (Equal(type, boolean.get())) return AdditionKind::kBoolean;
  return AdditionKind::kNone;
}

void RowCopier::CopyAdditions(DatabaseRecordObject* record) {
  for (size_t i = 0; i < additions_.size(); i++) {
    ORVAstring name = additions_[i].name.get();
    ORVAstring value = additions_[i].defaultValue.get();
    switch (additionKinds_[i]) {
      case AdditionKind::kText: setDatabaseRecordColumn(record, name, value); break;
      case AdditionKind::kInteger:
        setDatabaseRecordIntegerColumn(record, name, RuntimeCvtReal64ToSInt32(AdditionNumber(value)));
        break;
      case AdditionKind::kDouble: setDatabaseRecordDoubleColumn(record, name, AdditionNumber(value)); break;
      case AdditionKind::kBoolean: SetDatabaseRecordBooleanColumn(record, name, Utf8Of(value) == "1"); break;
      case AdditionKind::kNone: break;
    }
  }
}

} // namespace marlune
