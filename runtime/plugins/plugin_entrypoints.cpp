/*
** The plugin entry-point table: key text -> routine, built from every
** registration on the first RuntimeLookupPluginEntrypoint.  See
** plugin_host.h for the keys.  Keys are also copied for the link table,
** which keeps names for the life of the process.
*/
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/plugins/host_environment.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

StringMap* gTable = nullptr;

bool IsRoutine(ORVAproc routine) { return routine && routine != ORVAnoImplementation; }

/* Enters key -> routine; linked keys also become link-table rows. */
void Enter(const std::string& key, ORVAproc routine, bool linked) {
  if (!IsRoutine(routine)) return;
  gTable->Insert(std::string_view(key), reinterpret_cast<void*>(routine));
  const HostEnvironment* environment = InstalledHostEnvironment();
  if (!linked || !environment) return;
  /* A known name makes no new row and keeps no name (it is checked and,
  ** with another entry, reported); only a new row needs a lasting copy. */
  void* entry = reinterpret_cast<void*>(routine);
  if (environment->findLinkRow(key.c_str())) {
    environment->registerLink(key.c_str(), entry);
  } else {
    environment->registerLink(strdup(key.c_str()), entry);
  }
}

void EnterProperties(const std::string& owner, const ORVAPropertyDefinition* properties, uint32_t count) {
  for (uint32_t i = 0; properties && i < count; i++) {
    if (!properties[i].name) continue;
    std::string prefix = owner + "." + properties[i].name;
    Enter(prefix + ".Get", properties[i].getter, true);
    Enter(prefix + ".Set", properties[i].setter, true);
  }
}

void EnterMethods(const std::string& owner, const std::vector<PluginMethod>& methods) {
  for (const PluginMethod& m : methods) {
    if (!m.declaration) continue;
    std::string key = owner + "." + m.declaration;
    Enter(key, m.function, false);
    Enter(key + ".Set", m.setterFunction, true);
  }
}

void EnterClass(const std::string& owner, const ORVAClassDefinition* d) {
  EnterProperties(owner, d->properties, d->propertyCount);
  EnterMethods(owner, DefinitionMethods(d));
  for (uint32_t i = 0; d->eventInstances && i < d->eventInstanceCount; i++) {
    if (d->eventInstances[i].name) {
      Enter(owner + ".Events." + d->eventInstances[i].name, d->eventInstances[i].implementation, true);
    }
  }
  Enter(owner + ".__init", reinterpret_cast<ORVAproc>(d->constructor), false);
  Enter(owner + ".__exit", reinterpret_cast<ORVAproc>(d->destructor), false);
  if (d->version > 8) {
    EnterProperties(owner, d->sharedProperties, d->sharedPropertyCount);
    EnterMethods(owner, MethodRecords(d->sharedMethods, d->sharedMethodCount));
  }
}

} // namespace

void BuildPluginEntrypointTable() {
  if (gTable) return;
  gTable = new StringMap();
  for (const PluginClass* entry : PluginClasses()) EnterClass(entry->definition->name, entry->definition);
  for (const ClassExtension& extension : ClassExtensions()) EnterClass(extension.className, extension.definition);
  for (const GlobalMethod* method : GlobalMethods()) Enter(method->declarationText, method->function, false);
  for (const PluginModule& module : PluginModules()) {
    const ORVAModuleDefinition* d = module.definition;
    EnterMethods(d->name, MethodRecords(d->methods, d->methodCount));
    EnterProperties(d->name, d->properties, d->propertyCount);
  }
}

void ResetPluginEntrypointsForTesting() {
  delete gTable;
  gTable = nullptr;
}

} // namespace quendal

using namespace quendal;

extern "C" void** RuntimeAllocatePluginEntrypointsTable(int32_t count) {
  if (count <= 0) return nullptr;
  return static_cast<void**>(std::calloc(size_t(count), sizeof(void*)));
}

extern "C" void* RuntimeLookupPluginEntrypoint(ORVAstring key) {
  if (StringView(key) == "_") return nullptr;
  BuildPluginEntrypointTable();
  if (StringMap::Entry* entry = gTable->FindEntry(key)) return entry->value;
  std::string message = "can't find plugin method " + std::string(StringView(key));
  QUENDAL_REPORT("plugin.cpp", "pluginEntryTable.GetEntry( entrypointName, out )", message.c_str());
  return nullptr;
}

extern "C" void RuntimeAddPluginEntrypoint(ORVAstring key, void* routine) {
  if (!key) return;
  BuildPluginEntrypointTable();
  gTable->Insert(key, routine);
}
