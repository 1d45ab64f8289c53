/*
** The open lists of record sets and databases, the shutdown that closes
** them, and the seams other modules install.  See database_interface.h.
**
** The lists are plain vectors, newest first; they hold no references (an
** object leaves its list when it is closed, and closing is part of its
** destruction).
*/
#include <algorithm>
#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

std::vector<DatabaseObject*> gOpenDatabases;
std::vector<RecordSetObject*> gOpenRecordSets;
const SqlLayer* gSqlLayer = nullptr;

StringMap& Openers() {
  static StringMap* map = new StringMap();
  return *map;
}

template <typename T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

void AddOpenDatabase(DatabaseObject* database) {
  if (std::find(gOpenDatabases.begin(), gOpenDatabases.end(), database) == gOpenDatabases.end()) {
    gOpenDatabases.insert(gOpenDatabases.begin(), database);
  }
}

void RemoveOpenDatabase(DatabaseObject* database) { RemoveFrom(gOpenDatabases, database); }

void AddOpenRecordSet(RecordSetObject* set) { gOpenRecordSets.insert(gOpenRecordSets.begin(), set); }

void RemoveOpenRecordSet(RecordSetObject* set) { RemoveFrom(gOpenRecordSets, set); }

std::vector<RecordSetObject*> OpenRecordSetsOf(const DatabaseObject* database) {
  std::vector<RecordSetObject*> owned;
  for (RecordSetObject* set : gOpenRecordSets) {
    if (set->owner == database) owned.push_back(set);
  }
  return owned;
}

size_t OpenRecordSetCount() { return gOpenRecordSets.size(); }
size_t OpenDatabaseCount() { return gOpenDatabases.size(); }

void CloseOpenDatabaseObjects() {
  /* Each object leaves its list before it is closed, so the loops end
  ** whatever closing does. */
  while (!gOpenRecordSets.empty()) {
    RecordSetObject* set = gOpenRecordSets.front();
    RemoveOpenRecordSet(set);
    cursorClose(set);
  }
  while (!gOpenDatabases.empty()) {
    DatabaseObject* database = gOpenDatabases.front();
    databaseClose(database);
    RemoveOpenDatabase(database);
  }
}

void InstallSqlLayer(const SqlLayer* layer) { gSqlLayer = layer; }
const SqlLayer* InstalledSqlLayer() { return gSqlLayer; }

void RegisterStoredDatabaseOpener(const char* engineName, StoredDatabaseOpener opener) {
  if (engineName) Openers().Insert(std::string_view(engineName), reinterpret_cast<void*>(opener));
}

StoredDatabaseOpener StoredDatabaseOpenerFor(ORVAstring engineName) {
  return reinterpret_cast<StoredDatabaseOpener>(Openers().Find(engineName));
}

} // namespace quendal
