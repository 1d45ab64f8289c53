/*
** The engine-neutral database layer: the classes Database, RecordSet,
** DatabaseField, DatabaseRecord and ScrollableCursor, and the slot
** records through which a storage engine plugs in (EngineDefinition and
** CursorDefinition, runtime/plugins/quendal_plugin.h).
**
** Every operation checks which slots the engine filled and falls back,
** where it can, on SQL text built here or on the SQL layer (installed by
** the SQL layer's module with InstallSqlLayer); an operation whose slot is
** missing does nothing and gives nil, 0, -1 or false, without an error.
** Errors of this layer are stored on the Database (ORVADatabaseSetError)
** and never raised.  SQLSelect and SQLExecute clear the own error code;
** ErrorCode and ErrorMessage ask the engine (slots 13/14) whenever the own
** code is 0.
**
** Object layouts (after the object header; pointers 8 bytes):
**   Database       engine handle, engine definition, stored engine name,
**                  stored bytes and length (deferred opening), own error
**                  code and message, DatabaseName, Host, Password,
**                  UserName, connected byte.
**   RecordSet      cursor handle (null once closed), position counter,
**                  owning Database (retained, may be nil), cursor
**                  definition, EOF, BOF and edit bytes, pending edits
**                  (newest first), source SQL text, field-name map (built
**                  on the first Field look-up).
**   DatabaseField  owning RecordSet (retained) and 0-based column.
**   DatabaseRecord column entries, newest column first.
** A closed RecordSet (handle null) never reaches its engine: it has no
** value, no columns, EOF and BOF true, and Close, moves and edits on it do
** nothing.
**
** Open lists: every open RecordSet and every connected Database is on a
** process-wide list (newest first) until it is closed; the sets of a
** database are closed before the database itself, and at shutdown
** (CloseOpenDatabaseObjects) every set and then every database is closed.
** The lists hold no references.
**
** Deferred opening: a Database bound to stored bytes (stored length > 0)
** opens them on its first use through the opener registered for its
** stored engine name ("orvadb": the single-file engine, registered by its
** module); the opened object's handle and definition are taken over.
**
** Ownership: services return strings and objects locked; arguments are
** borrowed.  Services that create objects may raise (NilObjectException
** when memory runs out); everything else reports through the Database.
*/
#ifndef QUENDAL_DATABASE_DATABASE_INTERFACE_H
#define QUENDAL_DATABASE_DATABASE_INTERFACE_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/plugins/quendal_plugin.h"
#include "runtime/text/string_record.h"

namespace quendal {
class StringMap;
struct ScrollableRows;
}

struct DatabaseObject {
  ObjectHeader header;
  void* engineHandle;
  EngineDefinition* engine;
  ORVAstring storedEngineName;
  const uint8_t* storedBytes;
  int32_t storedLength;
  int32_t errorCode;
  ORVAstring errorMessage;
  ORVAstring databaseName;
  ORVAstring host;
  ORVAstring password;
  ORVAstring userName;
  uint8_t connected;
};
static_assert(offsetof(DatabaseObject, engineHandle) == 48 && offsetof(DatabaseObject, storedLength) == 80 &&
                  offsetof(DatabaseObject, errorCode) == 84 && offsetof(DatabaseObject, databaseName) == 96 &&
                  offsetof(DatabaseObject, connected) == 128 && sizeof(DatabaseObject) == 136,
              "Database fields after the header");

struct RecordSetObject {
  ObjectHeader header;
  void* cursorHandle;
  int32_t position;
  DatabaseObject* owner;
  CursorDefinition* cursor;
  uint8_t eof;
  uint8_t bof;
  uint8_t editing;
  ORVAPendingEdit* edits;
  ORVAstring sourceSQL;
  quendal::StringMap* fieldNames;
};
static_assert(offsetof(RecordSetObject, position) == 56 && offsetof(RecordSetObject, owner) == 64 &&
                  offsetof(RecordSetObject, eof) == 80 && offsetof(RecordSetObject, edits) == 88 &&
                  sizeof(RecordSetObject) == 112,
              "RecordSet fields after the header");

struct DatabaseFieldObject {
  ObjectHeader header;
  RecordSetObject* recordSet;
  int32_t column;
};
static_assert(sizeof(DatabaseFieldObject) == 64, "DatabaseField: set and column");

struct DatabaseRecordObject {
  ObjectHeader header;
  ORVADatabaseRecordEntry* entries;
};
static_assert(sizeof(DatabaseRecordObject) == 56, "DatabaseRecord: the entry list");

struct ScrollableCursorObject {
  ObjectHeader header;
  quendal::ScrollableRows* rows;
};

