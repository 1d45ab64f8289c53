/*
** Dictionary: a hash map from variant keys to variant values (any object;
** scalars boxed, nil allowed as key and value).
**
** Layout after the object header: the fixed-bins flag, the entries vector
** (SimpleVectorCore of DictionaryEntry*: growth step, items, count,
** capacity), the bin count, the bins (chain heads) and the busy byte.
** Every entry is in two places: its chain, for lookup, and the entries
** vector, whose position is its index for Key, the value by index, Keys
** and Values.  Entries own one reference to their key and one to their
** value.
**
** Hashing: the chain of a hash h is bins[(uint32_t)h % binCount].  A key
** matches an entry when the stored hash equals VariantHash(key) and
** VariantEqual holds; keys whose variant types cannot be compared (a
** String and an object, say) are simply different keys.  So String keys
** ignore ASCII case, and the Int32 box 1 and the Double box 1.0 are one key
** only when their hashes agree.
**
** Bins: 61 for a new dictionary; one of 61, 127, 251, 509, 1021, 2039,
** 4093, 8191, 16381, 32749, 65521.  When an added key makes the count
** exceed binCount * 3 / 4 and the bins are not fixed, the dictionary
** resizes to the first of the first ten sizes that is at least count * 4 /
** 3 (65521 when none is).  Setting BinCount to n > 0 resizes to exactly n
** and fixes the bins; n < 1 resizes automatically and unfixes them.  A
** resize re-inserts every entry in vector order at the head of its new
** chain and sets the vector's growth step to n / 4 (1024 above 4099 bins).
** An automatic resize that cannot allocate keeps the old bins; an explicit
** one raises OutOfMemoryException and changes nothing.
**
** Order: entries are in insertion order until the first removal; Remove
** moves the last entry into the gap (so indexes change) and shrinks the
** vector when it has become sparse.
**
** The busy byte is set while an operation looks a key up or changes the
** tables, from the key's hash and equality tests (which may run image
** code) to the last pointer update.  A change that finds it set is a
** re-entry from such code, which would pull entries from under the walk:
** it is a failure report ("!mBusy") and the nested change does nothing,
** instead of waiting for ever.  Nested look-ups are harmless and allowed.  References that an operation lets
** go (an old value, a removed entry, a cleared dictionary's entries) are
** released after the byte is cleared, so finalizers may use the
** dictionary.
**
** Raises: KeyNotFoundException (Value, Remove of a missing key),
** OutOfBoundsException (Key and value by index outside 0..count-1),
** OutOfMemoryException, NilObjectException for a nil dictionary, and
** whatever a key's hash or comparison raises.  Results are locked for the
** caller; arguments are borrowed.
*/
#ifndef QUENDAL_OBJECTS_DICTIONARY_H
#define QUENDAL_OBJECTS_DICTIONARY_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/array_object.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/simple_vector.h"

struct DictionaryEntry {
  ObjectHeader* key;     /* locked */
  ObjectHeader* value;   /* locked */
  int32_t hash;          /* VariantHash(key) */
  int32_t index;         /* position in the entries vector */
  DictionaryEntry* next; /* chain */
};

struct DictionaryObject {
  ObjectHeader header;
  int32_t fixedBins;
  quendal::SimpleVectorCore entries;
  int32_t binCount;
  DictionaryEntry** bins;  /* null until the tables exist */
  uint8_t busy;
};
static_assert(offsetof(DictionaryObject, fixedBins) == 48 && offsetof(DictionaryObject, entries) == 56,
              "dictionary fields after the object header");

namespace quendal {

inline constexpr int32_t kDictionaryBinSizes[11] = {61, 127, 251, 509, 1021, 2039, 4093, 8191, 16381, 32749, 65521};

extern const ObjectDefinition kDictionaryDefinition;

} // namespace quendal

extern "C" {

void dictionaryConstructor(DictionaryObject* dictionary);
void dictionaryDestructor(ObjectHeader* dictionary);
int32_t dictionaryCount(DictionaryObject* dictionary);
int32_t dictionaryGetBins(DictionaryObject* dictionary);
void dictionarySetBins(DictionaryObject* dictionary, int32_t bins);
void dictionaryRemoveAll(DictionaryObject* dictionary);
bool dictionaryHasKey(DictionaryObject* dictionary, ObjectHeader* key);
ObjectHeader* dictionaryKey(DictionaryObject* dictionary, int32_t index);
void dictionaryRemove(DictionaryObject* dictionary, ObjectHeader* key);
ObjectHeader* dictionaryValueGetter(DictionaryObject* dictionary, ObjectHeader* key);
void dictionaryValueSetter(DictionaryObject* dictionary, ObjectHeader* key, ObjectHeader* value);
ObjectHeader* DictionaryLookup(DictionaryObject* dictionary, ObjectHeader* key, ObjectHeader* defaultValue);
ArrayObject* dictionaryValues(DictionaryObject* dictionary);
ArrayObject* dictionaryKeys(DictionaryObject* dictionary);
ObjectHeader* dictionaryValueByIndex(DictionaryObject* dictionary, int32_t index);
ClassRecord* RuntimeLookupDictionaryClass();

} // extern "C"

#endif
