/*
** Collection: an ordered list of {key, value} entries, positions 1-based.
** See object_kinds.h.
**
** The entries own one reference to each key and value.  An entry leaves
** the list before its references are released, so a finalizer that runs
** during a release sees the collection without it.
*/
#include <optional>
#include <vector>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/string_core.h"

struct CollectionEntries {
  struct Entry {
    ORVAstring key;
    ObjectHeader* value;
  };
  std::vector<Entry> items;
};

namespace quendal {

namespace {

const AccessorDefinition kCollectionAccessors[] = {
    {QUENDAL_ENTRY(collectionAdd), "Add%%o<Collection>o<Object>s", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(collectionCount), "Count%i4%o<Collection>", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(collectionIdxItem), "Item%o<Object>%o<Collection>i4", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(collectionItem), "Item%o<Object>%o<Collection>s", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(collectionIdxRemove), "Remove%%o<Collection>i4", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(collectionKeyRemove), "Remove%%o<Collection>s", {nullptr, nullptr}, nullptr, 0},
};

CollectionEntries::Entry TakeEntry(CollectionObject* c, size_t index) {
  CollectionEntries::Entry e = c->entries->items[index];
  c->entries->items.erase(c->entries->items.begin() + ptrdiff_t(index));
  return e;
}

void ReleaseEntry(const CollectionEntries::Entry& e) {
  RuntimeUnlockString(e.key);
  RuntimeUnlockObject(e.value);
}

/* Index of the first entry whose key equals key (language equality), or -1. */
ptrdiff_t FindKey(const CollectionObject* c, ORVAstring key) {
  if (!c->entries) return -1;
  for (size_t i = 0; i < c->entries->items.size(); i++) {
    if (RuntimeStringCompare(c->entries->items[i].key, key) == 0) return ptrdiff_t(i);
  }
  return -1;
}

CollectionObject* Checked(CollectionObject* c) {
  if (!c) ThrowNilObjectException();
  return c;
}

size_t CheckedPosition(const CollectionObject* c, int32_t index) {
  int32_t count = c->entries ? int32_t(c->entries->items.size()) : 0;
  if (index < 1 || index > count) ThrowOutOfBoundsException();
  return size_t(index - 1);
}

} // namespace

const ObjectDefinition kCollectionDefinition = {
    .className = "Collection",
    .objectSize = int32_t(sizeof(CollectionObject)),
    .finalizer = QUENDAL_ENTRY(collectionFinalizer),
    .accessors = kCollectionAccessors,
    .accessorCount = int32_t(sizeof(kCollectionAccessors) / sizeof(kCollectionAccessors[0])),
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void collectionAdd(CollectionObject* collection, ObjectHeader* value, ORVAstring key) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  if (!c->entries) c->entries = new CollectionEntries();
  c->entries->items.push_back({key, value});
  RuntimeLockString(key);
  RuntimeLockObject(value);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE int32_t collectionCount(CollectionObject* collection) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  return c->entries ? int32_t(c->entries->items.size()) : 0;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE ObjectHeader* collectionIdxItem(CollectionObject* collection, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  return RuntimeLockObject(c->entries->items[CheckedPosition(c, index)].value);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* collectionItem(CollectionObject* collection, ORVAstring key) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  ptrdiff_t i = FindKey(c, key);
  return i < 0 ? nullptr : RuntimeLockObject(c->entries->items[size_t(i)].value);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void collectionIdxRemove(CollectionObject* collection, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  ReleaseEntry(TakeEntry(c, CheckedPosition(c, index)));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void collectionKeyRemove(CollectionObject* collection, ORVAstring key) {
  QUENDAL_SERVICE_BEGIN
  CollectionObject* c = Checked(collection);
  ptrdiff_t i = FindKey(c, key);
  if (i >= 0) ReleaseEntry(TakeEntry(c, size_t(i)));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void collectionFinalizer(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  auto* c = reinterpret_cast<CollectionObject*>(object);
  if (!c || !c->entries) return;
  CollectionEntries* entries = c->entries;
  c->entries = nullptr;
  std::optional<RaisedException> first;
  for (const CollectionEntries::Entry& e : entries->items) {
    try {
      ReleaseEntry(e);
    } catch (const RaisedException& raised) {
      if (!first) first.emplace(raised);
    }
  }
  delete entries;
  if (first) throw RaisedException(*first);
  QUENDAL_SERVICE_END_VOID
}
