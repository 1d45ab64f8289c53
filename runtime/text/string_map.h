/*
** String map: the runtime's string-keyed hash table (link index, plugin
** entry-point table, class-name maps).
**
** Keys are UTF-8 text: ORVAstring keys are converted to UTF-8 first (bytes
** tagged kEncodingUnknown are taken as they are), C-string keys are taken
** as UTF-8.  Keys match without regard to ASCII case (a-z equal A-Z, the
** order of the runtime's own tables); other bytes must be equal.  The hash
** agrees: h = h * 31 + byte over the key's bytes with a-z read as A-Z, and
** the bucket is h modulo the bucket count.
**
** Buckets: 256 at the start, doubled whenever an insertion makes the
** entries exceed three quarters of the buckets.  Entries are also linked
** in insertion order, which is the order of iteration.
**
** Values are untyped pointers owned by the caller: the map never frees or
** dereferences them (store function pointers with reinterpret_cast).  The
** map owns copies of its keys.  No locking: one thread at a time.
*/
#ifndef QUENDAL_TEXT_STRING_MAP_H
#define QUENDAL_TEXT_STRING_MAP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/string_record.h"

namespace quendal {

class StringMap {
 public:
  struct Entry {
    std::string key; /* the spelling of the first insertion, UTF-8 */
    void* value;

   private:
    friend class StringMap;
    uint32_t hash;
    Entry* nextInBucket;
    Entry* previousInserted;
    Entry* nextInserted;
  };

  class Iterator {
   public:
    explicit Iterator(Entry* e) : e_(e) {}
    Entry& operator*() const { return *e_; }
    Entry* operator->() const { return e_; }
    Iterator& operator++() {
      e_ = e_->nextInserted;
      return *this;
    }
    bool operator==(const Iterator& other) const { return e_ == other.e_; }

   private:
    Entry* e_;
  };

  static constexpr size_t kInitialBuckets = 256;

  StringMap();
  ~StringMap();
  StringMap(const StringMap&) = delete;
  StringMap& operator=(const StringMap&) = delete;

  /* Adds key → value and returns true; for a key already present, replaces
  ** its value (the entry keeps its first spelling and its place in the
  ** insertion order) and returns false. */
  bool Insert(std::string_view key, void* value);
  bool Insert(ORVAstring key, void* value);

  /* The entry of key, or null. */
  Entry* FindEntry(std::string_view key) const;
  Entry* FindEntry(ORVAstring key) const;
  /* The value of key, or null when absent (use FindEntry for null values). */
  void* Find(std::string_view key) const;
  void* Find(ORVAstring key) const;

  /* Removes key's entry; false when there was none. */
  bool Erase(std::string_view key);
  bool Erase(ORVAstring key);

  size_t Count() const { return count_; }
  size_t BucketCount() const { return buckets_.size(); }

  /* Iteration in insertion order; erasing invalidates iterators. */
  Iterator begin() const { return Iterator(first_); }
  Iterator end() const { return Iterator(nullptr); }

  /* The hash of a key's UTF-8 bytes. */
  static uint32_t Hash(std::string_view key);

 private:
  Entry* FindHashed(std::string_view key, uint32_t hash) const;
  void Grow();

  std::vector<Entry*> buckets_;
  Entry* first_ = nullptr;
  Entry* last_ = nullptr;
  size_t count_ = 0;
};

} // namespace quendal

#endif
