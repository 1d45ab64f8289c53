/*
** The run loop's idle work: RuntimeDoEvents, RuntimeBackgroundTask and the
** periodic-task registry.
**
** Ticks: sixtieths of a second, GetTickCount() * 0.06 truncated to an
** integer.  They wrap with the millisecond counter (about every 49.7
** days, at 257,698,037 ticks); every comparison below is an unsigned
** difference, and a count that went backwards makes every task due.
**
** Periodic tasks: a routine with a data word and a period in ticks,
** identified by a positive id.  A task is due when at least `period`
** ticks have passed since its last run (registration counts as a run).
** Due tasks run in registration order; a task may register or unregister
** tasks (itself included) while it runs: a task registered during a pass
** first runs in a later pass, an unregistered one is not called again.
** The plugin host and the runtime's timers hang their work here.
**
** RuntimeBackgroundTask (called by loops in image code on every
** iteration) runs the due tasks whenever the tick count differs from the
** one it saw last and returns the tick count.  The Escape-key user-cancel
** flag of the original desktop runtime is read from keyboard state; this
** host has no keyboard state, so the flag stays false and
** UserCancelRequested always says so.
**
** Idle pass (RuntimeDoEvents): on the main thread it runs the due tasks
** and then lets the other runnable cooperative threads run; on any other
** thread it only yields.  Then, for milliseconds >= 0, it sleeps the
** current thread that long (0: yields once); a negative value does only
** the idle pass.  Threads reach the run loop through
** CooperativeThreadHooks, which start-up installs from the thread
** scheduler; while none are installed the process thread is the only
** thread: yielding does nothing and sleeping is the platform's Sleep.  The
** hooks may raise (ThreadEndException in a thread that was killed while it
** waited), so RuntimeDoEvents is a service that dispatches raises.
**
** The objects the idle pass would poll are listed by the application
** module (application.h); this runtime offers nothing pollable.
**
** No locks: everything here runs on the runtime's one process thread.
*/
#ifndef QUENDAL_IMAGE_RUNTIMEMAINLOOP_H
#define QUENDAL_IMAGE_RUNTIMEMAINLOOP_H

#include <cstdint>

#include "runtime/objects/object_model.h"

extern "C" {
void RuntimeDoEvents(ObjectHeader* application, int32_t milliseconds);
int32_t RuntimeBackgroundTask();
}

namespace quendal {

/* The current tick count: GetTickCount() * 0.06, truncated. */
uint32_t RuntimeTickCount();

using PeriodicRoutine = void (*)(void* data);
/* Registers a task; returns its id (> 0), or 0 for a null routine. */
int32_t RegisterPeriodicTask(PeriodicRoutine routine, uint32_t periodTicks, void* data);
/* Removes a task; an unknown id is ignored. */
void UnregisterPeriodicTask(int32_t id);
/* Runs every due task once (the idle pass and RuntimeBackgroundTask call it). */
void RunDuePeriodicTasks(uint32_t ticks);

/* The Escape-key flag: always false on this host (see above). */
bool UserCancelRequested();

/* What the thread scheduler lends the run loop. */
struct CooperativeThreadHooks {
  bool (*onMainThread)();
  void (*yieldToNextThread)();
  void (*sleepCurrentThread)(uint32_t milliseconds);
};
/* Installs the hooks (copied); null restores the single-thread behaviour. */
void SetCooperativeThreadHooks(const CooperativeThreadHooks* hooks);

/* Test seam: drops every periodic task and the background task's memory
** of the last tick count. */
void ResetRunLoopForTesting();

} // namespace quendal

#endif
