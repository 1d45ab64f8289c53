/*
** Arrays as objects and the services around the table: the array class
** and census, the exported bounds and direct-access services, the native
** helpers, structure arrays and the cast wrapper.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"
#include "tests/objects/array_test_support.h"
#include "tests/support/test_support.h"

namespace {

using quendal::StringRef;
using quendal::test::Raises;
using quendal::test::Slot;

void Release(void* array) { RuntimeUnlockObject(static_cast<ObjectHeader*>(array)); }

ClassRecord* NewPlainClass(ClassRecord* base) {
  ClassRecord* cls = RuntimeNewClass(base, 0, 0, 0, 0, 0);
  cls->objectSize = sizeof(ObjectHeader);
  return cls;
}

/* ---- the array class ------------------------------------------------------- */

TEST(ArrayObjectClass, ArraysAreCountedCensusObjectsOfOneClass) {
  const int32_t before = quendal::LiveObjectCount();
  ArrayObject* a = CreateArray(1, kArrayInt32, 3);
  ArrayObject* b = CreateArray(4, kArrayString, 0, 0, 0, 0);
  EXPECT_EQ(quendal::LiveObjectCount(), before + 2);
  EXPECT_EQ(quendal::CensusHead(), &b->header);
  ASSERT_NE(a->header.classPtr, nullptr);
  EXPECT_EQ(a->header.classPtr, b->header.classPtr);
  EXPECT_NE(a->header.classPtr->finalizer, nullptr);
  EXPECT_EQ(a->header.classPtr->initializer, nullptr);
  EXPECT_EQ(RuntimeClassOf(&a->header), RuntimeClassOf(&b->header));

  RuntimeLockObject(&a->header);
  EXPECT_EQ(a->header.refCount, 2);
  Release(a);
  Release(a);
  Release(b);
  EXPECT_EQ(quendal::LiveObjectCount(), before);
}

/* ---- exported services ----------------------------------------------------- */

TEST(ArrayServices, BoundsServicesRaiseOnNil) {
  EXPECT_TRUE(Raises(quendal::kNilObjectExceptionDefinition, [] { RuntimeUBound(nullptr); }));
  EXPECT_TRUE(Raises(quendal::kNilObjectExceptionDefinition, [] { RuntimeUBound2Param(nullptr, 1); }));
  ArrayObject* a = RuntimeArrayCreateSingleDimBoundedArray(kArrayDouble, 4);
  EXPECT_EQ(a->dimensions, 1);
  EXPECT_EQ(RuntimeUBound(a), 4);
  EXPECT_EQ(RuntimeUBound2Param(a, -1), 1);
  EXPECT_TRUE(Raises(quendal::kOutOfBoundsExceptionDefinition, [&] { RuntimeUBound2Param(a, 2); }));
  Release(a);
}

TEST(ArrayServices, DirectAccessGoesThroughTheTable) {
  ArrayObject* ints = CreateArray(1, kArrayInt32, -1);
  RuntimeIntArrayAppend(ints, 5);
  RuntimeIntArrayAppend(ints, 6);
  EXPECT_EQ(RuntimeUBound(ints), 1);
  EXPECT_EQ(RuntimeDirectReadIntArray(ints, 1), 6);
  EXPECT_EQ(RuntimeArrayDirectGetGetProc(ints), ints->ops->slots[kArrayGet]);
  EXPECT_EQ(RuntimeArrayDirectGetSetProc(ints), ints->ops->slots[kArraySet]);
  EXPECT_EQ(RuntimeArrayDirectGetInsertProc(ints), ints->ops->slots[kArrayInsert]);
  EXPECT_TRUE(Raises(quendal::kOutOfBoundsExceptionDefinition, [&] { RuntimeDirectReadIntArray(ints, 2); }));
  EXPECT_TRUE(Raises(quendal::kNilObjectExceptionDefinition, [] { RuntimeIntArrayAppend(nullptr, 1); }));
  Release(ints);

  ArrayObject* strings = CreateArray(1, kArrayString, 0);
  StringRef s(quendal::StringCreate("text", kEncodingUTF8));
  Slot<void (*)(ArrayObject*, ORVAstring, int32_t)>(strings, kArraySet)(strings, s.get(), 0);
  StringRef read(RuntimeDirectReadStringArray(strings, 0));
  EXPECT_EQ(read.get(), s.get());
  EXPECT_EQ(s.get()->refCount, 3) << "ours, the array's and the locked result";
  Release(strings);

  ClassRecord* cls = NewPlainClass(nullptr);
  ObjectHeader* o = RuntimeNewObject(cls);
  ArrayObject* objects = CreateArray(1, kArrayObject, 1);
  RuntimeDirectWriteObjectArray(objects, 1, o);
  ObjectHeader* back = RuntimeDirectReadObjectArray(objects, 1);
  EXPECT_EQ(back, o);
  EXPECT_EQ(o->refCount, 3);
  RuntimeUnlockObject(back);
  Release(objects);
  EXPECT_EQ(o->refCount, 1);
  RuntimeUnlockObject(o);
}

