/*
** SimpleVector: the runtime's growable vector of plain items.
**
** Fields (in this order): growth step (0 = grow by the current capacity),
** items, count, capacity.  When an append finds count >= capacity the
** capacity grows by max(16, step), or by max(16, capacity) when the step is
** 0; the items move to a new block and the old block is freed.
**
** Faults are failure reports with source "SimpleVector", and the vector is
** never touched beyond its buffer:
**   - reading or writing an index outside 0 .. count-1: reported; a read
**     gives a zero item, a write is dropped;
**   - popping an empty vector: reported; gives a zero item;
**   - a failed allocation of the buffer ("mBuf"): reported; the append
**     returns false and the vector is left exactly as it was.  Callers that
**     may raise turn that false into OutOfMemoryException.
**
** Removal and shrinking: RemoveAt closes the gap; ShrinkIfSparse gives
** memory back when the count falls below half of the free capacity
** (capacity - count): the capacity becomes the next multiple of the
** growth step (16 when the step is 0) above the count.  A shrink that
** cannot allocate keeps the larger buffer (nothing is lost).
**
** Items must be trivially copyable: they are moved with memcpy and never
** destroyed.  Owners of references held in a vector release them
** themselves.
**
** Element buffers of arrays come from the same two allocation functions as
** vector buffers; both go through the runtime's block allocator, whose
** seam (runtime/base/allocation.h) can make the N-th allocation fail.
*/
#ifndef QUENDAL_OBJECTS_SIMPLE_VECTOR_H
#define QUENDAL_OBJECTS_SIMPLE_VECTOR_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quendal {

/* ---- buffer allocation (through the block allocator) ---------------------- */

/* A block of bytes (bytes > 0), zero-filled when zeroed is set; null when
** the allocation fails.  Free with FreeRuntimeBuffer (null is ignored). */
void* AllocateRuntimeBuffer(size_t bytes, bool zeroed);
void FreeRuntimeBuffer(void* block);

/* ---- the untyped core ------------------------------------------------------ */

struct SimpleVectorCore {
  int32_t growthStep;
  void* items;
  int32_t count;
  int32_t capacity;
};

/* Makes room for one more item of itemSize bytes.  False (after the "mBuf"
** report) when the buffer cannot grow; the core is then unchanged. */
bool SimpleVectorReserveOne(SimpleVectorCore* core, size_t itemSize);
/* Inserts n copies of item (itemSize bytes) at index, 0 <= index <= count,
** moving the items from index up.  The capacity grows by the growth rule,
** step after step, until they fit.  False when the buffer cannot grow (the
** "mBuf" report) or index is outside 0..count (the index report); the core
** is then unchanged. */
bool SimpleVectorInsertCopies(SimpleVectorCore* core, size_t itemSize, int32_t index, int32_t n, const void* item);
/* Removes the item at index (0 <= index < count, else reported), moving the
** later items down. */
void SimpleVectorRemoveAt(SimpleVectorCore* core, size_t itemSize, int32_t index);
/* The shrink rule above. */
void SimpleVectorShrinkIfSparse(SimpleVectorCore* core, size_t itemSize);
/* True when 0 <= index < count; otherwise reports and gives false. */
bool SimpleVectorCheckIndex(const SimpleVectorCore* core, int32_t index);
/* True when count > 0; otherwise reports the empty pop and gives false. */
bool SimpleVectorCheckPop(const SimpleVectorCore* core);
void SimpleVectorFree(SimpleVectorCore* core);

/* ---- the typed vector ------------------------------------------------------ */

template <typename T>
class SimpleVector {
  static_assert(std::is_trivially_copyable_v<T>, "SimpleVector items are moved with memcpy");

 public:
  explicit SimpleVector(int32_t growthStep = 0) : core_{growthStep, nullptr, 0, 0} {}
  ~SimpleVector() { SimpleVectorFree(&core_); }
  SimpleVector(const SimpleVector&) = delete;
  SimpleVector& operator=(const SimpleVector&) = delete;

  int32_t Count() const { return core_.count; }
  int32_t Capacity() const { return core_.capacity; }
  int32_t GrowthStep() const { return core_.growthStep; }
  bool Empty() const { return core_.count == 0; }
  T* Items() { return static_cast<T*>(core_.items); }
  const T* Items() const { return static_cast<const T*>(core_.items); }

  /* Appends value; false (vector unchanged) when the buffer cannot grow. */
  [[nodiscard]] bool Append(T value) {
    if (!SimpleVectorReserveOne(&core_, sizeof(T))) return false;
    std::memcpy(Items() + core_.count, &value, sizeof(T));
    core_.count++;
    return true;
  }

  T Get(int32_t index) const {
    if (!SimpleVectorCheckIndex(&core_, index)) return T{};
    return Items()[index];
  }

  void Set(int32_t index, T value) {
    if (!SimpleVectorCheckIndex(&core_, index)) return;
    Items()[index] = value;
  }

  /* Removes and returns the last item. */
  T Pop() {
    if (!SimpleVectorCheckPop(&core_)) return T{};
    core_.count--;
    return Items()[core_.count];
  }

  /* Inserts n copies of value at index; false (vector unchanged) when the
  ** buffer cannot grow or the index is outside 0..count. */
  [[nodiscard]] bool InsertCopies(int32_t index, int32_t n, T value) {
    return SimpleVectorInsertCopies(&core_, sizeof(T), index, n, &value);
  }

  void RemoveAt(int32_t index) { SimpleVectorRemoveAt(&core_, sizeof(T), index); }

  /* Removes the last `limit` items (or all, when fewer) for which
  ** drop(item) is true, keeping the order of the others; returns how many
  ** went.  One pass, whatever the count. */
  template <typename Drop>
  int32_t RemoveLastMatching(int32_t limit, Drop drop) {
    int32_t matching = 0;
    for (int32_t i = 0; i < core_.count; i++) matching += drop(Items()[i]) ? 1 : 0;
    int32_t keep = matching > limit ? matching - limit : 0;
    int32_t kept = 0;
    int32_t out = 0;
    for (int32_t i = 0; i < core_.count; i++) {
      T item = Items()[i];
      if (drop(item) && kept++ >= keep) continue;
      Items()[out++] = item;
    }
    int32_t removed = core_.count - out;
    core_.count = out;
    return removed;
  }

  void ShrinkIfSparse() { SimpleVectorShrinkIfSparse(&core_, sizeof(T)); }

  /* Forgets every item; the buffer is kept for reuse. */
  void Clear() { core_.count = 0; }

 private:
  SimpleVectorCore core_;
};

} // namespace quendal

#endif
