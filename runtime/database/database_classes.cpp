/*
** The built-in database classes: their definitions and registration.  See
** database_interface.h for the layouts.  Methods are listed as accessors
** with their member signatures; properties with their getters and setters.
** The finalizers are the classes' destructors.
**
** The services with a row in the link table reach it through this layer's
** provision list (database_links.cpp), so their entries here name no row
** (PROVIDED); ScrollableCursor's members have no row and are linked under
** their names when the class is registered.
*/
#include <cstddef>

#include "runtime/database/database_interface.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/files/folder_item.h"
#include "runtime/objects/object_kinds.h"

namespace quendal {

namespace {

#define PROVIDED(function) (DefinitionEntry{reinterpret_cast<void*>(&(function)), nullptr})

const AccessorDefinition kDatabaseMembers[] = {
    {PROVIDED(databaseSQLExecute), "SQLExecute%%o<Database>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseSQLSelect), "SQLSelect%o<RecordSet>%o<Database>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseInsertRecord), "InsertRecord%%o<Database>so<DatabaseRecord>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseTableSchema), "TableSchema%o<RecordSet>%o<Database>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseFieldSchema), "FieldSchema%o<RecordSet>%o<Database>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseIndexSchema), "IndexSchema%o<RecordSet>%o<Database>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseCommit), "Commit%%o<Database>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseRollback), "Rollback%%o<Database>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(getDatabaseProperty), "GetProperty%s%o<Database>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseClose), "Close%%o<Database>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(DatabaseConnect), "Connect%b%o<Database>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(DatabaseConstructor), "Database%%o<Database>", {nullptr, nullptr}, nullptr, 0},
};

const InstanceVariableDefinition kDatabaseProperties[] = {
    {"DatabaseName", 0, "String", 0, offsetof(DatabaseObject, databaseName), PROVIDED(stringGetter),
     PROVIDED(stringSetter)},
    {"Host", 0, "String", 1, offsetof(DatabaseObject, host), PROVIDED(stringGetter), PROVIDED(stringSetter)},
    {"Password", 0, "String", 2, offsetof(DatabaseObject, password), PROVIDED(stringGetter),
     PROVIDED(stringSetter)},
    {"UserName", 0, "String", 3, offsetof(DatabaseObject, userName), PROVIDED(stringGetter),
     PROVIDED(stringSetter)},
    {"Error", 0, "Boolean", 4, 0, PROVIDED(databaseErrorGetter), {nullptr, nullptr}},
    {"ErrorCode", 0, "Integer", 5, 0, PROVIDED(databaseErrorCodeGetter), {nullptr, nullptr}},
    {"ErrorMessage", 0, "String", 6, 0, PROVIDED(databaseErrorStringGetter), {nullptr, nullptr}},
};

const ObjectDefinition kDatabaseDefinition = {
    .className = "Database",
    .objectSize = sizeof(DatabaseObject),
    .finalizer = PROVIDED(databaseDestructor),
    .accessors = kDatabaseMembers,
    .accessorCount = sizeof(kDatabaseMembers) / sizeof(kDatabaseMembers[0]),
    .instanceVariables = kDatabaseProperties,
    .instanceVariableCount = sizeof(kDatabaseProperties) / sizeof(kDatabaseProperties[0]),
    .mPropertyTableSize = 7,
};

const AccessorDefinition kRecordSetMembers[] = {
    {PROVIDED(cursorMoveNext), "MoveNext%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorMovePrev), "MovePrevious%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorMoveFirst), "MoveFirst%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorMoveLast), "MoveLast%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorGetFieldByName), "Field%o<DatabaseField>%o<RecordSet>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorGetFieldByIndex), "IdxField%o<DatabaseField>%o<RecordSet>i4", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(RecordSetColumnType), "ColumnType%i4%o<RecordSet>i4", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorDeleteRecord), "DeleteRecord%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorEdit), "Edit%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorUpdate), "Update%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(cursorClose), "Close%%o<RecordSet>", {nullptr, nullptr}, nullptr, 0},
};

const InstanceVariableDefinition kRecordSetProperties[] = {
    {"BOF", 0, "Boolean", 0, 0, PROVIDED(cursorBOFGetter), {nullptr, nullptr}},
    {"EOF", 0, "Boolean", 1, 0, PROVIDED(cursorEOFGetter), {nullptr, nullptr}},
    {"FieldCount", 0, "Integer", 2, 0, PROVIDED(cursorFieldCount), {nullptr, nullptr}},
    {"RecordCount", 0, "Integer", 3, 0, PROVIDED(RecordSetRecordCount), {nullptr, nullptr}},
};

