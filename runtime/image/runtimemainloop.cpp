/*
** The run loop's idle work.  See runtimemainloop.h.
*/
#include "runtime/image/runtimemainloop.h"

#include <cassert>
#include <vector>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/clock.h"

namespace quendal {

namespace {

struct PeriodicTask {
  int32_t id;
  PeriodicRoutine routine;
  uint32_t period;
  uint32_t lastRun;
  void* data;
};

std::vector<PeriodicTask> gTasks;
int32_t gNextTaskId = 1;
bool gHaveLastTicks = false;
uint32_t gLastTicks = 0;

CooperativeThreadHooks gThreadHooks{};
bool gHaveThreadHooks = false;

bool OnMainThread() { return !gHaveThreadHooks || gThreadHooks.onMainThread(); }

void YieldToOtherThreads() {
  if (gHaveThreadHooks) gThreadHooks.yieldToNextThread();
}

void SleepCurrentThread(uint32_t milliseconds) {
  if (gHaveThreadHooks) {
    gThreadHooks.sleepCurrentThread(milliseconds);
  } else {
    platform::Sleep(milliseconds);
  }
}

} // namespace

uint32_t RuntimeTickCount() {
  return static_cast<uint32_t>(static_cast<double>(platform::GetTickCount()) * 0.06);
}

int32_t RegisterPeriodicTask(PeriodicRoutine routine, uint32_t periodTicks, void* data) {
  if (!routine) return 0;
  int32_t id = gNextTaskId++;
  gTasks.push_back({id, routine, periodTicks, RuntimeTickCount(), data});
  return id;
}

void UnregisterPeriodicTask(int32_t id) {
  for (auto it = gTasks.begin(); it != gTasks.end(); ++it) {
    if (it->id == id) {
      gTasks.erase(it);
      return;
    }
  }
}

void RunDuePeriodicTasks(uint32_t ticks) {
  /* Ids of the tasks present when the pass starts; each is looked up again
  ** before it runs, since an earlier task may have removed it. */
  std::vector<int32_t> ids;
  ids.reserve(gTasks.size());
  for (const auto& task : gTasks) ids.push_back(task.id);
  for (int32_t id : ids) {
    PeriodicTask* task = nullptr;
    for (auto& t : gTasks) {
      if (t.id == id) task = &t;
    }
    if (!task) continue;
    if (ticks - task->lastRun < task->period) continue; /* unsigned: a count that went back is due */
    task->lastRun = ticks;
    PeriodicRoutine routine = task->routine;
    void* data = task->data;
    routine(data); /* may change gTasks: task is not used after this */
  }
}

bool UserCancelRequested() { return false; }

void SetCooperativeThreadHooks(const CooperativeThreadHooks* hooks) {
  if (hooks) {
    assert(hooks->onMainThread && hooks->yieldToNextThread && hooks->sleepCurrentThread);
    gThreadHooks = *hooks;
  }
  gHaveThreadHooks = hooks != nullptr;
}

void ResetRunLoopForTesting() {
  gTasks.clear();
  gHaveLastTicks = false;
  gLastTicks = 0;
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void RuntimeDoEvents(ObjectHeader* /*application*/, int32_t milliseconds) {
  QUENDAL_SERVICE_BEGIN
  if (OnMainThread()) {
    RunDuePeriodicTasks(RuntimeTickCount());
  }
  YieldToOtherThreads();
  if (milliseconds >= 0) SleepCurrentThread(static_cast<uint32_t>(milliseconds));
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t RuntimeBackgroundTask() {
  uint32_t ticks = RuntimeTickCount();
  if (!gHaveLastTicks || ticks != gLastTicks) {
    gHaveLastTicks = true;
    gLastTicks = ticks;
    RunDuePeriodicTasks(ticks);
  }
  return static_cast<int32_t>(ticks);
}
