/*
** SELECT in the SQL layer: planning, the value order, grouping and
** sorting.  See sql_select.h.
*/
#include "runtime/database/sql_select.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/plugins/quendal_plugin.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

bool Fail(SqlError* error, int32_t code, std::string message) {
  error->code = code;
  error->message = std::move(message);
  return false;
}

/* ---- the value order --------------------------------------------------------------- */

enum class ValueKind : uint8_t { kNull, kNumber, kText, kCalendar, kBoolean, kOther };

ValueKind KindOf(uint8_t type) {
  switch (type) {
    case kTypeNull: return ValueKind::kNull;
    case kTypeSmallInt: case kTypeInteger: case kTypeFloat: case kTypeDouble: case kORVAColumnCurrency:
    case kORVAColumnInt64:
      return ValueKind::kNumber;
    case kORVAColumnChar: case kTypeText: case kTypeBinary: case kTypeLongText: case kTypeLongBinary:
    case kORVAColumnString:
      return ValueKind::kText;
    case kTypeDate: case kTypeTime: case kTypeTimeStamp: return ValueKind::kCalendar;
    case kTypeBoolean: return ValueKind::kBoolean;
    default: return ValueKind::kOther;
  }
}

template <typename T>
T Read(const ValueRef& value) {
  T v{};
  std::memcpy(&v, value.data, sizeof v);
  return v;
}

bool IsIntegerType(uint8_t type) {
  return type == kTypeSmallInt || type == kTypeInteger || type == kORVAColumnCurrency || type == kORVAColumnInt64;
}

int64_t IntegerOf(const ValueRef& value) {
  switch (value.type) {
    case kTypeSmallInt: return Read<int16_t>(value);
    case kTypeInteger: return Read<int32_t>(value);
    default: return Read<int64_t>(value);
  }
}

double NumberOf(const ValueRef& value) {
  switch (value.type) {
    case kTypeFloat: return Read<float>(value);
    case kTypeDouble: return Read<double>(value);
    default: return double(IntegerOf(value));
  }
}

/* The six calendar fields of a date (y m d 0 0 0), time (0 0 0 h m s) or
** time stamp. */
void CalendarFields(const ValueRef& value, uint16_t out[6]) {
  const auto* b = static_cast<const uint8_t*>(value.data);
  auto field = [&](int i) { return uint16_t(b[2 * i] << 8 | b[2 * i + 1]); };
  std::fill(out, out + 6, uint16_t(0));
  const int first = value.type == kTypeTime ? 3 : 0;
  const int count = value.type == kTypeTimeStamp ? 6 : 3;
  for (int i = 0; i < count; i++) out[first + i] = field(i);
}

std::string_view TextOf(const ValueRef& value) {
  if (value.type == kORVAColumnString) return StringView(*static_cast<const ORVAstring*>(value.data));
  return std::string_view(static_cast<const char*>(value.data), size_t(value.length));
}

int32_t Sign(double a, double b) { return a < b ? -1 : a > b; }

/* Numeric results are doubles (type 7). */
bool NumericValue(const ValueRef& value, double* out) {
  switch (value.type) {
    case kTypeSmallInt: case kTypeInteger: case kTypeFloat: case kTypeDouble: case kORVAColumnInt64:
      *out = NumberOf(value);
      return true;
    default:
      return false;
  }
}

ValueRef DoubleValue(const double* value) { return ValueRef{kTypeDouble, value, 8}; }

/* Fixed sizes of the types with a fixed layout; -1 for the others. */
int32_t FixedLength(uint8_t type) {
  switch (type) {
    case kTypeSmallInt: return 2;
    case kTypeInteger: case kTypeFloat: return 4;
    case kTypeDouble: case kORVAColumnCurrency: case kORVAColumnInt64: return 8;
    case kTypeDate: case kTypeTime: return 6;
    case kTypeTimeStamp: return 12;
    case kTypeBoolean: return 1;
    default: return -1;
  }
}

/* ---- planning -------------------------------------------------------------------------- */

/* The visible plain column reading source, or -1. */
int32_t PlainColumnOf(const SelectPlan& plan, const TableColumn& source) {
  for (int32_t i = 0; i < plan.visible; i++) {
    const ResultColumn& c = plan.columns[size_t(i)];
    if (c.function == SelectFunction::kNone && c.source == source) return i;
  }
  return -1;
}

