/*
** Class records, objects, reference counts and destruction order.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::FailureCapture;

/* An object with two fields after the header. */
struct TestObject {
  ObjectHeader header;
  ObjectHeader* next;
  int32_t index;
};

ClassRecord* MakeClass(const char* name, ClassRecord* base, int32_t methods = 0, int32_t interfaces = 0,
                       int32_t events = 0, int32_t accessors = 0, int32_t properties = 0) {
  ClassRecord* c = RuntimeNewClass(base, methods, interfaces, events, accessors, properties);
  c->className = StringFromCString(name);
  c->objectSize = sizeof(TestObject);
  return c;
}

std::string ClassNameOf(ObjectHeader* o) { return std::string(StringView(o->classPtr->className)); }

/* Hooks record what ran, in order. */
std::vector<std::string> gLog;
void InitBase(ObjectHeader*) { gLog.push_back("init base"); }
void InitDerived(ObjectHeader*) { gLog.push_back("init derived"); }
void FinalBase(ObjectHeader*) { gLog.push_back("final base"); }
void FinalDerived(ObjectHeader*) { gLog.push_back("final derived"); }
void HookBase(ObjectHeader*) { gLog.push_back("hook base"); }
void HookDerived(ObjectHeader*) { gLog.push_back("hook derived"); }

TEST(ObjectClasses, NewClassCopiesTheBaseTablesAndLinksTheClassList) {
  ClassRecord* iface = MakeClass("TestInterfaceA", nullptr);
  iface->isAnInterface = 1;
  ClassRecord* base = RuntimeNewClass(nullptr, 2, 1, 1, 2, 1);
  base->methods[0].entry = reinterpret_cast<void*>(&InitBase);
  base->methods[1].entry = reinterpret_cast<void*>(&InitDerived);
  base->events[0].name = StringFromCString("Run");
  base->accessors[1].entry = reinterpret_cast<void*>(&FinalBase);
  base->properties[0].parameter = 48;
  base->interfaces[0].interface = iface;

  ClassRecord* derived = RuntimeNewClass(base, 3, 2, 2, 2, 2);
  EXPECT_EQ(ClassListHead(), derived);
  EXPECT_EQ(derived->nextClass, base);
  EXPECT_EQ(derived->super, base);
  EXPECT_EQ(derived->methods[1].entry, base->methods[1].entry);
  EXPECT_EQ(derived->methods[2].entry, nullptr);
  EXPECT_EQ(derived->events[0].name, base->events[0].name);
  EXPECT_EQ(derived->accessors[1].entry, base->accessors[1].entry);
  EXPECT_EQ(derived->properties[0].parameter, 48);
  EXPECT_EQ(derived->interfaces[0].interface, iface);
  /* The tables follow the inline interface entries in one block. */
  uint8_t* block = reinterpret_cast<uint8_t*>(derived);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(derived->methods), block + 128 + 2 * 24);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(derived->events), block + 128 + 2 * 24 + 3 * 16);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(derived->properties), block + 128 + 2 * 24 + 3 * 16 + 2 * 16 + 2 * 16);
}

TEST(ObjectClasses, FewerEntriesThanTheBaseAreReportedAndNeverCopiedPastTheTable) {
  ClassRecord* base = RuntimeNewClass(nullptr, 4, 0, 0, 3, 0);
  for (int i = 0; i < 3; i++) base->accessors[i].entry = reinterpret_cast<void*>(&InitBase);
  {
    FailureCapture reports;
    ClassRecord* fewerMethods = RuntimeNewClass(base, 2, 0, 0, 3, 0);
    ASSERT_EQ(reports.reports().size(), 1u);
    EXPECT_TRUE(reports.Contains("Failure Condition: out->methods.count >= base->methods.count"));
    EXPECT_TRUE(reports.Contains("RuntimeObjectFoundation"));
    EXPECT_EQ(fewerMethods->methodCount, 2);
    /* The accessor table directly follows the two method entries. */
    EXPECT_EQ(reinterpret_cast<uint8_t*>(fewerMethods->accessors),
              reinterpret_cast<uint8_t*>(fewerMethods->methods) + 2 * 16);
    EXPECT_EQ(fewerMethods->accessors[0].entry, base->accessors[0].entry);
  }
  {
    FailureCapture reports;
    ClassRecord* fewerAccessors = RuntimeNewClass(base, 4, 0, 0, 1, 0);
    EXPECT_TRUE(reports.reports().empty()) << reports.all();
    EXPECT_EQ(fewerAccessors->accessors[0].entry, base->accessors[0].entry);
  }
}

