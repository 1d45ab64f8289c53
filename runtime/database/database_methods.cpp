/*
** The Database class: SQL, inserts, schemas, transactions, properties,
** closing, errors and deferred opening.  See database_interface.h.
*/
#include <string>
#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

constexpr int32_t kErrorUnsupported = 201;

template <typename Slot>
bool HasSlot(const DatabaseObject* database, Slot EngineDefinition::*slot) {
  return database->engine && database->engine->*slot;
}

/* A result of this database: it remembers its statement and its owner. */
void AdoptResult(DatabaseObject* database, ObjectHeader* result, ORVAstring sql) {
  if (!result || !RuntimeObjectIsa(result, RecordSetClass())) return;
  auto* set = reinterpret_cast<RecordSetObject*>(result);
  StringAssign(&set->sourceSQL, sql);
  if (set->owner != database) {
    RuntimeLockUnlockObjects(&database->header, set->owner ? &set->owner->header : nullptr);
    set->owner = database;
  }
}

/* Takes the engine of a freshly opened Database over; the opened object
** is left without one, so that its destruction closes nothing. */
bool TakeOverEngine(DatabaseObject* database, ObjectHeader* opened) {
  if (!opened || !RuntimeObjectIsa(opened, DatabaseClass())) return false;
  auto* source = reinterpret_cast<DatabaseObject*>(opened);
  if (!source->engineHandle || source->connected != 1) return false;
  RemoveOpenDatabase(source);
  database->engineHandle = source->engineHandle;
  database->engine = source->engine;
  source->engineHandle = nullptr;
  source->engine = nullptr;
  source->connected = 0;
  database->connected = 1;
  AddOpenDatabase(database);
  return true;
}

struct HandleRelease {
  const EngineDefinition* engine;
  void (*release)(void* handle);
};

std::vector<HandleRelease>& HandleReleases() {
  static auto* releases = new std::vector<HandleRelease>();
  return *releases;
}

} // namespace

void RegisterEngineHandleRelease(const EngineDefinition* engine, void (*release)(void* handle)) {
  for (HandleRelease& entry : HandleReleases()) {
    if (entry.engine == engine) {
      entry.release = release;
      return;
    }
  }
  HandleReleases().push_back({engine, release});
}

void ReleaseEngineHandle(DatabaseObject* database) {
  void* handle = database->engineHandle;
  if (!handle) return;
  for (const HandleRelease& entry : HandleReleases()) {
    if (entry.engine != database->engine || !entry.release) continue;
    database->engineHandle = nullptr;
    entry.release(handle);
    return;
  }
}

void SetDatabaseError(DatabaseObject* database, int32_t code, std::string_view message) {
  database->errorCode = code;
  StringRef text(StringCreate(message, kEncodingUTF8));
  StringAssign(&database->errorMessage, text.get());
}

bool EnsureConnected(DatabaseObject* database) {
  if (database->engineHandle && database->connected == 1) return true;
  if (database->storedLength <= 0) return false;
  StoredDatabaseOpener opener = StoredDatabaseOpenerFor(database->storedEngineName);
  if (!opener) return false;
  ObjectRef opened(opener(database->storedBytes, database->storedLength));
  return TakeOverEngine(database, opened.get());
}

void BindStoredDatabase(DatabaseObject* database, ORVAstring engineName, const uint8_t* bytes, int32_t length) {
  StringAssign(&database->storedEngineName, engineName);
  database->storedBytes = bytes;
  database->storedLength = bytes ? length : 0;
}

} // namespace quendal

using namespace quendal;

extern "C" void DatabaseConstructor(DatabaseObject* database) {
  if (!database) return;
  for (ORVAstring* field : {&database->databaseName, &database->host, &database->password, &database->userName}) {
    StringAssign(field, nullptr);
  }
}

extern "C" void databaseDestructor(DatabaseObject* database) {
  if (!database) return;
  databaseClose(database);
  ReleaseEngineHandle(database);
  for (ORVAstring* field : {&database->storedEngineName, &database->errorMessage, &database->databaseName,
                            &database->host, &database->password, &database->userName}) {
    StringAssign(field, nullptr);
  }
}

