/*
** Page cache: see page_cache.h.
**
** Invariants: every buffer is on exactly one chain of its owner (the one
** of its page number) and on the process-wide use list; gCached is the
** length of that list; a buffer is freed only with a use count of 0.
*/
#include "runtime/database/page_cache.h"

#include <cassert>
#include <cstring>

namespace quendal::db {

namespace {

PageBuffer* gOldest = nullptr;
PageBuffer* gNewest = nullptr;
uint32_t gCached = 0;
uint32_t gBudget = PageCache::kDefaultPageBudget;

void LinkNewest(PageBuffer* b) {
  b->older = gNewest;
  b->newer = nullptr;
  if (gNewest) gNewest->newer = b; else gOldest = b;
  gNewest = b;
}

void UnlinkUse(PageBuffer* b) {
  if (b->older) b->older->newer = b->newer; else gOldest = b->newer;
  if (b->newer) b->newer->older = b->older; else gNewest = b->older;
  b->older = b->newer = nullptr;
}

/* Purges unused buffers, oldest first, until the total is below the
** budget or nothing more can go. */
void PurgeOverBudget() {
  PageBuffer* b = gOldest;
  while (b && gCached >= gBudget) {
    PageBuffer* next = b->newer;
    if (b->useCount == 0) b->owner->Purge(b);
    b = next;
  }
}

} // namespace

uint32_t SetPageCacheBudget(uint32_t pages) {
  uint32_t old = gBudget;
  gBudget = pages < 8 ? 8 : pages;
  return old;
}

uint32_t CachedPageCount() { return gCached; }

PageCache::PageCache(StorageFile* file) : file_(file), chains_(kInitialChains, nullptr) {}

PageCache::~PageCache() {
  for (PageBuffer*& head : chains_) {
    while (PageBuffer* b = head) {
      assert(b->useCount == 0 && "a cursor outlived its database file");
      head = b->nextInChain;
      UnlinkUse(b);
      gCached--;
      delete b;
    }
  }
}

PageBuffer* PageCache::Find(uint32_t page) {
  for (PageBuffer* b = ChainOf(page); b; b = b->nextInChain) {
    if (b->pageNumber == page) {
      if (b != gNewest) {
        UnlinkUse(b);
        LinkNewest(b);
      }
      return b;
    }
  }
  return nullptr;
}

PageBuffer* PageCache::Add(uint32_t page) {
  assert(Find(page) == nullptr);
  if (gCached >= gBudget) PurgeOverBudget();
  PageBuffer* b = new PageBuffer;
  b->pageNumber = page;
  b->dirty = false;
  b->useCount = 0;
  b->owner = this;
  std::memset(b->bytes, 0, sizeof b->bytes);
  b->nextInChain = ChainOf(page);
  ChainOf(page) = b;
  LinkNewest(b);
  gCached++;
  count_++;
  if (count_ > chains_.size()) GrowChains();
  return b;
}

void PageCache::GrowChains() {
  std::vector<PageBuffer*> old(chains_.size() * 2, nullptr);
  old.swap(chains_);
  for (PageBuffer* head : old) {
    while (PageBuffer* b = head) {
      head = b->nextInChain;
      b->nextInChain = ChainOf(b->pageNumber);
      ChainOf(b->pageNumber) = b;
    }
  }
}

void PageCache::Unlink(PageBuffer* buffer) {
  PageBuffer** link = &ChainOf(buffer->pageNumber);
  while (*link != buffer) {
    assert(*link != nullptr);
    link = &(*link)->nextInChain;
  }
  *link = buffer->nextInChain;
  UnlinkUse(buffer);
  gCached--;
  count_--;
}

void PageCache::Discard(PageBuffer* buffer) {
  assert(buffer->owner == this && buffer->useCount == 0);
  Unlink(buffer);
  delete buffer;
}

bool PageCache::WriteBack(PageBuffer* buffer) {
  if (!buffer->dirty) return true;
  if (!file_->WriteAt(PageOffset(buffer->pageNumber), buffer->bytes, kPageSize)) return false;
  buffer->dirty = false;
  return true;
}

bool PageCache::WriteAllDirty() {
  bool ok = true;
  ForEach([&](PageBuffer* b) { ok = WriteBack(b) && ok; });
  return ok;
}

bool PageCache::Purge(PageBuffer* buffer) {
  assert(buffer->owner == this);
  if (buffer->useCount != 0 || !WriteBack(buffer)) return false;
  Discard(buffer);
  return true;
}

} // namespace quendal::db
