/*
** SELECT in the SQL layer: the plan of a query, and its result as a
** RecordSet.
**
** Result columns are the select-list items in order, "*" expanded to each
** table's columns in schema order; an ORDER BY key that is not selected is
** added as a visible column after them; a GROUP BY column that is not
** selected is carried as a hidden one.  Aggregates are named as their
** function in lower case with the argument as written ("count(*)",
** "max(s.Aperture)").
**
** A plain query (no ORDER BY, GROUP BY or aggregate) reads its tables as
** the RecordSet moves (JoinScan).  Its MoveFirst runs the query again and
** stands on the first row; MovePrevious runs it again and moves forward to
** the row before the current one (before the first: BOF); MoveLast runs it
** to count the rows and again to stand on the last.  Edits, Update,
** DeleteRecord and the row key go to the cursor of the table that owns the
** column (DeleteRecord needs a query of one table).
**
** Any other query reads every row first; a failure while reading gives no
** result (null, with the error on the Database).  Then:
**   - grouping (GROUP BY, or aggregates without it, which make the whole
**     result one group, also when it has no rows): rows are sorted by the
**     group column and each run of equal values (same type and bytes) is
**     one group.  A group yields one row: other columns take the first
**     row's values; count(*) counts the rows (type 3); sum and avg add the
**     numeric values (types 2, 3, 6, 7, 19; type 7 result; null when there
**     are none), avg dividing by how many there were; min and max keep the
**     smallest and largest non-null value (numbers as type 7);
**   - ordering: a stable sort by the keys, each ascending unless DESC.
** Such a result holds its rows in memory: it knows its RecordCount, moves
** in both directions, and is read-only.
**
** Value order (sorting, grouping, min and max): numbers (2, 3, 6, 7, 11,
** 19) compare numerically with each other; texts and bytes (4, 5, 14, 15,
** 16, 18) byte by byte with ASCII letters folded, the shorter first;
** dates, times and time stamps by their fields.  Values of different kinds
** order by kind: null, numbers, texts, dates and times, booleans, others;
** NaN orders before every other number.
*/
#ifndef QUENDAL_DATABASE_SQL_SELECT_H
#define QUENDAL_DATABASE_SQL_SELECT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/database/sql_query.h"

namespace quendal::db {

struct ResultColumn {
  std::string name;
  SelectFunction function = SelectFunction::kNone;
  TableColumn source; /* not used by count(*) */
};

struct SelectPlan {
  QuerySource source;
  std::vector<ResultColumn> columns; /* the visible ones first */
  int32_t visible = 0;
  struct Key {
    int32_t column;
    bool descending;
  };
  std::vector<Key> order;
  int32_t group = -1; /* column index of the GROUP BY column */
  bool aggregates = false;

  bool grouped() const { return group >= 0 || aggregates; }
  bool plain() const { return order.empty() && !grouped(); }
};

/* Validates a parsed query against the engine's schema (202, 205, 206,
** 201 "Invalid column index"). */
bool BuildSelectPlan(DatabaseObject* database, SelectStatement statement, SelectPlan* plan, SqlError* error);

/* The result of a plan: a new RecordSet (owned), or null with the error
** stored on the Database. */
ObjectHeader* RunSelect(DatabaseObject* database, std::unique_ptr<SelectPlan> plan);

/* -1, 0, 1 in the value order above. */
int32_t CompareValues(const ValueRef& a, const ValueRef& b);

/* A row held in memory: each cell a value as curColumnValue hands it out,
** copied (a String value, 18, becomes its bytes, type 5). */
class MemoryRow {
 public:
  void Append(const ValueRef& value);
  ValueRef Value(size_t cell) const;
  size_t size() const { return cells_.size(); }
  /* Same type and bytes. */
  bool SameAs(size_t cell, const MemoryRow& other, size_t otherCell) const;
  /* Order of type, then bytes: a total order that keeps equal values
  ** together. */
  int32_t CompareBytes(size_t cell, const MemoryRow& other, size_t otherCell) const;

 private:
  struct Cell {
    uint8_t type;
    uint32_t offset;
    uint32_t length;
  };
  std::string bytes_;
  std::vector<Cell> cells_;
};

/* RecordSets of results (sql_results.cpp); each returns a new RecordSet
** (owned) or null. */
ObjectHeader* NewJoinResult(DatabaseObject* database, std::unique_ptr<SelectPlan> plan);
ObjectHeader* NewMemoryResult(std::vector<std::string> names, std::vector<MemoryRow> rows);

} // namespace quendal::db

#endif
