/*
** Arrays: reference-counted objects with an operation table chosen by
** element kind and dimension shape.
**
** Layout after the ObjectHeader: ops, data, dimensions, bufferLength,
** growth, then one int32 upper bound per dimension (-1 = empty).  The first
** index varies fastest: (i1, i2, ..., in) is element
** i1 + (ub1+1)*(i2 + (ub2+1)*(i3 + ...)).  A structure array has its element
** size between data and dimensions (StructureArrayObject).  data is null
** exactly when the array holds no buffer; bufferLength may exceed what the
** bounds need after inserts.
**
** Compiled code calls the operations through the table directly, so the
** slot order is an interface: see ArraySlot.  Slot types differ by kind,
** so the table holds untyped entry points.  Every slot takes the array
** first; a value comes before the indexes.
**
** Value type V of each kind (the register a value travels in):
**   Int32 int32_t        Single float (xmm0)   Double double (xmm0)
**   String ORVAstring    Object ObjectHeader*
**   UInt8, UInt16 uint32_t (zero-extended)     Int8, Int16 int32_t (sign-extended)
**   UInt32 uint32_t      UInt64 uint64_t       Int64 int64_t
**   structure: void* (Get gives the element's address; Set and Insert
**   copy ElementSize bytes from the address given, null stores zeros)
**
** One dimension (A = ArrayObject*, or StructureArrayObject*):
**   0  Get           V       (A, int32_t index)            checked
**   1  Set           void    (A, V value, int32_t index)   checked
**   2  GetUnchecked  V       (A, int32_t index)
**   3  SetUnchecked  void    (A, V value, int32_t index)
**   4  Redim         void    (A, int32_t upperBound)
**   5  Insert        void    (A, int32_t index, V value)
**   6  Remove        void    (A, int32_t index)
**   7  Sort          void    (A)                            not Object, not structure
**   8  SortWith      void    (A, ArrayObject* other, ..., nullptr)   same
**   9  IndexOf       int32_t (A, V value, int32_t start)    not structure
**  10  Shuffle       void    (A)
** Two dimensions: Get V (A, int32_t i1, int32_t i2); Set void (A, V, i1, i2);
**   the unchecked pair alike; Redim void (A, int32_t ub1, int32_t ub2).
** n dimensions (3 and more): Get V (A, int32_t i1, ...); Set void (A, V,
**   int32_t i1, ...); the unchecked pair alike; Redim void (A, int32_t ub1,
**   ...): one int32 per dimension, variadic after the first (the same
**   registers and stack slots as a call of (A, V, ...)).
** Every shape:
**  11  UBound        int32_t (ArrayObject*, int32_t dimension)   -1 gives the dimension count
**  12  LockElement   void    (A, V element)           String and Object only
**  13  UnlockElement void    (A, V element)           String and Object only
**  14  Destroy       void    (ArrayObject*)
**  15  ElementSize   int32_t (ArrayObject*)
** Slots a shape or kind does not offer are null.  UBound, Destroy and
** ElementSize take ArrayObject* in every family, so that native code calls
** them without knowing the family, and a cast wrapper's slots have the
** types of an object array's; every slot is called natively only through
** a pointer of its own exact type.
**
** References: a String or Object that Get returns is locked for the
** caller; Set and Insert borrow the value and take the array's own
** reference (lock the new value, store, then unlock the old one); Destroy,
** Remove and a shrinking Redim release what they drop.  Raises:
** OutOfBoundsException for a bad index or bound, OutOfMemoryException when
** a buffer cannot grow (the array is then unchanged), then a neutral result
** (0, null, -1).
*/
#ifndef QUENDAL_OBJECTS_ARRAY_OBJECT_H
#define QUENDAL_OBJECTS_ARRAY_OBJECT_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_model.h"

enum ArrayKind : int32_t {
  kArrayInt32 = 0, kArraySingle = 1, kArrayDouble = 2, kArrayString = 3, kArrayObject = 4,
  kArrayUInt8 = 5, kArrayInt8 = 6, kArrayUInt16 = 7, kArrayInt16 = 8, kArrayUInt32 = 9,
  kArrayUInt64 = 10, kArrayInt64 = 11,
};

