/*
** Database file: see db_file.h and NOTES.md.
**
** Page checks (CheckPage) run once per load, before any reader sees the
** page: the page type, the used length, and every record's length, state
** and contents (catalogue name inside its record, interior entry at least
** its 12 bytes, row fields by CheckRowRecord).  Child and root page
** numbers are checked where they are followed, so that one bad reference
** fails only the readers that need it.
*/
#include "runtime/database/db_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "runtime/database/key_encoding.h"
#include "runtime/database/row_record.h"
#include "runtime/database/tree_cursor.h"
#include "runtime/platform/errors.h"

namespace quendal::db {

namespace {

std::string SystemError() { return " (system error " + std::to_string(platform::GetLastError()) + ")"; }

/* Smallest record length of each page type. */
uint32_t MinimumRecordLength(uint32_t pageType) {
  switch (pageType) {
    case kPageCatalogueLeaf: return kCatalogueName;
    case kPageTableLeaf: return kRowFields;
    default: return kInteriorKey;
  }
}

} // namespace

std::string DescribeTree(const TreeName& tree) {
  return tree.catalogue ? std::string("the catalogue") : "tree \"" + tree.name + "\"";
}

/* ---- opening and closing --------------------------------------------------- */

DbStatus DbFile::Create(const std::string& path, std::unique_ptr<DbFile>* out, DbFault* fault) {
  std::unique_ptr<DbFile> db(new DbFile);
  if (!db->file_.CreateEmpty(path)) {
    if (platform::GetLastError() == platform::ERROR_FILE_EXISTS) {
      return DB_FAIL(fault, DbStatus::kIoError, "a file that is not empty exists there already");
    }
    return DB_FAIL(fault, DbStatus::kIoError, "unable to create the database file" + SystemError());
  }
  uint8_t header[kHeaderSize] = {};
  Put32(header + kHeaderMagic, kFileMagic);
  Put32(header + kHeaderVersion, kFileVersion);
  if (!db->file_.WriteAt(0, header, kHeaderSize)) {
    return DB_FAIL(fault, DbStatus::kIoError, "unable to write the database header" + SystemError());
  }
  db->cache_ = std::make_unique<PageCache>(&db->file_);
  db->generation_ = 1;
  db->nextRecordId_ = 0;
  DbStatus s = db->BeginWrite();
  if (s == DbStatus::kOk) {
    PageRef catalogue = db->AllocatePage(kPageCatalogueLeaf, kNoPage);
    db->catalogueRoot_ = catalogue.number();
    db->nextRecordId_ = 1;
    catalogue.reset();
    s = db->Commit();
  }
  if (s != DbStatus::kOk) {
    *fault = db->fault_;
    return s;
  }
  *out = std::move(db);
  return DbStatus::kOk;
}

DbStatus DbFile::Open(const std::string& path, OpenAccess access, std::unique_ptr<DbFile>* out, DbFault* fault) {
  std::unique_ptr<DbFile> db(new DbFile);
  if (!db->file_.OpenExisting(path, access)) {
    return DB_FAIL(fault, DbStatus::kIoError, "unable to open the database file" + SystemError());
  }
  db->cache_ = std::make_unique<PageCache>(&db->file_);
  if (db->ReadHeader() != DbStatus::kOk) {
    *fault = db->fault_;
    return fault->status;
  }
  db->VerifyTreeRoots();
  *out = std::move(db);
  return DbStatus::kOk;
}

DbStatus DbFile::ReadHeader() {
  uint64_t length = 0;
  if (!file_.Length(&length)) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "unable to read the database file" + SystemError());
  }
  uint8_t header[kHeaderSize];
  uint32_t got = 0;
  if (!file_.ReadAt(0, header, kHeaderSize, &got)) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "unable to read the database header" + SystemError());
  }
  if (got < kHeaderSize) {
    return DB_CORRUPT(&fault_, kNoOffset, kNoOffset,
                      "the file is too short to be a database (" + std::to_string(length) + " bytes)");
  }
  if (Get32(header + kHeaderMagic) != kFileMagic) {
    return DB_CORRUPT(&fault_, kNoOffset, kNoOffset, "not a database file: the header starts with " +
                                                         HexWord(Get32(header + kHeaderMagic)) + ", not 0xFEEDDBDB");
  }
  if (Get32(header + kHeaderVersion) != kFileVersion) {
    return DB_CORRUPT(&fault_, kNoOffset, kNoOffset,
                      "database format version " + std::to_string(Get32(header + kHeaderVersion)) +
                          " is not supported (header offset 4)");
  }
  if (Get32(header + kHeaderTransactionOpen) != 0) {
    return DB_CORRUPT(&fault_, kNoOffset, kNoOffset,
                      "the file was left in the middle of a write transaction (header offset 12)");
  }
  generation_ = Get32(header + kHeaderGeneration) + 1;
  nextRecordId_ = Get32(header + kHeaderNextRecordId);
  catalogueRoot_ = Get32(header + kHeaderCatalogueRoot);
  uint64_t pages = (length - kHeaderSize) / kPageSize;
  pageCount_ = pages > kNoPage ? kNoPage : uint32_t(pages);
  return DbStatus::kOk;
}

