/*
** Conditions: the tree of a WHERE clause, and row filters made from it.
**
** SqlCondition is plain data, built by the SQL layer's parser and handed
** to a table cursor as its filter.  A comparison holds the column (with an
** optional table qualifier), a case mode, an operator and the right side:
** a literal text (without its quotes) or a column reference.  An inner node
** holds "and" or "or" and two subtrees.  The tree owns its subtrees.
**
** RowFilter is a condition bound to one table: every column name resolved
** (without regard to ASCII case) to a column id, every literal read once
** for the column's type.  A qualifier is not checked against the table:
** the SQL layer hands a table only the comparisons that belong to it, and
** may name the table by an alias.  Evaluation, per row:
**   - "and" holds when both sides hold, "or" when either does; the right
**     side is not evaluated when the left decides;
**   - IS NULL holds when the row has no field for the column, IS NOT NULL
**     when it has one;
**   - any other comparison fails on a row without the field, and on a
**     boolean column;
**   - integer columns compare the literal's integer value, float and
**     double columns its numeric value (Val; a float column in float
**     precision), date and time columns the literal read as date or time
**     text (field by field; a literal that does not read fails);
**   - text and large values (read from "sys$blob") compare their bytes, as
**     stored or turned to upper or lower case (ASCII letters) for `upper`
**     and `lower`, byte by byte with the literal as written, the shorter
**     first on a common prefix;
**   - LIKE and NOT LIKE match the value's text (for numbers, dates and
**     times, their text) against the pattern: "%" any run of bytes, also
**     none, "_" exactly one byte, every other byte itself; the whole value
**     must be consumed;
**   - a column reference on the right stands for that column's value in
**     the same row, as text; a row without that field fails.
**
** Evaluation reuses buffers of the filter: a filter serves one cursor.
*/
#ifndef QUENDAL_DATABASE_SQL_CONDITION_H
#define QUENDAL_DATABASE_SQL_CONDITION_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/db_status.h"
#include "runtime/database/row_record.h"
#include "runtime/database/value_text.h"

namespace quendal::db {

enum class ConditionOperator : uint8_t {
  kEqual,        /* = */
  kLess,         /* < */
  kGreater,      /* > */
  kLessEqual,    /* <= */
  kGreaterEqual, /* >= */
  kNotEqual,     /* <> */
  kLike,         /* LIKE */
  kNotLike,      /* NOT LIKE */
  kIsNull,       /* IS NULL */
  kIsNotNull,    /* IS NOT NULL */
};

enum class CaseMode : uint8_t { kNone, kUpper, kLower };

struct ColumnReference {
  std::string table; /* qualifier; empty when none */
  std::string column;
};

struct SqlCondition {
  enum class Kind : uint8_t { kComparison, kAnd, kOr };

  Kind kind = Kind::kComparison;
  /* kComparison */
  ColumnReference column;
  CaseMode caseMode = CaseMode::kNone;
  ConditionOperator op = ConditionOperator::kEqual;
  bool rightIsColumn = false;
  std::string literal;         /* when !rightIsColumn */
  ColumnReference rightColumn; /* when rightIsColumn */
  /* kAnd, kOr */
  std::unique_ptr<SqlCondition> left;
  std::unique_ptr<SqlCondition> right;

  static std::unique_ptr<SqlCondition> Comparison(ColumnReference column, ConditionOperator op,
                                                  std::string literal, CaseMode caseMode = CaseMode::kNone);
  static std::unique_ptr<SqlCondition> ColumnComparison(ColumnReference column, ConditionOperator op,
                                                        ColumnReference right, CaseMode caseMode = CaseMode::kNone);
  static std::unique_ptr<SqlCondition> Join(Kind kind, std::unique_ptr<SqlCondition> left,
                                            std::unique_ptr<SqlCondition> right);
};

/* LIKE on bytes: "%" any run (also none), "_" one byte. */
bool LikeMatches(std::string_view value, std::string_view pattern);

/* The right side of a comparison, read once for every kind of column. */
struct ComparisonOperand {
  int64_t integer = 0;
  double number = 0;
  bool dateValid = false, timeValid = false;
  uint16_t date[3] = {}, time[3] = {};

  static ComparisonOperand Of(std::string_view text);
};

/* Whether one comparison holds for a value, by the rules above: the value
** as curColumnValue hands it out (type 0 when the row has none; large
** values as their bytes), right the right side's text and operand what it
** reads as.  scratch holds the value's text when one is needed.  Row
** filters and the SQL layer's own evaluation share it, so a condition
** means the same wherever it is evaluated. */
bool ComparisonHolds(ConditionOperator op, CaseMode caseMode, const ValueRef& value, std::string_view right,
                     const ComparisonOperand& operand, std::string* scratch);

/* A column as a filter sees it. */
struct FilterColumn {
  uint8_t id;
  std::string_view name;
  uint8_t type; /* declared type code */
};

/* Reads large values for a filter. */
class LargeValueReader {
 public:
  virtual DbStatus ReadLargeValue(uint32_t reference, std::string* out) = 0;

 protected:
  ~LargeValueReader() = default;
};

class RowFilter {
 public:
  /* Binds tree to the columns of a table; false (with the name that
  ** matched no column) when a column name is unknown. */
  bool Bind(const SqlCondition& tree, std::span<const FilterColumn> columns, std::string* unknown);
  bool bound() const { return !nodes_.empty(); }
  /* Whether a checked row record passes; a large value that cannot be read
  ** fails the evaluation. */
  DbStatus Matches(Bytes record, LargeValueReader* reader, bool* result);

 private:
  struct Node {
    SqlCondition::Kind kind;
    /* comparison */
    ConditionOperator op;
    CaseMode caseMode;
    uint8_t column;
    bool rightIsColumn;
    uint8_t rightColumn;
    std::string literal;
    ComparisonOperand operand; /* of the literal, read when bound */
    /* and / or: indices of the subtrees in nodes_ */
    uint32_t left, right;
  };

  int32_t BindNode(const SqlCondition& node, std::span<const FilterColumn> columns, std::string* unknown);
  DbStatus Evaluate(uint32_t index, Bytes record, LargeValueReader* reader, bool* result);
  DbStatus Compare(const Node& node, Bytes record, LargeValueReader* reader, bool* result);

  std::vector<Node> nodes_;
  std::string rightText_; /* buffers reused from row to row */
  std::string valueText_;
  std::string large_;
};

} // namespace quendal::db

#endif
