/*
** The single-file engine's tables: schema changes and their error codes,
** inserts with conversions, cursors and their values, updates, deletes,
** row filters, row keys, transactions, and what a closed or read-only
** database does.
*/
#include <gtest/gtest.h>

#include "runtime/database/blob_store.h"
#include "runtime/database/sql_condition.h"
#include "runtime/database/tree_cursor.h"
#include "tests/database/dbfile_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal::db;
using quendal::test::Columns;
using quendal::test::Insert;
using quendal::test::ReadRows;
using quendal::test::ReadTable;
using quendal::test::Row;

class DbEngine : public ::testing::Test {
 protected:
  void SetUp() override { db = quendal::test::CreateDatabase(path()); }
  std::string path() const { return dir.File("plan.apd"); }
  void Reopen(OpenAccess access = OpenAccess::kReadWriteElseReadOnly) {
    db->Close();
    db = quendal::test::OpenDatabase(path(), access);
  }
  void ExpectError(int32_t code, const std::string& message) {
    EXPECT_EQ(db->errorCode(), code);
    EXPECT_EQ(db->errorMessage(), message);
  }
  /* Keyed table K(id integer NOT NULL, v varchar) with rows 1..n. */
  void MakeKeyed(int n) {
    std::vector<ColumnDefinition> columns = {{"id", kTypeInteger, false}, {"v", kTypeText, true}};
    const uint8_t key[] = {0};
    db->CreateTable("K", columns, key);
    for (int i = 1; i <= n; i++) Insert(db.get(), "K", {{"id", std::to_string(i)}, {"v", "v" + std::to_string(i)}});
  }
  /* Live records of sys$blob. */
  int LiveBlobRecords() {
    TreeCursor cursor(db->file(), TreeName::Named(kBlobTreeName), KeySpec::RecordId());
    int n = 0;
    EXPECT_EQ(cursor.First(), DbStatus::kOk);
    while (!cursor.atEnd()) {
      n++;
      EXPECT_EQ(cursor.Next(), DbStatus::kOk);
    }
    return n;
  }

  quendal::test::TempDir dir;
  std::unique_ptr<SingleFileDatabase> db;
};

std::unique_ptr<SqlCondition> Where(const char* column, ConditionOperator op, const char* literal,
                                    CaseMode mode = CaseMode::kNone) {
  return SqlCondition::Comparison({"", column}, op, literal, mode);
}

std::unique_ptr<SqlCondition> Join(SqlCondition::Kind kind, std::unique_ptr<SqlCondition> a,
                                   std::unique_ptr<SqlCondition> b) {
  return SqlCondition::Join(kind, std::move(a), std::move(b));
}

TEST_F(DbEngine, CreateTableRefusals) {
  db->CreateTable("Sites", Columns({{"Name", kTypeText}}), {});
  EXPECT_EQ(db->errorCode(), 0);
  db->CreateTable("Sites", Columns({{"Name", kTypeText}}), {});
  ExpectError(2000, "Unable to create Sites because it already exists");
  db->CreateTable("SITES", Columns({{"Name", kTypeText}}), {});
  ExpectError(2000, "Unable to create SITES because it already exists");

  for (int32_t type : {int32_t(kTypeTimeStamp), int32_t(kTypeBinary), 4, 11, 13, 1, 17}) {
    db->CreateTable("Log", Columns({{"At", kTypeInteger}, {"When", type}}), {});
    ExpectError(2002, "Unable to create Log because an unsupported column type was used");
  }
  EXPECT_EQ(db->FindTable("Log"), nullptr);
  db->CreateTable("Twice", Columns({{"a", kTypeInteger}, {"A", kTypeText}}), {});
  ExpectError(2011, "Unable to create Twice because column A is defined twice");
  const uint8_t badKey[] = {3};
  db->CreateTable("BadKey", Columns({{"a", kTypeInteger}}), badKey);
  ExpectError(2001, "Unable to create BadKey due to an internal error");

  db->AddColumn("Nope", {"x", kTypeInteger, true});
  ExpectError(2003, "Unable to add column x because table 'Nope' doesn't exist");
  db->AddColumn("Sites", {"When", kTypeTimeStamp, true});
  ExpectError(2002, "Unable to add When because an unsupported  type was used");
  db->AddColumn("sites", {"name", kTypeInteger, true});
  EXPECT_EQ(db->errorCode(), 2011);
}

