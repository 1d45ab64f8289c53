/*
** Stack bounds of the running thread.  See thread_stack.h.
*/
#include "runtime/objects/thread_stack.h"

#include <pthread.h>

namespace quendal {

namespace {

/* The high end of the calling OS thread's stack, or the highest address
** when the system cannot tell (walks are then bounded by their other
** checks only). */
uintptr_t OsThreadStackTop() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return UINTPTR_MAX;
  void* base = nullptr;
  size_t size = 0;
  int rc = pthread_attr_getstack(&attr, &base, &size);
  pthread_attr_destroy(&attr);
  if (rc != 0 || !base) return UINTPTR_MAX;
  return reinterpret_cast<uintptr_t>(base) + size;
}

thread_local StackBounds tOsThreadBounds = {0, 0};
thread_local StackBounds* tCurrent = nullptr;

} // namespace

StackBounds* CurrentStackBounds() {
  if (!tCurrent) {
    if (tOsThreadBounds.top == 0) tOsThreadBounds.top = OsThreadStackTop();
    tCurrent = &tOsThreadBounds;
  }
  return tCurrent;
}

void SetCurrentStackBounds(StackBounds* bounds) {
  tCurrent = bounds;
  if (!tCurrent) CurrentStackBounds();
}

void InitMainStackLimit(void* frame) {
  uintptr_t f = reinterpret_cast<uintptr_t>(frame);
  CurrentStackBounds()->limit = f > kMainStackAllowance ? f - kMainStackAllowance : 0;
}

} // namespace quendal

extern "C" void* ORVAGetStackLimit() {
  return reinterpret_cast<void*>(quendal::CurrentStackLimit());
}

extern "C" void ORVASetStackLimit(void* limit) {
  quendal::CurrentStackBounds()->limit = reinterpret_cast<uintptr_t>(limit);
}

extern "C" void ORVAInitStackChecker() {
  quendal::InitMainStackLimit(__builtin_frame_address(0));
}
