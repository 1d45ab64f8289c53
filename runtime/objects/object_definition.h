/*
** Built-in classes and modules: their static descriptions, the registry
** that maps names to them, and the binding of a description to the class
** record that objects point at.
**
** An ObjectDefinition is compiled into the runtime and never read from a
** file.  It is bound to a ClassRecord on first demand
** (LookupObjectDefinition):
**   1. the definition-to-class cache (1024 buckets, bucket =
**      (definition address * 13) & 1023) answers repeated questions;
**   2. otherwise the class list is searched, newest first, for a record of
**      the same name (ASCII letters compared without case): a class of that
**      name built by the app image is used as it is, so an image that
**      declares NilObjectException makes the runtime raise the image's
**      class;
**   3. otherwise the record is built from the definition (base first) and
**      cached.
**
** Counts of a built record are the base's counts plus: one interface entry
** per listed interface, one event per declared hook, one accessor per
** getter and one per setter, one property per instance variable whose
** kind is not kInstanceVariableNoProperty, one method per listed method
** (the class's own entries follow the base's in the method table, in list
** order).  Instance variables must carry their running property index
** (base properties included) and the total must equal mPropertyTableSize,
** otherwise the definition is outdated and reported.
**
** Registration (RegisterIntrinsicClass / RegisterIntrinsicModule) enters a
** definition in the intrinsic class map or the module map by name and
** enters the entry points of its accessors, initializer, finalizer,
** methods and members in the link table under their names.  A module is a
** definition with objectSize 0 and no super, initializer, finalizer, hooks,
** hook instances, menu handlers or interfaces.
**
** Everything here runs on the one running cooperative thread; the maps and
** the cache take no lock.  Definitions must outlive the process (they are
** static data); built class records are never freed.
*/
#ifndef QUENDAL_OBJECTS_OBJECT_DEFINITION_H
#define QUENDAL_OBJECTS_OBJECT_DEFINITION_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/objects/object_model.h"

/* An entry point and the link name it is registered under (a null name
** is not registered; a null entry is "none"). */
struct DefinitionEntry {
  void* entry;
  const char* name;
};

/* {&function, "function"} for a function whose link name is its C name. */
#define QUENDAL_ENTRY(function) (DefinitionEntry{reinterpret_cast<void*>(&(function)), #function})

/* An event the class declares ("hook"): name and declaration text. */
struct EventDefinition {
  const char* name;
  const char* declaration;
};

/* An implementation of an event of a base class ("hook instance"). */
struct EventInstanceDefinition {
  const char* eventName;
  DefinitionEntry handler;
};

struct MenuHandlerDefinition {
  const char* menuItem;
  DefinitionEntry handler;
};

/* A member entry point with its signature ("Name%R%P", see object_model.h). */
struct MemberDefinition {
  DefinitionEntry entry;
  const char* signature;
};

/* An implemented interface.  methods[0] stands for the interface itself
** and is skipped: the vtable holds methodCount - 1 entries. */
struct InterfaceDefinition {
  const ObjectDefinition* interface;
  const MemberDefinition* methods;
  int32_t methodCount;
};

/* userFlags bit of a property that only a virtual accessor can publish;
** built-in definitions may not use it. */
enum : uint32_t { kSystemPropertyVirtual = 1u << 8 };

/* One item of the accessor list: an optional getter and an optional
** setter, each with its member signature.  Methods of built-in classes
** are listed here as getters. */
struct AccessorDefinition {
  DefinitionEntry getter;
  const char* getterSignature;
  DefinitionEntry setter;
  const char* setterSignature;
  uint32_t userFlags;
};

/* An instance variable kind that takes no property slot. */
enum : int32_t { kInstanceVariableNoProperty = 3 };

/* A published field: the property entry is {name "%" code "%", parameter,
** getter, setter}; for the generic accessors the parameter is the field's
** byte offset in the object. */
struct InstanceVariableDefinition {
  const char* name;
  int32_t kind;
  const char* type;               /* declared type name ("Integer", "String", a class name, "T()") */
  int32_t mPropertyTableIndex;    /* running property index, base properties included */
  int32_t parameter;
  DefinitionEntry getter;
  DefinitionEntry setter;
};

/* Members default to "none", so a definition names only what it has
** (designated initializers, in this order). */
struct ObjectDefinition {
  const char* className = nullptr;
  const ObjectDefinition* super = nullptr;
  int32_t objectSize = 0;         /* bytes per instance, header included; 0 for a module */
  bool isAnInterface = false;
  DefinitionEntry initializer = {nullptr, nullptr};
  DefinitionEntry finalizer = {nullptr, nullptr};
  const EventDefinition* hooks = nullptr;
  int32_t hookCount = 0;
  const EventInstanceDefinition* hookInstances = nullptr;
  int32_t hookInstanceCount = 0;
  const MenuHandlerDefinition* menuHandlers = nullptr;
  int32_t menuHandlerCount = 0;
  const InterfaceDefinition* interfaces = nullptr;
  int32_t interfaceCount = 0;
  const AccessorDefinition* accessors = nullptr;
  int32_t accessorCount = 0;
  const InstanceVariableDefinition* instanceVariables = nullptr;
  int32_t instanceVariableCount = 0;
  int32_t mPropertyTableSize = 0; /* properties of the built record, base included */
  const MemberDefinition* methods = nullptr; /* virtual methods added after the base's */
  int32_t methodCount = 0;
};

namespace quendal {

/* ---- registry ------------------------------------------------------------- */

/* Enters a class definition in the intrinsic class map (a later definition
** of the same name replaces the earlier one) and links its entry points. */
void RegisterIntrinsicClass(const ObjectDefinition* definition);

/* Enters a module definition in the module map and links its entry
** points.  A second module of the same name, or a module carrying class
** parts, is reported. */
void RegisterIntrinsicModule(const ObjectDefinition* definition);

/* The registered definition of that name (ASCII case ignored), or null. */
const ObjectDefinition* FindIntrinsicClass(std::string_view name);
const ObjectDefinition* FindIntrinsicModule(std::string_view name);

/* Registers the object model's own classes, once: the exception classes in
** their fixed order, then Delegate, WeakRef, Collection, ObjectCursor,
** the variant boxes, Dictionary, MemoryBlock, Thread and the three locks.
** RuntimeLookupClass calls it on first use; start-up may call it earlier. */
void RegisterObjectModelClasses();

/* The plugin host's part of RuntimeLookupClass: the class a plugin
** published under that name, or null.  Null until the host installs one. */
using PluginClassLookup = ClassRecord* (*)(ORVAstring name);
void SetPluginClassLookup(PluginClassLookup lookup);

/* ---- type codes ------------------------------------------------------------ */

/* The signature code of a declared type name: "Integer" -> "i4", a known
** class name N -> "o<N>", "T()" -> "a1" + code of T, "T(,)" -> "a2" ...
** An unknown name is reported ("Unknown type name: " + name) and gives "". */
std::string TypeCodeForName(std::string_view typeName);

/* ---- events ---------------------------------------------------------------- */

/* Index of the event of that name in the class's event table (ASCII case
** ignored), or -1. */
int32_t EventIndexNamed(const ClassRecord* cls, std::string_view name);

/* The handler the object's event table holds for the named event, or null
** when the class declares no such event or nothing implements it. */
void* EventHandlerNamed(const ObjectHeader* object, std::string_view name);

/* Test seam: forget the cached class of one definition, so that the next
** LookupObjectDefinition searches and builds again. */
void ForgetObjectDefinitionForTesting(const ObjectDefinition* definition);

} // namespace quendal

#endif