TEST(ObjectClasses, VtablesAndRegistration) {
  EXPECT_EQ(RuntimeNewVtable(0), nullptr);
  EXPECT_EQ(RuntimeNewVtable(-3), nullptr);
  MethodEntry* table = RuntimeNewVtable(3);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[2].entry, nullptr);
  std::free(table);

  FailureCapture reports;
  RuntimeRegisterClass(nullptr);
  EXPECT_TRUE(reports.Contains("Failure Condition: it\n"));
  /* A record already on the list is not pushed again (that would loop the list). */
  ClassRecord* c = MakeClass("TestRegisteredTwice", nullptr);
  RuntimeRegisterClass(c);
  EXPECT_EQ(ClassListHead(), c);
  EXPECT_EQ(reports.reports().size(), 2u);
}

TEST(ObjectLifetime, InitializersRunRootFirstAndDestructionMostDerivedFirst) {
  ClassRecord* base = MakeClass("TestOrderBase", nullptr);
  base->initializer = InitBase;
  base->finalizer = FinalBase;
  base->destructorHook = HookBase;
  ClassRecord* derived = MakeClass("TestOrderDerived", base);
  derived->initializer = InitDerived;
  derived->finalizer = FinalDerived;
  derived->destructorHook = HookDerived;

  gLog.clear();
  int32_t live = LiveObjectCount();
  ObjectHeader* o = RuntimeNewObject(derived);
  EXPECT_EQ(LiveObjectCount(), live + 1);
  EXPECT_EQ(CensusHead(), o);
  EXPECT_EQ(o->refCount, 1);
  EXPECT_EQ(o->vtable, derived->methods);
  EXPECT_EQ(o->eventTable, derived->events);
  EXPECT_EQ(RuntimeUnlockObject(o), nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"init base", "init derived", "hook derived", "hook base",
                                            "final derived", "final base"}));
  EXPECT_EQ(LiveObjectCount(), live);
}

TEST(ObjectLifetime, LockAndUnlockFollowTheCountRules) {
  ClassRecord* c = MakeClass("TestCounts", nullptr);
  int32_t live = LiveObjectCount();
  ObjectHeader* o = RuntimeNewObject(c);
  EXPECT_EQ(RuntimeLockObject(o), o);
  EXPECT_EQ(o->refCount, 2);
  /* Assigning a variable the object it already holds changes nothing. */
  RuntimeLockUnlockObjects(o, o);
  EXPECT_EQ(o->refCount, 2);
  EXPECT_EQ(RuntimeUnlockObject(o), o);
  /* An uncounted object is never counted nor destroyed. */
  o->refCount = 0;
  RuntimeLockObject(o);
  EXPECT_EQ(o->refCount, 0);
  EXPECT_EQ(RuntimeUnlockObject(o), o);
  EXPECT_EQ(LiveObjectCount(), live + 1);
  o->refCount = 1;
  ObjectHeader* other = RuntimeNewObject(c);
  RuntimeLockUnlockObjects(other, o);  /* o goes, other gains a reference */
  EXPECT_EQ(other->refCount, 2);
  EXPECT_EQ(LiveObjectCount(), live + 1);
  RuntimeUnlockObject(other);
  RuntimeUnlockObject(other);
  EXPECT_EQ(LiveObjectCount(), live);
  EXPECT_EQ(RuntimeLockObject(nullptr), nullptr);
  EXPECT_EQ(RuntimeUnlockObject(nullptr), nullptr);
}

/* The chain: every node's finalizer releases the next node. */
std::vector<int32_t> gFinalized;
void ChainFinalizer(ObjectHeader* o) {
  TestObject* node = reinterpret_cast<TestObject*>(o);
  gFinalized.push_back(node->index);
  ObjectHeader* next = node->next;
  node->next = nullptr;
  RuntimeUnlockObject(next);
}