TEST_F(DbEngine, InsertChecksComeInOrderAndLeaveNothing) {
  std::vector<ColumnDefinition> columns = {
      {"a", kTypeInteger, false}, {"b", kTypeText, true}, {"d", kTypeDate, true}, {"t", kTypeTime, true}};
  db->CreateTable("T", columns, {});
  Insert(db.get(), "Nope", {{"a", "1"}});
  ExpectError(2003, "Unknown table Nope");
  Insert(db.get(), "T", {{"x", "1"}, {"b", "b"}});
  ExpectError(2003, "NotNull column violation");
  Insert(db.get(), "T", {{"a", "1"}, {"x", "2"}});
  ExpectError(2003, "Unknown column x");
  for (const char* date : {"2007/03/01", "2007-03", "2007-03-01-02", "07-x-01", "", " 2007-03-01", "2007-03-99999"}) {
    Insert(db.get(), "T", {{"a", "1"}, {"d", date}});
    ExpectError(2003, "Invalid date format");
  }
  for (const char* time : {"12", "12:30:00:00", "a:b", "2007-03-01 12"}) {
    Insert(db.get(), "T", {{"a", "1"}, {"t", time}});
    ExpectError(2003, "Invalid time format");
  }
  EXPECT_TRUE(ReadTable(db.get(), "T").empty());
  Insert(db.get(), "t", {{"A", "1"}, {"D", "2007-03-01 10:11:12"}, {"T", "2007-03-01 10:11"}});
  EXPECT_EQ(db->errorCode(), 0);
  EXPECT_EQ(ReadTable(db.get(), "T"), (std::vector<Row>{{"3:1", "0:", "8:2007-3-1", "9:10-11-0"}}));
}

TEST_F(DbEngine, PrimaryKeyViolationNeedsAKey) {
  MakeKeyed(1);
  Insert(db.get(), "K", {{"id", "1"}, {"v", "again"}});
  ExpectError(2005, "Insert failed: primary key violation");
  db->CreateTable("Free", Columns({{"id", kTypeInteger}}), {});
  Insert(db.get(), "Free", {{"id", "1"}});
  Insert(db.get(), "Free", {{"id", "1"}});
  EXPECT_EQ(db->errorCode(), 0);
  EXPECT_EQ(ReadTable(db.get(), "Free").size(), 2u);
  Insert(db.get(), "K", {{"id", "2"}, {"v", std::string(9000, 'x')}});
  ExpectError(2006, "Insert failed: data too long");
  EXPECT_EQ(ReadTable(db.get(), "K").size(), 1u);
}

