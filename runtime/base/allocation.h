/*
** The runtime's block allocator and its fault seam.
**
** Every block the runtime owns by hand goes through here: string records,
** wide (UTF-16) copies of strings, objects, class records and their
** tables, and the buffers of vectors and arrays.  One counter can make the
** N-th of these allocations fail, so out-of-memory tests walk every
** failure point of an operation in a loop (fail the 1st, the 2nd, ...
** until the operation completes).  Test binaries route the C++ allocations
** of the runtime (std::string, std::vector) through the same counter by
** replacing operator new (tests/support), where a failure is a
** std::bad_alloc.
**
** Contract:
**   - AllocateBlock never throws; it returns null when the system has no
**     memory or when the seam fails the call.  Callers report or raise.
**   - Blocks are freed with FreeBlock (null is ignored).
**   - The seam is one-shot: after the armed allocation has failed, the
**     following ones succeed again.  It is process-wide and unlocked: tests
**     arm it on the thread that runs the operation.
*/
#ifndef QUENDAL_BASE_ALLOCATION_H
#define QUENDAL_BASE_ALLOCATION_H

#include <cstddef>
#include <cstdint>

namespace quendal {

/* A block of bytes (bytes > 0), zero-filled when zeroed is set; null when
** the allocation fails or bytes is 0. */
void* AllocateBlock(size_t bytes, bool zeroed);
void FreeBlock(void* block);

/* Test seam: the n-th allocation from now on (1 = the next one) fails;
** n <= 0 disarms the seam. */
void FailAllocationForTesting(int32_t n);
/* Allocations left before the armed failure (0 when disarmed). */
int32_t AllocationsBeforeFailureForTesting();
/* Counts one allocation against the seam; true when it is the one to fail.
** AllocateBlock calls it; so does the test binaries' operator new. */
bool TakeInjectedAllocationFailure();

} // namespace quendal

#endif
