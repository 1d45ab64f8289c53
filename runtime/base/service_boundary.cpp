/*
** The service boundary's catch.  See service_boundary.h.
*/
#include "runtime/base/service_boundary.h"

namespace quendal {

namespace {

ServiceExceptionHandler gHandler = nullptr;

} // namespace

void SetServiceExceptionHandler(ServiceExceptionHandler handler) { gHandler = handler; }

void HandleServiceException(void* serviceFrame) {
  if (!gHandler) throw;
  gHandler(serviceFrame);
}

} // namespace quendal
