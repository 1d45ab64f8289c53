/*
** Query results: running a query into memory, and the cursor slots that
** read it.  See sqlite_plugin.h.
**
** Running a query: a SELECT (not SELECT DISTINCT) is first tried with
** "rowid," inserted after "SELECT " (after "SELECT ALL "); when that
** prepares, the first column is the row id and is hidden, and the result
** is editable when the text names one table after " FROM ".  Every row is
** then stepped into memory: BLOB values as their bytes, NULL as no bytes,
** everything else as its text.  A busy database is retried every 1 ms, at
** most kBusyRetries times.  Values grow by 3 x capacity + columns + 1
** cells, row ids by doubling from 1024.
**
** curColumnValue converts a cell by its column's declared type code:
** 2, 3 a whole decimal integer (type 3); 4, 5 a runtime String of the
** UTF-8 text (type 18); 6, 7 a whole decimal number (type 7); 8 a date
** "yyyy-mm-dd"; 9 a time "hh:mm[:ss]" after an optional date and spaces or
** "T"; 10 a date and a time; 11, 19 a whole 64-bit integer; 12 "0"/"false"
** or "1"/"true" in any case.  Everything else, and every text that does
** not convert, is handed out as its bytes with type 5; a NULL as type 0.
** Date and time fields are big-endian 16-bit words.
**
** The cursor's moves: position -1 is before the first row, rows is after
** the last; BOF and EOF are both true for an empty result.
*/
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

constexpr int kBusyRetries = 1000;

