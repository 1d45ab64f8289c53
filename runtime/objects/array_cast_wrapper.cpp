/*
** The array cast wrapper: an Object array seen as an array of a narrower
** class.
**
** A wrapper is an object of the array class (in the census, counted like
** any array) whose table forwards every operation to the wrapped Object
** array.  The storing operations (Set, SetUnchecked, Insert) first test a
** non-nil value against the element class and raise IllegalCastException
** when it is not an instance.  The wrapper holds one reference to the
** wrapped array; its Destroy gives that reference back and leaves the
** elements alone, since they belong to the wrapped array.
**
** The wrapper's data word is a copy of the wrapped array's data pointer
** for compiled code that reads elements directly.  An insert, remove or
** redim moves the wrapped buffer, so the copy is refreshed after every
** operation made through the wrapper.
*/
#include <cstdarg>

#include "runtime/base/failure_report.h"
#include "runtime/objects/array_internal.h"
#include "runtime/objects/exceptions.h"

#define ARRAY_SLOT __attribute__((noinline))

namespace quendal {

namespace {

using Wrapper = ArrayCastWrapper;

/* Typed views of the wrapped table's slots (one and two dimensions). */
using Get1Fn = ObjectHeader* (*)(ArrayObject*, int32_t);
using Set1Fn = void (*)(ArrayObject*, ObjectHeader*, int32_t);
using Get2Fn = ObjectHeader* (*)(ArrayObject*, int32_t, int32_t);
using Set2Fn = void (*)(ArrayObject*, ObjectHeader*, int32_t, int32_t);
using Redim1Fn = void (*)(ArrayObject*, int32_t);
using Redim2Fn = void (*)(ArrayObject*, int32_t, int32_t);
using InsertFn = void (*)(ArrayObject*, int32_t, ObjectHeader*);
using RemoveFn = void (*)(ArrayObject*, int32_t);
using IndexOfFn = int32_t (*)(ArrayObject*, ObjectHeader*, int32_t);
using ShuffleFn = void (*)(ArrayObject*);
using UBoundFn = int32_t (*)(ArrayObject*, int32_t);

template <typename F>
F SlotOf(ArrayObject* array, ArraySlot slot) {
  return reinterpret_cast<F>(array->ops->slots[slot]);
}

/* Refreshes the wrapper's data copy when an operation ends, however it
** ends. */
class DataRefresh {
 public:
  explicit DataRefresh(Wrapper* w) : w_(w) {}
  ~DataRefresh() {
    if (w_->wrapped != nullptr) w_->data = w_->wrapped->data;
  }
  DataRefresh(const DataRefresh&) = delete;
  DataRefresh& operator=(const DataRefresh&) = delete;

