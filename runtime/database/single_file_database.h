/*
** The single-file database engine: tables, their schema and their rows on
** top of the page layer (db_file.h).
**
** A table is a tree of the file named by the decimal text of its table
** id; its name and columns live in two system trees:
**
**   "sys$tables"  0: 3 table id   1: 5 table name                 key (1)
**   "sys$fields"  0: 3 table id   1: 3 column id   2: 5 column name
**                 3: 2 nullable flag (1 = without NOT NULL)
**                 4: 2 type code     5: 2 key position (1-based; key
**                 columns only)                                   key (0, 2)
**   "sys$blob"    large values (blob_store.h)
**
** Table and column ids are record ids.  Rows hold one field per non-null
** column, in column id order; a row's key is made from the table's key
** columns in key order (key_encoding.h), or is its record id.
**
** The handle: SingleFileDatabase owns the database file and the table list
** (each table shared with the cursors that read it), and keeps the last
** error code and message.  Every operation that names a table first clears
** the error; a failure stores a code and message and never raises.  Names
** of tables and columns match without regard to ASCII case.  Codes:
**
**   2000 "Unable to create T because it already exists"
**   2001 "Unable to create T due to an internal error"
**   2002 "Unable to create T because an unsupported column type was used"
**        "Unable to add C because an unsupported  type was used"
**        "Insert failed: column C has an unsupported type"
**   2003 "Unknown table T", "NotNull column violation", "Unknown column C",
**        "Invalid date format", "Invalid time format",
**        "Unable to add column C because table 'T' doesn't exist"
**   2004 "Error writing BLOB"
**   2005 "Insert failed: primary key violation"
**   2006 "Insert failed: data too long"
**   2009 "Database file damaged: ..." (what and where)
**   2010 "Unable to access the database file: ..." (read-only, I/O)
**   2011 "Unable to create T because column C is defined twice",
**        "Unable to add C because table 'T' already has such a column",
**        "Unable to add C because table 'T' has no free column id",
**        "Unable to create T because it has more than 256 columns"
**
** Column types accepted by create table and add column: 2, 3, 5, 6, 7, 8,
** 9, 12, 15, 16.  Code 14 is refused: rows keep 14 inline, which an insert
** could not honour for long values; a 14 column of an existing file is
** still read (and written inline).
**
** Lifetime: Close (or the destructor) finishes every open cursor first
** (rows moved by updates are inserted), then commits and closes the file.
** A cursor outliving its database answers nothing (no rows, null values).
*/
#ifndef QUENDAL_DATABASE_SINGLE_FILE_DATABASE_H
#define QUENDAL_DATABASE_SINGLE_FILE_DATABASE_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/db_file.h"
#include "runtime/database/key_encoding.h"
#include "runtime/database/sql_condition.h"

namespace quendal::db {

enum EngineErrorCode : int32_t {
  kErrorNone = 0,
  kErrorTableExists = 2000,
  kErrorInternal = 2001,
  kErrorUnsupportedType = 2002,
  kErrorRequest = 2003,
  kErrorBlobWrite = 2004,
  kErrorPrimaryKey = 2005,
  kErrorTooLong = 2006,
  kErrorDamaged = 2009,
  kErrorFileAccess = 2010,
  kErrorColumnDefinition = 2011,
};

/* A column as create table and add column receive it. */
struct ColumnDefinition {
  std::string_view name;
  int32_t type;
  bool nullable; /* declared without NOT NULL */
};

/* One value of an insert, as a DatabaseRecord holds it (the type code is
** not used: values are converted by the column's type). */
struct RecordEntry {
  std::string_view name;
  std::string_view value;
  int32_t type;
};

struct ColumnInfo {
  uint8_t id;
  std::string name;
  uint8_t type;
  bool nullable;
  uint8_t keyPosition; /* 1-based; 0 when not a key column */
};

struct TableInfo {
  std::string name;
  uint32_t id;
  std::vector<ColumnInfo> columns; /* in column id order */
  KeySpec key;                     /* column ids in key order, or record ids */
  std::string treeName;

