/*
** The plugin host with the plain-C test plugin (tests/plugins/
** test_plugin.c) loaded from memory: what its registrations become, how
** the image and other plugins reach them, and what the loader refuses.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/database/database_interface.h"
#include "runtime/base/link_table.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_core.h"
#include "tests/image/plugin_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal;
using quendal::test::EnsureTestPluginLoaded;
using quendal::test::FailureCapture;

class PluginHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureTestPluginLoaded(); }

  template <typename F>
  static F Global(const char* declaration) {
    return reinterpret_cast<F>(ORVALoadGlobalMethod(nullptr, declaration));
  }
  static void* Entry(const char* key) {
    StringRef text(StringCreate(key, kEncodingUTF8));
    return RuntimeLookupPluginEntrypoint(text.get());
  }
};

TEST_F(PluginHost, LoadsFromMemoryWithoutWritingAnyFile) {
  const auto& evidence = EnsureTestPluginLoaded();
  EXPECT_NE(evidence.mapping.find("/memfd:QuendalTestPlugin.so"), std::string::npos) << evidence.mapping;
  EXPECT_EQ(evidence.applicationFolderAfter, evidence.applicationFolderBefore);
  EXPECT_EQ(evidence.workingFolderAfter, evidence.workingFolderBefore);
}

TEST_F(PluginHost, RegistrationRules) {
  /* Registered before the plugin announced interface version 3 or more. */
  EXPECT_EQ(pluginObjectType("QuendalTooEarly"), nullptr);
  /* A name that exists already gives the existing class; nothing new. */
  auto existing = Global<ClassRecord* (*)()>("ExistingClass() As Ptr");
  ASSERT_NE(existing, nullptr);
  EXPECT_EQ(existing(), DatabaseClass());
  EXPECT_EQ(pluginObjectType("database"), DatabaseClass());
  EXPECT_EQ(pluginObjectType("DatabaseCursor"), RecordSetClass());
  EXPECT_EQ(pluginObjectType("DatabaseCursorField"), DatabaseFieldClass());
  /* Plugin classes reach RuntimeLookupClass, after the built-in ones. */
  StringRef name(StringCreate("quendaltestthing", kEncodingUTF8));
  EXPECT_EQ(RuntimeLookupClass(name.get()), pluginObjectType("QuendalTestThing"));
}

TEST_F(PluginHost, InstanceDataLiesWhereTheDefinitionSays) {
  ClassRecord* thing = pluginObjectType("QuendalTestThing");
  ClassRecord* child = pluginObjectType("QuendalTestChild");
  ClassRecord* record = pluginObjectType("QuendalTestRecord");
  ASSERT_TRUE(thing && child && record);
  /* 8 bytes of data of a root class start right after the header. */
  EXPECT_EQ(thing->objectSize, int32_t(sizeof(ObjectHeader)) + 8);
  EXPECT_EQ(child->super, thing);
  EXPECT_EQ(child->objectSize, thing->objectSize + 8);
  EXPECT_EQ(record->super, DatabaseRecordClass());
  EXPECT_EQ(record->objectSize, int32_t(sizeof(DatabaseRecordObject)) + 8);

  ObjectRef object(PluginNewInstance("QuendalTestThing"));
  ASSERT_TRUE(object);
  int32_t count = 0;
  ASSERT_TRUE(ORVAGetPropValueInt(object.get(), "Count", &count));
  EXPECT_EQ(count, 7); /* set by the plugin's constructor at its data offset */
  int32_t raw = 0;
  std::memcpy(&raw, reinterpret_cast<uint8_t*>(object.get()) + sizeof(ObjectHeader), sizeof(raw));
  EXPECT_EQ(raw, 7);
  EXPECT_TRUE(ORVASetPropValueInt(object.get(), "count", 9));
  std::memcpy(&raw, reinterpret_cast<uint8_t*>(object.get()) + sizeof(ObjectHeader), sizeof(raw));
  EXPECT_EQ(raw, 9);
  /* Flag is read-only; Count is no string; Missing does not exist. */
  EXPECT_FALSE(ORVASetPropValueUInt8(object.get(), "Flag", 1));
  uint8_t flag = 1;
  EXPECT_TRUE(ORVAGetPropValueUInt8(object.get(), "Flag", &flag));
  EXPECT_EQ(flag, 0);
  ORVAstring text = nullptr;
  EXPECT_FALSE(ORVAGetPropValueString(object.get(), "Count", &text));
  EXPECT_FALSE(ORVAGetPropValueInt(object.get(), "Missing", &count));
  /* A property with the plugin's own accessors. */
  StringRef label(StringCreate("tag", kEncodingUTF8));
  EXPECT_TRUE(ORVASetPropValueString(object.get(), "Label", label.get()));
  ASSERT_TRUE(ORVAGetPropValueString(object.get(), "Label", &text));
  StringRef got(text);
  EXPECT_EQ(StringView(got.get()), "tag");

  auto destroyed = Global<int32_t (*)()>("Destroyed() As Integer");
  int32_t before = destroyed();
  object.reset();
  EXPECT_EQ(destroyed(), before + 1);
}

