/*
** Built-in definitions: binding to class records, the registry and the
** class look-up by name.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/base/link_table.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::FailureCapture;
using test::Text;

extern "C" void TestDefInit(ObjectHeader*) {}
extern "C" void TestDefFinal(ObjectHeader*) {}
extern "C" int32_t TestDefGetter(ObjectHeader*) { return 7; }
extern "C" void TestDefSetter(ObjectHeader*, int32_t) {}
extern "C" void TestDefOpened(ObjectHeader*) {}
extern "C" void TestDefMethod(ObjectHeader*) {}

const ObjectDefinition kTestInterface = {.className = "TestDefInterface", .isAnInterface = true};

const EventDefinition kBaseEvents[] = {{"Opened", ""}, {"Closed", ""}};
const InstanceVariableDefinition kBaseVariables[] = {
    {"Width", 0, "Integer", 0, 48, QUENDAL_ENTRY(TestDefGetter), QUENDAL_ENTRY(TestDefSetter)},
    {"Hidden", kInstanceVariableNoProperty, "Integer", 0, 52, {nullptr, nullptr}, {nullptr, nullptr}},
};
const MemberDefinition kBaseMethods[] = {{QUENDAL_ENTRY(TestDefMethod), "Draw%%o<TestDefBase>"}};
const ObjectDefinition kTestBase = {
    .className = "TestDefBase",
    .objectSize = 64,
    .initializer = QUENDAL_ENTRY(TestDefInit),
    .finalizer = QUENDAL_ENTRY(TestDefFinal),
    .hooks = kBaseEvents,
    .hookCount = 2,
    .instanceVariables = kBaseVariables,
    .instanceVariableCount = 2,
    .mPropertyTableSize = 1,
    .methods = kBaseMethods,
    .methodCount = 1,
};

const EventInstanceDefinition kDerivedHandlers[] = {{"closed", QUENDAL_ENTRY(TestDefOpened)}};
const EventDefinition kDerivedEvents[] = {{"Resized", ""}};
const MemberDefinition kInterfaceMethods[] = {
    {{nullptr, nullptr}, "TestDefInterface"},
    {QUENDAL_ENTRY(TestDefMethod), "Run%%o<TestDefDerived>"},
    {QUENDAL_ENTRY(TestDefGetter), "Size%i4%o<TestDefDerived>"},
};
const InterfaceDefinition kDerivedInterfaces[] = {{&kTestInterface, kInterfaceMethods, 3}};
const AccessorDefinition kDerivedAccessors[] = {
    {QUENDAL_ENTRY(TestDefGetter), "Count%i4%o<TestDefDerived>", QUENDAL_ENTRY(TestDefSetter),
     "=Count%%o<TestDefDerived>i4", 0},
    {QUENDAL_ENTRY(TestDefMethod), "Reset%%o<TestDefDerived>", {nullptr, nullptr}, nullptr, 0},
};
const InstanceVariableDefinition kDerivedVariables[] = {
    {"Title", 0, "String", 1, 56, QUENDAL_ENTRY(TestDefGetter), QUENDAL_ENTRY(TestDefSetter)},
    {"Owner", 0, "TestDefBase", 2, 64, {nullptr, nullptr}, {nullptr, nullptr}},
    {"Names", 0, "String(,)", 3, 72, {nullptr, nullptr}, {nullptr, nullptr}},
};
const MemberDefinition kDerivedMethods[] = {{QUENDAL_ENTRY(TestDefGetter), "Area%i4%o<TestDefDerived>"}};
const ObjectDefinition kTestDerived = {
    .className = "TestDefDerived",
    .super = &kTestBase,
    .objectSize = 80,
    .hooks = kDerivedEvents,
    .hookCount = 1,
    .hookInstances = kDerivedHandlers,
    .hookInstanceCount = 1,
    .interfaces = kDerivedInterfaces,
    .interfaceCount = 1,
    .accessors = kDerivedAccessors,
    .accessorCount = 2,
    .instanceVariables = kDerivedVariables,
    .instanceVariableCount = 3,
    .mPropertyTableSize = 4,
    .methods = kDerivedMethods,
    .methodCount = 1,
};

TEST(ObjectDefinitions, ARecordIsBuiltFromTheDefinitionAndItsBase) {
  RegisterObjectModelClasses();
  RegisterIntrinsicClass(&kTestBase);  /* "TestDefBase" becomes a known type name */
  FailureCapture reports;
  ClassRecord* cls = LookupObjectDefinition(&kTestDerived);
  ASSERT_NE(cls, nullptr);
  EXPECT_TRUE(reports.reports().empty()) << reports.all();
  ClassRecord* base = cls->super;
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(Text(base->className), "TestDefBase");
  EXPECT_EQ(base->initializer, &TestDefInit);
  EXPECT_EQ(base->finalizer, &TestDefFinal);
  EXPECT_EQ(base->objectSize, 64);

  EXPECT_EQ(Text(cls->className), "TestDefDerived");
  EXPECT_EQ(cls->objectSize, 80);
  EXPECT_EQ(cls->initializer, nullptr);
  ASSERT_EQ(cls->eventCount, 3);
  EXPECT_EQ(Text(cls->events[0].name), "Opened");
  EXPECT_EQ(Text(cls->events[2].name), "Resized");
  /* The hook instance lands at the index of the base event of that name. */
  EXPECT_EQ(cls->events[1].handler, reinterpret_cast<void*>(&TestDefOpened));
  EXPECT_EQ(cls->events[0].handler, nullptr);

  ASSERT_EQ(cls->interfaceCount, 1);
  EXPECT_EQ(cls->interfaces[0].interface, LookupObjectDefinition(&kTestInterface));
  EXPECT_TRUE(cls->interfaces[0].interface->isAnInterface);
  ASSERT_EQ(cls->interfaces[0].methodCount, 2);
  EXPECT_EQ(cls->interfaces[0].vtable[0].entry, reinterpret_cast<void*>(&TestDefMethod));
  EXPECT_EQ(Text(cls->interfaces[0].vtable[1].signature), "Size%i4%o<TestDefDerived>");

  ASSERT_EQ(cls->accessorCount, 3);
  EXPECT_EQ(Text(cls->accessors[0].signature), "Count%i4%o<TestDefDerived>");
  EXPECT_EQ(Text(cls->accessors[1].signature), "=Count%%o<TestDefDerived>i4");
  EXPECT_EQ(cls->accessors[2].entry, reinterpret_cast<void*>(&TestDefMethod));

  ASSERT_EQ(cls->propertyCount, 4);
  EXPECT_EQ(Text(cls->properties[0].declaration), "Width%i4%");
  EXPECT_EQ(cls->properties[0].parameter, 48);
  EXPECT_EQ(Text(cls->properties[1].declaration), "Title%s%");
  EXPECT_EQ(Text(cls->properties[2].declaration), "Owner%o<TestDefBase>%");
  EXPECT_EQ(Text(cls->properties[3].declaration), "Names%a2s%");
  /* Methods: the base's first, then the class's own. */
  ASSERT_EQ(cls->methodCount, 2);
  EXPECT_EQ(cls->methods[0].entry, reinterpret_cast<void*>(&TestDefMethod));
  EXPECT_EQ(Text(cls->methods[0].signature), "Draw%%o<TestDefBase>");
  EXPECT_EQ(Text(cls->methods[1].signature), "Area%i4%o<TestDefDerived>");
  EXPECT_EQ(base->methodCount, 1);

  /* Cached: the same record every time. */
  EXPECT_EQ(LookupObjectDefinition(&kTestDerived), cls);
}