bool StartsWithCaseless(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

size_t FindCaseless(std::string_view text, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= text.size(); i++) {
    if (StartsWithCaseless(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

/* The text with "rowid," after "SELECT " (or "SELECT ALL "), or "" when the
** query cannot be made editable. */
std::string EditableRewrite(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  if (!StartsWithCaseless(text, "SELECT ")) return std::string();
  std::string_view after = text.substr(7);
  if (StartsWithCaseless(after, "DISTINCT ")) return std::string();
  size_t insertAt = StartsWithCaseless(after, "ALL ") ? 11 : 7;
  return std::string(text.substr(0, insertAt)) + "rowid," + std::string(text.substr(insertAt));
}

/* The one table a query reads: the name after the first " FROM " up to
** ",", ";" or white space; "" when a "," follows the name directly. */
std::string QueriedTable(std::string_view text) {
  size_t from = FindCaseless(text, " FROM ");
  if (from == std::string_view::npos) return std::string();
  std::string_view rest = text.substr(from + 6);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  size_t end = 0;
  while (end < rest.size() && rest[end] != ',' && rest[end] != ';' &&
         !std::isspace(static_cast<unsigned char>(rest[end]))) {
    end++;
  }
  if (end < rest.size() && rest[end] == ',') return std::string();
  return std::string(rest.substr(0, end));
}

/* Growth of the value cells: 3 x capacity + columns + 1. */
void ReserveCells(QueryResult* result) {
  if (result->cells.size() + size_t(result->columns) <= result->cells.capacity()) return;
  result->cells.reserve(3 * result->cells.capacity() + size_t(result->columns) + 1);
}

void ReserveRowIds(QueryResult* result) {
  if (result->rowIds.size() < result->rowIds.capacity()) return;
  result->rowIds.reserve(result->rowIds.capacity() ? 2 * result->rowIds.capacity() : 1024);
}

void StoreRow(QueryResult* result, sqlite3_stmt* statement, int firstColumn) {
  ReserveCells(result);
  for (int c = 0; c < result->columns; c++) {
    Cell cell;
    int column = c + firstColumn;
    int type = sqlite3_column_type(statement, column);
    if (type == SQLITE_BLOB) {
      const void* blob = sqlite3_column_blob(statement, column);
      cell.bytes.assign(static_cast<const char*>(blob ? blob : ""), size_t(sqlite3_column_bytes(statement, column)));
      cell.isNull = false;
    } else if (type != SQLITE_NULL) {
      const unsigned char* text = sqlite3_column_text(statement, column);
      cell.bytes.assign(reinterpret_cast<const char*>(text ? text : reinterpret_cast<const unsigned char*>("")),
                        size_t(sqlite3_column_bytes(statement, column)));
      cell.isNull = false;
    }
    result->cells.push_back(std::move(cell));
  }
  result->rows++;
}

/* Steps every row into the result; false (error stored) on failure. */
bool StepRows(Instance* instance, QueryResult* result, sqlite3_stmt* statement, bool hasRowId) {
  int busy = 0;
  for (;;) {
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
      if (hasRowId) {
        ReserveRowIds(result);
        result->rowIds.push_back(sqlite3_column_int64(statement, 0));
      }
      StoreRow(result, statement, hasRowId ? 1 : 0);
    } else if (rc == SQLITE_DONE) {
      return true;
    } else if (rc == SQLITE_BUSY && ++busy < kBusyRetries) {
      sqlite3_sleep(1);
    } else {
      SetError(instance, sqlite3_extended_errcode(sqlite3_db_handle(statement)) & 0xFF,
               sqlite3_errmsg(sqlite3_db_handle(statement)));
      return false;
    }
  }
}

/* ---- value conversion ---------------------------------------------------------- */

bool WholeInteger(const std::string& text, int64_t* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != 0) return false;
  *out = value;
  return true;
}

bool WholeNumber(const std::string& text, double* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (*end != 0) return false;
  *out = value;
  return true;
}

bool Digits(std::string_view text, size_t at, size_t count, int* out) {
  if (at + count > text.size()) return false;
  int value = 0;
  for (size_t i = at; i < at + count; i++) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = value;
  return true;
}

/* "yyyy-mm-dd" at the start of text: its fields and length. */
bool ParseDate(std::string_view text, int fields[3], size_t* length) {
  if (!Digits(text, 0, 4, &fields[0]) || text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
  if (!Digits(text, 5, 2, &fields[1]) || !Digits(text, 8, 2, &fields[2])) return false;
  *length = 10;
  return true;
}

/* "hh:mm[:ss]" at the start of text. */
bool ParseTime(std::string_view text, int fields[3]) {
  fields[2] = 0;
  if (!Digits(text, 0, 2, &fields[0]) || text.size() < 5 || text[2] != ':' || !Digits(text, 3, 2, &fields[1])) {
    return false;
  }
  if (text.size() >= 8 && text[5] == ':') return Digits(text, 6, 2, &fields[2]);
  return true;
}

std::string_view SkipDateTimeSeparator(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == 'T')) text.remove_prefix(1);
  return text;
}

void PutBigEndian(uint8_t* out, const int* fields, int count) {
  for (int i = 0; i < count; i++) {
    out[2 * i] = uint8_t(fields[i] >> 8);
    out[2 * i + 1] = uint8_t(fields[i]);
  }
}

/* The type code the cell converts to under its declared code, with the
** value in the result's scratch; 5 when it does not convert. */
uint8_t Convert(QueryResult* r, int32_t declared, const std::string& text) {
  int64_t integer = 0;
  double number = 0;
  int date[3], time[3];
  size_t dateLength = 0;
  switch (declared) {
    case kORVAColumnSmallInt:
    case kORVAColumnInteger:
      if (!WholeInteger(text, &integer) || integer < INT32_MIN || integer > INT32_MAX) return kORVAColumnText;
      {
        int32_t value = int32_t(integer);
        std::memcpy(r->scratch, &value, sizeof(value));
      }
      return kORVAColumnInteger;
    case kORVAColumnChar:
    case kORVAColumnText:
      r->scratchString = MakeString(text);
      return kORVAColumnString;
    case kORVAColumnFloat:
    case kORVAColumnDouble:
      if (!WholeNumber(text, &number)) return kORVAColumnText;
      std::memcpy(r->scratch, &number, sizeof(number));
      return kORVAColumnDouble;
    case kORVAColumnDate:
      if (!ParseDate(text, date, &dateLength)) return kORVAColumnText;
      PutBigEndian(r->scratch, date, 3);
      return kORVAColumnDate;
    case kORVAColumnTime: {
      std::string_view rest = text;
      if (ParseDate(rest, date, &dateLength)) rest.remove_prefix(dateLength);
      if (!ParseTime(SkipDateTimeSeparator(rest), time)) return kORVAColumnText;
      PutBigEndian(r->scratch, time, 3);
      return kORVAColumnTime;
    }
    case kORVAColumnTimeStamp: {
      if (!ParseDate(text, date, &dateLength)) return kORVAColumnText;
      if (!ParseTime(SkipDateTimeSeparator(std::string_view(text).substr(dateLength)), time)) return kORVAColumnText;
      PutBigEndian(r->scratch, date, 3);
      PutBigEndian(r->scratch + 6, time, 3);
      return kORVAColumnTimeStamp;
    }
    case kORVAColumnCurrency:
    case kORVAColumnInt64:
      if (!WholeInteger(text, &integer)) return kORVAColumnText;
      std::memcpy(r->scratch, &integer, sizeof(integer));
      return uint8_t(declared);
    case kORVAColumnBoolean: {
      std::string lower;
      for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
      if (lower != "0" && lower != "false" && lower != "1" && lower != "true") return kORVAColumnText;
      r->scratch[0] = (lower == "1" || lower == "true") ? 1 : 0;
      return kORVAColumnBoolean;
    }
    default: return kORVAColumnText;
  }
}

/* ---- cursor slots ------------------------------------------------------------ */

QueryResult* AsResult(void* handle) { return static_cast<QueryResult*>(handle); }

bool OnRow(const QueryResult* r) { return r->position >= 0 && r->position < r->rows; }

void ReleaseScratch(QueryResult* r) {
  if (r->scratchString) gRuntime.unlockString(r->scratchString);
  r->scratchString = nullptr;
}

void CursorClose(void* handle) {
  QueryResult* r = AsResult(handle);
  ReleaseScratch(r);
  ReleaseConnection(r->connection);
  delete r;
}

int32_t CursorColumnCount(void* handle) { return AsResult(handle)->columns; }

ORVAstring CursorColumnName(void* handle, int32_t column) {
  QueryResult* r = AsResult(handle);
  if (column < 0 || column >= r->columns) return nullptr;
  try {
    return MakeString(r->names[size_t(column)]);
  } catch (...) {
    return nullptr;
  }
}

int32_t CursorRowCount(void* handle) { return AsResult(handle)->rows; }

void CursorColumnValue(void* handle, int32_t column, void** value, uint8_t* type, int32_t* length) {
  QueryResult* r = AsResult(handle);
  ReleaseScratch(r);
  *value = nullptr;
  *type = kORVAColumnNull;
  *length = 0;
  if (!OnRow(r) || column < 0 || column >= r->columns) return;
  const Cell& cell = r->cells[size_t(r->position) * size_t(r->columns) + size_t(column)];
  if (cell.isNull) return;
  try {
    *type = Convert(r, r->types[size_t(column)], cell.bytes);
  } catch (...) {
    *type = kORVAColumnText;
  }
  if (*type == kORVAColumnText) {
    *value = const_cast<char*>(cell.bytes.data());
    *length = int32_t(cell.bytes.size());
  } else if (*type == kORVAColumnString) {
    *value = &r->scratchString;
    *length = int32_t(cell.bytes.size());
  } else {
    *value = r->scratch;
  }
}

void CursorReleaseValue(void* handle) { ReleaseScratch(AsResult(handle)); }

bool CursorNext(void* handle) {
  QueryResult* r = AsResult(handle);
  if (r->position < r->rows) r->position++;
  return r->position < r->rows;
}

void CursorPrevious(void* handle) {
  QueryResult* r = AsResult(handle);
  if (r->position >= 0) r->position--;
}

void CursorFirst(void* handle) { AsResult(handle)->position = 0; }
void CursorLast(void* handle) { AsResult(handle)->position = AsResult(handle)->rows - 1; }

int32_t CursorColumnType(void* handle, int32_t column) {
  QueryResult* r = AsResult(handle);
  return (column >= 0 && column < r->columns) ? r->types[size_t(column)] : -1;
}

bool CursorIsBOF(void* handle) { return AsResult(handle)->rows == 0 || AsResult(handle)->position < 0; }
bool CursorIsEOF(void* handle) {
  QueryResult* r = AsResult(handle);
  return r->rows == 0 || r->position >= r->rows;
}

/* The instance that may change the current row of an editable result, or
** null after error 200 was stored. */
Instance* EditingInstance(QueryResult* r) {
  Instance* instance = r->connection ? r->connection->owner : nullptr;
  if (!instance) return nullptr;
  ClearError(instance);
  if (!r->editable || !OnRow(r)) {
    SetError(instance, 200, "record can't be edited");
    return nullptr;
  }
  return instance;
}

std::string RowCondition(const QueryResult* r) {
  return " WHERE rowid=" + std::to_string(r->rowIds[size_t(r->position)]);
}

void CursorDelete(void* handle) {
  try {
    QueryResult* r = AsResult(handle);
    if (Instance* instance = EditingInstance(r)) {
      ExecuteStatements(instance, "DELETE FROM " + r->table + RowCondition(r), {});
    }
  } catch (...) {
  }
}

void CursorUpdate(void* handle, ORVAPendingEdit* edits) {
  try {
    QueryResult* r = AsResult(handle);
    Instance* instance = EditingInstance(r);
    if (!instance) return;
    std::string assignments;
    std::vector<std::pair<int32_t, const ORVAPendingEdit*>> applied;
    for (const ORVAPendingEdit* edit = edits; edit; edit = edit->next) {
      if (edit->column < 0 || edit->column >= r->columns) continue;
      if (!assignments.empty()) assignments += ", ";
      assignments += r->names[size_t(edit->column)] + " = " + (edit->value ? QuotedLiteral(Utf8Of(edit->value)) : "NULL");
      applied.push_back({edit->column, edit});
    }
    if (assignments.empty()) return;
    if (!ExecuteStatements(instance, "UPDATE " + r->table + " SET " + assignments + RowCondition(r), {})) return;
    /* The row in memory follows the table, so that moving back shows it.
    ** Edits are newest first: the first one of a column wins. */
    for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
      Cell& cell = r->cells[size_t(r->position) * size_t(r->columns) + size_t(it->first)];
      cell.isNull = it->second->value == nullptr;
      cell.bytes = cell.isNull ? std::string() : Utf8Of(it->second->value);
    }
  } catch (...) {
  }
}

