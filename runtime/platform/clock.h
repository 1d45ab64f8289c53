/*
** Time for the run loop and the thread scheduler.
**
** GetTickCount: milliseconds since an arbitrary fixed point, read from
** CLOCK_MONOTONIC and cut to 32 bits, so it wraps to 0 after about 49.7
** days exactly as the Win32 counter does.  Callers that compare two counts
** subtract them as unsigned numbers.
**
** Sleep: suspends the calling (process) thread for the given milliseconds;
** 0 gives up the processor once.  Interrupted waits are resumed until the
** full time has passed.
*/
#ifndef QUENDAL_PLATFORM_CLOCK_H
#define QUENDAL_PLATFORM_CLOCK_H

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

DWORD GetTickCount();
void Sleep(DWORD milliseconds);

} // namespace quendal::platform

#endif
