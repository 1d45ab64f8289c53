/*
** Raising exceptions: the native raise (a C++ RaisedException), the stack
** collection, and the exported raise services.  Dispatch into image code
** lives in exception_dispatch.cpp; the design is in NOTES.md.
**
** A raise (not a re-raise) empties the exception's stack array, walks the
** frame chain from the raise routine's own frame up to the current stack
** top and appends the name of every compiled method whose code holds a
** return address of the chain (innermost first; runtime routines have no
** name), calls the raise hook, and throws.
*/
#include <cstdint>

#include "runtime/base/failure_report.h"
#include "runtime/objects/image_code.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/thread_stack.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

RaiseHook gRaiseHook = nullptr;

/* Frame words are read without the address sanitizer: a frame chain may
** run through frames of code built without frame pointers, whose "saved
** frame pointer" then points anywhere inside the stack, redzones included.
** Every address read lies inside [start, top] of the running stack. */
__attribute__((no_sanitize("address"))) uintptr_t LoadStackWord(uintptr_t address) {
  return *reinterpret_cast<const uintptr_t*>(address);
}

void CollectStack(ExceptionObject* e, uintptr_t start) {
  if (!e->stack) return;
  ArrayRedim1(e->stack, -1);
  uintptr_t top = CurrentStackTop();
  if (top < 16) return;
  for (uintptr_t p = start; p >= start && p <= top - 16 && (p & 7) == 0;) {
    uintptr_t q = LoadStackWord(p);
    uintptr_t r = LoadStackWord(p + 8);
    if (q == 0) break;
    if (r != 0) {
      ImageSymbol symbol = ImageSymbolAt(r);
      if (symbol.found && !symbol.name.empty()) {
        StringRef name(StringCreate(symbol.name, kEncodingUTF8));
        ArrayAppendString(e->stack, name.get());
      }
    }
    if (q <= p) break;
    p = q;
  }
}

} // namespace

RaisedException::RaisedException(ObjectHeader* exception, bool reraise)
    : exception_(exception), reraise_(reraise) {}

RaisedException::RaisedException(const RaisedException& other)
    : exception_(RuntimeLockObject(other.exception_)), reraise_(other.reraise_) {}

RaisedException::~RaisedException() { ReleaseObjectQuietly(exception_); }

__attribute__((noinline)) void ThrowException(ObjectHeader* exception) {
  if (!exception) ThrowNilObjectException();
  if (ExceptionObject* e = AsExceptionObject(exception)) {
    CollectStack(e, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  }
  if (gRaiseHook) gRaiseHook(exception);
  throw RaisedException(RuntimeLockObject(exception));
}

void ThrowExceptionOfDefinition(const ObjectDefinition* definition, ORVAstring message, int32_t errorNumber) {
  ObjectRef exception(RuntimeNewObject(LookupObjectDefinition(definition)));
  if (ExceptionObject* e = AsExceptionObject(exception.get())) {
    e->errorNumber = errorNumber;
    StringAssign(&e->message, message);
  }
  ThrowException(exception.get());
}

void ThrowNilObjectException() { ThrowExceptionOfDefinition(&kNilObjectExceptionDefinition); }
void ThrowOutOfBoundsException() { ThrowExceptionOfDefinition(&kOutOfBoundsExceptionDefinition); }
void ThrowIllegalCastException() { ThrowExceptionOfDefinition(&kIllegalCastExceptionDefinition); }
void ThrowOutOfMemoryException() { ThrowExceptionOfDefinition(&kOutOfMemoryExceptionDefinition); }
void ThrowServiceNotAvailableException() {
  ThrowExceptionOfDefinition(&kServiceNotAvailableExceptionDefinition);
}

void SetRaiseHook(RaiseHook hook) { gRaiseHook = hook; }

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void RuntimeRaiseException(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  if (!exception) return;
  ThrowException(exception);
  QUENDAL_SERVICE_END_VOID
}

/* A re-raise goes through the service boundary like any raise, marked as
** a re-raise: from image code the calling method (handler code) goes on
** with its clean-up; from native code it is a plain rethrow.  The stack
** array is left as the first raise filled it, and the raise hook is not
** called. */
QUENDAL_SERVICE void RuntimeReraiseException(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  if (!exception) return;
  throw RaisedException(RuntimeLockObject(exception), true);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RaiseExceptionClass(ClassRecord* cls) {
  QUENDAL_SERVICE_BEGIN
  if (!cls) {
    RuntimeFailureReport(kFailureAssertion, "RuntimeExceptionFoundation", __LINE__, "exclass");
    return;
  }
  ObjectRef exception(RuntimeNewObject(cls));
  if (!exception) return;
  ThrowException(exception.get());
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RaiseNilObjectException() {
  QUENDAL_SERVICE_BEGIN
  ThrowNilObjectException();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RaiseIllegalCastException() {
  QUENDAL_SERVICE_BEGIN
  ThrowIllegalCastException();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RaiseOutOfBoundsException() {
  QUENDAL_SERVICE_BEGIN
  ThrowOutOfBoundsException();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeRaiseFunctionNotFoundException(ORVAstring function, ORVAstring library) {
  QUENDAL_SERVICE_BEGIN
  StringRef message(StringCreate("Could not load ", kEncodingASCII));
  StringAppend(message.slot(), function);
  StringAppendCString(message.slot(), " from ");
  StringAppend(message.slot(), library);
  ThrowExceptionOfDefinition(&kFunctionNotFoundExceptionDefinition, message.get());
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeUnhandledException(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  UnhandledExceptionHook hook = GetUnhandledExceptionHook();
  if (!hook) {
    RuntimeFailureReport(kFailureUnhandledException, "RuntimeExceptionFoundation", __LINE__, "0");
    return;
  }
  hook(exception);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeStackCheck() {
  QUENDAL_SERVICE_BEGIN
  CheckImageRoutineEntry(__builtin_frame_address(0));
  uintptr_t sp;
  __asm__ volatile("movq %%rsp, %0" : "=r"(sp));
  if (sp - kStackCheckMargin < CurrentStackLimit()) {
    ThrowExceptionOfDefinition(&kStackOverflowExceptionDefinition);
  }
  QUENDAL_SERVICE_END_VOID
}
