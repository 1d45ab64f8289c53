/*
** Checking a database file: see database_check.h.
**
** Beyond what reading the tables finds, the check walks the catalogue and
** enters every tree's root, so that a damaged tree nobody reads (an orphan,
** a system tree) is found too.
*/
#include "runtime/database/database_check.h"

#include "runtime/database/db_format.h"
#include "runtime/database/single_file_database.h"
#include "runtime/database/table_cursor.h"
#include "runtime/database/tree_cursor.h"

namespace quendal::db {

static CheckReport Failed(const DbFault& fault) {
  CheckReport report;
  report.message = fault.message;
  report.page = fault.page;
  report.offset = fault.offset;
  return report;
}

/* Every tree of the catalogue can be entered at its root. */
static DbStatus CheckCatalogue(DbFile* file) {
  TreeCursor catalogue(file, TreeName::Catalogue(), KeySpec::Catalogue());
  DB_TRY(catalogue.First());
  while (!catalogue.atEnd()) {
    Bytes record;
    DB_TRY(catalogue.Current(&record));
    const std::string name(reinterpret_cast<const char*>(record.data()) + kCatalogueName,
                           Get32(record.data() + kCatalogueNameLength));
    uint32_t root = 0;
    DB_TRY(file->RootOf(TreeName::Named(name), &root));
    PageRef page;
    DB_TRY(file->Fetch(root, &page));
    DB_TRY(catalogue.Next());
  }
  return DbStatus::kOk;
}

CheckReport CheckDatabaseFile(const std::string& path) {
  DbFault fault;
  std::unique_ptr<SingleFileDatabase> db = SingleFileDatabase::Open(path, OpenAccess::kReadOnly, &fault);
  if (!db) return Failed(fault);
  if (CheckCatalogue(db->file()) != DbStatus::kOk) return Failed(*db->file()->fault());

  CheckReport report;
  auto failed = [&] {
    CheckReport failure = Failed(db->lastFault());
    failure.message = db->errorMessage();
    failure.tables = report.tables;
    failure.rows = report.rows;
    return failure;
  };
  const std::vector<std::shared_ptr<const TableInfo>> tables = db->tables();
  for (const auto& table : tables) {
    std::unique_ptr<FieldSchemaCursor> schema = db->FieldSchema(table->name);
    if (!schema) return failed();
    schema->Close();
    const std::string_view all[] = {"*"};
    std::unique_ptr<TableCursor> rows = db->OpenTableCursor(table->name, all, nullptr);
    if (!rows) return failed();
    while (rows->Next()) {
      for (int32_t column = 0; column < rows->ColumnCount(); column++) {
        const void* value = nullptr;
        uint8_t type = 0;
        int32_t length = 0;
        rows->ColumnValue(column, &value, &type, &length);
        rows->ReleaseValue();
      }
      if (db->errorCode() != kErrorNone) return failed();
      report.rows++;
    }
    if (db->errorCode() != kErrorNone) return failed();
    report.tables++;
  }
  report.ok = true;
  return report;
}

std::vector<DbFault> CheckEveryPage(const std::string& path) {
  std::vector<DbFault> faults;
  DbFault fault;
  std::unique_ptr<DbFile> file;
  if (DbFile::Open(path, OpenAccess::kReadOnly, &file, &fault) != DbStatus::kOk) return {fault};
  for (uint32_t page = 0; page < file->pageCount(); page++) {
    PageRef loaded;
    if (file->Fetch(page, &loaded) != DbStatus::kOk) faults.push_back(*file->fault());
    file->ClearFault();
  }
  const uint32_t pages = file->pageCount();
  file.reset(); /* the file is held without sharing */
  StorageFile storage;
  uint64_t length = 0;
  if (storage.OpenExisting(path, OpenAccess::kReadOnly) && storage.Length(&length) && length > PageOffset(pages)) {
    DbFault tail;
    (void)DB_CORRUPT(&tail, pages, kNoOffset,
                     "the file ends inside a page: " + std::to_string(length - PageOffset(pages)) +
                         " bytes after the last whole page");
    faults.push_back(tail);
  }
  return faults;
}

} // namespace quendal::db