const ObjectDefinition kRecordSetDefinition = {
    .className = "RecordSet",
    .objectSize = sizeof(RecordSetObject),
    .finalizer = PROVIDED(databaseCursorDestructor),
    .accessors = kRecordSetMembers,
    .accessorCount = sizeof(kRecordSetMembers) / sizeof(kRecordSetMembers[0]),
    .instanceVariables = kRecordSetProperties,
    .instanceVariableCount = sizeof(kRecordSetProperties) / sizeof(kRecordSetProperties[0]),
    .mPropertyTableSize = 4,
};

const AccessorDefinition kDatabaseFieldMembers[] = {
    {PROVIDED(databaseCursorFieldGetString), "getString%s%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(databaseCursorFieldSetString), "setString%%o<DatabaseField>s", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToDate), "Operator_Convert%o<Date>%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToString), "Operator_Convert%s%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToInteger), "Operator_Convert%i4%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToInt64), "Operator_Convert%i8%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToDouble), "Operator_Convert%f8%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(CursorFieldConvertToBoolean), "Operator_Convert%b%o<DatabaseField>", {nullptr, nullptr}, nullptr, 0},
    /* a Variant property: declared by its accessors' signatures */
    {PROVIDED(CursorFieldValueGetter), "Value%v%o<DatabaseField>", PROVIDED(CursorFieldValueSetter),
     "=Value%%o<DatabaseField>v", 0},
};

const InstanceVariableDefinition kDatabaseFieldProperties[] = {
    {"Name", 0, "String", 0, 0, PROVIDED(cursorFieldNameGetter), {nullptr, nullptr}},
    {"StringValue", 0, "String", 1, 0, PROVIDED(cursorFieldStringValueGetter),
     PROVIDED(cursorFieldStringValueSetter)},
    {"DoubleValue", 0, "Double", 2, 0, PROVIDED(cursorFieldDoubleValueGetter),
     PROVIDED(cursorFieldDoubleValueSetter)},
    {"IntegerValue", 0, "Integer", 3, 0, PROVIDED(cursorFieldIntegerValueGetter),
     PROVIDED(cursorFieldIntegerValueSetter)},
    {"Int64Value", 0, "Int64", 4, 0, PROVIDED(CursorFieldInt64ValueGetter),
     PROVIDED(CursorFieldInt64ValueSetter)},
    {"CurrencyValue", 0, "Currency", 5, 0, PROVIDED(CursorFieldCurrencyValueGetter),
     PROVIDED(CursorFieldCurrencyValueSetter)},
    {"BooleanValue", 0, "Boolean", 6, 0, PROVIDED(CursorFieldBooleanValueGetter),
     PROVIDED(CursorFieldBooleanValueSetter)},
    {"NativeValue", 0, "String", 7, 0, PROVIDED(cursorFieldNativeValueGetter), {nullptr, nullptr}},
    {"DateValue", 0, "Date", 8, 0, PROVIDED(cursorFieldDateValueGetter), PROVIDED(cursorFieldDateValueSetter)},
};

const ObjectDefinition kDatabaseFieldDefinition = {
    .className = "DatabaseField",
    .objectSize = sizeof(DatabaseFieldObject),
    .finalizer = PROVIDED(databaseCursorFieldDestructor),
    .accessors = kDatabaseFieldMembers,
    .accessorCount = sizeof(kDatabaseFieldMembers) / sizeof(kDatabaseFieldMembers[0]),
    .instanceVariables = kDatabaseFieldProperties,
    .instanceVariableCount = sizeof(kDatabaseFieldProperties) / sizeof(kDatabaseFieldProperties[0]),
    .mPropertyTableSize = 9,
};

#define QUENDAL_RECORD_COLUMN(getter, setter, name, code)                                              \
  {PROVIDED(getter), name "%" code "%o<DatabaseRecord>s", PROVIDED(setter),                 \
   "=" name "%%o<DatabaseRecord>s" code, 0}

const AccessorDefinition kDatabaseRecordMembers[] = {
    QUENDAL_RECORD_COLUMN(getDatabaseRecordColumn, setDatabaseRecordColumn, "Column", "s"),
    QUENDAL_RECORD_COLUMN(getDatabaseRecordDoubleColumn, setDatabaseRecordDoubleColumn, "DoubleColumn", "f8"),
    QUENDAL_RECORD_COLUMN(getDatabaseRecordIntegerColumn, setDatabaseRecordIntegerColumn, "IntegerColumn", "i4"),
    QUENDAL_RECORD_COLUMN(GetDatabaseRecordInt64Column, SetDatabaseRecordInt64Column, "Int64Column", "i8"),
    QUENDAL_RECORD_COLUMN(GetDatabaseRecordCurrencyColumn, SetDatabaseRecordCurrencyColumn, "CurrencyColumn", "e"),
    QUENDAL_RECORD_COLUMN(getDatabaseRecordDateColumn, setDatabaseRecordDateColumn, "DateColumn", "o<Date>"),
    QUENDAL_RECORD_COLUMN(GetDatabaseRecordBlobColumn, SetDatabaseRecordBlobColumn, "BlobColumn", "s"),
    QUENDAL_RECORD_COLUMN(GetDatabaseRecordBooleanColumn, SetDatabaseRecordBooleanColumn, "BooleanColumn", "b"),
    {PROVIDED(getDatabaseRecordIndString), "getIndString%s%o<DatabaseRecord>i4", {nullptr, nullptr}, nullptr, 0},
};

