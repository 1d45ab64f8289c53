/*
** Array operations: one family of slot implementations per element kind
** and shape, written once as templates over a kind policy.
**
** A kind policy says how an element is stored (Stored), how it travels in
** registers (Value), its size, whether it is a counted reference, and its
** order and equality.  The structure policy stores blocks of the array's
** own element size; its Value is the element's address (Get) or the
** address of the source block (Set, Insert).
**
** Invariants kept by every operation:
**   - data holds at least ElementCount() elements and bufferLength bytes;
**     data is null exactly when bufferLength is 0;
**   - an element count times the element size always fits in an int32;
**   - a reference element owns one reference (String or Object); moving
**     elements between buffers moves the reference, it never counts.
**   - nothing is changed before every allocation an operation needs has
**     succeeded; a failed allocation raises OutOfMemoryException and leaves
**     the array as it was;
**   - references are released only after the array is consistent again
**     (new buffer and bounds installed), because releasing an object may
**     run image code that looks at this very array.  A single release
**     (Set, Remove) may raise from that code and ends the operation; the
**     bulk releases (Destroy, shrinking Redim) drop such raises, so that
**     every element is released and every buffer freed.
**
** Every slot is a service that compiled code calls through the table, so
** each wraps its body in QUENDAL_SERVICE_BEGIN/END: a raise becomes the
** image's dispatch when the caller is image code, and propagates as a C++
** exception when the caller is the runtime.
**
** Sort: iterative quicksort over an explicit stack of (low, high) ranges
** kept in two SimpleVectors.  A range of more than 16 elements is ordered
** at low, mid = (low + high) / 2 and high (median of three: swap low/mid,
** then low/high, then mid/high when out of order), the pivot is the value
** then at mid, and one pass of Dijkstra's three-way partition (lt, i, gt)
** gathers smaller elements at the front and larger ones at the back, equal
** ones between; the two outer ranges go on the stack.  Ranges of 16 or
** fewer elements are finished by insertion sort, which moves an element
** left past every greater one, so equal elements keep their order there.
** The order of equal elements is therefore exactly that of this sequence
** of swaps.
*/
#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <type_traits>

#include "runtime/base/failure_report.h"
#include "runtime/objects/array_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/random.h"
#include "runtime/objects/simple_vector.h"

#define ARRAY_SLOT __attribute__((noinline))