namespace quendal {

/* Registers the classes with the intrinsic class map, once: Database,
** RecordSet, DatabaseField, DatabaseRecord, ScrollableCursor and the
** single-file engine's ORVADatabaseOldFormat. */
void RegisterDatabaseClasses();

ClassRecord* DatabaseClass();
ClassRecord* RecordSetClass();
ClassRecord* DatabaseFieldClass();
ClassRecord* DatabaseRecordClass();
ClassRecord* OldFormatDatabaseClass(); /* ORVADatabaseOldFormat */

/* Closes every open RecordSet, then every connected Database: the
** runtime's shutdown calls it after the image has finished. */
void CloseOpenDatabaseObjects();

/* ---- seams -------------------------------------------------------------------- */

/* The SQL layer for engines without SQL of their own.  select returns a
** RecordSet (owned) or null; both store their errors on the Database. */
struct SqlLayer {
  void (*execute)(DatabaseObject* database, ORVAstring sql);
  ObjectHeader* (*select)(DatabaseObject* database, ORVAstring sql);
};
/* Installs the table (borrowed; null uninstalls).  Without one, SQL on an
** engine that has no SQL slot sets error 201. */
void InstallSqlLayer(const SqlLayer* layer);

/* Opens stored database bytes into a new connected Database (owned), or
** null. */
using StoredDatabaseOpener = ObjectHeader* (*)(const uint8_t* bytes, int32_t length);
/* Registers the opener of an engine name (ASCII case ignored; the single-
** file engine registers "orvadb"); a later registration replaces it. */
void RegisterStoredDatabaseOpener(const char* engineName, StoredDatabaseOpener opener);

/* Frees the engine handles of one engine: a Database of that engine calls
** release(handle) when it is destroyed (after its Close) and when Connect
** replaces its engine, so a handle may stay alive after engineClose for
** ErrorCode and ErrorMessage.  A later registration for the same engine
** replaces the earlier one. */
void RegisterEngineHandleRelease(const EngineDefinition* engine, void (*release)(void* handle));

/* Binds a Database to stored bytes for deferred opening (the bytes must
** outlive the object). */
void BindStoredDatabase(DatabaseObject* database, ORVAstring engineName, const uint8_t* bytes, int32_t length);

/* Test views. */
size_t OpenRecordSetCount();
size_t OpenDatabaseCount();

} // namespace quendal

