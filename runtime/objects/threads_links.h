/*
** The link-table provisions of the cooperative threads and their locks (Thread, Semaphore,
** CriticalSection, Mutex).
*/
#ifndef QUENDAL_OBJECTS_THREADS_LINKS_H
#define QUENDAL_OBJECTS_THREADS_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions ThreadsLinkProvisions();

} // namespace quendal

#endif