TEST(ObjectLifetime, ALongChainIsDestroyedWithoutNestingInChainOrder) {
  ClassRecord* c = MakeClass("TestChainNode", nullptr);
  c->finalizer = ChainFinalizer;
  constexpr int32_t kCount = 100000;
  int32_t live = LiveObjectCount();
  ObjectHeader* head = RuntimeNewObject(c);
  reinterpret_cast<TestObject*>(head)->index = 0;
  ObjectHeader* tail = head;
  for (int32_t i = 1; i < kCount; i++) {
    ObjectHeader* node = RuntimeNewObject(c);
    reinterpret_cast<TestObject*>(node)->index = i;
    reinterpret_cast<TestObject*>(tail)->next = node;  /* the chain holds the creation reference */
    tail = node;
  }
  EXPECT_EQ(LiveObjectCount(), live + kCount);
  gFinalized.clear();
  gFinalized.reserve(kCount);
  RuntimeUnlockObject(head);
  EXPECT_EQ(LiveObjectCount(), live);
  ASSERT_EQ(gFinalized.size(), size_t(kCount));
  for (int32_t i = 0; i < kCount; i++) ASSERT_EQ(gFinalized[size_t(i)], i);
}

ObjectHeader* gKeeper = nullptr;
bool gResurrect = true;
void ResurrectingHook(ObjectHeader* o) {
  gLog.push_back("hook");
  if (gResurrect) gKeeper = RuntimeLockObject(o);
}
void LoggingFinalizer(ObjectHeader*) { gLog.push_back("final"); }

TEST(ObjectLifetime, ADestructorHookThatKeepsTheObjectResurrectsIt) {
  ClassRecord* base = MakeClass("TestResurrectBase", nullptr);
  base->destructorHook = HookBase;
  ClassRecord* c = MakeClass("TestResurrect", base);
  c->destructorHook = ResurrectingHook;
  c->finalizer = LoggingFinalizer;
  int32_t live = LiveObjectCount();
  gLog.clear();
  gResurrect = true;
  ObjectHeader* o = RuntimeNewObject(c);
  EXPECT_EQ(RuntimeUnlockObject(o), o);
  /* The hook's own reference is all that is left; the base hook never ran. */
  EXPECT_EQ(gKeeper, o);
  EXPECT_EQ(o->refCount, 1);
  EXPECT_EQ(gLog, std::vector<std::string>{"hook"});
  EXPECT_EQ(LiveObjectCount(), live + 1);

  gResurrect = false;
  gKeeper = nullptr;
  EXPECT_EQ(RuntimeUnlockObject(o), nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"hook", "hook", "hook base", "final"}));
  EXPECT_EQ(LiveObjectCount(), live);
}

/* A finalizer cannot resurrect: the count is 0 while it runs. */
void LockingFinalizer(ObjectHeader* o) {
  RuntimeLockObject(o);
  gLog.push_back(std::to_string(o->refCount));
}

TEST(ObjectLifetime, AFinalizerCannotResurrect) {
  ClassRecord* c = MakeClass("TestLockInFinalizer", nullptr);
  c->finalizer = LockingFinalizer;
  int32_t live = LiveObjectCount();
  gLog.clear();
  RuntimeUnlockObject(RuntimeNewObject(c));
  EXPECT_EQ(gLog, std::vector<std::string>{"0"});
  EXPECT_EQ(LiveObjectCount(), live);
}

TEST(ObjectLifetime, APrivateEventTableIsReleasedWithItsObject) {
  ClassRecord* c = MakeClass("TestPrivateEvents", nullptr, 0, 0, 2);
  c->events[0].name = StringFromCString("Open");
  c->events[1].name = StringFromCString("Close");
  ObjectHeader* o = RuntimeNewObject(c);
  auto* table = static_cast<EventEntry*>(std::calloc(2, sizeof(EventEntry)));
  ORVAstring open = StringFromCString("Open");
  ORVAstring close = StringFromCString("Close");
  RuntimeLockString(open);
  RuntimeLockString(close);
  table[0] = {nullptr, open};
  table[1] = {nullptr, close};
  o->eventTable = table;
  RuntimeUnlockObject(o);  /* frees the table and drops its references (ASan checks the rest) */
  EXPECT_EQ(open->refCount, 1);
  EXPECT_EQ(close->refCount, 1);
  RuntimeUnlockString(open);
  RuntimeUnlockString(close);
}

