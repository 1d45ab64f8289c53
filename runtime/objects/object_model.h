/*
** Objects and classes: the layouts compiled code touches and the services
** that build classes, create objects and count references.
**
** ObjectHeader (six words at the start of every object; the class's own
** fields follow directly):
**   vtable       the class's method table (ClassRecord::methods)
**   classPtr     the object's ClassRecord
**   eventTable   the class's shared events table, or a private copy
**   refCount     1 after creation; 0 means "not counted"
**   censusPrev, censusNext   links of the census list of live objects
**
** ClassRecord: seventeen header words, then the inline interface entries,
** then the tables in the order methods, events, accessors, properties, all
** in one zero-filled block that is never freed.
**
** Reference counts: a service that returns an object returns it locked;
** the caller releases it.  Storing into a field locks the new value before
** unlocking the old.  Destruction never nests: an object released while
** another is being destroyed waits on the pending-destruction stack.
**
** Hooks (initializer, destructorHook, finalizer) may be image routines or
** native functions; the runtime calls them through CallObjectHook
** (image_calls.h), so a raise inside one reaches native callers as a
** RaisedException.  Destruction always completes: a raise from a hook is
** kept, the remaining hooks and finalizers run, and the first raise is
** rethrown once the object (and everything pending) is gone.
*/
#ifndef QUENDAL_OBJECTS_OBJECT_MODEL_H
#define QUENDAL_OBJECTS_OBJECT_MODEL_H

#include <cstddef>
#include <cstdint>

#include "runtime/text/string_record.h"

struct ClassRecord;

struct ObjectHeader {
  void* vtable;
  ClassRecord* classPtr;
  void* eventTable;
  int32_t refCount;
  ObjectHeader* censusPrev;
  ObjectHeader* censusNext;
};
static_assert(offsetof(ObjectHeader, refCount) == 24, "refCount after three pointers");
static_assert(sizeof(ObjectHeader) == 48, "object header: five pointers and a count");

/* {entry point, signature}: method, accessor and interface vtable entries. */
struct MethodEntry {
  void* entry;
  ORVAstring signature;
};
/* {handler entry point, event name}. */
struct EventEntry {
  void* handler;
  ORVAstring name;
};
/* {declaration "Name%code%", accessor parameter, getter, setter}. */
struct PropertyEntry {
  ORVAstring declaration;
  int32_t parameter;
  void* getter;
  void* setter;
};
/* Inline interface entry: {interface class, method count, vtable}. */
struct InterfaceEntry {
  ClassRecord* interface;
  int32_t methodCount;
  MethodEntry* vtable;
};

typedef void (*ObjectHook)(ObjectHeader* object);

struct ClassRecord {
  ClassRecord* super;
  ORVAstring className;
  ClassRecord* nextClass;
  int32_t objectSize;
  uint8_t isAnInterface;
  ObjectHook initializer;
  ObjectHook destructorHook;
  ObjectHook finalizer;
  int32_t methodCount;
  MethodEntry* methods;
  int32_t eventCount;
  EventEntry* events;
  int32_t accessorCount;
  MethodEntry* accessors;
  int32_t propertyCount;
  PropertyEntry* properties;
  int32_t interfaceCount;
  InterfaceEntry interfaces[];  /* interfaceCount entries, then the tables */
};
/* Compiled code reads and writes these fields at fixed offsets. */
static_assert(sizeof(MethodEntry) == 16 && sizeof(EventEntry) == 16, "two-pointer table entries");
static_assert(sizeof(PropertyEntry) == 32, "property entry: string, parameter, getter, setter");
static_assert(sizeof(InterfaceEntry) == 24, "interface entry: class, count, vtable");
static_assert(offsetof(ClassRecord, objectSize) == 24 && offsetof(ClassRecord, isAnInterface) == 28,
              "class record: size and interface flag after three pointers");
static_assert(offsetof(ClassRecord, initializer) == 32 && offsetof(ClassRecord, finalizer) == 48,
              "class record: the three hooks");
static_assert(offsetof(ClassRecord, methodCount) == 56 && offsetof(ClassRecord, methods) == 64,
              "class record: method table");
