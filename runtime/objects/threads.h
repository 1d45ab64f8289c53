/*
** Cooperative threads: the language's Thread objects run as fibers of the
** one process thread (fiber.h), exactly one at a time, and control passes
** only where a thread lets it go: a yield, a sleep, a suspension, a lock
** wait, a lock release that hands over to a waiter, threadRun (which runs
** the new thread at once) and the run loop's idle pass.  The lock classes
** Semaphore, CriticalSection and Mutex live in thread_locks.cpp.
**
** Records.  Every unfinished fiber has a ThreadRecord on the thread list
** (newest first); the main record stands for the process thread and is
** made on first use, taking over the current stack bounds.  The current
** record's StackBounds (limit and top) is the one thread_stack.h makes
** current, so RuntimeStackCheck and every frame walk of a raise work on the
** running fiber's own stack.  A fiber's stack is reserved when its thread
** starts: the thread's stack size (925,696 bytes when not set, never less
** than kMinimumThreadStack) above a guard page; its limit is the lowest
** usable address, its top the highest.
**
** Tickets and the cycle.  A record holds as many run-queue tickets as its
** priority (the main record 5).  New tickets go to the front of the queue.
** Choosing the next thread walks the queue from the front, skipping
** records with a suspend count above 0, and takes the first unused ticket
** whose record is due, or sleeping with wakeEarly; when none is left every
** ticket becomes unused again (a new cycle) and the first used ticket of a
** due record seen on the walk is taken.  So priorities 10 and 1 get 10
** turns to 1 per cycle.  Without a due record the chooser sleeps the
** process until the nearest wake time (when it may wait) and starts over.
** A record that is chosen has its state flags cleared, and a sleep it was
** woken from early is over.
**
** Time.  The millisecond clock is the tick count moved into the signed
** 32-bit range (tick - 2^31).  A sleep is kept as its start and its wake
** time; a record is due once the time elapsed since the start (modulo
** 2^32) reaches the sleep's length, so the clock's wrap neither ends a
** sleep early nor stretches it.
**
** Deadlock stop.  When a choice finds every unfinished record suspended
** (lock waits count as suspensions), the failure report "Infinite loop
** detected in the thread scheduler. ..." is printed once per process and
** nothing is chosen.  What happens next:
**   - a plain yield, sleep or suspension keeps the current fiber running;
**   - a lock wait is abandoned: the waiter leaves the queue and raises
**     IllegalLockingException with the same text (error number 0), so the
**     program may recover instead of spinning.  A lone fiber waiting on a
**     lock that nobody can release (the scheduler then has no other
**     record to consider) is the same deadlock and ends the same way;
**   - a fiber that ends hands control to the main fiber.
**
** Ending and killing.  A thread ends when its Run event returns or raises.
** An exception that escapes Run goes to RuntimeUnhandledException (the
** default report is silent for ThreadEndException) and never reaches
** another fiber's frames.  The ended fiber unlinks itself, joins the dead
** list and switches away for good; whichever fiber resumes next frees its
** stack and record.  ThreadKill of another thread sets its kill request,
** makes it runnable and yields until it has ended; every time a killed
** fiber resumes from a yield, sleep, suspension or lock wait it raises
** ThreadEndException, which unwinds its Run (a lock wait is abandoned
** first).  A Run that swallows the exception is raised at again at its
** next yield.
**
** Ownership.  A running thread holds one reference to its Thread object
** (released when the fiber ends); ThreadKill holds one while it waits;
** ORVAGetCurrentThread returns the object locked.  Lock objects hold a
** reference to themselves while a caller waits on them.  Lock ownership is
** recorded by the owner record's serial number, which no later record
** reuses, so a lock left held by an ended thread is never taken for one
** owned by a new thread whose record happens to share its address.
**
** Services that may raise are QUENDAL_SERVICE functions.  A null Thread
** argument is a failure report ("thread") and the call does nothing.
** Everything runs on the one process thread; nothing here takes a lock.
*/
#ifndef QUENDAL_OBJECTS_THREADS_H
#define QUENDAL_OBJECTS_THREADS_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/fiber.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/simple_vector.h"
#include "runtime/objects/thread_stack.h"

struct ThreadObject;

/* One per unfinished fiber, and the main record.  Allocated zeroed. */
struct ThreadRecord {
  quendal::FiberContext fiber;   /* the process thread's own context for the main record */
  quendal::StackBounds stack;    /* limit and top, current while this record runs */
  ThreadObject* thread;          /* null for the main record */
  ThreadRecord* next;            /* thread list, or dead list once finished */
  int32_t wakeTime;              /* millisecond clock at which a sleep ends */
  int32_t sleepStart;            /* millisecond clock at which it began */
  int32_t suspendCount;          /* suspensions and lock waits; not scheduled above 0 */
  int32_t tickets;               /* run-queue tickets held: the priority */
  uint8_t wakeEarly;             /* a sleeping record may be chosen before its wake time */
  uint8_t finished;
  uint8_t killRequested;
  uint8_t stateFlags;            /* kThreadFlag* */
  uint64_t serial;               /* never reused: identifies lock owners */
};

/* The Thread instance after the object header. */
struct ThreadObject {
  ObjectHeader header;
  ThreadRecord* runRecord;       /* while running; its address is the ThreadID */
  int32_t stackSize;             /* bytes; <= 0 means kDefaultThreadStack */
  int32_t priority;              /* turns per cycle; 5 after creation */
};
static_assert(offsetof(ThreadObject, runRecord) == 48 && offsetof(ThreadObject, priority) == 60,
              "thread fields after the object header");