bool AddItem(SelectPlan* plan, const SelectItem& item, SqlError* error) {
  const std::vector<QueryTable>& tables = plan->source.tables();
  if (item.all) {
    bool matched = false;
    for (size_t t = 0; t < tables.size(); t++) {
      const QueryTable& table = tables[t];
      if (!item.column.table.empty() && !SameName(item.column.table, table.alias) &&
          !SameName(item.column.table, table.name)) {
        continue;
      }
      matched = true;
      for (size_t c = 0; c < table.columns.size(); c++) {
        plan->columns.push_back({table.columns[c], SelectFunction::kNone, TableColumn{int32_t(t), int32_t(c)}});
      }
    }
    return matched || Fail(error, 206, "Unknown column: " + item.column.table + ".*");
  }
  ResultColumn column{item.display, item.function, {}};
  if (item.function != SelectFunction::kCount && !plan->source.Resolve(item.column, &column.source, error)) {
    return false;
  }
  plan->aggregates |= item.function != SelectFunction::kNone;
  plan->columns.push_back(std::move(column));
  return true;
}

} // namespace

int32_t CompareValues(const ValueRef& a, const ValueRef& b) {
  const ValueKind ka = KindOf(a.type), kb = KindOf(b.type);
  if (ka != kb) return ka < kb ? -1 : 1;
  switch (ka) {
    case ValueKind::kNull: return 0;
    case ValueKind::kNumber: {
      if (IsIntegerType(a.type) && IsIntegerType(b.type)) {
        const int64_t x = IntegerOf(a), y = IntegerOf(b);
        return x < y ? -1 : x > y;
      }
      const double x = NumberOf(a), y = NumberOf(b);
      if (std::isnan(x) || std::isnan(y)) return std::isnan(x) == std::isnan(y) ? 0 : (std::isnan(x) ? -1 : 1);
      return Sign(x, y);
    }
    case ValueKind::kText: return CompareRawBytes(TextOf(a), TextOf(b), true);
    case ValueKind::kCalendar: {
      uint16_t x[6], y[6];
      CalendarFields(a, x);
      CalendarFields(b, y);
      for (int i = 0; i < 6; i++) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
      }
      return 0;
    }
    case ValueKind::kBoolean: {
      const bool x = Read<uint8_t>(a) != 0, y = Read<uint8_t>(b) != 0;
      return x == y ? 0 : (x ? 1 : -1);
    }
    case ValueKind::kOther: break;
  }
  return CompareRawBytes(TextOf(a), TextOf(b), false);
}

/* ---- rows in memory ---------------------------------------------------------------------- */

void MemoryRow::Append(const ValueRef& value) {
  Cell cell{value.type, uint32_t(bytes_.size()), 0};
  if (value.type == kORVAColumnString) {
    cell.type = kTypeText;
    const std::string_view text = TextOf(value);
    bytes_.append(text);
    cell.length = uint32_t(text.size());
  } else if (value.type != kTypeNull && value.data) {
    const int32_t fixed = FixedLength(value.type);
    cell.length = uint32_t(fixed >= 0 ? fixed : value.length);
    bytes_.append(static_cast<const char*>(value.data), cell.length);
  } else {
    cell.type = kTypeNull;
  }
  cells_.push_back(cell);
}

ValueRef MemoryRow::Value(size_t cell) const {
  if (cell >= cells_.size()) return ValueRef{};
  const Cell& c = cells_[cell];
  return ValueRef{c.type, bytes_.data() + c.offset, int32_t(c.length)};
}

bool MemoryRow::SameAs(size_t cell, const MemoryRow& other, size_t otherCell) const {
  return CompareBytes(cell, other, otherCell) == 0;
}

int32_t MemoryRow::CompareBytes(size_t cell, const MemoryRow& other, size_t otherCell) const {
  const ValueRef a = Value(cell), b = other.Value(otherCell);
  if (a.type != b.type) return a.type < b.type ? -1 : 1;
  return CompareRawBytes(std::string_view(static_cast<const char*>(a.data), size_t(a.length)),
                         std::string_view(static_cast<const char*>(b.data), size_t(b.length)), false);
}

/* ---- grouping and sorting ------------------------------------------------------------------- */

