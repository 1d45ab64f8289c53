/*
** Array operations through the table, as compiled code calls them:
** creation and layout, index checks, UBound, Redim, Insert with its growth
** rule, Remove, IndexOf, and the reference counts of String and Object
** elements.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"
#include "tests/objects/array_test_support.h"
#include "tests/support/test_support.h"

namespace {

using quendal::StringRef;
using quendal::test::ArrayRef;
using quendal::test::Raises;
using quendal::test::Slot;

const ObjectDefinition& kOutOfBounds = quendal::kOutOfBoundsExceptionDefinition;

using GetIntFn = int32_t (*)(ArrayObject*, int32_t);
using SetIntFn = void (*)(ArrayObject*, int32_t, int32_t);
using GetStrFn = ORVAstring (*)(ArrayObject*, int32_t);
using SetStrFn = void (*)(ArrayObject*, ORVAstring, int32_t);
using InsertStrFn = void (*)(ArrayObject*, int32_t, ORVAstring);
using InsertIntFn = void (*)(ArrayObject*, int32_t, int32_t);
using GetObjFn = ObjectHeader* (*)(ArrayObject*, int32_t);
using SetObjFn = void (*)(ArrayObject*, ObjectHeader*, int32_t);
using RedimFn = void (*)(ArrayObject*, int32_t);
using RemoveFn = void (*)(ArrayObject*, int32_t);
using UBoundFn = int32_t (*)(ArrayObject*, int32_t);

int32_t UBound(ArrayObject* a, int32_t dimension) { return Slot<UBoundFn>(a, kArrayUBound)(a, dimension); }

StringRef Text(const char* text) { return StringRef(quendal::StringCreate(text, kEncodingUTF8)); }

std::string TextAt(ArrayObject* a, int32_t i) {
  StringRef s(Slot<GetStrFn>(a, kArrayGet)(a, i));
  return std::string(quendal::StringView(s.get()));
}

/* A plain class whose instances count their finalizations. */
int gFinalized = 0;
void CountFinalization(ObjectHeader*) { gFinalized++; }

ClassRecord* CountedClass() {
  static ClassRecord* cls = [] {
    ClassRecord* c = RuntimeNewClass(nullptr, 0, 0, 0, 0, 0);
    c->objectSize = sizeof(ObjectHeader);
    c->finalizer = &CountFinalization;
    return c;
  }();
  return cls;
}

/* ---- creation, layout, bounds -------------------------------------------- */

TEST(ArrayCreate, EmptyStringArrayHasNoBufferAndGrowsFromZero) {
  ArrayRef a(CreateArray(1, kArrayString, -1));
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->bufferLength, 0);
  EXPECT_EQ(a->growth, 16);
  EXPECT_EQ(a->header.refCount, 1);
  EXPECT_EQ(UBound(a.get(), 1), -1);
  EXPECT_EQ(RuntimeUBound(a.get()), -1);

  StringRef first = Text("first");
  Slot<InsertStrFn>(a.get(), kArrayInsert)(a.get(), 0, first.get());
  EXPECT_EQ(UBound(a.get(), 1), 0);
  EXPECT_EQ(TextAt(a.get(), 0), "first");
  EXPECT_EQ(first.get()->refCount, 2) << "the array holds its own reference";

  ArrayRef b(CreateArray(1, kArrayString, -1));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<InsertStrFn>(b.get(), kArrayInsert)(b.get(), 1, first.get()); }));
  EXPECT_EQ(UBound(b.get(), 1), -1);
  EXPECT_EQ(first.get()->refCount, 2);
}

