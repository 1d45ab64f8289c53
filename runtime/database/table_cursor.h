/*
** Cursors of the single-file engine: what a RecordSet reads through.
**
** DbCursor is what every cursor of the engine answers (the slots curClose,
** curColumnCount, curColumnName, curColumnValue, curReleaseValue,
** curNext).  A cursor starts before its first row: the first Next moves
** to it.  Columns are numbered from 0.
**
** ColumnValue hands out a value exactly as curColumnValue does: the type
** code (0 when the row has no value for the column), a pointer and a
** length.  Integers, floats and doubles are converted to machine order in
** a holding area; texts and inline binaries are copied to a buffer; dates
** and times are the three u16 big-endian as stored; a boolean is its byte;
** a large value (15, 16) is read from "sys$blob".  The pointer is valid
** until ReleaseValue or the next call on the cursor; buffers are reused
** from row to row, and a large buffer is freed by ReleaseValue.
**
** TableCursor (also behind TableSchema) adds curDelete, curRowKey,
** curUpdate and curColumnType.  It scans its table once, forward, in key
** order, skipping rows that fail its filter.  An update whose new row has
** the key of the old one puts it in the old one's place; a row whose key
** changed goes to the cursor's unnamed temporary file and enters the
** table when the cursor closes (or at the next commit), so that the scan
** never meets it again; a rollback drops it together with the rest of the
** transaction.  The TableSchema cursor is a listing: it deletes and updates
** nothing.
**
** FieldSchemaCursor lists a table's columns in column id order (the order
** of declaration): "ColumnName" (5), "FieldType" (2), "IsPrimary" (2, the
** key position, null for other columns), "NotNull" (2, the stored nullable
** flag: 1 for a column declared without NOT NULL), "Length" (3, always
** null).
**
** Errors (a damaged page, a large value that cannot be read) are stored in
** the database's error code and message; the cursor then stops, so a scan
** that ends early because of damage always leaves an error behind.
*/
#ifndef QUENDAL_DATABASE_TABLE_CURSOR_H
#define QUENDAL_DATABASE_TABLE_CURSOR_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "runtime/database/single_file_database.h"
#include "runtime/database/sql_condition.h"
#include "runtime/database/storage_file.h"
#include "runtime/database/tree_cursor.h"

namespace quendal::db {

class DbCursor {
 public:
  virtual ~DbCursor() = default;
  virtual int32_t ColumnCount() const = 0;
  /* Empty for a column out of range. */
  virtual std::string_view ColumnName(int32_t column) const = 0;
  virtual void ColumnValue(int32_t column, const void** value, uint8_t* type, int32_t* length) = 0;
  virtual void ReleaseValue() = 0;
  /* True when a row was reached. */
  virtual bool Next() = 0;
  /* Finishes the cursor; afterwards it answers nothing. */
  virtual void Close() = 0;

 private:
  friend class SingleFileDatabase;
  /* Told by the database before it commits and after it rolls back. */
  virtual void BeforeCommit() {}
  virtual void AfterRollback() {}

 protected:
  /* Holding area of converted numbers. */
  union Holding {
    int16_t i16;
    int32_t i32;
    float f32;
    double f64;
    uint8_t bytes[8];
  };
};

/* One pending edit of a row: the selected column and its new text, or
** SQL NULL. */
struct PendingEdit {
  int32_t column;
  bool isNull;
  std::string_view value;
};

class TableCursor final : public DbCursor, private LargeValueReader {
 public:
  ~TableCursor() override;

  int32_t ColumnCount() const override { return int32_t(selected_.size()); }
  std::string_view ColumnName(int32_t column) const override;
  void ColumnValue(int32_t column, const void** value, uint8_t* type, int32_t* length) override;
  void ReleaseValue() override;
  bool Next() override;
  void Close() override;

  /* curDelete: marks the current row (and its large values) deleted. */
  void Delete();
  /* curUpdate: edits newest first; a later edit of the same column is
  ** ignored. */
  void Update(std::span<const PendingEdit> edits);
  /* curRowKey: table + "!" + column name, and the WHERE text of the current
  ** row.  False when the cursor stands on no row or the column is unknown. */
  bool RowKey(int32_t column, std::string* tableAndColumn, std::string* where);
  /* curColumnType: the type code of the column's value in the current row,
  ** the declared type when the row has none, -1 out of range. */
  int32_t ColumnType(int32_t column);

 private:
  friend class SingleFileDatabase;
  struct Selected {
    std::string name; /* as asked for ("*" gives the table's names) */
    uint8_t id;
    uint8_t type;
  };

  TableCursor(SingleFileDatabase* owner, std::shared_ptr<const TableInfo> table, bool listing);
  void BeforeCommit() override;
  void AfterRollback() override;
  DbStatus ReadLargeValue(uint32_t reference, std::string* out) override;
  bool CurrentRow(Bytes* record);
  void ParseRow(Bytes record);
  const FieldRef* FieldOf(uint8_t column) const;
  /* Stores the error of a failed call; Fail also ends the scan. */
  void Report(DbStatus status);
  bool Fail(DbStatus status);
  bool BuildUpdatedRow(Bytes old, std::span<const PendingEdit> edits, std::vector<uint32_t>* newBlobs);
  bool KeyTaken(const std::string& key);
  void DeleteBlobs(const std::vector<uint32_t>& references);
  bool AppendMovedRow(Bytes record);
  /* Inserts the rows moved by updates (false when one failed). */
  bool InsertMovedRows();
  void DropMovedRows();
  void Finish();

  SingleFileDatabase* owner_;
  std::shared_ptr<const TableInfo> table_;
  bool listing_;
  std::vector<Selected> selected_;
  RowFilter filter_;
  std::unique_ptr<TreeCursor> tree_;
  bool started_ = false;
  bool onRow_ = false;
  /* fields of the current row, and where each column's field is */
  std::vector<FieldRef> fields_;
  uint16_t slot_[256] = {};
  Holding holding_{};
  std::string text_;
  std::string large_;
  RowBuilder builder_;
  std::string keyScratch_;
  /* rows moved by updates */
  StorageFile moved_;
  uint64_t movedBytes_ = 0;
  std::unordered_set<std::string> movedKeys_;
  std::unordered_set<uint32_t> movedIds_; /* already inserted: skipped by the scan */
};

class FieldSchemaCursor final : public DbCursor {
 public:
  ~FieldSchemaCursor() override;
  int32_t ColumnCount() const override { return 5; }
  std::string_view ColumnName(int32_t column) const override;
  void ColumnValue(int32_t column, const void** value, uint8_t* type, int32_t* length) override;
  void ReleaseValue() override {}
  bool Next() override;
  void Close() override;

 private:
  friend class SingleFileDatabase;
  FieldSchemaCursor(SingleFileDatabase* owner, std::vector<ColumnInfo> rows);

  SingleFileDatabase* owner_;
  std::vector<ColumnInfo> rows_;
  size_t next_ = 0;
  const ColumnInfo* row_ = nullptr;
  Holding holding_{};
};

} // namespace quendal::db

#endif
