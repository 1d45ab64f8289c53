/*
** The RecordSets of SELECT results: a join result that reads its tables as
** it moves, and a result held in memory.  See sql_select.h for what each
** offers.
**
** Both are engine cursors behind a RecordSet (ORVAdbCursorFromDBCursor):
** the RecordSet's first MoveNext brings them to their first row, and
** curClose deletes them.  Values are handed out as curColumnValue hands
** them out; a join result forwards to the cursor of the owning table, so
** the value stays valid until its curReleaseValue.
*/
#include <algorithm>
#include <cassert>
#include <map>

#include "runtime/database/database_internal.h"
#include "runtime/database/sql_select.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

namespace {

ORVAstring NewText(const std::string& text) { return StringCreate(text, kEncodingUTF8); }

/* ---- the join result -------------------------------------------------------------- */

class JoinResult {
 public:
  JoinResult(DatabaseObject* database, std::unique_ptr<SelectPlan> plan)
      : database_(ObjectRef::Borrow(&database->header)), plan_(std::move(plan)), scan_(database, &plan_->source) {}

  int32_t ColumnCount() const { return plan_->visible; }
  const std::string& ColumnName(int32_t column) const { return plan_->columns[size_t(column)].name; }
  bool Valid(int32_t column) const { return column >= 0 && column < plan_->visible; }
  bool OnRow() const { return !eof_ && !bof_; }

  bool Next() {
    bof_ = false;
    eof_ = !scan_.Next();
    if (!eof_) read_++;
    return !eof_;
  }

  /* Runs the query again and stands on row `index` (0-based): BOF before
  ** the first, EOF past the last. */
  void MoveTo(int64_t index) {
    scan_.Restart();
    read_ = 0;
    if (index < 0) {
      eof_ = false;
      bof_ = true;
      return;
    }
    while (Next() && read_ <= index) {
    }
  }

  void First() { MoveTo(0); }
  void Previous() { MoveTo((eof_ ? read_ : read_ - 1) - 1); }
  void Last() {
    scan_.Restart();
    int64_t count = 0;
    while (scan_.Next()) count++;
    if (scan_.failed()) {
      eof_ = true;
      bof_ = false;
      return;
    }
    MoveTo(count - 1);
    if (count == 0) eof_ = true; /* no row: EOF and BOF */
  }

  bool IsBOF() const { return bof_ || (eof_ && read_ == 0); }
  bool IsEOF() const { return eof_; }

  void ColumnValue(int32_t column, void** value, uint8_t* type, int32_t* length) {
    *value = nullptr;
    *type = 0;
    *length = 0;
    if (!Valid(column) || !OnRow()) return;
    const TableColumn& source = plan_->columns[size_t(column)].source;
    const ValueRef v = scan_.ReadValue(source);
    valueTable_ = source.table;
    *value = const_cast<void*>(v.data);
    *type = v.type;
    *length = v.length;
  }

  void ReleaseValue() {
    if (valueTable_ >= 0) scan_.ReleaseValue(valueTable_);
    valueTable_ = -1;
  }

  int32_t ColumnType(int32_t column) {
    if (!Valid(column)) return -1;
    const TableColumn& source = plan_->columns[size_t(column)].source;
    RecordSetObject* set = scan_.Cursor(source.table);
    const int32_t cursorColumn = scan_.CursorColumn(source);
    if (OnRow() && RecordSetIsOpen(set) && set->cursor->curColumnType && cursorColumn >= 0) {
      return set->cursor->curColumnType(set->cursorHandle, cursorColumn);
    }
    return plan_->source.tables()[size_t(source.table)].types[size_t(source.column)];
  }

  void Delete() {
    if (!OnRow()) return;
    if (plan_->source.tables().size() != 1) {
      SetDatabaseError(reinterpret_cast<DatabaseObject*>(database_.get()), 201,
                       "DeleteRecord is not supported on a result that joins tables");
      return;
    }
    cursorDeleteRecord(scan_.Cursor(0));
  }

  /* Each table's cursor gets the edits of its own columns. */
  void Update(ORVAPendingEdit* edits) {
    if (!OnRow()) return;
    std::map<int32_t, std::vector<ORVAPendingEdit>> byTable;
    for (ORVAPendingEdit* edit = edits; edit; edit = edit->next) {
      if (!Valid(edit->column)) continue;
      const TableColumn& source = plan_->columns[size_t(edit->column)].source;
      const int32_t cursorColumn = scan_.CursorColumn(source);
      if (cursorColumn >= 0) byTable[source.table].push_back(ORVAPendingEdit{nullptr, cursorColumn, edit->value});
    }
    for (auto& [table, list] : byTable) {
      for (size_t i = 0; i + 1 < list.size(); i++) list[i].next = &list[i + 1];
      RecordSetObject* set = scan_.Cursor(table);
      if (RecordSetIsOpen(set) && set->cursor->curUpdate) set->cursor->curUpdate(set->cursorHandle, list.data());
    }
  }

  bool RowKey(int32_t column, const char** tableColumn, int32_t* tableColumnLength, const char** where,
              int32_t* whereLength) {
    if (!Valid(column) || !OnRow()) return false;
    const TableColumn& source = plan_->columns[size_t(column)].source;
    RecordSetObject* set = scan_.Cursor(source.table);
    const int32_t cursorColumn = scan_.CursorColumn(source);
    if (!RecordSetIsOpen(set) || !set->cursor->curRowKey || cursorColumn < 0) return false;
    return set->cursor->curRowKey(set->cursorHandle, cursorColumn, tableColumn, tableColumnLength, where, whereLength);
  }