extern "C" {

/* ---- engines and construction ---- */
EngineDefinition* PluginRegisterDBEngine(EngineDefinition* definition);
CursorDefinition* PluginRegisterDBCursor(CursorDefinition* definition);
ObjectHeader* ORVAdbDatabaseFromDBDatabase(void* handle, EngineDefinition* engine);
ObjectHeader* ORVAdbCursorFromDBCursor(void* handle, CursorDefinition* cursor);
void ORVAConstructDBDatabase(ObjectHeader* object, void* handle, EngineDefinition* engine);
void* ORVAGetDBFromORVAdbDatabase(ObjectHeader* database);
void* ORVAGetCursorFromORVAdbCursor(ObjectHeader* recordSet);
ORVAstring ORVAGetDBHost(ObjectHeader* database);
ORVAstring ORVAGetDBDatabaseName(ObjectHeader* database);
ORVAstring ORVAGetDBPassword(ObjectHeader* database);
ORVAstring ORVAGetDBUserName(ObjectHeader* database);
void ORVADatabaseSetError(ObjectHeader* database, int32_t code, ORVAstring message);
void ORVASetDBIsConnected(ObjectHeader* database, bool connected);

/* ---- Database ---- */
void DatabaseConstructor(DatabaseObject* database);
void databaseDestructor(DatabaseObject* database);
void databaseSQLExecute(DatabaseObject* database, ORVAstring sql);
ObjectHeader* databaseSQLSelect(DatabaseObject* database, ORVAstring sql);
void databaseInsertRecord(DatabaseObject* database, ORVAstring table, DatabaseRecordObject* record);
ObjectHeader* databaseTableSchema(DatabaseObject* database);
ObjectHeader* databaseFieldSchema(DatabaseObject* database, ORVAstring table);
ObjectHeader* databaseIndexSchema(DatabaseObject* database, ORVAstring table);
void databaseCommit(DatabaseObject* database);
void databaseRollback(DatabaseObject* database);
ORVAstring getDatabaseProperty(DatabaseObject* database, ORVAstring name);
void databaseClose(DatabaseObject* database);
bool DatabaseConnect(DatabaseObject* database);
bool databaseErrorGetter(DatabaseObject* database);
int32_t databaseErrorCodeGetter(DatabaseObject* database);
ORVAstring databaseErrorStringGetter(DatabaseObject* database);

/* ---- RecordSet ---- */
void databaseCursorDestructor(RecordSetObject* set);
void cursorMoveNext(RecordSetObject* set);
void CursorMovePrev(RecordSetObject* set);
void CursorMoveFirst(RecordSetObject* set);
void CursorMoveLast(RecordSetObject* set);
bool cursorBOFGetter(RecordSetObject* set);
bool cursorEOFGetter(RecordSetObject* set);
int32_t cursorFieldCount(RecordSetObject* set);
ObjectHeader* cursorGetFieldByName(RecordSetObject* set, ORVAstring name);
ObjectHeader* cursorGetFieldByIndex(RecordSetObject* set, int32_t index);
int32_t RecordSetRecordCount(RecordSetObject* set);
int32_t RecordSetColumnType(RecordSetObject* set, int32_t index);
void cursorDeleteRecord(RecordSetObject* set);
void cursorEdit(RecordSetObject* set);
void cursorUpdate(RecordSetObject* set);
void cursorClose(RecordSetObject* set);

/* ---- DatabaseField ---- */
void databaseCursorFieldDestructor(DatabaseFieldObject* field);
ORVAstring cursorFieldNameGetter(DatabaseFieldObject* field);
ORVAstring cursorFieldStringValueGetter(DatabaseFieldObject* field);
void cursorFieldStringValueSetter(DatabaseFieldObject* field, ORVAstring value);
double cursorFieldDoubleValueGetter(DatabaseFieldObject* field);
void cursorFieldDoubleValueSetter(DatabaseFieldObject* field, double value);
int32_t cursorFieldIntegerValueGetter(DatabaseFieldObject* field);
void cursorFieldIntegerValueSetter(DatabaseFieldObject* field, int32_t value);
int64_t CursorFieldInt64ValueGetter(DatabaseFieldObject* field);
void CursorFieldInt64ValueSetter(DatabaseFieldObject* field, int64_t value);
int64_t CursorFieldCurrencyValueGetter(DatabaseFieldObject* field);
void CursorFieldCurrencyValueSetter(DatabaseFieldObject* field, int64_t value);
bool CursorFieldBooleanValueGetter(DatabaseFieldObject* field);
void CursorFieldBooleanValueSetter(DatabaseFieldObject* field, bool value);
ObjectHeader* cursorFieldDateValueGetter(DatabaseFieldObject* field);
void cursorFieldDateValueSetter(DatabaseFieldObject* field, ObjectHeader* date);
ORVAstring cursorFieldNativeValueGetter(DatabaseFieldObject* field);
ObjectHeader* CursorFieldValueGetter(DatabaseFieldObject* field);
void CursorFieldValueSetter(DatabaseFieldObject* field, ObjectHeader* value);
ORVAstring databaseCursorFieldGetString(DatabaseFieldObject* field);
void databaseCursorFieldSetString(DatabaseFieldObject* field, ORVAstring value);
ObjectHeader* CursorFieldConvertToDate(DatabaseFieldObject* field);
ORVAstring CursorFieldConvertToString(DatabaseFieldObject* field);
int32_t CursorFieldConvertToInteger(DatabaseFieldObject* field);
int64_t CursorFieldConvertToInt64(DatabaseFieldObject* field);
double CursorFieldConvertToDouble(DatabaseFieldObject* field);
bool CursorFieldConvertToBoolean(DatabaseFieldObject* field);

/* ---- DatabaseRecord ---- */
void databaseRecordDestructor(DatabaseRecordObject* record);
ORVAstring getDatabaseRecordColumn(DatabaseRecordObject* record, ORVAstring name);
void setDatabaseRecordColumn(DatabaseRecordObject* record, ORVAstring name, ORVAstring value);
double getDatabaseRecordDoubleColumn(DatabaseRecordObject* record, ORVAstring name);
void setDatabaseRecordDoubleColumn(DatabaseRecordObject* record, ORVAstring name, double value);
int32_t getDatabaseRecordIntegerColumn(DatabaseRecordObject* record, ORVAstring name);
void setDatabaseRecordIntegerColumn(DatabaseRecordObject* record, ORVAstring name, int32_t value);
int64_t GetDatabaseRecordInt64Column(DatabaseRecordObject* record, ORVAstring name);
void SetDatabaseRecordInt64Column(DatabaseRecordObject* record, ORVAstring name, int64_t value);
int64_t GetDatabaseRecordCurrencyColumn(DatabaseRecordObject* record, ORVAstring name);
void SetDatabaseRecordCurrencyColumn(DatabaseRecordObject* record, ORVAstring name, int64_t value);
ObjectHeader* getDatabaseRecordDateColumn(DatabaseRecordObject* record, ORVAstring name);
void setDatabaseRecordDateColumn(DatabaseRecordObject* record, ORVAstring name, ObjectHeader* date);
ORVAstring GetDatabaseRecordBlobColumn(DatabaseRecordObject* record, ORVAstring name);
void SetDatabaseRecordBlobColumn(DatabaseRecordObject* record, ORVAstring name, ORVAstring value);
bool GetDatabaseRecordBooleanColumn(DatabaseRecordObject* record, ORVAstring name);
void SetDatabaseRecordBooleanColumn(DatabaseRecordObject* record, ORVAstring name, bool value);
int32_t getDatabaseRecordFieldCount(DatabaseRecordObject* record);
ORVAstring getDatabaseRecordIndString(DatabaseRecordObject* record, int32_t index);

/* ---- ScrollableCursor ---- */
void ScrollableCursorConstructor(ScrollableCursorObject* scrollable, RecordSetObject* set);
int32_t ScrollableCursorGetCount(ScrollableCursorObject* scrollable);
ObjectHeader* ScrollableCursorGetRow(ScrollableCursorObject* scrollable, int32_t index);
void ScrollableCursorFinalizer(ScrollableCursorObject* scrollable);

} // extern "C"

#endif
