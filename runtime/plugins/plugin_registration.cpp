/*
** The registration calls of plugins and the lists they fill.  See
** plugin_host.h and plugin_registry.h.
*/
#include <memory>

#include "runtime/base/failure_report.h"
#include "runtime/objects/object_definition.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

const char kSource[] = "plugin.cpp";

/* Interface version each registration needs. */
constexpr int32_t kClassVersion = 3;
constexpr int32_t kInterfaceVersion = 4;
constexpr int32_t kMethodRecordVersion = 3;

/* The lists live as long as the process: they are never destroyed, so
** what they point at stays reachable. */
std::vector<PluginClass*>& gClasses = *new std::vector<PluginClass*>();
std::vector<GlobalMethod*>& gGlobalMethods = *new std::vector<GlobalMethod*>();
std::vector<PluginModule>& gModules = *new std::vector<PluginModule>();
std::vector<ClassExtension>& gExtensions = *new std::vector<ClassExtension>();

StringMap& ClassNameMap() {
  static StringMap* map = new StringMap();
  return *map;
}

/* The plugin whose main is running, when it announced at least version. */
PluginRecord* RegisteringPlugin(int32_t version) {
  PluginRecord* plugin = CurrentPlugin();
  return (plugin && plugin->version >= version) ? plugin : nullptr;
}

/* Reports null member arrays announced with a count; false when any. */
bool MemberArraysPresent(const ORVAClassDefinition* d) {
  bool present = true;
  if (!d->properties && d->propertyCount != 0) {
    QUENDAL_REPORT(kSource, "properties || propertyCount == 0", nullptr);
    present = false;
  }
  if (!d->methods && d->methodCount != 0) {
    QUENDAL_REPORT(kSource, "methods || methodCount == 0", nullptr);
    present = false;
  }
  if (!d->events && d->eventCount != 0) {
    QUENDAL_REPORT(kSource, "events || eventCount == 0", nullptr);
    present = false;
  }
  if (!d->eventInstances && d->eventInstanceCount != 0) {
    QUENDAL_REPORT(kSource, "eventInstances || eventInstanceCount == 0", nullptr);
    present = false;
  }
  return present;
}

/* A method record's routine may not be the "no implementation" mark. */
bool HasImplementation(ORVAproc function) {
  if (function != ORVAnoImplementation) return true;
  QUENDAL_REPORT(kSource, "method->function != (ORVAproc) ORVAnoImplementation", nullptr);
  return false;
}

/* The class an existing name already stands for, or null when the name
** is free.  *exists tells the two "no record" cases apart (a plugin class
** not completed yet has no record). */
ClassRecord* ExistingClass(const char* name, bool* exists) {
  *exists = true;
  if (FindPluginClass(name)) return FindPluginClass(name)->cls;
  if (ClassRecord* cls = ClassForPluginName(name)) return cls;
  *exists = false;
  return nullptr;
}

void AddGlobalMethod(PluginRecord* plugin, ORVAproc function, ORVAproc setter, const char* declaration) {
  if (!declaration || !HasImplementation(function)) return;
  auto* method = new GlobalMethod{plugin, function, setter, declaration, false, {}};
  gGlobalMethods.push_back(method);
}

} // namespace

std::vector<PluginClass*>& PluginClasses() { return gClasses; }
std::vector<GlobalMethod*>& GlobalMethods() { return gGlobalMethods; }
std::vector<PluginModule>& PluginModules() { return gModules; }
std::vector<ClassExtension>& ClassExtensions() { return gExtensions; }

PluginClass* FindPluginClass(std::string_view name) { return static_cast<PluginClass*>(ClassNameMap().Find(name)); }

void AddPluginClass(PluginClass* entry) {
  gClasses.insert(gClasses.begin(), entry);
  ClassNameMap().Insert(std::string_view(entry->definition->name), entry);
}

std::vector<PluginMethod> MethodRecords(const ORVAMethodDefinition* methods, uint32_t count) {
  std::vector<PluginMethod> out;
  for (uint32_t i = 0; methods && i < count; i++) {
    out.push_back({methods[i].function, methods[i].setterFunction, methods[i].declaration});
  }
  return out;
}

