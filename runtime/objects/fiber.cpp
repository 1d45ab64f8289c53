/*
** Fiber stacks and the switch around QuendalFiberSwitch.  See fiber.h.
*/
#include "runtime/objects/fiber.h"

#include <cxxabi.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <cassert>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define QUENDAL_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENDAL_FIBER_ASAN 1
#endif
#endif

#ifdef QUENDAL_FIBER_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace quendal {

namespace {

/* The context that is switching away; the context it resumes reads it to
** learn the stack it came from (AddressSanitizer needs the process
** thread's bounds, which nobody else knows). */
[[maybe_unused]] FiberContext* gSwitchingFrom = nullptr;

size_t PageSize() {
  long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<size_t>(page) : 4096;
}

FiberExceptionState* RuntimeExceptionState() {
  /* libstdc++'s __cxa_eh_globals: {caughtExceptions, uncaughtExceptions}. */
  return reinterpret_cast<FiberExceptionState*>(abi::__cxa_get_globals());
}

uint16_t CurrentX87ControlWord() {
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

/* Completes a switch in the context that was just resumed. */
void FinishSwitch([[maybe_unused]] void* fakeStack) {
#ifdef QUENDAL_FIBER_ASAN
  const void* bottom = nullptr;
  size_t size = 0;
  __sanitizer_finish_switch_fiber(fakeStack, &bottom, &size);
  if (gSwitchingFrom && !gSwitchingFrom->stack.mapping) {
    gSwitchingFrom->sanitizerBottom = bottom;
    gSwitchingFrom->sanitizerSize = size;
  }
#endif
}

} // namespace

bool CreateFiberStack(size_t size, FiberStack* out) {
  *out = FiberStack{nullptr, 0, nullptr, 0};
  size_t page = PageSize();
  if (size > SIZE_MAX - 2 * page) return false;
  size_t usable = (size + page - 1) / page * page;
  size_t total = usable + page;
  void* mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) return false;
  if (mprotect(mapping, page, PROT_NONE) != 0) {
    munmap(mapping, total);
    return false;
  }
  out->mapping = static_cast<uint8_t*>(mapping);
  out->mappingSize = total;
  out->base = out->mapping + page;
  out->size = usable;
#ifdef QUENDAL_FIBER_ASAN
  __lsan_register_root_region(out->base, out->size);
#endif
  return true;
}

void DestroyFiberStack(FiberStack* stack) {
  if (!stack->mapping) return;
#ifdef QUENDAL_FIBER_ASAN
  __lsan_unregister_root_region(stack->base, stack->size);
  /* Frames that never returned leave their redzones poisoned. */
  __asan_unpoison_memory_region(stack->base, stack->size);
#endif
  munmap(stack->mapping, stack->mappingSize);
  *stack = FiberStack{nullptr, 0, nullptr, 0};
}

void PrepareFiberContext(FiberContext* context, void (*entry)(void*), void* argument) {
  assert(context->stack.mapping && "a prepared context needs its own stack");
  uintptr_t top = reinterpret_cast<uintptr_t>(context->stack.base + context->stack.size) & ~uintptr_t{15};
  auto* saved = reinterpret_cast<uint64_t*>(top - 64);
  uint64_t controlWords = uint64_t{_mm_getcsr()} | uint64_t{CurrentX87ControlWord()} << 32;
  const uint64_t words[8] = {
      controlWords,
      0,                                                     /* r15 */
      0,                                                     /* r14 */
      reinterpret_cast<uintptr_t>(argument),                 /* r13 */
      reinterpret_cast<uintptr_t>(entry),                    /* r12 */
      0,                                                     /* rbx */
      0,                                                     /* rbp: ends every frame walk */
      reinterpret_cast<uintptr_t>(&QuendalFiberStart),       /* return address */
  };
  std::memcpy(saved, words, sizeof words);
  context->savedSp = saved;
  context->exceptions = FiberExceptionState{nullptr, 0};
  context->sanitizerBottom = context->stack.base;
  context->sanitizerSize = context->stack.size;
  context->sanitizerFakeStack = nullptr;
}

void SwitchFiber(FiberContext* from, FiberContext* to, bool ending) {
  assert(from != to);
  FiberExceptionState* state = RuntimeExceptionState();
  from->exceptions = *state;
  *state = to->exceptions;
  gSwitchingFrom = from;
#ifdef QUENDAL_FIBER_ASAN
  __sanitizer_start_switch_fiber(ending ? nullptr : &from->sanitizerFakeStack, to->sanitizerBottom,
                                 to->sanitizerSize);
#else
  (void)ending;
#endif
  QuendalFiberSwitch(&from->savedSp, to->savedSp);
  FinishSwitch(from->sanitizerFakeStack);
}

void FiberStarted() { FinishSwitch(nullptr); }

} // namespace quendal
