/*
** The single-file engine's slots, its class and its exported functions:
** see single_file_engine.h.  The slots are thin: they turn the interface's
** strings and lists into the engine's C++ arguments and its cursors into
** RecordSets.
*/
#include "runtime/database/single_file_engine.h"

#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/database/table_cursor.h"
#include "runtime/files/folder_paths.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

namespace {

SingleFileDatabase* D(void* handle) { return static_cast<SingleFileDatabase*>(handle); }

/* A cursor handle: the engine's cursor and the bytes curRowKey hands out
** (valid until the next call on the cursor). */
struct CursorHandle {
  std::unique_ptr<DbCursor> cursor;
  std::string keyTableColumn;
  std::string keyWhere;
};

CursorHandle* H(void* handle) { return static_cast<CursorHandle*>(handle); }
TableCursor* T(void* handle) { return static_cast<TableCursor*>(H(handle)->cursor.get()); }

ORVAstring EngineText(std::string_view text) { return StringCreate(text, kEncodingASCII); }

/* ---- cursor slots ------------------------------------------------------------------ */

void CursorClose(void* h) { delete H(h); }
int32_t CursorColumnCount(void* h) { return H(h)->cursor->ColumnCount(); }
ORVAstring CursorColumnName(void* h, int32_t column) { return EngineText(H(h)->cursor->ColumnName(column)); }
void CursorColumnValue(void* h, int32_t column, void** value, uint8_t* type, int32_t* length) {
  H(h)->cursor->ColumnValue(column, const_cast<const void**>(value), type, length);
}
void CursorReleaseValue(void* h) { H(h)->cursor->ReleaseValue(); }
bool CursorNext(void* h) { return H(h)->cursor->Next(); }
void CursorDelete(void* h) { T(h)->Delete(); }
int32_t CursorColumnType(void* h, int32_t column) { return T(h)->ColumnType(column); }

bool CursorRowKey(void* h, int32_t column, const char** tableColumn, int32_t* tableColumnLength, const char** where,
                  int32_t* whereLength) {
  CursorHandle* handle = H(h);
  if (!T(h)->RowKey(column, &handle->keyTableColumn, &handle->keyWhere)) return false;
  *tableColumn = handle->keyTableColumn.data();
  *tableColumnLength = int32_t(handle->keyTableColumn.size());
  *where = handle->keyWhere.data();
  *whereLength = int32_t(handle->keyWhere.size());
  return true;
}

void CursorUpdate(void* h, ORVAPendingEdit* edits) {
  std::vector<std::string> texts;
  for (ORVAPendingEdit* e = edits; e; e = e->next) texts.push_back(Utf8TextOf(e->value));
  std::vector<PendingEdit> list;
  size_t i = 0;
  for (ORVAPendingEdit* e = edits; e; e = e->next, i++) list.push_back({e->column, e->value == nullptr, texts[i]});
  T(h)->Update(list);
}

CursorDefinition kTableCursorDefinition = {
    4,       0,          &CursorClose, &CursorColumnCount, &CursorColumnName, nullptr,
    &CursorColumnValue,  &CursorReleaseValue, &CursorNext, &CursorDelete, nullptr, &CursorRowKey,
    &CursorUpdate,       nullptr,    nullptr,      nullptr,            nullptr,           &CursorColumnType,
    nullptr,             nullptr,
};

CursorDefinition kFieldSchemaCursorDefinition = {
    4,       0,       &CursorClose, &CursorColumnCount, &CursorColumnName, nullptr, &CursorColumnValue,
    &CursorReleaseValue, &CursorNext, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr,
};

/* A RecordSet (owned) around an engine cursor, or null. */
ObjectHeader* WrapCursor(std::unique_ptr<DbCursor> cursor, CursorDefinition* definition) {
  if (!cursor) return nullptr;
  auto handle = std::make_unique<CursorHandle>();
  handle->cursor = std::move(cursor);
  ObjectHeader* set = ORVAdbCursorFromDBCursor(handle.get(), definition);
  if (set) (void)handle.release();
  return set;
}

/* ---- engine slots ------------------------------------------------------------------ */

void EngineClose(void* h) { D(h)->Close(); }

ObjectHeader* EngineTableSchema(void* h) { return WrapCursor(D(h)->TableSchema(), &kTableCursorDefinition); }

ObjectHeader* EngineFieldSchema(void* h, ORVAstring table) {
  return WrapCursor(D(h)->FieldSchema(Utf8TextOf(table)), &kFieldSchemaCursorDefinition);
}

/* Names of column nodes, and the definitions reading them. */
void ReadColumns(const ORVAColumnNode* node, std::vector<std::string>* names, std::vector<ColumnDefinition>* out) {
  for (const ORVAColumnNode* n = node; n; n = n->next) names->push_back(Utf8TextOf(n->name));
  size_t i = 0;
  for (const ORVAColumnNode* n = node; n; n = n->next, i++) out->push_back({(*names)[i], n->type, n->nullable != 0});
}

void EngineCreateTable(void* h, ORVAstring table, ORVAColumnNode* columns, const uint8_t* keys, int32_t keyCount) {
  std::vector<std::string> names;
  std::vector<ColumnDefinition> definitions;
  ReadColumns(columns, &names, &definitions);
  D(h)->CreateTable(Utf8TextOf(table), definitions,
                    std::span<const uint8_t>(keys, keys && keyCount > 0 ? size_t(keyCount) : 0));
}

void EngineAddColumn(void* h, ORVAstring table, ORVAColumnNode* column) {
  std::vector<std::string> names;
  std::vector<ColumnDefinition> definitions;
  ReadColumns(column, &names, &definitions);
  if (definitions.empty()) return;
  D(h)->AddColumn(Utf8TextOf(table), definitions[0]);
}

void EngineInsertRecord(void* h, ORVAstring table, ORVADatabaseRecordEntry* entries) {
  std::vector<std::string> texts;
  for (ORVADatabaseRecordEntry* e = entries; e; e = e->next) {
    texts.push_back(Utf8TextOf(e->name));
    texts.push_back(Utf8TextOf(e->value));
  }
  std::vector<RecordEntry> list;
  size_t i = 0;
  for (ORVADatabaseRecordEntry* e = entries; e; e = e->next, i += 2) list.push_back({texts[i], texts[i + 1], e->type});
  D(h)->InsertRecord(Utf8TextOf(table), list);
}

ObjectHeader* EngineOpenTableCursor(void* h, ORVAstring table, ORVAColumnNameNode* columns, const void* filter) {
  std::vector<std::string> names;
  for (ORVAColumnNameNode* n = columns; n; n = n->next) names.push_back(Utf8TextOf(n->name));
  std::vector<std::string_view> views(names.begin(), names.end());
  return WrapCursor(D(h)->OpenTableCursor(Utf8TextOf(table), views, static_cast<const SqlCondition*>(filter)),
                    &kTableCursorDefinition);
}

int32_t EngineErrorCode(void* h) { return h ? D(h)->errorCode() : -1; }

ORVAstring EngineErrorMessage(void* h) {
  return h && D(h)->errorCode() != 0 ? EngineText(D(h)->errorMessage()) : nullptr;
}

void EngineCommit(void* h) { D(h)->Commit(); }
void EngineRollback(void* h) { D(h)->Rollback(); }

EngineDefinition kEngineDefinition = {
    4,
    0,
    &EngineClose,
    &EngineTableSchema,
    &EngineFieldSchema,
    nullptr, /* engineSQLSelect: the SQL layer */
    nullptr, /* engineSQLExecute */
    &EngineCreateTable,
    &EngineInsertRecord,
    &EngineOpenTableCursor,
    nullptr, /* engineUpdateFields */
    &EngineAddColumn,
    nullptr, /* engineIndexSchema */
    &EngineErrorCode,
    &EngineErrorMessage,
    &EngineCommit,
    &EngineRollback,
    nullptr, /* engineGetProperty */
    nullptr, /* engineSupportedTypes */
};

void ReleaseHandle(void* h) { delete D(h); }

/* ---- files ---------------------------------------------------------------------------- */

/* The native path of a host file item; false for nil or a file inside a
** virtual volume. */
bool NativePathOf(FolderItemObject* file, std::string* path) {
  FolderItemImp* imp = FolderItemImpOf(file);
  if (!imp || imp->IsVirtual()) return false;
  *path = imp->AbsolutePath();
  return !path->empty();
}

std::unique_ptr<SingleFileDatabase> OpenPath(const std::string& path) {
  DbFault fault;
  return SingleFileDatabase::Open(path, OpenAccess::kReadWriteElseReadOnly, &fault);
}

std::unique_ptr<SingleFileDatabase> CreatePath(const std::string& path) {
  DbFault fault;
  return SingleFileDatabase::Create(path, &fault);
}

std::string ExecutableFolder() {
  platform::WCHAR buffer[4096];
  const platform::DWORD n = platform::GetModuleFileNameW(nullptr, buffer, 4096);
  if (n == 0 || n >= 4096) return "";
  return PathFolderPart(platform::Utf8FromUtf16(buffer, n));
}

ObjectHeader* OpenStoredDatabase(const uint8_t* bytes, int32_t length) {
  std::string relative;
  const std::string folder = ExecutableFolder();
  if (!StoredDatabasePath(bytes, length, &relative) || folder.empty()) return nullptr;
  std::string path = folder;
  if (path.back() != '\\' && relative.front() != '\\') path += '\\';
  if (path.back() == '\\' && relative.front() == '\\') path.pop_back();
  std::unique_ptr<SingleFileDatabase> database = OpenPath(path + relative);
  return database ? WrapSingleFileDatabase(std::move(database)) : nullptr;
}

/* Connect and CreateDatabaseFile: the engine opened from DatabaseFile
** replaces the one the object held, which is closed. */
bool ConnectWith(ORVADatabaseObject* object, std::unique_ptr<SingleFileDatabase> (*open)(const std::string&)) {
  if (!object) return false;
  DatabaseObject* database = &object->database;
  std::string path;
  if (!object->databaseFile) {
    SetDatabaseError(database, 1, "A Database file was not specified");
    return false;
  }
  if (!NativePathOf(object->databaseFile, &path)) return false;
  /* The engine held before is closed first: it may hold the same file in
  ** an open transaction, which another opening would refuse. */
  databaseClose(database);
  ReleaseEngineHandle(database);
  std::unique_ptr<SingleFileDatabase> opened = open(path);
  if (!opened) return false;
  ORVAConstructDBDatabase(&database->header, opened.release(), &kEngineDefinition);
  return true;
}

} // namespace