TEST_F(DbEngine, ValuesComeBackInColumnValueForm) {
  db->CreateTable("All", Columns({{"s", kTypeSmallInt}, {"i", kTypeInteger}, {"t", kTypeText}, {"f", kTypeFloat},
                                  {"d", kTypeDouble}, {"dt", kTypeDate}, {"tm", kTypeTime}, {"b", kTypeBoolean},
                                  {"lt", kTypeLongText}, {"lb", kTypeLongBinary}}),
                  {});
  const std::string large(150000, 'q');
  Insert(db.get(), "All", {{"s", "-5"}, {"i", "70000.9"}, {"t", "O'Neil"}, {"f", "1.5"}, {"d", "-2.25"},
                           {"dt", "2007-03-01"}, {"tm", "23:59:58"}, {"b", "TRUE"}, {"lt", "long"}, {"lb", large}});
  Insert(db.get(), "All", {{"s", "70000"}, {"i", "-3e10"}, {"b", "yes"}});
  ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();
  Reopen();
  const std::vector<Row> rows = ReadTable(db.get(), "All");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (Row{"2:-5", "3:70000", "5:O'Neil", "6:1.500000", "7:-2.250000", "8:2007-3-1", "9:23-59-58",
                          "12:true", "15:long", "16:" + large}));
  EXPECT_EQ(rows[1], (Row{"2:32767", "3:-2147483648", "0:", "0:", "0:", "0:", "0:", "12:false", "0:", "0:"}))
      << "integers beyond the column's range are held to its bounds";

  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("All", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  const void* value = nullptr;
  uint8_t type = 0;
  int32_t length = 0;
  cursor->ColumnValue(5, &value, &type, &length);
  const uint8_t date[] = {0x07, 0xD7, 0x00, 0x03, 0x00, 0x01};
  ASSERT_EQ(length, 6);
  EXPECT_EQ(std::memcmp(value, date, 6), 0) << "dates are handed out big-endian, as stored";
  EXPECT_EQ(cursor->ColumnType(2), kTypeText);
  EXPECT_EQ(cursor->ColumnType(10), -1);
  ASSERT_TRUE(cursor->Next());
  EXPECT_EQ(cursor->ColumnType(2), kTypeText) << "a null value reports the declared type";
}

TEST_F(DbEngine, FieldSchemaFollowsDeclarationOrder) {
  std::vector<ColumnDefinition> columns = {
      {"zeta", kTypeInteger, false}, {"alpha", kTypeText, true}, {"mid", kTypeDouble, false}};
  const uint8_t key[] = {2, 0};
  db->CreateTable("T", columns, key);
  db->AddColumn("T", {"beta", kTypeBoolean, true});
  for (int pass = 0; pass < 2; pass++) {
    auto schema = db->FieldSchema("t");
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(schema->ColumnName(0), "ColumnName");
    EXPECT_EQ(schema->ColumnName(4), "Length");
    EXPECT_EQ(ReadRows(schema.get()), (std::vector<Row>{{"5:zeta", "2:3", "2:2", "2:0", "0:"},
                                                        {"5:alpha", "2:5", "0:", "2:1", "0:"},
                                                        {"5:mid", "2:7", "2:1", "2:0", "0:"},
                                                        {"5:beta", "2:12", "0:", "2:1", "0:"}}));
    Reopen();
  }
  EXPECT_EQ(db->FieldSchema("Nope"), nullptr);
}

TEST_F(DbEngine, NamesMatchWithoutRegardToCase) {
  db->CreateTable("Sites", Columns({{"Name", kTypeText}}), {});
  Insert(db.get(), "sites", {{"NAME", "Home"}});
  db->AddColumn("SITES", {"Lat", kTypeDouble, true});
  Insert(db.get(), "sItEs", {{"name", "Away"}, {"lat", "51.5"}});
  const std::string_view picked[] = {"LAT", "name"};
  auto cursor = db->OpenTableCursor("SITES", picked, nullptr);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->ColumnName(0), "LAT");
  EXPECT_EQ(ReadRows(cursor.get()), (std::vector<Row>{{"0:", "5:Home"}, {"7:51.500000", "5:Away"}}));
  const std::string_view unknown[] = {"Elevation"};
  EXPECT_EQ(db->OpenTableCursor("Sites", unknown, nullptr), nullptr);
  EXPECT_EQ(db->OpenTableCursor("Nope", picked, nullptr), nullptr);
}

TEST_F(DbEngine, TableSchemaIsAListingInKeyOrder) {
  for (const char* name : {"b2", "Sites", "a", "B"}) db->CreateTable(name, Columns({{"x", kTypeInteger}}), {});
  auto schema = db->TableSchema();
  ASSERT_EQ(schema->ColumnName(0), "TableName");
  ASSERT_TRUE(schema->Next());
  schema->Delete();
  schema->Update(std::vector<PendingEdit>{{0, false, "Z"}});
  std::vector<Row> names = {{quendal::test::ValueText(schema.get(), 0)}};
  for (Row& row : ReadRows(schema.get())) names.push_back(row);
  EXPECT_EQ(names, (std::vector<Row>{{"5:a"}, {"5:B"}, {"5:b2"}, {"5:Sites"}})) << "collation order, not byte order";
}

