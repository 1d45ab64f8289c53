/*
** Helpers of the tests that reach the single-file engine through the
** database interface: a Database of a new file, statements and queries
** through SQLExecute and SQLSelect, and RecordSets read back as text.
*/
#ifndef QUENDAL_TESTS_SQL_TEST_SUPPORT_H
#define QUENDAL_TESTS_SQL_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/database/database_interface.h"
#include "runtime/database/database_startup.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/files/files_startup.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal::test {

using TextRow = std::vector<std::string>;

inline void StartDatabaseLayer() {
  InitializeFilesLayer();
  InitializeDatabaseLayer();
}

inline std::string Text(ORVAstring owned) {
  StringRef s(owned);
  return std::string(StringView(s.get()));
}

inline StringRef S(const std::string& text) { return StringRef(StringCreate(text, kEncodingUTF8)); }

inline DatabaseObject* AsDatabase(const ObjectRef& object) { return reinterpret_cast<DatabaseObject*>(object.get()); }
inline RecordSetObject* AsSet(const ObjectRef& object) { return reinterpret_cast<RecordSetObject*>(object.get()); }

/* A connected Database of a new file in a temporary folder. */
class SqlDatabase {
 public:
  SqlDatabase() : path_(folder_.File("test.db")) { Open(true); }

  void Open(bool create) {
    db::DbFault fault;
    auto engine = create ? db::SingleFileDatabase::Create(path_, &fault)
                         : db::SingleFileDatabase::Open(path_, db::OpenAccess::kReadWriteElseReadOnly, &fault);
    if (!engine) ADD_FAILURE() << fault.message;
    database_ = ObjectRef(db::WrapSingleFileDatabase(std::move(engine)));
  }
  /* Closes the Database and opens the file again. */
  void Reopen() {
    databaseClose(get());
    database_ = ObjectRef();
    Open(false);
  }

  DatabaseObject* get() const { return AsDatabase(database_); }
  const std::string& path() const { return path_; }

  /* Runs a statement; the error code afterwards (0 when none). */
  int32_t Exec(const std::string& sql) {
    databaseSQLExecute(get(), S(sql).get());
    return databaseErrorCodeGetter(get());
  }
  /* Runs statements, failing the test on the first error. */
  void ExecAll(std::initializer_list<std::string> statements) {
    for (const std::string& sql : statements) EXPECT_EQ(Exec(sql), 0) << sql << ": " << ErrorMessage();
  }
  ObjectRef Select(const std::string& sql) { return ObjectRef(databaseSQLSelect(get(), S(sql).get())); }
  /* Every row of a query, every column as StringValue; "<nil>" when the
  ** query gives no RecordSet. */
  std::vector<TextRow> Query(const std::string& sql);

  int32_t ErrorCode() { return databaseErrorCodeGetter(get()); }
  std::string ErrorMessage() { return Text(databaseErrorStringGetter(get())); }
  /* "code message" of the last error. */
  std::string Error() { return std::to_string(ErrorCode()) + " " + ErrorMessage(); }

 private:
  TempDir folder_;
  std::string path_;
  ObjectRef database_;
};

/* The current row of a set, every column as StringValue. */
inline TextRow CurrentRow(RecordSetObject* set) {
  TextRow row;
  for (int32_t i = 1; i <= cursorFieldCount(set); i++) {
    ObjectRef field(cursorGetFieldByIndex(set, i));
    row.push_back(Text(cursorFieldStringValueGetter(reinterpret_cast<DatabaseFieldObject*>(field.get()))));
  }
  return row;
}

inline std::vector<TextRow> ReadAll(RecordSetObject* set) {
  std::vector<TextRow> rows;
  while (!cursorEOFGetter(set)) {
    rows.push_back(CurrentRow(set));
    cursorMoveNext(set);
  }
  return rows;
}

inline std::vector<TextRow> SqlDatabase::Query(const std::string& sql) {
  ObjectRef set = Select(sql);
  if (!set) return {{"<nil>"}};
  return ReadAll(AsSet(set));
}

inline std::vector<std::string> ColumnNames(RecordSetObject* set) {
  std::vector<std::string> names;
  for (int32_t i = 1; i <= cursorFieldCount(set); i++) {
    ObjectRef field(cursorGetFieldByIndex(set, i));
    names.push_back(Text(cursorFieldNameGetter(reinterpret_cast<DatabaseFieldObject*>(field.get()))));
  }
  return names;
}

} // namespace quendal::test

#endif