void DbFile::VerifyTreeRoots() {
  struct Owner {
    std::string name;
    uint32_t page, offset;
  };
  std::unordered_map<uint32_t, Owner> owners; /* tree id -> the tree claiming it */
  {
    TreeCursor catalogue(this, TreeName::Catalogue(), KeySpec::Catalogue());
    DbStatus s = catalogue.First();
    while (s == DbStatus::kOk && !catalogue.atEnd()) {
      Bytes record;
      if (catalogue.Current(&record) != DbStatus::kOk) break;
      const std::string name(reinterpret_cast<const char*>(record.data()) + kCatalogueName,
                             Get32(record.data() + kCatalogueNameLength));
      const uint32_t root = Get32(record.data() + kCatalogueRoot);
      const uint32_t at = catalogue.offset() + kCatalogueRoot;
      DbFault problem;
      PageRef page;
      if (root >= pageCount_) {
        (void)DB_CORRUPT(&problem, catalogue.page(), at,
                         "the catalogue names page " + std::to_string(root) + " beyond the end of the file as the root of " +
                       DescribeTree(TreeName::Named(name)));
      } else if (Fetch(root, &page) == DbStatus::kOk) {
        const auto [other, fresh] = owners.emplace(page.treeId(), Owner{name, catalogue.page(), at});
        if (!fresh) {
          (void)DB_CORRUPT(&problem, catalogue.page(), at,
                           "trees \"" + other->second.name + "\" and \"" + name + "\" share the pages of one tree");
          damagedTrees_[other->second.name] = problem;
        }
      }
      if (problem.status != DbStatus::kOk) damagedTrees_[name] = problem;
      s = catalogue.Next();
    }
  }
  /* A catalogue or root page that cannot be read is reported where it is used. */
  fault_.Clear();
}

DbFile::~DbFile() { (void)Close(); }

DbStatus DbFile::Close() {
  if (!file_.isOpen()) return DbStatus::kOk;
  assert(cursors_.empty() && "tree cursors must be closed before their file");
  DbStatus s = rollbackFailed_ ? DbStatus::kOk : Commit();
  cache_.reset();
  if (!file_.Close() && s == DbStatus::kOk) {
    s = DB_FAIL(&fault_, DbStatus::kIoError, "unable to close the database file" + SystemError());
  }
  return s;
}

/* ---- pages ------------------------------------------------------------------ */

DbStatus DbFile::Fetch(uint32_t page, PageRef* out) {
  if (page >= pageCount_) {
    return DB_CORRUPT(&fault_, page, kNoOffset, "page " + std::to_string(page) + " lies beyond the end of the file");
  }
  if (PageBuffer* cached = cache_->Find(page)) {
    *out = PageRef(cached);
    return DbStatus::kOk;
  }
  PageBuffer* buffer = cache_->Add(page);
  uint32_t got = 0;
  if (!file_.ReadAt(PageOffset(page), buffer->bytes, kPageSize, &got)) {
    cache_->Discard(buffer);
    return DB_FAIL(&fault_, DbStatus::kIoError, "unable to read page " + std::to_string(page) + SystemError());
  }
  if (got < kPageSize) {
    cache_->Discard(buffer);
    return DB_CORRUPT(&fault_, page, kNoOffset, "page cut short by the end of the file");
  }
  PageRef ref(buffer);
  if (CheckPage(ref) != DbStatus::kOk) {
    ref.reset();
    cache_->Discard(buffer);
    return DbStatus::kCorrupt;
  }
  if (ref.type() == kPageTableLeaf) CleanTableLeaf(ref);
  *out = std::move(ref);
  return DbStatus::kOk;
}

