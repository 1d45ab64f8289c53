/*
** The SQL layer's parser: see sql_statement.h.
**
** Each parse function reads tokens from one SqlTokenizer and returns false
** at the first error, with the error's code and message filled in.  A
** statement must end where its grammar ends: left-over text (a LIMIT, a
** second statement) is an error rather than silently ignored, so that no
** statement does more than it says.
*/
#include "runtime/database/sql_statement.h"

#include <algorithm>

#include "runtime/text/string_compare.h"

namespace quendal::db {

namespace {

bool Fail(SqlError* error, int32_t code, std::string message) {
  error->code = code;
  error->message = std::move(message);
  return false;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

/* Nothing may follow a complete statement. */
bool ExpectEnd(SqlTokenizer* tokens, SqlError* error) {
  SqlToken token = tokens->Next();
  if (token.IsEnd()) return true;
  return Fail(error, 200, "Unexpected text: " + token.text);
}

bool ExpectSymbol(SqlTokenizer* tokens, std::string_view symbol, const char* message, SqlError* error) {
  return tokens->Next().IsSymbol(symbol) || Fail(error, 200, message);
}

bool ExpectKeyword(SqlTokenizer* tokens, std::string_view keyword, const char* message, SqlError* error) {
  return tokens->Next().Is(keyword) || Fail(error, 200, message);
}

/* A name, optionally qualified: name [. name]. */
bool ParseColumnReference(SqlTokenizer* tokens, ColumnReference* out, const char* message, SqlError* error) {
  SqlToken first = tokens->Next();
  if (!first.IsName()) return Fail(error, 201, message);
  SqlToken dot = tokens->Next();
  if (!dot.IsSymbol(".")) {
    tokens->PutBack(std::move(dot));
    *out = ColumnReference{"", first.value};
    return true;
  }
  SqlToken second = tokens->Next();
  if (!second.IsName()) return Fail(error, 201, message);
  *out = ColumnReference{first.value, second.value};
  return true;
}

/* A value of INSERT or UPDATE. */
bool ParseValue(SqlTokenizer* tokens, std::optional<std::string>* out, SqlError* error) {
  SqlToken token = tokens->Next();
  if (token.IsEnd() || token.kind == SqlToken::Kind::kSymbol) return Fail(error, 200, "Expecting a value");
  if (token.kind == SqlToken::Kind::kQuoted) {
    *out = std::move(token.value);
  } else if (token.Is("null")) {
    out->reset();
  } else {
    *out = std::move(token.text);
  }
  return true;
}

/* ---- column definitions ------------------------------------------------------ */

int32_t SimpleTypeCode(const SqlToken& token) {
  static const struct {
    const char* word;
    int32_t code;
  } kTypes[] = {{"char", 5},  {"character", 5}, {"varchar", 5},   {"smallint", 2}, {"integer", 3},
                {"float", 6}, {"double", 7},    {"date", 8},      {"time", 9},     {"timestamp", 10},
                {"boolean", 12}};
  for (const auto& t : kTypes) {
    if (token.Is(t.word)) return t.code;
  }
  return 0;
}

/* The rest of a column definition once its name is read: type, optional
** length, optional NOT NULL. */
bool ParseColumnRest(SqlTokenizer* tokens, std::string name, SqlColumnDefinition* out, SqlError* error) {
  out->name = std::move(name);
  SqlToken type = tokens->Next();
  out->type = SimpleTypeCode(type);
  if (out->type == 0 && type.Is("long")) {
    SqlToken second = tokens->Next();
    if (second.Is("varchar")) out->type = 15;
    if (second.Is("varbinary")) out->type = 16;
  }
  if (out->type == 0) return Fail(error, 200, "Expecting field type");

  SqlToken after = tokens->Next();
  if (after.IsSymbol("(")) {
    if (!tokens->Next().IsNumber()) return Fail(error, 201, "Invalid field constraint");
    if (!ExpectSymbol(tokens, ")", "Expecting ')'", error)) return false;
  } else {
    tokens->PutBack(std::move(after));
  }
  SqlToken notToken = tokens->Next();
  if (notToken.Is("not")) {
    if (!ExpectKeyword(tokens, "null", "Expecting 'NULL'", error)) return false;
    out->nullable = false;
  } else {
    out->nullable = true;
    tokens->PutBack(std::move(notToken));
  }
  return true;
}

bool ParsePrimaryKey(SqlTokenizer* tokens, CreateTableStatement* out, SqlError* error) {
  if (!ExpectKeyword(tokens, "key", "Expecting 'KEY'", error)) return false;
  if (!ExpectSymbol(tokens, "(", "Expecting '('", error)) return false;
  out->keyPositions.clear();
  for (;;) {
    SqlToken column = tokens->Next();
    if (!column.IsName()) return Fail(error, 201, "Invalid column name");
    const auto found = std::find_if(out->columns.begin(), out->columns.end(),
                                    [&](const SqlColumnDefinition& c) { return SameName(c.name, column.value); });
    if (found == out->columns.end()) return Fail(error, 201, "Invalid column");
    const size_t index = size_t(found - out->columns.begin());
    if (index >= 256) return Fail(error, 201, "Too many columns");
    out->keyPositions.push_back(uint8_t(index));
    SqlToken separator = tokens->Next();
    if (separator.IsSymbol(")")) return true;
    if (!separator.IsSymbol(",")) return Fail(error, 200, "Expecting ',' or ')'");
  }
}

/* ---- statements ------------------------------------------------------------------ */

bool ParseCreate(SqlTokenizer* tokens, ExecuteStatement* out, SqlError* error) {
  if (!tokens->Next().Is("table")) return true; /* CREATE INDEX and the like: ignored */
  CreateTableStatement& create = out->create;
  create.table = tokens->Next().value;
  if (!ExpectSymbol(tokens, "(", "Expecting '('", error)) return false;
  for (;;) {
    SqlToken first = tokens->Next();
    if (first.IsSymbol(")")) break; /* "()" and a trailing "," end the list */
    if (first.Is("primary")) {
      if (!ParsePrimaryKey(tokens, &create, error)) return false;
    } else {
      SqlColumnDefinition column;
      if (!ParseColumnRest(tokens, first.value, &column, error)) return false;
      create.columns.push_back(std::move(column));
    }
    SqlToken separator = tokens->Next();
    if (separator.IsSymbol(")")) break;
    if (!separator.IsSymbol(",")) return Fail(error, 200, "Expecting ',' or ')'");
  }
  if (create.columns.empty()) return Fail(error, 206, "CREATE TABLE requires at least one column defined");
  if (!ExpectEnd(tokens, error)) return false;
  out->kind = StatementKind::kCreateTable;
  return true;
}

bool ParseAlter(SqlTokenizer* tokens, ExecuteStatement* out, SqlError* error) {
  if (!tokens->Next().Is("table")) return true;
  out->alter.table = tokens->Next().value;
  SqlToken action = tokens->Next();
  if (action.Is("drop")) return Fail(error, 2008, "Dropping columns is not supported for this database");
  if (!action.Is("add")) return Fail(error, 200, "Expected 'ADD'");
  SqlToken name = tokens->Next();
  if (name.Is("column")) name = tokens->Next();
  if (!ParseColumnRest(tokens, name.value, &out->alter.column, error)) return false;
  if (!ExpectEnd(tokens, error)) return false;
  out->kind = StatementKind::kAlterTable;
  return true;
}

bool ParseInsert(SqlTokenizer* tokens, ExecuteStatement* out, SqlError* error) {
  InsertStatement& insert = out->insert;
  if (!ExpectKeyword(tokens, "into", "Expecting 'INTO'", error)) return false;
  SqlToken table = tokens->Next();
  if (!table.IsName()) return Fail(error, 201, "Invalid table name");
  insert.table = table.value;
  if (!ExpectSymbol(tokens, "(", "Expecting '('", error)) return false;
  for (;;) {
    SqlToken column = tokens->Next();
    if (!column.IsName()) return Fail(error, 201, "Invalid column name");
    insert.columns.push_back(column.value);
    SqlToken separator = tokens->Next();
    if (separator.IsSymbol(")")) break;
    if (!separator.IsSymbol(",")) return Fail(error, 200, "Expecting ',' or ')'");
  }
  if (!ExpectKeyword(tokens, "values", "Expecting 'VALUES'", error)) return false;
  if (!ExpectSymbol(tokens, "(", "Expecting '('", error)) return false;
  SqlToken first = tokens->Next();
  if (!first.IsSymbol(")")) {
    tokens->PutBack(std::move(first));
    for (;;) {
      std::optional<std::string> value;
      if (!ParseValue(tokens, &value, error)) return false;
      insert.values.push_back(std::move(value));
      SqlToken separator = tokens->Next();
      if (separator.IsSymbol(")")) break;
      if (!separator.IsSymbol(",")) return Fail(error, 200, "Expecting ',' or ')'");
    }
  }
  if (insert.columns.size() != insert.values.size()) return Fail(error, 208, "Mismatched INSERT columns");
  if (!ExpectEnd(tokens, error)) return false;
  out->kind = StatementKind::kInsert;
  return true;
}

/* Optional "where" condition, then the end of the statement. */
bool ParseWhereToEnd(SqlTokenizer* tokens, std::unique_ptr<SqlCondition>* where, SqlError* error) {
  SqlToken token = tokens->Next();
  if (token.Is("where")) {
    if (!ParseCondition(tokens, where, error)) return false;
  } else {
    tokens->PutBack(std::move(token));
  }
  return ExpectEnd(tokens, error);
}

bool ParseUpdate(SqlTokenizer* tokens, ExecuteStatement* out, SqlError* error) {
  UpdateStatement& update = out->update;
  SqlToken table = tokens->Next();
  if (!table.IsName()) return Fail(error, 201, "Invalid table name");
  update.table = table.value;
  if (!ExpectKeyword(tokens, "set", "Expecting 'SET'", error)) return false;
  for (;;) {
    SqlToken column = tokens->Next();
    if (!column.IsName()) return Fail(error, 201, "Invalid column name");
    if (!ExpectSymbol(tokens, "=", "Expecting '='", error)) return false;
    SqlAssignment assignment{column.value, std::nullopt};
    if (!ParseValue(tokens, &assignment.value, error)) return false;
    update.assignments.push_back(std::move(assignment));
    SqlToken separator = tokens->Next();
    if (!separator.IsSymbol(",")) {
      tokens->PutBack(std::move(separator));
      break;
    }
  }
  if (!ParseWhereToEnd(tokens, &update.where, error)) return false;
  out->kind = StatementKind::kUpdate;
  return true;
}

bool ParseDelete(SqlTokenizer* tokens, ExecuteStatement* out, SqlError* error) {
  if (!ExpectKeyword(tokens, "from", "Expecting 'FROM'", error)) return false;
  SqlToken table = tokens->Next();
  if (!table.IsName()) return Fail(error, 201, "Invalid table name");
  out->remove.table = table.value;
  if (!ParseWhereToEnd(tokens, &out->remove.where, error)) return false;
  out->kind = StatementKind::kDelete;
  return true;
}

/* ---- conditions -------------------------------------------------------------------- */

bool ParseOperator(SqlTokenizer* tokens, ConditionOperator* op, SqlError* error) {
  static const struct {
    const char* symbol;
    ConditionOperator op;
  } kSymbols[] = {{"=", ConditionOperator::kEqual},         {"<", ConditionOperator::kLess},
                  {">", ConditionOperator::kGreater},       {"<=", ConditionOperator::kLessEqual},
                  {">=", ConditionOperator::kGreaterEqual}, {"<>", ConditionOperator::kNotEqual}};
  SqlToken token = tokens->Next();
  for (const auto& s : kSymbols) {
    if (token.IsSymbol(s.symbol)) {
      *op = s.op;
      return true;
    }
  }
  if (token.Is("like")) {
    *op = ConditionOperator::kLike;
    return true;
  }
  if (token.Is("not") && tokens->Next().Is("like")) {
    *op = ConditionOperator::kNotLike;
    return true;
  }
  if (token.Is("is")) {
    SqlToken second = tokens->Next();
    if (second.Is("null")) {
      *op = ConditionOperator::kIsNull;
      return true;
    }
    if (second.Is("not") && tokens->Next().Is("null")) {
      *op = ConditionOperator::kIsNotNull;
      return true;
    }
  }
  return Fail(error, 201, "Invalid operator " + token.text);
}

std::unique_ptr<SqlCondition> ParseComparison(SqlTokenizer* tokens, SqlError* error) {
  const char* const kBadColumn = "Invalid column/table identifier";
  CaseMode caseMode = CaseMode::kNone;
  ColumnReference column;
  SqlToken first = tokens->Next();
  if (first.Is("upper") || first.Is("lower")) {
    caseMode = first.Is("upper") ? CaseMode::kUpper : CaseMode::kLower;
    if (!ExpectSymbol(tokens, "(", "Expected '('", error)) return nullptr;
    if (!ParseColumnReference(tokens, &column, kBadColumn, error)) return nullptr;
    if (!ExpectSymbol(tokens, ")", "Expected ')'", error)) return nullptr;
  } else {
    tokens->PutBack(std::move(first));
    if (!ParseColumnReference(tokens, &column, kBadColumn, error)) return nullptr;
  }
  ConditionOperator op;
  if (!ParseOperator(tokens, &op, error)) return nullptr;
  if (op == ConditionOperator::kIsNull || op == ConditionOperator::kIsNotNull) {
    return SqlCondition::Comparison(std::move(column), op, "", caseMode);
  }
  SqlToken right = tokens->Next();
  if (right.kind == SqlToken::Kind::kQuoted) return SqlCondition::Comparison(std::move(column), op, right.value, caseMode);
  if (op == ConditionOperator::kLike || op == ConditionOperator::kNotLike) {
    Fail(error, 201, "Quotes expected after LIKE operation");
    return nullptr;
  }
  if (right.IsName()) {
    tokens->PutBack(std::move(right));
    ColumnReference other;
    if (!ParseColumnReference(tokens, &other, kBadColumn, error)) return nullptr;
    return SqlCondition::ColumnComparison(std::move(column), op, std::move(other), caseMode);
  }
  if (right.IsEnd() || right.kind == SqlToken::Kind::kSymbol) {
    Fail(error, 200, "Expecting a value");
    return nullptr;
  }
  return SqlCondition::Comparison(std::move(column), op, right.text, caseMode);
}

/* ---- queries ---------------------------------------------------------------------- */

const char* FunctionName(SelectFunction function) {
  switch (function) {
    case SelectFunction::kCount: return "count";
    case SelectFunction::kMin: return "min";
    case SelectFunction::kMax: return "max";
    case SelectFunction::kSum: return "sum";
    case SelectFunction::kAvg: return "avg";
    case SelectFunction::kNone: break;
  }
  return "";
}

std::string ReferenceText(const ColumnReference& column) {
  return column.table.empty() ? column.column : column.table + "." + column.column;
}

bool ParseFunctionItem(SqlTokenizer* tokens, const SqlToken& name, SelectItem* item, SqlError* error) {
  if (name.Is("count")) {
    item->function = SelectFunction::kCount;
    SqlToken star = tokens->Next();
    if (!(star.kind == SqlToken::Kind::kWord && star.text == "*")) return Fail(error, 201, "Only COUNT(*) supported");
    if (!ExpectSymbol(tokens, ")", "Expected ')'", error)) return false;
    item->display = "count(*)";
    return true;
  }
  if (name.Is("min")) item->function = SelectFunction::kMin;
  if (name.Is("max")) item->function = SelectFunction::kMax;
  if (name.Is("sum")) item->function = SelectFunction::kSum;
  if (name.Is("avg")) item->function = SelectFunction::kAvg;
  if (item->function == SelectFunction::kNone) return Fail(error, 201, "Unsupported SELECT function");
  if (!ParseColumnReference(tokens, &item->column, "Invalid column name", error)) return false;
  if (!ExpectSymbol(tokens, ")", "Expected ')'", error)) return false;
  item->display = std::string(FunctionName(item->function)) + "(" + ReferenceText(item->column) + ")";
  return true;
}

bool IsStar(const SqlToken& token) { return token.kind == SqlToken::Kind::kWord && token.text == "*"; }

bool ParseSelectItem(SqlTokenizer* tokens, SelectItem* item, SqlError* error) {
  SqlToken first = tokens->Next();
  if (IsStar(first)) {
    item->all = true;
    return true;
  }
  if (!first.IsName()) return Fail(error, 201, "Invalid column/table name");
  SqlToken next = tokens->Next();
  if (next.IsSymbol("(")) return ParseFunctionItem(tokens, first, item, error);
  if (!next.IsSymbol(".")) {
    tokens->PutBack(std::move(next));
    item->column = ColumnReference{"", first.value};
    item->display = first.value;
    return true;
  }
  SqlToken second = tokens->Next();
  if (IsStar(second)) {
    item->all = true;
    item->column.table = first.value;
    return true;
  }
  if (!second.IsName()) return Fail(error, 201, "Invalid column name");
  item->column = ColumnReference{first.value, second.value};
  item->display = second.value;
  return true;
}

bool IsClauseKeyword(const SqlToken& token) { return token.Is("where") || token.Is("order") || token.Is("group"); }

bool ParseFrom(SqlTokenizer* tokens, SelectStatement* out, SqlError* error) {
  for (;;) {
    SqlToken name = tokens->Next();
    if (!name.IsName()) return Fail(error, 201, "Invalid table name");
    FromTable table{name.value, ""};
    SqlToken next = tokens->Next();
    if (next.Is("as")) {
      next = tokens->Next();
      if (!next.IsName()) return Fail(error, 201, "Invalid table name");
    }
    if (next.IsName() && !IsClauseKeyword(next)) {
      table.alias = next.value;
      next = tokens->Next();
    }
    out->from.push_back(std::move(table));
    if (next.IsSymbol(",")) continue;
    if (!next.IsEnd() && !IsClauseKeyword(next)) return Fail(error, 200, "Expecting ','");
    tokens->PutBack(std::move(next));
    return true;
  }
}

bool ParseOrderBy(SqlTokenizer* tokens, SelectStatement* out, SqlError* error) {
  if (!ExpectKeyword(tokens, "by", "Expecting 'BY'", error)) return false;
  for (;;) {
    OrderKey key;
    SqlToken token = tokens->Next();
    if (token.IsNumber()) {
      key.number = token.text.size() > 9 ? INT32_MAX : std::stoi(token.text);
      if (key.number == 0) return Fail(error, 201, "Invalid column index");
    } else if (token.IsName()) {
      tokens->PutBack(std::move(token));
      if (!ParseColumnReference(tokens, &key.column, "Invalid column index", error)) return false;
    } else {
      return Fail(error, 201, out->order.empty() ? "Invalid ORDER BY column" : "Invalid column index");
    }
    SqlToken direction = tokens->Next();
    if (direction.Is("desc")) {
      key.descending = true;
    } else if (!direction.Is("asc")) {
      tokens->PutBack(std::move(direction));
    }
    out->order.push_back(std::move(key));
    SqlToken separator = tokens->Next();
    if (!separator.IsSymbol(",")) {
      tokens->PutBack(std::move(separator));
      return true;
    }
  }
}

bool ParseGroupBy(SqlTokenizer* tokens, SelectStatement* out, SqlError* error) {
  const char* const kConjunction = "ORDER BY can't be used in conjunction with GROUP BY";
  if (!out->order.empty()) return Fail(error, 201, kConjunction);
  if (!ExpectKeyword(tokens, "by", "Expecting 'BY'", error)) return false;
  ColumnReference column;
  if (!ParseColumnReference(tokens, &column, "Invalid GROUP BY column", error)) return false;
  out->group = std::move(column);
  SqlToken next = tokens->Next();
  if (next.IsSymbol(",")) return Fail(error, 201, "Only single GROUP BY columns currently supported");
  if (next.Is("order")) return Fail(error, 201, kConjunction);
  tokens->PutBack(std::move(next));
  return true;
}

} // namespace

bool ParseCondition(SqlTokenizer* tokens, std::unique_ptr<SqlCondition>* out, SqlError* error) {
  std::vector<std::unique_ptr<SqlCondition>> terms;
  std::vector<SqlCondition::Kind> joins;
  for (;;) {
    if (int32_t(terms.size()) == kMaxConditionTerms) return Fail(error, 201, "Too many conditions");
    std::unique_ptr<SqlCondition> term = ParseComparison(tokens, error);
    if (!term) return false;
    terms.push_back(std::move(term));
    SqlToken next = tokens->Next();
    if (next.Is("and") || next.Is("or")) {
      joins.push_back(next.Is("and") ? SqlCondition::Kind::kAnd : SqlCondition::Kind::kOr);
      continue;
    }
    tokens->PutBack(std::move(next));
    break;
  }
  /* Right-nested: the rest of the text is the right operand. */
  std::unique_ptr<SqlCondition> tree = std::move(terms.back());
  for (size_t i = joins.size(); i-- > 0;) tree = SqlCondition::Join(joins[i], std::move(terms[i]), std::move(tree));
  *out = std::move(tree);
  return true;
}

bool ParseExecuteStatement(std::string_view text, ExecuteStatement* out, SqlError* error) {
  SqlTokenizer tokens(StripStatementEnd(text));
  SqlToken first = tokens.Next();
  out->commit = first.Is("commit");
  out->rollback = first.Is("rollback");
  if (first.Is("create")) return ParseCreate(&tokens, out, error);
  if (first.Is("alter")) return ParseAlter(&tokens, out, error);
  if (first.Is("insert")) return ParseInsert(&tokens, out, error);
  if (first.Is("update")) return ParseUpdate(&tokens, out, error);
  if (first.Is("delete")) return ParseDelete(&tokens, out, error);
  if (first.Is("drop")) return Fail(error, 2007, "Dropping tables from this database is not currently supported.");
  return true;
}

bool ParseSelectStatement(std::string_view text, SelectStatement* out, SqlError* error) {
  SqlTokenizer tokens(StripStatementEnd(text));
  if (!tokens.Next().Is("select")) return Fail(error, 200, "Expected 'SELECT'");
  for (;;) {
    SelectItem item;
    if (!ParseSelectItem(&tokens, &item, error)) return false;
    out->items.push_back(std::move(item));
    SqlToken separator = tokens.Next();
    if (separator.Is("from")) break;
    if (!separator.IsSymbol(",")) return Fail(error, 200, "Expecting ','");
  }
  if (!ParseFrom(&tokens, out, error)) return false;
  SqlToken clause = tokens.Next();
  if (clause.Is("where")) {
    if (!ParseCondition(&tokens, &out->where, error)) return false;
    clause = tokens.Next();
  }
  if (clause.Is("order")) {
    if (!ParseOrderBy(&tokens, out, error)) return false;
    clause = tokens.Next();
  }
  if (clause.Is("group")) {
    if (!ParseGroupBy(&tokens, out, error)) return false;
    clause = tokens.Next();
  }
  if (!clause.IsEnd()) return Fail(error, 200, "Unexpected text: " + clause.text);
  return true;
}

} // namespace quendal::db
