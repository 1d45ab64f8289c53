/*
** Weak references, delegates, the generic accessors, Collection and
** ObjectCursor.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::ClassName;
using test::FailureCapture;
using test::RaisedClass;
using test::Text;

/* A plain object with room for every field kind. */
struct Fields {
  ObjectHeader header;
  uint8_t byte;       /* 48 */
  int16_t shortValue; /* 50 */
  int32_t intValue;   /* 52 */
  int64_t int64Value; /* 56 */
  float singleValue;  /* 64 */
  bool boolValue;     /* 68 */
  double doubleValue; /* 72 */
  ORVAstring text;    /* 80 */
  ObjectHeader* obj;  /* 88 */
};

class ObjectKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = LiveObjectCount();
    plain_ = RuntimeNewClass(nullptr, 0, 0, 0, 0, 0);
    plain_->className = StringFromCString("TestKindsPlain");
    plain_->objectSize = sizeof(Fields);
  }
  void TearDown() override { EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked"; }
  ObjectHeader* NewPlain() { return RuntimeNewObject(plain_); }
  ObjectHeader* New(const ObjectDefinition* d) { return RuntimeNewObject(LookupObjectDefinition(d)); }
  int32_t live_ = 0;
  ClassRecord* plain_ = nullptr;
};

TEST_F(ObjectKinds, WeakReferencesFollowTheirTargetWithoutCountingIt) {
  ObjectHeader* target = NewPlain();
  auto* a = reinterpret_cast<WeakRefObject*>(New(&kWeakRefDefinition));
  auto* b = reinterpret_cast<WeakRefObject*>(New(&kWeakRefDefinition));
  RegisterWeakRef(a, target);
  RegisterWeakRef(b, target);
  RegisterWeakRef(b, target);  /* registering again must not link it twice */
  EXPECT_EQ(target->refCount, 1);
  ObjectHeader* resolved = ResolveWeakRef(a);
  EXPECT_EQ(resolved, target);
  EXPECT_EQ(target->refCount, 2);
  RuntimeUnlockObject(resolved);
  RuntimeUnlockObject(&b->header);  /* a destroyed reference leaves the list */
  RuntimeUnlockObject(target);
  EXPECT_EQ(ResolveWeakRef(a), nullptr);
  EXPECT_EQ(a->target, nullptr);
  UnregisterWeakRef(a);  /* already cleared: nothing */
  RegisterWeakRef(a, nullptr);
  EXPECT_EQ(ResolveWeakRef(nullptr), nullptr);
  RuntimeUnlockObject(&a->header);
}

extern "C" void TestKindsInvoker() {}
extern "C" void TestKindsEntry() {}

TEST_F(ObjectKinds, DelegatesHoldTheirTargetAndCompareByEntryAndTarget) {
  ObjectHeader* target = NewPlain();
  StringRef signature(StringFromCString("%%i4"));
  void* invoker = reinterpret_cast<void*>(&TestKindsInvoker);
  void* entry = reinterpret_cast<void*>(&TestKindsEntry);
  EXPECT_EQ(RuntimeCreateDelegate(nullptr, entry, target, signature.get()), nullptr);
  EXPECT_EQ(RuntimeCreateDelegate(invoker, nullptr, target, signature.get()), nullptr);
  DelegateObject* d = RuntimeCreateDelegate(invoker, entry, target, signature.get());
  DelegateObject* same = RuntimeCreateDelegate(invoker, entry, target, signature.get());
  DelegateObject* unbound = RuntimeCreateDelegate(invoker, entry, nullptr, signature.get());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ClassName(&d->header), "Delegate");
  EXPECT_EQ(target->refCount, 3);
  EXPECT_TRUE(RuntimeCompareDelegates(d, same));
  EXPECT_FALSE(RuntimeCompareDelegates(d, unbound));
  EXPECT_FALSE(RuntimeCompareDelegates(d, nullptr));
  EXPECT_TRUE(RuntimeCompareDelegates(nullptr, nullptr));

  StringRef other(StringFromCString("%s%"));
  EXPECT_TRUE(RuntimeDelegateIsA(&d->header, signature.get()));
  EXPECT_FALSE(RuntimeDelegateIsA(&d->header, other.get()));
  EXPECT_FALSE(RuntimeDelegateIsA(target, signature.get()));
  EXPECT_EQ(RuntimeCheckDelegateCast(&d->header, signature.get()), &d->header);
  EXPECT_EQ(d->header.refCount, 2);
  RuntimeUnlockObject(&d->header);
  EXPECT_EQ(RuntimeCheckDelegateCast(nullptr, signature.get()), nullptr);
  EXPECT_EQ(RaisedClass([&] { RuntimeCheckDelegateCast(&d->header, other.get()); }), "IllegalCastException");

  StringRef nil(DelegateTargetGetter(nullptr));
  EXPECT_EQ(Text(nil.get()), "Nil");
  StringRef address(DelegateTargetGetter(d));  /* native code: no routine name */
  char expected[32];
  std::snprintf(expected, sizeof expected, "&h%llX", static_cast<unsigned long long>(uintptr_t(entry)));
  EXPECT_EQ(Text(address.get()), expected);

  RuntimeUnlockObject(&d->header);
  RuntimeUnlockObject(&same->header);
  RuntimeUnlockObject(&unbound->header);
  EXPECT_EQ(target->refCount, 1);
  EXPECT_EQ(signature.get()->refCount, 1);
  RuntimeUnlockObject(target);
}