const ObjectDefinition kShadowed = {.className = "TestDefShadowed", .objectSize = 48};

TEST(ObjectDefinitions, AClassOfTheSameNameOnTheClassListWins) {
  ClassRecord* image = RuntimeNewClass(nullptr, 0, 0, 0, 0, 0);
  image->className = StringFromCString("testdefshadowed");
  EXPECT_EQ(LookupObjectDefinition(&kShadowed), image);
  EXPECT_EQ(CreateInstance(&kShadowed)->classPtr, image);
  RuntimeUnlockObject(CensusHead());
}

const InstanceVariableDefinition kOutdatedVariables[] = {
    {"Width", 0, "Integer", 5, 48, {nullptr, nullptr}, {nullptr, nullptr}},
    {"Bogus", 0, "NoSuchType", 1, 52, {nullptr, nullptr}, {nullptr, nullptr}},
};
const ObjectDefinition kOutdated = {
    .className = "TestDefOutdated",
    .objectSize = 56,
    .instanceVariables = kOutdatedVariables,
    .instanceVariableCount = 2,
    .mPropertyTableSize = 3,
};

TEST(ObjectDefinitions, OutdatedDefinitionsAndUnknownTypesAreReported) {
  FailureCapture reports;
  ClassRecord* cls = LookupObjectDefinition(&kOutdated);
  EXPECT_TRUE(reports.Contains("Failure Condition: item->mPropertyTableIndex == propertyCount\n"
                               "Manifest file outdated? TestDefOutdated"));
  EXPECT_TRUE(reports.Contains("Failure Condition: propertyCount == defn->mPropertyTableSize\n"));
  EXPECT_TRUE(reports.Contains("Unknown type name: NoSuchType"));
  /* The record still matches what it holds. */
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->propertyCount, 2);
  EXPECT_EQ(Text(cls->properties[1].declaration), "Bogus%%");

  EXPECT_EQ(LookupObjectDefinition(nullptr), nullptr);
  EXPECT_EQ(CreateInstance(nullptr), nullptr);
  EXPECT_TRUE(reports.Contains("Failure Condition: defn\n"));
}

