/*
** Class records, objects, reference counts and destruction.  See
** object_model.h for the layouts and the ownership rules.
**
** Process-wide state (one running thread at a time, so no locks): the
** class list, the census list with the live-object count, the destroy
** hook, and the pending-destruction stack with its "destroying" flag.
**
** Destruction of an object whose count went from 1 to 0:
**   1. count = 1; destructor hooks from the object's class up to the root;
**      a hook that stored a new reference (count > 1) resurrects the
**      object: count - 1, stop.
**   2. count = 0.  If a destruction is running, push the object on the
**      pending stack and return: destruction never nests.
**   3. Otherwise, until the pending stack is empty: finalizers (most
**      derived first), the destroy hook, weak references cleared, a private
**      event table released, census unlink, free.
** Raises from hooks are kept (the first one wins) and rethrown when the
** work is done, so a raise never leaves an object half destroyed or the
** "destroying" flag set.
*/
#include "runtime/objects/object_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "runtime/base/allocation.h"
#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/simple_vector.h"

namespace quendal {

namespace {

const char kFoundation[] = "RuntimeObjectFoundation";

ClassRecord* gClassList = nullptr;
ObjectHeader* gCensus = nullptr;
int32_t gLiveObjects = 0;
DestroyHook gDestroyHook = nullptr;
SimpleVector<ObjectHeader*> gPending;
bool gDestroying = false;

void Report(const char* condition, const char* message = nullptr) {
  RuntimeFailureReport(kFailureAssertion, kFoundation, __LINE__, condition, message);
}

/* The first raise of a piece of work that must run to its end. */
class DeferredRaise {
 public:
  template <typename F>
  void Run(F&& f) {
    try {
      f();
    } catch (const RaisedException& raised) {
      if (!first_) first_.emplace(raised);
    }
  }
  void Rethrow() {
    if (first_) {
      RaisedException raised = *first_;
      first_.reset();
      throw raised;
    }
  }
  bool HasRaise() const { return first_.has_value(); }