static_assert(offsetof(ClassRecord, properties) == 112 && offsetof(ClassRecord, interfaceCount) == 120,
              "class record: property table and interface count");
static_assert(sizeof(ClassRecord) == 128, "class record header: seventeen fields");

/* The built-in classes' static descriptions and the rest of the object
** model's types are declared in object_definition.h. */
struct ObjectDefinition;

extern "C" {

ClassRecord* RuntimeNewClass(ClassRecord* base, int32_t methodCount, int32_t interfaceCount,
                             int32_t eventCount, int32_t accessorCount, int32_t propertyCount);
MethodEntry* RuntimeNewVtable(int32_t count);
void RuntimeRegisterClass(ClassRecord* cls);
ObjectHeader* RuntimeNewObject(ClassRecord* cls);
ObjectHeader* CreateInstance(const ObjectDefinition* definition);
ClassRecord* LookupObjectDefinition(const ObjectDefinition* definition);
ClassRecord* RuntimeLookupClass(ORVAstring name);

ObjectHeader* RuntimeLockObject(ObjectHeader* object);
ObjectHeader* RuntimeUnlockObject(ObjectHeader* object);
void RuntimeLockUnlockObjects(ObjectHeader* retained, ObjectHeader* released);

bool RuntimeObjectIsa(ObjectHeader* object, ClassRecord* cls);
ObjectHeader* RuntimeCheckCast(ObjectHeader* object, ClassRecord* cls);
ClassRecord* RuntimeClassOf(ObjectHeader* object);
MethodEntry* RuntimeLookupInterfaceVtable(ObjectHeader* object, ClassRecord* interface);
void RuntimeNilObject();

} // extern "C"

namespace quendal {

/* Census and destruction state, for tests and the debugger support. */
int32_t LiveObjectCount();
ObjectHeader* CensusHead();           /* newest live object; follow censusNext */
ClassRecord* ClassListHead();         /* newest class; follow nextClass */

/* Called with every object being destroyed, after its finalizers; null by
** default (only the remote-debugger support sets it). */
using DestroyHook = void (*)(ObjectHeader* object);
void SetDestroyHook(DestroyHook hook);

/* Drops one reference like RuntimeUnlockObject, but a raise from a
** destructor hook or finalizer is dropped instead of thrown: for owners
** that release in C++ destructors, which must not throw. */
void ReleaseObjectQuietly(ObjectHeader* object) noexcept;

/* Holder of exactly one object reference (or of nil).  Releases it quietly
** when destroyed; copying retains, moving transfers. */
class ObjectRef {
 public:
  ObjectRef() = default;
  /* Adopts an owned reference (a service result). */
  explicit ObjectRef(ObjectHeader* owned) : o_(owned) {}
  /* Takes a new reference to a borrowed object. */
  static ObjectRef Borrow(ObjectHeader* borrowed) { return ObjectRef(RuntimeLockObject(borrowed)); }
  ObjectRef(const ObjectRef& other) : o_(RuntimeLockObject(other.o_)) {}
  ObjectRef(ObjectRef&& other) noexcept : o_(other.o_) { other.o_ = nullptr; }
  ObjectRef& operator=(const ObjectRef& other) {
    if (this != &other) reset(RuntimeLockObject(other.o_));
    return *this;
  }
  ObjectRef& operator=(ObjectRef&& other) noexcept {
    if (this != &other) {
      ObjectHeader* old = o_;
      o_ = other.o_;
      other.o_ = nullptr;
      ReleaseObjectQuietly(old);
    }
    return *this;
  }
  ~ObjectRef() { ReleaseObjectQuietly(o_); }

  ObjectHeader* get() const { return o_; }
  explicit operator bool() const { return o_ != nullptr; }
  /* Gives the reference to the caller and empties the holder. */
  ObjectHeader* release() {
    ObjectHeader* o = o_;
    o_ = nullptr;
    return o;
  }
  /* Adopts an owned reference and releases the old one (which may raise). */
  void reset(ObjectHeader* owned = nullptr) {
    ObjectHeader* old = o_;
    o_ = owned;
    RuntimeUnlockObject(old);
  }

 private:
  ObjectHeader* o_ = nullptr;
};

} // namespace quendal

#endif
