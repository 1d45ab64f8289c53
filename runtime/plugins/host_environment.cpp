/*
** The installed host environment.  See host_environment.h.
*/
#include "runtime/plugins/host_environment.h"

#include <cassert>

namespace quendal {

namespace {
const HostEnvironment* gEnvironment = nullptr;
}

void InstallHostEnvironment(const HostEnvironment* environment) {
  assert(!environment || (environment->findLinkRow && environment->registerLink && environment->resourceCount &&
                          environment->resourceAt && environment->applicationFolder &&
                          environment->registerPeriodicTask && environment->unregisterPeriodicTask &&
                          environment->backgroundTask && environment->yieldToOtherThreads));
  gEnvironment = environment;
}

const HostEnvironment* InstalledHostEnvironment() { return gEnvironment; }

} // namespace quendal
