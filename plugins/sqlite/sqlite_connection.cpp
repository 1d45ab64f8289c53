/*
** Instances, connection records, errors, opening and closing.  See
** sqlite_plugin.h.
**
** Opening a file (Connect, CreateDatabaseFile):
**   1. the FolderItem's path (Windows form, drive Z: the POSIX root) made
**      native; none: error 1 "unable to create path to file";
**   2. a missing file without creation: error 14 "database file not
**      found";
**   3. SQLite opens it; failure: error 26 "file is encrypted or is not a
**      database";
**   4. "PRAGMA legacy_file_format=ON;";
**   5. a new file gets the scratch table created and dropped, and the
**      file type "MLdb" and creator "QDv2" (MacType, MacCreator);
**   6. "SELECT name FROM sqlite_master LIMIT 1" must succeed, else
**      SQLite's error is stored and the connection closed;
**   7. a busy handler retries a locked database up to 10 times, 1 ms
**      apart.
** Closing commits a transaction left open (AutoCommit False opens one
** with the first changing statement), so rows inserted since BEGIN are
** kept, then closes the connection.
*/
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

namespace {

int BusyHandler(void*, int priorCalls) {
  if (priorCalls >= 10) return 0;
  sqlite3_sleep(1);
  return 1;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

void SetFolderItemText(ORVAobject file, const char* property, const char* value) {
  ORVAstring text = MakeString(value);
  gRuntime.setPropertyString(file, property, text);
  gRuntime.unlockString(text);
}

bool Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

/* Step 6: a statement that reads the schema proves the file is a database. */
bool ReadsSchema(Instance* instance, sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master LIMIT 1", -1, &statement, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) SetError(instance, sqlite3_extended_errcode(db) & 0xFF, sqlite3_errmsg(db));
  sqlite3_finalize(statement);
  return rc == SQLITE_OK;
}

bool OpenFile(Instance* instance, Connection* connection, bool create) {
  std::string path = NativePathOf(connection->databaseFile);
  if (path.empty()) {
    SetError(instance, 1, "unable to create path to file");
    return false;
  }
  bool exists = FileExists(path);
  if (!exists && !create) {
    SetError(instance, 14, "database file not found");
    return false;
  }
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    SetError(instance, 26, "file is encrypted or is not a database");
    return false;
  }
  Execute(db, "PRAGMA legacy_file_format=ON;");
  if (!exists) {
    Execute(db, "CREATE TABLE __ORVA__SQL__TEMP__TABLE__ (a, b, c)");
    Execute(db, "DROP TABLE __ORVA__SQL__TEMP__TABLE__");
    SetFolderItemText(connection->databaseFile, "MacType", "MLdb");
    SetFolderItemText(connection->databaseFile, "MacCreator", "QDv2");
  }
  if (!ReadsSchema(instance, db)) {
    sqlite3_close(db);
    return false;
  }
  sqlite3_busy_handler(db, &BusyHandler, nullptr);
  connection->db = db;
  return true;
}

bool OpenInMemory(Instance* instance, Connection* connection) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open(":memory:", &db);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    SetError(instance, rc, "couldn't create in-memory database");
    return false;
  }
  connection->db = db;
  return true;
}

} // namespace

Instance* InstanceOf(ORVAobject object) {
  return object ? reinterpret_cast<Instance*>(reinterpret_cast<char*>(object) + gClassDefinition.dataOffset)
                : nullptr;
}

void RetainConnection(Connection* connection) { connection->references++; }

void ReleaseConnection(Connection* connection) {
  if (!connection || --connection->references > 0) return;
  ForgetInserts(connection);
  if (connection->db) sqlite3_close_v2(connection->db);
  if (connection->databaseFile) gRuntime.unlockObject(connection->databaseFile);
  delete connection;
}

void ClearError(Instance* instance) {
  instance->errorCode = 0;
  std::free(instance->errorMessage);
  instance->errorMessage = nullptr;
}

void SetError(Instance* instance, int32_t code, std::string_view message) {
  ClearError(instance);
  instance->errorCode = code;
  instance->errorMessage = static_cast<char*>(std::malloc(message.size() + 1));
  if (instance->errorMessage) {
    std::memcpy(instance->errorMessage, message.data(), message.size());
    instance->errorMessage[message.size()] = 0;
  }
}

void SetSqliteError(Instance* instance, int code) {
  sqlite3* db = instance->connection ? instance->connection->db : nullptr;
  SetError(instance, code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

std::string NativePathOf(ORVAobject folderItem) {
  if (!folderItem) return std::string();
  ORVAstring path = gRuntime.pathFromFolderItem(folderItem);
  std::string text = Utf8Of(path);
  gRuntime.unlockString(path);
  if (text.empty() || text.find('\0') != std::string::npos) return std::string();
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  if (text.size() >= 2 && text[1] == ':') {
    if (text[0] != 'Z' && text[0] != 'z') return std::string();
    std::string rest = text.substr(2);
    return rest.empty() ? std::string(".") : rest;
  }
  if (text.rfind("//", 0) == 0) return std::string(); /* a network path names nothing on this host */
  return text;
}

bool OpenConnection(ORVAobject object, Instance* instance, bool create) {
  Connection* connection = instance->connection;
  bool opened = connection->databaseFile ? OpenFile(instance, connection, create) : OpenInMemory(instance, connection);
  if (!opened) return false;
  if (connection->shortColumnNames) Execute(connection->db, "PRAGMA short_column_names=ON");
  instance->open = 1;
  gRuntime.setConnected(object, true);
  return true;
}

void CloseConnection(Instance* instance) {
  Connection* connection = instance->connection;
  if (!instance->open || !connection || !connection->db) return;
  if (!sqlite3_get_autocommit(connection->db)) {
    int rc = sqlite3_exec(connection->db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) SetSqliteError(instance, rc);
  }
  ForgetInserts(connection);
  sqlite3_close_v2(connection->db);
  connection->db = nullptr;
  instance->open = 0;
}

} // namespace sqliteplugin
