/*
** Weak references.  See object_kinds.h.
**
** Invariant: a reference is on the global list exactly when its target is
** not null.
*/
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"

namespace quendal {

namespace {

WeakRefObject* gWeakList = nullptr;

void Unlink(WeakRefObject* ref) {
  if (ref->previous) {
    ref->previous->next = ref->next;
  } else {
    gWeakList = ref->next;
  }
  if (ref->next) ref->next->previous = ref->previous;
  ref->next = nullptr;
  ref->previous = nullptr;
}

} // namespace

const ObjectDefinition kWeakRefDefinition = {
    .className = "WeakRef",
    .objectSize = int32_t(sizeof(WeakRefObject)),
    .finalizer = QUENDAL_ENTRY(WeakRefFinalizer),
};

void ClearWeakReferencesTo(ObjectHeader* object) {
  WeakRefObject* ref = gWeakList;
  while (ref) {
    WeakRefObject* next = ref->next;
    if (ref->target == object) {
      ref->target = nullptr;
      Unlink(ref);
    }
    ref = next;
  }
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void RegisterWeakRef(WeakRefObject* ref, ObjectHeader* target) {
  QUENDAL_SERVICE_BEGIN
  if (!target) return;
  if (!ref) ThrowNilObjectException();
  /* Registering again moves the reference: it must never be on the list twice. */
  if (ref->target) Unlink(ref);
  ref->target = target;
  ref->previous = nullptr;
  ref->next = gWeakList;
  if (gWeakList) gWeakList->previous = ref;
  gWeakList = ref;
  QUENDAL_SERVICE_END_VOID
}

extern "C" void UnregisterWeakRef(WeakRefObject* ref) {
  if (!ref || !ref->target) return;
  ref->target = nullptr;
  Unlink(ref);
}

extern "C" ObjectHeader* ResolveWeakRef(WeakRefObject* ref) {
  return ref ? RuntimeLockObject(ref->target) : nullptr;
}

extern "C" void WeakRefFinalizer(ObjectHeader* ref) { UnregisterWeakRef(reinterpret_cast<WeakRefObject*>(ref)); }
