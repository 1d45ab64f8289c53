/*
** Tree cursor: a position in one tree of a database file, and the B-tree
** algorithms that move it and insert through it.
**
** A cursor keeps the path of pages from the root to the leaf it stands in,
** each held in use, with the byte offset of the entry taken at every
** interior level and of the record at the leaf.  It moves forward only.
**
** Positions:
**   unpositioned    before First/Seek
**   on a record     a record of the leaf (live when the cursor arrived)
**   insert point    where a key belongs in its leaf (SeekInsertPosition)
**   at end          past the last record
**   saved           another cursor changed the tree: the path was given up,
**                   the key and record id kept; the next call finds the
**                   record again (or, if it is gone, the record after it)
**
** Descent: in an interior page the cursor takes the last entry whose key is
** less than the search key, or the first entry; in a leaf the first record
** whose key is not less.  Every interior entry is followed, whatever its
** state (NOTES.md says why).  A child page beyond the file, a child already
** on the path (a cycle), a page of another tree or of the wrong type, and a
** page that one scan reaches twice are damage, reported with the page and
** offset of the entry that led there.
**
** Insertion places a record at the insert point or before the current
** record; a full page splits (tree_cursor.cpp lists the cases), parents
** gain entries, a full root gets a new root above it.  All failures are
** found before the first byte changes: a split, once begun, cannot fail.
** Afterwards the cursor stands on the new record.
*/
#ifndef QUENDAL_DATABASE_TREE_CURSOR_H
#define QUENDAL_DATABASE_TREE_CURSOR_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/db_file.h"
#include "runtime/database/key_encoding.h"

namespace quendal::db {

class TreeCursor {
 public:
  TreeCursor(DbFile* db, TreeName tree, KeySpec key);
  ~TreeCursor();
  TreeCursor(const TreeCursor&) = delete;
  TreeCursor& operator=(const TreeCursor&) = delete;

  /* Limits First and Next to records whose key starts with prefix. */
  void SetPrefix(std::string prefix) { prefix_ = std::move(prefix); }

  /* The first live record (of the prefix, when set). */
  DbStatus First();
  /* The first live record whose key is not less than key; *equal tells
  ** whether its key is key. */
  DbStatus Seek(std::string_view key, bool* equal);
  /* The next live record. */
  DbStatus Next();

  bool atEnd() const { return state_ == State::kAtEnd; }
  /* The record the cursor stands on; kNotFound (undescribed) when it stands
  ** on none, as when the record it stood on has gone. */
  DbStatus Current(Bytes* record);
  /* Page, and byte offset within it, of the current record; the leaf page
  ** held in use (null when the cursor stands nowhere). */
  uint32_t page() const;
  uint32_t offset() const;
  PageRef leafPage() const { return path_.empty() ? PageRef() : path_.back().page; }

  /* Positions at the place of key in its leaf (before the first record of
  ** any state whose key is not less) and tells whether a live record with
  ** that key exists. */
  DbStatus SeekInsertPosition(std::string_view key, bool* liveEqual);
  /* Inserts a whole record (length word set) at the insert point, or before
  ** the current record.  kTooLong when no page can hold it. */
  DbStatus Insert(Bytes record);
  /* Everything of Insert that can fail, done ahead: an Insert of the same
  ** record that follows (MarkDeleted may come between) cannot fail. */
  DbStatus PrepareInsert(Bytes record);
  /* Marks the current record deleted in the current generation.  A record
  ** inserted by the current transaction is marked so that a rollback
  ** leaves it deleted. */
  DbStatus MarkDeleted();

  const TreeName& tree() const { return tree_; }
  const KeySpec& keySpec() const { return key_; }
  /* Called by DbFile before another cursor changes this cursor's tree. */
  void Save();

 private:
  enum class State : uint8_t { kUnpositioned, kOnRecord, kInsertPoint, kAtEnd, kSaved, kPendingNext };
  struct Level {
    PageRef page;
    uint32_t offset; /* entry or record offset within the record area */
  };
  using Path = std::vector<Level>;

  uint32_t LeafType() const { return tree_.catalogue ? kPageCatalogueLeaf : kPageTableLeaf; }
  DbStatus Restore();
  DbStatus EnterRoot(Path* path);
  DbStatus EnterChild(Path* path, uint32_t child);
  DbStatus NoteEntered(uint32_t page, uint32_t fromPage, uint32_t fromOffset);
  DbStatus SeekFrom(std::string_view key, bool* equal);
  DbStatus Descend(std::string_view key);
  DbStatus SettleForward();
  DbStatus NextLeaf(bool* found);
  DbStatus DescendLeftmost(uint32_t child);
  bool PrefixMatches(Bytes record);

  DbStatus CheckFitsEverywhere(Bytes record);
  void InsertInto(Path* path, uint32_t pos, Bytes record);
  void MakeNewRoot(Path* path);
  std::string EntryFor(const PageRef& page);
  std::string FirstKey(const PageRef& page);

  DbFile* db_;
  TreeName tree_;
  KeySpec key_;
  std::string prefix_;
  State state_ = State::kUnpositioned;
  Path path_;
  uint32_t pagesEntered_ = 0;
  /* A scan begun by First notes every page it enters: a page reached twice
  ** (two entries leading to one child) is damage.  Pages entered again to
  ** find a saved position are not counted twice. */
  bool tracking_ = false;
  bool restoring_ = false;
  std::vector<bool> entered_;
  RootSlot rootSlot_;
  std::string savedKey_;
  uint32_t savedId_ = 0;
  bool savedPending_ = false;
  bool prepared_ = false;
  std::string scratchKey_; /* reused for keys of records passed over */
};

} // namespace quendal::db

#endif
