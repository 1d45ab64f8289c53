/*
** Binding built-in definitions to class records, the intrinsic class and
** module maps, and RuntimeLookupClass.  See object_definition.h.
**
** Caches (filled on first demand, never emptied): the definition-to-class
** cache, 1024 buckets addressed by (definition address * 13) & 1023, and
** the name-to-class cache of RuntimeLookupClass (a string map).  Class
** records and the strings they hold live until the process ends.
*/
#include "runtime/objects/object_definition.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/base/link_table.h"
#include "runtime/objects/dictionary.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/memory_block.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/threads.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

const char kConverter[] = "ObjectDefinitionConverter";
const char kIntrinsic[] = "intrinsicClass";

void Report(const char* source, const char* condition, const std::string& message = std::string()) {
  RuntimeFailureReport(kFailureAssertion, source, __LINE__, condition,
                       message.empty() ? nullptr : message.c_str());
}

/* ---- the definition-to-class cache ---------------------------------------- */

struct CacheNode {
  const ObjectDefinition* definition;
  ClassRecord* cls;
  CacheNode* next;
};
constexpr size_t kDefinitionBuckets = 1024;
CacheNode* gDefinitionCache[kDefinitionBuckets];

size_t DefinitionBucket(const ObjectDefinition* definition) {
  return (reinterpret_cast<uintptr_t>(definition) * 13) & (kDefinitionBuckets - 1);
}

ClassRecord* CachedClass(const ObjectDefinition* definition) {
  for (CacheNode* n = gDefinitionCache[DefinitionBucket(definition)]; n; n = n->next) {
    if (n->definition == definition) return n->cls;
  }
  return nullptr;
}

void CacheClass(const ObjectDefinition* definition, ClassRecord* cls) {
  CacheNode*& head = gDefinitionCache[DefinitionBucket(definition)];
  head = new CacheNode{definition, cls, head};
}

/* ---- maps ------------------------------------------------------------------ */

StringMap& IntrinsicClassMap() {
  static StringMap* map = new StringMap();
  return *map;
}

StringMap& IntrinsicModuleMap() {
  static StringMap* map = new StringMap();
  return *map;
}

StringMap& ClassNameCache() {
  static StringMap* map = new StringMap();
  return *map;
}

PluginClassLookup gPluginClassLookup = nullptr;

bool SameClassName(ORVAstring className, std::string_view name) {
  return CompareRawBytes(StringView(className), name, true) == 0;
}

ClassRecord* FindClassOnList(std::string_view name) {
  for (ClassRecord* c = ClassListHead(); c; c = c->nextClass) {
    if (c->className && SameClassName(c->className, name)) return c;
  }
  return nullptr;
}

/* A string for a class record: created once, never released. */
ORVAstring PermanentString(std::string_view text) {
  return StringCreate(text, kEncodingUTF8);
}

void LinkEntry(const DefinitionEntry& e) {
  if (e.entry && e.name) LinkRegister(e.name, e.entry);
}

void LinkDefinitionEntries(const ObjectDefinition* d) {
  LinkEntry(d->initializer);
  LinkEntry(d->finalizer);
  for (int32_t i = 0; i < d->accessorCount; i++) {
    LinkEntry(d->accessors[i].getter);
    LinkEntry(d->accessors[i].setter);
  }
  for (int32_t i = 0; i < d->instanceVariableCount; i++) {
    LinkEntry(d->instanceVariables[i].getter);
    LinkEntry(d->instanceVariables[i].setter);
  }
  for (int32_t i = 0; i < d->methodCount; i++) LinkEntry(d->methods[i].entry);
  for (int32_t i = 0; i < d->hookInstanceCount; i++) LinkEntry(d->hookInstances[i].handler);
  for (int32_t i = 0; i < d->interfaceCount; i++) {
    const InterfaceDefinition& itf = d->interfaces[i];
    for (int32_t m = 1; m < itf.methodCount; m++) LinkEntry(itf.methods[m].entry);
  }
}

/* ---- building a record ------------------------------------------------------ */

struct Counts {
  int32_t interfaces = 0, events = 0, accessors = 0, properties = 0, methods = 0;
};

