/*
** The single-file database engine: see single_file_database.h.
**
** Order of an insert: every check that needs no change of the file comes
** first (table, NOT NULL, column names, value texts), then the write
** transaction, the large values, the row's place and key, and the row.
** Large values written for a row that is then refused are deleted again,
** so a refused insert leaves nothing live behind.
*/
#include "runtime/database/single_file_database.h"

#include <algorithm>
#include <cassert>

#include "runtime/database/blob_store.h"
#include "runtime/database/table_cursor.h"
#include "runtime/database/tree_cursor.h"
#include "runtime/database/value_text.h"
#include "runtime/text/string_compare.h"

namespace quendal::db {

const char kTablesTreeName[] = "sys$tables";
const char kFieldsTreeName[] = "sys$fields";

namespace {

/* sys$fields columns */
constexpr uint8_t kFieldTable = 0, kFieldColumn = 1, kFieldName = 2, kFieldNullable = 3, kFieldType = 4,
                  kFieldKeyPosition = 5;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

/* Types a new column may have. */
bool AcceptedColumnType(int32_t type) {
  switch (type) {
    case kTypeSmallInt: case kTypeInteger: case kTypeText: case kTypeFloat: case kTypeDouble: case kTypeDate:
    case kTypeTime: case kTypeBoolean: case kTypeLongText: case kTypeLongBinary:
      return true;
    default:
      return false;
  }
}

bool IsLargeValueType(uint8_t type) { return type == kTypeLongText || type == kTypeLongBinary; }

KeySpec FieldsKey() { return KeySpec::Columns({kFieldTable, kFieldName}); }

std::string TreeNameOf(uint32_t tableId) { return std::to_string(tableId); }

TableInfo MakeSystemTablesInfo() {
  TableInfo info;
  info.name = kTablesTreeName;
  info.id = 0;
  info.columns = {ColumnInfo{0, "TableID", kTypeInteger, false, 0},
                  ColumnInfo{1, "TableName", kTypeText, false, 1}};
  info.key = KeySpec::Columns({1});
  info.treeName = kTablesTreeName;
  return info;
}

/* Reads the field of column in a system row, of type type; false when it
** is missing or of another type. */
bool SystemField(Bytes record, uint8_t column, uint8_t type, FieldRef* field) {
  return FindField(record, column, field) && field->type == type;
}

} // namespace

const TableInfo& SystemTablesInfo() {
  static const TableInfo info = MakeSystemTablesInfo();
  return info;
}

const ColumnInfo* TableInfo::Find(std::string_view columnName) const {
  for (const ColumnInfo& c : columns) {
    if (SameName(c.name, columnName)) return &c;
  }
  return nullptr;
}

/* ---- errors ---------------------------------------------------------------- */

void SingleFileDatabase::ClearError() {
  errorCode_ = kErrorNone;
  errorMessage_.clear();
  if (file_) file_->ClearFault();
}

void SingleFileDatabase::SetError(int32_t code, std::string message) {
  errorCode_ = code;
  errorMessage_ = std::move(message);
}

void SingleFileDatabase::SetFileError(DbStatus status, int32_t fallbackCode, const std::string& fallbackMessage) {
  if (file_) lastFault_ = *file_->fault();
  switch (status) {
    case DbStatus::kCorrupt: case DbStatus::kNotFound:
      SetError(kErrorDamaged, "Database file damaged: " + lastFault_.message);
      return;
    case DbStatus::kIoError: case DbStatus::kReadOnly:
      SetError(kErrorFileAccess, "Unable to access the database file: " + lastFault_.message);
      return;
    default:
      SetError(fallbackCode, fallbackMessage);
      return;
  }
}

bool SingleFileDatabase::Usable() {
  ClearError();
  if (file_) return true;
  SetError(kErrorFileAccess, "Unable to access the database file: the database is closed");
  return false;
}

/* ---- opening and closing ------------------------------------------------------ */

std::unique_ptr<SingleFileDatabase> SingleFileDatabase::Create(const std::string& path, DbFault* failure) {
  std::unique_ptr<SingleFileDatabase> db(new SingleFileDatabase);
  if (DbFile::Create(path, &db->file_, failure) != DbStatus::kOk) return nullptr;
  DbStatus s = DbStatus::kOk;
  for (const char* name : {kTablesTreeName, kFieldsTreeName, kBlobTreeName}) {
    uint32_t root = 0;
    if (s == DbStatus::kOk) s = db->file_->CreateTree(name, &root);
  }
  if (s == DbStatus::kOk) s = db->file_->Commit();
  if (s != DbStatus::kOk) {
    *failure = *db->file_->fault();
    return nullptr;
  }
  return db;
}

std::unique_ptr<SingleFileDatabase> SingleFileDatabase::Open(const std::string& path, OpenAccess access,
                                                             DbFault* failure) {
  std::unique_ptr<SingleFileDatabase> db(new SingleFileDatabase);
  if (DbFile::Open(path, access, &db->file_, failure) != DbStatus::kOk) return nullptr;
  if (db->LoadTables(&db->tables_) != DbStatus::kOk) {
    *failure = *db->file_->fault();
    return nullptr;
  }
  return db;
}

SingleFileDatabase::~SingleFileDatabase() { Close(); }

void SingleFileDatabase::Close() {
  if (!file_) return;
  ClearError();
  const std::vector<DbCursor*> open = cursors_;
  for (DbCursor* cursor : open) cursor->Close();
  assert(cursors_.empty());
  tables_.clear();
  const DbStatus s = file_->Close();
  if (s != DbStatus::kOk) SetFileError(s, kErrorFileAccess, "Unable to access the database file");
  file_.reset();
}

void SingleFileDatabase::Attach(DbCursor* cursor) { cursors_.push_back(cursor); }

void SingleFileDatabase::Detach(DbCursor* cursor) {
  auto it = std::find(cursors_.begin(), cursors_.end(), cursor);
  if (it != cursors_.end()) cursors_.erase(it);
}

/* ---- the table list ---------------------------------------------------------------- */

DbStatus SingleFileDatabase::ReadFieldRows(uint32_t tableId, std::vector<ColumnInfo>* columns, bool allTables,
                                           std::vector<std::pair<uint32_t, ColumnInfo>>* all) {
  TreeCursor rows(file_.get(), TreeName::Named(kFieldsTreeName), FieldsKey());
  if (!allTables) {
    std::string prefix;
    AppendIntegerKey(int32_t(tableId), &prefix);
    rows.SetPrefix(std::move(prefix));
  }
  DB_TRY(rows.First());
  while (!rows.atEnd()) {
    Bytes record;
    DB_TRY(rows.Current(&record));
    FieldRef table, column, name, nullable, type, key;
    if (!SystemField(record, kFieldTable, kTypeInteger, &table) ||
        !SystemField(record, kFieldColumn, kTypeInteger, &column) ||
        !SystemField(record, kFieldName, kTypeText, &name) ||
        !SystemField(record, kFieldNullable, kTypeSmallInt, &nullable) ||
        !SystemField(record, kFieldType, kTypeSmallInt, &type)) {
      return DB_CORRUPT(file_->fault(), rows.page(), rows.offset(), "sys$fields row lacks one of its values");
    }
    const bool hasKey = FindField(record, kFieldKeyPosition, &key);
    const int32_t id = IntegerOf(record, column);
    const int16_t typeCode = SmallIntOf(record, type);
    const int16_t keyPosition = hasKey && key.type == kTypeSmallInt ? SmallIntOf(record, key) : 0;
    if (id < 0 || id > 255 || typeCode < 0 || typeCode > 255 || keyPosition < 0 || keyPosition > 255 ||
        (hasKey && key.type != kTypeSmallInt)) {
      return DB_CORRUPT(file_->fault(), rows.page(), rows.offset(), "sys$fields row holds a value out of range");
    }
    ColumnInfo info{uint8_t(id), std::string(FieldText(record, name)), uint8_t(typeCode),
                    SmallIntOf(record, nullable) != 0, uint8_t(keyPosition)};
    if (allTables) all->emplace_back(uint32_t(IntegerOf(record, table)), std::move(info));
    else columns->push_back(std::move(info));
    DB_TRY(rows.Next());
  }
  return DbStatus::kOk;
}

/* Puts columns in id order and derives the key; damage when an id repeats. */
static DbStatus FinishColumns(DbFile* file, TableInfo* info) {
  std::sort(info->columns.begin(), info->columns.end(),
            [](const ColumnInfo& a, const ColumnInfo& b) { return a.id < b.id; });
  std::vector<const ColumnInfo*> keyed;
  for (size_t i = 0; i < info->columns.size(); i++) {
    if (i > 0 && info->columns[i].id == info->columns[i - 1].id) {
      return DB_CORRUPT(file->fault(), kNoOffset, kNoOffset,
                        "sys$fields declares column id " + std::to_string(info->columns[i].id) + " of table " +
                            info->name + " twice");
    }
    if (info->columns[i].keyPosition) keyed.push_back(&info->columns[i]);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const ColumnInfo* a, const ColumnInfo* b) { return a->keyPosition < b->keyPosition; });
  std::vector<uint8_t> ids;
  for (const ColumnInfo* c : keyed) ids.push_back(c->id);
  info->key = KeySpec::Columns(std::move(ids));
  return DbStatus::kOk;
}

