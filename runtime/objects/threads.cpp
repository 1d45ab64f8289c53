/*
** Threads: records, the run queue, the scheduler, switching, and the
** Thread services.  See threads.h; the locks are in thread_locks.cpp.
**
** Process-wide state (one process thread runs every fiber, so nothing here
** is locked): the current record, the main record, the thread list of
** unfinished records (newest first), the dead list, the run queue of
** tickets, the next record serial and the deadlock-reported flag.
**
** Every switch goes through SwitchToRecord, which makes the target current
** (record and stack bounds) before the fiber switch.  The code after a
** switch runs in the resumed fiber: it frees the dead records first; the
** service that yielded then raises ThreadEndException if the fiber was
** killed meanwhile (RaiseIfKilled).
*/
#include "runtime/objects/threads.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/thread_scheduler.h"
#include "runtime/platform/clock.h"
#include "runtime/text/string_core.h"

namespace quendal {

const char kDeadlockMessage[] =
    "Infinite loop detected in the thread scheduler.  This is likely caused by incorrectly locking resources "
    "with semaphores or critical sections.";

namespace {

const char kSource[] = "RuntimeThread";

struct Ticket {
  ThreadRecord* record;
  bool used;
};

ThreadRecord* gCurrent = nullptr;
ThreadRecord* gMain = nullptr;
ThreadRecord* gThreads = nullptr;
ThreadRecord* gDead = nullptr;
SimpleVector<Ticket> gRunQueue;
uint64_t gNextSerial = 1;
bool gDeadlockReported = false;

/* ---- the millisecond clock ---------------------------------------------------- */

int32_t Now() { return static_cast<int32_t>(platform::GetTickCount() - 0x80000000u); }

int32_t Plus(int32_t time, uint32_t milliseconds) { return static_cast<int32_t>(uint32_t(time) + milliseconds); }

uint32_t SleepLength(const ThreadRecord* r) { return uint32_t(r->wakeTime) - uint32_t(r->sleepStart); }
uint32_t Elapsed(const ThreadRecord* r, int32_t now) { return uint32_t(now) - uint32_t(r->sleepStart); }

bool IsDue(const ThreadRecord* r, int32_t now) { return Elapsed(r, now) >= SleepLength(r); }

uint32_t RemainingSleep(const ThreadRecord* r, int32_t now) {
  return IsDue(r, now) ? 0 : SleepLength(r) - Elapsed(r, now);
}

/* Ends any sleep: the record is due from now on. */
void MakeDue(ThreadRecord* r, int32_t now) {
  r->sleepStart = Plus(now, uint32_t(-1));
  r->wakeTime = r->sleepStart;
  r->wakeEarly = 0;
}

/* ---- records, list and tickets ---------------------------------------------- */

ThreadRecord* NewRecord() {
  auto* r = static_cast<ThreadRecord*>(std::calloc(1, sizeof(ThreadRecord)));
  if (r) r->serial = gNextSerial++;
  return r;
}

void PushThread(ThreadRecord* r) {
  r->next = gThreads;
  gThreads = r;
}

void UnlinkThread(ThreadRecord* r) {
  for (ThreadRecord** link = &gThreads; *link; link = &(*link)->next) {
    if (*link == r) {
      *link = r->next;
      r->next = nullptr;
      return;
    }
  }
}

bool AddTickets(ThreadRecord* r, int32_t n) {
  if (!gRunQueue.InsertCopies(0, n, Ticket{r, false})) return false;
  r->tickets += n;
  return true;
}

void RemoveTickets(ThreadRecord* r, int32_t n) {
  r->tickets -= gRunQueue.RemoveLastMatching(n, [r](const Ticket& t) { return t.record == r; });
  gRunQueue.ShrinkIfSparse();
}

int32_t CountUnfinished() {
  int32_t n = 0;
  for (ThreadRecord* r = gThreads; r; r = r->next) n++;
  return n;
}

bool AllUnfinishedSuspended() {
  for (ThreadRecord* r = gThreads; r; r = r->next) {
    if (r->suspendCount <= 0) return false;
  }
  return true;
}

/* The main record, made on first use from the current stack bounds. */
ThreadRecord* EnsureScheduler() {
  if (gCurrent) return gCurrent;
  ThreadRecord* main = NewRecord();
  if (!main) ThrowOutOfMemoryException();
  main->stack = *CurrentStackBounds();
  if (!AddTickets(main, kMainThreadTickets)) {
    std::free(main);
    ThrowOutOfMemoryException();
  }
  PushThread(main);
  gMain = gCurrent = main;
  SetCurrentStackBounds(&main->stack);
  return main;
}

void ReportDeadlockOnce() {
  if (gDeadlockReported) return;
  gDeadlockReported = true;
  QUENDAL_REPORT(kSource, "false", kDeadlockMessage);
}

/* Frees the records of fibers that have ended. */
void FreeDeadRecords() {
  ThreadRecord** link = &gDead;
  while (*link) {
    ThreadRecord* r = *link;
    if (r == gCurrent) {
      QUENDAL_REPORT(kSource, "sDeadThreadList != sCurrentThread", nullptr);
      link = &r->next;
      continue;
    }
    *link = r->next;
    DestroyFiberStack(&r->fiber.stack);
    std::free(r);
  }
}

/* ---- choosing and switching -------------------------------------------------- */

uint32_t MinSleepTime(bool excludeMain) {
  int32_t now = Now();
  bool sleeper = false;
  uint32_t least = UINT32_MAX;
  for (ThreadRecord* r = gThreads; r; r = r->next) {
    if ((excludeMain && r == gMain) || r->suspendCount > 0) continue;
    if (IsDue(r, now) || r->wakeEarly) return 0;
    sleeper = true;
    least = std::min(least, RemainingSleep(r, now));
  }
  return sleeper ? least : 0;
}

/* The next record to run, or null: after the deadlock stop, or when
** nothing can run now and wait is false. */
ThreadRecord* ChooseNextThread(bool wait) {
  for (;;) {
    if (CountUnfinished() < 2) {
      if (wait) {
        uint32_t ms = MinSleepTime(false);
        if (ms) platform::Sleep(ms);
      }
      return gMain;
    }
    if (AllUnfinishedSuspended()) {
      ReportDeadlockOnce();
      return nullptr;
    }
    int32_t now = Now();
    Ticket* tickets = gRunQueue.Items();
    Ticket* chosen = nullptr;
    Ticket* usedDue = nullptr;
    for (int32_t i = 0; i < gRunQueue.Count(); i++) {
      Ticket& t = tickets[i];
      if (t.record->suspendCount > 0) continue;
      bool due = IsDue(t.record, now);
      if (!t.used && (due || t.record->wakeEarly)) {
        chosen = &t;
        break;
      }
      if (t.used && due && !usedDue) usedDue = &t;
    }
    if (!chosen) {
      for (int32_t i = 0; i < gRunQueue.Count(); i++) tickets[i].used = false;
      chosen = usedDue;
    }
    if (chosen) {
      chosen->used = true;
      ThreadRecord* r = chosen->record;
      r->stateFlags = 0;
      if (!IsDue(r, now)) MakeDue(r, now); /* woken early: the sleep is over */
      return r;
    }
    if (!wait) return nullptr;
    /* A wake-early sleeper makes the least sleep 0 and is found on the next
    ** walk; the floor of 1 ms keeps any other surprise from spinning. */
    platform::Sleep(std::max<uint32_t>(MinSleepTime(false), 1));
  }
}

void SwitchToRecord(ThreadRecord* to) {
  ThreadRecord* from = gCurrent;
  if (to == from) return;
  gCurrent = to;
  SetCurrentStackBounds(&to->stack);
  SwitchFiber(&from->fiber, &to->fiber, false);
  /* Resumed: whoever switched here made this record current again. */
  FreeDeadRecords();
}

/* A yield: chooses (waiting for sleepers if need be) and switches.  Returns
** the record chosen; null after the deadlock stop. */
ThreadRecord* YieldCurrent() {
  ThreadRecord* next = ChooseNextThread(true);
  if (next) SwitchToRecord(next);
  FreeDeadRecords();
  return next;
}

/* ---- the thread body ------------------------------------------------------------ */

using RunHandler = void (*)(ObjectHeader* thread);

void ReportUnhandledInThread(ObjectHeader* exception) noexcept {
  try {
    RuntimeUnhandledException(exception);
  } catch (const RaisedException&) {
    /* The report raised in turn; the thread ends all the same. */
  }
}

void RunThreadBody(ThreadRecord* record) noexcept {
  ObjectHeader* thread = &record->thread->header;
  try {
    FreeDeadRecords();
    if (auto run = reinterpret_cast<RunHandler>(EventHandlerNamed(thread, "Run"))) CallRoutine(run, thread);
  } catch (const RaisedException& raised) {
    ReportUnhandledInThread(raised.object());
  } catch (...) {
    QUENDAL_REPORT(kSource, "Run", "A native exception left a thread's Run event; the thread ends.");
  }
}

[[noreturn]] void EndCurrentThread(ThreadRecord* record) {
  ThreadObject* thread = record->thread;
  thread->runRecord = nullptr;
  record->thread = nullptr;
  ReleaseObjectQuietly(&thread->header);
  RemoveTickets(record, record->tickets);
  UnlinkThread(record);
  record->finished = 1;
  record->stateFlags = kThreadFlagEnded;
  record->next = gDead;
  gDead = record;
  ThreadRecord* next = ChooseNextThread(true);
  if (!next) next = gMain; /* deadlock stop: the main fiber goes on */
  gCurrent = next;
  SetCurrentStackBounds(&next->stack);
  SwitchFiber(&record->fiber, &next->fiber, true);
  std::abort(); /* an ended fiber is never resumed */
}

void ThreadFiberMain(void* argument) {
  FiberStarted();
  auto* record = static_cast<ThreadRecord*>(argument);
  RunThreadBody(record);
  EndCurrentThread(record);
}

/* ---- helpers of the services ---------------------------------------------------- */

int32_t EffectiveStackSize(const ThreadObject* t) {
  int32_t size = t->stackSize > 0 ? t->stackSize : kDefaultThreadStack;
  return std::max(size, kMinimumThreadStack);
}

/* The running record of a Thread argument, or null (not running, or a
** null argument, which is reported). */
ThreadRecord* RunningRecordOf(ThreadObject* thread) {
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return nullptr;
  }
  return thread->runRecord;
}

void StartThread(ThreadObject* thread) {
  ThreadRecord* self = EnsureScheduler();
  if (thread->runRecord) {
    StringRef message(StringFromCString("You cannot call Run on a thread that is already running."));
    ThrowExceptionOfDefinition(&kThreadAlreadyRunningExceptionDefinition, message.get(), 0);
  }
  FiberStack stack;
  if (!CreateFiberStack(size_t(EffectiveStackSize(thread)), &stack)) {
    QUENDAL_REPORT(kSource, "CreateFiber", "No memory for the thread's stack.");
    ThrowOutOfMemoryException();
  }
  ThreadRecord* record = NewRecord();
  if (!record || !AddTickets(record, thread->priority > 0 ? thread->priority : kNormalPriority)) {
    std::free(record);
    DestroyFiberStack(&stack);
    ThrowOutOfMemoryException();
  }
  MakeDue(self, Now());
  record->fiber.stack = stack;
  PrepareFiberContext(&record->fiber, &ThreadFiberMain, record);
  record->stack.limit = reinterpret_cast<uintptr_t>(stack.base);
  record->stack.top = reinterpret_cast<uintptr_t>(stack.base + stack.size);
  PushThread(record);
  record->thread = thread;
  thread->runRecord = record;
  RuntimeLockObject(&thread->header);
  if (record->suspendCount == 0) SwitchToRecord(record);
  RaiseIfKilled();
}

void SleepRecord(ThreadRecord* r, uint32_t milliseconds, bool wakeEarly) {
  int32_t now = Now();
  r->sleepStart = now;
  r->wakeTime = Plus(now, milliseconds);
  r->wakeEarly = wakeEarly;
  r->stateFlags |= kThreadFlagSleeping;
  if (r == gCurrent) {
    YieldCurrent();
    RaiseIfKilled();
  }
}

uint32_t SleepArgument(int32_t milliseconds) { return milliseconds > 0 ? uint32_t(milliseconds) : 0; }

void KillThread(ThreadObject* thread, ThreadRecord* record) {
  ObjectRef hold = ObjectRef::Borrow(&thread->header);
  record->suspendCount = 0;
  record->stateFlags &= uint8_t(~(kThreadFlagSuspended | kThreadFlagSleeping));
  MakeDue(record, Now());
  if (record == gCurrent) ThrowExceptionOfDefinition(&kThreadEndExceptionDefinition);
  record->killRequested = 1;
  while (thread->runRecord) {
    /* Null: nothing can run, not even the victim (it suspended itself
    ** again in its clean-up); waiting longer would never end. */
    if (!YieldCurrent()) break;
    RaiseIfKilled();
  }
}

const EventDefinition kThreadEvents[] = {{"Run", ""}};

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

const AccessorDefinition kThreadMembers[] = {
    {QUENDAL_ENTRY(threadRun), "Run%%o<Thread>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(ThreadSuspend), "Suspend%%o<Thread>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(ThreadResume), "Resume%%o<Thread>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(ThreadSleep), "Sleep%%o<Thread>i4b", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(ThreadKill), "Kill%%o<Thread>", kNoEntry, nullptr, 0},
};

const InstanceVariableDefinition kThreadProperties[] = {
    {"StackSize", 0, "Integer", 0, 0, QUENDAL_ENTRY(ThreadGetStackSize), QUENDAL_ENTRY(ThreadSetStackSize)},
    {"ThreadID", 0, "Int64", 1, 0, QUENDAL_ENTRY(ThreadGetID), kNoEntry},
    {"Priority", 0, "Integer", 2, 0, QUENDAL_ENTRY(ThreadGetPriority), QUENDAL_ENTRY(ThreadSetPriority)},
    {"State", 0, "Integer", 3, 0, QUENDAL_ENTRY(ThreadGetState), kNoEntry},
};

} // namespace

const ObjectDefinition kThreadDefinition = {
    .className = "Thread",
    .objectSize = int32_t(sizeof(ThreadObject)),
    .initializer = QUENDAL_ENTRY(ThreadInitializer),
    .hooks = kThreadEvents,
    .hookCount = 1,
    .accessors = kThreadMembers,
    .accessorCount = int32_t(sizeof kThreadMembers / sizeof kThreadMembers[0]),
    .instanceVariables = kThreadProperties,
    .instanceVariableCount = int32_t(sizeof kThreadProperties / sizeof kThreadProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kThreadProperties / sizeof kThreadProperties[0]),
};

void RegisterThreadClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(&kThreadDefinition);
  RegisterIntrinsicClass(&kSemaphoreDefinition);
  RegisterIntrinsicClass(&kCriticalSectionDefinition);
  RegisterIntrinsicClass(&kMutexDefinition);
}