 private:
  std::optional<RaisedException> first_;
};

/* ---- class records -------------------------------------------------------- */

size_t ClassRecordSize(int32_t methods, int32_t interfaces, int32_t events, int32_t accessors,
                       int32_t properties) {
  return sizeof(ClassRecord) + sizeof(InterfaceEntry) * size_t(interfaces) +
         sizeof(MethodEntry) * size_t(methods) + sizeof(EventEntry) * size_t(events) +
         sizeof(MethodEntry) * size_t(accessors) + sizeof(PropertyEntry) * size_t(properties);
}

int32_t CheckedCount(int32_t count) {
  if (count >= 0) return count;
  Report("count >= 0", "A class table cannot have a negative size.");
  return 0;
}

/* Copies the base's entries into the front of a new table: at most as
** many as the new table holds.  Returns false when some did not fit. */
template <typename T>
bool CopyBaseEntries(T* to, int32_t toCount, const T* from, int32_t fromCount) {
  int32_t n = std::min(toCount, fromCount);
  if (n > 0) std::memcpy(to, from, sizeof(T) * size_t(n));
  return toCount >= fromCount;
}

void PushClass(ClassRecord* cls) {
  cls->nextClass = gClassList;
  gClassList = cls;
}

bool IsOnClassList(const ClassRecord* cls) {
  for (const ClassRecord* c = gClassList; c; c = c->nextClass) {
    if (c == cls) return true;
  }
  return false;
}

ClassRecord* BuildClassRecord(ClassRecord* base, int32_t methodCount, int32_t interfaceCount,
                              int32_t eventCount, int32_t accessorCount, int32_t propertyCount) {
  methodCount = CheckedCount(methodCount);
  interfaceCount = CheckedCount(interfaceCount);
  eventCount = CheckedCount(eventCount);
  accessorCount = CheckedCount(accessorCount);
  propertyCount = CheckedCount(propertyCount);
  void* block = AllocateBlock(ClassRecordSize(methodCount, interfaceCount, eventCount, accessorCount,
                                               propertyCount),
                             true);
  if (!block) ThrowNilObjectException();
  ClassRecord* out = static_cast<ClassRecord*>(block);
  uint8_t* tables = reinterpret_cast<uint8_t*>(out->interfaces + interfaceCount);
  out->interfaceCount = interfaceCount;
  out->methodCount = methodCount;
  out->methods = reinterpret_cast<MethodEntry*>(tables);
  out->eventCount = eventCount;
  out->events = reinterpret_cast<EventEntry*>(out->methods + methodCount);
  out->accessorCount = accessorCount;
  out->accessors = reinterpret_cast<MethodEntry*>(out->events + eventCount);
  out->propertyCount = propertyCount;
  out->properties = reinterpret_cast<PropertyEntry*>(out->accessors + accessorCount);

  if (base) {
    if (!CopyBaseEntries(out->methods, out->methodCount, base->methods, base->methodCount)) {
      Report("out->methods.count >= base->methods.count");
    }
    if (!CopyBaseEntries(out->interfaces, out->interfaceCount, base->interfaces, base->interfaceCount)) {
      Report("out->interfaceCount >= base->interfaceCount");
    }
    if (!CopyBaseEntries(out->events, out->eventCount, base->events, base->eventCount)) {
      Report("out->events.count >= base->events.count");
    }
    CopyBaseEntries(out->accessors, out->accessorCount, base->accessors, base->accessorCount);
    if (!CopyBaseEntries(out->properties, out->propertyCount, base->properties, base->propertyCount)) {
      Report("out->properties.count >= base->properties.count");
    }
  }
  out->super = base;
  PushClass(out);
  return out;
}

/* ---- objects ---------------------------------------------------------------- */

void CensusInsert(ObjectHeader* o) {
  o->censusPrev = nullptr;
  o->censusNext = gCensus;
  if (gCensus) gCensus->censusPrev = o;
  gCensus = o;
}

void CensusUnlink(ObjectHeader* o) {
  if (o->censusPrev) {
    o->censusPrev->censusNext = o->censusNext;
  } else {
    gCensus = o->censusNext;
  }
  if (o->censusNext) o->censusNext->censusPrev = o->censusPrev;
}

void RunInitializers(ObjectHeader* o, ClassRecord* cls) {
  if (!cls) return;
  RunInitializers(o, cls->super);
  if (cls->initializer) CallObjectHook(cls->initializer, o);
}

ObjectHeader* NewObject(ClassRecord* cls) {
  if (!cls) ThrowNilObjectException();
  if (cls->isAnInterface) {
    /* An interface has no instance layout: building one would write the
    ** header past a block of its (zero) size. */
    Report("!parent->isAnInterface");
    return nullptr;
  }
  size_t size = std::max<size_t>(cls->objectSize > 0 ? size_t(cls->objectSize) : 0, sizeof(ObjectHeader));
  ObjectHeader* o = static_cast<ObjectHeader*>(AllocateBlock(size, true));
  if (!o) ThrowNilObjectException();
  gLiveObjects++;
  CensusInsert(o);
  o->classPtr = cls;
  o->vtable = cls->methods;
  o->eventTable = cls->events;
  o->refCount = 1;
  try {
    RunInitializers(o, cls);
  } catch (const RaisedException&) {
    /* The creator never sees the object: destroy it (its finalizers cope
    ** with zeroed fields) and let the raise go on. */
    ReleaseObjectQuietly(o);
    throw;
  }
  return o;
}

/* Step 3 for one object: finalizers, destroy hook, weak references, the
** private event table, census, memory. */
void Finalize(ObjectHeader* o, DeferredRaise& raise) {
  for (ClassRecord* cls = o->classPtr; cls; cls = cls->super) {
    if (cls->finalizer) raise.Run([&] { CallObjectHook(cls->finalizer, o); });
  }
  if (gDestroyHook) gDestroyHook(o);
  ClearWeakReferencesTo(o);
  ClassRecord* cls = o->classPtr;
  if (o->eventTable && cls && o->eventTable != cls->events) {
    EventEntry* table = static_cast<EventEntry*>(o->eventTable);
    for (int32_t i = 0; i < cls->eventCount; i++) RuntimeUnlockString(table[i].name);
    FreeBlock(table);
  }
  CensusUnlink(o);
  FreeBlock(o);
  gLiveObjects--;
}

/* Steps 1 and 2; true when the object lives on. */
bool RunDestructorHooks(ObjectHeader* o, DeferredRaise& raise) {
  o->refCount = 1;
  for (ClassRecord* cls = o->classPtr; cls; cls = cls->super) {
    if (!cls->destructorHook) continue;
    raise.Run([&] { CallObjectHook(cls->destructorHook, o); });
    if (o->refCount > 1) {
      o->refCount--;
      return true;
    }
  }
  o->refCount = 0;
  return false;
}

/* The object's count just went from 1 to 0.  Returns the object when a
** destructor hook resurrected it, else null. */
ObjectHeader* DestroyReleased(ObjectHeader* o) {
  DeferredRaise raise;
  if (RunDestructorHooks(o, raise)) {
    raise.Rethrow();
    return o;
  }
  if (gDestroying) {
    /* On a failed push ("mBuf" is reported) the object is left alive with
    ** count 0: a leak, never a nested destruction. */
    (void)gPending.Append(o);
    raise.Rethrow();
    return nullptr;
  }
  gDestroying = true;
  for (;;) {
    Finalize(o, raise);
    if (gPending.Empty()) break;
    o = gPending.Pop();
  }
  gDestroying = false;
  raise.Rethrow();
  return nullptr;
}

ObjectHeader* UnlockObject(ObjectHeader* o) {
  if (!o || o->refCount <= 0) return o;
  if (--o->refCount > 0) return o;
  return DestroyReleased(o);
}

bool IsaInterface(const ClassRecord* cls, const ClassRecord* interface) {
  for (int32_t i = 0; i < cls->interfaceCount; i++) {
    for (const ClassRecord* c = cls->interfaces[i].interface; c; c = c->super) {
      if (c == interface) return true;
    }
  }
  return false;
}

} // namespace

int32_t LiveObjectCount() { return gLiveObjects; }
ObjectHeader* CensusHead() { return gCensus; }
ClassRecord* ClassListHead() { return gClassList; }
void SetDestroyHook(DestroyHook hook) { gDestroyHook = hook; }

void ReleaseObjectQuietly(ObjectHeader* object) noexcept {
  try {
    UnlockObject(object);
  } catch (const RaisedException&) {
    /* Dropped: see the contract in object_model.h. */
  }
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ClassRecord* RuntimeNewClass(ClassRecord* base, int32_t methodCount, int32_t interfaceCount,
                                             int32_t eventCount, int32_t accessorCount,
                                             int32_t propertyCount) {
  QUENDAL_SERVICE_BEGIN
  return BuildClassRecord(base, methodCount, interfaceCount, eventCount, accessorCount, propertyCount);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE MethodEntry* RuntimeNewVtable(int32_t count) {
  QUENDAL_SERVICE_BEGIN
  if (count <= 0) return nullptr;
  MethodEntry* table = static_cast<MethodEntry*>(AllocateBlock(size_t(count) * sizeof(MethodEntry), true));
  if (!table) ThrowNilObjectException();
  return table;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void RuntimeRegisterClass(ClassRecord* cls) {
  if (!cls) {
    Report("it");
    return;
  }
  /* A record pushed twice would make the class list a cycle. */
  if (IsOnClassList(cls)) {
    Report("!alreadyRegistered", "The class is on the class list already.");
    return;
  }
  PushClass(cls);
}

QUENDAL_SERVICE ObjectHeader* RuntimeNewObject(ClassRecord* cls) {
  QUENDAL_SERVICE_BEGIN
  return NewObject(cls);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* CreateInstance(const ObjectDefinition* definition) {
  QUENDAL_SERVICE_BEGIN
  if (!definition) {
    Report("defn");
    return nullptr;
  }
  ClassRecord* cls = LookupObjectDefinition(definition);
  if (!cls) return nullptr;
  return NewObject(cls);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ObjectHeader* RuntimeLockObject(ObjectHeader* object) {
  if (object && object->refCount != 0) object->refCount++;
  return object;
}

QUENDAL_SERVICE ObjectHeader* RuntimeUnlockObject(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  return UnlockObject(object);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void RuntimeLockUnlockObjects(ObjectHeader* retained, ObjectHeader* released) {
  QUENDAL_SERVICE_BEGIN
  if (retained == released) return;
  RuntimeLockObject(retained);
  UnlockObject(released);
  QUENDAL_SERVICE_END_VOID
}

extern "C" bool RuntimeObjectIsa(ObjectHeader* object, ClassRecord* cls) {
  if (!object) return false;
  if (!cls) return true;
  if (!cls->isAnInterface) {
    for (const ClassRecord* c = object->classPtr; c; c = c->super) {
      if (c == cls) return true;
    }
    return false;
  }
  return object->classPtr && IsaInterface(object->classPtr, cls);
}

QUENDAL_SERVICE ObjectHeader* RuntimeCheckCast(ObjectHeader* object, ClassRecord* cls) {
  QUENDAL_SERVICE_BEGIN
  if (!object || !cls) return object;
  if (RuntimeObjectIsa(object, cls)) return RuntimeLockObject(object);
  ThrowIllegalCastException();
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ClassRecord* RuntimeClassOf(ObjectHeader* object) { return object ? object->classPtr : nullptr; }

QUENDAL_SERVICE MethodEntry* RuntimeLookupInterfaceVtable(ObjectHeader* object, ClassRecord* interface) {
  QUENDAL_SERVICE_BEGIN
  if (!object || !interface) ThrowNilObjectException();
  if (!interface->isAnInterface) ThrowIllegalCastException();
  ClassRecord* cls = object->classPtr;
  for (int32_t i = 0; cls && i < cls->interfaceCount; i++) {
    if (cls->interfaces[i].interface == interface) return cls->interfaces[i].vtable;
  }
  ThrowIllegalCastException();
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void RuntimeNilObject() {
  QUENDAL_SERVICE_BEGIN
  ThrowNilObjectException();
  QUENDAL_SERVICE_END_VOID
}