DbStatus SingleFileDatabase::LoadTables(std::vector<std::shared_ptr<const TableInfo>>* tables) {
  std::vector<TableInfo> found;
  TreeCursor rows(file_.get(), TreeName::Named(kTablesTreeName), SystemTablesInfo().key);
  DB_TRY(rows.First());
  while (!rows.atEnd()) {
    Bytes record;
    DB_TRY(rows.Current(&record));
    FieldRef id, name;
    if (!SystemField(record, 0, kTypeInteger, &id) || !SystemField(record, 1, kTypeText, &name)) {
      return DB_CORRUPT(file_->fault(), rows.page(), rows.offset(), "sys$tables row lacks its table id or name");
    }
    TableInfo info;
    info.name = std::string(FieldText(record, name));
    info.id = uint32_t(IntegerOf(record, id));
    info.treeName = TreeNameOf(info.id);
    found.push_back(std::move(info));
    DB_TRY(rows.Next());
  }
  std::vector<std::pair<uint32_t, ColumnInfo>> fields;
  DB_TRY(ReadFieldRows(0, nullptr, true, &fields));
  tables->clear();
  for (TableInfo& info : found) {
    for (const auto& [tableId, column] : fields) {
      if (tableId == info.id) info.columns.push_back(column);
    }
    DB_TRY(FinishColumns(file_.get(), &info));
    tables->push_back(std::make_shared<const TableInfo>(std::move(info)));
  }
  return DbStatus::kOk;
}