TEST(ArrayServices, NativeHelpersForStringArrays) {
  ArrayObject* a = CreateArray(1, kArrayString, -1);
  StringRef one(quendal::StringCreate("one", kEncodingUTF8));
  StringRef two(quendal::StringCreate("two", kEncodingUTF8));
  quendal::ArrayAppendString(a, one.get());
  quendal::ArrayAppendString(a, two.get());
  EXPECT_EQ(quendal::ArrayUpperBound(a), 1);
  EXPECT_EQ(quendal::ArrayStringAt(a, 1), two.get());
  EXPECT_EQ(two.get()->refCount, 2) << "the borrowed read takes no reference";
  EXPECT_TRUE(Raises(quendal::kOutOfBoundsExceptionDefinition, [&] { quendal::ArrayStringAt(a, 2); }));
  quendal::ArrayRedim1(a, -1);
  EXPECT_EQ(quendal::ArrayUpperBound(a), -1);
  EXPECT_EQ(one.get()->refCount, 1);
  EXPECT_TRUE(Raises(quendal::kNilObjectExceptionDefinition, [] { quendal::ArrayUpperBound(nullptr); }));
  Release(a);

  quendal::test::FailureCapture capture;
  ArrayObject* ints = CreateArray(1, kArrayInt32, 0);
  quendal::ArrayAppendString(ints, one.get());
  EXPECT_EQ(quendal::ArrayStringAt(ints, 0), nullptr);
  EXPECT_EQ(RuntimeUBound(ints), 0) << "a string is never stored in another kind of array";
  EXPECT_EQ(capture.reports().size(), 2u);
  Release(ints);
}

/* ---- structure arrays ------------------------------------------------------- */

struct Point {
  int32_t x;
  int32_t y;
  int32_t z;
};