/* Editing needs no preparation: rows are in memory and keep their ids. */
void CursorEdit(void*) {}

} // namespace

CursorDefinition gQueryCursor = {
    9,           0,           &CursorClose,      &CursorColumnCount, &CursorColumnName, &CursorRowCount,
    &CursorColumnValue, &CursorReleaseValue, &CursorNext, &CursorDelete, nullptr, nullptr,
    &CursorUpdate, &CursorEdit, &CursorPrevious, &CursorFirst, &CursorLast, &CursorColumnType,
    &CursorIsBOF, &CursorIsEOF,
};

CursorDefinition gSchemaCursor = {
    9,           0,           &CursorClose,      &CursorColumnCount, &CursorColumnName, &CursorRowCount,
    &CursorColumnValue, &CursorReleaseValue, &CursorNext, nullptr, nullptr, nullptr,
    nullptr, nullptr, &CursorPrevious, &CursorFirst, &CursorLast, &CursorColumnType,
    &CursorIsBOF, &CursorIsEOF,
};

QueryResult* RunQuery(Instance* instance, const std::string& text, bool mayEdit) {
  Connection* connection = instance->connection;
  if (!instance->open || !connection || !connection->db) {
    SetError(instance, 1, "database is not open");
    return nullptr;
  }
  ForgetInserts(connection);
  sqlite3* db = connection->db;
  sqlite3_stmt* statement = nullptr;
  bool hasRowId = false;
  std::string rewritten = mayEdit ? EditableRewrite(text) : std::string();
  if (!rewritten.empty() && sqlite3_prepare_v2(db, rewritten.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      statement) {
    hasRowId = true;
  } else {
    sqlite3_finalize(statement);
    statement = nullptr;
    int rc = sqlite3_prepare_v2(db, text.c_str(), -1, &statement, nullptr);
    if (rc != SQLITE_OK || !statement) {
      sqlite3_finalize(statement);
      SetSqliteError(instance, rc == SQLITE_OK ? SQLITE_MISUSE : rc);
      return nullptr;
    }
  }
  auto* result = new QueryResult();
  result->connection = connection;
  RetainConnection(connection);
  int first = hasRowId ? 1 : 0;
  result->columns = sqlite3_column_count(statement) - first;
  for (int c = 0; c < result->columns; c++) {
    const char* name = sqlite3_column_name(statement, c + first);
    result->names.push_back(name ? name : "");
    result->types.push_back(DeclaredTypeCode(sqlite3_column_decltype(statement, c + first)));
  }
  result->table = QueriedTable(text);
  result->editable = hasRowId && !result->table.empty();
  bool stepped = StepRows(instance, result, statement, hasRowId);
  sqlite3_finalize(statement);
  if (!stepped) {
    CursorClose(result);
    return nullptr;
  }
  return result;
}

QueryResult* MakeResult(Instance* instance, const std::vector<std::string>& names, const std::vector<int32_t>& types) {
  auto* result = new QueryResult();
  result->connection = instance->connection;
  RetainConnection(result->connection);
  result->columns = int32_t(names.size());
  result->names = names;
  result->types = types;
  return result;
}

void AppendRow(QueryResult* result, const std::vector<const std::string*>& values) {
  ReserveCells(result);
  for (const std::string* value : values) {
    Cell cell;
    if (value) {
      cell.isNull = false;
      cell.bytes = *value;
    }
    result->cells.push_back(std::move(cell));
  }
  result->rows++;
}

void FreeResult(QueryResult* result) { CursorClose(result); }

ORVAobject WrapResult(QueryResult* result, CursorDefinition* definition) {
  ORVAobject set = nullptr;
  try {
    set = gRuntime.cursorFromHandle(result, definition);
  } catch (...) {
    CursorClose(result);
    throw;
  }
  if (!set) CursorClose(result);
  return set;
}

} // namespace sqliteplugin
