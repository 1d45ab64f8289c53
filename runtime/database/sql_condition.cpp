/*
** Conditions and row filters: see sql_condition.h.
**
** A bound filter is the tree flattened into nodes_, children before their
** parent, so the root is the last node.  Trees deeper than kMaxDepth are
** refused when bound, so that binding and evaluation, which recurse, have
** a bounded depth.
*/
#include "runtime/database/sql_condition.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/database/value_text.h"
#include "runtime/text/string_compare.h"

namespace quendal::db {

namespace {

constexpr int32_t kMaxDepth = 2000;

int Sign(int64_t a, int64_t b) { return a < b ? -1 : a > b; }

bool Holds(ConditionOperator op, int cmp) {
  switch (op) {
    case ConditionOperator::kEqual: return cmp == 0;
    case ConditionOperator::kLess: return cmp < 0;
    case ConditionOperator::kGreater: return cmp > 0;
    case ConditionOperator::kLessEqual: return cmp <= 0;
    case ConditionOperator::kGreaterEqual: return cmp >= 0;
    case ConditionOperator::kNotEqual: return cmp != 0;
    default: return false;
  }
}

bool IsLike(ConditionOperator op) { return op == ConditionOperator::kLike || op == ConditionOperator::kNotLike; }

int CompareFields(const uint16_t a[3], const uint16_t b[3]) {
  for (int i = 0; i < 3; i++) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

void MapCase(std::string* text, CaseMode mode) {
  if (mode == CaseMode::kNone) return;
  for (char& c : *text) {
    if (mode == CaseMode::kUpper && c >= 'a' && c <= 'z') c = char(c - 0x20);
    if (mode == CaseMode::kLower && c >= 'A' && c <= 'Z') c = char(c + 0x20);
  }
}

int32_t Depth(const SqlCondition& root) {
  std::vector<std::pair<const SqlCondition*, int32_t>> stack{{&root, 1}};
  int32_t deepest = 0;
  while (!stack.empty() && deepest <= kMaxDepth) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    if (node->left) stack.push_back({node->left.get(), depth + 1});
    if (node->right) stack.push_back({node->right.get(), depth + 1});
  }
  return deepest;
}

} // namespace

/* ---- the tree ---------------------------------------------------------------- */

std::unique_ptr<SqlCondition> SqlCondition::Comparison(ColumnReference column, ConditionOperator op,
                                                       std::string literal, CaseMode caseMode) {
  auto node = std::make_unique<SqlCondition>();
  node->column = std::move(column);
  node->op = op;
  node->literal = std::move(literal);
  node->caseMode = caseMode;
  return node;
}

std::unique_ptr<SqlCondition> SqlCondition::ColumnComparison(ColumnReference column, ConditionOperator op,
                                                             ColumnReference right, CaseMode caseMode) {
  auto node = std::make_unique<SqlCondition>();
  node->column = std::move(column);
  node->op = op;
  node->rightIsColumn = true;
  node->rightColumn = std::move(right);
  node->caseMode = caseMode;
  return node;
}

std::unique_ptr<SqlCondition> SqlCondition::Join(Kind kind, std::unique_ptr<SqlCondition> left,
                                                 std::unique_ptr<SqlCondition> right) {
  auto node = std::make_unique<SqlCondition>();
  node->kind = kind;
  node->left = std::move(left);
  node->right = std::move(right);
  return node;
}

bool LikeMatches(std::string_view value, std::string_view pattern) {
  size_t v = 0, p = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (v < value.size()) {
    if (p < pattern.size() && pattern[p] != '%' && (pattern[p] == '_' || pattern[p] == value[v])) {
      v++;
      p++;
    } else if (p < pattern.size() && pattern[p] == '%') {
      star = p++;
      resume = v;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      v = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') p++;
  return p == pattern.size();
}

/* ---- binding ------------------------------------------------------------------- */

void RowFilter::ReadOperand(std::string_view text, Operand* out) {
  out->integer = IntegerOfText(text, INT64_MIN, INT64_MAX);
  out->number = NumberOfText(text);
  out->dateValid = ParseDateText(text, out->date);
  out->timeValid = ParseTimeText(text, out->time);
}

static const FilterColumn* FindColumn(std::span<const FilterColumn> columns, const std::string& name) {
  for (const FilterColumn& c : columns) {
    if (c.name.size() == name.size() && CompareRawBytes(c.name, name, true) == 0) return &c;
  }
  return nullptr;
}

int32_t RowFilter::BindNode(const SqlCondition& node, std::span<const FilterColumn> columns, std::string* unknown) {
  Node bound{};
  bound.kind = node.kind;
  if (node.kind != SqlCondition::Kind::kComparison) {
    if (!node.left || !node.right) {
      *unknown = "an incomplete condition";
      return -1;
    }
    const int32_t left = BindNode(*node.left, columns, unknown);
    if (left < 0) return -1;
    const int32_t right = BindNode(*node.right, columns, unknown);
    if (right < 0) return -1;
    bound.left = uint32_t(left);
    bound.right = uint32_t(right);
  } else {
    const FilterColumn* column = FindColumn(columns, node.column.column);
    if (!column) {
      *unknown = node.column.column;
      return -1;
    }
    bound.op = node.op;
    bound.caseMode = node.caseMode;
    bound.column = column->id;
    bound.rightIsColumn = node.rightIsColumn;
    if (node.rightIsColumn) {
      const FilterColumn* right = FindColumn(columns, node.rightColumn.column);
      if (!right) {
        *unknown = node.rightColumn.column;
        return -1;
      }
      bound.rightColumn = right->id;
    } else {
      bound.literal = node.literal;
      ReadOperand(bound.literal, &bound.operand);
    }
  }
  nodes_.push_back(std::move(bound));
  return int32_t(nodes_.size() - 1);
}

bool RowFilter::Bind(const SqlCondition& tree, std::span<const FilterColumn> columns, std::string* unknown) {
  nodes_.clear();
  if (Depth(tree) > kMaxDepth) {
    *unknown = "a condition nested too deeply";
    return false;
  }
  if (BindNode(tree, columns, unknown) < 0) {
    nodes_.clear();
    return false;
  }
  return true;
}

/* ---- evaluation -------------------------------------------------------------------- */

DbStatus RowFilter::Matches(Bytes record, LargeValueReader* reader, bool* result) {
  if (nodes_.empty()) {
    *result = true;
    return DbStatus::kOk;
  }
  return Evaluate(uint32_t(nodes_.size() - 1), record, reader, result);
}

DbStatus RowFilter::Evaluate(uint32_t index, Bytes record, LargeValueReader* reader, bool* result) {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case SqlCondition::Kind::kAnd:
      DB_TRY(Evaluate(node.left, record, reader, result));
      if (*result) DB_TRY(Evaluate(node.right, record, reader, result));
      return DbStatus::kOk;
    case SqlCondition::Kind::kOr:
      DB_TRY(Evaluate(node.left, record, reader, result));
      if (!*result) DB_TRY(Evaluate(node.right, record, reader, result));
      return DbStatus::kOk;
    case SqlCondition::Kind::kComparison:
      return Compare(node, record, reader, result);
  }
  return DbStatus::kOk;
}

DbStatus RowFilter::Compare(const Node& node, Bytes record, LargeValueReader* reader, bool* result) {
  *result = false;
  FieldRef field;
  const bool present = FindField(record, node.column, &field);
  if (node.op == ConditionOperator::kIsNull || node.op == ConditionOperator::kIsNotNull) {
    *result = present == (node.op == ConditionOperator::kIsNotNull);
    return DbStatus::kOk;
  }
  if (!present || field.type == kTypeBoolean) return DbStatus::kOk;
  if (!node.rightIsColumn) return CompareValue(node, record, field, node.literal, node.operand, reader, result);

  FieldRef right;
  if (!FindField(record, node.rightColumn, &right)) return DbStatus::kOk;
  rightText_.clear();
  if (right.type == kTypeLongText || right.type == kTypeLongBinary) {
    DB_TRY(reader->ReadLargeValue(uint32_t(IntegerOf(record, right)), &rightText_));
  } else {
    AppendFieldText(record, right, 9, 17, &rightText_);
  }
  Operand operand;
  ReadOperand(rightText_, &operand);
  return CompareValue(node, record, field, rightText_, operand, reader, result);
}

DbStatus RowFilter::CompareValue(const Node& node, Bytes record, const FieldRef& field, std::string_view text,
                                 const Operand& operand, LargeValueReader* reader, bool* result) {
  const bool like = IsLike(node.op);
  if (!like) {
    switch (field.type) {
      case kTypeSmallInt:
        *result = Holds(node.op, Sign(SmallIntOf(record, field), operand.integer));
        return DbStatus::kOk;
      case kTypeInteger:
        *result = Holds(node.op, Sign(IntegerOf(record, field), operand.integer));
        return DbStatus::kOk;
      case kTypeFloat: case kTypeDouble: {
        const double value = field.type == kTypeFloat ? double(FloatOf(record, field)) : DoubleOf(record, field);
        const double other = field.type == kTypeFloat ? double(float(operand.number)) : operand.number;
        if (std::isnan(value) || std::isnan(other)) return DbStatus::kOk;
        *result = Holds(node.op, value < other ? -1 : value > other);
        return DbStatus::kOk;
      }
      case kTypeDate: case kTypeTime: {
        const bool valid = field.type == kTypeDate ? operand.dateValid : operand.timeValid;
        if (!valid) return DbStatus::kOk;
        uint16_t value[3];
        DateOrTimeOf(record, field, value);
        *result = Holds(node.op, CompareFields(value, field.type == kTypeDate ? operand.date : operand.time));
        return DbStatus::kOk;
      }
      default:
        break;
    }
  }
  valueText_.clear();
  if (field.type == kTypeLongText || field.type == kTypeLongBinary) {
    DB_TRY(reader->ReadLargeValue(uint32_t(IntegerOf(record, field)), &valueText_));
  } else {
    AppendFieldText(record, field, 7, 10, &valueText_);
  }
  MapCase(&valueText_, node.caseMode);
  if (like) {
    *result = LikeMatches(valueText_, text) == (node.op == ConditionOperator::kLike);
  } else {
    *result = Holds(node.op, CompareRawBytes(valueText_, text, false));
  }
  return DbStatus::kOk;
}

} // namespace quendal::db
