/*
** The SQL layer's statements: what the parser makes of a statement text,
** before anything reaches an engine.
**
** Grammar (keywords without regard to case; "name" is a valid name, see
** sql_tokenizer.h; the first error ends the parse):
**
**   create table T ( definition {, definition} )
**       definition := name type [ ( n ) ] [NOT NULL]
**                   | primary key ( name {, name} )
**       type := char | character | varchar (5) | smallint (2)
**             | integer (3) | float (6) | double (7) | date (8) | time (9)
**             | timestamp (10) | boolean (12) | long varchar (15)
**             | long varbinary (16)
**   create <anything else>               ignored (CREATE INDEX ...)
**   alter table T add [column] definition
**   insert into T ( name {, name} ) values ( value {, value} )
**   update T set name = value {, name = value} [where condition]
**   delete from T [where condition]
**   drop ...                             error 2007
**   select item {, item} from table [alias] {, table [alias]}
**          [where condition] [order by key {, key} | group by column]
**       item := * | [q.]* | [q.]name | count(*) | min|max|sum|avg([q.]name)
**       key  := [q.]name | column number, each [asc | desc]
**
** Conditions are right-nested without precedence or parentheses:
**   comparison [ (and | or) condition ]
**   comparison := [upper|lower] ( [q.]name ) op right  |  [q.]name op right
** so "a = 1 and b = 2 or c = 3" means a = 1 and (b = 2 or c = 3).  A right
** side in quotes is a literal, a valid name (optionally qualified) a
** column, anything else a literal as written; LIKE needs a quoted one.
**
** Values of INSERT and UPDATE: a quoted literal without its quotes, the
** word NULL (unquoted, any case) for SQL NULL, any other token as written.
**
** Errors carry the layer's code and message (200 syntax, 201 names and
** unsupported forms, 208 mismatched lists, 2007 and 2008 drops).
*/
#ifndef QUENDAL_DATABASE_SQL_STATEMENT_H
#define QUENDAL_DATABASE_SQL_STATEMENT_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/sql_condition.h"
#include "runtime/database/sql_tokenizer.h"

namespace quendal::db {

struct SqlError {
  int32_t code = 0;
  std::string message;
};

/* A column of CREATE TABLE and ALTER TABLE. */
struct SqlColumnDefinition {
  std::string name;
  int32_t type = 0;
  bool nullable = true;
};

struct CreateTableStatement {
  std::string table;
  std::vector<SqlColumnDefinition> columns;
  std::vector<uint8_t> keyPositions; /* 0-based indices into columns, in key order */
};

struct AlterTableStatement {
  std::string table;
  SqlColumnDefinition column;
};

struct InsertStatement {
  std::string table;
  std::vector<std::string> columns;
  std::vector<std::optional<std::string>> values; /* nullopt: SQL NULL */
};

struct SqlAssignment {
  std::string column;
  std::optional<std::string> value;
};

struct UpdateStatement {
  std::string table;
  std::vector<SqlAssignment> assignments;
  std::unique_ptr<SqlCondition> where;
};

struct DeleteStatement {
  std::string table;
  std::unique_ptr<SqlCondition> where;
};

enum class SelectFunction : uint8_t { kNone, kCount, kMin, kMax, kSum, kAvg };

struct SelectItem {
  bool all = false; /* "*" or "q.*" (column.table holds q) */
  SelectFunction function = SelectFunction::kNone;
  ColumnReference column; /* not used by count(*) */
  std::string display;    /* the result column's name */
};

struct FromTable {
  std::string name;
  std::string alias; /* empty when none */
};

struct OrderKey {
  int32_t number = 0; /* 1-based select-list position; 0 when a column is named */
  ColumnReference column;
  bool descending = false;
};

struct SelectStatement {
  std::vector<SelectItem> items;
  std::vector<FromTable> from;
  std::unique_ptr<SqlCondition> where;
  std::vector<OrderKey> order;
  std::optional<ColumnReference> group;
};

/* What a statement of SQLExecute is. */
enum class StatementKind : uint8_t { kNone, kCreateTable, kAlterTable, kInsert, kUpdate, kDelete };

struct ExecuteStatement {
  StatementKind kind = StatementKind::kNone;
  bool commit = false;   /* the first word was "commit" */
  bool rollback = false; /* the first word was "rollback" */
  CreateTableStatement create;
  AlterTableStatement alter;
  InsertStatement insert;
  UpdateStatement update;
  DeleteStatement remove;
};

/* Parses a statement for SQLExecute (trailing ";" already stripped or
** not).  False with *error set when the statement is malformed; a
** statement that names nothing this layer carries out parses as kNone. */
bool ParseExecuteStatement(std::string_view text, ExecuteStatement* out, SqlError* error);

/* Parses a query for SQLSelect. */
bool ParseSelectStatement(std::string_view text, SelectStatement* out, SqlError* error);

/* Parses a condition from the tokenizer's position (the WHERE clause);
** the token after it is given back. */
bool ParseCondition(SqlTokenizer* tokens, std::unique_ptr<SqlCondition>* out, SqlError* error);

/* The most comparisons one condition may join: deeper trees are refused
** here rather than met by recursion later. */
constexpr int32_t kMaxConditionTerms = 1000;

} // namespace quendal::db

#endif
