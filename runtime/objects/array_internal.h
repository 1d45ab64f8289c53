/*
** Internals shared by the array modules (not part of the interface with
** app images):
**   array_ops.cpp          the operation families per element kind and shape
**   array_object.cpp       the array class, creation and the exported services
**   array_cast_wrapper.cpp the cast wrapper over Object arrays
**
** Every array-like object starts with the same prefix: ObjectHeader, ops,
** data.  What follows depends on the table: ArrayObject fields for the
** element kinds, StructureArrayObject fields for structures, and the
** wrapper's own fields for a cast wrapper.  Code that meets an array of
** unknown origin therefore asks the table (ArrayTableFamily) before it
** reads anything beyond data.
*/
#ifndef QUENDAL_OBJECTS_ARRAY_INTERNAL_H
#define QUENDAL_OBJECTS_ARRAY_INTERNAL_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "runtime/objects/array_object.h"
#include "runtime/objects/simple_vector.h"

namespace quendal {

inline constexpr char kArraySource[] = "RuntimeArrayFoundation";

/* Growth step of a new, redimensioned or shrunk array, and the largest
** step that doubling reaches (elements). */
inline constexpr int32_t kArrayInitialGrowth = 16;
inline constexpr int32_t kArrayMaxGrowth = 0x20000;

/* Ranges of this many elements or fewer are finished by insertion sort. */
inline constexpr int32_t kArrayInsertionSortSpan = 16;

/* The cast wrapper: an array-like object over an Object array. */
struct ArrayCastWrapper {
  ObjectHeader header;
  const ArrayOps* ops;        /* one of the wrapper tables */
  void* data;                 /* copy of the wrapped array's data, refreshed after every operation */
  ArrayObject* wrapped;       /* locked; null once destroyed */
  ClassRecord* elementClass;  /* values stored through the wrapper must be of this class */
};
static_assert(offsetof(ArrayCastWrapper, ops) == offsetof(ArrayObject, ops), "common array prefix");
static_assert(offsetof(ArrayCastWrapper, data) == offsetof(ArrayObject, data), "common array prefix");

enum class ArrayFamily { Unknown, Element, Structure, CastWrapper };

/* ---- tables (array_ops.cpp, array_cast_wrapper.cpp) ----------------------- */

/* Table for an element kind and a number of dimensions (>= 1); null for a
** kind outside 0..11. */
const ArrayOps* ElementArrayTable(int32_t kind, int32_t dimensions);
const ArrayOps* StructureArrayTable(int32_t dimensions);
const ArrayOps* CastWrapperTable(int32_t dimensions);

ArrayFamily ArrayTableFamily(const ArrayOps* ops);
/* Kind of an element table, -1 for any other table. */
int32_t ElementTableKind(const ArrayOps* ops);

/* The real array behind a possibly wrapped one. */
ArrayObject* UnwrapArray(ArrayObject* array);

/* Shape of an element or structure array (wrappers resolved by the
** caller): number of dimensions, first upper bound, element size. */
struct ArrayShape {
  int32_t dimensions;
  int32_t upperBound;
  int32_t elementSize;
};
ArrayShape ShapeOfArray(ArrayObject* array);

/* Element size of a kind (0..11). */
int32_t ElementKindSize(int32_t kind);

/* Buffer bytes for these bounds and element size (0 when a dimension is
** empty), or -1 when they exceed an int32. */
int64_t ElementArrayBufferBytes(const int32_t* upperBounds, int32_t dimensions, int32_t elementSize);

/* Pieces of the n-dimensional Object operations, for the wrapper's
** forwarding.  ArrayOffsetV reads one int32 index per dimension (first,
** then the list; always all of them) and gives the element's offset, or -1
** when checked and an index is out of range; it never raises, so that the
** caller can end its va_list before raising.  CollectUpperBoundsV reads
** the bounds of a redim the same way; false when they could not be kept. */
int64_t ArrayOffsetV(const ArrayObject* array, bool checked, int32_t first, va_list rest);
bool CollectUpperBoundsV(int32_t dimensions, int32_t first, va_list rest, SimpleVector<int32_t>* bounds);
ObjectHeader* ObjectArrayGetAt(ArrayObject* array, int64_t offset);            /* locked */
void ObjectArraySetAt(ArrayObject* array, int64_t offset, ObjectHeader* value); /* borrows value */
void ObjectArrayRedim(ArrayObject* array, const int32_t* upperBounds);         /* raises */

/* ---- creation (array_object.cpp) ----------------------------------------- */

/* The built-in array class: no initializer, a finalizer that calls the
** table's Destroy. */
ClassRecord* ArrayClass();

/* The array class's finalizer: calls the table's Destroy. */
void ArrayFinalizer(ObjectHeader* object);

/* A zeroed object of the array class of `bytes` bytes, count 1, in the
** census.  Null after the "out" failure report when it cannot be made. */
ObjectHeader* NewArrayShell(size_t bytes);

} // namespace quendal

#endif