DbStatus DbFile::CheckPage(const PageRef& page) {
  const uint32_t n = page.number();
  const uint32_t type = page.type();
  if (type != kPageCatalogueLeaf && type != kPageTableLeaf && type != kPageInterior) {
    return DB_CORRUPT(&fault_, n, kPageType, "page of unknown type " + HexWord(type));
  }
  const uint32_t used = page.used();
  if (used > kRecordAreaSize) {
    return DB_CORRUPT(&fault_, n, kPageUsed, "page claims " + std::to_string(used) + " used bytes");
  }
  const uint8_t* area = page.records();
  for (uint32_t off = 0; off < used;) {
    const uint32_t at = kPageRecords + off;
    if (used - off < kRecordHeaderSize) {
      return DB_CORRUPT(&fault_, n, at, "record header cut off by the end of the used bytes");
    }
    const uint32_t length = Get16(area + off);
    if (length < MinimumRecordLength(type)) {
      return DB_CORRUPT(&fault_, n, at, "record length " + std::to_string(length) + " too short for its page");
    }
    if (length > used - off) {
      return DB_CORRUPT(&fault_, n, at, "record length " + std::to_string(length) + " runs past the used bytes");
    }
    const uint8_t state = area[off + kRecordState];
    if (state != kStateLive && state != kStateDeleted) {
      return DB_CORRUPT(&fault_, n, at + kRecordState, "record with unknown state " + HexWord(state));
    }
    if (type == kPageCatalogueLeaf && Get32(area + off + kCatalogueNameLength) > length - kCatalogueName) {
      return DB_CORRUPT(&fault_, n, at + kCatalogueNameLength, "catalogue name runs past its record");
    }
    if (type == kPageTableLeaf) {
      RowDefect defect;
      if (!CheckRowRecord(Bytes(area + off, length), &defect)) {
        return DB_CORRUPT(&fault_, n, at + defect.offset, defect.what);
      }
    }
    off += length;
  }
  return DbStatus::kOk;
}

void DbFile::CleanTableLeaf(const PageRef& page) {
  uint8_t* area = page.records();
  const uint32_t used = page.used();
  const uint32_t current = generation_ & kGenerationMask;
  uint32_t kept = 0;
  for (uint32_t off = 0; off < used;) {
    const uint32_t length = Get16(area + off);
    const bool stale = area[off + kRecordState] == kStateDeleted && Get24(area + off + kRecordGeneration) != current;
    if (!stale) {
      if (kept != off) std::memmove(area + kept, area + off, length);
      kept += length;
    }
    off += length;
  }
  if (kept != used) {
    std::memset(area + kept, 0, used - kept);
    Put16(page.bytes() + kPageUsed, kept);
  }
}

PageRef DbFile::AllocatePage(uint32_t type, uint32_t treeId) {
  assert(inTransaction_);
  const uint32_t number = pageCount_++;
  PageRef page(cache_->Add(number));
  Put32(page.bytes() + kPageType, type);
  Put32(page.bytes() + kPageTreeId, treeId == kNoPage ? number : treeId);
  Put32(page.bytes() + kPageGeneration, generation_ - 1);
  MarkChanged(page);
  return page;
}

void DbFile::MarkChanged(const PageRef& page) {
  assert(inTransaction_ && !readOnly());
  uint8_t* bytes = page.bytes();
  page.buffer()->dirty = true;
  if (Get32(bytes + kPageGeneration) != generation_) {
    Put32(bytes + kPageGeneration, generation_);
    Put32(bytes + kPageChainNext, chainHead_);
    chainHead_ = page.number();
  }
}

/* ---- transactions ------------------------------------------------------------ */

