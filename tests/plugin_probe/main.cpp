/*
** quendal-plugin-probe: a program that carries plugins the way the
** converter does, as 'QDPl' resources of its linked program, and reports
** what the plugin host made of them.
**
** Embedded: "ORVASQLPluginWin602.DLL" (the SQLite class),
** "QuendalTestPlugin.so" (the C test plugin, variant 1) and
** "NotAPlugin.so" (a library without ORVAPluginMain).  The entry routine
** starts the runtime as an image would and prints, one per line:
**   memory <name>      every library mapped from an anonymous memory file
**   file <name>        every plugin library mapped from a file
**   variant <n>        which build of the test plugin registered
**   sqlite <n>         a row count read back through ORVASQLDatabase
** and returns 0.  Run it in a folder holding a file named like an embedded
** plugin to see the file preferred.
*/
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "runtime/database/database_interface.h"
#include "runtime/image/loaderX86.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/startup.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/text/string_core.h"

extern "C" const uint8_t probe_plugins_begin[];
extern "C" const uint8_t probe_plugins_end[];

namespace {

using namespace quendal;

void PrintMappings() {
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> memory, files;
  std::string line;
  while (std::getline(maps, line)) {
    size_t at = line.find("/memfd:");
    if (at != std::string::npos) {
      std::string name = line.substr(at + 7);
      memory.insert(name.substr(0, name.find(" (deleted)")));
    } else if (line.find("Plugin") != std::string::npos && line.find('/') != std::string::npos) {
      files.insert(line.substr(line.find_last_of('/') + 1));
    }
  }
  for (const std::string& name : memory) std::printf("memory %s\n", name.c_str());
  for (const std::string& name : files) std::printf("file %s\n", name.c_str());
}

void PrintVariant() {
  auto variant = reinterpret_cast<int32_t (*)()>(ORVALoadGlobalMethod(nullptr, "PluginVariant() As Integer"));
  std::printf("variant %d\n", variant ? variant() : 0);
}

void Execute(ObjectHeader* database, const char* sql) {
  StringRef text(StringCreate(sql, kEncodingUTF8));
  databaseSQLExecute(reinterpret_cast<DatabaseObject*>(database), text.get());
}

void PrintSqliteRows() {
  ObjectRef database(PluginNewInstance("ORVASQLDatabase"));
  auto connect = reinterpret_cast<bool (*)(ObjectHeader*)>(
      ORVALoadObjectMethod(database.get(), "Connect() As Boolean"));
  if (!database || !connect || !connect(database.get())) {
    std::printf("sqlite none\n");
    return;
  }
  Execute(database.get(), "create table t (a integer)");
  Execute(database.get(), "insert into t values (1); insert into t values (2)");
  StringRef query(StringCreate("select count(*) from t", kEncodingUTF8));
  ObjectRef set(databaseSQLSelect(reinterpret_cast<DatabaseObject*>(database.get()), query.get()));
  ObjectRef field(set ? cursorGetFieldByIndex(reinterpret_cast<RecordSetObject*>(set.get()), 1) : nullptr);
  std::printf("sqlite %d\n",
              field ? cursorFieldIntegerValueGetter(reinterpret_cast<DatabaseFieldObject*>(field.get())) : -1);
}

uint32_t ProbeEntry() {
  RuntimeInit();
  RuntimeInitExternalClasses();
  PrintMappings();
  PrintVariant();
  PrintSqliteRows();
  std::fflush(stdout);
  return 0;
}

const LinkedProgram kProbe = {&ProbeEntry, probe_plugins_begin, uint32_t(probe_plugins_end - probe_plugins_begin)};

} // namespace

int main(int argc, char** argv, char** envp) {
  SetLinkedProgram(&kProbe);
  return RuntimeMain(argc, argv, envp);
}
