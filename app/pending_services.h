/*
** TEMPORARY: services of the database layer that are not on main yet,
** declared weak so the converter builds and its other parts can be tested.
** Removed when the SQL layer and the single-file engine's class land.
*/
#ifndef MARLUNE_PENDING_SERVICES_H
#define MARLUNE_PENDING_SERVICES_H

#include "runtime/database/database_interface.h"
#include "runtime/files/folder_item.h"

extern "C" {
__attribute__((weak)) ObjectHeader* openORVADatabase(FolderItemObject* file);
__attribute__((weak)) ObjectHeader* CursorFieldValueGetter(DatabaseFieldObject* field);
}

inline ObjectHeader* PendingOpenORVADatabase(FolderItemObject* file) {
  return openORVADatabase ? openORVADatabase(file) : nullptr;
}
inline ObjectHeader* PendingFieldValue(DatabaseFieldObject* field) {
  return CursorFieldValueGetter ? CursorFieldValueGetter(field) : nullptr;
}

#endif