DbStatus DbFile::WriteHeaderWords(uint32_t offset, const uint32_t* words, uint32_t count) {
  uint8_t bytes[16];
  assert(count * 4 <= sizeof bytes);
  for (uint32_t i = 0; i < count; i++) Put32(bytes + 4 * i, words[i]);
  if (!file_.WriteAt(offset, bytes, 4 * count)) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "unable to write the database header" + SystemError());
  }
  if (!file_.Flush()) return DB_FAIL(&fault_, DbStatus::kIoError, "unable to flush the database file" + SystemError());
  return DbStatus::kOk;
}

DbStatus DbFile::BeginWrite() {
  if (rollbackFailed_) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "the database file takes no changes after a failed rollback");
  }
  if (inTransaction_) return DbStatus::kOk;
  if (readOnly()) return DB_FAIL(&fault_, DbStatus::kReadOnly, "the database file is open read-only");
  const uint32_t words[3] = {generation_, 1, nextRecordId_};
  DbStatus s = WriteHeaderWords(kHeaderGeneration, words, 3);
  if (s != DbStatus::kOk) {
    /* Nothing has changed yet; the flag may have reached the file before
    ** the failure, so clear it again where the file allows. */
    const uint32_t clear = 0;
    (void)WriteHeaderWords(kHeaderTransactionOpen, &clear, 1);
    return s;
  }
  inTransaction_ = true;
  return DbStatus::kOk;
}

DbStatus DbFile::TakeRecordId(uint32_t* id) {
  DB_TRY(BeginWrite());
  if (nextRecordId_ == 0) nextRecordId_ = 1; /* 0 names nothing */
  *id = nextRecordId_++;
  return DbStatus::kOk;
}

DbStatus DbFile::WriteChangedPages() {
  if (!cache_->WriteAllDirty()) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "unable to write changed pages to the database file" + SystemError());
  }
  if (!file_.Flush()) return DB_FAIL(&fault_, DbStatus::kIoError, "unable to flush the database file" + SystemError());
  return DbStatus::kOk;
}

DbStatus DbFile::EndTransaction() {
  const uint32_t words[3] = {0, nextRecordId_, catalogueRoot_};
  DB_TRY(WriteHeaderWords(kHeaderTransactionOpen, words, 3));
  generation_++;
  chainHead_ = kNoPage;
  inTransaction_ = false;
  return DbStatus::kOk;
}

DbStatus DbFile::Commit() {
  if (!inTransaction_) return DbStatus::kOk;
  if (rollbackFailed_) {
    return DB_FAIL(&fault_, DbStatus::kIoError, "the database file takes no changes after a failed rollback");
  }
  DB_TRY(WriteChangedPages());
  return EndTransaction();
}

DbStatus DbFile::Rollback() {
  if (!inTransaction_) return DbStatus::kOk;
  const uint32_t current = generation_ & kGenerationMask;
  uint32_t steps = 0;
  for (uint32_t number = chainHead_; number != kNoPage;) {
    PageRef page;
    DbStatus s = ++steps > pageCount_ ? DB_CORRUPT(&fault_, number, kPageChainNext, "the transaction chain loops")
                                      : Fetch(number, &page);
    if (s != DbStatus::kOk) {
      rollbackFailed_ = true;
      return s;
    }
    if (page.type() != kPageInterior) {
      uint8_t* area = page.records();
      for (uint32_t off = 0, used = page.used(); off < used; off += Get16(area + off)) {
        uint8_t* record = area + off;
        if (Get24(record + kRecordGeneration) != current) continue;
        record[kRecordState] = record[kRecordState] == kStateLive ? kStateDeleted : kStateLive;
        Put24(record + kRecordGeneration, 0);
        page.buffer()->dirty = true;
      }
    }
    number = Get32(page.bytes() + kPageChainNext);
  }
  roots_.clear();
  DbStatus s = WriteChangedPages();
  if (s == DbStatus::kOk) s = EndTransaction();
  if (s != DbStatus::kOk) rollbackFailed_ = true;
  return s;
}

/* ---- trees -------------------------------------------------------------------- */