/* Counts of the record to build.  An outdated definition is reported; the
** counts still follow the items it lists, so the record stays consistent
** with what FillRecord writes. */
void CountDefinition(const ObjectDefinition* d, const ClassRecord* base, Counts& c) {
  if (base) {
    c.interfaces = base->interfaceCount;
    c.events = base->eventCount;
    c.accessors = base->accessorCount;
    c.properties = base->propertyCount;
    c.methods = base->methodCount;
  }
  c.interfaces += d->interfaceCount;
  c.events += d->hookCount;
  c.methods += d->methodCount;
  for (int32_t i = 0; i < d->accessorCount; i++) {
    const AccessorDefinition& a = d->accessors[i];
    if (a.userFlags & kSystemPropertyVirtual) {
      Report(kConverter, "!(accessor->userFlags & systemPropertyVirtual)",
             std::string("Virtual system property in ") + d->className);
    }
    if (a.getter.entry) c.accessors++;
    if (a.setter.entry) c.accessors++;
  }
  for (int32_t i = 0; i < d->instanceVariableCount; i++) {
    const InstanceVariableDefinition& v = d->instanceVariables[i];
    if (v.kind == kInstanceVariableNoProperty) continue;
    if (v.mPropertyTableIndex != c.properties) {
      Report(kConverter, "item->mPropertyTableIndex == propertyCount",
             std::string("Manifest file outdated? ") + d->className);
    }
    c.properties++;
  }
  if (c.properties != d->mPropertyTableSize) {
    Report(kConverter, "propertyCount == defn->mPropertyTableSize",
           std::string("Manifest file outdated? ") + d->className);
  }
}

int32_t EventIndex(const ClassRecord* cls, std::string_view name) {
  for (int32_t i = 0; i < cls->eventCount; i++) {
    if (cls->events[i].name && SameClassName(cls->events[i].name, name)) return i;
  }
  return -1;
}

void FillRecord(const ObjectDefinition* d, ClassRecord* base, ClassRecord* cls) {
  cls->className = PermanentString(d->className);
  cls->initializer = reinterpret_cast<ObjectHook>(d->initializer.entry);
  cls->finalizer = reinterpret_cast<ObjectHook>(d->finalizer.entry);
  cls->objectSize = d->objectSize;
  cls->isAnInterface = d->isAnInterface ? 1 : 0;

  int32_t event = base ? base->eventCount : 0;
  for (int32_t i = 0; i < d->hookCount; i++) {
    cls->events[event++] = EventEntry{nullptr, PermanentString(d->hooks[i].name)};
  }
  for (int32_t i = 0; i < d->hookInstanceCount; i++) {
    const EventInstanceDefinition& h = d->hookInstances[i];
    int32_t index = EventIndex(cls, h.eventName);
    if (index < 0) {
      Report(kConverter, "eventIndex >= 0", std::string("No event ") + h.eventName + " for " + d->className);
      continue;
    }
    cls->events[index].handler = h.handler.entry;
  }

  int32_t itf = base ? base->interfaceCount : 0;
  for (int32_t i = 0; i < d->interfaceCount; i++) {
    const InterfaceDefinition& source = d->interfaces[i];
    int32_t count = source.methodCount > 0 ? source.methodCount - 1 : 0;
    MethodEntry* vtable = RuntimeNewVtable(count);
    for (int32_t m = 0; m < count; m++) {
      const MemberDefinition& method = source.methods[m + 1];
      vtable[m] = MethodEntry{method.entry.entry, PermanentString(method.signature)};
    }
    cls->interfaces[itf++] = InterfaceEntry{LookupObjectDefinition(source.interface), count, vtable};
  }

  int32_t method = base ? base->methodCount : 0;
  for (int32_t i = 0; i < d->methodCount; i++) {
    const MemberDefinition& m = d->methods[i];
    cls->methods[method++] = MethodEntry{m.entry.entry, PermanentString(m.signature)};
  }

  int32_t accessor = base ? base->accessorCount : 0;
  for (int32_t i = 0; i < d->accessorCount; i++) {
    const AccessorDefinition& a = d->accessors[i];
    if (a.getter.entry) {
      cls->accessors[accessor++] = MethodEntry{a.getter.entry, PermanentString(a.getterSignature ? a.getterSignature : "")};
    }
    if (a.setter.entry) {
      cls->accessors[accessor++] = MethodEntry{a.setter.entry, PermanentString(a.setterSignature ? a.setterSignature : "")};
    }
  }

  int32_t property = base ? base->propertyCount : 0;
  for (int32_t i = 0; i < d->instanceVariableCount; i++) {
    const InstanceVariableDefinition& v = d->instanceVariables[i];
    if (v.kind == kInstanceVariableNoProperty) continue;
    std::string declaration = std::string(v.name) + "%" + TypeCodeForName(v.type) + "%";
    cls->properties[property++] =
        PropertyEntry{PermanentString(declaration), v.parameter, v.getter.entry, v.setter.entry};
  }
}

