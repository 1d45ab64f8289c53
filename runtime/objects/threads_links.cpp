/*
** The services of the cooperative threads and their locks (Thread, Semaphore,
** CriticalSection, Mutex), each under its link name with its real
** type; start-up installs the list into the link table.
*/
#include "runtime/objects/threads_links.h"

#include "runtime/objects/threads.h"

namespace quendal {

LinkProvisions ThreadsLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(criticalsection_enter),
      QUENDAL_PROVIDE(criticalsection_leave),
      QUENDAL_PROVIDE(CriticalSection_TryEnter),
      QUENDAL_PROVIDE(CriticalSectionFinalizer),
      QUENDAL_PROVIDE(CriticalSectionInitializer),
      QUENDAL_PROVIDE(HasMultipleThreads),
      QUENDAL_PROVIDE(MutexContructor),
      QUENDAL_PROVIDE(MutexFinalizer),
      QUENDAL_PROVIDE(MutexInitializer),
      QUENDAL_PROVIDE(MutexLock),
      QUENDAL_PROVIDE(MutexTryLock),
      QUENDAL_PROVIDE(MutexUnlock),
      QUENDAL_PROVIDE(ORVAGetCurrentThread),
      QUENDAL_PROVIDE(RunningThreadCount),
      QUENDAL_PROVIDE(Semaphore_Constructor),
      QUENDAL_PROVIDE(semaphore_release),
      QUENDAL_PROVIDE(Semaphore_Signal),
      QUENDAL_PROVIDE(Semaphore_TrySignal),
      QUENDAL_PROVIDE(SemaphoreFinalizer),
      QUENDAL_PROVIDE(SemaphoreInitializer),
      QUENDAL_PROVIDE(ThreadGetID),
      QUENDAL_PROVIDE(ThreadGetPriority),
      QUENDAL_PROVIDE(ThreadGetStackSize),
      QUENDAL_PROVIDE(ThreadGetState),
      QUENDAL_PROVIDE(ThreadInitializer),
      QUENDAL_PROVIDE(ThreadKill),
      QUENDAL_PROVIDE(ThreadResume),
      QUENDAL_PROVIDE(threadRun),
      QUENDAL_PROVIDE(ThreadSetPriority),
      QUENDAL_PROVIDE(ThreadSetStackSize),
      QUENDAL_PROVIDE(ThreadSleep),
      QUENDAL_PROVIDE(ThreadSleepCurrent),
      QUENDAL_PROVIDE(ThreadsMinSleepTime),
      QUENDAL_PROVIDE(ThreadSuspend),
      QUENDAL_PROVIDE(YieldToNextThread),
  };
  return kProvisions;
}

} // namespace quendal
