/*
** Page cache: the buffers that hold the pages of one database file.
**
** A buffer holds one whole page, its page number, a dirty flag and a use
** count.  Buffers of a cache sit in hash chains selected by page number
** modulo the chain count, a power of two that doubles whenever the cache
** holds more buffers than it has chains (so a look-up walks about one
** buffer, however large the cache grows).  Every buffer of every cache also sits on one process-wide
** list in order of use, the most recently used at its tail.
**
** Use counts: a PageRef holds one use of a buffer for as long as it lives
** (tree cursors keep their path of pages in use).  A buffer in use is never
** purged.  A buffer not in use may be purged: written back first when dirty
** and then freed; its page is read again when next needed.
**
** Budget: the buffers of all caches together aim to stay within a budget
** (kDefaultPageBudget pages).  A cache asked for a new buffer beyond the
** budget first purges unused buffers, least recently used first, of any
** cache.  The budget is soft: buffers in use, and dirty buffers whose
** write-back fails, stay, and the cache grows past the budget rather than
** fail.  A failed write-back leaves the buffer dirty, so that the next
** commit meets (and reports) the failure again.
**
** The cache reads and writes nothing by itself except in purges: loading a
** page (and checking it) is the database file's business.  Single-threaded,
** like every runtime structure (runtime threads are fibers).
*/
#ifndef QUENDAL_DATABASE_PAGE_CACHE_H
#define QUENDAL_DATABASE_PAGE_CACHE_H

#include <cstdint>
#include <vector>

#include "runtime/database/db_format.h"
#include "runtime/database/storage_file.h"

namespace quendal::db {

class PageCache;

struct PageBuffer {
  uint32_t pageNumber;
  bool dirty;
  int32_t useCount;
  PageBuffer* nextInChain;
  PageBuffer* older; /* process-wide use order */
  PageBuffer* newer;
  PageCache* owner;
  alignas(8) uint8_t bytes[kPageSize];
};

/* One use of a buffer; releases it when destroyed.  Copying takes another
** use, moving transfers it. */
class PageRef {
 public:
  PageRef() = default;
  explicit PageRef(PageBuffer* buffer) : b_(buffer) {
    if (b_) b_->useCount++;
  }
  PageRef(const PageRef& other) : PageRef(other.b_) {}
  PageRef(PageRef&& other) noexcept : b_(other.b_) { other.b_ = nullptr; }
  PageRef& operator=(PageRef other) noexcept {
    PageBuffer* t = b_;
    b_ = other.b_;
    other.b_ = t;
    return *this;
  }
  ~PageRef() { reset(); }
  void reset() {
    if (b_) b_->useCount--;
    b_ = nullptr;
  }

  PageBuffer* buffer() const { return b_; }
  explicit operator bool() const { return b_ != nullptr; }
  uint8_t* bytes() const { return b_->bytes; }
  uint32_t number() const { return b_->pageNumber; }
  uint32_t type() const { return Get32(b_->bytes + kPageType); }
  uint32_t treeId() const { return Get32(b_->bytes + kPageTreeId); }
  uint32_t used() const { return Get16(b_->bytes + kPageUsed); }
  /* The record area (kRecordAreaSize bytes). */
  uint8_t* records() const { return b_->bytes + kPageRecords; }

 private:
  PageBuffer* b_ = nullptr;
};

class PageCache {
 public:
  static constexpr uint32_t kInitialChains = 64;
  static constexpr uint32_t kDefaultPageBudget = 2048; /* 16 MiB */

  explicit PageCache(StorageFile* file); /* borrowed; outlives the cache */
  ~PageCache(); /* frees every buffer; writes nothing */
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  /* The buffer of page n, moved to the recent end of the use order; null
  ** when the page is not cached. */
  PageBuffer* Find(uint32_t page);
  /* A new clean buffer for page n (not cached before), its bytes zeroed.
  ** Purges unused buffers first when over the budget. */
  PageBuffer* Add(uint32_t page);
  /* Drops a buffer without writing it (a page that failed to load). */
  void Discard(PageBuffer* buffer);

  /* Writes a dirty buffer and clears its flag; true when clean or written. */
  bool WriteBack(PageBuffer* buffer);
  /* Writes every dirty buffer; false when any write failed (the others are
  ** still attempted). */
  bool WriteAllDirty();
  /* Calls fn(buffer) for every buffer of this cache; fn adds and removes
  ** no buffer. */
  template <typename Fn>
  void ForEach(Fn fn) {
    for (PageBuffer* head : chains_) {
      for (PageBuffer* b = head; b; b = b->nextInChain) fn(b);
    }
  }

  /* Purge of one buffer: refused (false) while in use or when the
  ** write-back fails; otherwise written back if dirty and freed. */
  bool Purge(PageBuffer* buffer);

  uint32_t count() const { return count_; }

 private:
  void Unlink(PageBuffer* buffer);
  PageBuffer*& ChainOf(uint32_t page) { return chains_[page & (chains_.size() - 1)]; }
  /* Doubles the chain count and moves every buffer to its new chain. */
  void GrowChains();

  StorageFile* file_;
  std::vector<PageBuffer*> chains_; /* size a power of two */
  uint32_t count_ = 0;
};

/* Process-wide budget of cached pages; returns the previous one.  Tests
** shrink it to make purges happen. */
uint32_t SetPageCacheBudget(uint32_t pages);
/* Buffers cached by all caches together. */
uint32_t CachedPageCount();

} // namespace quendal::db

#endif
