/*
** The plugin host's registry: loaded plugins, and what they registered.
** Internal to runtime/plugins.
**
** Plugin records: one per loaded library, newest first.  The current
** plugin is the record whose ORVAPluginMain is running; registration calls
** attach what they register to it and are ignored outside plugin loading
** (when it is null).
**
** Plugin classes: one entry per registered class or interface, newest
** first, also in a class-name map (ASCII case ignored).  An entry's class
** record is built when the classes are completed (plugin_classes.cpp);
** until then, and for a class whose superclass could not be found, it is
** null.  Global methods, modules and class extensions have lists of
** their own; their declarations are parsed when the classes are
** completed, when every class name a declaration may use is known.
**
** Everything here is made during start-up on the main thread and lives
** until the process ends (the definitions stay the plugins' own).
*/
#ifndef QUENDAL_PLUGINS_PLUGIN_REGISTRY_H
#define QUENDAL_PLUGINS_PLUGIN_REGISTRY_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/objects/object_model.h"
#include "runtime/plugins/method_declaration.h"
#include "runtime/plugins/quendal_plugin.h"

namespace quendal {

struct PluginRecord {
  PluginRecord* next;
  int32_t version;              /* interface version; 1 until RegisterPluginVersion */
  void* module;                 /* the library's handle */
  const ORVAproc* exportTable;  /* RegisterPluginExports, for version-1 methods */
};

/* A member of a plugin class as the class record and the entry-point
** table need it. */
struct PluginMethod {
  ORVAproc function;
  ORVAproc setterFunction;      /* ORVAnoImplementation: none */
  const char* declaration;
};

struct PluginClass {
  ORVAClassDefinition* definition;
  PluginRecord* plugin;
  bool isInterface = false;
  bool completed = false;
  bool completing = false;      /* on the completion path (guards superclass cycles) */
  ClassRecord* cls = nullptr;   /* built by completion */
};

struct GlobalMethod {
  PluginRecord* plugin;
  ORVAproc function;
  ORVAproc setterFunction;
  std::string declarationText;
  bool parsed = false;          /* declaration holds a valid parse */
  MethodDeclaration declaration;
};

struct PluginModule {
  const ORVAModuleDefinition* definition;
  PluginRecord* plugin;
};

struct ClassExtension {
  ORVAClassDefinition* definition;
  std::string className;        /* "SystemClass" taken as "_SystemClass" */
  PluginRecord* plugin;
};

/* ---- plugin records -------------------------------------------------------- */

PluginRecord* CreatePluginRecord(void* module);
PluginRecord* CurrentPlugin();
void SetCurrentPlugin(PluginRecord* plugin);

/* ---- registrations ----------------------------------------------------------- */

std::vector<PluginClass*>& PluginClasses();      /* newest first */
PluginClass* FindPluginClass(std::string_view name);
void AddPluginClass(PluginClass* entry);          /* at the front and into the map */

std::vector<GlobalMethod*>& GlobalMethods();     /* in order of registration */
std::vector<PluginModule>& PluginModules();
std::vector<ClassExtension>& ClassExtensions();

/* The members of a class definition, whatever its layout version. */
std::vector<PluginMethod> DefinitionMethods(const ORVAClassDefinition* definition);
std::vector<PluginMethod> MethodRecords(const ORVAMethodDefinition* methods, uint32_t count);

/* ---- classes ------------------------------------------------------------------- */

/* pluginObjectType's rule: built-in classes (DatabaseCursor and
** DatabaseCursorField taken as RecordSet and DatabaseField), then plugin
** classes.  Null when none. */
ClassRecord* ClassForPluginName(std::string_view name);
/* The signature code of a class name known to plugins: "o<Name>", or "". */
std::string PluginClassCode(std::string_view className);

/* Completes every registered class (after all plugin mains have run) and
** parses the declarations of global methods. */
void CompletePluginClasses();

/* The registered class published under that name (completed), or null:
** the plugin host's part of RuntimeLookupClass. */
ClassRecord* PublishedPluginClass(ORVAstring name);

/* Makes sure the entry-point table exists; built from every registration
** on the first call. */
void BuildPluginEntrypointTable();

/* Test seam: forgets the entry-point table, so that the next look-up
** builds it again from every registration. */
void ResetPluginEntrypointsForTesting();

} // namespace quendal

#endif