namespace {

/* One output row of a group: rows [first, last). */
MemoryRow GroupRow(const SelectPlan& plan, const std::vector<MemoryRow>& rows, size_t first, size_t last) {
  MemoryRow out;
  for (size_t i = 0; i < plan.columns.size(); i++) {
    const SelectFunction function = plan.columns[i].function;
    if (function == SelectFunction::kNone) {
      out.Append(first < last ? rows[first].Value(i) : ValueRef{});
      continue;
    }
    if (function == SelectFunction::kCount) {
      const int32_t count = int32_t(std::min<size_t>(last - first, INT32_MAX));
      out.Append(ValueRef{kTypeInteger, &count, 4});
      continue;
    }
    if (function == SelectFunction::kMin || function == SelectFunction::kMax) {
      ValueRef best;
      for (size_t r = first; r < last; r++) {
        const ValueRef v = rows[r].Value(i);
        if (v.type == kTypeNull) continue;
        const int32_t order = best.type == kTypeNull ? 0 : CompareValues(v, best);
        if (best.type == kTypeNull || (function == SelectFunction::kMin ? order < 0 : order > 0)) best = v;
      }
      double number = 0;
      out.Append(NumericValue(best, &number) ? DoubleValue(&number) : best);
      continue;
    }
    double sum = 0;
    int64_t used = 0;
    for (size_t r = first; r < last; r++) {
      double v = 0;
      if (!NumericValue(rows[r].Value(i), &v)) continue;
      sum += v;
      used++;
    }
    const double result = function == SelectFunction::kAvg && used > 0 ? sum / double(used) : sum;
    out.Append(used > 0 ? DoubleValue(&result) : ValueRef{});
  }
  return out;
}

std::vector<MemoryRow> GroupRows(const SelectPlan& plan, std::vector<MemoryRow> rows) {
  std::vector<MemoryRow> groups;
  if (plan.group < 0) {
    groups.push_back(GroupRow(plan, rows, 0, rows.size()));
    return groups;
  }
  const size_t g = size_t(plan.group);
  std::stable_sort(rows.begin(), rows.end(), [g](const MemoryRow& a, const MemoryRow& b) {
    const int32_t order = CompareValues(a.Value(g), b.Value(g));
    return order != 0 ? order < 0 : a.CompareBytes(g, b, g) < 0;
  });
  for (size_t first = 0; first < rows.size();) {
    size_t last = first + 1;
    while (last < rows.size() && rows[last].SameAs(g, rows[first], g)) last++;
    groups.push_back(GroupRow(plan, rows, first, last));
    first = last;
  }
  return groups;
}

void SortRows(const SelectPlan& plan, std::vector<MemoryRow>* rows) {
  std::stable_sort(rows->begin(), rows->end(), [&plan](const MemoryRow& a, const MemoryRow& b) {
    for (const SelectPlan::Key& key : plan.order) {
      int32_t order = CompareValues(a.Value(size_t(key.column)), b.Value(size_t(key.column)));
      if (key.descending) order = -order;
      if (order != 0) return order < 0;
    }
    return false;
  });
}

} // namespace

bool BuildSelectPlan(DatabaseObject* database, SelectStatement statement, SelectPlan* plan, SqlError* error) {
  if (!plan->source.Build(database, std::move(statement.from), std::move(statement.where), FilterForm::kAll, error)) {
    return false;
  }
  for (const SelectItem& item : statement.items) {
    if (!AddItem(plan, item, error)) return false;
  }
  plan->visible = int32_t(plan->columns.size());
  for (const OrderKey& key : statement.order) {
    if (key.number > 0) {
      if (key.number > plan->visible) return Fail(error, 201, "Invalid column index");
      plan->order.push_back({key.number - 1, key.descending});
      continue;
    }
    TableColumn source;
    if (!plan->source.Resolve(key.column, &source, error)) return false;
    int32_t column = PlainColumnOf(*plan, source);
    if (column < 0) {
      plan->columns.push_back({key.column.column, SelectFunction::kNone, source});
      column = plan->visible++;
    }
    plan->order.push_back({column, key.descending});
  }
  if (statement.group) {
    TableColumn source;
    if (!plan->source.Resolve(*statement.group, &source, error)) return false;
    plan->group = PlainColumnOf(*plan, source);
    if (plan->group < 0) {
      plan->group = int32_t(plan->columns.size());
      plan->columns.push_back({statement.group->column, SelectFunction::kNone, source}); /* hidden */
    }
  }
  return true;
}

ObjectHeader* RunSelect(DatabaseObject* database, std::unique_ptr<SelectPlan> plan) {
  if (plan->plain()) return NewJoinResult(database, std::move(plan));
  std::vector<MemoryRow> rows;
  {
    JoinScan scan(database, &plan->source);
    while (scan.Next()) {
      MemoryRow row;
      for (const ResultColumn& column : plan->columns) {
        if (column.function == SelectFunction::kCount) {
          row.Append(ValueRef{});
          continue;
        }
        row.Append(scan.ReadValue(column.source));
        scan.ReleaseValue(column.source.table);
      }
      rows.push_back(std::move(row));
    }
    if (scan.failed()) return nullptr;
  }
  if (plan->grouped()) rows = GroupRows(*plan, std::move(rows));
  if (!plan->order.empty()) SortRows(*plan, &rows);
  std::vector<std::string> names;
  for (int32_t i = 0; i < plan->visible; i++) names.push_back(plan->columns[size_t(i)].name);
  return NewMemoryResult(std::move(names), std::move(rows));
}

} // namespace quendal::db
