/*
** The single-file engine as the database interface sees it: its slot
** records over SingleFileDatabase and its cursors, the class
** ORVADatabaseOldFormat, newORVADatabase and openORVADatabase, and the
** deferred opening of stored "orvadb" bytes.
**
** EngineDefinition (version 4): engineClose, engineTableSchema,
** engineFieldSchema, engineCreateTable, engineInsertRecord,
** engineOpenTableCursor (its filter is a SqlCondition tree),
** engineAddColumn, engineErrorCode (-1 for a null handle),
** engineErrorMessage (nil while the code is 0), engineCommit,
** engineRollback.  Every other slot is empty: SQL goes through the SQL
** layer.  CursorDefinitions (version 4): table cursors (TableSchema too)
** have curClose, curColumnCount, curColumnName, curColumnValue,
** curReleaseValue, curNext, curDelete, curRowKey, curUpdate and
** curColumnType; FieldSchema cursors the first six.
**
** Handles.  An engine handle is a SingleFileDatabase.  engineClose closes
** it but keeps it, because ErrorCode, ErrorMessage, Commit and Rollback
** may still reach it; the Database that holds it deletes it when it is
** destroyed (RegisterEngineHandleRelease).  A cursor handle is owned by
** its RecordSet and deleted by curClose; one outliving its database
** answers nothing.
**
** ORVADatabaseOldFormat (subclass of Database): DatabaseFile As FolderItem
** (retained).  Connect closes the engine it held, if any, then opens the
** file as openORVADatabase does and takes the new engine over;
** CreateDatabaseFile does
** the same with newORVADatabase.  Without a DatabaseFile both set error 1
** "A Database file was not specified" and give False; a file that cannot
** be opened gives False and sets no error.
**
** newORVADatabase / openORVADatabase (file As FolderItem) As Database: the
** item's native path; create (a new file with the three system trees) or
** open (read-write, else read-only); a connected Database, or nil.
**
** Stored bytes ("orvadb"): "Z", then up to three fields separated by 0x01.
** A non-empty second field, its ":" made "\", is the path relative to the
** executable's folder; else what follows the last ":" or "\" of the first
** field is.  Anything else opens nothing.
*/
#ifndef QUENDAL_DATABASE_SINGLE_FILE_ENGINE_H
#define QUENDAL_DATABASE_SINGLE_FILE_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/database/database_interface.h"
#include "runtime/database/single_file_database.h"
#include "runtime/files/folder_item.h"

struct ORVADatabaseObject {
  DatabaseObject database;
  FolderItemObject* databaseFile;
};
static_assert(offsetof(ORVADatabaseObject, databaseFile) == sizeof(DatabaseObject),
              "DatabaseFile follows the Database fields");

namespace quendal::db {

EngineDefinition* SingleFileEngineDefinition();

/* A connected Database (owned) around an open engine (taken), or null. */
ObjectHeader* WrapSingleFileDatabase(std::unique_ptr<SingleFileDatabase> database);

/* The engine of a Database of this engine, or null. */
SingleFileDatabase* SingleFileDatabaseOf(ObjectHeader* database);

/* The path stored bytes name, relative to the executable's folder; false
** when the bytes name none. */
bool StoredDatabasePath(const uint8_t* bytes, int32_t length, std::string* relative);

/* Registers the stored-bytes opener of "orvadb" and the release of engine
** handles (once). */
void RegisterSingleFileEngine();

} // namespace quendal::db

extern "C" {

ObjectHeader* newORVADatabase(FolderItemObject* file);
ObjectHeader* openORVADatabase(FolderItemObject* file);
void ORVADatabaseConstructor(ORVADatabaseObject* database);
void ORVADatabaseDestructor(ORVADatabaseObject* database);
bool ORVADatabaseConnect(ORVADatabaseObject* database);
bool ORVADatabaseCreateDatabaseFile(ORVADatabaseObject* database);
FolderItemObject* ORVADatabaseFolderItemGetter(ORVADatabaseObject* database);
void ORVADatabaseFolderItemSetter(ORVADatabaseObject* database, FolderItemObject* file);

} // extern "C"

#endif
