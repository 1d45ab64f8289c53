/*
** quendal-db: the commands.  See dbtool.h.
**
** The read commands go to the engine directly (SingleFileDatabase, opened
** read-only); `sql` goes through a Database object and the SQL layer, as
** a program's SQLExecute and SQLSelect do.
*/
#include <algorithm>
#include <memory>

#include "runtime/database/database_check.h"
#include "runtime/database/database_interface.h"
#include "runtime/database/database_startup.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/database/table_cursor.h"
#include "runtime/files/files_startup.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"
#include "dbtool.h"

namespace quendal::dbtool {

namespace {

int Failure(const std::string& message) {
  std::fprintf(stderr, "quendal-db: %s\n", message.c_str());
  return kExitFailed;
}

std::unique_ptr<db::SingleFileDatabase> Open(const Options& options, db::OpenAccess access, int* exitCode) {
  db::DbFault fault;
  std::unique_ptr<db::SingleFileDatabase> database = db::SingleFileDatabase::Open(options.file, access, &fault);
  if (!database) *exitCode = Failure("cannot open " + options.fileArgument + ": " + fault.message);
  return database;
}

/* The tables the operands name (every table when there are none); false
** when one names no table. */
bool SelectedTables(db::SingleFileDatabase* database, const std::vector<std::string>& names,
                    std::vector<std::shared_ptr<const db::TableInfo>>* out, int* exitCode) {
  if (names.empty()) {
    *out = database->tables();
    return true;
  }
  for (const std::string& name : names) {
    std::shared_ptr<const db::TableInfo> table = database->FindTable(name);
    if (!table) {
      *exitCode = Failure("no table " + name);
      return false;
    }
    out->push_back(std::move(table));
  }
  return true;
}

/* The document opened read-only with the tables the operands name (every
** table when there are none); null with *exitCode set when either fails. */
std::unique_ptr<db::SingleFileDatabase> OpenReading(const Options& options,
                                                    std::vector<std::shared_ptr<const db::TableInfo>>* tables,
                                                    int* exitCode) {
  auto database = Open(options, db::OpenAccess::kReadOnly, exitCode);
  if (!database || !SelectedTables(database.get(), options.operands, tables, exitCode)) return nullptr;
  return database;
}

std::unique_ptr<db::TableCursor> AllRows(db::SingleFileDatabase* database, const db::TableInfo& table) {
  const std::string_view all[] = {"*"};
  return database->OpenTableCursor(table.name, all, nullptr);
}

db::ValueRef ValueOf(db::DbCursor* cursor, int32_t column) {
  db::ValueRef value;
  cursor->ColumnValue(column, &value.data, &value.type, &value.length);
  return value;
}

/* The error a read left on the engine, as the command's result. */
int EngineResult(db::SingleFileDatabase* database) {
  return database->errorCode() == 0 ? kExitOk : Failure(database->errorMessage());
}

std::string SqliteDdl(const db::TableInfo& table) {
  std::string statement = "create table " + SqliteName(table.name) + "(";
  std::vector<std::string> keys;
  for (const db::ColumnInfo& column : table.columns) {
    const std::string name = SqliteName(TranslatedColumnName(column.name));
    const std::string type = TranslatedColumnType(column.type);
    statement += name + (type.empty() ? "" : " " + type) + ", ";
    if (column.keyPosition) keys.push_back(name);
  }
  if (keys.empty()) {
    statement.resize(statement.size() - 2);
    return statement + ");\n";
  }
  statement += "primary key(";
  for (size_t i = 0; i < keys.size(); i++) statement += (i ? "," : "") + keys[i];
  return statement + "));\n";
}

std::string EngineSchema(const db::TableInfo& table) {
  std::string text = table.name + " (table id " + std::to_string(table.id) + ")\n";
  for (const db::ColumnInfo& column : table.columns) {
    char line[64];
    std::snprintf(line, sizeof line, "  %3u  %2u %-15s ", unsigned(column.id), unsigned(column.type),
                  EngineTypeName(column.type).c_str());
    text += line + column.name;
    if (!column.nullable) text += "  NOT NULL";
    if (column.keyPosition) text += "  key " + std::to_string(column.keyPosition);
    text += "\n";
  }
  return text;
}

bool IsQuery(const std::string& statement) {
  const size_t start = statement.find_first_not_of(" \t\r\n");
  if (start == std::string::npos || statement.size() - start < 6) return false;
  return CompareRawBytes(std::string_view(statement).substr(start, 6), "select", true) == 0 &&
         (statement.size() - start == 6 || uint8_t(statement[start + 6]) <= ' ');
}

int DatabaseResult(DatabaseObject* database) {
  if (!databaseErrorGetter(database)) return kExitOk;
  StringRef message(databaseErrorStringGetter(database));
  return Failure("error " + std::to_string(databaseErrorCodeGetter(database)) + ": " +
                 std::string(StringView(message.get())));
}

int PrintQuery(DatabaseObject* database, RecordSetObject* set) {
  const int32_t columns = cursorFieldCount(set);
  std::string line;
  for (int32_t c = 0; c < columns; c++) {
    StringRef name(set->cursor->curColumnName(set->cursorHandle, c));
    line += (c ? "," : "") + CsvText(StringView(name.get()));
  }
  Write(stdout, line + "\r\n");
  for (; !cursorEOFGetter(set); cursorMoveNext(set)) {
    line.clear();
    for (int32_t c = 0; c < columns; c++) {
      db::ValueRef value;
      void* data = nullptr;
      set->cursor->curColumnValue(set->cursorHandle, c, &data, &value.type, &value.length);
      value.data = data;
      if (!data) value.type = 0;
      line += (c ? "," : "") + CsvField(value);
      if (set->cursor->curReleaseValue) set->cursor->curReleaseValue(set->cursorHandle);
    }
    Write(stdout, line + "\r\n");
  }
  return DatabaseResult(database);
}

} // namespace

int RunTables(const Options& options) {
  int exitCode = kExitOk;
  auto database = Open(options, db::OpenAccess::kReadOnly, &exitCode);
  if (!database) return exitCode;
  for (const auto& table : database->tables()) Write(stdout, table->name + "\n");
  return kExitOk;
}

int RunSchema(const Options& options) {
  int exitCode = kExitOk;
  std::vector<std::shared_ptr<const db::TableInfo>> tables;
  auto database = OpenReading(options, &tables, &exitCode);
  if (!database) return exitCode;
  for (const auto& table : tables) Write(stdout, options.engineSchema ? EngineSchema(*table) : SqliteDdl(*table));
  return kExitOk;
}

int RunExport(const Options& options) {
  int exitCode = kExitOk;
  std::vector<std::shared_ptr<const db::TableInfo>> tables;
  auto database = OpenReading(options, &tables, &exitCode);
  if (!database) return exitCode;
  for (const auto& table : tables) {
    std::unique_ptr<db::TableCursor> rows = AllRows(database.get(), *table);
    if (!rows) return Failure(database->errorCode() ? database->errorMessage() : "cannot read " + table->name);
    std::string names;
    for (int32_t c = 0; c < rows->ColumnCount(); c++) {
      const std::string name(rows->ColumnName(c));
      names += (c ? "," : "") + (options.sqlExport ? SqliteName(TranslatedColumnName(name)) : CsvText(name));
    }
    if (!options.sqlExport && options.header) Write(stdout, names + "\r\n");
    const std::string prefix = "insert into " + SqliteName(table->name) + "(" + names + ") values (";
    while (rows->Next()) {
      std::string line = options.sqlExport ? prefix : "";
      for (int32_t c = 0; c < rows->ColumnCount(); c++) {
        const db::ValueRef value = ValueOf(rows.get(), c);
        line += (c ? "," : "") + (options.sqlExport ? SqlLiteral(value) : CsvField(value));
        rows->ReleaseValue();
      }
      Write(stdout, line + (options.sqlExport ? ");\n" : "\r\n"));
    }
    if (database->errorCode() != 0) return EngineResult(database.get());
  }
  return kExitOk;
}

int RunCount(const Options& options) {
  int exitCode = kExitOk;
  std::vector<std::shared_ptr<const db::TableInfo>> tables;
  auto database = OpenReading(options, &tables, &exitCode);
  if (!database) return exitCode;
  for (const auto& table : tables) {
    std::unique_ptr<db::TableCursor> rows = AllRows(database.get(), *table);
    uint64_t count = 0;
    while (rows && rows->Next()) count++;
    if (!rows || database->errorCode() != 0) return EngineResult(database.get());
    Write(stdout, (options.operands.size() == 1 ? "" : table->name + "\t") + std::to_string(count) + "\n");
  }
  return kExitOk;
}

int RunCheck(const Options& options) {
  std::vector<std::string> damage;
  const std::vector<db::DbFault> pages = db::CheckEveryPage(options.file);
  if (pages.size() == 1 && pages[0].status == db::DbStatus::kIoError) {
    return Failure("cannot open " + options.fileArgument + ": " + pages[0].message);
  }
  for (const db::DbFault& fault : pages) damage.push_back(fault.message);
  const db::CheckReport report = db::CheckDatabaseFile(options.file);
  if (!report.ok && std::find(damage.begin(), damage.end(), report.message) == damage.end()) {
    damage.push_back(report.message);
  }
  for (const std::string& message : damage) Write(stdout, message + "\n");
  if (!damage.empty()) {
    Write(stdout, options.fileArgument + ": damaged\n");
    return kExitFailed;
  }
  Write(stdout, options.fileArgument + ": ok, " + std::to_string(report.tables) + " tables, " + std::to_string(report.rows) +
                    " rows\n");
  return kExitOk;
}

int RunSql(const Options& options) {
  std::string statement;
  for (const std::string& part : options.operands) statement += (statement.empty() ? "" : " ") + part;
  const bool query = IsQuery(statement);
  int exitCode = kExitOk;
  auto engine = Open(options, query ? db::OpenAccess::kReadOnly : db::OpenAccess::kReadWriteElseReadOnly, &exitCode);
  if (!engine) return exitCode;
  InitializeFilesLayer();
  InitializeDatabaseLayer();
  ObjectRef owned(db::WrapSingleFileDatabase(std::move(engine)));
  auto* database = reinterpret_cast<DatabaseObject*>(owned.get());
  StringRef text(StringCreate(statement, kEncodingUTF8));
  if (query) {
    ObjectRef set(databaseSQLSelect(database, text.get()));
    if (!set) return DatabaseResult(database);
    exitCode = PrintQuery(database, reinterpret_cast<RecordSetObject*>(set.get()));
    return exitCode;
  }
  databaseSQLExecute(database, text.get());
  exitCode = DatabaseResult(database);
  databaseClose(database); /* commits */
  return exitCode == kExitOk ? DatabaseResult(database) : exitCode;
}

} // namespace quendal::dbtool