ClassRecord* BuildFromDefinition(const ObjectDefinition* d) {
  ClassRecord* base = nullptr;
  if (d->super) {
    base = LookupObjectDefinition(d->super);
    if (!base) {
      Report(kConverter, "super");
      return nullptr;
    }
  }
  Counts c;
  CountDefinition(d, base, c);
  ClassRecord* cls = RuntimeNewClass(base, c.methods, c.interfaces, c.events, c.accessors, c.properties);
  if (!cls) return nullptr;
  FillRecord(d, base, cls);
  return cls;
}

bool IsModuleShaped(const ObjectDefinition* d) {
  bool shaped = true;
  if (d->objectSize != 0) Report(kIntrinsic, "0 == defn->objectSize"), shaped = false;
  if (d->super) Report(kIntrinsic, "NULL == defn->super"), shaped = false;
  if (d->initializer.entry) Report(kIntrinsic, "NULL == defn->initializer"), shaped = false;
  if (d->finalizer.entry) Report(kIntrinsic, "NULL == defn->finalizer"), shaped = false;
  if (d->hooks) Report(kIntrinsic, "NULL == defn->hooks"), shaped = false;
  if (d->hookInstances) Report(kIntrinsic, "NULL == defn->hookInstances"), shaped = false;
  if (d->menuHandlers) Report(kIntrinsic, "NULL == defn->menuHandlers"), shaped = false;
  if (d->interfaces) Report(kIntrinsic, "NULL == defn->interfaces"), shaped = false;
  return shaped;
}

/* Declared type names and their codes. */
struct TypeName {
  const char* name;
  const char* code;
};
const TypeName kTypeNames[] = {
    {"String", "s"},   {"Boolean", "b"},  {"Single", "f4"},   {"Double", "f8"},    {"Color", "c"},
    {"Ptr", "p"},      {"CString", "z"},  {"PString", "l"},   {"Class", "x"},      {"Int32", "i4"},
    {"Integer", "i4"}, {"UInt32", "u4"},  {"Int64", "i8"},    {"UInt64", "u8"},    {"Int16", "i2"},
    {"Short", "i2"},   {"UInt16", "u2"},  {"Int8", "i1"},     {"UInt8", "u1"},     {"Byte", "u1"},
    {"Currency", "e"}, {"WindowPtr", "w"},
};

} // namespace

/* ---- public -------------------------------------------------------------------- */

void RegisterIntrinsicClass(const ObjectDefinition* definition) {
  if (!definition || !definition->className) {
    Report(kIntrinsic, "defn");
    return;
  }
  IntrinsicClassMap().Insert(std::string_view(definition->className), const_cast<ObjectDefinition*>(definition));
  LinkDefinitionEntries(definition);
}

void RegisterIntrinsicModule(const ObjectDefinition* definition) {
  if (!definition || !definition->className) {
    Report(kIntrinsic, "defn");
    return;
  }
  if (!IsModuleShaped(definition)) return;
  if (IntrinsicModuleMap().FindEntry(std::string_view(definition->className))) {
    Report(kIntrinsic, "not gIntrinsicModuleMap->HasEntry( defn->className )");
    return;
  }
  IntrinsicModuleMap().Insert(std::string_view(definition->className), const_cast<ObjectDefinition*>(definition));
  LinkDefinitionEntries(definition);
}

