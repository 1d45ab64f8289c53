/*
** The one routine behind every link row of a service this runtime never
** offers (windows, controls, pictures, sockets, serial ports, the registry,
** OLE, the debugger link, ...).  Images and plugins may bind such names;
** calling one raises ServiceNotAvailableException, which the caller's
** handler receives like any other exception.
*/
#include <cstdint>

#include "runtime/objects/exceptions.h"

QUENDAL_SERVICE int64_t RuntimeServiceNotAvailable() {
  QUENDAL_SERVICE_BEGIN
  quendal::ThrowServiceNotAvailableException();
  QUENDAL_SERVICE_END(0)
}