 private:
  ObjectRef database_;
  std::unique_ptr<SelectPlan> plan_;
  JoinScan scan_; /* after plan_: it reads plan_->source */
  int64_t read_ = 0; /* rows reached since the query last ran */
  bool eof_ = false;
  bool bof_ = false;
  int32_t valueTable_ = -1;
};

JoinResult* J(void* handle) { return static_cast<JoinResult*>(handle); }

CursorDefinition kJoinResultDefinition = {
    4,
    0,
    [](void* h) { delete J(h); },
    [](void* h) { return J(h)->ColumnCount(); },
    [](void* h, int32_t column) -> ORVAstring {
      return J(h)->Valid(column) ? NewText(J(h)->ColumnName(column)) : nullptr;
    },
    nullptr, /* curRowCount: unknown until read */
    [](void* h, int32_t column, void** value, uint8_t* type, int32_t* length) {
      J(h)->ColumnValue(column, value, type, length);
    },
    [](void* h) { J(h)->ReleaseValue(); },
    [](void* h) { return J(h)->Next(); },
    [](void* h) { J(h)->Delete(); },
    nullptr,
    [](void* h, int32_t column, const char** tableColumn, int32_t* tableColumnLength, const char** where,
       int32_t* whereLength) { return J(h)->RowKey(column, tableColumn, tableColumnLength, where, whereLength); },
    [](void* h, ORVAPendingEdit* edits) { J(h)->Update(edits); },
    nullptr, /* curEdit */
    [](void* h) { J(h)->Previous(); },
    [](void* h) { J(h)->First(); },
    [](void* h) { J(h)->Last(); },
    [](void* h, int32_t column) { return J(h)->ColumnType(column); },
    [](void* h) { return J(h)->IsBOF(); },
    [](void* h) { return J(h)->IsEOF(); },
};

/* ---- the result in memory ----------------------------------------------------------------- */

class MemoryResult {
 public:
  MemoryResult(std::vector<std::string> names, std::vector<MemoryRow> rows)
      : names_(std::move(names)), rows_(std::move(rows)) {}

  int32_t ColumnCount() const { return int32_t(names_.size()); }
  bool Valid(int32_t column) const { return column >= 0 && column < ColumnCount(); }
  const std::string& ColumnName(int32_t column) const { return names_[size_t(column)]; }
  int32_t RowCount() const { return int32_t(std::min<size_t>(rows_.size(), INT32_MAX)); }
  bool OnRow() const { return index_ >= 0 && index_ < int64_t(rows_.size()); }

  bool Next() {
    if (index_ < int64_t(rows_.size())) index_++;
    return OnRow();
  }
  void First() { index_ = 0; }
  void Last() { index_ = int64_t(rows_.size()) - 1; }
  void Previous() {
    if (index_ >= 0) index_--;
  }
  bool IsBOF() const { return index_ < 0 || rows_.empty(); }
  bool IsEOF() const { return index_ >= int64_t(rows_.size()) || rows_.empty(); }

  ValueRef Value(int32_t column) const {
    return Valid(column) && OnRow() ? rows_[size_t(index_)].Value(size_t(column)) : ValueRef{};
  }

 private:
  std::vector<std::string> names_;
  std::vector<MemoryRow> rows_;
  int64_t index_ = -1;
};

MemoryResult* M(void* handle) { return static_cast<MemoryResult*>(handle); }

CursorDefinition kMemoryResultDefinition = {
    4,
    0,
    [](void* h) { delete M(h); },
    [](void* h) { return M(h)->ColumnCount(); },
    [](void* h, int32_t column) -> ORVAstring {
      return M(h)->Valid(column) ? NewText(M(h)->ColumnName(column)) : nullptr;
    },
    [](void* h) { return M(h)->RowCount(); },
    [](void* h, int32_t column, void** value, uint8_t* type, int32_t* length) {
      const ValueRef v = M(h)->Value(column);
      *value = const_cast<void*>(v.data);
      *type = v.type;
      *length = v.length;
    },
    [](void*) {},
    [](void* h) { return M(h)->Next(); },
    nullptr, /* read-only: no curDelete, curRowKey or curUpdate */
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    [](void* h) { M(h)->Previous(); },
    [](void* h) { M(h)->First(); },
    [](void* h) { M(h)->Last(); },
    [](void* h, int32_t column) { return M(h)->Valid(column) ? int32_t(M(h)->Value(column).type) : -1; },
    [](void* h) { return M(h)->IsBOF(); },
    [](void* h) { return M(h)->IsEOF(); },
};

/* Wraps an engine cursor into a RecordSet; the cursor is deleted when no
** RecordSet could be made. */
template <typename Cursor>
ObjectHeader* Wrap(std::unique_ptr<Cursor> cursor, CursorDefinition* definition) {
  ObjectHeader* set = ORVAdbCursorFromDBCursor(cursor.get(), definition);
  if (set) (void)cursor.release();
  return set;
}

} // namespace

ObjectHeader* NewJoinResult(DatabaseObject* database, std::unique_ptr<SelectPlan> plan) {
  return Wrap(std::make_unique<JoinResult>(database, std::move(plan)), &kJoinResultDefinition);
}

ObjectHeader* NewMemoryResult(std::vector<std::string> names, std::vector<MemoryRow> rows) {
  return Wrap(std::make_unique<MemoryResult>(std::move(names), std::move(rows)), &kMemoryResultDefinition);
}

} // namespace quendal::db
