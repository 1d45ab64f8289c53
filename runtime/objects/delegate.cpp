/*
** Delegates.  See object_kinds.h.
*/
#include <cstdio>
#include <string>

#include "runtime/objects/image_code.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

const AccessorDefinition kDelegateAccessors[] = {
    {QUENDAL_ENTRY(DelegateTargetGetter), "Target%s%o<Delegate>", {nullptr, nullptr}, nullptr, 0},
};

ClassRecord* DelegateClass() { return LookupObjectDefinition(&kDelegateDefinition); }

bool IsDelegate(ObjectHeader* object) {
  ClassRecord* cls = DelegateClass();
  return object && cls && RuntimeObjectIsa(object, cls);
}

} // namespace

const ObjectDefinition kDelegateDefinition = {
    .className = "Delegate",
    .objectSize = int32_t(sizeof(DelegateObject)),
    .finalizer = QUENDAL_ENTRY(DelegateFinalizer),
    .accessors = kDelegateAccessors,
    .accessorCount = 1,
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE DelegateObject* RuntimeCreateDelegate(void* invoker, void* entry, ObjectHeader* target,
                                                      ORVAstring signature) {
  QUENDAL_SERVICE_BEGIN
  if (!invoker || !entry) return nullptr;
  auto* d = reinterpret_cast<DelegateObject*>(RuntimeNewObject(DelegateClass()));
  if (!d) return nullptr;
  d->invoker = invoker;
  d->entry = entry;
  d->target = RuntimeLockObject(target);
  RuntimeLockString(signature);
  d->signature = signature;
  return d;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void DelegateFinalizer(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  auto* d = reinterpret_cast<DelegateObject*>(object);
  if (!d) return;
  ObjectHeader* target = d->target;
  ORVAstring signature = d->signature;
  d->target = nullptr;
  d->signature = nullptr;
  RuntimeUnlockString(signature);
  RuntimeUnlockObject(target);
  QUENDAL_SERVICE_END_VOID
}

extern "C" ORVAstring DelegateTargetGetter(DelegateObject* delegate) {
  if (!delegate || !delegate->entry) return StringCreate("Nil", kEncodingASCII);
  ImageSymbol symbol = ImageSymbolAt(reinterpret_cast<uintptr_t>(delegate->entry));
  if (symbol.found && !symbol.name.empty()) return StringCreate(symbol.name, kEncodingUTF8);
  char hex[24];
  std::snprintf(hex, sizeof hex, "&h%llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(delegate->entry)));
  return StringCreate(hex, kEncodingASCII);
}

QUENDAL_SERVICE bool RuntimeDelegateIsA(ObjectHeader* object, ORVAstring signature) {
  QUENDAL_SERVICE_BEGIN
  if (!IsDelegate(object)) return false;
  return RuntimeStringCompare(reinterpret_cast<DelegateObject*>(object)->signature, signature) == 0;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE ObjectHeader* RuntimeCheckDelegateCast(ObjectHeader* object, ORVAstring signature) {
  QUENDAL_SERVICE_BEGIN
  if (!object) return nullptr;
  if (RuntimeDelegateIsA(object, signature)) return RuntimeLockObject(object);
  ThrowIllegalCastException();
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" bool RuntimeCompareDelegates(DelegateObject* a, DelegateObject* b) {
  if (!a && !b) return true;
  if (!a || !b) return false;
  return a->entry == b->entry && a->target == b->target;
}