TEST_F(ObjectKinds, GenericAccessorsReadAndWriteFieldsByOffset) {
  ObjectHeader* o = NewPlain();
  Fields* f = reinterpret_cast<Fields*>(o);
  byteSetter(o, 48, 200);
  EXPECT_EQ(byteGetter(o, 48), 200);
  shortSetter(o, 50, -2);
  EXPECT_EQ(shortGetter(o, 50), -2);  /* sign-extended */
  intSetter(o, 52, -70000);
  EXPECT_EQ(intGetter(o, 52), -70000);
  int64Setter(o, 56, INT64_MIN);
  EXPECT_EQ(int64Getter(o, 56), INT64_MIN);
  singleSetter(o, 64, 0.1);
  EXPECT_EQ(singleGetter(o, 64), double(0.1f));  /* widened from the stored single */
  boolSetter(o, 68, true);
  EXPECT_TRUE(boolGetter(o, 68));
  EXPECT_EQ(f->boolValue, true);
  doubleSetter(o, 72, 2.5);
  EXPECT_EQ(doubleGetter(o, 72), 2.5);

  StringRef text(StringFromCString("title"));
  stringSetter(o, 80, text.get());
  stringSetter(o, 80, text.get());  /* the same value again: still one reference */
  EXPECT_EQ(text.get()->refCount, 2);
  StringRef got(stringGetter(o, 80));
  EXPECT_EQ(got.get(), text.get());
  EXPECT_EQ(text.get()->refCount, 3);
  SSToStringSetter(o, 80, nullptr);
  EXPECT_EQ(StringToSSGetter(o, 80), nullptr);
  EXPECT_EQ(text.get()->refCount, 2);

  ObjectHeader* value = NewPlain();
  objSetter(o, 88, value);
  RuntimeUnlockObject(value);  /* the field keeps it */
  ObjectHeader* back = objGetter(o, 88);
  EXPECT_EQ(back, value);
  EXPECT_EQ(value->refCount, 2);
  RuntimeUnlockObject(back);
  objSetter(o, 88, nullptr);  /* releases the old value */

  FailureCapture reports;
  intSetter(o, 40, 1);       /* inside the header */
  EXPECT_EQ(intGetter(o, int32_t(sizeof(Fields)) - 2), 0);  /* runs past the object */
  EXPECT_EQ(reports.reports().size(), 2u);
  EXPECT_EQ(RaisedClass([] { intGetter(nullptr, 48); }), "NilObjectException");
  RuntimeUnlockObject(o);
}