TEST_F(DbEngine, RollbackUndoesRowsTablesAndColumns) {
  MakeKeyed(3);
  db->Commit();
  Insert(db.get(), "K", {{"id", "4"}});
  db->CreateTable("Gone", Columns({{"x", kTypeInteger}}), {});
  db->AddColumn("K", {"extra", kTypeInteger, true});
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  cursor->Delete();
  cursor.reset();
  db->Rollback();
  EXPECT_EQ(db->errorCode(), 0);
  EXPECT_EQ(db->FindTable("Gone"), nullptr);
  EXPECT_EQ(db->FindTable("K")->columns.size(), 2u);
  const std::vector<Row> committed = {{"3:1", "5:v1"}, {"3:2", "5:v2"}, {"3:3", "5:v3"}};
  EXPECT_EQ(ReadTable(db.get(), "K"), committed);
  Reopen();
  EXPECT_EQ(ReadTable(db.get(), "K"), committed);
  EXPECT_EQ(db->FindTable("Gone"), nullptr);
}

TEST_F(DbEngine, UpdatesKeepOrMoveRows) {
  MakeKeyed(5);
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  std::vector<std::string> seen;
  while (cursor->Next()) {
    const std::string id = quendal::test::ValueText(cursor.get(), 0);
    seen.push_back(id);
    if (id == "3:2") cursor->Update(std::vector<PendingEdit>{{1, false, "two"}});
    if (id == "3:3") cursor->Update(std::vector<PendingEdit>{{0, false, "30"}});
    if (id == "3:4") {
      cursor->Update(std::vector<PendingEdit>{{0, false, "5"}});
      ExpectError(2005, "Insert failed: primary key violation");
      cursor->Update(std::vector<PendingEdit>{{0, true, ""}});
      ExpectError(2003, "NotNull column violation");
      cursor->Update(std::vector<PendingEdit>{{1, false, "four"}, {1, false, "older edit"}});
      EXPECT_EQ(quendal::test::ValueText(cursor.get(), 1), "5:four");
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"3:1", "3:2", "3:3", "3:4", "3:5"})) << "the moved row is not met again";
  cursor->Close();
  EXPECT_EQ(ReadTable(db.get(), "K"),
            (std::vector<Row>{{"3:1", "5:v1"}, {"3:2", "5:two"}, {"3:4", "5:four"}, {"3:5", "5:v5"}, {"3:30", "5:v3"}}));
}

TEST_F(DbEngine, MovedRowsFollowTheTransaction) {
  MakeKeyed(2);
  db->Commit();
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  cursor->Update(std::vector<PendingEdit>{{0, false, "10"}});
  db->Rollback();
  cursor->Close();
  EXPECT_EQ(ReadTable(db.get(), "K"), (std::vector<Row>{{"3:1", "5:v1"}, {"3:2", "5:v2"}}))
      << "a rolled-back update neither loses nor doubles the row";

  cursor = db->OpenTableCursor("K", all, nullptr);
  std::vector<std::string> seen;
  while (cursor->Next()) {
    seen.push_back(quendal::test::ValueText(cursor.get(), 0));
    cursor->Update(std::vector<PendingEdit>{{0, false, "1" + seen.back().substr(2)}});
    db->Commit();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"3:1", "3:2"})) << "rows committed mid-scan are not met again";
  Reopen();
  EXPECT_EQ(ReadTable(db.get(), "K"), (std::vector<Row>{{"3:11", "5:v1"}, {"3:12", "5:v2"}}));
}

