/*
** Dictionary: chains for lookup, a dense vector for order.  See
** dictionary.h.
**
** Invariants, whenever the busy byte is clear:
**   - bins is null (never constructed) or holds binCount chain heads;
**   - every entry e is in exactly one chain, that of e->hash, and at
**     entries.items[e->index];
**   - entries.count is the number of entries.
** Code that may run image code (hashes, comparisons, releases) never runs
** while a pointer update is half done.
*/
#include "runtime/objects/dictionary.h"

#include <cassert>
#include <optional>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/variant.h"

namespace quendal {

namespace {

const char kSource[] = "Dictionary";
constexpr int32_t kNewBinCount = 61;
constexpr int32_t kNewGrowthStep = kNewBinCount / 4;
constexpr int32_t kAutomaticSizeCount = 10;  /* automatic resizing uses the first ten sizes */
constexpr int32_t kLargeBinCount = 4099;
constexpr int32_t kLargeGrowthStep = 1024;

DictionaryObject* Checked(DictionaryObject* d) {
  if (!d) ThrowNilObjectException();
  return d;
}

DictionaryEntry** Items(DictionaryObject* d) { return static_cast<DictionaryEntry**>(d->entries.items); }
int32_t Count(const DictionaryObject* d) { return d->entries.count; }

DictionaryEntry** NewBins(int32_t n) {
  return static_cast<DictionaryEntry**>(AllocateRuntimeBuffer(size_t(n) * sizeof(DictionaryEntry*), true));
}

/* Starts d as a new dictionary: 61 empty chains, no entries. */
void MakeTables(DictionaryObject* d) {
  DictionaryEntry** bins = NewBins(kNewBinCount);
  if (!bins) ThrowOutOfMemoryException();
  d->bins = bins;
  d->binCount = kNewBinCount;
  d->entries = SimpleVectorCore{kNewGrowthStep, nullptr, 0, 0};
  d->fixedBins = 0;
}

void EnsureTables(DictionaryObject* d) {
  if (!d->bins) MakeTables(d);
}

DictionaryEntry** ChainOf(DictionaryObject* d, int32_t hash) {
  return &d->bins[uint32_t(hash) % uint32_t(d->binCount)];
}

/* Holds the busy byte for one operation.  A change that finds the byte
** set is a re-entry from a key's hash or comparison: reported, refused. */
class BusyScope {
 public:
  BusyScope(DictionaryObject* d, bool changing) : d_(d), before_(d->busy) {
    if (changing && before_) {
      QUENDAL_REPORT(kSource, "!mBusy", "A key's hash or comparison changed the dictionary it was used in.");
      refused_ = true;
      return;
    }
    d_->busy = 1;
  }
  ~BusyScope() {
    if (!refused_) d_->busy = before_;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  bool refused() const { return refused_; }

 private:
  DictionaryObject* d_;
  uint8_t before_;
  bool refused_ = false;
};

bool KeysEqual(ObjectHeader* a, ObjectHeader* b) {
  if (a == b) return true;
  if (CombinedVariantType(VarType(a), VarType(b)) < 0) return false;
  return VariantEqual(a, b);
}

/* The link that points at the entry of key (in its chain), or null. */
DictionaryEntry** FindLink(DictionaryObject* d, ObjectHeader* key, int32_t hash) {
  for (DictionaryEntry** link = ChainOf(d, hash); *link; link = &(*link)->next) {
    if ((*link)->hash == hash && KeysEqual(key, (*link)->key)) return link;
  }
  return nullptr;
}

DictionaryEntry* Find(DictionaryObject* d, ObjectHeader* key) {
  if (!d->bins) return nullptr;
  BusyScope busy(d, false);
  DictionaryEntry** link = FindLink(d, key, VariantHash(key));
  return link ? *link : nullptr;
}

int32_t AutomaticBinCount(int32_t count) {
  uint64_t target = uint64_t(count) * 4 / 3;
  for (int32_t i = 0; i < kAutomaticSizeCount; i++) {
    if (uint64_t(kDictionaryBinSizes[i]) >= target) return kDictionaryBinSizes[i];
  }
  return kDictionaryBinSizes[10];
}

/* Rebuilds the chains with n bins (n < 1: the automatic size).  An
** automatic resize that cannot allocate keeps the old bins; an explicit
** one raises OutOfMemoryException, unchanged. */
void Resize(DictionaryObject* d, int32_t n) {
  bool automatic = n < 1;
  if (automatic) n = AutomaticBinCount(Count(d));
  if (n == d->binCount) return;
  DictionaryEntry** bins = NewBins(n);
  if (!bins) {
    if (automatic) return;
    ThrowOutOfMemoryException();
  }
  FreeRuntimeBuffer(d->bins);
  d->bins = bins;
  d->binCount = n;
  for (int32_t i = 0; i < Count(d); i++) {
    DictionaryEntry* e = Items(d)[i];
    DictionaryEntry** chain = ChainOf(d, e->hash);
    e->next = *chain;
    *chain = e;
  }
  d->entries.growthStep = n > kLargeBinCount ? kLargeGrowthStep : n / 4;
}

/* Adds a new entry for key; OutOfMemoryException leaves d unchanged. */
void Insert(DictionaryObject* d, ObjectHeader* key, ObjectHeader* value, int32_t hash) {
  auto* e = static_cast<DictionaryEntry*>(AllocateRuntimeBuffer(sizeof(DictionaryEntry), false));
  if (!e) ThrowOutOfMemoryException();
  if (!SimpleVectorReserveOne(&d->entries, sizeof(DictionaryEntry*))) {
    FreeRuntimeBuffer(e);
    ThrowOutOfMemoryException();
  }
  DictionaryEntry** chain = ChainOf(d, hash);
  *e = DictionaryEntry{RuntimeLockObject(key), RuntimeLockObject(value), hash, Count(d), *chain};
  *chain = e;
  Items(d)[d->entries.count++] = e;
  if (!d->fixedBins && int64_t{Count(d)} > int64_t{d->binCount} * 3 / 4) Resize(d, 0);
}

/* Takes the entry at *link out of its chain and the vector (the last
** entry fills its slot). */
DictionaryEntry* Detach(DictionaryObject* d, DictionaryEntry** link) {
  DictionaryEntry* e = *link;
  *link = e->next;
  int32_t last = Count(d) - 1;
  assert(e->index >= 0 && e->index <= last && Items(d)[e->index] == e);
  DictionaryEntry* moved = Items(d)[last];
  Items(d)[e->index] = moved;
  moved->index = e->index;
  d->entries.count--;
  SimpleVectorShrinkIfSparse(&d->entries, sizeof(DictionaryEntry*));
  return e;
}

/* Releases the keys and values of n entries and frees them; every one is
** released even when a finalizer raises; the first raise then goes on. */
void ReleaseEntries(DictionaryEntry* const* entries, int32_t n) {
  std::optional<RaisedException> first;
  for (int32_t i = 0; i < n; i++) {
    DictionaryEntry* e = entries[i];
    for (ObjectHeader* held : {e->key, e->value}) {
      try {
        RuntimeUnlockObject(held);
      } catch (const RaisedException& raised) {
        if (!first) first.emplace(raised);
      }
    }
    FreeRuntimeBuffer(e);
  }
  if (first) throw RaisedException(*first);
}

/* Detaches every entry and the tables; the caller releases them. */
struct DetachedTables {
  DictionaryEntry** bins;
  DictionaryEntry** items;
  int32_t count;
};

DetachedTables DetachAll(DictionaryObject* d) {
  DetachedTables t{d->bins, Items(d), Count(d)};
  d->bins = nullptr;
  d->binCount = 0;
  d->entries = SimpleVectorCore{0, nullptr, 0, 0};
  return t;
}

void ReleaseTables(const DetachedTables& t) {
  FreeRuntimeBuffer(t.bins);
  struct ItemsOwner {
    DictionaryEntry** items;
    ~ItemsOwner() { FreeRuntimeBuffer(items); }
  } owner{t.items};
  ReleaseEntries(t.items, t.count);
}

ObjectHeader* EntryAt(DictionaryObject* d, int32_t index, bool key) {
  if (uint32_t(index) >= uint32_t(Count(d))) ThrowOutOfBoundsException();
  DictionaryEntry* e = Items(d)[index];
  return RuntimeLockObject(key ? e->key : e->value);
}

ArrayObject* ArrayOf(DictionaryObject* d, bool keys) {
  ArrayObject* array = CreateArray(1, kArrayObject, Count(d) - 1);
  if (!array) ThrowOutOfMemoryException();
  ObjectRef owner(&array->header);
  for (int32_t i = 0; i < Count(d); i++) {
    DictionaryEntry* e = Items(d)[i];
    RuntimeDirectWriteObjectArray(array, i, keys ? e->key : e->value);
  }
  return reinterpret_cast<ArrayObject*>(owner.release());
}

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

const AccessorDefinition kDictionaryMembers[] = {
    {QUENDAL_ENTRY(dictionaryConstructor), "Constructor%%o<Dictionary>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryRemoveAll), "Clear%%o<Dictionary>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryHasKey), "HasKey%b%o<Dictionary>o<Object>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryKey), "Key%o<Object>%o<Dictionary>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryRemove), "Remove%%o<Dictionary>o<Object>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryValueGetter), "Value%o<Object>%o<Dictionary>o<Object>",
     QUENDAL_ENTRY(dictionaryValueSetter), "=Value%%o<Dictionary>o<Object>o<Object>", 0},
    {QUENDAL_ENTRY(dictionaryValueByIndex), "Value%o<Object>%o<Dictionary>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(DictionaryLookup), "Lookup%o<Object>%o<Dictionary>o<Object>o<Object>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryKeys), "Keys%a1o<Object>%o<Dictionary>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(dictionaryValues), "Values%a1o<Object>%o<Dictionary>", kNoEntry, nullptr, 0},
};

const InstanceVariableDefinition kDictionaryProperties[] = {
    {"Count", 0, "Integer", 0, 0, QUENDAL_ENTRY(dictionaryCount), kNoEntry},
    {"BinCount", 0, "Integer", 1, 0, QUENDAL_ENTRY(dictionaryGetBins), QUENDAL_ENTRY(dictionarySetBins)},
};

} // namespace

