/*
** Tables, conditions and the nested-loop scan of the SQL layer: see
** sql_query.h.
**
** The condition is kept as the chain the parser makes (every "and" and
** "or" has a comparison on its left), so it is evaluated and derived by
** loops, never by recursion over a tree whose depth the statement decides.
*/
#include "runtime/database/sql_query.h"

#include <cassert>

#include "runtime/database/database_internal.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

std::string ReferenceText(const ColumnReference& reference) {
  return reference.table.empty() ? reference.column : reference.table + "." + reference.column;
}

bool IsNullTest(ConditionOperator op) { return op == ConditionOperator::kIsNull || op == ConditionOperator::kIsNotNull; }
bool IsLike(ConditionOperator op) { return op == ConditionOperator::kLike || op == ConditionOperator::kNotLike; }

ConditionOperator Mirrored(ConditionOperator op) {
  switch (op) {
    case ConditionOperator::kLess: return ConditionOperator::kGreater;
    case ConditionOperator::kGreater: return ConditionOperator::kLess;
    case ConditionOperator::kLessEqual: return ConditionOperator::kGreaterEqual;
    case ConditionOperator::kGreaterEqual: return ConditionOperator::kLessEqual;
    default: return op;
  }
}

/* The text of a value in the digits that read back exactly (the form a
** column on the right side of a comparison takes). */
void ExactValueText(const ValueRef& value, std::string* out) { AppendValueText(value, 9, 17, out); }

/* A field of a schema row by name, else by position (1-based). */
ObjectRef SchemaField(RecordSetObject* set, const char* name, int32_t position) {
  StringRef text(StringCreate(name, kEncodingASCII));
  ObjectRef field(cursorGetFieldByName(set, text.get()));
  if (!field) field = ObjectRef(cursorGetFieldByIndex(set, position));
  return field;
}

bool ReadSchema(DatabaseObject* database, QueryTable* table) {
  StringRef name(StringCreate(table->name, kEncodingUTF8));
  ObjectRef schema(database->engine->engineFieldSchema(database->engineHandle, name.get()));
  if (!schema || !RuntimeObjectIsa(schema.get(), RecordSetClass())) return false;
  auto* set = reinterpret_cast<RecordSetObject*>(schema.get());
  ObjectRef nameField = SchemaField(set, "ColumnName", 1);
  ObjectRef typeField = SchemaField(set, "FieldType", 2);
  while (nameField && !cursorEOFGetter(set)) {
    StringRef column(cursorFieldStringValueGetter(reinterpret_cast<DatabaseFieldObject*>(nameField.get())));
    table->columns.push_back(Utf8TextOf(column.get()));
    table->types.push_back(
        typeField ? cursorFieldIntegerValueGetter(reinterpret_cast<DatabaseFieldObject*>(typeField.get())) : 0);
    cursorMoveNext(set);
  }
  cursorClose(set);
  return true;
}

} // namespace

bool KeepEngineError(DatabaseObject* database) {
  EngineDefinition* engine = database->engine;
  if (!engine || !database->engineHandle || !engine->engineErrorCode) return false;
  const int32_t code = engine->engineErrorCode(database->engineHandle);
  if (code == 0) return false;
  StringRef message(engine->engineErrorMessage ? engine->engineErrorMessage(database->engineHandle) : nullptr);
  SetDatabaseError(database, code, Utf8TextOf(message.get()));
  return true;
}

/* ---- the source ------------------------------------------------------------------ */

bool QuerySource::Build(DatabaseObject* database, std::vector<FromTable> tables, std::unique_ptr<SqlCondition> where,
                        FilterForm form, SqlError* error) {
  assert(!tables.empty());
  form_ = form;
  where_ = std::move(where);
  for (FromTable& from : tables) {
    QueryTable table;
    table.name = std::move(from.name);
    table.alias = std::move(from.alias);
    if (!database->engine->engineFieldSchema || !ReadSchema(database, &table)) {
      if (KeepEngineError(database)) {
        error->code = database->errorCode;
        error->message = Utf8TextOf(database->errorMessage);
        return false;
      }
      error->code = 202;
      error->message = "Invalid table " + table.name;
      return false;
    }
    tables_.push_back(std::move(table));
  }
  return Bind(error);
}