const ObjectDefinition* FindIntrinsicClass(std::string_view name) {
  RegisterObjectModelClasses();
  return static_cast<const ObjectDefinition*>(IntrinsicClassMap().Find(name));
}

const ObjectDefinition* FindIntrinsicModule(std::string_view name) {
  return static_cast<const ObjectDefinition*>(IntrinsicModuleMap().Find(name));
}

void RegisterObjectModelClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (const ObjectDefinition* d : kExceptionDefinitions) RegisterIntrinsicClass(d);
  RegisterIntrinsicClass(&kDelegateDefinition);
  RegisterIntrinsicClass(&kWeakRefDefinition);
  RegisterIntrinsicClass(&kCollectionDefinition);
  RegisterIntrinsicClass(&kObjectCursorDefinition);
  RegisterVariantClasses();
  RegisterIntrinsicClass(&kDictionaryDefinition);
  RegisterIntrinsicClass(&kMemoryBlockDefinition);
  RegisterThreadClasses();
}

void SetPluginClassLookup(PluginClassLookup lookup) { gPluginClassLookup = lookup; }

std::string TypeCodeForName(std::string_view typeName) {
  if (typeName.size() >= 2 && typeName.back() == ')') {
    size_t open = typeName.rfind('(');
    if (open != std::string_view::npos && open > 0) {
      std::string_view inside = typeName.substr(open + 1, typeName.size() - open - 2);
      if (inside.find_first_not_of(',') == std::string_view::npos) {
        std::string element = TypeCodeForName(typeName.substr(0, open));
        if (element.empty()) return std::string();
        return "a" + std::to_string(inside.size() + 1) + element;
      }
    }
  }
  for (const TypeName& t : kTypeNames) {
    if (CompareRawBytes(t.name, typeName, true) == 0) return t.code;
  }
  if (!typeName.empty() && (FindIntrinsicClass(typeName) || FindClassOnList(typeName))) {
    return "o<" + std::string(typeName) + ">";
  }
  Report("objects", "0", "Unknown type name: " + std::string(typeName));
  return std::string();
}

int32_t EventIndexNamed(const ClassRecord* cls, std::string_view name) {
  return cls ? EventIndex(cls, name) : -1;
}

void* EventHandlerNamed(const ObjectHeader* object, std::string_view name) {
  if (!object || !object->classPtr || !object->eventTable) return nullptr;
  int32_t index = EventIndex(object->classPtr, name);
  if (index < 0) return nullptr;
  return static_cast<const EventEntry*>(object->eventTable)[index].handler;
}

void ForgetObjectDefinitionForTesting(const ObjectDefinition* definition) {
  CacheNode** link = &gDefinitionCache[DefinitionBucket(definition)];
  while (*link) {
    if ((*link)->definition == definition) {
      CacheNode* dead = *link;
      *link = dead->next;
      delete dead;
    } else {
      link = &(*link)->next;
    }
  }
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ClassRecord* LookupObjectDefinition(const ObjectDefinition* definition) {
  QUENDAL_SERVICE_BEGIN
  if (!definition) {
    Report(kConverter, "defn");
    return nullptr;
  }
  if (ClassRecord* cached = CachedClass(definition)) return cached;
  ClassRecord* cls = definition->className ? FindClassOnList(definition->className) : nullptr;
  if (!cls) cls = BuildFromDefinition(definition);
  if (cls) CacheClass(definition, cls);
  return cls;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ClassRecord* RuntimeLookupClass(ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  if (!name) return nullptr;
  RegisterObjectModelClasses();
  if (ClassRecord* cached = static_cast<ClassRecord*>(ClassNameCache().Find(name))) return cached;
  ClassRecord* cls = nullptr;
  if (const ObjectDefinition* d = FindIntrinsicClass(StringView(name))) {
    cls = LookupObjectDefinition(d);
  } else if (gPluginClassLookup) {
    cls = gPluginClassLookup(name);
  }
  if (cls) ClassNameCache().Insert(name, cls);
  return cls;
  QUENDAL_SERVICE_END(nullptr)
}