TEST(ArrayStructures, ReadWriteInsertAndRemove) {
  StructureArrayObject* s = RuntimeCreateStructureArray(1, sizeof(Point), 1);
  auto* array = reinterpret_cast<ArrayObject*>(s);
  EXPECT_EQ(s->elementSize, 12);
  EXPECT_EQ(s->bufferLength, 24);
  EXPECT_EQ(Slot<int32_t (*)(ArrayObject*)>(array, kArrayElementSize)(array), 12);

  Point p{1, 2, 3};
  RuntimeDirectWriteStructureArray(array, 1, &p);
  Point out{};
  RuntimeDirectReadStructureArray(array, 1, &out);
  EXPECT_EQ(out.x + out.y + out.z, 6);
  EXPECT_TRUE(Raises(quendal::kOutOfBoundsExceptionDefinition, [&] { RuntimeDirectReadStructureArray(array, 2, &out); }));

  /* Insert copies of elements taken by address: first while the buffer
  ** grows (the source lies in the buffer being replaced), then in place
  ** with the source behind the gap, in the tail that moves up: the copy
  ** must be read from where the element went, not from where it was. */
  auto get = Slot<void* (*)(StructureArrayObject*, int32_t)>(array, kArrayGet);
  auto insert = Slot<void (*)(StructureArrayObject*, int32_t, void*)>(array, kArrayInsert);
  insert(s, 0, get(s, 1));
  EXPECT_EQ(s->bufferLength, 24 + 16 * 12);
  RuntimeDirectReadStructureArray(array, 0, &out);
  EXPECT_EQ(out.z, 3);
  Point q{4, 5, 6};
  RuntimeDirectWriteStructureArray(array, 1, &q);
  insert(s, 0, get(s, 1));
  const Point* points = static_cast<const Point*>(s->data);
  EXPECT_EQ(s->upperBounds[0], 3);
  EXPECT_EQ(points[0].x, 4) << "the element that moved up, not its old neighbour";
  EXPECT_EQ(points[1].x, 1);
  EXPECT_EQ(points[2].x, 4);
  EXPECT_EQ(points[3].x, 1);
  insert(s, 4, nullptr);
  RuntimeDirectReadStructureArray(array, 4, &out);
  EXPECT_EQ(out.x | out.y | out.z, 0) << "a null source stores zeros";
  Slot<void (*)(StructureArrayObject*, int32_t)>(array, kArrayRemove)(s, 0);
  EXPECT_EQ(s->bufferLength, 4 * 12);
  EXPECT_EQ(static_cast<const Point*>(s->data)[0].z, 3);

  quendal::test::FailureCapture capture;
  RuntimeDirectReadStructureArray(array, 0, nullptr);
  EXPECT_TRUE(capture.Contains("structure"));
  Release(s);
}

TEST(ArrayStructures, TwoDimensions) {
  StructureArrayObject* s = RuntimeCreateStructureArray(2, 3, 1, 2);
  auto* array = reinterpret_cast<ArrayObject*>(s);
  EXPECT_EQ(s->bufferLength, 2 * 3 * 3);
  const uint8_t block[3] = {7, 8, 9};
  Slot<void (*)(StructureArrayObject*, void*, int32_t, int32_t)>(array, kArraySet)(s, const_cast<uint8_t*>(block), 1, 2);
  const uint8_t* raw = static_cast<const uint8_t*>(s->data);
  EXPECT_EQ(std::memcmp(raw + 3 * (1 + 2 * 2), block, 3), 0);
  Slot<void (*)(StructureArrayObject*, int32_t, int32_t)>(array, kArrayRedim)(s, 2, 2);
  auto* moved = static_cast<const uint8_t*>(
      Slot<void* (*)(StructureArrayObject*, int32_t, int32_t)>(array, kArrayGet)(s, 1, 2));
  EXPECT_EQ(std::memcmp(moved, block, 3), 0);
  Release(s);
}

/* ---- cast wrapper ----------------------------------------------------------- */

class ArrayCastWrapperTest : public ::testing::Test {
 protected:
  ClassRecord* base = NewPlainClass(nullptr);
  ClassRecord* derived = NewPlainClass(base);
  ClassRecord* other = NewPlainClass(nullptr);
};

