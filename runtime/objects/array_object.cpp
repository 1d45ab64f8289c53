/*
** Arrays as objects: the built-in array class, creation, and the exported
** services that reach an array's operations from outside its table.
**
** An array object is ObjectHeader + ArrayObject fields + one int32 upper
** bound per dimension (StructureArrayObject for structures), allocated in
** one block.  Its class is the built-in array class: no initializer, and a
** finalizer that calls the table's Destroy, which releases the elements
** and frees the buffer.  The element buffer is separate and belongs to the
** array alone.
**
** The exported services go through the array's own table wherever they
** can, so that they work on cast wrappers as well as on plain arrays.
*/
#include <cstdarg>
#include <climits>
#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/objects/array_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/simple_vector.h"

namespace quendal {

namespace {

/* Slots are called with the exact type of the function behind them (the
** element kind decides the value's type; structure arrays take their own
** layout), never through a pointer of another function type. */
using GetIntFn = int32_t (*)(ArrayObject*, int32_t);
using GetStringFn = ORVAstring (*)(ArrayObject*, int32_t);
using GetObjectFn = ObjectHeader* (*)(ArrayObject*, int32_t);
using SetObjectFn = void (*)(ArrayObject*, ObjectHeader*, int32_t);
using InsertIntFn = void (*)(ArrayObject*, int32_t, int32_t);
using InsertStringFn = void (*)(ArrayObject*, int32_t, ORVAstring);
using Redim1Fn = void (*)(ArrayObject*, int32_t);
using UBoundFn = int32_t (*)(ArrayObject*, int32_t);
using DestroyFn = void (*)(ArrayObject*);
using GetStructureFn = void* (*)(StructureArrayObject*, int32_t);
using SetStructureFn = void (*)(StructureArrayObject*, void*, int32_t);
using ElementSizeFn = int32_t (*)(ArrayObject*);

/* The slot, or null after a failure report naming it. */
template <typename F>
F SlotOf(ArrayObject* array, ArraySlot slot, const char* name) {
  void* entry = array->ops->slots[slot];
  if (entry == nullptr) QUENDAL_REPORT(kArraySource, name, nullptr);
  return reinterpret_cast<F>(entry);
}

ArrayObject* RequireArray(ArrayObject* array) {
  if (array == nullptr) ThrowNilObjectException();
  return array;
}

int32_t FirstUpperBound(ArrayObject* array) {
  UBoundFn ubound = SlotOf<UBoundFn>(array, kArrayUBound, "fp");
  return ubound != nullptr ? ubound(array, 1) : -1;
}

/* Reads dimensions int32 upper bounds from the list into bounds (all of
** them, always); false when the vector could not hold them. */
bool ReadBounds(int32_t dimensions, va_list list, SimpleVector<int32_t>* bounds) {
  bool complete = true;
  for (int32_t d = 0; d < dimensions; d++) {
    int32_t bound = va_arg(list, int32_t);
    if (complete) complete = bounds->Append(bound);
  }
  return complete;
}

/* A new array's zeroed element buffer; null when the bounds describe no
** element. */
struct NewBuffer {
  void* data;
  int32_t bytes;
};

NewBuffer NewZeroedBuffer(const SimpleVector<int32_t>& bounds, int32_t elementSize) {
  const int64_t bytes = ElementArrayBufferBytes(bounds.Items(), bounds.Count(), elementSize);
  if (bytes < 0) ThrowOutOfMemoryException();
  if (bytes == 0) return {nullptr, 0};
  void* data = AllocateRuntimeBuffer(static_cast<size_t>(bytes), true);
  if (data == nullptr) ThrowOutOfMemoryException();
  return {data, static_cast<int32_t>(bytes)};
}

ArrayObject* NewElementArray(int32_t dimensions, int32_t kind, const SimpleVector<int32_t>& bounds) {
  const ArrayOps* ops = ElementArrayTable(kind, dimensions);
  const NewBuffer buffer = NewZeroedBuffer(bounds, ElementKindSize(kind));
  auto* array = reinterpret_cast<ArrayObject*>(
      NewArrayShell(offsetof(ArrayObject, upperBounds) + sizeof(int32_t) * static_cast<size_t>(dimensions)));
  if (array == nullptr) {
    FreeRuntimeBuffer(buffer.data);
    return nullptr;
  }
  array->ops = ops;
  array->data = buffer.data;
  array->dimensions = dimensions;
  array->bufferLength = buffer.bytes;
  array->growth = kArrayInitialGrowth;
  std::memcpy(array->upperBounds, bounds.Items(), sizeof(int32_t) * static_cast<size_t>(dimensions));
  return array;
}

/* The string helpers hand strings in and out untyped: anything but a
** String array is a broken invariant of the caller. */
bool IsStringArray(ArrayObject* array) {
  if (ElementTableKind(array->ops) == kArrayString) return true;
  QUENDAL_REPORT(kArraySource, "array of strings", nullptr);
  return false;
}

bool ValidDimensions(int32_t dimensions) {
  if (dimensions >= 1) return true;
  QUENDAL_REPORT(kArraySource, "dimensions >= 1", nullptr);
  return false;
}

} // namespace

/* ---- the array class ------------------------------------------------------- */

void ArrayFinalizer(ObjectHeader* object) {
  auto* array = reinterpret_cast<ArrayObject*>(object);
  if (array->ops == nullptr) return;
  DestroyFn destroy = reinterpret_cast<DestroyFn>(array->ops->slots[kArrayDestroy]);
  destroy(array);
}

namespace {

/* The class's objectSize is that of a one-dimensional array; each array
** is allocated at its own size (NewArrayShell).  "Array" is a word of the
** language, so no image class can take the name over. */
const ObjectDefinition kArrayDefinition = {
    "Array",
    nullptr,
    static_cast<int32_t>(offsetof(ArrayObject, upperBounds) + sizeof(int32_t)),
    false,
    {nullptr, nullptr},
    {reinterpret_cast<void*>(&ArrayFinalizer), nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

} // namespace

ClassRecord* ArrayClass() { return LookupObjectDefinition(&kArrayDefinition); }

/* Objects come only from RuntimeNewObject, which allocates the class's
** objectSize: the size is set for the one call and put back.  Nothing runs
** in between (the array class has no initializer), and only the running
** cooperative thread creates objects. */
ObjectHeader* NewArrayShell(size_t bytes) {
  ClassRecord* cls = ArrayClass();
  if (cls == nullptr || bytes > static_cast<size_t>(INT32_MAX)) {
    QUENDAL_REPORT(kArraySource, "out", nullptr);
    return nullptr;
  }
  const int32_t usual = cls->objectSize;
  cls->objectSize = static_cast<int32_t>(bytes);
  ObjectHeader* object = nullptr;
  try {
    object = RuntimeNewObject(cls);
  } catch (const RaisedException&) {
    object = nullptr;
  }
  cls->objectSize = usual;
  if (object == nullptr) QUENDAL_REPORT(kArraySource, "out", nullptr);
  return object;
}

/* ---- native helpers -------------------------------------------------------- */

int32_t ArrayUpperBound(ArrayObject* array) { return FirstUpperBound(RequireArray(array)); }

void ArrayRedim1(ArrayObject* array, int32_t upperBound) {
  RequireArray(array);
  if (Redim1Fn redim = SlotOf<Redim1Fn>(array, kArrayRedim, "redim")) redim(array, upperBound);
}

void ArrayAppendString(ArrayObject* array, ORVAstring value) {
  if (!IsStringArray(RequireArray(array))) return;
  if (InsertStringFn insert = SlotOf<InsertStringFn>(array, kArrayInsert, "insert")) {
    insert(array, FirstUpperBound(array) + 1, value);
  }
}

ORVAstring ArrayStringAt(ArrayObject* array, int32_t index) {
  if (!IsStringArray(RequireArray(array))) return nullptr;
  GetStringFn get = SlotOf<GetStringFn>(array, kArrayGet, "get");
  if (get == nullptr) return nullptr;
  /* Get hands out a reference; the array keeps its own, so giving ours
  ** back leaves a valid borrowed handle. */
  ORVAstring value = get(array, index);
  RuntimeUnlockString(value);
  return value;
}

} // namespace quendal

using namespace quendal;

/* ---- creation -------------------------------------------------------------- */

QUENDAL_SERVICE ArrayObject* CreateArray(int32_t dimensions, int32_t kind, ...) {
  QUENDAL_SERVICE_BEGIN
  if (!ValidDimensions(dimensions)) return nullptr;
  if (ElementArrayTable(kind, dimensions) == nullptr) {
    QUENDAL_REPORT(kArraySource, "kind >= 0 && kind <= 11", nullptr);
    return nullptr;
  }
  SimpleVector<int32_t> bounds;
  va_list list;
  va_start(list, kind);
  bool complete = ReadBounds(dimensions, list, &bounds);
  va_end(list);
  if (!complete) ThrowOutOfMemoryException();
  return NewElementArray(dimensions, kind, bounds);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE StructureArrayObject* RuntimeCreateStructureArray(int32_t dimensions, int32_t elementSize, ...) {
  QUENDAL_SERVICE_BEGIN
  if (!ValidDimensions(dimensions)) return nullptr;
  if (elementSize < 1) {
    QUENDAL_REPORT(kArraySource, "elementSize > 0", nullptr);
    return nullptr;
  }
  SimpleVector<int32_t> bounds;
  va_list list;
  va_start(list, elementSize);
  bool complete = ReadBounds(dimensions, list, &bounds);
  va_end(list);
  if (!complete) ThrowOutOfMemoryException();
  const NewBuffer buffer = NewZeroedBuffer(bounds, elementSize);
  auto* array = reinterpret_cast<StructureArrayObject*>(NewArrayShell(
      offsetof(StructureArrayObject, upperBounds) + sizeof(int32_t) * static_cast<size_t>(dimensions)));
  if (array == nullptr) {
    FreeRuntimeBuffer(buffer.data);
    return nullptr;
  }
  array->ops = StructureArrayTable(dimensions);
  array->data = buffer.data;
  array->elementSize = elementSize;
  array->dimensions = dimensions;
  array->bufferLength = buffer.bytes;
  array->growth = kArrayInitialGrowth;
  std::memcpy(array->upperBounds, bounds.Items(), sizeof(int32_t) * static_cast<size_t>(dimensions));
  return array;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ArrayObject* RuntimeArrayCreateSingleDimBoundedArray(int32_t kind, int32_t upperBound) {
  QUENDAL_SERVICE_BEGIN
  return CreateArray(1, kind, upperBound);
  QUENDAL_SERVICE_END(nullptr)
}

/* ---- bounds ---------------------------------------------------------------- */

QUENDAL_SERVICE int32_t RuntimeUBound(ArrayObject* array) {
  QUENDAL_SERVICE_BEGIN
  return FirstUpperBound(RequireArray(array));
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t RuntimeUBound2Param(ArrayObject* array, int32_t dimension) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  UBoundFn ubound = SlotOf<UBoundFn>(array, kArrayUBound, "fp");
  return ubound != nullptr ? ubound(array, dimension) : -1;
  QUENDAL_SERVICE_END(-1)
}

/* ---- element access for callers outside the table --------------------------- */

QUENDAL_SERVICE void RuntimeIntArrayAppend(ArrayObject* array, int32_t value) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  if (InsertIntFn insert = SlotOf<InsertIntFn>(array, kArrayInsert, "insert")) {
    insert(array, FirstUpperBound(array) + 1, value);
  }
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void* RuntimeArrayDirectGetGetProc(ArrayObject* array) {
  QUENDAL_SERVICE_BEGIN
  return RequireArray(array)->ops->slots[kArrayGet];
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void* RuntimeArrayDirectGetSetProc(ArrayObject* array) {
  QUENDAL_SERVICE_BEGIN
  return RequireArray(array)->ops->slots[kArraySet];
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void* RuntimeArrayDirectGetInsertProc(ArrayObject* array) {
  QUENDAL_SERVICE_BEGIN
  return RequireArray(array)->ops->slots[kArrayInsert];
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE int32_t RuntimeDirectReadIntArray(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  GetIntFn get = SlotOf<GetIntFn>(array, kArrayGet, "get");
  return get != nullptr ? get(array, index) : 0;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE ORVAstring RuntimeDirectReadStringArray(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  GetStringFn get = SlotOf<GetStringFn>(array, kArrayGet, "get");
  return get != nullptr ? get(array, index) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* RuntimeDirectReadObjectArray(ArrayObject* array, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  GetObjectFn get = SlotOf<GetObjectFn>(array, kArrayGet, "get");
  return get != nullptr ? get(array, index) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void RuntimeDirectWriteObjectArray(ArrayObject* array, int32_t index, ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  if (SetObjectFn set = SlotOf<SetObjectFn>(array, kArraySet, "set")) set(array, value, index);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeDirectReadStructureArray(ArrayObject* array, int32_t index, void* destination) {
  QUENDAL_SERVICE_BEGIN
  if (destination == nullptr) {
    QUENDAL_REPORT(kArraySource, "structure", nullptr);
    return;
  }
  RequireArray(array);
  auto* structures = reinterpret_cast<StructureArrayObject*>(array);
  ElementSizeFn size = SlotOf<ElementSizeFn>(array, kArrayElementSize, "elementGetter");
  GetStructureFn get = SlotOf<GetStructureFn>(array, kArrayGet, "get");
  if (size == nullptr || get == nullptr) return;
  const void* element = get(structures, index);
  std::memcpy(destination, element, static_cast<size_t>(size(array)));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeDirectWriteStructureArray(ArrayObject* array, int32_t index, const void* source) {
  QUENDAL_SERVICE_BEGIN
  RequireArray(array);
  if (SetStructureFn set = SlotOf<SetStructureFn>(array, kArraySet, "set")) {
    set(reinterpret_cast<StructureArrayObject*>(array), const_cast<void*>(source), index);
  }
  QUENDAL_SERVICE_END_VOID
}