std::vector<PluginMethod> DefinitionMethods(const ORVAClassDefinition* definition) {
  if (!definition->methods) return {};
  if (definition->version >= 7) {
    return MethodRecords(static_cast<const ORVAMethodDefinition*>(definition->methods), definition->methodCount);
  }
  const auto* old = static_cast<const ORVAMethodDefinitionV6*>(definition->methods);
  std::vector<PluginMethod> out;
  for (uint32_t i = 0; i < definition->methodCount; i++) {
    out.push_back({old[i].function, old[i].setterFunction, old[i].declaration});
  }
  return out;
}

} // namespace quendal

using namespace quendal;

extern "C" ClassRecord* PluginRegisterClass(ORVAClassDefinition* definition) {
  PluginRecord* plugin = RegisteringPlugin(kClassVersion);
  if (!plugin || !definition || !definition->name) return nullptr;
  bool exists = false;
  ClassRecord* existing = ExistingClass(definition->name, &exists);
  if (exists) return existing;
  if (!MemberArraysPresent(definition)) return nullptr;
  AddPluginClass(new PluginClass{definition, plugin});
  return nullptr;
}

extern "C" void PluginRegisterInterface(const ORVAInterfaceDefinition* definition) {
  PluginRecord* plugin = RegisteringPlugin(kInterfaceVersion);
  if (!plugin || !definition || !definition->name) return;
  bool exists = false;
  ExistingClass(definition->name, &exists);
  if (exists) return;
  if (!definition->methods && definition->methodCount != 0) {
    QUENDAL_REPORT("plugin.cpp", "methods || methodCount == 0", nullptr);
    return;
  }
  /* The interface becomes a class definition of its own, kept for good. */
  auto* classDefinition = new ORVAClassDefinition{};
  classDefinition->version = definition->version < 7 ? 7 : definition->version;
  classDefinition->name = definition->name;
  classDefinition->methods = definition->methods;
  classDefinition->methodCount = definition->methodCount;
  auto* entry = new PluginClass{classDefinition, plugin};
  entry->isInterface = true;
  AddPluginClass(entry);
}

extern "C" void PluginRegisterClassExtension(ORVAClassDefinition* definition) {
  PluginRecord* plugin = RegisteringPlugin(kClassVersion);
  if (!plugin || !definition || !definition->name || !MemberArraysPresent(definition)) return;
  std::string name = definition->name;
  if (name == "SystemClass") name = "_SystemClass";
  gExtensions.push_back({definition, name, plugin});
}

extern "C" void PluginRegisterModule(const ORVAModuleDefinition* definition) {
  PluginRecord* plugin = RegisteringPlugin(kInterfaceVersion);
  if (!plugin || !definition || !definition->name) return;
  if ((!definition->methods && definition->methodCount != 0) ||
      (!definition->properties && definition->propertyCount != 0)) {
    QUENDAL_REPORT("plugin.cpp", "methods || methodCount == 0", nullptr);
    return;
  }
  gModules.push_back({definition, plugin});
}

extern "C" void PluginRegisterMethod(const void* definition) {
  PluginRecord* plugin = CurrentPlugin();
  if (!plugin || !definition) return;
  if (plugin->version == 1) {
    const auto* method = static_cast<const ORVAMethodDefinitionV1*>(definition);
    if (!plugin->exportTable || method->index < 0) return;
    AddGlobalMethod(plugin, plugin->exportTable[method->index], ORVAnoImplementation, method->declaration);
  } else if (plugin->version >= kMethodRecordVersion) {
    const auto* method = static_cast<const ORVAMethodDefinition*>(definition);
    AddGlobalMethod(plugin, method->function, method->setterFunction, method->declaration);
  }
  /* Interface version 2 registered methods in a form this host ignores. */
}

/* Controls need a windowing runtime; this console runtime accepts and
** ignores them, as it does delegate resolvers, which it never consults. */
extern "C" void PluginRegisterControl(const void*) {}
extern "C" void PluginSetDelegateResolver(void*) {}
