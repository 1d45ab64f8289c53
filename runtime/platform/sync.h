/*
** Critical sections: recursive locks with the Win32 shape.  A section must
** be initialised before use and deleted once nobody can enter it again.
*/
#ifndef QUENDAL_PLATFORM_SYNC_H
#define QUENDAL_PLATFORM_SYNC_H

#include <pthread.h>

namespace quendal::platform {

struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};

void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

/* Scoped holder for code that enters and must always leave. */
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION* s) : section_(s) { EnterCriticalSection(s); }
  ~CriticalSectionLock() { LeaveCriticalSection(section_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
 private:
  CRITICAL_SECTION* section_;
};

} // namespace quendal::platform

#endif
