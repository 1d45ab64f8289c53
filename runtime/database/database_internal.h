/*
** Pieces the database layer's files share.  Internal to runtime/database.
*/
#ifndef QUENDAL_DATABASE_DATABASE_INTERNAL_H
#define QUENDAL_DATABASE_DATABASE_INTERNAL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/database_interface.h"

namespace quendal {

/* ---- errors and connection (database_methods.cpp) ---- */

/* Error 201's message when an engine offers no way to run a statement. */
inline constexpr char kSqlNotSupportedMessage[] = "SQL statements are not supported by this database";

/* Stores code and message as the Database's own error (message copied). */
void SetDatabaseError(DatabaseObject* database, int32_t code, std::string_view message);
/* The deferred-opening check run first by the SQL, insert, schema and
** property calls: true when the Database can reach its engine. */
bool EnsureConnected(DatabaseObject* database);
/* Frees the engine handle through the release registered for its engine
** (none registered: the handle is the engine's business) and clears it. */
void ReleaseEngineHandle(DatabaseObject* database);
/* The SQL layer, or null. */
const SqlLayer* InstalledSqlLayer();
/* The opener registered for an engine name, or null. */
StoredDatabaseOpener StoredDatabaseOpenerFor(ORVAstring engineName);

/* ---- open lists (database_registry.cpp) ---- */

void AddOpenDatabase(DatabaseObject* database);     /* no effect when already listed */
void RemoveOpenDatabase(DatabaseObject* database);
void AddOpenRecordSet(RecordSetObject* set);
void RemoveOpenRecordSet(RecordSetObject* set);
/* The open sets whose owner is database, newest first (a copy). */
std::vector<RecordSetObject*> OpenRecordSetsOf(const DatabaseObject* database);

/* ---- record sets (database_recordset.cpp) ---- */

/* True when the set can reach its engine (open, with a definition). */
inline bool RecordSetIsOpen(const RecordSetObject* set) { return set && set->cursorHandle && set->cursor; }
void DiscardPendingEdits(RecordSetObject* set);
/* The pending edit of a column, or null. */
ORVAPendingEdit* PendingEditOf(RecordSetObject* set, int32_t column);

/* ---- records (database_record.cpp) ---- */

/* A new DatabaseRecord (owned) of unnamed type-5 entries holding the
** values (borrowed) in the given order. */
ObjectHeader* NewTextRecord(const std::vector<ORVAstring>& values);

/* ---- generated SQL (database_sql_text.cpp) ---- */

/* "insert into T(a,b) values (1,'x')": entries in list order; types 3, 19
** and 7 bare, everything else quoted with "'" doubled; no value: NULL. */
std::string InsertStatementText(std::string_view table, const ORVADatabaseRecordEntry* entries);

/* One UPDATE per (table, WHERE) group of update nodes, in group-list order
** (new groups at the front). */
std::vector<std::string> UpdateStatementTexts(const ORVAUpdateNode* updates);

/* The bytes of a string as UTF-8 text (converted when it has another
** encoding). */
std::string Utf8TextOf(ORVAstring s);

} // namespace quendal

#endif
