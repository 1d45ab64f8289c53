/*
** What the image layer lends the layers below it that need it: the plugin
** host (link table, resource table, application folder, periodic tasks)
** and the database layer (the background task of long copies).
**
** The link table, the resource table and the run loop live in
** runtime/image, above this folder.  The image layer fills one
** HostEnvironment at start-up and installs it with InstallHostEnvironment
** before it calls LoadPlugins (runtime/image/host_environment_install.h);
** tests may install one of their own.  Until one is installed, LoadPlugins
** loads nothing, the resolver finds nothing and background tasks cannot
** be registered.
**
** The table is borrowed: it must stay valid while installed.  Every
** member is set.
*/
#ifndef QUENDAL_PLUGINS_HOST_ENVIRONMENT_H
#define QUENDAL_PLUGINS_HOST_ENVIRONMENT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/plugins/quendal_plugin.h"

namespace quendal {

/* A record of the image's resource table as the plugin host reads it. */
struct HostResource {
  uint32_t type;          /* four-character code, first character most significant */
  const uint8_t* data;    /* lives as long as the process */
  uint32_t length;
};

struct HostEnvironment {
  /* The link-table row of a name (ASCII case ignored), or null. */
  const ORVALinkRow* (*findLinkRow)(const char* name);
  /* Link registration; name must outlive the process. */
  void (*registerLink)(const char* name, void* entry);
  /* The resource table, in segment order. */
  size_t (*resourceCount)();
  bool (*resourceAt)(size_t index, HostResource* out);
  /* POSIX path of the application folder (the path set by
  ** RuntimeSetApplicationPath, else the executable's folder); "" when
  ** unknown. */
  std::string (*applicationFolder)();
  /* Periodic tasks of the run loop: id > 0, or 0 when refused. */
  int32_t (*registerPeriodicTask)(void (*routine)(void* data), uint32_t periodTicks, void* data);
  void (*unregisterPeriodicTask)(int32_t id);
  /* One pass of the run loop's background work (RuntimeBackgroundTask). */
  void (*backgroundTask)();
  /* Lets the runtime's other threads run once. */
  void (*yieldToOtherThreads)();
};

void InstallHostEnvironment(const HostEnvironment* environment);
/* The installed table, or null. */
const HostEnvironment* InstalledHostEnvironment();

} // namespace quendal

#endif
