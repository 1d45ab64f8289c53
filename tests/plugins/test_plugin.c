/*
** A plugin written in plain C against quendal_plugin.h alone, for the
** plugin host's tests.  PLUGIN_VARIANT (1 or 2) tells two builds apart.
**
** It registers, in this order:
**   - a class "QuendalTooEarly" before announcing its interface version
**     (must be ignored);
**   - interface version 9;
**   - a class named "Database" (exists already: the host returns the
**     built-in class and registers nothing; kept for ExistingClass());
**   - the interface "QuendalTestShape" with "Area() As Double";
**   - "QuendalTestThing", a root class with 8 bytes of data: Count
**     (Integer, default accessors, offset 0), Flag (Boolean, default
**     getter, read-only, offset 4), Label (String, own accessors), the
**     methods Twice(x As Integer) As Integer and Bump(), the event
**     Changed(newCount As Integer), a constructor that sets Count to 7 and
**     a destructor that counts destructions;
**   - "QuendalTestChild", a subclass of it with 8 more bytes, Area() As
**     Double for the interface, and an implementation of Changed;
**   - "QuendalTestRecord", a subclass of the built-in DatabaseRecord;
**   - global methods PluginVariant() As Integer, ExistingClass() As Ptr,
**     TaskRuns() As Integer, StopTask() and Destroyed() As Integer;
**   - a background task that counts its runs.
*/
#include <stddef.h>
#include <stdint.h>

#include "runtime/plugins/quendal_plugin.h"

#ifndef PLUGIN_VARIANT
#define PLUGIN_VARIANT 1
#endif

#define EXPORT __attribute__((visibility("default")))

typedef struct {
  int32_t count;
  uint8_t flag;
} ThingData;

typedef struct {
  int64_t stamp;
} ChildData;

static ORVAUnlockStringProc unlockString;
static ORVALockStringProc lockString;
static PluginUnregisterBackgroundTaskProc unregisterTask;

static ORVAclass existingClass;
static int32_t taskRuns;
static int32_t taskId;
static int32_t destroyed;
static ORVAstring label;

static const void* Resolve(ORVAResolver resolver, const char* name) {
  const ORVALinkRow* row = resolver(name);
  return row ? row->entry : NULL;
}

/* ---- QuendalTestThing ---- */
static ORVAClassDefinition thingDefinition;
static ORVAClassDefinition childDefinition;

static ThingData* Thing(ORVAobject object) { return (ThingData*)((char*)object + thingDefinition.dataOffset); }
static ChildData* Child(ORVAobject object) { return (ChildData*)((char*)object + childDefinition.dataOffset); }

static void ThingConstructor(ORVAobject object) { Thing(object)->count = 7; }
static void ThingDestructor(ORVAobject object) {
  (void)object;
  destroyed++;
}

static int32_t Twice(ORVAobject object, int32_t x) {
  (void)object;
  return 2 * x;
}
static void Bump(ORVAobject object) { Thing(object)->count++; }

static ORVAstring LabelGetter(ORVAobject object, int32_t parameter) {
  (void)object;
  (void)parameter;
  lockString(label);
  return label;
}
static void LabelSetter(ORVAobject object, int32_t parameter, ORVAstring value) {
  (void)object;
  (void)parameter;
  lockString(value);
  unlockString(label);
  label = value;
}

static const ORVAPropertyDefinition thingProperties[] = {
    {"", "Count", "Integer", 0, ORVAnoImplementation, ORVAnoImplementation, offsetof(ThingData, count), {0}},
    {"", "Flag", "Boolean", kORVAPropertyReadOnly, ORVAnoImplementation, ORVAnoImplementation,
     offsetof(ThingData, flag), {0}},
    {"", "Label", "String", 0, (ORVAproc)LabelGetter, (ORVAproc)LabelSetter, 0, {0}},
};
static const ORVAMethodDefinition thingMethods[] = {
    {(ORVAproc)Twice, ORVAnoImplementation, "Twice(x As Integer) As Integer", 0},
    {(ORVAproc)Bump, ORVAnoImplementation, "Bump()", 0},
};
static ORVAEventDefinition thingEvents[] = {{"Changed(newCount As Integer)", 0}};

static ORVAClassDefinition thingDefinition = {
    .version = 9,
    .name = "QuendalTestThing",
    .dataSize = sizeof(ThingData),
    .constructor = ThingConstructor,
    .destructor = ThingDestructor,
    .properties = thingProperties,
    .propertyCount = 3,
    .methods = thingMethods,
    .methodCount = 2,
    .events = thingEvents,
    .eventCount = 1,
};

