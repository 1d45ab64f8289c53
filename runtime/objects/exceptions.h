/*
** Raising exceptions from native code, and the service boundary's
** handler.
**
** Inside the runtime's own C++ code a raise is a C++ exception of type
** quendal::RaisedException that owns one reference to the exception
** object.  Native callers (C++ code, the converter) therefore stop at a
** raise and unwind with their destructors run.
**
** Every exported service that an app image can call and that may throw
** wraps its body in QUENDAL_SERVICE_BEGIN / QUENDAL_SERVICE_END(neutral)
** (runtime/base/service_boundary.h).  The handler this layer installs
** there (InstallServiceBoundary) sorts what reached the boundary:
**   - a RaisedException: when the service was called from image code, the
**     image's dispatch (walk the rbp chain, find the nearest handler record
**     or native boundary, redirect one return address and, when frames
**     without handler records are cut, the saved frame pointer beside it);
**     the service then returns its neutral result.  Called from native
**     code, it is rethrown.
**   - std::bad_alloc: an allocation failed; it becomes OutOfMemoryException
**     and goes on as a raise of that exception.
**   - anything else: no C++ exception may reach image frames, which have
**     no unwind tables: called from image code it is a failure report
**     (source "RuntimeExceptionFoundation", condition "service exception")
**     and the service returns its neutral result; called from native code
**     it is rethrown.
**
** Such services are QUENDAL_SERVICE functions (never inlined): the
** handler must find the frame of the service itself, whose return address
** tells who called it.  tools/check_service_boundary.py checks, on the
** sources and on the built program, that every service body with the
** wrapper is a QUENDAL_SERVICE and keeps its own frame.
**
** Image code reaches native code only through exported services, and
** native code reaches image code only through image_calls.h; the design
** notes (what is cut, what runs, where the unhandled path is taken) live in
** runtime/objects/NOTES.md.
**
** Ownership: a RaisedException owns one reference to its exception; the
** raise routines below borrow theirs.  An exception object created by a
** raise routine is released by it once the raise has left (so a handler
** variable, or the RaisedException, holds the only reference).
*/
#ifndef QUENDAL_OBJECTS_EXCEPTIONS_H
#define QUENDAL_OBJECTS_EXCEPTIONS_H

#include <cstdint>

#include "runtime/base/service_boundary.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

namespace quendal {

/* A raised exception in flight through native frames.  Owns one reference
** to the exception object.  RuntimeReraiseException marks its raise: at
** that service's boundary the image dispatch lets the calling method,
** which is handler code, go on with its clean-up; past that boundary the
** raise goes on unmarked. */
class RaisedException {
 public:
  explicit RaisedException(ObjectHeader* exception, bool reraise = false);  /* takes the reference */
  RaisedException(const RaisedException& other);
  RaisedException& operator=(const RaisedException&) = delete;
  ~RaisedException();
  ObjectHeader* object() const { return exception_; }
  bool reraise() const { return reraise_; }

 private:
  ObjectHeader* exception_;
  bool reraise_;
};

/* Raise from native code.  The exception's stack is collected at the raise
** point.  None of these return.  ThrowException borrows its exception
** (the RaisedException takes its own reference); a nil exception raises
** NilObjectException instead.  The definition-based raises create the
** instance, store a locked copy of the message and the number, raise, and
** release their own reference. */
[[noreturn]] void ThrowException(ObjectHeader* exception);
[[noreturn]] void ThrowExceptionOfDefinition(const ObjectDefinition* definition,
                                             ORVAstring message = nullptr, int32_t errorNumber = 0);
[[noreturn]] void ThrowNilObjectException();
[[noreturn]] void ThrowOutOfBoundsException();
[[noreturn]] void ThrowIllegalCastException();
[[noreturn]] void ThrowOutOfMemoryException();
[[noreturn]] void ThrowServiceNotAvailableException();

/* Installs this layer's handler at the service boundary (see above).
** Start-up calls it before anything can call a service. */
void InstallServiceBoundary();

/* Dispatch into image code from an exported service whose frame is
** serviceFrame and whose caller is image code: finds the nearest handler
** record (or the native boundary) and redirects the frames in between.
** reraise marks RuntimeReraiseException: its calling method (handler code)
** goes on to its clean-up.  Takes its own references; never throws. */
void DispatchImageRaise(ObjectHeader* exception, void* serviceFrame, bool reraise) noexcept;

/* True when the return address of serviceFrame lies in image code. */
bool ServiceCalledFromImage(void* serviceFrame);

/* The raise hook: called with every exception raised (not re-raised)
** before dispatch; null unless the remote-debugger support sets it. */
using RaiseHook = void (*)(ObjectHeader* exception);
void SetRaiseHook(RaiseHook hook);

/* The handler scan: the first handler record (marker 0x411 at nesting
** depth 0) from address on, before the first epilogue (C9 C3 or 5D C3)
** and before end; null when none. */
const uint8_t* ScanForHandlerRecord(const uint8_t* address, const uint8_t* end);

} // namespace quendal

extern "C" {
void RuntimeRaiseException(ObjectHeader* exception);
void RuntimeReraiseException(ObjectHeader* exception);
void RaiseExceptionClass(ClassRecord* cls);
void RaiseNilObjectException();
void RaiseIllegalCastException();
void RaiseOutOfBoundsException();
void RuntimeRaiseFunctionNotFoundException(ORVAstring function, ORVAstring library);
void RuntimeUnhandledException(ObjectHeader* exception);
void RuntimeStackCheck();
}

#endif
