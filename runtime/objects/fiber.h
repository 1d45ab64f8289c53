/*
** Fibers: user-space contexts with a stack of their own, switched by
** QuendalFiberSwitch (fiber_switch.S).  The scheduler of threads.h is the
** only user; it decides who runs, this module only switches.
**
** A FiberContext is one context.  The process thread's own context needs
** no stack of its own (its stack is the OS thread's); every other context
** runs on a FiberStack: a private anonymous mapping whose lowest page is a
** guard page (no access), so an overflow faults instead of running into
** other memory.  The usable part lies above the guard page.
**
** What a switch carries besides the registers:
**   - the C++ runtime's per-thread exception state (the chain of caught
**     exceptions and the uncaught count): every context keeps its own, so
**     a fiber that yields inside a catch block or during unwinding does
**     not disturb another one's;
**   - under AddressSanitizer, the switch annotations
**     (__sanitizer_start_switch_fiber / __sanitizer_finish_switch_fiber)
**     and the context's fake stack; the process thread's stack bounds are
**     learnt at the first switch away from it.  Fiber stacks are
**     registered with LeakSanitizer as root regions while they exist, so
**     objects referenced only from a suspended fiber are not leaks, and
**     their shadow is cleared before the mapping goes.
**
** Sanitizer limits: a context that is abandoned without ending (a fiber
** still suspended when the process exits) keeps its fake stack until exit;
** stack-use-after-return checking across a switch sees only the frames of
** the running context.  Nothing else differs from a plain build.
**
** Contract: SwitchFiber must be called from the running context (from),
** and to must be a context that was switched away from, or a prepared one.
** A context that switches away with ending = true is never resumed; its
** stack may be destroyed by another context afterwards, never by itself.
*/
#ifndef QUENDAL_OBJECTS_FIBER_H
#define QUENDAL_OBJECTS_FIBER_H

#include <cstddef>
#include <cstdint>

namespace quendal {

struct FiberStack {
  uint8_t* mapping;     /* the whole mapping, guard page included; null when none */
  size_t mappingSize;
  uint8_t* base;        /* lowest usable address (just above the guard page) */
  size_t size;          /* usable bytes */
};

/* The C++ runtime's per-thread exception state, saved while a context is
** switched out. */
struct FiberExceptionState {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};

struct FiberContext {
  void* savedSp;                  /* where the saved context lies, while switched out */
  FiberStack stack;               /* no mapping for the process thread's context */
  FiberExceptionState exceptions;
  const void* sanitizerBottom;    /* the stack as AddressSanitizer is told of it */
  size_t sanitizerSize;
  void* sanitizerFakeStack;
};

/* Reserves a stack of at least size usable bytes (rounded up to pages)
** with a guard page below; false when the system refuses. */
bool CreateFiberStack(size_t size, FiberStack* out);
/* Returns the mapping to the system; a stack without one is ignored. */
void DestroyFiberStack(FiberStack* stack);

/* Makes context, whose stack exists, start at entry(argument) on its first
** switch.  The new context inherits the caller's floating-point control
** words. */
void PrepareFiberContext(FiberContext* context, void (*entry)(void*), void* argument);

/* Switches from the running context to `to`.  Returns when another switch
** resumes from; never when ending is set. */
void SwitchFiber(FiberContext* from, FiberContext* to, bool ending);

/* The first call of every prepared context's entry routine: completes the
** switch that started it. */
void FiberStarted();

} // namespace quendal

extern "C" void QuendalFiberSwitch(void** saveSp, void* loadSp);
extern "C" void QuendalFiberStart();

#endif
