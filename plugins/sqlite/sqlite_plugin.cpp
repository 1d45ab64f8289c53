/*
** ORVASQLDatabase: the class, its members and the plugin's entry.  See
** sqlite_plugin.h.
**
** Registration (ORVAPluginMain): interface version 9, the engine, the two
** cursor definitions, the class (superclass Database) and five extension
** methods.  The class's members:
**   Connect, CreateDatabaseFile, LastRowID, DetachDatabase, AttachDatabase
**   DatabaseFile (FolderItem), ShortColumnNames, AutoCommit, Version
** Encryption (Encrypt, Decrypt, EncryptionKey, the keyed AttachDatabase)
** needs an encryption hook the linked SQLite library does not have: those
** members store error 1 "encryption is not supported by this SQLite
** library" and change nothing (a keyed AttachDatabase with an empty key is
** the plain one).
*/
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

const char kNoEncryption[] = "encryption is not supported by this SQLite library";

/* Runs a member with errors caught: nothing escapes into the runtime. */
template <typename F>
auto Member(Instance* instance, F f) -> decltype(f()) {
  try {
    return f();
  } catch (...) {
    if (instance) SetError(instance, 1, "internal error");
    return decltype(f())();
  }
}

void Constructor(ORVAobject object) {
  Instance* instance = InstanceOf(object);
  *instance = Instance{3, 0, 0, nullptr, nullptr};
  instance->connection = new (std::nothrow) Connection();
  if (!instance->connection) return; /* every member then finds no connection */
  instance->connection->owner = instance;
  gRuntime.constructDatabase(object, instance, &gEngine);
}

void Destructor(ORVAobject object) {
  Instance* instance = InstanceOf(object);
  if (!instance->connection) return;
  Member(instance, [&] { CloseConnection(instance); });
  instance->connection->owner = nullptr;
  ReleaseConnection(instance->connection);
  instance->connection = nullptr;
  ClearError(instance);
}

/* Removes a database file and what SQLite keeps beside it, so that a new
** database cannot inherit an old journal.  False when the file remains. */
bool RemoveDatabaseFile(const std::string& path) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) unlink((path + suffix).c_str());
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool Connect(ORVAobject object) {
  Instance* instance = InstanceOf(object);
  if (!instance->connection) return false;
  return Member(instance, [&] {
    if (instance->open) return true;
    ClearError(instance);
    return OpenConnection(object, instance, false);
  });
}

bool CreateDatabaseFile(ORVAobject object) {
  Instance* instance = InstanceOf(object);
  return Member(instance, [&] {
    if (!instance->connection || !instance->connection->databaseFile) {
      SetError(instance, 1, "internal error");
      return false;
    }
    ClearError(instance);
    CloseConnection(instance);
    std::string path = NativePathOf(instance->connection->databaseFile);
    if (path.empty()) {
      SetError(instance, 1, "unable to create path to file");
      return false;
    }
    if (!RemoveDatabaseFile(path)) {
      SetError(instance, 1, "unable to delete the existing database file");
      return false;
    }
    return OpenConnection(object, instance, true);
  });
}

int32_t LastRowID(ORVAobject object) {
  Instance* instance = InstanceOf(object);
  if (!instance->open) return -1;
  return int32_t(sqlite3_last_insert_rowid(instance->connection->db));
}

void DetachDatabase(ORVAobject object, ORVAstring name) {
  Instance* instance = InstanceOf(object);
  Member(instance, [&] {
    ClearError(instance);
    if (instance->open) ExecuteStatements(instance, "DETACH DATABASE " + Utf8Of(name), {});
  });
}

bool Attach(ORVAobject object, ORVAobject file, ORVAstring name) {
  Instance* instance = InstanceOf(object);
  return Member(instance, [&] {
    ClearError(instance);
    if (!instance->open) {
      SetError(instance, 1, "database is not open");
      return false;
    }
    std::string path = NativePathOf(file);
    if (path.empty()) {
      SetError(instance, 1, "unable to create path to file");
      return false;
    }
    return ExecuteStatements(instance, "ATTACH DATABASE " + QuotedLiteral(path) + " AS " + Utf8Of(name), {});
  });
}

bool AttachDatabase(ORVAobject object, ORVAobject file, ORVAstring name) { return Attach(object, file, name); }

int32_t VersionGetter(ORVAobject object, int32_t) {
  Instance* instance = InstanceOf(object);
  return instance ? instance->version : -1;
}

ORVAobject DatabaseFileGetter(ORVAobject object, int32_t) {
  Connection* connection = InstanceOf(object)->connection;
  return connection ? gRuntime.lockObject(connection->databaseFile) : nullptr;
}

void DatabaseFileSetter(ORVAobject object, int32_t, ORVAobject file) {
  Connection* connection = InstanceOf(object)->connection;
  if (!connection || file == connection->databaseFile) return;
  ORVAobject old = connection->databaseFile;
  connection->databaseFile = gRuntime.lockObject(file);
  gRuntime.unlockObject(old);
}

bool ShortColumnNamesGetter(ORVAobject object, int32_t) {
  Connection* connection = InstanceOf(object)->connection;
  return connection && connection->shortColumnNames;
}

