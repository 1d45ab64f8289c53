/*
** The boundary of an exported service: what happens to a C++ exception
** that reaches the outermost frame of a runtime service.
**
** App images call services from compiled frames that have no unwind
** tables: a C++ exception that left a service into them would end the
** process in std::terminate.  So every exported service that can throw
** (it raises, or it allocates through std::string, std::vector, ...) is
** written
**
**     QUENDAL_SERVICE int32_t Foo(...) {
**       QUENDAL_SERVICE_BEGIN
**       ...
**       QUENDAL_SERVICE_END(neutral)
**     }
**
** and whatever is thrown inside is handed, from within the catch block, to
** HandleServiceException with the service's own frame.  The frame is that
** of the service function itself (QUENDAL_SERVICE forbids inlining, and the
** catch block runs in the function's frame, so no tail call can have
** retired it): its saved frame pointer and return address tell the
** handler who called the service.
**
** The handler belongs to the object layer, which knows exceptions and
** image code (runtime/objects/exceptions.h says what it does: a raise or
** an allocation failure becomes the image's dispatch of the exception, or
** OutOfMemoryException; any other C++ exception is a failure report).  The
** object layer installs it before anything can reach a service
** (InstallServiceBoundary, called by its link provisions).  Without a
** handler, below the object layer, the exception goes on to the caller.
**
** After the handler returns, the service returns its neutral result (null,
** 0, false or -1); callers must not act on it.
*/
#ifndef QUENDAL_BASE_SERVICE_BOUNDARY_H
#define QUENDAL_BASE_SERVICE_BOUNDARY_H

namespace quendal {

/* Called inside a catch block with the service's frame; may rethrow. */
using ServiceExceptionHandler = void (*)(void* serviceFrame);

void SetServiceExceptionHandler(ServiceExceptionHandler handler);

/* The boundary's catch: the installed handler, or a rethrow without one. */
void HandleServiceException(void* serviceFrame);

} // namespace quendal

#define QUENDAL_SERVICE extern "C" __attribute__((noinline))
#define QUENDAL_SERVICE_BEGIN try {
#define QUENDAL_SERVICE_END(neutral)                                     \
  }                                                                       \
  catch (...) {                                                           \
    ::quendal::HandleServiceException(__builtin_frame_address(0));        \
  }                                                                       \
  return neutral;
#define QUENDAL_SERVICE_END_VOID                                         \
  }                                                                       \
  catch (...) {                                                           \
    ::quendal::HandleServiceException(__builtin_frame_address(0));        \
  }

#endif