/* ---- QuendalTestChild ---- */
static double Area(ORVAobject object) { return (double)Child(object)->stamp + 0.5; }
static void ChildChanged(ORVAobject object, int32_t newCount) { Child(object)->stamp = newCount; }

static const ORVAMethodDefinition childMethods[] = {
    {(ORVAproc)Area, ORVAnoImplementation, "Area() As Double", 0},
};
static const ORVAEventInstanceDefinition childEventInstances[] = {{"Changed", (ORVAproc)ChildChanged}};

static ORVAClassDefinition childDefinition = {
    .version = 9,
    .name = "QuendalTestChild",
    .superName = "QuendalTestThing",
    .dataSize = sizeof(ChildData),
    .methods = childMethods,
    .methodCount = 1,
    .eventInstances = childEventInstances,
    .eventInstanceCount = 1,
    .interfaces = "QuendalTestShape",
};

static const ORVAMethodDefinition shapeMethods[] = {{NULL, ORVAnoImplementation, "Area() As Double", 0}};
static const ORVAInterfaceDefinition shapeDefinition = {9, "QuendalTestShape", shapeMethods, 1};

static ORVAClassDefinition recordDefinition = {
    .version = 9, .name = "QuendalTestRecord", .superName = "DatabaseRecord", .dataSize = 8};
static ORVAClassDefinition databaseDefinition = {.version = 9, .name = "Database", .dataSize = 4};
static ORVAClassDefinition tooEarlyDefinition = {.version = 9, .name = "QuendalTooEarly"};

/* ---- globals ---- */
static int32_t PluginVariant(void) { return PLUGIN_VARIANT; }
static ORVAclass ExistingClass(void) { return existingClass; }
static int32_t TaskRuns(void) { return taskRuns; }
static int32_t Destroyed(void) { return destroyed; }
static void StopTask(void) {
  unregisterTask(taskId);
  unregisterTask(taskId); /* the second call finds nothing */
}
static void CountRun(void* data) { (*(int32_t*)data)++; }

static const ORVAMethodDefinition globals[] = {
    {(ORVAproc)PluginVariant, ORVAnoImplementation, "PluginVariant() As Integer", 0},
    {(ORVAproc)ExistingClass, ORVAnoImplementation, "ExistingClass() As Ptr", 0},
    {(ORVAproc)TaskRuns, ORVAnoImplementation, "TaskRuns() As Integer", 0},
    {(ORVAproc)StopTask, ORVAnoImplementation, "StopTask()", 0},
    {(ORVAproc)Destroyed, ORVAnoImplementation, "Destroyed() As Integer", 0},
};

EXPORT void ORVAPluginMain(ORVAResolver resolver) {
  RegisterPluginVersionProc registerVersion = (RegisterPluginVersionProc)Resolve(resolver, "RegisterPluginVersion");
  PluginRegisterClassProc registerClass = (PluginRegisterClassProc)Resolve(resolver, "PluginRegisterClass");
  PluginRegisterInterfaceProc registerInterface =
      (PluginRegisterInterfaceProc)Resolve(resolver, "PluginRegisterInterface");
  PluginRegisterMethodProc registerMethod = (PluginRegisterMethodProc)Resolve(resolver, "pluginregistermethod");
  PluginRegisterBackgroundTaskProc registerTask =
      (PluginRegisterBackgroundTaskProc)Resolve(resolver, "PluginRegisterBackgroundTask");
  unregisterTask = (PluginUnregisterBackgroundTaskProc)Resolve(resolver, "PluginUnregisterBackgroundTask");
  lockString = (ORVALockStringProc)Resolve(resolver, "ORVALockString");
  unlockString = (ORVAUnlockStringProc)Resolve(resolver, "ORVAUnlockString");
  if (!registerVersion || !registerClass || !registerInterface || !registerMethod || !registerTask ||
      !unregisterTask || !lockString || !unlockString || Resolve(resolver, "PluginRegisterDBTable")) {
    return;
  }
  registerClass(&tooEarlyDefinition);
  registerVersion(9);
  existingClass = registerClass(&databaseDefinition);
  registerInterface(&shapeDefinition);
  registerClass(&thingDefinition);
  registerClass(&childDefinition);
  registerClass(&recordDefinition);
  for (size_t i = 0; i < sizeof(globals) / sizeof(globals[0]); i++) registerMethod(&globals[i]);
  taskId = registerTask(CountRun, 0, &taskRuns);
}