TEST_F(PluginHost, MethodsEventsAndInterfaces) {
  ObjectRef child(PluginNewInstance("QuendalTestChild"));
  ASSERT_TRUE(child);
  auto twice = reinterpret_cast<int32_t (*)(ObjectHeader*, int32_t)>(
      ORVALoadObjectMethod(child.get(), "twice(value as integer) as integer"));
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice(child.get(), 21), 42);
  EXPECT_EQ(ORVALoadObjectMethod(child.get(), "Twice(x As Double) As Integer"), nullptr);
  EXPECT_NE(ORVALoadObjectMethod(child.get(), "Area() As Double"), nullptr);
  EXPECT_EQ(ORVALoadObjectMethod(child.get(), "Super.Area() As Double"), nullptr);
  EXPECT_NE(ORVALoadObjectMethod(child.get(), "Super.Bump()"), nullptr);

  /* The child supplies Changed, which its superclass declares. */
  int32_t changed = EventIndexNamed(child.get()->classPtr, "Changed");
  ASSERT_GE(changed, 0);
  auto handler = reinterpret_cast<void (*)(ObjectHeader*, int32_t)>(GetEventInstance(child.get(), changed + 1));
  ASSERT_NE(handler, nullptr);
  handler(child.get(), 3);
  ObjectRef thing(PluginNewInstance("QuendalTestThing"));
  EXPECT_EQ(GetEventInstance(thing.get(), changed + 1), nullptr);
  EXPECT_EQ(GetEventInstance(child.get(), 0), nullptr);
  EXPECT_EQ(GetEventInstance(child.get(), 1000), nullptr);

  ClassRecord* shape = pluginObjectType("QuendalTestShape");
  ASSERT_NE(shape, nullptr);
  EXPECT_TRUE(shape->isAnInterface);
  EXPECT_EQ(PluginNewInstance("QuendalTestShape"), nullptr);
  EXPECT_TRUE(RuntimeObjectIsa(child.get(), shape));
  auto area = reinterpret_cast<double (*)(ObjectHeader*)>(GetInterfaceRoutine(child.get(), "QuendalTestShape", "Area"));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area(child.get()), 3.5); /* the stamp the event handler wrote, + 0.5 */
  EXPECT_EQ(GetInterfaceRoutine(thing.get(), "QuendalTestShape", "Area"), nullptr);
}

TEST_F(PluginHost, EntryPointKeys) {
  FailureCapture reports;
  EXPECT_EQ(Entry("_"), nullptr);
  EXPECT_TRUE(reports.reports().empty());

  EXPECT_NE(Entry("QuendalTestThing.Twice(x As Integer) As Integer"), nullptr);
  EXPECT_EQ(Entry("QUENDALTESTTHING.TWICE(X AS INTEGER) AS INTEGER"),
            Entry("QuendalTestThing.Twice(x As Integer) As Integer"));
  EXPECT_NE(Entry("QuendalTestThing.Label.Get"), nullptr);
  EXPECT_NE(Entry("QuendalTestThing.Label.Set"), nullptr);
  EXPECT_NE(Entry("QuendalTestThing.__init"), nullptr);
  EXPECT_NE(Entry("QuendalTestThing.__exit"), nullptr);
  EXPECT_NE(Entry("QuendalTestChild.Events.Changed"), nullptr);
  EXPECT_NE(Entry("PluginVariant() As Integer"), nullptr);
  /* Property and event-instance keys are link rows as well. */
  EXPECT_EQ(LinkLookup("quendaltestthing.label.get"), Entry("QuendalTestThing.Label.Get"));
  EXPECT_EQ(LinkLookup("QuendalTestChild.Events.Changed"), Entry("QuendalTestChild.Events.Changed"));
  EXPECT_TRUE(reports.reports().empty());

  /* Default accessors have no key. */
  EXPECT_EQ(Entry("QuendalTestThing.Count.Get"), nullptr);
  EXPECT_TRUE(reports.Contains("can't find plugin method QuendalTestThing.Count.Get"));
  EXPECT_TRUE(reports.Contains("pluginEntryTable.GetEntry( entrypointName, out )"));

  void** table = RuntimeAllocatePluginEntrypointsTable(3);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[0], nullptr);
  std::free(table);
  EXPECT_EQ(RuntimeAllocatePluginEntrypointsTable(0), nullptr);

  StringRef added(StringCreate("Added.Key", kEncodingUTF8));
  RuntimeAddPluginEntrypoint(added.get(), reinterpret_cast<void*>(&ORVAinRuntime));
  EXPECT_EQ(Entry("added.key"), reinterpret_cast<void*>(&ORVAinRuntime));
}

