/*
** The generic property accessors: built-in classes publish fields through
** these, with the field's byte offset as the accessor parameter.  See
** object_kinds.h for the rules per kind.
**
** Every access is checked against the object's class: the field must lie
** after the header and inside objectSize.  A bad offset is a failure
** report; the getter then gives a neutral value and the setter does
** nothing.  A nil object raises NilObjectException.
*/
#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/string_core.h"

namespace quendal {
namespace {

uint8_t* FieldAt(ObjectHeader* object, int32_t offset, size_t width) {
  if (!object) ThrowNilObjectException();
  int32_t size = object->classPtr ? object->classPtr->objectSize : 0;
  if (offset < int32_t(sizeof(ObjectHeader)) || int64_t(offset) + int64_t(width) > int64_t(size)) {
    RuntimeFailureReport(kFailureAssertion, "objects", __LINE__, "offset within object",
                         "A property accessor was given a field outside its object.");
    return nullptr;
  }
  return reinterpret_cast<uint8_t*>(object) + offset;
}

template <typename T>
T Get(ObjectHeader* object, int32_t offset) {
  T value{};
  if (uint8_t* field = FieldAt(object, offset, sizeof(T))) std::memcpy(&value, field, sizeof(T));
  return value;
}

template <typename T>
void Set(ObjectHeader* object, int32_t offset, T value) {
  if (uint8_t* field = FieldAt(object, offset, sizeof(T))) std::memcpy(field, &value, sizeof(T));
}

/* Stores a counted reference: the new value is locked before the old one
** is released, and the field holds the new value before the release runs
** (a finalizer of the old value sees a consistent object). */
void SetObjectField(ObjectHeader* object, int32_t offset, ObjectHeader* value) {
  uint8_t* field = FieldAt(object, offset, sizeof(ObjectHeader*));
  if (!field) return;
  ObjectHeader* old;
  std::memcpy(&old, field, sizeof old);
  if (old == value) return;
  RuntimeLockObject(value);
  std::memcpy(field, &value, sizeof value);
  RuntimeUnlockObject(old);
}

ORVAstring GetStringField(ObjectHeader* object, int32_t offset) {
  ORVAstring s = Get<ORVAstring>(object, offset);
  RuntimeLockString(s);
  return s;
}

void SetStringField(ObjectHeader* object, int32_t offset, ORVAstring value) {
  uint8_t* field = FieldAt(object, offset, sizeof(ORVAstring));
  if (!field) return;
  ORVAstring slot;
  std::memcpy(&slot, field, sizeof slot);
  StringAssign(&slot, value);
  std::memcpy(field, &slot, sizeof slot);
}

} // namespace
} // namespace quendal

using namespace quendal;

/* The services: one line each around the helpers above. */
#define QUENDAL_ACCESSOR(result, name, params, neutral, body) \
  QUENDAL_SERVICE result name params {                        \
    QUENDAL_SERVICE_BEGIN                                     \
    body;                                                     \
    QUENDAL_SERVICE_END(neutral)                              \
  }
#define QUENDAL_SETTER(name, params, body) \
  QUENDAL_SERVICE void name params {       \
    QUENDAL_SERVICE_BEGIN                  \
    body;                                  \
    QUENDAL_SERVICE_END_VOID               \
  }

QUENDAL_ACCESSOR(uint8_t, byteGetter, (ObjectHeader* o, int32_t at), 0, return Get<uint8_t>(o, at))
QUENDAL_SETTER(byteSetter, (ObjectHeader* o, int32_t at, uint8_t v), Set<uint8_t>(o, at, v))
QUENDAL_ACCESSOR(int32_t, shortGetter, (ObjectHeader* o, int32_t at), 0, return Get<int16_t>(o, at))
QUENDAL_SETTER(shortSetter, (ObjectHeader* o, int32_t at, int16_t v), Set<int16_t>(o, at, v))
QUENDAL_ACCESSOR(int32_t, intGetter, (ObjectHeader* o, int32_t at), 0, return Get<int32_t>(o, at))
QUENDAL_SETTER(intSetter, (ObjectHeader* o, int32_t at, int32_t v), Set<int32_t>(o, at, v))
QUENDAL_ACCESSOR(int64_t, int64Getter, (ObjectHeader* o, int32_t at), 0, return Get<int64_t>(o, at))
QUENDAL_SETTER(int64Setter, (ObjectHeader* o, int32_t at, int64_t v), Set<int64_t>(o, at, v))
QUENDAL_ACCESSOR(bool, boolGetter, (ObjectHeader* o, int32_t at), false, return Get<uint8_t>(o, at) != 0)
QUENDAL_SETTER(boolSetter, (ObjectHeader* o, int32_t at, bool v), Set<uint8_t>(o, at, v ? 1 : 0))
QUENDAL_ACCESSOR(double, singleGetter, (ObjectHeader* o, int32_t at), 0.0, return Get<float>(o, at))
QUENDAL_SETTER(singleSetter, (ObjectHeader* o, int32_t at, double v), Set<float>(o, at, float(v)))
QUENDAL_ACCESSOR(double, doubleGetter, (ObjectHeader* o, int32_t at), 0.0, return Get<double>(o, at))
QUENDAL_SETTER(doubleSetter, (ObjectHeader* o, int32_t at, double v), Set<double>(o, at, v))
QUENDAL_ACCESSOR(ORVAstring, stringGetter, (ObjectHeader* o, int32_t at), nullptr, return GetStringField(o, at))
QUENDAL_SETTER(stringSetter, (ObjectHeader* o, int32_t at, ORVAstring v), SetStringField(o, at, v))
QUENDAL_ACCESSOR(ORVAstring, StringToSSGetter, (ObjectHeader* o, int32_t at), nullptr,
                 return GetStringField(o, at))
QUENDAL_SETTER(SSToStringSetter, (ObjectHeader* o, int32_t at, ORVAstring v), SetStringField(o, at, v))
QUENDAL_ACCESSOR(ObjectHeader*, objGetter, (ObjectHeader* o, int32_t at), nullptr,
                 return RuntimeLockObject(Get<ObjectHeader*>(o, at)))
QUENDAL_SETTER(objSetter, (ObjectHeader* o, int32_t at, ObjectHeader* v), SetObjectField(o, at, v))
QUENDAL_ACCESSOR(ArrayObject*, arrayGetter, (ObjectHeader* o, int32_t at), nullptr,
                 return reinterpret_cast<ArrayObject*>(RuntimeLockObject(Get<ObjectHeader*>(o, at))))
QUENDAL_SETTER(arraySetter, (ObjectHeader* o, int32_t at, ArrayObject* v),
               SetObjectField(o, at, v ? &v->header : nullptr))
