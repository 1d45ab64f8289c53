/*
** The engine slots of ORVASQLDatabase.  See sqlite_plugin.h.
**
** Statements go to SQLite as they are written: engineSQLExecute runs its
** text statement by statement, engineSQLSelect runs queries (select,
** show, pragma, explain) into a RecordSet and executes anything else.
** The schema slots reshape SQLite's catalogue into the runtime's schema
** columns.  engineInsertRecord is sqlite_inserts.cpp's.
*/
#include <cctype>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

Instance* AsInstance(void* handle) { return static_cast<Instance*>(handle); }

/* Runs an engine entry with errors caught: nothing escapes into the runtime. */
template <typename F>
auto Guarded(Instance* instance, F f) -> decltype(f()) {
  try {
    return f();
  } catch (...) {
    if (instance) SetError(instance, 1, "internal error");
    return decltype(f())();
  }
}

/* A table name as a pragma argument: a plain identifier (or one already
** quoted) as it is, anything else as a quoted literal. */
std::string PragmaArgument(const std::string& table) {
  bool plain = !table.empty();
  for (char c : table) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$');
  if (plain || (!table.empty() && (table[0] == '"' || table[0] == '[' || table[0] == '`' || table[0] == '\''))) {
    return table;
  }
  return QuotedLiteral(table);
}

void EngineClose(void* handle) {
  Instance* instance = AsInstance(handle);
  Guarded(instance, [&] { CloseConnection(instance); });
}

ORVAobject EngineTableSchema(void* handle) {
  Instance* instance = AsInstance(handle);
  return Guarded(instance, [&]() -> ORVAobject {
    ClearError(instance);
    QueryResult* result = RunQuery(instance,
                                   "SELECT name as TableName FROM sqlite_master WHERE type='table' UNION ALL SELECT "
                                   "name as TableName FROM sqlite_temp_master WHERE type='table' ORDER BY name;",
                                   false);
    return result ? WrapResult(result, &gSchemaCursor) : nullptr;
  });
}

/* The rows of a pragma query: each row's cells by column name. */
struct PragmaRows {
  QueryResult* result;
  int Column(const char* name) const {
    for (int c = 0; c < result->columns; c++) {
      if (result->names[size_t(c)] == name) return c;
    }
    return -1;
  }
  const Cell* At(int32_t row, int column) const {
    return column < 0 ? nullptr : &result->cells[size_t(row) * size_t(result->columns) + size_t(column)];
  }
};

std::string CellText(const Cell* cell) { return cell && !cell->isNull ? cell->bytes : std::string(); }

ORVAobject EngineFieldSchema(void* handle, ORVAstring table) {
  Instance* instance = AsInstance(handle);
  return Guarded(instance, [&]() -> ORVAobject {
    ClearError(instance);
    QueryResult* info = RunQuery(instance, "PRAGMA table_info(" + PragmaArgument(Utf8Of(table)) + ");", false);
    if (!info) return nullptr;
    PragmaRows rows{info};
    int name = rows.Column("name"), type = rows.Column("type"), notNull = rows.Column("notnull"), pk = rows.Column("pk");
    QueryResult* schema = MakeResult(instance, {"ColumnName", "FieldType", "IsPrimary", "NotNull", "Length"},
                                     {kORVAColumnText, kORVAColumnInteger, kORVAColumnBoolean, kORVAColumnBoolean,
                                      kORVAColumnInteger});
    const std::string zero = "0", one = "1";
    for (int32_t row = 0; row < info->rows; row++) {
      std::string columnName = CellText(rows.At(row, name));
      std::string typeCode = std::to_string(DeclaredTypeCode(CellText(rows.At(row, type)).c_str()));
      std::string isPrimary = CellText(rows.At(row, pk)) != "0" ? one : zero;
      std::string isNotNull = CellText(rows.At(row, notNull)) != "0" ? one : zero;
      AppendRow(schema, {&columnName, &typeCode, &isPrimary, &isNotNull, &zero});
    }
    FreeResult(info);
    return WrapResult(schema, &gSchemaCursor);
  });
}