#undef QUENDAL_RECORD_COLUMN

const InstanceVariableDefinition kDatabaseRecordProperties[] = {
    {"FieldCount", 0, "Integer", 0, 0, PROVIDED(getDatabaseRecordFieldCount), {nullptr, nullptr}},
};

const ObjectDefinition kDatabaseRecordDefinition = {
    .className = "DatabaseRecord",
    .objectSize = sizeof(DatabaseRecordObject),
    .finalizer = PROVIDED(databaseRecordDestructor),
    .accessors = kDatabaseRecordMembers,
    .accessorCount = sizeof(kDatabaseRecordMembers) / sizeof(kDatabaseRecordMembers[0]),
    .instanceVariables = kDatabaseRecordProperties,
    .instanceVariableCount = 1,
    .mPropertyTableSize = 1,
};

const AccessorDefinition kOldFormatMembers[] = {
    {PROVIDED(ORVADatabaseConstructor), "ORVADatabaseOldFormat%%o<ORVADatabaseOldFormat>", {nullptr, nullptr},
     nullptr, 0},
    {PROVIDED(ORVADatabaseConnect), "Connect%b%o<ORVADatabaseOldFormat>", {nullptr, nullptr}, nullptr, 0},
    {PROVIDED(ORVADatabaseCreateDatabaseFile), "CreateDatabaseFile%b%o<ORVADatabaseOldFormat>", {nullptr, nullptr},
     nullptr, 0},
};

const InstanceVariableDefinition kOldFormatProperties[] = {
    {"DatabaseFile", 0, "FolderItem", 7, 0, PROVIDED(ORVADatabaseFolderItemGetter),
     PROVIDED(ORVADatabaseFolderItemSetter)},
};

/* The single-file engine's class (single_file_engine.h). */
const ObjectDefinition kOldFormatDefinition = {
    .className = "ORVADatabaseOldFormat",
    .super = &kDatabaseDefinition,
    .objectSize = sizeof(ORVADatabaseObject),
    .finalizer = PROVIDED(ORVADatabaseDestructor),
    .accessors = kOldFormatMembers,
    .accessorCount = sizeof(kOldFormatMembers) / sizeof(kOldFormatMembers[0]),
    .instanceVariables = kOldFormatProperties,
    .instanceVariableCount = 1,
    .mPropertyTableSize = 8,
};

const AccessorDefinition kScrollableCursorMembers[] = {
    {QUENDAL_ENTRY(ScrollableCursorConstructor), "ScrollableCursor%%o<ScrollableCursor>o<RecordSet>",
     {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(ScrollableCursorGetCount), "GetCount%i4%o<ScrollableCursor>", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(ScrollableCursorGetRow), "GetRow%o<DatabaseRecord>%o<ScrollableCursor>i4", {nullptr, nullptr},
     nullptr, 0},
};

const ObjectDefinition kScrollableCursorDefinition = {
    .className = "ScrollableCursor",
    .objectSize = sizeof(ScrollableCursorObject),
    .finalizer = QUENDAL_ENTRY(ScrollableCursorFinalizer),
    .accessors = kScrollableCursorMembers,
    .accessorCount = sizeof(kScrollableCursorMembers) / sizeof(kScrollableCursorMembers[0]),
};

#undef PROVIDED

} // namespace

void RegisterDatabaseClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(&kDatabaseDefinition);
  RegisterIntrinsicClass(&kRecordSetDefinition);
  RegisterIntrinsicClass(&kDatabaseFieldDefinition);
  RegisterIntrinsicClass(&kDatabaseRecordDefinition);
  RegisterIntrinsicClass(&kScrollableCursorDefinition);
  RegisterFolderItemClasses(); /* DatabaseFile's type */
  RegisterIntrinsicClass(&kOldFormatDefinition);
}

ClassRecord* DatabaseClass() { return LookupObjectDefinition(&kDatabaseDefinition); }
ClassRecord* RecordSetClass() { return LookupObjectDefinition(&kRecordSetDefinition); }
ClassRecord* DatabaseFieldClass() { return LookupObjectDefinition(&kDatabaseFieldDefinition); }
ClassRecord* DatabaseRecordClass() { return LookupObjectDefinition(&kDatabaseRecordDefinition); }
ClassRecord* OldFormatDatabaseClass() { return LookupObjectDefinition(&kOldFormatDefinition); }

} // namespace quendal
