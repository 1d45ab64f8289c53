/*
** Cursors of the single-file engine: see table_cursor.h.
**
** The current row is read once when the cursor arrives (ParseRow): its
** fields, and for each column id the index of its field (slot_, 0 = no
** field).  Values are then found without walking the record again; the
** record's bytes are asked of the tree cursor each time, as another cursor
** may have moved them.
**
** An update is made safe against every failure before the old row is
** touched: the new row is built (large values written), its length and key
** checked, its insertion prepared or its copy written to the temporary
** file; only then is the old row marked deleted, and the new one inserted
** by a step that cannot fail.  Moved rows are stored in the temporary file
** as a u32 length followed by the record.
*/
#include "runtime/database/table_cursor.h"

#include <cassert>
#include <cstring>

#include "runtime/database/blob_store.h"
#include "runtime/database/value_text.h"

namespace quendal::db {

namespace {

bool IsLargeValueType(uint8_t type) { return type == kTypeLongText || type == kTypeLongBinary; }

void AppendQuoted(std::string_view text, std::string* out) {
  out->push_back('\'');
  for (char c : text) {
    if (c == '\'') out->push_back('\'');
    out->push_back(c);
  }
  out->push_back('\'');
}

constexpr size_t kKeepLargeBuffer = 1 << 20;

} // namespace

TableCursor::TableCursor(SingleFileDatabase* owner, std::shared_ptr<const TableInfo> table, bool listing)
    : owner_(owner), table_(std::move(table)), listing_(listing) {
  tree_ = std::make_unique<TreeCursor>(owner_->file(), TreeName::Named(table_->treeName), table_->key);
  owner_->Attach(this);
}

TableCursor::~TableCursor() { Close(); }

std::string_view TableCursor::ColumnName(int32_t column) const {
  if (column < 0 || column >= int32_t(selected_.size())) return {};
  return selected_[column].name;
}

/* ---- errors ------------------------------------------------------------------- */

void TableCursor::Report(DbStatus status) {
  if (owner_) owner_->SetFileError(status, kErrorDamaged, "Database file damaged");
}

bool TableCursor::Fail(DbStatus status) {
  Report(status);
  tree_.reset();
  onRow_ = false;
  return false;
}

/* ---- moving ---------------------------------------------------------------------- */

bool TableCursor::CurrentRow(Bytes* record) {
  if (!tree_) return false;
  return tree_->Current(record) == DbStatus::kOk;
}

void TableCursor::ParseRow(Bytes record) {
  for (const FieldRef& f : fields_) slot_[f.column] = 0;
  fields_.clear();
  uint32_t offset = kRowFields;
  FieldRef field;
  while (NextField(record, &offset, &field)) {
    fields_.push_back(field);
    slot_[field.column] = uint16_t(fields_.size());
  }
}

const FieldRef* TableCursor::FieldOf(uint8_t column) const {
  return slot_[column] ? &fields_[slot_[column] - 1] : nullptr;
}

bool TableCursor::Next() {
  ReleaseValue();
  onRow_ = false;
  if (!tree_) return false;
  for (;;) {
    const DbStatus moved = started_ ? tree_->Next() : tree_->First();
    started_ = true;
    if (moved != DbStatus::kOk) return Fail(moved);
    if (tree_->atEnd()) {
      tree_.reset();
      return false;
    }
    Bytes record;
    const DbStatus read = tree_->Current(&record);
    if (read != DbStatus::kOk) return Fail(read);
    if (!movedIds_.empty() && movedIds_.count(Get32(record.data() + kRecordId))) continue;
    ParseRow(record);
    bool passes = true;
    const DbStatus tested = filter_.Matches(record, this, &passes);
    if (tested != DbStatus::kOk) return Fail(tested);
    if (passes) {
      onRow_ = true;
      return true;
    }
  }
}

DbStatus TableCursor::ReadLargeValue(uint32_t reference, std::string* out) {
  return ReadBlob(owner_->file(), reference, out);
}

/* ---- values ------------------------------------------------------------------------ */

void TableCursor::ColumnValue(int32_t column, const void** value, uint8_t* type, int32_t* length) {
  *value = nullptr;
  *type = kTypeNull;
  *length = 0;
  Bytes record;
  if (!onRow_ || column < 0 || column >= int32_t(selected_.size()) || !CurrentRow(&record)) return;
  const FieldRef* field = FieldOf(selected_[column].id);
  if (!field) return;
  const uint8_t* payload = record.data() + field->payload;
  switch (field->type) {
    case kTypeSmallInt:
      holding_.i16 = SmallIntOf(record, *field);
      *value = &holding_.i16;
      *length = 2;
      break;
    case kTypeInteger:
      holding_.i32 = IntegerOf(record, *field);
      *value = &holding_.i32;
      *length = 4;
      break;
    case kTypeFloat:
      holding_.f32 = FloatOf(record, *field);
      *value = &holding_.f32;
      *length = 4;
      break;
    case kTypeDouble:
      holding_.f64 = DoubleOf(record, *field);
      *value = &holding_.f64;
      *length = 8;
      break;
    case kTypeBoolean:
      holding_.bytes[0] = payload[0];
      *value = holding_.bytes;
      *length = 1;
      break;
    case kTypeDate: case kTypeTime:
      text_.assign(reinterpret_cast<const char*>(payload), 6);
      *value = text_.data();
      *length = 6;
      break;
    case kTypeText: case kTypeBinary:
      text_.assign(FieldText(record, *field));
      *value = text_.data();
      *length = int32_t(text_.size());
      break;
    default: { /* large values */
      const DbStatus s = ReadBlob(owner_->file(), uint32_t(IntegerOf(record, *field)), &large_);
      if (s != DbStatus::kOk) {
        Report(s);
        return;
      }
      *value = large_.data();
      *length = int32_t(large_.size());
      break;
    }
  }
  *type = field->type;
}

void TableCursor::ReleaseValue() {
  if (large_.capacity() > kKeepLargeBuffer) std::string().swap(large_);
  else large_.clear();
}

int32_t TableCursor::ColumnType(int32_t column) {
  if (column < 0 || column >= int32_t(selected_.size())) return -1;
  Bytes record;
  if (onRow_ && CurrentRow(&record)) {
    if (const FieldRef* field = FieldOf(selected_[column].id)) return field->type;
  }
  return selected_[column].type;
}

bool TableCursor::RowKey(int32_t column, std::string* tableAndColumn, std::string* where) {
  Bytes record;
  if (!onRow_ || column < 0 || column >= int32_t(selected_.size()) || !CurrentRow(&record)) return false;
  *tableAndColumn = table_->name + "!" + selected_[column].name;
  where->clear();
  for (uint8_t id : table_->key.columns) {
    const ColumnInfo* info = nullptr;
    for (const ColumnInfo& c : table_->columns) {
      if (c.id == id) info = &c;
    }
    if (!where->empty()) where->append(" and ");
    where->append(info ? info->name : std::to_string(id));
    where->push_back('=');
    const FieldRef* field = FieldOf(id);
    if (!field) {
      where->append("NULL");
    } else if (IsLargeValueType(field->type)) {
      const DbStatus s = ReadBlob(owner_->file(), uint32_t(IntegerOf(record, *field)), &large_);
      if (s != DbStatus::kOk) {
        Report(s);
        return false;
      }
      AppendQuoted(large_, where);
      if (!CurrentRow(&record)) return false;
    } else if (field->type == kTypeText || field->type == kTypeBinary || field->type == kTypeDate ||
               field->type == kTypeTime) {
      text_.clear();
      AppendFieldText(record, *field, 7, 7, &text_);
      AppendQuoted(text_, where);
    } else {
      AppendFieldText(record, *field, 7, 7, where);
    }
  }
  return true;
}

/* ---- changes -------------------------------------------------------------------------- */

void TableCursor::DeleteBlobs(const std::vector<uint32_t>& references) {
  for (uint32_t reference : references) {
    const DbStatus s = DeleteBlob(owner_->file(), reference);
    if (s != DbStatus::kOk) Report(s);
  }
}

void TableCursor::Delete() {
  Bytes record;
  if (listing_ || !onRow_ || !CurrentRow(&record)) return;
  std::vector<uint32_t> blobs;
  for (const FieldRef& f : fields_) {
    if (IsLargeValueType(f.type)) blobs.push_back(uint32_t(IntegerOf(record, f)));
  }
  const DbStatus s = tree_->MarkDeleted();
  if (s != DbStatus::kOk) return Report(s);
  DeleteBlobs(blobs);
}

/* Builds the updated row in builder_; false when the update is abandoned
** (an error is stored, except for an unreadable date or time). */
bool TableCursor::BuildUpdatedRow(Bytes old, std::span<const PendingEdit> edits, std::vector<uint32_t>* newBlobs) {
  int32_t editOf[256];
  std::fill(std::begin(editOf), std::end(editOf), -1);
  for (size_t e = 0; e < edits.size(); e++) {
    if (edits[e].column < 0 || edits[e].column >= int32_t(selected_.size())) continue;
    int32_t& slot = editOf[selected_[edits[e].column].id];
    if (slot < 0) slot = int32_t(e);
  }
  builder_.Begin(owner_->file()->generation(), Get32(old.data() + kRecordId));
  bool declared[256] = {};
  for (const ColumnInfo& column : table_->columns) {
    declared[column.id] = true;
    const FieldRef* field = FieldOf(column.id);
    if (editOf[column.id] < 0) {
      if (field) builder_.AddField(old, *field);
      continue;
    }
    const PendingEdit& edit = edits[editOf[column.id]];
    if (edit.isNull) {
      if (column.nullable) continue;
      owner_->SetError(kErrorRequest, "NotNull column violation");
      return false;
    }
    if (IsLargeValueType(column.type)) {
      uint32_t reference = 0;
      const DbStatus s = WriteBlob(owner_->file(), edit.value, &reference);
      if (s != DbStatus::kOk) {
        owner_->SetError(kErrorBlobWrite, "Error writing BLOB");
        return false;
      }
      newBlobs->push_back(reference);
      builder_.AddInteger(column.id, column.type, int32_t(reference));
      continue;
    }
    switch (AddValueFromText(&builder_, column.id, column.type, edit.value)) {
      case ValueConversion::kOk: break;
      case ValueConversion::kBadDate: case ValueConversion::kBadTime: return false;
      case ValueConversion::kUnsupported:
        owner_->SetError(kErrorUnsupportedType, "Insert failed: column " + column.name + " has an unsupported type");
        return false;
    }
  }
  /* Fields of columns the schema does not declare are kept as they are. */
  for (const FieldRef& field : fields_) {
    if (!declared[field.column]) builder_.AddField(old, field);
  }
  return true;
}

bool TableCursor::KeyTaken(const std::string& key) {
  if (movedKeys_.count(key)) return true;
  TreeCursor probe(owner_->file(), TreeName::Named(table_->treeName), table_->key);
  bool equal = false;
  const DbStatus s = probe.Seek(key, &equal);
  if (s != DbStatus::kOk) {
    Report(s);
    return true;
  }
  return equal;
}

bool TableCursor::AppendMovedRow(Bytes record) {
  if (!moved_.isOpen() && !moved_.CreateTemporary()) return false;
  uint8_t length[4];
  Put32(length, uint32_t(record.size()));
  if (!moved_.WriteAt(movedBytes_, length, 4) || !moved_.WriteAt(movedBytes_ + 4, record.data(), uint32_t(record.size()))) {
    return false;
  }
  movedBytes_ += 4 + record.size();
  return true;
}

void TableCursor::Update(std::span<const PendingEdit> edits) {
  Bytes old;
  if (listing_ || !onRow_ || edits.empty() || !CurrentRow(&old)) return;
  std::vector<uint32_t> newBlobs;
  if (!BuildUpdatedRow(old, edits, &newBlobs)) return DeleteBlobs(newBlobs);
  const Bytes fresh = builder_.Finish();
  if (fresh.size() > kRecordAreaSize) {
    DeleteBlobs(newBlobs);
    return owner_->SetError(kErrorTooLong, "Insert failed: data too long");
  }
  std::string oldKey, newKey;
  RecordKey(table_->key, old, &oldKey);
  RecordKey(table_->key, fresh, &newKey);
  const bool sameKey = oldKey == newKey;

  std::vector<uint32_t> replaced; /* large values of edited columns */
  for (const PendingEdit& edit : edits) {
    if (edit.column < 0 || edit.column >= int32_t(selected_.size())) continue;
    const FieldRef* field = FieldOf(selected_[edit.column].id);
    if (field && IsLargeValueType(field->type)) replaced.push_back(uint32_t(IntegerOf(old, *field)));
  }

  const uint64_t movedBefore = movedBytes_;
  if (sameKey) {
    const DbStatus s = tree_->PrepareInsert(fresh);
    if (s != DbStatus::kOk) {
      DeleteBlobs(newBlobs);
      return s == DbStatus::kTooLong ? owner_->SetError(kErrorTooLong, "Insert failed: data too long") : Report(s);
    }
  } else {
    if (table_->hasKey() && KeyTaken(newKey)) {
      DeleteBlobs(newBlobs);
      if (owner_->errorCode() == kErrorNone) owner_->SetError(kErrorPrimaryKey, "Insert failed: primary key violation");
      return;
    }
    if (!AppendMovedRow(fresh)) {
      DeleteBlobs(newBlobs);
      return owner_->SetError(kErrorFileAccess, "Unable to access the database file: the temporary file failed");
    }
  }
  const DbStatus deleted = tree_->MarkDeleted();
  if (deleted != DbStatus::kOk) {
    movedBytes_ = movedBefore;
    DeleteBlobs(newBlobs);
    return Report(deleted);
  }
  if (sameKey) {
    const DbStatus s = tree_->Insert(fresh);
    assert(s == DbStatus::kOk && "a prepared insertion cannot fail");
    (void)s;
    Bytes current;
    if (CurrentRow(&current)) ParseRow(current); /* the cursor stands on the new row */
  } else {
    movedKeys_.insert(std::move(newKey));
  }
  DeleteBlobs(replaced);
}

bool TableCursor::InsertMovedRows() {
  if (movedBytes_ == 0) return true;
  DbFile* file = owner_->file();
  TreeCursor inserter(file, TreeName::Named(table_->treeName), table_->key);
  std::string record, key;
  bool ok = true;
  for (uint64_t at = 0; at < movedBytes_ && ok;) {
    uint8_t length[4];
    uint32_t got = 0;
    ok = moved_.ReadAt(at, length, 4, &got) && got == 4;
    if (ok) {
      record.resize(Get32(length));
      ok = moved_.ReadAt(at + 4, record.data(), uint32_t(record.size()), &got) && got == record.size();
    }
    if (!ok) {
      owner_->SetError(kErrorFileAccess, "Unable to access the database file: the temporary file failed");
      break;
    }
    at += 4 + record.size();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(record.data());
    Put24(bytes + kRecordGeneration, file->generation() & kGenerationMask); /* the current transaction's */
    const Bytes row(bytes, record.size());
    RecordKey(table_->key, row, &key);
    bool taken = false;
    DbStatus s = inserter.SeekInsertPosition(key, &taken);
    if (s == DbStatus::kOk) s = inserter.Insert(row);
    if (s != DbStatus::kOk) {
      Report(s);
      ok = false;
      break;
    }
    movedIds_.insert(Get32(bytes + kRecordId));
  }
  movedBytes_ = 0;
  movedKeys_.clear();
  return ok;
}

void TableCursor::DropMovedRows() {
  movedBytes_ = 0;
  movedKeys_.clear();
  movedIds_.clear();
}

void TableCursor::BeforeCommit() { (void)InsertMovedRows(); }

void TableCursor::AfterRollback() { DropMovedRows(); }

void TableCursor::Close() {
  if (!owner_) return;
  (void)InsertMovedRows();
  onRow_ = false;
  tree_.reset();
  moved_.Close();
  owner_->Detach(this);
  owner_ = nullptr;
}

/* ---- field schema --------------------------------------------------------------------------- */

FieldSchemaCursor::FieldSchemaCursor(SingleFileDatabase* owner, std::vector<ColumnInfo> rows)
    : owner_(owner), rows_(std::move(rows)) {
  owner_->Attach(this);
}

FieldSchemaCursor::~FieldSchemaCursor() { Close(); }

std::string_view FieldSchemaCursor::ColumnName(int32_t column) const {
  static const char* const kNames[] = {"ColumnName", "FieldType", "IsPrimary", "NotNull", "Length"};
  return column >= 0 && column < 5 ? kNames[column] : std::string_view();
}

bool FieldSchemaCursor::Next() {
  row_ = next_ < rows_.size() ? &rows_[next_++] : nullptr;
  return row_ != nullptr;
}

void FieldSchemaCursor::ColumnValue(int32_t column, const void** value, uint8_t* type, int32_t* length) {
  *value = nullptr;
  *type = kTypeNull;
  *length = 0;
  if (!row_) return;
  switch (column) {
    case 0:
      *value = row_->name.data();
      *type = kTypeText;
      *length = int32_t(row_->name.size());
      return;
    case 1: holding_.i16 = row_->type; break;
    case 2:
      if (!row_->keyPosition) return;
      holding_.i16 = row_->keyPosition;
      break;
    case 3: holding_.i16 = row_->nullable ? 1 : 0; break;
    default: return; /* Length: never stored */
  }
  *value = &holding_.i16;
  *type = kTypeSmallInt;
  *length = 2;
}

void FieldSchemaCursor::Close() {
  if (!owner_) return;
  rows_.clear();
  row_ = nullptr;
  owner_->Detach(this);
  owner_ = nullptr;
}

} // namespace quendal::db