TEST(ObjectDefinitions, TypeCodes) {
  RegisterObjectModelClasses();
  EXPECT_EQ(TypeCodeForName("Integer"), "i4");
  EXPECT_EQ(TypeCodeForName("int32"), "i4");
  EXPECT_EQ(TypeCodeForName("Short"), "i2");
  EXPECT_EQ(TypeCodeForName("Byte"), "u1");
  EXPECT_EQ(TypeCodeForName("CString"), "z");
  EXPECT_EQ(TypeCodeForName("Currency"), "e");
  EXPECT_EQ(TypeCodeForName("Double()"), "a1f8");
  EXPECT_EQ(TypeCodeForName("RuntimeException"), "o<RuntimeException>");
  FailureCapture reports;
  EXPECT_EQ(TypeCodeForName("()"), "");
  EXPECT_EQ(reports.reports().size(), 1u);
}

const ObjectDefinition kModule = {.className = "TestDefModule"};
const ObjectDefinition kBadModule = {.className = "TestDefBadModule", .objectSize = 8};

TEST(ObjectDefinitions, ModulesHaveTheirOwnMapAndShape) {
  FailureCapture reports;
  RegisterIntrinsicModule(&kModule);
  EXPECT_EQ(FindIntrinsicModule("testdefmodule"), &kModule);
  EXPECT_EQ(FindIntrinsicClass("TestDefModule"), nullptr);
  EXPECT_TRUE(reports.reports().empty());
  RegisterIntrinsicModule(&kModule);
  EXPECT_TRUE(reports.Contains("Failure Condition: not gIntrinsicModuleMap->HasEntry( defn->className )"));
  RegisterIntrinsicModule(&kBadModule);
  EXPECT_TRUE(reports.Contains("Failure Condition: 0 == defn->objectSize"));
  EXPECT_EQ(FindIntrinsicModule("TestDefBadModule"), nullptr);
}

TEST(ObjectDefinitions, LookupByNameFindsBuiltInClassesAndCachesThem) {
  StringRef name(StringFromCString("nilobjectexception"));
  ClassRecord* cls = RuntimeLookupClass(name.get());
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls, LookupObjectDefinition(&kNilObjectExceptionDefinition));
  EXPECT_EQ(Text(cls->super->className), "RuntimeException");
  EXPECT_EQ(RuntimeLookupClass(name.get()), cls);
  StringRef unknown(StringFromCString("TestDefNoSuchClass"));
  EXPECT_EQ(RuntimeLookupClass(unknown.get()), nullptr);
  EXPECT_EQ(RuntimeLookupClass(nullptr), nullptr);

  /* Every built-in exception class is registered, in order, with RuntimeException's layout. */
  for (const ObjectDefinition* d : kExceptionDefinitions) {
    EXPECT_EQ(FindIntrinsicClass(d->className), d) << d->className;
    ClassRecord* c = LookupObjectDefinition(d);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->objectSize, 72);
    EXPECT_EQ(c->propertyCount, 2);
  }
  for (const ObjectDefinition* d : {&kDelegateDefinition, &kWeakRefDefinition, &kCollectionDefinition,
                                    &kObjectCursorDefinition}) {
    EXPECT_EQ(FindIntrinsicClass(d->className), d) << d->className;
  }
}

ClassRecord* gPluginClass = nullptr;
ClassRecord* PluginLookup(ORVAstring name) {
  return Text(name) == "TestDefPluginClass" ? gPluginClass : nullptr;
}

TEST(ObjectDefinitions, LookupByNameAsksThePluginHostLast) {
  gPluginClass = RuntimeNewClass(nullptr, 0, 0, 0, 0, 0);
  SetPluginClassLookup(PluginLookup);
  StringRef name(StringFromCString("TestDefPluginClass"));
  EXPECT_EQ(RuntimeLookupClass(name.get()), gPluginClass);
  SetPluginClassLookup(nullptr);
  EXPECT_EQ(RuntimeLookupClass(name.get()), gPluginClass);  /* cached under the name */
}

TEST(ObjectDefinitions, EventsAreFoundByName) {
  ClassRecord* cls = LookupObjectDefinition(&kTestDerived);
  ObjectHeader* o = RuntimeNewObject(cls);
  EXPECT_EQ(EventIndexNamed(cls, "RESIZED"), 2);
  EXPECT_EQ(EventIndexNamed(cls, "Missing"), -1);
  EXPECT_EQ(EventHandlerNamed(o, "Closed"), reinterpret_cast<void*>(&TestDefOpened));
  EXPECT_EQ(EventHandlerNamed(o, "Opened"), nullptr);
  EXPECT_EQ(EventHandlerNamed(nullptr, "Opened"), nullptr);
  RuntimeUnlockObject(o);
}

} // namespace
} // namespace quendal
