/*
** The running thread's stack bounds: the stack limit that RuntimeStackCheck
** guards and the stack top that bounds every frame-chain walk (the stack
** collection of a raise and the exception dispatch).
**
** The bounds live in a StackBounds record; "current" is the record of the
** code that runs now.  Each OS thread starts with its own record: the top
** is the high end of the thread's stack (pthread_getattr_np), the limit 0
** (no check) until someone sets it.  The main routine sets the main
** thread's limit 262,144 bytes below its frame (InitMainStackLimit).  The
** cooperative threads module keeps one record per fiber and makes it
** current on every switch (SetCurrentStackBounds): that is the whole seam.
**
** Addresses compare unsigned; the stack grows downwards, so limit < top.
*/
#ifndef QUENDAL_OBJECTS_THREAD_STACK_H
#define QUENDAL_OBJECTS_THREAD_STACK_H

#include <cstdint>

namespace quendal {

struct StackBounds {
  uintptr_t limit;  /* lowest address the stack may reach; 0 = unchecked */
  uintptr_t top;    /* high end: no frame of this thread lies above it */
};

/* The main thread's limit lies this far below the main routine's frame. */
inline constexpr uintptr_t kMainStackAllowance = 0x40000;
/* RuntimeStackCheck raises when fewer bytes than this remain above the
** limit.  The raise runs on the same stack (the exception's class may be
** built on first use, then the C++ unwinder walks out), so the margin is
** what that path needs; address-sanitizer builds have frames several times
** larger and keep more. */
#if defined(__SANITIZE_ADDRESS__)
#define QUENDAL_STACK_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENDAL_STACK_INSTRUMENTED 1
#endif
#endif
#ifdef QUENDAL_STACK_INSTRUMENTED
inline constexpr uintptr_t kStackCheckMargin = 64 * 1024;
#else
inline constexpr uintptr_t kStackCheckMargin = 8192;
#endif

/* The current record (never null). */
StackBounds* CurrentStackBounds();
/* Makes bounds current; null returns to the OS thread's own record. */
void SetCurrentStackBounds(StackBounds* bounds);

inline uintptr_t CurrentStackLimit() { return CurrentStackBounds()->limit; }
inline uintptr_t CurrentStackTop() { return CurrentStackBounds()->top; }

/* Sets the current limit kMainStackAllowance below frame (the main
** routine passes its own frame). */
void InitMainStackLimit(void* frame);

} // namespace quendal

extern "C" {
/* The current stack limit, as an address. */
void* ORVAGetStackLimit();
void ORVASetStackLimit(void* limit);
/* Sets the current limit kMainStackAllowance below this call's frame. */
void ORVAInitStackChecker();
}

#endif
