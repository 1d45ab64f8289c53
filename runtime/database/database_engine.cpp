/*
** Engines plugging in: registration of their slot records, and the
** Database and RecordSet objects made around their handles.  See
** database_interface.h.
*/
#include "runtime/database/database_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

/* The runtime's mark in word 1 of a registered definition.  Engines do not
** read it; it only tells a registered record from one never handed over. */
constexpr uint32_t kRegisteredMark = 1;

DatabaseObject* AsDatabase(ObjectHeader* object) {
  return object && RuntimeObjectIsa(object, DatabaseClass()) ? reinterpret_cast<DatabaseObject*>(object) : nullptr;
}

RecordSetObject* AsRecordSet(ObjectHeader* object) {
  return object && RuntimeObjectIsa(object, RecordSetClass()) ? reinterpret_cast<RecordSetObject*>(object) : nullptr;
}

void BindEngine(DatabaseObject* database, void* handle, EngineDefinition* engine) {
  database->engineHandle = handle;
  database->engine = engine;
  database->connected = 1;
  AddOpenDatabase(database);
}

ORVAstring PropertyOf(ObjectHeader* object, ORVAstring DatabaseObject::*field) {
  DatabaseObject* database = AsDatabase(object);
  if (!database) return nullptr;
  StringRetain(database->*field);
  return database->*field;
}

} // namespace

} // namespace quendal

using namespace quendal;

extern "C" EngineDefinition* PluginRegisterDBEngine(EngineDefinition* definition) {
  if (definition) definition->flags = (definition->flags & ~0xFFu) | kRegisteredMark;
  return definition;
}

extern "C" CursorDefinition* PluginRegisterDBCursor(CursorDefinition* definition) {
  if (definition) definition->flags = (definition->flags & ~0xFFu) | kRegisteredMark;
  return definition;
}

QUENDAL_SERVICE ObjectHeader* ORVAdbDatabaseFromDBDatabase(void* handle, EngineDefinition* engine) {
  QUENDAL_SERVICE_BEGIN
  if (!handle) return nullptr;
  ObjectHeader* object = RuntimeNewObject(DatabaseClass());
  if (object) BindEngine(reinterpret_cast<DatabaseObject*>(object), handle, engine);
  return object;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* ORVAdbCursorFromDBCursor(void* handle, CursorDefinition* cursor) {
  QUENDAL_SERVICE_BEGIN
  if (!handle) return nullptr;
  ObjectHeader* object = RuntimeNewObject(RecordSetClass());
  if (!object) return nullptr;
  auto* set = reinterpret_cast<RecordSetObject*>(object);
  set->cursorHandle = handle;
  set->cursor = cursor;
  AddOpenRecordSet(set);
  cursorMoveNext(set); /* stand on the first row; EOF tells whether there is one */
  set->bof = set->eof;
  return object;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void ORVAConstructDBDatabase(ObjectHeader* object, void* handle, EngineDefinition* engine) {
  DatabaseObject* database = AsDatabase(object);
  if (database && handle) BindEngine(database, handle, engine);
}

extern "C" void* ORVAGetDBFromORVAdbDatabase(ObjectHeader* object) {
  DatabaseObject* database = AsDatabase(object);
  return database ? database->engineHandle : nullptr;
}

extern "C" void* ORVAGetCursorFromORVAdbCursor(ObjectHeader* object) {
  RecordSetObject* set = AsRecordSet(object);
  return set ? set->cursorHandle : nullptr;
}

extern "C" ORVAstring ORVAGetDBHost(ObjectHeader* object) { return PropertyOf(object, &DatabaseObject::host); }
extern "C" ORVAstring ORVAGetDBDatabaseName(ObjectHeader* object) {
  return PropertyOf(object, &DatabaseObject::databaseName);
}
extern "C" ORVAstring ORVAGetDBPassword(ObjectHeader* object) { return PropertyOf(object, &DatabaseObject::password); }
extern "C" ORVAstring ORVAGetDBUserName(ObjectHeader* object) { return PropertyOf(object, &DatabaseObject::userName); }

extern "C" void ORVADatabaseSetError(ObjectHeader* object, int32_t code, ORVAstring message) {
  DatabaseObject* database = AsDatabase(object);
  if (!database) return;
  database->errorCode = code;
  StringAssign(&database->errorMessage, message);
}

extern "C" void ORVASetDBIsConnected(ObjectHeader* object, bool connected) {
  DatabaseObject* database = AsDatabase(object);
  if (!database) return;
  database->connected = connected ? 1 : 0;
  if (connected) {
    AddOpenDatabase(database);
  } else {
    RemoveOpenDatabase(database);
  }
}
