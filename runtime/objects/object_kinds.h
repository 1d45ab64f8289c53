/*
** Small object kinds built on the object header: weak references,
** delegates, the generic property accessors, Collection and ObjectCursor.
**
** Weak reference (class WeakRef): {next, previous, target} after the
** header.  Registered references form one global list; destroying a target
** clears every reference to it (target becomes null, the reference leaves
** the list).  A weak reference never changes its target's count.
** Destroying a registered weak reference unregisters it.
**
** Delegate (class Delegate): {invoker, entry point, target (locked),
** signature (locked)} after the header; the finalizer releases target and
** signature.
**
** Generic accessors: (object, parameter) where parameter is the byte
** offset of the field in the object; setters take the value last.  Getters
** of counted values return them locked; setters lock the new value before
** releasing the old one.  singleGetter widens to double and singleSetter
** takes a double.  A nil object raises NilObjectException.
**
** Collection (class Collection): an ordered list of {key String, value
** object}, both locked, positions 1-based.  ObjectCursor (class
** ObjectCursor): a lazy sequence filled from its NextObject event; objects
** obtained are kept locked in order until the event returns nil, after
** which the cursor is exhausted.
*/
#ifndef QUENDAL_OBJECTS_OBJECT_KINDS_H
#define QUENDAL_OBJECTS_OBJECT_KINDS_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/array_object.h"
#include "runtime/objects/object_definition.h"

struct WeakRefObject {
  ObjectHeader header;
  WeakRefObject* next;
  WeakRefObject* previous;
  ObjectHeader* target;
};
static_assert(offsetof(WeakRefObject, target) == 64, "weak reference fields after the header");

struct DelegateObject {
  ObjectHeader header;
  void* invoker;
  void* entry;
  ObjectHeader* target;
  ORVAstring signature;
};
static_assert(sizeof(DelegateObject) == 80, "delegate: header and four words");

struct CollectionObject {
  ObjectHeader header;
  struct CollectionEntries* entries;  /* created on the first add */
};

struct ObjectCursorObject {
  ObjectHeader header;
  struct CursorItems* items;          /* created on the first pull */
  bool exhausted;
};

namespace quendal {

extern const ObjectDefinition kWeakRefDefinition;
extern const ObjectDefinition kDelegateDefinition;
extern const ObjectDefinition kCollectionDefinition;
extern const ObjectDefinition kObjectCursorDefinition;

/* Clears every weak reference whose target is object (destruction). */
void ClearWeakReferencesTo(ObjectHeader* object);

} // namespace quendal

extern "C" {

/* ---- weak references ---- */
void RegisterWeakRef(WeakRefObject* ref, ObjectHeader* target);
void UnregisterWeakRef(WeakRefObject* ref);
ObjectHeader* ResolveWeakRef(WeakRefObject* ref);       /* locked, or null */
void WeakRefFinalizer(ObjectHeader* ref);

/* ---- delegates ---- */
DelegateObject* RuntimeCreateDelegate(void* invoker, void* entry, ObjectHeader* target, ORVAstring signature);
ORVAstring DelegateTargetGetter(DelegateObject* delegate);
bool RuntimeDelegateIsA(ObjectHeader* object, ORVAstring signature);
ObjectHeader* RuntimeCheckDelegateCast(ObjectHeader* object, ORVAstring signature);
bool RuntimeCompareDelegates(DelegateObject* a, DelegateObject* b);
void DelegateFinalizer(ObjectHeader* delegate);

/* ---- generic property accessors ---- */
uint8_t byteGetter(ObjectHeader* object, int32_t offset);
void byteSetter(ObjectHeader* object, int32_t offset, uint8_t value);
int32_t shortGetter(ObjectHeader* object, int32_t offset);
void shortSetter(ObjectHeader* object, int32_t offset, int16_t value);
int32_t intGetter(ObjectHeader* object, int32_t offset);
void intSetter(ObjectHeader* object, int32_t offset, int32_t value);
int64_t int64Getter(ObjectHeader* object, int32_t offset);
void int64Setter(ObjectHeader* object, int32_t offset, int64_t value);
bool boolGetter(ObjectHeader* object, int32_t offset);
void boolSetter(ObjectHeader* object, int32_t offset, bool value);
double singleGetter(ObjectHeader* object, int32_t offset);
void singleSetter(ObjectHeader* object, int32_t offset, double value);
double doubleGetter(ObjectHeader* object, int32_t offset);
void doubleSetter(ObjectHeader* object, int32_t offset, double value);
ORVAstring stringGetter(ObjectHeader* object, int32_t offset);
void stringSetter(ObjectHeader* object, int32_t offset, ORVAstring value);
ORVAstring StringToSSGetter(ObjectHeader* object, int32_t offset);
void SSToStringSetter(ObjectHeader* object, int32_t offset, ORVAstring value);
ObjectHeader* objGetter(ObjectHeader* object, int32_t offset);
void objSetter(ObjectHeader* object, int32_t offset, ObjectHeader* value);
ArrayObject* arrayGetter(ObjectHeader* object, int32_t offset);
void arraySetter(ObjectHeader* object, int32_t offset, ArrayObject* value);

/* ---- Collection ---- */
void collectionAdd(CollectionObject* collection, ObjectHeader* value, ORVAstring key);
int32_t collectionCount(CollectionObject* collection);
ObjectHeader* collectionIdxItem(CollectionObject* collection, int32_t index);
ObjectHeader* collectionItem(CollectionObject* collection, ORVAstring key);
void collectionIdxRemove(CollectionObject* collection, int32_t index);
void collectionKeyRemove(CollectionObject* collection, ORVAstring key);
void collectionFinalizer(ObjectHeader* collection);

/* ---- ObjectCursor ---- */
/* The next object of the sequence from the NextObject event (locked), or
** null once exhausted. */
ObjectHeader* objectCursorNextObject(ObjectCursorObject* cursor);
ObjectHeader* objectCursorGetItem(ObjectCursorObject* cursor, int32_t index);
int32_t objectCursorCountGetter(ObjectCursorObject* cursor);
void objectCursorDestructor(ObjectHeader* cursor);

} // extern "C"

#endif