void SingleFileDatabase::ReloadTables() {
  std::vector<std::shared_ptr<const TableInfo>> reloaded;
  const DbStatus s = LoadTables(&reloaded);
  if (s != DbStatus::kOk) {
    SetFileError(s, kErrorDamaged, "Database file damaged");
    return;
  }
  tables_ = std::move(reloaded);
}

std::shared_ptr<const TableInfo> SingleFileDatabase::FindTable(std::string_view name) const {
  for (const auto& table : tables_) {
    if (SameName(table->name, name)) return table;
  }
  return nullptr;
}

/* ---- system rows ---------------------------------------------------------------------- */

DbStatus SingleFileDatabase::InsertSystemRow(const char* tree, const KeySpec& key, Bytes record) {
  TreeCursor cursor(file_.get(), TreeName::Named(tree), key);
  std::string rowKey;
  RecordKey(key, record, &rowKey);
  bool exists = false;
  DB_TRY(cursor.SeekInsertPosition(rowKey, &exists));
  return cursor.Insert(record);
}

DbStatus SingleFileDatabase::WriteFieldRow(uint32_t tableId, const ColumnInfo& column) {
  uint32_t id = 0;
  DB_TRY(file_->TakeRecordId(&id));
  RowBuilder row;
  row.Begin(file_->generation(), id);
  row.AddInteger(kFieldTable, kTypeInteger, int32_t(tableId));
  row.AddInteger(kFieldColumn, kTypeInteger, column.id);
  row.AddBytes(kFieldName, kTypeText, column.name);
  row.AddSmallInt(kFieldNullable, column.nullable ? 1 : 0);
  row.AddSmallInt(kFieldType, column.type);
  if (column.keyPosition) row.AddSmallInt(kFieldKeyPosition, column.keyPosition);
  return InsertSystemRow(kFieldsTreeName, FieldsKey(), row.Finish());
}

