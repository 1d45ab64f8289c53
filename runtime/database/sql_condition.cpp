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
#include <cstring>
#include <utility>

#include "runtime/database/value_text.h"
#include "runtime/plugins/quendal_plugin.h"
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

ComparisonOperand ComparisonOperand::Of(std::string_view text) {
  ComparisonOperand out;
  out.integer = IntegerOfText(text, INT64_MIN, INT64_MAX);
  out.number = NumberOfText(text);
  out.dateValid = ParseDateText(text, out.date);
  out.timeValid = ParseTimeText(text, out.time);
  return out;
}

bool ComparisonHolds(ConditionOperator op, CaseMode caseMode, const ValueRef& value, std::string_view right,
                     const ComparisonOperand& operand, std::string* scratch) {
  if (op == ConditionOperator::kIsNull || op == ConditionOperator::kIsNotNull) {
    return (value.type != kTypeNull) == (op == ConditionOperator::kIsNotNull);
  }
  if (value.type == kTypeNull || value.type == kTypeBoolean) return false;
  const bool like = IsLike(op);
  if (!like) {
    auto read = [&](auto v) {
      std::memcpy(&v, value.data, sizeof v);
      return v;
    };
    switch (value.type) {
      case kTypeSmallInt: return Holds(op, Sign(read(int16_t()), operand.integer));
      case kTypeInteger: return Holds(op, Sign(read(int32_t()), operand.integer));
      case kORVAColumnInt64: return Holds(op, Sign(read(int64_t()), operand.integer));
      case kTypeFloat: case kTypeDouble: {
        /* a float column compares in float precision */
        const double v = value.type == kTypeFloat ? double(read(float())) : read(double());
        const double other = value.type == kTypeFloat ? double(float(operand.number)) : operand.number;
        if (std::isnan(v) || std::isnan(other)) return false;
        return Holds(op, v < other ? -1 : v > other);
      }
      case kTypeDate: case kTypeTime: {
        if (!(value.type == kTypeDate ? operand.dateValid : operand.timeValid)) return false;
        const auto* b = static_cast<const uint8_t*>(value.data);
        const uint16_t fields[3] = {uint16_t(b[0] << 8 | b[1]), uint16_t(b[2] << 8 | b[3]), uint16_t(b[4] << 8 | b[5])};
        return Holds(op, CompareFields(fields, value.type == kTypeDate ? operand.date : operand.time));
      }
      default:
        break;
    }
  }
  scratch->clear();
  AppendValueText(value, 7, 10, scratch);
  MapCase(scratch, caseMode);
  if (like) return LikeMatches(*scratch, right) == (op == ConditionOperator::kLike);
  return Holds(op, CompareRawBytes(*scratch, right, false));
}

/* ---- binding ------------------------------------------------------------------- */

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
      bound.operand = ComparisonOperand::Of(bound.literal);
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
  ValueHolding holding;
  ValueRef value;
  const bool nullTest = node.op == ConditionOperator::kIsNull || node.op == ConditionOperator::kIsNotNull;
  if (FindField(record, node.column, &field)) {
    if (nullTest) {
      value.type = field.type; /* only its presence counts */
    } else if (field.type == kTypeLongText || field.type == kTypeLongBinary) {
      DB_TRY(reader->ReadLargeValue(uint32_t(IntegerOf(record, field)), &large_));
      value = ValueRef{field.type, large_.data(), int32_t(large_.size())};
    } else {
      value = ValueOfField(record, field, &holding);
    }
  }
  if (!node.rightIsColumn) {
    *result = ComparisonHolds(node.op, node.caseMode, value, node.literal, node.operand, &valueText_);
    return DbStatus::kOk;
  }
  FieldRef right;
  if (!FindField(record, node.rightColumn, &right)) return DbStatus::kOk;
  rightText_.clear();
  if (right.type == kTypeLongText || right.type == kTypeLongBinary) {
    DB_TRY(reader->ReadLargeValue(uint32_t(IntegerOf(record, right)), &rightText_));
  } else {
    AppendFieldText(record, right, 9, 17, &rightText_);
  }
  *result = ComparisonHolds(node.op, node.caseMode, value, rightText_, ComparisonOperand::Of(rightText_), &valueText_);
  return DbStatus::kOk;
}

} // namespace quendal::db
