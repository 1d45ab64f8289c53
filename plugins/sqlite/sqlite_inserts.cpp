/*
** engineInsertRecord: one row of a DatabaseRecord into a table.  See
** sqlite_plugin.h.
**
** The row's statement is "INSERT INTO <table>(<names>) VALUES (...)",
** the table and the names as the record holds them.  Each value becomes:
**   Binary, LongBinary     its bytes as a blob (nil: an empty blob)
**   nil Char or Text       the empty text
**   any other nil          NULL
**   Date, Time, TimeStamp  its text with one-digit time fields widened
**   Boolean                "true" -> '1', "false" -> '0' (case ignored),
**                          any other text as it is
**   anything else          its text
**
** Two ways to run it, storing the same values and the same errors:
**
**   Prepared: the statement with "?1".."?n" in place of the values is
**   kept prepared on the connection, keyed by its whole text (so by table
**   and column list, in order), and each row binds its values: texts as
**   text, so that column affinity treats them exactly as it treats a
**   quoted literal.  A connection keeps a few such statements; all of
**   them are finalized before the connection runs any other statement
**   (which may change the schema), and before it closes.
**
**   Literal: the values written into the text as quoted literals (blobs
**   still bound) and the text run by ExecuteStatements, as every other
**   statement is.
**
** The prepared way is taken only where the two cannot differ: a table
** name and column names without a NUL byte, texts without a NUL byte (a
** literal ends the statement text there), values small enough that the
** literal text stays far below SQLite's statement length limit, and a
** statement text that SQLite prepares whole into one statement with one
** parameter per value.  Otherwise - and whenever preparing fails, so that
** the error is the one the literal statement meets - the literal way runs.
*/
#include <cctype>
#include <cstring>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

/* Statements kept per connection; a converter inserts into one table at a
** time, so a few suffice. */
constexpr size_t kKeptInserts = 8;
/* Rows whose values together exceed this take the literal way. */
constexpr size_t kMaxBoundBytes = size_t(1) << 24;

/* The time fields of a date, time or time stamp text widened to two
** digits: "2007-03-01 5:06:07" -> "2007-03-01 05:06:07". */
std::string WidenTimeFields(const std::string& text) {
  size_t start;
  size_t space = text.find(' ');
  if (space != std::string::npos) {
    start = space + 1;
  } else if (text.find('-') == std::string::npos) {
    start = 0; /* a time alone */
  } else {
    return text; /* a date alone */
  }
  std::string out = text.substr(0, start);
  for (size_t field = start;;) {
    size_t end = text.find(':', field);
    std::string_view part = std::string_view(text).substr(field, end == std::string::npos ? std::string::npos : end - field);
    if (part.size() == 1 && std::isdigit(static_cast<unsigned char>(part[0]))) out += '0';
    out += part;
    if (end == std::string::npos) break;
    out += ':';
    field = end + 1;
  }
  return out;
}

bool IsBinary(int32_t type) { return type == kORVAColumnBinary || type == kORVAColumnLongBinary; }

InsertValue ValueOf(const ORVADatabaseRecordEntry* e) {
  if (IsBinary(e->type)) {
    return {InsertValue::kBlob,
            e->value ? std::string(ORVAStringBytes(e->value), size_t(ORVAStringLength(e->value))) : std::string()};
  }
  if (!e->value) {
    if (e->type == kORVAColumnChar || e->type == kORVAColumnText) return {InsertValue::kText, std::string()};
    return {InsertValue::kNull, std::string()};
  }
  std::string text = Utf8Of(e->value);
  switch (e->type) {
    case kORVAColumnDate:
    case kORVAColumnTime:
    case kORVAColumnTimeStamp: return {InsertValue::kText, WidenTimeFields(text)};
    case kORVAColumnBoolean: {
      std::string lower;
      for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
      if (lower == "true") return {InsertValue::kText, "1"};
      if (lower == "false") return {InsertValue::kText, "0"};
      return {InsertValue::kText, std::move(text)};
    }
    default: return {InsertValue::kText, std::move(text)};
  }
}

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

/* Whether the row may take the prepared way (see the header comment). */
bool MayBind(std::string_view table, const InsertRow& row) {
  if (HasNul(table)) return false;
  size_t bytes = 0;
  for (const std::string& name : row.names) {
    if (HasNul(name)) return false;
  }
  for (const InsertValue& value : row.values) {
    if (value.kind == InsertValue::kText && HasNul(value.bytes)) return false;
    bytes += value.bytes.size();
  }
  return bytes <= kMaxBoundBytes;
}

std::string StatementText(std::string_view table, const std::vector<std::string>& names, std::string_view values) {
  std::string text = "INSERT INTO ";
  text.append(table);
  text += '(';
  for (size_t i = 0; i < names.size(); i++) {
    if (i > 0) text += ',';
    text += names[i];
  }
  text += ") VALUES (";
  text.append(values);
  return text + ");";
}