/* ---- internal interface (thread_scheduler.h) ---------------------------------- */

ThreadRecord* CurrentThreadRecord() { return EnsureScheduler(); }

void RaiseIfKilled() {
  if (gCurrent && gCurrent->killRequested) ThrowExceptionOfDefinition(&kThreadEndExceptionDefinition);
}

void SleepCurrentRecord(uint32_t milliseconds) { SleepRecord(EnsureScheduler(), milliseconds, false); }

namespace {

bool IsQueued(const SimpleVectorCore* waiters, const ThreadRecord* r) {
  auto* items = static_cast<ThreadRecord* const*>(waiters->items);
  for (int32_t i = 0; i < waiters->count; i++) {
    if (items[i] == r) return true;
  }
  return false;
}

void LeaveQueue(SimpleVectorCore* waiters, ThreadRecord* r) {
  auto* items = static_cast<ThreadRecord**>(waiters->items);
  for (int32_t i = 0; i < waiters->count; i++) {
    if (items[i] == r) {
      SimpleVectorRemoveAt(waiters, sizeof(ThreadRecord*), i);
      break;
    }
  }
  if (r->suspendCount > 0) r->suspendCount--;
  r->stateFlags &= uint8_t(~kThreadFlagWaiting);
}

} // namespace

WaitOutcome WaitForHandOver(SimpleVectorCore* waiters) {
  ThreadRecord* self = EnsureScheduler();
  if (!SimpleVectorReserveOne(waiters, sizeof(ThreadRecord*))) ThrowOutOfMemoryException();
  static_cast<ThreadRecord**>(waiters->items)[waiters->count++] = self;
  self->suspendCount++;
  self->stateFlags |= kThreadFlagWaiting;
  for (;;) {
    ThreadRecord* next = YieldCurrent();
    if (!IsQueued(waiters, self)) break;
    if (self->killRequested) {
      LeaveQueue(waiters, self);
      return WaitOutcome::Killed;
    }
    if (self->suspendCount == 0) {
      /* ThreadResume does not end a lock wait. */
      self->suspendCount = 1;
      self->stateFlags |= kThreadFlagWaiting;
      continue;
    }
    if (!next || next == self) {
      ReportDeadlockOnce();
      LeaveQueue(waiters, self);
      return WaitOutcome::Deadlock;
    }
  }
  self->stateFlags &= uint8_t(~kThreadFlagWaiting);
  return WaitOutcome::HandedOver;
}

