/*
** SimpleVector core: growth, bounds reports and the buffer allocator that
** vectors and array element buffers share.
**
** Growth never overflows: a capacity that would not fit in an int32, or a
** byte size that would not fit in size_t, is treated like a failed
** allocation.  The buffer is replaced only after the new block exists, so a
** failure leaves items, count and capacity as they were.
*/
#include "runtime/objects/simple_vector.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "runtime/base/allocation.h"
#include "runtime/base/failure_report.h"

namespace quendal {

namespace {

const char kSource[] = "SimpleVector";

} // namespace

void* AllocateRuntimeBuffer(size_t bytes, bool zeroed) { return AllocateBlock(bytes, zeroed); }

void FreeRuntimeBuffer(void* block) { FreeBlock(block); }

bool SimpleVectorReserveOne(SimpleVectorCore* core, size_t itemSize) {
  if (core->count < core->capacity) return true;
  int64_t step = core->growthStep != 0 ? core->growthStep : core->capacity;
  int64_t newCapacity = int64_t{core->capacity} + std::max<int64_t>(16, step);
  newCapacity = std::min<int64_t>(newCapacity, std::numeric_limits<int32_t>::max());
  void* block = nullptr;
  if (newCapacity > core->count &&
      static_cast<uint64_t>(newCapacity) <= std::numeric_limits<size_t>::max() / itemSize) {
    block = AllocateRuntimeBuffer(static_cast<size_t>(newCapacity) * itemSize, false);
  }
  if (block == nullptr) {
    QUENDAL_REPORT(kSource, "mBuf", nullptr);
    return false;
  }
  if (core->count > 0) std::memcpy(block, core->items, static_cast<size_t>(core->count) * itemSize);
  FreeRuntimeBuffer(core->items);
  core->items = block;
  core->capacity = static_cast<int32_t>(newCapacity);
  return true;
}

bool SimpleVectorCheckIndex(const SimpleVectorCore* core, int32_t index) {
  if (index >= 0 && index < core->count) return true;
  QUENDAL_REPORT(kSource, "index >= 0 && index < mCount", nullptr);
  return false;
}

bool SimpleVectorCheckPop(const SimpleVectorCore* core) {
  if (core->count > 0) return true;
  QUENDAL_REPORT(kSource, "mCount > 0", nullptr);
  return false;
}

void SimpleVectorFree(SimpleVectorCore* core) {
  FreeRuntimeBuffer(core->items);
  core->items = nullptr;
  core->count = 0;
  core->capacity = 0;
}

} // namespace quendal