TEST_F(DbEngine, DeleteAndUpdateReleaseLargeValues) {
  db->CreateTable("Notes", Columns({{"id", kTypeInteger}, {"body", kTypeLongText}}), {});
  Insert(db.get(), "Notes", {{"id", "1"}, {"body", std::string(9000, 'a')}});
  Insert(db.get(), "Notes", {{"id", "2"}, {"body", "short"}});
  EXPECT_EQ(LiveBlobRecords(), 5);
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("Notes", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  cursor->Delete();
  ASSERT_TRUE(cursor->Next());
  cursor->Update(std::vector<PendingEdit>{{1, false, "longer now"}});
  cursor->Close();
  EXPECT_EQ(LiveBlobRecords(), 1);
  EXPECT_EQ(ReadTable(db.get(), "Notes"), (std::vector<Row>{{"3:2", "15:longer now"}}));
  db->Rollback();
  EXPECT_EQ(LiveBlobRecords(), 0) << "the rows were never committed";
}

TEST_F(DbEngine, RowFilters) {
  db->CreateTable("F", Columns({{"n", kTypeInteger}, {"x", kTypeDouble}, {"s", kTypeText}, {"d", kTypeDate},
                                {"b", kTypeBoolean}, {"lt", kTypeLongText}, {"m", kTypeInteger}}),
                  {});
  Insert(db.get(), "F",
         {{"n", "1"}, {"x", "-1.5"}, {"s", "abc"}, {"d", "2006-12-31"}, {"b", "true"}, {"lt", "zz"}, {"m", "1"}});
  Insert(db.get(), "F", {{"n", "2"}, {"x", "0.1"}, {"s", "aXc"}, {"d", "2007-01-01"}, {"b", "false"}, {"m", "3"}});
  Insert(db.get(), "F", {{"n", "3"}, {"x", "2.5"}, {"s", "b%"}, {"lt", std::string(5000, 'z') + "!"}});
  using Op = ConditionOperator;
  using K = SqlCondition::Kind;
  auto ids = [&](std::unique_ptr<SqlCondition> filter) {
    const std::string_view n[] = {"n"};
    auto cursor = db->OpenTableCursor("F", n, filter.get());
    std::string out;
    if (!cursor) return std::string("none");
    for (const Row& row : ReadRows(cursor.get())) out += row[0].substr(2);
    return out;
  };
  EXPECT_EQ(ids(Where("n", Op::kGreaterEqual, "2")), "23");
  EXPECT_EQ(ids(Where("N", Op::kEqual, "2.9")), "2") << "integer columns compare the literal's integer value";
  EXPECT_EQ(ids(Where("x", Op::kLess, "0")), "1");
  EXPECT_EQ(ids(Where("x", Op::kEqual, "0.1")), "2");
  EXPECT_EQ(ids(Where("s", Op::kLike, "a_c")), "12");
  EXPECT_EQ(ids(Where("s", Op::kNotLike, "a%")), "3");
  EXPECT_EQ(ids(Where("s", Op::kEqual, "ABC", CaseMode::kUpper)), "1");
  EXPECT_EQ(ids(Where("s", Op::kEqual, "axc", CaseMode::kLower)), "2");
  EXPECT_EQ(ids(Where("s", Op::kLess, "b")), "12") << "bytes compare unsigned, the shorter first";
  EXPECT_EQ(ids(Where("d", Op::kGreaterEqual, "2007-01-01")), "2");
  EXPECT_EQ(ids(Where("d", Op::kNotEqual, "not a date")), "");
  EXPECT_EQ(ids(Where("b", Op::kEqual, "true")), "") << "no comparison holds on a boolean column";
  EXPECT_EQ(ids(Where("b", Op::kIsNull, "")), "3");
  EXPECT_EQ(ids(Where("lt", Op::kIsNotNull, "")), "13");
  EXPECT_EQ(ids(Where("lt", Op::kLike, "%!")), "3") << "large values are compared by their text";
  EXPECT_EQ(ids(Where("s", Op::kNotEqual, "abc")), "23") << "a missing field fails every comparison";
  EXPECT_EQ(ids(SqlCondition::ColumnComparison({"", "n"}, Op::kEqual, {"F", "m"})), "1");
  /* a = 1 and b = 2 or c = 3 reads a = 1 and (b = 2 or c = 3) */
  EXPECT_EQ(ids(Join(K::kAnd, Where("n", Op::kGreater, "1"),
                     Join(K::kOr, Where("s", Op::kEqual, "b%"), Where("x", Op::kEqual, "0.1")))),
            "23");
  EXPECT_EQ(ids(Join(K::kOr, Where("n", Op::kEqual, "1"), Where("nope", Op::kEqual, "1"))), "none");
}

TEST(SqlCondition, LikeMatchesWholeValuesByteForByte) {
  struct Case {
    const char* value;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"", "", true},         {"", "%", true},          {"a", "", false},         {"abc", "abc", true},
      {"abc", "ABC", false},  {"abc", "a_c", true},     {"ac", "a_c", false},     {"abc", "%c", true},
      {"abc", "%b", false},   {"abcbc", "a%bc", true},  {"abcbd", "a%bc", false}, {"a%c", "a%%c", true},
      {"mississippi", "%s%s%p%", true}, {"aaaaaaaaaaaaaaaaaaab", "%a%a%a%a%a%c", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LikeMatches(c.value, c.pattern), c.matches) << c.value << " / " << c.pattern;
}

TEST_F(DbEngine, RowKeysNameTheRow) {
  std::vector<ColumnDefinition> columns = {{"id", kTypeInteger, false}, {"name", kTypeText, false},
                                           {"when", kTypeDate, true}, {"x", kTypeDouble, true}};
  const uint8_t key[] = {1, 0, 2, 3};
  db->CreateTable("K", columns, key);
  Insert(db.get(), "K", {{"id", "7"}, {"name", "it's"}, {"when", "2007-03-01"}, {"x", "3.14159265"}});
  db->CreateTable("Free", Columns({{"a", kTypeInteger}}), {});
  Insert(db.get(), "Free", {{"a", "1"}});
  const std::string_view picked[] = {"NAME"};
  auto cursor = db->OpenTableCursor("k", picked, nullptr);
  std::string tableAndColumn, where;
  EXPECT_FALSE(cursor->RowKey(0, &tableAndColumn, &where)) << "before the first row";
  ASSERT_TRUE(cursor->Next());
  ASSERT_TRUE(cursor->RowKey(0, &tableAndColumn, &where));
  EXPECT_EQ(tableAndColumn, "K!NAME");
  EXPECT_EQ(where, "name='it''s' and id=7 and when='2007-03-01' and x=3.141593");
  EXPECT_FALSE(cursor->RowKey(1, &tableAndColumn, &where));
  const std::string_view all[] = {"*"};
  auto free = db->OpenTableCursor("Free", all, nullptr);
  ASSERT_TRUE(free->Next());
  ASSERT_TRUE(free->RowKey(0, &tableAndColumn, &where));
  EXPECT_EQ(tableAndColumn, "Free!a");
  EXPECT_EQ(where, "");
}

TEST_F(DbEngine, ClosedAndReadOnlyDatabasesRefuseChanges) {
  MakeKeyed(3);
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  db->Close();
  EXPECT_FALSE(cursor->Next()) << "a cursor outliving its database answers nothing";
  EXPECT_EQ(quendal::test::ValueText(cursor.get(), 0), "0:");
  Insert(db.get(), "K", {{"id", "9"}});
  EXPECT_EQ(db->errorCode(), 2010);

  const std::string before = quendal::test::ReadFile(path());
  db = quendal::test::OpenDatabase(path(), OpenAccess::kReadOnly);
  Insert(db.get(), "K", {{"id", "9"}});
  EXPECT_EQ(db->errorCode(), 2010);
  db->CreateTable("New", Columns({{"x", kTypeInteger}}), {});
  EXPECT_EQ(db->errorCode(), 2010);
  auto reader = db->OpenTableCursor("K", all, nullptr);
  ASSERT_TRUE(reader->Next());
  reader->Delete();
  EXPECT_EQ(db->errorCode(), 2010);
  reader->Close();
  EXPECT_EQ(ReadTable(db.get(), "K").size(), 3u);
  db->Close();
  EXPECT_EQ(quendal::test::ReadFile(path()), before);
}

} // namespace
