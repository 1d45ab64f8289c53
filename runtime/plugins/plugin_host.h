/*
** The plugin host: bringing plugin libraries into the process, the
** resolver through which they reach runtime services, their registration
** calls, and the plugin entry-point table of the image.
**
** LoadPlugins (called once by RuntimeInitExternalClasses, after the
** built-in classes are registered and the host environment is installed):
**   1. walks the resource table in order: a 'QDPx' record names a plugin
**      file (UTF-16 path up to a zero unit) that is loaded when it exists;
**      a 'QDPl' record (name length byte, name, library bytes) is noted at
**      the front of the list of embedded plugins, so embedded plugins are
**      handled in the reverse of their resource order;
**   2. for each embedded plugin: a file of its name in the application
**      folder is loaded instead when it exists; otherwise the library is
**      loaded straight from memory (plugin_library.h): nothing is written
**      to disk;
**   3. completes the registered classes (plugin_classes.cpp).
** Loading calls the library's ORVAPluginMain with the resolver, the
** plugin record being the current plugin meanwhile.  A library without
** ORVAPluginMain gets no record: a file stays loaded, a library from
** memory is released.
**
** PluginRegisterClass returns the class a taken name already stands for
** (built-in or plugin class) and registers nothing; for a new class it
** returns null, since the class record is made only when the classes are
** completed.
**
** Registration calls check the plugin's interface version (1 until
** RegisterPluginVersion): classes and class extensions need 3, interfaces
** and modules 4; calls below the level, and calls made while no plugin is
** loading, are ignored.
**
** Plugin classes: a root class's instance data starts at
** sizeof(ObjectHeader) (48 on this host); a subclass's at its superclass's
** object size rounded up to 8.  The host writes that offset into the
** definition's dataOffset.  Properties with default accessors address
** their field relative to the plugin's data.
**
** Entry-point table keys (case-insensitive), built on the first
** RuntimeLookupPluginEntrypoint:
**   Class.Prop.Get / Class.Prop.Set         property accessors (not for
**                                           default or missing ones)
**   Class.<declaration> / ....Set           methods and their assigning form
**   Class.Events.<event name>               event instances
**   Class.__init / Class.__exit             constructor, destructor
**   <declaration>                           global methods
**   Extended.<...>, Module.<...>            extensions and modules, alike
** Property, method-setter and event-instance keys also go into the link
** table.  RuntimeLookupPluginEntrypoint("_") gives null without a look-up;
** an unknown key is reported ("can't find plugin method " + key) and gives
** null.
**
** Background tasks (PluginRegisterBackgroundTask): run by the run loop's
** periodic-task registry; ids are consecutive from 1; unregistering an id
** twice finds nothing the second time.
**
** Ownership: strings and objects returned are locked for the caller;
** names and declarations passed in are borrowed (C strings).  Everything
** runs on the main thread; nothing takes a lock.
*/
#ifndef QUENDAL_PLUGINS_PLUGIN_HOST_H
#define QUENDAL_PLUGINS_PLUGIN_HOST_H

#include <cstdint>

#include "runtime/objects/object_model.h"
#include "runtime/plugins/quendal_plugin.h"
#include "runtime/text/string_record.h"

namespace quendal {

void LoadPlugins();

/* The resolver handed to ORVAPluginMain. */
const ORVALinkRow* PluginResolver(const char* name);

/* The runtime version ORVAGetQDVersion reports. */
inline constexpr double kRuntimeVersion = 2007.0;

} // namespace quendal

extern "C" {

/* ---- the image's entry-point table ---- */
void** RuntimeAllocatePluginEntrypointsTable(int32_t count);
void* RuntimeLookupPluginEntrypoint(ORVAstring key);
void RuntimeAddPluginEntrypoint(ORVAstring key, void* routine);

/* ---- registration ---- */
void RegisterPluginVersion(int32_t version);
ClassRecord* PluginRegisterClass(ORVAClassDefinition* definition);
void PluginRegisterClassExtension(ORVAClassDefinition* definition);
void PluginRegisterInterface(const ORVAInterfaceDefinition* definition);
void PluginRegisterModule(const ORVAModuleDefinition* definition);
void PluginRegisterMethod(const void* definition);
void PluginRegisterControl(const void* definition);
void RegisterPluginExports(const ORVAproc* table);
void PluginSetDelegateResolver(void* resolver);
int32_t PluginRegisterBackgroundTask(void (*routine)(void* data), int32_t periodTicks, void* data);
void PluginUnregisterBackgroundTask(int32_t id);

/* ---- classes and members ---- */
ObjectHeader* PluginNewInstance(const char* className);
ObjectHeader* PluginNewOfSameClass(ObjectHeader* object);
ClassRecord* pluginObjectType(const char* className);
void* GetEventInstance(ObjectHeader* object, int32_t eventHandle);
void* GetInterfaceRoutine(ObjectHeader* object, const char* interfaceName, const char* routineName);
void* ORVALoadGlobalMethod(const char* ignored, const char* declaration);
void* ORVALoadObjectMethod(ObjectHeader* object, const char* declaration);

/* ---- property values by name: true when a value was transferred ---- */
bool ORVAGetPropValueInt(ObjectHeader* object, const char* name, int32_t* value);
bool ORVAGetPropValueInt8(ObjectHeader* object, const char* name, int8_t* value);
bool ORVAGetPropValueInt16(ObjectHeader* object, const char* name, int16_t* value);
bool ORVAGetPropValueInt64(ObjectHeader* object, const char* name, int64_t* value);
bool ORVAGetPropValueUInt8(ObjectHeader* object, const char* name, uint8_t* value);
bool ORVAGetPropValueUInt16(ObjectHeader* object, const char* name, uint16_t* value);
bool ORVAGetPropValueUInt32(ObjectHeader* object, const char* name, uint32_t* value);
bool ORVAGetPropValueUInt64(ObjectHeader* object, const char* name, uint64_t* value);
bool ORVAGetPropValueSingle(ObjectHeader* object, const char* name, float* value);
bool ORVAGetPropValueDouble(ObjectHeader* object, const char* name, double* value);
bool ORVAGetPropValueString(ObjectHeader* object, const char* name, ORVAstring* value);
bool ORVAGetPropValueObject(ObjectHeader* object, const char* name, ObjectHeader** value);
bool ORVASetPropValueInt(ObjectHeader* object, const char* name, int32_t value);
bool ORVASetPropValueInt8(ObjectHeader* object, const char* name, int8_t value);
bool ORVASetPropValueInt16(ObjectHeader* object, const char* name, int16_t value);
bool ORVASetPropValueInt64(ObjectHeader* object, const char* name, int64_t value);
bool ORVASetPropValueUInt8(ObjectHeader* object, const char* name, uint8_t value);
bool ORVASetPropValueUInt16(ObjectHeader* object, const char* name, uint16_t value);
bool ORVASetPropValueUInt32(ObjectHeader* object, const char* name, uint32_t value);
bool ORVASetPropValueUInt64(ObjectHeader* object, const char* name, uint64_t value);
bool ORVASetPropValueSingle(ObjectHeader* object, const char* name, float value);
bool ORVASetPropValueDouble(ObjectHeader* object, const char* name, double value);
bool ORVASetPropValueString(ObjectHeader* object, const char* name, ORVAstring value);
bool ORVASetPropValueObject(ObjectHeader* object, const char* name, ObjectHeader* value);

/* ---- the runtime ---- */
bool ORVAinRuntime();
bool ORVAInDebugMode();
void ORVAYieldToQD();
double ORVAGetQDVersion();

} // extern "C"

#endif