void RaiseWaitFailure(WaitOutcome outcome) {
  if (outcome == WaitOutcome::Killed) ThrowExceptionOfDefinition(&kThreadEndExceptionDefinition);
  StringRef message(StringFromCString(kDeadlockMessage));
  ThrowExceptionOfDefinition(&kIllegalLockingExceptionDefinition, message.get(), 0);
}

bool HandOverToFirstWaiter(SimpleVectorCore* waiters) {
  if (waiters->count == 0) return false;
  ThreadRecord* waiter = static_cast<ThreadRecord**>(waiters->items)[0];
  SimpleVectorRemoveAt(waiters, sizeof(ThreadRecord*), 0);
  if (waiter->suspendCount > 0) waiter->suspendCount--;
  if (waiter->suspendCount == 0) SwitchToRecord(waiter);
  return true;
}

/* ---- run loop and tests --------------------------------------------------------- */

bool OnMainFiber() { return !gCurrent || gCurrent == gMain; }

void GiveTimeToThreads() {
  if (!gCurrent) return; /* no thread has ever started */
  if (gCurrent == gMain) {
    if (ThreadRecord* next = ChooseNextThread(false)) SwitchToRecord(next);
    return;
  }
  YieldCurrent();
  RaiseIfKilled();
}

void SleepCurrentFiber(uint32_t milliseconds) { SleepCurrentRecord(milliseconds); }