/* ---- schema changes ---------------------------------------------------------------------- */

void SingleFileDatabase::CreateTable(std::string_view table, std::span<const ColumnDefinition> columns,
                                     std::span<const uint8_t> keyPositions) {
  if (!Usable()) return;
  const std::string name(table);
  const std::string internal = "Unable to create " + name + " due to an internal error";
  if (FindTable(name)) return SetError(kErrorTableExists, "Unable to create " + name + " because it already exists");
  if (columns.size() > 256) {
    return SetError(kErrorColumnDefinition, "Unable to create " + name + " because it has more than 256 columns");
  }
  for (size_t i = 0; i < columns.size(); i++) {
    if (!AcceptedColumnType(columns[i].type)) {
      return SetError(kErrorUnsupportedType, "Unable to create " + name + " because an unsupported column type was used");
    }
    for (size_t j = 0; j < i; j++) {
      if (SameName(columns[i].name, columns[j].name)) {
        return SetError(kErrorColumnDefinition, "Unable to create " + name + " because column " +
                                                    std::string(columns[i].name) + " is defined twice");
      }
    }
  }
  std::vector<uint8_t> keyOf(columns.size(), 0);
  for (size_t k = 0; k < keyPositions.size(); k++) {
    if (keyPositions[k] >= columns.size() || keyOf[keyPositions[k]] != 0) return SetError(kErrorInternal, internal);
    keyOf[keyPositions[k]] = uint8_t(k + 1);
  }

  TableInfo info;
  info.name = name;
  DbStatus s = file_->TakeRecordId(&info.id);
  if (s != DbStatus::kOk) return SetFileError(s, kErrorInternal, internal);
  info.treeName = TreeNameOf(info.id);
  uint32_t root = 0;
  s = file_->CreateTree(info.treeName, &root);
  if (s != DbStatus::kOk) return SetFileError(s, kErrorInternal, internal);

  uint32_t rowId = 0;
  s = file_->TakeRecordId(&rowId);
  if (s == DbStatus::kOk) {
    RowBuilder row;
    row.Begin(file_->generation(), rowId);
    row.AddInteger(0, kTypeInteger, int32_t(info.id));
    row.AddBytes(1, kTypeText, name);
    s = InsertSystemRow(kTablesTreeName, SystemTablesInfo().key, row.Finish());
  }
  for (size_t i = 0; i < columns.size() && s == DbStatus::kOk; i++) {
    info.columns.push_back(ColumnInfo{uint8_t(i), std::string(columns[i].name), uint8_t(columns[i].type),
                                      columns[i].nullable, keyOf[i]});
    s = WriteFieldRow(info.id, info.columns.back());
  }
  if (s == DbStatus::kOk) s = FinishColumns(file_.get(), &info);
  if (s != DbStatus::kOk) return SetFileError(s, kErrorInternal, internal);
  tables_.push_back(std::make_shared<const TableInfo>(std::move(info)));
}

void SingleFileDatabase::AddColumn(std::string_view table, const ColumnDefinition& column) {
  if (!Usable()) return;
  const std::string columnName(column.name);
  std::shared_ptr<const TableInfo> found = FindTable(table);
  if (!found) {
    return SetError(kErrorRequest,
                    "Unable to add column " + columnName + " because table '" + std::string(table) + "' doesn't exist");
  }
  if (!AcceptedColumnType(column.type)) {
    return SetError(kErrorUnsupportedType, "Unable to add " + columnName + " because an unsupported  type was used");
  }
  if (found->Find(columnName)) {
    return SetError(kErrorColumnDefinition,
                    "Unable to add " + columnName + " because table '" + found->name + "' already has such a column");
  }
  bool used[256] = {};
  for (const ColumnInfo& c : found->columns) used[c.id] = true;
  int32_t id = 0;
  while (id < 256 && used[id]) id++;
  if (id == 256) {
    return SetError(kErrorColumnDefinition,
                    "Unable to add " + columnName + " because table '" + found->name + "' has no free column id");
  }
  TableInfo info = *found;
  info.columns.push_back(ColumnInfo{uint8_t(id), columnName, uint8_t(column.type), column.nullable, 0});
  DbStatus s = WriteFieldRow(info.id, info.columns.back());
  if (s == DbStatus::kOk) s = FinishColumns(file_.get(), &info);
  if (s != DbStatus::kOk) {
    return SetFileError(s, kErrorInternal, "Unable to add " + columnName + " due to an internal error");
  }
  for (auto& entry : tables_) {
    if (entry == found) entry = std::make_shared<const TableInfo>(std::move(info));
  }
}