TEST(ArrayCreate, BufferIsZeroedAndFirstIndexVariesFastest) {
  ArrayRef a(CreateArray(3, kArrayInt16, 2, 1, 3));
  EXPECT_EQ(a->dimensions, 3);
  EXPECT_EQ(a->bufferLength, 2 * 3 * 2 * 4);
  const auto* raw = static_cast<const int16_t*>(a->data);
  for (int i = 0; i < 24; i++) EXPECT_EQ(raw[i], 0);

  using SetN = void (*)(ArrayObject*, int32_t, int32_t, ...);
  using GetN = int32_t (*)(ArrayObject*, int32_t, ...);
  Slot<SetN>(a.get(), kArraySet)(a.get(), -7, 1, 0, 2);
  EXPECT_EQ(raw[1 + 3 * (0 + 2 * 2)], -7);
  EXPECT_EQ(Slot<GetN>(a.get(), kArrayGet)(a.get(), 1, 0, 2), -7) << "Int16 comes back sign-extended";
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<GetN>(a.get(), kArrayGet)(a.get(), 0, 2, 0); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<SetN>(a.get(), kArraySet)(a.get(), 1, 0, 0, -1); }));

  ArrayRef m(CreateArray(2, kArrayInt32, 2, 1));
  using Set2 = void (*)(ArrayObject*, int32_t, int32_t, int32_t);
  using Get2 = int32_t (*)(ArrayObject*, int32_t, int32_t);
  Slot<Set2>(m.get(), kArraySet)(m.get(), 42, 2, 1);
  EXPECT_EQ(static_cast<const int32_t*>(m->data)[2 + 3 * 1], 42);
  EXPECT_EQ(Slot<Get2>(m.get(), kArrayGet)(m.get(), 2, 1), 42);
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<Get2>(m.get(), kArrayGet)(m.get(), 3, 0); }));
}

TEST(ArrayCreate, ValuesTravelInTheirNaturalRegisters) {
  ArrayRef singles(CreateArray(1, kArraySingle, 1));
  Slot<void (*)(ArrayObject*, float, int32_t)>(singles.get(), kArraySet)(singles.get(), 2.5f, 1);
  EXPECT_EQ(Slot<float (*)(ArrayObject*, int32_t)>(singles.get(), kArrayGet)(singles.get(), 1), 2.5f);

  ArrayRef doubles(CreateArray(3, kArrayDouble, 0, 1, 1));
  Slot<void (*)(ArrayObject*, double, int32_t, ...)>(doubles.get(), kArraySet)(doubles.get(), -0.125, 0, 1, 1);
  EXPECT_EQ(Slot<double (*)(ArrayObject*, int32_t, ...)>(doubles.get(), kArrayGet)(doubles.get(), 0, 1, 1), -0.125);

  ArrayRef bytes(CreateArray(1, kArrayUInt8, 0));
  Slot<void (*)(ArrayObject*, uint32_t, int32_t)>(bytes.get(), kArraySet)(bytes.get(), 0x1FF, 0);
  EXPECT_EQ(Slot<uint32_t (*)(ArrayObject*, int32_t)>(bytes.get(), kArrayGet)(bytes.get(), 0), 0xFFu);

  ArrayRef wide(CreateArray(1, kArrayUInt64, 0));
  Slot<void (*)(ArrayObject*, uint64_t, int32_t)>(wide.get(), kArraySet)(wide.get(), ~0ull, 0);
  EXPECT_EQ(Slot<uint64_t (*)(ArrayObject*, int32_t)>(wide.get(), kArrayGet)(wide.get(), 0), ~0ull);
}

TEST(ArrayCreate, TablesOfferWhatTheKindAndShapeSupport) {
  ArrayRef objects(CreateArray(1, kArrayObject, 0));
  EXPECT_EQ(objects->ops->slots[kArraySort], nullptr);
  EXPECT_EQ(objects->ops->slots[kArraySortWith], nullptr);
  EXPECT_NE(objects->ops->slots[kArrayIndexOf], nullptr);
  EXPECT_NE(objects->ops->slots[kArrayLockElement], nullptr);

  ArrayRef ints(CreateArray(1, kArrayInt32, 0));
  EXPECT_NE(ints->ops->slots[kArraySort], nullptr);
  EXPECT_EQ(ints->ops->slots[kArrayLockElement], nullptr);

  ArrayRef grid(CreateArray(2, kArrayString, 0, 0));
  for (ArraySlot s : {kArrayInsert, kArrayRemove, kArraySort, kArraySortWith, kArrayIndexOf, kArrayShuffle}) {
    EXPECT_EQ(grid->ops->slots[s], nullptr) << s;
  }
  for (ArraySlot s : {kArrayGet, kArraySet, kArrayRedim, kArrayUBound, kArrayLockElement, kArrayDestroy}) {
    EXPECT_NE(grid->ops->slots[s], nullptr) << s;
  }
  EXPECT_EQ(Slot<int32_t (*)(ArrayObject*)>(grid.get(), kArrayElementSize)(grid.get()), 8);
}