bool QuerySource::Resolve(const ColumnReference& reference, TableColumn* out, SqlError* error) const {
  int32_t matches = 0;
  for (size_t t = 0; t < tables_.size(); t++) {
    const QueryTable& table = tables_[t];
    if (!reference.table.empty() && !SameName(reference.table, table.alias) && !SameName(reference.table, table.name)) {
      continue;
    }
    for (size_t c = 0; c < table.columns.size(); c++) {
      if (!SameName(table.columns[c], reference.column)) continue;
      *out = TableColumn{int32_t(t), int32_t(c)};
      matches++;
    }
  }
  if (matches == 1) return true;
  error->code = matches == 0 ? 206 : 205;
  error->message = (matches == 0 ? "Unknown column: " : "Ambiguous column reference: ") + ReferenceText(reference);
  return false;
}

bool QuerySource::Bind(SqlError* error) {
  const SqlCondition* node = where_.get();
  while (node) {
    const bool inner = node->kind != SqlCondition::Kind::kComparison;
    const SqlCondition* term = inner ? node->left.get() : node;
    assert(term && term->kind == SqlCondition::Kind::kComparison && "conditions are right-nested chains");
    BoundTerm bound{term, {}, {}, {}};
    if (!Resolve(term->column, &bound.left, error)) return false;
    if (term->rightIsColumn) {
      if (!Resolve(term->rightColumn, &bound.right, error)) return false;
    } else {
      bound.operand = ComparisonOperand::Of(term->literal);
    }
    terms_.push_back(std::move(bound));
    if (!inner) break;
    joins_.push_back(node->kind);
    node = node->right.get();
  }
  return true;
}

/* ---- the scan ------------------------------------------------------------------------ */

JoinScan::JoinScan(DatabaseObject* database, const QuerySource* source)
    : database_(database), source_(source), cursors_(source->tables_.size()), columnMap_(source->tables_.size()) {
  evaluate_ = source->tables_.size() > 1 && !source->terms_.empty();
}

JoinScan::~JoinScan() { Restart(); }

void JoinScan::Restart() {
  for (size_t level = cursors_.size(); level-- > 0;) Close(int32_t(level));
  started_ = false;
  finished_ = false;
  failed_ = false;
}

void JoinScan::Close(int32_t level) {
  RecordSetObject* set = cursors_[size_t(level)].set;
  if (!set) return;
  cursors_[size_t(level)].set = nullptr;
  ObjectRef owned(&set->header);
  cursorClose(set);
}

void JoinScan::Advance(int32_t level) { cursorMoveNext(cursors_[size_t(level)].set); }

bool JoinScan::Fail(int32_t code, const std::string& message) {
  SetDatabaseError(database_, code, message);
  Restart();
  failed_ = finished_ = true;
  return false;
}

bool JoinScan::EngineStopped() {
  if (!KeepEngineError(database_)) return false;
  Restart();
  failed_ = finished_ = true;
  return true;
}

