/*
** The one routine behind every link row of a service this runtime never
** offers (windows, controls, pictures, sockets, serial ports, the registry,
** OLE, the debugger link, ...).  Images and plugins may bind such names;
** calling one reports that the service is absent and returns 0.
*/
#include <cstdint>

#include "runtime/image/failure_report.h"

extern "C" int64_t RuntimeServiceNotAvailable() {
  quendal::RuntimeFailureReport(quendal::kFailureAssertion, "relocentry.cpp", __LINE__, "serviceAvailable",
                                "This service is not available on this platform.");
  return 0;
}