TEST(ArrayCreate, BadKindOrDimensionsIsReported) {
  quendal::test::FailureCapture capture;
  EXPECT_EQ(CreateArray(1, 12, 3), nullptr);
  EXPECT_EQ(CreateArray(0, kArrayInt32), nullptr);
  ASSERT_EQ(capture.reports().size(), 2u);
  EXPECT_TRUE(capture.Contains("RuntimeArrayFoundation"));
}

TEST(ArrayBounds, IndexChecksAndUBound) {
  ArrayRef a(CreateArray(1, kArrayInt32, 2));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<GetIntFn>(a.get(), kArrayGet)(a.get(), -1); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<GetIntFn>(a.get(), kArrayGet)(a.get(), 3); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<SetIntFn>(a.get(), kArraySet)(a.get(), 1, 3); }));
  EXPECT_EQ(UBound(a.get(), -1), 1);
  EXPECT_EQ(UBound(a.get(), 1), 2);
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { UBound(a.get(), 0); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { UBound(a.get(), 2); }));

  ArrayRef cube(CreateArray(3, kArrayInt8, 1, 4, -1));
  EXPECT_EQ(RuntimeUBound2Param(cube.get(), -1), 3);
  EXPECT_EQ(RuntimeUBound2Param(cube.get(), 2), 4);
  EXPECT_EQ(RuntimeUBound2Param(cube.get(), 3), -1);
  EXPECT_EQ(cube->data, nullptr) << "an empty dimension leaves no element";
}

/* ---- Redim --------------------------------------------------------------- */

TEST(ArrayRedim, OneDimensionKeepsThePrefixAndZeroesTheTail) {
  ArrayRef a(CreateArray(1, kArrayInt32, 2));
  for (int32_t i = 0; i <= 2; i++) Slot<SetIntFn>(a.get(), kArraySet)(a.get(), 10 + i, i);
  a->growth = 512;
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), 4);
  EXPECT_EQ(a->bufferLength, 20);
  EXPECT_EQ(a->growth, 16);
  const auto* v = static_cast<const int32_t*>(a->data);
  EXPECT_EQ((std::vector<int32_t>(v, v + 5)), (std::vector<int32_t>{10, 11, 12, 0, 0}));
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), 1);
  EXPECT_EQ(a->bufferLength, 8);
  EXPECT_EQ(Slot<GetIntFn>(a.get(), kArrayGet)(a.get(), 1), 11);

  void* unchanged = a->data;
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), 1);
  EXPECT_EQ(a->data, unchanged) << "the same bound does nothing";

  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), -1);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->bufferLength, 0);
  EXPECT_EQ(UBound(a.get(), 1), -1);
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), -2); }));
  EXPECT_EQ(UBound(a.get(), 1), -1);
}

TEST(ArrayRedim, ShrinkingReleasesDroppedReferences) {
  gFinalized = 0;
  ArrayRef a(CreateArray(1, kArrayObject, 3));
  for (int32_t i = 0; i <= 3; i++) {
    ObjectHeader* o = RuntimeNewObject(CountedClass());
    Slot<SetObjFn>(a.get(), kArraySet)(a.get(), o, i);
    RuntimeUnlockObject(o);
  }
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), 1);
  EXPECT_EQ(gFinalized, 2);
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), -1);
  EXPECT_EQ(gFinalized, 4);
}