namespace quendal {

namespace {

/* ---- kind policies --------------------------------------------------------- */

template <typename S, typename V>
struct ScalarKind {
  using Array = ArrayObject;
  using Stored = S;
  using Value = V;
  static constexpr bool kReference = false;
  static constexpr bool kOrdered = true;
  static constexpr bool kComparable = true;
  static int32_t Size(const Array*) { return sizeof(S); }
  static Value Load(const Array*, const void* slot) {
    S s;
    std::memcpy(&s, slot, sizeof s);
    return static_cast<V>(s);
  }
  static void Store(const Array*, void* slot, Value v) {
    S s = static_cast<S>(v);
    std::memcpy(slot, &s, sizeof s);
  }
  static void Retain(Value) {}
  static void Release(Value) {}
  static void ReleaseQuietly(Value) {}
  static S ToStored(Value v) { return static_cast<S>(v); }
  static int Compare(S a, S b) { return a < b ? -1 : (b < a ? 1 : 0); }
  static bool Equal(S a, S b) { return a == b; }
};

/* Elements that are one counted pointer each: the slot holds the pointer
** itself, and the array owns one reference per non-null element. */
template <typename P>
struct CountedPointerKind {
  using Array = ArrayObject;
  using Stored = P;
  using Value = P;
  static constexpr bool kReference = true;
  static constexpr bool kComparable = true;
  static int32_t Size(const Array*) { return sizeof(Stored); }
  static Value Load(const Array*, const void* slot) { return *static_cast<const Stored*>(slot); }
  static void Store(const Array*, void* slot, Value v) { *static_cast<Stored*>(slot) = v; }
  static Stored ToStored(Value v) { return v; }
};

struct StringKind : CountedPointerKind<ORVAstring> {
  static constexpr bool kOrdered = true;
  static void Retain(Value v) { RuntimeLockString(v); }
  static void Release(Value v) { RuntimeUnlockString(v); }
  static void ReleaseQuietly(Value v) { RuntimeUnlockString(v); }
  static int Compare(Stored a, Stored b) { return RuntimeStringCompare(a, b); }
  static bool Equal(Stored a, Stored b) { return RuntimeStringCompare(a, b) == 0; }
};

struct ObjectKind : CountedPointerKind<ObjectHeader*> {
  static constexpr bool kOrdered = false;
  static void Retain(Value v) { RuntimeLockObject(v); }
  static void Release(Value v) { RuntimeUnlockObject(v); }
  static void ReleaseQuietly(Value v) { ReleaseObjectQuietly(v); }
  static bool Equal(Stored a, Stored b) { return a == b; }
};

/* Structures: Value is an address.  A source block may lie inside the
** array itself (a structure read with Get and stored again). */
struct StructKind {
  using Array = StructureArrayObject;
  using Stored = void;
  using Value = void*;
  static constexpr bool kReference = false;
  static constexpr bool kOrdered = false;
  static constexpr bool kComparable = false;
  static int32_t Size(const Array* a) { return a->elementSize; }
  static Value Load(const Array*, const void* slot) { return const_cast<void*>(slot); }
  static void Store(const Array* a, void* slot, Value source) {
    if (source != nullptr) {
      std::memmove(slot, source, static_cast<size_t>(a->elementSize));
    } else {
      std::memset(slot, 0, static_cast<size_t>(a->elementSize));
    }
  }
  static void Retain(Value) {}
  static void Release(Value) {}
  static void ReleaseQuietly(Value) {}
};

using Int32Kind = ScalarKind<int32_t, int32_t>;
using SingleKind = ScalarKind<float, float>;
using DoubleKind = ScalarKind<double, double>;
using UInt8Kind = ScalarKind<uint8_t, uint32_t>;
using Int8Kind = ScalarKind<int8_t, int32_t>;
using UInt16Kind = ScalarKind<uint16_t, uint32_t>;
using Int16Kind = ScalarKind<int16_t, int32_t>;
using UInt32Kind = ScalarKind<uint32_t, uint32_t>;
using UInt64Kind = ScalarKind<uint64_t, uint64_t>;
using Int64Kind = ScalarKind<int64_t, int64_t>;

/* ---- counts, sizes and buffers --------------------------------------------- */

constexpr int64_t kMaxBufferBytes = std::numeric_limits<int32_t>::max();

int64_t Extent(int32_t upperBound) { return upperBound < 0 ? 0 : int64_t{upperBound} + 1; }

/* Elements the bounds describe.  Every product fits: the buffer exists. */
template <class A>
int64_t ElementCount(const A* a) {
  int64_t n = 1;
  for (int32_t d = 0; d < a->dimensions; d++) {
    if (Extent(a->upperBounds[d]) == 0) return 0;
  }
  for (int32_t d = 0; d < a->dimensions; d++) n *= Extent(a->upperBounds[d]);
  return n;
}

/* Bytes of a buffer for these bounds (0 when a dimension is empty), or -1
** when that exceeds an int32. */
int64_t BufferBytes(const int32_t* upperBounds, int32_t dimensions, int32_t elementSize) {
  int64_t bytes = elementSize;
  for (int32_t d = 0; d < dimensions; d++) {
    if (Extent(upperBounds[d]) == 0) return 0;
  }
  for (int32_t d = 0; d < dimensions; d++) {
    bytes *= Extent(upperBounds[d]);
    if (bytes > kMaxBufferBytes) return -1;
  }
  return bytes;
}

/* A buffer of bytes (null for 0); raises OutOfMemoryException when the
** size is too large or the allocation fails. */
void* NewElementBuffer(int64_t bytes, bool zeroed) {
  if (bytes == 0) return nullptr;
  if (bytes < 0 || bytes > kMaxBufferBytes) ThrowOutOfMemoryException();
  void* block = AllocateRuntimeBuffer(static_cast<size_t>(bytes), zeroed);
  if (block == nullptr) ThrowOutOfMemoryException();
  return block;
}

template <class K>
uint8_t* SlotAt(typename K::Array* a, int64_t index) {
  return static_cast<uint8_t*>(a->data) + index * K::Size(a);
}

template <class K>
typename K::Value LoadRetained(typename K::Array* a, int64_t index) {
  typename K::Value v = K::Load(a, SlotAt<K>(a, index));
  if constexpr (K::kReference) K::Retain(v);
  return v;
}

/* Lock the new value, store it, then unlock the old one: storing the
** element an array already holds keeps it alive. */
template <class K>
void StoreAssigned(typename K::Array* a, int64_t index, typename K::Value v) {
  void* slot = SlotAt<K>(a, index);
  if constexpr (K::kReference) {
    typename K::Value old = K::Load(a, slot);
    K::Retain(v);
    K::Store(a, slot, v);
    K::Release(old);
  } else {
    K::Store(a, slot, v);
  }
}

/* memcpy that accepts a null pointer when there is nothing to copy. */
void CopyBytes(void* to, const void* from, int64_t bytes) {
  if (bytes > 0) std::memcpy(to, from, static_cast<size_t>(bytes));
}

void SwapBytes(uint8_t* x, uint8_t* y, int32_t size) {
  uint8_t chunk[64];
  while (size > 0) {
    size_t n = std::min<size_t>(sizeof chunk, static_cast<size_t>(size));
    std::memcpy(chunk, x, n);
    std::memcpy(x, y, n);
    std::memcpy(y, chunk, n);
    x += n;
    y += n;
    size -= static_cast<int32_t>(n);
  }
}

/* ---- index checks and offsets ---------------------------------------------- */

template <class A>
void CheckIndex(const A* a, int32_t dimension, int32_t index) {
  if (index < 0 || index > a->upperBounds[dimension]) ThrowOutOfBoundsException();
}

template <class A>
int64_t Offset2(const A* a, int32_t i1, int32_t i2) {
  return i1 + Extent(a->upperBounds[0]) * i2;
}

/* Reads one int32 index per dimension (all of them, always) and gives the
** offset, or -1 when checked and an index is out of range.  It never
** raises, so that the caller can end the va_list first. */
template <class A>
int64_t OffsetFromList(const A* a, bool checked, int32_t first, va_list rest) {
  int64_t offset = 0;
  int64_t stride = 1;
  bool inRange = true;
  for (int32_t d = 0; d < a->dimensions; d++) {
    int32_t index = d == 0 ? first : va_arg(rest, int32_t);
    if (index < 0 || index > a->upperBounds[d]) inRange = false;
    offset += index * stride;
    stride *= Extent(a->upperBounds[d]);
  }
  if (checked && !inRange) return -1;
  assert(inRange && "unchecked array access out of range");
  return offset;
}

/* ---- resizing -------------------------------------------------------------- */

/* Installs a new buffer; returns the old one for the caller to release
** elements from and free. */
template <class A>
void* InstallBuffer(A* a, void* data, int64_t bytes) {
  void* old = a->data;
  a->data = data;
  a->bufferLength = static_cast<int32_t>(bytes);
  a->growth = kArrayInitialGrowth;
  return old;
}

/* One dimension to upper bound u (>= -1): exact new buffer, common prefix
** kept, new tail zero, dropped elements released. */
template <class K>
void Resize1(typename K::Array* a, int32_t u) {
  const int32_t size = K::Size(a);
  const int32_t oldBound = a->upperBounds[0];
  const int64_t oldCount = Extent(oldBound);
  const int64_t newCount = Extent(u);
  const int64_t bytes = newCount * size;
  if (bytes > kMaxBufferBytes) ThrowOutOfMemoryException();
  void* fresh = NewElementBuffer(bytes, false);
  const int64_t kept = std::min(oldCount, newCount);
  CopyBytes(fresh, a->data, kept * size);
  if (newCount > kept) {
    std::memset(static_cast<uint8_t*>(fresh) + kept * size, 0, static_cast<size_t>((newCount - kept) * size));
  }
  uint8_t* old = static_cast<uint8_t*>(InstallBuffer(a, fresh, bytes));
  a->upperBounds[0] = u;
  if constexpr (K::kReference) {
    for (int64_t i = kept; i < oldCount; i++) K::ReleaseQuietly(K::Load(a, old + i * size));
  }
  FreeRuntimeBuffer(old);
}

/* Is the element at linear position k of the old layout inside the new
** bounds?  If so, *newOffset is its position in the new layout. */
bool SurvivesRedim(const int32_t* oldBounds, const int32_t* newBounds, int32_t dimensions, int64_t k,
                   int64_t* newOffset) {
  int64_t offset = 0;
  int64_t stride = 1;
  for (int32_t d = 0; d < dimensions; d++) {
    const int64_t extent = Extent(oldBounds[d]);
    const int64_t index = k % extent;
    k /= extent;
    if (index > newBounds[d]) return false;
    offset += index * stride;
    stride *= Extent(newBounds[d]);
  }
  *newOffset = offset;
  return true;
}

/* Several dimensions: every element whose index tuple lies inside the new
** bounds keeps its indexes; the others are released. */
template <class K>
void RedimMulti(typename K::Array* a, const int32_t* newBounds) {
  const int32_t dims = a->dimensions;
  for (int32_t d = 0; d < dims; d++) {
    if (newBounds[d] < -1) ThrowOutOfBoundsException();
  }
  const int32_t size = K::Size(a);
  const int64_t bytes = BufferBytes(newBounds, dims, size);
  if (bytes < 0) ThrowOutOfMemoryException();
  /* The old bounds outlive their place in the array: the dropped elements
  ** are found with them after the new bounds are installed. */
  SimpleVector<int32_t> oldBounds;
  for (int32_t d = 0; d < dims; d++) {
    if (!oldBounds.Append(a->upperBounds[d])) ThrowOutOfMemoryException();
  }
  uint8_t* fresh = static_cast<uint8_t*>(NewElementBuffer(bytes, true));
  const int64_t oldCount = ElementCount(a);
  uint8_t* old = static_cast<uint8_t*>(a->data);
  int64_t at;
  for (int64_t k = 0; k < oldCount; k++) {
    if (SurvivesRedim(oldBounds.Items(), newBounds, dims, k, &at)) {
      std::memcpy(fresh + at * size, old + k * size, static_cast<size_t>(size));
    }
  }
  InstallBuffer(a, fresh, bytes);
  std::memcpy(a->upperBounds, newBounds, static_cast<size_t>(dims) * sizeof(int32_t));
  if constexpr (K::kReference) {
    for (int64_t k = 0; k < oldCount; k++) {
      if (!SurvivesRedim(oldBounds.Items(), newBounds, dims, k, &at)) K::ReleaseQuietly(K::Load(a, old + k * size));
    }
  }
  FreeRuntimeBuffer(old);
}

/* ---- sorting --------------------------------------------------------------- */

/* Sorts items[0 .. count-1] with the algorithm in the header comment.
** onSwap(i, j) is told of every exchange (SortWith carries a permutation
** along).  False when the range stack cannot grow; the items are then a
** permutation of what they were. */
template <typename S, typename Compare, typename OnSwap>
bool QuickSort(S* items, int32_t count, Compare compare, OnSwap onSwap) {
  auto swap = [&](int32_t i, int32_t j) {
    std::swap(items[i], items[j]);
    onSwap(i, j);
  };
  SimpleVector<int32_t> lows;
  SimpleVector<int32_t> highs;
  if (count < 2) return true;
  if (!lows.Append(0) || !highs.Append(count - 1)) return false;
  while (!lows.Empty()) {
    const int32_t low = lows.Pop();
    const int32_t high = highs.Pop();
    if (high - low + 1 > kArrayInsertionSortSpan) {
      const int32_t mid = low + (high - low) / 2;
      if (compare(items[low], items[mid]) > 0) swap(low, mid);
      if (compare(items[low], items[high]) > 0) swap(low, high);
      if (compare(items[mid], items[high]) > 0) swap(mid, high);
      const S pivot = items[mid];
      int32_t lt = low;
      int32_t i = low;
      int32_t gt = high;
      while (i <= gt) {
        int c = compare(items[i], pivot);
        if (c < 0) {
          swap(lt++, i++);
        } else if (c > 0) {
          swap(i, gt--);
        } else {
          i++;
        }
      }
      if (lt - 1 > low && (!lows.Append(low) || !highs.Append(lt - 1))) return false;
      if (high > gt + 1 && (!lows.Append(gt + 1) || !highs.Append(high))) return false;
    } else {
      for (int32_t i = low + 1; i <= high; i++) {
        for (int32_t j = i; j > low && compare(items[j - 1], items[j]) > 0; j--) swap(j - 1, j);
      }
    }
  }
  return true;
}

/* ---- the slots ------------------------------------------------------------- */

template <class K>
using ArrayOf = typename K::Array;
template <class K>
using ValueOf = typename K::Value;

template <class K>
ARRAY_SLOT ValueOf<K> Get1(ArrayOf<K>* a, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  CheckIndex(a, 0, index);
  return LoadRetained<K>(a, index);
  QUENDAL_SERVICE_END(ValueOf<K>{})
}

template <class K>
ARRAY_SLOT void Set1(ArrayOf<K>* a, ValueOf<K> value, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  CheckIndex(a, 0, index);
  StoreAssigned<K>(a, index, value);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ValueOf<K> GetUnchecked1(ArrayOf<K>* a, int32_t index) {
  assert(index >= 0 && index <= a->upperBounds[0]);
  return LoadRetained<K>(a, index);
}

template <class K>
void SetUnchecked1(ArrayOf<K>* a, ValueOf<K> value, int32_t index) {
  assert(index >= 0 && index <= a->upperBounds[0]);
  StoreAssigned<K>(a, index, value);
}

template <class K>
ARRAY_SLOT ValueOf<K> Get2(ArrayOf<K>* a, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  CheckIndex(a, 0, i1);
  CheckIndex(a, 1, i2);
  return LoadRetained<K>(a, Offset2(a, i1, i2));
  QUENDAL_SERVICE_END(ValueOf<K>{})
}

template <class K>
ARRAY_SLOT void Set2(ArrayOf<K>* a, ValueOf<K> value, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  CheckIndex(a, 0, i1);
  CheckIndex(a, 1, i2);
  StoreAssigned<K>(a, Offset2(a, i1, i2), value);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ValueOf<K> GetUnchecked2(ArrayOf<K>* a, int32_t i1, int32_t i2) {
  assert(i1 >= 0 && i1 <= a->upperBounds[0] && i2 >= 0 && i2 <= a->upperBounds[1]);
  return LoadRetained<K>(a, Offset2(a, i1, i2));
}

template <class K>
void SetUnchecked2(ArrayOf<K>* a, ValueOf<K> value, int32_t i1, int32_t i2) {
  assert(i1 >= 0 && i1 <= a->upperBounds[0] && i2 >= 0 && i2 <= a->upperBounds[1]);
  StoreAssigned<K>(a, Offset2(a, i1, i2), value);
}

/* n dimensions: the first index is a named int32 parameter, the others
** follow as variadic int32 arguments (the same registers and stack slots
** as a plain variadic call). */
template <class K>
ARRAY_SLOT ValueOf<K> GetN(ArrayOf<K>* a, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  va_list rest;
  va_start(rest, first);
  int64_t offset = OffsetFromList(a, true, first, rest);
  va_end(rest);
  if (offset < 0) ThrowOutOfBoundsException();
  return LoadRetained<K>(a, offset);
  QUENDAL_SERVICE_END(ValueOf<K>{})
}

template <class K>
ARRAY_SLOT void SetN(ArrayOf<K>* a, ValueOf<K> value, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  va_list rest;
  va_start(rest, first);
  int64_t offset = OffsetFromList(a, true, first, rest);
  va_end(rest);
  if (offset < 0) ThrowOutOfBoundsException();
  StoreAssigned<K>(a, offset, value);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ValueOf<K> GetUncheckedN(ArrayOf<K>* a, int32_t first, ...) {
  va_list rest;
  va_start(rest, first);
  int64_t offset = OffsetFromList(a, false, first, rest);
  va_end(rest);
  return LoadRetained<K>(a, offset);
}

template <class K>
void SetUncheckedN(ArrayOf<K>* a, ValueOf<K> value, int32_t first, ...) {
  va_list rest;
  va_start(rest, first);
  int64_t offset = OffsetFromList(a, false, first, rest);
  va_end(rest);
  StoreAssigned<K>(a, offset, value);
}

template <class K>
ARRAY_SLOT void Redim1(ArrayOf<K>* a, int32_t upperBound) {
  QUENDAL_SERVICE_BEGIN
  if (a->dimensions != 1) {
    QUENDAL_REPORT(kArraySource, "1 == array->dimensions", nullptr);
    return;
  }
  if (upperBound == a->upperBounds[0]) return;
  if (upperBound < -1) ThrowOutOfBoundsException();
  Resize1<K>(a, upperBound);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ARRAY_SLOT void Redim2(ArrayOf<K>* a, int32_t ub1, int32_t ub2) {
  QUENDAL_SERVICE_BEGIN
  const int32_t bounds[2] = {ub1, ub2};
  RedimMulti<K>(a, bounds);
  QUENDAL_SERVICE_END_VOID
}

/* Reads the remaining dimensions-1 bounds after first (all of them,
** always); false when the vector could not hold them. */
bool CollectBounds(int32_t dimensions, int32_t first, va_list rest, SimpleVector<int32_t>* bounds) {
  bool complete = bounds->Append(first);
  for (int32_t d = 1; d < dimensions; d++) {
    int32_t bound = va_arg(rest, int32_t);
    if (complete) complete = bounds->Append(bound);
  }
  return complete;
}

template <class K>
ARRAY_SLOT void RedimN(ArrayOf<K>* a, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  SimpleVector<int32_t> bounds;
  va_list rest;
  va_start(rest, first);
  bool complete = CollectBounds(a->dimensions, first, rest, &bounds);
  va_end(rest);
  if (!complete) ThrowOutOfMemoryException();
  RedimMulti<K>(a, bounds.Items());
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ARRAY_SLOT void Insert1(ArrayOf<K>* a, int32_t index, ValueOf<K> value) {
  QUENDAL_SERVICE_BEGIN
  if (a == nullptr) ThrowNilObjectException();
  const int32_t ub = a->upperBounds[0];
  if (index < 0 || index > int64_t{ub} + 1) ThrowOutOfBoundsException();
  const int32_t size = K::Size(a);
  const int64_t count = Extent(ub);
  const int64_t minimum = (count + 1) * size;
  if (minimum > kMaxBufferBytes) ThrowOutOfMemoryException();
  uint8_t* data = static_cast<uint8_t*>(a->data);
  if (a->bufferLength < minimum) {
    int64_t length = int64_t{a->bufferLength} + int64_t{a->growth} * size;
    if (length < minimum) {
      QUENDAL_REPORT(kArraySource, "array->bufferLength >= minimumBufferSize", nullptr);
      length = minimum;
    }
    if (length > kMaxBufferBytes) length = minimum;
    uint8_t* fresh = static_cast<uint8_t*>(NewElementBuffer(length, true));
    CopyBytes(fresh, data, int64_t{index} * size);
    CopyBytes(fresh + (int64_t{index} + 1) * size, data + int64_t{index} * size, (count - index) * size);
    a->data = fresh;
    a->bufferLength = static_cast<int32_t>(length);
    if (a->growth < kArrayMaxGrowth) a->growth *= 2;
    a->upperBounds[0] = ub + 1;
    /* The value may be an element of the old buffer (a structure read with
    ** Get): store it before that buffer goes. */
    K::Store(a, fresh + int64_t{index} * size, value);
    FreeRuntimeBuffer(data);
  } else {
    uint8_t* gap = data + int64_t{index} * size;
    if constexpr (std::is_pointer_v<ValueOf<K>> && !K::kReference) {
      /* A source block in the moving tail moves with it. */
      uint8_t* source = static_cast<uint8_t*>(value);
      if (source >= gap && source < data + count * size) value = source + size;
    }
    if (count > index) std::memmove(gap + size, gap, static_cast<size_t>((count - index) * size));
    a->upperBounds[0] = ub + 1;
    K::Store(a, gap, value);
  }
  if constexpr (K::kReference) K::Retain(value);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ARRAY_SLOT void Remove1(ArrayOf<K>* a, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  if (a == nullptr) ThrowOutOfBoundsException();
  const int32_t ub = a->upperBounds[0];
  if (index < 0 || index > ub) ThrowOutOfBoundsException();
  const int32_t size = K::Size(a);
  const int64_t bytes = int64_t{ub} * size;
  uint8_t* fresh = static_cast<uint8_t*>(NewElementBuffer(bytes, false));
  uint8_t* old = static_cast<uint8_t*>(a->data);
  CopyBytes(fresh, old, int64_t{index} * size);
  CopyBytes(fresh + int64_t{index} * size, old + (int64_t{index} + 1) * size, (int64_t{ub} - index) * size);
  const ValueOf<K> removed = K::Load(a, old + int64_t{index} * size);
  InstallBuffer(a, fresh, bytes);
  a->upperBounds[0] = ub - 1;
  FreeRuntimeBuffer(old);
  if constexpr (K::kReference) K::Release(removed);
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ARRAY_SLOT int32_t IndexOf1(ArrayOf<K>* a, ValueOf<K> value, int32_t start) {
  QUENDAL_SERVICE_BEGIN
  if (a == nullptr || a->data == nullptr || a->upperBounds[0] < 0) return -1;
  const int32_t ub = a->upperBounds[0];
  if (start < -1 || start > ub) ThrowOutOfBoundsException();
  const auto wanted = K::ToStored(value);
  const auto* items = static_cast<const typename K::Stored*>(a->data);
  for (int32_t i = std::max(start, 0); i <= ub; i++) {
    if (K::Equal(items[i], wanted)) return i;
  }
  return -1;
  QUENDAL_SERVICE_END(-1)
}

template <class K>
ARRAY_SLOT void Sort1(ArrayOf<K>* a) {
  QUENDAL_SERVICE_BEGIN
  if (a == nullptr || a->data == nullptr || a->upperBounds[0] < 0) return;
  auto* items = static_cast<typename K::Stored*>(a->data);
  if (!QuickSort(items, a->upperBounds[0] + 1, K::Compare, [](int32_t, int32_t) {})) {
    ThrowOutOfMemoryException();
  }
  QUENDAL_SERVICE_END_VOID
}

/* Collects the arrays of a SortWith call (up to the null), wrappers
** resolved, each array once and never this one; false when the vector could
** not hold them (all arguments still consumed). */
bool CollectCompanions(ArrayObject* self, va_list list, SimpleVector<ArrayObject*>* companions) {
  bool complete = true;
  while (ArrayObject* other = va_arg(list, ArrayObject*)) {
    if (!complete) continue;
    ArrayObject* real = UnwrapArray(other);
    bool seen = real == self;
    for (int32_t i = 0; i < companions->Count() && !seen; i++) seen = companions->Get(i) == real;
    if (!seen) complete = companions->Append(real);
  }
  return complete;
}

/* Buffers SortWith needs, all taken before anything moves. */
struct SortWithScratch {
  void* keys = nullptr;
  int32_t* permutation = nullptr;
  uint8_t* companion = nullptr;
  ~SortWithScratch() {
    FreeRuntimeBuffer(keys);
    FreeRuntimeBuffer(permutation);
    FreeRuntimeBuffer(companion);
  }
};

template <class K>
ARRAY_SLOT void SortWith1(ArrayObject* a, ...) {
  QUENDAL_SERVICE_BEGIN
  using S = typename K::Stored;
  SimpleVector<ArrayObject*> companions;
  va_list list;
  va_start(list, a);
  bool complete = CollectCompanions(a, list, &companions);
  va_end(list);
  if (!complete) ThrowOutOfMemoryException();

  const int32_t ub = a->upperBounds[0];
  int32_t widest = 0;
  for (int32_t c = 0; c < companions.Count(); c++) {
    ArrayShape shape = ShapeOfArray(companions.Get(c));
    if (shape.dimensions != 1 || shape.upperBound != ub) ThrowOutOfBoundsException();
    widest = std::max(widest, shape.elementSize);
  }
  if (a->data == nullptr || ub < 1) return;

  const int32_t n = ub + 1;
  SortWithScratch scratch;
  scratch.keys = NewElementBuffer(int64_t{n} * int64_t{sizeof(S)}, false);
  scratch.permutation = static_cast<int32_t*>(NewElementBuffer(int64_t{n} * int64_t{sizeof(int32_t)}, false));
  if (widest > 0) scratch.companion = static_cast<uint8_t*>(NewElementBuffer(int64_t{n} * widest, false));

  S* keys = static_cast<S*>(scratch.keys);
  int32_t* permutation = scratch.permutation;
  std::memcpy(keys, a->data, static_cast<size_t>(n) * sizeof(S));
  for (int32_t i = 0; i < n; i++) permutation[i] = i;
  if (!QuickSort(keys, n, K::Compare, [permutation](int32_t i, int32_t j) { std::swap(permutation[i], permutation[j]); })) {
    ThrowOutOfMemoryException();
  }

  /* Nothing has moved so far; from here on nothing can fail. */
  std::memcpy(a->data, keys, static_cast<size_t>(n) * sizeof(S));
  for (int32_t c = 0; c < companions.Count(); c++) {
    ArrayObject* other = companions.Get(c);
    const int32_t size = ShapeOfArray(other).elementSize;
    uint8_t* data = static_cast<uint8_t*>(other->data);
    for (int32_t i = 0; i < n; i++) {
      std::memcpy(scratch.companion + int64_t{i} * size, data + int64_t{permutation[i]} * size,
                  static_cast<size_t>(size));
    }
    std::memcpy(data, scratch.companion, static_cast<size_t>(n) * size);
  }
  QUENDAL_SERVICE_END_VOID
}

template <class K>
ARRAY_SLOT void Shuffle1(ArrayOf<K>* a) {
  QUENDAL_SERVICE_BEGIN
  if (a == nullptr || a->data == nullptr || a->upperBounds[0] < 1) return;
  const int32_t size = K::Size(a);
  uint8_t* data = static_cast<uint8_t*>(a->data);
  for (int32_t j = a->upperBounds[0]; j >= 1; j--) {
    int32_t k = static_cast<int32_t>(RuntimeRandomValue() * (j + 1));
    k = std::min(k, j);
    if (k != j) SwapBytes(data + int64_t{j} * size, data + int64_t{k} * size, size);
  }
  QUENDAL_SERVICE_END_VOID
}

/* UBound, Destroy and ElementSize take ArrayObject* in every family (the
** cast wrappers' too), so native code calls them without knowing it. */
template <class K>
ARRAY_SLOT int32_t UBound(ArrayObject* array, int32_t dimension) {
  QUENDAL_SERVICE_BEGIN
  auto* a = reinterpret_cast<ArrayOf<K>*>(array);
  if (dimension == -1) return a->dimensions;
  if (dimension < 1 || dimension > a->dimensions) ThrowOutOfBoundsException();
  return a->upperBounds[dimension - 1];
  QUENDAL_SERVICE_END(-1)
}

template <class K>
void LockElement(ArrayOf<K>*, ValueOf<K> element) {
  K::Retain(element);
}

template <class K>
void UnlockElement(ArrayOf<K>*, ValueOf<K> element) {
  K::Release(element);
}

template <class K>
void Destroy(ArrayObject* array) {
  auto* a = reinterpret_cast<ArrayOf<K>*>(array);
  if (a->data == nullptr) return;
  const int64_t count = ElementCount(a);
  uint8_t* data = static_cast<uint8_t*>(a->data);
  a->data = nullptr;
  a->bufferLength = 0;
  for (int32_t d = 0; d < a->dimensions; d++) a->upperBounds[d] = -1;
  if constexpr (K::kReference) {
    for (int64_t i = 0; i < count; i++) K::ReleaseQuietly(K::Load(a, data + i * K::Size(a)));
  }
  FreeRuntimeBuffer(data);
}

template <class K>
int32_t ElementSize(ArrayObject* array) {
  return K::Size(reinterpret_cast<ArrayOf<K>*>(array));
}

/* ---- tables ---------------------------------------------------------------- */

template <typename F>
void* Entry(F* function) {
  return reinterpret_cast<void*>(function);
}

enum Shape { kOneDim = 0, kTwoDims = 1, kManyDims = 2, kShapeCount = 3 };

template <class K>
void FillTables(ArrayOps tables[kShapeCount]) {
  ArrayOps& one = tables[kOneDim];
  one.slots[kArrayGet] = Entry(&Get1<K>);
  one.slots[kArraySet] = Entry(&Set1<K>);
  one.slots[kArrayGetUnchecked] = Entry(&GetUnchecked1<K>);
  one.slots[kArraySetUnchecked] = Entry(&SetUnchecked1<K>);
  one.slots[kArrayRedim] = Entry(&Redim1<K>);
  one.slots[kArrayInsert] = Entry(&Insert1<K>);
  one.slots[kArrayRemove] = Entry(&Remove1<K>);
  if constexpr (K::kOrdered) {
    one.slots[kArraySort] = Entry(&Sort1<K>);
    one.slots[kArraySortWith] = Entry(&SortWith1<K>);
  }
  if constexpr (K::kComparable) one.slots[kArrayIndexOf] = Entry(&IndexOf1<K>);
  one.slots[kArrayShuffle] = Entry(&Shuffle1<K>);

  ArrayOps& two = tables[kTwoDims];
  two.slots[kArrayGet] = Entry(&Get2<K>);
  two.slots[kArraySet] = Entry(&Set2<K>);
  two.slots[kArrayGetUnchecked] = Entry(&GetUnchecked2<K>);
  two.slots[kArraySetUnchecked] = Entry(&SetUnchecked2<K>);
  two.slots[kArrayRedim] = Entry(&Redim2<K>);

  ArrayOps& many = tables[kManyDims];
  many.slots[kArrayGet] = Entry(&GetN<K>);
  many.slots[kArraySet] = Entry(&SetN<K>);
  many.slots[kArrayGetUnchecked] = Entry(&GetUncheckedN<K>);
  many.slots[kArraySetUnchecked] = Entry(&SetUncheckedN<K>);
  many.slots[kArrayRedim] = Entry(&RedimN<K>);

  for (int shape = 0; shape < kShapeCount; shape++) {
    ArrayOps& t = tables[shape];
    t.slots[kArrayUBound] = Entry(&UBound<K>);
    if constexpr (K::kReference) {
      t.slots[kArrayLockElement] = Entry(&LockElement<K>);
      t.slots[kArrayUnlockElement] = Entry(&UnlockElement<K>);
    }
    t.slots[kArrayDestroy] = Entry(&Destroy<K>);
    t.slots[kArrayElementSize] = Entry(&ElementSize<K>);
  }
}

constexpr int32_t kKindCount = 12;

struct AllTables {
  ArrayOps element[kKindCount][kShapeCount] = {};
  ArrayOps structure[kShapeCount] = {};

  AllTables() {
    FillTables<Int32Kind>(element[kArrayInt32]);
    FillTables<SingleKind>(element[kArraySingle]);
    FillTables<DoubleKind>(element[kArrayDouble]);
    FillTables<StringKind>(element[kArrayString]);
    FillTables<ObjectKind>(element[kArrayObject]);
    FillTables<UInt8Kind>(element[kArrayUInt8]);
    FillTables<Int8Kind>(element[kArrayInt8]);
    FillTables<UInt16Kind>(element[kArrayUInt16]);
    FillTables<Int16Kind>(element[kArrayInt16]);
    FillTables<UInt32Kind>(element[kArrayUInt32]);
    FillTables<UInt64Kind>(element[kArrayUInt64]);
    FillTables<Int64Kind>(element[kArrayInt64]);
    FillTables<StructKind>(structure);
  }
};

const AllTables& Tables() {
  static const AllTables tables;
  return tables;
}

int ShapeOf(int32_t dimensions) {
  return dimensions <= 1 ? kOneDim : dimensions == 2 ? kTwoDims : kManyDims;
}

constexpr int32_t kElementSizes[kKindCount] = {4, 4, 8, sizeof(ORVAstring), sizeof(ObjectHeader*), 1, 1, 2, 2, 4, 8, 8};

} // namespace

const ArrayOps* ElementArrayTable(int32_t kind, int32_t dimensions) {
  if (kind < 0 || kind >= kKindCount) return nullptr;
  return &Tables().element[kind][ShapeOf(dimensions)];
}

int32_t ElementKindSize(int32_t kind) {
  assert(kind >= 0 && kind < kKindCount);
  return kElementSizes[kind];
}

const ArrayOps* StructureArrayTable(int32_t dimensions) { return &Tables().structure[ShapeOf(dimensions)]; }

int32_t ElementTableKind(const ArrayOps* ops) {
  for (int32_t kind = 0; kind < kKindCount; kind++) {
    for (int shape = 0; shape < kShapeCount; shape++) {
      if (ops == &Tables().element[kind][shape]) return kind;
    }
  }
  return -1;
}

ArrayFamily ArrayTableFamily(const ArrayOps* ops) {
  if (ElementTableKind(ops) >= 0) return ArrayFamily::Element;
  for (int shape = 0; shape < kShapeCount; shape++) {
    if (ops == &Tables().structure[shape]) return ArrayFamily::Structure;
    if (ops == CastWrapperTable(shape + 1)) return ArrayFamily::CastWrapper;
  }
  return ArrayFamily::Unknown;
}

ArrayShape ShapeOfArray(ArrayObject* array) {
  switch (ArrayTableFamily(array->ops)) {
    case ArrayFamily::Element:
      return {array->dimensions, array->upperBounds[0], kElementSizes[ElementTableKind(array->ops)]};
    case ArrayFamily::Structure: {
      auto* s = reinterpret_cast<StructureArrayObject*>(array);
      return {s->dimensions, s->upperBounds[0], s->elementSize};
    }
    case ArrayFamily::CastWrapper:
    case ArrayFamily::Unknown:
      break;
  }
  return {0, -1, 0};
}

int64_t ArrayOffsetV(const ArrayObject* array, bool checked, int32_t first, va_list rest) {
  return OffsetFromList(array, checked, first, rest);
}

bool CollectUpperBoundsV(int32_t dimensions, int32_t first, va_list rest, SimpleVector<int32_t>* bounds) {
  return CollectBounds(dimensions, first, rest, bounds);
}

ObjectHeader* ObjectArrayGetAt(ArrayObject* array, int64_t offset) {
  return LoadRetained<ObjectKind>(array, offset);
}

void ObjectArraySetAt(ArrayObject* array, int64_t offset, ObjectHeader* value) {
  StoreAssigned<ObjectKind>(array, offset, value);
}

void ObjectArrayRedim(ArrayObject* array, const int32_t* upperBounds) {
  RedimMulti<ObjectKind>(array, upperBounds);
}

int64_t ElementArrayBufferBytes(const int32_t* upperBounds, int32_t dimensions, int32_t elementSize) {
  return BufferBytes(upperBounds, dimensions, elementSize);
}

} // namespace quendal