 private:
  Wrapper* w_;
};

ArrayObject* Wrapped(Wrapper* w) {
  if (w->wrapped == nullptr) ThrowNilObjectException();
  return w->wrapped;
}

void CheckElement(Wrapper* w, ObjectHeader* value) {
  if (value != nullptr && !RuntimeObjectIsa(value, w->elementClass)) ThrowIllegalCastException();
}

/* ---- one dimension ---- */

ARRAY_SLOT ObjectHeader* WrapperGet1(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  return SlotOf<Get1Fn>(a, kArrayGet)(a, index);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSet1(ArrayObject* array, ObjectHeader* value, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  CheckElement(w, value);
  SlotOf<Set1Fn>(a, kArraySet)(a, value, index);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT ObjectHeader* WrapperGetUnchecked1(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  return SlotOf<Get1Fn>(a, kArrayGetUnchecked)(a, index);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSetUnchecked1(ArrayObject* array, ObjectHeader* value, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  CheckElement(w, value);
  SlotOf<Set1Fn>(a, kArraySetUnchecked)(a, value, index);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT void WrapperRedim1(ArrayObject* array, int32_t upperBound) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  SlotOf<Redim1Fn>(a, kArrayRedim)(a, upperBound);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT void WrapperInsert1(ArrayObject* array, int32_t index, ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  CheckElement(w, value);
  SlotOf<InsertFn>(a, kArrayInsert)(a, index, value);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT void WrapperRemove1(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  SlotOf<RemoveFn>(a, kArrayRemove)(a, index);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT int32_t WrapperIndexOf1(ArrayObject* array, ObjectHeader* value, int32_t start) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  return SlotOf<IndexOfFn>(a, kArrayIndexOf)(a, value, start);
  QUENDAL_SERVICE_END(-1)
}

ARRAY_SLOT void WrapperShuffle1(ArrayObject* array) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  SlotOf<ShuffleFn>(a, kArrayShuffle)(a);
  QUENDAL_SERVICE_END_VOID
}

/* ---- two dimensions ---- */

ARRAY_SLOT ObjectHeader* WrapperGet2(ArrayObject* array, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  return SlotOf<Get2Fn>(a, kArrayGet)(a, i1, i2);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSet2(ArrayObject* array, ObjectHeader* value, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  CheckElement(w, value);
  SlotOf<Set2Fn>(a, kArraySet)(a, value, i1, i2);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT ObjectHeader* WrapperGetUnchecked2(ArrayObject* array, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  return SlotOf<Get2Fn>(a, kArrayGetUnchecked)(a, i1, i2);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSetUnchecked2(ArrayObject* array, ObjectHeader* value, int32_t i1, int32_t i2) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  CheckElement(w, value);
  SlotOf<Set2Fn>(a, kArraySetUnchecked)(a, value, i1, i2);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT void WrapperRedim2(ArrayObject* array, int32_t ub1, int32_t ub2) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  SlotOf<Redim2Fn>(a, kArrayRedim)(a, ub1, ub2);
  QUENDAL_SERVICE_END_VOID
}

/* ---- n dimensions: the indexes are read here and the element reached
** through the Object family's pieces, since a variadic call cannot be
** forwarded. ---- */

ARRAY_SLOT ObjectHeader* WrapperGetN(ArrayObject* array, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  va_list rest;
  va_start(rest, first);
  int64_t offset = ArrayOffsetV(a, true, first, rest);
  va_end(rest);
  if (offset < 0) ThrowOutOfBoundsException();
  return ObjectArrayGetAt(a, offset);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSetN(ArrayObject* array, ObjectHeader* value, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  va_list rest;
  va_start(rest, first);
  int64_t offset = ArrayOffsetV(a, true, first, rest);
  va_end(rest);
  CheckElement(w, value);
  if (offset < 0) ThrowOutOfBoundsException();
  ObjectArraySetAt(a, offset, value);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT ObjectHeader* WrapperGetUncheckedN(ArrayObject* array, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  va_list rest;
  va_start(rest, first);
  int64_t offset = ArrayOffsetV(a, false, first, rest);
  va_end(rest);
  return ObjectArrayGetAt(a, offset);
  QUENDAL_SERVICE_END(nullptr)
}

ARRAY_SLOT void WrapperSetUncheckedN(ArrayObject* array, ObjectHeader* value, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  va_list rest;
  va_start(rest, first);
  int64_t offset = ArrayOffsetV(a, false, first, rest);
  va_end(rest);
  CheckElement(w, value);
  ObjectArraySetAt(a, offset, value);
  QUENDAL_SERVICE_END_VOID
}

ARRAY_SLOT void WrapperRedimN(ArrayObject* array, int32_t first, ...) {
  QUENDAL_SERVICE_BEGIN
  Wrapper* w = reinterpret_cast<Wrapper*>(array);
  DataRefresh refresh(w);
  ArrayObject* a = Wrapped(w);
  SimpleVector<int32_t> bounds;
  va_list rest;
  va_start(rest, first);
  bool complete = CollectUpperBoundsV(a->dimensions, first, rest, &bounds);
  va_end(rest);
  if (!complete) ThrowOutOfMemoryException();
  ObjectArrayRedim(a, bounds.Items());
  QUENDAL_SERVICE_END_VOID
}

/* ---- every shape ---- */

/* UBound, Destroy and ElementSize take ArrayObject* in every family. */
ARRAY_SLOT int32_t WrapperUBound(ArrayObject* array, int32_t dimension) {
  QUENDAL_SERVICE_BEGIN
  ArrayObject* a = Wrapped(reinterpret_cast<Wrapper*>(array));
  return SlotOf<UBoundFn>(a, kArrayUBound)(a, dimension);
  QUENDAL_SERVICE_END(-1)
}

void WrapperLockElement(ArrayObject*, ObjectHeader* element) { RuntimeLockObject(element); }

void WrapperUnlockElement(ArrayObject*, ObjectHeader* element) { RuntimeUnlockObject(element); }

/* Gives back the wrapper's reference to the wrapped array. */
void WrapperDestroy(ArrayObject* array) {
  auto* w = reinterpret_cast<Wrapper*>(array);
  ArrayObject* wrapped = w->wrapped;
  if (wrapped == nullptr) return;
  w->wrapped = nullptr;
  w->data = nullptr;
  RuntimeUnlockObject(&wrapped->header);
}

int32_t WrapperElementSize(ArrayObject*) { return sizeof(ObjectHeader*); }

template <typename F>
void* Entry(F* function) {
  return reinterpret_cast<void*>(function);
}

struct WrapperTables {
  ArrayOps shapes[3] = {};

  WrapperTables() {
    ArrayOps& one = shapes[0];
    one.slots[kArrayGet] = Entry(&WrapperGet1);
    one.slots[kArraySet] = Entry(&WrapperSet1);
    one.slots[kArrayGetUnchecked] = Entry(&WrapperGetUnchecked1);
    one.slots[kArraySetUnchecked] = Entry(&WrapperSetUnchecked1);
    one.slots[kArrayRedim] = Entry(&WrapperRedim1);
    one.slots[kArrayInsert] = Entry(&WrapperInsert1);
    one.slots[kArrayRemove] = Entry(&WrapperRemove1);
    one.slots[kArrayIndexOf] = Entry(&WrapperIndexOf1);
    one.slots[kArrayShuffle] = Entry(&WrapperShuffle1);

    ArrayOps& two = shapes[1];
    two.slots[kArrayGet] = Entry(&WrapperGet2);
    two.slots[kArraySet] = Entry(&WrapperSet2);
    two.slots[kArrayGetUnchecked] = Entry(&WrapperGetUnchecked2);
    two.slots[kArraySetUnchecked] = Entry(&WrapperSetUnchecked2);
    two.slots[kArrayRedim] = Entry(&WrapperRedim2);

    ArrayOps& many = shapes[2];
    many.slots[kArrayGet] = Entry(&WrapperGetN);
    many.slots[kArraySet] = Entry(&WrapperSetN);
    many.slots[kArrayGetUnchecked] = Entry(&WrapperGetUncheckedN);
    many.slots[kArraySetUnchecked] = Entry(&WrapperSetUncheckedN);
    many.slots[kArrayRedim] = Entry(&WrapperRedimN);

    for (ArrayOps& t : shapes) {
      t.slots[kArrayUBound] = Entry(&WrapperUBound);
      t.slots[kArrayLockElement] = Entry(&WrapperLockElement);
      t.slots[kArrayUnlockElement] = Entry(&WrapperUnlockElement);
      t.slots[kArrayDestroy] = Entry(&WrapperDestroy);
      t.slots[kArrayElementSize] = Entry(&WrapperElementSize);
    }
  }
};

} // namespace

const ArrayOps* CastWrapperTable(int32_t dimensions) {
  static const WrapperTables tables;
  return &tables.shapes[dimensions <= 1 ? 0 : dimensions == 2 ? 1 : 2];
}

ArrayObject* UnwrapArray(ArrayObject* array) {
  if (array != nullptr && ArrayTableFamily(array->ops) == ArrayFamily::CastWrapper) {
    return reinterpret_cast<Wrapper*>(array)->wrapped;
  }
  return array;
}

} // namespace quendal

/* nil array: nil.  nil class, or an array that is already a wrapper: the
** array itself, locked.  Otherwise a new wrapper (count 1) holding the
** array locked. */
extern "C" ArrayObject* RuntimeCreateArrayCastWrapper(ArrayObject* array, ClassRecord* elementClass) {
  using namespace quendal;
  if (array == nullptr) return nullptr;
  const ArrayFamily family = ArrayTableFamily(array->ops);
  if (elementClass == nullptr || family == ArrayFamily::CastWrapper) {
    RuntimeLockObject(&array->header);
    return array;
  }
  if (ElementTableKind(array->ops) != kArrayObject) {
    QUENDAL_REPORT(kArraySource, "array of objects", "RuntimeCreateArrayCastWrapper");
    RuntimeLockObject(&array->header);
    return array;
  }
  auto* w = reinterpret_cast<ArrayCastWrapper*>(NewArrayShell(sizeof(ArrayCastWrapper)));
  if (w == nullptr) return nullptr;
  w->ops = CastWrapperTable(array->dimensions);
  w->data = array->data;
  RuntimeLockObject(&array->header);
  w->wrapped = array;
  w->elementClass = elementClass;
  return reinterpret_cast<ArrayObject*>(w);
}
