/*
** The image layer's host environment.  See host_environment_install.h.
*/
#include "runtime/image/host_environment_install.h"

#include <cstddef>

#include "runtime/base/link_table.h"
#include "runtime/image/resource_table.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/image/startup.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

static_assert(sizeof(LinkRow) == sizeof(ORVALinkRow) && offsetof(LinkRow, entry) == offsetof(ORVALinkRow, entry),
              "the resolver hands out link rows as the plugin interface describes them");

const ORVALinkRow* FindLinkRow(const char* name) {
  return reinterpret_cast<const ORVALinkRow*>(LinkLookupRow(name));
}

size_t ResourceTableCount() { return ResourceCount(); }

bool ResourceTableAt(size_t index, HostResource* out) {
  const ResourceEntry* entry = ResourceAt(index);
  if (!entry) return false;
  *out = HostResource{entry->type, entry->data, entry->length};
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ApplicationFolder() {
  if (ORVAstring recorded = ApplicationPath()) {
    std::string text(StringView(recorded));
    if (auto posix = platform::PosixPathFromWindows(text)) return *posix;
    return std::string();
  }
  platform::WCHAR buffer[4096];
  platform::DWORD n = platform::GetModuleFileNameW(nullptr, buffer, sizeof(buffer) / sizeof(buffer[0]));
  if (n == 0 || n >= sizeof(buffer) / sizeof(buffer[0])) return std::string();
  auto posix = platform::PosixPathFromWindows(platform::Utf8FromUtf16(buffer, n));
  return posix ? FolderOf(*posix) : std::string();
}

int32_t RegisterTask(void (*routine)(void* data), uint32_t periodTicks, void* data) {
  return RegisterPeriodicTask(routine, periodTicks, data);
}

void BackgroundTask() { RuntimeBackgroundTask(); }

/* The idle pass without sleeping runs the due tasks and yields once. */
void YieldOnce() { RuntimeDoEvents(nullptr, -1); }

const HostEnvironment kImageEnvironment = {
    &FindLinkRow,       &LinkRegister,           &ResourceTableCount, &ResourceTableAt, &ApplicationFolder,
    &RegisterTask,      &UnregisterPeriodicTask, &BackgroundTask,     &YieldOnce,
};

} // namespace

const HostEnvironment* ImageHostEnvironment() { return &kImageEnvironment; }

void InstallImageHostEnvironment() { InstallHostEnvironment(&kImageEnvironment); }

} // namespace quendal
