/*
** How the SQL layer reads tables through an engine's table-level slots:
** the tables a statement names with their columns (QuerySource), the
** WHERE condition bound to them, and the nested-loop scan (JoinScan) that
** yields every combination of rows for which the condition holds.
**
** Columns.  Each table's columns come from engineFieldSchema ("ColumnName",
** "FieldType", in schema order).  A reference "c" names the one table that
** has a column c (205 when several have, 206 when none has); "q.c" names
** the table whose alias or name is q.
**
** The scan.  Tables are read in the order given, the first outermost; a
** table's cursor is opened with engineOpenTableCursor(table, "*", filter)
** whenever it is needed, the filter derived from the condition for that
** table and the current rows of the tables further out:
**   - "and" keeps what each side keeps; "or" is kept only when both sides
**     are: an alternative with a side left out could hold through that
**     side, so the whole "or" is left out rather than made stricter;
**   - a comparison of a column of this table with a literal (or, in the
**     comparisons-only form used by UPDATE and DELETE, with one of = < >
**     <= >= <>) is kept;
**   - a comparison with a column of a table further out is kept with that
**     column's current value as the literal (left out while it is null);
**     one written the other way round ("outer.c op this.c") is turned
**     around with the operator mirrored when both columns have the same
**     type and no case mode, where both forms read alike;
**   - everything else is left out.
** A derived filter therefore never drops a row the full condition could
** accept.  Unless the filter of a single table kept the whole condition,
** the scan evaluates the full condition on every combined row itself
** (ComparisonHolds, the rules the engine's filters follow), so every row
** it yields satisfies the condition and no other row is ever touched.
**
** Failures.  When an engine stops a scan with an error (a damaged page) or
** reports one while rows are read, the scan ends and the engine's code and
** message are copied to the Database's own error, where no later call to
** the engine can clear them; the statement's reader sees EOF and
** Database.Error.
**
** Ownership: a QuerySource owns its condition; a JoinScan borrows the
** Database and its source, and owns (and closes) the cursors it opens.
*/
#ifndef QUENDAL_DATABASE_SQL_QUERY_H
#define QUENDAL_DATABASE_SQL_QUERY_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/database/database_interface.h"
#include "runtime/database/sql_statement.h"
#include "runtime/database/value_text.h"
#include "runtime/objects/object_model.h"

namespace quendal::db {

struct QueryTable {
  std::string name;
  std::string alias;
  std::vector<std::string> columns; /* schema order */
  std::vector<int32_t> types;       /* declared type codes */
};

/* A column of one of the source's tables (its index in the schema). */
struct TableColumn {
  int32_t table = -1;
  int32_t column = -1;
  bool operator==(const TableColumn&) const = default;
};

/* One comparison of the condition, resolved. */
struct BoundTerm {
  const SqlCondition* node;
  TableColumn left;
  TableColumn right;          /* when node->rightIsColumn */
  ComparisonOperand operand;  /* of the literal, read once */
};

enum class FilterForm : uint8_t {
  kAll,             /* SELECT: every comparison with a literal */
  kComparisonsOnly, /* UPDATE, DELETE: = < > <= >= <> only */
};

class QuerySource {
 public:
  /* Reads the schema of every table (202 "Invalid table T" when the engine
  ** knows none) and binds the condition (may be null).  False with *error
  ** set on failure. */
  bool Build(DatabaseObject* database, std::vector<FromTable> tables, std::unique_ptr<SqlCondition> where,
             FilterForm form, SqlError* error);
  /* Resolves a column reference (205, 206). */
  bool Resolve(const ColumnReference& reference, TableColumn* out, SqlError* error) const;

  const std::vector<QueryTable>& tables() const { return tables_; }

 private:
  friend class JoinScan;
  bool Bind(SqlError* error);

  std::vector<QueryTable> tables_;
  std::unique_ptr<SqlCondition> where_;
  /* The condition as its right-nested chain: terms_[0] joins_[0] (terms_[1]
  ** joins_[1] (...)). */
  std::vector<BoundTerm> terms_;
  std::vector<SqlCondition::Kind> joins_;
  FilterForm form_ = FilterForm::kAll;
};

class JoinScan {
 public:
  JoinScan(DatabaseObject* database, const QuerySource* source);
  ~JoinScan();
  JoinScan(const JoinScan&) = delete;
  JoinScan& operator=(const JoinScan&) = delete;

  /* Moves to the next combined row; false at the end (the cursors are then
  ** closed) and on a failure (an error is stored on the Database). */
  bool Next();
  /* Closes every cursor: the next Next starts from the first row again. */
  void Restart();
  /* Whether the scan ended on a failure (stored on the Database). */
  bool failed() const { return failed_; }

  /* The open cursor of a table, or null. */
  RecordSetObject* Cursor(int32_t table) const { return cursors_[size_t(table)].set; }
  /* The cursor column of a schema column (the cursor's own order). */
  int32_t CursorColumn(const TableColumn& column) const;
  /* A value of the current rows through curColumnValue; valid until
  ** ReleaseValue of the same table.  Type 0 when the table has no row. */
  ValueRef ReadValue(const TableColumn& column);
  void ReleaseValue(int32_t table);

 private:
  struct OpenTable {
    RecordSetObject* set = nullptr; /* owned reference */
  };

  bool Open(int32_t level);
  void Advance(int32_t level);
  void Close(int32_t level);
  /* Keeps the engine's error and ends the scan; false when there is none. */
  bool EngineStopped();
  bool Fail(int32_t code, const std::string& message);
  bool ConditionHolds();
  bool TermHolds(const BoundTerm& term);
  std::unique_ptr<SqlCondition> DeriveFilter(int32_t table, bool* complete);
  std::unique_ptr<SqlCondition> DeriveTerm(int32_t table, const BoundTerm& term);
  bool OuterValueText(const TableColumn& column, std::string* text);

  DatabaseObject* database_;
  const QuerySource* source_;
  std::vector<OpenTable> cursors_;
  std::vector<std::vector<int32_t>> columnMap_; /* schema column -> cursor column, per table */
  bool started_ = false;
  bool finished_ = false;
  bool failed_ = false;
  bool openedBefore_ = false;
  bool evaluate_ = false; /* whether the scan tests the full condition itself */
  std::string rightText_, scratch_;
};

/* Copies the engine's current error to the Database's own; false when the
** engine reports none. */
bool KeepEngineError(DatabaseObject* database);

} // namespace quendal::db

#endif
