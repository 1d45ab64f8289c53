/*
** Low memory: anonymous private mappings below 2 GiB.
**
** MAP_32BIT asks the x86-64 Linux kernel for an address in the first
** 2 GiB; the result is still checked, because a kernel or a sanitizer that
** ignores the hint would otherwise hand image code addresses it cannot
** hold in 32 bits.  Sizes are rounded up to whole pages; FreeLowMemory
** takes the size that was asked for and rounds it the same way.
*/
#include "runtime/platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdint>

#include "runtime/platform/errors.h"

namespace quendal::platform {

static constexpr uint64_t kLowMemoryLimit = uint64_t(1) << 31;

/* size rounded up to whole pages; 0 when that overflows. */
static size_t PageRounded(size_t size) {
  size_t page = size_t(sysconf(_SC_PAGESIZE));
  if (size > SIZE_MAX - (page - 1)) return 0;
  return (size + page - 1) / page * page;
}

void* AllocateLowMemory(size_t size, LowMemoryKind kind) {
  if (size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t length = PageRounded(size);
  if (length == 0 || length > kLowMemoryLimit) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  int protection = PROT_READ | PROT_WRITE | (kind == LowMemoryKind::Code ? PROT_EXEC : 0);
  void* block = mmap(nullptr, length, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (block == MAP_FAILED) {
    SetLastError(errno == EPERM || errno == EACCES ? DWORD(ERROR_ACCESS_DENIED)
                                                   : DWORD(ERROR_NOT_ENOUGH_MEMORY));
    return nullptr;
  }
  if (uint64_t(reinterpret_cast<uintptr_t>(block)) + length > kLowMemoryLimit) {
    munmap(block, length);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return block; /* anonymous mappings are zero-filled */
}

void FreeLowMemory(void* block, size_t size) {
  if (block == nullptr) return;
  size_t length = PageRounded(size);
  int rc = munmap(block, length);
  (void)rc;
  assert(rc == 0);
}

} // namespace quendal::platform