TEST_F(ObjectKinds, CollectionsKeepOrderedKeyedEntries) {
  auto* c = reinterpret_cast<CollectionObject*>(New(&kCollectionDefinition));
  EXPECT_EQ(collectionCount(c), 0);
  ObjectHeader* first = NewPlain();
  ObjectHeader* second = NewPlain();
  StringRef alpha(StringFromCString("alpha"));
  StringRef beta(StringFromCString("Beta"));
  collectionAdd(c, first, alpha.get());
  collectionAdd(c, second, beta.get());
  collectionAdd(c, first, beta.get());
  EXPECT_EQ(collectionCount(c), 3);
  EXPECT_EQ(first->refCount, 3);

  ObjectHeader* item = collectionIdxItem(c, 2);
  EXPECT_EQ(item, second);
  RuntimeUnlockObject(item);
  StringRef lookup(StringFromCString("BETA"));  /* language equality ignores case */
  item = collectionItem(c, lookup.get());
  EXPECT_EQ(item, second);
  RuntimeUnlockObject(item);
  StringRef missing(StringFromCString("gamma"));
  EXPECT_EQ(collectionItem(c, missing.get()), nullptr);
  EXPECT_EQ(RaisedClass([&] { collectionIdxItem(c, 0); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { collectionIdxItem(c, 4); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { collectionIdxRemove(c, 9); }), "OutOfBoundsException");

  collectionKeyRemove(c, lookup.get());  /* the first "beta": second */
  EXPECT_EQ(collectionCount(c), 2);
  EXPECT_EQ(second->refCount, 1);
  collectionKeyRemove(c, missing.get());
  collectionIdxRemove(c, 1);
  EXPECT_EQ(collectionCount(c), 1);
  item = collectionIdxItem(c, 1);
  EXPECT_EQ(item, first);
  RuntimeUnlockObject(item);
  RuntimeUnlockObject(&c->header);  /* releases the remaining entry */
  EXPECT_EQ(first->refCount, 1);
  EXPECT_EQ(beta.get()->refCount, 1);
  RuntimeUnlockObject(first);
  RuntimeUnlockObject(second);
  EXPECT_EQ(RaisedClass([] { collectionCount(nullptr); }), "NilObjectException");
}

/* NextObject of the test cursor: three fresh objects, then nil. */
ClassRecord* gCursorItemClass = nullptr;
int gPulls = 0;
ObjectHeader* NextTestObject(ObjectHeader*) {
  gPulls++;
  return gPulls <= 3 ? RuntimeNewObject(gCursorItemClass) : nullptr;
}

TEST_F(ObjectKinds, ObjectCursorsPullLazilyAndStopAtTheFirstNil) {
  ClassRecord* base = LookupObjectDefinition(&kObjectCursorDefinition);
  ClassRecord* cls = RuntimeNewClass(base, 0, 0, base->eventCount, 0, 0);
  cls->className = StringFromCString("TestKindsCursor");
  cls->objectSize = base->objectSize;
  ASSERT_EQ(EventIndexNamed(cls, "NextObject"), 0);
  cls->events[0].handler = reinterpret_cast<void*>(&NextTestObject);
  gCursorItemClass = plain_;
  gPulls = 0;

  auto* cursor = reinterpret_cast<ObjectCursorObject*>(RuntimeNewObject(cls));
  ObjectHeader* second = objectCursorGetItem(cursor, 2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(gPulls, 2);
  EXPECT_EQ(second->refCount, 2);
  RuntimeUnlockObject(second);
  EXPECT_EQ(objectCursorGetItem(cursor, 0), nullptr);
  EXPECT_EQ(objectCursorCountGetter(cursor), 3);
  EXPECT_EQ(gPulls, 4);
  EXPECT_EQ(objectCursorGetItem(cursor, 4), nullptr);
  EXPECT_EQ(objectCursorNextObject(cursor), nullptr);
  EXPECT_EQ(gPulls, 4);  /* exhausted: never asked again */

  /* A cursor without a NextObject implementation is an empty sequence. */
  ObjectHeader* plainCursor = RuntimeNewObject(base);
  EXPECT_EQ(objectCursorCountGetter(reinterpret_cast<ObjectCursorObject*>(plainCursor)), 0);
  RuntimeUnlockObject(plainCursor);
  RuntimeUnlockObject(&cursor->header);  /* releases the three pulled objects */
}

} // namespace
} // namespace quendal