  const ColumnInfo* Find(std::string_view columnName) const;
  bool hasKey() const { return key.kind == KeySpec::Kind::kColumns; }
};

class DbCursor;
class TableCursor;
class FieldSchemaCursor;

class SingleFileDatabase {
 public:
  /* newORVADatabase: a new database with its three system trees.  Null
  ** and *failure described on failure. */
  static std::unique_ptr<SingleFileDatabase> Create(const std::string& path, DbFault* failure);
  /* openORVADatabase: opens the file (OpenAccess) and loads the table list.
  ** Null and *failure described on failure. */
  static std::unique_ptr<SingleFileDatabase> Open(const std::string& path, OpenAccess access, DbFault* failure);
  ~SingleFileDatabase();
  SingleFileDatabase(const SingleFileDatabase&) = delete;
  SingleFileDatabase& operator=(const SingleFileDatabase&) = delete;

  /* engineClose. */
  void Close();
  bool isOpen() const { return file_ != nullptr; }

  /* engineErrorCode / engineErrorMessage (the message means something only
  ** while the code is not 0). */
  int32_t errorCode() const { return errorCode_; }
  const std::string& errorMessage() const { return errorMessage_; }
  /* Where the last damage was found (page and offset), for checks. */
  const DbFault& lastFault() const { return lastFault_; }

  /* engineCreateTable: keyPositions are 0-based indices into columns. */
  void CreateTable(std::string_view table, std::span<const ColumnDefinition> columns,
                   std::span<const uint8_t> keyPositions);
  /* engineAddColumn. */
  void AddColumn(std::string_view table, const ColumnDefinition& column);
  /* engineInsertRecord. */
  void InsertRecord(std::string_view table, std::span<const RecordEntry> entries);
  /* engineOpenTableCursor: "*" selects every column.  Null for an unknown
  ** table or column or a filter that cannot be bound (no error set). */
  std::unique_ptr<TableCursor> OpenTableCursor(std::string_view table, std::span<const std::string_view> columns,
                                               const SqlCondition* filter);
  /* engineTableSchema: one column "TableName". */
  std::unique_ptr<TableCursor> TableSchema();
  /* engineFieldSchema: null for an unknown table. */
  std::unique_ptr<FieldSchemaCursor> FieldSchema(std::string_view table);
  /* engineCommit / engineRollback. */
  void Commit();
  void Rollback();

  const std::vector<std::shared_ptr<const TableInfo>>& tables() const { return tables_; }
  std::shared_ptr<const TableInfo> FindTable(std::string_view name) const;
  DbFile* file() { return file_.get(); }

 private:
  friend class TableCursor;
  friend class FieldSchemaCursor;

  SingleFileDatabase() = default;
  bool Usable();
  void ClearError();
  void SetError(int32_t code, std::string message);
  /* Stores the error of a failed page-layer call; fallback is the code and
  ** message used when the failure is none of damage, access or length. */
  void SetFileError(DbStatus status, int32_t fallbackCode, const std::string& fallbackMessage);
  DbStatus LoadTables(std::vector<std::shared_ptr<const TableInfo>>* tables);
  DbStatus ReadFieldRows(uint32_t tableId, std::vector<ColumnInfo>* columns, bool allTables,
                         std::vector<std::pair<uint32_t, ColumnInfo>>* all);
  DbStatus InsertSystemRow(const char* tree, const KeySpec& key, Bytes record);
  DbStatus WriteFieldRow(uint32_t tableId, const ColumnInfo& column);
  void ReloadTables();
  void Attach(DbCursor* cursor);
  void Detach(DbCursor* cursor);

  std::unique_ptr<DbFile> file_;
  std::vector<std::shared_ptr<const TableInfo>> tables_;
  std::vector<DbCursor*> cursors_;
  int32_t errorCode_ = kErrorNone;
  std::string errorMessage_;
  DbFault lastFault_;
};

/* Key specs and tree names of the system tables. */
extern const char kTablesTreeName[]; /* "sys$tables" */
extern const char kFieldsTreeName[]; /* "sys$fields" */
const TableInfo& SystemTablesInfo();

} // namespace quendal::db

#endif
