/*
** Memory for app images.  Image code holds 32-bit absolute addresses, so
** the code and data segments, and the call thunks beside them, lie below
** 2 GiB.  Blocks are zero-filled and live until FreeLowMemory (the loader
** never frees them).
*/
#ifndef QUENDAL_PLATFORM_MEMORY_H
#define QUENDAL_PLATFORM_MEMORY_H

#include <cstddef>

namespace quendal::platform {

enum class LowMemoryKind { Data, Code /* readable, writable and executable */ };

/* A zeroed block of at least size bytes below 2 GiB, or null (last error set). */
void* AllocateLowMemory(size_t size, LowMemoryKind kind);
void FreeLowMemory(void* block, size_t size);

} // namespace quendal::platform

#endif
