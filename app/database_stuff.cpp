/*
** DatabaseStuff, the schema builder (database_stuff.h).
*/
#include "app/database_stuff.h"

#include <chrono>
#include <optional>

#include "app/nil_check.h"
#include "app/object_ref.h"
#include "app/plugin_glue.h"
#include "app/row_copy.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_functions.h"

namespace marlune {

namespace {

using SetRef = Ref<RecordSetObject>;
using FieldRef = Ref<DatabaseFieldObject>;
using DatabaseRef = Ref<DatabaseObject>;

/* The named column of a set (its values follow the set's current row). */
FieldRef FieldNamed(RecordSetObject* set, const char* name) {
  StringRef key = Text(name);
  return FieldRef(cursorGetFieldByName(set, key.get()));
}

/* The database's error message when it reports one, else fallback. */
std::string ErrorOf(DatabaseObject* database, const std::string& fallback) {
  if (!databaseErrorGetter(database)) return fallback;
  StringRef message(databaseErrorStringGetter(database));
  return Utf8Of(message.get()) + " (error " + std::to_string(databaseErrorCodeGetter(database)) + ")";
}

bool HasError(DatabaseObject* database) { return databaseErrorGetter(database); }

void Execute(DatabaseObject* database, const std::string& sql) {
  StringRef text = Text(sql);
  databaseSQLExecute(database, text.get());
}

/* The target is written in one transaction: its tables and rows become
** visible together, at the commit that precedes the close (and a commit
** per table would cost a sync of the file each). */
void BeginTransaction(DatabaseObject* target) { Execute(target, "begin transaction"); }

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

void ReportFailure(const std::string& line) {
  if (ConversionObserver* observer = InstalledConversionObserver()) observer->ConversionFailed(line);
}

/* A name of the source made UTF-8 for the target's SQL (names are rarely
** anything but ASCII). */
std::string NameText(ORVAstring name, const TextRepair& repair) {
  bool converted = false;
  std::optional<StringRef> repaired = repair.Repair(name, &converted);
  return repaired ? Utf8Of(repaired->get()) : Utf8Of(name);
}

/* The "create table" statement of a table from the source's field schema;
** *types receives the engine type of every column by its translated name.
** Raises NilObjectException when the source gives no field schema. */
StringRef CreateStatementOf(DatabaseObject* source, ORVAstring table, const std::string& targetName,
                            const TableEdits& edits, const TextRepair& repair, std::vector<ColumnType>* types) {
  SetRef schema(databaseFieldSchema(source, table));
  RecordSetObject* set = Need(schema.get());
  FieldRef nameField = FieldNamed(set, "ColumnName");
  FieldRef typeField = FieldNamed(set, "FieldType");
  FieldRef keyField = FieldNamed(set, "IsPrimary");
  CreateTableStatement statement(targetName);
  while (!cursorEOFGetter(set)) {
    StringRef sourceName(cursorFieldStringValueGetter(Need(nameField.get())));
    bool converted = false;
    std::optional<StringRef> repaired = repair.Repair(sourceName.get(), &converted);
    StringRef name = TranslatedColumnName(repaired ? repaired->get() : sourceName.get());
    int32_t engineType = cursorFieldIntegerValueGetter(Need(typeField.get()));
    ORVAstring changed = edits.TypeChangeOf(name.get());
    std::string type = changed ? Utf8Of(changed) : TranslatedColumnType(engineType);
    statement.AddColumn(Utf8Of(name.get()), type, CursorFieldBooleanValueGetter(Need(keyField.get())));
    types->push_back({std::move(name), engineType});
    cursorMoveNext(set);
    RuntimeBackgroundTask();
  }
  cursorClose(set);
  for (const Addition& addition : edits.additions) {
    statement.AddAddition(Utf8Of(addition.name.get()), Utf8Of(addition.type.get()));
  }
  return statement.Finish();
}

/* Inserts the record (a record without entries as a row of NULLs); false
** when the target reports an error. */
bool InsertRow(DatabaseObject* target, ORVAstring targetName, DatabaseRecordObject* record) {
  if (getDatabaseRecordFieldCount(record) == 0) {
    Execute(target, "insert into " + Utf8Of(targetName) + " default values");
  } else {
    databaseInsertRecord(target, targetName, record);
  }
  return !HasError(target);
}

using RecordRef = Ref<DatabaseRecordObject>;

RecordRef NewRecord() { return RecordRef(RuntimeNewObject(quendal::DatabaseRecordClass())); }

/* Copies every row of set into targetTable; counts in *report, the first
** failure in report->failure.  The set stands on its first row. */
void CopyRows(RecordSetObject* set, DatabaseObject* source, DatabaseObject* target, ORVAstring targetTable,
              RowCopier& copier, TableReport* report) {
  ConversionObserver* observer = InstalledConversionObserver();
  while (!cursorEOFGetter(set)) {
    report->rowsRead++;
    RecordRef record = NewRecord();
    DatabaseRecordObject* row = Need(record.get());
    if (!copier.Fill(row, &report->failure)) break;
    if (!InsertRow(target, targetTable, row)) {
      report->failure = ErrorOf(target, "the insert failed");
      break;
    }
    report->rowsWritten++;
    cursorMoveNext(set);
    if (observer && report->rowsRead % kProgressRows == 0) observer->TableProgress(*report);
    RuntimeBackgroundTask();
  }
  if (report->failed()) return;
  if (HasError(source)) report->failure = ErrorOf(source, "the read failed");
}

/* The conversion's two databases and its temporary file.  Whatever path
** leaves ConvertOldFormat before the final rename goes through Abandon. */
class Conversion {
 public:
  explicit Conversion(FolderItemObject* file) : file_(file) {}
  ~Conversion() { Abandon(); }

