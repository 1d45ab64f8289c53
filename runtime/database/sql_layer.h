/*
** The SQL layer for engines without SQL of their own: SQLExecute and
** SQLSelect of a Database whose engine fills only table-level slots.
**
** execute: strips the trailing ";", runs "commit" and "rollback" through
** engineCommit and engineRollback, and carries out CREATE TABLE (slot 7),
** ALTER TABLE ... ADD (slot 11), INSERT (slot 8; entries in statement
** order, type 5, NULL values left out), UPDATE and DELETE (a cursor of the
** table through slot 9, then Edit / setString / Update or DeleteRecord on
** every row the WHERE condition holds for).  DROP gives 2007; any other
** statement does nothing and sets no error.
**
** select: parses, validates and runs a query (sql_select.h).
**
** Errors are stored on the Database (ORVADatabaseSetError); the first one
** ends the statement, and nothing the engine already did is undone.  An
** error of the engine itself (2000 ...) stays with the engine and is read
** through ErrorCode and ErrorMessage (slots 13 and 14), except when it ends
** a statement that goes on calling the engine: then it is copied to the
** Database, where it cannot be cleared by a later call.  A statement that
** needs a slot the engine lacks gives 201.
**
** The layer is installed with InstallSqlLayer(TableLevelSqlLayer()) by
** the database layer's start-up (database_startup.h).
*/
#ifndef QUENDAL_DATABASE_SQL_LAYER_H
#define QUENDAL_DATABASE_SQL_LAYER_H

#include "runtime/database/database_interface.h"

namespace quendal::db {

const SqlLayer* TableLevelSqlLayer();

} // namespace quendal::db

#endif
