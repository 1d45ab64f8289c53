/*
** The pollable-object list of the application.  See application.h.
*/
#include "runtime/image/application.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "runtime/base/failure_report.h"

namespace quendal {

namespace {

/* A plain array with the growth rule of the runtime's vectors and a shrink
** rule of its own. */
ObjectHeader** gPollables = nullptr;
int32_t gPollableCount = 0;
int32_t gPollableCapacity = 0;

bool ResizePollables(int32_t capacity) {
  assert(capacity >= gPollableCount);
  if (capacity == 0) {
    std::free(gPollables);
    gPollables = nullptr;
    gPollableCapacity = 0;
    return true;
  }
  void* block = std::realloc(gPollables, sizeof(ObjectHeader*) * static_cast<size_t>(capacity));
  if (!block) return false;
  gPollables = static_cast<ObjectHeader**>(block);
  gPollableCapacity = capacity;
  return true;
}

} // namespace

int32_t PollableObjectCount() { return gPollableCount; }
int32_t PollableObjectCapacity() { return gPollableCapacity; }

} // namespace quendal

using namespace quendal;

extern "C" void ApplicationAddPollableObject(ObjectHeader* object) {
  if (!object) return;
  for (int32_t i = 0; i < gPollableCount; i++) {
    if (gPollables[i] == object) return;
  }
  if (gPollableCount >= gPollableCapacity) {
    int32_t step = gPollableCapacity > 16 ? gPollableCapacity : 16;
    if (!ResizePollables(gPollableCapacity + step)) {
      QUENDAL_REPORT("application.cpp", "mPollables", "No memory for the pollable object list.");
      return;
    }
  }
  gPollables[gPollableCount++] = object;
}

extern "C" void ApplicationRemovePollableObject(ObjectHeader* object) {
  for (int32_t i = 0; i < gPollableCount; i++) {
    if (gPollables[i] != object) continue;
    std::memmove(&gPollables[i], &gPollables[i + 1],
                 sizeof(ObjectHeader*) * static_cast<size_t>(gPollableCount - i - 1));
    gPollableCount--;
    if (gPollableCount < gPollableCapacity / 2) ResizePollables(gPollableCapacity / 2);
    return;
  }
}

extern "C" void ApplicationRemoveAllPollableObjects() {
  gPollableCount = 0;
  ResizePollables(0);
}