enum ArraySlot : int32_t {
  kArrayGet = 0, kArraySet = 1, kArrayGetUnchecked = 2, kArraySetUnchecked = 3,
  kArrayRedim = 4, kArrayInsert = 5, kArrayRemove = 6, kArraySort = 7, kArraySortWith = 8,
  kArrayIndexOf = 9, kArrayShuffle = 10, kArrayUBound = 11, kArrayLockElement = 12,
  kArrayUnlockElement = 13, kArrayDestroy = 14, kArrayElementSize = 15,
  kArraySlotCount = 16,
};

struct ArrayOps {
  void* slots[kArraySlotCount];
};

struct ArrayObject {
  ObjectHeader header;
  const ArrayOps* ops;
  void* data;
  int32_t dimensions;
  int32_t bufferLength;
  int32_t growth;
  int32_t upperBounds[];
};

struct StructureArrayObject {
  ObjectHeader header;
  const ArrayOps* ops;
  void* data;
  int32_t elementSize;
  int32_t dimensions;
  int32_t bufferLength;
  int32_t growth;
  int32_t upperBounds[];
};

static_assert(offsetof(ArrayObject, ops) == 48, "ops directly after the object header");
static_assert(offsetof(ArrayObject, data) == 56, "data after ops");
static_assert(offsetof(ArrayObject, dimensions) == 64, "dimensions after data");
static_assert(offsetof(ArrayObject, growth) == 72, "growth after bufferLength");
static_assert(offsetof(ArrayObject, upperBounds) == 76, "upper bounds after growth");
static_assert(offsetof(StructureArrayObject, elementSize) == 64, "element size after data");
static_assert(offsetof(StructureArrayObject, upperBounds) == 80, "upper bounds after growth");

extern "C" {
/* CreateArray(dimensions, kind, ub1, ub2, ...): count 1, in the census;
** the buffer zeroed, null when a dimension is empty.  A kind outside 0..11
** or fewer than one dimension: failure report, null. */
ArrayObject* CreateArray(int32_t dimensions, int32_t kind, ...);
/* RuntimeCreateStructureArray(dimensions, elementSize, ub1, ub2, ...). */
StructureArrayObject* RuntimeCreateStructureArray(int32_t dimensions, int32_t elementSize, ...);
ArrayObject* RuntimeArrayCreateSingleDimBoundedArray(int32_t kind, int32_t upperBound);

/* Upper bound of dimension 1; nil raises NilObjectException and gives 0. */
int32_t RuntimeUBound(ArrayObject* array);
/* The UBound operation; nil raises NilObjectException and gives -1. */
int32_t RuntimeUBound2Param(ArrayObject* array, int32_t dimension);

/* nil array: nil; nil class or a wrapper: the array itself, locked;
** otherwise a new wrapper (count 1) over the Object array. */
ArrayObject* RuntimeCreateArrayCastWrapper(ArrayObject* array, ClassRecord* elementClass);

/* Insert at upper bound + 1 of an Int32 array. */
void RuntimeIntArrayAppend(ArrayObject* array, int32_t value);
/* The array's Get, Set and Insert entry points. */
void* RuntimeArrayDirectGetGetProc(ArrayObject* array);
void* RuntimeArrayDirectGetSetProc(ArrayObject* array);
void* RuntimeArrayDirectGetInsertProc(ArrayObject* array);
/* The array's Get (references returned locked) and Set. */
int32_t RuntimeDirectReadIntArray(ArrayObject* array, int32_t index);
ORVAstring RuntimeDirectReadStringArray(ArrayObject* array, int32_t index);
ObjectHeader* RuntimeDirectReadObjectArray(ArrayObject* array, int32_t index);
void RuntimeDirectWriteObjectArray(ArrayObject* array, int32_t index, ObjectHeader* value);
/* Copies ElementSize bytes of the element to destination (null
** destination: failure report "structure"); Set from source. */
void RuntimeDirectReadStructureArray(ArrayObject* array, int32_t index, void* destination);
void RuntimeDirectWriteStructureArray(ArrayObject* array, int32_t index, const void* source);
}

namespace quendal {

/* Native helpers for one-dimensional arrays (the runtime's own callers:
** exception stacks, argument arrays, split results).  They raise like the
** operations they call. */
int32_t ArrayUpperBound(ArrayObject* array);
void ArrayRedim1(ArrayObject* array, int32_t upperBound);
/* Appends a string (the array takes its own reference). */
void ArrayAppendString(ArrayObject* array, ORVAstring value);
/* Element i of a string array, borrowed (no reference taken). */
ORVAstring ArrayStringAt(ArrayObject* array, int32_t index);

} // namespace quendal

#endif
