/*
** The converter's plugin entry points: the members of ORVASQLDatabase (the
** class of the embedded SQLite plugin) that the converter calls, bound at
** start-up through the runtime's plugin entry-point table, as an image's
** "_InitPluginEntrypoints" routine binds them.
**
** InitPluginEntrypoints allocates the table (RuntimeAllocatePluginEntrypointsTable)
** and fills one slot per key with RuntimeLookupPluginEntrypoint:
**   kSlotDatabaseFileSet       "ORVASQLDatabase.DatabaseFile.Set"
**   kSlotCreateDatabaseFile    "ORVASQLDatabase.CreateDatabaseFile() as Boolean"
**   kSlotConnect               "ORVASQLDatabase.Connect() as Boolean"
** Every call goes through its slot, as a glue routine ("%__glink." + key)
** jumps through it.  A slot the plugin did not fill (the plugin was not
** loaded: the look-up has reported it) raises FunctionNotFoundException
** when called, where a glue routine would jump to nothing.
**
** Everything else the converter does with an ORVASQLDatabase goes through
** the Database class it extends (runtime/database/database_interface.h).
*/
#ifndef MARLUNE_PLUGIN_GLUE_H
#define MARLUNE_PLUGIN_GLUE_H

#include "runtime/database/database_interface.h"
#include "runtime/files/folder_item.h"

namespace marlune {

enum PluginSlot : int32_t {
  kSlotDatabaseFileSet,
  kSlotCreateDatabaseFile,
  kSlotConnect,
  kPluginSlotCount,
};

/* "_InitPluginEntrypoints": binds every slot (once; later calls do nothing). */
void InitPluginEntrypoints();

/* New ORVASQLDatabase (owned).  Raises NilObjectException when the plugin
** class does not exist. */
DatabaseObject* NewSqlDatabase();

/* The members, through their slots.  The database is borrowed; a nil one
** raises NilObjectException, an unbound slot FunctionNotFoundException. */
void SqlDatabaseSetFile(DatabaseObject* database, FolderItemObject* file);
bool SqlDatabaseCreateFile(DatabaseObject* database);
bool SqlDatabaseConnect(DatabaseObject* database);

} // namespace marlune

#endif
