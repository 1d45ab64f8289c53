/*
** The table of UTF-16 copies: see wide_copies.h.
**
** Invariant: every entry is on exactly one bucket chain and on the
** creation-order list, and its lock count is at least 1; an entry and its
** buffer are freed together when the count reaches 0.
*/
#include "runtime/text/wide_copies.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "runtime/base/allocation.h"
#include "runtime/base/service_boundary.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

constexpr size_t kBucketCount = 1024;

struct WideCopy {
  char16_t* buffer;
  int32_t lockCount;
  WideCopy* nextInBucket;
  WideCopy* olderCreated; /* creation order: doubly linked so removal is O(1) */
  WideCopy* newerCreated;
};

struct WideCopyTable {
  std::mutex mutex;
  WideCopy* buckets[kBucketCount] = {};
  WideCopy* oldest = nullptr;
  WideCopy* newest = nullptr;
};

/* Lives for the process: never destroyed, so copies may be dropped from
** static destructors too. */
WideCopyTable& Table() {
  static WideCopyTable* table = new WideCopyTable;
  return *table;
}

size_t BucketOf(const void* address) {
  return (reinterpret_cast<uintptr_t>(address) * 13) & (kBucketCount - 1);
}

/* The entry of buffer, or null; the table's mutex is held. */
WideCopy* Find(WideCopyTable& t, const char16_t* buffer) {
  for (WideCopy* e = t.buckets[BucketOf(buffer)]; e; e = e->nextInBucket) {
    if (e->buffer == buffer) return e;
  }
  return nullptr;
}

void Insert(WideCopyTable& t, WideCopy* e) {
  WideCopy*& head = t.buckets[BucketOf(e->buffer)];
  e->nextInBucket = head;
  head = e;
  e->olderCreated = t.newest;
  e->newerCreated = nullptr;
  if (t.newest) t.newest->newerCreated = e; else t.oldest = e;
  t.newest = e;
}

void Remove(WideCopyTable& t, WideCopy* e) {
  WideCopy** link = &t.buckets[BucketOf(e->buffer)];
  while (*link != e) link = &(*link)->nextInBucket;
  *link = e->nextInBucket;
  if (e->olderCreated) e->olderCreated->newerCreated = e->newerCreated; else t.oldest = e->newerCreated;
  if (e->newerCreated) e->newerCreated->olderCreated = e->olderCreated; else t.newest = e->olderCreated;
}

} // namespace

int32_t WideCopyCount() {
  WideCopyTable& t = Table();
  std::lock_guard<std::mutex> hold(t.mutex);
  int32_t count = 0;
  for (WideCopy* e = t.oldest; e; e = e->newerCreated) ++count;
  return count;
}

} // namespace quendal

using namespace quendal;

extern "C" {

QUENDAL_SERVICE char16_t* StringToWString(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  StringRef wide(StringConvertToTag(s, kEncodingUTF16));
  size_t bytes = static_cast<size_t>(wide.length()) & ~size_t(1);
  auto* buffer = static_cast<char16_t*>(AllocateBlock(bytes + 2, false));
  auto* entry = static_cast<WideCopy*>(AllocateBlock(sizeof(WideCopy), false));
  if (!buffer || !entry) {
    FreeBlock(buffer);
    FreeBlock(entry);
    throw std::bad_alloc(); /* OutOfMemoryException at the boundary */
  }
  if (bytes > 0) std::memcpy(buffer, StringBytes(wide.get()), bytes);
  buffer[bytes / 2] = 0;
  *entry = WideCopy{buffer, 1, nullptr, nullptr, nullptr};
  WideCopyTable& t = Table();
  std::lock_guard<std::mutex> hold(t.mutex);
  Insert(t, entry);
  return buffer;
  QUENDAL_SERVICE_END(nullptr)
}

void LockWString(char16_t* buffer) {
  if (!buffer) return;
  WideCopyTable& t = Table();
  std::lock_guard<std::mutex> hold(t.mutex);
  if (WideCopy* e = Find(t, buffer)) ++e->lockCount;
}

void UnlockWString(char16_t* buffer) {
  if (!buffer) return;
  WideCopyTable& t = Table();
  std::lock_guard<std::mutex> hold(t.mutex);
  WideCopy* e = Find(t, buffer);
  if (!e || --e->lockCount > 0) return;
  Remove(t, e);
  FreeBlock(e->buffer);
  FreeBlock(e);
}

void SwapWStringLocks(char16_t* locked, char16_t* unlocked) {
  LockWString(locked);
  UnlockWString(unlocked);
}

} // extern "C"