TEST_F(ArrayCastWrapperTest, StoresAreCheckedAgainstTheElementClass) {
  ArrayObject* objects = CreateArray(1, kArrayObject, 0);
  ArrayObject* w = RuntimeCreateArrayCastWrapper(objects, base);
  ASSERT_NE(w, objects);
  EXPECT_EQ(objects->header.refCount, 2) << "the wrapper holds the wrapped array";
  EXPECT_EQ(w->header.classPtr, objects->header.classPtr);

  ObjectHeader* good = RuntimeNewObject(derived);
  ObjectHeader* bad = RuntimeNewObject(other);
  auto set = Slot<void (*)(ArrayObject*, ObjectHeader*, int32_t)>(w, kArraySet);
  auto insert = Slot<void (*)(ArrayObject*, int32_t, ObjectHeader*)>(w, kArrayInsert);
  set(w, good, 0);
  EXPECT_TRUE(Raises(quendal::kIllegalCastExceptionDefinition, [&] { set(w, bad, 0); }));
  EXPECT_TRUE(Raises(quendal::kIllegalCastExceptionDefinition, [&] {
    Slot<void (*)(ArrayObject*, ObjectHeader*, int32_t)>(w, kArraySetUnchecked)(w, bad, 0);
  }));
  EXPECT_TRUE(Raises(quendal::kIllegalCastExceptionDefinition, [&] { insert(w, 1, bad); }));
  EXPECT_EQ(bad->refCount, 1);
  EXPECT_EQ(RuntimeUBound(w), 0);

  insert(w, 1, nullptr);
  insert(w, 2, good);
  EXPECT_EQ(RuntimeUBound(objects), 2);
  EXPECT_EQ(*reinterpret_cast<void**>(reinterpret_cast<uint8_t*>(w) + offsetof(ArrayObject, data)), objects->data)
      << "the data copy follows the wrapped buffer";
  ObjectHeader* read = RuntimeDirectReadObjectArray(w, 2);
  EXPECT_EQ(read, good);
  RuntimeUnlockObject(read);
  EXPECT_EQ(Slot<int32_t (*)(ArrayObject*, ObjectHeader*, int32_t)>(w, kArrayIndexOf)(w, good, 1), 2);

  Release(w);
  EXPECT_EQ(objects->header.refCount, 1);
  EXPECT_EQ(good->refCount, 3) << "releasing the wrapper leaves the elements alone";
  Release(objects);
  EXPECT_EQ(good->refCount, 1);
  RuntimeUnlockObject(good);
  RuntimeUnlockObject(bad);
}

TEST_F(ArrayCastWrapperTest, NilClassNilArrayAndWrappersOfWrappers) {
  EXPECT_EQ(RuntimeCreateArrayCastWrapper(nullptr, base), nullptr);
  ArrayObject* objects = CreateArray(1, kArrayObject, 0);
  EXPECT_EQ(RuntimeCreateArrayCastWrapper(objects, nullptr), objects);
  EXPECT_EQ(objects->header.refCount, 2);
  Release(objects);

  ArrayObject* w = RuntimeCreateArrayCastWrapper(objects, base);
  EXPECT_EQ(RuntimeCreateArrayCastWrapper(w, derived), w);
  EXPECT_EQ(w->header.refCount, 2);
  Release(w);
  Release(w);
  Release(objects);
}

TEST_F(ArrayCastWrapperTest, ManyDimensions) {
  ArrayObject* cube = CreateArray(3, kArrayObject, 1, 1, 1);
  ArrayObject* w = RuntimeCreateArrayCastWrapper(cube, base);
  ObjectHeader* good = RuntimeNewObject(base);
  ObjectHeader* bad = RuntimeNewObject(other);
  auto set = Slot<void (*)(ArrayObject*, ObjectHeader*, int32_t, ...)>(w, kArraySet);
  auto get = Slot<ObjectHeader* (*)(ArrayObject*, int32_t, ...)>(w, kArrayGet);
  set(w, good, 1, 0, 1);
  EXPECT_TRUE(Raises(quendal::kIllegalCastExceptionDefinition, [&] { set(w, bad, 1, 0, 1); }));
  EXPECT_TRUE(Raises(quendal::kOutOfBoundsExceptionDefinition, [&] { get(w, 1, 0, 2); }));
  ObjectHeader* read = get(w, 1, 0, 1);
  EXPECT_EQ(read, good);
  RuntimeUnlockObject(read);
  Slot<void (*)(ArrayObject*, int32_t, ...)>(w, kArrayRedim)(w, 2, 0, 1);
  EXPECT_EQ(RuntimeUBound2Param(cube, 1), 2);
  EXPECT_EQ(RuntimeUBound2Param(w, 2), 0);
  Release(w);
  Release(cube);
  EXPECT_EQ(good->refCount, 1);
  RuntimeUnlockObject(good);
  RuntimeUnlockObject(bad);
}

} // namespace