bool JoinScan::Open(int32_t level) {
  /* Opening a cursor clears the engine's error: an error met since the
  ** last opening (a large value that could not be read) is kept first. */
  if (openedBefore_) (void)KeepEngineError(database_);
  openedBefore_ = true;
  bool complete = true;
  std::unique_ptr<SqlCondition> filter = DeriveFilter(level, &complete);
  if (source_->tables_.size() == 1) evaluate_ = !complete;
  const QueryTable& table = source_->tables_[size_t(level)];
  StringRef name(StringCreate(table.name, kEncodingUTF8));
  StringRef star(StringCreate("*", kEncodingASCII));
  ORVAColumnNameNode all{nullptr, star.get()};
  ObjectRef opened(database_->engine->engineOpenTableCursor(database_->engineHandle, name.get(), &all, filter.get()));
  if (!opened || !RuntimeObjectIsa(opened.get(), RecordSetClass())) {
    if (EngineStopped()) return false;
    return Fail(203, "Internal validation error");
  }
  auto* set = reinterpret_cast<RecordSetObject*>(opened.release());
  cursors_[size_t(level)].set = set;
  std::vector<int32_t>& map = columnMap_[size_t(level)];
  if (map.empty()) {
    map.assign(table.columns.size(), -1);
    const int32_t count = cursorFieldCount(set);
    for (int32_t c = 0; c < count && set->cursor->curColumnName; c++) {
      StringRef cursorName(set->cursor->curColumnName(set->cursorHandle, c));
      const std::string text = Utf8TextOf(cursorName.get());
      for (size_t s = 0; s < table.columns.size(); s++) {
        if (map[s] < 0 && SameName(table.columns[s], text)) map[s] = c;
      }
    }
  }
  return true;
}

bool JoinScan::Next() {
  if (finished_) return false;
  const int32_t last = int32_t(cursors_.size()) - 1;
  int32_t level = last;
  if (!started_) {
    started_ = true;
    level = 0;
    if (!Open(0)) return false;
  } else {
    Advance(level);
  }
  for (;;) {
    if (cursors_[size_t(level)].set->eof) {
      if (EngineStopped()) return false;
      Close(level);
      if (level == 0) {
        finished_ = true;
        return false;
      }
      Advance(--level);
      continue;
    }
    if (level < last) {
      if (!Open(++level)) return false;
      continue;
    }
    if (evaluate_ && !ConditionHolds()) {
      Advance(level);
      continue;
    }
    return true;
  }
}

int32_t JoinScan::CursorColumn(const TableColumn& column) const {
  const std::vector<int32_t>& map = columnMap_[size_t(column.table)];
  return column.column < int32_t(map.size()) ? map[size_t(column.column)] : -1;
}

ValueRef JoinScan::ReadValue(const TableColumn& column) {
  ValueRef value;
  RecordSetObject* set = cursors_[size_t(column.table)].set;
  const int32_t cursorColumn = CursorColumn(column);
  if (!set || set->eof || cursorColumn < 0 || !RecordSetIsOpen(set) || !set->cursor->curColumnValue) return value;
  void* data = nullptr;
  int32_t length = 0;
  set->cursor->curColumnValue(set->cursorHandle, cursorColumn, &data, &value.type, &length);
  value.data = data;
  value.length = length < 0 ? 0 : length;
  if (!data && value.type != kTypeNull) value.type = kTypeNull; /* nothing to read */
  return value;
}

void JoinScan::ReleaseValue(int32_t table) {
  RecordSetObject* set = cursors_[size_t(table)].set;
  if (RecordSetIsOpen(set) && set->cursor->curReleaseValue) set->cursor->curReleaseValue(set->cursorHandle);
}

/* ---- evaluating the condition ------------------------------------------------------------ */

bool JoinScan::ConditionHolds() {
  const std::vector<BoundTerm>& terms = source_->terms_;
  for (size_t i = 0; i < terms.size(); i++) {
    const bool holds = TermHolds(terms[i]);
    if (i + 1 == terms.size()) return holds;
    /* a op (rest): "and" with a false left is false, "or" with a true left
    ** is true; otherwise the rest decides. */
    if (source_->joins_[i] == SqlCondition::Kind::kAnd && !holds) return false;
    if (source_->joins_[i] == SqlCondition::Kind::kOr && holds) return true;
  }
  return true;
}