TEST(ArrayRedim, SeveralDimensionsKeepElementsInPlace) {
  gFinalized = 0;
  /* 3 x 2 grid of objects; element (i, j) remembered by address. */
  ArrayRef grid(CreateArray(2, kArrayObject, 2, 1));
  using Set2 = void (*)(ArrayObject*, ObjectHeader*, int32_t, int32_t);
  using Get2 = ObjectHeader* (*)(ArrayObject*, int32_t, int32_t);
  ObjectHeader* at[3][2];
  for (int32_t i = 0; i <= 2; i++) {
    for (int32_t j = 0; j <= 1; j++) {
      at[i][j] = RuntimeNewObject(CountedClass());
      Slot<Set2>(grid.get(), kArraySet)(grid.get(), at[i][j], i, j);
      RuntimeUnlockObject(at[i][j]);
    }
  }
  /* To 2 x 3: column i = 2 goes, row j = 2 is new. */
  Slot<void (*)(ArrayObject*, int32_t, int32_t)>(grid.get(), kArrayRedim)(grid.get(), 1, 2);
  EXPECT_EQ(gFinalized, 2);
  EXPECT_EQ(grid->bufferLength, 2 * 3 * 8);
  for (int32_t i = 0; i <= 1; i++) {
    for (int32_t j = 0; j <= 1; j++) {
      ObjectHeader* o = Slot<Get2>(grid.get(), kArrayGet)(grid.get(), i, j);
      EXPECT_EQ(o, at[i][j]) << i << "," << j;
      RuntimeUnlockObject(o);
    }
    EXPECT_EQ(Slot<Get2>(grid.get(), kArrayGet)(grid.get(), i, 2), nullptr);
  }
  EXPECT_TRUE(Raises(kOutOfBounds, [&] {
    Slot<void (*)(ArrayObject*, int32_t, int32_t)>(grid.get(), kArrayRedim)(grid.get(), 0, -2);
  }));
  EXPECT_EQ(UBound(grid.get(), 2), 2) << "a refused redim changes nothing";

  ArrayRef cube(CreateArray(3, kArrayInt32, 1, 1, 1));
  using SetN = void (*)(ArrayObject*, int32_t, int32_t, ...);
  using GetN = int32_t (*)(ArrayObject*, int32_t, ...);
  Slot<SetN>(cube.get(), kArraySet)(cube.get(), 111, 1, 1, 1);
  Slot<SetN>(cube.get(), kArraySet)(cube.get(), 100, 1, 0, 0);
  Slot<void (*)(ArrayObject*, int32_t, ...)>(cube.get(), kArrayRedim)(cube.get(), 3, 1, 2);
  EXPECT_EQ(Slot<GetN>(cube.get(), kArrayGet)(cube.get(), 1, 1, 1), 111);
  EXPECT_EQ(Slot<GetN>(cube.get(), kArrayGet)(cube.get(), 1, 0, 0), 100);
  EXPECT_EQ(Slot<GetN>(cube.get(), kArrayGet)(cube.get(), 3, 1, 2), 0);
}

/* ---- Insert and Remove ----------------------------------------------------- */

