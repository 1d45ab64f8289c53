/*
** Tree cursor: see tree_cursor.h.
**
** Insertion of a record R of length L at byte position P of a page whose
** record area holds U bytes (the tail is the records from P on):
**
**   1. U + L <= 8174: the tail moves up by L and R is copied in.
**   Otherwise the page splits.  A root first gets a new root above it: an
**   interior page with the single entry (empty key, count 0, child = old
**   root), recorded as the tree's root.  Then:
**   2. P + L <= 8174: the tail moves to a new page, the parent gains an
**      entry for it, and R is appended to the old page.
**   3. L + tail > 8174: R alone goes to one new page, the tail to a second;
**      the parent gains an entry for each (order: old, R's page, tail page).
**   4. Otherwise one new page receives R followed by the tail.
**
** New pages have the type and tree id of the page split.  A parent's new
** entries go right after the entry of the page split; their key is the key
** of the new page's first record and their count the number of leaf records
** counted into the new page.  Entries of the parent are inserted by the
** same procedure, so splits climb as far as they must.  Nothing before the
** insertion position ever moves, so the entries above an old page stay
** where they were; only a new root may appear above them.
**
** Before the first byte changes, PrepareInsert checks everything that could
** fail: the record's length, that every key a split could copy into an
** entry fits one, the write transaction, and (when the leaf is full) where
** the root is recorded.  InsertInto itself cannot fail.
*/
#include "runtime/database/tree_cursor.h"

#include <cassert>
#include <cstring>

