/*
** A plan document's worth of data through the single-file engine: 200 000
** rows over four tables with every column type, large values above 100 KB,
** inserted in scrambled order with commits along the way, closed, opened
** again and read back identical.  The biggest table grows to three levels,
** so leaf, interior and root splits all happen.
*/
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "runtime/database/database_check.h"
#include "runtime/database/tree_cursor.h"
#include "tests/database/dbfile_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal::db;
using quendal::test::NameValues;
using quendal::test::Row;

struct Table {
  const char* name;
  std::vector<ColumnDefinition> columns;
  std::vector<uint8_t> key;
  int rows;
};

std::string Pad2(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

/* Row i of a table: what is inserted, and what reading it gives back. */
void MakeRow(const std::string& table, int i, NameValues* in, Row* out) {
  in->clear();
  out->clear();
  auto put = [&](const char* name, const std::string& text, const std::string& back) {
    if (!text.empty() || back != "0:") in->emplace_back(name, text);
    out->push_back(back);
  };
  if (table == "Observations") {
    const int date = i % 3650;
    put("id", std::to_string(i), "3:" + std::to_string(i));
    put("Site", "Site " + std::to_string(i % 97), "5:Site " + std::to_string(i % 97));
    put("Seeing", std::to_string(i % 11 - 5), "2:" + std::to_string(i % 11 - 5));
    put("Mag", std::to_string((i % 200) / 8.0 - 5), "6:" + std::to_string(float((i % 200) / 8.0 - 5)));
    put("RA", std::to_string(i * 0.25), "7:" + std::to_string(i * 0.25));
    const std::string day = std::to_string(2000 + date / 365) + "-" + Pad2(1 + date % 12) + "-" + Pad2(1 + date % 28);
    put("Date", day, "8:" + std::to_string(2000 + date / 365) + "-" + std::to_string(1 + date % 12) + "-" +
                         std::to_string(1 + date % 28));
    put("Time", std::to_string(i % 24) + ":" + std::to_string(i % 60), "9:" + std::to_string(i % 24) + "-" +
                                                                          std::to_string(i % 60) + "-0");
    put("Done", i % 3 ? "true" : "false", i % 3 ? "12:true" : "12:false");
    const std::string notes = i % 7 == 0 ? "Notes on observation " + std::to_string(i) : "";
    put("Notes", notes, notes.empty() ? "0:" : "15:" + notes);
    std::string image;
    if (i % 10000 == 5) {
      image.resize(100000 + size_t(i % 7) * 30000);
      for (size_t b = 0; b < image.size(); b++) image[b] = char((b * 31 + size_t(i)) % 256);
    }
    put("Image", image, image.empty() ? "0:" : "16:" + image);
  } else if (table == "Sites") {
    const std::string name = "Site " + std::to_string((i * 7919) % 30011) + (i % 2 ? "a" : "B");
    put("Name", name, "5:" + name);
    put("Lat", std::to_string(i % 180 - 90), "7:" + std::to_string(double(i % 180 - 90)));
    put("Elevation", i % 5 ? std::to_string(i % 4000) : "", i % 5 ? "3:" + std::to_string(i % 4000) : "0:");
  } else if (table == "Elements") {
    put("Designation", "C/" + std::to_string(i / 3), "5:C/" + std::to_string(i / 3));
    put("Part", std::to_string(i % 3), "2:" + std::to_string(i % 3));
    put("Value", std::to_string(i / 4.0), "7:" + std::to_string(i / 4.0));
  } else {
    put("Entry", "log entry " + std::to_string(i), "5:log entry " + std::to_string(i));
    put("Stamp", std::to_string(1000000 + i), "3:" + std::to_string(1000000 + i));
  }
}

int TreeDepth(SingleFileDatabase* db, const std::string& table) {
  uint32_t page = 0;
  EXPECT_EQ(db->file()->RootOf(TreeName::Named(db->FindTable(table)->treeName), &page), DbStatus::kOk);
  for (int depth = 1;; depth++) {
    PageRef ref;
    EXPECT_EQ(db->file()->Fetch(page, &ref), DbStatus::kOk);
    if (ref.type() != kPageInterior) return depth;
    page = Get32(ref.records() + kInteriorChild);
  }
}

TEST(DbRoundTrip, TwoHundredThousandRowsComeBackIdentical) {
  const std::vector<Table> tables = {
      {"Observations",
       {{"id", kTypeInteger, false}, {"Site", kTypeText, true}, {"Seeing", kTypeSmallInt, true},
        {"Mag", kTypeFloat, true}, {"RA", kTypeDouble, true}, {"Date", kTypeDate, true}, {"Time", kTypeTime, true},
        {"Done", kTypeBoolean, true}, {"Notes", kTypeLongText, true}, {"Image", kTypeLongBinary, true}},
       {0},
       120000},
      {"Sites", {{"Name", kTypeText, false}, {"Lat", kTypeDouble, true}, {"Elevation", kTypeInteger, true}}, {0}, 30000},
      {"Elements", {{"Designation", kTypeText, false}, {"Part", kTypeSmallInt, false}, {"Value", kTypeDouble, true}},
       {0, 1}, 30000},
      {"Log", {{"Entry", kTypeText, true}, {"Stamp", kTypeInteger, true}}, {}, 20000},
  };
  quendal::test::TempDir dir;
  const std::string path = dir.File("plan.apd");
  auto db = quendal::test::CreateDatabase(path);
  for (const Table& t : tables) db->CreateTable(t.name, t.columns, t.key);

  /* All rows of all tables, in one scrambled order. */
  std::vector<std::pair<int, int>> order; /* table, row */
  for (int t = 0; t < int(tables.size()); t++) {
    for (int i = 0; i < tables[t].rows; i++) order.emplace_back(t, i);
  }
  std::shuffle(order.begin(), order.end(), std::mt19937(2024));
  NameValues in;
  Row out;
  for (size_t n = 0; n < order.size(); n++) {
    MakeRow(tables[order[n].first].name, order[n].second, &in, &out);
    quendal::test::Insert(db.get(), tables[order[n].first].name, in);
    ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();
    if (n % 25000 == 24999) db->Commit();
  }
  db->Close();
  ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();

  db = quendal::test::OpenDatabase(path, OpenAccess::kReadOnly);
  EXPECT_GE(TreeDepth(db.get(), "Observations"), 3);
  for (const Table& t : tables) {
    std::vector<Row> expected(size_t(t.rows));
    for (int i = 0; i < t.rows; i++) MakeRow(t.name, i, &in, &expected[size_t(i)]);
    std::vector<Row> rows = quendal::test::ReadTable(db.get(), t.name);
    ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();
    if (std::string(t.name) == "Observations") {
      EXPECT_EQ(rows, expected) << "rows come in key order";
    } else {
      std::sort(rows.begin(), rows.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(rows, expected) << t.name;
    }
  }
  db->Close();
  const CheckReport report = CheckDatabaseFile(path);
  EXPECT_TRUE(report.ok) << report.message;
  EXPECT_EQ(report.rows, 200000u);
}

} // namespace
