/*
** Calling routines that may be image code, from native code.
**
** Every call from the runtime (or a native program) into the app image
** goes through this module: the entry routine, events, class initializers,
** destructor hooks, finalizers, delegates.  An image routine is entered
** through the boundary trampoline QuendalImageCall (image_call.S), which
** saves the native caller's callee-saved registers and keeps a pointer to
** its ImageCallRecord at a fixed slot of its frame.  Exception dispatch
** inside the image recognises the trampoline's return address as a native
** boundary: when no handler record catches before it, dispatch resumes the
** trampoline at its "raised" exit with the exception stored in the record,
** and CallRoutine throws it here as a RaisedException.  So a native caller
** never sees an image callback return normally with a dispatch pending.
**
** A routine that is not image code (a native hook, a runtime service) is
** called directly with its own C++ type; its raises are C++ exceptions
** already.
**
** Arguments and results through the trampoline: up to six integer, bool,
** enum or pointer arguments (in the integer registers) and an integer,
** bool, pointer or void result.  Floating-point values do not pass.
**
** CallImageEntry is the outermost boundary: what escapes the entry routine
** goes to RuntimeUnhandledException exactly once, and the call returns.
*/
#ifndef QUENDAL_OBJECTS_IMAGE_CALLS_H
#define QUENDAL_OBJECTS_IMAGE_CALLS_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "runtime/objects/object_model.h"

namespace quendal {

/* The record the trampoline works from.  Layout is shared with
** image_call.S. */
struct ImageCallRecord {
  const void* entry;
  uint64_t args[6];
  ObjectHeader* raised;  /* set by dispatch (one reference) when an exception reached the boundary */
};
static_assert(offsetof(ImageCallRecord, args) == 8 && offsetof(ImageCallRecord, raised) == 56,
              "layout used by image_call.S");

/* True when address lies in the loaded image's code segment (or in the
** range a test installed). */
bool IsImageCode(uintptr_t address);
inline bool IsImageCode(const void* address) { return IsImageCode(reinterpret_cast<uintptr_t>(address)); }

/* Test seam: treat [begin, begin + length) as image code instead of the
** loaded image's code segment; a null begin restores the loaded image. */
void SetImageCodeRangeForTesting(const void* begin, size_t length);

/* Calls image code at entry through the boundary.  Throws RaisedException
** when an exception reached the boundary. */
uint64_t CallImageCode(const void* entry, std::initializer_list<uint64_t> args);

namespace detail {
template <typename T>
uint64_t ToWord(T value) {
  static_assert(std::is_pointer_v<T> || std::is_integral_v<T> || std::is_enum_v<T> ||
                    std::is_null_pointer_v<T>,
                "only integer and pointer arguments pass the image boundary");
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(value);
  } else if constexpr (std::is_null_pointer_v<T>) {
    return 0;
  } else if constexpr (std::is_signed_v<T>) {
    return static_cast<uint64_t>(static_cast<int64_t>(value));
  } else {
    return static_cast<uint64_t>(value);
  }
}

template <typename R>
R FromWord(uint64_t word) {
  if constexpr (std::is_void_v<R>) {
    (void)word;
  } else if constexpr (std::is_same_v<R, bool>) {
    return static_cast<uint8_t>(word) != 0;
  } else if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<R>(static_cast<uintptr_t>(word));
  } else {
    static_assert(std::is_integral_v<R> || std::is_enum_v<R>,
                  "only integer and pointer results pass the image boundary");
    return static_cast<R>(word);
  }
}
} // namespace detail

/* Calls routine with args: through the boundary when it is image code,
** directly otherwise.  Raises arrive as RaisedException. */
template <typename R, typename... P, typename... A>
R CallRoutine(R (*routine)(P...), A... args) {
  static_assert(sizeof...(P) == sizeof...(A), "argument count must match the routine");
  static_assert(sizeof...(P) <= 6, "at most six arguments pass the image boundary");
  if (!IsImageCode(reinterpret_cast<const void*>(routine))) return routine(static_cast<P>(args)...);
  uint64_t result = CallImageCode(reinterpret_cast<const void*>(routine),
                                  {detail::ToWord(static_cast<P>(args))...});
  return detail::FromWord<R>(result);
}

/* An initializer, destructor hook or finalizer. */
inline void CallObjectHook(ObjectHook hook, ObjectHeader* object) { CallRoutine(hook, object); }

/* The trampoline is the only way into image code; a check keeps it so.
** RuntimeStackCheck, which every compiled routine calls on entry, passes
** its own frame here: when its caller is image code, the return address
** of that routine's frame must lead back into image code or to the
** trampoline.  Anything else means native code called image code
** directly, where a raise would find no boundary: that is reported
** (condition "entered through QuendalImageCall"), once per process. */
void CheckImageRoutineEntry(void* serviceFrame) noexcept;

/* The loader's call of the entry routine (image code or a native
** program's entry).  An exception that escapes it goes to
** RuntimeUnhandledException, once; the result is then 0. */
uint32_t CallImageEntry(uint32_t (*entry)());

} // namespace quendal

extern "C" {
/* The trampoline and its two resume points (image_call.S). */
uint64_t QuendalImageCall(quendal::ImageCallRecord* record);
extern const char QuendalImageCallReturn[];
extern const char QuendalImageCallRaised[];
}

#endif