const ObjectDefinition kDictionaryDefinition = {
    .className = "Dictionary",
    .objectSize = int32_t(sizeof(DictionaryObject)),
    .finalizer = QUENDAL_ENTRY(dictionaryDestructor),
    .accessors = kDictionaryMembers,
    .accessorCount = int32_t(sizeof kDictionaryMembers / sizeof kDictionaryMembers[0]),
    .instanceVariables = kDictionaryProperties,
    .instanceVariableCount = int32_t(sizeof kDictionaryProperties / sizeof kDictionaryProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kDictionaryProperties / sizeof kDictionaryProperties[0]),
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void dictionaryConstructor(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  EnsureTables(Checked(dictionary));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void dictionaryDestructor(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  auto* d = reinterpret_cast<DictionaryObject*>(object);
  if (!d) return;
  ReleaseTables(DetachAll(d));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE int32_t dictionaryCount(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  return Count(Checked(dictionary));
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t dictionaryGetBins(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  DictionaryObject* d = Checked(dictionary);
  return d->bins ? d->binCount : kNewBinCount;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE void dictionarySetBins(DictionaryObject* dictionary, int32_t bins) {
  QUENDAL_SERVICE_BEGIN
  DictionaryObject* d = Checked(dictionary);
  EnsureTables(d);
  BusyScope busy(d, true);
  if (busy.refused()) return;
  Resize(d, bins);
  d->fixedBins = bins > 0;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void dictionaryRemoveAll(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  DictionaryObject* d = Checked(dictionary);
  DetachedTables old{nullptr, nullptr, 0};
  {
    BusyScope busy(d, true);
    if (busy.refused()) return;
    DictionaryEntry** bins = NewBins(kNewBinCount);
    if (!bins) ThrowOutOfMemoryException();
    old = DetachAll(d);
    d->bins = bins;
    d->binCount = kNewBinCount;
    d->entries.growthStep = kNewGrowthStep;
    d->fixedBins = 0;
  }
  ReleaseTables(old);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool dictionaryHasKey(DictionaryObject* dictionary, ObjectHeader* key) {
  QUENDAL_SERVICE_BEGIN
  return Find(Checked(dictionary), key) != nullptr;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE ObjectHeader* dictionaryKey(DictionaryObject* dictionary, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  return EntryAt(Checked(dictionary), index, true);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* dictionaryValueByIndex(DictionaryObject* dictionary, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  return EntryAt(Checked(dictionary), index, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void dictionaryRemove(DictionaryObject* dictionary, ObjectHeader* key) {
  QUENDAL_SERVICE_BEGIN
  DictionaryObject* d = Checked(dictionary);
  if (!d->bins) ThrowExceptionOfDefinition(&kKeyNotFoundExceptionDefinition);
  DictionaryEntry* removed = nullptr;
  {
    BusyScope busy(d, true);
    if (busy.refused()) return;
    DictionaryEntry** link = FindLink(d, key, VariantHash(key));
    if (!link) ThrowExceptionOfDefinition(&kKeyNotFoundExceptionDefinition);
    removed = Detach(d, link);
  }
  ReleaseEntries(&removed, 1);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ObjectHeader* dictionaryValueGetter(DictionaryObject* dictionary, ObjectHeader* key) {
  QUENDAL_SERVICE_BEGIN
  DictionaryEntry* e = Find(Checked(dictionary), key);
  if (!e) ThrowExceptionOfDefinition(&kKeyNotFoundExceptionDefinition);
  return RuntimeLockObject(e->value);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void dictionaryValueSetter(DictionaryObject* dictionary, ObjectHeader* key, ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  DictionaryObject* d = Checked(dictionary);
  EnsureTables(d);
  ObjectRef replaced;
  {
    BusyScope busy(d, true);
    if (busy.refused()) return;
    int32_t hash = VariantHash(key);
    if (DictionaryEntry** link = FindLink(d, key, hash)) {
      replaced = ObjectRef((*link)->value);
      (*link)->value = RuntimeLockObject(value);
    } else {
      Insert(d, key, value, hash);
    }
  }
  replaced.reset();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ObjectHeader* DictionaryLookup(DictionaryObject* dictionary, ObjectHeader* key,
                                               ObjectHeader* defaultValue) {
  QUENDAL_SERVICE_BEGIN
  DictionaryEntry* e = Find(Checked(dictionary), key);
  return RuntimeLockObject(e ? e->value : defaultValue);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ArrayObject* dictionaryValues(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  return ArrayOf(Checked(dictionary), false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ArrayObject* dictionaryKeys(DictionaryObject* dictionary) {
  QUENDAL_SERVICE_BEGIN
  return ArrayOf(Checked(dictionary), true);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ClassRecord* RuntimeLookupDictionaryClass() { return LookupObjectDefinition(&kDictionaryDefinition); }
