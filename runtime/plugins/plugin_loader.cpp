/*
** LoadPlugins, plugin records and the resolver.  See plugin_host.h.
*/
#include <cstring>
#include <string>
#include <vector>

#include "runtime/base/failure_report.h"
#include "runtime/platform/paths.h"
#include "runtime/plugins/host_environment.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_library.h"
#include "runtime/plugins/plugin_registry.h"

namespace quendal {

namespace {

constexpr uint32_t FourCharCode(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}
constexpr uint32_t kEmbeddedPluginType = FourCharCode("QDPl");
constexpr uint32_t kExternalPluginType = FourCharCode("QDPx");

PluginRecord* gPlugins = nullptr;
PluginRecord* gCurrentPlugin = nullptr;

struct EmbeddedPlugin {
  std::string name;
  const uint8_t* bytes;
  size_t length;
};

/* 'QDPl': one byte name length k, k name bytes, then the library.  False
** for a record too short to hold what it announces. */
bool ParseEmbeddedPlugin(const HostResource& resource, EmbeddedPlugin* out) {
  if (resource.length < 1 || !resource.data) return false;
  size_t k = resource.data[0];
  if (1 + k > resource.length) return false;
  out->name.assign(reinterpret_cast<const char*>(resource.data + 1), k);
  out->bytes = resource.data + 1 + k;
  out->length = resource.length - 1 - k;
  return true;
}

/* 'QDPx': a UTF-16 path up to the first zero unit (or the record's end). */
std::string ExternalPluginPath(const HostResource& resource) {
  std::u16string units;
  for (uint32_t i = 0; i + 1 < resource.length; i += 2) {
    char16_t unit = char16_t(resource.data[i] | (resource.data[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  auto posix = platform::PosixPathFromWindows(platform::Utf8FromUtf16(units.data(), units.size()));
  return posix ? *posix : std::string();
}

/* Runs the plugin main of a loaded library.  A library without one gets no
** record; false then, and the caller decides whether it stays loaded. */
bool StartPlugin(void* library) {
  auto main = reinterpret_cast<ORVAPluginMainProc>(LibrarySymbol(library, ORVA_PLUGIN_MAIN_NAME));
  if (!main) return false;
  PluginRecord* record = CreatePluginRecord(library);
  SetCurrentPlugin(record);
  main(&PluginResolver);
  SetCurrentPlugin(nullptr);
  return true;
}

void LoadPluginFile(const std::string& path) {
  if (void* library = LoadLibraryFromFile(path)) StartPlugin(library);
}

void LoadPluginFromMemory(const EmbeddedPlugin& plugin) {
  void* library = LoadLibraryFromMemory(plugin.name, plugin.bytes, plugin.length);
  if (library && !StartPlugin(library)) ReleaseLibrary(library);
}

} // namespace

PluginRecord* CreatePluginRecord(void* module) {
  gPlugins = new PluginRecord{gPlugins, 1, module, nullptr};
  return gPlugins;
}

PluginRecord* CurrentPlugin() { return gCurrentPlugin; }
void SetCurrentPlugin(PluginRecord* plugin) { gCurrentPlugin = plugin; }

const ORVALinkRow* PluginResolver(const char* name) {
  const HostEnvironment* environment = InstalledHostEnvironment();
  return (environment && name) ? environment->findLinkRow(name) : nullptr;
}

void LoadPlugins() {
  const HostEnvironment* environment = InstalledHostEnvironment();
  if (!environment) return;
  std::vector<EmbeddedPlugin> embedded; /* newest at the front */
  size_t count = environment->resourceCount();
  for (size_t i = 0; i < count; i++) {
    HostResource resource;
    if (!environment->resourceAt(i, &resource)) continue;
    if (resource.type == kExternalPluginType) {
      std::string path = ExternalPluginPath(resource);
      if (!path.empty() && IsExistingFile(path)) LoadPluginFile(path);
    } else if (resource.type == kEmbeddedPluginType) {
      EmbeddedPlugin plugin;
      if (ParseEmbeddedPlugin(resource, &plugin)) embedded.insert(embedded.begin(), plugin);
    }
  }
  std::string folder = environment->applicationFolder();
  for (const EmbeddedPlugin& plugin : embedded) {
    std::string beside = FindFileInFolder(folder, plugin.name);
    if (!beside.empty()) {
      LoadPluginFile(beside);
    } else {
      LoadPluginFromMemory(plugin);
    }
  }
  if (CurrentPlugin()) QUENDAL_REPORT("plugin.cpp", "!loadingPlugin", nullptr);
  CompletePluginClasses();
}

} // namespace quendal

using namespace quendal;

extern "C" void RegisterPluginVersion(int32_t version) {
  if (PluginRecord* plugin = CurrentPlugin()) plugin->version = version;
}

extern "C" void RegisterPluginExports(const ORVAproc* table) {
  if (PluginRecord* plugin = CurrentPlugin()) plugin->exportTable = table;
}
