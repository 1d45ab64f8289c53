/*
** DatabaseStuff, the schema builder: turns one plan database of the
** single-file engine into a SQLite database (ORVASQLDatabase), table by
** table, with the schema edits its caller asks for (schema_edits.h), and
** puts the result in place of its input.
**
** ConvertOldFormat(file, skip tables, renames, type changes, additions,
** drops):
**   1. opens file with openORVADatabase; failing that, returns false;
**   2. deletes "122-234-11339" in the file's folder and creates a new
**      ORVASQLDatabase there (CreateDatabaseFile, Connect);
**   3. for each table of the source's TableSchema not in the skip list,
**      CopyTableContents, under the new name the renames give it;
**   4. closes the target and the source, deletes file and gives the
**      temporary file its name.
** CopyTableContents creates the table ("create table", schema_edits.h) from
** the source's FieldSchema, copies every row of "select * from " + table
** (row_copy.h) with InsertRecord, and applies the drops (DropTableFields).
**
** The conversion either brings every row across or fails, and fails
** plainly.  Per table it counts rows read and rows written; it fails - the
** log line names the table, the counts and the database's message
** (conversion_report.h) - when
**   - the "create table" statement fails;
**   - an insert fails (checked after every row);
**   - the read ended on an error of the source (its Error after the read
**     loop; a damaged page ends a read early);
**   - the counts differ;
** and the conversion fails when the final commit fails.
** A row whose every value is nil is still inserted, as a row of NULLs
** ("insert into " + name + " default values").  The target is written in
** one transaction, begun before the first table and committed (the commit
** checked) before the target is closed.  Every text is written as
** UTF-8 (text_repair.h); the source code page is read from the environment
** before anything is created, so a bad setting fails the conversion first.
**
** On any failure - including an exception raised while converting, which
** is caught here, logged as its class and message and turned into false -
** both databases are closed and the temporary file is deleted; file itself
** is left as it was (the caller's working copy).  The rename of step 4 is
** the only step that puts a finished database under file's name; a failed
** delete or rename is a failure too.
**
** DropTableFields(target, table, columns) rebuilds a table of the target
** without the named columns: the "create table" text from SQLite's master
** table with the columns' definitions cut out, a new table "table" + "1"
** with every row copied without those columns, then "drop table", "alter
** table ... rename to" and "vacuum", each followed by a commit.
**
** Ownership: arguments are borrowed.  The functions report to the
** installed ConversionObserver (conversion_report.h).
*/
#ifndef MARLUNE_DATABASE_STUFF_H
#define MARLUNE_DATABASE_STUFF_H

#include <string>
#include <vector>

#include "app/conversion_report.h"
#include "app/schema_edits.h"
#include "app/text_repair.h"
#include "runtime/database/database_interface.h"
#include "runtime/files/folder_item.h"

namespace marlune {

/* The temporary file's name, in the input's folder. */
inline constexpr char kTemporaryFileName[] = "122-234-11339";

bool ConvertOldFormat(FolderItemObject* file, ORVAstring skipTables, ORVAstring renames, ORVAstring typeChanges,
                      ORVAstring additions, ORVAstring drops);

/* One table; the report says what became of it (failure set when the
** table could not be brought across whole).  May raise. */
TableReport CopyTableContents(DatabaseObject* source, DatabaseObject* target, ORVAstring table, ORVAstring typeChanges,
                              ORVAstring newName, ORVAstring additions, ORVAstring drops, const TextRepair& repair);

/* Removes columns from a table of the target.  Returns why the rebuilt
** table did not receive every row, or "" (nothing to drop, a column list
** that names no column, or success).  May raise. */
std::string DropTableFields(DatabaseObject* target, ORVAstring table, const std::vector<StringRef>& columns,
                            const TextRepair& repair);

/* "ClassName: message" of a raised exception (the class name alone when it
** has no message). */
std::string ExceptionText(ObjectHeader* exception);

} // namespace marlune

#endif
