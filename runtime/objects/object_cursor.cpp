/*
** ObjectCursor: a lazy sequence of objects supplied by the NextObject
** event of the cursor's subclass.  See object_kinds.h.
**
** Objects pulled from the event are kept, each with the one reference the
** event returned, in pull order; once the event returns nil the cursor is
** exhausted and never asks again.
*/
#include <optional>
#include <vector>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/object_kinds.h"

struct CursorItems {
  std::vector<ObjectHeader*> objects;
};

namespace quendal {

namespace {

const EventDefinition kCursorEvents[] = {
    {"NextObject", "() As Object"},
};

const AccessorDefinition kCursorAccessors[] = {
    {QUENDAL_ENTRY(objectCursorNextObject), "NextObject%o<Object>%o<ObjectCursor>", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(objectCursorGetItem), "Item%o<Object>%o<ObjectCursor>i4", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(objectCursorCountGetter), "Count%i4%o<ObjectCursor>", {nullptr, nullptr}, nullptr, 0},
};

ObjectCursorObject* Checked(ObjectCursorObject* cursor) {
  if (!cursor) ThrowNilObjectException();
  return cursor;
}

int32_t Pulled(const ObjectCursorObject* cursor) {
  return cursor->items ? int32_t(cursor->items->objects.size()) : 0;
}

/* Pulls one more object into the list; false once exhausted. */
bool PullOne(ObjectCursorObject* cursor) {
  ObjectHeader* next = objectCursorNextObject(cursor);
  if (!next) return false;
  if (!cursor->items) cursor->items = new CursorItems();
  cursor->items->objects.push_back(next);
  return true;
}

} // namespace

const ObjectDefinition kObjectCursorDefinition = {
    .className = "ObjectCursor",
    .objectSize = int32_t(sizeof(ObjectCursorObject)),
    .finalizer = QUENDAL_ENTRY(objectCursorDestructor),
    .hooks = kCursorEvents,
    .hookCount = 1,
    .accessors = kCursorAccessors,
    .accessorCount = int32_t(sizeof(kCursorAccessors) / sizeof(kCursorAccessors[0])),
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ObjectHeader* objectCursorNextObject(ObjectCursorObject* cursor) {
  QUENDAL_SERVICE_BEGIN
  ObjectCursorObject* c = Checked(cursor);
  if (c->exhausted) return nullptr;
  using NextObjectEvent = ObjectHeader* (*)(ObjectHeader*);
  auto event = reinterpret_cast<NextObjectEvent>(EventHandlerNamed(&c->header, "NextObject"));
  ObjectHeader* next = event ? CallRoutine(event, &c->header) : nullptr;
  if (!next) c->exhausted = true;
  return next;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* objectCursorGetItem(ObjectCursorObject* cursor, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  ObjectCursorObject* c = Checked(cursor);
  if (index < 1) return nullptr;
  while (Pulled(c) < index && PullOne(c)) {
  }
  if (Pulled(c) < index) return nullptr;
  return RuntimeLockObject(c->items->objects[size_t(index - 1)]);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE int32_t objectCursorCountGetter(ObjectCursorObject* cursor) {
  QUENDAL_SERVICE_BEGIN
  ObjectCursorObject* c = Checked(cursor);
  while (PullOne(c)) {
  }
  return Pulled(c);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE void objectCursorDestructor(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  auto* c = reinterpret_cast<ObjectCursorObject*>(object);
  if (!c || !c->items) return;
  CursorItems* items = c->items;
  c->items = nullptr;
  std::optional<RaisedException> first;
  for (ObjectHeader* o : items->objects) {
    try {
      RuntimeUnlockObject(o);
    } catch (const RaisedException& raised) {
      if (!first) first.emplace(raised);
    }
  }
  delete items;
  if (first) throw RaisedException(*first);
  QUENDAL_SERVICE_END_VOID
}