namespace quendal::db {

namespace {

uint32_t RecordLengthAt(const PageRef& page, uint32_t offset) { return Get16(page.records() + offset); }

std::string_view EntryKey(const PageRef& page, uint32_t offset) {
  const uint8_t* entry = page.records() + offset;
  return std::string_view(reinterpret_cast<const char*>(entry) + kInteriorKey, Get16(entry) - kInteriorKey);
}

uint32_t EntryChild(const PageRef& page, uint32_t offset) { return Get32(page.records() + offset + kInteriorChild); }

Bytes RecordAt(const PageRef& page, uint32_t offset) {
  const uint8_t* record = page.records() + offset;
  return Bytes(record, Get16(record));
}

} // namespace

TreeCursor::TreeCursor(DbFile* db, TreeName tree, KeySpec key)
    : db_(db), tree_(std::move(tree)), key_(std::move(key)) {
  db_->Register(this);
}

TreeCursor::~TreeCursor() {
  path_.clear();
  rootSlot_ = RootSlot();
  db_->Unregister(this);
}

uint32_t TreeCursor::page() const { return path_.empty() ? kNoOffset : path_.back().page.number(); }

uint32_t TreeCursor::offset() const { return path_.empty() ? kNoOffset : kPageRecords + path_.back().offset; }

/* ---- descent ------------------------------------------------------------------ */

DbStatus TreeCursor::EnterRoot(Path* path) {
  uint32_t root = 0;
  DB_TRY(db_->RootOf(tree_, &root));
  PageRef page;
  DB_TRY(db_->Fetch(root, &page));
  if (page.type() != LeafType() && page.type() != kPageInterior) {
    return DB_CORRUPT(db_->fault(), root, kPageType,
                      "root of " + DescribeTree(tree_) + " is a page of type " + HexWord(page.type()));
  }
  if (page.type() != kPageInterior && page.treeId() != root) {
    return DB_CORRUPT(db_->fault(), root, kPageTreeId,
                      "root of " + DescribeTree(tree_) + " belongs to the tree of page " + std::to_string(page.treeId()));
  }
  DB_TRY(NoteEntered(root, kNoOffset, kNoOffset));
  path->push_back(Level{std::move(page), 0});
  return DbStatus::kOk;
}

DbStatus TreeCursor::NoteEntered(uint32_t page, uint32_t fromPage, uint32_t fromOffset) {
  if (++pagesEntered_ > 2 * uint64_t(db_->pageCount()) + 64) {
    return DB_CORRUPT(db_->fault(), fromPage, fromOffset, "the tree leads to the same pages more than once");
  }
  if (!tracking_) return DbStatus::kOk;
  if (page >= entered_.size()) entered_.resize(db_->pageCount());
  if (entered_[page] && !restoring_) {
    return DB_CORRUPT(db_->fault(), fromPage, fromOffset,
                      "page " + std::to_string(page) + " is reached twice in one scan of " + DescribeTree(tree_));
  }
  entered_[page] = true;
  return DbStatus::kOk;
}

DbStatus TreeCursor::EnterChild(Path* path, uint32_t child) {
  const PageRef& parent = path->back().page;
  const uint32_t at = kPageRecords + path->back().offset + kInteriorChild;
  if (child >= db_->pageCount()) {
    return DB_CORRUPT(db_->fault(), parent.number(), at,
                      "interior entry points at page " + std::to_string(child) + " beyond the end of the file");
  }
  for (const Level& level : *path) {
    if (level.page.number() == child) {
      return DB_CORRUPT(db_->fault(), parent.number(), at,
                        "interior entry points back at page " + std::to_string(child) + " above it in the tree");
    }
  }
  DB_TRY(NoteEntered(child, parent.number(), at));
  PageRef page;
  DB_TRY(db_->Fetch(child, &page));
  if (page.type() != LeafType() && page.type() != kPageInterior) {
    return DB_CORRUPT(db_->fault(), child, kPageType,
                      "page of type " + HexWord(page.type()) + " found in " + DescribeTree(tree_));
  }
  if (page.treeId() != path->front().page.treeId()) {
    return DB_CORRUPT(db_->fault(), child, kPageTreeId,
                      "page of the tree of page " + std::to_string(page.treeId()) + " found in " + DescribeTree(tree_));
  }
  path->push_back(Level{std::move(page), 0});
  return DbStatus::kOk;
}

/* Leaves path_ in the leaf where key belongs, at the first record (of any
** state) whose key is not less than key, or at the end of that leaf. */
DbStatus TreeCursor::Descend(std::string_view key) {
  path_.clear();
  DB_TRY(EnterRoot(&path_));
  while (path_.back().page.type() == kPageInterior) {
    Level& top = path_.back();
    const uint32_t used = top.page.used();
    if (used == 0) return DB_CORRUPT(db_->fault(), top.page.number(), kPageUsed, "interior page without entries");
    uint32_t chosen = 0;
    for (uint32_t off = 0; off < used; off += RecordLengthAt(top.page, off)) {
      if (CompareKeys(EntryKey(top.page, off), key) >= 0) break;
      chosen = off;
    }
    top.offset = chosen;
    DB_TRY(EnterChild(&path_, EntryChild(top.page, chosen)));
  }
  Level& leaf = path_.back();
  const uint32_t used = leaf.page.used();
  uint32_t off = 0;
  if (!key.empty()) {
    for (; off < used; off += RecordLengthAt(leaf.page, off)) {
      RecordKey(key_, RecordAt(leaf.page, off), &scratchKey_);
      if (CompareKeys(scratchKey_, key) >= 0) break;
    }
  }
  leaf.offset = off;
  return DbStatus::kOk;
}

DbStatus TreeCursor::DescendLeftmost(uint32_t child) {
  DB_TRY(EnterChild(&path_, child));
  while (path_.back().page.type() == kPageInterior) {
    const Level& top = path_.back();
    if (top.page.used() == 0) {
      return DB_CORRUPT(db_->fault(), top.page.number(), kPageUsed, "interior page without entries");
    }
    DB_TRY(EnterChild(&path_, EntryChild(top.page, 0)));
  }
  return DbStatus::kOk;
}

/* Moves path_ to the first record of the next leaf; *found is false (and
** the path empty) after the last leaf. */
DbStatus TreeCursor::NextLeaf(bool* found) {
  path_.pop_back();
  while (!path_.empty()) {
    Level& top = path_.back();
    top.offset += RecordLengthAt(top.page, top.offset);
    if (top.offset < top.page.used()) {
      DB_TRY(DescendLeftmost(EntryChild(top.page, top.offset)));
      *found = true;
      return DbStatus::kOk;
    }
    path_.pop_back();
  }
  *found = false;
  return DbStatus::kOk;
}

bool TreeCursor::PrefixMatches(Bytes record) {
  RecordKey(key_, record, &scratchKey_);
  return std::string_view(scratchKey_).starts_with(prefix_);
}

/* From the leaf position, the first live record (crossing leaves). */
DbStatus TreeCursor::SettleForward() {
  for (;;) {
    Level& leaf = path_.back();
    const uint32_t used = leaf.page.used();
    bool outsidePrefix = false;
    while (leaf.offset < used) {
      Bytes record = RecordAt(leaf.page, leaf.offset);
      if (record[kRecordState] == kStateLive) {
        outsidePrefix = !prefix_.empty() && !PrefixMatches(record);
        if (outsidePrefix) break;
        state_ = State::kOnRecord;
        return DbStatus::kOk;
      }
      leaf.offset += uint32_t(record.size());
    }
    bool found = false;
    if (!outsidePrefix) DB_TRY(NextLeaf(&found));
    if (!found) {
      path_.clear();
      state_ = State::kAtEnd;
      return DbStatus::kOk;
    }
  }
}

/* ---- moving ----------------------------------------------------------------------- */

/* Runs a move; a failed move leaves the cursor unpositioned. */
#define CURSOR_MOVE(expression)                \
  do {                                         \
    DbStatus moveStatus_ = (expression);       \
    if (moveStatus_ != DbStatus::kOk) {        \
      path_.clear();                           \
      state_ = State::kUnpositioned;           \
      return moveStatus_;                      \
    }                                          \
  } while (0)

DbStatus TreeCursor::First() {
  pagesEntered_ = 0;
  tracking_ = true;
  entered_.assign(db_->pageCount(), false);
  if (!prefix_.empty()) {
    bool equal = false;
    return SeekFrom(prefix_, &equal);
  }
  CURSOR_MOVE(Descend(std::string_view()));
  CURSOR_MOVE(SettleForward());
  return DbStatus::kOk;
}

DbStatus TreeCursor::Seek(std::string_view key, bool* equal) {
  pagesEntered_ = 0;
  tracking_ = false;
  return SeekFrom(key, equal);
}

DbStatus TreeCursor::SeekFrom(std::string_view key, bool* equal) {
  *equal = false;
  std::string target(key); /* key may point into scratchKey_ or prefix_ */
  CURSOR_MOVE(Descend(target));
  CURSOR_MOVE(SettleForward());
  if (state_ == State::kOnRecord) {
    RecordKey(key_, RecordAt(path_.back().page, path_.back().offset), &scratchKey_);
    *equal = scratchKey_ == target;
  }
  return DbStatus::kOk;
}

DbStatus TreeCursor::Next() {
  CURSOR_MOVE(Restore());
  switch (state_) {
    case State::kPendingNext:
      state_ = State::kOnRecord;
      return DbStatus::kOk;
    case State::kOnRecord:
      path_.back().offset += RecordLengthAt(path_.back().page, path_.back().offset);
      CURSOR_MOVE(SettleForward());
      return DbStatus::kOk;
    case State::kUnpositioned:
      return First();
    default:
      path_.clear();
      state_ = State::kAtEnd;
      return DbStatus::kOk;
  }
}

DbStatus TreeCursor::Current(Bytes* record) {
  CURSOR_MOVE(Restore());
  if (state_ != State::kOnRecord) return DbStatus::kNotFound; /* not damage: nothing to describe */
  *record = RecordAt(path_.back().page, path_.back().offset);
  return DbStatus::kOk;
}

/* ---- saving and restoring ------------------------------------------------------- */

void TreeCursor::Save() {
  prepared_ = false;
  rootSlot_ = RootSlot();
  if (state_ == State::kOnRecord || state_ == State::kPendingNext) {
    Bytes record = RecordAt(path_.back().page, path_.back().offset);
    RecordKey(key_, record, &savedKey_);
    savedId_ = Get32(record.data() + kRecordId);
    savedPending_ = state_ == State::kPendingNext;
    state_ = State::kSaved;
  } else if (state_ == State::kInsertPoint) {
    state_ = State::kUnpositioned;
  }
  path_.clear();
}

/* Finds the saved record again: among the records of its key, the one of
** its record id.  When it is gone the cursor stands before the record
** that follows, and the next Next arrives there. */
DbStatus TreeCursor::Restore() {
  if (state_ != State::kSaved) return DbStatus::kOk;
  const std::string key = std::move(savedKey_);
  pagesEntered_ = 0;
  restoring_ = true;
  const DbStatus descended = Descend(key);
  restoring_ = false;
  DB_TRY(descended);
  for (;;) {
    Level& leaf = path_.back();
    bool passed = false;
    while (leaf.offset < leaf.page.used()) {
      Bytes record = RecordAt(leaf.page, leaf.offset);
      RecordKey(key_, record, &scratchKey_);
      if (scratchKey_ != key) {
        passed = true;
        break;
      }
      if (Get32(record.data() + kRecordId) == savedId_) {
        state_ = savedPending_ ? State::kPendingNext : State::kOnRecord;
        return DbStatus::kOk;
      }
      leaf.offset += uint32_t(record.size());
    }
    if (passed) break;
    bool found = false;
    DB_TRY(NextLeaf(&found));
    if (!found) {
      state_ = State::kAtEnd;
      return DbStatus::kOk;
    }
  }
  DB_TRY(SettleForward());
  if (state_ == State::kOnRecord) state_ = State::kPendingNext;
  return DbStatus::kOk;
}

/* ---- changes ------------------------------------------------------------------------ */

DbStatus TreeCursor::SeekInsertPosition(std::string_view key, bool* liveEqual) {
  *liveEqual = false;
  pagesEntered_ = 0;
  tracking_ = false;
  std::string target(key);
  CURSOR_MOVE(Descend(target));
  Path insertPoint = path_;
  std::string prefix = std::move(prefix_);
  prefix_.clear();
  DbStatus s = SettleForward();
  prefix_ = std::move(prefix);
  CURSOR_MOVE(s);
  if (state_ == State::kOnRecord) {
    RecordKey(key_, RecordAt(path_.back().page, path_.back().offset), &scratchKey_);
    *liveEqual = scratchKey_ == target;
  }
  path_ = std::move(insertPoint);
  state_ = State::kInsertPoint;
  return DbStatus::kOk;
}

DbStatus TreeCursor::CheckFitsEverywhere(Bytes record) {
  if (record.size() > kRecordAreaSize) {
    return DB_FAIL(db_->fault(), DbStatus::kTooLong,
                   "a record of " + std::to_string(record.size()) + " bytes is longer than a page holds");
  }
  RecordKey(key_, record, &scratchKey_);
  if (kInteriorKey + scratchKey_.size() > kRecordAreaSize) {
    return DB_FAIL(db_->fault(), DbStatus::kTooLong, "a key of " + std::to_string(scratchKey_.size()) +
                                                         " bytes is longer than an index entry holds");
  }
  return DbStatus::kOk;
}

DbStatus TreeCursor::PrepareInsert(Bytes record) {
  prepared_ = false;
  rootSlot_ = RootSlot();
  CURSOR_MOVE(Restore());
  assert(state_ == State::kInsertPoint || state_ == State::kOnRecord);
  DB_TRY(CheckFitsEverywhere(record));
  DB_TRY(db_->BeginWrite());
  const Level& leaf = path_.back();
  if (leaf.page.used() + record.size() > kRecordAreaSize) {
    /* A split is coming: the key of the first record of the tail may
    ** become an entry's key, and the root may be replaced. */
    if (leaf.offset < leaf.page.used()) {
      RecordKey(key_, RecordAt(leaf.page, leaf.offset), &scratchKey_);
      if (kInteriorKey + scratchKey_.size() > kRecordAreaSize) {
        return DB_FAIL(db_->fault(), DbStatus::kTooLong, "a stored key is longer than an index entry holds");
      }
    }
    DB_TRY(db_->FindRootSlot(tree_, &rootSlot_));
  }
  prepared_ = true;
  return DbStatus::kOk;
}

DbStatus TreeCursor::Insert(Bytes record) {
  if (!prepared_) DB_TRY(PrepareInsert(record));
  prepared_ = false;
  assert(Get16(record.data()) == record.size());
  db_->SaveCursors(tree_, this);
  Path path = std::move(path_);
  const uint32_t position = path.back().offset;
  InsertInto(&path, position, record);
  path_ = std::move(path);
  rootSlot_ = RootSlot();
  state_ = State::kOnRecord;
  return DbStatus::kOk;
}

DbStatus TreeCursor::MarkDeleted() {
  CURSOR_MOVE(Restore());
  if (state_ != State::kOnRecord) {
    return DB_FAIL(db_->fault(), DbStatus::kNotFound, "the cursor stands on no record of " + DescribeTree(tree_));
  }
  DB_TRY(db_->BeginWrite());
  const Level& leaf = path_.back();
  db_->MarkChanged(leaf.page);
  uint8_t* record = leaf.page.records() + leaf.offset;
  const uint32_t current = db_->generation() & kGenerationMask;
  /* A record this transaction inserted must stay deleted if the transaction
  ** is rolled back, so it does not carry the current generation. */
  const bool insertedNow = record[kRecordState] == kStateLive && Get24(record + kRecordGeneration) == current;
  record[kRecordState] = kStateDeleted;
  Put24(record + kRecordGeneration, insertedNow ? 0 : current);
  return DbStatus::kOk;
}

/* ---- splits ---------------------------------------------------------------------------- */

std::string TreeCursor::FirstKey(const PageRef& page) {
  assert(page.used() > 0);
  if (page.type() == kPageInterior) return std::string(EntryKey(page, 0));
  std::string key;
  RecordKey(key_, RecordAt(page, 0), &key);
  return key;
}

/* The parent entry of a page: its first key, its count of leaf records. */
std::string TreeCursor::EntryFor(const PageRef& page) {
  const std::string key = FirstKey(page);
  uint32_t count = 0;
  for (uint32_t off = 0, used = page.used(); off < used; off += RecordLengthAt(page, off)) {
    count += page.type() == kPageInterior ? Get16(page.records() + off + kInteriorCount) : 1;
  }
  std::string entry(kInteriorKey + key.size(), '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(entry.data());
  Put16(p + kRecordLength, uint32_t(entry.size()));
  p[kRecordState] = kStateLive;
  Put24(p + kRecordGeneration, db_->generation() & kGenerationMask);
  Put16(p + kInteriorCount, count > 0xFFFF ? 0xFFFF : count);
  Put32(p + kInteriorChild, page.number());
  std::memcpy(p + kInteriorKey, key.data(), key.size());
  return entry;
}

void TreeCursor::MakeNewRoot(Path* path) {
  assert(path->size() == 1);
  const PageRef& old = path->front().page;
  PageRef root = db_->AllocatePage(kPageInterior, old.treeId());
  uint8_t* entry = root.records();
  Put16(entry + kRecordLength, kInteriorKey);
  entry[kRecordState] = kStateLive;
  Put24(entry + kRecordGeneration, db_->generation() & kGenerationMask);
  Put16(entry + kInteriorCount, 0);
  Put32(entry + kInteriorChild, old.number());
  Put16(root.bytes() + kPageUsed, kInteriorKey);
  db_->SetRoot(tree_, rootSlot_, root.number());
  path->insert(path->begin(), Level{std::move(root), 0});
}

static Bytes AsBytes(const std::string& s) {
  return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

/* Inserts record at pos of the page at the end of *path; afterwards *path
** leads from the root to the record. */
void TreeCursor::InsertInto(Path* path, uint32_t pos, Bytes record) {
  const PageRef page = path->back().page;
  uint8_t* area = page.records();
  const uint32_t used = page.used();
  const uint32_t length = uint32_t(record.size());
  assert(pos <= used && length <= kRecordAreaSize);
  db_->MarkChanged(page);

  if (used + length <= kRecordAreaSize) {
    std::memmove(area + pos + length, area + pos, used - pos);
    std::memcpy(area + pos, record.data(), length);
    Put16(page.bytes() + kPageUsed, used + length);
    path->back().offset = pos;
    return;
  }

  if (path->size() == 1) MakeNewRoot(path);
  const uint32_t tail = used - pos;
  const Path toPage(path->begin(), path->end() - 1); /* ends at the entry of page */
  const uint32_t after = toPage.back().offset + RecordLengthAt(toPage.back().page, toPage.back().offset);
  auto newPage = [&] { return db_->AllocatePage(page.type(), page.treeId()); };
  auto cutTail = [&] {
    std::memset(area + pos, 0, tail);
    Put16(page.bytes() + kPageUsed, pos);
  };
  /* A path to an entry that was there before a later insertion into its
  ** ancestors: the same, below a new root if one appeared. */
  auto below = [](Path before, const Path& after) {
    if (after.size() > before.size()) before.insert(before.begin(), Level{after.front().page, 0});
    return before;
  };

  if (pos + length <= kRecordAreaSize) {
    PageRef tailPage = newPage();
    std::memcpy(tailPage.records(), area + pos, tail);
    Put16(tailPage.bytes() + kPageUsed, tail);
    cutTail();
    std::memcpy(area + pos, record.data(), length);
    Put16(page.bytes() + kPageUsed, pos + length);
    Path parent = toPage;
    InsertInto(&parent, after, AsBytes(EntryFor(tailPage)));
    *path = below(toPage, parent);
    path->push_back(Level{page, pos});
  } else if (length + tail > kRecordAreaSize) {
    PageRef alone = newPage();
    std::memcpy(alone.records(), record.data(), length);
    Put16(alone.bytes() + kPageUsed, length);
    PageRef tailPage = newPage();
    std::memcpy(tailPage.records(), area + pos, tail);
    Put16(tailPage.bytes() + kPageUsed, tail);
    cutTail();
    const std::string aloneEntry = EntryFor(alone);
    Path toAlone = toPage;
    InsertInto(&toAlone, after, AsBytes(aloneEntry));
    Path parent = toAlone;
    InsertInto(&parent, toAlone.back().offset + uint32_t(aloneEntry.size()), AsBytes(EntryFor(tailPage)));
    *path = below(toAlone, parent);
    path->push_back(Level{alone, 0});
  } else {
    PageRef fresh = newPage();
    std::memcpy(fresh.records(), record.data(), length);
    std::memcpy(fresh.records() + length, area + pos, tail);
    Put16(fresh.bytes() + kPageUsed, length + tail);
    cutTail();
    Path parent = toPage;
    InsertInto(&parent, after, AsBytes(EntryFor(fresh)));
    *path = parent;
    path->push_back(Level{fresh, 0});
  }
}

} // namespace quendal::db