int32_t UnfinishedThreadCount() { return CountUnfinished(); }
int32_t RunQueueTicketCount() { return gRunQueue.Count(); }

int32_t DeadThreadCount() {
  int32_t n = 0;
  for (ThreadRecord* r = gDead; r; r = r->next) n++;
  return n;
}

void ResetDeadlockReportForTesting() { gDeadlockReported = false; }

} // namespace quendal

using namespace quendal;

/* ---- Thread services ------------------------------------------------------------ */

extern "C" void ThreadInitializer(ObjectHeader* thread) {
  auto* t = reinterpret_cast<ThreadObject*>(thread);
  t->runRecord = nullptr;
  t->stackSize = 0;
  t->priority = kNormalPriority;
}

QUENDAL_SERVICE void threadRun(ThreadObject* thread) {
  QUENDAL_SERVICE_BEGIN
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return;
  }
  StartThread(thread);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void ThreadSuspend(ThreadObject* thread) {
  QUENDAL_SERVICE_BEGIN
  ThreadRecord* r = RunningRecordOf(thread);
  if (!r) return;
  r->suspendCount++;
  r->stateFlags |= kThreadFlagSuspended;
  if (r == gCurrent) {
    YieldCurrent();
    RaiseIfKilled();
  }
  QUENDAL_SERVICE_END_VOID
}