/* What the three lock classes share: entries held, the owner's serial
** (0 = none) and the queue of waiting records (first come, first served). */
struct LockOwnership {
  int32_t entryCount;
  uint64_t owner;
  quendal::SimpleVectorCore waiters;  /* ThreadRecord* items */
};

struct SemaphoreObject {
  ObjectHeader header;
  int32_t initialCount;
  int32_t count;                      /* negative: that many records wait */
  quendal::SimpleVectorCore waiters;  /* ThreadRecord* items */
};

struct CriticalSectionObject {
  ObjectHeader header;
  LockOwnership lock;
};

struct MutexObject {
  ObjectHeader header;
  LockOwnership lock;
  ORVAstring lockFile;                /* Windows path of the lock file (UTF-8); null until known */
  void* handle;                       /* the open lock file while the mutex is held, else null */
};

namespace quendal {

enum ThreadState : int32_t {
  kThreadRunning = 0,
  kThreadWaiting = 1,
  kThreadSuspended = 2,
  kThreadSleeping = 3,
  kThreadNotRunning = 4,
};

enum : int32_t {
  kLowestPriority = 1,
  kNormalPriority = 5,
  kHighPriority = 10,
};

enum : uint8_t {
  kThreadFlagSuspended = 1,
  kThreadFlagSleeping = 2,
  kThreadFlagWaiting = 4,
  kThreadFlagEnded = 8,
};

inline constexpr int32_t kDefaultThreadStack = 925696;
/* Smaller stack sizes are raised to this when the stack is reserved. */
inline constexpr int32_t kMinimumThreadStack = 65536;
inline constexpr int32_t kMainThreadTickets = 5;

extern const char kDeadlockMessage[];

extern const ObjectDefinition kThreadDefinition;
extern const ObjectDefinition kSemaphoreDefinition;
extern const ObjectDefinition kCriticalSectionDefinition;
extern const ObjectDefinition kMutexDefinition;

/* Registers Thread, Semaphore, CriticalSection and Mutex, once. */
void RegisterThreadClasses();

/* ---- for the run loop (installed by start-up) --------------------------- */

/* True on the main fiber (also before any thread exists). */
bool OnMainFiber();
/* The idle pass's share of threads: on the main fiber, lets the next
** runnable thread run without waiting for sleepers; elsewhere a yield.
** May raise ThreadEndException in a killed thread. */
void GiveTimeToThreads();
/* Sleeps the current fiber (other threads run meanwhile). */
void SleepCurrentFiber(uint32_t milliseconds);

/* ---- views for tests -------------------------------------------------------- */

/* Unfinished records, the main record included (0 before first use). */
int32_t UnfinishedThreadCount();
int32_t RunQueueTicketCount();
/* Records ended and not yet freed. */
int32_t DeadThreadCount();
/* Test seam: the deadlock report may be printed again. */
void ResetDeadlockReportForTesting();

} // namespace quendal

extern "C" {

void ThreadInitializer(ObjectHeader* thread);
void threadRun(ThreadObject* thread);
void ThreadSuspend(ThreadObject* thread);
void ThreadResume(ThreadObject* thread);
void ThreadSleep(ThreadObject* thread, int32_t milliseconds, bool wakeEarly);
void ThreadSleepCurrent(int32_t milliseconds);
void ThreadKill(ThreadObject* thread);
int32_t ThreadGetStackSize(ThreadObject* thread);
void ThreadSetStackSize(ThreadObject* thread, int32_t size);
int32_t ThreadGetPriority(ThreadObject* thread);
void ThreadSetPriority(ThreadObject* thread, int32_t priority);
int32_t ThreadGetState(ThreadObject* thread);
/* The run record's address, 0 when not running (pointer-wide on this host). */
intptr_t ThreadGetID(ThreadObject* thread);
void YieldToNextThread();
/* The current Thread object, locked; null on the main fiber. */
ObjectHeader* ORVAGetCurrentThread();
bool HasMultipleThreads();
int32_t RunningThreadCount();
int32_t ThreadsMinSleepTime(bool excludeMain);

void SemaphoreInitializer(ObjectHeader* semaphore);
void Semaphore_Constructor(SemaphoreObject* semaphore, int32_t initialCount);
void Semaphore_Signal(SemaphoreObject* semaphore);
bool Semaphore_TrySignal(SemaphoreObject* semaphore);
void semaphore_release(SemaphoreObject* semaphore);
void SemaphoreFinalizer(ObjectHeader* semaphore);

void CriticalSectionInitializer(ObjectHeader* section);
void criticalsection_enter(CriticalSectionObject* section);
bool CriticalSection_TryEnter(CriticalSectionObject* section);
void criticalsection_leave(CriticalSectionObject* section);
void CriticalSectionFinalizer(ObjectHeader* section);

void MutexInitializer(ObjectHeader* mutex);
void MutexContructor(MutexObject* mutex, ORVAstring name);
void MutexLock(MutexObject* mutex);
bool MutexTryLock(MutexObject* mutex);
void MutexUnlock(MutexObject* mutex);
void MutexFinalizer(ObjectHeader* mutex);

} // extern "C"

#endif