EngineDefinition* SingleFileEngineDefinition() { return &kEngineDefinition; }

ObjectHeader* WrapSingleFileDatabase(std::unique_ptr<SingleFileDatabase> database) {
  ObjectHeader* object = ORVAdbDatabaseFromDBDatabase(database.get(), &kEngineDefinition);
  if (object) (void)database.release();
  return object;
}

SingleFileDatabase* SingleFileDatabaseOf(ObjectHeader* object) {
  if (!object || !RuntimeObjectIsa(object, DatabaseClass())) return nullptr;
  auto* database = reinterpret_cast<DatabaseObject*>(object);
  return database->engine == &kEngineDefinition ? D(database->engineHandle) : nullptr;
}

bool StoredDatabasePath(const uint8_t* bytes, int32_t length, std::string* relative) {
  if (!bytes || length < 1 || bytes[0] != 'Z') return false;
  const std::string_view rest(reinterpret_cast<const char*>(bytes) + 1, size_t(length - 1));
  std::string_view fields[3];
  size_t count = 0, at = 0;
  while (count < 3) {
    const size_t end = rest.find('\x01', at);
    fields[count++] = rest.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  if (count > 1 && !fields[1].empty()) {
    relative->assign(fields[1]);
    for (char& c : *relative) {
      if (c == ':') c = '\\';
    }
  } else {
    const size_t cut = fields[0].find_last_of(":\\");
    relative->assign(cut == std::string_view::npos ? fields[0] : fields[0].substr(cut + 1));
  }
  return !relative->empty();
}

void RegisterSingleFileEngine() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterStoredDatabaseOpener("orvadb", &OpenStoredDatabase);
  RegisterEngineHandleRelease(&kEngineDefinition, &ReleaseHandle);
}

} // namespace quendal::db