bool JoinScan::TermHolds(const BoundTerm& term) {
  const SqlCondition& node = *term.node;
  std::string_view right = node.literal;
  ComparisonOperand operand = term.operand;
  if (node.rightIsColumn) {
    const ValueRef value = ReadValue(term.right);
    const bool present = value.type != kTypeNull;
    rightText_.clear();
    ExactValueText(value, &rightText_);
    ReleaseValue(term.right.table);
    if (!present) return false; /* a missing right value fails the comparison */
    right = rightText_;
    operand = ComparisonOperand::Of(rightText_);
  }
  const ValueRef value = ReadValue(term.left);
  const bool holds = ComparisonHolds(node.op, node.caseMode, value, right, operand, &scratch_);
  ReleaseValue(term.left.table);
  return holds;
}

/* ---- deriving a table's filter -------------------------------------------------------------- */

bool JoinScan::OuterValueText(const TableColumn& column, std::string* text) {
  const ValueRef value = ReadValue(column);
  const bool present = value.type != kTypeNull;
  text->clear();
  ExactValueText(value, text);
  ReleaseValue(column.table);
  return present;
}

std::unique_ptr<SqlCondition> JoinScan::DeriveTerm(int32_t table, const BoundTerm& term) {
  const SqlCondition& node = *term.node;
  if (source_->form_ == FilterForm::kComparisonsOnly && (IsNullTest(node.op) || IsLike(node.op))) return nullptr;
  const std::vector<std::string>& leftColumns = source_->tables_[size_t(term.left.table)].columns;
  const ColumnReference left{"", leftColumns[size_t(term.left.column)]};
  if (term.left.table == table) {
    if (!node.rightIsColumn) return SqlCondition::Comparison(left, node.op, node.literal, node.caseMode);
    const std::string& rightName = source_->tables_[size_t(term.right.table)].columns[size_t(term.right.column)];
    if (term.right.table == table) {
      return SqlCondition::ColumnComparison(left, node.op, ColumnReference{"", rightName}, node.caseMode);
    }
    std::string value;
    if (term.right.table > table || !OuterValueText(term.right, &value)) return nullptr;
    return SqlCondition::Comparison(left, node.op, std::move(value), node.caseMode);
  }
  /* "outer.c op this.c": turned around only where both forms read alike */
  if (!node.rightIsColumn || term.right.table != table || term.left.table > table) return nullptr;
  if (node.caseMode != CaseMode::kNone || IsLike(node.op) || IsNullTest(node.op)) return nullptr;
  const QueryTable& inner = source_->tables_[size_t(table)];
  const QueryTable& outer = source_->tables_[size_t(term.left.table)];
  if (inner.types[size_t(term.right.column)] != outer.types[size_t(term.left.column)]) return nullptr;
  std::string value;
  if (!OuterValueText(term.left, &value)) return nullptr;
  return SqlCondition::Comparison(ColumnReference{"", inner.columns[size_t(term.right.column)]}, Mirrored(node.op),
                                  std::move(value));
}

std::unique_ptr<SqlCondition> JoinScan::DeriveFilter(int32_t table, bool* complete) {
  const std::vector<BoundTerm>& terms = source_->terms_;
  *complete = true;
  if (terms.empty()) return nullptr;
  std::unique_ptr<SqlCondition> rest = DeriveTerm(table, terms.back());
  if (!rest) *complete = false;
  for (size_t i = terms.size() - 1; i-- > 0;) {
    std::unique_ptr<SqlCondition> term = DeriveTerm(table, terms[i]);
    if (!term) *complete = false;
    if (source_->joins_[i] == SqlCondition::Kind::kAnd) {
      if (term && rest) {
        rest = SqlCondition::Join(SqlCondition::Kind::kAnd, std::move(term), std::move(rest));
      } else if (term) {
        rest = std::move(term);
      }
    } else if (term && rest) {
      rest = SqlCondition::Join(SqlCondition::Kind::kOr, std::move(term), std::move(rest));
    } else {
      rest.reset(); /* an alternative left out: the whole "or" is */
    }
  }
  return rest;
}

} // namespace quendal::db