  bool Run(ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges, ORVAstring additions,
           ORVAstring drops);
  /* Closes both databases and deletes the temporary file; never raises. */
  void Abandon() noexcept;

 private:
  bool Fail(const std::string& line) {
    ReportFailure(line);
    Abandon();
    return false;
  }
  bool OpenTarget();
  bool ConvertTables(ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges, ORVAstring additions,
                     ORVAstring drops);
  bool PutInPlace();

  FolderItemObject* file_;
  std::optional<TextRepair> repair_;
  DatabaseRef source_;
  DatabaseRef target_;
  Ref<FolderItemObject> temporary_;
  bool finished_ = false;
};

void Conversion::Abandon() noexcept {
  if (finished_) return;
  finished_ = true;
  try {
    if (target_) databaseClose(target_.get());
    if (source_) databaseClose(source_.get());
    if (temporary_) FolderItemDelete(temporary_.get());
  } catch (const quendal::RaisedException&) {
    /* A close that raises (a destructor hook of a closed set) cannot undo
    ** the failure being reported; the temporary file is then removed by
    ** the next run. */
  }
}

bool Conversion::Run(ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges, ORVAstring additions,
                     ORVAstring drops) {
  std::string problem;
  repair_ = TextRepair::FromEnvironment(&problem);
  if (!repair_) return Fail(problem);
  source_ = DatabaseRef(openORVADatabase(file_));
  if (!source_) {
    StringRef path(fileAbsolutePathGetter(file_));
    return Fail("Unable to open as a single-file database: " + Utf8Of(path.get()));
  }
  if (!OpenTarget()) return false;
  if (!ConvertTables(skipTables, renames, typeChanges, additions, drops)) return false;
  return PutInPlace();
}

bool Conversion::OpenTarget() {
  Ref<FolderItemObject> folder(folderParentGetter(Need(file_)));
  StringRef name = Text(kTemporaryFileName);
  temporary_.reset(FolderChild(Need(folder.get()), name.get()));
  FolderItemObject* temporary = Need(temporary_.get());
  FolderItemDelete(temporary);
  target_.reset(NewSqlDatabase());
  SqlDatabaseSetFile(target_.get(), temporary);
  StringRef path(fileAbsolutePathGetter(temporary));
  if (!SqlDatabaseCreateFile(target_.get())) {
    return Fail("Unable to create " + Utf8Of(path.get()) + ": " + ErrorOf(target_.get(), "no database"));
  }
  if (!SqlDatabaseConnect(target_.get())) {
    return Fail("Unable to connect to " + Utf8Of(path.get()) + ": " + ErrorOf(target_.get(), "no database"));
  }
  return true;
}

bool Conversion::ConvertTables(ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges,
                               ORVAstring additions, ORVAstring drops) {
  DatabaseObject* source = source_.get();
  SetRef schema(databaseTableSchema(source));
  if (!schema) {
    if (HasError(source)) return Fail("Unable to read the tables: " + ErrorOf(source, ""));
    return true; /* a database without tables */
  }
  RecordSetObject* set = schema.get();
  FieldRef nameField = FieldNamed(set, "TableName");
  BeginTransaction(target_.get());
  while (!cursorEOFGetter(set)) {
    StringRef table(cursorFieldStringValueGetter(Need(nameField.get())));
    if (!ListNamesTable(skipTables, table.get())) {
      StringRef newName = RenamedTable(renames, table.get());
      TableReport report = CopyTableContents(source, target_.get(), table.get(), typeChanges, newName.get(),
                                             additions, drops, *repair_);
      if (report.failed()) return Fail(TableFailureLine(report));
      if (ConversionObserver* observer = InstalledConversionObserver()) {
        observer->TableFinished(report, repair_->name());
      }
    }
    cursorMoveNext(set);
    RuntimeBackgroundTask();
  }
  cursorClose(set);
  if (HasError(source)) return Fail("Unable to read the tables: " + ErrorOf(source, ""));
  databaseCommit(target_.get());
  if (HasError(target_.get())) return Fail("Unable to commit the new database: " + ErrorOf(target_.get(), ""));
  return true;
}

bool Conversion::PutInPlace() {
  databaseClose(target_.get());
  if (HasError(target_.get())) {
    return Fail("Unable to close the new database: " + ErrorOf(target_.get(), ""));
  }
  databaseClose(source_.get());
  StringRef path(fileAbsolutePathGetter(file_));
  if (!FolderItemDelete(file_)) return Fail("Unable to delete " + Utf8Of(path.get()));
  StringRef name(fileNameGetter(file_));
  if (!fileNameSetter(temporary_.get(), name.get())) {
    return Fail("Unable to rename the new database to " + Utf8Of(path.get()));
  }
  finished_ = true;
  return true;
}

} // namespace

std::string ExceptionText(ObjectHeader* exception) {
  ClassRecord* cls = RuntimeClassOf(exception);
  std::string text = cls ? Utf8Of(cls->className) : "exception";
  ExceptionObject* object = quendal::AsExceptionObject(exception);
  if (object && object->message) text += ": " + Utf8Of(object->message);
  return text;
}

bool ConvertOldFormat(FolderItemObject* file, ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges,
                      ORVAstring additions, ORVAstring drops) {
  Conversion conversion(file);
  try {
    return conversion.Run(skipTables, renames, typeChanges, additions, drops);
  } catch (const quendal::RaisedException& raised) {
    conversion.Abandon();
    ReportFailure("Unable to convert: " + ExceptionText(raised.object()));
    return false;
  }
}

TableReport CopyTableContents(DatabaseObject* source, DatabaseObject* target, ORVAstring table, ORVAstring typeChanges,
                              ORVAstring newName, ORVAstring additions, ORVAstring drops, const TextRepair& repair) {
  auto start = std::chrono::steady_clock::now();
  TableReport report;
  report.sourceName = NameText(table, repair);
  report.targetName = NameText(newName ? newName : table, repair);
  TableEdits edits = EditsForTable(table, typeChanges, additions, drops);

  std::vector<ColumnType> types;
  StringRef statement = CreateStatementOf(source, table, report.targetName, edits, repair, &types);
  if (HasError(source)) {
    report.failure = "reading its columns: " + ErrorOf(source, "");
    return report;
  }
  databaseSQLExecute(target, statement.get());
  if (HasError(target)) {
    report.failure = Utf8Of(statement.get()) + ": " + ErrorOf(target, "");
    return report;
  }
  StringRef targetTable = Text(report.targetName);

  StringRef selectAll = Text("select * from ");
  StringRef select(quendal::StringConcat(selectAll.get(), table));
  SetRef rows(databaseSQLSelect(source, select.get()));
  if (!rows || cursorEOFGetter(rows.get())) {
    if (rows) cursorClose(rows.get());
    if (HasError(source)) report.failure = ErrorOf(source, "the read failed");
    report.milliseconds = MillisecondsSince(start);
    return report;
  }
  RowCopier copier(rows.get(), types, edits.additions, repair);
  if (!copier.setupFailure().empty()) {
    report.failure = copier.setupFailure();
  } else {
    CopyRows(rows.get(), source, target, targetTable.get(), copier, &report);
  }
  cursorClose(rows.get());
  report.valuesConverted = copier.valuesConverted();
  if (report.failed()) return report;
  if (report.rowsRead != report.rowsWritten) {
    report.failure = "rows read and rows written differ";
    return report;
  }
  if (!edits.drops.empty()) {
    /* DropTableFields commits as it goes; the conversion's transaction
    ** begins again behind it. */
    report.failure = DropTableFields(target, table, edits.drops, repair);
    BeginTransaction(target);
  }
  report.milliseconds = MillisecondsSince(start);
  return report;
}

std::string DropTableFields(DatabaseObject* target, ORVAstring table, const std::vector<StringRef>& columns,
                            const TextRepair& repair) {
  std::string tableText = Utf8Of(table);
  StringRef query = Text("select sql from SQLite_Master where type='table' and name='" + tableText + "'");
  SetRef master(databaseSQLSelect(target, query.get()));
  RecordSetObject* set = Need(master.get());
  StringRef text(cursorFieldStringValueGetter(Need(FieldNamed(set, "sql").get())));
  cursorClose(set);
  std::string newName = tableText + "1";
  std::vector<StringRef> dropped;
  StringRef create = RebuiltTableStatement(text.get(), columns, newName, &dropped);
  if (create.empty()) return "";
  databaseSQLExecute(target, create.get());

  StringRef select = Text("select * from " + tableText);
  SetRef rows(databaseSQLSelect(target, select.get()));
  TableReport copy;
  if (rows) {
    const std::vector<Addition> none;
    RowCopier copier(rows.get(), {}, none, repair, InvalidText::kKeepAsBlob, dropped);
    StringRef newTable = Text(newName);
    CopyRows(rows.get(), target, target, newTable.get(), copier, &copy);
    cursorClose(rows.get());
  }
  databaseCommit(target);
  Execute(target, "drop table " + tableText);
  databaseCommit(target);
  Execute(target, "alter table " + newName + " rename to " + tableText);
  databaseCommit(target);
  Execute(target, "vacuum");
  databaseCommit(target);
  return copy.failed() ? "rebuilding it without " + std::to_string(dropped.size()) + " columns: " + copy.failure : "";
}

} // namespace marlune