TEST(ObjectLifetime, InterfacesAreNotInstantiatedAndNilClassesRaise) {
  ClassRecord* iface = MakeClass("TestInterfaceB", nullptr);
  iface->isAnInterface = 1;
  FailureCapture reports;
  EXPECT_EQ(RuntimeNewObject(iface), nullptr);
  EXPECT_TRUE(reports.Contains("Failure Condition: !parent->isAnInterface"));
  try {
    RuntimeNewObject(nullptr);
    FAIL() << "no raise";
  } catch (const RaisedException& raised) {
    EXPECT_EQ(ClassNameOf(raised.object()), "NilObjectException");
  }
}

TEST(ObjectTypes, IsaWalksSuperChainsAndInterfaceChains) {
  ClassRecord* unrelated = MakeClass("TestIsaOther", nullptr);
  ClassRecord* baseIface = MakeClass("TestIsaBaseInterface", nullptr);
  baseIface->isAnInterface = 1;
  ClassRecord* iface = MakeClass("TestIsaInterface", baseIface);
  iface->isAnInterface = 1;
  ClassRecord* root = MakeClass("TestIsaRoot", nullptr, 0, 1);
  MethodEntry* vtable = RuntimeNewVtable(1);
  root->interfaces[0] = {iface, 1, vtable};
  ClassRecord* child = MakeClass("TestIsaChild", root, 0, 1);  /* inherits the interface entry */

  ObjectHeader* o = RuntimeNewObject(child);
  EXPECT_TRUE(RuntimeObjectIsa(o, child));
  EXPECT_TRUE(RuntimeObjectIsa(o, root));
  EXPECT_FALSE(RuntimeObjectIsa(o, unrelated));
  EXPECT_TRUE(RuntimeObjectIsa(o, iface));
  EXPECT_TRUE(RuntimeObjectIsa(o, baseIface));
  EXPECT_TRUE(RuntimeObjectIsa(o, nullptr));
  EXPECT_FALSE(RuntimeObjectIsa(nullptr, root));
  EXPECT_EQ(RuntimeClassOf(o), child);
  EXPECT_EQ(RuntimeClassOf(nullptr), nullptr);

  EXPECT_EQ(RuntimeLookupInterfaceVtable(o, iface), vtable);
  auto RaisedClass = [&](auto call) -> std::string {
    try {
      call();
    } catch (const RaisedException& raised) {
      return ClassNameOf(raised.object());
    }
    return "";
  };
  EXPECT_EQ(RaisedClass([&] { RuntimeLookupInterfaceVtable(o, baseIface); }), "IllegalCastException");
  EXPECT_EQ(RaisedClass([&] { RuntimeLookupInterfaceVtable(o, root); }), "IllegalCastException");
  EXPECT_EQ(RaisedClass([&] { RuntimeLookupInterfaceVtable(nullptr, iface); }), "NilObjectException");
  EXPECT_EQ(RaisedClass([&] { RuntimeNilObject(); }), "NilObjectException");

  /* Casts: a nil class or a nil object passes unchanged and unlocked. */
  EXPECT_EQ(RuntimeCheckCast(o, nullptr), o);
  EXPECT_EQ(o->refCount, 1);
  EXPECT_EQ(RuntimeCheckCast(nullptr, root), nullptr);
  EXPECT_EQ(RuntimeCheckCast(o, root), o);
  EXPECT_EQ(o->refCount, 2);
  EXPECT_EQ(RaisedClass([&] { RuntimeCheckCast(o, unrelated); }), "IllegalCastException");
  EXPECT_EQ(o->refCount, 2);
  RuntimeUnlockObject(o);
  RuntimeUnlockObject(o);
  std::free(vtable);
}

} // namespace
} // namespace quendal