ORVAobject EngineIndexSchema(void* handle, ORVAstring table) {
  Instance* instance = AsInstance(handle);
  return Guarded(instance, [&]() -> ORVAobject {
    ClearError(instance);
    QueryResult* list = RunQuery(instance, "PRAGMA index_list(" + PragmaArgument(Utf8Of(table)) + ");", false);
    if (!list) return nullptr;
    PragmaRows rows{list};
    int name = rows.Column("name");
    QueryResult* schema = MakeResult(instance, {"IndexName"}, {kORVAColumnText});
    for (int32_t row = 0; row < list->rows; row++) {
      std::string indexName = CellText(rows.At(row, name));
      AppendRow(schema, {&indexName});
    }
    FreeResult(list);
    return WrapResult(schema, &gSchemaCursor);
  });
}

ORVAobject EngineSQLSelect(void* handle, ORVAstring sql) {
  Instance* instance = AsInstance(handle);
  return Guarded(instance, [&]() -> ORVAobject {
    ClearError(instance);
    std::string text = Utf8Of(sql);
    if (!IsQueryKind(ClassifyStatement(text))) {
      ExecuteText(instance, text);
      return nullptr;
    }
    QueryResult* result = RunQuery(instance, text, ClassifyStatement(text) == kSelect);
    return result ? WrapResult(result, &gQueryCursor) : nullptr;
  });
}

void EngineSQLExecute(void* handle, ORVAstring sql) {
  Instance* instance = AsInstance(handle);
  Guarded(instance, [&] {
    ClearError(instance);
    ExecuteText(instance, Utf8Of(sql));
  });
}

void EngineInsertRecord(void* handle, ORVAstring table, ORVADatabaseRecordEntry* entries) {
  Instance* instance = AsInstance(handle);
  Guarded(instance, [&] {
    ClearError(instance);
    InsertRecord(instance, Utf8Of(table), entries);
  });
}

int32_t EngineErrorCode(void* handle) { return handle ? AsInstance(handle)->errorCode : 0; }

ORVAstring EngineErrorMessage(void* handle) {
  Instance* instance = AsInstance(handle);
  if (!instance || !instance->errorMessage) return nullptr;
  return Guarded(instance, [&] { return MakeString(instance->errorMessage); });
}

void EngineSupportedTypes(const int32_t** typeCodes, const char** typeNames, int32_t* sizeInBytes) {
  static const int32_t kCodes[] = {5, 5, 3, 19, 7, 7, 12, 8, 9, 10, 14, 14, 11};
  static const int32_t kOldCodes[] = {5, 5, 3, 3, 7, 7, 12, 8, 9, 10, 14, 14};
  if (OldRuntime()) {
    *typeCodes = kOldCodes;
    *typeNames = "Text,Varchar,Smallint,Integer,Float,Double,Boolean,Date,Time,Timestamp,Binary,Blob";
    *sizeInBytes = int32_t(sizeof(kOldCodes));
  } else {
    *typeCodes = kCodes;
    *typeNames = "Text,Varchar,Smallint,Integer,Float,Double,Boolean,Date,Time,Timestamp,Binary,Blob,Currency";
    *sizeInBytes = int32_t(sizeof(kCodes));
  }
}

} // namespace

EngineDefinition gEngine = {
    9,       0x500,   &EngineClose, &EngineTableSchema, &EngineFieldSchema, &EngineSQLSelect, &EngineSQLExecute,
    nullptr, &EngineInsertRecord, nullptr, nullptr, nullptr, &EngineIndexSchema, &EngineErrorCode,
    &EngineErrorMessage, nullptr, nullptr, nullptr, &EngineSupportedTypes,
};

} // namespace sqliteplugin