/* ---- rows ------------------------------------------------------------------------------------ */

static void DeleteBlobs(DbFile* file, const std::vector<uint32_t>& references) {
  for (uint32_t reference : references) (void)DeleteBlob(file, reference);
}

void SingleFileDatabase::InsertRecord(std::string_view table, std::span<const RecordEntry> entries) {
  if (!Usable()) return;
  std::shared_ptr<const TableInfo> info = FindTable(table);
  if (!info) return SetError(kErrorRequest, "Unknown table " + std::string(table));

  /* Which entry gives each column's value (the last entry naming it). */
  std::vector<int32_t> entryOf(info->columns.size(), -1);
  const RecordEntry* unknown = nullptr;
  for (size_t e = 0; e < entries.size(); e++) {
    bool matched = false;
    for (size_t c = 0; c < info->columns.size(); c++) {
      if (SameName(info->columns[c].name, entries[e].name)) {
        entryOf[c] = int32_t(e);
        matched = true;
        break;
      }
    }
    if (!matched && !unknown) unknown = &entries[e];
  }
  for (size_t c = 0; c < info->columns.size(); c++) {
    if (!info->columns[c].nullable && entryOf[c] < 0) return SetError(kErrorRequest, "NotNull column violation");
  }
  if (unknown) return SetError(kErrorRequest, "Unknown column " + std::string(unknown->name));
  for (size_t c = 0; c < info->columns.size(); c++) {
    if (entryOf[c] < 0) continue;
    const ColumnInfo& column = info->columns[c];
    const std::string_view text = entries[entryOf[c]].value;
    uint16_t fields[3];
    if (column.type == kTypeDate && !ParseDateText(text, fields)) return SetError(kErrorRequest, "Invalid date format");
    if (column.type == kTypeTime && !ParseTimeText(text, fields)) return SetError(kErrorRequest, "Invalid time format");
    if (!IsFieldType(column.type)) {
      return SetError(kErrorUnsupportedType, "Insert failed: column " + column.name + " has an unsupported type");
    }
  }

  DbStatus s = file_->BeginWrite();
  if (s != DbStatus::kOk) return SetFileError(s, kErrorFileAccess, "Unable to access the database file");
  std::vector<uint32_t> blobs;
  std::vector<uint32_t> blobOf(info->columns.size(), 0);
  for (size_t c = 0; c < info->columns.size(); c++) {
    if (entryOf[c] < 0 || !IsLargeValueType(info->columns[c].type)) continue;
    s = WriteBlob(file_.get(), entries[entryOf[c]].value, &blobOf[c]);
    if (s != DbStatus::kOk) {
      lastFault_ = *file_->fault();
      DeleteBlobs(file_.get(), blobs);
      return SetError(kErrorBlobWrite, "Error writing BLOB");
    }
    blobs.push_back(blobOf[c]);
  }

  uint32_t id = 0;
  s = file_->TakeRecordId(&id);
  RowBuilder row;
  row.Begin(file_->generation(), id);
  for (size_t c = 0; c < info->columns.size(); c++) {
    if (entryOf[c] < 0) continue;
    const ColumnInfo& column = info->columns[c];
    if (IsLargeValueType(column.type)) row.AddInteger(column.id, column.type, int32_t(blobOf[c]));
    else (void)AddValueFromText(&row, column.id, column.type, entries[entryOf[c]].value);
  }
  const Bytes record = row.Finish();
  std::string key;
  RecordKey(info->key, record, &key);
  TreeCursor cursor(file_.get(), TreeName::Named(info->treeName), info->key);
  bool taken = false;
  if (s == DbStatus::kOk) s = cursor.SeekInsertPosition(key, &taken);
  if (s == DbStatus::kOk && info->hasKey() && taken) {
    DeleteBlobs(file_.get(), blobs);
    return SetError(kErrorPrimaryKey, "Insert failed: primary key violation");
  }
  if (s == DbStatus::kOk && record.size() > kRecordAreaSize) s = DbStatus::kTooLong;
  if (s == DbStatus::kOk) s = cursor.Insert(record);
  if (s != DbStatus::kOk) {
    DeleteBlobs(file_.get(), blobs);
    if (s == DbStatus::kTooLong) return SetError(kErrorTooLong, "Insert failed: data too long");
    return SetFileError(s, kErrorInternal, "Insert failed");
  }
}

