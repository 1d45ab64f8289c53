/*
** Dictionary: bins and resizing, key equality through variants, order and
** removal, index and key errors, re-entry from a key's hash, allocation
** failures and releases.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/base/allocation.h"
#include "runtime/objects/dictionary.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::FailureCapture;
using test::RaisedClass;

ObjectRef Int(int32_t v) { return ObjectRef(Int32ToVariant(v)); }
ObjectRef Str(const char* text) {
  StringRef s(StringFromCString(text));
  return ObjectRef(StringToVariant(s.get()));
}
int32_t IntOf(ObjectHeader* v) { return VariantToInt32(v); }

class Dictionaries : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = LiveObjectCount();
    d_ = reinterpret_cast<DictionaryObject*>(RuntimeNewObject(RuntimeLookupDictionaryClass()));
    dictionaryConstructor(d_);
  }
  void TearDown() override {
    RuntimeUnlockObject(&d_->header);
    EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked";
  }
  void Set(const ObjectRef& key, const ObjectRef& value) { dictionaryValueSetter(d_, key.get(), value.get()); }
  int32_t Get(const ObjectRef& key) {
    ObjectRef v(dictionaryValueGetter(d_, key.get()));
    return IntOf(v.get());
  }
  int32_t KeyAt(int32_t i) {
    ObjectRef k(dictionaryKey(d_, i));
    return IntOf(k.get());
  }
  DictionaryObject* d_ = nullptr;
  int32_t live_ = 0;
};

TEST_F(Dictionaries, BinsGrowPastThreeQuartersToTheNextSize) {
  EXPECT_EQ(dictionaryGetBins(d_), 61);
  for (int32_t i = 0; i < 46; i++) Set(Int(i), Int(i * 10));
  EXPECT_EQ(dictionaryGetBins(d_), 61) << "46 * 4 / 3 = 61: the size it has";
  Set(Int(46), Int(460));
  EXPECT_EQ(dictionaryGetBins(d_), 127);
  for (int32_t i = 0; i < 400; i++) Set(Int(i), Int(i * 10));
  EXPECT_EQ(dictionaryGetBins(d_), 1021);
  EXPECT_EQ(dictionaryCount(d_), 400);
  for (int32_t i = 0; i < 400; i++) ASSERT_EQ(Get(Int(i)), i * 10);
  for (int32_t i = 0; i < 400; i++) ASSERT_EQ(KeyAt(i), i) << "insertion order";
}

TEST_F(Dictionaries, FixedBinsStayUntilSetBackToAutomatic) {
  dictionarySetBins(d_, 10);
  for (int32_t i = 0; i < 200; i++) Set(Int(i), Int(-i));
  EXPECT_EQ(dictionaryGetBins(d_), 10);
  for (int32_t i = 0; i < 200; i++) ASSERT_EQ(Get(Int(i)), -i);
  dictionarySetBins(d_, 0);
  EXPECT_EQ(dictionaryGetBins(d_), 509) << "200 * 4 / 3 = 266";
  EXPECT_EQ(d_->fixedBins, 0);
  dictionaryRemoveAll(d_);
  EXPECT_EQ(dictionaryCount(d_), 0);
  EXPECT_EQ(dictionaryGetBins(d_), 61);
}

TEST_F(Dictionaries, KeysAreVariantsComparedByValue) {
  Set(Str("abc"), Int(1));
  Set(Str("ABC"), Int(2));
  EXPECT_EQ(dictionaryCount(d_), 1) << "String keys ignore case";
  EXPECT_EQ(Get(Str("aBc")), 2);
  Set(Int(1), Int(10));
  ObjectRef one(DoubleToVariant(1.0));
  ASSERT_TRUE(VariantEqual(one.get(), Int(1).get()));
  EXPECT_FALSE(dictionaryHasKey(d_, one.get())) << "equal values whose hashes differ are different keys";
  dictionaryValueSetter(d_, nullptr, nullptr);
  EXPECT_TRUE(dictionaryHasKey(d_, nullptr)) << "nil is a key like any other";
  ObjectRef missing(Str("missing"));
  ObjectRef fallback(Int(99));
  EXPECT_EQ(DictionaryLookup(d_, missing.get(), nullptr), nullptr);
  ObjectRef got(DictionaryLookup(d_, missing.get(), fallback.get()));
  EXPECT_EQ(got.get(), fallback.get());
  EXPECT_EQ(fallback.get()->refCount, 2) << "the default comes back locked";
}

/* A key class whose hash is 7, like the one-byte String "\x07". */
int32_t HashSeven(ObjectHeader*) { return 7; }
DictionaryObject* gReenter = nullptr;
int32_t HashThatChangesTheDictionary(ObjectHeader*) {
  if (gReenter) dictionaryValueSetter(gReenter, nullptr, nullptr);
  return 7;
}

ClassRecord* KeyClass(const char* name, int32_t (*hash)(ObjectHeader*)) {
  ClassRecord* cls = RuntimeNewClass(nullptr, 1, 0, 0, 0, 0);
  cls->className = StringFromCString(name);
  cls->objectSize = sizeof(ObjectHeader);
  cls->methods[0].entry = reinterpret_cast<void*>(hash);
  cls->methods[0].signature = StringFromCString((std::string("Operator_Hash%i4%o<") + name + ">").c_str());
  return cls;
}

