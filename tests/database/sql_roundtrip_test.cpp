/*
** 200 000 rows through the database interface: every column type, large
** values above 100 KB, one table written with INSERT statements through
** the SQL layer and one with DatabaseRecord and InsertRecord, keys in
** scrambled order; closed, opened again and read back through SQLSelect
** identical, the file whole.
*/
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "runtime/database/database_check.h"
#include "runtime/database/database_values.h"
#include "tests/database/sql_test_support.h"

namespace {

using namespace quendal;
using namespace quendal::test;

std::string Pad2(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

/* Row i of Obs as StringValue reads it back ("" for null). */
TextRow ObsRow(int i) {
  const std::string large = i % 30000 == 7 ? std::string(120 * 1024 + i % 97, "ab'c"[i % 4]) : "";
  return {std::to_string(i),
          std::to_string(i % 60000 - 30000),
          FormatGeneralNumber((i % 1000) * 0.25, 7),
          FormatGeneralNumber(i / 8.0, 10),
          i % 11 == 0 ? "" : (i % 7 ? "row-" : "it's-") + std::to_string(i),
          std::to_string(1900 + i % 200) + "-" + Pad2(i % 12 + 1) + "-" + Pad2(i % 28 + 1),
          Pad2(i % 24) + ":" + Pad2(i % 60) + ":" + Pad2(i * 7 % 60),
          i % 2 ? "true" : "false",
          large};
}

std::string ObsInsert(int i, const TextRow& row) {
  std::string names = "id, s, f, d, dt, tm, b", values = row[0] + ", " + row[1] + ", " + row[2] + ", " + row[3] +
                                                          ", '" + row[5] + "', '" + row[6] + "', " + Quoted(row[7]);
  if (!row[4].empty()) names += ", t", values += ", " + Quoted(row[4]);
  if (!row[8].empty()) names += ", lt", values += ", " + Quoted(row[8]);
  if (i % 13 == 0) names += ", lt", values += ", NULL";
  return "insert into Obs (" + names + ") values (" + values + ")";
}

/* Row i of Notes: binary bytes of every value, a large one now and then. */
TextRow NotesRow(int i) {
  std::string data(size_t(i % 40), '\0');
  for (size_t k = 0; k < data.size(); k++) data[k] = char((i + k * 37) & 0xFF);
  if (i % 10000 == 3) data.assign(150 * 1024, char(i & 0xFF));
  return {std::to_string(i), "note " + std::to_string(i), data, std::to_string(i) + ".5"};
}

TEST(SqlRoundTrip, TwoHundredThousandRowsComeBackIdentical) {
  StartDatabaseLayer();
  SqlDatabase db;
  db.ExecAll({"create table Obs (id integer not null, s smallint, f float, d double, t varchar(40), dt date, "
              "tm time, b boolean, lt long varchar, primary key (id))",
              "create table Notes (id integer, body long varchar, data long varbinary, n double, primary key (id))"});
  constexpr int kObs = 150000, kNotes = 50000;
  std::vector<int> order(kObs);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  for (size_t k = 0; k < order.size(); k++) {
    const int i = order[k];
    ASSERT_EQ(db.Exec(ObsInsert(i, ObsRow(i))), 0) << i << ": " << db.ErrorMessage();
    if (k % 50000 == 49999) db.ExecAll({"commit"});
  }
  for (int n = 0; n < kNotes; n++) {
    const int i = (n * 7919) % kNotes; /* scrambled, every id once */
    const TextRow row = NotesRow(i);
    ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
    auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
    setDatabaseRecordIntegerColumn(r, S("id").get(), i);
    setDatabaseRecordColumn(r, S("body").get(), S(row[1]).get());
    StringRef data(StringCreate(row[2], kEncodingUnknown));
    SetDatabaseRecordBlobColumn(r, S("data").get(), data.get());
    setDatabaseRecordDoubleColumn(r, S("n").get(), i + 0.5);
    databaseInsertRecord(db.get(), S("Notes").get(), r);
    ASSERT_EQ(db.ErrorCode(), 0) << i << ": " << db.ErrorMessage();
  }
  db.Reopen();

  auto readBack = [&](const std::string& table, int count, TextRow (*expected)(int)) {
    ObjectRef set = db.Select("select * from " + table);
    ASSERT_TRUE(set) << db.Error();
    int i = 0;
    for (; !cursorEOFGetter(AsSet(set)); i++, cursorMoveNext(AsSet(set))) {
      const TextRow got = CurrentRow(AsSet(set));
      if (got != expected(i)) {
        ADD_FAILURE() << table << " row " << i << " differs";
        return;
      }
    }
    EXPECT_EQ(i, count);
    EXPECT_EQ(db.ErrorCode(), 0);
  };
  readBack("Obs", kObs, &ObsRow);
  readBack("Notes", kNotes, &NotesRow);
  EXPECT_EQ(db.Query("select count(*), max(id) from Obs where lt is not null"),
            (std::vector<TextRow>{{"5", "120007"}}));
  databaseClose(db.get());
  const db::CheckReport report = db::CheckDatabaseFile(db.path());
  EXPECT_TRUE(report.ok) << report.message;
  EXPECT_EQ(report.rows, uint64_t(kObs + kNotes));
}

} // namespace
