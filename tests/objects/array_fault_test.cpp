/*
** Arrays under allocation failure: every operation that needs a new
** buffer raises OutOfMemoryException and leaves the array exactly as it
** was (bounds, buffer, contents and reference counts).  Failures are
** injected at the N-th buffer allocation, for every N an operation reaches.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/base/allocation.h"
#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/simple_vector.h"
#include "runtime/text/string_core.h"
#include "tests/objects/array_test_support.h"
#include "tests/support/test_support.h"

namespace {

using quendal::test::Slot;

/* Runs fn with the n-th buffer allocation failing.  True when fn raised
** OutOfMemoryException; false when it completed; any other raise fails
** the test. */
template <typename Fn>
bool FailsWithAllocation(int32_t n, Fn fn) {
  quendal::test::FailureCapture quiet; /* SimpleVector reports "mBuf" */
  quendal::FailAllocationForTesting(n);
  bool failed = false;
  try {
    fn();
  } catch (const quendal::RaisedException& raised) {
    EXPECT_TRUE(RuntimeObjectIsa(raised.object(), LookupObjectDefinition(&quendal::kOutOfMemoryExceptionDefinition)));
    failed = true;
  }
  quendal::FailAllocationForTesting(0);
  return failed;
}

/* What an operation must leave unchanged when it fails. */
struct Snapshot {
  void* data;
  int32_t bufferLength;
  int32_t growth;
  std::vector<int32_t> bounds;
  std::vector<uint8_t> bytes;

  explicit Snapshot(const ArrayObject* a)
      : data(a->data), bufferLength(a->bufferLength), growth(a->growth),
        bounds(a->upperBounds, a->upperBounds + a->dimensions),
        bytes(static_cast<const uint8_t*>(a->data), static_cast<const uint8_t*>(a->data) + a->bufferLength) {}

  bool operator==(const Snapshot&) const = default;
};

ArrayObject* Counting(int32_t kind, int32_t count) {
  ArrayObject* a = CreateArray(1, kind, count - 1);
  for (int32_t i = 0; i < count; i++) {
    if (kind == kArrayInt32) static_cast<int32_t*>(a->data)[i] = (i * 7) % count;
  }
  return a;
}

TEST(ArrayFault, InsertThatMustGrowFailsCleanly) {
  ArrayObject* a = Counting(kArrayInt32, 16);
  ASSERT_EQ(a->bufferLength, 64);
  const Snapshot before(a);
  EXPECT_TRUE(FailsWithAllocation(1, [&] { Slot<void (*)(ArrayObject*, int32_t, int32_t)>(a, kArrayInsert)(a, 3, 99); }));
  EXPECT_EQ(Snapshot(a), before);
  EXPECT_FALSE(FailsWithAllocation(2, [&] { Slot<void (*)(ArrayObject*, int32_t, int32_t)>(a, kArrayInsert)(a, 3, 99); }));
  EXPECT_EQ(a->upperBounds[0], 16);
  EXPECT_EQ(static_cast<int32_t*>(a->data)[3], 99);
  RuntimeUnlockObject(&a->header);
}

TEST(ArrayFault, FailedStringInsertTakesNoReference) {
  ArrayObject* a = CreateArray(1, kArrayString, -1);
  quendal::StringRef s(quendal::StringCreate("kept", kEncodingUTF8));
  EXPECT_TRUE(FailsWithAllocation(1, [&] { Slot<void (*)(ArrayObject*, int32_t, ORVAstring)>(a, kArrayInsert)(a, 0, s.get()); }));
  EXPECT_EQ(a->upperBounds[0], -1);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(s.get()->refCount, 1);
  RuntimeUnlockObject(&a->header);
}

TEST(ArrayFault, RedimAndRemoveFailCleanly) {
  ArrayObject* a = Counting(kArrayInt32, 10);
  const Snapshot before(a);
  EXPECT_TRUE(FailsWithAllocation(1, [&] { Slot<void (*)(ArrayObject*, int32_t)>(a, kArrayRedim)(a, 20); }));
  EXPECT_EQ(Snapshot(a), before);
  EXPECT_TRUE(FailsWithAllocation(1, [&] { Slot<void (*)(ArrayObject*, int32_t)>(a, kArrayRemove)(a, 4); }));
  EXPECT_EQ(Snapshot(a), before);
  RuntimeUnlockObject(&a->header);

  ArrayObject* grid = CreateArray(3, kArrayString, 2, 2, 2);
  quendal::StringRef s(quendal::StringCreate("x", kEncodingUTF8));
  Slot<void (*)(ArrayObject*, ORVAstring, int32_t, ...)>(grid, kArraySet)(grid, s.get(), 2, 2, 2);
  const Snapshot gridBefore(grid);
  int32_t n = 1;
  while (FailsWithAllocation(n, [&] { Slot<void (*)(ArrayObject*, int32_t, ...)>(grid, kArrayRedim)(grid, 1, 1, 1); })) {
    EXPECT_EQ(Snapshot(grid), gridBefore) << "allocation " << n;
    EXPECT_EQ(s.get()->refCount, 2);
    n++;
  }
  EXPECT_GT(n, 1);
  EXPECT_EQ(s.get()->refCount, 1) << "the dropped element was released once the redim succeeded";
  RuntimeUnlockObject(&grid->header);
}

TEST(ArrayFault, CreationFailsWithoutLeavingAnObject) {
  const int32_t live = quendal::LiveObjectCount();
  EXPECT_TRUE(FailsWithAllocation(1, [] { CreateArray(2, kArrayInt64, 9, 9); }));
  EXPECT_EQ(quendal::LiveObjectCount(), live);
  EXPECT_TRUE(FailsWithAllocation(0, [] { CreateArray(2, kArrayInt64, 0x10000, 0x10000); }))
      << "a buffer beyond 2 GiB is refused before any allocation";
  EXPECT_EQ(quendal::LiveObjectCount(), live);
}

TEST(ArrayFault, SortAndSortWithFailBeforeMovingAnything) {
  ArrayObject* keys = Counting(kArrayInt32, 40);
  ArrayObject* other = Counting(kArrayInt32, 40);
  const Snapshot keysBefore(keys);
  const Snapshot otherBefore(other);
  EXPECT_TRUE(FailsWithAllocation(1, [&] { Slot<void (*)(ArrayObject*)>(keys, kArraySort)(keys); }));
  EXPECT_EQ(Snapshot(keys), keysBefore);

  int32_t n = 1;
  auto sortWith = Slot<void (*)(ArrayObject*, ...)>(keys, kArraySortWith);
  while (FailsWithAllocation(n, [&] { sortWith(keys, other, nullptr); })) {
    EXPECT_EQ(Snapshot(keys), keysBefore) << "allocation " << n;
    EXPECT_EQ(Snapshot(other), otherBefore) << "allocation " << n;
    n++;
  }
  EXPECT_GE(n, 4) << "companion list, scratch buffers and the range stack all allocate";
  const int32_t* sorted = static_cast<const int32_t*>(keys->data);
  for (int32_t i = 0; i < 40; i++) EXPECT_EQ(sorted[i], i);
  EXPECT_EQ(std::memcmp(keys->data, other->data, 40 * sizeof(int32_t)), 0)
      << "the companion held the same values, so it sorts the same way";
  RuntimeUnlockObject(&keys->header);
  RuntimeUnlockObject(&other->header);
}

} // namespace