DbStatus DbFile::CreateTree(std::string_view name, uint32_t* root) {
  const uint32_t length = kCatalogueName + uint32_t(name.size());
  if (name.size() > kRecordAreaSize - kCatalogueName) {
    return DB_FAIL(&fault_, DbStatus::kTooLong, "tree name too long");
  }
  TreeCursor catalogue(this, TreeName::Catalogue(), KeySpec::Catalogue());
  std::string key;
  AppendCatalogueKey(name, &key);
  bool exists = false;
  DB_TRY(catalogue.SeekInsertPosition(key, &exists));
  if (exists) return DB_FAIL(&fault_, DbStatus::kCorrupt, "a tree named \"" + std::string(name) + "\" exists already");
  uint32_t id = 0;
  DB_TRY(TakeRecordId(&id));
  PageRef leaf = AllocatePage(kPageTableLeaf, kNoPage);
  std::string record(length, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(record.data());
  Put16(p + kRecordLength, length);
  p[kRecordState] = kStateLive;
  Put24(p + kRecordGeneration, generation_ & kGenerationMask);
  Put32(p + kRecordId, id);
  Put32(p + kCatalogueRoot, leaf.number());
  Put32(p + kCatalogueNameLength, uint32_t(name.size()));
  std::memcpy(p + kCatalogueName, name.data(), name.size());
  DB_TRY(catalogue.Insert(Bytes(p, length)));
  roots_[std::string(name)] = leaf.number();
  *root = leaf.number();
  return DbStatus::kOk;
}

DbStatus DbFile::RootOf(const TreeName& tree, uint32_t* root) {
  if (tree.catalogue) {
    *root = catalogueRoot_;
    return DbStatus::kOk;
  }
  if (auto damaged = damagedTrees_.find(tree.name); damaged != damagedTrees_.end()) {
    if (fault_.status == DbStatus::kOk) fault_ = damaged->second;
    return DbStatus::kCorrupt;
  }
  if (auto it = roots_.find(tree.name); it != roots_.end()) {
    *root = it->second;
    return DbStatus::kOk;
  }
  RootSlot slot;
  DB_TRY(FindRootSlot(tree, &slot));
  const uint32_t number = Get32(slot.page.bytes() + slot.offset + kCatalogueRoot);
  if (number >= pageCount_) {
    return DB_CORRUPT(&fault_, slot.page.number(), slot.offset + kCatalogueRoot,
                      "the catalogue names page " + std::to_string(number) + " beyond the end of the file as the root of " +
                          DescribeTree(tree));
  }
  roots_[tree.name] = number;
  *root = number;
  return DbStatus::kOk;
}

DbStatus DbFile::FindRootSlot(const TreeName& tree, RootSlot* slot) {
  *slot = RootSlot();
  if (tree.catalogue) return DbStatus::kOk;
  TreeCursor catalogue(this, TreeName::Catalogue(), KeySpec::Catalogue());
  std::string key;
  AppendCatalogueKey(tree.name, &key);
  bool found = false;
  DB_TRY(catalogue.Seek(key, &found));
  if (!found) return DB_FAIL(&fault_, DbStatus::kNotFound, "the catalogue has no " + DescribeTree(tree));
  slot->page = catalogue.leafPage();
  slot->offset = catalogue.offset();
  return DbStatus::kOk;
}

void DbFile::SetRoot(const TreeName& tree, const RootSlot& slot, uint32_t root) {
  if (tree.catalogue) {
    catalogueRoot_ = root;
    return;
  }
  assert(slot.page);
  MarkChanged(slot.page);
  Put32(slot.page.bytes() + slot.offset + kCatalogueRoot, root);
  roots_[tree.name] = root;
}

/* ---- cursors -------------------------------------------------------------------- */

void DbFile::Register(TreeCursor* cursor) { cursors_.push_back(cursor); }

void DbFile::Unregister(TreeCursor* cursor) {
  auto it = std::find(cursors_.begin(), cursors_.end(), cursor);
  assert(it != cursors_.end());
  cursors_.erase(it);
}

void DbFile::SaveCursors(const TreeName& tree, const TreeCursor* except) {
  for (TreeCursor* cursor : cursors_) {
    if (cursor != except && cursor->tree() == tree) cursor->Save();
  }
}

} // namespace quendal::db
