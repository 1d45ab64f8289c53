/*
** Helpers shared by the single-file database tests: making a database,
** inserting rows from name/text pairs, and reading a table back as text.
*/
#ifndef QUENDAL_TESTS_DBFILE_TEST_SUPPORT_H
#define QUENDAL_TESTS_DBFILE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/database/single_file_database.h"
#include "runtime/database/table_cursor.h"

namespace quendal::test {

using Row = std::vector<std::string>;
using NameValues = std::vector<std::pair<std::string, std::string>>;

inline std::unique_ptr<db::SingleFileDatabase> CreateDatabase(const std::string& path) {
  db::DbFault fault;
  auto database = db::SingleFileDatabase::Create(path, &fault);
  if (!database) ADD_FAILURE() << "create failed: " << fault.message;
  return database;
}

inline std::unique_ptr<db::SingleFileDatabase> OpenDatabase(const std::string& path,
                                                            db::OpenAccess access = db::OpenAccess::kReadWriteElseReadOnly) {
  db::DbFault fault;
  auto database = db::SingleFileDatabase::Open(path, access, &fault);
  if (!database) ADD_FAILURE() << "open failed: " << fault.message;
  return database;
}

inline void Insert(db::SingleFileDatabase* database, const std::string& table, const NameValues& values) {
  std::vector<db::RecordEntry> entries;
  for (const auto& [name, value] : values) entries.push_back({name, value, db::kTypeText});
  database->InsertRecord(table, entries);
}

/* A value as text, tagged by its type code: "3:42", "5:abc", "8:2007-3-1",
** "0:" for null. */
inline std::string ValueText(db::DbCursor* cursor, int32_t column) {
  const void* value = nullptr;
  uint8_t type = 0;
  int32_t length = 0;
  cursor->ColumnValue(column, &value, &type, &length);
  std::string text = std::to_string(type) + ":";
  const auto* p = static_cast<const uint8_t*>(value);
  switch (type) {
    case 0: break;
    case 2: text += std::to_string(*static_cast<const int16_t*>(value)); break;
    case 3: text += std::to_string(*static_cast<const int32_t*>(value)); break;
    case 6: text += std::to_string(*static_cast<const float*>(value)); break;
    case 7: text += std::to_string(*static_cast<const double*>(value)); break;
    case 8: case 9:
      text += std::to_string(p[0] << 8 | p[1]) + "-" + std::to_string(p[2] << 8 | p[3]) + "-" +
              std::to_string(p[4] << 8 | p[5]);
      break;
    case 12: text += p[0] ? "true" : "false"; break;
    default: text.append(static_cast<const char*>(value), size_t(length)); break;
  }
  cursor->ReleaseValue();
  return text;
}

/* Every row a cursor gives, every column as ValueText. */
inline std::vector<Row> ReadRows(db::DbCursor* cursor) {
  std::vector<Row> rows;
  while (cursor->Next()) {
    Row row;
    for (int32_t c = 0; c < cursor->ColumnCount(); c++) row.push_back(ValueText(cursor, c));
    rows.push_back(std::move(row));
  }
  return rows;
}

inline std::vector<Row> ReadTable(db::SingleFileDatabase* database, const std::string& table,
                                  const db::SqlCondition* filter = nullptr) {
  const std::string_view all[] = {"*"};
  auto cursor = database->OpenTableCursor(table, all, filter);
  if (!cursor) {
    ADD_FAILURE() << "no cursor for " << table;
    return {};
  }
  return ReadRows(cursor.get());
}

inline std::vector<db::ColumnDefinition> Columns(std::initializer_list<std::pair<const char*, int32_t>> list,
                                                 bool nullable = true) {
  std::vector<db::ColumnDefinition> columns;
  for (const auto& [name, type] : list) columns.push_back({name, type, nullable});
  return columns;
}

} // namespace quendal::test

#endif