extern "C" void ThreadResume(ThreadObject* thread) {
  ThreadRecord* r = RunningRecordOf(thread);
  if (!r) return;
  if (r->suspendCount > 0) r->suspendCount--;
  r->stateFlags &= uint8_t(~(kThreadFlagSuspended | kThreadFlagSleeping));
  MakeDue(r, Now());
}

QUENDAL_SERVICE void ThreadSleep(ThreadObject* thread, int32_t milliseconds, bool wakeEarly) {
  QUENDAL_SERVICE_BEGIN
  if (ThreadRecord* r = RunningRecordOf(thread)) SleepRecord(r, SleepArgument(milliseconds), wakeEarly);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void ThreadSleepCurrent(int32_t milliseconds) {
  QUENDAL_SERVICE_BEGIN
  SleepRecord(EnsureScheduler(), SleepArgument(milliseconds), false);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void ThreadKill(ThreadObject* thread) {
  QUENDAL_SERVICE_BEGIN
  if (ThreadRecord* r = RunningRecordOf(thread)) KillThread(thread, r);
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t ThreadGetStackSize(ThreadObject* thread) {
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return 0;
  }
  return thread->stackSize > 0 ? thread->stackSize : kDefaultThreadStack;
}

QUENDAL_SERVICE void ThreadSetStackSize(ThreadObject* thread, int32_t size) {
  QUENDAL_SERVICE_BEGIN
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return;
  }
  if (thread->runRecord) ThrowExceptionOfDefinition(&kThreadAlreadyRunningExceptionDefinition);
  thread->stackSize = size > 0 ? size : kDefaultThreadStack;
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t ThreadGetPriority(ThreadObject* thread) {
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return 0;
  }
  return thread->priority;
}

QUENDAL_SERVICE void ThreadSetPriority(ThreadObject* thread, int32_t priority) {
  QUENDAL_SERVICE_BEGIN
  if (!thread) {
    QUENDAL_REPORT(kSource, "thread", nullptr);
    return;
  }
  if (priority <= 0) return;
  if (ThreadRecord* r = thread->runRecord) {
    if (priority > r->tickets) {
      if (!AddTickets(r, priority - r->tickets)) ThrowOutOfMemoryException();
    } else {
      RemoveTickets(r, r->tickets - priority);
    }
  }
  thread->priority = priority;
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t ThreadGetState(ThreadObject* thread) {
  ThreadRecord* r = RunningRecordOf(thread);
  if (!r) return kThreadNotRunning;
  uint8_t flags = r->stateFlags;
  if (flags == 0) return kThreadRunning;
  if (flags & kThreadFlagWaiting) return kThreadWaiting;
  if (flags & kThreadFlagSuspended) return kThreadSuspended;
  if (flags & kThreadFlagSleeping) return kThreadSleeping;
  return kThreadNotRunning;
}

extern "C" intptr_t ThreadGetID(ThreadObject* thread) {
  return reinterpret_cast<intptr_t>(RunningRecordOf(thread));
}

QUENDAL_SERVICE void YieldToNextThread() {
  QUENDAL_SERVICE_BEGIN
  EnsureScheduler();
  YieldCurrent();
  RaiseIfKilled();
  QUENDAL_SERVICE_END_VOID
}

extern "C" ObjectHeader* ORVAGetCurrentThread() {
  if (!gCurrent || !gCurrent->thread) return nullptr;
  return RuntimeLockObject(&gCurrent->thread->header);
}

extern "C" bool HasMultipleThreads() { return CountUnfinished() > 1; }

extern "C" int32_t RunningThreadCount() {
  if (!gCurrent) return 1; /* the main fiber alone */
  int32_t now = Now();
  int32_t n = 0;
  for (ThreadRecord* r = gThreads; r; r = r->next) {
    if (r->suspendCount == 0 && (IsDue(r, now) || r->wakeEarly)) n++;
  }
  return n;
}

extern "C" int32_t ThreadsMinSleepTime(bool excludeMain) {
  return int32_t(std::min<uint32_t>(MinSleepTime(excludeMain), INT32_MAX));
}
