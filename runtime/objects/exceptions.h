/*
** Raising exceptions from native code.
**
** Inside the runtime's own C++ code a raise is a C++ exception of type
** quendal::RaisedException that owns one reference to the exception
** object.  Native callers (C++ code, the converter) therefore stop at a
** raise and unwind with their destructors run.
**
** Every exported service that an app image can call and that may raise
** wraps its body in QUENDAL_SERVICE_BEGIN / QUENDAL_SERVICE_END(neutral).
** When the service was called from image code, the wrapper turns the C++
** exception into the image's dispatch (walk the rbp chain, find the
** nearest handler record or native boundary, redirect one return address
** and, when frames without handler records are cut, the saved frame
** pointer beside it) and returns the neutral result; when it was called
** from native code, it rethrows.
**
** Such services are QUENDAL_SERVICE functions (never inlined): the wrapper
** must find the frame of the service itself, whose return address tells
** who called it.
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

#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

namespace quendal {

/* A raised exception in flight through native frames.  Owns one reference
** to the exception object. */
class RaisedException {
 public:
  explicit RaisedException(ObjectHeader* exception);  /* takes the reference */
  RaisedException(const RaisedException& other);
  RaisedException& operator=(const RaisedException&) = delete;
  ~RaisedException();
  ObjectHeader* object() const { return exception_; }

 private:
  ObjectHeader* exception_;
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

/* Re-raise from native code: throws without touching the stack array and
** without calling the raise hook.  A nil exception raises
** NilObjectException instead. */
[[noreturn]] void RethrowException(ObjectHeader* exception);

/* Called by QUENDAL_SERVICE_END, inside its catch block: dispatches into
** image code when the service frame's return address lies in the image,
** else rethrows the exception being handled. */
void DispatchFromService(const RaisedException& raised, void* serviceFrame);

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

#define QUENDAL_SERVICE extern "C" __attribute__((noinline))
#define QUENDAL_SERVICE_BEGIN try {
#define QUENDAL_SERVICE_END(neutral)                                              \
  }                                                                                \
  catch (const ::quendal::RaisedException& quendal_raised_) {                      \
    ::quendal::DispatchFromService(quendal_raised_, __builtin_frame_address(0));   \
  }                                                                                \
  return neutral;
#define QUENDAL_SERVICE_END_VOID                                                  \
  }                                                                                \
  catch (const ::quendal::RaisedException& quendal_raised_) {                      \
    ::quendal::DispatchFromService(quendal_raised_, __builtin_frame_address(0));   \
  }

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