TEST_F(PluginHost, BackgroundTaskRunsUntilUnregistered) {
  auto runs = Global<int32_t (*)()>("TaskRuns() As Integer");
  auto stop = Global<void (*)()>("StopTask()");
  ASSERT_TRUE(runs && stop);
  int32_t before = runs();
  RunDuePeriodicTasks(RuntimeTickCount());
  EXPECT_EQ(runs(), before + 1);
  stop(); /* unregisters twice: the second call finds nothing */
  RunDuePeriodicTasks(RuntimeTickCount() + 100);
  EXPECT_EQ(runs(), before + 1);
}

/* Without a property or method of the name, the value names read a
** variant through the runtime's conversions; other names still fail. */
TEST_F(PluginHost, ValueNamesReadTheObjectItself) {
  StringRef digits(StringCreate("3.25", kEncodingUTF8));
  ObjectRef seven(Int32ToVariant(7)), half(DoubleToVariant(2.5)), text(StringToVariant(digits.get()));
  int32_t i = 0;
  double d = 0;
  uint8_t flag = 9;
  ORVAstring s = nullptr;
  EXPECT_TRUE(ORVAGetPropValueInt(seven.get(), "Value", &i));
  EXPECT_EQ(i, 7);
  EXPECT_TRUE(ORVAGetPropValueDouble(text.get(), "doublevalue", &d));
  EXPECT_EQ(d, 3.25);
  EXPECT_TRUE(ORVAGetPropValueInt(half.get(), "IntegerValue", &i));
  EXPECT_EQ(i, 2);
  EXPECT_TRUE(ORVAGetPropValueUInt8(seven.get(), "BooleanValue", &flag));
  EXPECT_EQ(flag, 1);
  ASSERT_TRUE(ORVAGetPropValueString(half.get(), "StringValue", &s));
  EXPECT_EQ(StringView(s), "2.5");
  StringRelease(s);
  ObjectHeader* same = nullptr;
  EXPECT_TRUE(ORVAGetPropValueObject(seven.get(), "Value", &same));
  EXPECT_EQ(same, seven.get());
  RuntimeUnlockObject(same);
  EXPECT_FALSE(ORVAGetPropValueInt(seven.get(), "Count", &i));
  EXPECT_FALSE(ORVASetPropValueInt(seven.get(), "Value", 8));
}

TEST_F(PluginHost, RefusesWhatIsNotAPluginQuietly) {
  quendal::test::TempDir folder;
  size_t descriptors = quendal::test::FolderEntries("/proc/self/fd").size();
  FailureCapture reports;
  {
    quendal::test::TestHostEnvironment environment(folder.path());
    environment.AddResource(0x5144506C, {40, 'x'});                  /* name longer than the record */
    environment.AddEmbeddedPlugin("Garbage.so", {'M', 'Z', 0, 0, 1}); /* not ELF */
    environment.AddEmbeddedPlugin("NotAPlugin.so",
                                  quendal::test::ReadBinaryFile(quendal::test::PluginLibraryPath(
                                      "libquendal_not_a_plugin.so")));
    environment.AddExternalPlugin("Z:" + folder.File("missing.so"));
    LoadPlugins();
  }
  EXPECT_TRUE(reports.reports().empty()) << reports.all();
  EXPECT_EQ(quendal::test::FolderEntries("/proc/self/fd").size(), descriptors);
  EXPECT_EQ(quendal::test::FolderEntries(folder.path()).size(), 2u); /* "." and ".." */
}

} // namespace
