/*
** Critical sections as recursive pthread mutexes.  The pthread calls
** cannot fail on a correctly initialised recursive mutex used by its
** owner; a failure means a caller broke the contract (an uninitialised or
** deleted section, a leave without an enter), so it is asserted.
*/
#include "runtime/platform/sync.h"

#include <cassert>

namespace quendal::platform {

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  pthread_mutexattr_t attributes;
  int rc = pthread_mutexattr_init(&attributes);
  assert(rc == 0);
  rc = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  assert(rc == 0);
  rc = pthread_mutex_init(&section->mutex, &attributes);
  assert(rc == 0);
  pthread_mutexattr_destroy(&attributes);
  (void)rc;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  int rc = pthread_mutex_lock(&section->mutex);
  assert(rc == 0);
  (void)rc;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  int rc = pthread_mutex_unlock(&section->mutex);
  assert(rc == 0);
  (void)rc;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  int rc = pthread_mutex_destroy(&section->mutex);
  assert(rc == 0);
  (void)rc;
}

} // namespace quendal::platform