QUENDAL_SERVICE void databaseSQLExecute(DatabaseObject* database, ORVAstring sql) {
  QUENDAL_SERVICE_BEGIN
  if (!database) return;
  database->errorCode = 0;
  if (!EnsureConnected(database)) return;
  if (HasSlot(database, &EngineDefinition::engineSQLExecute)) {
    database->engine->engineSQLExecute(database->engineHandle, sql);
  } else if (const SqlLayer* layer = InstalledSqlLayer()) {
    layer->execute(database, sql);
  } else {
    SetDatabaseError(database, kErrorUnsupported, kSqlNotSupportedMessage);
  }
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ObjectHeader* databaseSQLSelect(DatabaseObject* database, ORVAstring sql) {
  QUENDAL_SERVICE_BEGIN
  if (!database) return nullptr;
  database->errorCode = 0;
  if (!EnsureConnected(database)) return nullptr;
  ObjectRef result;
  if (HasSlot(database, &EngineDefinition::engineSQLSelect)) {
    result.reset(database->engine->engineSQLSelect(database->engineHandle, sql));
  } else if (HasSlot(database, &EngineDefinition::engineOpenTableCursor)) {
    const SqlLayer* layer = InstalledSqlLayer();
    if (!layer) {
      SetDatabaseError(database, kErrorUnsupported, kSqlNotSupportedMessage);
      return nullptr;
    }
    result.reset(layer->select(database, sql));
  }
  AdoptResult(database, result.get(), sql);
  return result.release();
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void databaseInsertRecord(DatabaseObject* database, ORVAstring table, DatabaseRecordObject* record) {
  QUENDAL_SERVICE_BEGIN
  if (!database || !record || !EnsureConnected(database)) return;
  if (HasSlot(database, &EngineDefinition::engineInsertRecord)) {
    database->engine->engineInsertRecord(database->engineHandle, table, record->entries);
    return;
  }
  StringRef statement(StringCreate(InsertStatementText(Utf8TextOf(table), record->entries), kEncodingUTF8));
  databaseSQLExecute(database, statement.get());
  QUENDAL_SERVICE_END_VOID
}

extern "C" ObjectHeader* databaseTableSchema(DatabaseObject* database) {
  if (!database || !EnsureConnected(database) || !HasSlot(database, &EngineDefinition::engineTableSchema)) {
    return nullptr;
  }
  return database->engine->engineTableSchema(database->engineHandle);
}

extern "C" ObjectHeader* databaseFieldSchema(DatabaseObject* database, ORVAstring table) {
  if (!database || !EnsureConnected(database) || !HasSlot(database, &EngineDefinition::engineFieldSchema)) {
    return nullptr;
  }
  return database->engine->engineFieldSchema(database->engineHandle, table);
}

extern "C" ObjectHeader* databaseIndexSchema(DatabaseObject* database, ORVAstring table) {
  if (!database || !EnsureConnected(database) || !HasSlot(database, &EngineDefinition::engineIndexSchema)) {
    return nullptr;
  }
  return database->engine->engineIndexSchema(database->engineHandle, table);
}

/* Commit and Rollback: the engine's own slot, else the statement text
** through slot 6.  A database that never reached an engine has nothing to
** commit. */
static void EndTransaction(DatabaseObject* database, void (*EngineDefinition::*slot)(void*), const char* text) {
  if (!database || !database->engine || !database->engineHandle) return;
  if (database->engine->*slot) {
    (database->engine->*slot)(database->engineHandle);
  } else if (database->engine->engineSQLExecute) {
    StringRef statement(StringCreate(text, kEncodingASCII));
    database->engine->engineSQLExecute(database->engineHandle, statement.get());
  }
}

QUENDAL_SERVICE void databaseCommit(DatabaseObject* database) {
  QUENDAL_SERVICE_BEGIN
  EndTransaction(database, &EngineDefinition::engineCommit, "commit");
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void databaseRollback(DatabaseObject* database) {
  QUENDAL_SERVICE_BEGIN
  EndTransaction(database, &EngineDefinition::engineRollback, "rollback");
  QUENDAL_SERVICE_END_VOID
}

extern "C" ORVAstring getDatabaseProperty(DatabaseObject* database, ORVAstring name) {
  if (!database || !EnsureConnected(database) || !HasSlot(database, &EngineDefinition::engineGetProperty)) {
    return nullptr;
  }
  return database->engine->engineGetProperty(database->engineHandle, name);
}

QUENDAL_SERVICE void databaseClose(DatabaseObject* database) {
  QUENDAL_SERVICE_BEGIN
  if (!database || database->connected != 1) return;
  /* Closing the sets releases their references to this database; keep one
  ** so that it cannot be destroyed in the middle of its own Close. */
  ObjectRef keep = ObjectRef::Borrow(&database->header);
  database->connected = 0;
  for (RecordSetObject* set : OpenRecordSetsOf(database)) cursorClose(set);
  RemoveOpenDatabase(database);
  if (HasSlot(database, &EngineDefinition::engineClose)) database->engine->engineClose(database->engineHandle);
  QUENDAL_SERVICE_END_VOID
}

extern "C" bool DatabaseConnect(DatabaseObject*) { return false; }

extern "C" int32_t databaseErrorCodeGetter(DatabaseObject* database) {
  if (!database) return 0;
  if (database->errorCode != 0) return database->errorCode;
  if (database->engineHandle && HasSlot(database, &EngineDefinition::engineErrorCode)) {
    return database->engine->engineErrorCode(database->engineHandle);
  }
  return 0;
}

extern "C" bool databaseErrorGetter(DatabaseObject* database) { return databaseErrorCodeGetter(database) != 0; }

extern "C" ORVAstring databaseErrorStringGetter(DatabaseObject* database) {
  if (!database) return nullptr;
  if (database->errorCode != 0) {
    StringRetain(database->errorMessage);
    return database->errorMessage;
  }
  if (database->engineHandle && HasSlot(database, &EngineDefinition::engineErrorMessage)) {
    return database->engine->engineErrorMessage(database->engineHandle);
  }
  return nullptr;
}
