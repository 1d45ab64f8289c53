/* Starts threads through the link table: two that loop and yield with
** priorities 10 and 1, counting their turns while the main fiber yields 20
** times (4 cycles of its 5 tickets); one that sleeps for 10 seconds and is
** killed; one that sleeps 50 ms and runs while the main fiber sleeps in
** RuntimeDoEvents.  Prints
** what it sees, one fact a line. */
#include "startup_rt.h"

extern void threadRun(ObjectHeader* thread);
extern void ThreadSetPriority(ObjectHeader* thread, int32_t priority);
extern void ThreadSleep(ObjectHeader* thread, int32_t milliseconds, _Bool wakeEarly);
extern void ThreadKill(ObjectHeader* thread);
extern int32_t ThreadGetState(ObjectHeader* thread);
extern ObjectHeader* ORVAGetCurrentThread(void);
extern void YieldToNextThread(void);
extern _Bool HasMultipleThreads(void);
extern void RuntimeDoEvents(ObjectHeader* application, int32_t milliseconds);

static int32_t gTurnsHigh;
static int32_t gTurnsLow;
static int32_t gStop;
static int32_t gWokeUp;
static int32_t gLaterTurns;

static void RunHigh(ObjectHeader* self) {
  (void)self;
  while (!IMAGE_GLOBAL(gStop)) {
    IMAGE_GLOBAL(gTurnsHigh)++;
    YieldToNextThread();
  }
}

static void RunLow(ObjectHeader* self) {
  (void)self;
  while (!IMAGE_GLOBAL(gStop)) {
    IMAGE_GLOBAL(gTurnsLow)++;
    YieldToNextThread();
  }
}

static void RunSleeper(ObjectHeader* self) {
  ObjectHeader* current = ORVAGetCurrentThread();
  if (current != self) RuntimeConsolePrint(S("wrong current thread"));
  RuntimeUnlockObject(current);
  ThreadSleep(self, 10000, 0);
  IMAGE_GLOBAL(gWokeUp) = 1;
}

static void RunLater(ObjectHeader* self) {
  ThreadSleep(self, 50, 0);
  IMAGE_GLOBAL(gLaterTurns)++;
}

/* A Thread subclass whose Run event is run. */
static ClassRecord* thread_class(ORVAstring name, void* run) {
  ClassRecord* base = RuntimeLookupClass(S("Thread"));
  ClassRecord* cls = RuntimeNewClass(base, base->methodCount, 0, base->eventCount, base->accessorCount,
                                     base->propertyCount);
  cls->className = name;
  RuntimeLockString(name);
  cls->objectSize = base->objectSize;
  if (!set_event(cls, S("Run"), run)) RuntimeConsolePrint(S("no Run event"));
  return cls;
}

static void print_number(ORVAstring label, int32_t value) {
  char text[12];
  decimal(value, text);
  ORVAstring number = StringFromCString(text);
  ORVAstring line = RuntimeAddString(label, number);
  RuntimeConsolePrint(line);
  RuntimeUnlockString(line);
  RuntimeUnlockString(number);
}

uint32_t main(void) {
  ObjectHeader* high = RuntimeNewObject(thread_class(S("HighThread"), (void*)RunHigh));
  ObjectHeader* low = RuntimeNewObject(thread_class(S("LowThread"), (void*)RunLow));
  ThreadSetPriority(high, 10);
  ThreadSetPriority(low, 1);
  threadRun(high);
  threadRun(low);
  IMAGE_GLOBAL(gTurnsHigh) = 0;
  IMAGE_GLOBAL(gTurnsLow) = 0;
  for (int i = 0; i < 20; i++) YieldToNextThread();
  print_number(S("turns at priority 10: "), IMAGE_GLOBAL(gTurnsHigh));
  print_number(S("turns at priority 1: "), IMAGE_GLOBAL(gTurnsLow));
  IMAGE_GLOBAL(gStop) = 1;
  while (HasMultipleThreads()) YieldToNextThread();
  print_number(S("state after the loops ended: "), ThreadGetState(high));

  ObjectHeader* sleeper = RuntimeNewObject(thread_class(S("SleeperThread"), (void*)RunSleeper));
  threadRun(sleeper);
  print_number(S("sleeper state: "), ThreadGetState(sleeper));
  ThreadKill(sleeper);
  print_number(S("state after the kill: "), ThreadGetState(sleeper));
  print_number(S("woke up: "), IMAGE_GLOBAL(gWokeUp));

  ObjectHeader* later = RuntimeNewObject(thread_class(S("LaterThread"), (void*)RunLater));
  threadRun(later);
  print_number(S("turns before DoEvents: "), IMAGE_GLOBAL(gLaterTurns));
  RuntimeDoEvents(0, 200);
  print_number(S("turns after DoEvents: "), IMAGE_GLOBAL(gLaterTurns));

  RuntimeUnlockObject(later);
  RuntimeUnlockObject(sleeper);
  RuntimeUnlockObject(low);
  RuntimeUnlockObject(high);
  return 0;
}