TEST(ArrayInsert, GrowthDoublesAndCopiesAroundTheGap) {
  ArrayRef a(CreateArray(1, kArrayInt32, -1));
  auto insert = Slot<InsertIntFn>(a.get(), kArrayInsert);
  insert(a.get(), 0, 1);
  EXPECT_EQ(a->bufferLength, 16 * 4);
  EXPECT_EQ(a->growth, 32);
  for (int32_t i = 1; i < 16; i++) insert(a.get(), i, i + 1);
  EXPECT_EQ(a->bufferLength, 16 * 4) << "no growth while the buffer holds";
  insert(a.get(), 5, 100);
  EXPECT_EQ(a->bufferLength, (16 + 32) * 4);
  EXPECT_EQ(a->growth, 64);
  insert(a.get(), 0, -5);
  const auto* v = static_cast<const int32_t*>(a->data);
  std::vector<int32_t> expected = {-5, 1, 2, 3, 4, 5, 100, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(std::vector<int32_t>(v, v + 18), expected);
  EXPECT_EQ(UBound(a.get(), 1), 17);

  Slot<RemoveFn>(a.get(), kArrayRemove)(a.get(), 6);
  EXPECT_EQ(a->bufferLength, 17 * 4) << "remove reallocates exactly";
  EXPECT_EQ(a->growth, 16);
  EXPECT_EQ(Slot<GetIntFn>(a.get(), kArrayGet)(a.get(), 6), 6);
}

TEST(ArrayInsert, GrowthStepIsCapped) {
  using InsertByteFn = void (*)(ArrayObject*, int32_t, uint32_t);
  ArrayRef a(CreateArray(1, kArrayUInt8, 15));
  a->growth = 0x10000;
  Slot<InsertByteFn>(a.get(), kArrayInsert)(a.get(), 16, 1);
  EXPECT_EQ(a->bufferLength, 16 + 0x10000);
  EXPECT_EQ(a->growth, 0x20000);
  Slot<RedimFn>(a.get(), kArrayRedim)(a.get(), 20);
  a->growth = 0x20000;
  Slot<InsertByteFn>(a.get(), kArrayInsert)(a.get(), 0, 1);
  EXPECT_EQ(a->bufferLength, 21 + 0x20000);
  EXPECT_EQ(a->growth, 0x20000);
}

TEST(ArrayInsert, NegativeOrPastTheEndIndexRaises) {
  ArrayRef a(CreateArray(1, kArrayInt32, 1));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<InsertIntFn>(a.get(), kArrayInsert)(a.get(), -1, 0); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<InsertIntFn>(a.get(), kArrayInsert)(a.get(), 3, 0); }));
  Slot<InsertIntFn>(a.get(), kArrayInsert)(a.get(), 2, 9);
  EXPECT_EQ(UBound(a.get(), 1), 2);
  EXPECT_TRUE(Raises(quendal::kNilObjectExceptionDefinition, [&] {
    Slot<InsertIntFn>(a.get(), kArrayInsert)(nullptr, 0, 0);
  }));
}

TEST(ArrayRemove, OnlyElementAndBadIndexes) {
  ArrayRef a(CreateArray(1, kArrayString, -1));
  StringRef s = Text("only");
  Slot<InsertStrFn>(a.get(), kArrayInsert)(a.get(), 0, s.get());
  Slot<RemoveFn>(a.get(), kArrayRemove)(a.get(), 0);
  EXPECT_EQ(UBound(a.get(), 1), -1);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(s.get()->refCount, 1) << "the removed element is released";
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<RemoveFn>(a.get(), kArrayRemove)(a.get(), 0); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { Slot<RemoveFn>(a.get(), kArrayRemove)(a.get(), -1); }));
}

/* ---- IndexOf ------------------------------------------------------------- */