TEST_F(Dictionaries, KeysOfTypesThatCannotBeComparedAreDifferentKeys) {
  ObjectRef object(RuntimeNewObject(KeyClass("DictionaryHashSeven", &HashSeven)));
  ObjectRef text(Str("\x07"));
  ASSERT_EQ(VariantHash(object.get()), VariantHash(text.get()));
  Set(object, Int(1));
  Set(text, Int(2));
  EXPECT_EQ(dictionaryCount(d_), 2);
  EXPECT_EQ(Get(object), 1);
  EXPECT_EQ(Get(text), 2);
}

TEST_F(Dictionaries, AChangeFromInsideAKeysHashIsReportedNotAwaited) {
  FailureCapture capture;
  ObjectRef key(RuntimeNewObject(KeyClass("DictionaryReentrantKey", &HashThatChangesTheDictionary)));
  gReenter = d_;
  Set(key, Int(5));
  gReenter = nullptr;
  EXPECT_TRUE(capture.Contains("Failure Condition: !mBusy"));
  EXPECT_EQ(dictionaryCount(d_), 1) << "the nested change did nothing";
  EXPECT_EQ(Get(key), 5);
  EXPECT_EQ(d_->busy, 0);
}

TEST_F(Dictionaries, RemovalMovesTheLastEntryIntoTheGap) {
  for (int32_t k : {1, 2, 3}) Set(Int(k), Int(k * 100));
  dictionaryRemove(d_, Int(1).get());
  EXPECT_EQ(dictionaryCount(d_), 2);
  EXPECT_EQ(KeyAt(0), 3);
  EXPECT_EQ(KeyAt(1), 2);
  ObjectRef values(&dictionaryValues(d_)->header);
  auto* array = reinterpret_cast<ArrayObject*>(values.get());
  ASSERT_EQ(RuntimeUBound(array), 1);
  ObjectRef first(RuntimeDirectReadObjectArray(array, 0));
  EXPECT_EQ(IntOf(first.get()), 300);
  EXPECT_FALSE(dictionaryHasKey(d_, Int(1).get()));
  EXPECT_EQ(Get(Int(2)), 200);
  EXPECT_EQ(RaisedClass([&] { dictionaryRemove(d_, Int(1).get()); }), "KeyNotFoundException");
  ObjectRef keys(&dictionaryKeys(d_)->header);
  EXPECT_EQ(RuntimeUBound(reinterpret_cast<ArrayObject*>(keys.get())), 1);
}

TEST_F(Dictionaries, BadIndexesAndMissingKeysRaise) {
  Set(Int(1), Int(1));
  EXPECT_EQ(RaisedClass([&] { dictionaryKey(d_, -1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { dictionaryKey(d_, 1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { dictionaryValueByIndex(d_, -1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { dictionaryValueGetter(d_, Int(2).get()); }), "KeyNotFoundException");
  EXPECT_EQ(RaisedClass([&] { dictionaryCount(nullptr); }), "NilObjectException");
  ObjectRef v(dictionaryValueByIndex(d_, 0));
  EXPECT_EQ(IntOf(v.get()), 1);
}

TEST_F(Dictionaries, ReferencesAreHeldOnceAndReleasedByEveryRemovalPath) {
  ObjectRef value(Str("held"));
  Set(Int(1), value);
  Set(Int(1), value); /* the same value again: still one reference */
  EXPECT_EQ(value.get()->refCount, 2);
  Set(Int(2), value);
  EXPECT_EQ(value.get()->refCount, 3);
  dictionaryRemove(d_, Int(2).get());
  EXPECT_EQ(value.get()->refCount, 2);
  dictionaryRemoveAll(d_);
  EXPECT_EQ(value.get()->refCount, 1);
  Set(Int(3), value);
  ObjectHeader* other = RuntimeNewObject(RuntimeLookupDictionaryClass());
  dictionaryValueSetter(reinterpret_cast<DictionaryObject*>(other), value.get(), value.get());
  EXPECT_EQ(value.get()->refCount, 4);
  RuntimeUnlockObject(other); /* the destructor releases key and value */
  EXPECT_EQ(value.get()->refCount, 2);
}

TEST_F(Dictionaries, FailedAllocationsLeaveTheDictionaryWhole) {
  for (int32_t i = 0; i < 46; i++) Set(Int(i), Int(i));
  ObjectRef key(Int(46)), value(Int(46));
  FailAllocationForTesting(1); /* the new entry */
  EXPECT_EQ(RaisedClass([&] { Set(key, value); }), "OutOfMemoryException");
  EXPECT_EQ(dictionaryCount(d_), 46);
  EXPECT_FALSE(dictionaryHasKey(d_, key.get()));
  FailAllocationForTesting(2); /* the bins of the automatic resize */
  Set(key, value);
  EXPECT_EQ(dictionaryCount(d_), 47);
  EXPECT_EQ(dictionaryGetBins(d_), 61) << "the old bins serve on";
  Set(Int(47), value);
  EXPECT_EQ(dictionaryGetBins(d_), 127);
  FailAllocationForTesting(1);
  EXPECT_EQ(RaisedClass([&] { dictionarySetBins(d_, 1000); }), "OutOfMemoryException");
  EXPECT_EQ(dictionaryGetBins(d_), 127);
  EXPECT_EQ(d_->fixedBins, 0);
  for (int32_t i = 0; i < 48; i++) ASSERT_TRUE(dictionaryHasKey(d_, Int(i).get()));
}

} // namespace
} // namespace quendal
