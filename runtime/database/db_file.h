/*
** Database file: the page layer of the single-file database.
**
** A DbFile owns its storage file and page cache.  It loads pages (checking
** each one whole before anyone reads it), hands out new pages, numbers
** records, keeps the catalogue of named trees, and runs write
** transactions by generations.  NOTES.md in this folder describes the
** transaction scheme, the changes made to the stored behaviour and why.
**
** States:
**
**   open, no transaction --(first change: BeginWrite)--> in a transaction
**   in a transaction --Commit / Rollback--> open, no transaction, generation + 1
**   any --Close--> closed (Close commits first)
**
** Invariants:
**  - generation() is the stored header generation + 1 at open and grows by
**    one at every commit and rollback; records keep its low 24 bits.
**  - Every page changed in the current transaction carries the current
**    generation at offset 8 and is on the transaction chain (linked through
**    offset 12 from chainHead_); a page is changed only after MarkChanged.
**  - A page in the cache has passed CheckPage; table leaves were cleaned of
**    records deleted in earlier generations, in memory only.
**  - A file opened read-only is never written: every change fails with
**    kReadOnly before anything is touched.
**  - Reading never writes: loading and cleaning pages leaves the file as it
**    is, so opening a database and reading it keeps it byte-identical.
**
** Errors: every failing call returns a DbStatus and describes the failure
** in fault() (db_status.h); the first description since the last
** ClearFault() stands.
**
** Cursors: TreeCursors register with their file.  Before a cursor inserts
** into a tree, every other cursor on that tree saves its position (its
** key and record id) and gives up its pages; it finds its place again when
** next used.  Cursors must be destroyed before their file.
*/
#ifndef QUENDAL_DATABASE_DB_FILE_H
#define QUENDAL_DATABASE_DB_FILE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/database/db_status.h"
#include "runtime/database/page_cache.h"
#include "runtime/database/storage_file.h"

namespace quendal::db {

class TreeCursor;

/* A tree: the catalogue itself, or a tree named in it. */
struct TreeName {
  bool catalogue = false;
  std::string name;
  static TreeName Catalogue() { return TreeName{true, {}}; }
  static TreeName Named(std::string_view name) { return TreeName{false, std::string(name)}; }
  bool operator==(const TreeName&) const = default;
};

/* "the catalogue" or "tree \"name\"", for messages. */
std::string DescribeTree(const TreeName& tree);

/* Where a named tree's root page number is kept: the catalogue record,
** held in use so that changing it cannot fail. */
struct RootSlot {
  PageRef page; /* null for the catalogue, whose root is in the header */
  uint32_t offset = 0;
};

class DbFile {
 public:
  /* Creates a new database in an empty or missing file: the header, then
  ** the catalogue tree as page 0, committed. */
  static DbStatus Create(const std::string& path, std::unique_ptr<DbFile>* out, DbFault* fault);
  /* Opens an existing database.  Fails for a wrong magic or version, a
  ** header cut short, or a transaction left open.  Then looks at the root
  ** of every tree in the catalogue: a tree whose root lies beyond the file,
  ** or whose pages another tree claims too, is noted as damaged, and every
  ** later use of it fails with that description (other trees stay usable). */
  static DbStatus Open(const std::string& path, OpenAccess access, std::unique_ptr<DbFile>* out,
                       DbFault* fault);

  ~DbFile(); /* closes (and so commits) when still open */
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;

  /* Commits pending work and closes the storage file.  The file is closed
  ** even when the commit fails; the failure is returned. */
  DbStatus Close();

  bool readOnly() const { return file_.readOnly(); }
  uint32_t pageCount() const { return pageCount_; }
  uint32_t generation() const { return generation_; }
  bool inTransaction() const { return inTransaction_; }
  uint32_t catalogueRoot() const { return catalogueRoot_; }
  DbFault* fault() { return &fault_; }
  void ClearFault() { fault_.Clear(); }

  /* ---- pages ---- */

  /* The page, loaded and checked when not cached. */
  DbStatus Fetch(uint32_t page, PageRef* out);
  /* A new empty page of this type and tree at the end of the file, already
  ** marked changed.  Requires a transaction (BeginWrite). */
  PageRef AllocatePage(uint32_t type, uint32_t treeId);
  /* Opens a write transaction unless one is open: writes the generation,
  ** the open flag and the next record id into the header and flushes. */
  DbStatus BeginWrite();
  /* Must precede every change of a page; requires a transaction. */
  void MarkChanged(const PageRef& page);

  /* ---- record ids ---- */

  /* The next record id (opens a transaction first: the counter is part of
  ** what a transaction writes). */
  DbStatus TakeRecordId(uint32_t* id);

  /* ---- transactions ---- */

  /* Writes every changed page, flushes, clears the open flag, flushes. */
  DbStatus Commit();
  /* Undoes the record changes of the transaction (see NOTES.md) and ends it.
  ** Should it fail half way, the file takes no more changes and is closed
  ** without writing: the open flag left in the file tells the next open
  ** that the last transaction never ended. */
  DbStatus Rollback();

  /* ---- trees ---- */

  /* A new empty tree with a catalogue record (name, root) of a new record
  ** id; *root is its page. */
  DbStatus CreateTree(std::string_view name, uint32_t* root);
  /* The root page of a tree; kNotFound (described) when the catalogue has
  ** no live record of that name. */
  DbStatus RootOf(const TreeName& tree, uint32_t* root);
  /* Locates where the tree's root is kept, ahead of a change that may
  ** replace the root. */
  DbStatus FindRootSlot(const TreeName& tree, RootSlot* slot);
  /* Stores a new root page in a slot found by FindRootSlot. */
  void SetRoot(const TreeName& tree, const RootSlot& slot, uint32_t root);

  /* ---- cursors ---- */

  void Register(TreeCursor* cursor);
  void Unregister(TreeCursor* cursor);
  /* Makes every cursor on tree other than except save its position. */
  void SaveCursors(const TreeName& tree, const TreeCursor* except);

 private:
  DbFile() = default;
  DbStatus ReadHeader();
  void VerifyTreeRoots();
  DbStatus WriteHeaderWords(uint32_t offset, const uint32_t* words, uint32_t count);
  DbStatus CheckPage(const PageRef& page);
  void CleanTableLeaf(const PageRef& page);
  DbStatus WriteChangedPages();
  DbStatus EndTransaction();

  StorageFile file_;
  std::unique_ptr<PageCache> cache_;
  DbFault fault_;
  uint32_t generation_ = 1;
  uint32_t nextRecordId_ = 1;
  uint32_t catalogueRoot_ = 0;
  uint32_t pageCount_ = 0;
  uint32_t chainHead_ = kNoPage;
  bool inTransaction_ = false;
  bool rollbackFailed_ = false; /* the pages in memory are half rolled back */
  std::unordered_map<std::string, uint32_t> roots_; /* name -> root page, as found */
  std::unordered_map<std::string, DbFault> damagedTrees_; /* name -> what is wrong */
  std::vector<TreeCursor*> cursors_;
};

} // namespace quendal::db

#endif
