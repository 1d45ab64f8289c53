/*
** Statements: classification, execution one statement at a time, and the
** declared column types.  See sqlite_plugin.h.
**
** Execution: for each statement of the text, when AutoCommit is False and
** the statement changes data (update, insert, delete, replace) while no
** transaction is open, "BEGIN TRANSACTION" runs first; then the statement
** is prepared, its "?" parameters bound to the next blobs, stepped until
** done and finalized.  A statement whose schema changed under it (SQLite
** code 17) is prepared again once.  The first error stops the text and is
** stored with SQLite's code and message.
*/
#include <cctype>
#include <cstring>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

bool StartsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); i++) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
}

bool IsChangingKind(StatementKind kind) { return kind >= kUpdate && kind <= kReplace; }

} // namespace

int StepToEnd(sqlite3_stmt* statement) {
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  return rc;
}

StatementKind ClassifyStatement(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  static const struct {
    const char* word;
    StatementKind kind;
  } kKinds[] = {
      {"select", kSelect}, {"show", kShow},       {"insert", kInsert},     {"update", kUpdate},
      {"delete", kDelete}, {"replace", kReplace}, {"pragma", kPragma},     {"explain", kExplain},
      {"rollback", kRollback}, {"end", kEnd},     {"commit", kCommit},
  };
  for (const auto& k : kKinds) {
    if (StartsWithWord(text, k.word)) return k.kind;
  }
  return kOther;
}

bool IsQueryKind(StatementKind kind) {
  return kind == kSelect || kind == kPragma || kind == kExplain || kind == kShow;
}

bool ExecuteStatements(Instance* instance, const std::string& text, const std::vector<std::string>& blobs) {
  Connection* connection = instance->connection;
  if (!instance->open || !connection || !connection->db) {
    SetError(instance, 1, "database is not open");
    return false;
  }
  ForgetInserts(connection);
  sqlite3* db = connection->db;
  size_t nextBlob = 0;
  const char* rest = text.c_str();
  while (*rest) {
    const char* start = rest;
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, start, -1, &statement, &rest);
    if (rc != SQLITE_OK) {
      SetSqliteError(instance, rc);
      return false;
    }
    if (!statement) {
      if (rest == start) break; /* nothing consumed: nothing left to run */
      continue;                 /* white space or a comment */
    }
    StatementKind kind = ClassifyStatement(std::string_view(start, size_t(rest - start)));
    if (!connection->autoCommit && IsChangingKind(kind) && sqlite3_get_autocommit(db)) {
      rc = sqlite3_exec(db, "BEGIN TRANSACTION", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        SetSqliteError(instance, rc);
        return false;
      }
    }
    /* A blob SQLite refuses (over its length limit) fails the statement;
    ** it is never stored as NULL. */
    for (int p = 1; p <= sqlite3_bind_parameter_count(statement) && nextBlob < blobs.size(); p++, nextBlob++) {
      const std::string& blob = blobs[nextBlob];
      rc = sqlite3_bind_blob64(statement, p, blob.data(), sqlite3_uint64(blob.size()), SQLITE_TRANSIENT);
      if (rc != SQLITE_OK) {
        SetError(instance, rc & 0xFF, sqlite3_errstr(rc));
        sqlite3_finalize(statement);
        return false;
      }
    }
    rc = StepToEnd(statement);
    if (rc == SQLITE_SCHEMA) {
      sqlite3_reset(statement);
      rc = StepToEnd(statement);
    }
    if (rc != SQLITE_DONE) {
      SetError(instance, sqlite3_extended_errcode(db) & 0xFF, sqlite3_errmsg(db));
      sqlite3_finalize(statement);
      return false;
    }
    sqlite3_finalize(statement);
  }
  return true;
}

void ExecuteText(Instance* instance, std::string text) {
  if (text.empty() || text.back() != ';') text += ';';
  if (!sqlite3_complete(text.c_str())) {
    SetError(instance, 1, "incomplete SQL statement");
    return;
  }
  ExecuteStatements(instance, text, {});
}

int32_t DeclaredTypeCode(const char* declaredType) {
  if (!declaredType) return kORVAColumnText;
  std::string word;
  for (const char* c = declaredType; std::isalpha(static_cast<unsigned char>(*c)); c++) {
    word += char(std::tolower(static_cast<unsigned char>(*c)));
  }
  bool old = OldRuntime();
  if (word == "varchar" || word == "text") return kORVAColumnText;
  if (word == "binary" || word == "blob") return kORVAColumnBinary;
  if (word == "integer") return old ? kORVAColumnInteger : kORVAColumnInt64;
  if (word == "smallint") return kORVAColumnInteger;
  if (word == "float" || word == "double") return kORVAColumnDouble;
  if (word == "boolean") return kORVAColumnBoolean;
  if (word == "date") return kORVAColumnDate;
  if (word == "timestamp") return kORVAColumnTimeStamp;
  if (word == "time") return kORVAColumnTime;
  if (word == "currency") return old ? kORVAColumnText : kORVAColumnCurrency;
  return kORVAColumnText;
}

std::string QuotedLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

} // namespace sqliteplugin