TEST(ArrayIndexOf, FindsFromStartWithTheKindsEquality) {
  ArrayRef a(CreateArray(1, kArrayString, 3));
  const char* texts[] = {"x", "Apple", "y", "apple"};
  for (int32_t i = 0; i < 4; i++) Slot<SetStrFn>(a.get(), kArraySet)(a.get(), Text(texts[i]).get(), i);
  using IndexOfStr = int32_t (*)(ArrayObject*, ORVAstring, int32_t);
  auto indexOf = Slot<IndexOfStr>(a.get(), kArrayIndexOf);
  StringRef apple = Text("APPLE");
  EXPECT_EQ(indexOf(a.get(), apple.get(), -1), 1) << "string equality ignores case";
  EXPECT_EQ(indexOf(a.get(), apple.get(), 2), 3);
  EXPECT_EQ(indexOf(a.get(), Text("z").get(), 0), -1);
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { indexOf(a.get(), apple.get(), 4); }));
  EXPECT_TRUE(Raises(kOutOfBounds, [&] { indexOf(a.get(), apple.get(), -2); }));

  ArrayRef empty(CreateArray(1, kArrayInt32, -1));
  EXPECT_EQ(Slot<int32_t (*)(ArrayObject*, int32_t, int32_t)>(empty.get(), kArrayIndexOf)(empty.get(), 0, 7), -1)
      << "an empty array finds nothing before checking start";

  ArrayRef bytes(CreateArray(1, kArrayInt8, 1));
  Slot<void (*)(ArrayObject*, int32_t, int32_t)>(bytes.get(), kArraySet)(bytes.get(), -3, 1);
  EXPECT_EQ(Slot<int32_t (*)(ArrayObject*, int32_t, int32_t)>(bytes.get(), kArrayIndexOf)(bytes.get(), -3, 0), 1);
}

/* ---- reference counts ------------------------------------------------------ */

TEST(ArrayReferences, SetLocksNewBeforeUnlockingOld) {
  gFinalized = 0;
  ArrayRef a(CreateArray(1, kArrayObject, 0));
  ObjectHeader* o = RuntimeNewObject(CountedClass());
  auto set = Slot<SetObjFn>(a.get(), kArraySet);
  set(a.get(), o, 0);
  RuntimeUnlockObject(o);
  EXPECT_EQ(o->refCount, 1) << "only the array holds it now";
  set(a.get(), o, 0);
  EXPECT_EQ(gFinalized, 0) << "storing the element the array holds keeps it alive";
  EXPECT_EQ(o->refCount, 1);

  ObjectHeader* got = Slot<GetObjFn>(a.get(), kArrayGet)(a.get(), 0);
  EXPECT_EQ(got, o);
  EXPECT_EQ(o->refCount, 2) << "Get returns the element locked";
  RuntimeUnlockObject(got);

  Slot<SetObjFn>(a.get(), kArraySetUnchecked)(a.get(), nullptr, 0);
  EXPECT_EQ(gFinalized, 1);
}

TEST(ArrayReferences, DestroyReleasesEveryElementOnce) {
  gFinalized = 0;
  const int32_t liveBefore = quendal::LiveObjectCount();
  StringRef s = Text("shared");
  {
    ArrayRef strings(CreateArray(2, kArrayString, 2, 2));
    using Set2 = void (*)(ArrayObject*, ORVAstring, int32_t, int32_t);
    for (int32_t i = 0; i <= 2; i++) Slot<Set2>(strings.get(), kArraySet)(strings.get(), s.get(), i, i);
    EXPECT_EQ(s.get()->refCount, 4);

    ArrayRef objects(CreateArray(1, kArrayObject, 4));
    for (int32_t i = 0; i <= 4; i++) {
      ObjectHeader* o = RuntimeNewObject(CountedClass());
      Slot<SetObjFn>(objects.get(), kArraySet)(objects.get(), o, i);
      RuntimeUnlockObject(o);
    }
    EXPECT_EQ(quendal::LiveObjectCount(), liveBefore + 2 + 5);
  }
  EXPECT_EQ(s.get()->refCount, 1);
  EXPECT_EQ(gFinalized, 5);
  EXPECT_EQ(quendal::LiveObjectCount(), liveBefore);
}

TEST(ArrayReferences, LockAndUnlockElementSlots) {
  ArrayRef a(CreateArray(1, kArrayString, 0));
  StringRef s = Text("counted");
  using ElementFn = void (*)(ArrayObject*, ORVAstring);
  Slot<ElementFn>(a.get(), kArrayLockElement)(a.get(), s.get());
  EXPECT_EQ(s.get()->refCount, 2);
  Slot<ElementFn>(a.get(), kArrayUnlockElement)(a.get(), s.get());
  EXPECT_EQ(s.get()->refCount, 1);
}

} // namespace