void ShortColumnNamesSetter(ORVAobject object, int32_t, bool value) {
  Instance* instance = InstanceOf(object);
  if (!instance->connection) return;
  instance->connection->shortColumnNames = value;
  Member(instance, [&] {
    if (instance->open) {
      ExecuteStatements(instance, std::string("PRAGMA short_column_names=") + (value ? "ON" : "OFF"), {});
    }
  });
}

bool AutoCommitGetter(ORVAobject object, int32_t) {
  Connection* connection = InstanceOf(object)->connection;
  return connection && connection->autoCommit != 0;
}

void AutoCommitSetter(ORVAobject object, int32_t, bool value) {
  if (Connection* connection = InstanceOf(object)->connection) connection->autoCommit = value ? 1 : 0;
}

/* ---- extension methods: encryption ---- */

void Encrypt(ORVAobject object, ORVAstring) { SetError(InstanceOf(object), 1, kNoEncryption); }

void Decrypt(ORVAobject object) { SetError(InstanceOf(object), 1, kNoEncryption); }

bool AttachDatabaseWithKey(ORVAobject object, ORVAobject file, ORVAstring name, ORVAstring key) {
  if (ORVAStringLength(key) > 0) {
    SetError(InstanceOf(object), 1, kNoEncryption);
    return false;
  }
  return Attach(object, file, name);
}

void EncryptionKeySetter(ORVAobject object, ORVAstring) { SetError(InstanceOf(object), 1, kNoEncryption); }

ORVAstring EncryptionKeyGetter(ORVAobject object) {
  SetError(InstanceOf(object), 1, kNoEncryption);
  return nullptr;
}

/* ---- definitions ---- */

#define PROC(f) reinterpret_cast<ORVAproc>(&(f))

ORVAPropertyDefinition kProperties[] = {
    {"", "DatabaseFile", "FolderItem", 0, PROC(DatabaseFileGetter), PROC(DatabaseFileSetter), 0, {}},
    {"", "ShortColumnNames", "Boolean", 0, PROC(ShortColumnNamesGetter), PROC(ShortColumnNamesSetter), 0, {}},
    {"", "AutoCommit", "Boolean", 0, PROC(AutoCommitGetter), PROC(AutoCommitSetter), 0, {}},
    {"", "Version", "Integer", 0, PROC(VersionGetter), nullptr, 0, {}},
};

ORVAMethodDefinition kMethods[] = {
    {PROC(Connect), ORVAnoImplementation, "Connect() as Boolean", 0},
    {PROC(CreateDatabaseFile), ORVAnoImplementation, "CreateDatabaseFile() as Boolean", 0},
    {PROC(LastRowID), ORVAnoImplementation, "LastRowID() as Integer", 0},
    {PROC(DetachDatabase), ORVAnoImplementation, "DetachDatabase(databaseName as String)", 0},
    {PROC(AttachDatabase), ORVAnoImplementation,
     "AttachDatabase(file as FolderItem, databaseName as String) as Boolean", 0},
};

const ORVAMethodDefinition kExtensionMethods[] = {
    {PROC(Encrypt), ORVAnoImplementation, "Encrypt(Extends db As ORVASQLDatabase, encryptionKey As String)", 0},
    {PROC(Decrypt), ORVAnoImplementation, "Decrypt(Extends db As ORVASQLDatabase)", 0},
    {PROC(AttachDatabaseWithKey), ORVAnoImplementation,
     "AttachDatabase(Extends db As ORVASQLDatabase, file As FolderItem, databaseName As String, encryptionKey As "
     "String) As Boolean",
     0},
    {PROC(EncryptionKeySetter), ORVAnoImplementation,
     "EncryptionKey(Extends db As ORVASQLDatabase, Assigns key As String)", 0},
    {PROC(EncryptionKeyGetter), ORVAnoImplementation, "EncryptionKey(Extends db As ORVASQLDatabase) As String", 0},
};

#undef PROC

} // namespace

ORVAClassDefinition gClassDefinition = {
    9,
    "ORVASQLDatabase",
    "Database",
    sizeof(Instance),
    0,
    &Constructor,
    &Destructor,
    kProperties,
    sizeof(kProperties) / sizeof(kProperties[0]),
    kMethods,
    sizeof(kMethods) / sizeof(kMethods[0]),
    nullptr,
    0,
    nullptr,
    0,
    nullptr,
    {},
    nullptr,
    0,
    nullptr,
    0,
};

} // namespace sqliteplugin

using namespace sqliteplugin;

extern "C" __attribute__((visibility("default"))) void ORVAPluginMain(ORVAResolver resolver) {
  try {
    if (!resolver || !ResolveRuntime(resolver)) return;
    gRuntime.registerVersion(9);
    gRuntime.registerEngine(&gEngine);
    gRuntime.registerCursor(&gQueryCursor);
    gRuntime.registerCursor(&gSchemaCursor);
    gRuntime.registerClass(&gClassDefinition);
    for (const ORVAMethodDefinition& method : kExtensionMethods) gRuntime.registerMethod(&method);
  } catch (...) {
    /* A runtime that fails while the plugin registers gets no class. */
  }
}