/* ---- cursors ---------------------------------------------------------------------------------- */

std::unique_ptr<TableCursor> SingleFileDatabase::OpenTableCursor(std::string_view table,
                                                                 std::span<const std::string_view> columns,
                                                                 const SqlCondition* filter) {
  if (!Usable()) return nullptr;
  std::shared_ptr<const TableInfo> info = FindTable(table);
  if (!info) return nullptr;
  std::unique_ptr<TableCursor> cursor(new TableCursor(this, info, false));
  for (std::string_view name : columns) {
    if (name == "*") {
      for (const ColumnInfo& c : info->columns) cursor->selected_.push_back({c.name, c.id, c.type});
      continue;
    }
    const ColumnInfo* c = info->Find(name);
    if (!c) return nullptr;
    cursor->selected_.push_back({std::string(name), c->id, c->type});
  }
  if (filter) {
    std::vector<FilterColumn> bindable;
    for (const ColumnInfo& c : info->columns) bindable.push_back({c.id, c.name, c.type});
    std::string unknown;
    if (!cursor->filter_.Bind(*filter, bindable, &unknown)) return nullptr;
  }
  return cursor;
}

std::unique_ptr<TableCursor> SingleFileDatabase::TableSchema() {
  if (!Usable()) return nullptr;
  auto info = std::make_shared<const TableInfo>(SystemTablesInfo());
  std::unique_ptr<TableCursor> cursor(new TableCursor(this, info, true));
  cursor->selected_.push_back({"TableName", 1, kTypeText});
  return cursor;
}

std::unique_ptr<FieldSchemaCursor> SingleFileDatabase::FieldSchema(std::string_view table) {
  if (!Usable()) return nullptr;
  std::shared_ptr<const TableInfo> info = FindTable(table);
  if (!info) return nullptr;
  std::vector<ColumnInfo> rows;
  const DbStatus s = ReadFieldRows(info->id, &rows, false, nullptr);
  if (s != DbStatus::kOk) {
    SetFileError(s, kErrorDamaged, "Database file damaged");
    return nullptr;
  }
  std::stable_sort(rows.begin(), rows.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.id < b.id; });
  return std::unique_ptr<FieldSchemaCursor>(new FieldSchemaCursor(this, std::move(rows)));
}

/* ---- transactions ---------------------------------------------------------------------------------- */

void SingleFileDatabase::Commit() {
  if (!Usable()) return;
  const std::vector<DbCursor*> open = cursors_;
  for (DbCursor* cursor : open) cursor->BeforeCommit();
  if (errorCode_ != kErrorNone) return;
  const DbStatus s = file_->Commit();
  if (s != DbStatus::kOk) SetFileError(s, kErrorFileAccess, "Unable to access the database file");
}

void SingleFileDatabase::Rollback() {
  if (!Usable()) return;
  const std::vector<DbCursor*> open = cursors_;
  for (DbCursor* cursor : open) cursor->AfterRollback();
  const DbStatus s = file_->Rollback();
  if (s != DbStatus::kOk) return SetFileError(s, kErrorFileAccess, "Unable to access the database file");
  ReloadTables();
}

} // namespace quendal::db