using namespace quendal;
using namespace quendal::db;

QUENDAL_SERVICE ObjectHeader* newORVADatabase(FolderItemObject* file) {
  QUENDAL_SERVICE_BEGIN
  std::string path;
  if (!NativePathOf(file, &path)) return nullptr;
  std::unique_ptr<SingleFileDatabase> database = CreatePath(path);
  return database ? WrapSingleFileDatabase(std::move(database)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* openORVADatabase(FolderItemObject* file) {
  QUENDAL_SERVICE_BEGIN
  std::string path;
  if (!NativePathOf(file, &path)) return nullptr;
  std::unique_ptr<SingleFileDatabase> database = OpenPath(path);
  return database ? WrapSingleFileDatabase(std::move(database)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void ORVADatabaseConstructor(ORVADatabaseObject* object) {
  if (!object) return;
  DatabaseConstructor(&object->database);
  object->database.engine = &kEngineDefinition;
}

extern "C" void ORVADatabaseDestructor(ORVADatabaseObject* object) {
  if (!object || !object->databaseFile) return;
  FolderItemObject* file = object->databaseFile;
  object->databaseFile = nullptr;
  ReleaseObjectQuietly(&file->header);
}

QUENDAL_SERVICE bool ORVADatabaseConnect(ORVADatabaseObject* object) {
  QUENDAL_SERVICE_BEGIN
  return ConnectWith(object, &OpenPath);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ORVADatabaseCreateDatabaseFile(ORVADatabaseObject* object) {
  QUENDAL_SERVICE_BEGIN
  return ConnectWith(object, &CreatePath);
  QUENDAL_SERVICE_END(false)
}

extern "C" FolderItemObject* ORVADatabaseFolderItemGetter(ORVADatabaseObject* object) {
  if (!object || !object->databaseFile) return nullptr;
  return reinterpret_cast<FolderItemObject*>(RuntimeLockObject(&object->databaseFile->header));
}

extern "C" void ORVADatabaseFolderItemSetter(ORVADatabaseObject* object, FolderItemObject* file) {
  if (!object) return;
  ObjectHeader* old = object->databaseFile ? &object->databaseFile->header : nullptr;
  RuntimeLockUnlockObjects(file ? &file->header : nullptr, old);
  object->databaseFile = file;
}
