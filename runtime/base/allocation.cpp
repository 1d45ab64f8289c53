/*
** The block allocator and its fault seam.  See allocation.h.
*/
#include "runtime/base/allocation.h"

#include <cstdlib>

namespace quendal {

namespace {

/* Allocations left before the one that fails; 0 = off. */
int32_t gAllocationsBeforeFailure = 0;

} // namespace

bool TakeInjectedAllocationFailure() {
  if (gAllocationsBeforeFailure <= 0) return false;
  return --gAllocationsBeforeFailure == 0;
}

void* AllocateBlock(size_t bytes, bool zeroed) {
  if (bytes == 0) return nullptr;
  if (TakeInjectedAllocationFailure()) return nullptr;
  return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
}

void FreeBlock(void* block) { std::free(block); }

void FailAllocationForTesting(int32_t n) { gAllocationsBeforeFailure = n > 0 ? n : 0; }

int32_t AllocationsBeforeFailureForTesting() { return gAllocationsBeforeFailure; }

} // namespace quendal