std::string ParameterList(size_t count) {
  std::string out;
  for (size_t i = 1; i <= count; i++) {
    if (i > 1) out += ',';
    out += '?' + std::to_string(i);
  }
  return out;
}

/* The kept statement of text, prepared now when missing; null when SQLite
** does not prepare it whole into one statement with `parameters`
** parameters. */
sqlite3_stmt* KeptStatement(Connection* connection, const std::string& text, size_t parameters) {
  for (const KeptInsert& kept : connection->inserts) {
    if (kept.text == text) return kept.statement;
  }
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(connection->db, text.c_str(), int(text.size() + 1), &statement, &tail) != SQLITE_OK ||
      !statement || tail != text.c_str() + text.size() ||
      size_t(sqlite3_bind_parameter_count(statement)) != parameters) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  if (connection->inserts.size() == kKeptInserts) {
    sqlite3_finalize(connection->inserts.front().statement);
    connection->inserts.erase(connection->inserts.begin());
  }
  connection->inserts.push_back({text, statement});
  return statement;
}

bool BindValues(sqlite3_stmt* statement, const std::vector<InsertValue>& values) {
  for (size_t i = 0; i < values.size(); i++) {
    const InsertValue& value = values[i];
    const int p = int(i + 1);
    int rc = SQLITE_OK;
    switch (value.kind) {
      case InsertValue::kNull: rc = sqlite3_bind_null(statement, p); break;
      case InsertValue::kText:
        rc = sqlite3_bind_text(statement, p, value.bytes.data(), int(value.bytes.size()), SQLITE_STATIC);
        break;
      case InsertValue::kBlob:
        rc = sqlite3_bind_blob(statement, p, value.bytes.data(), int(value.bytes.size()), SQLITE_STATIC);
        break;
    }
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

/* Runs the row through a kept statement; false when the row must take the
** literal way instead (nothing was run then). */
bool InsertBound(Instance* instance, std::string_view table, const InsertRow& row) {
  Connection* connection = instance->connection;
  if (!instance->open || !connection || !connection->db || !MayBind(table, row)) return false;
  sqlite3* db = connection->db;
  sqlite3_stmt* statement =
      KeptStatement(connection, StatementText(table, row.names, ParameterList(row.values.size())), row.values.size());
  if (!statement) return false;
  /* The bound values point into row: they are cleared before it goes. */
  struct Unbind {
    sqlite3_stmt* statement;
    ~Unbind() {
      sqlite3_reset(statement);
      sqlite3_clear_bindings(statement);
    }
  } unbind{statement};
  if (!BindValues(statement, row.values)) return false;
  if (!connection->autoCommit && sqlite3_get_autocommit(db)) {
    int rc = sqlite3_exec(db, "BEGIN TRANSACTION", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      SetSqliteError(instance, rc);
      return true;
    }
  }
  int rc = StepToEnd(statement);
  if (rc == SQLITE_SCHEMA) {
    sqlite3_reset(statement);
    rc = StepToEnd(statement);
  }
  if (rc != SQLITE_DONE) SetError(instance, sqlite3_extended_errcode(db) & 0xFF, sqlite3_errmsg(db));
  return true;
}

} // namespace

InsertRow InsertRowOf(const ORVADatabaseRecordEntry* entries) {
  InsertRow row;
  for (const ORVADatabaseRecordEntry* e = entries; e; e = e->next) {
    row.names.push_back(Utf8Of(e->name));
    row.values.push_back(ValueOf(e));
  }
  return row;
}

std::string InsertStatement(std::string_view table, const InsertRow& row, std::vector<std::string>* blobs) {
  std::string values;
  for (const InsertValue& value : row.values) {
    if (!values.empty()) values += ',';
    switch (value.kind) {
      case InsertValue::kNull: values += "NULL"; break;
      case InsertValue::kText: values += QuotedLiteral(value.bytes); break;
      case InsertValue::kBlob:
        blobs->push_back(value.bytes);
        values += '?' + std::to_string(blobs->size());
        break;
    }
  }
  return StatementText(table, row.names, values);
}

void InsertRecord(Instance* instance, std::string_view table, const ORVADatabaseRecordEntry* entries) {
  const InsertRow row = InsertRowOf(entries);
  if (InsertBound(instance, table, row)) return;
  std::vector<std::string> blobs;
  ExecuteStatements(instance, InsertStatement(table, row, &blobs), blobs);
}

void ForgetInserts(Connection* connection) {
  for (const KeptInsert& kept : connection->inserts) sqlite3_finalize(kept.statement);
  connection->inserts.clear();
}

} // namespace sqliteplugin
