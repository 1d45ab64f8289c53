/*
** What the lock classes (thread_locks.cpp) need of the scheduler
** (threads.cpp).  Internal to the object layer; threads.h states the rules.
**
** A wait queue is a SimpleVectorCore of ThreadRecord* in arrival order.
** WaitForHandOver queues the current record (one more suspension, state
** flag 4) and lets other threads run until a release takes it off the
** queue.  When it returns anything but HandedOver the record is off the
** queue again with its suspension undone; the caller undoes its own
** bookkeeping and then calls RaiseWaitFailure.
*/
#ifndef QUENDAL_OBJECTS_THREAD_SCHEDULER_H
#define QUENDAL_OBJECTS_THREAD_SCHEDULER_H

#include "runtime/objects/threads.h"

namespace quendal {

/* The running fiber's record; makes the main record on first use (which
** may raise OutOfMemoryException). */
ThreadRecord* CurrentThreadRecord();

enum class WaitOutcome {
  HandedOver,  /* a release took the record off the queue */
  Killed,      /* ThreadKill asked the waiter to end */
  Deadlock,    /* no other fiber can ever release: the deadlock stop */
};

/* Raises OutOfMemoryException, before waiting, when the queue cannot grow. */
WaitOutcome WaitForHandOver(SimpleVectorCore* waiters);

/* ThreadEndException for Killed, IllegalLockingException with the
** deadlock text for Deadlock. */
[[noreturn]] void RaiseWaitFailure(WaitOutcome outcome);

/* Takes the first waiter off the queue and lowers its suspension; when
** that reaches 0 it runs at once (this fiber resumes later).  False when
** nobody waits. */
bool HandOverToFirstWaiter(SimpleVectorCore* waiters);

/* Raises ThreadEndException when the current fiber has been killed. */
void RaiseIfKilled();

/* Sleeps the current fiber for milliseconds, letting others run. */
void SleepCurrentRecord(uint32_t milliseconds);

} // namespace quendal

#endif
