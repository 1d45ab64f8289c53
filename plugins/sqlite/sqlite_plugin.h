/*
** ORVASQLDatabase: the SQLite-backed database class, as a plugin of the
** Quendal runtime.  Internal header of the plugin library.
**
** The library links the system's SQLite and nothing of the runtime: it
** reaches the runtime only through the services it resolves in
** ORVAPluginMain (Runtime below) and registers the class, its engine and
** cursor definitions and five extension methods there.
**
** Instance data (the engine handle every engine slot receives) lives in
** the object at the offset the host wrote into the class definition:
**   version      3
**   open         1 while a SQLite connection is open
**   errorCode    last error, 0 = none; errorMessage its text (heap) or null
**   connection   the connection record (heap, reference counted: the
**                instance holds one reference, every open result set one)
** The connection record outlives its instance when result sets still hold
** it; its owner pointer is then null and those sets can no longer write.
**
** Errors: each operation clears the previous error first; own errors and
** SQLite's (its result code and message) are stored on the instance and
** read back through the engine's error slots.
**
** No operation lets a C++ exception escape into the runtime: every entry
** from the runtime catches everything and stores "internal error".
*/
#ifndef QUENDAL_PLUGINS_SQLITE_SQLITE_PLUGIN_H
#define QUENDAL_PLUGINS_SQLITE_SQLITE_PLUGIN_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/plugins/quendal_plugin.h"

