/*
** String map: see string_map.h.
**
** Invariants: every entry is on exactly one bucket chain (the one of its
** stored hash) and on the insertion-order list; count_ is the length of
** that list; count_ <= 3/4 of the buckets after every insertion.
*/
#include "runtime/text/string_map.h"

#include <cassert>

#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

uint8_t FoldASCII(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 0x20) : c; }

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

/* The UTF-8 text of a string key (owned by the returned holder). */
StringRef Utf8Key(ORVAstring key) { return StringRef(StringConvertToTag(key, kEncodingUTF8)); }

} // namespace

StringMap::StringMap() : buckets_(kInitialBuckets, nullptr) {}

StringMap::~StringMap() {
  Entry* e = first_;
  while (e) {
    Entry* next = e->nextInserted;
    delete e;
    e = next;
  }
}

uint32_t StringMap::Hash(std::string_view key) {
  uint32_t h = 0;
  for (char c : key) h = h * 31 + FoldASCII(static_cast<uint8_t>(c));
  return h;
}

StringMap::Entry* StringMap::FindHashed(std::string_view key, uint32_t hash) const {
  for (Entry* e = buckets_[hash % buckets_.size()]; e; e = e->nextInBucket) {
    if (e->hash == hash && SameKey(e->key, key)) return e;
  }
  return nullptr;
}

void StringMap::Grow() {
  std::vector<Entry*> bigger(buckets_.size() * 2, nullptr);
  for (Entry* e = first_; e; e = e->nextInserted) {
    Entry*& head = bigger[e->hash % bigger.size()];
    e->nextInBucket = head;
    head = e;
  }
  buckets_.swap(bigger);
}

bool StringMap::Insert(std::string_view key, void* value) {
  uint32_t hash = Hash(key);
  if (Entry* existing = FindHashed(key, hash)) {
    existing->value = value;
    return false;
  }
  Entry* e = new Entry;
  e->key.assign(key);
  e->value = value;
  e->hash = hash;
  Entry*& head = buckets_[hash % buckets_.size()];
  e->nextInBucket = head;
  head = e;
  e->previousInserted = last_;
  e->nextInserted = nullptr;
  if (last_) last_->nextInserted = e; else first_ = e;
  last_ = e;
  ++count_;
  if (count_ * 4 > buckets_.size() * 3) Grow();
  return true;
}

bool StringMap::Insert(ORVAstring key, void* value) {
  StringRef text = Utf8Key(key);
  return Insert(StringView(text.get()), value);
}

StringMap::Entry* StringMap::FindEntry(std::string_view key) const {
  return FindHashed(key, Hash(key));
}

StringMap::Entry* StringMap::FindEntry(ORVAstring key) const {
  StringRef text = Utf8Key(key);
  return FindEntry(StringView(text.get()));
}

void* StringMap::Find(std::string_view key) const {
  Entry* e = FindEntry(key);
  return e ? e->value : nullptr;
}

void* StringMap::Find(ORVAstring key) const {
  Entry* e = FindEntry(key);
  return e ? e->value : nullptr;
}

bool StringMap::Erase(std::string_view key) {
  uint32_t hash = Hash(key);
  Entry** link = &buckets_[hash % buckets_.size()];
  while (*link && !((*link)->hash == hash && SameKey((*link)->key, key))) link = &(*link)->nextInBucket;
  Entry* e = *link;
  if (!e) return false;
  *link = e->nextInBucket;
  if (e->previousInserted) e->previousInserted->nextInserted = e->nextInserted; else first_ = e->nextInserted;
  if (e->nextInserted) e->nextInserted->previousInserted = e->previousInserted; else last_ = e->previousInserted;
  delete e;
  assert(count_ > 0);
  --count_;
  return true;
}

bool StringMap::Erase(ORVAstring key) {
  StringRef text = Utf8Key(key);
  return Erase(StringView(text.get()));
}

} // namespace quendal
