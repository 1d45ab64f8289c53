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

/* Moves the items to a new buffer of capacity items; false when it cannot
** be had (the core is then unchanged). */
bool MoveToBuffer(SimpleVectorCore* core, size_t itemSize, int64_t capacity) {
  void* block = nullptr;
  if (capacity >= core->count && capacity > 0 &&
      static_cast<uint64_t>(capacity) <= std::numeric_limits<size_t>::max() / itemSize) {
    block = AllocateRuntimeBuffer(static_cast<size_t>(capacity) * itemSize, false);
  }
  if (block == nullptr) return false;
  if (core->count > 0) std::memcpy(block, core->items, static_cast<size_t>(core->count) * itemSize);
  FreeRuntimeBuffer(core->items);
  core->items = block;
  core->capacity = static_cast<int32_t>(capacity);
  return true;
}

/* Grows the capacity by the growth rule, step after step, until it holds
** needed items. */
bool GrowToHold(SimpleVectorCore* core, size_t itemSize, int64_t needed) {
  if (needed <= core->capacity) return true;
  int64_t capacity = core->capacity;
  const int64_t limit = std::numeric_limits<int32_t>::max();
  while (capacity < needed && capacity < limit) {
    int64_t step = core->growthStep != 0 ? core->growthStep : capacity;
    capacity = std::min<int64_t>(capacity + std::max<int64_t>(16, step), limit);
  }
  if (capacity < needed || !MoveToBuffer(core, itemSize, capacity)) {
    QUENDAL_REPORT(kSource, "mBuf", nullptr);
    return false;
  }
  return true;
}

} // namespace

void* AllocateRuntimeBuffer(size_t bytes, bool zeroed) { return AllocateBlock(bytes, zeroed); }

void FreeRuntimeBuffer(void* block) { FreeBlock(block); }

bool SimpleVectorReserveOne(SimpleVectorCore* core, size_t itemSize) {
  return GrowToHold(core, itemSize, int64_t{core->count} + 1);
}

bool SimpleVectorInsertCopies(SimpleVectorCore* core, size_t itemSize, int32_t index, int32_t n, const void* item) {
  if (index < 0 || index > core->count) {
    QUENDAL_REPORT(kSource, "index >= 0 && index <= mCount", nullptr);
    return false;
  }
  if (n <= 0) return true;
  if (!GrowToHold(core, itemSize, int64_t{core->count} + n)) return false;
  auto* items = static_cast<uint8_t*>(core->items);
  std::memmove(items + (size_t(index) + size_t(n)) * itemSize, items + size_t(index) * itemSize,
               size_t(core->count - index) * itemSize);
  for (int32_t i = 0; i < n; i++) std::memcpy(items + (size_t(index) + size_t(i)) * itemSize, item, itemSize);
  core->count += n;
  return true;
}

void SimpleVectorRemoveAt(SimpleVectorCore* core, size_t itemSize, int32_t index) {
  if (!SimpleVectorCheckIndex(core, index)) return;
  auto* items = static_cast<uint8_t*>(core->items);
  std::memmove(items + size_t(index) * itemSize, items + (size_t(index) + 1) * itemSize,
               size_t(core->count - index - 1) * itemSize);
  core->count--;
}

void SimpleVectorShrinkIfSparse(SimpleVectorCore* core, size_t itemSize) {
  int64_t spare = int64_t{core->capacity} - core->count;
  if (core->count >= spare / 2) return;
  int64_t step = core->growthStep > 0 ? core->growthStep : 16;
  int64_t capacity = (core->count / step + 1) * step;
  if (capacity >= core->capacity) return;
  MoveToBuffer(core, itemSize, capacity); /* on failure the larger buffer stays */
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
