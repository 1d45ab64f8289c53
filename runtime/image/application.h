/*
** What the application keeps for the run loop: the list of pollable
** objects.
**
** Sockets and serial ports put themselves on this list so that the idle
** pass (runtimemainloop.h) can poll them.  This runtime offers neither, so
** the idle pass has nothing to poll; the list is kept for the services
** that bind it.  Objects on the list are not retained: an object removes
** itself before it is destroyed.  Adding an object already on the list
** changes nothing.  The list grows by max(16, capacity) entries and halves
** its capacity when fewer than half of the entries are used; when it
** cannot grow, the addition is reported ("application.cpp", "mPollables")
** and dropped.
**
** No locks: everything here runs on the runtime's one process thread.
*/
#ifndef QUENDAL_IMAGE_APPLICATION_H
#define QUENDAL_IMAGE_APPLICATION_H

#include <cstdint>

#include "runtime/objects/object_model.h"

extern "C" {
void ApplicationAddPollableObject(ObjectHeader* object);
void ApplicationRemovePollableObject(ObjectHeader* object);
void ApplicationRemoveAllPollableObjects();
}

namespace quendal {

/* Test views of the pollable list. */
int32_t PollableObjectCount();
int32_t PollableObjectCapacity();

} // namespace quendal

#endif
