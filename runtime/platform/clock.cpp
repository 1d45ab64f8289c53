/*
** Time for the run loop.  See clock.h.
*/
#include "runtime/platform/clock.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

namespace quendal::platform {

DWORD GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms); /* the low 32 bits: wraps like the Win32 counter */
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(milliseconds / 1000u);
  wait.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

} // namespace quendal::platform