namespace sqliteplugin {

/* ---- the runtime's services (sqlite_runtime.cpp) ---- */
struct Runtime {
  ORVALockStringProc lockString;
  ORVAUnlockStringProc unlockString;
  ORVABuildStringWithEncodingProc buildString;
  ORVAConvertStringProc convertString;
  ORVAGetStringEncodingProc stringEncoding;
  ORVALockObjectProc lockObject;
  ORVAUnlockObjectProc unlockObject;
  ORVApathFromFolderItemProc pathFromFolderItem;
  ORVASetPropValueStringProc setPropertyString;
  ORVAdbCursorFromDBCursorProc cursorFromHandle;
  ORVAConstructDBDatabaseProc constructDatabase;
  ORVASetDBIsConnectedProc setConnected;
  ORVAGetQDVersionProc runtimeVersion;
  RegisterPluginVersionProc registerVersion;
  PluginRegisterDBEngineProc registerEngine;
  PluginRegisterDBCursorProc registerCursor;
  PluginRegisterClassProc registerClass;
  PluginRegisterMethodProc registerMethod;
};
extern Runtime gRuntime;

/* Resolves every service; false (and nothing usable) when one is missing. */
bool ResolveRuntime(ORVAResolver resolver);

/* A runtime string of UTF-8 bytes (owned by the caller). */
ORVAstring MakeString(std::string_view utf8);
/* The text of a runtime string as UTF-8 bytes. */
std::string Utf8Of(ORVAstring s);
/* True when the runtime is older than 2006.04 (fewer column types). */
bool OldRuntime();

/* ---- instances and connections (sqlite_connection.cpp) ---- */

struct Instance;

/* An INSERT kept prepared (sqlite_inserts.cpp): its text and statement. */
struct KeptInsert {
  std::string text;
  sqlite3_stmt* statement;
};

struct Connection {
  sqlite3* db = nullptr;
  ORVAobject databaseFile = nullptr; /* retained */
  uint8_t autoCommit = 0;
  bool shortColumnNames = false;
  int32_t references = 1;
  Instance* owner = nullptr;
  std::vector<KeptInsert> inserts; /* finalized by ForgetInserts */
};

struct Instance {
  int32_t version;
  uint8_t open;
  int32_t errorCode;
  char* errorMessage;
  Connection* connection;
};
static_assert(sizeof(Instance) == 32, "instance data: version, open, error code and text, connection");

extern ORVAClassDefinition gClassDefinition;
extern EngineDefinition gEngine;
extern CursorDefinition gQueryCursor;
extern CursorDefinition gSchemaCursor;

Instance* InstanceOf(ORVAobject object);
void RetainConnection(Connection* connection);
void ReleaseConnection(Connection* connection);

void ClearError(Instance* instance);
void SetError(Instance* instance, int32_t code, std::string_view message);
/* SQLite's current code and message of the connection. */
void SetSqliteError(Instance* instance, int code);

/* The POSIX path of a FolderItem, "" when it has none that this host can
** open (a drive other than Z:, a network path, nil). */
std::string NativePathOf(ORVAobject folderItem);

/* Opens the DatabaseFile (creating it when create is set) or, for Connect
** without one, an in-memory database; marks the Database connected. */
bool OpenConnection(ORVAobject object, Instance* instance, bool create);
/* Commits what is pending, then closes the connection. */
void CloseConnection(Instance* instance);

/* ---- statements (sqlite_statements.cpp) ---- */

enum StatementKind {
  kSelect = 1, kUpdate = 2, kInsert = 3, kDelete = 4, kReplace = 5, kPragma = 6, kExplain = 7,
  kShow = 8, kRollback = 9, kEnd = 10, kCommit = 11, kOther = 12,
};
StatementKind ClassifyStatement(std::string_view text);
bool IsQueryKind(StatementKind kind);

/* Runs every statement of a UTF-8 text; "?" parameters are bound, in
** order, to blobs.  Stores the first error; false when there was one.
** The connection's kept INSERT statements are finalized first. */
bool ExecuteStatements(Instance* instance, const std::string& text, const std::vector<std::string>& blobs);
/* Steps a prepared statement to its end: SQLITE_DONE when it ran. */
int StepToEnd(sqlite3_stmt* statement);
/* engineSQLExecute's rule: ";" appended, completeness checked, executed. */
void ExecuteText(Instance* instance, std::string text);

/* The declared type code of a column ("integer" -> 19, ...). */
int32_t DeclaredTypeCode(const char* declaredType);

/* A SQL literal of text: quoted, every "'" doubled. */
std::string QuotedLiteral(std::string_view text);

/* ---- results (sqlite_results.cpp) ---- */

struct Cell {
  bool isNull = true;
  std::string bytes;
};

struct QueryResult {
  Connection* connection = nullptr; /* retained */
  int32_t columns = 0;
  int32_t rows = 0;
  std::vector<std::string> names;
  std::vector<int32_t> types;      /* declared code per column */
  std::vector<Cell> cells;         /* row-major */
  std::vector<int64_t> rowIds;     /* editable results only */
  std::string table;
  bool editable = false;
  int32_t position = -1;           /* -1: before the first row */
  /* The value curColumnValue hands out, valid until curReleaseValue. */
  uint8_t scratch[12] = {};
  ORVAstring scratchString = nullptr;
};

/* Runs a query and materialises it; null (error stored) on failure. */
QueryResult* RunQuery(Instance* instance, const std::string& text, bool mayEdit);
/* A result of fixed columns built from rows of texts (schema results). */
QueryResult* MakeResult(Instance* instance, const std::vector<std::string>& names, const std::vector<int32_t>& types);
void AppendRow(QueryResult* result, const std::vector<const std::string*>& values);
/* Frees a result that was never wrapped. */
void FreeResult(QueryResult* result);
/* Wraps a result in a RecordSet (owned); the set takes the result. */
ORVAobject WrapResult(QueryResult* result, CursorDefinition* definition);

/* ---- inserts (sqlite_inserts.cpp) ---- */

/* A value of engineInsertRecord as SQLite receives it. */
struct InsertValue {
  enum Kind : uint8_t { kNull, kText, kBlob } kind;
  std::string bytes;
};
/* A record's column names (UTF-8) and values, in the record's order. */
struct InsertRow {
  std::vector<std::string> names;
  std::vector<InsertValue> values;
};
InsertRow InsertRowOf(const ORVADatabaseRecordEntry* entries);
/* The literal INSERT statement of a row; its blobs, in parameter order,
** appended to *blobs. */
std::string InsertStatement(std::string_view table, const InsertRow& row, std::vector<std::string>* blobs);
/* engineInsertRecord: inserts the row, storing SQLite's error if any. */
void InsertRecord(Instance* instance, std::string_view table, const ORVADatabaseRecordEntry* entries);
/* Finalizes the connection's kept INSERT statements: before any other
** statement runs on it and before it closes. */
void ForgetInserts(Connection* connection);

} // namespace sqliteplugin

#endif
