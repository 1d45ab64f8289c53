/*
** Background tasks of plugins.  See plugin_host.h.
**
** Table: 1024 buckets, bucket = (id * 13) & 0x3FF, from task id to the
** task (the plugin's routine and data, and the run loop's id of the
** periodic task that runs it).  Plugin ids are consecutive from 1 in
** order of registration and never reused.
*/
#include <cstdint>

#include "runtime/plugins/host_environment.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"

namespace quendal {

namespace {

struct PluginTask {
  int32_t id;
  int32_t runLoopId;
  PluginTask* next;
};

constexpr int32_t kTaskBuckets = 1024;
PluginTask* gTasks[kTaskBuckets];
int32_t gNextTaskId = 1;

PluginTask*& Bucket(int32_t id) { return gTasks[(uint32_t(id) * 13u) & (kTaskBuckets - 1)]; }

} // namespace

} // namespace quendal

using namespace quendal;

extern "C" int32_t PluginRegisterBackgroundTask(void (*routine)(void* data), int32_t periodTicks, void* data) {
  const HostEnvironment* environment = InstalledHostEnvironment();
  if (!routine || !environment) return 0;
  int32_t runLoopId = environment->registerPeriodicTask(routine, periodTicks > 0 ? uint32_t(periodTicks) : 0, data);
  if (runLoopId == 0) return 0;
  int32_t id = gNextTaskId++;
  PluginTask*& head = Bucket(id);
  head = new PluginTask{id, runLoopId, head};
  return id;
}

extern "C" void PluginUnregisterBackgroundTask(int32_t id) {
  for (PluginTask** link = &Bucket(id); *link; link = &(*link)->next) {
    if ((*link)->id != id) continue;
    PluginTask* task = *link;
    *link = task->next;
    if (const HostEnvironment* environment = InstalledHostEnvironment()) {
      environment->unregisterPeriodicTask(task->runLoopId);
    }
    delete task;
    return;
  }
}
