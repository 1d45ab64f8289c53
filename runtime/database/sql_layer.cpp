/*
** The SQL layer: carrying statements out through an engine's table-level
** slots.  See sql_layer.h.
*/
#include "runtime/database/sql_layer.h"

#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/database/sql_select.h"
#include "runtime/database/sql_statement.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

namespace {

ORVAstring NewText(std::string_view text) { return StringCreate(text, kEncodingUTF8); }

void StoreError(DatabaseObject* database, const SqlError& error) {
  SetDatabaseError(database, error.code, error.message);
}

/* False, with error 201, when the engine lacks a slot the statement needs. */
bool Supported(DatabaseObject* database, bool present) {
  if (!present) SetDatabaseError(database, 201, kSqlNotSupportedMessage);
  return present;
}

/* A column node list over nodes (the strings held by names). */
ORVAColumnNode* LinkColumns(const std::vector<SqlColumnDefinition>& columns, std::vector<StringRef>* names,
                            std::vector<ORVAColumnNode>* nodes) {
  nodes->resize(columns.size());
  for (size_t i = 0; i < columns.size(); i++) {
    names->emplace_back(NewText(columns[i].name));
    (*nodes)[i] = ORVAColumnNode{i + 1 < columns.size() ? &(*nodes)[i + 1] : nullptr, names->back().get(),
                                 columns[i].type, uint8_t(columns[i].nullable ? 1 : 0)};
  }
  return nodes->empty() ? nullptr : nodes->data();
}

void CreateTable(DatabaseObject* database, const CreateTableStatement& create) {
  EngineDefinition* engine = database->engine;
  if (!Supported(database, engine->engineCreateTable)) return;
  std::vector<StringRef> names;
  std::vector<ORVAColumnNode> nodes;
  ORVAColumnNode* columns = LinkColumns(create.columns, &names, &nodes);
  StringRef table(NewText(create.table));
  engine->engineCreateTable(database->engineHandle, table.get(), columns, create.keyPositions.data(),
                            int32_t(create.keyPositions.size()));
}

void AddColumn(DatabaseObject* database, const AlterTableStatement& alter) {
  EngineDefinition* engine = database->engine;
  if (!Supported(database, engine->engineAddColumn)) return;
  std::vector<StringRef> names;
  std::vector<ORVAColumnNode> nodes;
  ORVAColumnNode* column = LinkColumns({alter.column}, &names, &nodes);
  StringRef table(NewText(alter.table));
  engine->engineAddColumn(database->engineHandle, table.get(), column);
}

void Insert(DatabaseObject* database, const InsertStatement& insert) {
  EngineDefinition* engine = database->engine;
  if (!Supported(database, engine->engineInsertRecord)) return;
  std::vector<StringRef> texts;
  std::vector<ORVADatabaseRecordEntry> entries;
  for (size_t i = 0; i < insert.columns.size(); i++) {
    if (!insert.values[i]) continue; /* SQL NULL: the row gets no value */
    texts.emplace_back(NewText(insert.columns[i]));
    ORVAstring name = texts.back().get();
    texts.emplace_back(NewText(*insert.values[i]));
    entries.push_back(ORVADatabaseRecordEntry{nullptr, name, texts.back().get(), kORVAColumnText});
  }
  for (size_t i = 0; i + 1 < entries.size(); i++) entries[i].next = &entries[i + 1];
  StringRef table(NewText(insert.table));
  engine->engineInsertRecord(database->engineHandle, table.get(), entries.empty() ? nullptr : entries.data());
}

/* The one table of an UPDATE or DELETE, with its condition bound. */
bool TableSource(DatabaseObject* database, const std::string& table, std::unique_ptr<SqlCondition> where,
                 QuerySource* source) {
  EngineDefinition* engine = database->engine;
  if (!Supported(database, engine->engineOpenTableCursor && engine->engineFieldSchema)) return false;
  SqlError error;
  if (!source->Build(database, {FromTable{table, ""}}, std::move(where), FilterForm::kComparisonsOnly, &error)) {
    StoreError(database, error);
    return false;
  }
  return true;
}

void Update(DatabaseObject* database, UpdateStatement update) {
  QuerySource source;
  if (!TableSource(database, update.table, std::move(update.where), &source)) return;
  const std::vector<std::string>& columns = source.tables()[0].columns;
  if (update.assignments.size() > columns.size()) return SetDatabaseError(database, 208, "Mismatched update fields");
  for (const SqlAssignment& assignment : update.assignments) {
    bool known = false;
    for (const std::string& column : columns) {
      known = known || (column.size() == assignment.column.size() && CompareRawBytes(column, assignment.column, true) == 0);
    }
    if (!known) {
      return SetDatabaseError(database, 208,
                              "The column " + assignment.column + " does not exist in table " + update.table);
    }
  }
  std::vector<StringRef> values;
  for (const SqlAssignment& assignment : update.assignments) {
    values.emplace_back(assignment.value ? NewText(*assignment.value) : nullptr);
  }
  JoinScan scan(database, &source);
  std::vector<ObjectRef> fields;
  while (scan.Next()) {
    RecordSetObject* set = scan.Cursor(0);
    if (fields.empty()) {
      for (const SqlAssignment& assignment : update.assignments) {
        StringRef name(NewText(assignment.column));
        fields.emplace_back(cursorGetFieldByName(set, name.get()));
        if (!fields.back()) {
          return SetDatabaseError(database, 208,
                                  "The column " + assignment.column + " does not exist in table " + update.table);
        }
      }
    }
    cursorEdit(set);
    for (size_t i = 0; i < fields.size(); i++) {
      databaseCursorFieldSetString(reinterpret_cast<DatabaseFieldObject*>(fields[i].get()), values[i].get());
    }
    cursorUpdate(set);
    if (KeepEngineError(database)) return;
  }
}

void Delete(DatabaseObject* database, DeleteStatement remove) {
  QuerySource source;
  if (!TableSource(database, remove.table, std::move(remove.where), &source)) return;
  JoinScan scan(database, &source);
  while (scan.Next()) {
    cursorDeleteRecord(scan.Cursor(0));
    if (KeepEngineError(database)) return;
  }
}

void Execute(DatabaseObject* database, ORVAstring sql) {
  if (!database->engine) return SetDatabaseError(database, 201, kSqlNotSupportedMessage);
  EngineDefinition* engine = database->engine;
  ExecuteStatement statement;
  SqlError error;
  const bool parsed = ParseExecuteStatement(Utf8TextOf(sql), &statement, &error);
  if (statement.commit && engine->engineCommit) engine->engineCommit(database->engineHandle);
  if (statement.rollback && engine->engineRollback) engine->engineRollback(database->engineHandle);
  if (!parsed) return StoreError(database, error);
  switch (statement.kind) {
    case StatementKind::kCreateTable: return CreateTable(database, statement.create);
    case StatementKind::kAlterTable: return AddColumn(database, statement.alter);
    case StatementKind::kInsert: return Insert(database, statement.insert);
    case StatementKind::kUpdate: return Update(database, std::move(statement.update));
    case StatementKind::kDelete: return Delete(database, std::move(statement.remove));
    case StatementKind::kNone: return;
  }
}

ObjectHeader* Select(DatabaseObject* database, ORVAstring sql) {
  SelectStatement statement;
  SqlError error;
  if (!ParseSelectStatement(Utf8TextOf(sql), &statement, &error)) {
    StoreError(database, error);
    return nullptr;
  }
  EngineDefinition* engine = database->engine;
  if (!Supported(database, engine && engine->engineFieldSchema && engine->engineOpenTableCursor)) return nullptr;
  auto plan = std::make_unique<SelectPlan>();
  if (!BuildSelectPlan(database, std::move(statement), plan.get(), &error)) {
    StoreError(database, error);
    return nullptr;
  }
  return RunSelect(database, std::move(plan));
}

const SqlLayer kTableLevelSqlLayer = {&Execute, &Select};

} // namespace

const SqlLayer* TableLevelSqlLayer() { return &kTableLevelSqlLayer; }

} // namespace quendal::db
