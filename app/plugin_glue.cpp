/*
** The converter's plugin entry points (plugin_glue.h).
*/
#include "app/plugin_glue.h"

#include "app/app_text.h"
#include "app/nil_check.h"
#include "runtime/objects/exceptions.h"
#include "runtime/plugins/plugin_host.h"

namespace marlune {

namespace {

constexpr const char* kSlotKeys[kPluginSlotCount] = {
    "ORVASQLDatabase.DatabaseFile.Set",
    "ORVASQLDatabase.CreateDatabaseFile() as Boolean",
    "ORVASQLDatabase.Connect() as Boolean",
};

constexpr char kPluginLibrary[] = "ORVASQLPluginWin602.DLL";

/* The image's table: one slot per key, owned by the program for its life. */
void** gSlots = nullptr;

/* The routine of a slot; raises FunctionNotFoundException when unbound. */
void* Routine(PluginSlot slot) {
  void* routine = gSlots ? gSlots[slot] : nullptr;
  if (!routine) {
    StringRef key = Text(kSlotKeys[slot]);
    StringRef library = Text(kPluginLibrary);
    RuntimeRaiseFunctionNotFoundException(key.get(), library.get());
    __builtin_unreachable();
  }
  return routine;
}

} // namespace

void InitPluginEntrypoints() {
  if (gSlots) return;
  gSlots = RuntimeAllocatePluginEntrypointsTable(kPluginSlotCount);
  for (int32_t slot = 0; gSlots && slot < kPluginSlotCount; slot++) {
    StringRef key = Text(kSlotKeys[slot]);
    gSlots[slot] = RuntimeLookupPluginEntrypoint(key.get());
  }
}

DatabaseObject* NewSqlDatabase() {
  StringRef name = Text("ORVASQLDatabase");
  ClassRecord* cls = RuntimeLookupClass(name.get());
  return reinterpret_cast<DatabaseObject*>(RuntimeNewObject(Need(cls)));
}

void SqlDatabaseSetFile(DatabaseObject* database, FolderItemObject* file) {
  ObjectHeader* receiver = &Need(database)->header;
  auto setter = reinterpret_cast<void (*)(ObjectHeader*, int32_t, ObjectHeader*)>(Routine(kSlotDatabaseFileSet));
  setter(receiver, 0, file ? &file->header : nullptr);
}

bool SqlDatabaseCreateFile(DatabaseObject* database) {
  ObjectHeader* receiver = &Need(database)->header;
  return reinterpret_cast<bool (*)(ObjectHeader*)>(Routine(kSlotCreateDatabaseFile))(receiver);
}

bool SqlDatabaseConnect(DatabaseObject* database) {
  ObjectHeader* receiver = &Need(database)->header;
  return reinterpret_cast<bool (*)(ObjectHeader*)>(Routine(kSlotConnect))(receiver);
}

} // namespace marlune
